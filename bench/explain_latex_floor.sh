#!/bin/sh
# The least -explain can take where LaTeX has to run: the report on the
# same trees with no LaTeX to ask (no TeX program on its PATH), started
# together with the LaTeX runs the real report makes (each loading a
# package by its path), as if LaTeX knew its questions from the start.
# No schedule of the real report, which learns its questions from the
# lookups, can beat this on the same machine.
#
# Usage: bench/explain_latex_floor.sh LSRCHECK RUNS PACKAGE_PATH
#   RUNS: a number of latex runs, or the programs of the runs, comma
#   separated (latex,latex,lualatex,lualatex: each engine's LaTeX asked for
#   the two copies that decide).
set -e
lsrcheck=$1 runs=$2 package=${3%.sty}
case $runs in
*[!0-9]*) programs=$(echo "$runs" | tr , ' ') ;;
*) programs=$(i=0; while [ "$i" -lt "$runs" ]; do printf 'latex '; i=$((i + 1)); done) ;;
esac
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
PATH=/nonexistent "$lsrcheck" -explain >/dev/null &
i=0
for program in $programs; do
    safer=
    case $program in *lua*) safer=--safer ;; esac
    "$program" -jobname="floor$i" -interaction=nonstopmode -no-shell-escape $safer \
        "\\RequirePackage{$package}\\stop" >/dev/null &
    i=$((i + 1))
done
wait
