#!/usr/bin/python3
"""Draws the application's artwork with cairo and writes it where the build
takes it from.

    /usr/bin/python3 tools/gen_app_art.py [--png-dir DIR]

Writes src/tamsivarapp/appicon.cpp (the 128 by 128 window icon as 32-bit
pixels, B, G, R, A bytes, rows top-down) and src/tamsivarapp/art/icon.icns
(the same picture as a PNG in an icon container, which the installer maker
copies into every bundle it makes). --png-dir also writes the icon as a PNG
for a look.

Needs the Debian package python3-cairo (hence the system interpreter).
"""

import argparse
import io
import math
import os
import struct

import cairo

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZE = 128


def rounded(ctx, x, y, w, h, r):
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def draw_icon():
    """A parcel on a blue tile with a downward arrow: something to install."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, SIZE, SIZE)
    ctx = cairo.Context(surface)
    grad = cairo.LinearGradient(0, 0, 0, SIZE)
    grad.add_color_stop_rgb(0, 0.33, 0.55, 0.86)
    grad.add_color_stop_rgb(1, 0.16, 0.32, 0.62)
    rounded(ctx, 4, 4, SIZE - 8, SIZE - 8, 22)
    ctx.set_source(grad)
    ctx.fill()
    # The parcel: front face, top face and the tape across it.
    ctx.set_source_rgb(0.93, 0.78, 0.52)
    ctx.rectangle(30, 56, 68, 46)
    ctx.fill()
    ctx.set_source_rgb(0.98, 0.88, 0.66)
    ctx.move_to(30, 56)
    ctx.line_to(42, 42)
    ctx.line_to(86, 42)
    ctx.line_to(98, 56)
    ctx.close_path()
    ctx.fill()
    ctx.set_source_rgb(0.72, 0.55, 0.31)
    ctx.rectangle(58, 56, 12, 46)
    ctx.fill()
    # The arrow into the parcel.
    ctx.set_source_rgb(1, 1, 1)
    ctx.rectangle(57, 14, 14, 26)
    ctx.fill()
    ctx.move_to(46, 38)
    ctx.line_to(82, 38)
    ctx.line_to(64, 56)
    ctx.close_path()
    ctx.fill()
    surface.flush()
    return surface


def scaled(surface, size):
    """The icon drawn again at a list's size, smoothly scaled down."""
    small = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(small)
    ctx.scale(size / SIZE, size / SIZE)
    ctx.set_source_surface(surface, 0, 0)
    ctx.get_source().set_filter(cairo.FILTER_BEST)
    ctx.paint()
    small.flush()
    return small


def straight_bgra(surface, bottom_up=False):
    """Cairo keeps premultiplied native-endian words; the icon wants plain
    B, G, R, A bytes."""
    data = bytes(surface.get_data())
    stride = surface.get_stride()
    size = surface.get_width()
    out = bytearray()
    for y in (reversed(range(size)) if bottom_up else range(size)):
        for x in range(size):
            (word,) = struct.unpack_from("=I", data, y * stride + 4 * x)
            a = word >> 24
            r, g, b = (word >> 16) & 255, (word >> 8) & 255, word & 255
            if a:
                r, g, b = (min(255, (c * 255 + a // 2) // a) for c in (r, g, b))
            out += bytes((b, g, r, a))
    return bytes(out)


def byte_array(name, pixels):
    lines = ["", "const unsigned char %s[%d] = {" % (name, len(pixels))]
    for i in range(0, len(pixels), 24):
        lines.append("    " + ",".join("0x%02x" % b for b in pixels[i:i + 24]) + ",")
    lines.append("};")
    return lines


def write_source(pixels, small, big):
    lines = [
        "// Drawn by tools/gen_app_art.py; run it again rather than editing here.",
        '#include "tamsivarapp/main.h"',
    ]
    lines += byte_array("_iconColorData", pixels)
    # The list's and the details' stand-ins for a package without an icon:
    # rows bottom-up, as the toolkit's resource pictures are stored.
    lines += byte_array("app_ico_small", small)
    lines += byte_array("app_ico_big", big)
    with open(os.path.join(ROOT, "src/tamsivarapp/appicon.cpp"), "w") as f:
        f.write("\n".join(lines) + "\n")


def write_icns(surface):
    png = io.BytesIO()
    surface.write_to_png(png)
    entry = b"ic07" + struct.pack(">I", 8 + len(png.getvalue())) + png.getvalue()
    icns = b"icns" + struct.pack(">I", 8 + len(entry)) + entry
    with open(os.path.join(ROOT, "src/tamsivarapp/art/icon.icns"), "wb") as f:
        f.write(icns)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--png-dir")
    args = parser.parse_args()
    surface = draw_icon()
    pixels = straight_bgra(surface)
    assert len(pixels) == 65536
    small = straight_bgra(scaled(surface, 16), bottom_up=True)
    big = straight_bgra(scaled(surface, 48), bottom_up=True)
    assert len(small) == 1024 and len(big) == 9216
    write_source(pixels, small, big)
    write_icns(surface)
    if args.png_dir:
        surface.write_to_png(os.path.join(args.png_dir, "app_icon.png"))


if __name__ == "__main__":
    main()
