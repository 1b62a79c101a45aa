#!/usr/bin/env bash
# The Windows setup under Wine, in the prefix run-wine-tests.sh prepared: it installs silently
# into the user's programs folder, makes the Send To shortcut and the Start-menu entry, fills
# the Uninstall key; the uninstaller, silent too, leaves the user's folders as they were before.
# Usage: setup_test.sh SETUP_EXE
set -euo pipefail
setup=$1
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: no WINEPREFIX (run tests/windows/run-wine-tests.sh)" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; exit 1; }
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Shotstamp'

# Wine's output goes to files: its helper processes would hold a pipe open.
run() {
    local out
    out=$(mktemp)
    timeout 120 wine "$@" </dev/null >"$out" 2>&1 || { cat "$out" >&2; rm -f "$out"; return 1; }
    tr -d '\r' <"$out"
    rm -f "$out"
}
unix_folder() { realpath -m "$(winepath -u "$(run cmd /c echo "%$1%" | tail -n 1)" 2>/dev/null)"; }
local_data=$(unix_folder LOCALAPPDATA)
roaming=$(unix_folder APPDATA)
[ -d "$local_data" ] && [ -d "$roaming" ] || fail "no profile folders ($local_data, $roaming)"
target=$local_data/Programs/Shotstamp
send_to=$roaming/Microsoft/Windows/SendTo/Shotstamp.lnk
help_link="$roaming/Microsoft/Windows/Start Menu/Programs/Shotstamp help.lnk"
[ ! -e "$target" ] && [ ! -e "$send_to" ] || fail "Shotstamp is installed in the prefix already"

# Everything in the users' folders except the temporary folder, where the setup unpacks its
# helpers and the uninstaller runs a copy of itself.
temp=$(unix_folder TEMP)
listing() {
    find "$WINEPREFIX/drive_c/users" -path "$temp" -prune -o -print | sort
}
before=$(listing)

run "$setup" /S || fail "the setup failed"
for file in Shotstamp.exe Shotstamp.CHM shotstamp-cli.exe Uninstall.exe; do
    [ -f "$target/$file" ] || fail "the setup did not install $file into $target"
done
[ -f "$send_to" ] || fail "no Send To shortcut at $send_to"
[ -f "$help_link" ] || fail "no Start-menu entry at $help_link"
run "$target/shotstamp-cli.exe" --help | grep -q '^usage: shotstamp-cli' ||
    fail "the installed shotstamp-cli.exe does not run"

values=$(run reg query "$key") || fail "no Uninstall key $key"
echo "$values"
for name in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize UninstallString \
    QuietUninstallString; do
    grep -qE "^ +$name +REG_" <<<"$values" || fail "the Uninstall key lacks $name"
done
grep -qE '^ +DisplayVersion +REG_SZ +2\.0\.0$' <<<"$values" || fail "DisplayVersion"
grep -qE '^ +QuietUninstallString +REG_SZ +".*\\Uninstall\.exe" /S$' <<<"$values" ||
    fail "QuietUninstallString"
size=$(sed -nE 's/^ +EstimatedSize +REG_DWORD +0x([0-9a-f]+)$/\1/p' <<<"$values")
[ -n "$size" ] && [ $((16#$size)) -ge 100 ] || fail "EstimatedSize is ${size:-missing} (in KiB)"
echo "installed: $(cd "$target" && echo *), Send To shortcut, Start-menu entry"

# The uninstaller copies itself to the temporary folder and runs from there: wait for it.
run "$target/Uninstall.exe" /S || fail "the uninstaller failed"
for _ in $(seq 60); do
    [ -e "$target" ] || break
    sleep 1
done
sleep 2
[ ! -e "$target" ] || fail "the uninstaller left $(cd "$target" && echo *)"
if run reg query "$key" >/dev/null 2>&1; then fail "the Uninstall key is still there"; fi
after=$(listing)
if [ "$before" != "$after" ]; then
    diff <(echo "$before") <(echo "$after") >&2 || true
    fail "the user's folders differ from before the install (< before, > after)"
fi
echo "uninstalled: the profile holds the same $(wc -l <<<"$after") entries as before the install"
