#!/usr/bin/env bash
# Bounded fuzzing run: builds the fuzz targets with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (and the library's checked
# containers), then fuzzes every target at once for FUZZ_SECONDS seconds
# (default 60), starting from the committed seeds and regressions and from
# seeds made afresh from the end-to-end cases. Fails on any crash, sanitizer
# report, broken invariant, time-out (FUZZ_TIMEOUT seconds for one input) or
# memory blow-up. Installs nothing: it needs clang++ and libclang-rt.
#
#   FUZZ_SECONDS=3600 FUZZ_KEEP=dir tests/fuzz/ci_fuzz.sh   # a long campaign
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-10}
build=${FUZZ_BUILD:-$root/build/libfuzzer}
targets=(fuzz_lex fuzz_readers fuzz_stdin fuzz_zelkad fuzz_zelk)

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_SANITIZE=ON -DZELK_LIBFUZZER=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -D_GLIBCXX_ASSERTIONS" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

work=${FUZZ_KEEP:-$(mktemp -d)}
[ -n "${FUZZ_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
"$here/make_seeds.sh" "$work/fresh" >/dev/null

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

pids=()
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/artifacts"
  # The analysis solves dense systems: its inputs stay short enough to solve in time.
  max_len=4096
  [ "$t" = fuzz_zelk ] && max_len=2048
  seeds=()
  for d in "$here/corpus/$t" "$here/regressions/$t" "$work/fresh/$t"; do
    [ -d "$d" ] && seeds+=("$d")
  done
  "$build/tests/fuzz/$t" "$work/$t/corpus" "${seeds[@]}" -dict="$here/fuzz.dict" -max_total_time="$seconds" \
    -timeout="$timeout" -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$work/$t/artifacts/" >"$work/$t/log" 2>&1 </dev/null &
  pids+=($!)
done

fail=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  if wait "${pids[$i]}"; then status=0; else status=$?; fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t/log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$work/$t/log" | tail -1 || true)
  echo "$t: status $status, ${runs:-?} runs, $cov, corpus $(ls "$work/$t/corpus" | wc -l)"
  if [ "$status" != 0 ] || [ -n "$(ls -A "$work/$t/artifacts")" ]; then
    fail=1
    echo "---- $t found a fault; its log ends:"
    tail -60 "$work/$t/log"
    ls -l "$work/$t/artifacts"
  fi
done
exit $fail
