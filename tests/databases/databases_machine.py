#!/usr/bin/env python3
"""lsrcheck -databases on this machine's own TeX, against an independent
reading: each ls-R read as Kpathsea reads it, each tree walked with
os.walk (links followed, hidden directories left out).  The dangling and
gone entries, the files the ls-R lacks, and the trees without an ls-R must
agree."""

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
run = subprocess.run([lsrcheck, "-databases", "-json"], env=env, capture_output=True)
if run.returncode not in (0, 4):
    print(run.stderr.decode(errors="replace"))
    sys.exit(1)
report = json.loads(run.stdout)
dbs = subprocess.run(["kpsewhich", "-expand-braces=$TEXMFDBS"], env=env, capture_output=True,
                     text=True, check=True).stdout.strip().split(":")
trees = [d[2:] if d.startswith("!!") else d for d in dbs if d]
failures = 0


def fail(text):
    global failures
    failures += 1
    print(text)


def collapse(path):
    while "//" in path:
        path = path.replace("//", "/")
    return path


if [t["dir"] for t in report["trees"]] != trees:
    fail("trees differ: %s against %s" % ([t["dir"] for t in report["trees"]], trees))
entries_all = set()
per_tree = {}
for tree in trees:
    lsr = os.path.join(tree, "ls-R")
    if not os.path.lexists(lsr):
        per_tree[tree] = None
        continue
    entries, d, top = [], None, False
    with open(lsr, "rb") as f:
        for raw in f.read().split(b"\n"):
            line = raw.rstrip(b"\r").decode("utf-8", "surrogateescape")
            if line in ("", ".", ".."):
                continue
            if line.endswith(":") and line.startswith(("/", "./", "../")):
                dd = line[:-1] + "/"
                hidden = any(c.startswith(".") and c not in (".",) for c in dd[1:].split("/")[1:])
                top = line == "./:"
                d = None if hidden else collapse(dd if dd.startswith("/") else
                                                 tree + "/" + (dd[2:] if dd.startswith("./") else dd))
                continue
            if d is not None and not (top and line == ".:"):
                entries.append(collapse(d + line))
    per_tree[tree] = entries
    entries_all.update(entries)

for t in report["trees"]:
    entries = per_tree.get(t["dir"])
    if entries is None:
        if t["ls_r"] is not None:
            fail("%s: no ls-R, but lsrcheck reads %s" % (t["dir"], t["ls_r"]))
        continue
    dangling = sorted(e for e in entries if os.path.islink(e) and not os.path.exists(e))
    gone = sorted(e for e in entries if not os.path.lexists(e))
    paths = {key: [item["path"] for item in t[key]]
             for key in ("dangling", "gone", "missing", "left_out")}
    if dangling != paths["dangling"]:
        fail("%s: dangling %d against %d" % (t["dir"], len(paths["dangling"]), len(dangling)))
    if gone != paths["gone"]:
        fail("%s: gone %d against %d" % (t["dir"], len(paths["gone"]), len(gone)))
    lacking = set()
    for root, dirs, files in os.walk(t["dir"], followlinks=True):
        dirs[:] = [x for x in dirs if not x.startswith(".")]
        for name in files + [x for x in os.listdir(root) if x not in files and
                             not os.path.isdir(os.path.join(root, x))]:
            path = collapse(os.path.join(root, name))
            rel = os.path.relpath(os.path.join(root, name), t["dir"])
            if path not in entries_all and rel not in ("ls-R", "ls-r"):
                lacking.add(path)
    if lacking != set(paths["missing"]) | set(paths["left_out"]):
        fail("%s: %d files lacking, lsrcheck %d" % (t["dir"], len(lacking),
                                                    len(paths["missing"]) + len(paths["left_out"])))
    print("%s: %d entries, %d dangling, %d gone, %d lacking" % (t["dir"], len(entries),
                                                               len(dangling), len(gone), len(lacking)))
# A healthy machine's trees are all up to date, whatever the distribution's
# own dangling links (the full TeX set has some) add to the listing.
if run.returncode == 0:
    text = subprocess.run([lsrcheck, "-databases"], env=env, capture_output=True, text=True,
                          errors="surrogateescape").stdout
    for line in text.splitlines():
        if ": ls-R" in line and ": ls-R up to date" not in line:
            fail("healthy, yet not up to date: " + line)
# The machine's own trees hold no file where TeX never looks (as a user
# with an empty home sees them).
with tempfile.TemporaryDirectory() as home:
    own = subprocess.run([lsrcheck, "-databases", "-json"], env=dict(env, HOME=home),
                         capture_output=True)
    for m in json.loads(own.stdout)["misplaced"]:
        fail("misplaced on a stock tree: " + m["path"])
sys.exit(1 if failures else 0)
