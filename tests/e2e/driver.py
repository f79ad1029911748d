"""Drives the real Orvenna 2000 program from outside, as a player would: starts
the exe under Wine, finds its window on the X screen, clicks and types with
xdotool, takes screenshots with xwd and reads the table from the screen by
comparing every card-sized block with the card pictures stored in the exe
itself. Runs with Debian's Python 3 and its standard library only."""
import os
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

import rules

TITLE = 'Brelliwick - Orvenna 2000'
HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.normpath(os.path.join(HERE, '..', '..', 'tools'))

BACKGROUND = (160, 0, 0)
RED = (255, 0, 0)
BLACK = (0, 0, 0)

SKIP = 77


class Failure(Exception):
    """A check of the program's behaviour failed."""


class Skip(Exception):
    """The test cannot run on this machine."""


# ---------------------------------------------------------------------------
# The card pictures, read from the exe's own resources.

def _pe_sections(data):
    if data[:2] != b'MZ':
        raise Failure('not an exe: no MZ header')
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise Failure('not a PE file')
    count, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (96 if magic == 0x10b else 112)
    resource_rva, resource_size = struct.unpack_from('<II', data, directories + 2 * 8)
    sections = []
    table = optional + optional_size
    for i in range(count):
        virtual_size, rva, raw_size, raw_at = struct.unpack_from('<IIII', data, table + i * 40 + 8)
        sections.append((rva, max(virtual_size, raw_size), raw_at))
    return resource_rva, sections


def _file_offset(sections, rva):
    for start, size, raw_at in sections:
        if start <= rva < start + size:
            return rva - start + raw_at
    raise Failure('address %#x lies in no section' % rva)


def _resource_entries(data, base, at):
    named, numbered = struct.unpack_from('<HH', data, at + 12)
    for i in range(named + numbered):
        name, target = struct.unpack_from('<II', data, at + 16 + i * 8)
        yield name, target


def exe_bitmaps(exe):
    """{id: (width, height, rows)} for every RT_BITMAP resource of the exe,
    rows top-down, each a list of (r, g, b)."""
    data = open(exe, 'rb').read()
    resource_rva, sections = _pe_sections(data)
    base = _file_offset(sections, resource_rva)
    found = {}
    for kind, target in _resource_entries(data, base, base):
        if kind != 2 or not target & 0x80000000:   # RT_BITMAP
            continue
        for ident, by_language in _resource_entries(data, base, base + (target & 0x7fffffff)):
            if ident & 0x80000000 or not by_language & 0x80000000:
                continue
            for _, leaf in _resource_entries(data, base, base + (by_language & 0x7fffffff)):
                rva, size = struct.unpack_from('<II', data, base + leaf)
                at = _file_offset(sections, rva)
                found[ident] = _decode_dib(data[at:at + size], ident)
                break
    return found


def _decode_dib(dib, ident):
    (header, width, height, planes, bits, compression, _, _, _, used, _) = \
        struct.unpack_from('<IiiHHIIiiII', dib, 0)
    if bits != 8 or compression != 0:
        raise Failure('bitmap %d is %d bits, compression %d; expected 8-bit plain' % (ident, bits, compression))
    colours = used or 256
    palette = [(dib[header + 4 * i + 2], dib[header + 4 * i + 1], dib[header + 4 * i])
               for i in range(colours)]
    stride = (width + 3) // 4 * 4
    pixels = header + 4 * colours
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y
        line = dib[pixels + source * stride:pixels + source * stride + width]
        rows.append([palette[i] for i in line])
    return width, abs(height), rows


def _canonical(rows):
    """The form the screen blocks take here: B, G, R, 0 per pixel."""
    return b''.join(bytes((b, g, r, 0)) for row in rows for (r, g, b) in row)


class CardPictures:
    """The 40 card faces of the exe, by the bytes of their screen block."""

    def __init__(self, exe):
        bitmaps = exe_bitmaps(exe)
        missing = [n for n in range(1, 41) if n not in bitmaps]
        if missing:
            raise Failure('the exe lacks card bitmaps %s' % missing)
        self.by_block = {}
        self.block_of = {}
        for n in range(1, 41):
            width, height, rows = bitmaps[n]
            if (width, height) != (rules.CARD_W, rules.CARD_H):
                raise Failure('bitmap %d is %dx%d, not 62x100' % (n, width, height))
            block = _canonical(rows)
            if block in self.by_block:
                raise Failure('bitmaps %d and %d are the same picture' % (self.by_block[block], n))
            self.by_block[block] = n
            self.block_of[n] = block
        self.background = bytes((BACKGROUND[2], BACKGROUND[1], BACKGROUND[0], 0)) * (rules.CARD_W * rules.CARD_H)


# ---------------------------------------------------------------------------
# Screenshots.

class Screen:
    """One xwd dump of the X screen or of one window, pixels kept as B, G,
    R, 0; pixel() and block() take screen coordinates."""

    def __init__(self, dump):
        header = struct.unpack('>25I', dump[:100])
        header_size, self.width, self.height = header[0], header[4], header[5]
        # Where the dumped window stands on the screen (0, 0 for the root).
        self.left, self.top = struct.unpack('>ii', dump[88:96])
        byte_order, bits, line = header[7], header[11], header[12]
        masks = header[14:17]
        offset = header_size + header[19] * 12
        body = dump[offset:offset + line * self.height]
        w = self.width
        step = bits // 8
        if step == 4 and line == w * 4 and byte_order == 0 and masks == (0xff0000, 0xff00, 0xff):
            # Blue, green, red, pad: only the pad byte is cleared.
            pixels = bytearray(body)
            pixels[3::4] = bytes(w * self.height)
        elif step in (3, 4) and byte_order == 0 and masks == (0xff0000, 0xff00, 0xff):
            # Blue, green, red in the low bytes of each pixel: slices do it.
            pixels = bytearray(w * self.height * 4)
            for y in range(self.height):
                row = body[y * line:y * line + w * step]
                o = y * w * 4
                for k in range(3):
                    pixels[o + k:o + w * 4:4] = row[k::step]
        else:
            pixels = self._convert(body, bits, byte_order, line, masks)
        self.pixels = bytes(pixels)

    def _convert(self, body, bits, byte_order, line, masks):
        step = bits // 8
        order = '<' if byte_order == 0 else '>'
        shifts = [(m & -m).bit_length() - 1 for m in masks]
        out = bytearray(self.width * self.height * 4)
        for y in range(self.height):
            for x in range(self.width):
                at = y * line + x * step
                raw = body[at:at + step] + b'\0' * (4 - step)
                value = struct.unpack(order + 'I', raw)[0]
                if order == '>' and step == 3:
                    value >>= 8
                r, g, b = ((value & m) >> s for m, s in zip(masks, shifts))
                o = (y * self.width + x) * 4
                out[o:o + 3] = bytes((b, g, r))
        return out

    def pixel(self, x, y):
        x, y = x - self.left, y - self.top
        o = (y * self.width + x) * 4
        b, g, r = self.pixels[o:o + 3]
        return (r, g, b)

    def block(self, x, y, w, h):
        x, y = x - self.left, y - self.top
        stride = self.width * 4
        return b''.join(self.pixels[(y + j) * stride + x * 4:(y + j) * stride + (x + w) * 4]
                        for j in range(h))

    def save_png(self, path, x=None, y=None, w=None, h=None):
        """Writes the dump, or the part at screen (x, y) of size w x h."""
        x = 0 if x is None else x - self.left
        y = 0 if y is None else y - self.top
        w = self.width - x if w is None else w
        h = self.height - y if h is None else h
        raw = bytearray()
        for row in range(y, y + h):
            raw.append(0)
            line = self.pixels[(row * self.width + x) * 4:(row * self.width + x + w) * 4]
            rgb = bytearray(len(line) // 4 * 3)
            rgb[0::3] = line[2::4]
            rgb[1::3] = line[1::4]
            rgb[2::3] = line[0::4]
            raw += rgb

        def chunk(kind, body):
            return (struct.pack('>I', len(body)) + kind + body
                    + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff))
        with open(path, 'wb') as out:
            out.write(b'\x89PNG\r\n\x1a\n')
            out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)))
            out.write(chunk(b'IDAT', zlib.compress(bytes(raw), 9)))
            out.write(chunk(b'IEND', b''))


def screenshot(window=None):
    """The whole screen, or only the given X window (faster, and it also
    shows what a dump of the whole screen leaves black here: Wine's dialog
    boxes and popup menus)."""
    if window is None:
        dump = subprocess.run(['xwd', '-root', '-silent'], check=True,
                              stdout=subprocess.PIPE).stdout
        return Screen(dump)
    result = subprocess.run(['xwd', '-id', str(window), '-silent'], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    if result.returncode != 0:
        raise Failure('cannot take a picture of window %#x' % window)
    return Screen(result.stdout)


# ---------------------------------------------------------------------------
# X windows and input.

def xdotool(*args, check=True):
    result = subprocess.run(['xdotool'] + [str(a) for a in args],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if check and result.returncode != 0:
        raise Failure('xdotool %s failed' % ' '.join(str(a) for a in args))
    return result.stdout


def windows_named(pattern):
    """Visible X windows whose name matches the regular expression."""
    out = xdotool('search', '--onlyvisible', '--name', pattern, check=False)
    return [int(w) for w in out.split()]


def visible_windows():
    """{window id: name} for every visible X window with a name."""
    found = {}
    for w in windows_named('.'):
        name = xdotool('getwindowname', w, check=False).strip()
        found[w] = name
    return found


def geometry(window):
    """(x, y, width, height) of an X window, outer frame included."""
    out = subprocess.run(['xwininfo', '-id', str(window)], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True).stdout
    values = {}
    for line in out.splitlines():
        line = line.strip()
        for key in ('Absolute upper-left X', 'Absolute upper-left Y', 'Width', 'Height'):
            if line.startswith(key + ':'):
                values[key] = int(line.split(':')[1])
    if len(values) != 4:
        raise Failure('cannot read the geometry of window %s' % window)
    return (values['Absolute upper-left X'], values['Absolute upper-left Y'],
            values['Width'], values['Height'])


def screen_size():
    out = subprocess.run(['xdpyinfo'], stdout=subprocess.PIPE, text=True).stdout
    for line in out.splitlines():
        if 'dimensions:' in line:
            w, h = line.split()[1].split('x')
            return int(w), int(h)
    raise Failure('cannot read the screen size')


def click(x, y, button=1):
    xdotool('mousemove', x, y, 'click', button)


def double_click(x, y):
    xdotool('mousemove', x, y, 'click', '--repeat', 2, '--delay', 80, 1)


def key(*names):
    for name in names:
        xdotool('key', name)
        time.sleep(0.05)


def wait_for(what, predicate, timeout, interval=0.1):
    """Polls until predicate() returns something true and returns it; None
    when the time is up."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            return None
        time.sleep(interval)


# ---------------------------------------------------------------------------
# The program.

def wine_loader(exe):
    """(loader, slowness): slowness 1 where the exe runs natively, 10 where
    its 32-bit code is emulated. Raises Skip where it cannot run."""
    result = subprocess.run([os.path.join(TOOLS, 'wine-loader.sh'), exe],
                            stdout=subprocess.PIPE, text=True)
    if result.returncode == 0:
        return result.stdout.strip(), 1
    if result.returncode == 4:
        return result.stdout.strip(), 10
    if result.returncode == 3:
        raise Skip('this machine runs no 32-bit programs')
    raise Failure('cannot tell how to run %s' % exe)


def prepare_folder(exe, side_files):
    """A temporary folder holding a copy of the exe and, if asked, the side
    files of its own folder (or of the data folder beside the sources)."""
    folder = tempfile.mkdtemp(prefix='orv-e2e-')
    shutil.copy2(exe, os.path.join(folder, 'orv2000.exe'))
    if side_files:
        data = os.path.normpath(os.path.join(HERE, '..', '..', 'data'))
        for name in ('Orv2000.mid', 'orv2000.htm'):
            for source in (os.path.join(os.path.dirname(exe), name), os.path.join(data, name)):
                if os.path.exists(source):
                    shutil.copy2(source, os.path.join(folder, name))
                    break
    return folder


class Game:
    """One running orv2000.exe and its window."""

    def __init__(self, exe, folder=None, log=print):
        self.exe = os.path.abspath(exe)
        self.folder = folder or os.path.dirname(self.exe)
        self.log = log
        self.loader, self.slowness = wine_loader(self.exe)
        self.pictures = CardPictures(self.exe)
        self.process = None
        self.window = None
        self.origin = None
        self.enabled = 1
        self.frames = {}
        self.table = None
        self.output = tempfile.NamedTemporaryFile(prefix='orv-e2e-wine-', suffix='.log', delete=False)

    # -- life --------------------------------------------------------------

    def start(self):
        if windows_named('^%s$' % TITLE):
            raise Failure('a window titled %r is already on this screen' % TITLE)
        self.log('starting %s in %s' % (os.path.basename(self.exe), self.folder))
        self.process = subprocess.Popen([self.loader, os.path.join(self.folder, os.path.basename(self.exe))],
                                        cwd=self.folder, stdin=subprocess.DEVNULL,
                                        stdout=self.output, stderr=subprocess.STDOUT)
        found = wait_for('window', lambda: windows_named('^%s$' % TITLE), 45 * self.slowness)
        if not found:
            raise Failure('no window titled %r appeared' % TITLE)
        self.window = found[0]
        self.enabled = 1
        self.frames = {}
        # The deal is shown with the window; wait until the board is drawn.
        self.origin = wait_for('board', self._find_origin, 20 * self.slowness, 0.2)
        if not self.origin:
            self.save_failure_picture('no-board')
            raise Failure('the board lines never appeared in the window')
        self.log('window %#x, client origin %s' % (self.window, self.origin))
        return self

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout * self.slowness)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        """Ends the process if a test left it running."""
        if self.running():
            self.process.kill()
            self.process.wait()

    def forget_output(self):
        self.output.close()
        try:
            os.unlink(self.output.name)
        except OSError:
            pass

    def wine_output(self):
        self.output.flush()
        with open(self.output.name, 'rb') as f:
            return f.read().decode('utf-8', 'replace')

    # -- where things are -------------------------------------------------

    def geometry(self):
        return geometry(self.window)

    def _find_origin(self):
        """The screen position of client pixel (0, 0), found from the board
        lines that are always drawn: the grid edge and free cell 1's frame."""
        x, y, w, h = self.geometry()
        shot = screenshot(self.window)
        marks = [((635, 5), RED), ((636, 5), BLACK), ((640, 5), BACKGROUND),
                 ((636, 0), RED), ((692, 50), BLACK), ((691, 50), BACKGROUND),
                 ((756, 50), RED), ((757, 50), BACKGROUND), ((700, 0), BLACK),
                 ((700, 101), RED), ((5, 411), RED), ((5, 412), BLACK),
                 ((5, 413), BACKGROUND), ((0, 411), BLACK), ((660, 300), BACKGROUND)]
        for dy in range(0, min(90, h - 413)):
            for dx in range(0, min(20, w - 757)):
                ox, oy = x + dx, y + dy
                if all(shot.pixel(ox + mx, oy + my) == colour for (mx, my), colour in marks):
                    return (ox, oy)
        return None

    def to_screen(self, cx, cy):
        return self.origin[0] + cx, self.origin[1] + cy

    # -- reading the table --------------------------------------------------

    def read_table(self, shot=None):
        """The table on the screen, or raises Failure naming the blocks that
        are neither a card picture nor plain background."""
        shot = shot or screenshot(self.window)
        table = {'grid': {}, 'cells': {}, 'enabled': self.enabled}
        unknown = []
        for r in range(1, rules.ROWS + 1):
            for c in range(1, rules.COLUMNS + 1):
                table['grid'][(c, r)] = self._identify(shot, rules.grid_origin(c, r), unknown, 'grid %d,%d' % (c, r))
        for i in range(1, rules.CELLS + 1):
            table['cells'][i] = self._identify(shot, rules.cell_origin(i), unknown, 'free cell %d' % i)
        if unknown:
            raise Failure('unrecognised blocks on the screen: ' + ', '.join(unknown))
        cards = [n for n in list(table['grid'].values()) + list(table['cells'].values()) if n]
        if sorted(cards) != list(range(1, 41)):
            raise Failure('the screen does not show each of the 40 cards once:\n' + rules.describe(table))
        return table

    def _identify(self, shot, at, unknown, name):
        x, y = self.to_screen(*at)
        block = shot.block(x, y, rules.CARD_W, rules.CARD_H)
        card = self.pictures.by_block.get(block)
        if card is not None:
            return card
        if block == self.pictures.background:
            return None
        unknown.append(name)
        return None

    def try_read_table(self, shot=None):
        try:
            return self.read_table(shot)
        except Failure:
            return None

    def wait_table(self, expected=None, timeout=10, settle=0.0):
        """Waits until the screen shows the expected table (or any readable
        table) and returns what it shows; the last reading when time is up."""
        last = [None]

        def check():
            table = self.try_read_table()
            last[0] = table
            if table is None:
                return None
            if expected is None or same_table(table, expected):
                return table
            return None
        table = wait_for('table', check, timeout * self.slowness, 0.05)
        if table is not None and settle:
            time.sleep(settle * self.slowness)
            table = self.try_read_table()
        return table if table is not None else last[0]

    # -- acting -------------------------------------------------------------

    def click_client(self, cx, cy, button=1):
        click(*self.to_screen(cx, cy), button=button)

    def park_pointer(self):
        """Moves the pointer onto plain background in the window, so that keys
        go to the game (without a window manager the focus follows the
        pointer)."""
        xdotool('mousemove', *self.to_screen(660, 460))

    def keys(self, *names):
        self.park_pointer()
        key(*names)

    def menu(self, *steps):
        """Drives the menu bar by keyboard: Alt, Down into 'Menu di Orvenna
        2000', then the given steps (arrow keys, Return, Escape)."""
        self.park_pointer()
        key('alt')
        time.sleep(0.2 * self.slowness)
        key('Down')
        time.sleep(0.2 * self.slowness)
        for step in steps:
            key(step)
            time.sleep(0.1 * self.slowness)

    def choose_free_cells(self, n):
        """Opzioni > Spazi liberi > n. The frames of free cells 2..n are
        drawn when n grows; a smaller choice is greyed and changes nothing."""
        # Menu di Orvenna 2000: Nuova Partita, Opzioni, Aiuto, Esci.
        self.menu('Down', 'Right', 'Right', *(['Down'] * (n - 1)), 'Return')
        if n >= self.enabled:
            self.enabled = n
            for k in range(2, n + 1):
                self.frames[k] = 'drawn'
        if self.table is not None:
            self.table['enabled'] = self.enabled

    def new_game_by_menu(self):
        self.menu('Return')

    def exit_by_menu(self):
        self.menu('Up', 'Return')

    def rules_by_menu(self):
        self.menu('Down', 'Down', 'Right', 'Down', 'Return')

    # -- checking against the rules ---------------------------------------

    def expect(self, table, timeout=10, settle=0.0, what='the table'):
        """Waits until the client area shows exactly the table with the
        board lines and frames the game should have drawn; then, after an
        optional settling time, checks it once more."""
        expected = expected_client(self.pictures, table, self.frames)
        last = [None]

        def matches():
            shot = screenshot(self.window)
            last[0] = shot
            return shot.block(self.origin[0], self.origin[1], CLIENT_W, CLIENT_H) == expected
        ok = wait_for(what, matches, timeout * self.slowness, 0.05)
        if ok and settle:
            time.sleep(settle * self.slowness)
            ok = matches()
        if not ok:
            self._explain(table, last[0], expected, what)
        self.table = rules.copy_table(table)
        self.table['enabled'] = self.enabled

    def _explain(self, table, shot, expected, what):
        message = ['the window does not show %s' % what, 'expected:', rules.describe(table),
                   'frames of free cells 2-4: %s' % (self.frames or 'none')]
        try:
            seen = self.read_table(shot)
            message += ['on the screen:', rules.describe(seen)]
        except Failure as error:
            message += ['on the screen: %s' % error]
        count, some = client_differences(self, shot, expected)
        message.append('%d client pixels differ, e.g. %s' % (count, '; '.join(some)))
        self.save_failure_picture('mismatch')
        raise Failure('\n'.join(message))

    def read_start_table(self):
        """The dealt table, read from the screen and checked pixel by pixel
        (cards, background, grid edge, free cell 1's frame only)."""
        table = self.wait_table(timeout=10)
        if table is None:
            self.save_failure_picture('deal')
            self.read_table()   # raises with the unrecognised blocks
        if any(n is not None for n in table['cells'].values()) or None in table['grid'].values():
            raise Failure('the deal does not fill the grid:\n' + rules.describe(table))
        self.expect(table, what='the deal')
        return self.table

    def left(self, x, y, settle=0.2):
        return self._click(rules.left_click, 1, x, y, settle)

    def right(self, x, y, settle=0.2):
        return self._click(rules.right_click, 3, x, y, settle)

    def _click(self, rule, button, x, y, settle):
        before = self.table
        after, what = rule(before, x, y)
        kind = 'left' if button == 1 else 'right'
        self.log('%s click at (%d,%d): %s' % (kind, x, y, what))
        self.click_client(x, y, button)
        # A card that leaves free cell k takes with it the part of frame k's
        # top edge that lay under the card.
        for k in (2, 3, 4):
            if before['cells'][k] is not None and after['cells'][k] is None and self.frames.get(k):
                self.frames[k] = 'worn'
        changed = not same_table(before, after)
        self.expect(after, settle=0 if changed else settle,
                    what='the result of the %s click at (%d,%d): %s' % (kind, x, y, what))
        return changed

    def play(self, action):
        """One action of a solver's line: ('L' or 'R', card)."""
        kind, card = action
        x, y = rules.click_point(self.table, card)
        if kind == 'L':
            return self.left(x, y)
        return self.right(x, y)

    def wait_new_deal(self, old, timeout=10):
        """Waits for a freshly dealt table different from the old one and
        checks it pixel by pixel; the frames of free cells 2..4 are gone."""
        self.frames = {}
        self.enabled = 1

        def dealt():
            t = self.try_read_table()
            if t and None not in t['grid'].values() and not same_table(t, old):
                return t
            return None
        table = wait_for('new deal', dealt, timeout * self.slowness, 0.1)
        if table is None:
            self.save_failure_picture('new-deal')
            raise Failure('no new deal appeared; the screen shows:\n%s' % (
                rules.describe(self.try_read_table()) if self.try_read_table() else 'no readable table'))
        self.expect(table, what='the new deal with only free cell 1 framed')
        return self.table

    def save_failure_picture(self, name):
        folder = os.environ.get('ORV_E2E_PICTURES', tempfile.gettempdir())
        path = os.path.join(folder, 'orv-e2e-%s.png' % name)
        try:
            screenshot().save_png(path)
            self.log('screen saved as %s' % path)
        except Exception as error:   # the picture only helps reading a failure
            self.log('could not save the screen: %s' % error)


def same_table(a, b):
    return a['grid'] == b['grid'] and a['cells'] == b['cells']


# ---------------------------------------------------------------------------
# The whole client area as the program should draw it.

CLIENT_W, CLIENT_H = 794, 456


def board_lines(frames):
    """{(x, y): colour} of the board lines: the grid edge and free cell 1's
    frame, always; the frames of free cells 2..4 as given: frames[k] is
    'drawn', or 'worn' once a card has left free cell k after the frame was
    drawn (the card's old area is repainted without the frame's top edge)."""
    lines = {}

    def put(points, colour):
        for point in points:
            lines[point] = colour
    put(((635, y) for y in range(0, 411)), RED)
    put(((x, 411) for x in range(1, 636)), RED)
    lines[(636, 0)] = RED
    put(((636, y) for y in range(1, 413)), BLACK)
    put(((x, 412) for x in range(0, 636)), BLACK)
    lines[(0, 411)] = BLACK
    put(((756, y) for y in range(1, 101)), RED)
    put(((x, 101) for x in range(693, 757)), RED)
    put(((x, 0) for x in range(693, 757)), BLACK)
    put(((692, y) for y in range(0, 101)), BLACK)
    for k in (2, 3, 4):
        state = frames.get(k)
        if not state:
            continue
        top, bottom = (k - 1) * 101 + 1, k * 101
        put(((756, y) for y in range(top, bottom)), RED)
        put(((x, bottom) for x in range(693, 757)), RED)
        put(((x, top) for x in range(693 if state == 'drawn' else 755, 757)), BLACK)
        put(((692, y) for y in range(top, bottom)), BLACK)
    return lines


def expected_client(pictures, table, frames):
    """The client area's pixels (B, G, R, 0 per pixel, row by row)."""
    background = bytes((BACKGROUND[2], BACKGROUND[1], BACKGROUND[0], 0))
    picture = bytearray(background * (CLIENT_W * CLIENT_H))
    for (x, y), (r, g, b) in board_lines(frames).items():
        o = (y * CLIENT_W + x) * 4
        picture[o:o + 3] = bytes((b, g, r))
    places = [(rules.grid_origin(*where), n) for where, n in table['grid'].items()]
    places += [(rules.cell_origin(i), n) for i, n in table['cells'].items()]
    row_bytes = rules.CARD_W * 4
    for (x, y), n in places:
        if n is None:
            continue
        block = pictures.block_of[n]
        for j in range(rules.CARD_H):
            o = ((y + j) * CLIENT_W + x) * 4
            picture[o:o + row_bytes] = block[j * row_bytes:(j + 1) * row_bytes]
    return bytes(picture)


def client_differences(game, shot, expected, limit=8):
    """Client pixels that differ from the expected picture: (count, some)."""
    actual = shot.block(game.origin[0], game.origin[1], CLIENT_W, CLIENT_H)
    if actual == expected:
        return 0, []
    count, some = 0, []
    row = CLIENT_W * 4
    for y in range(CLIENT_H):
        a, e = actual[y * row:(y + 1) * row], expected[y * row:(y + 1) * row]
        if a == e:
            continue
        for x in range(CLIENT_W):
            if a[x * 4:x * 4 + 3] != e[x * 4:x * 4 + 3]:
                count += 1
                if len(some) < limit:
                    some.append('(%d,%d) is %s, expected %s' % (
                        x, y, tuple(a[x * 4 + 2 - i] for i in range(3)),
                        tuple(e[x * 4 + 2 - i] for i in range(3))))
    return count, some
