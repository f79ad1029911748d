#!/usr/bin/python3
"""Builds the Debian package orvenna2000_<VERSION>_amd64.deb: the game's files,
its launcher, menu entry, icons, manual page and copyright.
Usage: make_deb.py DIST_DIR OUT_DIR
DIST_DIR holds the x86_64 orv2000.exe and orv2000-hint.exe (64-bit Wine runs
them, with no i386 architecture on the system), Orv2000.mid and orv2000.htm;
the version comes from VERSION. Prints the package's path. Byte for byte the
same on every run of one commit: every file carries SOURCE_DATE_EPOCH, else
the last commit's time."""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
NAME = 'orvenna2000'
GAME_FILES = ('orv2000.exe', 'orv2000-hint.exe', 'Orv2000.mid', 'orv2000.htm')
# Icon size: (image of large.ico, whole scale factor).
ICONS = {16: (16, 1), 32: (32, 1), 48: (16, 3), 64: (32, 2), 128: (32, 4), 256: (32, 8)}
MAINTAINER = 'Orvenna developers <dev@orvenna.invalid>'
CONTROL = '''Package: orvenna2000
Version: {version}
Architecture: amd64
Section: games
Priority: optional
Maintainer: {maintainer}
Installed-Size: {size}
Depends: wine, wine64, fonts-wine, procps
Recommends: fluidsynth, fluid-soundfont-gm, libnotify-bin, xdg-utils
Description: patience game with the 40-card Italian deck
 All forty cards are dealt face up into four rows of ten. Park cards in the
 free cells to open holes, and move a card into a hole only directly right of
 the card one lower in its suit, until every row holds one suit from ace to
 king. The interface is in Italian; a companion window (Consigli) tells
 whether the table can still be won.
 .
 The game is a 64-bit Windows program run by 64-bit Wine in a prefix of the
 player's own; the background music plays through FluidSynth where it is
 installed.
'''


X86_64 = 0x8664


def pe_machine(data):
    """The machine field of a Windows program's PE header; None if it is none."""
    if data[:2] != b'MZ' or len(data) < 64:
        return None
    at = struct.unpack_from('<I', data, 60)[0]
    return struct.unpack_from('<H', data, at + 4)[0] if data[at:at + 4] == b'PE\0\0' else None


def ico_images(path):
    """{width: rows of RGBA tuples} of the 4-bit images of an icon file; the
    AND mask makes a pixel transparent."""
    with open(path, 'rb') as f:
        data = f.read()
    images = {}
    for i in range(struct.unpack('<H', data[4:6])[0]):
        offset = struct.unpack('<I', data[6 + 16 * i + 12:6 + 16 * i + 16])[0]
        header, w, h, _, bits = struct.unpack('<IiiHH', data[offset:offset + 16])
        h //= 2                 # the colour image and the mask, one above the other
        if bits != 4:
            sys.exit('%s: a %d-bit image; only 4-bit ones are read' % (path, bits))
        pal = data[offset + header:offset + header + 64]
        colours = [(pal[4 * k + 2], pal[4 * k + 1], pal[4 * k], 255) for k in range(16)]
        xor, xstride, astride = offset + header + 64, (w * 4 + 31) // 32 * 4, (w + 31) // 32 * 4
        mask = xor + h * xstride
        rows = []
        for y in range(h):      # bottom-up
            line, bits = xor + (h - 1 - y) * xstride, mask + (h - 1 - y) * astride
            rows.append([(0, 0, 0, 0) if data[bits + x // 8] >> (7 - x % 8) & 1
                         else colours[data[line + x // 2] >> (4 - 4 * (x % 2)) & 15] for x in range(w)])
        images[w] = rows
    return images


def png(rows, factor):
    """An RGBA PNG of the rows, every pixel a factor x factor square."""
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    lines = [b'\0' + bytes(v for p in row for v in p * factor) for row in rows for _ in range(factor)]
    size = len(rows[0]) * factor
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(b''.join(lines), 9)) + chunk(b'IEND', b''))


def read(*path):
    with open(os.path.join(ROOT, *path), 'rb') as f:
        return f.read()


def gzip(data):
    return subprocess.run(['gzip', '-9n'], input=data, stdout=subprocess.PIPE, check=True).stdout


def copyright_file():
    """DEP-5: LICENSE's copyright line, its licence text as Expat, the rest as a comment."""
    paragraphs = read('LICENSE').decode().strip().split('\n\n')
    holder = next(i for i, p in enumerate(paragraphs) if p.startswith('Copyright'))
    end = next(i for i, p in enumerate(paragraphs) if p.rstrip().endswith('SOFTWARE.'))
    field = lambda ps: '\n .\n'.join('\n'.join(' ' + line for line in p.splitlines()) for p in ps)
    return ('Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
            'Upstream-Name: Orvenna 2000\n\nFiles: *\nCopyright: %s\nLicense: Expat\nComment:\n%s\n\n'
            'License: Expat\n%s\n' % (paragraphs[holder].replace('Copyright (c) ', ''),
                                       field(paragraphs[end + 1:]), field(paragraphs[holder + 1:end + 1])))


def changelog(version, epoch):
    return ('%s (%s) unstable; urgency=medium\n\n  * Orvenna 2000 %s under Wine, with its menu entry, icons and\n'
            '    music through FluidSynth.\n\n -- %s  %s\n'
            % (NAME, version, version, MAINTAINER, time.strftime('%a, %d %b %Y %H:%M:%S +0000', time.gmtime(epoch))))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split('\n')[2])
    dist, out = sys.argv[1:]
    version = read('VERSION').decode().strip()
    epoch = int(os.environ.get('SOURCE_DATE_EPOCH') or subprocess.run(
        ['git', '-C', ROOT, 'log', '-1', '--format=%ct'], stdout=subprocess.PIPE, check=True, text=True).stdout)
    files = {'usr/games/' + NAME: (read('packaging', NAME), 0o755),
             'usr/share/applications/%s.desktop' % NAME: (read('packaging', NAME + '.desktop'), 0o644),
             'usr/share/doc/%s/copyright' % NAME: (copyright_file().encode(), 0o644),
             'usr/share/doc/%s/changelog.gz' % NAME: (gzip(changelog(version, epoch).encode()), 0o644),
             'usr/share/man/man6/%s.6.gz' % NAME: (gzip(read('packaging', NAME + '.6')), 0o644)}
    missing = [name for name in GAME_FILES if not os.path.isfile(os.path.join(dist, name))]
    if missing:
        sys.exit('make_deb.py: %s not in %s' % (', '.join(missing), dist))
    for name in GAME_FILES:
        with open(os.path.join(dist, name), 'rb') as f:
            files['usr/share/%s/%s' % (NAME, name)] = (f.read(), 0o644)
        if name.endswith('.exe') and pe_machine(files['usr/share/%s/%s' % (NAME, name)][0]) != X86_64:
            sys.exit('make_deb.py: %s is not an x86_64 program; the package runs on 64-bit Wine alone' % name)
    images = ico_images(os.path.join(ROOT, 'resources', 'icons', 'large.ico'))
    for size, (source, factor) in ICONS.items():
        files['usr/share/icons/hicolor/%dx%d/apps/%s.png' % (size, size, NAME)] = (png(images[source], factor), 0o644)

    dirs = set()
    for path in files:
        while os.path.dirname(path):
            path = os.path.dirname(path)
            dirs.add(path)
    size = sum((len(data) + 1023) // 1024 for data, _ in files.values()) + len(dirs)
    files['DEBIAN/control'] = (CONTROL.format(version=version, maintainer=MAINTAINER, size=size).encode(), 0o644)
    files['DEBIAN/md5sums'] = (''.join('%s  %s\n' % (hashlib.md5(files[p][0]).hexdigest(), p)
                                       for p in sorted(files) if not p.startswith('DEBIAN/')).encode(), 0o644)
    dirs.add('DEBIAN')

    os.makedirs(out, exist_ok=True)
    deb = os.path.join(out, '%s_%s_amd64.deb' % (NAME, version))
    with tempfile.TemporaryDirectory() as stage:
        for d in sorted(dirs):
            os.makedirs(os.path.join(stage, d), exist_ok=True)
        for path, (data, mode) in files.items():
            with open(os.path.join(stage, path), 'wb') as f:
                f.write(data)
        for d in list(dirs) + ['']:
            os.chmod(os.path.join(stage, d), 0o755)
        for path, (_, mode) in files.items():
            os.chmod(os.path.join(stage, path), mode)
        for path in list(files) + list(dirs) + ['']:
            os.utime(os.path.join(stage, path), (epoch, epoch))
        subprocess.run(['dpkg-deb', '--build', '--root-owner-group', '-Zxz', stage, deb], check=True,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
    print(deb)


if __name__ == '__main__':
    main()
