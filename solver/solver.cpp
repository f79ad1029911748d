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
// depth-first look comes first, then beam searches of growing width (each
// level keeps the best positions by how many cards are in order), which find
// the wins a depth-first search misses, and last a depth-first search that
// may try everything.
#include "solver/solver.h"
#include "app/winsys.h"
#include "game/wincheck.h"
#include "solver/store.h"

#include <algorithm>
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

namespace {

// The search's own copy of the table. Cell i (1..40) is column
// (i - 1) % 10 + 1 of row (i - 1) / 10 + 1; 0 is a hole.
int grid[BOARD_COLUMNS * BOARD_ROWS + 1];
// The cell each card is in, 0 while it is parked.
int cellOf[CARD_COUNT + 1];
int parkedCount = 0;
int cellsEnabled = 1;
// The grid packed as the store keeps it, kept up to date cell by cell.
PositionKey key;

int CellAt(int column, int row)
{
    return (row - 1) * BOARD_COLUMNS + column;
}

int ColumnOf(int cell)
{
    return (cell - 1) % BOARD_COLUMNS + 1;
}

bool IsKing(int card)
{
    return card % 10 == 0;
}

void SetCell(int cell, int card)
{
    unsigned long long change = (unsigned long long)(grid[cell] ^ card);
    int bit = 6 * (cell - 1);
    key.word[bit >> 6] ^= change << (bit & 63);
    if ((bit & 63) > 58)
        key.word[(bit >> 6) + 1] ^= change >> (64 - (bit & 63));
    grid[cell] = card;
}

void ClearGrid()
{
    std::memset(grid, 0, sizeof grid);
    std::memset(&key, 0, sizeof key);
    for (int card = 1; card <= CARD_COUNT; card++)
        cellOf[card] = 0;
    parkedCount = CARD_COUNT;
}

void PlaceCard(int cell, int card)
{
    if (card != 0) {
        cellOf[card] = cell;
        parkedCount--;
    }
    SetCell(cell, card);
}

// From the game's board (the position the search started from).
void LoadBoard()
{
    ClearGrid();
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++)
            PlaceCard(CellAt(c, r), board[c][r] == CELL_EMPTY ? 0 : board[c][r]);
}

void LoadKey(const PositionKey& p)
{
    ClearGrid();
    for (int cell = 1; cell <= BOARD_COLUMNS * BOARD_ROWS; cell++) {
        int bit = 6 * (cell - 1);
        unsigned long long v = p.word[bit >> 6] >> (bit & 63);
        if ((bit & 63) > 58)
            v |= p.word[(bit >> 6) + 1] << (64 - (bit & 63));
        PlaceCard(cell, (int)(v & 63));
    }
}

bool SameKey(const PositionKey& a, const PositionKey& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The game's rule for a left click: an ace goes to the topmost hole of
// column 1, any other card to the hole right of the card one lower in its
// suit. 0 when there is none.
int Target(int card)
{
    if (IsAce(card)) {
        for (int r = 1; r <= BOARD_ROWS; r++)
            if (grid[CellAt(1, r)] == 0)
                return CellAt(1, r);
        return 0;
    }
    int below = cellOf[card - 1];
    if (below == 0 || ColumnOf(below) == BOARD_COLUMNS || grid[below + 1] != 0)
        return 0;
    return below + 1;
}

// Length of the run from an ace in column 1 along each row: those cards are
// in their final places.
void SettledLengths(int settled[BOARD_ROWS + 1])
{
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int first = CellAt(1, r);
        int n = 0;
        if (IsAce(grid[first]))
            while (n < BOARD_COLUMNS && grid[first + n] == grid[first] + n)
                n++;
        settled[r] = n;
    }
}

bool Won()
{
    int settled[BOARD_ROWS + 1];
    SettledLengths(settled);
    for (int r = 1; r <= BOARD_ROWS; r++)
        if (settled[r] != BOARD_COLUMNS)
            return false;
    return true;
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
            int card = grid[CellAt(c, r)];
            if (card != 0 && !IsAce(card) && grid[CellAt(c - 1, r)] == card - 1)
                score++;
        }
    }
    return score;
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
    int count;
    int next;
    bool applied;
    Undo undo;
};
SearchFrame frames[MAX_SEARCH_DEPTH + 1];

// The line found, move by move, and the positions along it.
Move lineMoves[MAX_SEARCH_DEPTH + 1];
int lineDepth = 0;
PositionKey along[MAX_SEARCH_DEPTH + 1];

void MoveCard(int card, int to)
{
    int from = cellOf[card];
    if (from == 0)
        parkedCount--;
    else
        SetCell(from, 0);
    if (to == 0)
        parkedCount++;
    else
        SetCell(to, card);
    cellOf[card] = to;
}

bool Apply(Move m, Undo* u)
{
    u->move = m;
    u->cardFrom = cellOf[m.card];
    if (m.filler == 0) {
        int to = Target(m.card);
        if (to == 0)
            return false;
        MoveCard(m.card, to);
        return true;
    }
    if (u->cardFrom == 0 || IsAce(m.card) || parkedCount >= cellsEnabled)
        return false;
    MoveCard(m.card, 0);
    if (m.filler == PARK_ALONE)
        return true;
    u->fillerFrom = cellOf[m.filler];
    if (Target(m.filler) != u->cardFrom) {
        MoveCard(m.card, u->cardFrom);
        return false;
    }
    MoveCard(m.filler, u->cardFrom);
    return true;
}

void Revert(const Undo& u)
{
    if (u.move.filler > 0)
        MoveCard(u.move.filler, u.fillerFrom);
    MoveCard(u.move.card, u.cardFrom);
}

// Cards that go into their final places first, then cards leaving free
// cells, then parks that let a card into its final place, then the rest;
// in the order found within a rank.
void Generate(SearchFrame* f)
{
    int settled[BOARD_ROWS + 1];
    SettledLengths(settled);
    int rank[MAX_MOVES];
    bool listed[CARD_COUNT + 1] = {};
    int n = 0;
    auto add = [&](int card, int filler, int r) {
        int i = n++;
        for (; i > 0 && rank[i - 1] > r; i--) {
            f->moves[i] = f->moves[i - 1];
            rank[i] = rank[i - 1];
        }
        f->moves[i] = Move{ (signed char)card, (signed char)filler };
        rank[i] = r;
    };

    // Left clicks: only a card one above a hole's left neighbour, or an ace
    // for column 1, can have a target.
    for (int r = 1; r <= BOARD_ROWS; r++) {
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            int hole = CellAt(c, r);
            if (grid[hole] != 0)
                continue;
            if (c == 1) {
                for (int ace = 1; ace <= CARD_COUNT; ace += 10) {
                    if (listed[ace])
                        continue;
                    listed[ace] = true;
                    add(ace, 0, cellOf[ace] != 0 && ColumnOf(cellOf[ace]) == 1 ? 3 : 0);
                }
                continue;
            }
            int below = grid[hole - 1];
            if (below == 0 || IsKing(below) || listed[below + 1])
                continue;
            int card = below + 1;
            listed[card] = true;
            add(card, 0, settled[r] >= c - 1 ? 0 : cellOf[card] == 0 ? 1 : 3);
        }
    }

    // Parks, each with the fill of the place it opens.
    if (parkedCount < cellsEnabled) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            bool holeAbove = false;
            for (int above = 1; above < r; above++)
                if (grid[CellAt(1, above)] == 0)
                    holeAbove = true;
            for (int c = 1; c <= BOARD_COLUMNS; c++) {
                int card = grid[CellAt(c, r)];
                if (card == 0 || IsAce(card))
                    continue;
                if (searchPlain) {
                    add(card, PARK_ALONE, 4);
                } else if (c == 1) {
                    // The place becomes the topmost hole of column 1 unless
                    // one is above it; then no ace could fill it.
                    if (holeAbove)
                        continue;
                    for (int ace = 1; ace <= CARD_COUNT; ace += 10)
                        add(card, ace, cellOf[ace] != 0 && ColumnOf(cellOf[ace]) == 1 ? 4 : 2);
                } else {
                    int below = grid[CellAt(c - 1, r)];
                    if (below == 0 || IsKing(below) || below + 1 == card)
                        continue;
                    add(card, below + 1, settled[r] >= c - 1 ? 2 : 4);
                }
            }
        }
    }
    f->count = n;
    f->next = 0;
    f->applied = false;
}

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

double searchStarted = 0;

// Counts a new position against the budget; STOP_NONE while the search may
// go on.
int CountPosition(long long budget, long long* reached)
{
    positionsSearched++;
    if (++*reached >= budget)
        return STOP_BUDGET;
    if ((*reached & 4095) == 0) {
        if (searchTimeLimit > 0 && Seconds() - searchStarted > searchTimeLimit)
            return STOP_TIME;
        if (searchInterrupted && searchInterrupted())
            return STOP_INTERRUPTED;
    }
    return STOP_NONE;
}

// A stop that ends the whole search, not only one stage of it.
bool StopsAll(int stop)
{
    return stop == STOP_TIME || stop == STOP_INTERRUPTED;
}

void NoteMemory(unsigned long long other)
{
    if (storePeak + other > searchMemory)
        searchMemory = storePeak + other;
}

// Starts a search from the start position, which counts as reached.
void StartStage(long long* reached)
{
    LoadBoard();
    ClearStore();
    StorePosition(key);
    positionsSearched++;
    *reached = 1;
}

// Depth first, best moves first, every position entered once; on a win the
// line is left in lineMoves. A path that would go deeper than the frames
// allow is cut, which makes the answer "unknown" rather than "lost".
int DepthFirst(long long budget)
{
    long long reached;
    StartStage(&reached);
    int stop = reached >= budget ? STOP_BUDGET : STOP_NONE;
    bool cut = false;
    int d = 1;
    Generate(&frames[1]);
    while (d >= 1 && stop == STOP_NONE) {
        SearchFrame* f = &frames[d];
        if (f->applied) {
            Revert(f->undo);
            f->applied = false;
        }
        if (f->next >= f->count) {
            d--;
            continue;
        }
        if (!Apply(f->moves[f->next++], &f->undo))
            continue;
        f->applied = true;
        int stored = StorePosition(key);
        if (stored == STORE_SEEN)
            continue;
        if (stored == STORE_FULL) {
            stop = STOP_MEMORY;
            break;
        }
        if (Won()) {
            for (lineDepth = 0; lineDepth < d; lineDepth++)
                lineMoves[lineDepth + 1] = frames[lineDepth + 1].undo.move;
            NoteMemory(0);
            return SOLVE_WON;
        }
        stop = CountPosition(budget, &reached);
        if (d == MAX_SEARCH_DEPTH) {
            cut = true;
            continue;
        }
        Generate(&frames[++d]);
    }
    NoteMemory(0);
    searchStop = stop != STOP_NONE ? stop : cut ? STOP_DEPTH : STOP_NONE;
    return searchStop == STOP_NONE ? SOLVE_LOST : SOLVE_UNKNOWN;
}

// A position the beam keeps, the one it came from and the move between.
struct BeamNode {
    PositionKey position;
    int parent;
    Move move;
    short score;
    unsigned tie;
};

// The most levels (moves) a beam goes down; winning lines are far shorter.
constexpr int BEAM_LEVELS = 250;

bool Better(const BeamNode& a, const BeamNode& b)
{
    return a.score != b.score ? a.score > b.score : a.tie < b.tie;
}

// Keeps the best width of count candidates.
int Keep(BeamNode* candidates, int count, int width)
{
    if (count <= width)
        return count;
    std::nth_element(candidates, candidates + width, candidates + count, Better);
    return width;
}

// Beam search: from each level of at most width positions, every move; the
// best width of the new positions make the next level. It finds wins, never
// losses: a beam that runs dry has dropped positions it did not try.
int BeamSearch(int width, long long budget)
{
    int candidateRoom = 4 * width;
    unsigned long long wanted = ((unsigned long long)width * BEAM_LEVELS + candidateRoom) * sizeof(BeamNode);
    unsigned long long room = std::min(wanted, storeLimit / 4);
    int nodeRoom = (int)(room / sizeof(BeamNode)) - candidateRoom;
    unsigned char* arena = nullptr;
    if (nodeRoom > width && (SIZE_T)room == room)
        arena = (unsigned char*)VirtualAlloc(nullptr, (SIZE_T)room, MEM_RESERVE, PAGE_READWRITE);
    if (!arena || !VirtualAlloc(arena, (SIZE_T)candidateRoom * sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE)) {
        if (arena)
            VirtualFree(arena, 0, MEM_RELEASE);
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }
    BeamNode* candidates = (BeamNode*)arena;
    BeamNode* nodes = candidates + candidateRoom;
    unsigned long long fullLimit = storeLimit;
    storeLimit -= room;

    long long reached;
    StartStage(&reached);
    int result = SOLVE_UNKNOWN, stop = STOP_NONE, winner = -1;
    Move winningMove = {};
    VirtualAlloc(nodes, sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
    nodes[0] = BeamNode{ key, -1, Move{}, 0, 0 };
    int levelBegin = 0, levelEnd = 1, level = 0;
    unsigned long long committed = (unsigned long long)(candidateRoom + 1) * sizeof(BeamNode);
    while (levelBegin < levelEnd && winner < 0 && stop == STOP_NONE) {
        int count = 0;
        for (int n = levelBegin; n < levelEnd && winner < 0 && stop == STOP_NONE; n++) {
            LoadKey(nodes[n].position);
            SearchFrame f;
            Generate(&f);
            for (int i = 0; i < f.count && winner < 0 && stop == STOP_NONE; i++) {
                Undo u;
                if (!Apply(f.moves[i], &u))
                    continue;
                int stored = StorePosition(key);
                if (stored == STORE_FULL) {
                    stop = STOP_MEMORY;
                } else if (stored == STORE_NEW && Won()) {
                    winner = n;
                    winningMove = f.moves[i];
                } else if (stored == STORE_NEW) {
                    unsigned long long mix = (key.word[0] ^ key.word[1] * 0x9E3779B97F4A7C15ull ^ key.word[2]) *
                                             0xC2B2AE3D27D4EB4Full;
                    candidates[count++] = BeamNode{ key, n, f.moves[i], (short)Score(), (unsigned)(mix >> 32) };
                    if (count == candidateRoom)
                        count = Keep(candidates, count, width);
                    stop = CountPosition(budget, &reached);
                }
                Revert(u);
            }
        }
        count = Keep(candidates, count, width);
        if (levelEnd + count > nodeRoom || ++level >= BEAM_LEVELS) {
            if (winner < 0 && stop == STOP_NONE)
                stop = count > 0 ? STOP_DEPTH : STOP_NONE;
            break;
        }
        VirtualAlloc(nodes + levelEnd, (SIZE_T)count * sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
        committed += (unsigned long long)count * sizeof(BeamNode);
        std::copy(candidates, candidates + count, nodes + levelEnd);
        levelBegin = levelEnd;
        levelEnd += count;
    }
    if (winner >= 0) {
        int d = 0;
        for (int n = winner; n > 0; n = nodes[n].parent)
            d++;
        lineDepth = d + 1;
        lineMoves[lineDepth] = winningMove;
        for (int n = winner; n > 0; n = nodes[n].parent)
            lineMoves[d--] = nodes[n].move;
        result = SOLVE_WON;
    }
    NoteMemory(committed);
    storeLimit = fullLimit;
    VirtualFree(arena, 0, MEM_RELEASE);
    searchStop = result == SOLVE_WON ? STOP_NONE : stop != STOP_NONE ? stop : STOP_DEPTH;
    return result;
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
    std::memset(alongIndex, 0, sizeof alongIndex);
    LoadBoard();
    Undo u;
    for (int d = 0; d <= lineDepth; d++) {
        if (d > 0)
            Apply(lineMoves[d], &u);
        along[d] = key;
        unsigned i = AlongSlot(key);
        while (alongIndex[i] != 0)
            i = (i + 1) & ((1u << ALONG_BITS) - 1);
        alongIndex[i] = d + 1;
    }
    LoadBoard();
    int kept = 0;
    for (int at = 0; at < lineDepth;) {
        int best = at + 1;
        Move bestMove = lineMoves[at + 1];
        SearchFrame f;
        Generate(&f);
        for (int i = 0; i < f.count; i++) {
            if (!Apply(f.moves[i], &u))
                continue;
            int j = FindAlong(key);
            if (j > best) {
                best = j;
                bestMove = f.moves[i];
            }
            Revert(u);
        }
        lineMoves[++kept] = bestMove;
        Apply(bestMove, &u);
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

// With more than one free cell: the depth-first look before the beams, and
// the beams' widths.
constexpr long long FIRST_LOOK = 100000;
constexpr int FIRST_WIDTH = 1000;
constexpr int WIDEST = 64000;

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

    searchStarted = Seconds();
    int savedLimit = freeLimit, savedUsed = freeUsed;
    std::memcpy(startBoard, board, sizeof startBoard);
    std::memcpy(startCells, freeCells, sizeof startCells);
    freeLimit = freeCellsEnabled + 1;
    cellsEnabled = freeCellsEnabled;
    ResetStorePeak();
    LoadBoard();

    int result;
    lineDepth = 0;
    if (Won()) {
        result = SOLVE_WON;
    } else if (freeCellsEnabled == 1) {
        result = DepthFirst(budget);
    } else {
        result = DepthFirst(std::min(budget, FIRST_LOOK));
        for (int width = FIRST_WIDTH; width <= WIDEST && result == SOLVE_UNKNOWN; width *= 4)
            if (!StopsAll(searchStop) && positionsSearched < budget)
                result = BeamSearch(width, budget - positionsSearched);
        if (result == SOLVE_UNKNOWN && !StopsAll(searchStop) && positionsSearched < budget)
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
    ClearStore();
    RestoreStart();
    freeLimit = savedLimit;
    freeUsed = savedUsed;
    searchSeconds = Seconds() - searchStarted;
    return result;
}
