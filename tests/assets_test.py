#!/usr/bin/python3
"""The generated files in the source tree are what tools/make_resources.py and
tools/make_music.py make now (into a temporary folder, compared byte for byte;
PNGs by their pixels), and the rules page stands alone.
Usage: assets_test.py SOURCE_DIR"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

GENERATED = (['resources/cards/%02d.bmp' % n for n in range(1, 41)] + ['resources/cards/back.bmp',
             'resources/icons/large.ico', 'resources/icons/small.ico', 'resources/move.wav',
             'docs/contact-sheet.png', 'data/Orv2000.mid'])


def pixels(png):
    """Header and image data: equal pictures compare equal whatever the compressor."""
    chunks, at = {}, 8
    while at < len(png):
        length, kind = struct.unpack_from('>I4s', png, at)
        chunks[kind] = chunks.get(kind, b'') + png[at + 8:at + 8 + length]
        at += 12 + length
    return chunks[b'IHDR'], zlib.decompress(chunks[b'IDAT'])


def main(source):
    failures = []
    with tempfile.TemporaryDirectory() as out:
        for tool in ('make_resources.py', 'make_music.py'):
            made = subprocess.run([sys.executable, '-B', os.path.join(source, 'tools', tool), '--out', out],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if made.returncode:
                failures.append('%s failed:\n%s' % (tool, made.stdout))
        for name in GENERATED:
            new = os.path.join(out, name)
            old = open(os.path.join(source, name), 'rb').read()
            new = open(new, 'rb').read() if os.path.exists(new) else None
            if new != old and not (new and name.endswith('.png') and pixels(new) == pixels(old)):
                failures.append(name + ': not what the generators make now (run: make assets)')
    page = open(os.path.join(source, 'data', 'orv2000.htm'), encoding='utf-8').read().lower()
    for bad in ('<script', 'src=', 'href=', 'url('):
        if bad in page:
            failures.append('orv2000.htm refers to other files or runs a script: ' + bad)
    for failure in failures:
        print('FAILED: ' + failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
