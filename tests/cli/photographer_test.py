#!/usr/bin/env python3
"""shotstamp-cli rename's photographers' options, undo and history on copies of the project's
sample pictures, run as a user would run them. The sha256 multiset of the files never changes.

    photographer_test.py SHOTSTAMP_CLI SAMPLES_FOLDER
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = ""
SAMPLES = ""
# Taken 2005:12:30 20:57:32, 2019:07:04 09:15:00 and 2023:02:28 23:59:59.
PICTURES = ["IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg"]


def tree(root):
    """Relative path -> sha256 of every file below root, links not followed."""
    out = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.islink(path):
                with open(path, "rb") as f:
                    out[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return out


class Photographer(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="shotstamp-photo-")
        self.addCleanup(shutil.rmtree, self.root)
        self.card = os.path.join(self.root, "card")
        self.env = dict(os.environ, XDG_STATE_HOME=os.path.join(self.root, "state"))
        os.makedirs(os.path.join(self.card, "DCIM", "burst"))
        for name in PICTURES:
            shutil.copy(os.path.join(SAMPLES, name), os.path.join(self.card, "DCIM", name.upper()))
        stem = os.path.join(self.card, "DCIM", "IMG_0001")
        for extension, text in ((".CR2", b"raw"), (".JPG.xmp", b"<x/>"), (".MOV", b"clip")):
            with open(stem + extension, "wb") as f:
                f.write(text)
        # A burst of 12 in one second, told apart by the sub-seconds the camera wrote.
        args = ["exiftool"]
        for i in range(12):
            copy = os.path.join(self.card, "DCIM", "burst", "IMG_%02d.JPG" % i)
            shutil.copy(os.path.join(SAMPLES, "IMG_0001.jpg"), copy)
            args += ["-SubSecTimeOriginal=%02d" % (i * 7), copy, "-execute"]
        subprocess.run(args[:-1] + ["-common_args", "-q", "-overwrite_original"], check=True)
        # A loop back to the card, which the walk must not follow.
        os.symlink("../..", os.path.join(self.card, "DCIM", "burst", "loop"))
        self.assertEqual(len(os.listdir(os.path.dirname(copy))), 13)

    def cli(self, *args, env=None):
        return subprocess.run([CLI, *args], capture_output=True, text=True,
                              env=env or self.env, check=False)

    def test_rename_a_card_then_undo_it(self):
        before = tree(self.card)
        # The card twice: no folder is walked twice.
        run = self.cli("rename", "--recursive", "--counter", "--companions", "--prefix", "Trip ",
                       self.card, self.card + "/DCIM/../")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("15 renamed, 0 kept", run.stdout)
        after = tree(self.card)
        self.assertEqual(sorted(after.values()), sorted(before.values()))
        self.assertEqual(after["DCIM/Trip 2005-12-30 205732.CR2"], before["DCIM/IMG_0001.CR2"])
        self.assertEqual(after["DCIM/Trip 2005-12-30 205732.jpg.xmp"],
                         before["DCIM/IMG_0001.JPG.xmp"])
        self.assertEqual(after["DCIM/burst/Trip 2005-12-30 205732-5.jpg"],
                         before["DCIM/burst/IMG_04.JPG"])

        history = self.cli("history")
        self.assertEqual(len(history.stdout.splitlines()), 1)
        self.assertIn("18 moved", history.stdout)
        self.assertIn("--recursive --counter --companions", history.stdout)
        # The run was made elsewhere: without a terminal to ask, plain undo wants --yes.
        refused = self.cli("undo")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("give --yes", refused.stderr)
        self.assertEqual(tree(self.card), after)
        self.assertEqual(self.cli("undo", "../" + history.stdout.split()[0]).returncode, 1)
        dry = self.cli("undo", "--dry-run")
        self.assertEqual(dry.stdout.count("would revert: "), 18)
        self.assertEqual(tree(self.card), after)
        undo = self.cli("undo", "--yes")
        self.assertEqual(undo.returncode, 0, undo.stdout)
        self.assertIn("Trip ", undo.stdout.splitlines()[0])
        self.assertIn("18 reverted, 0 left", undo.stdout)
        self.assertEqual(tree(self.card), before)
        self.assertEqual(self.cli("undo").returncode, 1)  # nothing left to undo

    def test_subseconds_and_a_shifted_clock(self):
        burst = os.path.join(self.card, "DCIM", "burst")
        run = self.cli("rename", "--subseconds", "--shift", "-20:57:33", burst)
        self.assertIn("12 renamed, 0 kept", run.stdout)
        self.assertIn("2005-12-29 235959.77.jpg", os.listdir(burst))
        bad = self.cli("rename", "--shift", "1:5", burst)
        self.assertEqual(bad.returncode, 2)

    def test_a_journal_that_cannot_be_written_stops_the_run(self):
        blocker = os.path.join(self.root, "not-a-folder")
        with open(blocker, "w") as f:
            f.write("x")
        before = tree(self.card)
        env = dict(os.environ, XDG_STATE_HOME=blocker)
        run = self.cli("rename", os.path.join(self.card, "DCIM"), env=env)
        self.assertEqual(run.returncode, 1)
        self.assertIn("0 renamed", run.stdout)
        self.assertIn("stopped", run.stderr)
        self.assertEqual(tree(self.card), before)
        # Asked for on purpose, the run renames without a way back.
        run = self.cli("rename", "--no-journal", os.path.join(self.card, "DCIM"), env=env)
        self.assertEqual(run.returncode, 0)
        self.assertIn("3 renamed", run.stdout)
        self.assertIn("cannot be undone", run.stderr)
        self.assertEqual(sorted(tree(self.card).values()), sorted(before.values()))


if __name__ == "__main__":
    CLI, SAMPLES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
