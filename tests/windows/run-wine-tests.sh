#!/bin/bash
# Builds the x86_64 Windows program and tests and runs them under Wine in Xvfb.
#
#   tests/windows/run-wine-tests.sh [build folder]     (default: build/wine-tests)
#
# Needs: mingw-w64, cmake, wine64 (Wine 8), xvfb, xdotool, imagemagick, fp-utils (chmcmd),
# python3. Everything runs in a private Wine prefix below the build folder and on a private X
# display; only that prefix's wineserver and that Xvfb are stopped at the end.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build/wine-tests}
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)

export WINEPREFIX=$build_dir/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset WINELOADER WINESERVER

xvfb_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# A display of our own; Xvfb reports the number it took.
display_fifo=$(mktemp -u)
mkfifo "$display_fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <"$display_fifo"
rm -f "$display_fifo"
export DISPLAY=:$display_number
echo "Xvfb on $DISPLAY, Wine prefix $WINEPREFIX"

# A fresh prefix each run; the dialog must draw its own caption and take the keyboard, so Wine
# does not hand the windows to a window manager.
rm -rf "$WINEPREFIX"
timeout 300 wineboot --init
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
timeout 60 wineserver -w
# One wineserver for the whole run, detached from every pipe: one started by a test's first
# Wine process would inherit that test's output pipe and keep it open.
wineserver -p </dev/null >/dev/null 2>&1

cmake -S "$source_dir" -B "$build_dir" \
    --toolchain "$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSHOTSTAMP_TESTS=ON -DSHOTSTAMP_BENCH=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$source_dir/tests/windows/wine-run.sh" \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
cmake --build "$build_dir" -j2

start=$(date +%s)
status=0
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 || status=$?
echo "Wine tests took $(( $(date +%s) - start )) s; screenshots in $build_dir/test-artefacts"
exit $status
