#!/usr/bin/env bash
# Renders the manual pages and checks that they hold every message of the
# programs' sources (see check_documented.pl).
# Usage: check_documented.sh SOURCE_ROOT PAGE...
set -eu
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rendered=()
for page in "$@"; do
    out=$work/$(basename "$page")
    groff -man -Tutf8 -P-c -rLL=5000n -rHY=0 "$page" >"$out"
    rendered+=("$out")
done
mapfile -t sources < <(find "$root/structure_io" "$root/analysis" "$root/drawing_script" \
    -name '*.cpp' -o -name '*.h' | sort)
perl "$here/check_documented.pl" "$here/unreachable.txt" "${rendered[@]}" -- "${sources[@]}"
