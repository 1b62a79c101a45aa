#!/usr/bin/env python3
"""shotstamp-cli info's date candidates and the chain's pick, on pictures exiftool writes.

    info_dates_test.py SHOTSTAMP_CLI
"""

import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

CLI = ""


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, check=False, timeout=60)


class InfoDates(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def picture(self, name, *tags):
        path = os.path.join(self.folder.name, name)
        subprocess.run(["convert", "-size", "8x8", "xc:gray", path], check=True)
        if tags:
            subprocess.run(["exiftool", "-q", "-overwrite_original", *tags, path], check=True)
        return path

    def dates(self, *args):
        result = run("info", "--json", *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [json.loads(line)["dates"] for line in result.stdout.decode().splitlines()]

    def test_chain_picks_first_usable_source_and_lists_the_rest(self):
        stripped = self.picture("IMG-20230102-WA0001.jpg")
        early = self.picture("20230304_050607.jpg", "-CreateDate=1985:01:01 00:00:00")
        clash = self.picture("clash.jpg", "-DateTimeOriginal=2023:01:02 10:11:12",
                             "-CreateDate=2023:01:05 10:11:12")
        default, = self.dates(stripped)
        self.assertIsNone(default["chosen"])  # exif alone finds nothing in a stripped picture
        chain = "--date-from=digitized,name,mtime"
        a, b, c = self.dates(chain, stripped, early, clash)
        picked = a["candidates"][a["chosen"]]
        self.assertEqual((picked["source"], picked["value"], picked["precision"]),
                         ("name", "2023-01-02", "day only"))
        self.assertIn("mtime", [x["source"] for x in a["candidates"]])
        # The 1985 CreateDate is listed with its reason, and the chain goes on to the name.
        ignored = [x for x in b["candidates"] if x["source"] == "digitized"]
        self.assertEqual(len(ignored), 1)
        self.assertIn("1990", ignored[0]["ignored"])
        self.assertEqual(b["candidates"][b["chosen"]]["value"], "2023-03-04 05:06:07")
        self.assertEqual(c["candidates"][c["chosen"]]["value"], "2023-01-05 10:11:12")
        self.assertEqual(len(c["warnings"]), 1)
        self.assertIn("CreateDate", c["warnings"][0])

    def test_zones_sidecar_and_listing(self):
        pixel = self.picture("PXL_20230102_231112123.jpg")
        d, = self.dates("--date-from", "name", "--zone", "+01:00", pixel)
        self.assertEqual(d["candidates"][d["chosen"]]["zone"], "UTC")
        self.assertEqual(d["value"], "2023-01-03 00:11:12.123 +01:00")  # across midnight
        plain = self.picture("plain.jpg")
        with open(os.path.join(self.folder.name, "plain.xmp"), "w") as f:
            f.write('<x:xmpmeta><rdf:Description xmp:CreateDate="2021-06-07T08:09:10+02:00"/>'
                    "</x:xmpmeta>")
        d, = self.dates("--date-from=xmp", "--zone=utc", plain)
        chosen = d["candidates"][d["chosen"]]
        self.assertEqual((chosen["origin"], chosen["zone"]), ("sidecar .xmp", "+02:00"))
        self.assertEqual(d["value"], "2021-06-07 06:09:10 UTC")
        listing = run("info", "--date-from=xmp", plain).stdout.decode()
        self.assertIn("dateChosen              date[", listing)
        self.assertIn("dateWhy                 --date-from xmp: xmp: took", listing)

    def test_video_header_time_is_a_capture_and_a_creation_date(self):
        def box(kind, payload):
            return struct.pack(">I", 8 + len(payload)) + kind + payload
        # 2023-01-02 23:11:12 UTC in seconds since 1904, in a version-0 movie header.
        when = (19359 * 86400 + 23 * 3600 + 11 * 60 + 12) + 2082844800
        mvhd = box(b"mvhd", bytes(4) + struct.pack(">IIII", when, when, 1000, 100)
                   + b"\0\x01\0\0\x01\0" + bytes(70) + b"\0\0\0\x02")
        path = os.path.join(self.folder.name, "clip.mp4")
        with open(path, "wb") as f:
            f.write(box(b"ftyp", b"isom\0\0\x02\0isommp41") + box(b"moov", mvhd))
        d, = self.dates("--date-from=digitized", "--zone=+02:00", path)
        self.assertEqual([x["source"] for x in d["candidates"]], ["exif", "digitized", "mtime"])
        self.assertEqual((d["chosen"], d["value"]), (1, "2023-01-03 01:11:12 +02:00"))
        d, = self.dates("--video-time=local", "--zone=+02:00", path)
        self.assertEqual(d["value"], "2023-01-02 23:11:12 local time, zone unknown")

    def test_bad_date_options_are_usage_errors(self):
        path = self.picture("x.jpg")
        for option, reason in [("--date-from=exif,bogus", "bogus"),
                               ("--date-from=exif,exif", "exif"), ("--zone=+25:00", "25"),
                               ("--video-time=utc", "local")]:
            with self.subTest(option=option):
                result = run("info", option, path)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                first = result.stderr.decode().splitlines()[0]
                self.assertIn(option.split("=")[0], first)
                self.assertIn(reason, first)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv[1])
    unittest.main(argv=sys.argv[:1], verbosity=2)
