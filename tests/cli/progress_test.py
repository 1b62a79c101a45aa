#!/usr/bin/env python3
"""The status line of a long run, under a real terminal (a pty) and in a pipe.

usage: progress_test.py PATH_OF_PROGRESS_DRIVER
"""
import os
import pty
import re
import subprocess
import sys
import unittest

DRIVER = sys.argv.pop(1) if len(sys.argv) > 1 else None
STATUS = re.compile(r"(\d+)/(\d+) files, (\d+) renamed, (\d+) kept, (\d+) files/s(?:, ([^\r]*) left)?")


def run_on_terminal(*args):
    """Runs the driver with stdout and stderr on one pty; returns all it wrote."""
    parent, child = pty.openpty()
    proc = subprocess.Popen([DRIVER, *args], stdin=subprocess.DEVNULL, stdout=child, stderr=child)
    os.close(child)
    chunks = []
    while True:
        try:
            data = os.read(parent, 65536)
        except OSError:  # EIO once the child side is closed
            break
        if not data:
            break
        chunks.append(data)
    os.close(parent)
    assert proc.wait(timeout=30) == 0
    return b"".join(chunks).decode().replace("\r\n", "\n")


class ProgressLine(unittest.TestCase):
    def test_terminal_shows_a_throttled_line_that_never_shares_a_line_with_output(self):
        # 200 files, 20 ms each on the driver's clock: 4 s, 50 files/s.
        out = run_on_terminal("200", "20")
        draws = STATUS.findall(out)
        # First drawn once a second has passed (file 50), then at most every 250 ms (12 more).
        self.assertEqual(draws[0][:2], ("50", "200"), out)
        self.assertEqual(draws[0][5], "3 s", out)
        self.assertTrue(10 <= len(draws) <= 13, len(draws))
        for done, total, renamed, kept, rate, _ in draws:
            self.assertEqual(int(renamed) + int(kept), int(done))
            self.assertEqual(rate, "50")
        # Whatever else is printed starts on a clean line: the status line was erased first,
        # and it is gone at the end.
        screen_lines = [line.split("\r")[-1] for line in out.split("\n")]
        printed = [line for line in screen_lines if line.strip()]
        self.assertEqual(len(printed), 21, printed)
        for line in printed:
            self.assertRegex(line, r"^(kept: IMG_\d+\.jpg|180 renamed, 20 kept)")
        self.assertEqual(printed[-1], "180 renamed, 20 kept (10 no date, 10 name exists)")
        self.assertFalse(STATUS.search(out.split("\n")[-2] if out.endswith("\n") else out))

    def test_no_line_in_a_pipe_with_quiet_or_in_a_short_run(self):
        piped = subprocess.run([DRIVER, "200", "20"], capture_output=True, text=True, check=True)
        self.assertEqual(piped.stderr, "")
        self.assertIn("180 renamed, 20 kept", piped.stdout)
        self.assertNotRegex(run_on_terminal("200", "20", "--quiet"), STATUS)
        self.assertNotRegex(run_on_terminal("40", "20"), STATUS)  # 0.8 s in all


if __name__ == "__main__":
    unittest.main()
