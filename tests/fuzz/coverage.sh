#!/usr/bin/env bash
# Line and branch coverage that fuzz corpora reach in the library and both
# programs: builds the fuzz targets with clang's source-based coverage and
# the replay main, replays every corpus folder given (default: the committed
# seeds and regressions) and prints llvm-cov's summary per source file.
#
#   tests/fuzz/coverage.sh [CORPUS_ROOT...]   # each holding fuzz_<target>/ folders
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${COVERAGE_BUILD:-$root/build/fuzz-coverage}
targets=(fuzz_lex fuzz_readers fuzz_stdin fuzz_zelkad fuzz_zelk)
[ $# -gt 0 ] || set -- "$here/corpus" "$here/regressions"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT
objects=()
for t in "${targets[@]}"; do
  dirs=()
  for r in "$@"; do [ -d "$r/$t" ] && dirs+=("$r/$t"); done
  LLVM_PROFILE_FILE="$profiles/$t-%p.profraw" "$build/tests/fuzz/$t" "${dirs[@]}" 2>/dev/null \
    </dev/null
  objects+=(-object "$build/tests/fuzz/$t")
done
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
llvm-cov report "${objects[@]:1}" -instr-profile="$profiles/all.profdata" \
  "$root/structure_io" "$root/analysis" "$root/drawing_script"
