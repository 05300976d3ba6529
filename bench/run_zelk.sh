#!/usr/bin/env bash
# Times complete zelk runs on generated trusses and reports peak memory.
# Usage: bench/run_zelk.sh BUILD_DIR   (a release build holding zelk and gen_truss)
set -euo pipefail
build=${1:?usage: run_zelk.sh BUILD_DIR}
zelk=$build/analysis/zelk
gen=$build/bench/gen_truss
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { # name, zelk options, generator arguments...
    local name=$1 opts=$2
    shift 2
    "$gen" "$@" > "$work/in.txt"
    # shellcheck disable=SC2086
    /usr/bin/time -v "$zelk" $opts < "$work/in.txt" > /dev/null 2> "$work/time.txt" || true
    local wall rss
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | sed 's/.*: //')
    printf '%-34s wall %8s  peak RSS %8s KiB\n' "$name" "$wall" "$rss"
}

run "grid 100 x 100"                 ""      grid 100 100
run "grid 100 x 100, strict, 10 cyc" "-c 10" grid 100 100 strict
run "Pratt bridge, 5000 panels"      ""      bridge 5000
run "ground 15 x 15, radius 30"      ""      ground 15 30
run "ground 45 x 45, radius 100"     ""      ground 45 100
