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

# Only one test at a time may install or remove the package on this machine.
lock_system_packages() {
    exec {lock_fd}>/tmp/shotstamp-package-tests.lock
    flock -w 600 "$lock_fd" || fail "another package test holds the lock"
}

# dpkg -i, waiting up to five minutes while another program (apt) holds dpkg's lock.
install_deb() {
    local log=$1 deb=$2
    for _ in $(seq 60); do
        dpkg -i "$deb" >"$log" 2>&1 && return 0
        grep -q 'lock' "$log" || break
        sleep 5
    done
    cat "$log"
    fail "dpkg -i failed"
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
