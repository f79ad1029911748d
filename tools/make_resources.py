#!/usr/bin/python3
"""Generate the first-version binary resources of Orvenna 2000.

Writes, below the repository root (or below --out DIR):
  resources/cards/01.bmp .. 40.bmp and resources/cards/back.bmp
  resources/icons/large.ico and resources/icons/small.ico
  resources/move.wav
Only the standard library is used and every run gives byte-identical files.
"""
import argparse
import math
import os
import struct

CARD_W, CARD_H = 62, 100
SS = 4                  # card pictures are drawn at 4x and box-filtered down
CORNER_RADIUS = 3.5

# Ink colours (RGB). Drawings paint ink numbers; the palette is derived from them.
INK_RGB = [
    (255, 255, 255),    # WHITE   card ground
    (160, 0, 0),        # TABLE   outside the rounded corners: the table colour
    (36, 32, 30),       # DARK    border, outlines, rank marks
    (150, 96, 44),      # BROWN   wood, horse
    (92, 56, 26),       # DKBROWN knots, hair, belts
    (40, 130, 56),      # GREEN   leaves, batons tunic
    (200, 32, 40),      # RED     cup bowls, cups tunic
    (232, 180, 40),     # GOLD    coins, cup stems, crowns
    (160, 112, 20),     # DKGOLD  coin rings
    (64, 96, 190),      # BLUE    sword ridges
    (150, 172, 214),    # STEEL   sword blades
    (36, 52, 120),      # NAVY    swords tunic
    (120, 56, 144),     # PURPLE  coins tunic
    (244, 204, 166),    # SKIN
    (196, 196, 200),    # GREY_L  back ground
    (128, 128, 136),    # GREY_M  back lattice
    (72, 72, 80),       # GREY_D  back frame
]
(WHITE, TABLE, DARK, BROWN, DKBROWN, GREEN, RED, GOLD, DKGOLD, BLUE, STEEL,
 NAVY, PURPLE, SKIN, GREY_L, GREY_M, GREY_D) = range(len(INK_RGB))
SUIT_CLOTH = [GREEN, RED, PURPLE, NAVY]     # clothing colour of the figures per suit

# Tiny 5x7 pixel font for the rank marks: A, 2..7, F (Fante), C (Cavallo), R (Re).
FONT = {
    1: ".###. #...# #...# ##### #...# #...# #...#",
    2: ".###. #...# ....# ...#. ..#.. .#... #####",
    3: "####. ....# ....# .###. ....# ....# ####.",
    4: "...#. ..##. .#.#. #..#. ##### ...#. ...#.",
    5: "##### #.... ####. ....# ....# #...# .###.",
    6: "..##. .#... #.... ####. #...# #...# .###.",
    7: "##### ....# ...#. ..#.. .#... .#... .#...",
    8: "##### #.... #.... ####. #.... #.... #....",
    9: ".###. #...# #.... #.... #.... #...# .###.",
    10: "####. #...# #...# ####. #.#.. #..#. #...#",
}

# Pip centres for ranks 2..7 and the pip height used for each.
PIP_LAYOUT = {
    2: [(31, 27), (31, 73)],
    3: [(31, 21), (31, 50), (31, 79)],
    4: [(21, 28), (41, 28), (21, 72), (41, 72)],
    5: [(21, 24), (41, 24), (31, 50), (21, 76), (41, 76)],
    6: [(21, 22), (41, 22), (21, 50), (41, 50), (21, 78), (41, 78)],
    7: [(21, 20), (41, 20), (31, 35), (21, 50), (41, 50), (21, 80), (41, 80)],
}
PIP_SIZE = {2: 26, 3: 22, 4: 20, 5: 19, 6: 18, 7: 17}         # cups and coins
PIP_SIZE_THIN = {2: 32, 3: 25, 4: 25, 5: 24, 6: 22, 7: 21}    # batons and swords stand taller
ACE_SIZE = [66, 56, 46, 70]
INDEX_SIZE = [10, 9, 8, 10]         # suit symbol under the rank mark


class Canvas:
    """A grid of ink numbers; shapes are given in card pixels and filled by
    testing the centre of every sub-pixel."""

    def __init__(self, width, height, scale, ground):
        self.w, self.h, self.s = width * scale, height * scale, scale
        self.px = bytearray([ground]) * (self.w * self.h)

    def span(self, j, xa, xb, ink):
        i0 = max(0, math.ceil(xa * self.s - 0.5))
        i1 = min(self.w, math.ceil(xb * self.s - 0.5))
        if i1 > i0:
            self.px[j * self.w + i0:j * self.w + i1] = bytes([ink]) * (i1 - i0)

    def rows(self, y0, y1):
        for j in range(max(0, math.floor(y0 * self.s)), min(self.h, math.ceil(y1 * self.s) + 1)):
            yield j, (j + 0.5) / self.s

    def ellipse(self, cx, cy, rx, ry, ink):
        for j, y in self.rows(cy - ry, cy + ry):
            t = 1.0 - ((y - cy) / ry) ** 2
            if t > 0:
                half = rx * math.sqrt(t)
                self.span(j, cx - half, cx + half, ink)

    def polygon(self, pts, ink):
        ys = [p[1] for p in pts]
        for j, y in self.rows(min(ys), max(ys)):
            xs = []
            for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
                if (y0 <= y) != (y1 <= y):
                    xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                self.span(j, a, b, ink)

    def rect(self, x0, y0, x1, y1, ink):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], ink)

    def capsule(self, x0, y0, x1, y1, r, ink):
        length = math.hypot(x1 - x0, y1 - y0) or 1.0
        nx, ny = -(y1 - y0) / length * r, (x1 - x0) / length * r
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], ink)
        self.ellipse(x0, y0, r, r, ink)
        self.ellipse(x1, y1, r, r, ink)


def paint(c, shape, grow, ink):
    """Fill one shape tuple, optionally grown by `grow` pixels all round."""
    kind, args = shape[0], shape[1:-1]
    if kind == 'ell':
        c.ellipse(args[0], args[1], args[2] + grow, args[3] + grow, ink)
    elif kind == 'cap':
        c.capsule(*args[:4], args[4] + grow, ink)
    else:
        if kind == 'rect':
            x0, y0, x1, y1 = args
            args = ([(x0, y0), (x1, y0), (x1, y1), (x0, y1)],)
        pts = args[0]
        c.polygon(pts, ink)
        if grow:
            for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
                c.capsule(x0, y0, x1, y1, grow, ink)


def draw(c, shapes, outline=0.0):
    """Draw a group of shapes: first their common dark silhouette, then the fills."""
    if outline:
        for shape in shapes:
            paint(c, shape, outline, DARK)
    for shape in shapes:
        paint(c, shape, 0.0, shape[-1])


# ----- suit symbols: each returns shape tuples centred on (x, y), h pixels tall

def coin_shapes(x, y, h):
    r = 0.42 * h
    return [('ell', x, y, r, r, GOLD), ('ell', x, y, 0.62 * r, 0.62 * r, DKGOLD),
            ('ell', x, y, 0.48 * r, 0.48 * r, GOLD), ('ell', x, y, 0.16 * r, 0.16 * r, RED)]


def cup_shapes(x, y, h):
    top = y - 0.42 * h
    bowl = [(x + 0.34 * h * math.cos(math.pi * k / 16), top + 0.44 * h * math.sin(math.pi * k / 16))
            for k in range(17)]
    return [('poly', [(x - 0.08 * h, y + 0.34 * h), (x + 0.08 * h, y + 0.34 * h),
                      (x + 0.26 * h, y + 0.48 * h), (x - 0.26 * h, y + 0.48 * h)], GOLD),
            ('rect', x - 0.05 * h, y - 0.05 * h, x + 0.05 * h, y + 0.36 * h, GOLD),
            ('ell', x, y + 0.12 * h, 0.1 * h, 0.06 * h, GOLD),
            ('poly', bowl, RED),
            ('rect', x - 0.3 * h, top + 0.1 * h, x + 0.3 * h, top + 0.15 * h, GOLD),
            ('ell', x, top, 0.34 * h, 0.06 * h, GOLD)]


def baton_shapes(x, y, h):
    return [('ell', x + 0.16 * h, y - 0.06 * h, 0.1 * h, 0.04 * h, GREEN),
            ('ell', x - 0.15 * h, y + 0.16 * h, 0.09 * h, 0.035 * h, GREEN),
            ('poly', [(x - 0.06 * h, y + 0.5 * h), (x + 0.06 * h, y + 0.5 * h),
                      (x + 0.13 * h, y - 0.3 * h), (x - 0.13 * h, y - 0.3 * h)], BROWN),
            ('ell', x, y - 0.3 * h, 0.15 * h, 0.2 * h, BROWN),
            ('ell', x - 0.05 * h, y - 0.36 * h, 0.04 * h, 0.04 * h, DKBROWN),
            ('ell', x + 0.06 * h, y - 0.14 * h, 0.035 * h, 0.035 * h, DKBROWN),
            ('ell', x - 0.03 * h, y + 0.1 * h, 0.03 * h, 0.03 * h, DKBROWN),
            ('rect', x - 0.07 * h, y + 0.4 * h, x + 0.07 * h, y + 0.44 * h, DKBROWN)]


def sword_shapes(x, y, h):
    return [('poly', [(x - 0.065 * h, y + 0.2 * h), (x + 0.065 * h, y + 0.2 * h),
                      (x + 0.065 * h, y - 0.36 * h), (x, y - 0.5 * h), (x - 0.065 * h, y - 0.36 * h)], STEEL),
            ('rect', x - 0.015 * h, y - 0.4 * h, x + 0.015 * h, y + 0.2 * h, BLUE),
            ('rect', x - 0.22 * h, y + 0.2 * h, x + 0.22 * h, y + 0.27 * h, GOLD),
            ('rect', x - 0.045 * h, y + 0.27 * h, x + 0.045 * h, y + 0.43 * h, BROWN),
            ('ell', x, y + 0.46 * h, 0.065 * h, 0.055 * h, GOLD)]


SUIT_SHAPES = [baton_shapes, cup_shapes, coin_shapes, sword_shapes]


def draw_suit(c, suit, x, y, h, outline=0.7):
    draw(c, SUIT_SHAPES[suit](x, y, h), outline)


# ----- court cards

def draw_jack(c, suit):
    cloth = SUIT_CLOTH[suit]
    draw(c, [('rect', 25, 62, 30, 83, DKBROWN), ('rect', 32, 62, 37, 83, DKBROWN),
             ('ell', 27, 84, 3.5, 2, DARK), ('ell', 35, 84, 3.5, 2, DARK)], 0.7)
    draw(c, [('cap', 23, 35, 19, 56, 2.3, cloth), ('ell', 19, 58, 2.2, 2.2, SKIN)], 0.7)
    draw(c, [('poly', [(24, 32), (38, 32), (42, 64), (20, 64)], cloth),
             ('rect', 22.5, 50, 39.5, 53, DKBROWN), ('rect', 29, 28, 33, 33, SKIN)], 0.7)
    draw(c, [('ell', 31, 23, 5, 6, SKIN), ('ell', 31, 18, 6.5, 3, cloth),
             ('cap', 36, 16, 41, 10, 1, GOLD)], 0.7)
    draw(c, [('ell', 29.2, 23, 0.6, 0.6, DARK), ('ell', 32.8, 23, 0.6, 0.6, DARK)])
    draw(c, [('cap', 38, 34, 45, 42, 2.3, cloth)], 0.7)
    draw_suit(c, suit, 46, 32, 20)
    draw(c, [('ell', 45.5, 42.5, 2.2, 2.2, SKIN)], 0.7)


def draw_king(c, suit):
    cloth = SUIT_CLOTH[suit]
    draw(c, [('ell', 26, 87, 3.5, 1.8, DARK), ('ell', 36, 87, 3.5, 1.8, DARK)], 0.7)
    draw(c, [('poly', [(24, 33), (38, 33), (44, 86), (18, 86)], cloth),
             ('rect', 19, 82, 43, 86, GOLD), ('poly', [(30, 33), (32, 33), (33, 82), (29, 82)], GOLD)], 0.7)
    draw(c, [('cap', 24, 36, 21, 58, 2.5, cloth), ('ell', 21, 60, 2.3, 2.3, SKIN)], 0.7)
    draw(c, [('ell', 31, 25, 5, 6, SKIN),
             ('poly', [(26, 26), (36, 26), (34.5, 33), (31, 35.5), (27.5, 33)], DKBROWN),
             ('rect', 28.5, 27.6, 33.5, 28.6, SKIN)], 0.7)
    draw(c, [('ell', 29.2, 24.5, 0.6, 0.6, DARK), ('ell', 32.8, 24.5, 0.6, 0.6, DARK)])
    draw(c, [('poly', [(25.5, 21), (36.5, 21), (37.5, 11), (34.5, 15), (31, 9.5), (27.5, 15), (24.5, 11)], GOLD),
             ('ell', 31, 17.5, 1.3, 1.3, RED)], 0.7)
    draw(c, [('cap', 38, 36, 45, 45, 2.5, cloth)], 0.7)
    draw_suit(c, suit, 46, 35, 20)
    draw(c, [('ell', 45.5, 45.5, 2.3, 2.3, SKIN)], 0.7)


def draw_knight(c, suit):
    cloth = SUIT_CLOTH[suit]
    draw(c, [('cap', 17, 56, 13, 70, 1.8, DKBROWN)], 0.7)
    draw(c, [('cap', 23, 63, 24, 83, 1.8, BROWN), ('cap', 43, 62, 45, 82, 1.8, BROWN)], 0.7)
    draw(c, [('ell', 31, 59, 15, 7.5, BROWN),
             ('poly', [(36, 56), (42, 60), (49, 45), (45, 40)], BROWN),
             ('poly', [(44, 38), (49, 39), (55, 46), (53, 49.5), (47, 46.5), (44, 44)], BROWN),
             ('poly', [(45, 39.5), (46, 35), (48.5, 39.5)], BROWN),
             ('cap', 19, 63, 18, 84, 1.8, BROWN), ('cap', 39, 63, 40, 84, 1.8, BROWN)], 0.7)
    draw(c, [('cap', 44.5, 41, 39, 54, 1.4, DKBROWN), ('ell', 48.5, 42, 0.7, 0.7, DARK),
             ('poly', [(25, 52), (36, 52), (35, 64), (26, 64)], cloth)])
    draw(c, [('ell', 18, 85, 2.2, 1.4, DARK), ('ell', 24, 84, 2.2, 1.4, DARK),
             ('ell', 40, 85, 2.2, 1.4, DARK), ('ell', 45, 83, 2.2, 1.4, DARK)])
    draw(c, [('cap', 31, 55, 32, 66, 2.2, DKBROWN), ('ell', 33.5, 67, 2.8, 1.5, DARK)], 0.7)
    draw(c, [('poly', [(26, 36), (35, 36), (36, 55), (25, 55)], cloth)], 0.7)
    draw(c, [('cap', 34, 40, 41, 47, 2, cloth), ('ell', 42, 47.5, 2, 2, SKIN)], 0.7)
    draw(c, [('ell', 30.5, 29, 4.5, 5.5, SKIN), ('ell', 30.5, 24.5, 5.2, 2.8, cloth)], 0.7)
    draw(c, [('ell', 32.2, 29, 0.6, 0.6, DARK)])
    draw(c, [('cap', 27, 38, 21, 32, 2.2, cloth)], 0.7)
    draw_suit(c, suit, 18, 21, 18)
    draw(c, [('ell', 20, 31, 2, 2, SKIN)], 0.7)


# ----- whole cards

def draw_glyph(c, rank, x, y, ink):
    for j, row in enumerate(FONT[rank].split()):
        for i, bit in enumerate(row):
            if bit == '#':
                c.rect(x + i, y + j, x + i + 1, y + j + 1, ink)


def rounded_rect_distance(x, y, x0, y0, x1, y1, r):
    """Signed distance from (x, y) to a rounded rectangle: > 0 outside."""
    qx = abs(x - (x0 + x1) / 2) - ((x1 - x0) / 2 - r)
    qy = abs(y - (y0 + y1) / 2) - ((y1 - y0) / 2 - r)
    return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r


def draw_card_edge(c):
    """Paint the 1-pixel dark rounded border and the table colour outside it."""
    band = 5 * c.s
    for j in range(c.h):
        y = (j + 0.5) / c.s
        edge_row = j < band or j >= c.h - band
        for i in (range(c.w) if edge_row else [*range(band), *range(c.w - band, c.w)]):
            d = rounded_rect_distance((i + 0.5) / c.s, y, 0, 0, CARD_W, CARD_H, CORNER_RADIUS)
            if d > 0:
                c.px[j * c.w + i] = TABLE
            elif d > -1:
                c.px[j * c.w + i] = DARK


def copy_corner_rotated(c, x0, y0, x1, y1):
    """Repeat the top-left corner mark upside down in the bottom-right corner."""
    for j in range(y0 * c.s, y1 * c.s):
        for i in range(x0 * c.s, x1 * c.s):
            ink = c.px[j * c.w + i]
            if ink != WHITE:
                c.px[(c.h - 1 - j) * c.w + (c.w - 1 - i)] = ink


def draw_card_face(value):
    """Ace: one large symbol; 2..7: pips; 8..10: a figure holding the symbol."""
    suit, rank = (value - 1) // 10, (value - 1) % 10 + 1
    c = Canvas(CARD_W, CARD_H, SS, WHITE)
    if rank == 1:
        draw_suit(c, suit, 31, 50, ACE_SIZE[suit], 0.9)
    elif rank <= 7:
        for x, y in PIP_LAYOUT[rank]:
            draw_suit(c, suit, x, y, (PIP_SIZE_THIN if suit in (0, 3) else PIP_SIZE)[rank])
    else:
        (draw_jack, draw_knight, draw_king)[rank - 8](c, suit)
    draw_glyph(c, rank, 3, 3, DARK)
    draw_suit(c, suit, 5.5, 16.5, INDEX_SIZE[suit], 0.5)
    copy_corner_rotated(c, 2, 2, 10, 22)
    draw_card_edge(c)
    return c


def draw_card_back():
    """Grey diagonal lattice with dots in its cells, inside a dark frame."""
    c = Canvas(CARD_W, CARD_H, SS, GREY_L)
    step = 8
    for k in range(-15, 25):
        c.capsule(k * step - 10, -10, k * step + 110, 110, 0.5, GREY_M)
        c.capsule(k * step + 10, -10, k * step - 110, 110, 0.5, GREY_M)
    for i in range(17):               # small dots in the middle of the lattice cells
        for j in range(27):
            if (i + j) % 2:
                c.ellipse(i * step / 2, j * step / 2, 1.1, 1.1, GREY_D)
    for x0, y0, x1, y1 in [(0, 0, 62, 5), (0, 95, 62, 100), (0, 0, 5, 100), (57, 0, 62, 100)]:
        c.rect(x0, y0, x1, y1, GREY_D)              # dark frame
    for x0, y0, x1, y1 in [(5, 5, 57, 6), (5, 94, 57, 95), (5, 5, 6, 95), (56, 5, 57, 95)]:
        c.rect(x0, y0, x1, y1, WHITE)               # thin light line inside it
    draw_card_edge(c)
    return c


# ----- palette and reduction to 8-bit pixels

def mix(a, b, t):
    return tuple(int(round(p + (q - p) * t)) for p, q in zip(a, b))


def build_palette():
    """256 colours: the inks, ramps from white and from the outline colour to
    every ink, half-way mixes of the picture inks, then greys to fill up."""
    colours = []

    def add(rgb):
        if rgb not in colours and len(colours) < 256:
            colours.append(rgb)
    for rgb in INK_RGB:
        add(rgb)
    for ink in range(len(INK_RGB)):
        if ink not in (WHITE, TABLE):
            for k in range(1, 9):
                add(mix(INK_RGB[WHITE], INK_RGB[ink], k / 9))
    for ink in range(len(INK_RGB)):
        if ink != DARK:
            for k in range(1, 4):
                add(mix(INK_RGB[DARK], INK_RGB[ink], k / 4))
    picture_inks = [BROWN, DKBROWN, GREEN, RED, GOLD, DKGOLD, BLUE, STEEL, NAVY, PURPLE, SKIN]
    for n, a in enumerate(picture_inks):
        for b in picture_inks[n + 1:]:
            add(mix(INK_RGB[a], INK_RGB[b], 0.5))
    free = 256 - len(colours)
    for k in range(free):
        add((round(255 * k / (free - 1)),) * 3)
    return colours + [(0, 0, 0)] * (256 - len(colours))


def nearest(palette, rgb):
    r, g, b = rgb
    return min(range(len(palette)), key=lambda n: 3 * (palette[n][0] - r) ** 2 +
               4 * (palette[n][1] - g) ** 2 + 2 * (palette[n][2] - b) ** 2)


def reduce_to_palette(c, palette, cache):
    """Box-filter SSxSS sub-pixels into one pixel and take the nearest palette entry."""
    rows = []
    s = c.s
    for oy in range(c.h // s):
        sub = [c.px[(oy * s + k) * c.w:(oy * s + k + 1) * c.w] for k in range(s)]
        out = bytearray()
        for ox in range(c.w // s):
            key = b''.join(r[ox * s:ox * s + s] for r in sub)
            if key not in cache:
                avg = tuple(sum(INK_RGB[ink][ch] for ink in key) / len(key) for ch in range(3))
                cache[key] = nearest(palette, avg)
            out.append(cache[key])
        rows.append(out)
    return rows


# ----- file formats

def bmp_bytes(rows, palette):
    """8-bit bottom-up BMP with a 256-entry colour table; rows padded to 4 bytes."""
    w, h = len(rows[0]), len(rows)
    stride = (w + 3) & ~3
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    pixels = b''.join(bytes(row) + bytes(stride - w) for row in reversed(rows))
    off = 14 + 40 + len(table)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(pixels), 0, 0, 0, 0)
    return struct.pack('<2sIHHI', b'BM', off + len(pixels), 0, 0, off) + info + table + pixels


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
V_BLACK, V_OLIVE, V_YELLOW, V_WHITE = 0, 3, 11, 15


def icon_picture(n):
    """A small white card with a gold coin; None marks transparent pixels."""
    k = n // 16
    x0, x1, r = 2 * k, 14 * k, 2.0 * k
    centre, coin_r = n / 2, n / 4

    def pixel(x, y):
        d = rounded_rect_distance(x + 0.5, y + 0.5, x0, 0, x1, n, r)
        dc = math.hypot(x + 0.5 - centre, y + 0.5 - centre)
        if d > 0:
            return None
        if d > -1:
            return V_BLACK
        if dc > coin_r:
            return V_WHITE
        ring = dc > coin_r - 1 or (dc <= 1 if k == 1 else abs(dc - 0.45 * coin_r) < 0.6)
        return V_OLIVE if ring else V_YELLOW
    return [[pixel(x, y) for x in range(n)] for y in range(n)]


def icon_image(rows):
    """BITMAPINFOHEADER + 16 colours + 4-bit XOR bitmap + 1-bit AND mask, bottom-up."""
    n = len(rows)
    xor_stride, and_stride = (n * 4 + 31) // 32 * 4, (n + 31) // 32 * 4
    xor, mask = b'', b''
    for row in reversed(rows):
        idx = [0 if p is None else p for p in row]
        line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, n, 2))
        xor += line + bytes(xor_stride - len(line))
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is None)
        line = bits.to_bytes(n // 8, 'big')
        mask += line + bytes(and_stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in VGA16)
    return info + table + xor + mask


def ico_bytes(sizes):
    images = [icon_image(icon_picture(n)) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    return out + b''.join(images)


def tap_samples(count=3461, rate=22050):
    """A soft card-on-table tap: band-limited noise plus a low thump, with a
    short fade-in, exponential decay and a fade-out to exact silence."""
    seed = 0x2000
    lp1 = lp2 = slow = 0.0
    a_hi, a_lo = math.exp(-2 * math.pi * 2800 / rate), math.exp(-2 * math.pi * 250 / rate)
    attack, fade = int(0.004 * rate), int(0.02 * rate)
    raw = []
    for n in range(count):
        seed = (1664525 * seed + 1013904223) & 0xFFFFFFFF      # fixed LCG noise
        noise = seed / 2147483648.0 - 1.0
        lp1 = (1 - a_hi) * noise + a_hi * lp1
        lp2 = (1 - a_hi) * lp1 + a_hi * lp2
        slow = (1 - a_lo) * lp2 + a_lo * slow
        t = n / rate
        value = (lp2 - slow) * math.exp(-t / 0.018) + 0.25 * math.sin(2 * math.pi * 150 * t) * math.exp(-t / 0.03)
        env = 0.5 - 0.5 * math.cos(math.pi * min(n, attack) / attack)
        if n >= count - fade:
            env *= 0.5 + 0.5 * math.cos(math.pi * (n - (count - fade) + 1) / fade)
        raw.append(value * env)
    scale = 0.55 * 32767 / max(abs(v) for v in raw)
    return [int(round(v * scale)) for v in raw]


def wav_bytes(samples, rate=22050):
    data = struct.pack('<%dh' % len(samples), *samples)
    fmt = struct.pack('<HHIIHH', 1, 1, rate, rate * 2, 2, 16)
    return (struct.pack('<4sI4s', b'RIFF', 4 + 8 + len(fmt) + 8 + len(data), b'WAVE') +
            struct.pack('<4sI', b'fmt ', len(fmt)) + fmt + struct.pack('<4sI', b'data', len(data)) + data)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description='Generate the card bitmaps, icons and sound.')
    parser.add_argument('--out', metavar='DIR',
                        help='write DIR/resources/... instead of into this repository')
    args = parser.parse_args()
    root = args.out or os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    res = os.path.join(root, 'resources')
    palette, cache = build_palette(), {}
    for value in range(1, 41):
        rows = reduce_to_palette(draw_card_face(value), palette, cache)
        write(os.path.join(res, 'cards', '%02d.bmp' % value), bmp_bytes(rows, palette))
    rows = reduce_to_palette(draw_card_back(), palette, cache)
    write(os.path.join(res, 'cards', 'back.bmp'), bmp_bytes(rows, palette))
    write(os.path.join(res, 'icons', 'large.ico'), ico_bytes([32, 16]))
    write(os.path.join(res, 'icons', 'small.ico'), ico_bytes([16]))
    write(os.path.join(res, 'move.wav'), wav_bytes(tap_samples()))


if __name__ == '__main__':
    main()
