#!/usr/bin/env python3
"""lsrcheck -explain against Kpathsea's own client, on this machine's TeX.

For every group of the machine's own report and each default program, the
first hit that -explain names must be the first line that
`kpsewhich -all -progname=P NAME` prints, run from an empty directory (no
hit: nothing printed), and every path it prints must be a member of the
group.  A TEXMFHOME of the test's own (searched on disk: it has no ls-R)
holds copies of a few of the distribution's files, so that the groups reach
into a tree searched on disk.  All names of one program go to one kpsewhich,
separated by an absolute path that it prints as it stands.  Also checks
that the package named for a file of the distribution is the one
`dpkg -S` names.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

lsrcheck = sys.argv[1]
if shutil.which("kpsewhich") is None:
    print("kpsewhich not installed (Debian package texlive-binaries)")
    sys.exit(77)

env = {k: v for k, v in os.environ.items() if k not in ("TEXMFCNF", "TEXMFDBS", "TEXMF")}
work = tempfile.mkdtemp()
try:
    home = os.path.join(work, "home")
    env["TEXMFHOME"] = home
    dist = subprocess.run(["kpsewhich", "-var-value", "TEXMFDIST"], env=env, capture_output=True,
                          text=True).stdout.strip()
    planted = []
    for root, _, names in sorted(os.walk(os.path.join(dist, "tex", "generic"))):
        for name in sorted(names):
            if name.endswith(".tex") and len(planted) < 3:
                os.makedirs(os.path.join(home, "tex", "generic", "mine"), exist_ok=True)
                shutil.copy(os.path.join(root, name), os.path.join(home, "tex", "generic", "mine"))
                planted.append(name)
    work_run = os.path.join(work, "run")
    os.mkdir(work_run)
    report = json.loads(subprocess.run([lsrcheck, "-explain", "-json"], env=env, cwd=work_run,
                                       capture_output=True, check=True).stdout)
    # The machine's own TeX, with identical copies planted, is a stock
    # machine: no problem, and a short text.
    stock = subprocess.run([lsrcheck, "-explain", "-fail-on=any"], env=env, cwd=work_run,
                           capture_output=True, text=True, errors="surrogateescape")
    if stock.returncode != 0 or len(stock.stdout.splitlines()) >= 60:
        print("stock machine: status %d, %d lines of text:\n%s"
              % (stock.returncode, len(stock.stdout.splitlines()), stock.stdout))
        sys.exit(1)
    groups = [g for g in report["groups"] if "name_bytes" not in g
              and not g["name"].startswith("-")]
    on_disk = [g["name"] for g in groups if any(m["on_disk"] for m in g["members"])]
    if not set(planted) <= set(on_disk):
        print("groups reaching into TEXMFHOME: %s, planted: %s" % (on_disk, planted))
        sys.exit(1)
    failures = 0
    for p, program in enumerate(report["programs"]):
        # Each name in the format the program reads it in; none where it
        # reads no such file.
        formats = {}
        for i, g in enumerate(groups):
            if g["lookups"][p]["kind"] != "not-read":
                formats.setdefault(g["lookups"][p]["format"], []).append(i)
        every = [None] * len(groups)
        for fmt, indexes in formats.items():
            # An absolute name kpsewhich finds in this format, between the
            # answers: one with the suffix the batch's names have.
            sentinel = os.path.join(work, "sentinel" + os.path.splitext(groups[indexes[0]]["name"])[1])
            open(sentinel, "w").close()
            args = ["kpsewhich", "-all", "-progname=" + program, "-format=" + fmt, "--"]
            for i in indexes:
                args += [groups[i]["name"], sentinel]
            out = subprocess.run(args, env=env, cwd=work_run, capture_output=True,
                                 text=True, errors="surrogateescape").stdout.splitlines()
            answers, current = [], []
            for line in out:
                if line == sentinel:
                    answers.append(current)
                    current = []
                else:
                    current.append(line)
            if len(answers) != len(indexes):
                print("%s -format=%s: %d answers for %d names"
                      % (program, fmt, len(answers), len(indexes)))
                sys.exit(1)
            for i, found in zip(indexes, answers):
                every[i] = found
        for g, found in zip(groups, every):
            if found is None:
                continue
            members = {os.path.normpath(m["path"]) for m in g["members"]}
            for path in found:
                if os.path.normpath(path) not in members and os.path.basename(path) == g["name"]:
                    failures += 1
                    print("%s %s: kpsewhich finds %s, not a member" % (program, g["name"], path))
            lookup = g["lookups"][p]
            actual = lookup.get("path") if lookup["kind"] != "none" else None
            expected = found[0] if found else None
            if actual != expected:
                failures += 1
                print("%s %s: lsrcheck %s, kpsewhich %s" % (program, g["name"], actual, expected))
    checked = 0
    for g in groups:
        for m in g["members"]:
            # Every copy found outside the databases (its package is read
            # with the members' in one pass), and a sample of the rest.
            if (checked < 30 or m["outside"]) and m["state"] == "ok":
                # dpkg lists a file under the path it installed: the link
                # itself (texmf-dist/web2c/fmtutil.cnf), or the file behind
                # a linked directory (texmf-dist/doc, a link into
                # /usr/share/doc).
                owner = ""
                for path in (m["path"], os.path.realpath(m["path"])):
                    owner = owner or subprocess.run(["dpkg", "-S", path], capture_output=True,
                                                    text=True).stdout.split(":")[0]
                if owner != (m["package"] or ""):
                    failures += 1
                    print("%s: package %s, dpkg -S %s" % (m["path"], m["package"], owner))
                checked += 1
    print("%d groups, %d programs, %d packages checked, %d differences"
          % (len(groups), len(report["programs"]), checked, failures))
    sys.exit(1 if failures else 0)
finally:
    shutil.rmtree(work)
