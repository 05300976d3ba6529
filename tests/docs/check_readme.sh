#!/usr/bin/env bash
# Checks that the output the README shows is real: every line of a code
# block that follows the marker <!-- output of: zelk < docs/triangle.txt -->
# must be a line of the golden output of that run.
# Usage: check_readme.sh SOURCE_ROOT
set -u
root=$1
golden=$root/tests/docs/golden/triangle.out
readme=$root/README.md
fail=0 blocks=0 state=out
while IFS= read -r line; do
    case $state in
    out) [ "$line" = '<!-- output of: zelk < docs/triangle.txt -->' ] && state=marked ;;
    marked) [[ $line == '```'* ]] && { state=in; blocks=$((blocks + 1)); } ;;
    in)
        if [[ $line == '```'* ]]; then state=out
        elif [ -n "$line" ] && ! grep -qxF -- "$line" "$golden"; then
            echo "README.md shows a line that the run does not write: $line"
            fail=1
        fi ;;
    esac
done <"$readme"
[ $blocks -gt 0 ] || { echo "README.md: no marked output block"; fail=1; }
exit $fail
