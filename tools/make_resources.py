#!/usr/bin/python3
"""Generate the pictures and the move sound of Orvenna 2000.

Writes, below the repository root (or below --out DIR):
  resources/cards/01.bmp .. 40.bmp and resources/cards/back.bmp
  resources/icons/large.ico and resources/icons/small.ico
  resources/move.wav
  docs/contact-sheet.png      all 41 card pictures at twice their size, for review
With --contact-sheet it only redraws docs/contact-sheet.png from the stored
card pictures. Only the standard library is used and every run gives
byte-identical files.
"""
import argparse
import math
import os
import struct
import zlib

import card_art
from card_art import CARD_W, CARD_H, INK_RGB

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')


# ----- colour

def to_linear(v):
    v /= 255.0
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def from_linear(v):
    v = 12.92 * v if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055
    return 255.0 * min(1.0, max(0.0, v))


def lab(rgb):
    """CIE L*a*b* (D65) of an sRGB colour: distances in it follow what the eye sees."""
    r, g, b = (to_linear(v) for v in rgb)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883

    def f(t):
        return t ** (1 / 3) if t > 216 / 24389 else (24389 / 27 * t + 16) / 116
    fx, fy, fz = f(x), f(y), f(z)
    return (116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz))


def dist2(p, q):
    return (p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2 + (p[2] - q[2]) ** 2


# ----- from sub-pixels to 8-bit pixels

INK_LINEAR = [tuple(to_linear(v) for v in rgb) for rgb in INK_RGB]


def pixel_colours(c):
    """Every card pixel as the average of its sub-pixels, taken in linear light
    (as light mixes): an ink number where all sub-pixels share one ink, else
    the mixed sRGB colour rounded to whole numbers."""
    s, n = c.s, c.s * c.s
    rows, cache = [], {}
    for oy in range(c.h // s):
        sub = [c.px[(oy * s + k) * c.w:(oy * s + k + 1) * c.w] for k in range(s)]
        row = []
        for ox in range(c.w // s):
            key = b''.join(r[ox * s:ox * s + s] for r in sub)
            if key in cache:
                row.append(cache[key])
                continue
            inks = sorted(set(key))
            if len(inks) == 1:
                value = inks[0]
            else:
                acc = [0.0, 0.0, 0.0]
                for ink in inks:
                    k = key.count(ink)
                    for ch in range(3):
                        acc[ch] += k * INK_LINEAR[ink][ch]
                value = tuple(int(round(from_linear(a / n))) for a in acc)
                if value in INK_RGB:
                    value = INK_RGB.index(value)
            cache[key] = value
            row.append(value)
        rows.append(row)
    return rows


def choose_palette(pictures):
    """256 colours: the inks themselves, then the mixed colours of the
    antialiased edges, chosen to cover them all closely (weighted k-means in
    L*a*b*, each entry a colour that really occurs). Pixels are then mapped
    to their nearest entry: no dithering, so flat areas stay flat."""
    counts = {}
    for rows in pictures:
        for row in rows:
            for value in row:
                if not isinstance(value, int):
                    counts[value] = counts.get(value, 0) + 1
    samples = sorted(counts)
    labs = [lab(rgb) for rgb in samples]
    weights = [math.sqrt(counts[rgb]) for rgb in samples]
    centres = [lab(rgb) for rgb in INK_RGB]
    fixed = len(centres)
    free = 256 - fixed
    # start: repeatedly take the sample that is worst served so far
    best = [min(dist2(p, q) for q in centres) for p in labs]
    chosen = []
    for _ in range(min(free, len(samples))):
        i = max(range(len(samples)), key=lambda k: (weights[k] * best[k], -k))
        chosen.append(i)
        centres.append(labs[i])
        best = [min(d, dist2(p, labs[i])) for d, p in zip(best, labs)]
    # refine: move each free entry to the sample nearest the weighted mean of those it serves
    for _ in range(6):
        groups = [[] for _ in centres]
        for k, p in enumerate(labs):
            groups[min(range(len(centres)), key=lambda m: dist2(p, centres[m]))].append(k)
        for m in range(fixed, len(centres)):
            members = groups[m]
            if not members:
                continue
            total = sum(weights[k] for k in members)
            mean = tuple(sum(weights[k] * labs[k][ch] for k in members) / total for ch in range(3))
            i = min(members, key=lambda k: (dist2(labs[k], mean), k))
            chosen[m - fixed] = i
            centres[m] = labs[i]
    extra = sorted(set(samples[i] for i in chosen), key=lambda rgb: (lab(rgb), rgb))
    palette = list(INK_RGB) + extra
    return palette + [(0, 0, 0)] * (256 - len(palette))


def map_to_palette(pictures, palette):
    """Each picture as rows of palette indexes, every pixel its nearest entry."""
    used = len(INK_RGB) + len(set(palette[len(INK_RGB):]) - {(0, 0, 0)})
    entries = [lab(rgb) for rgb in palette[:used]]
    nearest = {}
    out = []
    for rows in pictures:
        mapped = []
        for row in rows:
            line = bytearray()
            for value in row:
                if isinstance(value, int):
                    line.append(value)
                    continue
                if value not in nearest:
                    p = lab(value)
                    nearest[value] = min(range(used), key=lambda m: dist2(p, entries[m]))
                line.append(nearest[value])
            mapped.append(line)
        out.append(mapped)
    return out


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


def read_bmp(data):
    """Rows of RGB tuples of an 8-bit bottom-up BMP as written above."""
    off = struct.unpack_from('<I', data, 10)[0]
    w, h = struct.unpack_from('<ii', data, 18)
    table = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(256)]
    stride = (w + 3) & ~3
    return [[table[p] for p in data[off + (h - 1 - y) * stride:off + (h - 1 - y) * stride + w]] for y in range(h)]


def png_bytes(rows):
    """A truecolour PNG of rows of RGB tuples."""
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in rows)
    header = struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) +
            chunk(b'IEND', b''))


def contact_sheet(pictures, scale=2, columns=10, gap=6, ground=(160, 0, 0)):
    """All card pictures in rows of ten on the table colour, each `scale` times its size."""
    w, h = CARD_W * scale, CARD_H * scale
    lines = (len(pictures) + columns - 1) // columns
    width, height = gap + columns * (w + gap), gap + lines * (h + gap)
    sheet = [[ground] * width for _ in range(height)]
    for n, rows in enumerate(pictures):
        x0, y0 = gap + (n % columns) * (w + gap), gap + (n // columns) * (h + gap)
        for y in range(h):
            src = rows[y // scale]
            sheet[y0 + y][x0:x0 + w] = [src[x // scale] for x in range(w)]
    return sheet


# ----- icons: 16-colour pixel pictures, one letter a pixel

VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ICON_LETTERS = {'k': 0, 'o': 3, 's': 7, 'g': 8, 'r': 9, 'y': 11, 'w': 15}     # '.' is transparent

# A card back and, over it, the ace of coins with its corner mark.
ICON_32 = """
............kkkkkkkkkkkkkkkkkk..
...........kwwwwwwwwwwwwwwwwwwk.
..kkkkkkkkkkwwkwwwwwwwwwwwwwwwk.
.kgggggggggkwkwkwwwwwwwwwwwwwwk.
.kgsgsssgsskwkkkwwwwwwwwwwwwwwk.
.kggsgsgsgskwkwkwwwwwwwwwwwwwwk.
.kgsssgsssgkwkwkwwwwwwwwwwwwwwk.
.kggsgsgsgskwwwwwwwoooowwwwwwwk.
.kgsgsssgsskwwwwwooyyyyoowwwwwk.
.kggsgsgsgskwwwwoyyyyyyyyowwwwk.
.kgsssgsssgkwwwoyyyooooyyyowwwk.
.kggsgsgsgskwwoyyyooyyooyyyowwk.
.kgsgsssgsskwwoyyoyyyyyyoyyowwk.
.kggsgsgsgskwoyyooyyyyyyooyyowk.
.kgsssgsssgkwoyyoyyyrryyyoyyowk.
.kggsgsgsgskwoyyoyyyrryyyoyyowk.
.kgsgsssgsskwoyyooyyyyyyooyyowk.
.kggsgsgsgskwwoyyoyyyyyyoyyowwk.
.kgsssgsssgkwwoyyyooyyooyyyowwk.
.kggsgsgsgskwwwoyyyooooyyyowwwk.
.kgsgsssgsskwwwwoyyyyyyyyowwwwk.
.kggsgsgsgskwwwwwooyyyyoowwwwwk.
.kgsssgsssgkwwwwwwwoooowwwwwwwk.
.kggsgsgsgskwwwwwwwwwwwwwwwwwwk.
.kgsgsssgsskwwwwwwwwwwwwwwwwwwk.
.kggsgsgsgskwwwwwwwwwwwwwwwwwwk.
.kgsssgsssgkwwwwwwwwwwwwwwwwwwk.
.kggsgsgsgskwwwwwwwwwwwwwwwwwwk.
.kgsgsssgsskwwwwwwwwwwwwwwwwwwk.
.kggsgsgsgsgkkkkkkkkkkkkkkkkkk..
.kgggggggggggggggggk............
..kkkkkkkkkkkkkkkkk.............
"""

# A card with a gold coin.
ICON_16 = """
...kkkkkkkkkk...
..kwwwwwwwwwwk..
..kwwwwwwwwwwk..
..kwwwwwwwwwwk..
..kwwwoooowwwk..
..kwwoyyyyowwk..
..kwoyyyyyyowk..
..kwoyyrryyowk..
..kwoyyrryyowk..
..kwoyyyyyyowk..
..kwwoyyyyowwk..
..kwwwoooowwwk..
..kwwwwwwwwwwk..
..kwwwwwwwwwwk..
..kwwwwwwwwwwk..
...kkkkkkkkkk...
"""


def icon_picture(text):
    """Rows of VGA colour numbers, None for transparent pixels."""
    rows = [[None if ch == '.' else ICON_LETTERS[ch] for ch in line] for line in text.split()]
    assert all(len(row) == len(rows) for row in rows)
    return rows


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


def ico_bytes(pictures):
    images = [icon_image(icon_picture(text)) for text in pictures]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for text, img in zip(pictures, images):
        n = len(text.split())
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    return out + b''.join(images)


# ----- the move sound

def tap_samples(count=3461, rate=22050):
    """A card laid on the table: a short papery slap (band-passed noise) over
    a soft low knock, rising from silence in 2 ms and faded out to exact
    silence over the last 25 ms."""
    def bandpass(freq, q):
        w = 2 * math.pi * freq / rate
        alpha = math.sin(w) / (2 * q)
        a0 = 1 + alpha
        return (alpha / a0, 0.0, -alpha / a0, -2 * math.cos(w) / a0, (1 - alpha) / a0)
    slap, body = bandpass(2600, 0.7), bandpass(900, 1.2)
    seed = 0x2000
    s1 = [0.0] * 4
    s2 = [0.0] * 4
    attack, fade = int(0.002 * rate), int(0.025 * rate)
    raw = []
    for n in range(count):
        seed = (1664525 * seed + 1013904223) & 0xFFFFFFFF      # fixed noise sequence
        noise = seed / 2147483648.0 - 1.0
        outs = []
        for (b0, b1, b2, a1, a2), st in ((slap, s1), (body, s2)):
            y = b0 * noise + b1 * st[0] + b2 * st[1] - a1 * st[2] - a2 * st[3]
            st[1], st[0], st[3], st[2] = st[0], noise, st[2], y
            outs.append(y)
        t = n / rate
        knock = math.sin(2 * math.pi * (150 * t - 400 * t * t)) * math.exp(-t / 0.028)
        value = (outs[0] * math.exp(-t / 0.011) + 0.7 * outs[1] * math.exp(-t / 0.022) + 0.35 * knock)
        env = 0.5 - 0.5 * math.cos(math.pi * min(n, attack) / attack)
        if n >= count - fade:
            env *= 0.5 + 0.5 * math.cos(math.pi * (n - (count - fade) + 1) / fade)
        raw.append(value * env)
    scale = 0.6 * 32767 / max(abs(v) for v in raw)
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


CARD_NAMES = ['%02d.bmp' % value for value in range(1, 41)] + ['back.bmp']


def write_contact_sheet(root):
    with_cards = os.path.join(root, 'resources', 'cards')
    pictures = []
    for name in CARD_NAMES:
        with open(os.path.join(with_cards, name), 'rb') as f:
            pictures.append(read_bmp(f.read()))
    write(os.path.join(root, 'docs', 'contact-sheet.png'), png_bytes(contact_sheet(pictures)))


def main():
    parser = argparse.ArgumentParser(description='Generate the card pictures, icons, move sound and contact sheet.')
    parser.add_argument('--out', metavar='DIR', help='write below DIR instead of into this repository')
    parser.add_argument('--contact-sheet', action='store_true',
                        help='only redraw docs/contact-sheet.png from the stored card pictures')
    args = parser.parse_args()
    root = args.out or ROOT
    if not args.contact_sheet:
        canvases = [card_art.draw_card_face(value) for value in range(1, 41)] + [card_art.draw_card_back()]
        pictures = [pixel_colours(c) for c in canvases]
        palette = choose_palette(pictures)
        for name, rows in zip(CARD_NAMES, map_to_palette(pictures, palette)):
            write(os.path.join(root, 'resources', 'cards', name), bmp_bytes(rows, palette))
        write(os.path.join(root, 'resources', 'icons', 'large.ico'), ico_bytes([ICON_32, ICON_16]))
        write(os.path.join(root, 'resources', 'icons', 'small.ico'), ico_bytes([ICON_16]))
        write(os.path.join(root, 'resources', 'move.wav'), wav_bytes(tap_samples()))
    write_contact_sheet(root)


if __name__ == '__main__':
    main()
