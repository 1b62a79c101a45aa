#!/usr/bin/env python3
"""Checks that help context 1 of Shotstamp.CHM resolves inside the file: the context map (#IVB)
names a topic (#STRINGS) that the archive holds, with the main help page's text.

    check_help_file.py --chm Shotstamp.CHM --chmls chmls --topic res/help/shotstamp.html
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile


def extract(chmls, chm, name, folder):
    target = os.path.join(folder, name.strip("/#").replace("/", "_") or "root")
    subprocess.run([chmls, "extract", chm, name, target], check=True, capture_output=True)
    with open(target, "rb") as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chm", required=True)
    parser.add_argument("--chmls", required=True)
    parser.add_argument("--topic", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        ivb = extract(args.chmls, args.chm, "/#IVB", folder)
        strings = extract(args.chmls, args.chm, "/#STRINGS", folder)
        # #IVB: the byte count that follows, then (context number, #STRINGS offset) pairs.
        (length,) = struct.unpack_from("<I", ivb, 0)
        pairs = dict(struct.iter_unpack("<II", ivb[4:4 + length]))
        if 1 not in pairs:
            print("no context 1 in the map:", pairs)
            return 1
        offset = pairs[1]
        topic = strings[offset:strings.index(b"\0", offset)].decode("latin-1")
        name = topic if topic.startswith("/") else "/" + topic
        print("context 1 ->", topic)

        listing = subprocess.run([args.chmls, "-n", "-p", "list", args.chm], check=True,
                                 capture_output=True, text=True).stdout.split()
        if name not in listing:
            print("topic", name, "is not in the file; it holds:", listing)
            return 1
        page = extract(args.chmls, args.chm, name, folder)
        with open(args.topic, "rb") as f:
            if page != f.read():
                print("the topic is not", args.topic)
                return 1
    print("help context 1 resolves to", name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
