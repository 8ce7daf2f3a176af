#!/usr/bin/env python3
"""lsrcheck.exe under Wine beside the Linux build, on the same full-size trees.

Usage: bench/windows.py [--rounds N]   (after scripts/build and scripts/build-windows)

Lays out a TeX Live for Windows installation whose texmf-dist is the
machine's own (/usr/share/texlive/texmf-dist, through a link, with the
texmf.cnf it carries), puts lsrcheck.exe and kpsewhich.exe in its
bin/windows and a stand-in kpsewhich in bin/x86_64-linux, and times, round
after round, -multiple-occurences, -explain and -databases of both builds
on it.  Prints the medians of wall time and the ratio -explain / plain
report of each build.
"""

import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
MODES = ["-multiple-occurences", "-explain", "-databases"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    exe = os.path.join(TOP, "build-windows", "lsrcheck.exe")
    linux = os.path.join(TOP, "build", "lsrcheck")
    kpsewhich = sorted(glob.glob(os.path.expanduser("~/.cache/lsrcheck/kpathsea-*/bin/kpsewhich.exe")))
    if not (os.path.exists(exe) and os.path.exists(linux) and kpsewhich):
        sys.exit("run scripts/build and scripts/build-windows first")
    base = tempfile.mkdtemp(prefix="lsrcheck-winbench-")
    root = os.path.join(base, "2025")
    try:
        os.makedirs(os.path.join(root, "bin", "windows"))
        os.makedirs(os.path.join(root, "bin", "x86_64-linux"))
        shutil.copy(exe, os.path.join(root, "bin", "windows"))
        shutil.copy(kpsewhich[-1], os.path.join(root, "bin", "windows"))
        stand_in = os.path.join(root, "bin", "x86_64-linux", "kpsewhich")
        with open(stand_in, "w") as out:
            out.write("#!/bin/sh\nexit 0\n")
        os.chmod(stand_in, 0o755)
        os.symlink("/usr/share/texlive/texmf-dist", os.path.join(root, "texmf-dist"))
        env = dict(os.environ, WINEDEBUG="-all")
        env.setdefault("WINEPREFIX", os.path.join(TOP, "build-windows", "wineprefix"))
        subprocess.run(["wineserver", "-p", "60"], env=env)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        commands = {}
        for mode in MODES:
            commands[("windows", mode)] = ["wine", os.path.join(root, "bin", "windows", "lsrcheck.exe"), mode]
            commands[("linux", mode)] = [linux, mode, "-texmfroot=" + root]
        times = {k: [] for k in commands}
        for _ in range(args.rounds):
            for key, argv in commands.items():
                with open(os.devnull, "w") as null:
                    start = time.monotonic()
                    subprocess.run(argv, env=env, cwd=base, stdout=null, stderr=null)
                    times[key].append(time.monotonic() - start)
        for build in ("linux", "windows"):
            medians = {mode: statistics.median(times[(build, mode)]) for mode in MODES}
            print("%-8s " % build + "  ".join("%s %.2f s" % (m, medians[m]) for m in MODES) +
                  "  -explain/plain %.2f" % (medians["-explain"] / medians["-multiple-occurences"]))
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
