#!/usr/bin/env python3
"""Generate texmf trees whose names follow a real TeX installation's.

Reads the ls-R files of the machine's own TEXMFDBS trees (run
bench/install-full-texlive first for a full-size set) and lays out as many
copies of them as it takes to reach --entries entries: copy 0 holds the real
names; copy C lives below c<C>/ in the same tree, and each of its names
carries _<C> before its suffix (texgyreadventor-bold_3.otf).  So the names
keep a real installation's families, long shared prefixes and suffix mix,
and the names that real trees share are shared again within each copy.
Subdirectories are made as directories, every other entry as an empty
file, and each tree gets its ls-R; a texmf.cnf naming the trees is written
to OUT/cnf.
"""

import argparse
import os
import shutil
import subprocess

from gen_tree import write_cnf

HEADER = "% ls-R -- filename database for kpathsea; do not change this line.\n"


def machine_trees():
    """Return [(tree, {relative dir: [names]})] for the machine's TEXMFDBS."""
    env = dict(os.environ)
    for var in ("TEXMFCNF", "TEXMFDBS", "TEXMF"):
        env.pop(var, None)
    out = subprocess.run(["kpsewhich", "-expand-braces=$TEXMFDBS"], env=env,
                         capture_output=True, text=True, check=True).stdout
    trees = []
    for tree in out.strip().split(":"):
        tree = tree.lstrip("!").rstrip("/")
        lsr = os.path.join(tree, "ls-R")
        if not tree or not os.path.isfile(lsr):
            continue
        listing, current = {}, None
        with open(lsr, encoding="utf-8", errors="surrogateescape") as f:
            for line in f:
                line = line.rstrip("\n")
                if line.endswith(":") and line.startswith(("./", "/")):
                    d = line[:-1]
                    d = d[2:] if d.startswith("./") else os.path.relpath(d, tree)
                    d = "" if d in (".", "") else d.rstrip("/")
                    hidden = any(c.startswith(".") for c in d.split("/") if c)
                    current = None if hidden or d.startswith("..") else listing.setdefault(d, [])
                elif line and line not in (".", "..") and current is not None:
                    current.append(line)
        trees.append((os.path.basename(tree) or "root", tree, listing))
    return trees


def renamed(name, copy):
    """Return NAME as copy COPY holds it."""
    if copy == 0:
        return name
    stem, dot, suffix = name.rpartition(".")
    return "%s_%d.%s" % (stem, copy, suffix) if dot and stem else "%s_%d" % (name, copy)


def build(out, trees, entries):
    """Lay out copies of TREES below OUT until ENTRIES entries are written."""
    written, copy, roots = 0, 0, []
    for label, _, _ in trees:
        roots.append(os.path.join(out, "%d-%s" % (len(roots), label)))
    lsr = {root: [HEADER] for root in roots}
    while written < entries:
        for root, (_, real, listing) in zip(roots, trees):
            for d in sorted(listing):
                if written >= entries:
                    break
                rel = d if copy == 0 else os.path.join("c%d" % copy, d) if d else "c%d" % copy
                full = os.path.join(root, rel)
                os.makedirs(full, exist_ok=True)
                lsr[root].append("\n./%s:\n" % rel if rel else "\n./:\n")
                for name in listing[d]:
                    is_dir = os.path.isdir(os.path.join(real, d, name))
                    new = name if is_dir else renamed(name, copy)
                    target = os.path.join(full, new)
                    if is_dir:
                        os.makedirs(target, exist_ok=True)
                    elif not os.path.lexists(target):
                        open(target, "w").close()
                    lsr[root].append(new + "\n")
                    written += 1
        copy += 1
    for root in roots:
        os.makedirs(root, exist_ok=True)
        with open(os.path.join(root, "ls-R"), "w", encoding="utf-8",
                  errors="surrogateescape") as f:
            f.writelines(lsr[root])
    write_cnf(out, roots)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", help="directory to create (replaced if present)")
    parser.add_argument("--entries", type=int, default=1000000)
    args = parser.parse_args()
    trees = machine_trees()
    if not any(listing for _, _, listing in trees):
        raise SystemExit("gen_real: no ls-R entries on this machine's TEXMFDBS")
    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    build(args.out, trees, args.entries)


if __name__ == "__main__":
    main()
