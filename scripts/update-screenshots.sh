#!/usr/bin/env bash
# Refreshes the README's screenshots from the test suite's own artefacts: the window test with a
# window manager saves the main window with its frame and title, the file-manager test (run as
# an ordinary user in ~/Pictures/Holiday) the Send To menu and the window over Thunar.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
ctest --test-dir "$build" -R 'gui.window_manager_close|package.e2e_thunar' --output-on-failure
cp "$build/tests/gui/artefacts/main-window.png" docs/images/main-window.png
cp "$build/packaging/e2e-thunar-menu.png" docs/images/thunar-send-to.png
cp "$build/packaging/e2e-thunar-window.png" docs/images/thunar-window.png
echo "Screenshots updated in docs/images/"
