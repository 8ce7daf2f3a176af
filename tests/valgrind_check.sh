#!/bin/sh
# Run lsrcheck -multiple-occurences under valgrind on this machine's TeX
# databases and on a generated tree: no invalid read or write, and no
# memory lost but what Kpathsea itself never frees (valgrind.supp).
set -eu
lsrcheck=$1
here=$(cd "$(dirname "$0")" && pwd)
command -v valgrind >/dev/null || { echo "valgrind not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
  valgrind --quiet --error-exitcode=99 --leak-check=full --num-callers=60 \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --suppressions="$here/valgrind.supp" "$lsrcheck" -multiple-occurences "$@" \
    >"$work/out" 2>"$work/err" || { cat "$work/err"; echo "valgrind found errors"; exit 1; }
  # The tool's own notes (a tree of the user's searched on disk) are no
  # valgrind report.
  if grep -v "^$lsrcheck: note: " "$work/err" >"$work/reports"; then
    cat "$work/reports"; exit 1
  fi
  head -1 "$work/out"
}

check
python3 "$here/../bench/gen_tree.py" "$work/tree" --entries 3000
TEXMFCNF=$work/tree/cnf check
TEXMFCNF=$work/tree/cnf check -exclude='*/texmf-home/*' '*.sty'
echo "no errors, nothing lost by lsrcheck"
