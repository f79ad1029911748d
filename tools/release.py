#!/usr/bin/python3
"""Writes the release: the Windows installer, the portable zip, the Debian
package and their checksums, byte for byte the same on every run of one commit.
Usage: release.py --bin FOLDER [--deb-bin FOLDER] --out FOLDER
FOLDER of --bin holds the i686 orv2000.exe and orv2000-hint.exe, which run on
every Windows in use; that of --deb-bin the x86_64 ones, which the Debian
package runs on 64-bit Wine (without it, no package). The side files come
from data/, the version from VERSION."""
import argparse
import os
import hashlib
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
FOLDER = 'Orvenna 2000'     # the zip's one folder, the installer's default folder's name
PROGRAMS = ('orv2000.exe', 'orv2000-hint.exe')
SIDE_FILES = ('Orv2000.mid', 'orv2000.htm')


def version():
    with open(os.path.join(ROOT, 'VERSION')) as f:
        return f.read().strip()


def source_date():
    """The time every file of the release carries: the last commit's, so that
    two runs on one commit agree."""
    if 'SOURCE_DATE_EPOCH' in os.environ:
        return int(os.environ['SOURCE_DATE_EPOCH'])
    out = subprocess.run(['git', '-C', ROOT, 'log', '-1', '--format=%ct'], stdout=subprocess.PIPE, text=True)
    return int(out.stdout.strip() or 0)


def windows_text(source, target, bom=False):
    """A text file as Notepad on every Windows reads it: CRLF, UTF-8 with a BOM where it is not ASCII."""
    with open(source, encoding='utf-8') as f:
        text = f.read().replace('\r\n', '\n').replace('\n', '\r\n')
    with open(target, 'wb') as f:
        f.write((b'\xef\xbb\xbf' if bom else b'') + text.encode('utf-8'))


def game_files(bin_dir, folder):
    """The programs of one build and the side files, into a new folder."""
    os.makedirs(folder)
    for name in PROGRAMS:
        shutil.copyfile(os.path.join(bin_dir, name), os.path.join(folder, name))
    for name in SIDE_FILES:
        shutil.copyfile(os.path.join(ROOT, 'data', name), os.path.join(folder, name))


def stage(bin_dir, folder, epoch):
    """The files a Windows player gets, the same in the zip and the installer."""
    game_files(bin_dir, folder)
    windows_text(os.path.join(ROOT, 'LICENSE'), os.path.join(folder, 'LICENSE.txt'))
    windows_text(os.path.join(ROOT, 'packaging', 'windows', 'LEGGIMI.txt'), os.path.join(folder, 'LEGGIMI.txt'), True)
    for name in os.listdir(folder):
        os.utime(os.path.join(folder, name), (epoch, epoch))
    return sorted(os.listdir(folder))


def write_zip(folder, path, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]      # a zip's times start in 1980
    with zipfile.ZipFile(path, 'w') as z:
        entry = zipfile.ZipInfo(FOLDER + '/', stamp)
        entry.external_attr = (0o40755 << 16) | 0x10
        z.writestr(entry, b'')
        for name in sorted(os.listdir(folder)):
            entry = zipfile.ZipInfo(FOLDER + '/' + name, stamp)
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), 'rb') as f:
                z.writestr(entry, f.read(), compresslevel=9)


def write_installer(folder, path, ver):
    numbers = (ver.split('.') + ['0'] * 4)[:4]
    defines = {'VERSION': ver, 'VERSION4': '.'.join(str(int(n)) for n in numbers), 'STAGE': folder,
               'ICON': os.path.join(ROOT, 'resources', 'icons', 'large.ico'), 'OUTFILE': path}
    subprocess.run(['makensis', '-V2', '-INPUTCHARSET', 'UTF8'] + ['-D%s=%s' % d for d in defines.items()]
                   + [os.path.join(ROOT, 'packaging', 'windows', 'orvenna2000.nsi')], check=True)


def checksums(out, names):
    with open(os.path.join(out, 'SHA256SUMS'), 'w') as sums:
        for name in sorted(names):
            with open(os.path.join(out, name), 'rb') as f:
                sums.write('%s  %s\n' % (hashlib.sha256(f.read()).hexdigest(), name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True)
    parser.add_argument('--deb-bin')
    parser.add_argument('--out', required=True)
    args = parser.parse_args()
    ver, epoch = version(), source_date()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    names = {'zip': 'Orvenna2000-%s.zip' % ver, 'setup': 'Orvenna2000-%s-setup.exe' % ver}
    if args.deb_bin:
        names['deb'] = 'orvenna2000_%s_amd64.deb' % ver
    for name in names.values():
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    with tempfile.TemporaryDirectory(prefix='orv-release-') as work:
        folder = os.path.join(work, FOLDER)
        stage(args.bin, folder, epoch)
        write_zip(folder, os.path.join(out, names['zip']), epoch)
        write_installer(folder, os.path.join(out, names['setup']), ver)
        if args.deb_bin:
            linux = os.path.join(work, 'deb')
            game_files(args.deb_bin, linux)
            env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
            subprocess.run(['/usr/bin/python3', '-B', os.path.join(ROOT, 'tools', 'make_deb.py'), linux, out],
                           env=env, check=True, stdout=subprocess.DEVNULL)
    checksums(out, names.values())
    for name in sorted(names.values()):
        print('%-32s %9d bytes' % (name, os.path.getsize(os.path.join(out, name))))


if __name__ == '__main__':
    sys.exit(main())
