#!/usr/bin/python3
"""Drives a file manager as a user would: marks the pictures of one folder, opens its context
menu down to the one Shotstamp entry, types a name prefix into Shotstamp's window and presses
Enter.

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


# Command, name in the accessibility tree, key that opens the context menu, submenus that lead
# to the entry.
FILE_MANAGERS = {
    "thunar": (["thunar"], "thunar", "shift+F10", ["Send To"]),
    "nemo": (["nemo"], "nemo", "shift+F10", []),
    "nautilus": (["nautilus", "--new-window"], "org.gnome.Nautilus", "shift+F10", ["Scripts"]),
    "dolphin": (["dolphin"], "dolphin", "Menu", []),
}
MENU_ROLES = ("menu", "menu item")


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


# GTK 4 reports a widget as visible but never as showing.
SHOWN_STATES = [Atspi.StateType.SHOWING]


def showing(node):
    states = node.get_state_set()
    return any(states.contains(state) for state in SHOWN_STATES)


# Menu items that took the keyboard focus. Qt leaves its pop-up menus out of the application's
# children; a focused item leads to its menu all the same.
FOCUSED = []


def menu_items(app, name):
    """The showing menus and menu items of that name, in pop-up windows or (GTK 4) popovers."""
    GLib.MainContext.default().iteration(False)  # take in focus events
    found = []
    def collect(node, depth=0):
        if node is None or depth > 40 or (depth > 1 and not showing(node)):
            return
        if node.get_role_name() in MENU_ROLES and node.get_name() == name:
            found.append(node)
        for index in range(node.get_child_count()):
            collect(node.get_child_at_index(index), depth + 1)
    collect(app)
    if not found and FOCUSED:
        menu = FOCUSED[-1].get_parent()
        found = [menu.get_child_at_index(index) for index in range(menu.get_child_count())]
        found = [node for node in found if node.get_name() == name]
    return found


def says_marked(app, count):
    """Whether the status bar (or the label in its place) says that many files are marked."""
    text = re.compile(rf"(?i)(selection: {count} files|\b{count} (files|items) selected)")
    return find(app, lambda node: node.get_role_name() in ("status bar", "label") and
                text.search(node.get_name() or "") is not None and showing(node)) is not None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--file-manager", required=True, choices=sorted(FILE_MANAGERS))
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

        command, app_name, menu_key, submenus = FILE_MANAGERS[args.file_manager]
        listener = Atspi.EventListener.new(lambda event: FOCUSED.append(event.source))
        listener.register("object:state-changed:focused")
        if args.file_manager == "nautilus":
            SHOWN_STATES.append(Atspi.StateType.VISIBLE)
        started.append(subprocess.Popen(command + [folder], stderr=subprocess.DEVNULL))
        title = "^" + re.escape(os.path.basename(folder)) + "( - Thunar| — Dolphin)?$"
        fm_window = wait_for("the file manager's window", lambda: windows_titled(title))[0]
        fm = wait_for("the file manager in the accessibility tree", lambda: application(app_name))
        log(f"{args.file_manager} window {fm_window} shows {folder}")

        # Mark every picture (a click into the file view, then Ctrl+A) and check the view says so.
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", fm_window],
                                  capture_output=True, text=True, timeout=30).stdout
        size = dict(line.split("=") for line in geometry.split())
        # Low on the right, where the file view has no file.
        blank = [str(int(size["WIDTH"]) * 4 // 5), str(int(size["HEIGHT"]) * 4 // 5)]
        def mark_all():
            run("xdotool", "windowactivate", "--sync", fm_window)
            run("xdotool", "mousemove", "--window", fm_window, *blank, "click", "1")
            run("xdotool", "key", "--clearmodifiers", "ctrl+a")
            return wait_for("the marks", lambda: says_marked(fm, len(pictures)), timeout=3)
        wait_for("the pictures to be marked", lambda: _try(mark_all), timeout=40)
        log(f"{len(pictures)} files marked")

        # The context menu of the marked files, then the submenus down to the entry.
        path = submenus + ["Shotstamp"]
        def open_menu():
            run("xdotool", "key", "--clearmodifiers", menu_key)
            time.sleep(0.5)
            run("xdotool", "key", "--clearmodifiers", "Down")
            return wait_for(path[0], lambda: menu_items(fm, path[0]), timeout=5)
        items = wait_for("the context menu", lambda: _try(open_menu), timeout=30)
        for name in path[1:]:
            items[0].do_action(0)
            items = wait_for(name, lambda: menu_items(fm, name))
        time.sleep(0.5)
        items = menu_items(fm, "Shotstamp")
        log(f"entries named Shotstamp in {' > '.join(path[:-1]) or 'the menu'}: {len(items)}")
        if len(items) != 1:
            raise Failure(f"{len(items)} Shotstamp entries instead of one")
        screenshot(args.menu_shot)
        items[0].do_action(0)

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
