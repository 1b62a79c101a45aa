#!/bin/sh
# Runs every fuzz target for a bounded time in all, split evenly, and fails on any finding.
#
#   fuzz/run-fuzz.sh BUILD_DIR [SECONDS] [CORPUS_DIR]
#
# BUILD_DIR is a build of the fuzz preset (cmake --preset fuzz && cmake --build --preset fuzz).
# Seeds: the builder-made inputs, the bundled samples and, when present, the camera corpus
# (CORPUS_DIR, by default ../shared/corpus beside the source tree). New inputs the fuzzer finds
# go to BUILD_DIR/fuzz-work/corpus; a crashing input to BUILD_DIR/fuzz-work/artifacts. The
# container fuzzer starts from the box builder's files only (BUILD_DIR/fuzz-work/containers/seeds)
# and keeps its findings in BUILD_DIR/fuzz-work/containers/corpus; every crash it found is kept
# in fuzz/regressions/isobmff and run first.
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
corpus=${3:-$source_dir/../shared/corpus}

work=$build/fuzz-work
mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts"
"$build/fuzz/make_fuzz_seeds" "$work/seeds"
set -- "$work/corpus" "$work/seeds" "$source_dir/samples"
if [ -d "$corpus/exif-samples" ]; then
    set -- "$@" "$corpus/exif-samples"
else
    echo "run-fuzz: no camera corpus at $corpus; fuzzing from the project's own seeds" >&2
fi

# The time is shared evenly between the targets.
targets=2
share=$((seconds / targets))
[ "$share" -ge 1 ] || share=1

# Camera headers fit in 64 KiB; longer inputs only slow each run down.
"$build/fuzz/read_sections_fuzzer" -max_total_time="$share" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@"

boxes=$work/containers
mkdir -p "$boxes/corpus" "$boxes/seeds"
"$build/fuzz/make_container_seeds" "$boxes/seeds"
exec "$build/fuzz/isobmff_fuzzer" -max_total_time="$share" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/isobmff-" "$boxes/corpus" "$boxes/seeds" \
    "$source_dir/fuzz/regressions/isobmff"
