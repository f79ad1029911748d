#!/usr/bin/python3
"""The win rate: decides the deals of consecutive seeds with 1 to 4 free cells
using orv2000-solve.exe (run by Wine), writes every answer to
docs/solvability.tsv, the table to docs/SOLVABILITY.md and into the README
between its solvability markers.

Usage: solvability.py --exe orv2000-solve.exe [--first 1] [--last 10000]
                      [--cells 1 2 3 4] [--jobs 2] [--raw FOLDER]
                      [--doc docs/SOLVABILITY.md] [--answers docs/solvability.tsv]
                      [--readme README.md]
       solvability.py --exe orv2000-solve.exe --crosscheck [--doc ...]
           the same deals with and without the pruning of parks (seeds 1-1000
           with one free cell, 1-200 with two): every answer must agree
Run it inside tools/headless.sh (its own Wine session). The solver runs with
its own default budget, so `orv2000-solve --seed N --cells K` gives any line
of the answers again; a deal that leaves undecided is tried again layer by
layer (`--layers`, every reachable position, files in the raw folder, an hour
at most) unless --no-layers is given, and
`orv2000-solve --seed N --cells K --layers FOLDER` gives those lines."""
import argparse
import concurrent.futures
import hashlib
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
START_MARK = '<!-- solvability table: made by make solvability -->'
END_MARK = '<!-- end of solvability table -->'
CHECK_START = '<!-- cross-check: made by make crosscheck -->'
NOTES_START = '<!-- what is open: kept as written -->'
NOTES_END = '<!-- end of what is open -->'
SEARCHES_START = '<!-- what each search earns: kept as written -->'
SEARCHES_END = '<!-- end of what each search earns -->'
CHECK_END = '<!-- end of cross-check -->'
BENCH_START = '<!-- solver-bench: made by make solver-bench -->'
BENCH_END = '<!-- end of solver-bench -->'
FIELDS = 8  # seed, cells, answer, positions, ms, clicks, KB, the search that decided ('-': none)
# The most a deal may take layer by layer (8579 with two free cells takes a
# quarter of it here; 816 runs far longer without an end in sight).
LAYERS_SECONDS = 3600


def wine_loader(exe):
    result = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if result.returncode not in (0, 4):
        sys.exit('solvability: Wine cannot run %s here' % exe)
    return result.stdout.decode().strip()


def parse(fields):
    return (int(fields[0]), int(fields[1]), fields[2], int(fields[3]), float(fields[4]), int(fields[5]),
            int(fields[6]), fields[7])


def run_chunk(loader, exe, first, last, cells, extra):
    """The answers for seeds first..last; a run that fails (Wine can fail to
    start a process when the machine is busy) is tried again twice."""
    # One thread a process (the jobs share the machine), and the same positions
    # and lines on every run.
    args = [loader, exe, '--seeds', str(first), str(last), '--cells', str(cells), '--threads', '1',
            '--searches'] + extra
    for attempt in range(3):
        result = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        rows = []
        for line in result.stdout.decode().splitlines():
            fields = line.rstrip('\r').split('\t')
            if len(fields) == FIELDS:
                rows.append(parse(fields))
        if result.returncode == 0 and len(rows) == last - first + 1:
            return rows
        print('seeds %d-%d with %d cells: exit %d, %d answers; stderr: %s' % (
            first, last, cells, result.returncode, len(rows), result.stderr.decode(errors='replace')[-500:]),
            flush=True)
    raise RuntimeError('seeds %d-%d with %d cells failed three times' % (first, last, cells))


def raw_path(folder, cells):
    return os.path.join(folder, 'cells-%d.tsv' % cells)


def load_raw(folder, cells):
    """Answers already on file from an earlier, interrupted run."""
    rows = {}
    try:
        with open(raw_path(folder, cells)) as f:
            for line in f:
                fields = line.rstrip('\n').split('\t')
                if len(fields) == FIELDS and fields[0].isdigit():
                    rows[int(fields[0])] = parse(fields)
    except FileNotFoundError:
        pass
    return rows


def save_raw(folder, cells, rows):
    path = raw_path(folder, cells)
    with open(path + '.new', 'w') as f:
        f.write('seed\tcells\tanswer\tpositions\tms\tclicks\tkb\tsearch\n')
        for r in sorted(rows.values()):
            f.write('%d\t%d\t%s\t%d\t%.1f\t%d\t%d\t%s\n' % r)
    os.replace(path + '.new', path)


def layers_path(folder, cells):
    return os.path.join(folder, 'cells-%d.layers' % cells)


def load_layers(folder, cells):
    """Seeds tried layer by layer, with the answer that search gave."""
    tried = {}
    try:
        with open(layers_path(folder, cells)) as f:
            for line in f:
                seed, answer = line.split()
                tried[int(seed)] = answer
    except FileNotFoundError:
        pass
    return tried


def decide_by_layers(loader, exe, cells, known, folder, saved):
    """The deals the search leaves undecided within its budget, tried again
    layer by layer, one at a time (each takes three quarters of the memory
    free) and for at most LAYERS_SECONDS: known[seed] takes the answer when
    it decides."""
    tried = load_layers(folder, cells)
    seeds = [seed for seed in sorted(known) if known[seed][2] == 'unknown' and seed not in tried]

    def run(seed):
        files = os.path.join(folder, 'layers-%d-%d' % (cells, seed))
        try:
            return run_chunk(loader, exe, seed, seed, cells, ['--layers', files, '--seconds', str(LAYERS_SECONDS)])[0]
        finally:
            shutil.rmtree(files, ignore_errors=True)
    for seed in seeds:
        row = run(seed)
        tried[seed] = row[2]
        if row[2] != 'unknown':
            known[seed] = row
        saved()
        with open(layers_path(folder, cells), 'a') as f:
            f.write('%d %s\n' % (seed, row[2]))
        print('seed %d with %d free cell%s layer by layer: %s, %d positions, %.0f s' % (
            seed, cells, '' if cells == 1 else 's', row[2], row[3], row[4] / 1000), flush=True)


def wall_path(folder, cells):
    return os.path.join(folder, 'cells-%d.seconds' % cells)


def load_wall(folder, cells):
    """Seconds of wall clock spent on this number of free cells, over every run."""
    try:
        with open(wall_path(folder, cells)) as f:
            return float(f.read())
    except (FileNotFoundError, ValueError):
        return 0.0


def save_wall(folder, cells, seconds):
    with open(wall_path(folder, cells), 'w') as f:
        f.write('%.1f\n' % seconds)


def forget_other_solver(folder, exe):
    """Removes the answers on file when they came from a solver other than exe."""
    with open(exe, 'rb') as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    path = os.path.join(folder, 'solver.sha256')
    try:
        with open(path) as f:
            same = f.read().strip() == digest
    except FileNotFoundError:
        same = False
    if not same:
        for name in os.listdir(folder):
            if re.fullmatch(r'cells-\d+\.(tsv|seconds|layers)', name):
                os.remove(os.path.join(folder, name))
        with open(path, 'w') as f:
            f.write(digest + '\n')


def wilson(k, n, z=1.96):
    """95 % score interval of a proportion k/n, in per cent."""
    if n == 0:
        return 0.0, 0.0
    p = k / n
    centre = (p + z * z / (2 * n)) / (1 + z * z / n)
    half = z * math.sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n)
    return 100 * max(0.0, centre - half), 100 * min(1.0, centre + half)


def table(results):
    """The player's table: how often a deal can be won."""
    lines = ['| Free cells | Won | Won, 95 % interval | Lost | Undecided |', '|---:|---:|:---|---:|---:|']
    for cells in sorted(results):
        rows = results[cells]
        won = sum(1 for r in rows if r[2] == 'won')
        low, high = wilson(won, len(rows))
        lines.append('| %d | %s (%.2f %%) | %.2f – %.2f %% | %s | %s |' % (
            cells, '{:,}'.format(won), 100 * won / len(rows), low, high,
            '{:,}'.format(sum(1 for r in rows if r[2] == 'lost')),
            '{:,}'.format(sum(1 for r in rows if r[2] == 'unknown'))))
    return '\n'.join(lines)


WORDS = ('no', 'one', 'two', 'three', 'four', 'five')


def listed(items):
    """'1', '1 and 2', '1, 2 and 3'."""
    items = [str(i) for i in items]
    return ', '.join(items[:-1]) + ' and ' + items[-1] if len(items) > 1 else ''.join(items)


def meaning(results):
    """What the table says to a player, a sentence a count (the counts where
    every deal is won together)."""
    said, all_won = [], []
    for cells in sorted(results):
        rows = results[cells]
        won = [r for r in rows if r[2] == 'won']
        rest = [r for r in rows if r[2] != 'won']
        name = '%s free cell%s' % (WORDS[cells], '' if cells == 1 else 's')
        if not rest:
            all_won.append(cells)
        elif len(rest) < len(WORDS):
            said.append('With %s every deal but %s can be won: %s.' % (name, WORDS[len(rest)], ', '.join(
                'seed %d %s' % (r[0], 'is lost' if r[2] == 'lost' else 'is undecided') for r in rest)))
        else:
            low, high = wilson(len(won), len(rows))
            one_in = round(len(rows) / max(1, len(won)))
            said.append('With %s about one deal in %s can be won (%.1f to %.1f %% of all deals, with 95 %% '
                        'confidence); the others are lost however they are played.' % (
                            name, WORDS[one_in] if one_in < len(WORDS) else one_in, low, high))
    if all_won:
        said.append('With %s free cells every deal can be won.' % listed(WORDS[c] for c in all_won))
    return ' '.join(said)


def times_table(results):
    lines = ['| Free cells | Median time | Longest time | Positions per second | Most memory | Longest winning line |',
             '|---:|---:|---:|---:|---:|:---|']
    for cells in sorted(results):
        rows = results[cells]
        won = [r for r in rows if r[2] == 'won']
        times = [r[4] for r in rows]
        slowest = max(rows, key=lambda r: (r[4], -r[0]))
        biggest = max(rows, key=lambda r: (r[6], -r[0]))
        longest = max(won, key=lambda r: (r[5], -r[0])) if won else None
        seconds = sum(times) / 1000
        lines.append('| %d | %.1f ms | %s (seed %d) | %.2f million | %d MB (seed %d) | %s |' % (
            cells, statistics.median(times),
            '%.0f min' % (slowest[4] / 60000) if slowest[4] >= 90000 else '%.1f s' % (slowest[4] / 1000),
            slowest[0], sum(r[3] for r in rows) / seconds / 1e6 if seconds else 0,
            (biggest[6] + 1023) // 1024, biggest[0],
            '%d clicks (seed %d)' % (longest[5], longest[0]) if longest else '–'))
    return '\n'.join(lines)


# The searches in the order the solver runs them (their names as
# `orv2000-solve --searches` gives them), and what each is, for the document.
SEARCHES = (
    ('depth first', 'one free cell: depth first, to a win or until every reachable position is tried'),
    ('first look', 'more free cells: a depth-first look of 100,000 positions'),
    ('near', 'best first (cards in order less twice the moves made) for up to 4 million positions'),
    ('beam', 'of each level the 16,000 positions with the most cards in order go on'),
    ('best first', 'cards and moves alike, with the budget left; run to its end it proves a loss'),
    ('rows fixed', 'best first with each suit given its row beforehand, one way after another: wins only'),
    ('layers', 'after the budget (`--layers`): every reachable position, one layer in memory at a time'),
)


def share(k, n):
    """k of n in per cent, to as many places as show it is not nought."""
    p = 100 * k / n
    return '%.0f %%' % p if p >= 10 else '%.1f %%' % p if p >= 0.1 else '%.2f %%' % p


def deciders(results):
    """How many deals of each count each search decided: the rows of a table."""
    counts = {}
    for cells, rows in results.items():
        for r in rows:
            counts[r[7], cells] = counts.get((r[7], cells), 0) + 1
    columns = sorted(results)
    lines = ['| Search | ' + ' | '.join('%d free cell%s' % (c, '' if c == 1 else 's') for c in columns) + ' |',
             '|:---|' + '---:|' * len(columns)]
    for name, _ in SEARCHES + (('-', ''),):
        if any(counts.get((name, c)) for c in columns):
            lines.append('| %s | ' % ('undecided' if name == '-' else name) + ' | '.join(
                '{:,} ({})'.format(counts[name, c], share(counts[name, c], len(results[c])))
                if counts.get((name, c)) else '–' for c in columns) + ' |')
    return '\n'.join(lines)


def kept_section(path, start, end, default):
    try:
        with open(path) as f:
            text = f.read()
        if start in text and end in text:
            return start + text.split(start, 1)[1].split(end, 1)[0] + end
    except FileNotFoundError:
        pass
    return start + '\n' + default + '\n' + end if default is not None else ''


def write_doc(path, text, results, first, last, walls, jobs):
    check = kept_section(path, CHECK_START, CHECK_END, 'Not run yet: `make crosscheck`.')
    searches = kept_section(path, SEARCHES_START, SEARCHES_END, '')
    notes = kept_section(path, NOTES_START, NOTES_END, '')
    # The section tools/solver_bench.py writes, kept as it is.
    bench = kept_section(path, BENCH_START, BENCH_END, None)
    total = sum(walls.values())
    with open(path, 'w') as f:
        f.write('# How many deals can be won\n\n')
        f.write('The game deals from the clock: each second gives a deal. Every deal of seeds %s to %s was decided '
                'for %s free cells by the solver the companion uses (`orv2000-solve`): "won", the solver found a '
                'winning line and played it through the game\'s own click rules; "lost", every position that can '
                'be reached from the deal was tried; "undecided", the search ran out of its budget first. A game '
                'starts with one free cell; the count can be raised during a game, never lowered.\n\n'
                % ('{:,}'.format(first), '{:,}'.format(last), listed(sorted(results))))
        f.write(text + '\n\n' + meaning(results) + '\n\n')
        f.write('Every answer is in [solvability.tsv](solvability.tsv) (seed, free cells, answer, positions tried, '
                'clicks in the winning line), and `orv2000-solve --seed N --cells K` gives any of them again with '
                'its line click by click. What was tried on the way to this table, with its figures: '
                '[solvability-history.md](solvability-history.md).\n\n')
        f.write('## How a deal is decided\n\n')
        f.write('The searches run in turn, each with the budget the ones before it left (%s positions a deal in '
                'all), until one decides (`SolvePosition` in solver/solver.cpp; each search in a file of its '
                'own):\n\n' % '{:,}'.format(default_budget()))
        for name, what in SEARCHES:
            f.write('- **%s**: %s.\n' % (name, what))
        f.write('\nWhich search decided each deal of the table (`orv2000-solve --searches`):\n\n' +
                deciders(results) + '\n\n' + searches + '\n\n')
        f.write('## How an answer is checked\n\n')
        f.write('A win is said only once its line has won the game by its click rules. A loss rests on the '
                'reductions proved at the head of solver/position.cpp and, layer by layer, solver/layers.cpp. '
                '`make crosscheck` decides seeds 1 to %d with one free cell and 1 to %d with two again with every '
                'click the game accepts (`--plain`) and compares the answers:\n\n' % (CROSSCHECK[0][1],
                                                                                     CROSSCHECK[1][1]))
        f.write(check + '\n\n')
        f.write('## How long deciding takes\n\n')
        f.write('Each deal on one thread, %d jobs side by side on %d cores, the x86_64 build under Wine (`make '
                'solvability`, %.0f min of wall clock in all). "Most memory" is the most one deal held at '
                'once.\n\n' % (jobs, os.cpu_count() or 1, total / 60))
        f.write(times_table(results) + '\n\n')
        if bench:
            f.write(bench + '\n\n')
        f.write('## What is open\n\n' + notes + '\n\n')
        f.write('Made by `make solvability` (tools/solvability.py).\n')


def write_answers(path, results):
    with open(path, 'w') as f:
        f.write('seed\tcells\tanswer\tpositions\tclicks\n')
        for cells in sorted(results):
            for r in results[cells]:
                f.write('%d\t%d\t%s\t%d\t%d\n' % (r[0], r[1], r[2], r[3], r[5]))


def update_readme(path, text):
    with open(path) as f:
        readme = f.read()
    if START_MARK not in readme or END_MARK not in readme:
        print('solvability: %s has no solvability markers; left as it is' % path)
        return
    before, rest = readme.split(START_MARK, 1)
    _, after = rest.split(END_MARK, 1)
    with open(path, 'w') as f:
        f.write(before + START_MARK + '\n' + text + '\n' + END_MARK + after)


def default_budget():
    with open(os.path.join(ROOT, 'solver', 'solver.h')) as f:
        found = re.search(r'DEFAULT_BUDGET = (\d+);', f.read())
    return int(found.group(1))


def decide(loader, exe, jobs, chunk, cells, first, last, extra, known, saved=None):
    """Fills known[seed] for seeds first..last, in chunks over jobs processes."""
    work = [(start, min(start + chunk - 1, last)) for start in range(first, last + 1, chunk)
            if not all(seed in known for seed in range(start, min(start + chunk - 1, last) + 1))]
    started = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = {pool.submit(run_chunk, loader, exe, a, b, cells, extra): (a, b) for a, b in work}
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            a, b = futures[future]
            for row in future.result():
                known[row[0]] = row
            if saved:
                saved()
            print('[%5.0f s] %d/%d: seeds %d-%d with %d free cells %s' % (
                time.monotonic() - started, done, len(work), a, b, cells, ' '.join(extra)), flush=True)
    return time.monotonic() - started


CROSSCHECK = ((1, 1000), (2, 200))  # free cells, last seed


def crosscheck(loader, exe, jobs, doc):
    """The deals of CROSSCHECK with and without the pruning of parks; the
    result goes into the doc between its markers."""
    lines, wrong, open_ = [], [], []
    for cells, last in CROSSCHECK:
        pruned, plain = {}, {}
        decide(loader, exe, jobs, 25, cells, 1, last, [], pruned)
        decide(loader, exe, jobs, 25, cells, 1, last, ['--plain'], plain)
        same = 0
        for seed in range(1, last + 1):
            a, b = pruned[seed], plain[seed]
            if a[2] == b[2]:
                same += 1
            elif 'unknown' in (a[2], b[2]):
                # Not a disagreement: one search stopped before deciding.
                open_.append('seed %d with %d free cells: %s with the pruning (%s positions), %s without (%s)' % (
                    seed, cells, a[2], '{:,}'.format(a[3]), b[2], '{:,}'.format(b[3])))
            else:
                wrong.append('seed %d with %d free cells: %s with the pruning, %s without' % (
                    seed, cells, a[2], b[2]))
        counts = {}
        for r in pruned.values():
            counts[r[2]] = counts.get(r[2], 0) + 1
        lines.append('- %d free cell%s, seeds 1 to %d: %s; the same answer without the pruning for %d; positions '
                     'searched %s with the pruning, %s without.' % (
                         cells, '' if cells == 1 else 's', last,
                         ', '.join('%d %s' % (counts[a], a) for a in sorted(counts)), same,
                         '{:,}'.format(sum(r[3] for r in pruned.values())),
                         '{:,}'.format(sum(r[3] for r in plain.values()))))
    lines.append('- ' + ('No answer contradicts another.' if not wrong else 'Answers that contradict each other: ' +
                         '; '.join(wrong)))
    if open_:
        lines.append('- Decided by one search only: ' + '; '.join(open_) + '.')
    text = 'Last run (%s):\n\n%s' % (time.strftime('%Y-%m-%d'), '\n'.join(lines))
    with open(doc) as f:
        current = f.read()
    if CHECK_START in current and CHECK_END in current:
        before, rest = current.split(CHECK_START, 1)
        current = before + CHECK_START + '\n' + text + '\n' + CHECK_END + rest.split(CHECK_END, 1)[1]
        with open(doc, 'w') as f:
            f.write(current)
    print(text)
    return 1 if wrong else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--exe', required=True)
    parser.add_argument('--first', type=int, default=1)
    parser.add_argument('--last', type=int, default=10000)
    parser.add_argument('--cells', type=int, nargs='+', default=[1, 2, 3, 4])
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 1)
    parser.add_argument('--chunk', type=int, default=100)
    parser.add_argument('--crosscheck', action='store_true')
    parser.add_argument('--no-layers', action='store_true')
    parser.add_argument('--raw', default=os.path.join(ROOT, 'build', 'solvability'))
    parser.add_argument('--doc', default=os.path.join(ROOT, 'docs', 'SOLVABILITY.md'))
    parser.add_argument('--answers', default=os.path.join(ROOT, 'docs', 'solvability.tsv'))
    parser.add_argument('--readme', default=os.path.join(ROOT, 'README.md'))
    args = parser.parse_args()

    # A copy of the solver, so a rebuild during the run cannot change it.
    scratch = tempfile.mkdtemp(prefix='orv-solve-')
    exe = os.path.join(scratch, 'orv2000-solve.exe')
    shutil.copy(args.exe, exe)
    loader = wine_loader(exe)
    try:
        if args.crosscheck:
            return crosscheck(loader, exe, args.jobs, args.doc)
        # Answers are kept on file as they come, so an interrupted run goes
        # on where it stopped; those of another solver are dropped.
        os.makedirs(args.raw, exist_ok=True)
        forget_other_solver(args.raw, exe)
        walls = {}
        for cells in args.cells:
            known = load_raw(args.raw, cells)
            spent = decide(loader, exe, args.jobs, args.chunk, cells, args.first, args.last, [], known,
                           lambda: save_raw(args.raw, cells, known))
            walls[cells] = load_wall(args.raw, cells) + spent
            save_wall(args.raw, cells, walls[cells])
            if not args.no_layers:
                started = time.monotonic()
                decide_by_layers(loader, exe, cells, known, args.raw, lambda: save_raw(args.raw, cells, known))
                walls[cells] += time.monotonic() - started
                save_wall(args.raw, cells, walls[cells])
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    results = {}
    for cells in args.cells:
        known = load_raw(args.raw, cells)
        results[cells] = [known[seed] for seed in range(args.first, args.last + 1)]

    text = table(results)
    write_doc(args.doc, text, results, args.first, args.last, walls, args.jobs)
    write_answers(args.answers, results)
    update_readme(args.readme, text)
    print(text)
    print('wrote %s and %s (raw answers in %s)' % (args.doc, args.answers, args.raw))
    return 0


if __name__ == '__main__':
    sys.exit(main())
