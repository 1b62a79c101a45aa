#!/bin/sh
# The test emulator of the Windows cross build: runs a Windows program under Wine in the prefix
# and on the display that run-wine-tests.sh prepared (WINEPREFIX, DISPLAY in the environment).
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
