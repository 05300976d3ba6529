#!/usr/bin/env bash
# Times complete zelk runs on generated trusses and reports peak memory and
# the run's estimated error of displacements and bar forces (zelk's warning
# past 0.1%); with
# a second zelk, also runs it on the same inputs and compares the outputs.
# Usage: bench/run_zelk.sh BUILD_DIR [REFERENCE_ZELK]
#   BUILD_DIR: a release build holding analysis/zelk and bench/gen_truss.
set -euo pipefail
build=${1:?usage: run_zelk.sh BUILD_DIR [REFERENCE_ZELK]}
ref=${2:-}
zelk=$build/analysis/zelk
gen=$build/bench/gen_truss
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The reference is run under its own name, which zelk prints in its results.
if [ -n "$ref" ]; then
    mkdir "$work/ref" && cp "$ref" "$work/ref/zelk"
fi

run() { # name, zelk options, generator arguments...
    local name=$1 opts=$2
    shift 2
    "$gen" "$@" > "$work/in.txt"
    local status=0
    # shellcheck disable=SC2086
    /usr/bin/time -v "$zelk" $opts < "$work/in.txt" > /dev/null 2> "$work/time.txt" || status=$?
    local wall rss est same=""
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | sed 's/.*: //')
    # zelk's stderr comes into the same file: its warning names the estimates.
    est=$(sed -n 's/.*: warning: spoiled: displacements off by about \([^,]*\), bar forces by \(.*\)/\1 \/ \2/p' "$work/time.txt")
    grep -q 'warning: the solution holds infinite or undefined values' "$work/time.txt" &&
        est=undefined
    : "${est:=<0.1%}"
    if [ -n "$ref" ]; then
        # Untimed: both outputs compared as they are written.
        # shellcheck disable=SC2086
        if "$work/ref/zelk" $opts < "$work/in.txt" 2> "$work/ref_err.txt" > "$work/ref.out"; then
            # shellcheck disable=SC2086
            "$zelk" $opts < "$work/in.txt" 2> /dev/null | cmp -s - "$work/ref.out" &&
                same="  output: same" || same="  output: DIFFERS"
        else
            same="  reference: $(tail -n 1 "$work/ref_err.txt")"
        fi
        rm -f "$work/ref.out"
    fi
    printf '%-36s wall %8s  peak RSS %8s KiB  error %15s  status %d%s\n' "$name" "$wall" "$rss" \
        "$est" "$status" "$same"
}

run "grid 100 x 100"                   ""      grid 100 100
run "grid 100 x 100, strict, 10 cyc"   "-c 10" grid 100 100 strict
run "Pratt bridge, 5000 panels"        ""      bridge 5000
run "grid 150 x 150"                   ""      grid 150 150
run "grid 200 x 200"                   ""      grid 200 200
run "ground 15 x 15, radius 30"        ""      ground 15 30
run "ground 45 x 45, radius 100"       ""      ground 45 100
run "ground 45 x 45, radius 100, shuf" ""      ground 45 100 shuffled
run "ground 30 x 30, radius 6, shuf"   ""      ground 30 6 shuffled
