#!/usr/bin/env bash
# Builds Shotstamp every way it ships and runs every check: unit, integration, differential and
# window tests; a plain Release build with its tests; the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer; a bounded fuzzing run; both Windows cross builds and the Windows
# tests under Wine.
#
# The closing summary gives each stage's passed, failed and skipped tests and the reason of every
# skip. SHOTSTAMP_REQUIRE_ALL=1 (set by CI, which has everything) turns any skip into a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

jobs=$(nproc)
require_all=${SHOTSTAMP_REQUIRE_ALL:-0}
summary=()
failed=0
passed_total=0
failed_total=0
skipped_total=0
skip_reasons=""
corpus=../shared/corpus/exif-samples

# Adds the counts of a ctest closing line ("100% tests passed, 0 tests failed out of 168").
count_tests() {
    local line=$1
    local bad all
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed_total=$((passed_total + all - bad))
    failed_total=$((failed_total + bad))
}

# Adds a stage's skipped tests, from its JUnit report, to the summary: their number and, indented
# below, each distinct reason. ctest's own closing line counts a skipped test as passed.
count_skips() {
    local name=$1 report=$2
    local lines count
    lines=$(python3 scripts/skipped_tests.py "$report")
    count=$(head -n 1 <<<"$lines")
    [ "$count" -gt 0 ] || return 0
    skipped_total=$((skipped_total + count))
    passed_total=$((passed_total - count))
    if [ "$require_all" = 1 ]; then
        summary+=("$name: FAILED: $count skipped, and SHOTSTAMP_REQUIRE_ALL=1 allows none")
        failed=1
    else
        summary+=("$name: $count skipped")
    fi
    while IFS= read -r reason; do
        summary+=("    $reason")
    done < <(tail -n +2 <<<"$lines")
    skip_reasons+=$(tail -n +2 <<<"$lines")$'\n'
}

# Runs one ctest invocation and remembers its counts for the closing line.
run_ctest() {
    local name=$1
    shift
    local log report
    log=$(mktemp)
    report=$(mktemp --suffix .xml)
    if ctest --output-junit "$report" "$@" 2>&1 | tee "$log"; then :; fi
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -z "$line" ] || ! grep -q ' 0 tests failed' <<<"$line"; then
        failed=1
    fi
    [ -z "$line" ] || count_tests "$line"
    summary+=("$name: ${line:-no result}")
    [ -z "$line" ] || count_skips "$name" "$report"
    rm -f "$log" "$report"
}

step() { printf '\n=== %s ===\n' "$*"; }

step "Formatting"
if git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
    summary+=("format: clean")
else
    summary+=("format: FAILED (run clang-format -i on the files named above)")
    failed=1
fi

step "Development build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
run_ctest default --preset default

step "Plain Release build and tests (no preset, as a packager builds)"
# Warnings are not errors here; the build must still be free of them with the distribution's
# compiler at -O3, so any warning fails this stage.
release_log=$(mktemp)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$jobs" 2>&1 | tee "$release_log"
if grep -q 'warning:' "$release_log"; then
    summary+=("release: FAILED (compiler warnings above)")
    failed=1
fi
rm -f "$release_log"
# The package tests install on this machine; the development stage has run them already.
run_ctest release --test-dir build/release --output-on-failure -LE 'package|e2e'

step "Sanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
run_ctest asan --preset asan -LE 'slow|package|e2e|differential'

step "ThreadSanitizer build and read-ahead tests"
# Header reading on worker threads against renaming in order; and the dry run's shared state.
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target rename_tests -j "$jobs"
run_ctest tsan --preset tsan -R 'ReadAhead|RenameCommands'
# The read-ahead benchmark still runs (a small warm folder; its figures are not checked).
if build/default/bench/read_ahead_bench --sizes 300 --warm-only; then
    summary+=("read-ahead bench: ran")
else
    summary+=("read-ahead bench: FAILED")
    failed=1
fi

step "Fuzzing"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
# The stage's time is shared fairly by all targets: the JPEG reader's and each container family's.
if fuzz/run-fuzz.sh build/fuzz "${FUZZ_SECONDS:-60}"; then
    summary+=("fuzz: no finding (JPEG reader, every container family, the date step)")
    if [ ! -d "$corpus" ]; then
        # Not a test that failed, but the camera pictures were missing from the fuzzer's seeds.
        summary+=("fuzz: 1 skipped" "    1 skipped: camera corpus not found at $corpus (seeds)")
        skipped_total=$((skipped_total + 1))
        skip_reasons+="camera corpus not found"$'\n'
        if [ "$require_all" = 1 ]; then
            summary+=("fuzz: FAILED: SHOTSTAMP_REQUIRE_ALL=1 needs the camera corpus")
            failed=1
        fi
    fi
else
    summary+=("fuzz: FINDING or failure")
    failed=1
fi

for preset in win64 win32; do
    step "Windows cross build ($preset)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    summary+=("$preset: built")
done

step "Windows zip"
(cd build/win32 && cpack -G ZIP >/dev/null)
if tests/package/check_zip.sh build/win32/packaging/Shotstamp-2.0.0-win32.zip; then
    summary+=("zip: build/win32/packaging/Shotstamp-2.0.0-win32.zip")
else
    summary+=("zip: FAILED")
    failed=1
fi

step "Windows setup"
# Built with the win32 programs; it is installed and removed under Wine by the Wine stage.
setup=build/win32/packaging/Shotstamp-2.0.0-win32-setup.exe
if file -b "$setup" | grep -q '^PE32 executable (GUI) Intel 80386'; then
    summary+=("setup: $setup")
else
    summary+=("setup: FAILED (no 32-bit setup program at $setup)")
    failed=1
fi

step "Windows tests under Wine"
wine_log=$(mktemp)
if tests/windows/run-wine-tests.sh build/wine-tests 2>&1 | tee "$wine_log"; then
    summary+=("wine: passed")
else
    summary+=("wine: FAILED")
    failed=1
fi
wine_line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$wine_log" | tail -n 1 || true)
if [ -n "$wine_line" ]; then
    count_tests "$wine_line"
    count_skips wine build/wine-tests/ctest-junit.xml
fi
rm -f "$wine_log"

step "Summary"
printf '%s\n' "${summary[@]}"
echo "tests: $passed_total passed, $failed_total failed, $skipped_total skipped"
if grep -q "camera corpus not found" <<<"$skip_reasons"; then
    cat <<EOF

Not tested here: the tests whose point is real camera files (the reader over every corpus
picture, real files cut at every byte, the comparison with exiftool) and the fuzzer's camera
seeds. They need the camera picture corpus, a folder exif-samples/ of real camera JPEGs. Put it
at $(dirname "$corpus")/ beside this project (or configure with -DSHOTSTAMP_CORPUS_DIR=FOLDER) and
run this command again.
EOF
fi
exit "$failed"
