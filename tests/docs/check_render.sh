#!/usr/bin/env bash
# Renders a manual page with every groff warning on and fails on any
# diagnostic; where man-db is installed, also checks that `man -l` formats it
# and that its NAME section parses for whatis (lexgrog).
# Usage: check_render.sh PAGE
set -u
page=$1
fail=0

err=$(groff -ww -z -man "$page" 2>&1)
if [ $? -ne 0 ] || [ -n "$err" ]; then
    echo "groff -ww -z -man $page:"
    echo "$err"
    fail=1
fi

if command -v man >/dev/null; then
    text=$(MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$text" ]; then
        echo "man --warnings -l $page:"
        echo "$text"
        fail=1
    fi
    if ! MANWIDTH=80 MANPAGER=cat PAGER=cat man -l "$page" 2>/dev/null | grep -q '^NAME'; then
        echo "man -l $page: no NAME section in the formatted page"
        fail=1
    fi
fi
if command -v lexgrog >/dev/null; then
    if ! lexgrog "$page" >/dev/null; then
        echo "lexgrog $page: NAME section does not parse"
        fail=1
    fi
fi
exit $fail
