#!/usr/bin/env bash
# Renders the manual pages and checks that they hold every message of the
# programs' sources (see check_documented.pl).
# Usage: check_documented.sh SOURCE_ROOT PAGE...
set -eu
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/render_pages.sh"
perl "$here/check_documented.pl" "$here/unreachable.txt" "${rendered[@]}" -- "${sources[@]}"
