#!/usr/bin/env python3
"""Draws the application icon (a camera with a date tag) at 16, 32 and 48 pixels.

Writes shotstamp_16.xpm and shotstamp_32.xpm (16 colours of the standard 4-bit palette plus
transparency, usable for a 4-bit .ico as well) and shotstamp-48.png (same artwork, for menus).
The XPM files double as C++ sources: the GTK back end includes them.

Run from this folder: python3 make_icons.py
"""
import struct
import zlib

# The standard 16-colour palette.
PALETTE = {
    "k": (0x00, 0x00, 0x00), "r": (0x80, 0x00, 0x00), "g": (0x00, 0x80, 0x00),
    "y": (0x80, 0x80, 0x00), "b": (0x00, 0x00, 0x80), "m": (0x80, 0x00, 0x80),
    "c": (0x00, 0x80, 0x80), "s": (0xC0, 0xC0, 0xC0), "d": (0x80, 0x80, 0x80),
    "R": (0xFF, 0x00, 0x00), "G": (0x00, 0xFF, 0x00), "Y": (0xFF, 0xFF, 0x00),
    "B": (0x00, 0x00, 0xFF), "M": (0xFF, 0x00, 0xFF), "C": (0x00, 0xFF, 0xFF),
    "w": (0xFF, 0xFF, 0xFF),
}


def colour_at(u, v):
    """The artwork in a unit square; None is transparent."""
    # Date tag, lower right, drawn over the body.
    if 0.52 <= u <= 0.98 and 0.66 <= v <= 0.96:
        if u <= 0.55 or u >= 0.95 or v <= 0.69 or v >= 0.93:
            return "k"
        return "Y" if (v < 0.78 or u < 0.62) else ("k" if int((u - 0.62) * 30) % 2 == 0 and 0.82 < v < 0.88 else "Y")
    # Shutter button and viewfinder bump on top.
    if 0.66 <= u <= 0.84 and 0.12 <= v <= 0.22:
        return "R"
    if 0.22 <= u <= 0.46 and 0.10 <= v <= 0.22:
        return "k" if (u < 0.25 or u > 0.43 or v < 0.13) else "d"
    # Body.
    if 0.04 <= u <= 0.96 and 0.20 <= v <= 0.84:
        edge = u < 0.08 or u > 0.92 or v < 0.24 or v > 0.80
        du, dv = u - 0.47, v - 0.52
        r2 = du * du + dv * dv
        if r2 <= 0.065:
            if r2 <= 0.012:
                return "B" if not (du < -0.02 and dv < -0.02 and r2 > 0.003) else "C"
            if r2 <= 0.030:
                return "b"
            if r2 <= 0.045:
                return "k"
            return "s"
        return "k" if edge else "d"
    return None


def render(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            row.append(colour_at((x + 0.5) / size, (y + 0.5) / size))
        rows.append(row)
    return rows


def write_xpm(size, name):
    rows = render(size)
    used = sorted({c for row in rows for c in row if c is not None})
    lines = ["/* XPM */", f"static const char* const {name}[] = {{",
             f'    "{size} {size} {len(used) + 1} 1",', '    ". c None",']
    for key in used:
        r, g, b = PALETTE[key]
        lines.append(f'    "{key} c #{r:02X}{g:02X}{b:02X}",')
    for i, row in enumerate(rows):
        text = "".join("." if c is None else c for c in row)
        lines.append(f'    "{text}"' + ("," if i + 1 < size else ""))
    lines.append("};")
    with open(f"{name}.xpm", "w") as out:
        out.write("\n".join(lines) + "\n")


def write_png(size, path):
    raw = b""
    for row in render(size):
        raw += b"\x00"
        for c in row:
            raw += bytes(PALETTE[c]) + b"\xff" if c is not None else b"\x00\x00\x00\x00"

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    write_xpm(16, "shotstamp_16")
    write_xpm(32, "shotstamp_32")
    write_png(48, "shotstamp-48.png")
