#!/usr/bin/env bash
# Writes a seed corpus for every fuzz target into OUT (default: the corpus
# folder beside this script), from the hand-made structures in seeds/, the
# shipped examples and the end-to-end cases (their command lines and inputs).
# Each seed is named by the SHA-1 of its bytes, as libFuzzer names its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$here/corpus}
max=${SEED_MAX_BYTES:-65536} # larger inputs make slow seeds; the cases keep them

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

# emit TARGET: moves the bytes written to $tmp into TARGET's corpus.
emit() {
  local h
  h=$(sha1sum <"$tmp" | cut -c1-40)
  mkdir -p "$out/$1"
  mv "$tmp" "$out/$1/$h"
  : >"$tmp"
}

# command TARGET TEXT WORD...: a program seed (word count, NUL-ended words, input).
command() {
  local target=$1 text=$2
  shift 2
  printf "\\$(printf '%03o' $#)" >"$tmp"
  local w
  for w in "$@"; do printf '%s\0' "$w" >>"$tmp"; done
  # Cases may change while others write them: skip what vanished meanwhile.
  cat "$text" >>"$tmp" 2>/dev/null && emit "$target" || : >"$tmp"
}

# prefixed TARGET TEXT BYTE...: the bytes (octal escapes), then the text.
prefixed() {
  local target=$1 text=$2 b
  shift 2
  : >"$tmp"
  for b in "$@"; do printf "\\$b" >>"$tmp"; done
  cat "$text" >>"$tmp" 2>/dev/null && emit "$target" || : >"$tmp"
}

texts=()
for f in "$here"/seeds/*.txt "$root"/examples/* "$root"/tests/cases/*/*/stdin; do
  [ -f "$f" ] && [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" -le "$max" ] && texts+=("$f")
done

for t in "${texts[@]}"; do
  prefixed fuzz_lex "$t" 001          # echo on
  prefixed fuzz_lex "$t" 006          # debug on, another read pattern
  prefixed fuzz_stdin "$t" 020        # analysis caller, name zelk, echo
  prefixed fuzz_stdin "$t" 005        # drawing caller, name zelkad
  prefixed fuzz_stdin "$t" 012        # every list wanted, name dudo2va
  command fuzz_zelk "$t" zelk
  command fuzz_zelk "$t" zelk -t
  command fuzz_zelk "$t" /usr/bin/zelk -q -b -d
  command fuzz_zelkad "$t" zelkad
  command fuzz_zelkad "$t" zelkad -f 10 -i a -e b
  command fuzz_zelkad "$t" dudo2va
done

# The end-to-end cases with their own command lines.
for dir in "$root"/tests/cases/*/*/; do
  [ -f "$dir/prog" ] || continue
  prog=$(cat "$dir/prog" 2>/dev/null) || continue
  input=$dir/stdin
  [ -f "$input" ] || input=/dev/null
  [ "$(stat -c %s "$input" 2>/dev/null || echo 0)" -le "$max" ] || continue
  argv0=$prog
  [ -f "$dir/argv0" ] && argv0=$(cat "$dir/argv0" 2>/dev/null)
  args=()
  [ -f "$dir/args" ] && mapfile -t args <"$dir/args" 2>/dev/null
  command "fuzz_$prog" "$input" "$argv0" "${args[@]}"
done

# The list readers, one seed per reader: the body of a list after its letter.
# Header bytes: reader and flags, node count - 1, bar count - 1, extras.
reader() {
  printf '%s' "$2" >"$tmp.body"
  prefixed fuzz_readers "$tmp.body" "$1" 002 001 000
  rm -f "$tmp.body"
}
reader 020 '1 2 1  2 3 1 # bars
1 3 1 S'
reader 021 '0 0 4 0 2 3 B 1 2 1'
reader 022 '0.001 -0.002 1e39 N 3'
reader 023 '210000 2e5 M 1'
reader 024 '1 10.0 2 -5 S 1 0'
reader 025 '3 2 -10 1 1 5 Q 2 2 1'
reader 026 '2 -5 0 3 10 90 P 1 2 30'
reader 027 '1 1 0 1 2 0.5 2 2 0 V 1 1 0.7'
reader 030 '1 2 3 4 5 6 7 8 9 10 11 12
1 1 1 1 1 1 1 1 1 1 1 1 X 1 2 3'
