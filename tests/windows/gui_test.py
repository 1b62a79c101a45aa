#!/usr/bin/env python3
"""GUI tests of Shotstamp.exe under Wine, on the X display and in the Wine prefix that
run-wine-tests.sh prepared (DISPLAY, WINEPREFIX). Keys are typed through the X server with
xdotool, as a person would; window_probe.exe starts the program with an exact command line,
finds windows, presses buttons and compares the window with its template.

    gui_test.py --exe Shotstamp.exe --probe window_probe.exe --pictures DIR --artefacts DIR [test]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None
MAIN = "Shotstamp 2.0"
ABOUT = "About Shotstamp"
WM_CLOSE = "0x0010"
WM_SYSCOMMAND = "0x0112"
WM_COMMAND = "0x0111"
SC_MINIMIZE = "0xF020"
SC_RESTORE = "0xF120"

# Two of the project's generated sample pictures and the names their EXIF dates give.
FIRST = ("IMG_0001.jpg", "2005-12-30 205732")
SECOND = ("IMG_0002.jpg", "2019-07-04 091500")


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_env(**extra):
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    env.update(extra)
    return env


def run_wine(args, timeout=60, **env):
    """Runs a Wine program to its end. Output goes through files: Wine helpers started on demand
    inherit it and outlive the program, and would hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=timeout, env=wine_env(**env))
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, result.returncode,
                                           out.read().decode("latin-1"),
                                           err.read().decode("latin-1"))


def probe(*args, timeout=60):
    return run_wine([ARGS.probe, *args], timeout=timeout)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=30)


class Program:
    """Shotstamp.exe with an exact command-line text, started by the probe, which waits for it
    to end (result 0) or ends it after a time-out (result 3)."""

    def __init__(self, text, **env):
        self.err = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["wine", ARGS.probe, "run", "30000", winpath(ARGS.exe), text],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.err,
            env=wine_env(**env))
        self.stderr = ""

    def wait(self, timeout=60):
        self.process.wait(timeout=timeout)
        self.err.seek(0)
        self.stderr = self.err.read().decode("latin-1")
        return self.process.returncode

    def kill(self):
        # The probe ends the program after its time-out and then ends itself.
        try:
            self.process.wait(timeout=45)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.err.close()


class GuiTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="shotstamp gui ")
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.kill()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, text, **env):
        # A window of an earlier run still closing would take this run's keys and clicks.
        self.assertEqual(probe("gone", MAIN, "15000").returncode, 0, "an earlier window stays")
        program = Program(text, **env)
        self.programs.append(program)
        return program

    def picture(self, sample, folder, name):
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        shutil.copyfile(os.path.join(ARGS.pictures, sample[0]), path)
        return path

    def wait_for(self, caption, timeout_ms=20000):
        result = probe("wait-window", caption, str(timeout_ms))
        self.assertEqual(result.returncode, 0, f"no window '{caption}'")

    def type_prefix(self, text):
        # The dialog manager puts the focus in the prefix field once the window shows; keys
        # typed before that would go elsewhere.
        self.assertEqual(probe("focus", MAIN, "1000", "20000").returncode, 0,
                         "the prefix field never got the focus")
        xdotool("type", "--delay", "40", text)
        self.assertEqual(probe("text", MAIN, "1000").stdout.rstrip("\r\n"), text)

    def two_marked_pictures(self):
        folder = os.path.join(self.folder, "my pictures")
        first = self.picture(FIRST, folder, "first one.jpg")
        second = self.picture(SECOND, folder, "second.jpg")
        return folder, f'"{winpath(first)}" "{winpath(second)}"'

    def check_marked_renamed_by(self, finish):
        folder, text = self.two_marked_pictures()
        program = self.start(text)
        self.wait_for(MAIN)
        self.type_prefix("Trip ")
        finish()
        self.assertEqual(program.wait(), 0, "the program did not end")
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted([f"Trip {FIRST[1]}.jpg", f"Trip {SECOND[1]}.jpg"]))

    def test_enter_renames_marked(self):
        self.check_marked_renamed_by(lambda: xdotool("key", "Return"))

    def test_escape_renames_marked(self):
        self.check_marked_renamed_by(lambda: xdotool("key", "Escape"))

    def test_alt_f4_renames_marked(self):
        self.check_marked_renamed_by(lambda: xdotool("key", "alt+F4"))

    def test_close_request_renames_marked(self):
        self.check_marked_renamed_by(
            lambda: self.assertEqual(probe("message", MAIN, WM_CLOSE, "0").returncode, 0))

    def test_exit_renames_nothing(self):
        folder, text = self.two_marked_pictures()
        before = sorted(os.listdir(folder))
        program = self.start(text)
        self.wait_for(MAIN)
        self.type_prefix("Trip ")
        self.assertEqual(probe("click", MAIN, "1").returncode, 0)
        self.assertEqual(program.wait(), 0)
        self.assertEqual(sorted(os.listdir(folder)), before)

    def test_all_in_path_renames_first_folder(self):
        first = os.path.join(self.folder, "first")
        other = os.path.join(self.folder, "other")
        marked = self.picture(FIRST, first, "p1.jpg")
        self.picture(SECOND, first, "p2.JPG")
        os.makedirs(os.path.join(first, "d.jpg"))
        with open(os.path.join(first, "notes.jpg"), "w") as f:
            f.write("not a picture\n")
        with open(os.path.join(first, "keep.txt"), "w") as f:
            f.write("text\n")
        elsewhere = self.picture(FIRST, other, "q.jpg")
        program = self.start(f'"{winpath(marked)}" "{winpath(elsewhere)}"')
        self.wait_for(MAIN)
        self.type_prefix("Set ")
        self.assertEqual(probe("click", MAIN, "1002").returncode, 0)
        self.assertEqual(program.wait(), 0)
        self.assertEqual(sorted(os.listdir(first)),
                         sorted([f"Set {FIRST[1]}.jpg", f"Set {SECOND[1]}.jpg", "d.jpg",
                                 "notes.jpg", "keep.txt"]))
        self.assertTrue(os.path.isdir(os.path.join(first, "d.jpg")))
        self.assertEqual(os.listdir(other), ["q.jpg"])

    def test_layout_matches_template(self):
        program = self.start("")
        self.wait_for(MAIN)
        result = probe("layout", MAIN, winpath(ARGS.exe))
        print(result.stdout)
        self.screenshot("shotstamp-window.png")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(probe("text", MAIN, "1000").stdout.strip(), "", "field starts empty")
        self.assertEqual(probe("click", MAIN, "1").returncode, 0)
        self.assertEqual(program.wait(), 0)

    def test_about_box_from_system_command(self):
        program = self.start("")
        self.wait_for(MAIN)
        self.type_prefix("Keep")
        # The window has no system menu; the command still opens the About box, low bits
        # ignored.
        self.assertEqual(probe("message", MAIN, WM_SYSCOMMAND, "0x0013").returncode, 0)
        self.wait_for(ABOUT)
        result = probe("layout", ABOUT, winpath(ARGS.exe))
        print(result.stdout)
        self.screenshot("shotstamp-about.png")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(probe("click", ABOUT, "1").returncode, 0)
        self.assertEqual(probe("gone", ABOUT, "10000").returncode, 0)
        self.assertEqual(probe("text", MAIN, "1000").stdout.strip(), "Keep")
        self.assertEqual(probe("click", MAIN, "1").returncode, 0)
        self.assertEqual(program.wait(), 0)

    def test_help_asks_for_context_1(self):
        # Wine's help viewer may not show the page without a browser engine; what counts is
        # the request, which Wine's help channel reports.
        program = self.start("", WINEDEBUG="trace+htmlhelp")
        self.wait_for(MAIN)
        self.type_prefix("Keep")
        self.assertEqual(probe("click", MAIN, "9").returncode, 0)
        time.sleep(2)
        # The framework's Help command (ID_HELP), which no window handles, reaches the
        # application and asks for the same topic.
        self.assertEqual(probe("message", MAIN, WM_COMMAND, "0xE146").returncode, 0)
        time.sleep(2)
        self.assertEqual(probe("wait-window", MAIN, "1000").returncode, 0, "window stays open")
        self.assertEqual(probe("text", MAIN, "1000").stdout.strip(), "Keep")
        self.assertEqual(probe("click", MAIN, "1").returncode, 0)
        self.assertEqual(program.wait(), 0)
        requests = [line for line in program.stderr.splitlines() if "HH_HELP_CONTEXT" in line]
        for request in requests:
            print(request)
        self.assertEqual(len(requests), 2, program.stderr[-2000:])
        help_file = os.path.splitext(winpath(ARGS.exe))[0] + ".CHM"
        for request in requests:
            self.assertIn(help_file.replace("\\", "\\\\").lower(), request.lower())
            self.assertRegex(request, r"data=0*1\b")

    def test_minimise_and_restore_through_system_commands(self):
        program = self.start("")
        self.wait_for(MAIN)
        self.assertEqual(probe("message", MAIN, WM_SYSCOMMAND, SC_MINIMIZE).returncode, 0)
        time.sleep(1)
        self.assertEqual(probe("iconic", MAIN).returncode, 0, "not minimised")
        self.assertEqual(probe("message", MAIN, WM_SYSCOMMAND, SC_RESTORE).returncode, 0)
        time.sleep(1)
        self.assertNotEqual(probe("iconic", MAIN).returncode, 0, "still minimised")
        self.assertEqual(probe("click", MAIN, "1").returncode, 0)
        self.assertEqual(program.wait(), 0)

    def window(self, caption):
        """The window's rectangle and its monitor's work area, from the probe."""
        found = re.findall(r"([a-z]+)((?: -?\d+)+)", probe("rect", caption).stdout)
        print(caption, found)
        return {word: [int(n) for n in numbers.split()] for word, numbers in found}

    def assert_centred_within(self, inner, over, area):
        for near, far in ((0, 2), (1, 3)):
            self.assertLessEqual(abs(inner[near] + inner[far] - over[near] - over[far]), 1, inner)
            self.assertTrue(area[near] <= inner[near] and inner[far] <= area[far], inner)

    def set_dpi(self, dpi):
        run_wine(["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                  "REG_DWORD", "/d", str(dpi), "/f"])

    def test_placement_and_layout_at_96_144_and_192_dpi(self):
        # run-wine-tests.sh: two monitors side by side, with different work areas.
        self.addCleanup(self.set_dpi, 96)
        for dpi, pointer in (96, "300"), (144, "1700"), (192, "300"):
            self.set_dpi(dpi)
            xdotool("mousemove", pointer, "400")
            program = self.start("")
            self.wait_for(MAIN)
            main = self.window(MAIN)
            work = main["work"]
            self.assertTrue(work[0] <= int(pointer) < work[2], "not the pointer's monitor")
            self.assert_centred_within(main["window"], work, work)
            layout = probe("layout", MAIN, winpath(ARGS.exe)).stdout
            print(layout)
            self.screenshot(f"shotstamp-{dpi}dpi.png")
            # The font grows with the DPI from Wine's 6 x 12 pixels at 96; no control leaves the
            # client area.
            base, client = (list(map(int, re.search(rf"{what} (\d+) x (\d+)", layout).groups()))
                            for what in ("base units", "client"))
            self.assertTrue(abs(base[0] - dpi / 16) <= 0.5 and abs(base[1] - dpi / 8) <= 1.5)
            for edges in re.findall(r" at (\d+),(\d+)-(\d+),(\d+)", layout):
                left, top, right, bottom = map(int, edges)
                self.assertTrue(right <= client[0] and bottom <= client[1], layout)
            self.assertEqual(probe("message", MAIN, WM_SYSCOMMAND, "0x0010").returncode, 0)
            self.wait_for(ABOUT)
            self.assert_centred_within(self.window(ABOUT)["window"], main["window"], work)
            self.assertEqual(probe("click", ABOUT, "1").returncode, 0)
            self.assertEqual(probe("gone", ABOUT, "10000").returncode, 0)
            self.assertEqual(probe("click", MAIN, "1").returncode, 0)
            self.assertEqual(program.wait(), 0)

    def send_to_link(self):
        folder = probe("send-to").stdout.strip()
        unix = run_wine(["winepath.exe", "-u", folder]).stdout.strip()
        self.assertTrue(unix, "no Send To folder")
        return folder + "Shotstamp.lnk", os.path.join(unix, "Shotstamp.lnk")

    def run_switch(self, text):
        self.assertEqual(self.start(text).wait(), 0, f"'{text}' showed a window")

    def test_install_and_uninstall(self):
        link, unix_link = self.send_to_link()
        self.run_switch("/Uninstall")
        self.assertFalse(os.path.exists(unix_link))
        for _ in range(2):
            self.run_switch("/Install")
            self.assertTrue(os.path.exists(unix_link))
            folder = os.path.dirname(unix_link)
            self.assertEqual([n for n in os.listdir(folder) if n.lower().startswith("shotstamp")],
                             ["Shotstamp.lnk"])
            target = probe("link", link).stdout.strip()
            self.assertEqual(target.lower(), winpath(ARGS.exe).lower())
        for _ in range(2):
            self.run_switch("/Uninstall")
            self.assertFalse(os.path.exists(unix_link))
        # Blanks between the program name and the switch are cut off with the name.
        self.run_switch("   /Install")
        self.assertTrue(os.path.exists(unix_link))
        self.run_switch("/Uninstall")
        self.assertFalse(os.path.exists(unix_link))

    def test_switches_are_exact(self):
        _, unix_link = self.send_to_link()
        for text in ["/install", "/Install ", "/INSTALL", "/Install x", "/uninstall"]:
            with self.subTest(text=text):
                program = self.start(text)
                self.wait_for(MAIN)
                self.assertEqual(probe("click", MAIN, "1").returncode, 0)
                self.assertEqual(program.wait(), 0)
                self.assertFalse(os.path.exists(unix_link))

    def screenshot(self, name):
        os.makedirs(ARGS.artefacts, exist_ok=True)
        found = subprocess.run(["xdotool", "search", "--name", MAIN], capture_output=True,
                               text=True).stdout.split()
        geometry = []
        if found:
            shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[0]],
                                   capture_output=True, text=True).stdout
            values = dict(line.split("=", 1) for line in shape.split() if "=" in line)
            geometry = ["-crop", "{}x{}+{}+{}".format(int(values["WIDTH"]) + 200,
                                                       int(values["HEIGHT"]) + 120,
                                                       values["X"], values["Y"])]
        path = os.path.join(ARGS.artefacts, name)
        subprocess.run(["import", "-window", "root", *geometry, path], check=False, timeout=60)
        print("screenshot:", path)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--probe", "--pictures", "--artefacts"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("run through tests/windows/run-wine-tests.sh (DISPLAY and WINEPREFIX unset)")
        return 77
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
