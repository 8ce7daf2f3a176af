#!/bin/sh
# Build the Debian package with CPack and inspect it: its files, and its
# dependencies (Kpathsea's runtime required, Ghostscript only recommended).
set -eu
build=$1
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null ||
  { echo "dpkg-dev not installed"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/lsrcheck_*.deb)
echo "built $(basename "$deb")"
files=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for f in ./usr/bin/lsrcheck ./usr/share/man/man1/lsrcheck.1 \
         ./usr/share/bash-completion/completions/lsrcheck; do
  printf '%s\n' "$files" | grep -qx -- "$f" || { echo "missing $f"; printf '%s\n' "$files"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
echo "$depends" | grep -q 'libkpathsea6' || { echo "no dependency on libkpathsea6"; exit 1; }
if echo "$depends" | grep -q 'libgs'; then echo "Ghostscript must not be required"; exit 1; fi
echo "$recommends" | grep -q 'libgs10' || { echo "libgs10 not recommended"; exit 1; }
[ "$(dpkg-deb -f "$deb" Package)" = lsrcheck ] || exit 1
