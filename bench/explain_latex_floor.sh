#!/bin/sh
# The least -explain can take where LaTeX has to run: the report started
# together with RUNS LaTeX runs of the kind it makes (each loading a
# package by its path), as if LaTeX knew its questions from the start.
# No schedule of the real report, which learns its questions from the
# lookups, can beat this on the same machine.
#
# Usage: bench/explain_latex_floor.sh LSRCHECK RUNS PACKAGE_PATH
set -e
lsrcheck=$1 runs=$2 package=${3%.sty}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$lsrcheck" -explain >/dev/null &
i=0
while [ "$i" -lt "$runs" ]; do
    latex -jobname="floor$i" -interaction=nonstopmode -no-shell-escape \
        "\\RequirePackage{$package}\\stop" >/dev/null &
    i=$((i + 1))
done
wait
