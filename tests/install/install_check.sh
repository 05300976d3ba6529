#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and runs the installed
# programs: the binaries in bin, the manual pages in share/man/man1, the
# documented example through both programs, and the program name that an
# installed path gives the messages.
# Usage: install_check.sh CMAKE BUILD_DIR SOURCE_ROOT
set -u
cmake=$1 build=$2 root=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail=0
say() { echo "$*"; fail=1; }

if ! "$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"; rm -f "$prefix.log"
    echo "cmake --install failed"; exit 1
fi
rm -f "$prefix.log"

for prog in zelk zelkad; do
    [ -x "$prefix/bin/$prog" ] || say "missing executable bin/$prog"
    page=$prefix/share/man/man1/$prog.1
    if [ -f "$page" ]; then
        cmp -s "$page" "$root/docs/$prog.1" || say "share/man/man1/$prog.1 differs from docs/$prog.1"
    else
        say "missing manual page share/man/man1/$prog.1"
    fi
done
[ $fail -eq 0 ] || exit 1

golden=$root/tests/docs/golden
out=$prefix/run
mkdir "$out"

# The example of the manual page and the README, piped as a user would.
"$prefix/bin/zelk" <"$root/docs/triangle.txt" >"$out/out" 2>"$out/err"
status=$?
[ $status -eq 0 ] || say "installed zelk: exit status $status"
cmp -s "$out/out" "$golden/triangle.out" || say "installed zelk: output differs from $golden/triangle.out"
[ -s "$out/err" ] && say "installed zelk: standard error: $(cat "$out/err")"
"$prefix/bin/zelk" <"$root/docs/triangle.txt" 2>/dev/null | "$prefix/bin/zelkad" >"$out/scr" 2>"$out/err"
cmp -s "$out/scr" "$golden/triangle.scr" || say "installed zelk | zelkad: script differs from $golden/triangle.scr"
[ -s "$out/err" ] && say "installed zelkad: standard error: $(cat "$out/err")"

# Run by its installed path, each program names itself in its messages.
for prog in zelk zelkad; do
    "$prefix/bin/$prog" </dev/null >/dev/null 2>"$out/err"
    status=$?
    [ $status -eq 1 ] || say "installed $prog on empty input: exit status $status, expected 1"
    printf '\n%s: semantic error\n' "$prog" | cmp -s - "$out/err" ||
        say "installed $prog on empty input: standard error: $(cat "$out/err")"
done

# The installed pages are found by man through the prefix.
if command -v man >/dev/null; then
    for prog in zelk zelkad; do
        MANPATH=$prefix/share/man MANPAGER=cat PAGER=cat MANWIDTH=80 man "$prog" 2>/dev/null |
            grep -q "^NAME" || say "man $prog does not find the installed page"
    done
fi
exit $fail
