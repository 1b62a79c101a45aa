#!/usr/bin/python3
"""Drives Thunar as a user would: marks the pictures of one folder, opens Send To > Shotstamp,
types a name prefix into Shotstamp's window and presses Enter.

Runs inside a session bus on an X display that has no window manager yet. Menu entries are
found by name through the accessibility tree (AT-SPI), windows by title, never by position.
Exit status 0 when the folder holds exactly the expected names afterwards.
"""

import argparse
import os
import re
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


class Failure(Exception):
    pass


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def wait_for(what, probe, timeout=30.0, interval=0.25):
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except GLib.Error:
            result = None  # the tree changed under us; look again
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def run(*command):
    subprocess.run(command, check=True, timeout=30)


def windows_titled(pattern):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                           capture_output=True, text=True, timeout=30)
    return found.stdout.split()


def screenshot(path, window="root"):
    run("import", "-window", window, path)
    log(f"screenshot {path}")


def find(node, predicate, depth=0):
    """Depth-first search of the accessibility tree below node."""
    if node is None or depth > 40:
        return None
    if predicate(node):
        return node
    for index in range(node.get_child_count()):
        hit = find(node.get_child_at_index(index), predicate, depth + 1)
        if hit is not None:
            return hit
    return None


def application(name):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        child = desktop.get_child_at_index(index)
        if child is not None and child.get_name() == name:
            return child
    return None


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def named(role, name):
    return lambda node: node.get_role_name() == role and node.get_name() == name


def popup_menu_item(app, role, name):
    """A showing menu (item) of that name in one of the application's pop-up windows."""
    for index in range(app.get_child_count()):
        window = app.get_child_at_index(index)
        if window is None or window.get_role_name() != "window":
            continue
        hit = find(window, lambda node: named(role, name)(node) and showing(node))
        if hit is not None:
            return hit
    return None


def status_text(app):
    bar = find(app, lambda node: node.get_role_name() == "status bar")
    return bar.get_name() if bar is not None else ""


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--expect", required=True, nargs="+", help="names after renaming")
    parser.add_argument("--menu-shot", required=True)
    parser.add_argument("--window-shot", required=True)
    parser.add_argument("--failure-shot", required=True)
    args = parser.parse_args()

    folder = os.path.realpath(args.folder)
    pictures = sorted(os.listdir(folder))
    started = []
    try:
        started.append(subprocess.Popen(["openbox"], stderr=subprocess.DEVNULL))
        wait_for("the window manager",
                 lambda: "window id" in subprocess.run(
                     ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
                     text=True).stdout)

        started.append(subprocess.Popen(["thunar", folder], stderr=subprocess.DEVNULL))
        title = "^" + re.escape(os.path.basename(folder)) + " - Thunar$"
        thunar_window = wait_for("Thunar's window", lambda: windows_titled(title))[0]
        thunar = wait_for("Thunar in the accessibility tree", lambda: application("thunar"))
        log(f"Thunar window {thunar_window} shows {folder}")

        # Mark every picture of the folder (Ctrl+A in the file view) and check Thunar says so.
        marked = f"Selection: {len(pictures)} files"
        def mark_all():
            run("xdotool", "windowactivate", "--sync", thunar_window)
            run("xdotool", "key", "--clearmodifiers", "ctrl+a")
            return wait_for(marked, lambda: status_text(thunar).startswith(marked), timeout=3)
        wait_for("the pictures to be marked", lambda: _try(mark_all), timeout=30)
        log(status_text(thunar))

        # The context menu of the marked files, then its Send To submenu.
        def open_send_to():
            run("xdotool", "key", "--clearmodifiers", "shift+F10")
            return wait_for("the Send To menu",
                            lambda: popup_menu_item(thunar, "menu", "Send To"), timeout=5)
        send_to = wait_for("the context menu", lambda: _try(open_send_to), timeout=30)
        send_to.do_action(0)
        item = wait_for("Shotstamp in Send To",
                        lambda: popup_menu_item(thunar, "menu item", "Shotstamp"))
        # Highlight the entry for the screenshot, as the pointer would.
        send_to.select_child(item.get_index_in_parent())
        time.sleep(0.5)
        screenshot(args.menu_shot)
        item.do_action(0)

        window = wait_for("Shotstamp's window", lambda: windows_titled(r"^Shotstamp 2\.0$"))[0]
        log(f"Shotstamp window {window}")
        run("xdotool", "windowactivate", "--sync", window)
        run("xdotool", "type", "--delay", "40", args.prefix)
        time.sleep(0.3)
        screenshot(args.window_shot)
        run("xdotool", "key", "--clearmodifiers", "Return")

        expected = sorted(args.expect)
        wait_for(f"the names {expected}", lambda: sorted(os.listdir(folder)) == expected,
                 timeout=20)
        wait_for("Shotstamp's window to close", lambda: not windows_titled(r"^Shotstamp 2\.0$"))
        log(f"renamed: {expected}")
        return 0
    except (Failure, subprocess.SubprocessError) as error:
        log(f"FAILED: {error}; folder holds {sorted(os.listdir(folder))}")
        try:
            screenshot(args.failure_shot)
        except subprocess.SubprocessError:
            pass
        return 1
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()


def _try(step):
    """Runs one attempt of a step that may be repeated; a failed attempt gives None."""
    try:
        return step()
    except Failure:
        return None


if __name__ == "__main__":
    sys.exit(main())
