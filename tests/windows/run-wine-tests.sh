#!/bin/bash
# Builds the x86_64 Windows program and tests and runs them under Wine in Xvfb.
#
#   tests/windows/run-wine-tests.sh [build folder]     (default: build/wine-tests)
#
# Needs: mingw-w64, cmake, wine64 (Wine 8), xvfb, xserver-xephyr, xdotool, x11-utils,
# imagemagick, fp-utils (chmcmd), python3. Everything runs in a private Wine prefix below the
# build folder and on a private X display; only that prefix's wineserver and the X servers
# started here are stopped at the end.
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
xephyr_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xephyr_pid" ] || kill "$xephyr_pid" 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Starts an X server in the background that reports its display number on descriptor 3. The
# server's process id and display number go to the variables named by the first two arguments.
# Says what went wrong instead of ending silently when the server does not come up.
start_server() {
    local pid_var=$1 number_var=$2 fifo number=
    shift 2
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    "$@" -displayfd 3 3>"$fifo" >"$build_dir/$1.log" 2>&1 &
    printf -v "$pid_var" '%s' $!
    read -r -t 60 number <"$fifo" || true
    rm -f "$fifo"
    printf -v "$number_var" '%s' "$number"
    [ -n "$number" ] || { echo "$1 did not start: $(cat "$build_dir/$1.log")" >&2; return 1; }
}

# A display of our own, and in it two 1024 x 768 monitors side by side: Xephyr nested in the
# Xvfb, its two heads joined by Xinerama, which Wine reads (with RandR on, Wine would see one
# output). Each monitor's work area leaves room for a panel, set as a desktop sets it, before
# Wine's desktop reads it. Tried three times: on a busy machine a server can fail to come up.
inner=
for attempt in 1 2 3; do
    if start_server xvfb_pid outer Xvfb -screen 0 2048x768x24 -nolisten tcp &&
        DISPLAY=:$outer start_server xephyr_pid inner Xephyr +xinerama -extension RANDR \
            -screen 1024x768+0+0 -screen 1024x768+1024+0 -nolisten tcp -noreset &&
        DISPLAY=:$inner xprop -root -f _GTK_WORKAREAS_D0 32c \
            -set _GTK_WORKAREAS_D0 "0, 40, 1024, 728, 1024, 0, 1024, 700"; then
        break
    fi
    cleanup
    xvfb_pid= xephyr_pid= inner=
    echo "display set-up failed (attempt $attempt)" >&2
    sleep 2
done
[ -n "$inner" ] || exit 1
export DISPLAY=:$inner
echo "Xephyr with two monitors on $DISPLAY, Wine prefix $WINEPREFIX"

# A fresh prefix each run, served by one persistent wineserver that is detached from every pipe;
# Wine's own processes (services, the desktop) start with wineboot, writing to a log file. A
# wineserver or service started later by a test would inherit that test's output pipe and keep
# CTest waiting for it to close.
wineserver -k >/dev/null 2>&1 || true # one left over from an earlier run
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1 || true # wineboot starts one itself if need be
timeout 300 wineboot --init </dev/null >"$build_dir/wineboot.log" 2>&1
# The dialog must draw its own caption and take the keyboard, so Wine does not hand the windows
# to a window manager.
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1

cmake -S "$source_dir" -B "$build_dir" -G "Unix Makefiles" \
    --toolchain "$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSHOTSTAMP_TESTS=ON -DSHOTSTAMP_BENCH=OFF -DSHOTSTAMP_WERROR=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$source_dir/tests/windows/wine-run.sh" \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
# Keep going past a target that does not build, so that every test that can run does; a
# failed build still fails the run.
status=0
cmake --build "$build_dir" -j2 -- -k || status=$?

start=$(date +%s)
# The report lets scripts/test-all.sh count the skipped tests and their reasons.
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 \
    --output-junit "$build_dir/ctest-junit.xml" || status=1
echo "Wine tests took $(( $(date +%s) - start )) s; screenshots in $build_dir/test-artefacts"
exit $status
