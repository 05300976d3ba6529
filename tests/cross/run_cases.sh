#!/usr/bin/env bash
# Runs every end-to-end case with the programs under qemu-user, several at a
# time, and compares each with its expected files (see ../run_case.sh). The
# expected files are what the programs write on x86-64, so this shows that
# another processor, or an x86-64 processor of another model, writes the same
# bytes.
#
# Usage: run_cases.sh [--any-nan-sign] ZELK ZELKAD QEMU...
#   --any-nan-sign  a NaN's sign does not count: "-nan" and "nan" compare
#             equal (for another processor family, whose operations on
#             invalid operands give the NaN of the other sign)
#   QEMU      the qemu-user command line, e.g. qemu-aarch64 -L /usr/aarch64-linux-gnu
# JOBS (default: the number of processors) cases run at a time, each for 600 s
# at most. Prints each failing case with its differences; exit status 1 when
# one fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cases=$(cd "$here/../cases" && pwd)
nan_sign=
if [ "${1:-}" = --any-nan-sign ]; then
  nan_sign=$1
  shift
fi
if [ $# -lt 3 ]; then
  echo "usage: run_cases.sh [--any-nan-sign] ZELK ZELKAD QEMU..." >&2
  exit 2
fi
zelk=$(realpath "$1") zelkad=$(realpath "$2")
shift 2

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
# Each case writes its report to a file of its own, named after the case.
export log nan_sign
find "$cases" -name prog -printf '%h\n' | sort |
  xargs -d '\n' -P "${JOBS:-$(nproc)}" -I{} bash -c '
    name=${1#"$2"/}
    file=$log/${name//\//:}
    timeout 600 bash "$3/../run_case.sh" $nan_sign "$1" "${@:4}" >"$file" 2>&1
    case $? in
      0) rm -f "$file" ;;
      124) echo "--- no result within 600 s" >>"$file" ;;
    esac
  ' run {} "$cases" "$here" "$zelk" "$zelkad" "$@"

total=$(find "$cases" -name prog | wc -l)
failed=0
for file in "$log"/*; do
  [ -e "$file" ] || continue
  name=${file##*/}
  echo "=== ${name//://} failed:"
  cat "$file"
  failed=$((failed + 1))
done
echo "$total cases run under $*, $failed failed"
[ "$failed" -eq 0 ]
