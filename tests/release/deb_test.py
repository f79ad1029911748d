"""The Debian package of the build's x86_64 exes (arguments: orv2000.exe, orv2000-hint.exe), checked, then
unpacked and started by its launcher from an unrelated folder under a fresh home, as at a player's first start."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
import pe  # noqa: E402
from driver import ROOT, TITLE, check, poll, windows  # noqa: E402
LAUNCHER = 'usr/games/orvenna2000'
FILES = [LAUNCHER, 'usr/share/applications/orvenna2000.desktop', 'usr/share/man/man6/orvenna2000.6.gz'] + [
    'usr/share/doc/orvenna2000/' + f for f in ('copyright', 'changelog.gz')] + [
    'usr/share/orvenna2000/' + f for f in ('orv2000.exe', 'orv2000-hint.exe', 'Orv2000.mid', 'orv2000.htm')] + [
    'usr/share/icons/hicolor/%dx%d/apps/orvenna2000.png' % (n, n) for n in (16, 32, 48, 64, 128, 256)]


def run(*args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def apt_closure(deb, tmp):
    """What apt would install with the package on an amd64 system with nothing installed and no
    foreign architecture, from this machine's package lists: the Inst lines, or None without lists."""
    policy = run('apt-cache', 'policy', 'wine64').stdout
    if 'Candidate:' not in policy or 'Candidate: (none)' in policy:
        return None
    empty = os.path.join(tmp, 'status')
    open(empty, 'w').close()
    said = run('apt-get', '-s', '-o', 'Dir::State::status=' + empty, '-o', 'APT::Architectures::=amd64',
               '-o', 'APT::Architecture=amd64', 'install', os.path.abspath(deb)).stdout
    check('Inst orvenna2000 ' in said, 'apt cannot install it with amd64 alone: ' + said[-800:])
    return re.findall(r'^Inst (\S+) .*$', said, re.M)


def without(loaders, command):
    """The command where these Wine programs and folders are not there, as on a system without
    them (a mount namespace: root only); None where that cannot be made."""
    if os.geteuid() != 0 or not shutil.which('unshare') or run('unshare', '-m', 'true').returncode != 0:
        return None
    hide = ' && '.join('mount %s %s' % ('-t tmpfs none' if os.path.isdir(p) else '--bind /dev/null', p)
                       for p in loaders if os.path.exists(p))
    return ['unshare', '-m', 'sh', '-c', hide + ' && exec "$0" "$@"'] + command if hide else command


def refused(root, tmp):
    """Without 64-bit Wine the launcher says so, in the player's language, and stops."""
    env = dict(os.environ, HOME=os.path.join(tmp, 'nobody'), LANG='it_IT.UTF-8')
    command = without(['/usr/lib/wine/wine64'], [os.path.join(root, LAUNCHER)])
    if command is None:
        return print('skipped the start without 64-bit Wine: no mount namespace here (not root?)')
    said = run(*command, env=env, timeout=60)
    check(said.returncode == 1 and 'manca Wine a 64 bit' in said.stdout and 'apt install wine64' in said.stdout
          and not os.path.exists(env['HOME']), 'without 64-bit Wine: exit code %d, %r' % (said.returncode, said.stdout))
    print('without 64-bit Wine the launcher says: ' + said.stdout.strip(), flush=True)


def start(root, tmp):
    launcher, home, elsewhere = os.path.join(root, LAUNCHER), os.path.join(tmp, 'home'), os.path.join(tmp, 'elsewhere')
    xdg, trace = os.path.join(home, 'xdg'), os.path.join(tmp, 'trace.txt')
    env = dict({k: v for k, v in os.environ.items() if not k.startswith('ORVENNA2000_')},
               HOME=home, XDG_DATA_HOME=xdg)
    check(not windows(TITLE), 'a game window is already on this screen')
    # As on an amd64 system without the i386 architecture: no 32-bit Wine.
    command = without(['/usr/lib/wine/wine', '/usr/lib/wine/wineserver32', '/usr/lib/i386-linux-gnu/wine'], [launcher])
    print('first start of the unpacked launcher (the Wine prefix is made now)%s'
          % (', without 32-bit Wine' if command else ''), flush=True)
    os.mkdir(elsewhere)
    game = subprocess.Popen(command or [launcher], cwd=elsewhere, env=env, stdin=subprocess.DEVNULL, stdout=open(trace, 'w'),
                            stderr=subprocess.STDOUT, start_new_session=True)
    said = lambda: open(trace, errors='replace').read()
    try:
        check(poll(lambda: windows(TITLE) or game.poll() is not None, 120) and windows(TITLE),
              'no game window (launcher exit code %s); it said: %s; xdpyinfo now: %s'
              % (game.poll(), said()[-600:], run('xdpyinfo').stdout[-300:]))
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
        made, again = (run('/usr/bin/python3', '-B', ROOT + '/tools/make_deb.py', dist, out) for out in (tmp, root))
        check(made.returncode == 0 == again.returncode, 'make_deb.py: ' + made.stdout)
        deb, again = made.stdout.strip(), again.stdout.strip()
        check(open(deb, 'rb').read() == open(again, 'rb').read(), 'two runs make different packages')
        shutil.rmtree(root)
        listed = re.findall(r'^-(\S+) \S+ +\d+ \S+ \S+ \./(.*)$', run('dpkg-deb', '-c', deb).stdout, re.M)
        want = {('rwxr-xr-x' if f == LAUNCHER else 'rw-r--r--', f) for f in FILES}
        check(set(listed) == want, 'the files, missing or unexpected: %s' % sorted(want ^ set(listed)))
        fields = dict(re.findall(r'^(\w+): (.*)$', run('dpkg-deb', '-f', deb).stdout, re.M))
        depends = {d.split()[0] for d in fields.get('Depends', '').split(',')}
        check((fields['Package'], fields['Version'], fields['Architecture'])
              == ('orvenna2000', open(ROOT + '/VERSION').read().strip(), 'amd64')
              and 'wine64' in depends and 'wine32' not in depends and not any(':' in d for d in depends)
              and 'fluidsynth' in fields.get('Recommends', ''), 'the control fields: %s' % fields)
        print('%s: %d files, %d bytes, Depends: %s' % (os.path.basename(deb), len(listed), os.path.getsize(deb),
                                                      fields['Depends']), flush=True)
        run('dpkg-deb', '-x', deb, root, check=True)
        kinds = {f: pe.load(os.path.join(root, 'usr/share/orvenna2000', f))['machine']
                 for f in ('orv2000.exe', 'orv2000-hint.exe')}
        check(set(kinds.values()) == {0x8664}, 'not every packed program is x86_64: %s' % kinds)
        pulled = apt_closure(deb, tmp)
        if pulled is None:
            print('skipped the install check: no package lists (apt-get update)')
        else:
            foreign = [p for p in pulled if p.endswith(':i386')]
            check(not foreign, 'apt would pull in i386 packages: %s' % foreign)
            print('apt, on an amd64 system with nothing installed: %d packages, none i386' % len(pulled), flush=True)
        said = run('desktop-file-validate', os.path.join(root, FILES[1])).stdout
        check(not said, 'desktop-file-validate: ' + said)
        said = [line for line in run('lintian', deb).stdout.splitlines() if line[:2] in ('E:', 'W:')]
        check(not said, 'lintian: ' + '\n'.join(said))
        print('desktop-file-validate and lintian: no errors, no warnings', flush=True)
        if os.environ.get('DISPLAY'):
            refused(root, tmp)
            return start(root, tmp)
        print('skipped the start: no display')
    except AssertionError as failure:
        print('FAILED: %s' % failure)
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
