#!/usr/bin/env python3
"""Show that two builds of lsrcheck say the same: every mode's standard
output, standard error and exit status, byte for byte, on the machine's own
TeX and on small made trees of the kinds the suite makes.

Usage: bench/same_outputs.py OLD NEW [--keep]

OLD and NEW are two lsrcheck programs (a build before a change, the build
after it).  Each is run as "lsrcheck" from the same empty directory with the
same environment, so that only what they print can differ.  Prints each
case whose outputs differ, with the first differing line, and exits 1 if
there is one; 0 with a count of the cases otherwise.  Run it as a user with
a home of its own: it plants a copy in that home's texmf for some cases
(under a HOME of its own, never the caller's).
"""

import os
import shutil
import subprocess
import sys
import tempfile

HEADER = "% ls-R -- filename database for kpathsea; do not change this line.\n"


def write(path, content, mode="w"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode) as f:
        f.write(content)


def mktexlsr(tree):
    subprocess.run(["mktexlsr", "--quiet", tree], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sysvar():
    return subprocess.run(["kpsewhich", "-var-value", "TEXMFSYSVAR"], capture_output=True,
                          text=True, check=True).stdout.strip()


def package(name, date, version, body=""):
    return "\\NeedsTeXFormat{LaTeX2e}\\ProvidesPackage{%s}[%s %s test]\n%s\n\\endinput\n" % (
        name, date, version, body)


def explain_trees(base):
    """Two trees on TEXMFDBS and a home searched on disk, holding each kind
    of group -explain tells apart; return the environment that selects them."""
    local, dist, home = base + "/1local", base + "/2dist", base + "/home"
    write(base + "/cnf/texmf.cnf",
          "TEXMFLOCAL = %s\nTEXMFDIST = %s\nTEXMFHOME = %s\n"
          "TEXMF = {$TEXMFHOME,!!$TEXMFLOCAL,!!$TEXMFDIST}\n"
          "TEXMFDBS = {!!$TEXMFLOCAL,!!$TEXMFDIST}\n"
          "TEXINPUTS = .;$TEXMF/tex/{$progname,generic,}//\n"
          "TEXINPUTS.latex = .;$TEXMF/tex/{latex,generic,}//\n"
          "TEXINPUTS.xelatex = .;$TEXMF/tex/{xelatex,latex,generic,}//\n"
          "TFMFONTS = .;$TEXMF/fonts/tfm//\nTEXFONTMAPS = .;$TEXMF/fonts/map//\n"
          "BIBINPUTS = .;$TEXMF/bibtex/bib//\n"
          # The machine's own formats, so that LaTeX can be asked for dates.
          "TEXFORMATS = .;%s/web2c/{$engine,}\n" % (local, dist, home, sysvar()))
    files = {
        local + "/tex/generic/a/order.sty": "local\n",
        dist + "/tex/latex/a/order.sty": "dist\n",
        dist + "/tex/latex/b/own.cls": "latex\n",
        dist + "/tex/xelatex/b/own.cls": "xelatex\n",
        local + "/tex/latex/c/bare": "1\n",
        dist + "/tex/latex/c/bare": "2\n",
        local + "/tex/latex/d/bare.tex": "3\n",
        local + "/doc/x/fnt.tfm": "a",
        dist + "/doc/y/fnt.tfm": "b",
        dist + "/fonts/tfm/z/other.tfm": "c",
        dist + "/fonts/map/texfonts.map": "other fnt\n",
        local + "/tex/latex/old/dated.sty": package("dated", "2019/01/01", "v1.0"),
        dist + "/tex/latex/new/dated.sty": package("dated", "2022/02/02", "v2.0"),
        local + "/tex/latex/same/twin.sty": package("twin", "2020/01/01", "v1"),
        dist + "/tex/latex/same/twin.sty": package("twin", "2020/01/01", "v1"),
        home + "/tex/latex/mine/dated.sty": package("dated", "2018/01/01", "v0.9"),
        dist + "/tex/latex/Case/CASE.sty": "upper\n",
        local + "/tex/latex/case/case.sty": "lower\n",
        dist + "/bibtex/bib/refs.bib": "@misc{a}\n",
        local + "/bibtex/bib/refs.bib": "@misc{b}\n",
        dist + "/tex/latex/x/na\xefve.sty": "latin-1 name\n",
        local + "/tex/latex/x/na\xefve.sty": "latin-1 name, other\n",
    }
    for path, content in files.items():
        write(path.encode("latin-1"), content.encode("latin-1"), "wb")
    for tree in (local, dist):
        mktexlsr(tree)
    # An entry whose file is gone.
    with open(dist + "/ls-R", "a") as f:
        f.write("./tex/latex/gone:\ndated.sty\n")
    return {"TEXMFCNF": base + "/cnf"}


def databases_trees(base):
    """Trees with each kind of problem -databases reports."""
    trees = [base + "/" + n for n in ("kept", "plain", "nolsr", "headerless", "empty", "both")]
    write(trees[0] + "/tex/latex/p/kept.sty", "")
    write(trees[0] + "/tex/latex/p/gone.sty", "")
    write(trees[0] + "/tex/latex/v/a.sty", "")
    write(trees[0] + "/tex/latex/v/b.gitignore", "")
    write(trees[0] + "/tex/latex/v/c.sty", "")
    write(trees[0] + "/tex/latex/.git/HEAD", "")
    mktexlsr(trees[0])
    os.remove(trees[0] + "/tex/latex/p/gone.sty")
    write(trees[0] + "/tex/latex/p/new.sty", "")
    os.symlink(trees[0] + "/nowhere.sty", trees[0] + "/tex/latex/p/dangling.sty")
    write(trees[1] + "/ls-R", HEADER + "./:\nx\n")
    write(trees[1] + "/x", "")
    write(trees[1] + "/tex/unlisted.sty", "")
    write(trees[2] + "/f.sty", "")
    write(trees[3] + "/ls-R", "./:\nf.sty\nls-R\n")
    write(trees[3] + "/f.sty", "")
    write(trees[4] + "/ls-R", "")
    write(trees[5] + "/x/upper.sty", "")
    write(trees[5] + "/x/lower.sty", "")
    write(trees[5] + "/ls-R", HEADER + "./:\nls-R\nls-r\nx\n./x:\nupper.sty\n")
    write(trees[5] + "/ls-r", HEADER + "./x:\nlower.sty\n")
    write(base + "/dbcnf/texmf.cnf",
          "TEXMF = {%s,%s}\nTEXMFDBS = {!!%s,%s,!!%s,!!%s,!!%s,!!%s,!!%s}\n"
          "TEXINPUTS = .;$TEXMF/tex//\n" % (trees[0], trees[1], trees[0], trees[1], trees[2],
                                           trees[3], trees[4], trees[5], base + "/absent"))
    return {"TEXMFCNF": base + "/dbcnf"}


def texlive_tree(base):
    """A TeX Live installation laid out as its installer lays one out."""
    root = base + "/texlive/2025"
    arch = root + "/bin/x86_64-linux"
    os.makedirs(arch)
    os.symlink(shutil.which("kpsewhich"), arch + "/kpsewhich")
    write(root + "/texmf-dist/web2c/texmf.cnf",
          "TEXMFROOT = $SELFAUTOPARENT\nTEXMFDIST = $TEXMFROOT/texmf-dist\n"
          "TEXMFLOCAL = $SELFAUTOGRANDPARENT/texmf-local\nTEXMFSYSVAR = $TEXMFROOT/texmf-var\n"
          "TEXMF = {!!$TEXMFLOCAL,!!$TEXMFSYSVAR,!!$TEXMFDIST}\n"
          "TEXMFDBS = {!!$TEXMFLOCAL,!!$TEXMFSYSVAR,!!$TEXMFDIST}\n"
          "TEXINPUTS = .;$TEXMF/tex/{$progname,latex,generic,}//\n")
    for tree in (root + "/texmf-dist", root + "/texmf-var", base + "/texlive/texmf-local"):
        write(tree + "/tex/latex/x/x.sty", tree + "\n")
        mktexlsr(tree)
    return root


def cases(base):
    """Yield (name, arguments, environment) for every case."""
    machine = {}
    home = base + "/userhome"
    write(home + "/texmf/tex/latex/old/array.sty",
          package("array", "2019/01/01", "v2.5g"))
    planted = {"HOME": home}
    trees = explain_trees(base + "/explain")
    dbs = databases_trees(base + "/databases")
    root = texlive_tree(base)
    everywhere = [
        ["-m"], ["-m", "-x", "*/doc/*"], ["-m", "-i", "*.sty", "-x", "*/latex-dev/*"],
        ["-m", "array.sty"], ["-f", "array.sty"], ["-explain"], ["-explain", "-verbose"],
        ["-explain", "-json"], ["-explain", "-fail-on=any"],
        ["-explain", "-fail-on=unreachable,distribution"],
        ["-explain", "-progname=dvips", "-progname=bibtex", "-progname=mpost"],
        ["-explain", "-progname=tex", "-file=*.sty"],
        ["-explain", "-file=array.sty", "-file=language.dat", "-file=updmap.cfg"],
        ["-databases"], ["-databases", "-verbose"], ["-databases", "-json"],
    ]
    for args in everywhere:
        yield "machine " + " ".join(args), args, machine
        yield "planted " + " ".join(args), args, planted
        yield "trees " + " ".join(args), args, trees
    for args in (["-databases"], ["-databases", "-verbose"], ["-databases", "-json"],
                 ["-m"], ["-explain", "-verbose"]):
        yield "databases " + " ".join(args), args, dbs
    for args in (["-m"], ["-explain", "-verbose"], ["-databases"], ["-explain", "-json"]):
        yield "texlive " + " ".join(args), args + ["-texmfroot=" + root], {}
    for args in ([], ["-help"], ["-version"], ["-shared-memory"], ["-ghostscript"],
                 ["-bogus"], ["-x"], ["-fail-on=nothing"], ["-m", "-s", "-explain"],
                 ["-databases", "-fail-on=any", "-file=x"], ["a", "b"],
                 ["-texmfroot=/nonexistent", "-m"], ["-texmfroot=/dev/null", "-m"],
                 ["-accept=/dev/null", "-explain"], ["-m", "-d", "0"]):
        yield "command line " + " ".join(args), args, machine
    accepted = base + "/accepted.json"
    yield "accept", ["-explain", "-accept=" + accepted], dict(planted, ACCEPTED=accepted)


def run(program_dir, args, env, cwd):
    """Run the lsrcheck in PROGRAM_DIR as a user runs it: by its name, found
    on PATH (Kpathsea finds the program's own directory that way)."""
    full = dict(os.environ)
    full.update(env)
    full["PATH"] = program_dir + os.pathsep + os.environ.get("PATH", "")
    p = subprocess.run(["lsrcheck"] + args, env=full, cwd=cwd, capture_output=True, timeout=600)
    return p.returncode, p.stdout, p.stderr


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: %r / %r" % (i + 1, x[:160], y[:160])
    return "length %d / %d lines" % (len(la), len(lb))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    old, new = (os.path.abspath(p) for p in sys.argv[1:3])
    base = tempfile.mkdtemp(prefix="lsrcheck-same-")
    empty = base + "/empty"
    os.makedirs(empty)
    # Each build as "lsrcheck" in a directory of its own.
    for name, program in (("old", old), ("new", new)):
        os.makedirs(base + "/" + name)
        os.symlink(program, base + "/" + name + "/lsrcheck")
    old, new = base + "/old", base + "/new"
    differ = total = failed = 0
    try:
        for name, args, env in cases(base):
            if "ACCEPTED" in env:
                status, out, _ = run(old, ["-explain", "-json"], env, empty)
                write(env["ACCEPTED"], out.decode("utf-8", "replace"))
            total += 1
            a, b = run(old, args, env, empty), run(new, args, env, empty)
            failed += a[0] == b[0] == 1
            for what, x, y in (("status", a[0], b[0]), ("stdout", a[1], b[1]),
                               ("stderr", a[2], b[2])):
                if x != y:
                    differ += 1
                    detail = "%d / %d" % (x, y) if what == "status" else first_difference(x, y)
                    print("differs: %s: %s: %s" % (name, what, detail))
                    break
    finally:
        if "--keep" not in sys.argv:
            shutil.rmtree(base, ignore_errors=True)
        else:
            print("kept " + base)
    print("%d cases, %d differ, %d ended with status 1 in both" % (total, differ, failed))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
