"""The rules of Orvenna 2000 as a player reads them, for predicting what a
click does to the table seen on the screen, and a bounded solver that finds a
winning line of clicks for a dealt table.

A table is a dict: 'grid' maps (column, row) -> card value or None (a hole),
columns 1..10 and rows 1..4; 'cells' maps free cell 1..4 -> card value or None;
'enabled' is the number of free cells in play (1..4).
Card value n: suit (n - 1) // 10 (batons, cups, coins, swords), rank
(n - 1) % 10 + 1 (ace, 2..7, jack, knight, king)."""
import heapq
import itertools
import time

COLUMNS, ROWS, CELLS = 10, 4, 4
COLUMN_PITCH, ROW_PITCH = 63, 102
CARD_W, CARD_H = 62, 100
CELL_X, CELL_PITCH = 693, 101
SUITS = ('bastoni', 'coppe', 'denari', 'spade')
RANKS = ('asso', '2', '3', '4', '5', '6', '7', 'fante', 'cavallo', 're')


def card_name(n):
    if n is None:
        return '--'
    return '%s di %s' % (RANKS[(n - 1) % 10], SUITS[(n - 1) // 10])


def is_ace(n):
    return n is not None and n % 10 == 1


def grid_origin(column, row):
    """Client coordinates of the top-left pixel of grid cell (column, row)."""
    return (column - 1) * COLUMN_PITCH, (row - 1) * ROW_PITCH


def cell_origin(i):
    """Client coordinates of the top-left pixel of free cell i."""
    return CELL_X, (i - 1) * CELL_PITCH + 1


def copy_table(table):
    return {'grid': dict(table['grid']), 'cells': dict(table['cells']),
            'enabled': table['enabled']}


def hit(table, x, y):
    """Which place a click at client point (x, y) names. The program divides
    the client area into 63 x 102 areas: grid column x // 63 + 1 and row
    y // 102 + 1, so the one-pixel gap right of a card and the two-pixel gap
    below it belong to that card's area; area column 12 (x 693..755) is the
    free-cell column, its rows on the same 102-pixel division. Returns
    ('grid', (c, r)), ('cell', i) or None."""
    if x < 0 or y < 0:
        return None
    column, row = x // COLUMN_PITCH + 1, y // ROW_PITCH + 1
    if column == 12 and row <= CELLS:
        return ('cell', row)
    if column <= COLUMNS and row <= ROWS:
        return ('grid', (column, row))
    return None


def card_at(table, place):
    if place is None:
        return None
    kind, where = place
    return table['grid'][where] if kind == 'grid' else table['cells'][where]


def find_card(table, card):
    for where, n in table['grid'].items():
        if n == card:
            return ('grid', where)
    for i, n in table['cells'].items():
        if n == card:
            return ('cell', i)
    raise KeyError(card)


def target_hole(table, card):
    """The one hole a left click sends the card to, or None."""
    grid = table['grid']
    if is_ace(card):
        for r in range(1, ROWS + 1):
            if grid[(1, r)] is None:
                return (1, r)
        return None
    for r in range(1, ROWS + 1):
        for c in range(2, COLUMNS + 1):
            if grid[(c, r)] is None and grid[(c - 1, r)] == card - 1:
                return (c, r)
    return None


def left_click(table, x, y):
    """The table after a left click at client (x, y) and a description."""
    place = hit(table, x, y)
    card = card_at(table, place)
    if card is None:
        return table, 'nothing (no card there)'
    hole = target_hole(table, card)
    if hole is None:
        return table, 'nothing (%s has no hole to go to)' % card_name(card)
    after = copy_table(table)
    kind, where = place
    if kind == 'grid':
        after['grid'][where] = None
    else:
        after['cells'][where] = None
    after['grid'][hole] = card
    return after, '%s moves to %s' % (card_name(card), hole)


def right_click(table, x, y):
    """The table after a right click at client (x, y) and a description."""
    if x > 690:
        return table, 'nothing (right of the grid)'
    place = hit(table, x, y)
    card = card_at(table, place)
    if card is None:
        return table, 'nothing (no card there)'
    if is_ace(card):
        return table, 'nothing (%s is an ace)' % card_name(card)
    for i in range(1, table['enabled'] + 1):
        if table['cells'][i] is None:
            after = copy_table(table)
            after['grid'][place[1]] = None
            after['cells'][i] = card
            return after, '%s parked in free cell %d' % (card_name(card), i)
    return table, 'nothing (every enabled free cell is full)'


def solved(table):
    grid = table['grid']
    for r in range(1, ROWS + 1):
        ace = grid[(1, r)]
        if not is_ace(ace):
            return False
        for c in range(1, COLUMNS + 1):
            if grid[(c, r)] != ace + c - 1:
                return False
    return True


def describe(table):
    lines = []
    for r in range(1, ROWS + 1):
        lines.append(' '.join('%2s' % (table['grid'][(c, r)] or '..')
                              for c in range(1, COLUMNS + 1)))
    lines.append('free cells: ' + ' '.join(
        '%s' % (table['cells'][i] or '..') for i in range(1, CELLS + 1))
        + ' (%d enabled)' % table['enabled'])
    return '\n'.join(lines)


# ---------------------------------------------------------------------------
# Solver. A position is the grid alone, a tuple of 40 entries (row by row,
# 0 for a hole): the cards not in the grid are in the free cells.

def _prefixes(grid):
    total = 0
    fixed = []
    for r in range(ROWS):
        base = r * COLUMNS
        ace = grid[base]
        n = 0
        if ace % 10 == 1:
            n = 1
            while n < COLUMNS and grid[base + n] == ace + n:
                n += 1
        total += n
        fixed.append(n)
    return total, fixed


def _score(grid):
    total, fixed = _prefixes(grid)
    pairs = 0
    for r in range(ROWS):
        base = r * COLUMNS
        for c in range(fixed[r], COLUMNS - 1):
            a, b = grid[base + c], grid[base + c + 1]
            if a and b == a + 1:
                pairs += 1
    return total * 4 + pairs


def _moves(grid, cells, fixed):
    """(kind, card, new grid) for every useful click."""
    out = []
    where = {}
    for i, n in enumerate(grid):
        if n:
            where[n] = i
    holes = [i for i, n in enumerate(grid) if n == 0]
    # Left clicks that fill a hole.
    top_col1 = next((i for i in range(0, 40, COLUMNS) if grid[i] == 0), None)
    for h in holes:
        c = h % COLUMNS
        if c == 0:
            if h != top_col1:
                continue
            movers = [a for a in (1, 11, 21, 31)]
        else:
            left = grid[h - 1]
            if not left or left % 10 == 0:
                continue
            movers = [left + 1]
        for card in movers:
            src = where.get(card)
            if src is not None:
                r = src // COLUMNS
                if src % COLUMNS < fixed[r]:
                    continue
            elif card not in cells:
                continue
            g = list(grid)
            if src is not None:
                g[src] = 0
            g[h] = card
            out.append(('L', card, tuple(g)))
    # Right clicks that park a card.
    if len(cells) < CELLS:
        for i, n in enumerate(grid):
            if n and n % 10 != 1 and i % COLUMNS >= fixed[i // COLUMNS]:
                g = list(grid)
                g[i] = 0
                out.append(('R', n, tuple(g)))
    return out


def solve(table, max_nodes=30000, max_seconds=30.0):
    """A winning list of clicks [('L'|'R', card), ...] from the table with
    all four free cells enabled, or None when the bounded search finds none.
    Best first: progress (cards in place from each row's ace, and runs of
    consecutive cards) against the number of clicks so far, so the line is
    short as well."""
    grid = tuple(table['grid'][(c, r)] or 0
                 for r in range(1, ROWS + 1) for c in range(1, COLUMNS + 1))
    all_cards = set(range(1, 41))
    start = time.monotonic()
    counter = itertools.count()
    weight = 0.7
    heap = [(-_score(grid) * weight, next(counter), 0, grid)]
    parent = {grid: None}
    depth = {grid: 0}
    nodes = 0
    while heap:
        _, _, d, g = heapq.heappop(heap)
        if d > depth[g]:
            continue
        nodes += 1
        if nodes > max_nodes or time.monotonic() - start > max_seconds:
            return None
        total, fixed = _prefixes(g)
        if total == 40:
            line = []
            while parent[g] is not None:
                g, move = parent[g]
                line.append(move)
            return line[::-1]
        cells = all_cards.difference(g)
        for kind, card, after in _moves(g, cells, fixed):
            if after in depth and depth[after] <= d + 1:
                continue
            depth[after] = d + 1
            parent[after] = (g, (kind, card))
            heapq.heappush(heap, (-_score(after) * weight + d + 1, next(counter), d + 1, after))
    return None


# ---------------------------------------------------------------------------
# Short lines of clicks with a given property, for the click checks.

def _actions(table, rng):
    """Every click that changes the table: ('L', card) for a card that has a
    hole to go to, ('R', card) for a grid card that can be parked."""
    fills, parks = [], []
    for place, card in list(table['grid'].items()) + [(('cell', i), n) for i, n in table['cells'].items()]:
        if card is not None and target_hole(table, card) is not None:
            fills.append(('L', card))
    if any(table['cells'][i] is None for i in range(1, table['enabled'] + 1)):
        parks = [('R', n) for n in table['grid'].values() if n is not None and not is_ace(n)]
    rng.shuffle(fills)
    rng.shuffle(parks)
    return fills + parks


def click_point(table, card):
    """The client point at the middle of the card's picture."""
    kind, where = find_card(table, card)
    x, y = grid_origin(*where) if kind == 'grid' else cell_origin(where)
    return x + CARD_W // 2, y + CARD_H // 2


def play(table, action):
    kind, card = action
    x, y = click_point(table, card)
    return (left_click if kind == 'L' else right_click)(table, x, y)[0]


def find_line(table, goal, rng, min_depth=1, max_depth=8, max_nodes=20000):
    """A shortest-first list of min_depth to max_depth actions whose last
    step, and only that, satisfies goal(before, action, after); None when the
    bounded search (iterative deepening, max_nodes tables in all) finds none."""
    nodes = [0]

    def search(t, depth, seen):
        for action in _actions(t, rng):
            nodes[0] += 1
            if nodes[0] > max_nodes:
                return None
            after = play(t, action)
            if goal(t, action, after):
                if depth == 1:
                    return [action]
                continue
            if depth == 1:
                continue
            k = tuple(sorted((c, n or 0) for c, n in after['grid'].items()))
            if seen.get(k, 0) >= depth:
                continue
            seen[k] = depth
            rest = search(after, depth - 1, seen)
            if rest is not None:
                return [action] + rest
        return None

    for depth in range(min_depth, max_depth + 1):
        line = search(table, depth, {})
        if line is not None or nodes[0] > max_nodes:
            return line
    return None


def leaves_free_cell(before, action, after):
    """A left click that takes a card out of a free cell."""
    return action[0] == 'L' and action[1] in before['cells'].values()


def leaves_lower_free_cell(before, action, after):
    """A card leaves a free cell while a higher free cell stays occupied."""
    if not leaves_free_cell(before, action, after):
        return False
    i = next(i for i, n in before['cells'].items() if n == action[1])
    return any(after['cells'][j] is not None for j in range(i + 1, CELLS + 1))
