#!/bin/bash
# The bash completion offers every option of the usage text, with one dash
# or two, and nothing for a word that no option starts.
set -eu
lsrcheck=$1
source "$2"
complete_word() {
  COMP_WORDS=(lsrcheck "$1"); COMP_CWORD=1; COMPREPLY=()
  _lsrcheck
  printf '%s\n' "${COMPREPLY[@]}"
}
for option in $("$lsrcheck" -help | sed -n 's/^-\([a-z-]*\)\(=*\).*/\1\2/p'); do
  [ "$(complete_word "-${option%%[-=]*}" | grep -cx -- "-$option")" -eq 1 ] ||
    { echo "-$option is not offered"; exit 1; }
  [ "$(complete_word "--$option")" = "--$option" ] || { echo "--$option is not completed"; exit 1; }
done
[ "$(complete_word -multiple-occure)" = -multiple-occurences ] || { echo "-multiple-occure"; exit 1; }
[ -z "$(complete_word -zz)" ] || { echo "-zz offers something"; exit 1; }
echo "every option completes"
