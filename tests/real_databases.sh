#!/bin/bash
# Check lsrcheck -multiple-occurences on this machine's own TeX databases
# against an independent reading of the same ls-R files: the count of
# entries that are not directories, and the set of paths whose file name
# (ignoring ASCII case) occurs more than once.
set -euo pipefail
export LC_ALL=C
lsrcheck=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v kpsewhich >/dev/null; then
  echo "kpsewhich not installed (Debian package texlive-binaries)"; exit 77
fi

# Every entry of every ls-R on TEXMFDBS, as the joined path Kpathsea builds.
IFS=: read -ra dbs <<<"$(kpsewhich -expand-braces='$TEXMFDBS' | tr -d '!')"
for db in "${dbs[@]}"; do
  [ -n "$db" ] || continue
  lsr=$db/ls-R; [ -f "$lsr" ] || lsr=$db/ls-r; [ -f "$lsr" ] || continue
  head -1 "$lsr" | grep -q '^% ls-R -- filename database for kpathsea; do not change this line\.$' || continue
  awk -v top="$db/" '
    NR == 1 { next }
    /:$/ && (/^\// || /^\.\// || /^\.\.\//) {
      d = substr($0, 1, length($0) - 1) "/"
      # Directories with a component starting with a dot are skipped.
      ignored = (substr(d, 2) ~ /\/\.[^\/]/)
      dir = ignored ? "" : (substr(d, 1, 1) == "." ? top substr(d, 3) : d)
      next
    }
    $0 != "" && $0 != "." && $0 != ".." && dir != "" { print dir $0 }
  ' "$lsr"
done >"$work/entries"

while IFS= read -r path; do
  [ -d "$path" ] || printf '%s\n' "$path"
done <"$work/entries" >"$work/kept"

# Paths whose lower-cased final component occurs more than once.
awk '{ n = $0; sub(/.*\//, "", n); n = tolower(n); count[n]++; paths[NR] = $0; names[NR] = n }
     END { for (i = 1; i <= NR; i++) if (count[names[i]] > 1) print paths[i] }' \
  "$work/kept" | sort >"$work/expected-grouped"

"$lsrcheck" -multiple-occurences >"$work/report"
expected_count=$(wc -l <"$work/kept")
actual_count=$(head -1 "$work/report" | cut -d' ' -f1)
sed -n '5,$p' "$work/report" | grep -v -e '^$' -e '^End of list\.$' | sort >"$work/actual-grouped"

echo "entries: $(wc -l <"$work/entries"), kept: $expected_count, reported: $actual_count"
[ "$expected_count" -eq "$actual_count" ] || { echo "count differs"; exit 1; }
diff "$work/expected-grouped" "$work/actual-grouped" || { echo "groups differ"; exit 1; }
echo "groups agree: $(wc -l <"$work/actual-grouped") paths in groups"
