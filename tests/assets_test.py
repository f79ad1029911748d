#!/usr/bin/python3
"""Checks of the generated files: the card pictures, icons, move sound,
background music, contact sheet and rules page.

  assets_test.py SOURCE_DIR regenerated
      runs the generators in tools/ into a temporary folder and compares
      every file they write with the one in the source tree, byte for byte
  assets_test.py SOURCE_DIR forms
      reads the stored files and checks the forms the program and the
      platform expect: sizes, headers, the shared colour table, sample
      format and count, the MIDI structure and length, a self-contained page

Exits 0 when all is well, 1 on a difference, 77 (skipped) when this Python
lacks a module the generators need.
"""
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SKIP = 77
CARDS = ['%02d.bmp' % n for n in range(1, 41)] + ['back.bmp']
GENERATED = (['resources/cards/' + name for name in CARDS] +
             ['resources/icons/large.ico', 'resources/icons/small.ico', 'resources/move.wav',
              'docs/contact-sheet.png', 'data/Orv2000.mid'])
TABLE_COLOUR = (160, 0, 0)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def read(root, name):
    with open(os.path.join(root, name), 'rb') as f:
        return f.read()


# ----- regenerated files equal the committed ones

def png_pixels(data):
    """Header and decompressed image data of a PNG: equal pictures compare
    equal whatever the compressor's version."""
    at, header, idat = 8, b'', b''
    while at < len(data):
        length, kind = struct.unpack_from('>I4s', data, at)
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            header = body
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    return header, zlib.decompress(idat)


def regenerated(source):
    with tempfile.TemporaryDirectory(prefix='orv-assets-') as out:
        env = dict(os.environ, PYTHONDONTWRITEBYTECODE='1')
        for tool in ('make_resources.py', 'make_music.py'):
            run = subprocess.run([sys.executable, '-B', os.path.join(source, 'tools', tool), '--out', out],
                                 env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if not check(run.returncode == 0, '%s failed:\n%s' % (tool, run.stdout)):
                return
        for name in GENERATED:
            if not check(os.path.exists(os.path.join(out, name)), name + ': not written by the generators'):
                continue
            committed, made = read(source, name), read(out, name)
            if name.endswith('.png') and committed != made:
                same = png_pixels(committed) == png_pixels(made)
            else:
                same = committed == made
            check(same, name + ': differs from what the generators make now (run: make assets)')


# ----- stored forms

def u16(b, at):
    return struct.unpack_from('<H', b, at)[0]


def u32(b, at):
    return struct.unpack_from('<I', b, at)[0]


def check_bitmaps(source):
    table = None
    for name in CARDS:
        b = read(source, 'resources/cards/' + name)
        if not check(len(b) == 7478, '%s: %d bytes, not 7478' % (name, len(b))):
            continue
        check(b[:2] == b'BM' and u32(b, 2) == 7478 and u32(b, 6) == 0 and u32(b, 10) == 1078,
              name + ': file header')
        header = struct.unpack_from('<IiiHHIIiiII', b, 14)
        check(header == (40, 62, 100, 1, 8, 0, 6400, 0, 0, 0, 0),
              name + ': info header %r' % (header,))
        colours = b[54:1078]
        check(all(colours[4 * k + 3] == 0 for k in range(256)), name + ': colour table fill bytes')
        if table is None:
            table = colours
        check(colours == table, name + ': colour table differs from 01.bmp')
        rows = [b[1078 + 64 * r:1078 + 64 * (r + 1)] for r in range(100)]
        check(all(row[62:] == b'\0\0' for row in rows), name + ': row fill bytes')
        for row, x in ((0, 0), (0, 61), (99, 0), (99, 61)):
            p = rows[row][x]
            rgb = (colours[4 * p + 2], colours[4 * p + 1], colours[4 * p])
            check(rgb == TABLE_COLOUR, '%s: corner pixel (%d, %d) is %r, not the table colour' % (name, x, 99 - row, rgb))


def check_icon(source, name, sizes):
    b = read(source, 'resources/icons/' + name)
    if not check(len(b) >= 6 and struct.unpack_from('<HHH', b, 0) == (0, 1, len(sizes)),
                 name + ': icon directory header'):
        return
    offset = 6 + 16 * len(sizes)
    for k, (width, size) in enumerate(sizes):
        w, h, colours, reserved, planes, bits, length, at = struct.unpack_from('<BBBBHHII', b, 6 + 16 * k)
        check((w, h, colours, reserved, planes, bits, length, at) == (width, width, 16, 0, 1, 4, size, offset),
              '%s: entry %d' % (name, k))
        image = b[at:at + length]
        info = struct.unpack_from('<IiiHHIIiiII', image, 0) if len(image) >= 40 else None
        xor = (width * 4 + 31) // 32 * 4 * width
        mask = (width + 31) // 32 * 4 * width
        check(info is not None and info[:5] == (40, width, 2 * width, 1, 4) and info[5] == 0 and
              length == 40 + 64 + xor + mask, '%s: image %d header' % (name, k))
        offset += length
    check(len(b) == offset, name + ': file size')


def check_wave(source):
    b = read(source, 'resources/move.wav')
    if not check(len(b) == 6966, 'move.wav: %d bytes, not 6966' % len(b)):
        return
    check(b[:4] == b'RIFF' and u32(b, 4) == len(b) - 8 and b[8:16] == b'WAVEfmt ' and u32(b, 16) == 16,
          'move.wav: RIFF header')
    check(struct.unpack_from('<HHIIHH', b, 20) == (1, 1, 22050, 44100, 2, 16), 'move.wav: format')
    check(b[36:40] == b'data' and u32(b, 40) == 6922, 'move.wav: data chunk')
    samples = struct.unpack_from('<3461h', b, 44)
    check(samples[0] == 0 and samples[-1] == 0, 'move.wav: does not start and end in silence')
    check(max(abs(s) for s in samples) < 32767, 'move.wav: clipped')


def read_vlq(b, at):
    n = 0
    while True:
        byte = b[at]
        at += 1
        n = (n << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return n, at


def check_midi(source):
    b = read(source, 'data/Orv2000.mid')
    if not check(b[:4] == b'MThd' and u32be(b, 4) == 6, 'Orv2000.mid: header chunk'):
        return
    form, count, division = struct.unpack_from('>HHH', b, 8)
    check(form in (0, 1) and not division & 0x8000, 'Orv2000.mid: format %d, division %d' % (form, division))
    at, tracks, tempos, last_tick = 14, 0, [], 0
    while at < len(b):
        kind, length = b[at:at + 4], u32be(b, at + 4)
        body, at = b[at + 8:at + 8 + length], at + 8 + length
        if kind != b'MTrk':
            continue
        tracks += 1
        pos, tick, status, ended, sounding = 0, 0, 0, False, {}
        while pos < len(body) and not ended:
            delta, pos = read_vlq(body, pos)
            tick += delta
            if body[pos] & 0x80:
                status = body[pos]
                pos += 1
            if status == 0xFF:
                meta = body[pos]
                size, pos = read_vlq(body, pos + 1)
                if meta == 0x51 and size == 3:
                    tempos.append((tick, int.from_bytes(body[pos:pos + 3], 'big')))
                ended = meta == 0x2F
                pos += size
            elif status in (0xF0, 0xF7):
                size, pos = read_vlq(body, pos)
                pos += size
            else:
                kind_of, data = status & 0xF0, body[pos:pos + (1 if status & 0xE0 == 0xC0 else 2)]
                pos += len(data)
                if kind_of in (0x80, 0x90):
                    key = (status & 0x0F, data[0])
                    on = kind_of == 0x90 and data[1] > 0
                    sounding[key] = sounding.get(key, 0) + (1 if on else -1)
                    check(sounding[key] >= 0, 'Orv2000.mid: track %d: a note ends that was not playing' % tracks)
        check(ended and pos == len(body), 'Orv2000.mid: track %d does not close with End of Track' % tracks)
        check(not any(sounding.values()), 'Orv2000.mid: track %d: notes still sound at its end' % tracks)
        last_tick = max(last_tick, tick)
    check(tracks == count and (form == 1 or count == 1), 'Orv2000.mid: %d track chunks for %d announced' % (tracks, count))
    if not check(tempos, 'Orv2000.mid: no tempo'):
        return
    seconds, tick, tempo = 0.0, 0, 500000
    for when, value in sorted(tempos) + [(last_tick, None)]:
        seconds += (when - tick) * tempo / division / 1e6
        tick, tempo = when, value
    check(60 <= seconds <= 120, 'Orv2000.mid: %.1f s long, not 1 to 2 minutes' % seconds)


def u32be(b, at):
    return struct.unpack_from('>I', b, at)[0]


def check_page(source):
    text = read(source, 'data/orv2000.htm').decode('utf-8')
    lower = text.lower()
    check('charset=' in lower, 'orv2000.htm: no character set declared')
    check('<script' not in lower, 'orv2000.htm: holds a script')
    for attribute in ('src=', 'href=', 'url('):
        check(attribute not in lower, 'orv2000.htm: refers to another file (%s)' % attribute)
    for term in ('Bastoni', 'Coppe', 'Denari', 'Spade', 'Asso', 'Fante', 'Cavallo',
                 'Spazi liberi', 'Opzioni', 'Musica', 'Nuova Partita', 'F2'):
        check(term in text, 'orv2000.htm: says nothing of ' + term)


def forms(source):
    check_bitmaps(source)
    check_icon(source, 'large.ico', [(32, 744), (16, 296)])
    check_icon(source, 'small.ico', [(16, 296)])
    check_wave(source)
    check_midi(source)
    check_page(source)


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ('regenerated', 'forms'):
        print(__doc__)
        return 2
    source = os.path.abspath(sys.argv[1])
    missing = [name for name in ('argparse', 'math', 'struct', 'zlib') if importlib.util.find_spec(name) is None]
    if missing:     # what the generators use
        print('SKIPPED: this Python lacks %s; install the Debian package python3' % ', '.join(missing))
        return SKIP
    (regenerated if sys.argv[2] == 'regenerated' else forms)(source)
    for message in failures:
        print('FAILED: ' + message)
    if not failures:
        print('all %s checks passed' % sys.argv[2])
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
