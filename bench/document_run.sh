#!/bin/sh
# A document of the distribution's files alone, for -document's benchmark:
# a beamer presentation with TikZ and pgfplots, compiled once with
# pdflatex -recorder in DIR (HOME there too; no font or format is built),
# and the names of the files its run found by name, in DIR/names.
#
# Usage: bench/document_run.sh make LSRCHECK DIR
#        bench/document_run.sh lookups DIR   the lookups -document makes,
#                                             made by kpsewhich: one batched
#                                             kpsewhich -all as pdflatex over
#                                             DIR/names, from DIR
#        bench/document_run.sh floor LOAD     Kpathsea's load of the databases
#                                             (bench's lsrcheck_load) with the
#                                             package lists read beside it
set -e
case $1 in
make)
    lsrcheck=$2 dir=$3
    mkdir -p "$dir"
    cd "$dir"
    cat >talk.tex <<'TEX'
\documentclass{beamer}
\usetheme{Madrid}
\usepackage{tikz}
\usetikzlibrary{arrows.meta,positioning,calc,shapes,decorations.pathmorphing}
\usepackage{pgfplots}
\pgfplotsset{compat=1.18}
\usepackage[T1]{fontenc}
\usepackage{lmodern,microtype}
\usepackage[english]{babel}
\usepackage{booktabs,amsmath,amssymb,siunitx,listings,hyperref,csquotes,tabularx}
\begin{document}
\begin{frame}{A}
\begin{tikzpicture}\begin{axis}\addplot {x^2};\end{axis}\end{tikzpicture}
$\int x\,dx$ \SI{3}{\metre}
\end{frame}
\end{document}
TEX
    HOME=$dir MKTEXTFM=0 MKTEXPK=0 MKTEXFMT=0 MKTEXMF=0 \
        pdflatex -recorder -interaction=nonstopmode talk.tex >/dev/null || true
    HOME=$dir "$lsrcheck" -document=talk.fls -json | python3 -c '
import json, sys
for f in json.load(sys.stdin)["files"]:
    if f["looked_up"] and f["class"] not in ("document", "format", "configuration"):
        print(f["looked_up"])' >names
    echo "$(grep -c '^INPUT' talk.fls) INPUT lines, $(wc -l <names) names found by name"
    ;;
lookups)
    cd "$2"
    HOME=$2 xargs -d '\n' -a names kpsewhich -all -progname=pdflatex -- >/dev/null
    ;;
floor)
    "$2" >/dev/null &
    cat /var/lib/dpkg/info/*.list >/dev/null
    wait
    ;;
*)
    echo "usage: $0 make LSRCHECK DIR | lookups DIR | floor LOAD" >&2
    exit 2
    ;;
esac
