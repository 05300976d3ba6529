#!/usr/bin/env bash
# Runs one end-to-end case and compares its output byte for byte.
#
# A case is a folder holding:
#   prog    the program to run: zelk or zelkad
#   argv0   (optional) the first command-line word, to run the program under
#           another name; default: the program's own path
#   args    (optional) the further command-line words, one per line (an empty
#           line is an empty word)
#   stdin   (optional) standard input; default: empty
#   stdout, stderr   (optional) the expected output; default: empty
#   status  (optional) the expected exit status; default: 0
#   gen     (optional) a bash script that makes large files at run time: run
#           in an empty folder, it writes any of stdin, stdout and stderr
#           that the case folder does not hold
#
# Usage: run_case.sh [--any-nan-sign] CASE ZELK ZELKAD [QEMU...]
#   --any-nan-sign  a NaN's sign does not count: "-nan" and "nan" compare equal
#   QEMU    (optional) a qemu-user command line, such as qemu-aarch64 -L
#           /usr/aarch64-linux-gnu, to run the program under; it passes argv0
#           on with its option -0
set -u
any_nan_sign=0
if [ "${1:-}" = --any-nan-sign ]; then
  any_nan_sign=1
  shift
fi
case_dir=$(cd "$1" && pwd) zelk=$2 zelkad=$3
qemu=("${@:4}")

prog=$(<"$case_dir/prog")
case $prog in
  zelk) bin=$zelk ;;
  zelkad) bin=$zelkad ;;
  *) echo "unknown program '$prog' in $case_dir/prog"; exit 2 ;;
esac
argv0=$bin
[ -f "$case_dir/argv0" ] && argv0=$(<"$case_dir/argv0")
args=()
[ -f "$case_dir/args" ] && mapfile -t args <"$case_dir/args"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
made=$out/made
mkdir "$made"
if [ -f "$case_dir/gen" ]; then
  (cd "$made" && bash "$case_dir/gen") || { echo "--- $case_dir/gen failed"; exit 2; }
  for f in stdin stdout stderr; do
    if [ -f "$made/$f" ] && [ -f "$case_dir/$f" ]; then
      echo "--- $case_dir holds $f and its gen makes it too"; exit 2
    fi
  done
fi
# case_file NAME: the case's file NAME, as gen made it or the folder holds it;
# /dev/null where there is none.
case_file() {
  if [ -f "$made/$1" ]; then echo "$made/$1"
  elif [ -f "$case_dir/$1" ]; then echo "$case_dir/$1"
  else echo /dev/null
  fi
}
input=$(case_file stdin)
if [ ${#qemu[@]} -gt 0 ]; then
  "${qemu[@]}" -0 "$argv0" "$bin" "${args[@]}"
else
  (exec -a "$argv0" "$bin" "${args[@]}")
fi <"$input" >"$out/stdout" 2>"$out/stderr"
status=$?

fail=0
for stream in stdout stderr; do
  expected=$(case_file "$stream")
  if [ $any_nan_sign = 1 ]; then
    sed 's/-nan/nan/g' "$expected" >"$out/expected_$stream"
    expected=$out/expected_$stream
    sed -i 's/-nan/nan/g' "$out/$stream"
  fi
  if ! cmp -s "$expected" "$out/$stream"; then
    echo "--- $stream differs (expected vs actual):"
    diff <(od -c "$expected") <(od -c "$out/$stream") | head -40
    fail=1
  fi
done
want=0
[ -f "$case_dir/status" ] && want=$(<"$case_dir/status")
if [ "$status" != "$want" ]; then
  echo "--- exit status $status, expected $want"
  fail=1
fi
exit $fail
