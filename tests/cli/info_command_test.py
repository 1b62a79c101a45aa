#!/usr/bin/env python3
"""shotstamp-cli info, run as a script would run it.

    info_command_test.py SHOTSTAMP_CLI SAMPLES_FOLDER
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

CLI = ""
SAMPLES = ""

RECORD_FIELDS = [
    "exifVersion", "make", "model", "dateTimeOriginal", "pixelHeight", "pixelWidth",
    "orientation", "threeComponents", "frameMarker", "flashFired", "focalLength", "exposureTime",
    "fNumber", "subjectDistance", "sensorWidth", "exposureBias", "lightSource", "meteringMode",
    "exposureProgram", "isoSpeed", "compressedBitsPerPixel", "focalPlaneXResolution",
    "focalPlaneYResolution", "focalPlaneUnitInches", "xResolution", "yResolution",
    "resolutionUnitInches", "brightness", "comment", "thumbnailData", "thumbnailLength",
    "exifPresent", "subSecTimeOriginal",
]
KEYS = ["file", "readSections", "errorText"] + RECORD_FIELDS + [
    "sections", "thumbnailOffset", "container", "captureTime"]


def run(*args):
    # The time-out turns a hang (a pipe read as a picture, say) into an error.
    return subprocess.run([CLI, *args], capture_output=True, check=False, timeout=60)


def segment(code, payload):
    length = len(payload) + 2
    return bytes([0xFF, code, length >> 8, length & 0xFF]) + payload


SCAN = segment(0xDA, bytes([1, 1, 0, 0, 63, 0])) + b"\x12\x34\xff\xd9"


class InfoCommand(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def write(self, name, data):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def json_lines(self, result):
        return [json.loads(line) for line in result.stdout.decode("utf-8").splitlines()]

    def test_samples_as_json_lines(self):
        names = sorted(n for n in os.listdir(SAMPLES) if n.endswith(".jpg"))
        result = run("info", "--json", *[os.path.join(SAMPLES, n) for n in names])
        self.assertEqual(result.returncode, 0, result.stderr)
        records = {os.path.basename(r["file"]): r for r in self.json_lines(result)}
        self.assertEqual(sorted(records), names)
        for record in records.values():
            self.assertEqual(list(record), KEYS)
            self.assertTrue(record["readSections"])
            self.assertEqual((record["pixelWidth"], record["pixelHeight"]), (16, 16))
        first = records["IMG_0001.jpg"]
        self.assertEqual(first["dateTimeOriginal"], "2005:12:30 20:57:32")
        self.assertEqual((first["container"], first["captureTime"]["dateTime"]),
                         ("JPEG", "2005:12:30 20:57:32"))
        self.assertTrue(first["exifPresent"])
        self.assertEqual(first["make"], "Shotstamp")
        self.assertEqual(first["exposureTime"], 0.008)
        self.assertEqual(first["fNumber"], 5.6)
        self.assertEqual(first["isoSpeed"], 200)
        self.assertEqual(first["thumbnailData"], None)
        self.assertEqual(first["thumbnailOffset"], None)
        self.assertEqual([s["marker"] for s in first["sections"]], [0xE1, 0xDB, 0xC0, 0xC4, 0xDA])
        self.assertEqual(records["IMG_0002.jpg"]["dateTimeOriginal"], "2019:07:04 09:15:00")
        self.assertFalse(records["no_exif.jpg"]["exifPresent"])
        self.assertEqual(records["no_exif.jpg"]["dateTimeOriginal"], "")
        self.assertIsNone(records["no_exif.jpg"]["captureTime"])

    def test_any_bytes_give_valid_json(self):
        # Every byte value in a comment (control bytes become '?'), and a Make of raw bytes.
        comment = bytes(range(256))
        tiff = (b"II*\x00\x08\x00\x00\x00" + b"\x01\x00" + b"\x0f\x01\x02\x00\x05\x00\x00\x00"
                + b"\x1a\x00\x00\x00" + b"\x00\x00\x00\x00" + b"\xff\xc3\xa9\x80\x00")
        path = self.write("bytes.jpg", b"\xff\xd8" + segment(0xE1, b"Exif\x00\x00" + tiff)
                          + segment(0xFE, comment) + SCAN)
        result = run("info", "--json", path)
        self.assertEqual(result.returncode, 0)
        record = self.json_lines(result)[0]
        expected = "".join("?" if b < 0x20 and b not in (9, 10) else chr(b) for b in comment)
        self.assertEqual(record["comment"], expected)
        self.assertEqual(record["make"], "\u00ff\u00e9\u0080")
        self.assertTrue(record["exifPresent"])

    def test_thumbnail_offset_and_first_bytes(self):
        entries = [(0x0201, 4, 1, 38), (0x0202, 4, 1, 6)]
        tiff = b"II*\x00\x08\x00\x00\x00" + bytes([len(entries), 0])
        for tag, fmt, count, value in entries:
            tiff += (tag.to_bytes(2, "little") + fmt.to_bytes(2, "little")
                     + count.to_bytes(4, "little") + value.to_bytes(4, "little"))
        tiff += b"\x00\x00\x00\x00" + b"\xff\xd8\xff\xdb\x00\x01"
        path = self.write("thumb.jpg", b"\xff\xd8" + segment(0xE1, b"Exif\x00\x00" + tiff) + SCAN)
        record = self.json_lines(run("info", "--json", path))[0]
        self.assertEqual(record["thumbnailOffset"], 38)
        self.assertEqual(record["thumbnailLength"], 6)
        self.assertEqual(record["thumbnailData"], "ffd8ffdb")

    def test_reader_lines_go_to_standard_error(self):
        path = self.write("eoi.jpg", b"\xff\xd8\xff\xd9\x00\x02")
        result = run("info", "--json", path)
        self.assertEqual(result.returncode, 0)
        record = self.json_lines(result)[0]
        self.assertFalse(record["readSections"])
        self.assertEqual(record["errorText"], "")
        self.assertIn(b"No image in jpeg!", result.stderr)

    def test_unopenable_files_are_reported_and_the_others_handled(self):
        good = os.path.join(SAMPLES, "IMG_0001.jpg")
        missing = os.path.join(self.folder.name, "missing.jpg")
        pipe = os.path.join(self.folder.name, "pipe.jpg")
        os.mkfifo(pipe)  # no writer: opening it to read would wait for ever
        result = run("info", "--json", missing, good, self.folder.name, pipe)
        self.assertEqual(result.returncode, 1)
        self.assertEqual([r["file"] for r in self.json_lines(result)], [good])
        self.assertIn(b"missing.jpg", result.stderr)
        self.assertIn(self.folder.name.encode(), result.stderr)
        self.assertIn(b"pipe.jpg", result.stderr)

    def test_unreadable_content_is_not_an_error(self):
        path = self.write("text.jpg", b"not a picture")
        result = run("info", "--json", path)
        self.assertEqual(result.returncode, 0)
        self.assertFalse(self.json_lines(result)[0]["readSections"])

    def test_listing_is_aligned(self):
        result = run("info", os.path.join(SAMPLES, "IMG_0002.jpg"))
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.decode().splitlines()
        self.assertTrue(lines[0].endswith("IMG_0002.jpg"))
        fields = [line for line in lines[1:] if line]
        self.assertEqual([line.split()[0] for line in fields], KEYS[1:])
        columns = {len(line) - len(line[2:].split(None, 1)[1]) for line in fields if len(line.split()) > 1}
        self.assertEqual(len(columns), 1, fields)
        self.assertIn('  dateTimeOriginal        "2019:07:04 09:15:00"', lines)

    def test_usage(self):
        cases = [
            ([], 2), (["info"], 2), (["info", "--json"], 2), (["info", "--bogus", "x.jpg"], 2),
            (["rotate", "x.jpg"], 2), (["--help"], 0), (["info", "--help"], 0),
        ]
        for args, status in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, status)
                out = result.stdout if status == 0 else result.stderr
                self.assertIn(b"usage: shotstamp-cli", out)
                if status != 0:
                    self.assertEqual(result.stdout, b"")

    def test_double_dash_ends_options(self):
        path = self.write("--json", b"\xff\xd8" + SCAN)
        result = run("info", "--", path, "--help")
        self.assertEqual(result.returncode, 1)  # "--help" is a file name here, and missing
        self.assertIn(b"'--help'", result.stderr)


if __name__ == "__main__":
    CLI, SAMPLES = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
