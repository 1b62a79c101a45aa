#!/usr/bin/env bash
# The main job on the bundled sample pictures: build Shotstamp, then show what it reads from them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset default -DSHOTSTAMP_TESTS=OFF >/dev/null
cmake --build --preset default -j "$(nproc)" --target shotstamp-cli
cli=build/default/cli/shotstamp-cli

echo
echo "Metadata of the bundled samples:"
"$cli" info samples/*.jpg
