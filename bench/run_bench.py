#!/usr/bin/python3
"""The benchmark of `make bench`: the game against the platform's floor, in one
run, on one machine, under one Wine and one X server.

Runs inside tools/headless.sh (its Xvfb, its Wine prefix and server). Measures
for each build folder given (i686 and x86_64):
  start-up  process start to the first screen on which all 40 cards are
            painted, read from the X server's pixels; the floor (bench_floor,
            an empty window of the same class style, background, style and
            size) to the first screen on which its background is painted at
            the same points
  clicks    game_bench: the window procedure's time for moves, parks and
            clicks that move nothing (the move sound left out), new game and
            the repaint after it, the move sound's own length
  memory    committed private bytes (bench_probe, VirtualQueryEx) and the
            Linux process's resident set, after start-up and after 1,000 new
            games, against the floor
  size      the exe's bytes against the bytes of its resources
Writes the results between the markers in docs/BENCHMARKS.md and prints them.

Usage: run_bench.py --build ARCH=DIR [--build ARCH=DIR] [options, see --help]
       run_bench.py --report-only     (the table again from the last raw figures)
"""
import argparse
import ctypes
import datetime
import json
import os
import platform
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GAME_TITLE = 'Brelliwick - Orvenna 2000'
FLOOR_TITLE = 'Orvenna bench floor'
CMD_NEW_GAME = 32775
BACKGROUND = (160, 0, 0)
CARD_WIDTH, CARD_HEIGHT, COLUMN_PITCH, ROW_PITCH = 62, 100, 63, 102
MARK_BEGIN = '<!-- bench results: begin -->'
MARK_END = '<!-- bench results: end -->'
# Targets: start-up and memory against the floor, size against the resources.
TARGET_STARTUP, TARGET_CLICK_P99_US, TARGET_MEMORY, TARGET_SIZE = 1.15, 1000.0, 1.2, 1.25


def log(*args):
    print(*args, flush=True)


# ---------------------------------------------------------------------------
# Which pixels show that a card is painted: points that are the same colour
# on all 40 card faces, white and the dark outline colour, on two pixel rows.

def read_bmp(path):
    data = open(path, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height = struct.unpack_from('<ii', data, 18)
    bits, = struct.unpack_from('<H', data, 28)
    if bits != 8:
        raise ValueError('%s: %d bits per pixel, 8 expected' % (path, bits))
    header, = struct.unpack_from('<I', data, 14)
    colours = struct.unpack_from('<I', data, 46)[0] or 256
    palette = [tuple(data[14 + header + 4 * i:14 + header + 4 * i + 3][::-1]) for i in range(colours)]
    stride = (width * bits + 31) // 32 * 4
    pixels = {}
    for y in range(abs(height)):
        row = offset + ((height - 1 - y) if height > 0 else y) * stride
        for x in range(width):
            pixels[x, y] = palette[data[row + x]]
    return pixels


def card_sample_points():
    """[(dx, dy, colour)]: points that every card face shows alike: its dark
    top, bottom and side edges with the white just inside them. Together they
    fix the card's place to the pixel and show that it is painted top to
    bottom."""
    faces = [read_bmp(os.path.join(ROOT, 'resources', 'cards', '%02d.bmp' % n)) for n in range(1, 41)]
    common = {p: c for p, c in faces[0].items() if all(f[p] == c for f in faces[1:])}
    white = (255, 255, 255)

    def edge_points(edge, inside):
        xs = [x for x in range(CARD_WIDTH) if common.get((x, edge), white) != white and sum(common.get((x, edge), white)) < 150
              and common.get((x, inside)) == white]
        if len(xs) < 2:
            raise RuntimeError('the card faces share no edge on pixel row %d' % edge)
        picked = (xs[len(xs) // 4], xs[3 * len(xs) // 4])
        return [(x, edge, common[x, edge]) for x in picked] + [(x, inside, white) for x in picked]

    def side_points():
        right = CARD_WIDTH - 1
        rows = [y for y in range(CARD_HEIGHT)
                if common.get((0, y)) == common.get((right, y)) and common.get((0, y), white) != white
                and sum(common[0, y]) < 150 and common.get((1, y)) == white and common.get((right - 1, y)) == white]
        if not rows:
            raise RuntimeError('the card faces share no side edges')
        y = min(rows, key=lambda row: abs(row - CARD_HEIGHT // 2))
        return [(0, y, common[0, y]), (1, y, white), (right, y, common[right, y]), (right - 1, y, white)]

    return edge_points(0, 1) + edge_points(CARD_HEIGHT - 1, CARD_HEIGHT - 2) + side_points()


# ---------------------------------------------------------------------------
# The X server's pixels, through libX11 (no extra packages).

class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                ('bits_per_pixel', ctypes.c_int), ('red_mask', ctypes.c_ulong),
                ('green_mask', ctypes.c_ulong), ('blue_mask', ctypes.c_ulong)]


class Screen:
    def __init__(self):
        self.x11 = ctypes.CDLL('libX11.so.6')
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError('no X display (DISPLAY=%r)' % os.environ.get('DISPLAY'))
        self.root = self.x11.XDefaultRootWindow(self.display)

    def grab(self, x, y, width, height):
        """Returns (bytes, bytes per line): 32-bit pixels, blue first."""
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, 0xFFFFFFFF, 2)
        if not image:
            raise RuntimeError('XGetImage failed')
        img = image.contents
        if img.bits_per_pixel != 32 or img.red_mask != 0xFF0000 or img.byte_order != 0:
            raise RuntimeError('unexpected screen format: %d bits, red mask %x' % (img.bits_per_pixel, img.red_mask))
        data = ctypes.string_at(img.data, img.bytes_per_line * height)
        stride = img.bytes_per_line
        self.x11.XDestroyImage(image)
        return data, stride


def pixel(data, stride, x, y):
    i = y * stride + 4 * x
    return data[i + 2], data[i + 1], data[i]


class Detector:
    """Tells from the screen whether all 40 cards (or a floor's background at
    the same points) are painted. Where the cards stand is found once for
    each layout: the game's window, and the reference floor's that shows
    cards without a menu bar."""

    def __init__(self, screen, points):
        self.screen = screen
        self.points = points
        self.rows = sorted({dy for _, dy, _ in points})
        self.origins = {}

    def card_points(self):
        for r in range(4):
            for c in range(10):
                for dx, dy, colour in self.points:
                    yield c * COLUMN_PITCH + dx, r * ROW_PITCH + dy, colour

    def find_origin(self, layout):
        data, stride = self.screen.grab(0, 0, 1024, 768)
        for oy in range(100, 260):
            for ox in range(60, 200):
                if all(pixel(data, stride, ox + x, oy + y) == colour for x, y, colour in self.card_points()):
                    self.origins[layout] = (ox, oy)
                    return self.origins[layout]
        return None

    def ready(self, floor, layout):
        """All points show their card colour, or the background (a floor)."""
        ox, oy = self.origins[layout]
        width = 9 * COLUMN_PITCH + CARD_WIDTH
        for r in range(4):
            for dy in self.rows:
                data, _ = self.screen.grab(ox, oy + r * ROW_PITCH + dy, width, 1)
                for c in range(10):
                    for dx, py, colour in self.points:
                        if py == dy and pixel(data, 0, c * COLUMN_PITCH + dx, 0) != (BACKGROUND if floor else colour):
                            return False
        return True


# ---------------------------------------------------------------------------
# Wine programs

def loader_for(exe):
    result = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe], capture_output=True, text=True)
    if result.returncode not in (0, 4):
        raise RuntimeError('%s cannot run here: %s' % (exe, result.stderr.strip()))
    return result.stdout.strip(), result.returncode == 4


class Program:
    """A Wine program started with its output going to files."""

    def __init__(self, exe, args=(), cwd=None, logs=None, name='run'):
        self.loader, self.emulated = loader_for(exe)
        os.makedirs(logs, exist_ok=True)
        self.out_path = os.path.join(logs, name + '.out')
        self.err_path = os.path.join(logs, name + '.err')
        self.out = open(self.out_path, 'wb')
        self.err = open(self.err_path, 'wb')
        self.started = time.perf_counter()
        self.process = subprocess.Popen([self.loader, exe] + list(args), cwd=cwd or os.path.dirname(exe),
                                        stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)

    def alive(self):
        return self.process.poll() is None

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
            if self.wait(30) is None:
                self.process.kill()
                self.process.wait()
        self.out.close()
        self.err.close()

    def output(self):
        return open(self.out_path, errors='replace').read()


def run_probe(probe, args, logs, name):
    program = Program(probe, args, logs=logs, name=name)
    program.wait(600)
    program.stop()
    values = {}
    for line in program.output().splitlines():
        key, _, value = line.partition(' ')
        values[key] = value
    if 'error' in values or program.process.returncode != 0:
        raise RuntimeError('bench_probe %s: %s' % (' '.join(args), values.get('error', 'exit code %s' % program.process.returncode)))
    return values


def linux_memory(pid):
    """Resident set and anonymous (private) memory of the Linux process, in bytes."""
    values = {}
    for line in open('/proc/%d/status' % pid):
        key, _, rest = line.partition(':')
        if key in ('VmRSS', 'RssAnon', 'RssFile', 'VmSize'):
            values[key] = int(rest.split()[0]) * 1024
        elif key == 'Threads':
            values[key] = int(rest)
    private = 0
    for line in open('/proc/%d/smaps_rollup' % pid):
        key, _, rest = line.partition(':')
        if key in ('Private_Clean', 'Private_Dirty'):
            private += int(rest.split()[0]) * 1024
    values['Private'] = private
    return values


# ---------------------------------------------------------------------------
# Measurements

def wait_until(condition, timeout, interval):
    end = time.perf_counter() + timeout
    while time.perf_counter() < end:
        if condition():
            return True
        time.sleep(interval)
    return False


# The programs started from outside: the game, the floor, and three floors
# for reference: one that also starts the background music as the game does,
# one that moreover imports the libraries the game imports, and one that
# shows the 40 cards as the game does (and nothing else of the game). Each is
# (exe, arguments, working folder).
TITLES = {'game': GAME_TITLE, 'floor': FLOOR_TITLE, 'floor_music': FLOOR_TITLE, 'floor_full': FLOOR_TITLE,
          'floor_cards': FLOOR_TITLE}


def is_floor(kind):
    """Whether the kind is ready when its background (not cards) shows."""
    return kind not in ('game', 'floor_cards')


def layout_of(kind):
    """Where the kind's cards stand: the game's place, or (no menu bar) the
    card floor's. The plain floors are read at the game's places."""
    return 'floor_cards' if kind == 'floor_cards' else 'game'


def timed_start(program_entry, kind, detector, logs, name, interval, timeout, after_ready=None):
    """Seconds from process start to the first screen that is ready; then
    after_ready(program), if given, while the program still runs."""
    floor, layout = is_floor(kind), layout_of(kind)
    # The window of the run before must be gone first.
    if layout in detector.origins and not wait_until(lambda: not detector.ready(floor, layout), 20, 0.05):
        raise RuntimeError('the screen still shows the window of the previous run')
    exe, args, cwd = program_entry
    program = Program(exe, args, cwd=cwd, logs=logs, name=name)
    try:
        end = program.started + timeout
        while time.perf_counter() < end:
            if layout not in detector.origins:
                time.sleep(0.5)
                if floor or not detector.find_origin(layout):
                    continue
                log('    cards of the %s on screen from %d,%d' % ((kind,) + detector.origins[layout]))
            seen = time.perf_counter()
            if detector.ready(floor, layout):
                if after_ready:
                    after_ready(program)
                return seen - program.started
            if not program.alive():
                raise RuntimeError('%s ended before its window was painted (exit code %s)' % (name, program.process.returncode))
            time.sleep(interval)
        raise RuntimeError('%s: no painted window within %d s' % (name, timeout))
    finally:
        program.stop()
        time.sleep(0.3)


def spread(values):
    values = sorted(values)
    return {'median': statistics.median(values), 'min': values[0], 'max': values[-1],
            'stdev': statistics.stdev(values) if len(values) > 1 else 0.0, 'runs': len(values), 'all': values}


def memory_readings(kind, program, probe, logs, emulated, games):
    """Memory after start-up and after games new games (the floors get the
    same commands and ignore them)."""
    time.sleep(2 if emulated else 1)
    after_start = dict(run_probe(probe, ['mem', TITLES[kind]], logs, 'probe-%s-start' % kind))
    after_start.update(linux_memory(program.process.pid))
    sent = run_probe(probe, ['command', TITLES[kind], str(CMD_NEW_GAME), str(games)], logs, 'probe-%s-games' % kind)
    time.sleep(2 if emulated else 1)
    after_games = dict(run_probe(probe, ['mem', TITLES[kind]], logs, 'probe-%s-after' % kind))
    after_games.update(linux_memory(program.process.pid))
    log('      memory of %s: private %s -> %s, VmRSS %s -> %s (%d new-game commands in %.1f s)'
        % (kind, mib(after_start['private_bytes']), mib(after_games['private_bytes']),
           mib(after_start['VmRSS']), mib(after_games['VmRSS']), games, float(sent['seconds'])))
    return {'start': after_start, 'games': after_games, 'command_seconds': float(sent['seconds'])}


def measure_startup_and_memory(programs, kinds, detector, probe, runs, warmups, games, logs, emulated):
    """Starts the kinds in turn, after warmups discarded rounds runs times
    each. In the last round each program, once painted, also has its memory
    read, before and after the new games."""
    interval = 0.02 if emulated else 0.004
    timeout = 900 if emulated else 120
    times = {kind: [] for kind in kinds}
    memory = {}
    log('    %d warm-up round(s), then %d measured rounds of %s; memory in the last' % (warmups, runs, ', '.join(kinds)))
    for i in range(warmups + runs):
        warm = i < warmups
        last = i == warmups + runs - 1
        this_round = {}
        for kind in kinds:
            after_ready = None
            if last:
                def after_ready(program, kind=kind):
                    memory[kind] = memory_readings(kind, program, probe, logs, emulated, games)
            this_round[kind] = timed_start(programs[kind], kind, detector, logs,
                                           '%s-%s-%d' % ('warmup' if warm else 'start', kind, i), interval, timeout,
                                           after_ready)
            if not warm:
                times[kind].append(this_round[kind])
        log('    %s %d: %s' % ('warm-up' if warm else 'round', i + 1 - (0 if warm else warmups),
                                ', '.join('%s %.3f s' % item for item in this_round.items())))
    startup = {kind: spread(times[kind]) for kind in kinds}
    startup['poll_interval'] = interval
    for kind in kinds:
        startup['ratio_' + kind] = startup['game']['median'] / startup[kind]['median']
    startup['ratio'] = startup['ratio_floor']
    memory['ratio'] = {}
    for when in ('start', 'games'):
        for key in ('private_bytes', 'VmRSS', 'RssAnon'):
            for reference in kinds[1:]:
                memory['ratio']['%s_%s_%s' % (key, when, reference)] = \
                    float(memory['game'][when][key]) / float(memory[reference][when][key])
    memory['new_games'] = games
    return startup, memory


def measure_clicks(exe, clicks, games, logs):
    program = Program(exe, [str(clicks), str(games)], logs=logs, name='game_bench')
    started = time.perf_counter()
    program.wait(1800)
    elapsed = time.perf_counter() - started
    program.stop()
    values = {}
    failures = []
    for line in program.output().splitlines():
        key, _, value = line.partition(' ')
        if key == 'failure':
            failures.append(value)
        else:
            values[key] = value
    if failures or program.process.returncode != 0:
        raise RuntimeError('game_bench: %s (exit code %s)' % ('; '.join(failures) or 'failed', program.process.returncode))
    values['wall_seconds'] = elapsed
    return values


# ---------------------------------------------------------------------------
# Size

def pe_layout(path):
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    machine, count, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
    optional = pe + 24
    wide = struct.unpack_from('<H', data, optional)[0] == 0x20B
    directories = optional + (112 if wide else 96)
    resource_rva = struct.unpack_from('<I', data, directories + 16)[0]
    sections = []
    table = optional + optional_size
    for i in range(count):
        name, vsize, rva, rawsize, rawptr = struct.unpack_from('<8sIIII', data, table + 40 * i)
        sections.append((name.rstrip(b'\0').decode(), rva, vsize, rawsize, rawptr))
    return data, sections, resource_rva


def resource_bytes(path):
    """Sum of the data sizes of all resources, by type, from the resource directory."""
    data, sections, resource_rva = pe_layout(path)

    def offset(rva):
        for _, start, vsize, rawsize, raw in sections:
            if start <= rva < start + max(vsize, rawsize):
                return raw + rva - start
        raise ValueError('address %x outside every section' % rva)

    base = offset(resource_rva)
    totals = {}

    def walk(directory, level, kind):
        named, ids = struct.unpack_from('<HH', data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', data, base + directory + 16 + 8 * i)
            if level > 0:
                here = kind
            elif name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length, = struct.unpack_from('<H', data, at)
                here = data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            else:
                here = name
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, level + 1, here)
            else:
                _, size, _, _ = struct.unpack_from('<IIII', data, base + target)
                count, total = totals.get(here, (0, 0))
                totals[here] = (count + 1, total + size)

    walk(0, 0, None)
    return totals


RESOURCE_TYPES = {1: 'cursor', 2: 'bitmap', 3: 'icon', 4: 'menu', 5: 'dialog', 6: 'string', 9: 'accelerators',
                  12: 'group cursor', 14: 'group icon', 16: 'version', 24: 'manifest'}


def measure_size(exe):
    totals = resource_bytes(exe)
    _, sections, _ = pe_layout(exe)
    size = os.path.getsize(exe)
    resources = sum(total for _, total in totals.values())
    by_type = {}
    for kind, (count, total) in totals.items():
        label = RESOURCE_TYPES.get(kind, str(kind))
        by_type[label] = {'count': count, 'bytes': total}
    return {'exe_bytes': size, 'resource_bytes': resources, 'by_type': by_type,
            'sections': {name: rawsize for name, _, _, rawsize, _ in sections},
            'ratio': size / resources}


# ---------------------------------------------------------------------------
# The report

def wave_seconds(path):
    """How long a PCM WAVE file plays: its data bytes over its byte rate."""
    data = open(path, 'rb').read()
    at, rate, length = 12, 0, 0
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        if chunk == b'fmt ':
            rate = struct.unpack_from('<I', data, at + 16)[0]
        elif chunk == b'data':
            length = size
        at += 8 + size + (size & 1)
    return length / rate if rate else 0.0


def machine_facts():
    cpu = 'unknown'
    for line in open('/proc/cpuinfo'):
        if line.startswith('model name'):
            cpu = line.split(':', 1)[1].strip()
            break
    memory = 0
    for line in open('/proc/meminfo'):
        if line.startswith('MemTotal'):
            memory = int(line.split()[1]) // 1024 // 1024
    wine = subprocess.run(['/usr/lib/wine/wine64', '--version'], capture_output=True, text=True).stdout.strip()
    qemu = subprocess.run(['sh', '-c', 'qemu-i386 --version 2>/dev/null | head -1'], capture_output=True, text=True).stdout.strip()
    return {'cpu': cpu, 'cores': os.cpu_count(), 'memory_gib': memory, 'kernel': platform.release(),
            'os': platform.freedesktop_os_release().get('PRETTY_NAME', '') if hasattr(platform, 'freedesktop_os_release') else '',
            'wine': wine, 'qemu': qemu, 'date': datetime.datetime.now().strftime('%Y-%m-%d %H:%M'),
            'load': os.getloadavg()[0]}


def mib(value):
    return '%.1f MiB' % (float(value) / 1048576)


def ms(seconds):
    return '%.0f ms' % (seconds * 1000) if seconds < 10 else '%.1f s' % seconds


def verdict(ok):
    return 'met' if ok else '**missed**'


def report(facts, results):
    lines = []
    add = lines.append
    add('Run of %s on %s (%d cores, %d GiB), %s, kernel %s; %s; %s; Xvfb 1024x768x24 without a window manager.'
        % (facts['date'], facts['cpu'], facts['cores'], facts['memory_gib'], facts['os'], facts['kernel'],
           facts['wine'], ('i686 through ' + facts['qemu']) if facts['qemu'] else 'no qemu-user'))
    add('Load average (1 min) when the run began: %.1f, when it ended: %.1f; other work on the machine at the '
        'same time slows both sides and widens the spread.' % (facts['load'], facts.get('load_end', 0.0)))
    add('')
    archs = [a for a in ('i686', 'x86_64') if a in results]
    add('| | ' + ' | '.join('%s (%s)' % (a, 'emulated' if results[a]['emulated'] else 'native') for a in archs) + ' | target |')
    add('|---|' + '---|' * len(archs) + '---|')

    def row(label, cells, target=''):
        add('| %s | %s | %s |' % (label, ' | '.join(cells), target))

    def each(part, cell):
        out = []
        for a in archs:
            value = results[a].get(part)
            try:
                out.append(cell(value) if value else '(failed)')
            except KeyError:
                out.append('-')
        return out

    def series(s):
        return '%s (%s-%s, %d runs)' % (ms(s['median']), ms(s['min']), ms(s['max']), s['runs'])
    row('Start-up to all 40 cards painted: median (min-max)', each('startup', lambda s: series(s['game'])))
    row('Start-up of the floor, empty window painted', each('startup', lambda s: series(s['floor'])))
    row('**Start-up, game / floor**',
        [('%.2f x, %s' % (results[a]['startup']['ratio'], verdict(results[a]['startup']['ratio'] <= TARGET_STARTUP))
          + (' (emulated: indicative only)' if results[a]['emulated'] else '')) if results[a].get('startup') else '(failed)'
         for a in archs], '<= %.2f x' % TARGET_STARTUP)
    row('Start-up of the floor that also starts the music', each('startup', lambda s: series(s['floor_music'])))
    row('Start-up of the floor with the game\'s imports and music', each('startup', lambda s: series(s['floor_full'])))
    row('Start-up, game / floor with imports and music', each('startup', lambda s: '%.2f x' % s['ratio_floor_full']))
    row('Start-up of the floor that shows the 40 cards as the game does', each('startup', lambda s: series(s['floor_cards'])))
    row('Start-up, game / floor with the 40 cards', each('startup', lambda s: '%.2f x' % s['ratio_floor_cards']))
    row('In-process start-up (game_bench): class, main window with menu and music, 40 views, show, first paint',
        each('clicks', lambda c: '%.0f ms: %.0f, %.0f, %.0f, %.0f, %.0f ms' % tuple(
            float(c[k]) / 1000 for k in ('startup_in_process_us', 'startup_class_us', 'startup_main_window_us',
                                         'startup_views_us', 'startup_show_us', 'startup_update_us'))))
    row('... of which the music commands', each('clicks', lambda c: '%.0f ms (%s commands, no music file beside game_bench)'
                                                % (float(c['startup_music_us']) / 1000, c['startup_music_calls'])))
    def click(kind):
        return lambda c: '%s / %s / %s us (%s clicks)' % (c[kind + '_median_us'], c[kind + '_p99_us'], c[kind + '_max_us'], c[kind + '_count'])
    row('Left-click move, sound left out: median / p99 / max', each('clicks', click('move')), 'p99 < 1,000 us')
    row('Right-click park, sound left out: median / p99 / max', each('clicks', click('park')), 'p99 < 1,000 us')
    row('Left click that moves nothing: median / p99 / max', each('clicks', click('nothing')), 'p99 < 1,000 us')
    row('**Click handling, worst p99 of the three**',
        each('clicks', lambda c: '%.0f us, %s' % (max(float(c[k + '_p99_us']) for k in ('move', 'park', 'nothing')),
                                                   verdict(max(float(c[k + '_p99_us']) for k in ('move', 'park', 'nothing')) < TARGET_CLICK_P99_US))),
        '< 1,000 us')
    row('The platform alone: the same views moved by MoveWindow, median / p99 / max',
        each('clicks', lambda c: '%s / %s / %s us (%s moves)' % (c['platform_move_median_us'], c['platform_move_p99_us'],
                                                                  c['platform_move_max_us'], c['platform_move_count'])))
    row('Repaint after a move: median / p99', each('clicks', lambda c: '%s / %s us' % (c['move_repaint_median_us'], c['move_repaint_p99_us'])))
    sound = wave_seconds(os.path.join(ROOT, 'resources', 'move.wav'))
    row('Move sound (synchronous PlaySound)',
        each('clicks', lambda c: ('%.0f ms (median of %s)' % (float(c['sound_median_us']) / 1000, c['sound_count'])
                                  if 'sound_median_us' in c else 'no audio device (%s wave devices)' % c['audio_devices'])),
        'the WAVE lasts %.0f ms' % (sound * 1000))
    row('New game (destroy 40 views, deal, create 40): median / p99',
        each('clicks', lambda c: '%.1f / %.1f ms (%s games)' % (float(c['newgame_median_us']) / 1000, float(c['newgame_p99_us']) / 1000, c['newgame_count'])))
    row('The platform alone: 40 views destroyed and 40 created, median / p99',
        each('clicks', lambda c: '%.1f / %.1f ms' % (float(c['platform_views_median_us']) / 1000, float(c['platform_views_p99_us']) / 1000)))
    row('Repaint after a new game: median / p99',
        each('clicks', lambda c: '%.1f / %.1f ms' % (float(c['newgame_repaint_median_us']) / 1000, float(c['newgame_repaint_p99_us']) / 1000)))

    def memory(key, when, target):
        def cell(m):
            ratio = m['ratio']['%s_%s_floor' % (key, when)]
            text = '%s / %s, %.2f x' % (mib(m['game'][when][key]), mib(m['floor'][when][key]), ratio)
            return text + (', ' + verdict(ratio <= TARGET_MEMORY) if target else '')
        return cell
    games = max([results[a]['memory']['new_games'] for a in archs if results[a].get('memory')] or [0])
    for when, label in (('start', 'after start-up'), ('games', 'after %d new games' % games)):
        row('**Private bytes %s: game / floor**' % label, each('memory', memory('private_bytes', when, True)), '<= %.1f x' % TARGET_MEMORY)
        row('**Working set (VmRSS) %s: game / floor**' % label,
            [(memory('VmRSS', when, True)(results[a]['memory']) + (' (includes qemu)' if results[a]['emulated'] else ''))
             if results[a].get('memory') else '(failed)' for a in archs], '<= %.1f x' % TARGET_MEMORY)
        row('Linux anonymous memory (RssAnon) %s: game / floor' % label, each('memory', memory('RssAnon', when, False)))
    for reference, label in (('floor_music', 'the floor with music'), ('floor_full', 'the floor with imports and music'),
                             ('floor_cards', 'the floor with the 40 cards')):
        row('Private bytes / VmRSS of %s, after start-up' % label,
            each('memory', lambda m: '%s / %s' % (mib(m[reference]['start']['private_bytes']), mib(m[reference]['start']['VmRSS']))))
        row('Game / %s after start-up: private bytes, VmRSS' % label,
            each('memory', lambda m: '%.2f x, %.2f x' % (m['ratio']['private_bytes_start_' + reference],
                                                         m['ratio']['VmRSS_start_' + reference])))
    row('Libraries loaded after start-up: game / floor / floor with imports and music',
        each('memory', lambda m: '%s / %s / %s' % (m['game']['start']['modules'], m['floor']['start']['modules'],
                                                    m['floor_full']['start']['modules'])))
    row('**Exe size / bytes of its resources**',
        each('size', lambda z: '%d / %d, %.2f x, %s' % (z['exe_bytes'], z['resource_bytes'], z['ratio'], verdict(z['ratio'] <= TARGET_SIZE))),
        '<= %.2f x' % TARGET_SIZE)
    row('Bitmaps in the exe', each('size', lambda z: '%d x %d bytes' % (z['by_type']['bitmap']['count'], z['by_type']['bitmap']['bytes'] // z['by_type']['bitmap']['count'])))
    row('Exe sections (bytes in the file)', each('size', lambda z: ', '.join('%s %d' % kv for kv in z['sections'].items())))
    row('Floor exe size', ['%d bytes' % results[a]['floor_bytes'] for a in archs])
    row('Time this architecture took', [ms(results[a]['seconds']) for a in archs])
    return '\n'.join(lines)


def write_doc(path, text):
    block = MARK_BEGIN + '\n' + text + '\n' + MARK_END
    content = open(path).read() if os.path.exists(path) else '# Benchmarks\n\n'
    if MARK_BEGIN in content and MARK_END in content:
        head, rest = content.split(MARK_BEGIN, 1)
        content = head + block + rest.split(MARK_END, 1)[1]
    else:
        content = content.rstrip('\n') + '\n\n' + block + '\n'
    open(path, 'w').write(content)


def pairs(values):
    result = {}
    for value in values:
        key, _, rest = value.partition('=')
        result[key] = rest
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', action='append', default=[], help='ARCH=DIR (a build folder with ORVENNA_BENCH on)')
    parser.add_argument('--runs', action='append', default=[], help='ARCH=N measured start-ups of each program (10)')
    parser.add_argument('--warmups', action='append', default=[], help='ARCH=N discarded rounds first (1)')
    parser.add_argument('--clicks', action='append', default=[], help='ARCH=N clicks of each kind (5000)')
    parser.add_argument('--bench-games', action='append', default=[], help='ARCH=N new games timed in-process (200)')
    parser.add_argument('--new-games', action='append', default=[], help='ARCH=N new games before the second memory reading (1000)')
    parser.add_argument('--references', action='append', default=[],
                        help='ARCH: also run the reference floors (with music; with the game\'s imports and music)')
    parser.add_argument('--doc', default=os.path.join(ROOT, 'docs', 'BENCHMARKS.md'))
    parser.add_argument('--logs', default=os.path.join(ROOT, 'build', 'bench-logs'))
    parser.add_argument('--report-only', action='store_true',
                        help='write the table again from the raw figures of the last run')
    options = parser.parse_args()
    if options.report_only:
        saved = json.load(open(os.path.join(options.logs, 'results.json')))
        text = report(saved['facts'], saved['results'])
        write_doc(options.doc, text)
        log(text)
        return 0
    builds = pairs(options.build)
    runs, warmups, clicks = pairs(options.runs), pairs(options.warmups), pairs(options.clicks)
    bench_games, new_games = pairs(options.bench_games), pairs(options.new_games)

    facts = machine_facts()
    screen = Screen()
    detector = Detector(screen, card_sample_points())
    results = {}
    failed = []
    for arch in ('x86_64', 'i686'):
        if arch not in builds:
            continue
        began = time.perf_counter()
        folder = os.path.abspath(builds[arch])
        logs = os.path.join(options.logs, arch)
        shutil.rmtree(logs, ignore_errors=True)
        os.makedirs(logs)
        # The game runs from a folder laid out as dist/ is: its music and rules beside it.
        run = os.path.join(folder, 'bench-run')
        os.makedirs(run, exist_ok=True)
        shutil.copy2(os.path.join(folder, 'orv2000.exe'), run)
        for side in ('data/Orv2000.mid', 'data/orv2000.htm'):
            if os.path.exists(os.path.join(ROOT, side)):
                shutil.copy2(os.path.join(ROOT, side), run)
        floor = os.path.join(folder, 'bench_floor.exe')
        programs = {'game': (os.path.join(run, 'orv2000.exe'), [], run), 'floor': (floor, [], run),
                    'floor_music': (floor, ['music'], run),
                    'floor_full': (os.path.join(folder, 'bench_floor_imports.exe'), ['music'], run),
                    'floor_cards': (os.path.join(folder, 'bench_floor_cards.exe'), [], run)}
        kinds = ['game', 'floor'] + (['floor_music', 'floor_full', 'floor_cards'] if arch in options.references else [])
        _, emulated = loader_for(programs['game'][0])
        results[arch] = entry = {'emulated': emulated, 'floor_bytes': os.path.getsize(floor)}
        log('%s (%s)' % (arch, 'emulated through qemu-user: every start is slow' if emulated else 'native'))
        entry['size'] = measure_size(programs['game'][0])
        log('  size: %d bytes, resources %d bytes, %.2f x' % (entry['size']['exe_bytes'], entry['size']['resource_bytes'], entry['size']['ratio']))
        # The probe runs natively where it can: a 64-bit process reads a 32-bit one.
        probe = os.path.join(os.path.abspath(builds.get('x86_64', folder)), 'bench_probe.exe')

        def startup_and_memory():
            entry['startup'], entry['memory'] = measure_startup_and_memory(
                programs, kinds, detector, probe, int(runs.get(arch, 10)), int(warmups.get(arch, 1)),
                int(new_games.get(arch, 1000)), logs, emulated)

        def clicks_part():
            entry['clicks'] = measure_clicks(os.path.join(folder, 'game_bench.exe'), int(clicks.get(arch, 5000)),
                                             int(bench_games.get(arch, 200)), logs)
        for part, action in (('start-up and memory', startup_and_memory), ('clicks and new games', clicks_part)):
            log('  %s ...' % part)
            t = time.perf_counter()
            try:
                action()
            except Exception as error:  # one part failing leaves the others standing
                failed.append('%s %s: %s' % (arch, part, error))
                log('  %s FAILED: %s' % (part, error))
                continue
            log('  %s done in %.0f s' % (part, time.perf_counter() - t))
        entry['seconds'] = time.perf_counter() - began
    facts['load_end'] = os.getloadavg()[0]
    os.makedirs(options.logs, exist_ok=True)
    json.dump({'facts': facts, 'results': results}, open(os.path.join(options.logs, 'results.json'), 'w'), indent=1)
    text = report(facts, results)
    write_doc(options.doc, text)
    log('')
    log(text)
    log('')
    log('Written to %s (raw figures and program output: %s)' % (os.path.relpath(options.doc, ROOT), options.logs))
    for failure in failed:
        log('FAILED: ' + failure)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
