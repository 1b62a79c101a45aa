#!/bin/sh
# The test emulator of the Windows cross build: runs a Windows program under Wine in the prefix
# and on the display that run-wine-tests.sh prepared (WINEPREFIX, DISPLAY in the environment).
#
# The output goes through files: Wine helper processes started on demand (the desktop, COM's
# service) inherit the program's output and outlive it, and would keep a caller that reads a
# pipe waiting until they end.
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
out=$(mktemp) && err=$(mktemp) || exit 1
wine "$@" >"$out" 2>"$err" </dev/null
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
