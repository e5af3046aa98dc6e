#!/usr/bin/env python3
"""Writes the code-page tables of src/base from the C library's iconv.

glibc's converters are the reference for every byte; where our pages are
defined otherwise (graphic characters for the control bytes of 437, the
private-use units and fixed fallbacks of unassigned bytes, the older
assignments of a few pages) the rules below say so, byte by byte.

Run from anywhere: python3 tools/gen_codepages.py
"""

import ctypes
import ctypes.util
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "src", "base")

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
_FAIL = ctypes.c_size_t(-1).value


class Decoder:
    """One glibc conversion to UTF-16LE, reset before every call."""

    def __init__(self, name):
        self.cd = _libc.iconv_open(b"UTF-16LE", name.encode())
        if self.cd is None or self.cd == ctypes.c_void_p(-1).value:
            raise SystemExit("iconv does not know " + name)

    def __call__(self, data):
        """The units of the whole of `data`, or None when any of it is refused."""
        _libc.iconv(self.cd, None, None, None, None)
        src = ctypes.create_string_buffer(data, len(data))
        dst = ctypes.create_string_buffer(64)
        ip = ctypes.c_void_p(ctypes.addressof(src))
        il = ctypes.c_size_t(len(data))
        op = ctypes.c_void_p(ctypes.addressof(dst))
        ol = ctypes.c_size_t(64)
        if _libc.iconv(self.cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol)) == _FAIL:
            return None
        # Pages that combine marks hold the last character back until flushed.
        if _libc.iconv(self.cd, None, None, ctypes.byref(op), ctypes.byref(ol)) == _FAIL or il.value:
            return None
        raw = dst.raw[: 64 - ol.value]
        return [int.from_bytes(raw[i : i + 2], "little") for i in range(0, len(raw), 2)]

    def single(self, data):
        """The one unit `data` decodes to, or None."""
        units = self(data)
        return units[0] if units and len(units) == 1 else None


QUESTION = 0x3F

CP437_CONTROLS = [
    0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642,
    0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC,
    0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, 0x2302,
]


def private_run(start, unassigned):
    """Unassigned bytes numbered in byte order from a private-use unit."""
    return {b: start + i for i, b in enumerate(sorted(unassigned))}


def single_page(name, fixes=None, unassigned=None, extra_unassigned=()):
    """256 units: glibc's byte, unless `fixes` names it; bytes glibc refuses
    (and `extra_unassigned`, bytes our page leaves unassigned though glibc's
    later edition fills them) take `unassigned(bytes)`."""
    dec = Decoder(name)
    units = [dec.single(bytes([b])) for b in range(256)]
    missing = sorted(set(b for b in range(256) if units[b] is None) | set(extra_unassigned))
    fixed = dict(fixes or {})
    if missing:
        if unassigned is None:
            raise SystemExit("%s leaves bytes unassigned without a rule: %s" % (name, missing))
        fixed.update(unassigned(missing))
    for b, u in fixed.items():
        units[b] = u
    return units


def same_value(missing):
    return {b: b for b in missing}


def question(missing):
    return {b: QUESTION for b in missing}


SINGLE_BYTE = [
    (37, lambda: single_page("IBM037")),
    (437, lambda: single_page("IBM437", fixes=dict(zip(list(range(1, 0x20)) + [0x7F], CP437_CONTROLS, strict=True)))),
    (500, lambda: single_page("IBM500")),
    (737, lambda: single_page("CP737")),
    (850, lambda: single_page("IBM850")),
    (852, lambda: single_page("IBM852")),
    (855, lambda: single_page("IBM855")),
    (857, lambda: single_page("IBM857", unassigned=lambda m: private_run(0xF8BB, m))),
    (858, lambda: single_page("IBM858")),
    (862, lambda: single_page("IBM862")),
    (866, lambda: single_page("IBM866")),
    (870, lambda: single_page("IBM870")),
    (1250, lambda: single_page("CP1250", unassigned=question)),
    (1251, lambda: single_page("CP1251", unassigned=question)),
    (1252, lambda: single_page("CP1252", unassigned=same_value)),
    (1254, lambda: single_page("CP1254", unassigned=same_value)),
    (1255, lambda: single_page("CP1255", unassigned=question)),
    (10007, lambda: single_page("MAC-CYRILLIC", fixes={0xA2: 0x00A2, 0xB6: 0x2202, 0xFF: 0x00A4})),
    (10029, lambda: single_page("MAC-CENTRALEUROPE")),
    (20866, lambda: single_page("KOI8-R")),
    (21866, lambda: single_page("KOI8-U", fixes={0xAE: 0x045E, 0xBE: 0x040E})),
    (28591, lambda: single_page("ISO-8859-1")),
    (28592, lambda: single_page("ISO-8859-2")),
    (28593, lambda: single_page("ISO-8859-3", unassigned=lambda m: private_run(0xF7F5, m))),
    (28595, lambda: single_page("ISO-8859-5")),
    (28596, lambda: single_page("ISO-8859-6", unassigned=lambda m: private_run(0xF7C8, m))),
    # The Greek and Hebrew pages as first published: no euro, drachma or
    # ypogegrammeni in 8859-7, no direction marks in 8859-8.
    (28597, lambda: single_page("ISO-8859-7", fixes={0xA1: 0x02BD, 0xA2: 0x02BC},
                                unassigned=lambda m: private_run(0xF7C2, m), extra_unassigned=(0xA4, 0xA5, 0xAA))),
    (28598, lambda: single_page("ISO-8859-8", fixes={0xAF: 0x203E},
                                unassigned=lambda m: private_run(0xF79C, m), extra_unassigned=(0xFD, 0xFE))),
    (28599, lambda: single_page("ISO-8859-9")),
    (28605, lambda: single_page("ISO-8859-15")),
]

# Lead bytes that own a row of trail bytes 0x40 to 0xFF, per page.
DOUBLE_BYTE = {
    932: ("CP932", list(range(0x81, 0x85)) + list(range(0x87, 0xA0)) + list(range(0xE0, 0xEB))
          + [0xED, 0xEE, 0xFA, 0xFB, 0xFC]),
    936: ("CP936", list(range(0x81, 0xFF))),
    949: ("CP949", list(range(0x81, 0xC9)) + list(range(0xCA, 0xFE))),
    950: ("CP950", list(range(0xA1, 0xC7)) + list(range(0xC9, 0xFA))),
}
LEAD = 0xFFFF

# The 94 x 94 character sets, each read through an EUC form of glibc.
CHARSETS = [
    ("kJisX0208", "EUC-JP", b"", 0x80),
    ("kJisX0212", "EUC-JP", b"\x8f", 0x80),
    ("kGb2312", "EUC-CN", b"", 0x80),
    ("kCns11643Plane1", "EUC-TW", b"", 0x80),
    ("kCns11643Plane2", "EUC-TW", b"\x8e\xa2", 0x80),
]

HEADER = "// Generated by tools/gen_codepages.py from the C library's iconv; do not edit.\n"


def units_block(units, indent="    "):
    lines = []
    for i in range(0, len(units), 12):
        lines.append(indent + ", ".join("0x%04X" % u for u in units[i : i + 12]) + ",")
    return "\n".join(lines)


def write(name, text):
    path = os.path.join(OUT, name)
    with open(path, "w") as f:
        f.write(text)
    # Laid out like every other source, so a formatting pass leaves it alone.
    subprocess.run(["clang-format", "-i", path], check=True)
    size = os.path.getsize(path)
    assert size < 1 << 20, "%s is %d bytes" % (name, size)


def gen_single():
    out = [HEADER, '#include "base/codepage_tables.h"\n\n']
    out.append("// Sorted by code page, searched by bisection.\n")
    out.append("const sSingleBytePage kSingleBytePages[] = {\n")
    for cp, build in SINGLE_BYTE:
        units = build()
        assert units[0] == 0, cp
        out.append("    {%d,\n     {\n%s\n     }},\n" % (cp, units_block(units, "         ")))
    out.append("};\nconst int kSingleBytePageCount = %d;\n" % len(SINGLE_BYTE))
    write("codepage_tables_single.cpp", "".join(out))


def gen_double(cp, name, leads):
    dec = Decoder(name)
    base = []
    for b in range(256):
        if b < 0x80:
            base.append(b)
        elif cp == 936 and b == 0x80:
            base.append(0x20AC)
        elif cp == 932 and 0xA1 <= b <= 0xDF:
            base.append(0xFF61 + b - 0xA1)
        else:
            base.append(LEAD)
    for b in range(256):
        if base[b] != LEAD:
            assert dec.single(bytes([b])) == base[b], (cp, b)
    out = [HEADER, '#include "base/codepage_tables.h"\n\n']
    # 949 shares the base table of 950: every byte from 80 up leads.
    base_name = {949: "kCP950Base", 950: "kCP950Base"}.get(cp, "kBase")
    if cp == 950:
        out.append("const unsigned short kCP950Base[256] = {\n%s\n};\n\n" % units_block(base))
    out.append("namespace {\n\n")
    if base_name == "kBase":
        out.append("const unsigned short kBase[256] = {\n%s\n};\n\n" % units_block(base))
    out.append("// Pairs the page leaves unassigned decode to \"?\".\n")
    out.append("const unsigned short kRows[%d][192] = {\n" % len(leads))
    for lead in leads:
        row = [dec.single(bytes([lead, t])) for t in range(0x40, 0x100)]
        row = [QUESTION if u is None else u for u in row]
        out.append("    {  // lead byte %02X\n%s\n    },\n" % (lead, units_block(row, "        ")))
    out.append("};\n\n}  // namespace\n\n")
    out.append("const sDoubleBytePage kCP%d = {\n    %s,\n    {\n" % (cp, base_name))
    slot = {lead: i for i, lead in enumerate(leads)}
    refs = ["kRows[%d]" % slot[b] if b in slot else "nullptr" for b in range(256)]
    for i in range(0, 256, 8):
        out.append("        " + ", ".join(refs[i : i + 8]) + ",\n")
    out.append("    }};\n")
    write("codepage_tables_%d.cpp" % cp, "".join(out))


def gen_charsets():
    out = [HEADER, '#include "base/codepage_tables.h"\n\n']
    out.append("// Row-major from 0x21 0x21; 0 marks a position without a character.\n")
    for var, name, prefix, shift in CHARSETS:
        dec = Decoder(name)
        grid = []
        for row in range(0x21, 0x7F):
            for col in range(0x21, 0x7F):
                u = dec.single(prefix + bytes([row + shift, col + shift]))
                grid.append(0 if u is None else u)
        out.append("const unsigned short %s[94 * 94] = {\n%s\n};\n\n" % (var, units_block(grid)))
    write("codepage_tables_charsets.cpp", "".join(out).rstrip("\n") + "\n")


def main():
    gen_single()
    for cp, (name, leads) in DOUBLE_BYTE.items():
        gen_double(cp, name, leads)
    gen_charsets()


if __name__ == "__main__":
    main()
