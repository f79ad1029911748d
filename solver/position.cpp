// The position as the search holds it, and its moves.
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
#include "solver/search.h"

#include <cstring>

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
// While the rows are fixed (RowsFixed): the row of column 1 each suit's ace
// may go to, by suit 1 to 4 (one suit a row), 0 in every other search; and
// how many aces may stand in column 1 outside their rows at once.
int aceRow[BOARD_ROWS + 1];
int acesAstray = 0;

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

namespace {

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

} // namespace

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
