#!/usr/bin/env python3
"""shotstamp-cli.exe under Wine on a pseudo-terminal, which Wine makes the program's console:
"Été/Été.jpg" is renamed and listed by `history`, the names shown as they are, and the console
has its code page back afterwards. Runs `wine` itself, in the prefix and on the display that
run-wine-tests.sh made: the test emulator would send the output to files, with no console.

    console_names_test.py --cli shotstamp-cli.exe --picture dated.jpg
"""
import argparse
import fcntl
import os
import pty
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios


def on_console(argv, cwd, env):
    """The program's exit status and the text its console printed, terminal codes taken out."""
    master, slave = pty.openpty()
    # Wide enough that the console breaks no line of the listing.
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 400, 0, 0))
    process = subprocess.Popen(argv, cwd=cwd, env=env, stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    output = b""
    while True:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal closed
                break
            if not chunk:
                break
            output += chunk
        elif process.poll() is not None:
            break  # Wine's helpers may keep the terminal open: stop once all is read
    process.wait(timeout=60)
    os.close(master)
    text = output.decode("utf-8", "replace")
    # Wine draws a blank as "erase, move right"; the other codes hide and show the cursor.
    text = re.sub(r"\x1b\[K\x1b\[(\d*)C", lambda m: " " * int(m.group(1) or 1), text)
    text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text).replace("\r", "")
    return process.returncode, text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--picture", required=True)
    args = parser.parse_args()

    # The terminal reads UTF-8; Wine takes code page 1252 as the ANSI one for this locale.
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    failures = []
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "Été")
        os.mkdir(folder)
        shutil.copy(args.picture, os.path.join(folder, "Été.jpg"))
        cli = subprocess.run(["winepath", "-w", args.cli], env=env, capture_output=True,
                             text=True, check=True).stdout.strip()

        status, renamed = on_console(["wine", cli, "rename", "Été.jpg"], folder, env)
        print(renamed)
        if status != 0 or not re.search(r"^renamed: Été\.jpg -> \d{4}-\d\d-\d\d \d{6}\.jpg$",
                                        renamed, re.M):
            failures.append("rename did not show 'renamed: Été.jpg -> DATE.jpg'")

        # chcp before and after the run: the console's own code page must come back.
        _, listed = on_console(
            ["wine", "cmd", "/c", f"chcp 850 >nul & {cli} history & chcp"], folder, env)
        print(listed)
        # The prefix's journal folder may list runs of other tests too: this one is in `root`.
        own = re.escape(os.path.basename(root)) + r"\\Été\\?  .*shotstamp-cli rename Été\.jpg$"
        if not re.search(own, listed, re.M):
            failures.append("history did not show the folder and the command with 'Été'")
        if not listed.rstrip().endswith(": 850"):
            failures.append("the console did not get code page 850 back after the run")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
