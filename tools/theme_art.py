"""The drawings of the toolkit's theme pictures, in both looks.

One flat style throughout: plain fills, one-pixel lines on pixel centres,
rounded corners only where a control is round. The default look is tinted
blue-grey, the flat look white and grey with a steel-blue accent; icons are
shared by both. entries(look) lists the 157 pictures of a look in theme order.
"""

import collections
import math

import cairo

Entry = collections.namedtuple('Entry', 'name w h colour draw')


def hexrgb(v):
    return ((v >> 16) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0)


class Look:
    def __init__(self, name, table, **colours):
        self.name = name
        self.table = table
        for k, v in colours.items():
            setattr(self, k, hexrgb(v))


DEFAULT = Look(
    'default', 'gDefaultThemeImages',
    face=0xDFE5F3, band=0xEAEEF8, band_line=0xB9C4E2, line=0xA9B6DC, dark=0x8596CA, ink=0x404A5E,
    accent=0x3399FF, accent_soft=0xCFE2FA, field=0xFFFFFF, disabled=0xF0F1F4, disabled_ink=0xA7ADBA,
    track=0xEEF1F8, track_hover=0xE3E9F5, track_press=0xD6DFF1, thumb=0xB7C4E4, thumb_hover=0x9CB0DE,
    thumb_press=0x7F98D3, tab_pass=0xE6EBF6)

FLAT = Look(
    'flat', 'gFlatThemeImages',
    face=0xFFFFFF, band=0xFFFFFF, band_line=0xDEDBDE, line=0xADAEAD, dark=0x808080, ink=0x404040,
    accent=0x3C809D, accent_soft=0xDDE9F1, field=0xFFFFFF, disabled=0xF3F3F3, disabled_ink=0xB5B5B5,
    track=0xF0F0F0, track_hover=0xE6E6E6, track_press=0xDADADA, thumb=0xC2C2C2, thumb_hover=0xA8A8A8,
    thumb_press=0x8C8C8C, tab_pass=0xF3F3F3)

# Colours of the shared icons.
FOLDER = hexrgb(0xF2C14E)
FOLDER_DARK = hexrgb(0xD9A02B)
FOLDER_BACK = hexrgb(0xE5AE36)
USER = hexrgb(0x5B9BD5)
USER_DARK = hexrgb(0x3E7DB8)
SYSTEM = hexrgb(0x9AA5B4)
SYSTEM_DARK = hexrgb(0x76829A)
PAPER = hexrgb(0xFFFFFF)
PAPER_EDGE = hexrgb(0x8A919E)
PAPER_LINES = hexrgb(0xC5CAD3)
METAL = hexrgb(0xA9B2BE)
METAL_DARK = hexrgb(0x6B7687)
SCREEN = hexrgb(0x4F8FD0)
GREEN = hexrgb(0x3FA34D)
GREEN_DARK = hexrgb(0x2E7D3A)
RED = hexrgb(0xD9423A)
RED_DARK = hexrgb(0xA8302A)
AMBER = hexrgb(0xF0AD1E)
BLUE = hexrgb(0x2F7FD8)
GREY = hexrgb(0x9AA0A8)
PURPLE = hexrgb(0x8A6BBE)
WHITE = (1.0, 1.0, 1.0)
INK = hexrgb(0x3C4350)


# ---- drawing helpers ------------------------------------------------------

def rgb(cr, c, a=1.0):
    cr.set_source_rgba(c[0], c[1], c[2], a)


def fill(cr, c, x, y, w, h, a=1.0):
    rgb(cr, c, a)
    cr.rectangle(x, y, w, h)
    cr.fill()


def rounded(cr, x, y, w, h, r):
    r = min(r, w / 2, h / 2)
    cr.new_sub_path()
    cr.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    cr.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    cr.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    cr.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    cr.close_path()


def box(cr, x, y, w, h, r, inside, edge):
    """A rounded box whose one-pixel edge lies on pixel centres."""
    rounded(cr, x + 0.5, y + 0.5, w - 1, h - 1, r)
    if inside:
        rgb(cr, inside)
        cr.fill_preserve()
    rgb(cr, edge)
    cr.set_line_width(1)
    cr.stroke()


def vgradient(cr, x, y, w, h, top, bottom):
    g = cairo.LinearGradient(0, y, 0, y + h)
    g.add_color_stop_rgb(0, *top)
    g.add_color_stop_rgb(1, *bottom)
    cr.set_source(g)
    cr.rectangle(x, y, w, h)
    cr.fill()


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def triangle(cr, cx, cy, size, direction, c):
    """A solid arrow head of the given half-size pointing 'left', 'right', 'up' or 'down'."""
    s = size
    pts = {'left': [(cx - s / 2, cy), (cx + s / 2, cy - s), (cx + s / 2, cy + s)],
           'right': [(cx + s / 2, cy), (cx - s / 2, cy - s), (cx - s / 2, cy + s)],
           'up': [(cx, cy - s / 2), (cx - s, cy + s / 2), (cx + s, cy + s / 2)],
           'down': [(cx, cy + s / 2), (cx - s, cy - s / 2), (cx + s, cy - s / 2)]}[direction]
    rgb(cr, c)
    cr.move_to(*pts[0])
    for p in pts[1:]:
        cr.line_to(*p)
    cr.close_path()
    cr.fill()


def pixel_arrow(cr, w, h, n, direction, c, shift=0):
    """A crisp arrow head of n pixel rows centred in a w x h box; shift moves it along its axis."""
    rgb(cr, c)
    base = 2 * n - 1
    for r in range(n):
        width = base - 2 * r
        if direction in ('down', 'up'):
            x0, y0 = (w - base) // 2, (h - n) // 2 + shift
            row = r if direction == 'down' else n - 1 - r
            cr.rectangle(x0 + r, y0 + row, width, 1)
        else:
            x0, y0 = (w - n) // 2 + shift, (h - base) // 2
            col = r if direction == 'right' else n - 1 - r
            cr.rectangle(x0 + col, y0 + r, 1, width)
    cr.fill()


def polyline(cr, pts, c, width, cap=cairo.LINE_CAP_ROUND):
    rgb(cr, c)
    cr.set_line_width(width)
    cr.set_line_cap(cap)
    cr.set_line_join(cairo.LINE_JOIN_ROUND)
    cr.move_to(*pts[0])
    for p in pts[1:]:
        cr.line_to(*p)
    cr.stroke()


def check_mark(cr, x, y, s, c, width):
    polyline(cr, [(x, y + s * 0.5), (x + s * 0.38, y + s * 0.88), (x + s, y + s * 0.12)], c, width)


def cross(cr, x, y, s, c, width):
    polyline(cr, [(x, y), (x + s, y + s)], c, width)
    polyline(cr, [(x + s, y), (x, y + s)], c, width)


def plus(cr, cx, cy, s, c, width):
    polyline(cr, [(cx - s, cy), (cx + s, cy)], c, width, cairo.LINE_CAP_BUTT)
    polyline(cr, [(cx, cy - s), (cx, cy + s)], c, width, cairo.LINE_CAP_BUTT)


def disc(cr, cx, cy, r, c):
    rgb(cr, c)
    cr.arc(cx, cy, r, 0, 2 * math.pi)
    cr.fill()


def transposed(draw):
    """The same drawing with x and y exchanged: a horizontal piece becomes vertical."""
    def out(cr, w, h):
        cr.transform(cairo.Matrix(0, 1, 1, 0, 0, 0))
        draw(cr, h, w)
    return out


def solid(c):
    return lambda cr, w, h: fill(cr, c, 0, 0, w, h)


# ---- form frame, tabs and buttons -------------------------------------------

def frame_top(look):
    # The top band: a light wash that deepens towards the face colour, closed by a line.
    def draw(cr, w, h):
        vgradient(cr, 0, 0, w, h - 1, look.band, look.face)
        fill(cr, look.band_line, 0, h - 1, w, 1)
    return draw


def frame_bottom(look):
    def draw(cr, w, h):
        fill(cr, look.face, 0, 0, w, h)
        fill(cr, look.band_line, 0, 0, w, 1)
        fill(cr, look.band, 0, 1, w, 1)
    return draw


def close_mark(c, width):
    def draw(cr, w, h):
        m = max(1.5, w * 0.2)
        cross(cr, m, m, w - 2 * m, c, width)
    return draw


def tab_edge(look, side):
    # The rounded top corner and the side line of the active tab, with its face inside.
    def draw(cr, w, h):
        cr.save()
        if side == 'right':
            cr.translate(w, 0)
            cr.scale(-1, 1)
        rgb(cr, look.field)
        rounded(cr, 0.5, 0.5, w * 3, h + 4, 3)
        cr.fill_preserve()
        rgb(cr, look.line)
        cr.set_line_width(1)
        cr.stroke()
        cr.restore()
    return draw


def tab_fill(look, inside):
    def draw(cr, w, h):
        fill(cr, inside, 0, 0, w, h)
        fill(cr, look.line, 0, 0, w, 1)
    return draw


def tab_bottom(look):
    def draw(cr, w, h):
        fill(cr, look.field, 0, 0, w, h)
        fill(cr, look.line, 0, 0, w, 1)
    return draw


def tab_list(look, hot):
    def draw(cr, w, h):
        if hot:
            box(cr, 0, 0, w, h, 2, look.accent_soft, look.line)
        fill(cr, look.ink, (w - 7) // 2, h // 2 - 3, 7, 1)
        pixel_arrow(cr, w, h, 4, 'down', look.ink, 1)
    return draw


def tab_arrow(look, direction, state):
    def draw(cr, w, h):
        if state == 'act':
            box(cr, 0, 0, w, h, 2, look.accent_soft, look.line)
        c = look.disabled_ink if state == 'dsb' else look.ink
        pixel_arrow(cr, w, h, 4, direction, c)
    return draw


BUTTON_STATES = ['default', 'active', 'hovered', 'action', 'disabled']


def button_column(look, state):
    """The vertical face of a push button, stretched sideways by the button."""
    if look is FLAT:
        c = {'default': 0xF3F3F3, 'active': 0xE8F1F6, 'hovered': 0xE5F1FB, 'action': 0xCCE4F7,
             'disabled': 0xF7F7F7}[state]
        return solid(hexrgb(c))
    top, bottom = {'default': (0xFDFEFF, 0xE4EAF6), 'active': (0xF4F9FF, 0xCFE2FA),
                   'hovered': (0xFFFFFF, 0xE9F1FD), 'action': (0xC6D6F0, 0xDCE6F7),
                   'disabled': (0xF4F5F7, 0xF4F5F7)}[state]
    return lambda cr, w, h: vgradient(cr, 0, 0, w, h, hexrgb(top), hexrgb(bottom))


def check_box(look, checked, state):
    def draw(cr, w, h):
        if look is FLAT and checked and state != 'disabled':
            box(cr, 0, 0, w, h, 2, look.accent if state == 'default' else mix(look.accent, WHITE, 0.2),
                look.accent)
            check_mark(cr, w * 0.22, h * 0.26, w * 0.56, WHITE, 1.6)
            return
        inside = {'default': look.field, 'active': look.accent_soft, 'disabled': look.disabled}[state]
        edge = {'default': look.dark, 'active': look.accent, 'disabled': look.line}[state]
        box(cr, 0, 0, w, h, 1.5 if look is FLAT else 1, inside, edge)
        if checked:
            ink = look.disabled_ink if state == 'disabled' else look.ink
            check_mark(cr, w * 0.2, h * 0.22, w * 0.6, ink, 1.4)
    return draw


def radio(look, checked, state):
    def draw(cr, w, h):
        inside = {'default': look.field, 'active': look.accent_soft, 'disabled': look.disabled}[state]
        edge = {'default': look.dark, 'active': look.accent, 'disabled': look.line}[state]
        cr.arc(w / 2, h / 2, w / 2 - 0.5, 0, 2 * math.pi)
        rgb(cr, inside)
        cr.fill_preserve()
        rgb(cr, edge)
        cr.set_line_width(1)
        cr.stroke()
        if checked:
            dot = look.disabled_ink if state == 'disabled' else (look.accent if look is FLAT else look.ink)
            disc(cr, w / 2, h / 2, w * 0.22, dot)
    return draw


# ---- tree pieces -----------------------------------------------------------------

def expander(look, expand):
    def draw(cr, w, h):
        if look is FLAT:
            pixel_arrow(cr, w, h, (min(w, h) + 1) // 2, 'right' if expand else 'down', look.dark)
            return
        s = min(w, h) - (1 - min(w, h) % 2)  # odd, so the sign has a middle pixel
        y = (h - s) // 2
        box(cr, 0, y, s, s, 0, look.field, look.dark)
        c = s // 2
        fill(cr, look.ink, 2, y + c, s - 4, 1)
        if expand:
            fill(cr, look.ink, c, y + 2, 1, s - 4)
    return draw


def tree_link(look, last):
    def draw(cr, w, h):
        rgb(cr, look.dark)
        x = w // 2
        for y in range(0, h if not last else h // 2 + 1, 2):
            cr.rectangle(x, y, 1, 1)
        for xx in range(x + 2, w, 2):
            cr.rectangle(xx, h // 2, 1, 1)
        cr.fill()
    return draw


# ---- scroll bars (drawn horizontal; the vertical pieces are transposed) -----------

def sb_colours(look, state):
    track = {'': look.track, 'hov': look.track_hover, 'pr': look.track_press}[state]
    thumb = {'': look.thumb, 'hov': look.thumb_hover, 'pr': look.thumb_press}[state]
    return track, thumb


def sb_track(look, state):
    def draw(cr, w, h):
        track, _ = sb_colours(look, state)
        fill(cr, track, 0, 0, w, h)
        if look is DEFAULT:
            fill(cr, look.band_line, 0, 0, w, 1)
    return draw


def sb_start(look):
    def draw(cr, w, h):
        sb_track(look, '')(cr, w, h)
        fill(cr, look.band_line, 0, 0, 1, h)
    return draw


def sb_thumb(look, state, part):
    """A slice of a rounded thumb: 'start' and 'end' are its caps, 'middle' a column of it."""
    def draw(cr, w, h):
        _, thumb = sb_colours(look, state)
        sb_track(look, '')(cr, w, h)
        if look is FLAT:
            fill(cr, thumb, 0, 0, w, h)
            return
        inset = 3
        span = 12
        x = {'start': 0, 'end': w - span, 'middle': -span / 2}[part]
        rgb(cr, thumb)
        rounded(cr, x, inset, span, h - 2 * inset, 2)
        cr.fill()
    return draw


def sb_button(look, state, direction):
    def draw(cr, w, h):
        track, _ = sb_colours(look, state)
        fill(cr, track, 0, 0, w, h)
        if look is DEFAULT:
            fill(cr, look.band_line, 0, 0, w, 1)
        if direction:
            if look is FLAT and state == 'pr':
                fill(cr, look.accent, 0, 0, w, h)
                c = WHITE
            else:
                c = {'': look.dark, 'hov': look.ink, 'pr': look.accent}[state] if look is FLAT else \
                    {'': look.dark, 'hov': look.accent, 'pr': look.ink}[state]
            pixel_arrow(cr, w, h, 4 if w > 7 else 3, direction, c)
    return draw


def sb_separator(look):
    def draw(cr, w, h):
        sb_track(look, '')(cr, w, h)
        if look is DEFAULT:
            fill(cr, look.line, 0, 3, w, h - 6)
    return draw


def scroll_corner(look):
    def draw(cr, w, h):
        fill(cr, look.track, 0, 0, w, h)
        fill(cr, look.band_line, 0, 0, w, 1)
        fill(cr, look.band_line, 0, 0, 1, h)
        rgb(cr, look.line)
        for i in range(3):
            for j in range(i + 1):
                cr.rectangle(w - 4 - 3 * j, h - 4 - 3 * (i - j), 2, 2)
        cr.fill()
    return draw


def scroll_bar_pieces(look, prefix, vertical):
    """The 29 pictures of one bar in theme order. Each is drawn lying along x;
    the vertical bar's pieces are the same drawings transposed, which also
    turns the left and right arrows into up and down ones."""
    flat = look is FLAT
    thick, area, arrow = (15, 2, 15) if flat else (14, 14, 10)
    states = ('', '_hov', '_pr')

    def piece(name, length, across, draw):
        if vertical:
            return Entry(prefix + name, across, length, 0, transposed(draw))
        return Entry(prefix + name, length, across, 0, draw)

    def absent(name):
        return Entry(prefix + name, 0, 0, 0, None)

    out = [absent('nc') if flat else piece('nc', 4, thick, sb_start(look))]
    out += [piece('area' + s, 1, area, sb_track(look, s[1:])) for s in states]
    out += [piece('slider' + s, 1, area, sb_thumb(look, s[1:], 'middle')) for s in states]
    for part, name in (('start', 'sl_top'), ('end', 'sl_bot')):
        out += [absent(name + s) if flat else piece(name + s, 2, thick, sb_thumb(look, s[1:], part)) for s in states]
    for name, direction in (('btu', 'left'), ('btd', 'right')):
        out += [piece(name + s, arrow, thick, sb_button(look, s[1:], direction)) for s in states]
    # The fillers beside the arrows and the line between them keep the
    # default thickness in both looks.
    out += [piece('btb' + s, 1, 14, sb_button(look, s[1:], None)) for s in states]
    out.append(piece('bts', 1, 14, sb_separator(look)))
    for name, direction in (('btus', 'left'), ('btds', 'right')):
        out += [piece(name + s, 6, thick, sb_button(look, s[1:], direction)) for s in states]
    assert len(out) == 29
    return out


# ---- small signs ----------------------------------------------------------------

def chevron(c):
    def draw(cr, w, h):
        polyline(cr, [(w * 0.3, 0.8), (w * 0.75, h / 2), (w * 0.3, h - 0.8)], c, 1.3)
    return draw


def led(c, flat):
    def draw(cr, w, h):
        r = w / 2 - 0.5
        disc(cr, w / 2, h / 2, r, mix(c, (0, 0, 0), 0.25))
        disc(cr, w / 2, h / 2, r - 1, c)
        if not flat:
            g = cairo.RadialGradient(w * 0.4, h * 0.35, 0, w * 0.4, h * 0.35, r)
            g.add_color_stop_rgba(0, 1, 1, 1, 0.75)
            g.add_color_stop_rgba(1, 1, 1, 1, 0)
            cr.set_source(g)
            cr.arc(w / 2, h / 2, r - 1, 0, 2 * math.pi)
            cr.fill()
    return draw


# ---- icons -------------------------------------------------------------------------

def folder_shape(cr, x, y, w, h, body, back, edge):
    """A folder filling the box: a tab behind, a front flap over it."""
    rgb(cr, back)
    rounded(cr, x, y, w * 0.45, h * 0.3, 1)
    cr.fill()
    rgb(cr, back)
    rounded(cr, x, y + h * 0.15, w, h * 0.85, 1)
    cr.fill()
    rgb(cr, body)
    rounded(cr, x, y + h * 0.3, w, h * 0.7, 1)
    cr.fill()
    rgb(cr, edge)
    cr.set_line_width(1)
    cr.move_to(x, y + h * 0.3 + 0.5)
    cr.line_to(x + w, y + h * 0.3 + 0.5)
    cr.stroke()


def check_badge(cr, x, y, s, state):
    box(cr, x, y, s, s, 1, WHITE, METAL_DARK)
    if state == 'ch':
        box(cr, x, y, s, s, 1, GREEN, GREEN_DARK)
        check_mark(cr, x + s * 0.2, y + s * 0.22, s * 0.6, WHITE, 1.4)
    elif state == 'pch':
        fill(cr, GREEN, x + 2, y + 2, s - 4, s - 4)


def folder_icon(kind, badge=None):
    colours = {'': (FOLDER, FOLDER_BACK, FOLDER_DARK), 'u': (USER, USER_DARK, USER_DARK),
               's': (SYSTEM, SYSTEM_DARK, SYSTEM_DARK)}[kind]

    def draw(cr, w, h):
        folder_shape(cr, 1, 2.5, w - 2, h - 5, *colours)
        if kind == 'u':
            # A head and shoulders on the flap: the user's own folder.
            disc(cr, w / 2, h * 0.52, 1.7, WHITE)
            rgb(cr, WHITE)
            cr.arc(w / 2, h * 0.52 + 5, 3.4, math.pi, 2 * math.pi)
            cr.fill()
        elif kind == 's':
            # A gear on the flap: a folder of the system.
            gear(cr, w / 2, h * 0.62, 3.2, WHITE, colours[0])
        if badge:
            check_badge(cr, w - 9, h - 9, 9, badge)
    return draw


def gear(cr, cx, cy, r, c, hole):
    rgb(cr, c)
    for i in range(8):
        a = i * math.pi / 4
        cr.save()
        cr.translate(cx, cy)
        cr.rotate(a)
        cr.rectangle(-0.8, -r - 1, 1.6, 2)
        cr.restore()
    cr.fill()
    disc(cr, cx, cy, r, c)
    disc(cr, cx, cy, r * 0.4, hole)


def page(cr, w, h, band=None, lines=True):
    x0, x1, y0, y1 = 3.5, w - 3.5, 1.5, h - 1.5
    fold = 4
    cr.move_to(x0, y0)
    cr.line_to(x1 - fold, y0)
    cr.line_to(x1, y0 + fold)
    cr.line_to(x1, y1)
    cr.line_to(x0, y1)
    cr.close_path()
    rgb(cr, PAPER)
    cr.fill_preserve()
    rgb(cr, PAPER_EDGE)
    cr.set_line_width(1)
    cr.stroke()
    cr.move_to(x1 - fold, y0)
    cr.line_to(x1 - fold, y0 + fold)
    cr.line_to(x1, y0 + fold)
    cr.stroke()
    if band:
        fill(cr, band, 4, 7, w - 8, 3)
    if lines:
        for y in range(11 if band else 7, int(y1) - 1, 2):
            fill(cr, PAPER_LINES, 5, y, w - 10, 1)


def file_icon(kind):
    def draw(cr, w, h):
        if kind == 'bad':
            page(cr, w, h, lines=False)
            disc(cr, w / 2, h * 0.58, 4.5, RED)
            cross(cr, w / 2 - 2, h * 0.58 - 2, 4, WHITE, 1.4)
        elif kind == 'link':
            page(cr, w, h)
            box(cr, 1, h - 9, 9, 9, 1.5, WHITE, INK)
            polyline(cr, [(3.5, h - 2.5), (3.5, h - 5), (7, h - 6.5)], BLUE, 1.3)
            triangle(cr, 7, h - 6.5, 1.6, 'right', BLUE)
        else:
            page(cr, w, h, band={'': None, 'u': USER, 's': SYSTEM_DARK}[kind])
            if kind == 's':
                gear(cr, w / 2, h * 0.66, 2.6, SYSTEM_DARK, PAPER)
    return draw


def other_icon(cr, w, h):
    # A special object: a small cube.
    cx, top, s = w / 2, 2.5, 6.5
    faces = [([(cx, top), (cx + s, top + s / 2), (cx, top + s), (cx - s, top + s / 2)], mix(PURPLE, WHITE, 0.35)),
             ([(cx - s, top + s / 2), (cx, top + s), (cx, h - 2), (cx - s, h - 2 - s / 2)], PURPLE),
             ([(cx + s, top + s / 2), (cx, top + s), (cx, h - 2), (cx + s, h - 2 - s / 2)], mix(PURPLE, INK, 0.3))]
    for pts, c in faces:
        rgb(cr, c)
        cr.move_to(*pts[0])
        for p in pts[1:]:
            cr.line_to(*p)
        cr.close_path()
        cr.fill()


def drive(cr, x, y, w, h, body=METAL, edge=METAL_DARK, light=GREEN):
    box(cr, x, y, w, h, 2, body, edge)
    fill(cr, mix(body, WHITE, 0.45), x + 2, y + 2, w - 4, 1)
    if light:
        fill(cr, light, x + w - 5, y + h - 4, 2, 2)
    fill(cr, edge, x + 3, y + h - 3.5, w - 10, 1)


def disk_icon(kind):
    def draw(cr, w, h):
        if kind == 'raid':
            drive(cr, 1, 2, w - 2, 7)
            drive(cr, 1, 10, w - 2, 7)
        elif kind == 'net':
            drive(cr, 1, 2, w - 2, 9)
            fill(cr, INK, w / 2 - 0.5, 11, 1, 4)
            fill(cr, INK, 3, 15, w - 6, 1)
            for x in (3, w / 2 - 1, w - 5):
                fill(cr, BLUE, x, 14, 2, 3)
        elif kind == 'img':
            # A disc over a drive: a file system held in an image.
            drive(cr, 1, 8, w - 2, 9)
            disc(cr, w / 2, 7, 6, hexrgb(0xDDE3EC))
            rgb(cr, METAL_DARK)
            cr.set_line_width(1)
            cr.arc(w / 2, 7, 5.5, 0, 2 * math.pi)
            cr.stroke()
            disc(cr, w / 2, 7, 3, hexrgb(0x9FC3EA))
            disc(cr, w / 2, 7, 1.2, WHITE)
        elif kind == 'off':
            drive(cr, 1, 5, w - 2, 9, body=hexrgb(0xD3D7DD), edge=hexrgb(0xA3A9B3), light=None)
            fill(cr, hexrgb(0xA3A9B3), w - 6, 10, 2, 2)
        else:
            drive(cr, 1, 5, w - 2, 9)
    return draw


def computer_icon(cr, w, h):
    box(cr, 1, 1, w - 2, 12, 1.5, METAL_DARK, INK)
    fill(cr, SCREEN, 3, 3, w - 6, 8)
    fill(cr, mix(SCREEN, WHITE, 0.35), 3, 3, w - 6, 3)
    fill(cr, METAL_DARK, w / 2 - 1.5, 13, 3, 2)
    fill(cr, INK, 4, 15, w - 8, 2)


def state_icon(kind):
    def draw(cr, w, h):
        cx, cy = w / 2, h / 2
        if kind == 'warning':
            rgb(cr, AMBER)
            rounded_triangle(cr, cx, 1.5, w - 2, h - 3)
            fill(cr, INK, cx - 1.25, 9, 2.5, 9)
            disc(cr, cx, 21, 1.5, INK)
            return
        c = {'info': BLUE, 'question': GREEN, 'error': RED}[kind]
        disc(cr, cx, cy, w / 2 - 0.5, c)
        if kind == 'info':
            disc(cr, cx, 7.5, 1.8, WHITE)
            fill(cr, WHITE, cx - 1.5, 11, 3, 10)
        elif kind == 'question':
            rgb(cr, WHITE)
            cr.set_line_width(3)
            cr.set_line_cap(cairo.LINE_CAP_BUTT)
            cr.arc(cx, 10.5, 4, math.pi * 1.05, math.pi * 2.35)
            cr.line_to(cx, 16.5)
            cr.stroke()
            disc(cr, cx, 20.5, 1.8, WHITE)
        else:
            cross(cr, cx - 5, cy - 5, 10, WHITE, 3)
    return draw


def rounded_triangle(cr, cx, top, w, h):
    cr.set_line_join(cairo.LINE_JOIN_ROUND)
    cr.set_line_width(2)
    cr.move_to(cx, top + 1)
    cr.line_to(cx + w / 2 - 1, top + h - 1)
    cr.line_to(cx - w / 2 + 1, top + h - 1)
    cr.close_path()
    cr.fill_preserve()
    cr.stroke()


def tool_icon(kind):
    def draw(cr, w, h):
        s = min(w, h)
        ox, oy = (w - s) / 2, (h - s) / 2
        cr.translate(ox, oy)
        u = s / 16
        if kind == 'ok':
            check_mark(cr, 2.5 * u, 3.5 * u, 11 * u, GREEN, 2.4 * u)
        elif kind == 'cancel':
            cross(cr, 4 * u, 4 * u, 8 * u, RED, 2.4 * u)
        elif kind == 'go':
            disc(cr, 8 * u, 8 * u, 7.5 * u, GREEN)
            polyline(cr, [(4 * u, 8 * u), (11 * u, 8 * u)], WHITE, 2 * u, cairo.LINE_CAP_BUTT)
            triangle(cr, 11 * u, 8 * u, 3.5 * u, 'right', WHITE)
        elif kind == 'open':
            folder_shape(cr, 1 * u, 2.5 * u, 14 * u, 11 * u, FOLDER_BACK, FOLDER_BACK, FOLDER_DARK)
            rgb(cr, FOLDER)
            cr.move_to(3.5 * u, 7 * u)
            cr.line_to(16 * u, 7 * u)
            cr.line_to(13.5 * u, 13.5 * u)
            cr.line_to(1 * u, 13.5 * u)
            cr.close_path()
            cr.fill()
        elif kind == 'save':
            box(cr, 2 * u, 1 * u, 12 * u, 14 * u, 1.5, BLUE, USER_DARK)
            fill(cr, WHITE, 4 * u, 2 * u, 8 * u, 5 * u)
            fill(cr, hexrgb(0xDDE3EC), 5 * u, 10 * u, 6 * u, 5 * u)
            fill(cr, INK, 9 * u, 11 * u, 1.5 * u, 3 * u)
        elif kind == 'home':
            rgb(cr, hexrgb(0xC8553D))
            cr.move_to(8 * u, 1.5 * u)
            cr.line_to(15.5 * u, 8 * u)
            cr.line_to(0.5 * u, 8 * u)
            cr.close_path()
            cr.fill()
            fill(cr, hexrgb(0xF2E3C9), 3 * u, 8 * u, 10 * u, 7 * u)
            fill(cr, hexrgb(0x8A5A3C), 6.5 * u, 10 * u, 3 * u, 5 * u)
        elif kind == 'places':
            # A map pin.
            rgb(cr, RED)
            cr.arc(8 * u, 6 * u, 4.5 * u, math.pi * 0.8, math.pi * 2.2)
            cr.line_to(8 * u, 15 * u)
            cr.close_path()
            cr.fill()
            disc(cr, 8 * u, 6 * u, 1.8 * u, WHITE)
        elif kind == 'new':
            folder_shape(cr, 0.5 * u, 2.5 * u, 13 * u, 11 * u, FOLDER, FOLDER_BACK, FOLDER_DARK)
            disc(cr, 12 * u, 11.5 * u, 4 * u, GREEN)
            plus(cr, 12 * u, 11.5 * u, 2.3 * u, WHITE, 1.5 * u)
    return draw


def std_button(kind):
    def draw(cr, w, h):
        if kind == 'edit':
            cr.save()
            cr.translate(w / 2, h / 2)
            cr.rotate(-math.pi / 4)
            fill(cr, AMBER, -5, -1.75, 8, 3.5)
            fill(cr, hexrgb(0xE58C8A), 3, -1.75, 2, 3.5)
            rgb(cr, hexrgb(0xF2D7A6))
            cr.move_to(-5, -1.75)
            cr.line_to(-7.5, 0)
            cr.line_to(-5, 1.75)
            cr.close_path()
            cr.fill()
            cr.restore()
            fill(cr, INK, 2, h - 2, 4, 1)
        elif kind in ('up', 'down'):
            y0, y1 = (h - 3, 3) if kind == 'up' else (3, h - 3)
            polyline(cr, [(w / 2, y0), (w / 2, y1)], BLUE, 2, cairo.LINE_CAP_BUTT)
            triangle(cr, w / 2, y1 + (1.5 if kind == 'up' else -1.5), 4, kind, BLUE)
        elif kind == 'remove':
            disc(cr, w / 2, h / 2, w / 2 - 0.5, RED)
            fill(cr, WHITE, 3, h / 2 - 1, w - 6, 2)
        else:
            c = GREEN if kind == 'add' else GREY
            disc(cr, w / 2, h / 2, w / 2 - 0.5, c)
            plus(cr, w / 2, h / 2, 3.5, WHITE, 2)
    return draw


def dropdown(c, direction):
    def draw(cr, w, h):
        pixel_arrow(cr, w, h, (min(w, h) + 1) // 2 if direction == 'down' else 4, direction, c)
    return draw


# ---- the table --------------------------------------------------------------------

def flat_name(name):
    """The flat look's array names: the default's name with its look marked."""
    if name.startswith('_d_'):
        return '_f_' + name[3:]
    if name.endswith('_std'):
        return name[:-4] + '_flat'
    if name.startswith('__'):
        return '__flat' + name[1:]
    return name + '_flat'


def entries(look):
    flat = look is FLAT
    E = Entry
    out = []

    def add(name, w, h, draw, colour=0):
        out.append(E(name if not flat else flat_name(name), w, h, colour, draw))

    def plain(name, colour):
        out.append(E(flat_name(name), 1, 1, colour, None))

    # Form frame: corners, bands and sides.
    frame = [('_d__ti_cform_left_up', 5, 30, frame_top(look)), ('_d__ti_cform_up', 1, 30, frame_top(look)),
             ('_d__ti_cform_right_up', 5, 30, frame_top(look)), ('_d__ti_cform_left', 5, 1, solid(look.face)),
             ('_d__ti_cform_right', 5, 1, solid(look.face)), ('_d__ti_cform_left_down', 8, 40, frame_bottom(look)),
             ('_d__ti_cform_down', 1, 40, frame_bottom(look)),
             ('_d__ti_cform_right_down', 8, 40, frame_bottom(look))]
    for name, w, h, draw in frame:
        if flat:
            plain(name, 0)
        else:
            add(name, w, h, draw)

    # Tabs.
    close = 10 if flat else 8
    add('_d__ti_bmk_close_passive', close, close, close_mark(look.dark, 1.2))
    add('_d__ti_bmk_close_active', close, close, close_mark(RED, 1.6))
    if flat:
        plain('_d__ti_bmk_act_left', 0xADAEAD)
        plain('_d__ti_bmk_act_right', 0xADAEAD)
        add('_d__ti_bmk_fill_act', 1, 1, solid(look.field))
        add('_d__ti_bmk_fill_pass', 1, 1, solid(look.tab_pass))
        plain('_d__ti_tabv_fill_bottom', 0xFFFFFF)
    else:
        add('_d__ti_bmk_act_left', 3, 24, tab_edge(look, 'left'))
        add('_d__ti_bmk_act_right', 3, 24, tab_edge(look, 'right'))
        add('_d__ti_bmk_fill_act', 1, 18, tab_fill(look, look.field))
        add('_d__ti_bmk_fill_pass', 1, 18, tab_fill(look, look.tab_pass))
        add('_d__ti_tabv_fill_bottom', 1, 3, tab_bottom(look))
    lw, lh = (12, 14) if flat else (11, 17)
    add('_d__ti_tabv_list_act', lw, lh, tab_list(look, True))
    add('_d__ti_tabv_list_pass', lw, lh, tab_list(look, False))
    for direction in ('left', 'right'):
        for state in ('act', 'pass', 'dsb'):
            add('_d__ti_tabv_%s_%s' % (direction, state), 12, 14, tab_arrow(look, direction, state))

    # Push button faces per state.
    for state in BUTTON_STATES:
        add('_d__ti_button_bg_' + state, 1, 1 if flat else 20, button_column(look, state))
    add('_d__ti_dropdown_button', 7, 7, dropdown(look.ink, 'down'))
    add('_d__ti_dropdown_right_button', 7, 7, dropdown(look.ink, 'right'))

    # Check boxes and radio buttons per state.
    cs = 12 if flat else 10
    for state in ('default', 'active', 'disabled'):
        add('_d__ti_check_unchecked_' + state, cs, cs, check_box(look, False, state))
        add('_d__ti_check_checked_' + state, cs, cs, check_box(look, True, state))
    for state in ('default', 'active', 'disabled'):
        add('_d__ti_radio_unchecked_' + state, 11, 11, radio(look, False, state))
        add('_d__ti_radio_checked_' + state, 11, 11, radio(look, True, state))

    # File-system icons, shared by both looks.
    def icon(name, draw):
        out.append(E(name, 18, 18, 0, draw))

    icon('_icoComp_18x18_std', computer_icon)
    icon('_icoDisk_18x18_std', disk_icon(''))
    icon('_icoDiskOff_18x18_std', disk_icon('off'))
    icon('_icoDiskImg_18x18_std', disk_icon('img'))
    icon('_icoDiskRAID_18x18_std', disk_icon('raid'))
    icon('_icoDiskNet_18x18_std', disk_icon('net'))
    for kind, prefix in (('', '_icoFolder'), ('u', '_icoUFolder'), ('s', '_icoSFolder')):
        icon(prefix + '_18x18_std', folder_icon(kind))
        icon(prefix + 'Unch_18x18_std', folder_icon(kind, 'unch'))
        icon(prefix + 'Pch_18x18_std', folder_icon(kind, 'pch'))
        icon(prefix + 'Ch_18x18_std', folder_icon(kind, 'ch'))
    icon('_icoFile_18x18_std', file_icon(''))
    icon('_icoUFile_18x18_std', file_icon('u'))
    icon('_icoSFile_18x18_std', file_icon('s'))
    icon('_icoOther_18x18_std', other_icon)
    icon('_icoFsObjBad_18x18_std', file_icon('bad'))
    icon('_icoLink_18x18_std', file_icon('link'))

    # Tree expanders and links.
    if flat:
        add('_d__ti_ctl_expand_small', 6, 6, expander(look, True))
        add('_d__ti_ctl_collapse_small', 6, 6, expander(look, False))
        add('_d__ti_ctl_expand', 9, 9, expander(look, True))
        add('_d__ti_ctl_collapse', 9, 9, expander(look, False))
    else:
        for _ in range(2):
            add('_d__ti_ctl_expand', 8, 9, expander(look, True))
            add('_d__ti_ctl_collapse', 8, 9, expander(look, False))
    add('_d__ti_ctl_tree_throu_link', 8, 9, tree_link(look, False))
    add('_d__ti_ctl_tree_term_link', 8, 9, tree_link(look, True))
    add('_d__ti_ctl_dropdown', 5, 10, dropdown(look.ink, 'down'))

    # Message-box and tool icons.
    for kind, name in (('info', 'Info'), ('question', 'Question'), ('warning', 'Warning'), ('error', 'Error')):
        out.append(E('_icstate%s_27x27' % name, 27, 27, 0, state_icon(kind)))
    ts = (16, 16) if flat else (20, 16)
    tools = [('ok', '_icoOk'), ('cancel', '_icoCancel'), ('go', '_icoGo'), ('open', '_icoOpen'),
             ('save', '_icoSave'), ('home', '_icoHome'), ('places', '_icoPlaces'), ('new', '_icoNewObj'),
             ('ok', '_icoOk')]
    for kind, name in tools:
        w, h = (14, 14) if kind == 'go' and not flat else ts
        out.append(E('%s_%dx%d%s' % (name, w, h, '_flat' if flat else ''), w, h, 0, tool_icon(kind)))

    # Scroll bars.
    if flat:
        out.append(E('__flat_scroll_corner', 16, 16, 0xFFFFFF, None))
    else:
        add('_d__ti_scroll_corner', 14, 14, scroll_corner(look))
    for prefix, vertical in (('__sb_', False), ('__vsb_', True)):
        for e in scroll_bar_pieces(look, prefix, vertical):
            out.append(e._replace(name=flat_name(e.name)) if flat else e)

    # Navigation separators, state lights and small command buttons.
    add('__navi_sep_normal', 6, 6, chevron(look.dark))
    add('__navi_sep_active', 6, 6, chevron(look.accent))
    ls = 8 if flat else 10
    for name, c in (('green', GREEN), ('grey', GREY), ('yellow', AMBER), ('red', RED)):
        add('__gen_' + name, ls, ls, led(c, flat))
    for kind, name in (('edit', '__stdbutton_edit'), ('up', '__stdbutton_up'), ('down', '__stdbutton_down'),
                       ('remove', '__stdbutton_remove'), ('add', '__raidctl_add'), ('add_dph', '__raidctl_add_dph')):
        out.append(E(name, 14, 14, 0, std_button(kind)))
    return out
