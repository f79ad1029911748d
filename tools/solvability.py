#!/usr/bin/python3
"""The win rate: decides the deals of consecutive seeds with 1 to 4 free cells
using orv2000-solve.exe (run by Wine), and writes the table to
docs/SOLVABILITY.md and into the README between its solvability markers.

Usage: solvability.py --exe orv2000-solve.exe [--first 1] [--last 10000]
                      [--cells 1 2 3 4] [--budget 1000000] [--jobs 2]
                      [--raw FOLDER] [--doc docs/SOLVABILITY.md] [--readme README.md]
Run it inside tools/headless.sh (its own Wine session)."""
import argparse
import concurrent.futures
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
START_MARK = '<!-- solvability table: made by make solvability -->'
END_MARK = '<!-- end of solvability table -->'


def wine_loader(exe):
    result = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if result.returncode not in (0, 4):
        sys.exit('solvability: Wine cannot run %s here' % exe)
    return result.stdout.decode().strip()


def run_chunk(loader, exe, first, last, cells, budget):
    """The answers for seeds first..last; a run that fails (Wine can fail to
    start a process when the machine is busy) is tried again twice."""
    args = [loader, exe, '--seeds', str(first), str(last), '--cells', str(cells), '--budget', str(budget)]
    for attempt in range(3):
        result = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        rows = []
        for line in result.stdout.decode().splitlines():
            fields = line.rstrip('\r').split('\t')
            if len(fields) == 6:
                rows.append((int(fields[0]), int(fields[1]), fields[2], int(fields[3]), float(fields[4]),
                             int(fields[5])))
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
                if len(fields) == 6 and fields[0].isdigit():
                    rows[int(fields[0])] = (int(fields[0]), int(fields[1]), fields[2], int(fields[3]),
                                            float(fields[4]), int(fields[5]))
    except FileNotFoundError:
        pass
    return rows


def save_raw(folder, cells, rows):
    path = raw_path(folder, cells)
    with open(path + '.new', 'w') as f:
        f.write('seed\tcells\tanswer\tpositions\tms\tclicks\n')
        for r in sorted(rows.values()):
            f.write('%d\t%d\t%s\t%d\t%.1f\t%d\n' % r)
    os.replace(path + '.new', path)


def wilson(k, n, z=1.96):
    """95 % score interval of a proportion k/n, in per cent."""
    if n == 0:
        return 0.0, 0.0
    p = k / n
    centre = (p + z * z / (2 * n)) / (1 + z * z / n)
    half = z * math.sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n)
    return 100 * max(0.0, centre - half), 100 * min(1.0, centre + half)


def table(results, first, last, budget):
    lines = ['| Free cells | Won | Lost | Unknown | Won, 95 % interval | Winnable: between | Median time'
             ' | Longest time | Longest winning line |',
             '|---:|---:|---:|---:|:---|:---|---:|---:|:---|']
    for cells in sorted(results):
        rows = results[cells]
        n = len(rows)
        won = [r for r in rows if r[2] == 'won']
        lost = sum(1 for r in rows if r[2] == 'lost')
        unknown = sum(1 for r in rows if r[2] == 'unknown')
        low, high = wilson(len(won), n)
        times = [r[4] for r in rows]
        longest = max(won, key=lambda r: (r[5], -r[0])) if won else None
        lines.append('| %d | %d (%.2f %%) | %d | %d | %.2f – %.2f %% | %.2f – %.2f %% | %.1f ms | %.0f ms | %s |' % (
            cells, len(won), 100 * len(won) / n, lost, unknown, low, high, 100 * len(won) / n,
            100 * (len(won) + unknown) / n, statistics.median(times), max(times),
            '%d clicks (seed %d)' % (longest[5], longest[0]) if longest else '–'))
    lines.append('')
    lines.append('Seeds %d to %d, each deal decided with a budget of %d positions; "unknown" means the budget ran '
                 'out before a win was found or every reachable position was tried, so the share of winnable deals '
                 'lies between the won ones and the won and unknown ones together.' % (first, last, budget))
    return '\n'.join(lines)


def write_doc(path, text, results, first, last, budget):
    speed = []
    for cells in sorted(results):
        rows = results[cells]
        positions = sum(r[3] for r in rows)
        seconds = sum(r[4] for r in rows) / 1000
        speed.append('%d free cell%s: %.0f positions per second' % (
            cells, '' if cells == 1 else 's', positions / seconds if seconds else 0))
    with open(path, 'w') as f:
        f.write('# How many deals can be won\n\n')
        f.write('Every deal of seeds %d to %d (the deal the game makes when the clock gives that seed), decided '
                'by the exact solver (`orv2000-solve`) for each number of free cells, which stays fixed for the '
                'whole game. "Won" deals come with a winning line that the tests replay through the game; '
                '"lost" means every position reachable from the deal was tried.\n\n' % (first, last))
        f.write(text + '\n\n')
        total = sum(r[4] for rows in results.values() for r in rows) / 1000
        f.write('Times are per deal: the x86_64 build under Wine, one search at a time in each process; %.0f s of '
                'search in all. Speed: %s.\n\n' % (total, '; '.join(speed)))
        f.write('Made by `make solvability` (tools/solvability.py).\n')


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--exe', required=True)
    parser.add_argument('--first', type=int, default=1)
    parser.add_argument('--last', type=int, default=10000)
    parser.add_argument('--cells', type=int, nargs='+', default=[1, 2, 3, 4])
    parser.add_argument('--budget', type=int, default=2000000)
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 1)
    parser.add_argument('--chunk', type=int, default=250)
    parser.add_argument('--raw', default=os.path.join(ROOT, 'build', 'solvability'))
    parser.add_argument('--doc', default=os.path.join(ROOT, 'docs', 'SOLVABILITY.md'))
    parser.add_argument('--readme', default=os.path.join(ROOT, 'README.md'))
    args = parser.parse_args()

    # A copy of the solver, so a rebuild during the run cannot change it.
    scratch = tempfile.mkdtemp(prefix='orv-solve-')
    exe = os.path.join(scratch, 'orv2000-solve.exe')
    shutil.copy(args.exe, exe)
    loader = wine_loader(exe)
    started = time.monotonic()
    # Answers are kept on file as they come, so an interrupted run goes on
    # where it stopped (with the same budget).
    os.makedirs(args.raw, exist_ok=True)
    known = {cells: load_raw(args.raw, cells) for cells in args.cells}
    work = [(cells, first, min(first + args.chunk - 1, args.last))
            for cells in args.cells for first in range(args.first, args.last + 1, args.chunk)
            if not all(seed in known[cells] for seed in range(first, min(first + args.chunk - 1, args.last) + 1))]
    try:
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            futures = {pool.submit(run_chunk, loader, exe, first, last, cells, args.budget): (cells, first, last)
                       for cells, first, last in work}
            for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
                cells, first, last = futures[future]
                for row in future.result():
                    known[cells][row[0]] = row
                save_raw(args.raw, cells, known[cells])
                print('[%5.0f s] %d/%d: seeds %d-%d with %d free cells' % (
                    time.monotonic() - started, done, len(work), first, last, cells), flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    elapsed = time.monotonic() - started
    results = {cells: [known[cells][seed] for seed in range(args.first, args.last + 1)] for cells in args.cells}

    text = table(results, args.first, args.last, args.budget)
    write_doc(args.doc, text, results, args.first, args.last, args.budget)
    print('this run: %.0f s' % elapsed)
    update_readme(args.readme, text)
    print(text)
    print('wrote %s (raw answers in %s)' % (args.doc, args.raw))


if __name__ == '__main__':
    main()
