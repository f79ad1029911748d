"""The drawings of Orvenna 2000's cards, in the Italian regional style.

A card is painted in ink numbers on a canvas of SS x SS sub-pixels for each
of its 62 x 100 pixels; make_resources.py averages them into antialiased
pixels and maps those to the cards' shared 256-colour palette. Shapes are
polygons, ellipses and thick lines given in card pixels (y down); the suit
symbols are drawn in their own unit size and placed by a similarity
transform. A group of shapes can share one dark outline, as on printed cards.
"""
import math


class Canvas:
    """A grid of ink numbers at `scale` sub-pixels per card pixel; shapes are
    given in card pixels and a sub-pixel takes a shape's ink when its centre
    lies inside the shape."""

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

    def ellipse(self, cx, cy, rx, ry, ink, angle=0.0):
        if rx <= 0 or ry <= 0:
            return
        if angle == 0.0:
            for j, y in self.rows(cy - ry, cy + ry):
                t = 1.0 - ((y - cy) / ry) ** 2
                if t > 0:
                    half = rx * math.sqrt(t)
                    self.span(j, cx - half, cx + half, ink)
            return
        c, s = math.cos(angle), math.sin(angle)
        a = c * c / rx ** 2 + s * s / ry ** 2
        b = 2 * c * s * (1 / rx ** 2 - 1 / ry ** 2)
        cc = s * s / rx ** 2 + c * c / ry ** 2
        hy = math.sqrt((rx * s) ** 2 + (ry * c) ** 2)
        for j, y in self.rows(cy - hy, cy + hy):
            dy = y - cy
            disc = (b * dy) ** 2 - 4 * a * (cc * dy * dy - 1)
            if disc > 0:
                r = math.sqrt(disc)
                self.span(j, cx + (-b * dy - r) / (2 * a), cx + (-b * dy + r) / (2 * a), ink)

    def polygon(self, contours, ink):
        """Even-odd fill of one or more closed contours."""
        ys = [p[1] for pts in contours for p in pts]
        edges = []
        for pts in contours:
            for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
                if y0 != y1:
                    edges.append((x0, y0, x1, y1))
        for j, y in self.rows(min(ys), max(ys)):
            xs = sorted(x0 + (y - y0) * (x1 - x0) / (y1 - y0)
                        for x0, y0, x1, y1 in edges if (y0 <= y) != (y1 <= y))
            for a, b in zip(xs[0::2], xs[1::2]):
                self.span(j, a, b, ink)

    def capsule(self, x0, y0, x1, y1, r, ink):
        length = math.hypot(x1 - x0, y1 - y0)
        if length > 1e-9:
            nx, ny = -(y1 - y0) / length * r, (x1 - x0) / length * r
            self.polygon([[(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]], ink)
        self.ellipse(x0, y0, r, r, ink)
        if length > 1e-9:
            self.ellipse(x1, y1, r, r, ink)


# ----- shapes: tuples whose last item is the ink
#   ('poly', [contour, ...], ink)          closed contours, even-odd
#   ('ell', cx, cy, rx, ry, angle, ink)
#   ('line', [points], r, ink)             a polyline r thick on each side, round ends

def poly(pts, ink):
    return ('poly', [list(pts)], ink)


def ell(cx, cy, rx, ry, ink, angle=0.0):
    return ('ell', cx, cy, rx, ry, angle, ink)


def circle(cx, cy, r, ink):
    return ('ell', cx, cy, r, r, 0.0, ink)


def line(pts, r, ink):
    return ('line', list(pts), r, ink)


def rect(x0, y0, x1, y1, ink):
    return poly([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], ink)


def bezier(p0, p1, p2, p3, n=12):
    """Points of a cubic Bezier curve, both ends included."""
    out = []
    for k in range(n + 1):
        t = k / n
        u = 1 - t
        out.append((u ** 3 * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t ** 3 * p3[0],
                    u ** 3 * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t ** 3 * p3[1]))
    return out


def path(*segments):
    """Joins point lists, dropping each repeated joint."""
    out = []
    for seg in segments:
        for p in seg:
            if not out or abs(out[-1][0] - p[0]) > 1e-9 or abs(out[-1][1] - p[1]) > 1e-9:
                out.append(p)
    if len(out) > 1 and abs(out[0][0] - out[-1][0]) < 1e-9 and abs(out[0][1] - out[-1][1]) < 1e-9:
        out.pop()
    return out


def mirror_x(pts, cx=0.0):
    """The points mirrored about the vertical line x = cx, in reverse order."""
    return [(2 * cx - x, y) for x, y in reversed(pts)]


def sym(half, cx=0.0):
    """A contour symmetric about x = cx from its right half (top to bottom)."""
    return path(half, mirror_x(half, cx))


def scale_x(shapes, f):
    """Narrows (f < 1) shapes horizontally about x = 0; tilted ellipses and
    line widths keep their size and only move."""
    out = []
    for sh in shapes:
        if sh[0] == 'poly':
            out.append(('poly', [[(x * f, y) for x, y in pts] for pts in sh[1]], sh[2]))
        elif sh[0] == 'ell':
            _, cx, cy, rx, ry, ang, ink = sh
            out.append(('ell', cx * f, cy, rx * f if ang == 0.0 else rx, ry, ang, ink))
        else:
            out.append(('line', [(x * f, y) for x, y in sh[1]], sh[2], sh[3]))
    return out


class Xf:
    """A similarity transform: scale, rotate (radians, clockwise on screen), move."""

    def __init__(self, x=0.0, y=0.0, scale=1.0, angle=0.0, flip=False):
        self.x, self.y, self.k, self.a, self.flip = x, y, scale, angle, flip
        self.c, self.s = math.cos(angle) * scale, math.sin(angle) * scale

    def pt(self, p):
        px, py = (-p[0] if self.flip else p[0]), p[1]
        return (self.x + self.c * px - self.s * py, self.y + self.s * px + self.c * py)

    def shape(self, sh):
        kind = sh[0]
        if kind == 'poly':
            return ('poly', [[self.pt(p) for p in pts] for pts in sh[1]], sh[2])
        if kind == 'ell':
            _, cx, cy, rx, ry, ang, ink = sh
            x, y = self.pt((cx, cy))
            return ('ell', x, y, rx * self.k, ry * self.k, (-ang if self.flip else ang) + self.a, ink)
        _, pts, r, ink = sh
        return ('line', [self.pt(p) for p in pts], r * self.k, ink)

    def all(self, shapes):
        return [self.shape(sh) for sh in shapes]


def paint(c, sh, grow, ink):
    kind = sh[0]
    if kind == 'ell':
        _, cx, cy, rx, ry, ang, _ = sh
        c.ellipse(cx, cy, rx + grow, ry + grow, ink, ang)
    elif kind == 'line':
        _, pts, r, _ = sh
        if len(pts) == 1:
            c.ellipse(pts[0][0], pts[0][1], r + grow, r + grow, ink)
        for p, q in zip(pts, pts[1:]):
            c.capsule(p[0], p[1], q[0], q[1], r + grow, ink)
    else:
        c.polygon(sh[1], ink)
        if grow:
            for pts in sh[1]:
                for p, q in zip(pts, pts[1:] + pts[:1]):
                    c.capsule(p[0], p[1], q[0], q[1], grow, ink)


def draw(c, shapes, outline=0.0, outline_ink=None):
    """Draws a group of shapes: first their common silhouette grown by
    `outline` in the outline ink, then each shape's own fill in order."""
    if outline:
        for sh in shapes:
            paint(c, sh, outline, outline_ink)
    for sh in shapes:
        paint(c, sh, 0.0, sh[-1])


def circle_pts(cx, cy, r, n=48, ry=None):
    ry = r if ry is None else ry
    return [(cx + r * math.cos(2 * math.pi * k / n), cy + ry * math.sin(2 * math.pi * k / n)) for k in range(n)]


def ring(cx, cy, r0, r1, ink):
    return ('poly', [circle_pts(cx, cy, r1), circle_pts(cx, cy, r0)], ink)


# ----- inks: drawings paint ink numbers; the palette is chosen from them

INKS = [
    ('WHITE', (255, 255, 255)),     # card ground
    ('TABLE', (160, 0, 0)),         # outside the rounded corners: the table
    ('DARK', (34, 28, 26)),         # outlines, border, rank marks
    ('GOLD', (246, 196, 52)),
    ('GOLD_D', (188, 124, 28)),
    ('GOLD_L', (255, 236, 152)),
    ('RED', (206, 38, 42)),
    ('RED_D', (134, 22, 32)),
    ('BLUE', (46, 94, 186)),
    ('BLUE_D', (28, 54, 122)),
    ('STEEL', (166, 188, 216)),
    ('STEEL_L', (234, 240, 248)),
    ('GREEN', (54, 146, 70)),
    ('GREEN_D', (26, 92, 46)),
    ('PURPLE', (128, 64, 152)),
    ('PURPLE_D', (80, 36, 104)),
    ('BROWN', (172, 108, 52)),
    ('BROWN_D', (100, 58, 28)),
    ('BROWN_L', (216, 166, 104)),
    ('SKIN', (250, 214, 180)),
    ('SKIN_D', (224, 160, 128)),
    ('GREY_L', (204, 204, 210)),
    ('GREY_M', (140, 140, 150)),
    ('GREY_D', (76, 76, 86)),
]
INK_RGB = [rgb for _, rgb in INKS]
(WHITE, TABLE, DARK, GOLD, GOLD_D, GOLD_L, RED, RED_D, BLUE, BLUE_D, STEEL, STEEL_L,
 GREEN, GREEN_D, PURPLE, PURPLE_D, BROWN, BROWN_D, BROWN_L, SKIN, SKIN_D,
 GREY_L, GREY_M, GREY_D) = range(len(INKS))

SMALL, PIP, ACE = 0, 1, 2       # how much detail a suit symbol carries


# ----- suit symbols, in their own units: 1 tall, centred on (0, 0), y down.
# Each returns layers: (shapes, outlined) drawn in order.

def coin(detail, h):
    """A gold coin: a rosette inside a ring; the ace's beaded, with leaves."""
    if detail == SMALL:
        return [([circle(0, 0, 0.5, GOLD), ring(0, 0, 0.26, 0.36, GOLD_D), circle(0, 0, 0.12, RED)], True)]
    if detail == PIP:
        petals = [ell(0.19 * math.cos(a), 0.19 * math.sin(a), 0.13, 0.065, RED, a)
                  for a in (k * math.pi / 2 + math.pi / 4 for k in range(4))]
        return [([circle(0, 0, 0.5, GOLD), ring(0, 0, 0.34, 0.40, GOLD_D)], True),
                (petals, True),
                ([circle(0, 0, 0.075, GOLD_L)], True)]
    beads = [circle(0.445 * math.cos(a), 0.445 * math.sin(a), 0.022, GOLD_D)
             for a in (k * math.pi / 12 for k in range(24))]
    petals = [ell(0.2 * math.cos(a), 0.2 * math.sin(a), 0.14, 0.055, RED, a)
              for a in (k * math.pi / 4 for k in range(8))]
    leaves = [ell(0.22 * math.cos(a), 0.22 * math.sin(a), 0.075, 0.03, GREEN, a)
              for a in (k * math.pi / 4 + math.pi / 8 for k in range(8))]
    return [([circle(0, 0, 0.5, GOLD), ring(0, 0, 0.37, 0.395, GOLD_D)] + beads, True),
            (leaves, True),
            (petals, True),
            ([circle(0, 0, 0.08, GOLD_L), circle(0, 0, 0.03, RED)], True)]


def _bowl_half():
    """Right half of a cup's bowl, from the rim's middle down to the stem."""
    return path([(0, -0.36), (0.34, -0.36)], bezier((0.34, -0.36), (0.35, -0.1), (0.22, 0.05), (0.05, 0.08)),
                [(0, 0.08)])


def _below(half, yc, bumps):
    """The part of a symmetric contour below y = yc, its top edge scalloped upwards."""
    right = [p for p in half if p[1] > yc]
    wx = None
    for p, q in zip(half, half[1:]):
        if (p[1] - yc) * (q[1] - yc) <= 0 and p[1] != q[1]:
            wx = p[0] + (yc - p[1]) * (q[0] - p[0]) / (q[1] - p[1])
    top = []
    n = 8 * bumps
    for k in range(n + 1):
        x = -wx + 2 * wx * k / n
        phase = (k % 8) / 8
        top.append((x, yc - 0.05 * math.sin(math.pi * phase)))
    return path(top, right, mirror_x(right))


def cup(detail, h):
    """A goblet: red bowl in a scalloped gold calyx on a knopped stem; the ace's with handles and jewels."""
    half = _bowl_half()
    bowl = ('poly', [sym(half)], RED)
    foot = poly(sym(path([(0, 0.34), (0.05, 0.34)], bezier((0.05, 0.34), (0.08, 0.43), (0.24, 0.42), (0.27, 0.47)),
                         [(0.27, 0.5), (0, 0.5)])), GOLD)
    stem = rect(-0.045, 0.05, 0.045, 0.37, GOLD)
    if detail == SMALL:
        return [([foot, stem, bowl, ell(0, -0.36, 0.35, 0.07, GOLD)], True)]
    knop = ell(0, 0.2, 0.1, 0.05, GOLD)
    calyx = ('poly', [_below(half, -0.1, 3)], GOLD)
    rim = ell(0, -0.37, 0.36, 0.065, GOLD)
    mouth = ell(0, -0.375, 0.28, 0.035, RED_D)
    layers = [([foot, stem, knop], True), ([bowl], True), ([calyx], True), ([rim], True), ([mouth], False)]
    if detail == ACE:
        handles = [line(bezier((0.3, -0.3), (0.52, -0.3), (0.5, -0.05), (0.25, 0.0), 10), 0.03, GOLD),
                   line(bezier((-0.3, -0.3), (-0.52, -0.3), (-0.5, -0.05), (-0.25, 0.0), 10), 0.03, GOLD)]
        jewels = [ell(x, -0.1 * abs(x), 0.035, 0.03, BLUE) for x in (-0.15, 0.0, 0.15)]
        band = rect(-0.3, -0.27, 0.3, -0.24, GOLD)
        layers = ([(handles, True)] + layers[:2] + [([band], True)] + layers[2:] +
                  [(jewels, True), ([ell(0, 0.2, 0.06, 0.025, GOLD_L)], False),
                   ([ell(0, -0.44, 0.05, 0.04, GOLD)], False)])
    return layers


def baton(detail, h):
    """A knotty wooden club with cut branches sprouting leaves; the ace's bound with a red ribbon."""
    body = poly(sym(path([(0, -0.5)], bezier((0, -0.5), (0.09, -0.5), (0.14, -0.43), (0.13, -0.33)),
                         bezier((0.13, -0.33), (0.12, -0.22), (0.085, -0.12), (0.08, 0.05)),
                         [(0.055, 0.42)], bezier((0.055, 0.42), (0.055, 0.48), (0.03, 0.5), (0, 0.5)))), BROWN)
    if detail == SMALL:     # a corner mark: a stouter club
        return [(scale_x([body], 1.5), True)]
    stubs = [line([(0.09, -0.1), (0.18, -0.2)], 0.03, BROWN), line([(-0.08, 0.12), (-0.17, 0.04)], 0.028, BROWN)]
    ends = [ell(0.18, -0.2, 0.03, 0.03, BROWN_L), ell(-0.17, 0.04, 0.028, 0.028, BROWN_L)]
    knots = [ell(-0.03, -0.32, 0.03, 0.022, BROWN_D), ell(0.035, -0.02, 0.025, 0.02, BROWN_D),
             ell(-0.02, 0.26, 0.02, 0.016, BROWN_D)]
    gloss = [line([(-0.075, -0.38), (-0.06, -0.15), (-0.035, 0.36)], 0.018, BROWN_L)]
    leaves = [ell(0.25, -0.2, 0.085, 0.035, GREEN, -0.5), ell(-0.24, 0.07, 0.08, 0.033, GREEN, 0.45)]
    layers = [(stubs, True), ([body], True), (ends + knots + gloss, False), (leaves, True)]
    if detail == PIP:   # long pips keep a club's thickness rather than its proportions
        f = min(1.0, (2.6 + 0.025 * h) / (0.13 * h))
        layers = [(scale_x(shapes, f), outlined) for shapes, outlined in layers]
    if detail == ACE:
        sprigs = [ell(0.18, -0.36, 0.09, 0.035, GREEN, -0.9), ell(-0.19, -0.3, 0.085, 0.033, GREEN, 0.8),
                  ell(0.16, 0.2, 0.08, 0.03, GREEN, -0.4)]
        ribbon = [poly([(-0.09, -0.06), (0.09, -0.12), (0.09, -0.07), (-0.09, -0.01)], RED),
                  poly([(-0.08, 0.16), (0.075, 0.1), (0.07, 0.15), (-0.075, 0.21)], RED)]
        layers = layers[:3] + [(ribbon, True), (leaves + sprigs, True)]
    return layers


def sword(detail, h):
    """A straight sword with a gold guard; the ace's with curled quillons inside a laurel wreath."""
    blade = poly([(0, -0.5), (0.06, -0.37), (0.06, 0.17), (-0.06, 0.17), (-0.06, -0.37)], STEEL)
    guard = [rect(-0.2, 0.165, 0.2, 0.215, GOLD), circle(0.205, 0.19, 0.038, GOLD), circle(-0.205, 0.19, 0.038, GOLD)]
    grip = rect(-0.035, 0.2, 0.035, 0.41, BROWN)
    pommel = circle(0, 0.45, 0.052, GOLD)
    if detail == SMALL:
        return [([blade, grip, pommel] + guard, True)]
    shine = poly([(0, -0.49), (0, 0.17), (-0.06, 0.17), (-0.06, -0.37)], STEEL_L)
    ridge = line([(0, -0.42), (0, 0.14)], 0.01, BLUE)
    layers = [([blade], True), ([shine, ridge], False), ([grip, pommel], True), (guard, True)]
    if detail == PIP:
        f = min(1.0, (1.8 + 0.02 * h) / (0.06 * h))
        layers = [(scale_x(shapes, f), outlined) for shapes, outlined in layers]
    if detail == ACE:
        wraps = [line([(-0.035, y), (0.035, y - 0.03)], 0.008, BROWN_D) for y in (0.27, 0.31, 0.35, 0.39)]
        quillons = [line(bezier((0.2, 0.19), (0.3, 0.19), (0.31, 0.1), (0.25, 0.09), 8), 0.022, GOLD),
                    line(bezier((-0.2, 0.19), (-0.3, 0.19), (-0.31, 0.1), (-0.25, 0.09), 8), 0.022, GOLD)]
        wreath, stems = [], []
        for side in (1, -1):
            ctrl = ((side * 0.03, 0.12), (side * 0.34, 0.08), (side * 0.3, -0.3), (side * 0.07, -0.38))
            pts = bezier(*ctrl, 16)
            stems.append(line(pts, 0.012, GREEN_D))
            for n, t in enumerate((0.12, 0.3, 0.48, 0.66, 0.84)):
                k = int(t * 16)
                (x0, y0), (x1, y1) = pts[k], pts[k + 1]
                ang = math.atan2(y1 - y0, x1 - x0)
                turn = 0.7 if n % 2 else -0.7
                wreath.append(ell(x0 + 0.045 * math.cos(ang + turn), y0 + 0.045 * math.sin(ang + turn),
                                  0.055, 0.021, GREEN, ang + turn))
        bow = [ell(-0.05, 0.125, 0.045, 0.03, RED, 0.4), ell(0.05, 0.125, 0.045, 0.03, RED, -0.4),
               line([(0.0, 0.13), (-0.06, 0.2)], 0.015, RED), line([(0.0, 0.13), (0.06, 0.2)], 0.015, RED)]
        layers = ([(quillons, True)] + layers[:3] + [(wraps, False), (guard, True), (stems, False), (wreath, True),
                                                     (bow, True),
                                                     ([circle(0, 0.45, 0.022, RED), circle(0, 0.19, 0.025, RED)], False)])
    return layers


SUITS = [baton, cup, coin, sword]


def place(c, suit, detail, x, y, h, angle=0.0, outline=0.6, flip=False):
    """Draws a suit symbol h pixels tall centred on (x, y), turned by angle."""
    xf = Xf(x, y, h, angle, flip)
    for shapes, outlined in SUITS[suit](detail, h):
        draw(c, xf.all(shapes), outline if outlined else 0.0, DARK)


# ----- pip layouts

def cross(c, suit, x, y, length, spread, outline=0.6):
    """Two symbols crossed at (x, y), tops apart."""
    place(c, suit, PIP, x, y, length, -spread, outline)
    place(c, suit, PIP, x, y, length, spread, outline)


def draw_pips(c, suit, rank):
    """Two to seven symbols: cups and coins in rows, batons and swords crossed."""
    if suit in (1, 2):          # cups and coins stand in rows
        coin_h = {2: 28, 3: 24, 4: 22, 5: 21, 6: 20, 7: 18}
        cup_h = {2: 30, 3: 25, 4: 25, 5: 23, 6: 22, 7: 20}
        spots = {
            2: [(31, 29), (31, 71)],
            3: [(31, 21), (31, 50), (31, 79)],
            4: [(20, 29), (42, 29), (20, 71), (42, 71)],
            5: [(20, 25), (42, 25), (31, 50), (20, 75), (42, 75)],
            6: [(20, 21), (42, 21), (20, 50), (42, 50), (20, 79), (42, 79)],
            7: [(18, 19), (44, 19), (31, 34.5), (18, 50), (44, 50), (18, 81), (44, 81)],
        }[rank]
        h = (cup_h if suit == 1 else coin_h)[rank]
        if suit == 2 and rank == 2:     # a leafy vine joins the two coins
            stem = bezier((31, 41), (24, 47), (38, 53), (31, 59), 12)
            layer(c, [line(stem, 0.45, GREEN_D)], 0.35)
            leaves = [ell(27.5, 47, 2.6, 1.1, GREEN, 0.5), ell(34.5, 53, 2.6, 1.1, GREEN, 0.5),
                      ell(34, 45.5, 2.2, 1.0, GREEN, -0.6), ell(28, 54.5, 2.2, 1.0, GREEN, -0.6)]
            layer(c, leaves, 0.45)
        for x, y in spots:
            place(c, suit, PIP, x, y, h)
        return
    # batons and swords cross in pairs; odd ones stand upright
    if rank in (2, 3):
        cross(c, suit, 31, 50, 74, 0.36 if rank == 2 else 0.47)
        if rank == 3:
            place(c, suit, PIP, 31, 50, 72)
    elif rank in (4, 6):
        ys = [29, 71] if rank == 4 else [21, 50, 79]
        for y in ys:
            cross(c, suit, 31, y, 42 if rank == 4 else 31, 0.52 if rank == 4 else 0.6)
    else:
        cross(c, suit, 31, 22, 36, 0.55)
        cross(c, suit, 31, 78, 36, 0.55)
        for x in ([31] if rank == 5 else [18, 31, 44]):
            place(c, suit, PIP, x, 50, 24)


# ----- the whole card

CARD_W, CARD_H = 62, 100
SS = 8                  # sub-pixels per card pixel in each direction
CORNER_RADIUS = 3.5

# 5x7 pixel letters of the rank marks: A, 2..7, F (Fante), C (Cavallo), R (Re).
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


def draw_glyph(c, rank, x, y, ink):
    for j, row in enumerate(FONT[rank].split()):
        for i, bit in enumerate(row):
            if bit == '#':
                c.polygon([[(x + i, y + j), (x + i + 1, y + j), (x + i + 1, y + j + 1), (x + i, y + j + 1)]], ink)


def rounded_rect_distance(x, y, x0, y0, x1, y1, r):
    """Signed distance from (x, y) to a rounded rectangle: > 0 outside."""
    qx = abs(x - (x0 + x1) / 2) - ((x1 - x0) / 2 - r)
    qy = abs(y - (y0 + y1) / 2) - ((y1 - y0) / 2 - r)
    return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r


def draw_card_edge(c, width=1.0):
    """The thin dark rounded border, and the table colour outside it."""
    band = 5 * c.s
    for j in range(c.h):
        y = (j + 0.5) / c.s
        edge_row = j < band or j >= c.h - band
        for i in (range(c.w) if edge_row else [*range(band), *range(c.w - band, c.w)]):
            d = rounded_rect_distance((i + 0.5) / c.s, y, 0, 0, CARD_W, CARD_H, CORNER_RADIUS)
            if d > 0:
                c.px[j * c.w + i] = TABLE
            elif d > -width:
                c.px[j * c.w + i] = DARK


def draw_index(c, suit, rank):
    draw_glyph(c, rank, 3, 3, DARK)
    place(c, suit, SMALL, 5.5, 16.5, (10.5, 8.5, 8.5, 10.5)[suit], outline=0.5)


def draw_card_face(value):
    """Ace: one large ornamented symbol; 2..7: pips; 8..10: a figure."""
    suit, rank = (value - 1) // 10, (value - 1) % 10 + 1
    c = Canvas(CARD_W, CARD_H, SS, WHITE)
    if rank == 1:
        draw_ace(c, suit)
    elif rank <= 7:
        draw_pips(c, suit, rank)
    else:
        (draw_jack, draw_knight, draw_king)[rank - 8](c, suit)
    draw_index(c, suit, rank)
    draw_card_edge(c)
    return c


def draw_ace(c, suit):
    if suit == 0:
        place(c, 0, ACE, 32, 51, 80, 0.12, 0.8)
    elif suit == 1:
        place(c, 1, ACE, 31, 52, 62, 0, 0.8)
    elif suit == 2:         # the coin shines: pointed rays between little leaves
        rays = []
        for k in range(16):
            a = 2 * math.pi * k / 16
            r0, r1, half = 23.0, 27.5 if k % 2 == 0 else 25.5, 0.11
            rays.append(poly([(31 + r0 * math.cos(a - half), 50 + r0 * math.sin(a - half)),
                              (31 + r1 * math.cos(a), 50 + r1 * math.sin(a)),
                              (31 + r0 * math.cos(a + half), 50 + r0 * math.sin(a + half))], GOLD))
        layer(c, rays, 0.5)
        place(c, 2, ACE, 31, 50, 46, 0, 0.8)
    else:
        place(c, 3, ACE, 31, 52, 82, 0, 0.8)


# ----- court cards: the jack and the king stand, the knight rides

CLOTHES = [(GREEN, GREEN_D, RED), (RED, RED_D, BLUE), (BLUE, BLUE_D, RED), (PURPLE, PURPLE_D, GREEN)]


def layer(c, shapes, outline=0.6):
    draw(c, shapes, outline, DARK)


def face(c, x, y, beard=None, hair=BROWN_D, young=False):
    """A head centred on (x, y): hair behind, face, eyes, and for kings a beard."""
    if young:       # hair to the jaw, a fringe on the forehead
        layer(c, [poly(path(bezier((x - 5.8, y + 3.5), (x - 7.2, y - 5), (x - 4, y - 7.4), (x, y - 7.4), 8),
                            bezier((x, y - 7.4), (x + 4, y - 7.4), (x + 7.2, y - 5), (x + 5.8, y + 3.5), 8)), hair)])
    else:
        layer(c, [ell(x, y + 0.5, 5.9, 6.2, hair)])
    layer(c, [ell(x, y, 4.6, 5.6, SKIN)])
    if young:
        layer(c, [poly(path(bezier((x - 4.6, y - 1.5), (x - 4.6, y - 6), (x + 4.6, y - 6), (x + 4.6, y - 1.5), 8),
                            [(x + 2, y - 3), (x - 1, y - 2.4)]), hair)], 0)
    eyes = [ell(x - 1.8, y - 0.4, 0.6, 0.7, DARK), ell(x + 1.8, y - 0.4, 0.6, 0.7, DARK)]
    brows = [line([(x - 2.8, y - 1.9), (x - 1.0, y - 2.1)], 0.28, hair),
             line([(x + 1.0, y - 2.1), (x + 2.8, y - 1.9)], 0.28, hair)]
    nose = [line([(x + 0.2, y - 0.4), (x + 0.5, y + 1.5), (x - 0.3, y + 1.7)], 0.3, SKIN_D)]
    cheeks = [ell(x - 2.6, y + 1.7, 1.0, 0.7, SKIN_D), ell(x + 2.6, y + 1.7, 1.0, 0.7, SKIN_D)]
    layer(c, cheeks + nose + eyes + brows, 0)
    if beard is None:
        layer(c, [line([(x - 1.0, y + 3.3), (x + 1.0, y + 3.3)], 0.35, RED_D)], 0)
    else:
        layer(c, [poly(sym(path([(x, y + 2.2), (x + 2.0, y + 2.0), (x + 4.4, y + 0.5), (x + 4.6, y + 3.0)],
                                bezier((x + 4.6, y + 3.0), (x + 4.4, y + 6.5), (x + 2.0, y + 8.5), (x, y + 9.5), 6)), x),
                       beard)], 0.5)
        layer(c, [line([(x - 2.6, y + 2.9), (x - 0.4, y + 2.3), (x + 0.4, y + 2.3), (x + 2.6, y + 2.9)], 0.55, beard),
                  line([(x - 0.8, y + 4.2), (x + 0.8, y + 4.2)], 0.35, RED_D)], 0)


def plume(x0, y0, x1, y1, bend, width, ink):
    """A feather from (x0, y0) to (x1, y1), curved sideways by `bend`."""
    mx, my = (x0 + x1) / 2, (y0 + y1) / 2
    dx, dy = x1 - x0, y1 - y0
    n = math.hypot(dx, dy)
    nx, ny = -dy / n, dx / n
    cx, cy = mx + nx * bend, my + ny * bend
    left = bezier((x0, y0), (cx + nx * width, cy + ny * width), (cx + nx * width, cy + ny * width), (x1, y1), 10)
    right = bezier((x1, y1), (cx - nx * width, cy - ny * width), (cx - nx * width, cy - ny * width), (x0, y0), 10)
    return poly(path(left, right), ink)


def crown(c, x, y):
    """A gold crown whose band's lower edge is at y."""
    band = rect(x - 5.6, y - 3.2, x + 5.6, y, GOLD)
    points = poly([(x - 6.0, y - 2.6), (x - 6.4, y - 9.0), (x - 3.2, y - 5.0), (x, y - 10.2),
                   (x + 3.2, y - 5.0), (x + 6.4, y - 9.0), (x + 6.0, y - 2.6)], GOLD)
    balls = [circle(x - 6.4, y - 9.3, 0.9, GOLD), circle(x, y - 10.6, 0.9, GOLD), circle(x + 6.4, y - 9.3, 0.9, GOLD)]
    layer(c, [points, band] + balls)
    layer(c, [ell(x, y - 1.6, 0.9, 0.9, RED), ell(x - 3.4, y - 1.6, 0.7, 0.7, BLUE),
              ell(x + 3.4, y - 1.6, 0.7, 0.7, BLUE)], 0.35)


def ground(c, x, y, rx):
    """A patch of grass under a figure's feet."""
    layer(c, [ell(x, y, rx, 2.4, GREEN)], 0.5)
    layer(c, [line([(x + dx, y + 0.8), (x + dx + 0.6, y - 0.6)], 0.3, GREEN_D)
              for dx in (-rx * 0.8, -rx * 0.45, rx * 0.5, rx * 0.85)], 0)


def hand(x, y, r=1.7):
    return circle(x, y, r, SKIN)


def hold_symbol(c, suit, x, y, upright_top=None):
    """The suit symbol held in a hand at (x, y)."""
    if suit == 0:
        place(c, 0, PIP, x + 0.5, y - 9, 30, 0.2)
    elif suit == 3:
        place(c, 3, PIP, x, y - 10.5, 34, 0.0)
    elif suit == 1:
        place(c, 1, PIP, x, y - 7, 15)
    else:
        place(c, 2, PIP, x, y - 6.5, 15)
    layer(c, [hand(x, y)], 0.5)


def draw_king(c, suit):
    main, shade, second = CLOTHES[suit]
    ground(c, 31, 91.5, 15)
    # mantle behind the gown
    layer(c, [poly(path([(24, 31), (38, 31)], bezier((38, 31), (46, 44), (49, 70), (50, 89)),
                        [(12, 89)], bezier((12, 89), (13, 70), (16, 44), (24, 31))), second)])
    layer(c, [line([(15.5, 60), (14, 86)], 0.4, DARK), line([(46.5, 60), (48, 86)], 0.4, DARK)], 0)
    # shoes and gown
    layer(c, [ell(26, 91.2, 3.8, 1.8, BROWN_D), ell(36, 91.2, 3.8, 1.8, BROWN_D)])
    gown = poly(sym(path([(31, 31), (37.5, 31)], bezier((37.5, 31), (41, 45), (43, 70), (44.5, 90)),
                         [(31, 90.5)]), 31), main)
    layer(c, [gown])
    layer(c, [line([(24.5, 58), (22.5, 86)], 0.45, shade), line([(37.5, 58), (39.5, 86)], 0.45, shade),
              line([(27.5, 60), (27, 86)], 0.4, shade), line([(34.5, 60), (35, 86)], 0.4, shade)], 0)
    layer(c, [poly([(17.8, 85.5), (44.2, 85.5), (44.5, 90), (17.5, 90)], GOLD)], 0.45)
    layer(c, [poly([(29.3, 40), (32.7, 40), (33.2, 85.5), (28.8, 85.5)], GOLD)], 0.45)
    layer(c, [circle(31, y, 0.7, RED) for y in (45, 50, 60, 66, 72, 78)], 0.3)
    layer(c, [rect(21.5, 51.5, 40.5, 54.5, GOLD_D)], 0.45)
    # ermine collar
    layer(c, [poly(sym(path([(31, 29.5), (38, 29.5), (43, 33.5), (42, 37.5)],
                            bezier((42, 37.5), (38, 40), (34, 41), (31, 41), 6)), 31), WHITE)], 0.5)
    layer(c, [ell(x, y, 0.45, 0.75, DARK) for x, y in ((24, 34), (28, 37.5), (34, 37.5), (38, 34), (31, 34))], 0)
    # the arm at the viewer's left rests on the belt; the other holds the symbol
    layer(c, [line([(23.5, 36), (21, 46), (25, 53)], 2.4, main)])
    layer(c, [hand(26, 53.5)], 0.5)
    layer(c, [line([(38.5, 36), (42, 44), (44, 46)], 2.4, main)])
    face(c, 31, 22.5, beard=BROWN_D, hair=BROWN_D)
    crown(c, 31, 17.5)
    hold_symbol(c, suit, 45, 45)


def draw_jack(c, suit):
    main, shade, second = CLOTHES[suit]
    ground(c, 31, 91.5, 12)
    # legs in hose, shoes
    layer(c, [line([(27.5, 64), (27, 89)], 2.3, second), line([(34.5, 64), (35, 89)], 2.3, second)])
    layer(c, [ell(26.2, 90.8, 3.4, 1.7, BROWN_D), ell(35.8, 90.8, 3.4, 1.7, BROWN_D)])
    # short cloak behind, tunic
    layer(c, [poly([(23, 31), (31, 31), (24, 60), (15, 57)], second)])
    tunic = poly(sym(path([(31, 31), (37, 31)], bezier((37, 31), (39, 42), (41, 55), (42.5, 67)),
                          [(31, 68)]), 31), main)
    layer(c, [tunic])
    layer(c, [line([(27, 56), (25.5, 66)], 0.4, shade), line([(35, 56), (36.5, 66)], 0.4, shade),
              line([(31, 55), (31, 67.5)], 0.4, shade)], 0)
    layer(c, [poly([(20.2, 64.5), (41.8, 64.5), (42.5, 67.5), (19.5, 67.5)], GOLD)], 0.45)
    layer(c, [rect(22.5, 50.5, 39.5, 53, BROWN_D)], 0.45)
    layer(c, [rect(29.8, 50.2, 32.2, 53.3, GOLD)], 0.35)
    layer(c, [poly(sym(path([(31, 30), (35.5, 30), (33.5, 35)], [(31, 37)]), 31), WHITE)], 0.45)
    # puffed sleeves and arms
    layer(c, [line([(24, 35), (21.5, 45), (21, 54)], 2.2, main), ell(23.5, 35, 3.3, 3, second)])
    layer(c, [hand(21, 55.5)], 0.5)
    layer(c, [line([(38, 35), (42, 43), (44.5, 45.5)], 2.2, main), ell(38.5, 35, 3.3, 3, second)])
    face(c, 31, 22.5, hair=GOLD_D, young=True)
    # beret with a feather
    layer(c, [plume(34, 15.5, 43, 4, -1.5, 2.2, WHITE)], 0.5)
    layer(c, [ell(30.5, 16.5, 7.4, 2.8, second, -0.12), ell(30.5, 18.2, 6, 1.1, shade, -0.12)])
    hold_symbol(c, suit, 45, 46)


def draw_knight(c, suit):
    main, shade, second = CLOTHES[suit]
    coat, mane = BROWN_L, BROWN_D
    ground(c, 30, 90.5, 21)
    # tail, far legs
    layer(c, [poly(path(bezier((13, 52), (6, 56), (7, 72), (9, 82), 10),
                        bezier((9, 82), (10, 72), (11, 62), (15, 56), 10)), mane)])
    far = [line([(38, 62), (36.8, 74)], 2.0, BROWN), line([(36.8, 74), (35.8, 87.5)], 1.3, BROWN),
           line([(21, 62), (22, 74)], 2.2, BROWN), line([(22, 74), (23, 87.5)], 1.3, BROWN)]
    layer(c, far)
    layer(c, [poly([(33.8, 87.2), (37.4, 87.2), (38, 90), (33.4, 90)], DARK),
              poly([(21.2, 87.2), (24.8, 87.2), (25.2, 90), (20.8, 90)], DARK)], 0)
    # body, neck, head, near legs
    neck = poly(path(bezier((33, 53), (35, 44), (40, 36), (45.5, 35), 8), [(49, 43)],
                     bezier((49, 43), (47, 49), (47, 55), (46, 61), 6)), coat)
    head = poly(path([(45, 35.2), (47.8, 34.6)], bezier((47.8, 34.6), (51, 37), (54, 42), (56.2, 46), 6),
                     bezier((56.2, 46), (56.6, 47.6), (55.6, 49.2), (53.8, 49), 4), [(52.5, 47.5)],
                     bezier((52.5, 47.5), (50.5, 46.5), (48, 45), (46.5, 42), 6)), coat)
    body = [ell(29, 59, 14, 7.5, coat), ell(17.5, 57.5, 7, 8, coat), ell(40.5, 57, 6.5, 8, coat), neck, head,
            ell(49.3, 40.8, 3.0, 3.6, coat), poly([(45.6, 36), (46, 31.2), (48.2, 35.2)], coat)]
    near = [line([(42.5, 62), (43.5, 74)], 2.2, coat), line([(43.5, 74), (44, 87.5)], 1.4, coat),
            line([(16.5, 61), (14, 73)], 2.6, coat), line([(14, 73), (15.5, 87.5)], 1.4, coat)]
    layer(c, near + body)
    layer(c, [poly([(41.9, 87.2), (45.5, 87.2), (46.2, 90), (41.4, 90)], DARK),
              poly([(13.5, 87.2), (17.1, 87.2), (17.6, 90), (13, 90)], DARK)], 0)
    layer(c, [line(bezier((45.5, 35.5), (41, 37), (37, 43), (34.5, 52), 8), 1.3, mane),
              line([(46.8, 35.2), (48.2, 37.2)], 0.7, mane)], 0.4)
    layer(c, [ell(49.3, 39.2, 0.65, 0.6, DARK), ell(54.8, 46.6, 0.45, 0.35, DARK)], 0)
    # saddle cloth with a gold fringe; bridle
    layer(c, [poly([(21, 51), (39, 51), (38, 67), (22, 67)], main)])
    layer(c, [poly([(22, 66), (38, 66), (38, 68.3), (22, 68.3)], GOLD)], 0.4)
    layer(c, [line([(53.2, 46.8), (48.5, 43.5), (46, 38.5)], 0.35, DARK), line([(52.5, 46.5), (33, 46.5)], 0.3, DARK)], 0)
    # rider: leg, body, head, raised arm with the symbol
    layer(c, [line([(30, 52), (33.5, 60), (32.5, 70)], 2.1, second)])
    layer(c, [ell(33.5, 71.3, 3, 1.6, BROWN_D)])
    torso = poly([(25, 34), (35, 34), (36.5, 53), (24, 53)], main)
    layer(c, [torso])
    layer(c, [rect(24.2, 47, 36.3, 49.5, BROWN_D)], 0.4)
    layer(c, [line([(26, 36), (25, 44), (31, 47.5)], 2.1, main)])
    layer(c, [hand(32.5, 47.5)], 0.5)
    face(c, 30.5, 24.5, hair=BROWN_D, young=True)
    layer(c, [plume(30, 16, 20, 13, -2.5, 2.4, second)], 0.5)
    helmet = poly(path([(24.6, 23.5)], bezier((24.6, 23.5), (24, 17), (27, 15.2), (30.5, 15.2), 8),
                       bezier((30.5, 15.2), (34, 15.2), (37, 17), (36.4, 23.5), 8)), STEEL)
    layer(c, [helmet, rect(24.2, 20.6, 36.8, 22.8, STEEL)])
    layer(c, [line([(26.5, 18.4), (28.8, 16.6)], 0.5, STEEL_L), rect(30, 15.4, 31, 20.6, STEEL_L)], 0)
    layer(c, [line([(34.5, 36), (40, 30), (43, 25)], 2.1, main)])
    hold_symbol(c, suit, 43.5, 24)


def draw_card_back():
    """A grey diamond lattice with small rosettes where its lines cross, in a dark frame."""
    c = Canvas(CARD_W, CARD_H, SS, GREY_L)
    w, k = 10.0, 1.6                # diamond width, slope of the lattice lines

    def at(a, b):                   # where line a of one family crosses line b of the other
        return 31 + (a + b) * w / 2, 50 + k * (b - a) * w / 2
    for n in range(-12, 13):
        c.capsule(*at(n, -12), *at(n, 12), 0.45, GREY_M)
        c.capsule(*at(-12, n), *at(12, n), 0.45, GREY_M)
    for a in range(-12, 12):
        for b in range(-12, 12):
            x, y = at(a, b)
            if -4 < x < 66 and -4 < y < 104:
                for q in range(4):
                    ang = q * math.pi / 2
                    c.ellipse(x + 1.25 * math.cos(ang), y + 1.25 * math.sin(ang), 0.95, 0.95, GREY_D)
                c.ellipse(x, y, 0.7, 0.7, WHITE)
            x, y = at(a + 0.5, b + 0.5)
            c.ellipse(x, y, 1.5, 2.2, WHITE)
            c.ellipse(x, y, 0.7, 1.1, GREY_M)
    for x0, y0, x1, y1 in [(0, 0, 62, 5), (0, 95, 62, 100), (0, 0, 5, 100), (57, 0, 62, 100)]:
        c.polygon([[(x0, y0), (x1, y0), (x1, y1), (x0, y1)]], GREY_D)
    for x0, y0, x1, y1 in [(5, 5, 57, 6), (5, 94, 57, 95), (5, 5, 6, 95), (56, 5, 57, 95)]:
        c.polygon([[(x0, y0), (x1, y0), (x1, y1), (x0, y1)]], WHITE)
    draw_card_edge(c)
    return c
