#!/bin/sh
# The runs -formats makes, made by hand: each enabled format run on a
# minimal document (LaTeX's loading expl3 and an article, the others
# ending at once), in an empty directory, as -formats runs them.
#
# Usage: bench/formats_runs.sh list LSRCHECK FILE   write the formats (name,
#                                                    engine, latex) to FILE
#        bench/formats_runs.sh one-by-one FILE       run them one after another
#        bench/formats_runs.sh side-by-side FILE     run them two at a time (the
#                                                    floor on two cores)
set -e
case $1 in
list)
    "$2" -formats -json | python3 -c '
import json, sys
for f in json.load(sys.stdin)["formats"]:
    if f["copies"]:
        print(f["name"], f["engine"], "latex" if f["latex"] else "other")' >"$3"
    ;;
one-by-one | side-by-side)
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
    jobs=1
    [ "$1" = side-by-side ] && jobs=2
    # Each line: NAME ENGINE KIND; each run in a directory of its own.
    awk '{print NR, $0}' "$2" | xargs -P "$jobs" -L 1 sh -c '
        n=$1 name=$2 engine=$3 kind=$4
        d="$0/$n"; mkdir "$d"; cd "$d"
        fmt="-fmt=$name"
        case $engine in mf*) fmt="-base=$name";; esac
        doc="\\end"
        [ "$kind" = latex ] && doc="\\RequirePackage{expl3}\\documentclass{article}\\begin{document}\\end{document}"
        safer=
        case $engine in *lua*) safer=--safer;; esac
        shell_escape=f openout_any=p MKTEXFMT=0 MKTEXTFM=0 MKTEXPK=0 MKTEXMF=0 \
            "$engine" "$fmt" -progname="$name" -interaction=nonstopmode -jobname=probe $safer "$doc" \
            >/dev/null 2>&1 || true' "$dir"
    ;;
*)
    echo "usage: $0 list LSRCHECK FILE | one-by-one FILE | side-by-side FILE" >&2
    exit 2
    ;;
esac
