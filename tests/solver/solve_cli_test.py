#!/usr/bin/python3
"""orv2000-solve from the command line: answers, lines and exit codes (0 won,
1 lost, 2 unknown, 3 refused). Usage: solve_cli_test.py ORV2000_SOLVE_EXE PROCESSOR"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SOLVED = [[s * 10 + r for r in range(1, 11)] for s in range(4)]


def answers_on_file(solve):
    """docs/solvability.tsv holds one answer per seed and free-cell count, as
    many of each as the table in docs/SOLVABILITY.md says; a sample of its
    lines (a win and a loss for each count, and a win after the first look)
    comes out again of orv2000-solve, positions and clicks alike."""
    with open(os.path.join(ROOT, 'docs', 'solvability.tsv')) as f:
        rows = [line.rstrip('\n').split('\t') for line in f][1:]
    with open(os.path.join(ROOT, 'docs', 'SOLVABILITY.md')) as f:
        # The win-rate table opens it: free cells, won (with its share), the interval, lost, undecided.
        table = [line.split('|') for line in f.read().split('\n## ')[0].splitlines()
                 if re.match(r'\| [1-4] \|', line)]
    wrong = []
    if sorted((int(r[0]), int(r[1])) for r in rows) != [(s, c) for s in range(1, 10001) for c in range(1, 5)]:
        wrong.append('solvability.tsv: not every seed 1-10000 with 1-4 free cells once')
    if len(table) != 4:
        wrong.append('SOLVABILITY.md: no win-rate table of four rows at its head')
    for t in table:
        cells = int(t[1])
        counts = [sum(1 for r in rows if r[1] == str(cells) and r[2] == a) for a in ('won', 'lost', 'unknown')]
        if counts != [int(t[i].split()[0].replace(',', '')) for i in (2, 4, 5)]:
            wrong.append('%d free cells: the file counts %s, the table %s' % (cells, counts, t[2:6]))
    sample = []
    for cells in '1234':
        for answer, low in (('won', 0), ('lost', 0), ('won', 100000)):
            found = [r for r in rows if r[1] == cells and r[2] == answer and low < int(r[3]) < 300000]
            if found and found[0] not in sample:
                sample.append(found[0])
    for r in sample:
        solve(['--seeds', r[0], r[0], '--cells', r[1], '--threads', '1'], 0, '%s\t%s\t%s\t%s\t' % tuple(r[:4]))
        solve(['--seed', r[0], '--cells', r[1], '--threads', '1'], {'won': 0, 'lost': 1}[r[2]],
              'winning line, %s clicks' % r[4] if r[2] == 'won' else 'lost with')
        # Two threads share the search: the same answer, and a loss tries
        # every position once, whichever thread finds it.
        solve(['--seeds', r[0], r[0], '--cells', r[1], '--threads', '2'], 0,
              '%s\t%s\t%s\t%s' % tuple(r[:3] + [r[3] + '\t' if r[2] == 'lost' else '']))
    return wrong


def main(exe, processor):
    found = subprocess.run([os.path.join(ROOT, 'tools', 'wine-loader.sh'), exe], stdout=subprocess.PIPE, text=True)
    if found.returncode:
        print('skipped: 32-bit code is emulated here; the solver runs in orv_tests.OneProcess')
        return 77
    folder, failures = tempfile.mkdtemp(), []

    def position(name, rows, parked):
        with open(os.path.join(folder, name), 'w') as f:
            f.write(''.join(' '.join(map(str, row)) + '\n' for row in rows + [parked]))
        return os.path.join(folder, name)

    def solve(args, code, *texts):
        result = subprocess.run([found.stdout.strip(), exe] + args, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        out = result.stdout.decode('utf-8', 'replace').replace('\r', '')
        if result.returncode != code or not all(t in out for t in texts):
            failures.append('%s: exit %d, expected %d with %s:\n%s' % (args, result.returncode, code, texts, out[:400]))
    solve(['--seed', '1', '--cells', '4'], 0, 'seed 1: won with 4 free cells', 'Metti')
    one = [row[:] for row in SOLVED]
    one[1][9] = 0
    solve(['--position', position('one', one, [20])], 0, 'won with 1 free cell',
          '   1. Muovi il re di coppe (spazio libero 1) | Move the king of cups (free cell 1)')
    stuck = [row[:] for row in SOLVED]
    stuck[2] = [21, 22, 23, 24, 26, 27, 28, 29, 30, 0]
    solve(['--position', position('stuck', stuck, [25]), '--cells', '1'], 1, 'lost with 1 free cell: 1 positions')
    solve(['--position', position('stuck', stuck, [25]), '--cells', '2'], 0, 'won with 2 free cells')
    # A row that can never be put in order beside three scrambled ones: lost
    # with two free cells only once the first look has tried all it tries and
    # the best-first search after it has tried every position. Threads try
    # the same positions in every stage but the first look, whose budget a
    # thread may overrun by the 4096 positions it counts at a time.
    dead = [[1, 2, 3, 8, 9, 10, 4, 5, 6, 7], [11, 13, 28, 27, 23, 17, 24, 19, 30, 14],
            [21, 36, 29, 39, 22, 33, 32, 20, 12, 18], [31, 40, 35, 15, 25, 34, 26, 16, 38, 37]]
    solve(['--position', position('dead', dead, []), '--cells', '2', '--threads', '1'], 1,
          'lost with 2 free cells: 209612 positions')
    # Layer by layer, with files in a folder it makes: lost (a position with
    # both free cells taken and few moves counts each time it is reached, and
    # so does one sent again to a later layer: the 32-bit build remembers
    # fewer of those it sent).
    solve(['--position', position('dead', dead, []), '--cells', '2', '--layers', os.path.join(folder, 'layers')], 1,
          'lost with 2 free cells: %d positions' % (320154 if processor == 'i686' else 319145))
    # With the suits' rows fixed: the dead row's 24 ways each tried to the
    # end, and again with an ace out of its row, prove nothing; seed 187 has
    # no win in its first three ways, 756 with one free cell none until an
    # ace may stand outside its row.
    solve(['--position', position('dead', dead, []), '--cells', '2', '--rows', '--threads', '1'], 2,
          'unknown with 2 free cells: 5261376 positions', 'the search could not go on')
    solve(['--seed', '187', '--cells', '2', '--rows', '--threads', '1'], 0, 'won with 2 free cells: 2002142 positions')
    solve(['--seed', '756', '--cells', '1', '--rows', '--threads', '1'], 0, 'won with 1 free cell: 27574 positions')
    # Seed 7160 with two free cells: won only by the beam, once the first
    # look and the best-first search have spent their budgets (each overrun
    # by at most 4096 positions on two threads); the beam's levels are the
    # same on any number of threads.
    runs = [('dead', 209612, 4096, 'lost', ['--position', position('dead', dead, [])])] * 3 + \
           [('seed 7160', 5190912, 8192, 'won', ['--seed', '7160'])]
    for name, least, overrun, answer, args in runs:
        result = subprocess.run([found.stdout.strip(), exe] + args + ['--cells', '2', '--threads', '2'],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=300)
        tried = re.search(rb'%s with 2 free cells: (\d+) positions' % answer.encode(), result.stdout)
        if not tried or not least <= int(tried.group(1)) <= least + overrun:
            failures.append('%s with two threads: %r' % (name, result.stdout[:200]))
    solve(['--seed', '7', '--cells', '1', '--budget', '20'], 2, 'unknown with 1 free cell')
    solve(['--seeds', '1', '3', '--cells', '4'], 0, '1\t4\twon\t', '3\t4\twon\t')
    # Which search gave the answer; the others without the first look, whose budget is then not spent.
    solve(['--seeds', '1', '1', '--cells', '2', '--threads', '1', '--searches'], 0, '\t140982\t', '\tnear\n')
    solve(['--seeds', '1', '1', '--cells', '2', '--threads', '1', '--searches', '--leave-out', 'first look'], 0,
          '\t40982\t', '\tnear\n')
    twice = [[2] + SOLVED[0][1:]] + SOLVED[1:]
    solve(['--position', position('twice', twice, [])], 3, 'not a position of the game')
    for name, rows, parked in (('short', SOLVED[:2], []), ('big', SOLVED, [41]), ('missing', None, None)):
        solve(['--position', position(name, rows, parked) if rows else os.path.join(folder, name)], 3, 'cannot read')
    solve(['--seed', '1', '--memory', str(1 << 40)], 3, 'this machine does not have them free')
    solve(['--seed', '19', '--cells', '1', '--memory', '4', '--threads', '2'], 2, 'unknown with 1 free cell', 'the memory ran out')
    solve(['--seed', '1', '--layers', folder, '--seconds', '0.001'], 2, 'unknown with 1 free cell', 'the time ran out')
    failures.extend(answers_on_file(solve))
    for bad in (['--cells', '2'], ['--seed', '1', '--memory', '0'], ['--seed', '1', '--cells', '5'], ['--seeds', '5', '1'], ['--seed'],
                ['--seed', '1', '--threads', '0'], ['--seed', '1', '--seconds', '0'],
                ['--budget', '0', '--seed', '1'], ['--seed', '1', '--layers', folder, '--plain'], ['-x']):
        solve(bad, 3, 'usage: orv2000-solve')
    for failure in failures:
        print('FAILED: ' + failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
