#!/usr/bin/python3
"""Draws the toolkit's built-in pictures with cairo and writes them as source.

    /usr/bin/python3 tools/gen_theme_pictures.py [--png-dir DIR]

Writes src/ciom/theme_pictures.cpp (the pictures of both looks, default and
flat) and src/ciom/flag_pictures.cpp (the flags of the ten interface
languages at three sizes). Every picture becomes a compressed picture
resource: width and height as little-endian ints, then a zlib stream of
B, G, R, A pixels with the rows bottom-up. Pictures that come out identical
share one array. --png-dir also writes each picture as a PNG for a look.

Needs the Debian package python3-cairo (hence the system interpreter) and
clang-format, which lays the output out as the rest of the sources.
"""

import argparse
import os
import struct
import subprocess
import zlib

import cairo

import theme_art as art
import flag_art

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def render(w, h, draw):
    """Pixels of a w x h drawing, top-down, as un-premultiplied B, G, R, A rows."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
    cr = cairo.Context(surface)
    draw(cr, w, h)
    surface.flush()
    stride = surface.get_stride()
    data = bytes(surface.get_data())
    rows = []
    for y in range(h):
        row = bytearray(data[y * stride:y * stride + w * 4])
        for x in range(0, w * 4, 4):
            a = row[x + 3]
            if 0 < a < 255:
                for c in range(3):
                    row[x + c] = min(255, (row[x + c] * 255 + a // 2) // a)
        rows.append(bytes(row))
    return rows


def resource(w, h, rows):
    return struct.pack('<ii', w, h) + zlib.compress(b''.join(reversed(rows)), 9)


def c_bytes(data, indent='    '):
    lines = []
    for i in range(0, len(data), 16):
        lines.append(indent + ', '.join('0x%02x' % b for b in data[i:i + 16]) + ',')
    return '\n'.join(lines)


class Packer:
    """Collects pictures; identical pixels keep the first name they had."""

    def __init__(self):
        self.arrays = []  # (name, w, h, resource bytes)
        self.by_pixels = {}

    def add(self, name, w, h, rows):
        key = (w, h, b''.join(rows))
        if key in self.by_pixels:
            return self.by_pixels[key]
        self.arrays.append((name, w, h, resource(w, h, rows)))
        self.by_pixels[key] = name
        return name

    def source(self, exported=()):
        out = []
        for name, w, h, res in self.arrays:
            storage = '' if name in exported else 'static '
            out.append('%sunsigned int %s[%d * %d];' % (storage, name, w, h))
        out.append('')
        out.append('namespace {')
        out.append('')
        for name, w, h, res in self.arrays:
            out.append('const unsigned char %s_packed[] = {\n%s\n};' % (name, c_bytes(res)))
        out.append('')
        out.append('const sBuiltinPicture kPacked[] = {')
        for name, w, h, res in self.arrays:
            out.append('    {%s_packed, sizeof %s_packed, %s, %d * %d},' % (name, name, name, w, h))
        out.append('};')
        out.append('')
        out.append('[[maybe_unused]] const bool gUnpacked =')
        out.append('    unpackBuiltinPictures(kPacked, static_cast<int>(sizeof kPacked / sizeof kPacked[0]));')
        out.append('')
        out.append('}  // namespace')
        return '\n'.join(out)


HEADER = ('// Made by tools/gen_theme_pictures.py from its drawings: change the drawings\n'
          '// and run it again rather than editing this file.\n')


def write_theme(packer_dir_png):
    packer = Packer()
    tables = {}
    for look in (art.DEFAULT, art.FLAT):
        entries = art.entries(look)
        assert len(entries) == 157, (look.name, len(entries))
        rows = []
        for index, e in enumerate(entries):
            if e.draw is None:
                rows.append('    {%d, %d, 0x%08X, 0, nullptr},  // %d %s' % (e.w, e.h, e.colour, index, e.name))
                continue
            pixels = render(e.w, e.h, e.draw)
            name = packer.add(e.name, e.w, e.h, pixels)
            if packer_dir_png:
                save_png(packer_dir_png, '%s_%03d_%s' % (look.name, index, e.name), e.w, e.h, pixels)
            rows.append('    {%d, %d, 0, 0, %s},  // %d' % (e.w, e.h, name, index))
        tables[look.table] = rows
    text = [HEADER, '#include "ciom/builtin_pictures.h"', '#include "ciom/theme_images.h"', '',
            packer.source(), '']
    for table, rows in tables.items():
        text.append('const sStaticCIThemeImage %s[cCITheme::kImages] = {' % table)
        text.extend(rows)
        text.append('};')
        text.append('')
    with open(os.path.join(ROOT, 'src/ciom/theme_pictures.cpp'), 'w') as f:
        f.write('\n'.join(text))


def write_flags(png_dir):
    packer = Packer()
    names = []
    for code in flag_art.CODES:
        for (w, h), suffix in flag_art.SIZES:
            name = 'icColorDataLang%s%s' % (code, suffix)
            pixels = render(w, h, flag_art.drawer(code))
            got = packer.add(name, w, h, pixels)
            assert got == name, 'two flags came out the same'
            names.append(name)
            if png_dir:
                save_png(png_dir, 'flag_' + name, w, h, pixels)
    text = [HEADER, '#include "ciom/builtin_pictures.h"', '#include "ciom/flag_pictures.h"', '',
            packer.source(exported=set(names)), '']
    for (w, h), suffix in flag_art.SIZES:
        text.append('unsigned int* const gLangFlags%dx%d[kLangFlagCount] = {' % (w, h))
        text.append('    ' + ', '.join('icColorDataLang%s%s' % (c, suffix) for c in flag_art.CODES) + '};')
    text.append('')
    with open(os.path.join(ROOT, 'src/ciom/flag_pictures.cpp'), 'w') as f:
        f.write('\n'.join(text))


def save_png(directory, name, w, h, rows):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
    stride = surface.get_stride()
    buf = surface.get_data()
    for y, row in enumerate(rows):
        out = bytearray(row)
        for x in range(0, w * 4, 4):
            a = out[x + 3]
            for c in range(3):
                out[x + c] = out[x + c] * a // 255
        buf[y * stride:y * stride + w * 4] = bytes(out)
    surface.mark_dirty()
    surface.write_to_png(os.path.join(directory, name + '.png'))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--png-dir', help='also write every picture as a PNG here')
    args = parser.parse_args()
    if args.png_dir:
        os.makedirs(args.png_dir, exist_ok=True)
    write_theme(args.png_dir)
    write_flags(args.png_dir)
    # In the repository's layout, so that running this again changes nothing.
    subprocess.run(['clang-format', '-i'] + [os.path.join(ROOT, 'src/ciom', f)
                                             for f in ('theme_pictures.cpp', 'flag_pictures.cpp')], check=True)


if __name__ == '__main__':
    main()
