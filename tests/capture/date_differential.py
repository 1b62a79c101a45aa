#!/usr/bin/env python3
"""Compares the date step's EXIF dates with exiftool's on JPEG files that exiftool writes.

A tiny JPEG is written, exiftool puts a different set of date tags into each copy (both byte
orders), and the probe program and `exiftool -j` are asked for CreateDate, ModifyDate,
DateTimeOriginal, GPSDateTime, OffsetTime* and the SubSec* composites. The files live in the
work folder given (the build tree). Exit status: 0 pass, 1 fail, 77 skipped (no exiftool).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

# SOI, a frame header for an 8x8 grey picture, a scan header, one byte of data, EOI.
TINY_JPEG = bytes.fromhex("FFD8FFC0000B080008000801011100FFDA0008010100003F0000FFD9")

CASES = {
    "create_and_modify": ["-CreateDate=2023:01:02 10:11:12", "-SubSecTimeDigitized=45",
                          "-OffsetTimeDigitized=-03:30", "-ModifyDate=2024:02:29 23:59:59",
                          "-SubSecTime=7", "-OffsetTime=+05:45"],
    "original_and_gps": ["-DateTimeOriginal=2023:06:30 18:00:01", "-SubSecTimeOriginal=123",
                         "-OffsetTimeOriginal=+09:00", "-GPSDateStamp=2023:06:30",
                         "-GPSTimeStamp=09:00:01.5"],
    "gps_near_midnight": ["-GPSDateStamp=2022:12:31", "-GPSTimeStamp=23:59:59",
                          "-CreateDate=2023:01:01 00:59:59", "-OffsetTimeDigitized=+01:00"],
    "scan_modify_only": ["-ModifyDate=1998:04:01 12:00:00"],
    "original_offset_time_only": ["-DateTimeOriginal=2023:01:02 10:11:12", "-OffsetTime=-08:00"],
    "odd_offsets": ["-CreateDate=2023:03:04 05:06:07", "-OffsetTimeDigitized=+05:45",
                    "-ModifyDate=2023:03:04 05:06:08", "-OffsetTime=-09:30"],
}

PLAIN = ["DateTimeOriginal", "CreateDate", "ModifyDate", "OffsetTime", "OffsetTimeOriginal",
         "OffsetTimeDigitized"]
COMPOSITE = {"SubSecDateTimeOriginal": "DateTimeOriginal", "SubSecCreateDate": "CreateDate",
             "SubSecModifyDate": "ModifyDate"}


def gps_moment(text):
    """"YYYY:MM:DD HH:MM:SS[.f]Z" as (date, hour, minute, seconds to the millisecond)."""
    if text is None:
        return None
    day, clock = text.rstrip("Z").split(" ")
    h, m, s = clock.split(":")
    return (day, int(h), int(m), round(float(s), 3))


def compare(name, ours, theirs):
    problems = []
    for tag in PLAIN:
        if ours.get(tag) != theirs.get(tag):
            problems.append(f"{name}: {tag} is {ours.get(tag)!r}, exiftool says {theirs.get(tag)!r}")
    for tag, plain in COMPOSITE.items():
        # exiftool gives the composite only when a fraction or offset exists; then it must be
        # ours exactly, else ours is the plain date.
        want = theirs.get(tag, theirs.get(plain))
        if ours.get(tag) != want:
            problems.append(f"{name}: {tag} is {ours.get(tag)!r}, exiftool says {want!r}")
    if gps_moment(ours.get("GPSDateTime")) != gps_moment(theirs.get("GPSDateTime")):
        problems.append(f"{name}: GPSDateTime is {ours.get('GPSDateTime')!r}, "
                        f"exiftool says {theirs.get('GPSDateTime')!r}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    exiftool = shutil.which("exiftool")
    if exiftool is None:
        print("SKIP: exiftool is not installed")
        return 77
    os.makedirs(args.work, exist_ok=True)
    files = []
    for name, tags in CASES.items():
        for order in ("MM", "II"):
            path = os.path.join(args.work, f"{name}_{order}.jpg")
            with open(path, "wb") as out:
                out.write(TINY_JPEG)
            subprocess.run([exiftool, "-q", "-overwrite_original", f"-ExifByteOrder={order}"] +
                           tags + [path], check=True)
            files.append(path)
    wanted = ["-" + t for t in PLAIN + list(COMPOSITE) + ["GPSDateTime"]]
    theirs = {os.path.basename(e["SourceFile"]): e for e in json.loads(
        subprocess.run([exiftool, "-j"] + wanted + files, check=True, capture_output=True,
                       text=True).stdout)}
    probe = ([args.emulator] if args.emulator else []) + [args.probe]
    ours = {os.path.basename(e["SourceFile"]): e for e in json.loads(
        subprocess.run(probe + files, check=True, capture_output=True, text=True).stdout)}
    problems = []
    for name in sorted(theirs):
        problems += compare(name, ours.get(name, {}), theirs[name])
    for p in problems:
        print("FAIL", p)
    print(f"{len(files)} generated files, {len(problems)} differences from exiftool")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
