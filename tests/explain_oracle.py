#!/usr/bin/env python3
"""lsrcheck -explain against Kpathsea's own client, on this machine's TeX.

For every group of the machine's own report and each default program, the
first hit that -explain names must be the first line that
`kpsewhich -all -progname=P NAME` prints, run from an empty directory (no
hit: nothing printed).  All names of one program go to one kpsewhich,
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
    report = json.loads(subprocess.run([lsrcheck, "-explain", "-json"], env=env, cwd=work,
                                       capture_output=True, check=True).stdout)
    groups = [g for g in report["groups"] if "name_bytes" not in g
              and not g["name"].startswith("-")]
    sentinel = os.path.join(work, "sentinel.tex")
    open(sentinel, "w").close()
    failures = 0
    for p, program in enumerate(report["programs"]):
        args = ["kpsewhich", "-all", "-progname=" + program, "--"]
        for g in groups:
            args += [g["name"], sentinel]
        out = subprocess.run(args, env=env, cwd=work, capture_output=True,
                             text=True, errors="surrogateescape").stdout.splitlines()
        answers, current = [], []
        for line in out:
            if line == sentinel:
                answers.append(current[0] if current else None)
                current = []
            else:
                current.append(line)
        if len(answers) != len(groups):
            print("%s: %d answers for %d names" % (program, len(answers), len(groups)))
            sys.exit(1)
        for g, expected in zip(groups, answers):
            lookup = g["lookups"][p]
            actual = lookup.get("path") if lookup["kind"] != "none" else None
            if actual != expected:
                failures += 1
                print("%s %s: lsrcheck %s, kpsewhich %s" % (program, g["name"], actual, expected))
    checked = 0
    for g in groups:
        for m in g["members"]:
            if checked < 30 and m["state"] == "ok":
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
