"""The flags of the ten interface languages, drawn for 16x11, 18x14 and 27x22.

Stripes and fields land on whole pixels so the small sizes stay crisp; a faint
edge keeps white flags apart from a white background.
"""

import math

import cairo

# In the order of the language numbers 0 to 9.
CODES = ['ENG', 'RUS', 'DEU', 'JPN', 'KOR', 'FRA', 'UKR', 'ESP', 'CHN', 'TWN']
SIZES = [((16, 11), ''), ((18, 14), '_18'), ((27, 22), '_27')]

WHITE = (1, 1, 1)
RED = (0.80, 0.08, 0.17)
BLUE = (0.0, 0.22, 0.55)


def rgb(cr, c, a=1.0):
    cr.set_source_rgba(c[0], c[1], c[2], a)


def fill_rect(cr, c, x, y, w, h):
    rgb(cr, c)
    cr.rectangle(x, y, w, h)
    cr.fill()


def stripes(cr, w, h, colours, weights=None, vertical=False):
    weights = weights or [1] * len(colours)
    total = sum(weights)
    length = w if vertical else h
    edge, acc = 0, 0
    for c, wt in zip(colours, weights):
        acc += wt
        end = round(length * acc / total)
        if vertical:
            fill_rect(cr, c, edge, 0, end - edge, h)
        else:
            fill_rect(cr, c, 0, edge, w, end - edge)
        edge = end


def star(cr, cx, cy, r, c, turn=0.0):
    rgb(cr, c)
    for i in range(10):
        rad = r if i % 2 == 0 else r * 0.382
        ang = -math.pi / 2 + turn + i * math.pi / 5
        (cr.move_to if i == 0 else cr.line_to)(cx + rad * math.cos(ang), cy + rad * math.sin(ang))
    cr.close_path()
    cr.fill()


def eng(cr, w, h):
    red = (0.78, 0.06, 0.18)
    fill_rect(cr, (0.0, 0.14, 0.49), 0, 0, w, h)
    d = h * 0.2
    cr.set_line_cap(cairo.LINE_CAP_BUTT)
    for width, c in ((d, WHITE), (d * 0.4, red)):
        rgb(cr, c)
        cr.set_line_width(width)
        cr.move_to(0, 0)
        cr.line_to(w, h)
        cr.move_to(w, 0)
        cr.line_to(0, h)
        cr.stroke()
    # The crosses take the parity of the side they cross, so that they sit
    # centred on whole pixels.
    white = round(h / 3)
    white -= white % 2 != h % 2
    cross = max(1, round(h / 5))
    cross -= cross % 2 != h % 2
    for size, c in ((white, WHITE), (cross, red)):
        across = size + (size % 2 != w % 2)
        fill_rect(cr, c, (w - across) // 2, 0, across, h)
        fill_rect(cr, c, 0, (h - size) // 2, w, size)


def rus(cr, w, h):
    stripes(cr, w, h, [WHITE, (0.0, 0.22, 0.65), (0.84, 0.16, 0.11)])


def deu(cr, w, h):
    stripes(cr, w, h, [(0.0, 0.0, 0.0), (0.87, 0.0, 0.0), (1.0, 0.81, 0.0)])


def jpn(cr, w, h):
    fill_rect(cr, WHITE, 0, 0, w, h)
    rgb(cr, (0.74, 0.0, 0.18))
    cr.arc(w / 2, h / 2, h * 0.3, 0, 2 * math.pi)
    cr.fill()


def kor(cr, w, h):
    fill_rect(cr, WHITE, 0, 0, w, h)
    cx, cy, r = w / 2, h / 2, h * 0.25
    # The red upper and blue lower halves of the circle, with the two small
    # circles that make the wave between them.
    cr.save()
    cr.translate(cx, cy)
    cr.rotate(math.atan2(2, 3))
    rgb(cr, (0.80, 0.0, 0.18))
    cr.arc(0, 0, r, math.pi, 2 * math.pi)
    cr.fill()
    rgb(cr, (0.0, 0.20, 0.55))
    cr.arc(0, 0, r, 0, math.pi)
    cr.fill()
    rgb(cr, (0.80, 0.0, 0.18))
    cr.arc(-r / 2, 0, r / 2, 0, 2 * math.pi)
    cr.fill()
    rgb(cr, (0.0, 0.20, 0.55))
    cr.arc(r / 2, 0, r / 2, 0, 2 * math.pi)
    cr.fill()
    cr.restore()
    # The four trigrams, as solid bars at the corners.
    rgb(cr, (0, 0, 0))
    bl, bw = w * 0.16, max(1.0, h * 0.09)
    for sx, sy in ((-1, -1), (1, 1), (1, -1), (-1, 1)):
        cr.save()
        cr.translate(cx + sx * w * 0.33, cy + sy * h * 0.3)
        cr.rotate(math.atan2(sy * 2, sx * 3) + math.pi / 2)
        for k in (-1, 0, 1):
            cr.rectangle(-bl / 2, k * bw * 1.6 - bw / 2, bl, bw)
        cr.fill()
        cr.restore()


def fra(cr, w, h):
    stripes(cr, w, h, [(0.0, 0.14, 0.58), WHITE, (0.93, 0.16, 0.22)], vertical=True)


def ukr(cr, w, h):
    stripes(cr, w, h, [(0.0, 0.36, 0.73), (1.0, 0.84, 0.0)])


def esp(cr, w, h):
    stripes(cr, w, h, [(0.78, 0.04, 0.12), (1.0, 0.77, 0.0), (0.78, 0.04, 0.12)], [1, 2, 1])
    # The emblem, reduced to its shield at the hoist side of the yellow band.
    s = h / 11
    x, y = w * 0.22, h * 0.36
    rgb(cr, (0.68, 0.08, 0.10))
    cr.rectangle(x, y, 2.6 * s, 2.8 * s)
    cr.fill()


def chn(cr, w, h):
    fill_rect(cr, (0.87, 0.16, 0.06), 0, 0, w, h)
    yellow = (1.0, 0.87, 0.0)
    u = h / 20  # the flag's own grid: 30 by 20 units
    star(cr, 5 * u, 5 * u, 3.4 * u if h < 14 else 3 * u, yellow)
    if h >= 14:
        for sx, sy in ((10, 2), (12, 4), (12, 7), (10, 9)):
            star(cr, sx * u, sy * u, 1 * u, yellow, math.atan2(sy - 5, sx - 5) + math.pi / 2)
    else:
        # A pixel apiece: at this size the small stars cannot be drawn as stars.
        rgb(cr, yellow)
        for sx, sy in ((9, 2), (11, 4), (11, 7), (9, 9)):
            cr.rectangle(round(sx * u), round(sy * u) - 0.5, 1, 1)
        cr.fill()


def twn(cr, w, h):
    fill_rect(cr, (0.99, 0.0, 0.0), 0, 0, w, h)
    cw, ch = round(w / 2), round(h / 2)
    fill_rect(cr, (0.0, 0.0, 0.58), 0, 0, cw, ch)
    cx, cy, r = cw / 2, ch / 2, ch * 0.36
    rgb(cr, WHITE)
    for i in range(12):
        ang = i * math.pi / 6
        cr.move_to(cx + r * math.cos(ang), cy + r * math.sin(ang))
        cr.line_to(cx + r * 0.55 * math.cos(ang + math.pi / 12), cy + r * 0.55 * math.sin(ang + math.pi / 12))
        cr.line_to(cx + r * 0.55 * math.cos(ang - math.pi / 12), cy + r * 0.55 * math.sin(ang - math.pi / 12))
        cr.close_path()
    cr.fill()
    cr.arc(cx, cy, r * 0.5, 0, 2 * math.pi)
    cr.fill()


DRAW = dict(ENG=eng, RUS=rus, DEU=deu, JPN=jpn, KOR=kor, FRA=fra, UKR=ukr, ESP=esp, CHN=chn, TWN=twn)


def drawer(code):
    def draw(cr, w, h):
        DRAW[code](cr, w, h)
        cr.set_source_rgba(0, 0, 0, 0.28)
        cr.set_line_width(1)
        cr.rectangle(0.5, 0.5, w - 1, h - 1)
        cr.stroke()
    return draw
