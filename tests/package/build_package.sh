#!/usr/bin/env bash
# Builds the Debian package with cpack, checks what it holds and runs lintian on it.
# Usage: build_package.sh BUILD_DIR ARTEFACT_DIR WITH_GUI(0|1)
# Leaves the .deb, cpack.log and lintian.txt in ARTEFACT_DIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1
artefacts=$2
with_gui=$3
need_tools cpack dpkg-deb lintian desktop-file-validate python3 appstreamcli

mkdir -p "$artefacts"
deb=$(deb_path "$artefacts")
rm -f "$deb"
if ! (cd "$build" && cpack -G DEB --config CPackConfig.cmake) >"$artefacts/cpack.log" 2>&1; then
    cat "$artefacts/cpack.log"
    fail "cpack could not build the package"
fi
[ -f "$deb" ] || fail "cpack did not write $deb"
echo "built $deb"

# Control fields: dependencies come from dpkg-shlibdeps, so libc6 must be among them.
[ "$(dpkg-deb -f "$deb" Package)" = shotstamp ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 2.0.0 ] || fail "version"
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6 (>=' <<<"$depends" || fail "Depends '$depends' was not computed from the binaries"
if [ "$with_gui" = 1 ]; then
    grep -q 'libgtk-3-0' <<<"$depends" || fail "Depends '$depends' lacks GTK for the window"
fi

# Contents.
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
expected=(
    /usr/bin/shotstamp-cli
    /usr/share/man/man1/shotstamp.1.gz
    /usr/share/man/man1/shotstamp-cli.1.gz
    /usr/share/doc/shotstamp/copyright
    /usr/share/doc/shotstamp/changelog.gz
    /usr/share/Thunar/sendto/Shotstamp.desktop
    /usr/share/kio/servicemenus/Shotstamp.desktop
    /usr/share/nemo/actions/Shotstamp.nemo_action
    /usr/share/metainfo/org.example.shotstamp.metainfo.xml
    /usr/share/bash-completion/completions/shotstamp-cli
    /usr/share/zsh/vendor-completions/_shotstamp-cli
    /usr/share/fish/vendor_completions.d/shotstamp-cli.fish
)
if [ "$with_gui" = 1 ]; then
    expected+=(/usr/bin/shotstamp)
fi
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done
if grep -E '^/(usr/local|home|root|tmp|work)/' <<<"$listing"; then
    fail "the package holds files outside the system tree"
fi

# The Send To entries as shipped, before any install.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
python3 "$(dirname "$0")/check_entries.py" "$tree" || fail "Send To entries in the package"
# The metainfo as shipped; its screenshots are not fetched (CI may have no network).
appstreamcli validate --pedantic --no-net \
    "$tree/usr/share/metainfo/org.example.shotstamp.metainfo.xml" ||
    fail "appstreamcli rejects the metainfo"
for page in shotstamp shotstamp-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
        "$tree/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
done

# lintian: no error allowed; the whole report is kept as an artefact.
lintian --info --display-info --pedantic "$deb" >"$artefacts/lintian.txt" 2>&1 || true
errors=$(grep -c '^E: ' "$artefacts/lintian.txt" || true)
warnings=$(grep -c '^W: ' "$artefacts/lintian.txt" || true)
infos=$(grep -c '^[IP]: ' "$artefacts/lintian.txt" || true)
echo "lintian: $errors error(s), $warnings warning(s), $infos info/pedantic tag(s); report in $artefacts/lintian.txt"
grep -E '^[EWIP]: ' "$artefacts/lintian.txt" || true
[ "$errors" -eq 0 ] || fail "lintian reports errors"
