#!/usr/bin/env bash
# Installs the Debian packages that a job needs, only when some are missing.
# Usage: scripts/install-deps.sh run|test
set -euo pipefail

build=(build-essential cmake pkg-config python3 libcli11-dev lld)  # lld: the command line program's layout
run=("${build[@]}" libgtk-3-dev
    zlib1g-dev libbrotli-dev         # PNG compressed texts, JPEG XL compressed boxes
)
test=("${run[@]}"
    libgtest-dev googletest          # unit tests; sources for the cross builds
    clang libclang-rt-14-dev         # fuzzing
    clang-format git                 # formatting check
    libimage-exiftool-perl           # differential tests
    mingw-w64 libz-mingw-w64-dev     # Windows cross builds, with zlib
    xvfb xserver-xephyr xdotool openbox x11-utils imagemagick desktop-file-utils fonts-dejavu-core  # window tests
    dosfstools fusefat               # no-replace rename on a FAT file system
    libfuse3-dev fuse3               # read-ahead benchmark on a file system with injected latency
    wine wine64 fp-utils                  # Windows tests and the compiled help file
    lintian thunar dbus python3-gi gir1.2-atspi-2.0 at-spi2-core unzip file  # package and file-manager tests
    rpm rpmlint appstream nsis       # the RPM, its metainfo and the Windows setup
    bash-completion zsh fish         # shell completion tests
)
# The other file managers of the end-to-end tests, without what they merely recommend (Dolphin
# alone would pull in most of a desktop).
file_managers=(nautilus nemo dolphin)

case "${1:-}" in
run) wanted=("${run[@]}") ;;
test) wanted=("${test[@]}" "${file_managers[@]}") ;;
*) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
plain=()
lean=()
for p in "${missing[@]}"; do
    if [[ " ${file_managers[*]} " == *" $p "* ]]; then lean+=("$p"); else plain+=("$p"); fi
done
((${#plain[@]} == 0)) ||
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${plain[@]}" >/dev/null
((${#lean[@]} == 0)) || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    --no-install-recommends "${lean[@]}" >/dev/null
