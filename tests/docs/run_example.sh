#!/usr/bin/env bash
# Runs the documented example: zelk on docs/triangle.txt, then zelkad on that
# output, each compared byte for byte with its golden file, with empty
# standard error and status 0.
# Usage: run_example.sh ZELK ZELKAD SOURCE_ROOT
set -u
zelk=$1 zelkad=$2 root=$3
golden=$root/tests/docs/golden
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

check() { # name status expected actual-stdout actual-stderr
    if [ "$2" -ne 0 ]; then echo "$1: exit status $2, expected 0"; fail=1; fi
    if ! cmp -s "$3" "$4"; then echo "$1: standard output differs:"; diff "$3" "$4" | head -20; fail=1; fi
    if [ -s "$5" ]; then echo "$1: unexpected standard error:"; cat "$5"; fail=1; fi
}

"$zelk" <"$root/docs/triangle.txt" >"$work/out" 2>"$work/err"
check zelk $? "$golden/triangle.out" "$work/out" "$work/err"
"$zelkad" <"$golden/triangle.out" >"$work/scr" 2>"$work/err"
check zelkad $? "$golden/triangle.scr" "$work/scr" "$work/err"
exit $fail
