#!/bin/sh
# Runs every fuzz target for a bounded time in all, split evenly, and fails on any finding.
#
#   fuzz/run-fuzz.sh BUILD_DIR [SECONDS] [CORPUS_DIR]
#
# BUILD_DIR is a build of the fuzz preset (cmake --preset fuzz && cmake --build --preset fuzz).
# Seeds: the builder-made inputs, the bundled samples and, when present, the camera corpus
# (CORPUS_DIR, by default ../shared/corpus beside the source tree). New inputs the fuzzer finds
# go to BUILD_DIR/fuzz-work/corpus; a crashing input to BUILD_DIR/fuzz-work/artifacts. Each
# container family's target starts from the builders' files of that family (and the camera
# corpus's samples of it, when present), keeps its findings in BUILD_DIR/fuzz-work/<family> and
# runs first what the fuzzers once found, kept in fuzz/regressions/<family>.
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

# The time is shared evenly by the JPEG reader's target, the six container families' and the
# date step's.
families="isobmff tiff_raw raf png webp jxl"
share=$((seconds / 8))
[ "$share" -ge 1 ] || share=1

# Camera headers fit in 64 KiB; longer inputs only slow each run down.
"$build/fuzz/read_sections_fuzzer" -max_total_time="$share" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@"

seeds=$work/container-seeds
"$build/fuzz/make_container_seeds" "$seeds"
status=0
for family in $families; do
    dir=$work/$family
    mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/samples"
    case $family in
    isobmff) patterns='*.heic *.heif *.avif *.cr3 *.mov *.mp4 *.3gp' ;;
    tiff_raw) patterns='*.tif *.tiff *.dng *.cr2 *.nef *.orf *.pef *.srw *.arw' ;;
    *) patterns="*.$family" ;;
    esac
    if [ -d "$corpus/formats" ]; then
        for pattern in $patterns; do
            find "$corpus/formats" -maxdepth 1 -name "$pattern" -exec cp {} "$dir/samples/" \;
        done
    fi
    set -- "$dir/corpus" "$seeds/$family" "$dir/samples"
    [ ! -d "$source_dir/fuzz/regressions/$family" ] || set -- "$@" "$source_dir/fuzz/regressions/$family"
    echo "run-fuzz: $family for $share s" >&2
    "$build/fuzz/${family}_fuzzer" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
        -max_len=131072 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$@" || status=1
done
# The date step starts from names and packets of the kinds phones and editors write.
dates=$work/dates
mkdir -p "$dates/corpus" "$dates/seeds" "$dates/artifacts"
printf '%s\0' PXL_20230102_101112123.jpg '2023:01:02 10:11:12' +01:00 >"$dates/seeds/pixel"
printf '%s\0' IMG-20230102-WA0001.jpg '' '' '' '' '2023:01:02' x >"$dates/seeds/messenger"
printf '%s' '<x:xmpmeta><rdf:Description exif:DateTimeOriginal="2023-01-02T10:11:12+01:00"/>' \
    >>"$dates/seeds/messenger"
set -- "$dates/corpus" "$dates/seeds"
[ ! -d "$source_dir/fuzz/regressions/dates" ] || set -- "$@" "$source_dir/fuzz/regressions/dates"
echo "run-fuzz: dates for $share s" >&2
"$build/fuzz/date_chain_fuzzer" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="$dates/artifacts/" "$@" || status=1
exit $status
