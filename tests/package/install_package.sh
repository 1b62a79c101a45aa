#!/usr/bin/env bash
# Installs the built package with dpkg, uses it from /usr/bin, checks the Send To entries in
# place, then purges it and checks that nothing of it is left. Needs root, and skips without it;
# skips too when a Shotstamp was installed before, which it would otherwise replace and remove.
# Usage: install_package.sh ARTEFACT_DIR WITH_GUI(0|1)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
artefacts=$1
with_gui=$2

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
need_tools dpkg convert exiftool python3 desktop-file-validate
deb=$(deb_path "$artefacts")
[ -f "$deb" ] || fail "no package at $deb (package.build makes it)"
lock_system_packages

work=$(mktemp -d)
cleanup() {
    purge_package >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

install_package "$deb"
status=$(dpkg-query -W -f='${Status}' shotstamp)
[ "$status" = "install ok installed" ] || fail "dpkg reports '$status'"
mapfile -t owned < <(dpkg -L shotstamp)

# The command-line program from /usr/bin on pictures of a folder of their own.
pictures=$work/pictures
mkdir -p "$pictures"
make_picture "$pictures/first.jpg" "2005:12:30 20:57:32"
make_picture "$pictures/second.JPG" "2006:01:02 03:04:05"
make_picture "$pictures/twin.jpg" "2005:12:30 20:57:32"
make_picture "$pictures/undated.jpg"
before=$(sha256sum "$pictures"/* | awk '{print $1}' | sort)
cd "$pictures"
report=$(/usr/bin/shotstamp-cli rename --prefix "Trip " first.jpg second.JPG twin.jpg undated.jpg) ||
    fail "shotstamp-cli rename exited $?: $report"
cd /
echo "$report"
after=$(sha256sum "$pictures"/* | awk '{print $1}' | sort)
[ "$before" = "$after" ] || fail "picture contents changed"
expect_names=$(printf '%s\n' "Trip 2005-12-30 205732.jpg" "Trip 2006-01-02 030405.jpg" twin.jpg \
    undated.jpg | sort)
actual_names=$(ls "$pictures" | sort)
[ "$expect_names" = "$actual_names" ] || fail "names after renaming: $actual_names"
grep -qxF "2 renamed, 2 kept (1 name exists, 1 no EXIF block)" <<<"$report" ||
    fail "summary line missing from: $report"

# The entries in place, and no MIME association anywhere under /usr/share/applications.
per_user=()
if [ "$with_gui" = 1 ]; then
    [ -x /usr/bin/shotstamp ] || fail "/usr/bin/shotstamp is not installed"
    # What "/Install" writes for one user must say what the system-wide entries say.
    data_home=$work/data
    HOME=$work XDG_DATA_HOME=$data_home timeout 60 /usr/bin/shotstamp /Install ||
        fail "shotstamp /Install exited $?"
    per_user=(--per-user "$data_home")
fi
python3 "$here/check_entries.py" / "${per_user[@]}" || fail "installed Send To entries"

purge_package || fail "dpkg --purge failed"
status=$(dpkg-query -W -f='${Status}' shotstamp 2>/dev/null || true)
case "$status" in
"" | "unknown ok not-installed" | "deinstall ok config-files") ;;
*) fail "after purge dpkg reports '$status'" ;;
esac
[ "$status" != "deinstall ok config-files" ] || fail "configuration files were left behind"
left=()
for path in "${owned[@]}"; do
    # Folders shared with other packages (/usr/bin, /usr/share/man/man1) stay, as they should.
    if [ -e "$path" ] && ! [ -d "$path" ]; then
        left+=("$path")
    fi
done
for folder in /usr/share/doc/shotstamp /usr/share/shotstamp; do
    [ ! -e "$folder" ] || left+=("$folder")
done
[ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
echo "installed, used and purged: ${#owned[@]} paths, nothing left"
