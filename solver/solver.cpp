// The search over the game's positions: SolvePosition and what its callers
// ask of it.
//
// The order of searches. With one free cell a single depth-first search
// decides every deal: it finds a win or tries every reachable position, and
// most deals are lost, which only trying everything shows. With more free
// cells nearly every deal is won but the spaces are vast, and a depth-first
// search can spend its life under one early wrong move; so a short
// depth-first look comes first, then a best-first search of a few million
// positions kept near the start (moves weigh twice as much as cards in
// order), which wins most of what the look misses, then a beam search
// (each level keeps the best 16,000 positions by how many cards are in
// order), then a best-first search with cards and moves alike, which finds
// the rest and, run to its end, tries everything; where it ends undecided,
// searches with the suits' rows fixed (RowsFixed), which won two deals those
// before it had left undecided after 160 million positions. On the deals
// the look misses, measured one search at a time, this order takes about a
// quarter less time in all than the beams first. Which search decides each
// deal of the table, and what each costs: docs/SOLVABILITY.md.
// Apart from these, asked for by name (searchLayers): the search layer by
// layer (LayeredSearch), which tries every position with one layer of them
// in memory at a time, for losses the store cannot hold.
//
// Where things are: the position and its moves, with why the moves the
// searches make are enough, in position.cpp; the threads and the stages they
// run in threads.cpp; each search in a file of its own (depthfirst.cpp,
// beams.cpp, bestfirst.cpp with the rows fixed, layers.cpp); the line found
// in line.cpp. search.h declares what they share.
#include "solver/search.h"

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
int searchRowsFixed = 0;
int searchThreads = 0;
const char* searchLayers = nullptr;
const char* searchDecider = "";
const char* searchLeftOut = nullptr;

namespace {

// With more than one free cell: the depth-first look, the positions of the
// best-first search kept near the start that follows it, and the beam's
// width.
constexpr long long FIRST_LOOK = 100000;
constexpr long long NEAR_BUDGET = 4000000;
constexpr int BEAM_WIDTH = 16000;
// Positions kept from the last best-first search for the rows fixed, unless
// that would leave it less than half of what is left.
constexpr long long ROWS_BUDGET = 96000000;

// Whether the search of this name runs (it is not the one left out).
bool Runs(const char* name)
{
    return searchLeftOut == nullptr || std::strcmp(name, searchLeftOut) != 0;
}

// A search's answer, and if it is one, which search gave it.
int Decided(const char* name, int result)
{
    if (result != SOLVE_UNKNOWN)
        searchDecider = name;
    return result;
}

// The game's free cells, put back after the search.
int savedLimit, savedUsed;

// The search set up from the game's board: false when its threads cannot
// be had.
bool BeginSearch(int freeCellsEnabled)
{
    if (storeLimit == 0)
        SetStoreLimit(FreeMemoryForSearch());
    if (!SetUpThreads())
        return false;
    searchStarted = Seconds();
    savedLimit = freeLimit;
    savedUsed = freeUsed;
    KeepStart();
    freeLimit = freeCellsEnabled + 1;
    cellsEnabled = freeCellsEnabled;
    FillTables();
    ResetStorePeak();
    LoadBoard(searchers[1].position);
    lineDepth = 0;
    return true;
}

// The memory beyond what is kept given back, the game as it was.
void EndSearch()
{
    ShrinkStore();
    ShrinkNodeRegion();
    RestoreStart();
    freeLimit = savedLimit;
    freeUsed = savedUsed;
    searchSeconds = Seconds() - searchStarted;
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
    searchDecider = "";
    positionsSearched = 0;
    searchSeconds = 0;
    searchStop = STOP_NONE;
    searchMemory = 0;
    if (!IsValidPosition(freeCellsEnabled))
        return SOLVE_INVALID;
    if (!BeginSearch(freeCellsEnabled)) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }

    int result = SOLVE_UNKNOWN;
    if (Won(searchers[1].position)) {
        result = Decided("start", SOLVE_WON);
    } else if (searchLayers) {
        result = Decided("layers", LayeredSearch(budget));
    } else if (searchRowsFixed) {
        result = Decided("rows fixed", RowsFixed(budget));
    } else if (freeCellsEnabled == 1) {
        result = Decided("depth first", DepthFirst(budget));
    } else {
        if (Runs("first look"))
            result = Decided("first look", DepthFirst(std::min(budget, FIRST_LOOK)));
        // Moves weighing twice as much keep the search nearer the start.
        if (GoesOn(result, budget) && Runs("near"))
            result = Decided("near", BestFirst(std::min(budget - positionsSearched, NEAR_BUDGET), 1, 2));
        if (GoesOn(result, budget) && Runs("beam"))
            result = Decided("beam", BeamSearch(BEAM_WIDTH, budget - positionsSearched));
        if (GoesOn(result, budget) && Runs("best first")) {
            long long left = budget - positionsSearched;
            result = Decided("best first", BestFirst(std::max(left - ROWS_BUDGET, left / 2), 1, 1));
        }
        if (GoesOn(result, budget) && Runs("rows fixed"))
            result = Decided("rows fixed", RowsFixed(budget));
    }
    if (result == SOLVE_WON) {
        ShortenLine();
        WriteLine();
        // Never an unproved win: the line must win the game by its rules.
        if (!LineWins()) {
            result = SOLVE_UNKNOWN;
            winningLength = 0;
            searchDecider = "";
        }
    }
    EndSearch();
    return result;
}
