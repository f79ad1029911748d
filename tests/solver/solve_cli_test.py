#!/usr/bin/python3
"""orv2000-solve from the command line: a seed, positions read from files
(won, lost, not a position of the game, unreadable), bad arguments; the
answers, the lines it prints and its exit codes (0 won, 1 lost, 2 unknown,
3 refused).

Usage: solve_cli_test.py ORV2000_SOLVE_EXE
Exit code 0: passed, 1: failed, 77: skipped (32-bit code emulated here)."""
import os
import subprocess
import sys
import tempfile

TOOLS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), 'tools')

SOLVED = [[s * 10 + r for r in range(1, 11)] for s in range(4)]


def position_text(rows, parked):
    return '\n'.join(' '.join(str(v) for v in row) for row in rows) + '\n' + ' '.join(str(v) for v in parked) + '\n'


def main():
    exe = sys.argv[1]
    loader = subprocess.run([os.path.join(TOOLS, 'wine-loader.sh'), exe], stdout=subprocess.PIPE, text=True)
    if loader.returncode != 0:
        print('skipped: 32-bit code is emulated here (or cannot run); the solver runs in orv_tests.OneProcess')
        return 77
    failures = []

    def run(*args, expect_code, expect_text=()):
        result = subprocess.run([loader.stdout.strip(), exe] + list(args), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        out = result.stdout.decode('utf-8', 'replace').replace('\r', '') + result.stderr.decode('utf-8', 'replace')
        print('$ orv2000-solve %s -> %d\n%s' % (' '.join(args), result.returncode, '\n'.join(out.splitlines()[:6])))
        if result.returncode != expect_code:
            failures.append('%s: exit %d, expected %d' % (' '.join(args), result.returncode, expect_code))
        for text in expect_text:
            if text not in out:
                failures.append('%s: %r missing' % (' '.join(args), text))
        return out

    with tempfile.TemporaryDirectory() as folder:
        def position(name, rows, parked):
            path = os.path.join(folder, name)
            with open(path, 'w') as f:
                f.write(position_text(rows, parked))
            return path

        out = run('--seed', '1', '--cells', '4', expect_code=0, expect_text=['seed 1: won with 4 free cells'])
        clicks = [line for line in out.splitlines() if line[:5].strip().rstrip('.').isdigit()]
        if not clicks or not any('Metti' in line for line in clicks):
            failures.append('the line of seed 1 has no clicks or no park')

        one_to_go = [row[:] for row in SOLVED]
        one_to_go[1][9] = 0
        run('--position', position('one.txt', one_to_go, [20]), expect_code=0,
            expect_text=['won with 1 free cell', '   1. Muovi il re di coppe (spazio libero 1) | '
                         'Move the king of cups (free cell 1)'])

        stuck = [row[:] for row in SOLVED]
        stuck[2] = [21, 22, 23, 24, 26, 27, 28, 29, 30, 0]
        run('--position', position('stuck.txt', stuck, [25]), '--cells', '1', expect_code=1,
            expect_text=['lost with 1 free cell: 1 positions'])
        run('--position', position('stuck2.txt', stuck, [25]), '--cells', '2', expect_code=0,
            expect_text=['won with 2 free cells'])

        twice = [row[:] for row in SOLVED]
        twice[0][0] = 2
        run('--position', position('twice.txt', twice, []), expect_code=3,
            expect_text=['not a position of the game'])
        run('--position', position('short.txt', SOLVED[:2], []), expect_code=3, expect_text=['cannot read'])
        run('--position', position('big.txt', SOLVED, [41]), expect_code=3, expect_text=['cannot read'])
        run('--position', os.path.join(folder, 'missing.txt'), expect_code=3, expect_text=['cannot read'])
        run('--seed', '7', '--cells', '1', '--budget', '20', expect_code=2, expect_text=['unknown with 1 free cell'])
        run('--seeds', '1', '3', '--cells', '4', expect_code=0, expect_text=['1\t4\twon\t', '3\t4\twon\t'])
        for bad in (['--cells', '2'], ['--seed', '1', '--cells', '5'], ['--seed'], ['--seeds', '5', '1'],
                    ['--budget', '0', '--seed', '1'], ['--what']):
            run(*bad, expect_code=3, expect_text=['usage: orv2000-solve'])

    for failure in failures:
        print('FAILED: ' + failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
