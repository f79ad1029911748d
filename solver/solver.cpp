// The search over the game's positions, every position remembered once:
// depth first, then best first, then depth first again in shuffled orders
// (SolvePosition says why).
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
// filled only by itself.
#include "solver/solver.h"
#include "app/winsys.h"
#include "game/board.h"
#include "game/moves.h"
#include "game/wincheck.h"

#include <cstring>

LineClick winningLine[MAX_LINE + 1];
int winningLength = 0;
long long positionsSearched = 0;
double searchSeconds = 0;

namespace {

// A grid packed six bits a cell (a hole is 0), ten cells a word.
struct PackedPosition {
    unsigned long long word[4];
};

// Every position reached is a node: its grid, the node it was reached from
// and the move that led here. Nodes waiting to be expanded sit in buckets by
// score, each bucket a stack.
constexpr int NODE_LIMIT = (int)MAX_BUDGET;
struct SearchNode {
    PackedPosition position;
    int parent;
    int nextWaiting;
    signed char card, filler;
};
SearchNode nodes[NODE_LIMIT + 1];
int nodeCount = 0;
constexpr int SCORE_COUNT = 256;
int waiting[SCORE_COUNT];

// Open addressing over node numbers, compared by full position, so a
// position is never taken for another. An entry belongs to the current
// search when its round matches.
constexpr int TABLE_BITS = 23;
constexpr unsigned TABLE_SIZE = 1u << TABLE_BITS;
int positionTable[TABLE_SIZE];
unsigned short tableRound[TABLE_SIZE];
unsigned short currentRound = 0;

// One level of the search: its moves, the next to try, and what undoes the
// move now applied.
struct SearchFrame {
    signed char cards[MAX_MOVES];
    signed char fillers[MAX_MOVES];
    int count;
    int next;
    int applied;
    int card, filler;
    int cardColumn, cardRow;
    int fillerColumn, fillerRow;
};
SearchFrame frames[MAX_SEARCH_DEPTH + 1];
PackedPosition pathPositions[MAX_SEARCH_DEPTH + 1];

// Where each card is: a grid cell, or free cell placeColumn[card] when
// placeRow[card] is 0.
int placeColumn[CARD_COUNT + 1];
int placeRow[CARD_COUNT + 1];

int IsCard(int value)
{
    return value >= 1 && value <= CARD_COUNT;
}

int IsKing(int card)
{
    return card % 10 == 0;
}

void FindPlaces()
{
    for (int c = 1; c <= BOARD_COLUMNS; c++)
        for (int r = 1; r <= BOARD_ROWS; r++)
            if (IsCard(board[c][r])) {
                placeColumn[board[c][r]] = c;
                placeRow[board[c][r]] = r;
            }
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (IsCard(freeCells[i])) {
            placeColumn[freeCells[i]] = i;
            placeRow[freeCells[i]] = 0;
        }
}

// Moves a card to a grid cell or (row 0) a free cell, keeping the free-cell
// counter as the game keeps it.
void PutCard(int card, int column, int row)
{
    if (placeRow[card] == 0) {
        freeCells[placeColumn[card]] = 0;
        freeUsed--;
    } else {
        board[placeColumn[card]][placeRow[card]] = CELL_EMPTY;
    }
    if (row == 0) {
        freeCells[column] = card;
        freeUsed++;
    } else {
        board[column][row] = card;
    }
    placeColumn[card] = column;
    placeRow[card] = row;
}

PackedPosition Pack()
{
    PackedPosition p = {};
    int i = 0;
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++, i++) {
            unsigned long long v = IsCard(board[c][r]) ? (unsigned long long)board[c][r] : 0;
            p.word[i / 10] |= v << (6 * (i % 10));
        }
    return p;
}

bool SamePosition(const PackedPosition& a, const PackedPosition& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

unsigned TableIndex(const PackedPosition& p)
{
    unsigned long long h = p.word[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ p.word[1]) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ p.word[2]) * 0x165667B19E3779F9ull;
    h = (h ^ p.word[3]) * 0x9E3779B97F4A7C15ull;
    return (unsigned)((h ^ (h >> 31)) >> (64 - TABLE_BITS));
}

void StartRound()
{
    if (++currentRound == 0) {
        std::memset(tableRound, 0, sizeof tableRound);
        currentRound = 1;
    }
}

// The node number of a new position (now remembered), or 0 when it was
// reached before or no room is left.
int Remember(const PackedPosition& p, int parent, int card, int filler)
{
    unsigned i = TableIndex(p);
    while (tableRound[i] == currentRound) {
        if (SamePosition(nodes[positionTable[i]].position, p))
            return 0;
        i = (i + 1) & (TABLE_SIZE - 1);
    }
    if (nodeCount == NODE_LIMIT)
        return 0;
    int n = ++nodeCount;
    nodes[n].position = p;
    nodes[n].parent = parent;
    nodes[n].card = (signed char)card;
    nodes[n].filler = (signed char)filler;
    tableRound[i] = currentRound;
    positionTable[i] = n;
    return n;
}

// Lays out a remembered position: the grid, and the cards missing from it
// parked in free cells from 1 up.
void Unpack(const PackedPosition& p)
{
    bool onGrid[CARD_COUNT + 1] = {};
    int i = 0;
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++, i++) {
            int v = (int)((p.word[i / 10] >> (6 * (i % 10))) & 63);
            board[c][r] = v == 0 ? CELL_EMPTY : v;
            onGrid[v] = true;
        }
    for (int cell = 1; cell <= FREE_CELL_COUNT; cell++)
        freeCells[cell] = 0;
    freeUsed = 1;
    for (int card = 1; card <= CARD_COUNT; card++)
        if (!onGrid[card])
            freeCells[freeUsed++] = card;
}

// Length of the run from an ace in column 1 along each row: those cards are
// in their final places.
void SettledLengths(int settled[BOARD_ROWS + 1])
{
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int ace = board[1][r];
        int n = 0;
        if (IsCard(ace) && IsAce(ace))
            while (n < BOARD_COLUMNS && board[n + 1][r] == ace + n)
                n++;
        settled[r] = n;
    }
}

// The order of moves of equal rank: as found when 0, else shuffled by this
// generator's state (one order per restart of the depth-first search).
unsigned shuffleState = 0;

unsigned NextShuffle()
{
    shuffleState = shuffleState * 1664525u + 1013904223u;
    return shuffleState >> 8;
}

int Shuffled(SearchFrame* f, const int priority[], int n)
{
    if (shuffleState == 0)
        return n;
    for (int i = n - 1; i > 0; i--) {
        int j = i - (int)(NextShuffle() % (unsigned)(i + 1));
        if (priority[j] != priority[i])
            continue;
        signed char card = f->cards[i], filler = f->fillers[i];
        f->cards[i] = f->cards[j];
        f->fillers[i] = f->fillers[j];
        f->cards[j] = card;
        f->fillers[j] = filler;
    }
    return n;
}

// Cards that go into their final places first, then cards leaving free
// cells, then parks that let a card into its final place, then the rest.
int GenerateMoves(SearchFrame* f)
{
    int settled[BOARD_ROWS + 1];
    SettledLengths(settled);
    int priority[MAX_MOVES];
    int n = 0;
    bool listed[CARD_COUNT + 1] = {};
    auto add = [&](int card, int filler, int rank) {
        int i = n++;
        while (i > 0 && priority[i - 1] > rank) {
            f->cards[i] = f->cards[i - 1];
            f->fillers[i] = f->fillers[i - 1];
            priority[i] = priority[i - 1];
            i--;
        }
        f->cards[i] = (signed char)card;
        f->fillers[i] = (signed char)filler;
        priority[i] = rank;
    };

    // Left clicks: only a card one above a hole's left neighbour, or an ace
    // for column 1, can have a target; the game's rule decides.
    for (int r = 1; r <= BOARD_ROWS; r++) {
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            if (board[c][r] != CELL_EMPTY)
                continue;
            int column, row;
            if (c == 1) {
                for (int ace = 1; ace <= CARD_COUNT; ace += 10) {
                    if (listed[ace] || !FindTargetHole(ace, &column, &row))
                        continue;
                    listed[ace] = true;
                    add(ace, 0, placeColumn[ace] == 1 && placeRow[ace] != 0 ? 3 : 0);
                }
            } else {
                int below = board[c - 1][r];
                if (!IsCard(below) || IsKing(below) || listed[below + 1])
                    continue;
                int card = below + 1;
                if (!FindTargetHole(card, &column, &row))
                    continue;
                listed[card] = true;
                add(card, 0, settled[r] >= c - 1 ? 0 : placeRow[card] == 0 ? 1 : 3);
            }
        }
    }

    // Parks, each with the fill of the place it opens.
    if (LowestEmptyFreeCell() == 0)
        return f->count = Shuffled(f, priority, n);
    for (int r = 1; r <= BOARD_ROWS; r++) {
        bool holeAbove = false;
        for (int above = 1; above < r; above++)
            if (board[1][above] == CELL_EMPTY)
                holeAbove = true;
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            int card = board[c][r];
            if (!MayPark(card))
                continue;
            if (c == 1) {
                // The place becomes the topmost hole of column 1 unless one
                // is above it; then no ace could fill it.
                if (holeAbove)
                    continue;
                for (int ace = 1; ace <= CARD_COUNT; ace += 10)
                    add(card, ace, placeColumn[ace] == 1 && placeRow[ace] != 0 ? 4 : 2);
            } else {
                int below = board[c - 1][r];
                if (!IsCard(below) || IsKing(below) || below + 1 == card)
                    continue;
                add(card, below + 1, settled[r] >= c - 1 ? 2 : 4);
            }
        }
    }
    return f->count = Shuffled(f, priority, n);
}

// Settled cards count most; a card right of the card one lower in its suit,
// anywhere, counts too.
int Score()
{
    int settled[BOARD_ROWS + 1];
    SettledLengths(settled);
    int score = 0;
    for (int r = 1; r <= BOARD_ROWS; r++) {
        score += 4 * settled[r];
        for (int c = 2; c <= BOARD_COLUMNS; c++) {
            int card = board[c][r];
            if (IsCard(card) && !IsAce(card) && board[c - 1][r] == card - 1)
                score++;
        }
    }
    return score;
}

// Applies a move and notes how to undo it; 0 when the game's rules refuse it.
int ApplyMove(SearchFrame* f, int card, int filler)
{
    f->card = card;
    f->filler = filler;
    f->cardColumn = placeColumn[card];
    f->cardRow = placeRow[card];
    int moving = card;
    if (filler != 0) {
        int cell = LowestEmptyFreeCell();
        if (cell == 0 || placeRow[card] == 0 || !MayPark(card))
            return 0;
        PutCard(card, cell, 0);
        moving = filler;
    }
    int column, row;
    if (!FindTargetHole(moving, &column, &row) ||
        (filler != 0 && (column != f->cardColumn || row != f->cardRow))) {
        if (filler != 0)
            PutCard(card, f->cardColumn, f->cardRow);
        return 0;
    }
    f->fillerColumn = placeColumn[moving];
    f->fillerRow = placeRow[moving];
    PutCard(moving, column, row);
    f->applied = 1;
    return 1;
}

void UndoMove(SearchFrame* f)
{
    if (f->filler != 0) {
        PutCard(f->filler, f->fillerColumn, f->fillerRow);
        PutCard(f->card, f->cardColumn, f->cardRow);
    } else {
        PutCard(f->card, f->fillerColumn, f->fillerRow);
    }
    f->applied = 0;
}

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// The path found is a line of moves from the start; where a later position
// of it can be reached from an earlier one in a single move, the moves in
// between are dropped. The board is at the start on entry and on return.
int ShortenPath(int depth)
{
    pathPositions[0] = Pack();
    for (int d = 1; d <= depth; d++) {
        ApplyMove(&frames[d], frames[d].card, frames[d].filler);
        pathPositions[d] = Pack();
    }
    for (int d = depth; d >= 1; d--)
        UndoMove(&frames[d]);

    // Long paths are kept as they are: the scan is quadratic.
    if (depth > 4000)
        return depth;

    int kept = 0;
    int at = 0;
    SearchFrame step;
    while (at < depth) {
        int best = at + 1;
        int bestCard = frames[at + 1].card, bestFiller = frames[at + 1].filler;
        GenerateMoves(&step);
        for (int i = 0; i < step.count; i++) {
            SearchFrame trial;
            if (!ApplyMove(&trial, step.cards[i], step.fillers[i]))
                continue;
            PackedPosition p = Pack();
            UndoMove(&trial);
            for (int j = depth; j > best; j--)
                if (SamePosition(pathPositions[j], p)) {
                    best = j;
                    bestCard = step.cards[i];
                    bestFiller = step.fillers[i];
                    break;
                }
        }
        kept++;
        ApplyMove(&frames[kept], bestCard, bestFiller);
        at = best;
    }
    for (int d = kept; d >= 1; d--)
        UndoMove(&frames[d]);
    return kept;
}

void WriteLine(int depth)
{
    winningLength = 0;
    for (int d = 1; d <= depth; d++) {
        if (frames[d].filler != 0) {
            winningLine[++winningLength] = { frames[d].card, CLICK_RIGHT };
            winningLine[++winningLength] = { frames[d].filler, CLICK_LEFT };
        } else {
            winningLine[++winningLength] = { frames[d].card, CLICK_LEFT };
        }
    }
}

// Depth-first searches in shuffled orders after the first two searches.
constexpr int RESTARTS = 8;

// The position the search started from, put back between searches.
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
    FindPlaces();
}

void StartSearch()
{
    StartRound();
    nodeCount = 0;
    Remember(Pack(), 0, 0, 0);
}

// Best first: the waiting position with the highest score is expanded
// next, the latest of equal ones first. Every position reached is expanded
// once unless a win or the budget ends the search, so an empty queue means
// every reachable position was tried. On a win the path is left in frames
// 1..*depth.
int BestFirst(long long budget, int* depth)
{
    StartSearch();
    long long searched = 1;
    const int root = 1;
    for (int s = 0; s < SCORE_COUNT; s++)
        waiting[s] = 0;
    int top = Score();
    nodes[root].nextWaiting = 0;
    waiting[top] = root;
    int winner = 0;
    int cut = 0;
    while (!winner && !cut) {
        while (top >= 0 && waiting[top] == 0)
            top--;
        if (top < 0)
            break;
        int n = waiting[top];
        waiting[top] = nodes[n].nextWaiting;
        Unpack(nodes[n].position);
        FindPlaces();
        SearchFrame f;
        GenerateMoves(&f);
        for (int i = 0; i < f.count; i++) {
            if (!ApplyMove(&f, f.cards[i], f.fillers[i]))
                continue;
            int child = Remember(Pack(), n, f.cards[i], f.fillers[i]);
            if (child != 0) {
                searched++;
                if (IsSolved()) {
                    winner = child;
                } else {
                    int score = Score();
                    nodes[child].nextWaiting = waiting[score];
                    waiting[score] = child;
                    if (score > top)
                        top = score;
                }
            }
            UndoMove(&f);
            if (winner)
                break;
            if (searched >= budget) {
                cut = 1;
                break;
            }
        }
    }
    positionsSearched += searched;
    if (!winner)
        return cut ? SOLVE_UNKNOWN : SOLVE_LOST;

    int d = 0;
    for (int n = winner; n != root; n = nodes[n].parent)
        d++;
    // Too long to write down: rather no answer than an unproved one.
    if (d > MAX_SEARCH_DEPTH)
        return SOLVE_UNKNOWN;
    *depth = d;
    for (int n = winner; n != root; n = nodes[n].parent, d--) {
        frames[d].card = nodes[n].card;
        frames[d].filler = nodes[n].filler;
    }
    return SOLVE_WON;
}

// Depth first, best moves first, every position entered once. A path that
// would go deeper than the frames allow is cut, which makes the answer
// "unknown" rather than "lost". On a win the path is in frames 1..*depth.
int DepthFirst(long long budget, int* depth)
{
    StartSearch();
    long long searched = 1;
    int result = SOLVE_LOST;
    int d = 1;
    frames[1].next = 0;
    frames[1].applied = 0;
    GenerateMoves(&frames[1]);
    while (d >= 1) {
        SearchFrame* f = &frames[d];
        if (f->applied)
            UndoMove(f);
        if (f->next >= f->count) {
            d--;
            continue;
        }
        int i = f->next++;
        if (!ApplyMove(f, f->cards[i], f->fillers[i]))
            continue;
        if (!Remember(Pack(), 0, 0, 0))
            continue;
        searched++;
        if (IsSolved()) {
            *depth = d;
            result = SOLVE_WON;
            break;
        }
        if (searched >= budget) {
            result = SOLVE_UNKNOWN;
            break;
        }
        if (d == MAX_SEARCH_DEPTH) {
            result = SOLVE_UNKNOWN;
            continue;
        }
        d++;
        frames[d].next = 0;
        frames[d].applied = 0;
        GenerateMoves(&frames[d]);
    }
    positionsSearched += searched;
    return result;
}

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
            } else if (!IsCard(v) || seen[v]++) {
                return 0;
            }
        }
    }
    for (int i = 1; i <= FREE_CELL_COUNT; i++) {
        int v = freeCells[i];
        if (v == 0)
            continue;
        if (!IsCard(v) || seen[v]++ || i > freeCellsEnabled || IsAce(v))
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

int ListSearchMoves(int freeCellsEnabled, int cards[MAX_MOVES], int fillers[MAX_MOVES])
{
    if (!IsValidPosition(freeCellsEnabled))
        return 0;
    int savedLimit = freeLimit, savedUsed = freeUsed;
    freeLimit = freeCellsEnabled + 1;
    FindPlaces();
    SearchFrame f;
    int n = GenerateMoves(&f);
    for (int i = 0; i < n; i++) {
        cards[i] = f.cards[i];
        fillers[i] = f.fillers[i];
    }
    freeLimit = savedLimit;
    freeUsed = savedUsed;
    return n;
}

int SolvePosition(int freeCellsEnabled, long long budget)
{
    winningLength = 0;
    positionsSearched = 0;
    searchSeconds = 0;
    if (!IsValidPosition(freeCellsEnabled))
        return SOLVE_INVALID;
    if (budget > MAX_BUDGET)
        budget = MAX_BUDGET;

    double started = Seconds();
    int savedLimit = freeLimit, savedUsed = freeUsed;
    std::memcpy(startBoard, board, sizeof startBoard);
    std::memcpy(startCells, freeCells, sizeof startCells);
    freeLimit = freeCellsEnabled + 1;
    RestoreStart();

    // A depth-first search decides most deals: it finds a win or tries every
    // reachable position. With one free cell most deals are lost, which
    // only trying everything can show, so it gets most of the budget there.
    // If it could not decide, a best-first search and then short depth-first
    // searches share the rest, each of those trying moves of equal rank in
    // its own order: wins the first search missed are often found quickly in
    // another order.
    int depth = 0;
    long long first = freeCellsEnabled == 1 ? budget * 3 / 4 : budget / 4;
    int result = IsSolved() ? SOLVE_WON : DepthFirst(first, &depth);
    RestoreStart();
    if (result == SOLVE_UNKNOWN) {
        result = BestFirst((budget - positionsSearched) / 3, &depth);
        RestoreStart();
    }
    for (int restart = 1; restart <= RESTARTS && result == SOLVE_UNKNOWN; restart++) {
        shuffleState = 2654435761u * (unsigned)restart;
        long long share = (budget - positionsSearched) / (RESTARTS + 1 - restart);
        result = DepthFirst(share, &depth);
        RestoreStart();
        // A shuffled search that tried everything proves the loss as well.
    }
    shuffleState = 0;
    if (result == SOLVE_WON)
        WriteLine(ShortenPath(depth));

    freeLimit = savedLimit;
    freeUsed = savedUsed;
    searchSeconds = Seconds() - started;
    return result;
}
