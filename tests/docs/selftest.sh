#!/usr/bin/env bash
# Shows that the quote check passes a sound page and reports every drifted
# quote of a faulty one, each by its text; and that the check of documented
# messages finds the messages of the code, and only those, that a page lacks.
set -u
here=$(cd "$(dirname "$0")" && pwd)
fix=$here/fixtures
fail=0

if ! out=$("$here/check_quotes.sh" "$fix/root" "$fix/sound.1"); then
    echo "sound page rejected:"; echo "$out"; fail=1
fi
case $out in *"6 quotes checked, 0 not found"*) ;; *) echo "sound page: $out"; fail=1 ;; esac

out=$("$here/check_quotes.sh" "$fix/root" "$fix/drift.1")
rc=$?
[ $rc -eq 1 ] || { echo "drifted page: status $rc, expected 1"; fail=1; }
for want in '“semantic errors”' '“Table<...>beforetableC”' '“Table C before table <...>”' \
    '“written by the case, not a source”' '“only in a comment”' '“only in a block comment”' \
    '6 quotes checked, 6 not found'; do
    case $out in *"$want"*) ;; *) echo "drifted page: no report of $want"; fail=1 ;; esac
done
[ $fail -eq 0 ] || { echo "--- output:"; echo "$out"; }

if ! out=$("$here/check_documented.sh" "$fix/root" "$fix/sound.1"); then
    echo "sound page lacks messages:"; echo "$out"; fail=1
fi
out=$("$here/check_documented.sh" "$fix/root" "$fix/drift.1")
rc=$?
[ $rc -eq 1 ] || { echo "drifted page, documented messages: status $rc, expected 1"; fail=1; }
for want in '"Table %1s before table C"' '"Unknown alphanumeric character for introduce a list: %c"' \
    '3 messages checked, 2 not documented'; do
    case $out in *"$want"*) ;; *) echo "drifted page: no report of $want"; fail=1 ;; esac
done
case $out in *comment*) echo "drifted page: a message of a comment was taken"; fail=1 ;; esac
[ $fail -eq 0 ] || { echo "--- output:"; echo "$out"; }
exit $fail
