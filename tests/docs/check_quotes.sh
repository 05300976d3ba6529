#!/usr/bin/env bash
# Renders manual pages and checks their quotes against the programs' sources
# and the end-to-end expected files (see check_quotes.pl).
# Usage: check_quotes.sh SOURCE_ROOT PAGE...
set -eu
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/render_pages.sh"
mapfile -t expected < <(
    find "$root/tests/cases" -type f \( -name stdout -o -name stderr \) 2>/dev/null || true
    find "$root/tests/docs/golden" -type f 2>/dev/null || true
)
perl "$here/check_quotes.pl" "${rendered[@]}" -- "${sources[@]}" -- "${expected[@]}"
