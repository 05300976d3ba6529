#!/usr/bin/env bash
# Runs zelk on one shipped example, alone or piped into zelkad, and compares
# standard output with a golden file byte for byte; both programs must end
# with status 0.
#   run_example.sh ZELK ZELKAD EXAMPLE GOLDEN [pipe]
set -u
zelk=$1 zelkad=$2 example=$3 golden=$4 mode=${5:-alone}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if [ "$mode" = pipe ]; then
  "$zelk" <"$example" | "$zelkad" >"$out"
  status=("${PIPESTATUS[@]}")
else
  "$zelk" <"$example" >"$out"
  status=("$?")
fi
fail=0
for s in "${status[@]}"; do
  [ "$s" = 0 ] || { echo "--- exit status $s"; fail=1; }
done
if ! cmp -s "$golden" "$out"; then
  echo "--- stdout differs from $golden:"
  diff "$golden" "$out" | head -40
  fail=1
fi
exit $fail
