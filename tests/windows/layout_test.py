#!/usr/bin/env python3
"""lsrcheck.exe under Wine on a TeX Live for Windows layout made here.

Usage: layout_test.py LSRCHECK_EXE KPSEWHICH_EXE [LINUX_LSRCHECK]

The layout is the installer's: ROOT/bin/windows with lsrcheck.exe and
kpsewhich.exe, ROOT/texmf-dist with a texmf.cnf that builds every tree from
$SELFAUTOPARENT, ROOT/texmf-var, and texmf-local beside ROOT; each tree's
ls-R is written by the Linux mktexlsr.  With the exe in bin\\windows, with
bin\\windows on PATH and with -texmfroot, the duplicate report must hold
the groups of the Linux build over the same trees (modulo drive letter,
case and line ends), and every copy kpsewhich.exe -all finds of a grouped
name must be in its group.  The command lines that need no installation
must give the Linux build's texts and statuses.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

EXE, KPSEWHICH = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
LINUX = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[3] else ""
failures = []

TEXMF_CNF = r"""% texmf.cnf in the style of TeX Live's installer
TEXMFROOT = $SELFAUTOPARENT
TEXMFDIST = $TEXMFROOT/texmf-dist
TEXMFLOCAL = $SELFAUTOGRANDPARENT/texmf-local
TEXMFSYSVAR = $TEXMFROOT/texmf-var
TEXMFSYSCONFIG = $TEXMFROOT/texmf-config
TEXMFHOME = ~/texmf
TEXMF = {$TEXMFHOME,!!$TEXMFLOCAL,!!$TEXMFSYSCONFIG,!!$TEXMFSYSVAR,!!$TEXMFDIST}
TEXMFDBS = {!!$TEXMFLOCAL,!!$TEXMFSYSCONFIG,!!$TEXMFSYSVAR,!!$TEXMFDIST}
TEXINPUTS = .;$TEXMF/tex/{latex,generic,}//
TFMFONTS = .;$TEXMF/fonts/tfm//
"""

# Files of each tree, relative to it; a name ending in '/' is a directory.
TREES = {
    "2025/texmf-dist": [
        "web2c/texmf.cnf",
        "tex/latex/pkg/pkg.sty", "tex/latex/pkg/pkg.cls", "tex/latex/other/Mixed.STY",
        "tex/generic/pkg/pkg.sty", "tex/latex/dirlike.sty/inside.tex",
        "fonts/tfm/public/cher/Cherokee.tfm", "fonts/tfm/public/cher2/cherokee.tfm",
        "tex/latex/spaced name/with space.sty", "tex/latex/spaced name/unique.sty",
    ],
    "2025/texmf-var": ["tex/generic/config/language.dat", "tex/latex/pkg/pkg.cls"],
    "texmf-local": [
        "tex/latex/local/pkg.sty", "tex/latex/local/mixed.sty", "tex/latex/local/dirlike.sty",
        "tex/latex/local/with space.sty", "tex/generic/config/language.dat",
    ],
}


def wine_env(path=None):
    env = dict(os.environ, WINEDEBUG="-all")
    env.pop("WINEPATH", None)
    if path is not None:
        env["WINEPATH"] = path
    return env


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run(argv, env=None, cwd=None, argv0=None):
    for attempt in range(2):
        p = subprocess.run(argv, env=env, cwd=cwd, capture_output=True, timeout=120,
                           executable=argv0)
        # Status 1 and not a byte written is Wine failing to start the
        # program now and then (the tool never ends with 1 unsaid): once more.
        if not (argv[0] == "wine" and p.returncode == 1 and not p.stdout and not p.stderr):
            break
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def normal(line):
    """A path line as both builds print it: lower case, no drive, '/'."""
    line = re.sub("/+", "/", line.replace("\r", "").replace("\\", "/").lower())
    return line[2:] if re.match(r"^[a-z]:/", line) else line


def report(text):
    """The count and the groups (sets of normalised paths) of a report."""
    lines = text.replace("\r\n", "\n").split("\n")
    count = re.match(r"^(\d+) files", lines[0]) if lines else None
    groups, current = [], set()
    body = lines[lines.index("Multiple occurences :") + 1:] if "Multiple occurences :" in lines else []
    for line in body:
        if line.startswith("/") or re.match(r"^[a-zA-Z]:[/\\]", line):
            current.add(normal(line))
        elif current:
            groups.append(frozenset(current))
            current = set()
    return (int(count.group(1)) if count else None), sorted(groups, key=sorted)


def make_layout(base):
    for tree, files in TREES.items():
        for f in files:
            path = os.path.join(base, tree, f)
            if f.endswith("/"):
                os.makedirs(path, exist_ok=True)
                continue
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as out:
                out.write(TEXMF_CNF if f == "web2c/texmf.cnf" else "% " + f + "\n")
    root = os.path.join(base, "2025")
    win_bin = os.path.join(root, "bin", "windows")
    os.makedirs(win_bin)
    shutil.copy(EXE, win_bin)
    shutil.copy(KPSEWHICH, win_bin)
    shutil.copy(os.path.join(os.path.dirname(KPSEWHICH), "mktexlsr.exe"), win_bin)
    # For the Linux build's -texmfroot: a stand-in for the Linux programs.
    linux_bin = os.path.join(root, "bin", "x86_64-linux")
    os.makedirs(linux_bin)
    with open(os.path.join(linux_bin, "kpsewhich"), "w") as out:
        out.write("#!/bin/sh\nexit 0\n")
    os.chmod(os.path.join(linux_bin, "kpsewhich"), 0o755)
    for tree in TREES:
        subprocess.run(["mktexlsr", os.path.join(base, tree)], check=True, capture_output=True)
    return root


def groups_and_oracle(base, root):
    exe_in_bin = os.path.join(root, "bin", "windows", "lsrcheck.exe")
    placements = {
        "in bin\\windows": ([exe_in_bin], wine_env("")),
        "bin\\windows on PATH": ([EXE], wine_env(windows_path(os.path.join(root, "bin", "windows")))),
        "-texmfroot": ([EXE, "-texmfroot=" + windows_path(root)], wine_env("")),
    }
    reports = {}
    for what, (argv, env) in placements.items():
        status, out, err = run(["wine"] + argv + ["-multiple-occurences"], env=env, cwd=base)
        check(status == 0, what + ": status " + str(status) + " " + err)
        reports[what] = report(out)
        check(out.count("\r\n") == out.count("\n"), what + ": every line ends in CRLF")
    first = reports["in bin\\windows"]
    for what, r in reports.items():
        check(r == first, what + ": the same report as with the exe in bin\\windows")
    count, groups = first
    check(len(groups) >= 5, "the planted groups are found: " + repr(groups))
    check(not any(p.endswith("texmf-dist/tex/latex/dirlike.sty") for g in groups for p in g),
          "a directory named like a file is no member")
    check(any(p.endswith("texmf-local/tex/latex/local/dirlike.sty") for g in groups for p in g)
          is False, "the file dirlike.sty alone is no group")

    if LINUX:
        status, out, err = run([LINUX, "-multiple-occurences", "-texmfroot=" + root])
        check(status == 0, "Linux build: status " + str(status) + " " + err)
        linux_count, linux_groups = report(out)
        # mktexlsr starts each ls-R with ".:", which Linux Kpathsea takes
        # for a file name and Windows Kpathsea for a directory (':' is its
        # drive separator): an entry of Linux's alone, one per tree.
        dots = [g for g in linux_groups if all(p.endswith("/.:") for p in g)]
        linux_groups = [g for g in linux_groups if g not in dots]
        linux_count -= sum(len(g) for g in dots)
        check(linux_count == count, "count line: Linux %r, Windows %r" % (linux_count, count))
        check(linux_groups == groups,
              "groups: Linux %r\nWindows %r" % (linux_groups, groups))

    kpsewhich = os.path.join(root, "bin", "windows", "kpsewhich.exe")
    checked = 0
    for group in groups:
        name = os.path.basename(sorted(group)[0])
        status, out, err = run(["wine", kpsewhich, "-all", name], env=wine_env(""), cwd=base)
        hits = [normal(l) for l in out.splitlines() if l.strip()]
        checked += len(hits)
        for hit in hits:
            check(hit in group, "kpsewhich.exe -all %s finds %s, not in its group %r"
                  % (name, hit, sorted(group)))
    check(checked >= 10, "kpsewhich.exe -all found the copies: %d" % checked)
    print("%d groups; %d copies kpsewhich.exe -all finds, each in its group" % (len(groups), checked))


def user_texmf():
    """The Unix path of TEXMFHOME (%USERPROFILE%/texmf) inside Wine."""
    status, out, err = run(["wine", "cmd", "/c", "echo", "%USERPROFILE%"], env=wine_env(""))
    profile = out.strip()
    status, out, err = run(["winepath", "-u", profile], env=wine_env(""))
    return os.path.join(out.strip(), "texmf")


def plant_traps(base, root):
    """The traps users meet: older copies in texmf-local and in the user's
    texmf hiding the distribution's, a file added without mktexlsr, a file
    removed and one renamed since the ls-R was made."""
    def write(path, text):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.write(text)
    dist, local, home = os.path.join(root, "texmf-dist"), os.path.join(base, "texmf-local"), user_texmf()
    write(dist + "/tex/latex/trap/trap.sty", "\\ProvidesPackage{trap}[2024/05/01 v2.0 new]\n")
    write(local + "/tex/latex/trap/trap.sty", "\\ProvidesPackage{trap}[2019/01/01 v1.0 old]\n")
    write(home + "/tex/latex/mine/hometrap.sty", "\\ProvidesPackage{hometrap}[2018/01/01 v0.9]\n")
    write(dist + "/tex/latex/mine/hometrap.sty", "\\ProvidesPackage{hometrap}[2024/01/01 v3.0]\n")
    # TeX Live's package database: the distribution's own copies.
    write(root + "/tlpkg/texlive.tlpdb",
          "name cherokee\ncategory Package\nrunfiles size=2\n"
          " texmf-dist/fonts/tfm/public/cher/Cherokee.tfm\n"
          " texmf-dist/fonts/tfm/public/cher2/cherokee.tfm\n\n"
          "name trap\ncategory Package\nrunfiles size=1\n texmf-dist/tex/latex/trap/trap.sty\n")
    # A linked directory (walked, as mktexlsr lists it) and a hidden one
    # (skipped, as Kpathsea skips it).
    write(base + "/elsewhere/linked.sty", "% behind a link\n")
    os.symlink(base + "/elsewhere", local + "/tex/latex/linked")
    write(local + "/tex/latex/.hidden/secret.sty", "% hidden\n")
    for tree in (dist, local):
        subprocess.run(["mktexlsr", tree], check=True, capture_output=True)
    write(base + "/elsewhere/new-behind-link.sty", "% added behind the link\n")
    write(local + "/tex/latex/local/added.sty", "% added after mktexlsr\n")
    os.remove(dist + "/tex/latex/pkg/pkg.cls")
    os.rename(dist + "/tex/latex/other/Mixed.STY", dist + "/tex/latex/other/moved.sty")
    return home


def explain_against_kpsewhich(base, root):
    """-explain's first hit per program is what kpsewhich.exe -progname=P
    finds, for every group; the traps are findings."""
    exe = os.path.join(root, "bin", "windows", "lsrcheck.exe")
    kpsewhich = os.path.join(root, "bin", "windows", "kpsewhich.exe")
    status, out, err = run(["wine", exe, "-explain", "-json"], env=wine_env(""), cwd=base)
    check(status == 0, "-explain -json: status %d %s" % (status, err))
    report = json.loads(out)
    # Paths come from the environment (USERPROFILE: C:) and from Kpathsea
    # (c:, z:): one spelling, upper case, in the whole report.
    text = run(["wine", exe, "-explain"], env=wine_env(""), cwd=base)[1]
    for what, output in (("text", text), ("JSON", out)):
        drives = set(re.findall(r"(?<![A-Za-z])([A-Za-z]):[/\\]", output))
        check(drives and all(d.isupper() for d in drives),
              "-explain %s: drive letters spelt %s" % (what, sorted(drives)))
    compared = 0
    for group in report["groups"]:
        for lookup in group["lookups"]:
            s, hit, e = run(["wine", kpsewhich, "-progname=" + lookup["program"], group["name"]],
                            env=wine_env(""), cwd=base)
            expected = normal(hit.splitlines()[0]) if hit.strip() else None
            got = normal(lookup["path"]) if "path" in lookup else None
            check(got == expected, "%s for %s: -explain loads %r, kpsewhich.exe %r"
                  % (group["name"], lookup["program"], got, expected))
            compared += 1
    by_name = {g["name"]: g for g in report["groups"]}
    for name in ("trap.sty", "hometrap.sty"):
        g = by_name.get(name)
        check(g is not None and "older" in g["problems"],
              "%s: an older copy loaded is a finding: %r" % (name, g and g["findings"]))
    cherokee = by_name.get("cherokee.tfm")
    check(cherokee is not None and cherokee["findings"] and not cherokee["problems"] and
          all(f["distribution"] for f in cherokee["findings"]),
          "copies TeX Live's database lists are the distribution's own: %r" % cherokee)
    home = by_name.get("hometrap.sty")
    check(home is not None and any(m["on_disk"] and m["tree"] == "TEXMFHOME" for m in home["members"]),
          "the copy in the user's texmf (TEXMFHOME, no ls-R) is a member")
    status, out, err = run(["wine", exe, "-explain", "-fail-on=older"], env=wine_env(""), cwd=base)
    check(status == 3, "-fail-on=older: status 3, not %d" % status)
    print("-explain: %d lookups as kpsewhich.exe makes them" % compared)


def one_copy_spelled_twice(base, root):
    """Two programs that find one copy outside every tree, through search
    paths that spell its directory in other cases, find one member: names
    compare without regard to case on Windows."""
    trees = (os.path.join(base, "texmf-local"), os.path.join(root, "texmf-dist"))
    for path in [base + "/Outside/spelt.sty"] + [t + "/tex/latex/spelt/spelt.sty" for t in trees]:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.write("% " + path + "\n")
    for tree in trees:
        subprocess.run(["mktexlsr", tree], check=True, capture_output=True)
    env = wine_env("")
    outside = windows_path(base + "/Outside")
    # Kpathsea keeps a directory's listing under its element, compared
    # without regard to case: the elements differ in more than case.
    env["TEXINPUTS_latex"] = ".;" + outside + "//;$TEXMF/tex//"
    env["TEXINPUTS_pdflatex"] = ".;" + outside.upper() + ";$TEXMF/tex//"
    exe = os.path.join(root, "bin", "windows", "lsrcheck.exe")
    status, out, err = run(["wine", exe, "-explain", "-json", "-progname=latex",
                            "-progname=pdflatex", "-file=spelt.sty"], env=env, cwd=base)
    check(status == 0, "one copy spelled twice: status %d %s" % (status, err))
    groups = json.loads(out)["groups"] if status == 0 else []
    members = groups[0]["members"] if groups else []
    spelt = [l.get("path", "") for l in groups[0]["lookups"]] if groups else []
    check(len(spelt) == 2 and spelt[0] != spelt[1] and normal(spelt[0]) == normal(spelt[1]),
          "the two programs spell the copy they load differently: %r" % spelt)
    check(len(members) == 3 and members[0]["loaded_by"] == ["latex", "pdflatex"],
          "the copy both programs load is one member: %r" % members)


def databases_against_linux(base, root):
    """-databases finds what the Linux build finds over the same trees."""
    exe = os.path.join(root, "bin", "windows", "lsrcheck.exe")
    ws, wo, we = run(["wine", exe, "-databases", "-json"], env=wine_env(""), cwd=base)
    ls, lo, le = run([LINUX, "-databases", "-json", "-texmfroot=" + root], cwd=base)
    check(ws == ls == 4, "-databases: status %d on Windows, %d on Linux (4: problems)" % (ws, ls))

    def findings(text):
        doc = json.loads(text)
        out = []
        for t in doc["trees"]:
            paths = {k: sorted(normal(p["path"]) for p in t[k])
                     for k in ("missing", "gone", "dangling", "left_out", "unlistable_names",
                               "unlistable", "unchecked", "odd_blocks")}
            # Entries are Kpathsea's own count: Linux counts mktexlsr's ".:".
            out.append((normal(t["dir"]), t["kind"], t["mend"] is not None, paths))
        return out, doc["healthy"]
    w, l = findings(wo), findings(lo)
    check(w == l, "-databases: Windows %r\nLinux %r" % (w, l))
    found = {p for tree in w[0] for k in ("missing", "gone") for p in tree[3][k]}
    for planted in ("texmf-local/tex/latex/local/added.sty", "texmf-dist/tex/latex/pkg/pkg.cls",
                    "texmf-local/tex/latex/linked/new-behind-link.sty",
                    "texmf-dist/tex/latex/other/mixed.sty", "texmf-dist/tex/latex/other/moved.sty"):
        check(any(p.endswith(planted) for p in found), "-databases finds " + planted)
    check(not any("secret.sty" in p for p in found), "a hidden directory is skipped")
    status, out, err = run(["wine", exe, "-databases"], env=wine_env(""), cwd=base)
    mend = windows_path(os.path.join(root, "bin", "windows", "mktexlsr.exe")).lower()
    check("mend: " + mend + " " + windows_path(base).lower() + "\\texmf-local" in out.lower(),
          "the advice runs the installation's mktexlsr.exe:\n" + out)


def no_installation(base):
    status, out, err = run(["wine", EXE, "-multiple-occurences"], env=wine_env(""), cwd=base)
    check(status == 1 and "no TeX installation found" in err,
          "without an installation: status 1 and a message, not %d %r" % (status, err))


def command_lines(base):
    """Texts and statuses that need no installation, as the Linux build's."""
    lines = [[], ["-help"], ["-version"], ["-zzz=1"], ["-x"], ["-exclude"], ["-e"],
             ["-ex=3"], ["-q"], ["--bogus"], ["-fail-on=bogus"], ["-help=1"],
             ["-texmfroot=" + base + "/none", "-m"], ["-texmfroot=" + base, "-m"],
             ["-shared-memory", "-explain"], ["-verbose"], ["one", "two"]]
    for args in lines:
        win_args = [windows_path(a[len("-texmfroot="):]) and "-texmfroot=" + windows_path(a[len("-texmfroot="):])
                    if a.startswith("-texmfroot=") else a for a in args]
        ws, wo, we = run(["wine", EXE] + win_args, env=wine_env(""), cwd=base)
        ls, lo, le = run(["lsrcheck"] + args, argv0=LINUX, cwd=base)

        # Windows words of its own: where TeX Live keeps its programs.
        if args == ["-texmfroot=" + base, "-m"]:
            check("(no bin\\windows\\kpsewhich.exe)" in we, "-texmfroot: Windows wording: " + we)

        def same(text):
            text = text.replace("\r\n", "\n").replace("bin\\windows\\kpsewhich.exe", "bin/ARCH/kpsewhich")
            text = re.sub(r"(?m)^(Usage: )?\S*?lsrcheck(\.exe)?(:| )", r"\1lsrcheck\3", text)
            return text.replace(windows_path(base), base).replace("\\", "/")
        check(ws == ls, "%r: status %d on Windows, %d on Linux" % (args, ws, ls))
        check(same(wo) == same(lo), "%r: standard output\n%s\n--- Linux:\n%s" % (args, wo, lo))
        check(same(we) == same(le), "%r: standard error\n%s\n--- Linux:\n%s" % (args, we, le))


def main():
    base = tempfile.mkdtemp(prefix="lsrcheck-windows-")
    try:
        root = make_layout(base)
        groups_and_oracle(base, root)
        no_installation(base)
        if LINUX:
            command_lines(base)
        else:
            print("note: no Linux build given: the comparisons with it are left out")
        home = plant_traps(base, root)
        try:
            explain_against_kpsewhich(base, root)
            if LINUX:
                databases_against_linux(base, root)
            one_copy_spelled_twice(base, root)
        finally:
            shutil.rmtree(home, ignore_errors=True)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures), file=sys.stderr)
        return 1
    print("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
