#!/usr/bin/env bash
# End to end in a real file manager: installs the built package and adds the per-user entries
# with "shotstamp /Install" too, or (given PROGRAM) only runs PROGRAM /Install from a folder whose
# name holds blanks, a quote, '$', '&' and '%', with no package; starts the file manager under
# Xvfb with a window manager and a session bus, checks its context menu holds one Shotstamp entry, sends three marked pictures
# whose names hold blanks, quotes, '$', '&' and '%' to it, types a prefix and presses Enter, and
# checks every picture was renamed. Screenshots and the log go to ARTEFACT_DIR
# (e2e-NAME-*.png, e2e-NAME.log, NAME being FM or FM-build); each run's outcome is appended to
# e2e-NAME-runs.txt. Needs root; skips otherwise.
# Usage: e2e_file_manager.sh thunar|nautilus|nemo|dolphin ARTEFACT_DIR [PROGRAM]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
fm=$1
artefacts=$2
program=${3:-}
name=$fm${program:+-build}

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
need_tools dpkg Xvfb openbox dbus-run-session "$fm" xdotool xprop import convert exiftool
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
    fail "python3-gi with gir1.2-atspi-2.0 is needed to find menu entries by name"
deb=$(deb_path "$artefacts")
[ -f "$deb" ] || fail "no package at $deb (package.build makes it)"
lock_system_packages

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    purge_package >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
rm -f "$artefacts"/e2e-"$name"-*.png
[ -n "$program" ] || install_package "$deb"

# A home of its own: no per-user Send To entry or Thunar setting of this machine takes part.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/shots"
chmod 700 "$XDG_RUNTIME_DIR"
folder=$HOME/Pictures/Holiday
mkdir -p "$folder"
make_picture "$folder/100% fun.jpg" "2005:12:30 20:57:32"
make_picture "$folder/a%20b %f %U.jpg" "2006:01:02 03:04:05"
make_picture "$folder/it's \"q\" \$HOME & co.jpg" "2007:02:03 04:05:06"
if [ -n "$program" ]; then
    mkdir -p "$HOME/my tools/it's \$x & 100%"
    cp "$program" "$HOME/my tools/it's \$x & 100%/shotstamp"
    program="$HOME/my tools/it's \$x & 100%/shotstamp"
fi
"${program:-/usr/bin/shotstamp}" /Install || fail "shotstamp /Install exited $?"
# GTK 3 menus show icons only when the desktop asks for them, as Cinnamon's does.
mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
printf '[Settings]\ngtk-menu-images=true\n' >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"

# Thunar's run gives the README its screenshots, so it runs as an ordinary user (nobody), as
# people use it: as root Thunar shows a warning bar. It shows the folder as buttons from the
# home folder on, not as a temporary path. The others run as root.
as_user=()
if [ "$fm" = thunar ]; then
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    cat >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="last-location-bar" type="string" value="ThunarLocationButtons"/>
</channel>
EOF
    chmod 755 "$work"
    chown -R nobody: "$HOME" "$XDG_RUNTIME_DIR" "$work/shots"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi

# Xvfb picks a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    # The background shell may not have created the file yet.
    display=$(cat "$work/display" 2>/dev/null || true)
    [ -z "$display" ] || break
    sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"

status=0
# Nautilus waits for the desktop's file system daemon here; local file access is all it needs.
# Qt programs join the accessibility bus only when asked.
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
GIO_USE_VFS=local GSK_RENDERER=cairo timeout 240 "${as_user[@]}" dbus-run-session -- \
    /usr/bin/python3 "$here/file_manager_driver.py" --file-manager "$fm" \
    --folder "$folder" --prefix "Trip " \
    --expect "Trip 2005-12-30 205732.jpg" "Trip 2006-01-02 030405.jpg" "Trip 2007-02-03 040506.jpg" \
    --menu-shot "$work/shots/e2e-$name-menu.png" \
    --window-shot "$work/shots/e2e-$name-window.png" \
    --failure-shot "$work/shots/e2e-$name-failure.png" \
    >"$artefacts/e2e-$name.log" 2>&1 || status=$?
cp "$work"/shots/*.png "$artefacts"/ 2>/dev/null || true
grep -v -E 'dbus-daemon|GVFS|^$|Openbox-Message|SpiRegistry|Tracker|WARNING' "$artefacts/e2e-$name.log" || true
outcome=$([ "$status" -eq 0 ] && echo PASS || echo FAIL)
echo "$(date -u +%FT%TZ) $outcome" >>"$artefacts/e2e-$name-runs.txt"
[ "$status" -eq 0 ] || fail "Shotstamp from $fm's menu did not rename the pictures"
echo "$name: one Shotstamp entry, and it renamed the three pictures; screenshots in $artefacts"
