#!/usr/bin/python3
"""Draws the application's artwork with cairo and writes it where the build
takes it from.

    /usr/bin/python3 tools/gen_app_art.py [--png-dir DIR]

Writes src/tamsivarapp/appicon.cpp (the 128 by 128 window icon as 32-bit
pixels, B, G, R, A bytes, rows top-down), src/tamsivarapp/art/icon.icns
(the same picture as a PNG in an icon container, which the installer maker
copies into every bundle it makes) and src/tamsivarapp/instwiz_art.cpp (the
installation wizard's background as an 8-bit RGB PNG, its nine 16 by 14 step
marks and the 29 by 22 folder of the target page, both as B, G, R, A bytes,
rows top-down). --png-dir also writes the pictures as PNGs for a look.

Needs the Debian package python3-cairo (hence the system interpreter).
"""

import argparse
import io
import math
import os
import struct
import zlib

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
    width, height = surface.get_width(), surface.get_height()
    out = bytearray()
    for y in (reversed(range(height)) if bottom_up else range(height)):
        for x in range(width):
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


WIZ_W, WIZ_H = 636, 443
STEP_W, STEP_H = 16, 14
FOLDER_W, FOLDER_H = 29, 22


def bgr(word):
    """The forms' colour words are 0x00BBGGRR."""
    return ((word & 255) / 255, ((word >> 8) & 255) / 255, ((word >> 16) & 255) / 255)


def draw_wizard_background():
    """The side panel and the heading band in the forms' grey, a white card
    under the page area and the accept boxes, and the parcel faded into the
    panel's foot."""
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, WIZ_W, WIZ_H)
    ctx = cairo.Context(surface)
    ctx.set_source_rgb(*bgr(0xE7E7E7))
    ctx.paint()
    ctx.set_source_rgb(*bgr(0xD5CFCC))
    ctx.rectangle(195.5, 61.5, 431, 327)
    ctx.stroke()
    ctx.set_source_rgb(1, 1, 1)
    ctx.rectangle(196, 62, 430, 326)
    ctx.fill()
    # The accent under the heading.
    ctx.set_source_rgb(*bgr(0x8E5535))
    ctx.rectangle(195, 54, 80, 2)
    ctx.fill()
    icon = draw_icon()
    ctx.save()
    ctx.translate(40, 300)
    ctx.scale(0.75, 0.75)
    ctx.set_source_surface(icon, 0, 0)
    ctx.paint_with_alpha(0.35)
    ctx.restore()
    surface.flush()
    return surface


def rgb_png(surface):
    """An 8-bit RGB PNG (colour type 2) without filters beyond 'none'."""
    w, h = surface.get_width(), surface.get_height()
    data = bytes(surface.get_data())
    stride = surface.get_stride()
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            (word,) = struct.unpack_from("=I", data, y * stride + 4 * x)
            raw += bytes(((word >> 16) & 255, (word >> 8) & 255, word & 255))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def draw_step_mark(kind):
    """A 16 by 14 mark of the side panel: a numbered disc for a step still
    ahead (kind 1..7), a tick for one done ('done'), a filled disc with an
    arrow for the current one ('curr')."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, STEP_W, STEP_H)
    ctx = cairo.Context(surface)
    cx, cy, r = 7.5, 7, 6.3
    if kind == "curr":
        ctx.set_source_rgb(*bgr(0x8E5535))
        ctx.arc(cx, cy, r, 0, 2 * math.pi)
        ctx.fill()
        ctx.set_source_rgb(1, 1, 1)
        ctx.move_to(5.5, 3.8)
        ctx.line_to(10.5, 7)
        ctx.line_to(5.5, 10.2)
        ctx.close_path()
        ctx.fill()
    elif kind == "done":
        ctx.set_source_rgb(*bgr(0x8E5535))
        ctx.set_line_width(1.2)
        ctx.arc(cx, cy, r - 0.4, 0, 2 * math.pi)
        ctx.stroke()
        ctx.set_line_width(1.8)
        ctx.move_to(4.5, 7.2)
        ctx.line_to(6.8, 9.5)
        ctx.line_to(10.8, 4.6)
        ctx.stroke()
    else:
        ctx.set_source_rgb(*bgr(0xA19795))
        ctx.arc(cx, cy, r, 0, 2 * math.pi)
        ctx.fill()
        ctx.set_source_rgb(1, 1, 1)
        ctx.select_font_face("DejaVu Sans", cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)
        ctx.set_font_size(9)
        text = str(kind)
        ext = ctx.text_extents(text)
        ctx.move_to(cx - ext.x_bearing - ext.width / 2, cy - ext.y_bearing - ext.height / 2)
        ctx.show_text(text)
    surface.flush()
    return surface


def draw_folder():
    """The target page's folder: a tab and a body in a warm yellow."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, FOLDER_W, FOLDER_H)
    ctx = cairo.Context(surface)
    ctx.set_source_rgb(0.86, 0.66, 0.24)
    rounded(ctx, 1, 2, 12, 6, 1.5)
    ctx.fill()
    grad = cairo.LinearGradient(0, 4, 0, 21)
    grad.add_color_stop_rgb(0, 0.99, 0.84, 0.42)
    grad.add_color_stop_rgb(1, 0.93, 0.70, 0.26)
    rounded(ctx, 1, 5, 27, 16, 2)
    ctx.set_source(grad)
    ctx.fill()
    ctx.set_source_rgb(0.78, 0.56, 0.18)
    ctx.set_line_width(1)
    rounded(ctx, 1.5, 5.5, 26, 15, 2)
    ctx.stroke()
    surface.flush()
    return surface


def c_bytes(name, data, per_line=24):
    lines = ["const unsigned char %s[%d] = {" % (name, len(data))]
    for i in range(0, len(data), per_line):
        lines.append("    " + ",".join("0x%02x" % b for b in data[i:i + per_line]) + ",")
    lines.append("};")
    return lines


def write_wizard_source(png, marks, folder):
    lines = [
        "// Drawn by tools/gen_app_art.py; run it again rather than editing here.",
        '#include "tamsivarapp/instwiz_art.h"',
        "",
        "const unsigned int instwiz_bg_size = %d;" % len(png),
    ]
    lines += c_bytes("instwiz_bg", png)
    for name, pixels in marks:
        lines += c_bytes(name, pixels)
    lines += c_bytes("myPictFolder_data", folder)
    with open(os.path.join(ROOT, "src/tamsivarapp/instwiz_art.cpp"), "w") as f:
        f.write("\n".join(lines) + "\n")


def wizard_art(png_dir):
    background = draw_wizard_background()
    png = rgb_png(background)
    marks = []
    for kind, name in [(i, "instwiz_step_%d" % i) for i in range(1, 8)] + [("done", "instwiz_step_done"),
                                                                           ("curr", "instwiz_step_curr")]:
        surface = draw_step_mark(kind)
        pixels = straight_bgra(surface)
        assert len(pixels) == STEP_W * STEP_H * 4
        marks.append((name, pixels))
        if png_dir:
            surface.write_to_png(os.path.join(png_dir, name + ".png"))
    folder = draw_folder()
    write_wizard_source(png, marks, straight_bgra(folder))
    if png_dir:
        with open(os.path.join(png_dir, "instwiz_bg.png"), "wb") as f:
            f.write(png)
        folder.write_to_png(os.path.join(png_dir, "instwiz_folder.png"))


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
    wizard_art(args.png_dir)


if __name__ == "__main__":
    main()
