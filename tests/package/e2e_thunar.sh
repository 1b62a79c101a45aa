#!/usr/bin/env bash
# End to end in a real file manager: installs the built package, starts Thunar under Xvfb with a
# window manager and a session bus, sends two marked pictures to Shotstamp through Thunar's
# Send To menu, types a prefix and presses Enter, and checks both pictures were renamed.
# Screenshots and the log go to ARTEFACT_DIR (e2e-thunar-*.png, e2e-thunar.log); each run's
# outcome is appended to e2e-thunar-runs.txt. Needs root; skips otherwise.
# Usage: e2e_thunar.sh ARTEFACT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
artefacts=$1

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
need_tools dpkg Xvfb openbox dbus-run-session thunar xdotool xprop import convert exiftool
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
rm -f "$artefacts"/e2e-thunar-*.png

install_package "$deb"

# Thunar and Shotstamp run as an ordinary user (nobody), as people use them, with a home of
# their own: no per-user Send To entry or Thunar setting of this machine takes part, and the
# screenshots show a picture folder in that home, not root's warning bar.
user=nobody
chmod 755 "$work"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/shots"
chmod 700 "$XDG_RUNTIME_DIR"
folder=$HOME/Pictures/Holiday
mkdir -p "$folder"
make_picture "$folder/img_0001.jpg" "2005:12:30 20:57:32"
make_picture "$folder/img_0002.jpg" "2006:01:02 03:04:05"
# Thunar shows the folder as buttons from the home folder on, not as a temporary path.
mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
cat >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="last-location-bar" type="string" value="ThunarLocationButtons"/>
</channel>
EOF
chown -R "$user:" "$HOME" "$XDG_RUNTIME_DIR" "$work/shots"

# Xvfb picks a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    display=$(cat "$work/display")
    [ -z "$display" ] || break
    sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"

status=0
setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
    dbus-run-session -- /usr/bin/python3 "$here/thunar_driver.py" \
    --folder "$folder" --prefix "Holiday " \
    --expect "Holiday 2005-12-30 205732.jpg" "Holiday 2006-01-02 030405.jpg" \
    --menu-shot "$work/shots/e2e-thunar-menu.png" \
    --window-shot "$work/shots/e2e-thunar-window.png" \
    --failure-shot "$work/shots/e2e-thunar-failure.png" \
    >"$artefacts/e2e-thunar.log" 2>&1 || status=$?
cp "$work"/shots/*.png "$artefacts"/ 2>/dev/null || true
grep -v -E 'dbus-daemon|GVFS|^$|Openbox-Message|SpiRegistry' "$artefacts/e2e-thunar.log" || true
outcome=$([ "$status" -eq 0 ] && echo PASS || echo FAIL)
echo "$(date -u +%FT%TZ) $outcome" >>"$artefacts/e2e-thunar-runs.txt"
[ "$status" -eq 0 ] || fail "Send To > Shotstamp in Thunar did not rename the pictures"
echo "Thunar > Send To > Shotstamp renamed both pictures; screenshots in $artefacts"
