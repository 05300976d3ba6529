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
set -u
case_dir=$1 zelk=$2 zelkad=$3

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
input=/dev/null
[ -f "$case_dir/stdin" ] && input=$case_dir/stdin

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(exec -a "$argv0" "$bin" "${args[@]}") <"$input" >"$out/stdout" 2>"$out/stderr"
status=$?

fail=0
for stream in stdout stderr; do
  expected=$case_dir/$stream
  [ -f "$expected" ] || expected=/dev/null
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
