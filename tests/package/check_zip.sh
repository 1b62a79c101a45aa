#!/usr/bin/env bash
# Checks the Windows zip that `cpack -G ZIP` makes in a win32 build: exactly the program, its
# help file beside it, the CLI and the read-me, at the archive's root, each what its name says.
# Usage: check_zip.sh Shotstamp-2.0.0-win32.zip
set -euo pipefail
source "$(dirname "$0")/lib.sh"
zip=$1
need_tools unzip file
[ -f "$zip" ] || fail "no zip at $zip"

names=$(unzip -Z1 "$zip" | sort)
expected=$(printf '%s\n' README.txt Shotstamp.CHM Shotstamp.exe shotstamp-cli.exe | sort)
[ "$names" = "$expected" ] || fail "the zip holds: $(echo $names)"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
unzip -q "$zip" -d "$tree"
# The shipped program is the 32-bit build; the window program is a GUI executable.
file -b "$tree/Shotstamp.exe" | grep -q '^PE32 executable (GUI) Intel 80386' ||
    fail "Shotstamp.exe is $(file -b "$tree/Shotstamp.exe")"
file -b "$tree/shotstamp-cli.exe" | grep -q '^PE32 executable (console) Intel 80386' ||
    fail "shotstamp-cli.exe is $(file -b "$tree/shotstamp-cli.exe")"
[ "$(head -c 4 "$tree/Shotstamp.CHM")" = ITSF ] || fail "Shotstamp.CHM is no compiled HTML help"
grep -q 'Shotstamp.exe /Install' "$tree/README.txt" || fail "README.txt does not say to run /Install"
grep -q $'\r$' "$tree/README.txt" || fail "README.txt lacks Windows line ends"
echo "$zip: README.txt, Shotstamp.CHM, Shotstamp.exe (PE32 GUI), shotstamp-cli.exe (PE32 console)"
