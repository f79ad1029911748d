"""Drives the real program from outside as a player would: starts the exe under
Wine as a direct child, clicks and types with xdotool, reads the screen with
xwd and the table from it by comparing card-sized blocks with the exe's own
bitmaps, reads window texts with window_texts.exe, and listens to the media
commands (WINEDEBUG=+mci) and every sound played (ALSA's file plugin)."""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import types
import zlib

import pe
import rules

TITLE = 'Brelliwick - Orvenna 2000'
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
BG, RED, BLACK = b'\xa0\0\0', b'\xff\0\0', b'\0\0\0'     # R, G, B
CLIENT_W, CLIENT_H = 794, 456
START_MUSIC = ['close all', 'open sequencer!Orv2000.mid alias music', 'play music notify']
SLOW = [1]      # 10 where 32-bit code is emulated


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def log(text):
    print(text, flush=True)


def poll(predicate, timeout):
    end = time.monotonic() + timeout * SLOW[0]
    while not predicate():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def wait(predicate, what, timeout=10):
    """Polls until predicate() gives something true and returns it."""
    value = [None]
    check(poll(lambda: value.__setitem__(0, predicate()) or value[0], timeout), 'timed out waiting for ' + what)
    return value[0]


def loader(exe):
    result = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe], stdout=subprocess.PIPE, text=True)
    if result.returncode == 3:
        print('skipped: this machine runs no 32-bit programs')
        raise SystemExit(77)
    check(result.returncode in (0, 4), 'cannot run ' + exe)
    return result.stdout.strip(), result.returncode == 4


def run(exe, *args, timeout=120):
    """(exit code, output) of a console program under Wine."""
    result = subprocess.run([loader(exe)[0], exe] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout * SLOW[0])
    return result.returncode, result.stdout.decode('utf-8', 'replace').replace('\r', '')


def xdo(*args):
    return subprocess.run(['xdotool'] + [str(a) for a in args], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


def windows(name):
    return [int(w) for w in xdo('search', '--onlyvisible', '--name', '^%s$' % re.escape(name)).split()]


def geometry(window):
    out = subprocess.run(['xwininfo', '-id', str(window)], stdout=subprocess.PIPE, text=True).stdout
    return tuple(int(re.search(key + r':\s+(-?\d+)', out).group(1))
                 for key in ('Absolute upper-left X', 'Absolute upper-left Y', 'Width', 'Height'))


def screen(window=None):
    """An xwd dump as (left, top, width, height, B G R 0 pixels)."""
    dump = subprocess.run(['xwd', '-silent'] + (['-id', str(window)] if window else ['-root']),
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    check(len(dump) > 100, 'no picture of window %s' % window)
    h = struct.unpack('>25I', dump[:100])
    left, top = struct.unpack('>ii', dump[88:96])
    w, height, step, line = h[4], h[5], h[11] // 8, h[12]
    check(h[7] == 0 and h[14:17] == (0xFF0000, 0xFF00, 0xFF) and step in (3, 4), 'unknown xwd format')
    body = dump[h[0] + h[19] * 12:]
    pixels = bytearray(w * height * 4)
    for y in range(height):
        row = body[y * line:y * line + w * step]
        for k in range(3):
            pixels[y * w * 4 + k:(y + 1) * w * 4:4] = row[k::step]
    return left, top, w, height, bytes(pixels)


def block(shot, x, y, w, h):
    left, top, width, _, pixels = shot
    x, y = x - left, y - top
    return b''.join(pixels[((y + j) * width + x) * 4:((y + j) * width + x + w) * 4] for j in range(h))


def save_png(shot, path, x, y, w, h):
    raw = b''
    for j in range(h):
        row, rgb = block(shot, x, y + j, w, 1), bytearray(w * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
        raw += b'\0' + rgb

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
                  + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def texts(g, title):
    """[(kind, class, id, style, (l, t, r, b), text)] of the windows titled so and their children."""
    _, out = run(g.texts, title, timeout=60)
    rows = []
    for line in out.splitlines():
        kind, cls, ident, style, rect, text = line.split('\t')
        text = re.sub(r'\\(.)', lambda m: {'n': '\n', 't': '\t', 'r': '\r'}.get(m.group(1), m.group(1)), text)
        rows.append((kind, cls, int(ident), int(style, 16), tuple(map(int, rect.split(','))), text))
    return rows


def pictures(resources):
    """{B G R 0 bytes of a card's 62 x 100 block: card} from the exe's bitmaps 1..40."""
    found = {}
    for n in range(1, 41):
        w, h, _, lines = pe.dib(resources[(pe.RT_BITMAP, n)])
        check((w, h) == (rules.CARD_W, rules.CARD_H), 'bitmap %d is %dx%d' % (n, w, h))
        check(b''.join(lines) not in found, 'bitmaps %s and %d are the same picture' % (found.get(b''.join(lines)), n))
        found[b''.join(lines)] = n
    return found


def start(exe, texts_exe, side_files=True):
    """Starts a copy of the exe in a folder of its own and waits for its deal."""
    folder = tempfile.mkdtemp(prefix='orv-e2e-')
    shutil.copy2(exe, os.path.join(folder, 'orv2000.exe'))
    for name in ('Orv2000.mid', 'orv2000.htm') if side_files else ():
        shutil.copy2(os.path.join(ROOT, 'data', name), folder)
    os.mkdir(os.path.join(folder, 'sound'))
    with open(os.path.join(folder, 'asound.conf'), 'w') as conf:
        conf.write('pcm.!default { type file; slave.pcm { type null } file "%s/sound/s.wav"; format "wav"; '
                   'truncate false }\n' % folder)
    wine, emulated = loader(exe)
    SLOW[0] = 10 if emulated else 1
    resources = pe.load(exe)['resources']
    g = types.SimpleNamespace(folder=folder, texts=texts_exe, pictures=pictures(resources), enabled=1, frames={},
                              moves=0, trace=open(os.path.join(folder, 'trace.txt'), 'wb'),
                              wave=resources[('WAVE', 175)])
    g.card_blocks = {n: b for b, n in g.pictures.items()}
    env = dict(os.environ, WINEDEBUG='+mci', ALSA_CONFIG_PATH=os.path.join(folder, 'asound.conf'))
    check(not windows(TITLE), 'a game window is already on this screen')
    g.proc = subprocess.Popen([wine, os.path.join(folder, 'orv2000.exe')], cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, stdout=g.trace, stderr=subprocess.STDOUT)
    poll(lambda: windows(TITLE) or g.proc.poll() is not None, 30)
    check(windows(TITLE), 'no game window; exit code %s, Wine said: %s'
          % (g.proc.poll(), open(g.trace.name, errors='replace').read()[-500:]))
    g.window = windows(TITLE)[0]
    g.rows = wait(lambda: [r for r in texts(g, TITLE) if r[0] == 'child'], 'the card views')
    g.origin = min(r[4][:2] for r in g.rows)    # card view (1, 1) lies at client (0, 0)
    g.table = wait(lambda: read_table(g), 'the dealt table on the screen')
    g.dealt = time.monotonic()
    check(all(g.table[p] for p in rules.GRID), 'the deal does not fill the grid:\n' + rules.describe(g.table))
    expect(g, g.table, 'the deal')
    return g


def stop(g):
    if g.proc.poll() is None:
        g.proc.kill()
        g.proc.wait()
        poll(lambda: not windows(TITLE), 5)     # the next case starts on a clean screen
    g.trace.close()
    shutil.rmtree(g.folder, ignore_errors=True)


def ended(g, how):
    """The program ends by itself with exit code 0 and no crash."""
    try:
        code = g.proc.wait(20 * SLOW[0])
    except subprocess.TimeoutExpired:
        code = 'none: still running'
    check(code == 0, 'exit code %s after %s' % (code, how))
    check(b'wine: Unhandled' not in open(g.trace.name, 'rb').read(), 'the program crashed')
    log('the program ended with exit code 0 after ' + how)


def read_table(g, shot=None):
    """The table on the screen, or None when a block is neither a card nor background."""
    shot = shot or screen(g.window)
    table, empty = {}, BG[::-1] + b'\0'
    for place in rules.GRID + rules.CELLS:
        x, y = rules.origin(place)
        b = block(shot, g.origin[0] + x, g.origin[1] + y, rules.CARD_W, rules.CARD_H)
        if b != empty * (rules.CARD_W * rules.CARD_H) and b not in g.pictures:
            return None
        table[place] = g.pictures.get(b)
    return table if sorted(n for n in table.values() if n) == list(range(1, 41)) else None


def client_picture(g, table):
    """The client area as the program should draw it: background, the grid
    edge (red inside, black outside), the frames of the enabled free cells,
    the cards. frames[k] is 'worn' once a card left free cell k: its top edge
    is then repainted away but for the corner."""
    pic = bytearray((BG[::-1] + b'\0') * (CLIENT_W * CLIENT_H))

    def line(colour, x0, y0, x1, y1):
        for x in range(x0, x1 + 1):
            for y in range(y0, y1 + 1):
                pic[(y * CLIENT_W + x) * 4:(y * CLIENT_W + x) * 4 + 3] = colour[::-1]
    line(RED, 635, 0, 635, 410), line(RED, 1, 411, 635, 411), line(RED, 636, 0, 636, 0)
    line(BLACK, 636, 1, 636, 412), line(BLACK, 0, 412, 635, 412), line(BLACK, 0, 411, 0, 411)
    for k in [1] + sorted(g.frames):
        top, bottom = (k - 1) * 101 + (k > 1), k * 101
        line(RED, 756, top, 756, bottom - 1), line(RED, 693, bottom, 756, bottom)
        line(BLACK, 693 if g.frames.get(k) != 'worn' else 755, top, 756, top), line(BLACK, 692, top, 692, bottom - 1)
    for place, n in table.items():
        if n:
            x, y = rules.origin(place)
            face = g.card_blocks[n]
            for j in range(rules.CARD_H):
                at = ((y + j) * CLIENT_W + x) * 4
                pic[at:at + rules.CARD_W * 4] = face[j * rules.CARD_W * 4:(j + 1) * rules.CARD_W * 4]
    return bytes(pic)


def expect(g, table, what):
    """Waits until the client area is exactly the expected picture of the table."""
    want, last = client_picture(g, table), [None]

    def same():
        last[0] = screen(g.window)
        return block(last[0], g.origin[0], g.origin[1], CLIENT_W, CLIENT_H) == want
    if not poll(same, 5):
        seen = block(last[0], g.origin[0], g.origin[1], CLIENT_W, CLIENT_H)
        diff = [(i // 4 % CLIENT_W, i // 4 // CLIENT_W) for i in range(0, len(want), 4) if seen[i:i + 3] != want[i:i + 3]]
        shown = read_table(g, last[0])
        raise AssertionError('the window does not show %s; expected:\n%s\non the screen:\n%s\n%d pixels differ, e.g. %s'
                             % (what, rules.describe(table), rules.describe(shown) if shown else 'no readable table',
                                len(diff), diff[:6]))
    g.table = table


def sounds(g):
    """The finished captured streams, oldest first; None while one is being written."""
    names = sorted(os.listdir(os.path.join(g.folder, 'sound')), key=lambda n: (len(n), n))
    data = [open(os.path.join(g.folder, 'sound', n), 'rb').read() for n in names]
    return None if any(len(d) < 44 or struct.unpack_from('<I', d, 4)[0] + 8 != len(d) for d in data) else data


def expect_sounds(g):
    """Exactly one sound per move so far, each bit for bit the exe's WAVE 175
    (a stream may end in silence: Wine fills the last period)."""
    def same(d):
        return d[20:36] == g.wave[20:36] and d[44:len(g.wave)] == g.wave[44:] and not d[len(g.wave):].strip(b'\0')
    got = [None]
    poll(lambda: got.__setitem__(0, sounds(g)) or got[0] is not None and len(got[0]) >= g.moves
         and all(map(same, got[0])), 10)
    check(len(got[0] or []) == g.moves, '%d sounds played for %d moves' % (len(got[0] or []), g.moves))
    bad = [i + 1 for i, d in enumerate(got[0]) if not same(d)]
    check(not bad, 'sounds %s of %d are not the WAVE 175 data' % (bad, g.moves))


def mci(g):
    """The media command strings sent so far, from Wine's +mci trace."""
    g.trace.flush()
    return re.findall(r'mciSendStringW \(L"(.*?)"', open(g.trace.name, errors='replace').read())


def expect_mci(g, commands, what):
    wait(lambda: len(mci(g)) >= len(commands), what)
    check(mci(g) == commands, '%s: media commands %s, expected %s' % (what, mci(g), commands))


def click(g, x, y, button=1):
    """One click at a client point, the result checked against the rules, the
    move sound counted."""
    after, what = rules.click(g.table, g.enabled, x, y, button)
    log('%s click at (%d,%d): %s' % ('left' if button == 1 else 'right', x, y, what))
    for k in range(2, 5):
        if g.table[(12, k)] and not after[(12, k)]:
            g.frames[k] = 'worn'
    xdo('mousemove', g.origin[0] + x, g.origin[1] + y, 'click', button)
    if after != g.table:
        g.moves += 1
    else:
        time.sleep(0.15 * SLOW[0])    # time for a wrong move to show
    expect(g, after, 'the result of a click at (%d,%d): %s' % (x, y, what))
    return after


def play(g, line):
    for button, card in line:
        click(g, *rules.centre(g.table, card), button)


def keys(g, *names):
    """Keys to the game, the pointer on its background (the focus follows the
    pointer without a window manager); time for a menu to open after each."""
    xdo('mousemove', g.origin[0] + 660, g.origin[1] + 440)
    for name in names:
        xdo('key', name)
        time.sleep(0.12 * SLOW[0])


def menu(g, *steps):
    """The menu by keyboard: Alt, Down into 'Menu di Orvenna 2000', then the steps."""
    keys(g, 'alt', 'Down', *steps)


def free_cells(g, n):
    """Opzioni > Spazi liberi > n: frames 2..n appear."""
    menu(g, 'Down', 'Right', 'Right', *(['Down'] * (n - 1)), 'Return')
    if n >= g.enabled:
        g.enabled = n
        g.frames.update({k: 'drawn' for k in range(2, n + 1)})
    expect(g, g.table, 'the frames of %d free cells' % n)


def new_deal(g, how, timeout=10):
    """A new deal (the deal is seeded with the time in seconds: a new second
    is awaited) with only free cell 1 framed."""
    old = g.table
    time.sleep(max(0, g.dealt + 1.05 - time.monotonic()))
    how()
    g.enabled, g.frames = 1, {}
    g.table = wait(lambda: (lambda t: t if t and t != old and all(t[p] for p in rules.GRID) else None)(read_table(g)),
                   'a new deal', timeout)
    g.dealt = time.monotonic()
    expect(g, g.table, 'the new deal with one free cell')
