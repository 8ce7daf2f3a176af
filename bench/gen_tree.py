#!/usr/bin/env python3
"""Generate synthetic texmf trees with their ls-R databases, files on disk.

The trees look like a TeX installation: a large distribution tree, a local
tree and a personal one, with many small package directories and a few
large font directories.  A share of the file names occur in more than one
tree, in mixed case.  As in a real ls-R, every directory lists its
subdirectories as entries; besides these, some entries are symbolic links
(to files, to directories, dangling) and some are listed but missing on
disk.  A texmf.cnf whose TEXMFDBS names the trees is written to OUT/cnf.
"""

import argparse
import os
import random
import shutil

HEADER = "% ls-R -- filename database for kpathsea; do not change this line.\n"
TREES = [("texmf-dist", 0.80), ("texmf-local", 0.12), ("texmf-home", 0.08)]
EXTENSIONS = [".sty", ".tex", ".cls", ".tfm", ".pfb", ".vf", ".enc", ".map",
              ".def", ".fd", ".cfg", ".bib", ".bst", ".pdf", ".lua"]
AREAS = ["tex/latex", "tex/generic", "fonts/tfm/public", "fonts/type1/public",
         "fonts/vf/public", "doc/latex", "bibtex/bst", "scripts"]


def directory_sizes(rng, total):
    """Split TOTAL entries into directory sizes: mostly small, some large."""
    sizes = []
    while total > 0:
        if rng.random() < 0.03:
            size = rng.randint(300, 2500)     # a font family directory
        else:
            size = int(rng.paretovariate(1.3)) + rng.randint(0, 12)
        size = min(size, total)
        sizes.append(size)
        total -= size
    return sizes


def mixed_case(rng, name):
    """Return NAME with the case of some letters changed."""
    return "".join(c.upper() if c.isalpha() and rng.random() < 0.3 else c
                   for c in name)


def plan(rng, entries):
    """Return {tree: {directory: [(name, kind)]}} for about ENTRIES entries.

    kind is one of file, missing, link-file, link-dir, dangling; directory
    entries are added when the listings are written.
    """
    layout = {tree: {} for tree, _ in TREES}
    shared_names = []
    counter = 0
    for tree, share in TREES:
        budget = int(entries * share)
        for size in directory_sizes(rng, budget):
            area = rng.choice(AREAS)
            counter += 1
            directory = "%s/pkg%05d" % (area, counter)
            if size > 20 and rng.random() < 0.3:
                directory += "/sub%d" % rng.randint(1, 3)
            files = layout[tree].setdefault(directory, [])
            for i in range(size):
                roll = rng.random()
                if tree != "texmf-dist" and shared_names and roll < 0.25:
                    # A copy that shadows a file of the distribution.
                    name = mixed_case(rng, rng.choice(shared_names))
                else:
                    name = "f%d-%d%s" % (counter, i, rng.choice(EXTENSIONS))
                    if tree == "texmf-dist" and rng.random() < 0.05:
                        shared_names.append(name)
                roll = rng.random()
                if roll < 0.010:
                    kind = "missing"
                elif roll < 0.015:
                    kind = "link-file"
                elif roll < 0.018:
                    kind = "link-dir"
                elif roll < 0.020:
                    kind = "dangling"
                else:
                    kind = "file"
                files.append((name, kind))
    return layout


def build(out, layout):
    """Create the trees of LAYOUT below OUT, with their ls-R files."""
    for tree, directories in layout.items():
        root = os.path.join(out, tree)
        os.makedirs(root)
        listings = {}
        for directory in directories:
            path = directory
            while path:
                parent, _, leaf = path.rpartition("/")
                listings.setdefault(parent, set()).add(leaf)
                path = parent
        for directory, files in directories.items():
            full = os.path.join(root, directory)
            os.makedirs(full, exist_ok=True)
            for name, kind in files:
                target = os.path.join(full, name)
                if os.path.lexists(target):
                    continue
                if kind == "file":
                    open(target, "w").close()
                elif kind == "link-file":
                    os.symlink("/etc/hostname", target)
                elif kind == "link-dir":
                    os.symlink(".", target)
                elif kind == "dangling":
                    os.symlink("no-such-file", target)
        with open(os.path.join(root, "ls-R"), "w") as lsr:
            lsr.write(HEADER + "\n./:\n")
            for leaf in sorted(listings.get("", ())):
                lsr.write(leaf + "\n")
            for directory in sorted(set(listings) | set(directories)):
                if not directory:
                    continue
                lsr.write("\n./%s:\n" % directory)
                for leaf in sorted(listings.get(directory, ())):
                    lsr.write(leaf + "\n")
                for name, _ in directories.get(directory, ()):
                    lsr.write(name + "\n")
    write_cnf(out, [os.path.join(out, tree) for tree, _ in TREES])


def write_cnf(out, trees):
    """Write OUT/cnf/texmf.cnf, whose TEXMF and TEXMFDBS name TREES."""
    cnf = os.path.join(out, "cnf")
    os.makedirs(cnf)
    with open(os.path.join(cnf, "texmf.cnf"), "w") as f:
        f.write("TEXMF = {%s}\nTEXMFDBS = %s\n" % (",".join(trees), ":".join(trees)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", help="directory to create (replaced if present)")
    parser.add_argument("--entries", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    build(args.out, plan(random.Random(args.seed), args.entries))


if __name__ == "__main__":
    main()
