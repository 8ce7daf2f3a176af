#!/bin/sh
# The lookups -explain makes, made by kpsewhich: every name of the groups
# of -explain, for each of the four LaTeX programs, one batched
# `kpsewhich -all -progname=P` run each, from an empty directory.
#
# Usage: bench/explain_vs_kpsewhich.sh NAMES
#   NAMES: a file of the group names, one a line, as
#   lsrcheck -explain -json | python3 -c 'import json,sys; [print(g["name"]) for g in json.load(sys.stdin)["groups"]]'
#   writes them.
set -e
names=$1
dir=$(mktemp -d)
trap 'rmdir "$dir"' EXIT
cd "$dir"
for program in latex pdflatex lualatex xelatex; do
    xargs -d '\n' -a "$names" kpsewhich -all -progname="$program" -- >/dev/null || true
done
