// The search over the game's positions.
//
// What a position is. The free cells are interchangeable: a park goes to the
// lowest empty cell and a parked card leaves by a left click from any cell, so
// which cell holds which card never changes what can happen next. The grid
// alone therefore names a position: the parked cards are the ones missing
// from it.
//
// Pruning. A right click only parks: it opens a hole and fills a free cell.
// Take any winning line and a park of card X in it; let M be the first later
// move that fills X's old place or moves X out of its free cell. Parking X
// just before M instead gives a line that is still legal and still wins:
//  - the moves in between never use X's old place (M is the first), never
//    need X (it is parked all along), and find the same target holes (a card
//    goes into the one hole right of the card below it, whether or not X's
//    old place is also a hole; an ace goes into the topmost hole of column 1,
//    which X's old place is not, or an ace filling it would be M);
//  - they had one free cell fewer than the postponed line has, so their parks
//    still find room, and room is left for X when M comes;
//  - if M moves X out of its free cell, X may as well go there straight from
//    its place in the grid: the target depends only on the card below X, and
//    the position after it is the same.
// Repeating this for every park gives a winning line in which each park is at
// once followed by a left click that moves another card into the place X has
// just left. The search therefore makes a park only together with that
// fill: "park X, fill its place" is one move. A settled card (one of a run
// from an ace in column 1) is never parked by this rule: its place can be
// filled only by itself. With searchPlain set, parks are moves of their own,
// which checks the argument on real deals.
//
// The order of searches. With one free cell a single depth-first search
// decides every deal: it finds a win or tries every reachable position, and
// most deals are lost, which only trying everything shows. With more free
// cells nearly every deal is won but the spaces are vast, and a depth-first
// search can spend its life under one early wrong move; so a short
// depth-first look comes first, then a best-first search of a few million
// positions kept near the start (moves weigh twice as much as cards in
// order), which wins most of what the look misses, then beam searches of
// growing width (each level keeps the best positions by how many cards are
// in order), which find most of the wins left, then a best-first search with
// cards and moves alike, which finds the rest and, run to its end, tries
// everything; where it ends undecided, searches with the suits' rows fixed
// (RowsFixed), which won two deals those before it had left undecided after
// 160 million positions; where memory ran out, a depth-first search with the
// budget left. On the deals the look misses, measured one search at a time,
// this order takes about a quarter less time in all than the beams first.
// Apart from these, asked for by name (searchLayers): the search layer by
// layer (LayeredSearch), which tries every position with one layer of them
// in memory at a time, for losses the store cannot hold.
//
// Threads. Every search runs on every processor (searchThreads), its
// threads sharing one store: the depth-first search hands out the untried
// moves of its path, the beams the nodes of each level; in the best-first
// search each thread keeps the positions it found waiting, and takes
// another's when it has none or theirs are much better. The answer never
// depends on the number of threads.
#include "solver/solver.h"
#include "app/winsys.h"
#include "game/wincheck.h"
#include "solver/store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

LineClick winningLine[MAX_LINE + 1];
int winningLength = 0;
long long positionsSearched = 0;
double searchSeconds = 0;
int searchStop = STOP_NONE;
unsigned long long searchMemory = 0;
double searchTimeLimit = 0;
int (*searchInterrupted)() = nullptr;
int searchPlain = 0;
int searchRowsFixed = 0;
int searchThreads = 0;
const char* searchLayers = nullptr;

namespace {

constexpr int CELL_COUNT = BOARD_COLUMNS * BOARD_ROWS;

// A position as the search holds it, with all that is kept beside it. Each
// thread of a search has its own. Cell i (1..40) is column (i - 1) % 10 + 1
// of row (i - 1) / 10 + 1; 0 is a hole.
struct Position {
    int grid[CELL_COUNT + 1];
    // The cell each card is in, 0 while it is parked.
    unsigned char cellOf[CARD_COUNT + 1];
    int parkedCount;
    // The grid packed as the store keeps it, kept up to date cell by cell.
    PositionKey key;
    // Kept up to date cell by cell too, so that neither a move, nor the list
    // of moves, nor the win test has to scan the grid: bit i set while cell i
    // is a hole; the length of the run from an ace in column 1 along each row
    // (those cards are in their final places) and the sum of those lengths.
    unsigned long long holes;
    int settled[BOARD_ROWS + 1];
    int settledCount;
    // In the beams, which score positions: how many cards lie right of the
    // card one lower in their suit.
    int pairCount;
};
int cellsEnabled = 1;

// Tables for the above, made once a search: the column and row of each cell
// (0 for cell 0, a parked card's); the game's IsAce for each card (0 for a
// hole); follows[a][b] when b, a card but not an ace, is one above a in its
// suit; the KeySum of a key holding only that card in that cell.
int columnOf[CELL_COUNT + 1];
int rowOf[CELL_COUNT + 1];
bool isAce[CARD_COUNT + 1];
unsigned char follows[CARD_COUNT + 1][CARD_COUNT + 1];
unsigned long long cellSum[CELL_COUNT + 1][CARD_COUNT + 1];
// The cells of column 1, the only ones an ace goes to.
constexpr unsigned long long COLUMN_ONE = 1ull << 1 | 1ull << 11 | 1ull << 21 | 1ull << 31;
// While the rows are fixed (RowsFixed): the row of column 1 each suit's ace
// may go to, by suit 1 to 4 (one suit a row), 0 in every other search; and
// how many aces may stand in column 1 outside their rows at once.
int aceRow[BOARD_ROWS + 1];
int acesAstray = 0;

int RowOfAce(int ace)
{
    return aceRow[(ace - 1) / BOARD_COLUMNS + 1];
}

int CellAt(int column, int row)
{
    return (row - 1) * BOARD_COLUMNS + column;
}

bool IsKing(int card)
{
    return card % 10 == 0;
}

// The lowest cell whose bit is set in a nonzero mask.
int LowestCell(unsigned long long bits)
{
#if defined(__GNUC__)
    return __builtin_ctzll(bits);
#else
    int cell = 0;
    while (!(bits >> cell & 1))
        cell++;
    return cell;
#endif
}

void FlipKey(PositionKey& k, int cell, int change)
{
    int bit = 6 * (cell - 1);
    k.word[bit >> 6] ^= (unsigned long long)change << (bit & 63);
    if ((bit & 63) > 58)
        k.word[(bit >> 6) + 1] ^= (unsigned long long)change >> (64 - (bit & 63));
}

void FillTables()
{
    for (int cell = 1; cell <= CELL_COUNT; cell++) {
        columnOf[cell] = (cell - 1) % BOARD_COLUMNS + 1;
        rowOf[cell] = (cell - 1) / BOARD_COLUMNS + 1;
    }
    for (int card = 1; card <= CARD_COUNT; card++)
        isAce[card] = IsAce(card) != 0;
    for (int a = 0; a <= CARD_COUNT; a++)
        for (int b = 0; b <= CARD_COUNT; b++)
            follows[a][b] = b != 0 && !isAce[b] && a == b - 1;
    for (int cell = 1; cell <= CELL_COUNT; cell++) {
        for (int card = 0; card <= CARD_COUNT; card++) {
            PositionKey alone = {};
            FlipKey(alone, cell, card);
            cellSum[cell][card] = KeySum(alone);
        }
    }
}

// Takes the card out of a cell: a settled run through it ends before it.
inline void ClearCell(Position& p, int cell)
{
    FlipKey(p.key, cell, p.grid[cell]);
    p.grid[cell] = 0;
    p.holes |= 1ull << cell;
    int r = rowOf[cell], c = columnOf[cell];
    if (c <= p.settled[r]) {
        p.settledCount -= p.settled[r] - (c - 1);
        p.settled[r] = c - 1;
    }
}

// Puts a card into a hole: it may extend the settled run of its row, which
// then takes in the settled cards already right of it.
inline void FillCell(Position& p, int cell, int card)
{
    FlipKey(p.key, cell, card);
    p.grid[cell] = card;
    p.holes &= ~(1ull << cell);
    int r = rowOf[cell], c = columnOf[cell];
    if (c == p.settled[r] + 1 && (c == 1 ? isAce[card] : p.grid[cell - 1] + 1 == card)) {
        int first = cell - (c - 1), n = c;
        while (n < BOARD_COLUMNS && p.grid[first + n] == p.grid[first] + n)
            n++;
        p.settledCount += n - p.settled[r];
        p.settled[r] = n;
    }
}

// The settled runs, from the grid.
void RecountSettled(Position& p)
{
    p.settledCount = 0;
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int first = CellAt(1, r);
        int n = 0;
        if (isAce[p.grid[first]])
            while (n < BOARD_COLUMNS && p.grid[first + n] == p.grid[first] + n)
                n++;
        p.settled[r] = n;
        p.settledCount += n;
    }
}

// The cells of the cards and the holes, from the grid.
void RecountPlaces(Position& p)
{
    std::memset(p.cellOf, 0, sizeof p.cellOf);
    unsigned long long h = 0;
    int parked = 0;
    for (int cell = 1; cell <= CELL_COUNT; cell++) {
        int card = p.grid[cell];
        p.cellOf[card] = (unsigned char)cell;
        h |= (unsigned long long)(card == 0) << cell;
        parked += card == 0;
    }
    p.cellOf[0] = 0;
    p.holes = h;
    p.parkedCount = parked;
}

void RecountPairs(Position& p)
{
    p.pairCount = 0;
    for (int cell = 1; cell <= CELL_COUNT; cell++)
        if (columnOf[cell] > 1)
            p.pairCount += follows[p.grid[cell - 1]][p.grid[cell]];
}

// From the game's board (the position the search started from).
void LoadBoard(Position& p)
{
    std::memset(&p.key, 0, sizeof p.key);
    for (int r = 1; r <= BOARD_ROWS; r++) {
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            int cell = CellAt(c, r);
            p.grid[cell] = board[c][r] == CELL_EMPTY ? 0 : board[c][r];
            FlipKey(p.key, cell, p.grid[cell]);
        }
    }
    RecountPlaces(p);
    RecountSettled(p);
    RecountPairs(p);
}

// Fills count cells (at most 10) from first on with consecutive six-bit
// fields, and the cells of their cards; returns their holes, found all at
// once: a field is 0 when none of its six bits is set.
inline unsigned long long Unpack(Position& p, unsigned long long bits, int first, int count)
{
    bits &= (1ull << 6 * count) - 1;
    unsigned long long any = bits | bits >> 1 | bits >> 2 | bits >> 3 | bits >> 4 | bits >> 5;
    unsigned long long empty = ~any & 0x041041041041041ull & ((1ull << 6 * count) - 1);
    unsigned long long h = 0;
    for (; empty != 0; empty &= empty - 1)
        h |= 1ull << (first + LowestCell(empty) / 6);
    for (int cell = first; cell < first + count; cell++, bits >>= 6) {
        int card = (int)(bits & 63);
        p.grid[cell] = card;
        p.cellOf[card] = (unsigned char)cell;
    }
    return h;
}

// From a key (the store's layout: cells 11 and 22 are split between two
// words), all but the pairs.
void LoadKey(Position& p, const PositionKey& k)
{
    p.key = k;
    std::memset(p.cellOf, 0, sizeof p.cellOf);
    unsigned long long h = Unpack(p, k.word[0], 1, 10) | Unpack(p, k.word[0] >> 60 | k.word[1] << 4, 11, 1) |
                           Unpack(p, k.word[1] >> 2, 12, 10) | Unpack(p, k.word[1] >> 62 | k.word[2] << 2, 22, 1) |
                           Unpack(p, k.word[2] >> 4, 23, 10) | Unpack(p, k.word[3], 33, 8);
    p.cellOf[0] = 0;
    p.holes = h;
    // One parked card for each hole.
    p.parkedCount = 0;
    for (; h != 0; h &= h - 1)
        p.parkedCount++;
    RecountSettled(p);
}

bool SameKey(const PositionKey& a, const PositionKey& b)
{
    return ((a.word[0] ^ b.word[0]) | (a.word[1] ^ b.word[1]) | (a.word[2] ^ b.word[2]) | (a.word[3] ^ b.word[3])) == 0;
}

// The game's rule for a left click: an ace goes to the topmost hole of
// column 1, any other card to the hole right of the card one lower in its
// suit. 0 when there is none.
int Target(Position& p, int card)
{
    if (isAce[card]) {
        unsigned long long top = p.holes & COLUMN_ONE;
        return top ? LowestCell(top) : 0;
    }
    int below = p.cellOf[card - 1];
    if (below == 0 || columnOf[below] == BOARD_COLUMNS || p.grid[below + 1] != 0)
        return 0;
    return below + 1;
}

bool Won(Position& p)
{
    return p.settledCount == CELL_COUNT;
}

// Settled cards count most; a card right of the card one lower in its suit,
// anywhere, counts too. For a beam node's position.
int Score(Position& p)
{
    return 4 * p.settledCount + p.pairCount;
}

// A move: a left click of card (filler 0), a park of card with the left
// click of filler into the place it leaves, or (searchPlain) a park alone.
constexpr int PARK_ALONE = -1;
struct Move {
    signed char card;
    signed char filler;
};

// How to take a move back.
struct Undo {
    Move move;
    int cardFrom;
    int fillerFrom;
};

constexpr int MAX_MOVES = 96;
struct SearchFrame {
    Move moves[MAX_MOVES];
    unsigned long long hash[MAX_MOVES];  // of the position each move leads to
    int count;
    int next;
    bool applied;
    Undo undo;
    // How many positions in a row down the path, to this frame's, were not
    // stored.
    int unstored;
};

// The line found, move by move, and the positions along it.
Move lineMoves[MAX_SEARCH_DEPTH + 1];
int lineDepth = 0;
PositionKey along[MAX_SEARCH_DEPTH + 1];

inline void MoveCard(Position& p, int card, int to)
{
    int from = p.cellOf[card];
    if (from == 0)
        p.parkedCount--;
    else
        ClearCell(p, from);
    if (to == 0)
        p.parkedCount++;
    else
        FillCell(p, to, card);
    p.cellOf[card] = to;
}

bool Apply(Position& p, Move m, Undo* u)
{
    u->move = m;
    u->cardFrom = p.cellOf[m.card];
    if (m.filler == 0) {
        int to = Target(p, m.card);
        if (to == 0)
            return false;
        MoveCard(p, m.card, to);
        return true;
    }
    if (u->cardFrom == 0 || isAce[m.card] || p.parkedCount >= cellsEnabled)
        return false;
    MoveCard(p, m.card, 0);
    if (m.filler == PARK_ALONE)
        return true;
    u->fillerFrom = p.cellOf[m.filler];
    if (Target(p, m.filler) != u->cardFrom) {
        MoveCard(p, m.card, u->cardFrom);
        return false;
    }
    MoveCard(p, m.filler, u->cardFrom);
    return true;
}

void Revert(Position& p, const Undo& u)
{
    if (u.move.filler > 0)
        MoveCard(p, u.move.filler, u.fillerFrom);
    MoveCard(p, u.move.card, u.cardFrom);
}

// The cells a move Generate has listed changes, and what they then hold
// (at most three); every such move can be made (see Generate).
struct Change {
    int cell;
    int card;
};

int ChangesOf(Position& p, Move m, Change change[3])
{
    int n = 0, from = p.cellOf[m.card];
    if (m.filler == 0) {
        if (from != 0)
            change[n++] = Change{ from, 0 };
        change[n++] = Change{ Target(p, m.card), m.card };
    } else if (m.filler == PARK_ALONE) {
        change[n++] = Change{ from, 0 };
    } else {
        change[n++] = Change{ from, m.filler };
        if (p.cellOf[m.filler] != 0)
            change[n++] = Change{ p.cellOf[m.filler], 0 };
    }
    return n;
}

// The key after such a move, without making it.
void KeyAfter(Position& p, Move m, PositionKey* after)
{
    Change change[3];
    int n = ChangesOf(p, m, change);
    *after = p.key;
    for (int i = 0; i < n; i++)
        FlipKey(*after, change[i].cell, p.grid[change[i].cell] ^ change[i].card);
}

// The pairs the changed cells are in, each once: a cell's pair with its
// left neighbour, and with its right one unless that cell changes too.
int PairsAround(Position& p, const Change change[3], int n, unsigned long long changed)
{
    int pairs = 0;
    for (int i = 0; i < n; i++) {
        int cell = change[i].cell;
        if (columnOf[cell] > 1)
            pairs += follows[p.grid[cell - 1]][p.grid[cell]];
        if (columnOf[cell] < BOARD_COLUMNS && !(changed >> (cell + 1) & 1))
            pairs += follows[p.grid[cell]][p.grid[cell + 1]];
    }
    return pairs;
}

// The score after such a move, and the settled cards then, without making
// it: only the pairs the changed cells are in can differ, and a row's
// settled run only where a cell at most one right of it changes. The grid
// holds the changes meanwhile.
int ScoreAfter(Position& p, Move m, int* settledAfter)
{
    Change change[3];
    int before[3];
    int n = ChangesOf(p, m, change);
    unsigned long long changed = 0;
    for (int i = 0; i < n; i++)
        changed |= 1ull << change[i].cell;
    int pairs = p.pairCount - PairsAround(p, change, n, changed);
    for (int i = 0; i < n; i++) {
        before[i] = p.grid[change[i].cell];
        p.grid[change[i].cell] = change[i].card;
    }
    pairs += PairsAround(p, change, n, changed);
    int settledNow = p.settledCount;
    unsigned rowsDone = 0;
    for (int i = 0; i < n; i++) {
        int r = rowOf[change[i].cell];
        if (columnOf[change[i].cell] > p.settled[r] + 1 || (rowsDone >> r & 1))
            continue;
        rowsDone |= 1u << r;
        int first = CellAt(1, r), length = 0;
        if (isAce[p.grid[first]])
            while (length < BOARD_COLUMNS && p.grid[first + length] == p.grid[first] + length)
                length++;
        settledNow += length - p.settled[r];
    }
    for (int i = n - 1; i >= 0; i--)
        p.grid[change[i].cell] = before[i];
    *settledAfter = settledNow;
    return 4 * settledNow + pairs;
}

// KeySum after moving a card from a cell (0: a free cell) to another.
unsigned long long SumAfter(unsigned long long sum, int card, int from, int to)
{
    return sum - cellSum[from][card] + cellSum[to][card];
}

// Adds a move to the frame with the hash of the position it leads to, and
// asks for that position's place in the store now: the search gets to the
// moves one after the other, and the memory is slower than the rest.
void AddMove(SearchFrame* f, int* n, int card, int filler, unsigned long long sum)
{
    f->moves[*n] = Move{ (signed char)card, (signed char)filler };
    f->hash[*n] = SumHash(sum);
    PrefetchPosition(f->hash[*n]);
    ++*n;
}

// A park of the card in the cell with the left click of filler into it.
void AddPark(Position& p, SearchFrame* f, int* n, unsigned long long keySum, int cell, int card, int filler)
{
    unsigned long long sum = SumAfter(SumAfter(keySum, card, cell, 0), filler, p.cellOf[filler], cell);
    AddMove(f, n, card, filler, sum);
}

// Whether the ace may go into this cell of column 1 while the rows are fixed.
bool AceMayGo(const Position& p, int ace, int cell)
{
    if (RowOfAce(ace) == 0 || RowOfAce(ace) == rowOf[cell])
        return true;
    int astray = 0;
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int card = p.grid[CellAt(1, r)];
        astray += card != ace && isAce[card] && RowOfAce(card) != r;
    }
    return astray < acesAstray;
}

// Cards that go into their final places first (rank 0), then cards leaving
// free cells (1), then parks that let a card into its final place (2), then
// the rest (3: left clicks, 4: parks); in the order found within a rank,
// holes and cards taken row by row. Left clicks are found before parks, so
// the moves are the left clicks of ranks 0 and 1, the parks of rank 2, the
// left clicks of rank 3, the parks of rank 4.
//
// Apply makes every move listed: an ace has the topmost hole of column 1,
// the card one above a hole's left neighbour has that hole; a park is listed
// only with a free cell empty, never of an ace, and its filler then has the
// place the park opens (an ace, when no hole of column 1 is above it; else
// the card one above its left neighbour, which is not the parked card).
void Generate(Position& p, SearchFrame* f)
{
    int n = 0;
    unsigned long long keySum = KeySum(p.key);
    f->next = 0;
    f->applied = false;
    f->unstored = 0;

    // Most often, with one free cell: the cell taken and one hole, not in
    // column 1, so at most one move.
    bool parks = p.parkedCount < cellsEnabled;
    if (!parks && p.holes != 0 && (p.holes & (p.holes - 1)) == 0 && (p.holes & COLUMN_ONE) == 0) {
        int hole = LowestCell(p.holes);
        int below = p.grid[hole - 1];
        if (below != 0 && !IsKing(below))
            AddMove(f, &n, below + 1, 0, SumAfter(keySum, below + 1, p.cellOf[below + 1], hole));
        f->count = n;
        return;
    }

    // Left clicks: only a card one above a hole's left neighbour, or an ace
    // for column 1 (listed at the topmost hole there, where it goes), can
    // have a target. Kept apart by rank (0, 1, 3) as found, with the KeySum
    // after each.
    int leftCard[3][8];
    unsigned long long leftSum[3][8];
    int leftCount[3] = {};
    for (unsigned long long h = p.holes; h != 0; h &= h - 1) {
        int hole = LowestCell(h);
        int c = columnOf[hole];
        if (c == 1) {
            if ((p.holes & COLUMN_ONE & ((1ull << hole) - 1)) != 0)
                continue;
            for (int ace = 1; ace <= CARD_COUNT; ace += 10) {
                if (!AceMayGo(p, ace, hole))
                    continue;
                int k = columnOf[p.cellOf[ace]] == 1 ? 2 : 0;
                leftCard[k][leftCount[k]] = ace;
                leftSum[k][leftCount[k]++] = SumAfter(keySum, ace, p.cellOf[ace], hole);
            }
            continue;
        }
        int below = p.grid[hole - 1];
        if (below == 0 || IsKing(below))
            continue;
        int card = below + 1;
        int k = p.settled[rowOf[hole]] >= c - 1 ? 0 : p.cellOf[card] == 0 ? 1 : 2;
        leftCard[k][leftCount[k]] = card;
        leftSum[k][leftCount[k]++] = SumAfter(keySum, card, p.cellOf[card], hole);
    }
    for (int k = 0; k <= 1; k++)
        for (int i = 0; i < leftCount[k]; i++)
            AddMove(f, &n, leftCard[k][i], 0, leftSum[k][i]);

    // Parks, each with the fill of the place it opens. Rank 2: a card in
    // column 1 that an ace from elsewhere may replace, or the card right of a
    // settled run (the one after it never is, and a settled card never is:
    // its place can be filled only by itself).
    if (parks && !searchPlain) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int first = CellAt(1, r);
            int card = p.grid[first];
            if (card != 0 && !isAce[card]) {
                // The place becomes the topmost hole of column 1 unless one
                // is above it; then no ace could fill it.
                if ((p.holes & COLUMN_ONE & ((1ull << first) - 1)) == 0)
                    for (int ace = 1; ace <= CARD_COUNT; ace += 10)
                        if (columnOf[p.cellOf[ace]] != 1 && AceMayGo(p, ace, first))
                            AddPark(p, f, &n, keySum, first, card, ace);
            } else if (p.settled[r] >= 1 && p.settled[r] < BOARD_COLUMNS) {
                int cell = first + p.settled[r];
                card = p.grid[cell];
                if (card != 0 && !isAce[card])
                    AddPark(p, f, &n, keySum, cell, card, p.grid[cell - 1] + 1);
            }
        }
    }

    for (int i = 0; i < leftCount[2]; i++)
        AddMove(f, &n, leftCard[2][i], 0, leftSum[2][i]);

    if (parks) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int first = CellAt(1, r);
            if (searchPlain) {
                for (int cell = first; cell < first + BOARD_COLUMNS; cell++)
                    if (p.grid[cell] != 0 && !isAce[p.grid[cell]])
                        AddMove(f, &n, p.grid[cell], PARK_ALONE, SumAfter(keySum, p.grid[cell], cell, 0));
                continue;
            }
            int card = p.grid[first];
            if (card != 0 && !isAce[card] && (p.holes & COLUMN_ONE & ((1ull << first) - 1)) == 0)
                for (int ace = 1; ace <= CARD_COUNT; ace += 10)
                    if (columnOf[p.cellOf[ace]] == 1 && AceMayGo(p, ace, first))
                        AddPark(p, f, &n, keySum, first, card, ace);
            // Right of the settled run and the card after it.
            for (int cell = first + p.settled[r] + 1; cell < first + BOARD_COLUMNS; cell++) {
                card = p.grid[cell];
                int below = p.grid[cell - 1];
                if (card == 0 || isAce[card] || below == 0 || IsKing(below) || below + 1 == card)
                    continue;
                AddPark(p, f, &n, keySum, cell, card, below + 1);
            }
        }
    }
    f->count = n;
}

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

double searchStarted = 0;

// The threads of a search.
//
// A depth-first search of several threads shares one store: a thread goes
// into a position only when it is the one that added it, and so tries every
// move from it; a position another thread added is that thread's to search.
// When every thread has run out of work, every position added has had all
// its moves tried, so "lost" means what it means for one thread. A thread
// out of work waits for another to hand it the untried moves of the
// shallowest frame of its path, with the moves that lead there from the
// start; the other thread goes on with what it kept. The first thread
// searches alone until the search has lasted long enough to be worth more:
// a short search costs no more than before.
// Each thread's frames take 20 MB: fewer in the 32-bit address space.
constexpr int MAX_THREADS = sizeof(void*) == 4 ? 8 : 16;
constexpr long long ALONE_UNTIL = 16384;
// How a stage ended, besides the STOP_ reasons.
constexpr LONG STAGE_WON = 100;
constexpr LONG STAGE_EXHAUSTED = 101;
// A thread's state.
constexpr LONG THREAD_WORKING = 0;
constexpr LONG THREAD_HUNGRY = 1;
constexpr LONG THREAD_HANDED = 2;

struct Searcher {
    Position position;
    // The path: frames 1 .. MAX_SEARCH_DEPTH, taken from the system once.
    SearchFrame* frames;
    // The frame this thread's work starts from; those above it only hold
    // the moves that lead there.
    int base;
    // Room in the store, and positions found since they were last counted.
    long long room;
    long long fresh;
    bool cut;
    long long sinceHandOver;
    volatile LONG state;
    HANDLE wake;
    HANDLE thread;
    // Work handed to this thread: the moves from the start to frame
    // handedDepth, and the moves to try there.
    int handedDepth;
    Move handedPath[MAX_SEARCH_DEPTH + 1];
    SearchFrame handedFrame;
    // In a best-first stage: the nodes whose moves are made in position,
    // the start first (frame k's undo takes move k back), and the nodes of
    // a path being made again.
    int madePath[MAX_SEARCH_DEPTH + 1];
    int madeDepth;
    int toMake[MAX_SEARCH_DEPTH + 1];
    // In a best-first stage, its next node and the end of those it took,
    // and its dives.
    long long nodeNext;
    long long nodeEnd;
    unsigned passes;
    // In a beam stage: the candidates for the next level this thread has
    // kept, and the last level it is done with.
    int beamCount;
    volatile LONG beamDone;
};
Searcher searchers[MAX_THREADS + 1];
// The threads a search may use, those of the stage running (the beams use
// one), and those started.
int threadCount = 1;
int stageThreads = 1;
volatile LONG threadsRunning = 1;
// Threads waiting for work; nonzero makes the others look for some to hand.
volatile LONG hungryCount = 0;
// Nonzero once the stage has ended: a STOP_ reason, STAGE_WON or
// STAGE_EXHAUSTED. The first to end it says why.
volatile LONG stageEnded = 0;
// Positions of the stage counted so far, and the most it may reach.
volatile LONG64 stageReached = 0;
long long stageBudget = 0;
Position stageStart;
CRITICAL_SECTION workLock;

bool EndStage(LONG why)
{
    if (InterlockedCompareExchange(&stageEnded, why, 0) != 0)
        return false;
    for (int i = 1; i <= threadsRunning; i++)
        if (searchers[i].wake)
            SetEvent(searchers[i].wake);
    return true;
}

void CountFresh(Searcher& s)
{
    if (s.fresh != 0) {
        InterlockedExchangeAdd64(&stageReached, s.fresh);
        InterlockedExchangeAdd64((volatile LONG64*)&positionsSearched, s.fresh);
        s.fresh = 0;
    }
}

bool TakeFrames(Searcher& s)
{
    if (!s.frames)
        s.frames = (SearchFrame*)VirtualAlloc(nullptr, sizeof(SearchFrame) * (MAX_SEARCH_DEPTH + 1),
                                              MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!s.wake)
        s.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return s.frames && s.wake;
}

void Work(Searcher& s, bool hasWork);

void BestWork(Searcher& s);
void BeamWork(Searcher& s);
// The kind of stage running: its threads start in its own loop.
bool bestStage = false;
bool beamStage = false;

DWORD WINAPI ThreadMain(void* searcher)
{
    if (bestStage)
        BestWork(*(Searcher*)searcher);
    else if (beamStage)
        BeamWork(*(Searcher*)searcher);
    else
        Work(*(Searcher*)searcher, false);
    return 0;
}

// The other threads, waiting for work from the first.
void StartThreads()
{
    EnterCriticalSection(&workLock);
    for (int i = threadsRunning + 1; i <= stageThreads; i++) {
        Searcher& s = searchers[i];
        if (!TakeFrames(s))
            break;
        s.state = THREAD_HUNGRY;
        s.cut = false;
        s.fresh = 0;
        s.room = 0;
        InterlockedIncrement(&hungryCount);
        InterlockedIncrement(&threadsRunning);
        s.thread = CreateThread(nullptr, 0, ThreadMain, &s, 0, nullptr);
        if (!s.thread) {
            InterlockedDecrement(&hungryCount);
            InterlockedDecrement(&threadsRunning);
            break;
        }
    }
    stageThreads = threadsRunning;
    LeaveCriticalSection(&workLock);
}

void JoinThreads()
{
    for (int i = 2; i <= threadsRunning; i++) {
        WaitForSingleObject(searchers[i].thread, INFINITE);
        CloseHandle(searchers[i].thread);
        searchers[i].thread = nullptr;
    }
    threadsRunning = 1;
}

// The time limit, and the caller's hook, asked in the first thread only:
// the thread it called.
void CheckStops(Searcher& s)
{
    if (searchTimeLimit > 0 && Seconds() - searchStarted > searchTimeLimit)
        EndStage(STOP_TIME);
    if (&s == &searchers[1] && searchInterrupted && searchInterrupted())
        EndStage(STOP_INTERRUPTED);
}

// Counts a new position against the budget; true when the stage has ended.
// Every few thousand: the count made known to the other threads, the time
// and the caller asked, the other threads started.
bool CountPosition(Searcher& s)
{
    if (++s.fresh + stageReached >= stageBudget) {
        CountFresh(s);
        EndStage(STOP_BUDGET);
        return true;
    }
    if (s.fresh == 4096) {
        CountFresh(s);
        StoreCheck();
        CheckStops(s);
        if (&s == &searchers[1] && threadsRunning < stageThreads && stageReached >= ALONE_UNTIL)
            StartThreads();
    }
    return stageEnded != 0;
}

// A stop that ends the whole search, not only one stage of it.
bool StopsAll(int stop)
{
    return stop == STOP_TIME || stop == STOP_INTERRUPTED;
}

// The next stage of a search runs while it is undecided, nothing has
// stopped it for good and budget is left.
bool GoesOn(int result, long long budget)
{
    return result == SOLVE_UNKNOWN && !StopsAll(searchStop) && positionsSearched < budget;
}

void NoteMemory(unsigned long long other)
{
    if (storePeak + other > searchMemory)
        searchMemory = storePeak + other;
}

// The nodes of the beams and the best-first searches lie in one region of
// address space, kept from stage to stage and from search to search, so
// that a stage writes into memory one before it wrote rather than into
// memory the system has to give anew (as the store does). As a search ends
// it gives back what it wrote beyond a thirty-second of the limit, at most
// 64 MB, about what the nodes of a search of a few seconds take.
constexpr unsigned long long NODES_KEPT_MOST = 64ull << 20;
unsigned char* nodeRegion = nullptr;
unsigned long long nodeRegionBytes = 0;
unsigned long long nodeRegionWritten = 0;

// A region of at least room bytes, the one kept if it is large enough;
// null if the address space has none.
unsigned char* NodeRegion(unsigned long long room)
{
    if (nodeRegion && nodeRegionBytes >= room)
        return nodeRegion;
    if (nodeRegion)
        VirtualFree(nodeRegion, 0, MEM_RELEASE);
    nodeRegion = (unsigned char*)VirtualAlloc(nullptr, (SIZE_T)room, MEM_RESERVE, PAGE_READWRITE);
    nodeRegionBytes = nodeRegion ? room : 0;
    nodeRegionWritten = 0;
    return nodeRegion;
}

// A stage is done with the region, having committed this much of it.
void LeaveNodeRegion(unsigned long long committed)
{
    nodeRegionWritten = std::max(nodeRegionWritten, committed);
}

// The nodes take a quarter of the memory, about what they need beside a
// store holding as many positions.
unsigned long long NodeRoom()
{
    unsigned long long room = storeLimit / 4;
    return (SIZE_T)room == room ? room : (SIZE_T)-1 / 2;
}

unsigned long long NodesKept()
{
    return std::min(NODES_KEPT_MOST, storeLimit / 32) & ~4095ull;
}

void ShrinkNodeRegion()
{
    unsigned long long kept = NodesKept();
    if (nodeRegion && nodeRegionWritten > kept) {
        VirtualFree(nodeRegion + kept, (SIZE_T)(nodeRegionWritten - kept), MEM_DECOMMIT);
        nodeRegionWritten = kept;
    }
}

// Starts a stage of the search from the start position, which counts as
// reached, for this many threads.
void StartStage(int threads, long long budget)
{
    Position& p = searchers[1].position;
    LoadBoard(p);
    stageStart = p;
    stageThreads = threads;
    ClearStore(threads);
    StorePosition(p.key);
    positionsSearched++;
    stageReached = 1;
    stageBudget = budget;
    stageEnded = 0;
    hungryCount = 0;
    threadsRunning = 1;
    for (int i = 1; i <= MAX_THREADS; i++)
        searchers[i].cut = false;
    searchers[1].fresh = 0;
    searchers[1].room = 0;
    searchers[1].state = THREAD_WORKING;
    if (stageReached >= budget)
        EndStage(STOP_BUDGET);
}

// Once the first thread is done with a stage: the others joined, the
// answer, and searchStop. Every position tried is "lost" unless a path was
// cut short.
int StageAnswer()
{
    JoinThreads();
    bool cut = false;
    for (int i = 1; i <= MAX_THREADS; i++)
        cut = cut || searchers[i].cut;
    LONG why = stageEnded;
    if (why == STAGE_WON) {
        searchStop = STOP_NONE;
        return SOLVE_WON;
    }
    searchStop = why != STAGE_EXHAUSTED ? why : cut ? STOP_DEPTH : STOP_NONE;
    return searchStop == STOP_NONE ? SOLVE_LOST : SOLVE_UNKNOWN;
}

// Hands the untried moves of the shallowest frame of this thread's path
// with untried moves to a thread waiting for work, if there are both.
void HandOverWork(Searcher& s, int d)
{
    int k = s.base;
    while (k <= d && s.frames[k].next >= s.frames[k].count)
        k++;
    if (k > d)
        return;
    EnterCriticalSection(&workLock);
    Searcher* to = nullptr;
    for (int i = 1; i <= threadsRunning && !to; i++)
        if (searchers[i].state == THREAD_HUNGRY)
            to = &searchers[i];
    if (to) {
        SearchFrame& f = s.frames[k];
        to->handedDepth = k;
        for (int j = 1; j < k; j++)
            to->handedPath[j] = s.frames[j].undo.move;
        int n = 0;
        for (int i = f.next; i < f.count; i++, n++) {
            to->handedFrame.moves[n] = f.moves[i];
            to->handedFrame.hash[n] = f.hash[i];
        }
        to->handedFrame.count = n;
        f.count = f.next;
        InterlockedDecrement(&hungryCount);
        InterlockedExchange(&to->state, THREAD_HANDED);
        SetEvent(to->wake);
    }
    LeaveCriticalSection(&workLock);
}

// Waits for work from another thread; false when the stage has ended,
// which it does when no thread has any left.
bool WaitForWork(Searcher& s)
{
    EnterCriticalSection(&workLock);
    if (s.state == THREAD_WORKING) {
        s.state = THREAD_HUNGRY;
        InterlockedIncrement(&hungryCount);
    }
    if (hungryCount == threadsRunning)
        EndStage(STAGE_EXHAUSTED);
    LeaveCriticalSection(&workLock);
    // The first thread keeps asking the caller while it waits, so that the
    // caller still sees progress and can stop the search.
    bool first = &s == &searchers[1];
    while (s.state == THREAD_HUNGRY && !stageEnded)
        if (WaitForSingleObject(s.wake, first ? 50 : INFINITE) == WAIT_TIMEOUT)
            CheckStops(s);
    if (s.state != THREAD_HANDED)
        return false;
    // From the start along the moves handed, to the frame handed.
    Position& p = s.position;
    p = stageStart;
    int k = s.handedDepth;
    for (int j = 1; j < k; j++) {
        s.frames[j].applied = false;
        Apply(p, s.handedPath[j], &s.frames[j].undo);
    }
    SearchFrame& f = s.frames[k];
    std::memcpy(f.moves, s.handedFrame.moves, sizeof f.moves);
    std::memcpy(f.hash, s.handedFrame.hash, sizeof f.hash);
    f.count = s.handedFrame.count;
    f.next = 0;
    f.applied = false;
    f.unstored = 0;
    s.base = k;
    s.state = THREAD_WORKING;
    return true;
}

// The line found, from a thread's path.
void KeepLine(Searcher& s, int d)
{
    for (lineDepth = 0; lineDepth < d; lineDepth++)
        lineMoves[lineDepth + 1] = s.frames[lineDepth + 1].undo.move;
}

// Depth first from the thread's base frame, best moves first, every
// position entered once, until its work is done or the stage ends. A path
// that would go deeper than the frames allow is cut, which makes the answer
// "unknown" rather than "lost".
//
// What the store keeps. The store is only there so that a position is not
// tried twice; a position with at most one move costs less to try again
// than to look up among millions. So, with one free cell, such a position is
// not stored: each time it is reached it is tried again, and its one move
// leads on to where the first time led. Nothing is cut: every position
// reached is still tried, and the search gives the same answer and the same
// line, but a position may count more than once. A path of such positions
// that went round in a circle would never end, so at most UNSTORED_RUN of
// them in a row go unstored; the next is stored, and the circle is seen the
// second time round.
constexpr int UNSTORED_RUN = 64;

void SearchFrom(Searcher& s)
{
    Position& p = s.position;
    SearchFrame* frames = s.frames;
    int d = s.base;
    while (d >= s.base) {
        if (hungryCount | stageEnded) {
            if (stageEnded)
                return;
            if (++s.sinceHandOver >= 64) {
                s.sinceHandOver = 0;
                HandOverWork(s, d);
            }
        }
        SearchFrame* f = &frames[d];
        if (f->applied) {
            Revert(p, f->undo);
            f->applied = false;
        }
        if (f->next >= f->count) {
            d--;
            continue;
        }
        Move m = f->moves[f->next];
        unsigned long long hash = f->hash[f->next++];
        // With one free cell, taken after the move, the position has a move
        // or two, found at once, and has seldom been seen before, so its
        // moves are found first. Nine in ten such positions have one move
        // or none (one hole, not in column 1: only the card one above the
        // hole's left neighbour can go there), and those are not stored
        // (see above). Otherwise (with more free cells most positions reached
        // have been seen) the move is made only when its position is new.
        int parkedAfter = p.parkedCount + (m.filler != 0) - (m.filler == 0 && p.cellOf[m.card] == 0);
        bool early = d < MAX_SEARCH_DEPTH && cellsEnabled == 1 && parkedAfter == 1;
        int stored;
        if (early) {
            if (!Apply(p, m, &f->undo))
                continue;
            f->applied = true;
            SearchFrame* next = &frames[d + 1];
            Generate(p, next);
            if (next->count <= 1 && f->unstored < UNSTORED_RUN) {
                next->unstored = f->unstored + 1;
                stored = STORE_NEW;
            } else {
                stored = StorePosition(p.key, hash, &s.room);
            }
        } else {
            PositionKey after;
            KeyAfter(p, m, &after);
            stored = StorePosition(after, hash, &s.room);
            if (stored == STORE_NEW) {
                Apply(p, m, &f->undo);
                f->applied = true;
            }
        }
        if (stored == STORE_SEEN)
            continue;
        if (stored == STORE_FULL) {
            EndStage(STOP_MEMORY);
            return;
        }
        if (Won(p)) {
            if (EndStage(STAGE_WON))
                KeepLine(s, d);
            return;
        }
        if (CountPosition(s))
            return;
        if (d == MAX_SEARCH_DEPTH) {
            s.cut = true;
            continue;
        }
        if (!early)
            Generate(p, &frames[d + 1]);
        d++;
    }
}

// A thread's part of a stage: its own work, then what others hand it.
void Work(Searcher& s, bool hasWork)
{
    for (;;) {
        if (hasWork) {
            HoldStore();
            SearchFrom(s);
            CountFresh(s);
            ReleaseStore();
        }
        if (stageEnded || !WaitForWork(s))
            return;
        hasWork = true;
    }
}

// Depth first over every position reachable from the start, on every
// thread; on a win the line is left in lineMoves.
int DepthFirst(long long budget)
{
    Searcher& s = searchers[1];
    StartStage(threadCount, budget);
    s.base = 1;
    s.sinceHandOver = 0;
    Generate(s.position, &s.frames[1]);
    if (!stageEnded)
        Work(s, true);
    int result = StageAnswer();
    NoteMemory(0);
    return result;
}

// A position the beam keeps, the one it came from and the move between.
struct BeamNode {
    PositionKey position;
    int parent;
    Move move;
    short score;
    unsigned tie;
};

// The most levels (moves) a beam goes down. The beams' wins come within
// about 100 moves (on 2,600 deals with two free cells, at most 99); a beam
// still going beyond that wanders among positions it never wins from, and
// the stage after it is the better use of the time.
constexpr int BEAM_LEVELS = 120;

bool Better(const BeamNode& a, const BeamNode& b)
{
    return a.score != b.score ? a.score > b.score : a.tie < b.tie;
}

// A node's position; its score holds its pairs beside its settled cards.
void LoadNode(Position& p, const BeamNode& node)
{
    LoadKey(p, node.position);
    p.pairCount = node.score - 4 * p.settledCount;
}

// Keeps the best width of count candidates.
int Keep(BeamNode* candidates, int count, int width)
{
    if (count <= width)
        return count;
    std::nth_element(candidates, candidates + width, candidates + count, Better);
    return width;
}

// The position a move leads to, found without making the move, as the beams
// and the best-first search try them: CHILD_OLD when the store has it (or
// is full, which ends the stage); else it is stored, its key and score are
// given, and CHILD_WON says it is won.
constexpr int CHILD_OLD = 0;
constexpr int CHILD_NEW = 1;
constexpr int CHILD_WON = 2;

inline int TryChild(Searcher& s, Position& p, const SearchFrame& f, int i, PositionKey* after, int* score)
{
    KeyAfter(p, f.moves[i], after);
    int stored = StorePosition(*after, f.hash[i], &s.room);
    if (stored != STORE_NEW) {
        if (stored == STORE_FULL)
            EndStage(STOP_MEMORY);
        return CHILD_OLD;
    }
    int settledAfter;
    *score = ScoreAfter(p, f.moves[i], &settledAfter);
    return settledAfter == CELL_COUNT ? CHILD_WON : CHILD_NEW;
}

// The beam's levels, one after another, and each thread's candidates for
// the next (thread i's from (i - 1) * beamCandidateRoom on). The nodes of
// the level being tried are taken BEAM_CHUNK at a time by every thread;
// the first merges the candidates once all are done with the level. The
// level kept is the best width of all the new positions whichever thread
// found them, so the beam's levels, and its answer, do not depend on the
// number of threads; only which parent a position is found from may.
constexpr int BEAM_CHUNK = 32;
BeamNode* beamNodes = nullptr;
BeamNode* beamCandidates = nullptr;
int beamWidth = 0;
int beamCandidateRoom = 0;
// The level being tried (from 1), its next node not taken and its end.
volatile LONG beamLevel = 0;
volatile LONG beamNext = 0;
LONG beamEnd = 0;
// The node a winning move was found from, and the move.
int beamWinner = -1;
Move beamWinningMove = {};

// Tries every move of the level's nodes this thread takes, keeping the best
// beamWidth of the new positions it finds as its candidates.
void BeamLevel(Searcher& s)
{
    Position& p = s.position;
    BeamNode* candidates = beamCandidates + (long long)(&s - &searchers[1]) * beamCandidateRoom;
    // The moves of the next node are listed before the node's own are tried:
    // the store's places for its positions are then on their way while the
    // node's are looked up. Each node's position is kept aside meanwhile.
    SearchFrame frame[2];
    Position saved[2];
    s.beamCount = 0;
    while (!stageEnded) {
        LONG begin = InterlockedExchangeAdd(&beamNext, BEAM_CHUNK);
        if (begin >= beamEnd)
            break;
        LONG end = std::min(begin + BEAM_CHUNK, beamEnd);
        LoadNode(p, beamNodes[begin]);
        Generate(p, &frame[begin & 1]);
        saved[begin & 1] = p;
        for (int n = begin; n < end && !stageEnded; n++) {
            SearchFrame& f = frame[n & 1];
            if (n + 1 < end) {
                LoadNode(p, beamNodes[n + 1]);
                Generate(p, &frame[(n + 1) & 1]);
                saved[(n + 1) & 1] = p;
            }
            p = saved[n & 1];
            // The moves are never made: the position after each, its score
            // and whether it is won come from the cells it changes.
            for (int i = 0; i < f.count && !stageEnded; i++) {
                PositionKey after;
                int score, child = TryChild(s, p, f, i, &after, &score);
                if (child == CHILD_OLD)
                    continue;
                if (child == CHILD_WON) {
                    if (EndStage(STAGE_WON)) {
                        beamWinner = n;
                        beamWinningMove = f.moves[i];
                    }
                    break;
                }
                unsigned long long mix = (after.word[0] ^ after.word[1] * 0x9E3779B97F4A7C15ull ^ after.word[2]) *
                                         0xC2B2AE3D27D4EB4Full;
                candidates[s.beamCount++] = BeamNode{ after, n, f.moves[i], (short)score, (unsigned)(mix >> 32) };
                if (s.beamCount == beamCandidateRoom)
                    s.beamCount = Keep(candidates, s.beamCount, beamWidth);
                if (CountPosition(s))
                    break;
            }
        }
    }
    s.beamCount = Keep(candidates, s.beamCount, beamWidth);
}

// A thread's part of a beam stage: each level as it comes.
void BeamWork(Searcher& s)
{
    HoldStore();
    while (!stageEnded) {
        LONG level = beamLevel;
        if (level != s.beamDone) {
            BeamLevel(s);
            InterlockedExchange(&s.beamDone, level);
            continue;
        }
        ReleaseStore();
        WaitForSingleObject(s.wake, INFINITE);
        HoldStore();
    }
    CountFresh(s);
    InterlockedExchange(&s.beamDone, beamLevel);
    ReleaseStore();
}

// Beam search: from each level of at most width positions, every move; the
// best width of the new positions make the next level. It finds wins, never
// losses: a beam that runs dry has dropped positions it did not try.
int BeamSearch(int width, long long budget)
{
    int threads = threadCount;
    int candidateRoom = 4 * width;
    unsigned long long candidateBytes = (unsigned long long)candidateRoom * threads * sizeof(BeamNode);
    unsigned long long wanted = (unsigned long long)width * BEAM_LEVELS * sizeof(BeamNode) + candidateBytes;
    unsigned long long room = std::min(wanted, storeLimit / 4);
    long long nodeRoom = (long long)((room - std::min(room, candidateBytes)) / sizeof(BeamNode));
    unsigned char* arena = nullptr;
    if (nodeRoom > width && (SIZE_T)room == room)
        arena = NodeRegion(room);
    if (!arena || !VirtualAlloc(arena, (SIZE_T)candidateBytes, MEM_COMMIT, PAGE_READWRITE)) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }
    beamCandidates = (BeamNode*)arena;
    beamNodes = beamCandidates + (long long)candidateRoom * threads;
    beamWidth = width;
    beamCandidateRoom = candidateRoom;
    unsigned long long fullLimit = storeLimit;
    storeLimit -= room;

    Searcher& s = searchers[1];
    Position& p = s.position;
    StartStage(threads, budget);
    int result = SOLVE_UNKNOWN, stop = STOP_NONE;
    VirtualAlloc(beamNodes, sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
    beamNodes[0] = BeamNode{ p.key, -1, Move{}, (short)Score(p), 0 };
    LONG levelBegin = 0, levelEnd = 1;
    unsigned long long committed = candidateBytes + sizeof(BeamNode);
    beamWinner = -1;
    beamLevel = 0;
    for (int i = 1; i <= MAX_THREADS; i++)
        searchers[i].beamDone = 0;
    beamStage = true;
    HoldStore();
    while (levelBegin < levelEnd && !stageEnded) {
        beamNext = levelBegin;
        beamEnd = levelEnd;
        LONG level = InterlockedIncrement(&beamLevel);
        for (int i = 2; i <= threadsRunning; i++)
            SetEvent(searchers[i].wake);
        BeamLevel(s);
        // The others' candidates, once they are done with the level.
        int count = s.beamCount;
        for (int i = 2; i <= threadsRunning; i++) {
            Searcher& t = searchers[i];
            while (t.beamDone != level) {
                ReleaseStore();
                Sleep(0);
                HoldStore();
            }
            BeamNode* theirs = beamCandidates + (long long)(i - 1) * candidateRoom;
            for (int j = 0; j < t.beamCount; j++) {
                beamCandidates[count++] = theirs[j];
                if (count == candidateRoom)
                    count = Keep(beamCandidates, count, width);
            }
        }
        count = Keep(beamCandidates, count, width);
        if (stageEnded)
            break;
        if (levelEnd + count > nodeRoom || level >= BEAM_LEVELS) {
            stop = count > 0 ? STOP_DEPTH : STOP_NONE;
            break;
        }
        VirtualAlloc(beamNodes + levelEnd, (SIZE_T)count * sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
        committed += (unsigned long long)count * sizeof(BeamNode);
        std::copy(beamCandidates, beamCandidates + count, beamNodes + levelEnd);
        levelBegin = levelEnd;
        levelEnd += count;
    }
    ReleaseStore();
    LONG why = stageEnded;
    EndStage(STAGE_EXHAUSTED);
    JoinThreads();
    beamStage = false;
    if (why == STAGE_WON) {
        int d = 0;
        for (int n = beamWinner; n > 0; n = beamNodes[n].parent)
            d++;
        lineDepth = d + 1;
        lineMoves[lineDepth] = beamWinningMove;
        for (int n = beamWinner; n > 0; n = beamNodes[n].parent)
            lineMoves[d--] = beamNodes[n].move;
        result = SOLVE_WON;
    } else if (why != 0) {
        stop = why;
    }
    CountFresh(s);
    NoteMemory(committed);
    LeaveNodeRegion(committed);
    storeLimit = fullLimit;
    beamNodes = beamCandidates = nullptr;
    searchStop = result == SOLVE_WON ? STOP_NONE : stop != STOP_NONE ? stop : STOP_DEPTH;
    return result;
}

// Best first: the position of the highest value is tried next, its value the
// beam's score (cards in order) less how many moves led there, so that a
// search that climbs into a region where it cannot go on turns back to
// shallower positions instead of sinking deeper. It keeps every position it
// reaches until it has tried its moves, so, unlike a beam, it drops nothing:
// run to the end it has tried every position, and "lost" is proved. A node
// holds only the move to it from the node it came from; a node's position is
// made again by going back to where its path meets the one last made and
// playing forward from there, mostly a few moves.
//
// Threads. Each thread keeps the nodes it finds apart, under a lock of its
// own, and takes the best of its own: so it mostly goes on near the position
// it made last, and seldom waits for another. A thread with none left, or
// whose best is well below another's, takes that one's best. The store is
// shared, so each position waits with one thread only, and the search ends
// when no node waits and no thread is trying one: every position was tried.
struct BestNode {
    int parent;
    int next;  // the node tried after it among those of its value
    Move move;
    unsigned short depth;
};
// Values 0 .. BEST_VALUES - 1: a position more moves deep than about its
// score and BEST_DEPTH_MARGIN has wandered far from any short line, and
// waits with the lowest value, last in first out, until nothing better is
// left (it is kept, never dropped).
constexpr int BEST_VALUES = 4096;
constexpr int BEST_DEPTH_MARGIN = 2000;
int bestScoreWeight = 1;
int bestDepthWeight = 1;
// A thread takes another's best node when that is this much better, looking
// once every BEST_LOOK_AROUND dives.
constexpr int BEST_STEAL_MARGIN = 4;
constexpr int BEST_LOOK_AROUND = 16;
// Each thread's newest node waiting of each value, under its lock.
int bestFirst[MAX_THREADS + 1][BEST_VALUES];
// What the other threads read of a thread, a cache line each: its best value
// waiting (under its lock); for the end of the search, the nodes it added
// (counted before they wait) and took (counted once taken), and whether it
// may be trying a node.
struct alignas(64) BestShare {
    volatile int top;
    volatile int busy;
    volatile long long added;
    volatile long long taken;
};
BestShare bestShare[MAX_THREADS + 1];
struct alignas(64) BestLock {
    CRITICAL_SECTION lock;
};
BestLock bestLocks[MAX_THREADS + 1];
// The nodes: how many there are and room for, under nodeLock.
BestNode* bestNodes = nullptr;
long long bestCount = 0;
long long bestCommitted = 0;
long long bestRoom = 0;
CRITICAL_SECTION nodeLock;
constexpr long long NODE_CHUNK = 1 << 20;

int BestValue(int score, int depth)
{
    int value = bestScoreWeight * score - bestDepthWeight * depth + BEST_DEPTH_MARGIN;
    return std::max(0, std::min(value, BEST_VALUES - 1));
}

void MakeNode(Searcher& s, int node)
{
    Position& p = s.position;
    int depth = bestNodes[node].depth, n = node, count = 0;
    for (; depth > s.madeDepth; depth--) {
        s.toMake[count++] = n;
        n = bestNodes[n].parent;
    }
    while (s.madeDepth > depth)
        Revert(p, s.frames[s.madeDepth--].undo);
    while (s.madePath[s.madeDepth] != n) {
        s.toMake[count++] = n;
        n = bestNodes[n].parent;
        Revert(p, s.frames[s.madeDepth--].undo);
    }
    while (count > 0) {
        int m = s.toMake[--count];
        s.madeDepth++;
        Apply(p, bestNodes[m].move, &s.frames[s.madeDepth].undo);
        s.madePath[s.madeDepth] = m;
    }
    RecountPairs(p);
}

// A new position waiting to be tried, found from a node.
struct BestChild {
    int parent;
    Move move;
    int value;
};
// A thread goes on from a node to its best child itself, without passing it
// through the nodes waiting, while that child is at least as good as any
// node of its own waiting (the one it would take next anyway), for at most
// BEST_DIVE nodes; the other children wait with the thread meanwhile, and
// it takes its lock once a dive.
constexpr int BEST_DIVE = 8;
// Nodes a thread takes for itself at a time.
constexpr int OWN_NODES = 4096;

// Room for a thread's next OWN_NODES nodes; false when memory has run out.
bool TakeNodes(Searcher& s)
{
    EnterCriticalSection(&nodeLock);
    bool taken = true;
    while (taken && bestCount + OWN_NODES > bestCommitted) {
        long long more = std::min(NODE_CHUNK, bestRoom - bestCommitted);
        if (more <= 0 || !VirtualAlloc(bestNodes + bestCommitted, (SIZE_T)(more * sizeof(BestNode)), MEM_COMMIT,
                                       PAGE_READWRITE))
            taken = false;
        else
            bestCommitted += more;
    }
    if (taken) {
        s.nodeNext = bestCount;
        s.nodeEnd = bestCount += OWN_NODES;
    }
    LeaveCriticalSection(&nodeLock);
    if (!taken)
        EndStage(STOP_MEMORY);
    return taken;
}

// A new node of this thread's; -1 when memory has run out.
int NewNode(Searcher& s)
{
    if (s.nodeNext == s.nodeEnd && !TakeNodes(s))
        return -1;
    return (int)s.nodeNext++;
}

// The best value waiting among a thread's nodes, under its lock.
int TopOf(int t)
{
    int top = bestShare[t].top;
    if (top >= 0 && bestFirst[t][top] < 0) {
        while (top >= 0 && bestFirst[t][top] < 0)
            top--;
        bestShare[t].top = top;
    }
    return top;
}

// The best node waiting of thread t, or -1; taken by thread me.
int TakeBest(int t, int me)
{
    EnterCriticalSection(&bestLocks[t].lock);
    int node = -1;
    if (TopOf(t) >= 0) {
        // The newest node of the best value: it is near the one made last.
        node = bestFirst[t][bestShare[t].top];
        bestFirst[t][bestShare[t].top] = bestNodes[node].next;
        TopOf(t);
    }
    LeaveCriticalSection(&bestLocks[t].lock);
    if (node >= 0)
        bestShare[me].taken = bestShare[me].taken + 1;
    return node;
}

// None waiting and none busy, seen so that no node was added meanwhile:
// the nodes added are counted before they wait, taken ones after they were
// taken, and a thread is busy before it takes one.
bool NoneLeft()
{
    long long added = 0, taken = 0, again = 0;
    for (int t = 1; t <= stageThreads; t++)
        added += bestShare[t].added;
    for (int t = 1; t <= stageThreads; t++)
        taken += bestShare[t].taken;
    for (int t = 1; t <= stageThreads; t++)
        if (bestShare[t].busy)
            return false;
    for (int t = 1; t <= stageThreads; t++)
        again += bestShare[t].added;
    return taken == added && again == added;
}

// Adds the new positions a thread found to its own, and takes the node to
// try next (-1 if none is waiting); *waiting is then the best value the
// thread still has waiting. The thread is busy meanwhile.
int PassNodes(Searcher& s, const BestChild* children, int n, int* waiting)
{
    int me = (int)(&s - searchers);
    BestShare& mine = bestShare[me];
    mine.added = mine.added + n;
    EnterCriticalSection(&bestLocks[me].lock);
    int top = mine.top;
    for (int i = 0; i < n; i++) {
        int at = NewNode(s);
        if (at < 0)
            break;
        const BestChild& child = children[i];
        bestNodes[at] = BestNode{ child.parent, bestFirst[me][child.value], child.move,
                                  (unsigned short)(bestNodes[child.parent].depth + 1) };
        bestFirst[me][child.value] = at;
        top = std::max(top, child.value);
    }
    if (top != mine.top)
        mine.top = top;
    int own = TopOf(me);
    LeaveCriticalSection(&bestLocks[me].lock);
    if (stageEnded)
        return -1;
    // Another's best, if it is well above this thread's own; looked at now
    // and then, as reading another's line costs about as much as a node.
    int from = me, best = own < 0 ? -1 : own + BEST_STEAL_MARGIN - 1;
    if (own < 0 || ++s.passes % BEST_LOOK_AROUND == 0) {
        for (int t = 1; t <= stageThreads; t++) {
            if (t != me && bestShare[t].top > best) {
                best = bestShare[t].top;
                from = t;
            }
        }
    }
    int node = TakeBest(from, me);
    if (node < 0 && from != me)
        node = TakeBest(me, me);
    *waiting = mine.top;
    return node;
}

// A thread's part of a best-first stage.
void BestWork(Searcher& s)
{
    Position& p = s.position;
    p = stageStart;
    s.madeDepth = 0;
    s.madePath[0] = 0;
    s.nodeNext = s.nodeEnd = 0;
    SearchFrame& f = s.frames[0];
    BestChild children[BEST_DIVE * MAX_MOVES];
    int n = 0, waiting = -1;
    BestShare& mine = bestShare[(int)(&s - searchers)];
    HoldStore();
    while (!stageEnded) {
        if (!mine.busy)
            InterlockedExchange((volatile LONG*)&mine.busy, 1);
        int node = PassNodes(s, children, n, &waiting);
        n = 0;
        if (node < 0) {
            mine.busy = 0;
            if (NoneLeft()) {
                EndStage(STAGE_EXHAUSTED);
                break;
            }
            // Others may yet add nodes; let go of the store meanwhile.
            ReleaseStore();
            Sleep(0);
            HoldStore();
            continue;
        }
        for (int dive = 1; node >= 0 && !stageEnded; dive++) {
            MakeNode(s, node);
            Generate(p, &f);
            int depth = bestNodes[node].depth + 1;
            int first = n, best = -1;
            for (int i = 0; i < f.count && !stageEnded; i++) {
                PositionKey after;
                int score, child = TryChild(s, p, f, i, &after, &score);
                if (child == CHILD_OLD)
                    continue;
                if (child == CHILD_WON) {
                    if (EndStage(STAGE_WON)) {
                        int d = depth - 1;
                        lineDepth = depth;
                        lineMoves[lineDepth] = f.moves[i];
                        for (int m = node; m > 0; m = bestNodes[m].parent)
                            lineMoves[d--] = bestNodes[m].move;
                    }
                    break;
                }
                if (CountPosition(s))
                    break;
                if (depth >= MAX_SEARCH_DEPTH) {
                    s.cut = true;
                    continue;
                }
                children[n++] = BestChild{ node, f.moves[i], BestValue(score, depth) };
                // The last of the best: the newest, were they all waiting.
                if (best < 0 || children[n - 1].value >= children[best].value)
                    best = n - 1;
            }
            node = -1;
            if (best >= 0 && dive < BEST_DIVE && children[best].value >= waiting && !stageEnded &&
                (node = NewNode(s)) >= 0) {
                bestNodes[node] = BestNode{ children[best].parent, -1, children[best].move, (unsigned short)depth };
                std::copy(children + best + 1, children + n, children + best);
                n--;
            }
            for (int i = first; i < n; i++)
                waiting = std::max(waiting, children[i].value);
        }
    }
    mine.busy = 0;
    CountFresh(s);
    ReleaseStore();
}

// Best first with each card in order worth scoreWeight and each move
// depthWeight.
int BestFirst(long long budget, int scoreWeight, int depthWeight)
{
    bestScoreWeight = scoreWeight;
    bestDepthWeight = depthWeight;
    unsigned long long room = NodeRoom();
    bestRoom = std::min((long long)(room / sizeof(BestNode)), 0x7FFFFFFFll);
    unsigned char* arena = NodeRegion(room);
    bestCommitted = std::min(NODE_CHUNK, bestRoom);
    if (!arena || !VirtualAlloc(arena, (SIZE_T)(bestCommitted * sizeof(BestNode)), MEM_COMMIT, PAGE_READWRITE)) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }
    bestNodes = (BestNode*)arena;
    unsigned long long fullLimit = storeLimit;
    storeLimit -= room;

    Searcher& s = searchers[1];
    StartStage(threadCount, budget);
    for (int t = 1; t <= MAX_THREADS; t++) {
        for (int v = 0; v < BEST_VALUES; v++)
            bestFirst[t][v] = -1;
        bestShare[t].top = -1;
        bestShare[t].busy = 0;
        bestShare[t].added = bestShare[t].taken = 0;
    }
    bestNodes[0] = BestNode{ -1, -1, Move{}, 0 };
    bestCount = 1;
    bestShare[1].top = BestValue(Score(s.position), 0);
    bestFirst[1][bestShare[1].top] = 0;
    bestShare[1].added = 1;
    bestStage = true;
    BestWork(s);
    int result = StageAnswer();
    bestStage = false;
    NoteMemory((unsigned long long)bestCommitted * sizeof(BestNode));
    LeaveNodeRegion((unsigned long long)bestCommitted * sizeof(BestNode));
    storeLimit = fullLimit;
    bestNodes = nullptr;
    return result;
}

// Rows fixed: the suit of each row chosen beforehand, one way after another
// (24 in all), and each ace let into column 1 only in its suit's row. Every
// move such a search makes is one the game allows; it only leaves out the
// lines in which an ace goes into another row first, so it finds wins and
// never proves a loss ("lost" there says only that this way has none). What
// it leaves is small: where a search of a billion positions finds no end,
// each way has at most about five million, which a best-first search tries
// to the end in a few seconds. It comes last, for the deals every search
// before it left undecided: there the searches sink into regions whose rows
// were set wrongly long before, and fixing the rows keeps them out. Where
// no way has a win, the 24 ways again with one ace at a time let stand in
// column 1 outside its row (whether one does is read from the position, so
// this too only leaves moves out): each way holds about ten times as many
// positions, and a deal none of the first ways won may have a win there.
constexpr long long ROWS_EACH = 8000000;

int RowsFixed(long long budget)
{
    // The stop of the search before stands unless this one wins or is
    // stopped for good.
    int stop = searchStop, result = SOLVE_UNKNOWN;
    for (acesAstray = 0; acesAstray <= 1 && GoesOn(result, budget); acesAstray++) {
        int suitOfRow[BOARD_ROWS + 1] = { 0, 1, 2, 3, 4 };
        do {
            for (int r = 1; r <= BOARD_ROWS; r++)
                aceRow[suitOfRow[r]] = r;
            result = BestFirst(std::min(budget - positionsSearched, ROWS_EACH << (2 * acesAstray)), 1, 1);
            if (result == SOLVE_LOST)
                result = SOLVE_UNKNOWN;
        } while (GoesOn(result, budget) && std::next_permutation(suitOfRow + 1, suitOfRow + BOARD_ROWS + 1));
    }
    acesAstray = 0;
    for (int suit = 1; suit <= BOARD_ROWS; suit++)
        aceRow[suit] = 0;
    if (result == SOLVE_UNKNOWN && !StopsAll(searchStop))
        searchStop = stop != STOP_NONE ? stop : STOP_DEPTH;
    return result;
}

// Layer by layer: every position reachable from the start tried, with the
// memory of one layer at a time, to prove a loss the store cannot hold.
//
// Why the layers. The game never parks an ace, and an ace goes only into
// column 1, so an ace once in column 1 stays there: the aces in column 1
// never become fewer. Once all four are there column 1 is full, and a hole
// can open in it only where a card leaves it, which no ace does; so the
// rows' suits are fixed from then on, and a settled card never moves again
// (a left click would take it to where it is, and the parks listed never
// take it: its place can be filled only by itself). A position's layer is
// therefore the set of aces in column 1 while they are fewer than four,
// and then the settled run of each row; and its rank, the number of aces
// in column 1 (0 to 3), or with all four, 4 + the settled cards in all.
// A move either stays in its layer or goes to one of higher rank. Taken in
// order of rank, each layer is tried to its end with the store holding its
// positions alone: nothing after it can reach them again. The positions
// reached for later layers wait in files, one a layer, in searchLayers.
// Where no layer holds a won position, none is reachable: the deal is lost.
// Should a move ever go to a layer of no higher rank (the plain search
// parks settled cards), the argument fails and the search stops, unknown.
//
// It keeps no line, so a won position reached stops it too, unknown: the
// other searches find the lines. One thread; the budget, the time limit
// and the interruption stop it as they stop the others.
constexpr int LAYER_SLOTS = 1 << 17;
// Buffers for the layers waiting, committed as they are first needed: the
// 32-bit build has few (its address space is small; it never decides a deal
// this way in earnest).
constexpr int LAYER_BUFFERS = sizeof(void*) == 8 ? 65536 : 256;
constexpr int LAYER_BUFFER_KEYS = 512;
constexpr int LAYER_RANKS = 4 + CELL_COUNT + 1;
constexpr unsigned LAYER_NONE = 0xFFFFFFFFu;
// The positions of the layer being tried that are still to be tried: a stack
// in memory, half of it put into a file of its own when it is full.
constexpr int LAYER_STACK = 1 << 21;
struct LayerSlot {
    unsigned id;
    int rank;
    int buffer;  // 0: none
    int count;   // keys waiting in the buffer
    bool done;
};
LayerSlot layerSlots[LAYER_SLOTS];
int layerSlotsUsed = 0;
PositionKey* layerBuffers = nullptr;  // LAYER_BUFFERS of LAYER_BUFFER_KEYS, buffer 1 first
int layerFreeBuffers[LAYER_BUFFERS];
int layerFreeCount = 0;
int layerBuffersCommitted = 0;
PositionKey* layerStack = nullptr;
bool layerFailed = false;

// The layer of a position, with its rank: the set of aces in column 1 (0 to
// 14), or 16 + the rows' suits (base 4) * 10000 + the settled lengths less
// one, a digit each.
unsigned LayerOf(const Position& p, int* rank)
{
    unsigned aces = 0, suits = 0;
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int card = p.grid[CellAt(1, r)];
        if (isAce[card]) {
            aces |= 1u << (card - 1) / 10;
            suits = suits * 4 + (card - 1) / 10;
        }
    }
    if (aces != 15) {
        *rank = (aces & 1) + (aces >> 1 & 1) + (aces >> 2 & 1) + (aces >> 3);
        return aces;
    }
    *rank = 4 + p.settledCount;
    unsigned runs = 0;
    for (int r = 1; r <= BOARD_ROWS; r++)
        runs = runs * 10 + (p.settled[r] - 1);
    return 16 + suits * 10000 + runs;
}

// A layer's file, and spilled part k of the stack of the layer being tried.
void LayerFile(char* path, size_t size, unsigned id)
{
    std::snprintf(path, size, "%s/%u.bin", searchLayers, id);
}

void SpillFile(char* path, size_t size, int k)
{
    std::snprintf(path, size, "%s/spill%d.bin", searchLayers, k);
}

bool AppendKeys(const char* path, const PositionKey* keys, int count)
{
    FILE* f = std::fopen(path, "ab");
    if (!f)
        return false;
    bool written = std::fwrite(keys, sizeof(PositionKey), count, f) == (size_t)count;
    return std::fclose(f) == 0 && written;
}

// The files of the layers written to last stay open. A buffer goes to its
// file every 512 keys, and under Wine each opening and closing of a file
// waits on the wine server: that took about a quarter of the time, spent
// on a few layers written to again and again.
constexpr int OPEN_LAYER_FILES = 64;
struct OpenLayerFile {
    unsigned id;
    FILE* file;
    unsigned long long used;  // when last written to: the oldest is closed first
};
OpenLayerFile openLayerFiles[OPEN_LAYER_FILES];
unsigned long long layerWrites = 0;

// False when what was written to the file could not all be.
bool CloseLayerFile(OpenLayerFile& open)
{
    bool closed = open.file == nullptr || std::fclose(open.file) == 0;
    open = OpenLayerFile{ LAYER_NONE, nullptr, 0 };
    return closed;
}

// The layer's file closed, before it is read or removed.
bool CloseLayerFile(unsigned id)
{
    for (OpenLayerFile& open : openLayerFiles)
        if (open.id == id)
            return CloseLayerFile(open);
    return true;
}

bool FlushLayer(LayerSlot& slot)
{
    if (slot.count == 0)
        return true;
    OpenLayerFile* open = &openLayerFiles[0];
    for (OpenLayerFile& o : openLayerFiles) {
        if (o.id == slot.id) {
            open = &o;
            break;
        }
        if (o.used < open->used)
            open = &o;
    }
    int count = slot.count;
    slot.count = 0;
    if (open->id != slot.id) {
        char path[MAX_PATH + 16];
        LayerFile(path, sizeof path, slot.id);
        if (!CloseLayerFile(*open) || (open->file = std::fopen(path, "ab")) == nullptr)
            return false;
        open->id = slot.id;
    }
    open->used = ++layerWrites;
    const PositionKey* keys = layerBuffers + (size_t)(slot.buffer - 1) * LAYER_BUFFER_KEYS;
    return std::fwrite(keys, sizeof(PositionKey), count, open->file) == (size_t)count;
}

// Keeps a position for a later layer: STOP_NONE, or why it cannot.
int SendToLayer(unsigned id, int rank, const PositionKey& key)
{
    unsigned i = (id * 2654435761u) & (LAYER_SLOTS - 1);
    while (layerSlots[i].id != LAYER_NONE && layerSlots[i].id != id)
        i = (i + 1) & (LAYER_SLOTS - 1);
    LayerSlot& slot = layerSlots[i];
    if (slot.id == LAYER_NONE) {
        // Three quarters full: probes would grow long.
        if (layerSlotsUsed >= LAYER_SLOTS / 4 * 3)
            return STOP_MEMORY;
        layerSlotsUsed++;
        slot = LayerSlot{ id, rank, 0, 0, false };
    }
    if (slot.buffer == 0) {
        if (layerFreeCount == 0 && layerBuffersCommitted < LAYER_BUFFERS &&
            VirtualAlloc(layerBuffers + (size_t)layerBuffersCommitted * LAYER_BUFFER_KEYS,
                         sizeof(PositionKey) * LAYER_BUFFER_KEYS, MEM_COMMIT, PAGE_READWRITE))
            layerFreeBuffers[layerFreeCount++] = ++layerBuffersCommitted;
        if (layerFreeCount == 0) {
            // Every buffer taken: all go to their files, and are free again.
            for (LayerSlot& other : layerSlots)
                if (other.id != LAYER_NONE && other.buffer != 0) {
                    if (!FlushLayer(other))
                        return STOP_FILES;
                    layerFreeBuffers[layerFreeCount++] = other.buffer;
                    other.buffer = 0;
                }
            if (layerFreeCount == 0)
                return STOP_MEMORY;
        }
        slot.buffer = layerFreeBuffers[--layerFreeCount];
    }
    layerBuffers[(size_t)(slot.buffer - 1) * LAYER_BUFFER_KEYS + slot.count++] = key;
    return slot.count < LAYER_BUFFER_KEYS || FlushLayer(slot) ? STOP_NONE : STOP_FILES;
}

// Whether the caller's time limit or its interruption stops the search.
int LayerStopAsked()
{
    if (searchTimeLimit > 0 && Seconds() - searchStarted > searchTimeLimit)
        return STOP_TIME;
    return searchInterrupted && searchInterrupted() ? STOP_INTERRUPTED : STOP_NONE;
}

PositionKey layerChunk[4096];
int layerTop = 0;
int layerSpills = 0;

bool PushLayerKey(const PositionKey& key)
{
    if (layerTop == LAYER_STACK) {
        char path[MAX_PATH + 16];
        SpillFile(path, sizeof path, ++layerSpills);
        if (!AppendKeys(path, layerStack + LAYER_STACK / 2, LAYER_STACK / 2))
            return false;
        layerTop = LAYER_STACK / 2;
    }
    layerStack[layerTop++] = key;
    return true;
}

// The next position to try, or false when there is none (or a file fails:
// layerFailed).
bool PopLayerKey(PositionKey* key)
{
    if (layerTop == 0 && layerSpills > 0) {
        char path[MAX_PATH + 16];
        SpillFile(path, sizeof path, layerSpills--);
        FILE* f = std::fopen(path, "rb");
        layerTop = f ? (int)std::fread(layerStack, sizeof(PositionKey), LAYER_STACK / 2, f) : 0;
        layerFailed |= !f || layerTop != LAYER_STACK / 2;
        if (f)
            std::fclose(f);
        std::remove(path);
    }
    if (layerTop == 0)
        return false;
    *key = layerStack[--layerTop];
    return true;
}

// The hole after every ace: the order stored is the first of this order.
bool HoleLast(int a, int b)
{
    return (a != 0 ? a : CARD_COUNT + 1) < (b != 0 ? b : CARD_COUNT + 1);
}

// p's key with cards[i] standing in cells[i].
PositionKey KeyWith(const Position& p, const int* cells, const int* cards, int n)
{
    PositionKey key = p.key;
    for (int i = 0; i < n; i++)
        FlipKey(key, cells[i], p.grid[cells[i]] ^ cards[i]);
    return key;
}

// Stores a position of the layer being tried and keeps it to try.
//
// With one hole in column 1, an ace in column 1 may move into it (it is the
// topmost), leaving a hole where it stood and nothing else changed; so the
// aces in column 1 and that hole stand there in every order reachable from
// each other (up to 24 with three aces), and a big layer is full of such
// sets. Only one order of each set is stored, the aces in order of suit
// from the top and the hole after them, and every order is kept to try when
// that one is new: every position is still tried, once.
int AddToLayer(Position& p, unsigned long long hash)
{
    unsigned long long top = p.holes & COLUMN_ONE;
    int cells[BOARD_ROWS], cards[BOARD_ROWS], n = 0;
    if (top != 0 && (top & (top - 1)) == 0) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int cell = CellAt(1, r);
            if (p.grid[cell] == 0 || isAce[p.grid[cell]]) {
                cells[n] = cell;
                cards[n++] = p.grid[cell];
            }
        }
        for (int i = 1; i < n; i++)
            for (int j = i; j > 0 && HoleLast(cards[j], cards[j - 1]); j--)
                std::swap(cards[j - 1], cards[j]);
    }
    PositionKey key = KeyWith(p, cells, cards, n);
    int stored = StorePosition(key, n > 1 ? PositionHash(key) : hash);
    if (stored != STORE_NEW)
        return stored == STORE_FULL ? STOP_MEMORY : STOP_NONE;
    do {
        positionsSearched++;
        if (!PushLayerKey(KeyWith(p, cells, cards, n)))
            return STOP_FILES;
    } while (std::next_permutation(cards, cards + n, HoleLast));
    return STOP_NONE;
}

// A position reached (p, with its hash) while a layer is tried: kept for
// its own layer, or stored and kept to try in this one, or tried at once.
//
// What the store keeps here. The store holds a layer alone, and a big layer
// is what it runs out of; with two free cells nearly every position this
// search stores has both free cells full (97 % of the first 13 million of
// seed 816), where the only moves are left clicks into the holes: one or two
// moves, a few more with a hole in column 1. So, as in the depth-first
// search with one free cell, such a position with one move or two is not
// stored but tried at once, each time it is reached, and its moves lead on
// to where the first time led. Nothing is cut: every position reached is
// still tried. A run of such positions ends at a stored one after at most
// UNSTORED_RUN positions, of which at most UNSTORED_FORKS have two moves, so
// a circle is seen the second time round and the positions tried again from
// one stored position are bounded. On the dead row of the command-line test
// the store then holds a quarter of the positions (11,367 instead of
// 45,304), in about the same time.
//
// A position of a later layer is mostly reached again and again (the same
// fill from another position, or through positions not stored): layerSent
// keeps the keys sent last, one by hash, and one already there is not sent
// again (its layer's file has it). p is left as it came.
constexpr int UNSTORED_FORKS = 4;
constexpr int LAYER_SENT_BITS = sizeof(void*) == 8 ? 22 : 16;
PositionKey* layerSent = nullptr;

int ReachInLayer(Position& p, const LayerSlot& slot, unsigned long long hash, int run = 0, int forks = 0)
{
    int rank;
    unsigned id = LayerOf(p, &rank);
    if (id != slot.id) {
        if (rank <= slot.rank)
            return STOP_LAYERS;
        PositionKey& sent = layerSent[hash >> (64 - LAYER_SENT_BITS)];
        if (SameKey(sent, p.key))
            return STOP_NONE;
        sent = p.key;
        return SendToLayer(id, rank, p.key);
    }
    SearchFrame f;
    if (p.parkedCount < cellsEnabled || run == UNSTORED_RUN ||
        (Generate(p, &f), f.count > 2 || (f.count == 2 && forks == UNSTORED_FORKS)))
        return AddToLayer(p, hash);
    positionsSearched++;
    int stop = STOP_NONE;
    for (int i = 0; i < f.count && stop == STOP_NONE; i++) {
        Undo u = {};
        if (Apply(p, f.moves[i], &u)) {
            stop = ReachInLayer(p, slot, f.hash[i], run + 1, forks + (f.count > 1));
            Revert(p, u);
        }
    }
    return stop;
}

// Tries every position of one layer, from those its file holds; a STOP_
// reason, or STOP_NONE when its end is reached.
int TryLayer(LayerSlot& slot, long long budget)
{
    char path[MAX_PATH + 16];
    LayerFile(path, sizeof path, slot.id);
    bool flushed = FlushLayer(slot) && CloseLayerFile(slot.id);
    if (slot.buffer != 0)
        layerFreeBuffers[layerFreeCount++] = slot.buffer;
    slot.buffer = 0;
    slot.done = true;
    FILE* in = flushed ? std::fopen(path, "rb") : nullptr;
    if (!in)
        return STOP_FILES;
    ClearStore(1);
    int stop = STOP_NONE;
    size_t n;
    Position& p = searchers[1].position;
    while (stop == STOP_NONE && (n = std::fread(layerChunk, sizeof(PositionKey), 4096, in)) > 0) {
        for (size_t i = 0; i < n && stop == STOP_NONE; i++) {
            LoadKey(p, layerChunk[i]);
            stop = ReachInLayer(p, slot, PositionHash(layerChunk[i]));
        }
    }
    std::fclose(in);
    std::remove(path);

    PositionKey key;
    for (long long tried = 1; stop == STOP_NONE && PopLayerKey(&key); tried++) {
        LoadKey(p, key);
        if (Won(p))
            return STOP_NO_LINE;
        SearchFrame f;
        Generate(p, &f);
        for (int i = 0; i < f.count && stop == STOP_NONE; i++) {
            Undo u = {};
            if (!Apply(p, f.moves[i], &u))
                continue;
            stop = ReachInLayer(p, slot, f.hash[i]);
            Revert(p, u);
        }
        if (stop == STOP_NONE && positionsSearched >= budget)
            stop = STOP_BUDGET;
        if (stop == STOP_NONE && tried % 4096 == 0)
            stop = LayerStopAsked();
    }
    NoteMemory(sizeof(PositionKey) * (LAYER_STACK + (1ull << LAYER_SENT_BITS) +
                                      (unsigned long long)layerBuffersCommitted * LAYER_BUFFER_KEYS));
    return stop != STOP_NONE ? stop : layerFailed ? STOP_FILES : STOP_NONE;
}

// Removes the files of the layers not tried, and gives back the memory.
void EndLayers()
{
    char path[MAX_PATH + 16];
    for (OpenLayerFile& open : openLayerFiles)
        CloseLayerFile(open);
    for (int i = 0; i < LAYER_SLOTS; i++) {
        if (layerSlots[i].id != LAYER_NONE && !layerSlots[i].done) {
            LayerFile(path, sizeof path, layerSlots[i].id);
            std::remove(path);
        }
        layerSlots[i].id = LAYER_NONE;
    }
    for (; layerSpills > 0; layerSpills--) {
        SpillFile(path, sizeof path, layerSpills);
        std::remove(path);
    }
    VirtualFree(layerBuffers, 0, MEM_RELEASE);
    VirtualFree(layerStack, 0, MEM_RELEASE);
    VirtualFree(layerSent, 0, MEM_RELEASE);
    layerBuffers = layerStack = layerSent = nullptr;
}

int LayeredSearch(long long budget)
{
    for (int i = 0; i < LAYER_SLOTS; i++)
        layerSlots[i].id = LAYER_NONE;
    layerSlotsUsed = layerFreeCount = layerBuffersCommitted = 0;
    layerTop = layerSpills = 0;
    layerFailed = false;
    for (OpenLayerFile& open : openLayerFiles)
        CloseLayerFile(open);  // none is open: this marks each unused (0 is a layer)
    layerBuffers = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) * LAYER_BUFFERS * LAYER_BUFFER_KEYS,
                                              MEM_RESERVE, PAGE_READWRITE);
    layerStack = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) * LAYER_STACK, MEM_COMMIT | MEM_RESERVE,
                                            PAGE_READWRITE);
    // Zeros, which no position is: a search never skips a position another
    // search sent.
    layerSent = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) << LAYER_SENT_BITS, MEM_COMMIT | MEM_RESERVE,
                                           PAGE_READWRITE);
    // 2^30 slots, 32 GB, where the address space and the limit allow.
    storeMostBits = sizeof(void*) == 8 ? 30 : STORE_MOST_BITS;
    storeWholeLimit = 1;
    Position& p = searchers[1].position;
    LoadBoard(p);
    int rank;
    unsigned id = LayerOf(p, &rank);
    int stop = layerBuffers && layerStack && layerSent ? STOP_NONE : STOP_MEMORY;
    if (stop == STOP_NONE)
        stop = SendToLayer(id, rank, p.key);
    for (int r = rank; r < LAYER_RANKS && stop == STOP_NONE; r++)
        for (int i = 0; i < LAYER_SLOTS && stop == STOP_NONE; i++)
            if (layerSlots[i].id != LAYER_NONE && !layerSlots[i].done && layerSlots[i].rank == r)
                stop = TryLayer(layerSlots[i], budget);
    EndLayers();
    storeMostBits = STORE_MOST_BITS;
    storeWholeLimit = 0;
    searchStop = stop;
    return stop == STOP_NONE ? SOLVE_LOST : SOLVE_UNKNOWN;
}

// The positions along the line, found by key: alongIndex holds d + 1 for
// position d, 0 for an empty slot. A line never passes a position twice.
constexpr int ALONG_BITS = 16;
int alongIndex[1 << ALONG_BITS];

unsigned AlongSlot(const PositionKey& p)
{
    unsigned long long h = (p.word[0] ^ p.word[1] * 0x9E3779B97F4A7C15ull ^ p.word[2] * 0xC2B2AE3D27D4EB4Full ^
                            p.word[3]) * 0x165667B19E3779F9ull;
    return (unsigned)(h >> (64 - ALONG_BITS));
}

// The step of the line at this position, or -1.
int FindAlong(const PositionKey& p)
{
    for (unsigned i = AlongSlot(p);; i = (i + 1) & ((1u << ALONG_BITS) - 1)) {
        if (alongIndex[i] == 0)
            return -1;
        if (SameKey(along[alongIndex[i] - 1], p))
            return alongIndex[i] - 1;
    }
}

// Where a later position of the line can be reached from an earlier one in
// a single move, the moves in between are dropped.
void ShortenLine()
{
    Position& p = searchers[1].position;
    std::memset(alongIndex, 0, sizeof alongIndex);
    LoadBoard(p);
    Undo u;
    for (int d = 0; d <= lineDepth; d++) {
        if (d > 0)
            Apply(p, lineMoves[d], &u);
        along[d] = p.key;
        unsigned i = AlongSlot(p.key);
        while (alongIndex[i] != 0)
            i = (i + 1) & ((1u << ALONG_BITS) - 1);
        alongIndex[i] = d + 1;
    }
    LoadBoard(p);
    int kept = 0;
    for (int at = 0; at < lineDepth;) {
        int best = at + 1;
        Move bestMove = lineMoves[at + 1];
        SearchFrame f;
        Generate(p, &f);
        for (int i = 0; i < f.count; i++) {
            if (!Apply(p, f.moves[i], &u))
                continue;
            int j = FindAlong(p.key);
            if (j > best) {
                best = j;
                bestMove = f.moves[i];
            }
            Revert(p, u);
        }
        lineMoves[++kept] = bestMove;
        Apply(p, bestMove, &u);
        at = best;
    }
    lineDepth = kept;
}

void WriteLine()
{
    winningLength = 0;
    for (int d = 1; d <= lineDepth; d++) {
        winningLine[++winningLength] = { lineMoves[d].card, lineMoves[d].filler != 0 ? CLICK_RIGHT : CLICK_LEFT };
        if (lineMoves[d].filler > 0)
            winningLine[++winningLength] = { lineMoves[d].filler, CLICK_LEFT };
    }
}

// The position the search started from, put back after it.
int startBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int startCells[FREE_CELL_COUNT + 1];

void RestoreStart()
{
    std::memcpy(board, startBoard, sizeof startBoard);
    std::memcpy(freeCells, startCells, sizeof startCells);
    freeUsed = 1;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (freeCells[i] != 0)
            freeUsed++;
}

// Plays the line through the game's own click rules from the start.
bool LineWins()
{
    RestoreStart();
    for (int i = 1; i <= winningLength; i++)
        if (!ApplyClick(winningLine[i].card, winningLine[i].button))
            return false;
    return IsSolved() == 1;
}

// With more than one free cell: the depth-first look, the positions of the
// best-first search kept near the start that follows it, and the beams'
// widths.
constexpr long long FIRST_LOOK = 100000;
constexpr int FIRST_WIDTH = 1000;
constexpr int WIDEST = 16000;
constexpr long long NEAR_BUDGET = 4000000;
// Positions kept from the last best-first search for the rows fixed, unless
// that would leave it less than half of what is left.
constexpr long long ROWS_BUDGET = 96000000;

} // namespace

int IsValidPosition(int freeCellsEnabled)
{
    if (freeCellsEnabled < 1 || freeCellsEnabled > FREE_CELL_COUNT)
        return 0;
    int seen[CARD_COUNT + 1] = {};
    int holes = 0, parked = 0;
    for (int c = 0; c <= BOARD_COLUMNS; c++) {
        for (int r = 0; r <= BOARD_ROWS; r++) {
            int v = board[c][r];
            if (c == 0 || r == 0) {
                if (v != 0)
                    return 0;
            } else if (v == CELL_EMPTY) {
                holes++;
            } else if (v < 1 || v > CARD_COUNT || seen[v]++) {
                return 0;
            }
        }
    }
    for (int i = 1; i <= FREE_CELL_COUNT; i++) {
        int v = freeCells[i];
        if (v == 0)
            continue;
        if (v < 1 || v > CARD_COUNT || seen[v]++ || i > freeCellsEnabled || IsAce(v))
            return 0;
        parked++;
    }
    return holes == parked;
}

int ApplyClick(int card, int button)
{
    int column, row, toColumn, toRow;
    return FindCardPlace(card, &column, &row) && PlayClickOnBoard(column, row, button, &toColumn, &toRow);
}

int WarmSearchMemory(unsigned long long most)
{
    if (storeLimit == 0)
        SetStoreLimit(FreeMemoryForSearch());
    if (!WarmStore(&most))
        return 0;
    unsigned char* arena = NodeRegion(NodeRoom());
    return !arena || WritePages(arena, &nodeRegionWritten, NodesKept(), &most);
}

int SolvePosition(int freeCellsEnabled, long long budget)
{
    winningLength = 0;
    positionsSearched = 0;
    searchSeconds = 0;
    searchStop = STOP_NONE;
    searchMemory = 0;
    if (!IsValidPosition(freeCellsEnabled))
        return SOLVE_INVALID;
    if (storeLimit == 0)
        SetStoreLimit(FreeMemoryForSearch());

    static bool threadsReady = false;
    if (!threadsReady) {
        // Held for a few hundred instructions at a time: a thread that
        // finds one taken spins rather than sleeps.
        InitializeCriticalSectionAndSpinCount(&workLock, 4000);
        InitializeCriticalSectionAndSpinCount(&nodeLock, 4000);
        for (int t = 1; t <= MAX_THREADS; t++)
            InitializeCriticalSectionAndSpinCount(&bestLocks[t].lock, 4000);
        threadsReady = true;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    threadCount = searchThreads > 0 ? searchThreads : (int)system.dwNumberOfProcessors;
    threadCount = std::max(1, std::min(threadCount, MAX_THREADS));
    if (!TakeFrames(searchers[1])) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }

    searchStarted = Seconds();
    int savedLimit = freeLimit, savedUsed = freeUsed;
    std::memcpy(startBoard, board, sizeof startBoard);
    std::memcpy(startCells, freeCells, sizeof startCells);
    freeLimit = freeCellsEnabled + 1;
    cellsEnabled = freeCellsEnabled;
    FillTables();
    ResetStorePeak();
    LoadBoard(searchers[1].position);

    int result;
    lineDepth = 0;
    if (Won(searchers[1].position)) {
        result = SOLVE_WON;
    } else if (searchLayers) {
        result = LayeredSearch(budget);
    } else if (searchRowsFixed) {
        result = RowsFixed(budget);
    } else if (freeCellsEnabled == 1) {
        result = DepthFirst(budget);
    } else {
        result = DepthFirst(std::min(budget, FIRST_LOOK));
        // Moves weighing twice as much keep the search nearer the start.
        if (GoesOn(result, budget))
            result = BestFirst(std::min(budget - positionsSearched, NEAR_BUDGET), 1, 2);
        for (int width = FIRST_WIDTH; width <= WIDEST && GoesOn(result, budget); width *= 4)
            result = BeamSearch(width, budget - positionsSearched);
        if (GoesOn(result, budget)) {
            long long left = budget - positionsSearched;
            result = BestFirst(std::max(left - ROWS_BUDGET, left / 2), 1, 1);
        }
        if (GoesOn(result, budget))
            result = RowsFixed(budget);
        if (result == SOLVE_UNKNOWN && searchStop == STOP_MEMORY && positionsSearched < budget)
            result = DepthFirst(budget - positionsSearched);
    }
    if (result == SOLVE_WON) {
        ShortenLine();
        WriteLine();
        // Never an unproved win: the line must win the game by its rules.
        if (!LineWins()) {
            result = SOLVE_UNKNOWN;
            winningLength = 0;
        }
    }
    ShrinkStore();
    ShrinkNodeRegion();
    RestoreStart();
    freeLimit = savedLimit;
    freeUsed = savedUsed;
    searchSeconds = Seconds() - searchStarted;
    return result;
}
