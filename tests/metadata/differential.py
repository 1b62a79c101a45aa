#!/usr/bin/env python3
"""Compares the picture reader with exiftool over every JPEG of a folder.

For each picture, `shotstamp-cli info --json` and `exiftool -j -n` are asked for the same facts.
A difference passes only when the expectations file lists it (file, field, the reader's rule that
causes it); every other difference, and every listed difference that no longer occurs, fails.
Prints the agreement per field. Exit status: 0 pass, 1 fail, 77 skipped (no exiftool or corpus).
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys

FIELDS = [
    "dateTimeOriginal", "make", "model", "orientation", "pixelWidth", "pixelHeight",
    "exposureTime", "fNumber", "flashFired", "isoSpeed", "exifPresent",
]

EXIFTOOL_TAGS = [
    "-EXIF:DateTimeOriginal", "-EXIF:Make", "-EXIF:Model", "-EXIF:Orientation",
    "-File:ImageWidth", "-File:ImageHeight", "-EXIF:ExposureTime", "-EXIF:ShutterSpeedValue",
    "-EXIF:FNumber", "-EXIF:ApertureValue", "-EXIF:MaxApertureValue",
    "-EXIF:Flash", "-EXIF:ISO", "-ExifByteOrder",
]

# Longest text each field holds (its array size less the terminator).
TEXT_LIMITS = {"dateTimeOriginal": 19, "make": 31, "model": 39}


def first_number(value):
    """exiftool gives a list of values as one text ("100 0"); the reader takes the first."""
    if value is None:
        return None
    if isinstance(value, (int, float)):
        return value
    try:
        return float(str(value).split()[0])
    except (ValueError, IndexError):
        return None


def expected_from_exiftool(info):
    """The value of each field as exiftool sees the picture's EXIF and frame header (maker notes
    and other metadata left out), absent tags as the record's zero."""
    def number(tag):
        v = first_number(info.get(tag))
        return 0 if v is None else v

    def text(tag):
        v = info.get(tag)
        return "" if v is None else str(v)

    def first_present(*tags):
        # The record's field takes the first of its tags that the picture has; exiftool already
        # turns the APEX values into seconds and f-numbers.
        for tag in tags:
            v = first_number(info.get(tag))
            if v is not None and v != 0:
                return float(v)
        return 0.0

    flash = info.get("Flash")
    return {
        "dateTimeOriginal": text("DateTimeOriginal"),
        "make": text("Make"),
        "model": text("Model"),
        "orientation": int(number("Orientation")),
        "pixelWidth": int(number("ImageWidth")),
        "pixelHeight": int(number("ImageHeight")),
        "exposureTime": first_present("ExposureTime", "ShutterSpeedValue"),
        "fNumber": first_present("FNumber", "ApertureValue", "MaxApertureValue"),
        "flashFired": 1 if flash is not None and int(first_number(flash) or 0) & 7 else 0,
        "isoSpeed": int(number("ISO")),
        "exifPresent": "ExifByteOrder" in info,
    }


def agree(field, ours, theirs):
    if field in ("exposureTime", "fNumber"):
        if ours is None:  # not finite in the reader's output
            return False
        return math.isclose(ours, theirs, rel_tol=1e-5, abs_tol=1e-9)
    return ours == theirs


def rule_holds(rule, field, ours, theirs):
    """Checks the rules that can be checked mechanically; the others stand on their note."""
    if rule == "truncation":
        return field in TEXT_LIMITS and ours == theirs[:TEXT_LIMITS[field]]
    if rule == "stored-spaces":
        return ours != theirs and ours.rstrip(" ") == theirs
    if rule == "iso-x200":
        return theirs < 50 and ours == theirs * 200
    if rule == "orientation-range":
        return ours == 0 and not 1 <= theirs <= 8
    return True


def load_expectations(path):
    expectations = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = [p.strip() for p in line.split("|")]
            if len(parts) != 4 or parts[1] not in FIELDS or not parts[3]:
                sys.exit(f"{path}:{number}: expected 'file | field | rule | why'")
            expectations[(parts[0], parts[1])] = (parts[2], parts[3])
    return expectations


def pictures_under(folder):
    found = []
    for root, _, names in os.walk(folder):
        for name in names:
            if name.lower().endswith((".jpg", ".jpeg")):
                found.append(os.path.relpath(os.path.join(root, name), folder))
    return sorted(found)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--expectations", required=True)
    parser.add_argument("--emulator", default="", help="runs the CLI (Wine for a Windows build)")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)

    if shutil.which("exiftool") is None:
        print("exiftool not installed (package libimage-exiftool-perl)")
        return 77
    if not os.path.isdir(args.corpus):
        print(f"camera corpus not found at {args.corpus}")
        return 77
    files = pictures_under(args.corpus)
    if not files:
        print(f"no pictures in the camera corpus at {args.corpus}")
        return 77

    emulator = [args.emulator] if args.emulator else []
    ours_run = subprocess.run([*emulator, args.cli, "info", "--json", "--", *files], cwd=args.corpus,
                              capture_output=True, text=True, encoding="utf-8", check=False)
    if ours_run.returncode != 0:
        print(ours_run.stderr)
        print(f"shotstamp-cli exit status {ours_run.returncode}")
        return 1
    ours = {}
    for line in ours_run.stdout.splitlines():
        record = json.loads(line)
        ours[record["file"]] = record

    theirs_run = subprocess.run(["exiftool", "-j", "-n", "-q", "-q", *EXIFTOOL_TAGS, "--", *files],
                                cwd=args.corpus, capture_output=True, text=True,
                                encoding="utf-8", errors="surrogateescape", check=False)
    theirs = {entry["SourceFile"]: entry for entry in json.loads(theirs_run.stdout or "[]")}

    expectations = load_expectations(args.expectations)
    used = set()
    failures = []
    counts = {field: [0, 0] for field in FIELDS}  # agreeing, explained
    for name in files:
        if name not in ours or name not in theirs:
            failures.append(f"{name}: missing from {'shotstamp-cli' if name not in ours else 'exiftool'}")
            continue
        expected = expected_from_exiftool(theirs[name])
        for field in FIELDS:
            value = ours[name][field]
            if agree(field, value, expected[field]):
                counts[field][0] += 1
                if (name, field) in expectations:
                    failures.append(f"{name} {field}: listed as different but agrees ({value!r})")
                    used.add((name, field))
                continue
            listed = expectations.get((name, field))
            if listed is None:
                failures.append(f"{name} {field}: reader {value!r}, exiftool {expected[field]!r}")
                continue
            used.add((name, field))
            if not rule_holds(listed[0], field, value, expected[field]):
                failures.append(f"{name} {field}: rule '{listed[0]}' does not explain reader "
                                f"{value!r} against exiftool {expected[field]!r}")
                continue
            counts[field][1] += 1
    for key in sorted(set(expectations) - used):
        failures.append(f"{key[0]} {key[1]}: listed, but no such picture")

    total = len(files)
    print(f"{total} pictures compared with exiftool")
    print(f"{'field':<18}{'agree':>12}{'explained':>11}")
    for field in FIELDS:
        agreeing, explained = counts[field]
        print(f"{field:<18}{agreeing:>5}/{total:<3} {100.0 * agreeing / total:5.1f}%{explained:>6}")
    for failure in failures:
        print("UNEXPLAINED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
