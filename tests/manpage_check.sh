#!/bin/sh
# The manual page renders without a single groff warning, and documents
# every option of the usage text.
set -eu
lsrcheck=$1 page=$2
command -v groff >/dev/null || { echo "groff not installed (Debian package groff-base)"; exit 77; }
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; exit 1; }
text=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  printf '%s\n' "$text" | grep -qx "$section" || { echo "no section $section"; exit 1; }
done
for variable in TEXMFCNF TEXMFDBS GS_DLL GS_LIB; do
  printf '%s\n' "$text" | grep -Eq "^ *$variable( |$)" || { echo "$variable not documented"; exit 1; }
done
options=$("$lsrcheck" -help | sed -n 's/^\(-[a-z-]*\).*/\1/p')
[ -n "$options" ] || { echo "no options in the usage text"; exit 1; }
for option in $options; do
  # At the head of an option's entry, or as another spelling in that head.
  printf '%s\n' "$text" | grep -Eq -e "^ *(-[a-z-]+[^ ]*, )*$option\b" ||
    { echo "$option not documented"; exit 1; }
done
echo "documented:" $options
