#!/usr/bin/python3
"""What the player waits for: the deals of the win-rate table decided again
on one thread by two builds of orv2000-solve.exe under Wine, "before" and
"after", taking turns chunk by chunk (never both at once, so neither disturbs
the other's clock). Writes its section at the end of docs/SOLVABILITY.md,
between its markers, and docs/solver-bench.png.

Usage: solver_bench.py --before EXE --after EXE [--before-name COMMIT] [--first 1] [--last 10000]
           [--cells 1 2 3 4] [--limit 600] [--chunk 25] [--raw build/solver-bench] [--doc ...] [--picture ...]
           [--only before|after]
Run it inside tools/headless.sh. Answers go into RAW/before.tsv and
RAW/after.tsv as they come, so an interrupted run goes on where it stopped; a
solver whose bytes changed starts again. A deal still running after --limit
seconds is killed and counted undecided ("stopped")."""
import argparse
import hashlib
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import matplotlib  # python3-matplotlib: tools/install-deps.sh bench
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402
import numpy  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
START_MARK = '<!-- solver-bench: made by make solver-bench -->'
END_MARK = '<!-- end of solver-bench -->'
NOTES_START = '<!-- solver-bench notes: kept as written -->'
NOTES_END = '<!-- end of solver-bench notes -->'
NOTES_DEFAULT = 'Why each missed target is missed, and what would meet it: not written yet.'
SOLVERS = ('before', 'after')
DECIDED = ('won', 'lost')
MARKS = (0.1, 1, 10)  # seconds: the table's columns
GRACE = 5  # seconds for Wine to start a process, on top of its first deal's limit
SLOWEST = 1000  # deals in the sample of one core's speed
TARGETS = ('Every deal decided', 'At least 99.9 % decided within 1 s on one core', 'No deal beyond 60 s')


class Solver:
    """One solver's command line and answers, {(cells, seed): (answer, ms, wall seconds, positions)},
    kept on file as they come: the solver's seven fields and the wall clock
    since the previous answer (Wine's start included)."""

    def __init__(self, exe, path, limit):
        loader = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe],
                                stdout=subprocess.PIPE).stdout.decode().strip()
        usage = subprocess.run([loader, exe, '--help'], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, timeout=300).stdout
        # One thread, where the solver can be told so.
        self.command = [loader, exe] + (['--threads', '1'] if b'--threads' in usage else [])
        with open(exe, 'rb') as f:
            self.digest = hashlib.sha256(f.read()).hexdigest()
        header = '# exe ' + self.digest
        try:
            with open(path) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            lines = []
        if lines[:1] != [header]:
            print('%s: %s; starting afresh' % (path, 'another solver' if lines else 'nothing yet'), flush=True)
            with open(path, 'w') as f:
                f.write(header + '\n')
            lines = []
        # Answers gathered by a run of this solver alone (--only), which may
        # have shared the machine with the other's.
        self.alone = '# only' in lines
        self.rows = {}
        for fields in (line.split('\t') for line in lines[1:]):
            # Deals stopped by a shorter limit are run again.
            if len(fields) == 8 and not (fields[2] == 'stopped' and float(fields[4]) < limit * 1000):
                self.rows[int(fields[1]), int(fields[0])] = (fields[2], float(fields[4]), float(fields[7]),
                                                             int(fields[3]))
        self.file = open(path, 'a')

    def record(self, fields, wall):
        self.file.write('\t'.join(fields + ['%.2f' % wall]) + '\n')
        self.file.flush()
        self.rows[int(fields[1]), int(fields[0])] = (fields[2], float(fields[4]), wall, int(fields[3]))

    def run(self, first, last, cells, limit):
        """Decides seeds first..last. A deal still running after limit seconds
        is killed and recorded as stopped; the next ones go on in a new process."""
        seed, failures = first, 0
        while seed <= last:
            proc = subprocess.Popen(self.command + ['--seeds', str(seed), str(last), '--cells', str(cells)],
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            lines = queue.Queue()
            threading.Thread(target=lambda: [lines.put(x) for x in proc.stdout] + [lines.put(None)],
                             daemon=True).start()
            since = time.monotonic()
            deadline = since + limit + GRACE
            while True:
                try:
                    line = lines.get(timeout=max(0.0, deadline - time.monotonic()))
                except queue.Empty:
                    proc.kill()
                    proc.wait()
                    self.record([str(seed), str(cells), 'stopped', '0', '%.1f' % (limit * 1000), '0', '0'],
                                time.monotonic() - since)
                    seed += 1
                    break
                if line is None:  # the process ended; Wine can fail to start one under load
                    if proc.wait() != 0 or seed <= last:
                        failures += 1
                        print('seed %d with %d cells: exit %d' % (seed, cells, proc.returncode), flush=True)
                    if failures == 3:  # a deal the solver cannot get through: undecided, and on
                        self.record([str(seed), str(cells), 'failed', '0', '0', '0', '0'], 0)
                        seed, failures = seed + 1, 0
                    break
                fields = line.decode().rstrip('\r\n').split('\t')
                if len(fields) == 7 and fields[0] == str(seed):
                    now = time.monotonic()
                    self.record(fields, now - since)
                    seed, failures, since, deadline = seed + 1, 0, now, now + limit


def summary(rows):
    """Per cent decided within each of MARKS and at all, the slowest deal's key, the total ms."""
    decided = [r[1] for r in rows.values() if r[0] in DECIDED]
    shares = [100 * sum(1 for ms in decided if ms <= 1000 * s) / len(rows) for s in MARKS]
    worst = max(rows, key=lambda k: (rows[k][1], -k[0], -k[1]))
    return shares + [100 * len(decided) / len(rows)], worst, sum(r[1] for r in rows.values())


def duration(ms):
    return '%.1f ms' % ms if ms < 1000 else '%.1f s' % (ms / 1000) if ms < 120000 else '%.1f min' % (ms / 60000)


def cells_text(cells):
    return '%d free cell%s' % (cells, '' if cells == 1 else 's')


def describe(rows, key, name_cells):
    answer, ms = rows[key][:2]
    return '%s (seed %d%s%s)' % (duration(ms), key[1], ', ' + cells_text(key[0]) if name_cells else '',
                                 '' if answer in DECIDED else ', ' + {'unknown': 'undecided'}.get(answer, answer))


def table(results, cells_list):
    lines = ['| Free cells | Solver | Deals | Decided within 0.1 s | within 1 s | within 10 s | Decided | '
             'Slowest deal | Time for all |', '|---:|:---|---:|---:|---:|---:|---:|:---|---:|']
    for cells in cells_list + ['all'] * (len(cells_list) > 1):
        for name in SOLVERS:
            rows = {k: v for k, v in results[name].items() if cells in ('all', k[0])}
            shares, worst, total = summary(rows)
            lines.append('| %s | %s | %d | %s | %s | %s |' % (
                cells, name, len(rows), ' | '.join('%.2f %%' % p for p in shares),
                describe(rows, worst, cells == 'all'), duration(total)))
    return '\n'.join(lines)


def slowest(results, cells_list):
    """One core's speed where it matters: the SLOWEST deals the recorded
    commit took longest on, for one and for two free cells, each solver's time
    for all of them and positions a second, and the answers that differ."""
    lines = ['| Free cells | Deals | before: time | after: time | after is faster | before: positions a second | '
             'after | ratio | answers |', '|---:|---:|---:|---:|---:|---:|---:|---:|:---|']
    for cells in [c for c in (1, 2) if c in cells_list]:
        before, after = results['before'], results['after']
        keys = sorted((k for k in before if k[0] == cells), key=lambda k: (-before[k][1], k[1]))[:SLOWEST]
        ms = [sum(rows[k][1] for k in keys) for rows in (before, after)]
        rates = [sum(rows[k][3] for k in keys) / max(t, 1) * 1000 for rows, t in zip((before, after), ms)]
        changed = sum(1 for k in keys if before[k][0] in DECIDED and after[k][0] != before[k][0])
        newly = sum(1 for k in keys if before[k][0] not in DECIDED and after[k][0] in DECIDED)
        lost = sum(1 for k in keys if before[k][0] in DECIDED and after[k][0] not in DECIDED)
        same = 'all the same' if not changed else '**%d differ**' % changed
        if newly or lost:
            same += '; %d undecided before decided after, %d decided before undecided after' % (newly, lost)
        lines.append('| %d | %d | %s | %s | %.2f× | %.2f million | %.2f million | %.2f× | %s |' % (
            cells, len(keys), duration(ms[0]), duration(ms[1]), ms[0] / max(ms[1], 1), rates[0] / 1e6,
            rates[1] / 1e6, rates[1] / max(rates[0], 1), same))
    return '\n'.join(lines)


def targets(results):
    """Each target met or missed by each solver, and whether any was missed."""
    marks = []
    for name in SOLVERS:
        rows = results[name]
        shares, worst, _ = summary(rows)
        marks.append([(shares[3] == 100, '%.2f %% decided' % shares[3]),
                      (shares[1] >= 99.9, '%.2f %% within 1 s' % shares[1]),
                      (rows[worst][1] <= 60000 and rows[worst][0] != 'stopped',
                       'slowest ' + describe(rows, worst, True))])
    lines = ['| Target | before | after |', '|:---|:---|:---|'] + [
        '| %s | %s |' % (label, ' | '.join('%s: %s' % ('met' if m[i][0] else '**missed**', m[i][1]) for m in marks))
        for i, label in enumerate(TARGETS)]
    return '\n'.join(lines), not all(met for m in marks for met, _ in m)


def picture(path, results, cells_list, limit, title):
    """Share decided against time: all of it above, the top 1 % (where the targets lie) below."""
    fig, axes = plt.subplots(2, 1, figsize=(9, 8), sharex=True, gridspec_kw={'height_ratios': [3, 2]})
    xs = numpy.geomspace(1e-3, 600, 1500)
    dashed = (0, (5, 3))
    for i, cells in enumerate(cells_list):
        for name, style in (('before', dashed), ('after', '-')):
            rows = [v for k, v in results[name].items() if k[0] == cells]
            times = numpy.sort([r[1] / 1000 for r in rows if r[0] in DECIDED])
            for ax in axes:
                ax.plot(xs, 100 * numpy.searchsorted(times, xs, side='right') / len(rows), color='C%d' % i,
                        linestyle=style, linewidth=1.6)
    for ax in axes:
        ax.set_xscale('log')
        ax.set_xlim(1e-3, 600)
        ax.grid(True, color='0.88')
        for t in (1, 60):
            ax.axvline(t, color='0.45', linestyle=':', linewidth=1)
        if limit < 600:
            ax.axvspan(limit, 600, color='0.93')  # deals are stopped there: nothing measured
    axes[0].set_ylim(0, 101)
    axes[0].set_ylabel('deals decided (%)')
    axes[0].set_title(title, fontsize=11)
    axes[0].legend(handles=[Line2D([], [], color='C%d' % i, label=cells_text(c)) for i, c in enumerate(cells_list)] +
                   [Line2D([], [], color='0.2', linestyle=dashed, label='before'),
                    Line2D([], [], color='0.2', label='after')], loc='lower right', fontsize=9)
    axes[1].set_ylim(99, 100.05)
    axes[1].axhline(99.9, color='0.45', linestyle=':', linewidth=1)
    axes[1].text(1.1e-3, 99.84, 'targets: 99.9 % within 1 s, none beyond 60 s', fontsize=8, color='0.3')
    axes[1].set_ylabel('deals decided (%), the top 1 %')
    axes[1].set_xlabel('time the player waits for a deal\'s answer, one thread')
    axes[1].set_xticks([1e-3, 1e-2, 0.1, 1, 10, 60, 600], ['1 ms', '10 ms', '0.1 s', '1 s', '10 s', '1 min', '10 min'])
    axes[1].minorticks_off()
    fig.tight_layout()
    fig.savefig(path, dpi=100, metadata={'Software': None})
    plt.close(fig)


def write_doc(args, results, solvers, tree, loads, cover, full):
    """The section between its markers, or at the end; the rest of the file stays as it is."""
    with open(args.doc) as f:
        doc = f.read()
    notes = None
    if NOTES_START in doc and NOTES_END in doc:
        notes = doc.split(NOTES_START, 1)[1].split(NOTES_END, 1)[0].strip()
    grid, missed = targets(results)
    apart = any(v.alone for v in solvers.values())
    walls = ', '.join('%s %s' % (n, duration(1000 * sum(r[2] for r in results[n].values()))) for n in SOLVERS)
    parts = ['### The time a deal takes: make solver-bench', '',
             'Every deal of the table: %s.' % cover if full else
             '**A subset run**: %s, not the whole table (seeds 1 to 10,000 with 1 to 4 free cells, 40,000 '
             'deals), which `make solver-bench` decides without `SOLVER_BENCH_ARGS`.' % cover, '',
             'Each deal decided again by `orv2000-solve --seeds` on one thread of the x86_64 build under Wine%s: '
             '"before" is the solver of commit %s, before the speed work; "after" is the working tree\'s (at %s; '
             'the exes\' SHA-256 begin %s). '
             '%s Times are the solver\'s own for each '
             'deal, Wine\'s start not counted; "decided" is won or lost, and a deal still running after %s is '
             'stopped and counted undecided. Run on %s, %d cores%s; wall clock: %s.' % (
                 ''.join(' (%s with `--threads 1`)' % n for n in SOLVERS if '--threads' in solvers[n].command),
                 args.before_name, tree, ' and '.join(solvers[n].digest[:12] for n in SOLVERS),
                 'The two ran apart (`--only`), each alone on its answers but mostly side by side with the '
                 'other, one core each, and at times beside other work on the machine, which slows both a little.' if apart else
                 'The two take turns, %d seeds at a time, never both at once.' % args.chunk,
                 duration(args.limit * 1000), time.strftime('%Y-%m-%d'), os.cpu_count() or 1,
                 '' if apart else
                 ', load average %.1f at the start and %.1f at the end (other work on the machine slows both '
                 'alike)' % tuple(loads), walls), '',
             table(results, args.cells), '', 'Targets, over these deals:', '', grid, '',
             'One core where the player waits longest: the %d deals (or all, if fewer) of each count that "before" took longest '
             'on (seeds and positions in build/solver-bench/), both solvers\' time for all of them and positions '
             'a second (each counts the positions it tried; "after", with one free cell, stores no position with one move '
             'or none and counts those each time it reaches them, about a fifth more than "before" counts, so there '
             '"after is faster" compares the same work):' % SLOWEST,
             '', slowest(results, args.cells), '',
             '![Deals decided against time, one curve per number of free cells, before dashed and after '
             'solid](%s)' % os.path.relpath(args.picture, os.path.dirname(os.path.abspath(args.doc)))]
    if missed or notes not in (None, NOTES_DEFAULT):
        parts += ['', NOTES_START, notes or NOTES_DEFAULT, NOTES_END]
    section = '\n'.join([START_MARK] + parts + ['', 'Made by `make solver-bench` (tools/solver_bench.py).', END_MARK])
    if START_MARK in doc and END_MARK in doc:
        doc = doc.split(START_MARK, 1)[0] + section + doc.split(START_MARK, 1)[1].split(END_MARK, 1)[1]
    else:
        doc = doc.rstrip('\n') + '\n\n' + section + '\n'
    with open(args.doc, 'w') as f:
        f.write(doc)


def main():
    parser = argparse.ArgumentParser()
    for flag, default in (('before', None), ('after', None), ('before-name', 'before'), ('first', 1),
                          ('last', 10000), ('limit', 600.0), ('chunk', 25),
                          ('raw', os.path.join(ROOT, 'build', 'solver-bench')),
                          ('doc', os.path.join(ROOT, 'docs', 'SOLVABILITY.md')),
                          ('picture', os.path.join(ROOT, 'docs', 'solver-bench.png'))):
        parser.add_argument('--' + flag, default=default, required=default is None, type=type(default or ''))
    parser.add_argument('--cells', type=int, nargs='+', default=[1, 2, 3, 4])
    # One solver's answers alone, e.g. the recorded commit's while the new one
    # is still changing; the section is written by a run of both.
    parser.add_argument('--only', choices=SOLVERS)
    args = parser.parse_args()
    os.makedirs(args.raw, exist_ok=True)
    loads = [os.getloadavg()[0]]
    git = lambda *a: subprocess.run(['git', '-C', ROOT] + list(a), stdout=subprocess.PIPE, text=True).stdout.strip()
    tree = git('rev-parse', '--short', 'HEAD') + (
        ' with changes to solver/ not committed' if git('status', '--porcelain', '--', 'solver') else '')
    # Copies of the solvers, so a rebuild during the run cannot change them.
    scratch = tempfile.mkdtemp(prefix='orv-solver-bench-')
    solvers = {}
    try:
        for name in SOLVERS:
            exe = os.path.join(scratch, name + '-orv2000-solve.exe')
            shutil.copy(getattr(args, name), exe)
            solvers[name] = Solver(exe, os.path.join(args.raw, name + '.tsv'), args.limit)
        if args.only and not solvers[args.only].alone:
            solvers[args.only].file.write('# only\n')
            solvers[args.only].alone = True
        started = time.monotonic()
        for cells in args.cells:
            for a in range(args.first, args.last + 1, args.chunk):
                b = min(a + args.chunk - 1, args.last)
                for name, solver in solvers.items():
                    if args.only not in (None, name):
                        continue
                    todo = [s for s in range(a, b + 1) if (cells, s) not in solver.rows]
                    if todo:
                        clock = time.monotonic()
                        solver.run(todo[0], b, cells, args.limit)
                        print('[%6.0f s] %s, seeds %d-%d: %s took %.1f s' % (time.monotonic() - started,
                              cells_text(cells), a, b, name, time.monotonic() - clock), flush=True)
    finally:
        for solver in solvers.values():
            solver.file.close()
        shutil.rmtree(scratch, ignore_errors=True)
    if args.only:
        print('%s answers in %s; the section is written by a run of both' % (args.only, args.raw))
        return 0

    results = {name: {(c, s): solver.rows[c, s] for c in args.cells for s in range(args.first, args.last + 1)}
               for name, solver in solvers.items()}
    full = (args.first, args.last, sorted(args.cells)) == (1, 10000, [1, 2, 3, 4])
    n, cells = len(results['before']), [str(c) for c in args.cells]
    cover = '%s with %s free cell%s (%d deal%s)' % (
        'seed %d' % args.first if args.first == args.last else 'seeds %d to %d' % (args.first, args.last),
        ' and '.join([', '.join(cells[:-1]), cells[-1]] if cells[1:] else cells), '' if cells == ['1'] else 's',
        n, '' if n == 1 else 's')
    write_doc(args, results, solvers, tree, loads + [os.getloadavg()[0]], cover, full)
    picture(args.picture, results, args.cells, args.limit, 'Deals decided against time, one thread:\n' + cover +
            ('' if full else ', a subset of the table'))
    print(table(results, args.cells))
    print('wrote the solver-bench section of %s and %s (answers in %s)' % (args.doc, args.picture, args.raw))
    return 0


if __name__ == '__main__':
    sys.exit(main())
