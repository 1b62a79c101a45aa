#!/usr/bin/env bash
# The main job on the bundled sample pictures: build Shotstamp, copy the samples into a temporary
# folder and rename them there by the moment each was taken. With a display, the window opens on
# the copies too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset default -DSHOTSTAMP_TESTS=OFF >/dev/null
cmake --build --preset default -j "$(nproc)" --target shotstamp-cli shotstamp
cli=build/default/cli/shotstamp-cli
gui=build/default/app/shotstamp

work=$(mktemp -d)
cp samples/*.jpg "$work"/

echo
echo "What Shotstamp reads from the samples:"
"$cli" info "$work"/*.jpg

echo
echo "Before, in $work:"
ls -1 "$work"
echo
echo "Renaming with the prefix \"Sample \":"
"$cli" rename --prefix "Sample " "$work"/*.jpg
echo
echo "After:"
ls -1 "$work"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -t 0 ]; then
    second=$(mktemp -d)
    cp samples/*.jpg "$second"/
    echo
    echo "Opening the window on fresh copies in $second: type a prefix and press Enter"
    echo "(\"All in Path\" renames every picture of that folder, \"Exit\" renames nothing)."
    "$gui" "$second"/*.jpg || true
    ls -1 "$second"
fi
