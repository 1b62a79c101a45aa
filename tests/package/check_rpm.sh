#!/usr/bin/env bash
# Builds the RPM with cpack, runs rpmlint on it and compares its files with the .deb's: the two
# packages hold the same files, only zsh's completion folder differs by distribution.
# Usage: check_rpm.sh BUILD_DIR ARTEFACT_DIR SOURCE_DIR
# Leaves the .rpm, rpm-cpack.log and rpmlint.txt in ARTEFACT_DIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1
artefacts=$2
source_dir=$3
need_tools cpack rpm rpmbuild rpmlint dpkg-deb
deb=$(deb_path "$artefacts")
[ -f "$deb" ] || fail "no .deb at $deb (package.build makes it)"
rpm_file=$artefacts/shotstamp-2.0.0-1.$(uname -m).rpm
rm -f "$rpm_file"
if ! (cd "$build" && cpack -G RPM --config CPackConfig.cmake) >"$artefacts/rpm-cpack.log" 2>&1; then
    cat "$artefacts/rpm-cpack.log"
    fail "cpack could not build the RPM"
fi
[ -f "$rpm_file" ] || fail "cpack did not write $rpm_file"
echo "built $rpm_file"

[ "$(rpm -qp --qf '%{NAME} %{VERSION} %{LICENSE}' "$rpm_file")" = "shotstamp 2.0.0 MIT" ] ||
    fail "name, version or licence: $(rpm -qp --qf '%{NAME} %{VERSION} %{LICENSE}' "$rpm_file")"
rpm -qp --requires "$rpm_file" | grep -q '^libc\.so\.6' || fail "Requires were not computed"

# Files and links of both packages (folders aside: each distribution owns its own).
rpm_files=$(rpm -qlvp "$rpm_file" | awk '$1 !~ /^d/ {print $9}' |
    sed 's|^/usr/share/zsh/site-functions/|/usr/share/zsh/COMPLETIONS/|' | sort)
deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' |
    sed 's|^/usr/share/zsh/vendor-completions/|/usr/share/zsh/COMPLETIONS/|' | sort)
if [ "$rpm_files" != "$deb_files" ]; then
    diff <(echo "$deb_files") <(echo "$rpm_files") | sed 's/^</only in the .deb:/; s/^>/only in the RPM:/' >&2 || true
    fail "the RPM and the .deb hold different files"
fi
echo "the RPM holds the .deb's $(wc -l <<<"$rpm_files") files"

# rpmlint: no error but the missing signature; every warning explained in packaging/rpmlint.md.
rpmlint -c "$source_dir/packaging/rpmlint.toml" "$rpm_file" >"$artefacts/rpmlint.txt" 2>&1 || true
cat "$artefacts/rpmlint.txt"
grep -q 'packages and 0 specfiles checked' "$artefacts/rpmlint.txt" || fail "rpmlint did not run"
errors=$(grep -E ': E: ' "$artefacts/rpmlint.txt" | grep -v ': E: no-signature' || true)
[ -z "$errors" ] || fail "rpmlint reports errors: $errors"
for tag in $(grep -oE ': W: [a-z0-9-]+' "$artefacts/rpmlint.txt" | sed 's/: W: //' | sort -u); do
    grep -q "\`W: $tag\`" "$source_dir/packaging/rpmlint.md" ||
        fail "rpmlint warning $tag is not explained in packaging/rpmlint.md"
done
