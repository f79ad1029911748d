#!/usr/bin/python3
"""The real orv2000.exe played from outside, inside tools/headless.sh:
  e2e_test.py CASE EXE --texts WINDOW_TEXTS_EXE [--hint ORV2000_HINT_EXE --solve ORV2000_SOLVE_EXE]
  e2e_test.py screenshots EXE FOLDER --texts WINDOW_TEXTS_EXE
Exit code 0 passed, 1 failed, 77 skipped."""
import argparse
import os
import re
import subprocess
import sys
import time
import types

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rules  # noqa: E402
from driver import (START_MUSIC, TITLE, SLOW, check, click, ended, expect, expect_mci, expect_sounds,  # noqa: E402
                    free_cells, geometry, keys, loader, log, mci, menu, new_deal, play, run, save_png, screen, start,
                    stop, texts, wait, windows, xdo)

WS_MAXIMIZEBOX, WS_THICKFRAME, WS_DISABLED = 0x10000, 0x40000, 0x8000000
WIN_TEXT = "Congratulazioni....\nHai vinto con 4 spazi liberi.\nVuoi fare un'altra partita ?"
GAMES = []


def game(args, side_files=True):
    GAMES.append(start(args.exe, args.texts, side_files))
    return GAMES[-1]


def caption(g, button):
    """Wine draws the caption itself here: close, maximise, minimise from the right."""
    x, y, w, _ = geometry(g.window)
    return x + w - {'close': 14, 'minimise': 48}[button], y + 12


def close(g):
    xdo('mousemove', *caption(g, 'close'), 'click', 1)
    ended(g, 'a click on the close button')


def dialog(g, title):
    """(static texts, {button text: centre}) of the window titled so."""
    rows = wait(lambda: windows(title) and texts(g, title), 'the window ' + title)
    statics = [r[5] for r in rows if r[1].lower() == 'static' and r[5] and not r[5].startswith('\xff')]
    buttons = {r[5].replace('&', ''): ((r[4][0] + r[4][2]) // 2, (r[4][1] + r[4][3]) // 2)
               for r in rows if r[1].lower() == 'button'}
    return statics, buttons


def views_table(g):
    """The table from the card views' places (where a box hides the screen)."""
    table = dict.fromkeys(rules.GRID + rules.CELLS)
    for r in texts(g, TITLE):
        if r[0] == 'child':
            table[rules.hit(r[4][0] - g.origin[0], r[4][1] - g.origin[1])] = int(r[5][1:])
    return table


def line_back(g):
    """A line that parks a card and brings one back (some deals have none: F2)."""
    while not rules.back_from_cell(g.table, 1):
        new_deal(g, lambda: keys(g, 'F2'))
    return rules.back_from_cell(g.table, 1)


def case_startup(args):
    g = game(args)
    x, y, w, h = geometry(g.window)
    sw, sh = map(int, xdo('getdisplaygeometry').split())
    check((w, h, x, y) == (800, 500, (sw - 800) // 2, (sh - 500) // 2),
          'the window is %dx%d at %d,%d on a %dx%d screen' % (w, h, x, y, sw, sh))
    top = [r for r in texts(g, TITLE) if r[0] == 'window']
    check(len(top) == 1 and top[0][1] == 'ORVENNA 2000', 'the windows titled so: %s' % top)
    check(not top[0][3] & (WS_THICKFRAME | WS_MAXIMIZEBOX), 'sizable or maximisable: style %#x' % top[0][3])
    check(sorted(r[5] for r in g.rows) == sorted('#%d' % n for n in range(1, 41)), 'the children are not 40 cards')
    expect_mci(g, START_MUSIC, 'the music at start-up')
    log('dealt, drawn and playing music:\n' + rules.describe(g.table))
    close(g)


def case_clicks(args):
    """Clicks checked one by one against the rules, one sound per move."""
    g = game(args)
    t = g.table
    stuck = next(n for n in t.values() if n and not rules.target(t, n))
    ace = next(n for n in t.values() if rules.is_ace(n))
    for x, y, button in (rules.centre(t, stuck) + (1,), rules.centre(t, ace) + (3,), (660, 200, 3), (300, 430, 1)):
        click(g, x, y, button)
    # A park by the one-pixel gap right of the card (its hit area), a refused
    # second park, then back from the free cell.
    line = line_back(g)
    (c, r) = rules.where(g.table, line[0][1])
    other = next(n for n in g.table.values() if n and n != line[0][1] and not rules.is_ace(n))
    click(g, c * 63 - 1, (r - 1) * 102 + 50, 3)
    click(g, *rules.centre(g.table, other), 3)
    play(g, line[1:])
    # Again, the card brought back by a click on the red line under its free
    # cell: the hit areas of the free cells are 102 pixels high.
    play(g, line_back(g)[:-1])
    click(g, 724, 101)
    expect_sounds(g)
    if SLOW[0] > 1:
        return close(g)
    # Four free cells: two holes in column 1, an ace goes to the upper one.
    free_cells(g, 4)
    for n in [g.table[(1, r)] for r in range(1, 5) if not rules.is_ace(g.table[(1, r)])][:2]:
        click(g, *rules.centre(g.table, n), 3)
    click(g, *rules.centre(g.table, next(n for n in g.table.values() if rules.is_ace(n))))
    while None in [g.table[p] for p in rules.CELLS]:
        click(g, *rules.centre(g.table, next(n for p, n in g.table.items() if n and p[0] < 12 and not rules.is_ace(n))), 3)
    click(g, *rules.centre(g.table, next(n for n in g.table.values() if n and not rules.is_ace(n))), 3)
    click(g, 724, 360, 3)
    expect_sounds(g)
    close(g)


def case_keys_and_menu(args):
    g = game(args)
    keys(g, 'alt+slash')
    statics, buttons = dialog(g, 'About')
    check(sorted(statics) == sorted(['Orvenna 2000', 'ver. 2.00', 'Solitario con il mazzo italiano'])
          and list(buttons) == ['OK'], 'the About box shows %s %s' % (statics, list(buttons)))
    keys(g, 'Return')
    wait(lambda: not windows('About'), 'the About box to close')
    expect(g, g.table, 'the table after the About box')
    menu(g, 'Down', 'Right', 'Down', 'Return')                  # Opzioni > Musica: off, then on
    expect_mci(g, START_MUSIC + ['close all'], 'Musica off')
    menu(g, 'Down', 'Right', 'Down', 'Return')
    expect_mci(g, START_MUSIC + ['close all'] + START_MUSIC, 'Musica on')
    free_cells(g, 4)
    click(g, *rules.centre(g.table, next(n for n in g.table.values() if not rules.is_ace(n))), 3)
    new_deal(g, lambda: keys(g, 'F2'))
    free_cells(g, 2)
    new_deal(g, lambda: menu(g, 'Return'))                     # Nuova Partita
    menu(g, 'Up', 'Return')                                     # Esci
    ended(g, 'Esci')


def case_minimise_restore(args):
    g = game(args)
    free_cells(g, 3)
    placed = geometry(g.window)
    xdo('mousemove', *caption(g, 'minimise'), 'click', 1)
    bar = wait(lambda: (lambda b: b if b[2] < 800 else None)(geometry(g.window)), 'the window to be minimised')
    expect_mci(g, START_MUSIC + ['close all'], 'minimised')
    xdo('mousemove', bar[0] + 40, bar[1] + bar[3] // 2, 'click', '--repeat', 2, '--delay', 80, 1)
    wait(lambda: geometry(g.window) == placed, 'the window to be restored')
    expect_mci(g, START_MUSIC + ['close all'] + START_MUSIC, 'restored')
    g.frames = {}       # the frames of free cells 2 and 3 are not drawn again
    expect(g, g.table, 'the restored table')
    close(g)


def case_without_side_files(args):
    g = game(args, side_files=False)
    wait(lambda: len(mci(g)) >= 3, 'the music commands')
    check(mci(g)[:3] == START_MUSIC, 'the music commands without the music file: %s' % mci(g))
    play(g, line_back(g))
    others = xdo('search', '--onlyvisible', '--name', '.')
    menu(g, 'Down', 'Down', 'Right', 'Down', 'Return')          # Aiuto > Regole del gioco
    time.sleep(1)
    check(xdo('search', '--onlyvisible', '--name', '.') == others, 'a window appeared for the missing rules page')
    expect(g, g.table, 'the table after Regole del gioco')
    keys(g, 'alt+F4')
    ended(g, 'Alt+F4')


ITALIAN = {1: "l'asso", 8: 'il fante', 9: 'il cavallo', 10: 'il re'}
HINT = 'Consigli - Orvenna 2000'
VERDICTS = ['Si può vincere con %s', 'Non si può più vincere con %s']
FOUR = VERDICTS[0] % '4 spazi liberi'


def card_name(n):
    rank = (n - 1) % 10 + 1
    return '%s di %s' % (ITALIAN.get(rank, 'il %d' % rank), ('bastoni', 'coppe', 'denari', 'spade')[(n - 1) // 10])


def hint_says(args, verdict, what, button=None, timeout=10):
    """({id: text}, {enabled button: centre}) of the companion once its first line is verdict (None: any)."""
    def seen():
        rows = texts(types.SimpleNamespace(texts=args.texts), HINT)
        buttons = {r[5]: ((r[4][0] + r[4][2]) // 2, (r[4][1] + r[4][3]) // 2) for r in rows
                   if r[1] == 'Button' and not r[3] & WS_DISABLED}
        ok = verdict in (None, {r[2]: r[5] for r in rows}.get(101)) and (button is None or button in buttons)
        return ok and ({r[2]: r[5] for r in rows}, buttons)
    return wait(seen, '%s: the companion to say %r' % (what, verdict), timeout)


def start_hint(args):
    return subprocess.Popen([loader(args.hint)[0], args.hint], env=dict(os.environ, LC_ALL='it_IT.UTF-8'),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def press(buttons, name):
    xdo('mousemove', *buttons[name], 'click', 1)


def deal_verdict(args):
    """The console solver's verdict on the live table with one free cell, which the companion gives too."""
    code, out = run(args.solve, '--game', '--cells', 1)
    check(code in (0, 1), 'orv2000-solve --game: %d %r' % (code, out))
    return VERDICTS[code] % '1 spazio libero'


def decide(args, g, table, cells):
    """orv2000-solve's exit code for a table: 0 won, 1 lost."""
    path = os.path.join(g.folder, 'position.txt')
    with open(path, 'w') as f:
        f.write(' '.join(str(table[p] or 0) for p in rules.GRID + rules.CELLS if table[p] or p[0] < 12))
    code, out = run(args.solve, '--position', 'Z:' + path.replace('/', '\\'), '--cells', cells)
    check(code in (0, 1), 'orv2000-solve --position: %d %r' % (code, out))
    return code


def place_words(table, card):
    c, r = rules.where(table, card)
    return 'riga %d, colonna %d' % (r, c) if c < 12 else 'spazio libero %d' % r


def winnable_deal(g, args):
    """Nuova partita vincibile: the game deals anew, and the deal is won with one free cell."""
    press(hint_says(args, None, 'the deal', 'Nuova partita vincibile', timeout=60)[1], 'Nuova partita vincibile')
    new_deal(g, lambda: None, 60)     # a few seconds usually: one deal in five is winnable
    won = VERDICTS[0] % '1 spazio libero'
    check(deal_verdict(args) == won, 'the winnable deal is lost with one free cell')
    hint_says(args, won, 'the winnable deal', timeout=60)


def lose(args, g):
    """A park that loses the winnable deal, played: the companion names it, a click that wins
    instead, and the fewest free cells that win the table now."""
    before = dict(g.table)
    action = next(a for a in rules.actions(before, 1) if decide(args, g, rules.play(before, 1, a), 1) == 1)
    click(g, *rules.centre(g.table, action[1]), action[0])
    lost = VERDICTS[1] % '1 spazio libero'
    cells = next((n for n in (2, 3, 4) if decide(args, g, g.table, n) == 0), None)
    fewest = 'Con %d spazi liberi si vince ancora' % cells if cells else 'Non si vince nemmeno con 4 spazi liberi'
    lines = wait(lambda: (lambda t: 'Mossa perdente' in t[0].get(106, '') and t[0].get(105) == fewest and t[0])(
        hint_says(args, lost, 'the losing move')), 'the losing move named', 30)
    said = lines[106].split('\n')
    named = '%s %s (%s)' % ('Metti' if action[0] == 3 else 'Muovi', card_name(action[1]), place_words(before, action[1]))
    check(said[0].startswith('Mossa perdente: ' + named), 'named %r, played %s' % (said[0], named))
    verb, name, place = re.match(r'Si vinceva con: (Muovi|Metti) (.*?) \((.*?)\)', said[1]).groups()
    card = next(n for n in range(1, 41) if card_name(n) == name and place_words(before, n) == place)
    check(decide(args, g, rules.play(before, 1, (3 if verb == 'Metti' else 1, card)), 1) == 0,
          'the click named instead does not keep the deal winnable: ' + said[1])
    return lines


def win(args, g, stop=False):
    """Four free cells chosen in the game's menu reach the companion; it plays to the congratulation."""
    click(g, 660, 440)      # the keys go to the game again, not to the companion's buttons
    if g.enabled < 4:       # chosen again, the frames would be drawn across the cards parked in them
        free_cells(g, 4)
    press(hint_says(args, FOUR, 'four free cells', 'Gioca fino alla fine')[1], 'Gioca fino alla fine')
    if stop:        # the button turns to Ferma while the line plays, and halts it short of the end
        press(hint_says(args, FOUR, 'playing', 'Ferma')[1], 'Ferma')
        press(hint_says(args, FOUR, 'stopped', 'Gioca fino alla fine')[1], 'Gioca fino alla fine')
    wait(lambda: windows('Orvenna 2000'), 'the congratulation', 300)
    statics, buttons = dialog(g, 'Orvenna 2000')
    check(statics == [WIN_TEXT] and sorted(buttons) == ['No', 'Yes'], 'the box says %r %s' % (statics, buttons))
    hint_says(args, 'Partita finita: vinta.', 'the congratulation')
    check(rules.solved(views_table(g)), 'the game ended unsolved:\n' + rules.describe(views_table(g)))
    return buttons


def case_hint(args):
    """The companion, in Italian: without a game it says so and waits; beside one it gives the
    deal's verdict, deals a winnable game on request, names the click that loses it and the
    fewest free cells that win, plays the card it names, follows the game's free cells and plays
    to the congratulation, also after a stop; a new deal has one free cell again and no losing
    move; Chiudi ends it."""
    hint = start_hint(args)
    try:
        hint_says(args, 'Orvenna 2000 non è aperto.', 'no game')
        g = game(args)
        winnable_deal(g, args)
        lose(args, g)
        free_cells(g, 4)
        lines, buttons = hint_says(args, FOUR, 'the free cells from the menu', 'Gioca una mossa')
        verb, name, place = re.match(r'(Muovi|Metti) (.*?) \((.*?)\)', lines[102]).groups()
        card = next(n for p, n in g.table.items() if n and place == (
            'riga %d, colonna %d' % p[::-1] if p[0] < 12 else 'spazio libero %d' % p[1]))
        check(card_name(card) == name, 'the advice %r, but there lies %s' % (lines[102], card_name(card)))
        press(buttons, 'Gioca una mossa')
        move = rules.click(g.table, g.enabled, *rules.centre(g.table, card), 3 if verb == 'Metti' else 1)
        expect(g, move[0], 'the move played from the companion: ' + lines[102])
        xdo('mousemove', *win(args, g)['Yes'], 'click', 1)
        wait(lambda: not windows('Orvenna 2000'), 'the box to close')
        new_deal(g, lambda: None)
        check(not hint_says(args, deal_verdict(args), 'the new deal', timeout=60)[0].get(106),
              'the losing move still named after a new deal')
        xdo('mousemove', *win(args, g, stop=True)['No'], 'click', 1)
        ended(g, 'No in the congratulation box')
        press(hint_says(args, 'Orvenna 2000 non è aperto.', 'the game closed')[1], 'Chiudi')
        check(hint.wait(10 * SLOW[0]) == 0, 'Chiudi did not end the companion')
    finally:
        hint.kill()


def over(shot, window):
    """The whole screen's dump shows Wine's dialog boxes black: the window's own dump is laid over it."""
    left, top, width, height, pixels = shot
    box = screen(window)
    pixels = bytearray(pixels)
    for j in range(box[3]):
        at = ((box[1] + j) * width + box[0]) * 4
        pixels[at:at + box[2] * 4] = box[4][j * box[2] * 4:(j + 1) * box[2] * 4]
    return left, top, width, height, bytes(pixels)


def screenshots(args):
    """docs/game-in-progress.png, docs/about.png and, with --hint, docs/hint.png."""
    g = game(args)
    play(g, line_back(g))
    free_cells(g, 4)
    while sum(bool(g.table[p]) for p in rules.CELLS) < 3:
        click(g, *rules.centre(g.table, next(n for p, n in g.table.items() if n and p[0] < 12 and not rules.is_ace(n))), 3)
    x, y, w, h = geometry(g.window)
    keys(g)
    save_png(screen(), os.path.join(args.out, 'game-in-progress.png'), x, y, w, h)
    keys(g, 'alt+slash')
    about = wait(lambda: windows('About'), 'the About box')[0]
    time.sleep(0.5)
    save_png(over(screen(), about), os.path.join(args.out, 'about.png'), x, y, w, h)
    keys(g, 'Return')
    if args.hint:   # the companion beside the game, naming the click that lost a winnable deal
        hint = start_hint(args)
        try:
            winnable_deal(g, args)
            lose(args, g)
            time.sleep(0.5)
            companion = windows(HINT)[0]
            save_png(over(screen(), companion), os.path.join(args.out, 'hint.png'), x, y, w,
                     sum(geometry(companion)[1::2]) - y)
        finally:
            hint.kill()
    close(g)


CASES = {'StartUp': case_startup, 'Clicks': case_clicks, 'KeysAndMenu': case_keys_and_menu,
         'MinimiseRestore': case_minimise_restore, 'WithoutSideFiles': case_without_side_files,
         'Hint': case_hint, 'screenshots': screenshots}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('case', choices=CASES)
    parser.add_argument('exe')
    parser.add_argument('out', nargs='?', default='.')
    parser.add_argument('--texts')
    parser.add_argument('--hint')
    parser.add_argument('--solve')
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    emulated = loader(args.exe)[1]
    if emulated and args.case not in ('StartUp', 'Clicks'):
        print('skipped: 32-bit code is emulated here; StartUp and Clicks run for this build')
        return 77
    SLOW[0] = 10 if emulated else 1
    started = time.monotonic()
    try:
        CASES[args.case](args)
    except AssertionError as failure:
        print('FAILED: %s' % failure)
        return 1
    finally:
        for g in GAMES:
            stop(g)
    log('passed in %.1f s' % (time.monotonic() - started))
    return 0


if __name__ == '__main__':
    sys.exit(main())
