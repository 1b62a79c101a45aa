#!/usr/bin/env python3
"""Checks the system-wide Send To entries under ROOT/usr/share.

Each entry must start PROGRAM with the selected files (%F), offer itself for JPEG pictures only,
and say what the per-user entry of "shotstamp /Install" says (--per-user DATA_HOME), quoting of the
program path aside. No desktop entry under applications/ may tie Shotstamp to a
MIME type: it must never become anybody's picture viewer.
Exit status 0 when everything holds; each fault is printed.
"""

import argparse
import configparser
import pathlib
import shlex
import subprocess
import sys

# (path below share/ of the system entry and of the per-user one, which must be the same so that
# a file manager shows one of them, main group)
ENTRIES = [
    ("Thunar/sendto/Shotstamp.desktop", "Desktop Entry"),
    ("kio/servicemenus/Shotstamp.desktop", "Desktop Entry"),
    ("nemo/actions/Shotstamp.nemo_action", "Nemo Action"),
]

# Keys that may differ: the quoting of the program, and the user's Nemo action standing back.
MAY_DIFFER = {"Exec", "Dependencies"}

faults = []


def fault(text):
    faults.append(text)


def read_key_file(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str  # keys are case-sensitive
    try:
        with open(path, encoding="utf-8") as stream:
            parser.read_file(stream)
    except (OSError, configparser.Error) as error:
        fault(f"{path}: cannot be read as a key file: {error}")
        return None
    return parser


def exec_words(value):
    # Desktop entries and Nemo both accept POSIX-style quoting of the program path.
    try:
        return shlex.split(value)
    except ValueError as error:
        fault(f"Exec '{value}' cannot be split: {error}")
        return []


def check_exec(path, value, program):
    words = exec_words(value)
    if words != [program, "%F"]:
        fault(f"{path}: Exec is '{value}', expected the program {program} followed by %F")


def check_thunar(path, entry, program):
    group = entry["Desktop Entry"]
    result = subprocess.run(["desktop-file-validate", str(path)], capture_output=True, text=True)
    if result.returncode != 0 or result.stdout.strip():
        fault(f"{path}: desktop-file-validate: {result.stdout.strip()} {result.stderr.strip()}")
    if group.get("Type") != "Application" or group.get("Name") != "Shotstamp":
        fault(f"{path}: needs Type=Application and Name=Shotstamp")
    check_exec(path, group.get("Exec", ""), program)
    if group.get("MimeType") != "image/jpeg;":
        fault(f"{path}: MimeType should limit the entry to JPEG pictures")


def check_kio(path, entry, program):
    # desktop-file-validate does not know service menus (Type=Service): check their own keys.
    group = entry["Desktop Entry"]
    if group.get("Type") != "Service":
        fault(f"{path}: needs Type=Service")
    if "KonqPopupMenu/Plugin" not in group.get("X-KDE-ServiceTypes", "").split(","):
        fault(f"{path}: X-KDE-ServiceTypes lacks KonqPopupMenu/Plugin")
    if group.get("MimeType") != "image/jpeg;":
        fault(f"{path}: MimeType should limit the menu to JPEG pictures")
    actions = [a for a in group.get("Actions", "").split(";") if a]
    if not actions:
        fault(f"{path}: no Actions")
    for action in actions:
        section = f"Desktop Action {action}"
        if not entry.has_section(section):
            fault(f"{path}: action {action} has no [{section}] group")
            continue
        if entry[section].get("Name") != "Shotstamp":
            fault(f"{path}: action {action} is not named Shotstamp")
        check_exec(path, entry[section].get("Exec", ""), program)


def check_nemo(path, entry, program):
    # Nemo actions are not desktop entries either (group "Nemo Action", own keys).
    group = entry["Nemo Action"]
    if group.get("Active", "true") != "true" or group.get("Name") != "Shotstamp":
        fault(f"{path}: needs Active=true and Name=Shotstamp")
    if group.get("Selection") not in ("notnone", "any", "m"):
        fault(f"{path}: Selection '{group.get('Selection')}' does not allow several pictures")
    if group.get("Mimetypes") != "image/jpeg;" and "Extensions" not in group:
        fault(f"{path}: nothing limits the action to JPEG pictures")
    check_exec(path, group.get("Exec", ""), program)


CHECKS = {"Thunar": check_thunar, "kio": check_kio, "nemo": check_nemo}


def compare_with_per_user(path, entry, per_user_path):
    mine = read_key_file(path)
    theirs = read_key_file(per_user_path)
    if mine is None or theirs is None:
        return
    if mine.sections() != theirs.sections():
        fault(f"{path}: groups {mine.sections()} differ from {per_user_path}: {theirs.sections()}")
        return
    for section in mine.sections():
        for key in set(mine[section]) | set(theirs[section]):
            if key in MAY_DIFFER:
                continue
            a, b = mine[section].get(key), theirs[section].get(key)
            if a != b:
                fault(f"{path}: [{section}] {key}={a!r}, but /Install writes {key}={b!r}")
        a = exec_words(mine[section].get("Exec", ""))
        b = exec_words(theirs[section].get("Exec", ""))
        if a[1:] != b[1:]:
            fault(f"{path}: [{section}] Exec arguments {a[1:]} differ from /Install's {b[1:]}")


def check_no_mime_handler(share):
    applications = share / "applications"
    if not applications.is_dir():
        return
    for desktop in sorted(applications.glob("*.desktop")):
        entry = read_key_file(desktop)
        if entry is None or not entry.has_section("Desktop Entry"):
            continue
        group = entry["Desktop Entry"]
        mentions = "shotstamp" in (group.get("Exec", "") + group.get("TryExec", "")).lower()
        if mentions and group.get("MimeType", "").strip():
            fault(f"{desktop}: registers Shotstamp as a handler of {group.get('MimeType')}")
    cache = applications / "mimeinfo.cache"
    if cache.is_file() and "shotstamp" in cache.read_text(errors="replace").lower():
        fault(f"{cache}: names Shotstamp as a handler")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("root", type=pathlib.Path, help="root of the installed tree, e.g. /")
    parser.add_argument("--program", default="/usr/bin/shotstamp")
    parser.add_argument("--per-user", type=pathlib.Path, help="XDG_DATA_HOME after /Install")
    args = parser.parse_args()

    share = args.root / "usr/share"
    for relative, group in ENTRIES:
        path = share / relative
        if not path.is_file():
            fault(f"{path}: missing")
            continue
        if path.stat().st_mode & 0o111:
            fault(f"{path}: a system-wide entry needs no execute bit")
        entry = read_key_file(path)
        if entry is None:
            continue
        if not entry.has_section(group):
            fault(f"{path}: no [{group}] group")
            continue
        CHECKS[relative.split("/")[0]](path, entry, args.program)
        if args.per_user is not None:
            compare_with_per_user(path, entry, args.per_user / relative)
    check_no_mime_handler(share)

    for text in faults:
        print(f"FAULT: {text}")
    print(f"{len(ENTRIES)} Send To entries checked under {share}: {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
