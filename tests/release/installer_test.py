#!/usr/bin/python3
"""The release as a Windows player and an administrator get it, in a fresh Wine prefix inside
tools/headless.sh: installer_test.py BIN_FOLDER (the i686 orv2000.exe and orv2000-hint.exe).
Exit code 0 passed, 1 failed, 77 skipped (32-bit Windows programs cannot run here)."""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import types
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from driver import ROOT, TITLE, check, geometry, keys, log, poll, wait, windows  # noqa: E402

VERSION = open(os.path.join(ROOT, 'VERSION')).read().strip()
FILES = ['LEGGIMI.txt', 'LICENSE.txt', 'Orv2000.mid', 'orv2000-hint.exe', 'orv2000.exe', 'orv2000.htm']
KEY = r'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvenna 2000'
# The shortcuts: (name under Start-menu folder 'Orvenna 2000' or on the desktop, target file).
LINKS = [('Orvenna 2000', 'orv2000.exe'), ('Consigli - Orvenna 2000', 'orv2000-hint.exe'),
         ('Regole del gioco', 'orv2000.htm'), ('Disinstalla Orvenna 2000', 'uninstall.exe')]


def release(bin_dir, out):
    subprocess.run(['/usr/bin/python3', '-B', os.path.join(ROOT, 'tools', 'release.py'), '--bin', bin_dir,
                    '--out', out], check=True, stdout=subprocess.DEVNULL)
    return {n: open(os.path.join(out, n), 'rb').read() for n in sorted(os.listdir(out))}


def shortcut(path):
    """(target, working folder) of a .lnk file (the Shell Link format)."""
    d = open(path, 'rb').read()
    flags = struct.unpack_from('<I', d, 20)[0]
    at = 76 + (2 + struct.unpack_from('<H', d, 76)[0] if flags & 1 else 0)
    size, base = struct.unpack_from('<I', d, at)[0], struct.unpack_from('<I', d, at + 16)[0]    # LinkInfo
    target, at, strings = d[at + base:d.index(b'\0', at + base)].decode('latin-1'), at + size, []
    for bit in (4, 8, 16):          # name, relative path, working folder
        n = struct.unpack_from('<H', d, at)[0] if flags & bit else 0
        strings.append(d[at + 2:at + 2 + 2 * n].decode('utf-16-le').rstrip('\0'))    # Wine counts the NUL
        at += 2 + 2 * n if flags & bit else 0
    return target, strings[2]


def unix(prefix, path):
    return os.path.join(prefix, 'drive_c', *path[3:].split('\\'))


def wine(env, *args):
    return subprocess.run(['/usr/lib/wine/wine'] + list(args), env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode


def settle(env):
    """Waits for every program of the prefix to end, so its registry is on disk."""
    subprocess.run(['/usr/lib/wine/wineserver', '-w'], env=env, timeout=120)


def uninstaller(prefix):
    """Whether the uninstaller's copy (it runs from the temporary folder) still runs in this prefix."""
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            if b'Un.exe' in open('/proc/%s/cmdline' % pid, 'rb').read() and \
                    ('WINEPREFIX=%s\0' % prefix).encode() in open('/proc/%s/environ' % pid, 'rb').read():
                return True
        except OSError:
            pass
    return False


def uninstall_entry(prefix):
    text = open(os.path.join(prefix, 'user.reg'), encoding='utf-8', errors='replace').read()
    m = re.search(r'^\[%s\][^\n]*\n(.*?)\n\n' % re.escape(KEY), text, re.S | re.M)
    if not m:
        return None
    values = dict(re.findall(r'^"(\w+)"=(.*)$', m.group(1), re.M))
    return {k: v[1:-1].replace('\\\\', '\\').replace('\\"', '"') if v.startswith('"') else v
            for k, v in values.items()}


def check_release(bin_dir, work):
    first, second = release(bin_dir, os.path.join(work, 'r1')), release(bin_dir, os.path.join(work, 'r2'))
    names = ['Orvenna2000-%s-setup.exe' % VERSION, 'Orvenna2000-%s.zip' % VERSION, 'SHA256SUMS']
    check(sorted(first) == sorted(names), 'the release holds %s' % sorted(first))
    check(first == second, 'two runs differ in %s' % [n for n in first if first[n] != second.get(n)])
    listing = zipfile.ZipFile(os.path.join(work, 'r1', names[1])).namelist()
    check(sorted(listing) == ['Orvenna 2000/'] + ['Orvenna 2000/' + f for f in FILES],
          'the zip holds %s' % listing)
    exe = zipfile.ZipFile(os.path.join(work, 'r1', names[1])).read('Orvenna 2000/orv2000.exe')
    check(('ver. ' + VERSION).encode('utf-16-le') in exe, 'the About box does not say ver. ' + VERSION)
    log('the release is the same twice; the zip holds ' + ', '.join(FILES))
    return os.path.join(work, 'r1', names[0])


def check_installed(prefix, env, setup):
    check(wine(env, setup, '/S') == 0, 'the silent install failed')
    settle(env)
    home = glob.glob(os.path.join(prefix, 'drive_c', 'users', '*', 'AppData'))[0]
    folder = os.path.join(home, 'Local', 'Programs', 'Orvenna 2000')
    check(sorted(os.listdir(folder)) == sorted(FILES + ['uninstall.exe']), 'installed: %s' % os.listdir(folder))
    menu = os.path.join(home, 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs', 'Orvenna 2000')
    check(sorted(os.listdir(menu)) == sorted(n + '.lnk' for n, _ in LINKS), 'Start menu: %s' % os.listdir(menu))
    windows_folder = None
    links = [os.path.join(menu, n + '.lnk') for n, _ in LINKS] + [os.path.join(home, '../Desktop/Orvenna 2000.lnk')]
    for path, (_, file) in zip(links, LINKS + [LINKS[0]]):
        target, start_in = shortcut(path)
        windows_folder = windows_folder or target.rsplit('\\', 1)[0]
        check(target == windows_folder + '\\' + file and start_in == windows_folder,
              '%s: target %s, working folder %s' % (os.path.basename(path), target, start_in))
    entry = uninstall_entry(prefix) or {}
    entry_folder = entry.get('InstallLocation')
    check(entry_folder == windows_folder and os.path.samefile(unix(prefix, entry_folder), folder),
          'installed into %s, shortcuts into %s' % (entry_folder, windows_folder))
    expected = {'DisplayName': 'Orvenna 2000', 'DisplayVersion': VERSION,
                'DisplayIcon': '%s\\orv2000.exe,0' % entry_folder,
                'UninstallString': '"%s\\uninstall.exe"' % entry_folder, 'NoModify': 'dword:00000001',
                'QuietUninstallString': '"%s\\uninstall.exe" /S' % entry_folder, 'NoRepair': 'dword:00000001'}
    check(all(entry.get(k) == v for k, v in expected.items()) and entry.get('Publisher')
          and int(entry.get('EstimatedSize', 'dword:0')[6:], 16) * 1024 >= sum(
              os.path.getsize(os.path.join(folder, f)) for f in FILES), 'the uninstall entry: %s' % entry)
    log('installed into %s: %s; shortcuts and uninstall entry as expected' % (entry_folder, ', '.join(FILES)))
    return folder, entry


def check_running_game(prefix, env, setup, folder, entry, trace_path):
    target, start_in = shortcut(os.path.join(folder, '..', '..', '..', 'Roaming', 'Microsoft', 'Windows',
                                             'Start Menu', 'Programs', 'Orvenna 2000', 'Orvenna 2000.lnk'))
    with open(trace_path, 'wb') as trace:
        proc = subprocess.Popen(['/usr/lib/wine/wine', target], cwd=unix(prefix, start_in), stdin=subprocess.DEVNULL,
                                env=dict(env, WINEDEBUG='+mci'), stdout=trace, stderr=subprocess.STDOUT)
        try:
            # The first start after the install brings the prefix's services up
            # again: slow on a machine busy with other tests.
            wait(lambda: windows(TITLE), 'the game window', 90)
            # The rules page opens through its file type; here a command that notes which file it was given.
            opened = os.path.join(prefix, 'drive_c', 'opened.txt')
            with open(os.path.join(prefix, 'drive_c', 'htm.reg'), 'w') as reg:
                reg.write('REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.htm]\n@="htmlfile"\n\n[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\'
                          'command]\n@="C:\\\\windows\\\\system32\\\\cmd.exe /c echo %1> C:\\\\opened.txt"\n')
            wine(env, 'regedit', '/S', 'C:\\htm.reg')
            x, y, _, _ = geometry(windows(TITLE)[0])
            keys(types.SimpleNamespace(origin=(x, y)), 'alt', 'Down', 'Down', 'Down', 'Right', 'Down', 'Return')
            page = wait(lambda: os.path.exists(opened) and open(opened, errors='replace').read().strip(),
                        'the rules page to open')
            check(page.lower() == (start_in + '\\orv2000.htm').lower(), 'Regole del gioco opened %s' % page)
            music = open(trace_path, errors='replace').read().split('mciSendStringW (L"')
            check(any(m.startswith('open sequencer!Orv2000.mid') and '=> 2/ 0 ' in m for m in music),
                  'the game did not open its music')
            log('the game started from %s opened its music and its rules page %s' % (start_in, page))
            # A running game: the installer and the uninstaller give up, nothing written or removed.
            lost = os.path.join(folder, 'LEGGIMI.txt')
            os.truncate(lost, 0)
            check(wine(env, setup, '/S') == 2, 'the installer ran while the game was running')
            check(os.path.getsize(lost) == 0, 'the installer wrote into the folder of a running game')
            check(wine(env, entry['InstallLocation'] + '\\uninstall.exe', '/S') == 0, 'the uninstaller did not start')
            check(poll(lambda: not uninstaller(prefix), 30), 'the uninstaller did not end')
            check(sorted(os.listdir(folder)) == sorted(FILES + ['uninstall.exe']), 'the uninstaller removed files')
            log('with the game running, the installer and the uninstaller stopped and changed nothing')
        finally:
            proc.kill()
            proc.wait()
            poll(lambda: not windows(TITLE), 10)
    check(wine(env, setup, '/S') == 0 and os.path.getsize(lost) > 0, 'a second install did not replace the files')
    log('a second install over the first replaced its files')


def check_uninstalled(prefix, env, folder, entry):
    with open(os.path.join(folder, 'mie note.txt'), 'w') as note:
        note.write('a file of the player\n')
    command = re.fullmatch(r'"(.*)" (/S)', entry['QuietUninstallString'])
    check(command and wine(env, *command.groups()) == 0, 'the quiet uninstall command failed')
    settle(env)
    home = os.path.dirname(os.path.dirname(os.path.dirname(folder)))
    left = [os.path.relpath(p, home) for p in glob.glob(os.path.join(home, '**', '*Orvenna*'), recursive=True)
            + glob.glob(os.path.join(home, '..', 'Desktop', '*.lnk'))]
    check(os.path.isdir(folder) and os.listdir(folder) == ['mie note.txt']
          and left == [os.path.join('Local', 'Programs', 'Orvenna 2000')], 'after the uninstall: %s' % left)
    check(uninstall_entry(prefix) is None, 'the uninstall entry is still there')
    log("the silent uninstall removed everything it wrote; the player's file and its folder stayed")


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix='orv-release-')
    prefix = os.path.join(work, 'prefix')
    home = os.path.join(work, 'home')
    os.mkdir(home)
    env = dict(os.environ, WINEPREFIX=prefix, HOME=home, WINEDEBUG='-all',
               WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
    # The prefix is made while the release is built twice.
    making = subprocess.Popen([os.path.join(ROOT, 'tools', 'wine-prefix.sh'), prefix], env=env)
    try:
        setup = check_release(bin_dir, work)
        if subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), setup], stdout=subprocess.DEVNULL).returncode:
            print('skipped: the installer, a 32-bit program, does not run natively here; the release itself passed')
            making.wait()
            return 77
        check(making.wait() == 0, 'no Wine prefix')
        folder, entry = check_installed(prefix, env, setup)
        check_running_game(prefix, env, setup, folder, entry, os.path.join(work, 'trace.txt'))
        check_uninstalled(prefix, env, folder, entry)
    except AssertionError as failure:
        print('FAILED: %s' % failure)
        return 1
    finally:
        subprocess.run(['/usr/lib/wine/wineserver', '-k'], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
