"""The rules as a player reads them, to predict what a click does to the table.
A table maps a place to a card (1..40) or None: grid places (column 1..10,
row 1..4) and free cells (12, i), i = 1..4, column 12 being the free-cell
column of the hit test. Card n: suit (n - 1) // 10, rank (n - 1) % 10 + 1."""
CARD_W, CARD_H = 62, 100
GRID = [(c, r) for r in range(1, 5) for c in range(1, 11)]
CELLS = [(12, i) for i in range(1, 5)]


def origin(place):
    """Client point of the top-left pixel of a place's card."""
    c, r = place
    return (693, (r - 1) * 101 + 1) if c == 12 else ((c - 1) * 63, (r - 1) * 102)


def centre(table, card):
    x, y = origin(where(table, card))
    return x + CARD_W // 2, y + CARD_H // 2


def where(table, card):
    return next(p for p, n in table.items() if n == card)


def is_ace(n):
    return n is not None and n % 10 == 1


def hit(x, y):
    """The place a client point names: 63 x 102 areas, gaps included."""
    place = (x // 63 + 1, y // 102 + 1)
    return place if x >= 0 and y >= 0 and (place in GRID or place in CELLS) else None


def target(table, card):
    """The one hole a left click sends the card to, or None."""
    if is_ace(card):
        return next(((1, r) for r in range(1, 5) if table[(1, r)] is None), None)
    return next((p for p in GRID if p[0] > 1 and table[p] is None and table[(p[0] - 1, p[1])] == card - 1), None)


def click(table, enabled, x, y, button):
    """(table after a left (1) or right (3) click at client (x, y), what happened)."""
    place = hit(x, y)
    card = table.get(place)
    after = dict(table)
    if card is None:
        return table, 'nothing: no card there'
    if button == 1:
        hole = target(table, card)
        if hole is None:
            return table, 'nothing: card %d has no hole to go to' % card
        after[place], after[hole] = None, card
        return after, 'card %d moves to %s' % (card, hole)
    if place[0] == 12 or is_ace(card):
        return table, 'nothing: card %d is parked or an ace' % card
    free = [p for p in CELLS[:enabled] if table[p] is None]
    if not free:
        return table, 'nothing: the free cells are full'
    after[place], after[free[0]] = None, card
    return after, 'card %d parked in free cell %d' % (card, free[0][1])


def solved(table):
    return all(table[(c, r)] is not None and is_ace(table[(1, r)]) and table[(c, r)] == table[(1, r)] + c - 1
               for c, r in GRID)


def actions(table, enabled):
    """Every click that changes the table, as (button, card)."""
    fills = [(1, n) for n in table.values() if n and target(table, n)]
    parks = [(3, table[p]) for p in GRID if table[p] and not is_ace(table[p])]
    return fills + (parks if any(table[p] is None for p in CELLS[:enabled]) else [])


def play(table, enabled, action):
    return click(table, enabled, *centre(table, action[1]), action[0])[0]


def find_line(table, enabled, goal, depth):
    """The first line of `depth` clicks whose last one, and only that, meets
    goal(table before, action); None when there is none."""
    for action in actions(table, enabled):
        if goal(table, action):
            if depth == 1:
                return [action]
        elif depth > 1:
            rest = find_line(play(table, enabled, action), enabled, goal, depth - 1)
            if rest:
                return [action] + rest
    return None


def back_from_cell(table, enabled):
    """A short line that parks a card and brings one back from a free cell,
    through a move in the grid where one is near."""
    def leaves_cell(t, action):
        return action[0] == 1 and where(t, action[1])[0] == 12
    return next(filter(None, (find_line(table, enabled, leaves_cell, depth) for depth in (3, 2, 4, 5, 6, 7, 8))), None)


def describe(table):
    rows = [' '.join('%2s' % (table[(c, r)] or '..') for c in range(1, 11)) for r in range(1, 5)]
    return '\n'.join(rows + ['free cells: ' + ' '.join(str(table[p] or '..') for p in CELLS)])
