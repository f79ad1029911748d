#!/usr/bin/python3
"""The game's music and move sound, checked on the real program under Wine
and observed only from outside, as a player's machine would hear them.

Usage: media_test.py CASE EXE MIDI_DRIVER_DLL
Run inside tools/headless.sh (its own X server and Wine server). Exit code 0
passed, 1 failed, 77 skipped.

How it listens:
- Music: Wine's +mci debug channel logs every media command string the
  program sends (mciSendString), its result, and every completion notice
  (mciDriverNotify) sent back to the program's window. The program runs from a
  scratch folder holding a copy of the exe, a 2-second Orv2000.mid made by
  test_midi.py, and the test MIDI driver (tests/midiout) as midimap.dll, which
  accepts every MIDI message, so the piece plays in real time to its end and
  the completion notice arrives as on a machine with a synthesiser.
- Move sound: ALSA's "file" plugin, named by ALSA_CONFIG_PATH, writes every
  stream Wine plays into its own numbered WAV file (sound.wav, sound.wav.0001,
  ...). Each file is compared with the WAVE resource 175 read from the exe.
- The board is read from the screen: every card bitmap is drawn unscaled, so
  each 62 x 100 block on screen equals one of resources/cards/01..40.bmp.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(HERE))
import test_midi  # noqa: E402

TITLE = 'Brelliwick - Orvenna 2000'
START = ['close all', 'open sequencer!Orv2000.mid alias music', 'play music notify']
STOP = ['close all']
NOTIFY_SUCCESSFUL, NOTIFY_SUPERSEDED, NOTIFY_ABORTED, NOTIFY_FAILURE = 1, 2, 4, 8
NOTIFY_NAMES = {1: 'successful', 2: 'superseded', 4: 'aborted', 8: 'failure'}

# Board geometry in client pixels of the main window.
CARD_W, CARD_H = 62, 100
COLUMN_PITCH, ROW_PITCH = 63, 102
FREE_CELL_X, FREE_CELL_PITCH = 693, 101
BACKGROUND = (700, 450)     # a client point that holds no card and no cell
MOVE_SOUND_ID = 175
MOVE_SOUND_SAMPLES = 3461
MOVE_SOUND_RATE = 22050

# The "Musica" item: the menu bar's only item, down to "Opzioni" (separators
# are skipped), into its submenu, down from "Spazi liberi" to "Musica".
MUSIC_MENU_KEYS = ['alt', 'Down', 'Down', 'Right', 'Down', 'Return']


class Failure(Exception):
    pass


STARTED = time.monotonic()


def report(text):
    print(f'[{time.monotonic() - STARTED:6.2f} s] {text}', flush=True)


class Skip(Exception):
    pass


def is_ace(card):
    return card % 10 == 1


# ---------------------------------------------------------------------------
# Files the program is made of

def wave_resource(exe, ident=MOVE_SOUND_ID, kind='WAVE'):
    """The bytes of resource `ident` of the named type `kind` in a PE file."""
    d = Path(exe).read_bytes()
    pe = struct.unpack_from('<I', d, 0x3C)[0]
    if d[pe:pe + 4] != b'PE\0\0':
        raise Failure(f'{exe} is not a PE file')
    sections_count = struct.unpack_from('<H', d, pe + 6)[0]
    optional_size = struct.unpack_from('<H', d, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', d, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resources_rva = struct.unpack_from('<I', d, directories + 2 * 8)[0]
    sections = [struct.unpack_from('<8sIIII', d, optional + optional_size + 40 * i)
                for i in range(sections_count)]

    def offset(rva):
        for _, vsize, va, raw_size, raw_pointer in sections:
            if va <= rva < va + max(vsize, raw_size):
                return raw_pointer + rva - va
        raise Failure(f'address {rva:#x} is in no section of {exe}')

    root = offset(resources_rva)

    def entries(directory):
        named, ids = struct.unpack_from('<HH', d, directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', d, directory + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                length = struct.unpack_from('<H', d, at)[0]
                name = d[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            yield name, target

    def find(directory, wanted):
        for name, target in entries(directory):
            if (name.upper() == wanted if isinstance(name, str) else name == wanted):
                return target
        raise Failure(f'{exe} has no resource {wanted!r} here')

    types = find(root, kind)
    names = root + (types & 0x7FFFFFFF)
    languages = root + (find(names, ident) & 0x7FFFFFFF)
    first_language = next(entries(languages))[1]
    rva, size = struct.unpack_from('<II', d, root + first_language)
    return d[offset(rva):offset(rva) + size]


def parse_wav(data, name):
    """(channels, rate, bits, PCM bytes) of a RIFF WAVE file's bytes."""
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise Failure(f'{name} is not a WAVE file')
    at, fmt, pcm = 12, None, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        body = data[at + 8:at + 8 + size]
        if chunk == b'fmt ':
            fmt = struct.unpack_from('<HHIIHH', body)
        elif chunk == b'data':
            pcm = body
            break
        at += 8 + size + (size & 1)
    if fmt is None or pcm is None:
        raise Failure(f'{name} lacks its fmt or data chunk')
    tag, channels, rate, _, _, bits = fmt
    if tag != 1:
        raise Failure(f'{name} is not PCM (format tag {tag})')
    return channels, rate, bits, pcm


def load_card_faces():
    """{BGR bytes of the 62 x 100 picture, top row first: card value}."""
    faces = {}
    for card in range(1, 41):
        d = (ROOT / 'resources' / 'cards' / f'{card:02d}.bmp').read_bytes()
        bits_offset = struct.unpack_from('<I', d, 10)[0]
        header_size, width, height, _, bpp = struct.unpack_from('<IiiHH', d, 14)
        if (width, abs(height), bpp) != (CARD_W, CARD_H, 8):
            raise Failure(f'card picture {card:02d}.bmp is not 62 x 100 with 8 bits')
        palette = [d[14 + header_size + 4 * i:14 + header_size + 4 * i + 3] for i in range(256)]
        stride = (width + 3) & ~3
        rows = []
        for y in range(CARD_H):
            source = y if height < 0 else CARD_H - 1 - y
            line = d[bits_offset + source * stride:bits_offset + source * stride + width]
            rows.append(b''.join(palette[i] for i in line))
        faces[b''.join(rows)] = card
    return faces


# ---------------------------------------------------------------------------
# The screen

class Screen:
    """One dump of the root window (xwd), read as BGR bytes."""

    def __init__(self):
        data = subprocess.run(['xwd', '-root', '-silent'], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, check=True).stdout
        h = struct.unpack('>25I', data[:100])
        self.width, self.height = h[4], h[5]
        byte_order, bpp, self.stride = h[7], h[11], h[12]
        if byte_order != 0 or tuple(h[14:17]) != (0xFF0000, 0xFF00, 0xFF) or bpp not in (24, 32):
            raise Failure(f'unexpected screen dump format {h}')
        self.step = bpp // 8
        self.data = data
        self.offset = h[0] + h[19] * 12

    def row(self, x, y, width):
        start = self.offset + y * self.stride + x * self.step
        raw = self.data[start:start + width * self.step]
        if self.step == 3:
            return raw
        return b''.join(raw[i:i + 3] for i in range(0, len(raw), 4))

    def block(self, x, y, width, height):
        if x < 0 or y < 0 or x + width > self.width or y + height > self.height:
            return b''
        return b''.join(self.row(x, y + i, width) for i in range(height))


# ---------------------------------------------------------------------------
# The program under Wine

def x_window_geometry(window):
    out = subprocess.run(['xwininfo', '-id', str(window)], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True).stdout
    values = {}
    for key, pattern in (('x', r'Absolute upper-left X:\s+(-?\d+)'), ('y', r'Absolute upper-left Y:\s+(-?\d+)'),
                         ('w', r'Width:\s+(\d+)'), ('h', r'Height:\s+(\d+)')):
        m = re.search(pattern, out)
        if not m:
            raise Failure(f'no geometry for X window {window}')
        values[key] = int(m.group(1))
    return values['x'], values['y'], values['w'], values['h']


# The ANSI entry point hands its string on to the wide one; where both are
# logged, the wide line repeating the ANSI one is the same command.
TRACE_COMMAND = re.compile(r'trace:mci:mciSendString([AW]) \(L?"(.*)", [0-9A-Fa-f]+, \d+, ([0-9A-Fa-f]+)\)\s*$')
TRACE_RESULT = re.compile(r'trace:mci:mciSendStringW => 2/ ([0-9A-Fa-f]+)')
TRACE_NOTIFY = re.compile(r'trace:mci:mciDriverNotify \(([0-9A-Fa-f]+), ([0-9A-Fa-f]+), ([0-9A-Fa-f]+)\)')
TRACE_TIME = re.compile(r'^(\d+\.\d+):')


class Game:
    """One run of the program from a scratch folder."""

    def __init__(self, exe, driver, case, music=False, capture=False, piece_seconds=2.0):
        self.exe_source = Path(exe).resolve()
        self.case = case
        loader = subprocess.run([str(ROOT / 'tools' / 'wine-loader.sh'), str(self.exe_source)],
                                stdout=subprocess.PIPE, text=True)
        if loader.returncode == 3:
            raise Skip('this machine runs no 32-bit programs')
        if loader.returncode not in (0, 4):
            raise Failure(f'wine-loader.sh failed ({loader.returncode})')
        self.loader = loader.stdout.strip()
        self.emulated = loader.returncode == 4
        # Where 32-bit code is emulated every step is about ten times slower.
        self.patience = 15 if self.emulated else 1
        # The pieces last longer there, so that checks made while a piece
        # plays still come before its end.
        if self.emulated:
            piece_seconds *= 8
        self.dir = Path(tempfile.mkdtemp(prefix=f'orv-media-{case}-'))
        self.exe = self.dir / self.exe_source.name
        shutil.copy2(self.exe_source, self.exe)
        self.piece_seconds = test_midi.duration_seconds(piece_seconds)
        (self.dir / 'Orv2000.mid').write_bytes(test_midi.piece(piece_seconds))
        self.trace_path = self.dir / 'trace.txt'
        self.midi_log = self.dir / 'midi.log'
        self.capture_dir = self.dir / 'capture'
        self.capture_dir.mkdir()

        overrides = os.environ.get('WINEDLLOVERRIDES', 'mscoree,mshtml=')
        if music:
            shutil.copy2(driver, self.dir / 'midimap.dll')
            overrides += ';midimap=n'
        # Every sound goes to a file (or nowhere): nothing reaches a speaker
        # and no real MIDI port is found.
        if capture:
            pcm = ('pcm.!default { type file; slave.pcm { type null } '
                   f'file "{self.capture_dir}/sound.wav"; format "wav"; truncate false }}\n')
        else:
            pcm = 'pcm.!default { type null }\n'
        (self.dir / 'asound.conf').write_text(pcm)
        self.env = dict(os.environ)
        self.env.update({
            'WINEDEBUG': '+timestamp,+mci' if music else '-all',
            'WINEDLLOVERRIDES': overrides,
            'ALSA_CONFIG_PATH': str(self.dir / 'asound.conf'),
            'MIDIOUT_TEST_LOG': 'midi.log',
        })
        self.process = None
        self.window = None
        self.origin = None
        self.faces = None

    # -- life cycle --------------------------------------------------------

    def start(self):
        self.out = open(self.dir / 'stdout.txt', 'wb')
        self.err = open(self.trace_path, 'wb')
        self.process = subprocess.Popen([self.loader, str(self.exe)], cwd=self.dir, env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)
        deadline = time.monotonic() + 30 * self.patience
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise Failure(f'the program ended before showing its window (exit code {self.process.returncode})')
            found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', f'^{TITLE}$'],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
            if found:
                self.window = int(found[0])
                return
            time.sleep(0.1)
        raise Failure(f'no window titled "{TITLE}" appeared')

    def close(self):
        """Closes the program by its caption's close button; expects exit code 0."""
        if self.process is None or self.process.poll() is not None:
            return
        x, y, w, _ = self.geometry()
        self.mouse(x + w - 12, y + 12, 1)
        try:
            code = self.process.wait(timeout=10 * self.patience)
        except subprocess.TimeoutExpired:
            raise Failure('the program did not end after a click on the close button')
        if code != 0:
            raise Failure(f'the program ended with exit code {code}')

    def cleanup(self, passed):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for f in (getattr(self, 'out', None), getattr(self, 'err', None)):
            if f:
                f.close()
        crash = self.trace_path.exists() and b'wine: Unhandled' in self.trace_path.read_bytes()
        if passed and not crash:
            shutil.rmtree(self.dir, ignore_errors=True)
        else:
            print(f'files of this run kept in {self.dir}')
        if crash:
            raise Failure('the program crashed (wine: Unhandled exception)')

    # -- input -------------------------------------------------------------

    def geometry(self):
        return x_window_geometry(self.window)

    @staticmethod
    def mouse(x, y, button):
        subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', str(button)], check=True)

    def click(self, client_x, client_y, button=1):
        """A click at a point of the client area."""
        ox, oy = self.client_origin()
        self.mouse(ox + client_x, oy + client_y, button)

    def focus(self):
        """Keyboard focus: a click on the caption (no window manager here)."""
        x, y, w, _ = self.geometry()
        self.mouse(x + w // 3, y + 10, 1)
        time.sleep(0.2 * self.patience)

    def keys(self, *names):
        for name in names:
            subprocess.run(['xdotool', 'key', name], check=True)
            time.sleep(0.15 * self.patience)

    def toggle_music(self):
        self.focus()
        self.keys(*MUSIC_MENU_KEYS)

    def caption_button_x(self, x, y, w, index):
        """Screen x of the caption button `index` (0 = close, 1 = maximise,
        2 = minimise or restore), found as white-topped boxes from the right."""
        screen = Screen()
        for top in range(y + 2, y + 12):
            row = screen.row(x, top, w)
            runs, start = [], None
            for i in range(w):
                white = row[3 * i:3 * i + 3] == b'\xff\xff\xff'
                if white and start is None:
                    start = i
                elif not white and start is not None:
                    if i - start >= 10:
                        runs.append((start, i))
                    start = None
            if len(runs) >= 3:
                left, right = runs[-1 - index]
                return x + (left + right) // 2
        return x + w - 12 - 17 * index

    def minimise(self):
        x, y, w, _ = self.geometry()
        self.mouse(self.caption_button_x(x, y, w, 2), y + 12, 1)
        self.wait_for(lambda: self.geometry()[2] < 800, 'the window to be minimised')

    def restore(self):
        """Wine shows a minimised window as a small bar at the bottom of the
        screen; its own restore button stands where the minimise button was."""
        x, y, w, _ = self.geometry()
        self.mouse(self.caption_button_x(x, y, w, 2), y + 12, 1)
        self.wait_for(lambda: self.geometry()[2:] == (800, 500), 'the window to be restored')

    # -- waiting -----------------------------------------------------------

    def wait_for(self, condition, what, seconds=10):
        deadline = time.monotonic() + seconds * self.patience
        while True:
            value = condition()
            if value:
                return value
            if self.process.poll() is not None:
                raise Failure(f'the program ended while waiting for {what}')
            if time.monotonic() > deadline:
                raise Failure(f'timed out waiting for {what}')
            time.sleep(0.05)

    def settle(self):
        """Time for a click that should change nothing to be handled."""
        time.sleep(0.5 * self.patience)

    # -- the media command trace --------------------------------------------

    def events(self):
        """[(kind, value, time)]: ('command', (text, callback)), ('result', code),
        ('notify', (window, device, code)), in the order Wine logged them."""
        found = []
        try:
            text = self.trace_path.read_text(errors='replace')
        except FileNotFoundError:
            return found
        last_ansi = None
        for line in text.splitlines():
            stamp = TRACE_TIME.match(line)
            stamp = float(stamp.group(1)) if stamp else None
            m = TRACE_COMMAND.search(line)
            if m:
                entry, command = m.group(1), (m.group(2), int(m.group(3), 16))
                if entry == 'W' and last_ansi == command[0]:
                    last_ansi = None
                    continue
                last_ansi = command[0] if entry == 'A' else None
                found.append(('command', command, stamp))
                continue
            m = TRACE_RESULT.search(line)
            if m:
                found.append(('result', int(m.group(1), 16), stamp))
                continue
            m = TRACE_NOTIFY.search(line)
            if m:
                found.append(('notify', tuple(int(v, 16) for v in m.groups()), stamp))
        return found

    def commands(self):
        return [value[0] for kind, value, _ in self.events() if kind == 'command']

    def notices(self):
        return [value[2] for kind, value, _ in self.events() if kind == 'notify']

    def expect_commands(self, expected, what):
        """Waits until the trace holds `expected` (the whole list so far) and
        checks that nothing else came."""
        def enough():
            return len(self.commands()) >= len(expected)
        try:
            self.wait_for(enough, what)
        except Failure:
            pass
        time.sleep(0.3 * self.patience)
        got = self.commands()
        if got != expected:
            raise Failure(f'{what}: media commands were\n    {got}\n  expected\n    {expected}')
        report(f'ok: {what}')

    def check_results(self):
        """Every command string was accepted (result 0)."""
        events = self.events()
        current = None
        for kind, value, _ in events:
            if kind == 'command':
                current = value[0]
            elif kind == 'result' and current is not None:
                if value != 0:
                    raise Failure(f'"{current}" returned {value}')
                current = None

    def wait_for_notices(self, count, what, code=NOTIFY_SUCCESSFUL):
        seconds = self.piece_seconds + 10
        self.wait_for(lambda: self.notices().count(code) >= count, what, seconds)
        report(f'ok: {what}')

    def midi_plays(self):
        """The driver's log, split into plays: [(open time, close time,
        [short messages])], complete plays only."""
        plays, current = [], None
        try:
            lines = self.midi_log.read_text().splitlines()
        except FileNotFoundError:
            return plays
        for line in lines:
            parts = line.split()
            if len(parts) < 2:
                continue
            stamp, what = float(parts[0]), parts[1]
            if what == 'open':
                current = (stamp, [])
            elif what == 'short' and current:
                current[1].append((stamp, int(parts[2], 16)))
            elif what == 'close' and current:
                plays.append((current[0], stamp, current[1]))
                current = None
        return plays

    # -- the board on screen -------------------------------------------------

    def client_origin(self):
        """Screen position of the client area's top-left pixel, found where
        the card in grid cell (1, 1) matches its bitmap exactly."""
        if self.origin:
            return self.origin
        if self.faces is None:
            self.faces = load_card_faces()
        first_rows = {face[:CARD_W * 3] for face in self.faces}

        def search():
            x, y, _, _ = self.geometry()
            screen = Screen()
            for dy in range(0, 80):
                for dx in range(0, 16):
                    if screen.row(x + dx, y + dy, CARD_W) in first_rows and \
                            screen.block(x + dx, y + dy, CARD_W, CARD_H) in self.faces:
                        return (x + dx, y + dy)
            return None
        self.origin = self.wait_for(search, 'the first card to be drawn')
        return self.origin

    def read_board(self):
        """({(column, row): card}, {free cell: card}) as drawn on screen."""
        ox, oy = self.client_origin()
        screen = Screen()
        grid, cells = {}, {}
        for c in range(1, 11):
            for r in range(1, 5):
                card = self.faces.get(screen.block(ox + (c - 1) * COLUMN_PITCH, oy + (r - 1) * ROW_PITCH,
                                                   CARD_W, CARD_H))
                if card:
                    grid[(c, r)] = card
        for i in range(1, 5):
            card = self.faces.get(screen.block(ox + FREE_CELL_X, oy + (i - 1) * FREE_CELL_PITCH + 1,
                                               CARD_W, CARD_H))
            if card:
                cells[i] = card
        return grid, cells

    def wait_for_deal(self):
        def dealt():
            grid, cells = self.read_board()
            return (grid, cells) if len(set(grid.values())) == 40 and not cells else None
        return self.wait_for(dealt, 'the 40 cards of a fresh deal on screen')

    # -- the captured sound ----------------------------------------------------

    def streams(self):
        """Captured streams, oldest first: [(name, bytes)]."""
        def order(path):
            suffix = path.name[len('sound.wav'):]
            return int(suffix[1:]) if suffix else -1
        files = sorted(self.capture_dir.glob('sound.wav*'), key=order)
        return [(f.name, f.read_bytes()) for f in files]

    def finished_streams(self):
        """The streams, once every file's header gives its final length."""
        streams = self.streams()
        for _, data in streams:
            if len(data) < 44 or struct.unpack_from('<I', data, 4)[0] + 8 != len(data):
                return None
        return streams


# ---------------------------------------------------------------------------
# Checks of the captured sound

class MoveSound:
    def __init__(self, exe):
        resource = wave_resource(exe)
        self.channels, self.rate, self.bits, self.pcm = parse_wav(resource, 'the WAVE resource 175')
        source = parse_wav((ROOT / 'resources' / 'move.wav').read_bytes(), 'resources/move.wav')
        if source[3] != self.pcm:
            raise Failure('the exe\'s WAVE resource 175 differs from resources/move.wav (stale build?)')
        samples = len(self.pcm) * 8 // (self.bits * self.channels)
        if (self.channels, self.rate, self.bits, samples) != (1, MOVE_SOUND_RATE, 16, MOVE_SOUND_SAMPLES):
            raise Failure(f'the move sound is {self.channels} channel(s), {self.rate} Hz, {self.bits} bits, '
                          f'{samples} samples')

    def check(self, name, data, quiet=False):
        channels, rate, bits, pcm = parse_wav(data, name)
        samples = len(pcm) * 8 // (bits * channels)
        if (channels, rate, bits) != (self.channels, self.rate, self.bits):
            raise Failure(f'{name} was played as {channels} channel(s), {rate} Hz, {bits} bits')
        if pcm != self.pcm:
            raise Failure(f'{name} holds {samples} samples that are not the move sound '
                          f'({MOVE_SOUND_SAMPLES} samples)')
        if not quiet:
            report(f'ok: {name}: the move sound once, {samples} samples at {rate} Hz = {samples / rate:.3f} s')


def expect_streams(game, sound, count, what):
    """Exactly `count` finished streams so far, each the move sound once."""
    if count:
        game.wait_for(lambda: (s := game.finished_streams()) is not None and len(s) >= count,
                      f'{what}: a played sound')
    else:
        game.settle()
    streams = game.finished_streams() or game.streams()
    if len(streams) != count:
        raise Failure(f'{what}: {len(streams)} sound stream(s) captured so far, expected {count}')
    for index, (name, data) in enumerate(streams):
        sound.check(name, data, quiet=index < count - 1 or not count)
    report(f'ok: {what}: {count} sound(s) in all')


# ---------------------------------------------------------------------------
# The cases

def case_music_starts_with_the_window(game):
    game.start()
    game.expect_commands(START, 'start-up starts the music')
    plays = game.events()
    callbacks = [v[1] for k, v, _ in plays if k == 'command' and v[0] == 'play music notify']
    if not callbacks[0]:
        raise Failure('"play music notify" names no window for the completion notice')
    game.check_results()
    game.wait_for_notices(1, 'the completion notice (successful) arrives at the end of the piece')
    notify = [(v, t) for k, v, t in game.events() if k == 'notify'][0]
    play_time = [t for k, v, t in game.events() if k == 'command' and v[0] == 'play music notify'][0]
    if notify[0][0] & 0xFFFF != callbacks[0] & 0xFFFF:
        raise Failure(f'the notice went to window {notify[0][0]:#x}, not {callbacks[0]:#x}')
    game.wait_for(lambda: game.midi_plays(), 'the MIDI driver to be closed')
    opened, closed, messages = game.midi_plays()[0]
    notes = [m for _, m in messages if m & 0xF0 == 0x90 and m >> 16]
    expected_notes = round(game.piece_seconds * 2)
    if len(notes) != expected_notes:
        raise Failure(f'{len(notes)} notes reached the MIDI driver, the piece has {expected_notes}')
    if play_time is not None and notify[1] is not None and notify[1] - play_time < game.piece_seconds - 0.1:
        raise Failure(f'the completion notice came {notify[1] - play_time:.2f} s after "play", '
                      f'before the end of the {game.piece_seconds:.1f}-second piece')
    report(f'ok: the piece played through the MIDI driver: {len(notes)} notes over '
          f'{closed - opened:.2f} s; notice {notify[1] - play_time:.2f} s after "play"')
    game.close()
    if game.commands()[:3] != START:
        raise Failure('the commands changed before closing')


def case_minimise_stops_restore_starts(game):
    game.start()
    game.expect_commands(START, 'start-up starts the music')
    game.minimise()
    expected = START + STOP
    game.expect_commands(expected, 'minimising sends "close all"')
    game.restore()
    expected += START
    game.expect_commands(expected, 'restoring starts the music from the beginning')
    # Once more while the piece is still playing.
    game.minimise()
    expected += STOP
    game.expect_commands(expected, 'minimising again sends "close all"')
    game.restore()
    expected += START
    game.expect_commands(expected, 'restoring again starts the music')
    game.check_results()
    game.close()


def case_music_menu_toggles(game):
    game.start()
    game.expect_commands(START, 'start-up starts the music')
    game.wait_for_deal()
    game.toggle_music()
    expected = START + STOP
    game.expect_commands(expected, 'Opzioni > Musica (off) sends "close all"')
    game.toggle_music()
    expected += START
    game.expect_commands(expected, 'Opzioni > Musica (on) starts the music')
    game.toggle_music()
    expected += STOP
    game.expect_commands(expected, 'Opzioni > Musica (off again) sends "close all"')
    # Music off: even after the end of a piece a left click starts nothing.
    time.sleep(game.piece_seconds + 0.5)
    game.click(*BACKGROUND, 1)
    game.expect_commands(expected, 'with the music off a left click sends nothing')
    game.toggle_music()
    expected += START
    game.expect_commands(expected, 'Opzioni > Musica (on again) starts the music')
    game.check_results()
    game.close()


def case_left_click_after_the_end_restarts(game):
    game.start()
    game.expect_commands(START, 'start-up starts the music')
    grid, _ = game.wait_for_deal()
    game.wait_for_notices(1, 'the piece played to its end (notice: successful)')
    expected = list(START)
    game.click(*BACKGROUND, 3)
    game.expect_commands(expected, 'a right click after the end sends nothing')
    ace = next(pos for pos, card in grid.items() if is_ace(card))
    game.click((ace[0] - 1) * COLUMN_PITCH + 30, (ace[1] - 1) * ROW_PITCH + 50, 3)
    game.expect_commands(expected, 'a right click on an ace after the end sends nothing')
    game.focus()
    game.keys('F2')
    game.wait_for_deal()
    game.keys('space', 'Escape')
    game.expect_commands(expected, 'keys and the "Nuova Partita" command after the end send nothing')
    game.click(*BACKGROUND, 1)
    expected += START
    game.expect_commands(expected, 'the first left click after the end starts the music again')
    game.click(*BACKGROUND, 1)
    game.expect_commands(expected, 'a second left click while the piece plays sends nothing')
    if game.notices().count(NOTIFY_SUCCESSFUL) > 1:
        raise Failure('the piece ended before the second left click; this machine is too slow for this check')
    game.wait_for_notices(2, 'the restarted piece played to its end')
    # A left click on a card that cannot move: the music restarts all the same.
    game.click(30, 50, 1)
    expected += START
    game.expect_commands(expected, 'a left click on a card after the end starts the music again')
    game.check_results()
    plays = game.midi_plays()
    if len(plays) < 2:
        raise Failure(f'the MIDI driver saw {len(plays)} complete play(s), expected 2 or more')
    report(f'ok: the MIDI driver saw {len(plays)} complete plays')
    game.close()


def case_other_notices_arm_nothing(game):
    game.start()
    game.expect_commands(START, 'start-up starts the music')
    game.wait_for_deal()
    game.toggle_music()
    expected = START + STOP
    game.expect_commands(expected, 'Opzioni > Musica (off) while the piece plays sends "close all"')
    game.wait_for_notices(1, 'the stopped piece reports "aborted"', NOTIFY_ABORTED)
    if NOTIFY_SUCCESSFUL in game.notices():
        raise Failure('the piece ended before it could be stopped; this machine is too slow for this check')
    game.toggle_music()
    expected += START
    game.expect_commands(expected, 'Opzioni > Musica (on) starts the music')
    game.click(*BACKGROUND, 1)
    game.expect_commands(expected, 'after an "aborted" notice a left click sends nothing')
    if NOTIFY_SUCCESSFUL in game.notices():
        raise Failure('the piece ended before the left click; this machine is too slow for this check')
    game.wait_for_notices(1, 'the restarted piece played to its end')
    game.click(*BACKGROUND, 1)
    expected += START
    game.expect_commands(expected, 'after a "successful" notice the first left click starts the music')
    game.check_results()
    game.close()


def find_moves(grid):
    """A non-ace card in column 1 to park, and an ace outside column 1 that
    then moves into the hole it leaves; None if this deal has no such pair."""
    park = next(((c, r) for (c, r), card in sorted(grid.items()) if c == 1 and not is_ace(card)), None)
    ace = next(((c, r) for (c, r), card in sorted(grid.items()) if c > 1 and is_ace(card)), None)
    return (park, ace) if park and ace else None


def centre(cell):
    c, r = cell
    return (c - 1) * COLUMN_PITCH + CARD_W // 2, (r - 1) * ROW_PITCH + CARD_H // 2


def deal_with_moves(game):
    grid, _ = game.wait_for_deal()
    for _ in range(20):
        moves = find_moves(grid)
        if moves:
            return grid, moves
        game.focus()
        game.keys('F2')
        time.sleep(0.3 * game.patience)
        grid, _ = game.wait_for_deal()
    raise Failure('twenty deals in a row without a non-ace card in column 1 and an ace elsewhere')


def case_move_sound_once_per_move(game):
    sound = MoveSound(game.exe_source)
    game.start()
    grid, (park, ace) = deal_with_moves(game)
    expect_streams(game, sound, 0, 'after the deal')

    game.click(*centre(park), 3)
    parked = grid[park]
    game.wait_for(lambda: game.read_board()[1].get(1) == parked, 'the right-clicked card in free cell 1')
    expect_streams(game, sound, 1, f'parking card {parked} from {park} (right click)')

    moved = grid[ace]
    game.click(*centre(ace), 1)
    game.wait_for(lambda: game.read_board()[0].get(park) == moved, f'the ace {moved} in the hole at {park}')
    expect_streams(game, sound, 2, f'moving ace {moved} from {ace} into the hole (left click)')

    game.close()
    expect_streams(game, sound, 2, 'after the program ended')


def case_clicks_that_move_nothing_are_silent(game):
    sound = MoveSound(game.exe_source)
    game.start()
    grid, (park, ace) = deal_with_moves(game)
    expect_streams(game, sound, 0, 'after the deal')

    def unchanged(what):
        expect_streams(game, sound, sounds, what)
        now = game.read_board()
        if now != board:
            raise Failure(f'{what}: the board changed')

    board, sounds = game.read_board(), 0
    game.click(*BACKGROUND, 1)
    unchanged('a left click on the background')
    game.click(*BACKGROUND, 3)
    unchanged('a right click on the background')
    game.click(*centre(ace), 3)
    unchanged('a right click on an ace')
    game.click(*centre(park), 1)
    unchanged('a left click on a card while the grid has no hole')

    # One real move, to show that this run hears sounds at all.
    game.click(*centre(park), 3)
    sounds = 1
    game.wait_for(lambda: game.read_board()[1].get(1) == grid[park], 'the right-clicked card in free cell 1')
    expect_streams(game, sound, sounds, 'parking a card (the one move of this run)')
    board = game.read_board()

    other = next(cell for cell, card in sorted(grid.items()) if cell != park and not is_ace(card))
    game.click(*centre(other), 3)
    unchanged('a right click on another card while the only free cell is full')
    game.click(*centre(park), 1)
    unchanged('a left click on the hole')
    game.close()
    expect_streams(game, sound, sounds, 'after the program ended')


# name: (check, how the program runs, whether it runs where 32-bit code is
# emulated). There every start takes minutes, so only two run: the music's
# start, end and restart, and the move sound.
CASES = {
    'MusicStartsWithTheWindow': (case_music_starts_with_the_window, dict(music=True), False),
    'MinimiseStopsRestoreStarts': (case_minimise_stops_restore_starts, dict(music=True), False),
    'MusicMenuTogglesOffAndOn': (case_music_menu_toggles, dict(music=True), False),
    'LeftClickAfterTheEndRestarts': (case_left_click_after_the_end_restarts, dict(music=True), True),
    'OtherNoticesArmNothing': (case_other_notices_arm_nothing, dict(music=True, piece_seconds=6.0), False),
    'MoveSoundOncePerMove': (case_move_sound_once_per_move, dict(capture=True), True),
    'ClicksThatMoveNothingAreSilent': (case_clicks_that_move_nothing_are_silent, dict(capture=True), False),
}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in CASES:
        print(__doc__)
        print('cases:', ' '.join(CASES))
        return 2
    case, exe, driver = sys.argv[1:]
    function, options, when_emulated = CASES[case]
    if not os.environ.get('DISPLAY'):
        print('skipped: no X display; run inside tools/headless.sh')
        return 77
    for tool in ('xdotool', 'xwininfo', 'xwd'):
        if not shutil.which(tool):
            print(f'skipped: {tool} is missing')
            return 77
    game = None
    passed = False
    try:
        game = Game(exe, driver, case, **options)
        if game.emulated and not when_emulated:
            print('skipped: 32-bit code is emulated on this machine (every step about ten times slower); '
                  'this check runs for the x86_64 build, and a reduced set runs here')
            passed = True
            return 77
        function(game)
        passed = True
        return 0
    except Skip as reason:
        print(f'skipped: {reason}')
        passed = True
        return 77
    except Failure as problem:
        print(f'FAILED: {problem}')
        if game:
            print('media commands:', game.commands())
            print('notices:', [NOTIFY_NAMES.get(n, n) for n in game.notices()])
        return 1
    finally:
        if game:
            try:
                game.cleanup(passed)
            except Failure as problem:
                print(f'FAILED: {problem}')
                sys.exit(1)


if __name__ == '__main__':
    sys.exit(main())
