# Helpers shared by the package tests (sourced).

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# CTest counts exit status 77 as a skip.
skip() {
    echo "SKIP: $*"
    exit 77
}

deb_path() {
    echo "$1/shotstamp_2.0.0_$(dpkg --print-architecture).deb"
}

need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "'$tool' is not installed (scripts/install-deps.sh test)"
    done
}

# Only one test at a time may install or remove the package on this machine. Then, a Shotstamp
# found installed was there before the test (each test purges what it installed): the test
# skips rather than replace it and remove it afterwards.
lock_system_packages() {
    exec {lock_fd}>/tmp/shotstamp-package-tests.lock
    flock -w 600 "$lock_fd" || fail "another package test holds the lock"
    local status program
    status=$(dpkg-query -W -f='${Status} ${Version}' shotstamp 2>/dev/null || true)
    case "$status" in
    "" | "unknown ok not-installed"*) ;;
    *) skip "a Shotstamp package is already on this machine ($status); the test would replace it" ;;
    esac
    for program in /usr/bin/shotstamp /usr/bin/shotstamp-cli; do
        [ ! -e "$program" ] || skip "$program exists already; installing the package would replace it"
    done
}

# dpkg with its arguments, waiting while another package manager holds dpkg's lock (an
# unattended upgrade, say) instead of failing at once; it gives up after 15 minutes.
dpkg_waiting() {
    local log deadline=$((SECONDS + 900))
    log=$(mktemp)
    until dpkg "$@" >"$log" 2>&1; do
        if ! grep -qE 'lock.* (locked|held) by another process|database is locked' "$log" ||
            [ "$SECONDS" -ge "$deadline" ]; then
            cat "$log" >&2
            rm -f "$log"
            return 1
        fi
        sleep 5
    done
    rm -f "$log"
}

# Installs the package for the test; purge_package removes it again, and only when this test
# installed it.
installed_by_test=0
install_package() {
    installed_by_test=1
    dpkg_waiting -i "$1" || fail "dpkg -i failed"
}
purge_package() {
    if [ "$installed_by_test" = 1 ]; then
        dpkg_waiting --purge shotstamp
        installed_by_test=0
    fi
}

# Writes a small JPEG picture; with a second argument, an EXIF DateTimeOriginal (YYYY:MM:DD HH:MM:SS).
make_picture() {
    local file=$1 taken=${2:-}
    convert -size 64x48 gradient:steelblue-khaki "$file" || fail "convert could not write $file"
    if [ -n "$taken" ]; then
        exiftool -q -overwrite_original "-DateTimeOriginal=$taken" "$file" ||
            fail "exiftool could not date $file"
    fi
}
