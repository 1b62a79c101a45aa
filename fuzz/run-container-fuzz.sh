#!/bin/sh
# Runs each container walker's fuzz target for a bounded time and fails on any finding.
#
#   fuzz/run-container-fuzz.sh BUILD_DIR [SECONDS_EACH] [CORPUS_DIR]
#
# BUILD_DIR is a build of the fuzz preset. Seeds: the builder-made files of each family and, when
# present, the real samples of that family in CORPUS_DIR/formats (by default ../shared/corpus
# beside the source tree). New inputs go to BUILD_DIR/fuzz-work/<family>/corpus, a crashing
# input to BUILD_DIR/fuzz-work/<family>/artifacts; what the fuzzers once found is kept in
# fuzz/regressions/<family> and run first every time.
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-10}
corpus=${3:-$source_dir/../shared/corpus}/formats

seeds=$build/fuzz-work/container-seeds
"$build/fuzz/make_container_seeds" "$seeds"
status=0
for family in tiff_raw raf png webp jxl; do
    work=$build/fuzz-work/$family
    mkdir -p "$work/corpus" "$work/artifacts" "$work/samples"
    case $family in
    tiff_raw) patterns='*.tif *.tiff *.dng *.cr2 *.nef *.orf *.pef *.srw *.arw' ;;
    *) patterns="*.$family" ;;
    esac
    if [ -d "$corpus" ]; then
        for pattern in $patterns; do
            find "$corpus" -maxdepth 1 -name "$pattern" -exec cp {} "$work/samples/" \;
        done
    fi
    set -- "$work/corpus" "$seeds/$family" "$work/samples"
    [ ! -d "$source_dir/fuzz/regressions/$family" ] || set -- "$@" "$source_dir/fuzz/regressions/$family"
    echo "run-container-fuzz: $family for $seconds s" >&2
    "$build/fuzz/${family}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=131072 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$@" || status=1
done
exit $status
