// What the solver's files share, each thing declared here once: the
// position as the search holds it and its moves (position.cpp), the threads
// and the stages they run (threads.cpp), the line found (line.cpp), and the
// searches, one a file (depthfirst.cpp, beams.cpp, bestfirst.cpp,
// layers.cpp). SolvePosition (solver.cpp) runs them in order. What is used
// position by position is defined here, inline, for the searches' inner
// loops.
#pragma once
#include "app/winsys.h"
#include "solver/solver.h"
#include "solver/store.h"

// ---- The position and its moves (position.cpp)

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
extern int cellsEnabled;

// Tables for the above, made once a search: the column and row of each cell
// (0 for cell 0, a parked card's); the game's IsAce for each card (0 for a
// hole); follows[a][b] when b, a card but not an ace, is one above a in its
// suit; the KeySum of a key holding only that card in that cell.
extern int columnOf[CELL_COUNT + 1];
extern int rowOf[CELL_COUNT + 1];
extern bool isAce[CARD_COUNT + 1];
extern unsigned char follows[CARD_COUNT + 1][CARD_COUNT + 1];
extern unsigned long long cellSum[CELL_COUNT + 1][CARD_COUNT + 1];
// The cells of column 1, the only ones an ace goes to.
constexpr unsigned long long COLUMN_ONE = 1ull << 1 | 1ull << 11 | 1ull << 21 | 1ull << 31;
// While the rows are fixed (RowsFixed): the row of column 1 each suit's ace
// may go to, by suit 1 to 4 (one suit a row), 0 in every other search; and
// how many aces may stand in column 1 outside their rows at once.
extern int aceRow[BOARD_ROWS + 1];
extern int acesAstray;

inline int RowOfAce(int ace)
{
    return aceRow[(ace - 1) / BOARD_COLUMNS + 1];
}

inline int CellAt(int column, int row)
{
    return (row - 1) * BOARD_COLUMNS + column;
}

inline bool IsKing(int card)
{
    return card % 10 == 0;
}

// The lowest cell whose bit is set in a nonzero mask.
inline int LowestCell(unsigned long long bits)
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

inline void FlipKey(PositionKey& k, int cell, int change)
{
    int bit = 6 * (cell - 1);
    k.word[bit >> 6] ^= (unsigned long long)change << (bit & 63);
    if ((bit & 63) > 58)
        k.word[(bit >> 6) + 1] ^= (unsigned long long)change >> (64 - (bit & 63));
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

inline bool SameKey(const PositionKey& a, const PositionKey& b)
{
    return ((a.word[0] ^ b.word[0]) | (a.word[1] ^ b.word[1]) | (a.word[2] ^ b.word[2]) | (a.word[3] ^ b.word[3])) == 0;
}

// The game's rule for a left click: an ace goes to the topmost hole of
// column 1, any other card to the hole right of the card one lower in its
// suit. 0 when there is none.
inline int Target(Position& p, int card)
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

inline bool Won(Position& p)
{
    return p.settledCount == CELL_COUNT;
}

// Settled cards count most; a card right of the card one lower in its suit,
// anywhere, counts too. For a beam node's position.
inline int Score(Position& p)
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

inline bool Apply(Position& p, Move m, Undo* u)
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

inline void Revert(Position& p, const Undo& u)
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

inline int ChangesOf(Position& p, Move m, Change change[3])
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
inline void KeyAfter(Position& p, Move m, PositionKey* after)
{
    Change change[3];
    int n = ChangesOf(p, m, change);
    *after = p.key;
    for (int i = 0; i < n; i++)
        FlipKey(*after, change[i].cell, p.grid[change[i].cell] ^ change[i].card);
}


// The pairs the changed cells are in, each once: a cell's pair with its
// left neighbour, and with its right one unless that cell changes too.
inline int PairsAround(Position& p, const Change change[3], int n, unsigned long long changed)
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
inline int ScoreAfter(Position& p, Move m, int* settledAfter)
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

void FillTables();
void RecountSettled(Position& p);
void RecountPlaces(Position& p);
void RecountPairs(Position& p);
void LoadBoard(Position& p);
void LoadKey(Position& p, const PositionKey& k);
void Generate(Position& p, SearchFrame* f);

// ---- The threads and the stages they run (threads.cpp)

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
extern Searcher searchers[MAX_THREADS + 1];
// The threads a search may use, those of the stage running (the beams use
// one), and those started.
extern int threadCount;
extern int stageThreads;
extern volatile LONG threadsRunning;
// Threads waiting for work; nonzero makes the others look for some to hand.
extern volatile LONG hungryCount;
// Nonzero once the stage has ended: a STOP_ reason, STAGE_WON or
// STAGE_EXHAUSTED. The first to end it says why.
extern volatile LONG stageEnded;
// Positions of the stage counted so far, and the most it may reach.
extern volatile LONG64 stageReached;
extern long long stageBudget;
extern Position stageStart;
extern CRITICAL_SECTION workLock;
// The kind of stage running: its threads start in its own loop.
extern bool bestStage;
extern bool beamStage;
// When the search began (Seconds), for its time limit.
extern double searchStarted;
extern unsigned long long nodeRegionWritten;

double Seconds();
// Once for the program, then for each search: its threads; false when
// their memory cannot be had.
bool SetUpThreads();
bool EndStage(LONG why);
void CountFresh(Searcher& s);
bool TakeFrames(Searcher& s);
void StartThreads();
void JoinThreads();
void CheckStops(Searcher& s);
bool StopsAll(int stop);
bool GoesOn(int result, long long budget);
void NoteMemory(unsigned long long other);
unsigned char* NodeRegion(unsigned long long room);
void LeaveNodeRegion(unsigned long long committed);
unsigned long long NodeRoom();
unsigned long long NodesKept();
void ShrinkNodeRegion();
void StartStage(int threads, long long budget);
int StageAnswer();

// Counts a new position against the budget; true when the stage has ended.
// Every few thousand: the count made known to the other threads, the time
// and the caller asked, the other threads started.
inline bool CountPosition(Searcher& s)
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

// With one free cell, at most this many positions in a row go unstored
// (see SearchFrom).
constexpr int UNSTORED_RUN = 64;

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

// ---- The line found (line.cpp)

// The line found, move by move.
extern Move lineMoves[MAX_SEARCH_DEPTH + 1];
extern int lineDepth;

// The position the search starts from, kept, and put back after it.
void KeepStart();
void RestoreStart();
void ShortenLine();
void WriteLine();
bool LineWins();

// ---- The searches, one a file

// depthfirst.cpp; Work is a thread's part of its stage.
int DepthFirst(long long budget);
void Work(Searcher& s, bool hasWork);
// beams.cpp
int BeamSearch(int width, long long budget);
void BeamWork(Searcher& s);
// bestfirst.cpp, with the rows fixed; SetUpBestFirst once for the program.
int BestFirst(long long budget, int scoreWeight, int depthWeight);
void BestWork(Searcher& s);
int RowsFixed(long long budget);
void SetUpBestFirst();
// layers.cpp
int LayeredSearch(long long budget);
