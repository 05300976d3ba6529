#!/usr/bin/env bash
# Renders manual pages and checks their quotes against the programs' sources
# and the end-to-end expected files (see check_quotes.pl).
# Usage: check_quotes.sh SOURCE_ROOT PAGE...
set -eu
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rendered=()
for page in "$@"; do
    out=$work/$(basename "$page")
    # One paragraph per line, no hyphenation, overstrike in place of colours.
    groff -man -Tutf8 -P-c -rLL=5000n -rHY=0 "$page" >"$out"
    rendered+=("$out")
done
mapfile -t sources < <(find "$root/structure_io" "$root/analysis" "$root/drawing_script" \
    -name '*.cpp' -o -name '*.h' | sort)
mapfile -t expected < <(
    find "$root/tests/cases" -type f \( -name stdout -o -name stderr \) 2>/dev/null || true
    find "$root/tests/docs/golden" -type f 2>/dev/null || true
)
perl "$here/check_quotes.pl" "${rendered[@]}" -- "${sources[@]}" -- "${expected[@]}"
