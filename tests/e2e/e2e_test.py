#!/usr/bin/python3
"""End-to-end checks of the real orv2000.exe, driven from outside as a player
would: mouse clicks and keys through the X server, the table read back from
the screen after every step and compared with what the rules say.

Usage: e2e_test.py CASE EXE [--texts WINDOW_TEXTS_EXE] [--hint HINT_EXE]
       e2e_test.py screenshots EXE OUT_FOLDER [--texts WINDOW_TEXTS_EXE]
CASE is one of the names in CASES. Run it inside tools/headless.sh (its own
X server and Wine session). Exit code 0: passed, 1: failed, 77: skipped."""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver  # noqa: E402
import rules  # noqa: E402
from driver import Failure, Skip  # noqa: E402

STARTED = time.monotonic()


def log(text):
    print('[%6.2f] %s' % (time.monotonic() - STARTED, text), flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


class Run:
    """What one case needs: the exe, the window-text reader, the games it
    started and the folders it made (all cleaned up at the end)."""

    def __init__(self, exe, texts, hint=None):
        self.exe = os.path.abspath(exe)
        self.texts = texts
        self.hint = hint
        self.games = []
        self.folders = []
        _, self.slowness = driver.wine_loader(self.exe)

    def game(self, side_files=True, own_folder=False):
        folder = None
        if not own_folder:
            folder = driver.prepare_folder(self.exe, side_files)
            self.folders.append(folder)
        game = driver.Game(os.path.join(folder, 'orv2000.exe') if folder else self.exe, log=log)
        self.games.append(game)
        return game

    def cleanup(self):
        for game in self.games:
            game.stop()
            game.forget_output()
        for folder in self.folders:
            shutil.rmtree(folder, ignore_errors=True)

    # -- texts of windows, read by a small Windows program ----------------

    def texts_available(self):
        if not self.texts or not os.path.exists(self.texts):
            return False
        _, slowness = driver.wine_loader(self.texts)
        return slowness == 1

    def window_texts(self, title):
        """[(kind, class, id, rect, text)] of the visible windows titled so
        and of their children."""
        loader, _ = driver.wine_loader(self.texts)
        result = subprocess.run([loader, self.texts, title], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
        rows = []
        for line in result.stdout.decode('utf-8', 'replace').splitlines():
            fields = line.rstrip('\r').split('\t')
            if fields[0] == 'window' and len(fields) == 5:
                kind, _, cls, rect, text = fields
                ident = None
            elif fields[0] == 'child' and len(fields) == 6:
                kind, _, cls, ident, rect, text = fields
                ident = int(ident)
            else:
                continue
            rect = tuple(int(v) for v in rect.split(','))
            rows.append((kind, cls, ident, rect, unescape(text)))
        return rows


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == '\\' and i + 1 < len(text):
            out.append({'n': '\n', 't': '\t', 'r': '\r', '\\': '\\'}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


# ---------------------------------------------------------------------------
# Helpers shared by the cases.

def caption_button(game, which):
    """Screen point of a caption button. Without a window manager Wine draws
    the caption itself: close, maximise (greyed here) and minimise buttons,
    16 pixels wide, from the right-hand edge leftwards."""
    x, y, w, _ = game.geometry()
    offset = {'close': 14, 'maximise': 32, 'minimise': 48}[which]
    return x + w - offset, y + 12


def close_by_button(game):
    driver.click(*caption_button(game, 'close'))
    expect_exit(game, 'a click on the close button')


def expect_exit(game, how):
    code = game.wait_exit(20)
    check(code is not None, 'the program did not end after %s' % how)
    check(code == 0, 'the program ended with exit code %s after %s' % (code, how))
    check('wine: Unhandled' not in game.wine_output(), 'the program crashed:\n' + game.wine_output())
    check(not driver.windows_named('^%s$' % driver.TITLE), 'the window is still shown after %s' % how)
    log('the program ended with exit code 0 after %s' % how)


def only_main_window(game, when):
    others = {w: n for w, n in driver.visible_windows().items() if w != game.window}
    check(not others, 'other windows appeared %s: %s' % (when, others))


def a_card(table, rng, ace=False, where='grid'):
    """A random card of the table: an ace or not, in the grid or a cell."""
    if where == 'grid':
        cards = [n for n in table['grid'].values() if n is not None]
    else:
        cards = [n for n in table['cells'].values() if n is not None]
    cards = [n for n in cards if rules.is_ace(n) == ace]
    return rng.choice(sorted(cards)) if cards else None


def point_in(table, card, rng):
    """A random point on the card's picture."""
    kind, where = rules.find_card(table, card)
    x, y = rules.grid_origin(*where) if kind == 'grid' else rules.cell_origin(where)
    return x + rng.randrange(rules.CARD_W), y + rng.randrange(rules.CARD_H)


def wait_seconds_since(moment, seconds):
    """The deal is seeded with the time in seconds: a new deal needs a new
    second."""
    rest = moment + seconds - time.monotonic()
    if rest > 0:
        time.sleep(rest)


def deal_again(game, dealt_at):
    """F2 once a new second has begun; returns when the new deal shows."""
    wait_seconds_since(dealt_at, 1.2)
    old = game.table
    game.keys('F2')
    game.wait_new_deal(old)
    return time.monotonic()


def play_line(game, line, what):
    log('%s: %s' % (what, ' '.join('%s%d' % a for a in line)))
    for action in line:
        game.play(action)


# ---------------------------------------------------------------------------
# The cases.

def case_startup(run):
    """Title, class, place, size, no resize or maximise, the dealt cards and
    the board's pixels, closed by the caption's close button."""
    game = run.game(own_folder=True).start()
    x, y, w, h = game.geometry()
    sw, sh = driver.screen_size()
    log('window at %d,%d size %dx%d on a %dx%d screen' % (x, y, w, h, sw, sh))
    check((w, h) == (800, 500), 'the outer size is %dx%d, not 800x500' % (w, h))
    check((x, y) == ((sw - 800) // 2, (sh - 500) // 2), 'the window is not centred: at %d,%d' % (x, y))
    if run.texts_available():
        rows = run.window_texts(driver.TITLE)
        tops = [r for r in rows if r[0] == 'window']
        check(len(tops) == 1, 'expected one window titled %r, found %s' % (driver.TITLE, tops))
        check(tops[0][1] == 'ORVENNA 2000', 'the window class is %r' % tops[0][1])
        cards = sorted(r[4] for r in rows if r[0] == 'child')
        check(cards == sorted('#%d' % n for n in range(1, 41)),
              'the window\'s children are not the 40 card views: %s' % cards)
        log('class ORVENNA 2000 with 40 card views')
    else:
        log('window class not read: the window-text reader does not run natively here')

    table = game.read_start_table()
    log('the deal, 40 different cards, each block exactly one card picture:\n' + rules.describe(table))

    # No maximise, no resize: the greyed maximise button, a double click on
    # the caption and a drag on the bottom-right corner change nothing.
    driver.click(*caption_button(game, 'maximise'))
    driver.double_click(x + 300, y + 10)
    driver.xdotool('mousemove', x + w - 2, y + h - 2, 'mousedown', 1,
                    'mousemove', x + w + 60, y + h + 60, 'mouseup', 1)
    time.sleep(0.5 * game.slowness)
    check(game.geometry() == (x, y, w, h), 'the window changed: %s' % (game.geometry(),))
    game.expect(table, settle=0.3, what='the same table after maximise and resize attempts')
    log('maximise button, caption double click and corner drag changed nothing')
    close_by_button(game)


def choice_seed():
    """The seed of a case's random choices: ORV_E2E_SEED, else the time."""
    seed = int(os.environ.get('ORV_E2E_SEED') or time.time())
    log('random choices with ORV_E2E_SEED=%d' % seed)
    return seed


def case_clicks(run):
    """Left and right clicks on cards, gaps, holes, free cells and the
    background, each result read from the screen and compared with the
    rules; with one free cell, then with three."""
    rng = random.Random(choice_seed())
    short = run.slowness > 1
    game = run.game().start()
    table = game.read_start_table()
    log('dealt:\n' + rules.describe(table))

    # Nothing moves while the grid has no hole; nothing parks an ace.
    game.left(*point_in(game.table, a_card(game.table, rng), rng))
    game.left(*point_in(game.table, a_card(game.table, rng, ace=True), rng))
    game.right(*point_in(game.table, a_card(game.table, rng, ace=True), rng))
    if not short:
        # Right of the grid, below it, right of the free cells, an empty
        # free cell, on the grid's edge line.
        for button, x, y in ((1, 660, 200), (3, 660, 200), (1, 300, 430), (3, 780, 50),
                             (1, 724, 350), (3, 635, 200)):
            (game.left if button == 1 else game.right)(x, y, settle=0.1)

    # A line that parks a card and brings a card back from the free cell,
    # preferably after a card of the grid moved into the hole.
    # Where every start and click is slow, the shortest such line.
    if short:
        line = rules.find_line(game.table, rules.leaves_free_cell, rng, 1, 4, 20000)
    else:
        line = (rules.find_line(game.table, rules.leaves_free_cell, rng, 3, 8, 20000)
                or rules.find_line(game.table, rules.leaves_free_cell, rng, 1, 8, 20000))
    if line is None:
        # Any card parks; the rules then decide what a click on it does.
        line = [('R', a_card(game.table, rng))]
    parked = line[0][1]
    kind, (c, r) = rules.find_card(game.table, parked)
    # The park by a right click on the one-pixel gap right of the card: the
    # program's hit areas are the 63 x 102 cells, the gap is the card's.
    game.right((c - 1) * rules.COLUMN_PITCH + 62, (r - 1) * rules.ROW_PITCH + rng.randrange(102))
    check(game.table['cells'][1] == parked, 'the card was not parked in free cell 1')
    hole = (c, r)
    if not short:
        other = a_card(game.table, rng)
        game.right(*point_in(game.table, other, rng))          # the only free cell is full
        hx, hy = rules.grid_origin(*hole)
        game.left(hx + 31, hy + 50)                             # a hole
        game.right(hx + 31, hy + 50)
        game.right(724, 50)                                     # right click in the free cell
        if hole[0] != 1:                                        # an ace only goes to column 1
            game.left(*point_in(game.table, a_card(game.table, rng, ace=True), rng))
    for action in line[1:]:
        kind, card = action
        game.left(*point_in(game.table, card, rng))
    if len(line) > 1:
        check(all(n is None for n in game.table['cells'].values()),
              'the parked card did not come back from the free cell')
        log('a card came back from the free cell')
    else:
        game.left(*point_in(game.table, parked, rng))
    if short:
        close_by_button(game)
        return

    # Three free cells: frames 2 and 3 appear, parks fill the lowest empty
    # cell, and a card leaving a lower cell makes room there.
    game.choose_free_cells(3)
    game.expect(game.table, what='frames of free cells 2 and 3')
    log('three free cells: frames 2 and 3 drawn')
    line = rules.find_line(game.table, rules.leaves_lower_free_cell, rng, 1, 8, 30000)
    check(line is not None, 'no short line frees a lower free cell in this table:\n'
          + rules.describe(game.table))
    play_line(game, line, 'a line that frees a lower free cell')
    free = [i for i in (1, 2, 3) if game.table['cells'][i] is None]
    while free:
        card = a_card(game.table, rng)
        before = dict(game.table['cells'])
        game.right(*point_in(game.table, card, rng))
        check(game.table['cells'][free[0]] == card and before[free[0]] is None,
              'the card was not parked in the lowest empty free cell %d' % free[0])
        free = [i for i in (1, 2, 3) if game.table['cells'][i] is None]
    game.right(*point_in(game.table, a_card(game.table, rng), rng))   # all three are full
    for i in (1, 2, 3):                                                 # clicks on parked cards
        game.left(*point_in(game.table, game.table['cells'][i], rng))
    close_by_button(game)


def case_keys_and_menu(run):
    """F2, the About box by Alt+/ and Alt+? (closed by Return, OK, Escape),
    the menu by keyboard: 4 free cells, F2, 2 free cells, new game, Esci."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: the key and menu checks run for the x86_64 build')
    if not run.texts_available():
        raise Skip('the window-text reader is missing')
    rng = random.Random(choice_seed())
    game = run.game().start()
    dealt_at = time.monotonic()
    game.read_start_table()

    for keys, close in (('alt+slash', 'Return'), ('alt+question', 'click OK'), ('alt+slash', 'Escape')):
        game.keys(keys)
        about = driver.wait_for('About', lambda: driver.windows_named('^About$'), 10)
        check(about, 'no About box after %s' % keys)
        rows = run.window_texts('About')
        # The icon's static control holds its resource number, not a text.
        statics = [r[4] for r in rows if r[0] == 'child' and r[1].lower() == 'static'
                   and r[4] and not r[4].startswith('\xff')]
        buttons = [r for r in rows if r[0] == 'child' and r[1].lower() == 'button']
        check(len(statics) == 3 and statics.count('Orvenna 2000') == 1 and statics.count('ver. 2.00') == 1,
              'the About box shows %s' % statics)
        check(len(buttons) == 1 and buttons[0][4] == 'OK', 'the About box buttons are %s' % buttons)
        log('%s: About box with %s and an OK button' % (keys, statics))
        if close == 'click OK':
            left, top, right, bottom = buttons[0][3]
            driver.click((left + right) // 2, (top + bottom) // 2)
        else:
            driver.key(close)
        gone = driver.wait_for('About closed', lambda: not driver.windows_named('^About$'), 10)
        check(gone, 'the About box did not close on %s' % close)
        game.expect(game.table, settle=0.2, what='the table after the About box closed')
        only_main_window(game, 'after the About box closed by %s' % close)
        log('closed by %s' % close)

    game.choose_free_cells(4)
    game.expect(game.table, what='frames of free cells 2, 3 and 4')
    log('menu: four free cells, frames 2-4 drawn')
    game.right(*point_in(game.table, a_card(game.table, rng), rng))
    game.right(*point_in(game.table, a_card(game.table, rng), rng))

    wait_seconds_since(dealt_at, 1.2)
    old = game.table
    game.keys('F2')
    game.wait_new_deal(old)
    dealt_at = time.monotonic()
    log('F2: a new deal, free cells empty, only frame 1:\n' + rules.describe(game.table))

    # The new game is back to one free cell: choosing 2 draws frame 2 alone
    # and a third park does nothing.
    game.choose_free_cells(2)
    game.expect(game.table, what='frame 2 only')
    for _ in range(3):
        game.right(*point_in(game.table, a_card(game.table, rng), rng))
    check(sum(n is not None for n in game.table['cells'].values()) == 2, 'not exactly two cards parked')
    log('two free cells after the new deal')

    wait_seconds_since(dealt_at, 1.2)
    old = game.table
    game.new_game_by_menu()
    game.wait_new_deal(old)
    log('menu: Nuova Partita, a new deal with only frame 1')
    game.right(*point_in(game.table, a_card(game.table, rng), rng))
    game.right(*point_in(game.table, a_card(game.table, rng), rng))   # one free cell again
    game.exit_by_menu()
    expect_exit(game, 'menu Esci')


def case_minimise(run):
    """Minimise by the caption button, restore from the iconic title bar:
    the table comes back, the frames of free cells 2-4 do not."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: the minimise check runs for the x86_64 build')
    rng = random.Random(choice_seed())
    game = run.game().start()
    game.read_start_table()
    game.choose_free_cells(4)
    game.expect(game.table, what='frames of free cells 2, 3 and 4')
    game.right(*point_in(game.table, a_card(game.table, rng), rng))
    placed = game.geometry()

    driver.click(*caption_button(game, 'minimise'))
    small = driver.wait_for('minimised', lambda: game.geometry()[2] < 800 and game.geometry(), 10)
    check(small, 'the window was not minimised')
    log('minimised: shown as a bar at %s' % (small,))
    # Without a window manager Wine keeps the minimised window as a small
    # title bar at the bottom of the screen; a double click restores it.
    bx, by, bw, bh = small
    check(by + bh <= driver.screen_size()[1] and bw < 400 and bh < 60, 'unexpected minimised bar %s' % (small,))
    driver.double_click(bx + 40, by + bh // 2)
    back = driver.wait_for('restored', lambda: game.geometry() == placed, 10)
    check(back, 'the window was not restored to %s but is at %s' % (placed, game.geometry()))
    game.frames = {}
    game.expect(game.table, what='the restored table with only frame 1 (frames 2-4 gone)')
    log('restored: the same table, only free cell 1 framed')
    # Four free cells are still enabled.
    for _ in range(3):
        game.right(*point_in(game.table, a_card(game.table, rng), rng))
    check(all(game.table['cells'][i] is not None for i in (1, 2, 3, 4)), 'four cards not parked')
    close_by_button(game)


def case_without_side_files(run):
    """From a folder holding only the exe: the game plays, no message box
    appears, and 'Regole del gioco' changes nothing."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: this check runs for the x86_64 build')
    rng = random.Random(choice_seed())
    game = run.game(side_files=False).start()
    check(sorted(os.listdir(game.folder)) == ['orv2000.exe'], 'the folder holds %s' % os.listdir(game.folder))
    game.read_start_table()
    time.sleep(1)
    only_main_window(game, 'at start without the music file')
    line = rules.find_line(game.table, rules.leaves_free_cell, rng, 1, 8, 20000) or \
        [('R', a_card(game.table, rng))]
    play_line(game, line, 'some moves')
    game.left(*point_in(game.table, a_card(game.table, rng), rng))
    only_main_window(game, 'while playing without the side files')

    game.park_pointer()
    before = driver.screenshot()
    windows = driver.visible_windows()
    game.rules_by_menu()
    time.sleep(3)
    game.park_pointer()
    after = driver.screenshot()
    check(driver.visible_windows() == windows, 'windows changed: %s' % driver.visible_windows())
    check(before.pixels == after.pixels, 'the screen changed after Regole del gioco without orv2000.htm')
    log('Regole del gioco without orv2000.htm: the screen is the same, no new window')
    game.expect(game.table, what='the table after Regole del gioco')
    driver.key('alt+F4')
    expect_exit(game, 'Alt+F4')


def win_a_game(run, game):
    """Enables four free cells, redeals until the solver finds a winning
    line, plays it by clicks and returns the message box's texts."""
    dealt_at = time.monotonic()
    game.read_start_table()
    for attempt in range(1, 16):
        game.choose_free_cells(4)
        game.expect(game.table, what='frames of free cells 2, 3 and 4')
        started = time.monotonic()
        line = rules.solve(game.table, max_nodes=30000, max_seconds=20)
        log('deal %d: %s after %.1f s' % (attempt, '%d clicks to win' % len(line) if line else 'no win found',
                                          time.monotonic() - started))
        if line:
            break
        dealt_at = deal_again(game, dealt_at)
    check(line, 'no winnable deal found in 15 deals')
    play_line(game, line[:-1], 'winning line')
    play_win_click(run, game, line[-1])
    return run.window_texts('Orvenna 2000')


def play_win_click(run, game, action):
    """The last click completes the table and the message box appears over
    the window: the cards it leaves visible are read from the screen, the
    ones it covers from the card views' places in the window tree."""
    kind, card = action
    x, y = rules.click_point(game.table, card)
    after, what = rules.left_click(game.table, x, y)
    log('winning click at (%d,%d): %s' % (x, y, what))
    game.click_client(x, y)
    box = driver.wait_for('message box', lambda: driver.windows_named('^Orvenna 2000$'), 10)
    check(box, 'no message box after the winning click')
    bx, by, bw, bh = driver.geometry(box[0])
    shot = driver.screenshot(game.window)
    places = [(('grid', where), rules.grid_origin(*where)) for where in after['grid']]
    places += [(('cell', i), rules.cell_origin(i)) for i in after['cells']]
    views = {}
    for kind_, cls, _, rect, text in run.window_texts(driver.TITLE):
        if kind_ == 'child' and text.startswith('#'):
            views[(rect[0] - game.origin[0], rect[1] - game.origin[1])] = int(text[1:])
    covered = 0
    for place, (px, py) in places:
        want = rules.card_at(after, place)
        sx, sy = game.to_screen(px, py)
        if sx + rules.CARD_W <= bx or sx >= bx + bw or sy + rules.CARD_H <= by or sy >= by + bh:
            block = shot.block(sx, sy, rules.CARD_W, rules.CARD_H)
            seen = game.pictures.by_block.get(block)
            if seen is None and block != game.pictures.background:
                seen = '?'
        else:
            covered += 1
            seen = views.get((px, py))
        check(seen == want, '%s shows %s, expected %s' % (place, seen, want))
    log('solved: %d places read from the screen, %d under the message box from the card views:\n%s'
        % (len(places) - covered, covered, rules.describe(after)))
    check(rules.solved(after), 'the model says the table is not solved')
    game.table = after
    return after


def check_win_box(rows):
    tops = [r for r in rows if r[0] == 'window']
    check(len(tops) == 1 and tops[0][4] == 'Orvenna 2000', 'message box windows: %s' % tops)
    texts = [r[4] for r in rows if r[0] == 'child' and r[1].lower() == 'static' and r[4]]
    expected = "Congratulazioni....\nHai vinto con 4 spazi liberi.\nVuoi fare un'altra partita ?"
    check(texts == [expected], 'the message box says %r' % texts)
    buttons = {r[4].replace('&', ''): r[3] for r in rows if r[0] == 'child' and r[1].lower() == 'button'}
    check(sorted(buttons) == ['No', 'Yes'], 'the message box buttons are %s' % sorted(buttons))
    log('message box %r: %r with Yes and No' % (tops[0][4], expected))
    return buttons


def click_button(rect):
    left, top, right, bottom = rect
    driver.click((left + right) // 2, (top + bottom) // 2)


def case_win_yes(run):
    """A full game won by clicks; Yes deals a new game with one free cell."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: a whole game is played with the x86_64 build')
    if not run.texts_available():
        raise Skip('the window-text reader is missing')
    game = run.game().start()
    buttons = check_win_box(win_a_game(run, game))
    solved = game.table
    click_button(buttons['Yes'])
    gone = driver.wait_for('box closed', lambda: not driver.windows_named('^Orvenna 2000$'), 10)
    check(gone, 'the message box did not close on Yes')
    check(game.running(), 'the program ended after Yes')
    game.wait_new_deal(solved)
    log('Yes: a new deal with only frame 1:\n' + rules.describe(game.table))
    rng = random.Random(1)
    game.right(*point_in(game.table, a_card(game.table, rng), rng))
    game.right(*point_in(game.table, a_card(game.table, rng), rng))   # one free cell again
    close_by_button(game)


def case_win_no(run):
    """A full game won by clicks; No ends the program with exit code 0."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: a whole game is played with the x86_64 build')
    if not run.texts_available():
        raise Skip('the window-text reader is missing')
    game = run.game().start()
    buttons = check_win_box(win_a_game(run, game))
    click_button(buttons['No'])
    expect_exit(game, 'No in the message box')


# ---------------------------------------------------------------------------
# The hint companion (orv2000-hint.exe) against the running game.

SUITS = ['bastoni', 'coppe', 'denari', 'spade']
FIGURES = {1: "l'asso", 8: 'il fante', 9: 'il cavallo', 10: 'il re'}


def italian_name(card):
    rank = (card - 1) % 10 + 1
    return '%s di %s' % (FIGURES.get(rank, 'il %d' % rank), SUITS[(card - 1) // 10])


def run_hint(run, *args, timeout=120):
    loader, _ = driver.wine_loader(run.hint)
    result = subprocess.run([loader, run.hint] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
    text = result.stdout.decode('utf-8', 'replace').replace('\r', '')
    log('orv2000-hint %s -> exit %d:\n%s' % (' '.join(str(a) for a in args), result.returncode,
                                             '\n'.join(text.splitlines()[:4])))
    return result.returncode, text


def check_advice(table, line):
    """The advice names a card where the screen shows it."""
    for card in range(1, 41):
        kind, where = rules.find_card(table, card)
        place = ('(riga %d, colonna %d)' % (where[1], where[0]) if kind == 'grid'
                 else '(spazio libero %d)' % where)
        for verb, tail in (('Muovi', ''), ('Metti', ' in uno spazio libero')):
            if line == '%s %s %s%s' % (verb, italian_name(card), place, tail):
                return card
    raise Failure('the advice %r names no card where the screen shows it:\n%s' % (line, rules.describe(table)))


def case_hint_plays(run):
    """orv2000-hint reads the running game from its windows: without a game it
    says so; with one it advises a click on a card where the screen shows it;
    it refuses fewer free cells than the game has cards parked in; with --play it wins a game with four free cells to the congratulation
    box, which No answers."""
    if run.slowness > 1:
        raise Skip('32-bit code is emulated here: the companion is played with the x86_64 build')
    if not run.hint or not os.path.exists(run.hint) or not run.texts_available():
        raise Skip('the companion or the window-text reader is missing')
    code, text = run_hint(run, 1)
    check(code == 3 and 'Orvenna 2000 non e\' aperto.' in text, 'without a game the companion said %r' % text)

    game = run.game().start()
    dealt_at = time.monotonic()
    game.read_start_table()
    code, text = run_hint(run, 1)
    lines = text.splitlines()
    check(code in (0, 1, 2), 'the companion failed on the dealt table: %r' % text)
    if code == 0:
        check_advice(game.table, lines[2])
    game.expect(game.table, what='the table after the advice (nothing moved)')

    # Two cards parked: fewer free cells than that is refused.
    game.choose_free_cells(4)
    rng = random.Random(7)
    for _ in range(2):
        game.right(*point_in(game.table, a_card(game.table, rng), rng))
    code, text = run_hint(run, 1)
    check(code == 3 and "C'e' una carta nello spazio libero 2: indica almeno 2 spazi liberi." in text,
          'with two parked cards and one free cell given the companion said %r' % text)
    game.expect(game.table, what='the table after the refusal (nothing moved)')
    dealt_at = deal_again(game, dealt_at)

    for attempt in range(1, 11):
        game.choose_free_cells(4)
        game.expect(game.table, what='frames of free cells 2, 3 and 4')
        code, text = run_hint(run, 4)
        if code == 0:
            break
        dealt_at = deal_again(game, dealt_at)
    check(code == 0, 'no deal winnable with four free cells in ten deals')
    card = check_advice(game.table, text.splitlines()[2])
    log('advice checked against the screen: card %d' % card)

    code, text = run_hint(run, 4, '--play', timeout=600)
    check(code == 0 and 'Congratulazioni: partita vinta.' in text, 'the companion did not win: %r' % text[-400:])
    buttons = check_win_box(run.window_texts('Orvenna 2000'))
    click_button(buttons['No'])
    expect_exit(game, 'No in the message box after the companion won')


CASES = {
    'StartUp': case_startup,
    'Clicks': case_clicks,
    'KeysAndMenu': case_keys_and_menu,
    'MinimiseRestore': case_minimise,
    'WithoutSideFiles': case_without_side_files,
    'WinAnswerYes': case_win_yes,
    'WinAnswerNo': case_win_no,
    'HintPlaysToTheCongratulation': case_hint_plays,
}


# ---------------------------------------------------------------------------
# Pictures for the README.

def screenshots(run, folder):
    """docs pictures: a game in progress (four free cells, parked cards) and
    the About box over the game."""
    rng = random.Random(2000)
    game = run.game().start()
    game.read_start_table()
    game.choose_free_cells(4)
    game.expect(game.table, what='frames of free cells 2, 3 and 4')
    line = rules.solve(game.table, max_nodes=30000, max_seconds=15) or []
    # Play into the game until some rows have begun and three cards are
    # parked; a card leaving free cells 2-4 would wear its frame, so stop
    # before that.
    for action in line[:len(line) // 3]:
        if action[0] == 'L' and action[1] in [game.table['cells'][k] for k in (2, 3, 4)]:
            break
        game.play(action)
    while sum(n is not None for n in game.table['cells'].values()) < 3:
        game.right(*point_in(game.table, a_card(game.table, rng), rng))
    game.park_pointer()
    x, y, w, h = game.geometry()
    path = os.path.join(folder, 'game-in-progress.png')
    driver.screenshot().save_png(path, x, y, w, h)
    log('wrote %s' % path)

    game.keys('alt+slash')
    about = driver.wait_for('About', lambda: driver.windows_named('^About$'), 10)
    check(about, 'no About box')
    time.sleep(0.5)
    # A dump of the whole screen shows Wine's dialog boxes black here: the
    # box is dumped on its own and laid over the screen.
    screen = driver.screenshot()
    box = driver.screenshot(about[0])
    pixels = bytearray(screen.pixels)
    for j in range(box.height):
        o = ((box.top + j) * screen.width + box.left) * 4
        pixels[o:o + box.width * 4] = box.pixels[j * box.width * 4:(j + 1) * box.width * 4]
    screen.pixels = bytes(pixels)
    path = os.path.join(folder, 'about.png')
    screen.save_png(path, x, y, w, h)
    log('wrote %s' % path)
    driver.key('Return')
    driver.wait_for('About closed', lambda: not driver.windows_named('^About$'), 10)
    close_by_button(game)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('case', choices=list(CASES) + ['screenshots'])
    parser.add_argument('exe')
    parser.add_argument('out', nargs='?', help='folder for the pictures (screenshots only)')
    parser.add_argument('--texts', help='window_texts.exe, the reader of window texts')
    parser.add_argument('--hint', help='orv2000-hint.exe, the hint companion')
    args = parser.parse_args()
    if not os.environ.get('DISPLAY'):
        print('skipped: no X display; run inside tools/headless.sh')
        return driver.SKIP
    for tool in ('xdotool', 'xwd', 'xwininfo', 'xdpyinfo'):
        if not shutil.which(tool):
            print('skipped: %s is missing' % tool)
            return driver.SKIP
    run = None
    try:
        run = Run(args.exe, args.texts, args.hint)
        if args.case == 'screenshots':
            screenshots(run, args.out or '.')
        else:
            CASES[args.case](run)
    except Skip as reason:
        print('skipped: %s' % reason)
        return driver.SKIP
    except Failure as failure:
        print('FAILED: %s' % failure)
        return 1
    finally:
        if run:
            run.cleanup()
    log('passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
