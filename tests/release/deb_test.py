"""The Debian package of the build's exes (arguments: orv2000.exe, orv2000-hint.exe), checked, then unpacked
and started by its launcher from an unrelated folder under a fresh home, as at a player's first start."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from driver import ROOT, TITLE, check, poll, windows  # noqa: E402
LAUNCHER = 'usr/games/orvenna2000'
FILES = [LAUNCHER, 'usr/share/applications/orvenna2000.desktop', 'usr/share/man/man6/orvenna2000.6.gz'] + [
    'usr/share/doc/orvenna2000/' + f for f in ('copyright', 'changelog.gz')] + [
    'usr/share/orvenna2000/' + f for f in ('orv2000.exe', 'orv2000-hint.exe', 'Orv2000.mid', 'orv2000.htm')] + [
    'usr/share/icons/hicolor/%dx%d/apps/orvenna2000.png' % (n, n) for n in (16, 32, 48, 64, 128, 256)]


def run(*args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def start(root, tmp):
    launcher, home, elsewhere = os.path.join(root, LAUNCHER), os.path.join(tmp, 'home'), os.path.join(tmp, 'elsewhere')
    xdg, trace = os.path.join(home, 'xdg'), os.path.join(tmp, 'trace.txt')
    env = dict({k: v for k, v in os.environ.items() if not k.startswith('ORVENNA2000_')},
               HOME=home, XDG_DATA_HOME=xdg)
    check(not windows(TITLE), 'a game window is already on this screen')
    print('first start of the unpacked launcher (the Wine prefix is made now)', flush=True)
    os.mkdir(elsewhere)
    game = subprocess.Popen([launcher], cwd=elsewhere, env=env, stdin=subprocess.DEVNULL, stdout=open(trace, 'w'),
                            stderr=subprocess.STDOUT, start_new_session=True)
    said = lambda: open(trace, errors='replace').read()
    try:
        check(poll(lambda: windows(TITLE) or game.poll() is not None, 120) and windows(TITLE),
              'no game window (launcher exit code %s); it said: %s' % (game.poll(), said()[-600:]))
        check(re.search(r'orvenna2000: (First start|Prima partenza)', said()), 'no word of the first start')
        check(os.path.isdir(os.path.join(xdg, 'orvenna2000/wine/drive_c')) and os.listdir(xdg) == ['orvenna2000'],
              'in the home, a prefix and no menus or file types of Wine: %s' % os.listdir(xdg))
        # Wine keeps a process's Unix working folder the same as its Windows one, where the game reads its side files.
        folders = [os.readlink('/proc/%s/cwd' % pid) for pid in
                   run('pgrep', '-s', str(game.pid), '-f', r'orv2000\.exe').stdout.split()]
        check(folders == [os.path.join(root, 'usr/share/orvenna2000')], "the game's working folder: %s" % folders)
    finally:
        run('kill', '-KILL', '--', '-%d' % game.pid)     # the launcher and the game, its process group
        game.wait()
        run('/usr/lib/wine/wineserver', '-k', env=dict(env, WINEPREFIX=os.path.join(xdg, 'orvenna2000/wine')))
        poll(lambda: not windows(TITLE), 5)
    print('the game started in its own folder, its prefix under the home and nothing else there')


def main():
    if not all(shutil.which(t) for t in ('dpkg-deb', 'lintian', 'desktop-file-validate')):
        sys.exit(print('skipped: dpkg-deb, lintian or desktop-file-validate is missing (make deps)') or 77)
    tmp = tempfile.mkdtemp(prefix='orv-deb-')
    try:
        dist, root = os.path.join(tmp, 'dist'), os.path.join(tmp, 'root')
        os.mkdir(dist)
        for source, name in zip(sys.argv[1:3] + [ROOT + '/data/Orv2000.mid', ROOT + '/data/orv2000.htm'],
                                ('orv2000.exe', 'orv2000-hint.exe', 'Orv2000.mid', 'orv2000.htm')):
            shutil.copy(source, os.path.join(dist, name))
        deb = run('/usr/bin/python3', '-B', ROOT + '/tools/make_deb.py', dist, tmp, check=True).stdout.strip()
        listed = re.findall(r'^-(\S+) \S+ +\d+ \S+ \S+ \./(.*)$', run('dpkg-deb', '-c', deb).stdout, re.M)
        want = {('rwxr-xr-x' if f == LAUNCHER else 'rw-r--r--', f) for f in FILES}
        check(set(listed) == want, 'the files, missing or unexpected: %s' % sorted(want ^ set(listed)))
        fields = dict(re.findall(r'^(\w+): (.*)$', run('dpkg-deb', '-f', deb).stdout, re.M))
        check((fields['Package'], fields['Version'], fields['Architecture'])
              == ('orvenna2000', open(ROOT + '/VERSION').read().strip(), 'all')
              and {'wine', 'wine32'} <= {d.split()[0] for d in fields.get('Depends', '').split(',')}
              and 'fluidsynth' in fields.get('Recommends', ''), 'the control fields: %s' % fields)
        print('%s: %d files, %s' % (os.path.basename(deb), len(listed), fields['Depends']), flush=True)
        run('dpkg-deb', '-x', deb, root, check=True)
        said = run('desktop-file-validate', os.path.join(root, FILES[1])).stdout
        check(not said, 'desktop-file-validate: ' + said)
        said = [line for line in run('lintian', deb).stdout.splitlines() if line.startswith('E:')]
        check(not said, 'lintian: ' + '\n'.join(said))
        print('desktop-file-validate and lintian: no errors', flush=True)
        status = run(ROOT + '/tools/wine-loader.sh', sys.argv[1]).returncode
        if os.environ.get('DISPLAY') and status == 0:
            return start(root, tmp)
        print('skipped the start: ' + ('no display' if status == 0 else '32-bit Wine cannot run natively here'))
    except AssertionError as failure:
        print('FAILED: %s' % failure)
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
