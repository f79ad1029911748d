// Deciding a position of the game for a fixed number of free cells: won
// (with a winning line of clicks, replayed through the game's own click
// rules before it is given), lost (every reachable position tried) or
// unknown (the budget, the time or the memory ran out first). The search
// starts from the game's own board state and leaves it as it found it.
#pragma once

#include "game/board.h"
#include "game/moves.h"

constexpr int SOLVE_INVALID = 0;
constexpr int SOLVE_WON = 1;
constexpr int SOLVE_LOST = 2;
constexpr int SOLVE_UNKNOWN = 3;

// Why an answer is unknown.
constexpr int STOP_NONE = 0;
constexpr int STOP_BUDGET = 1;
constexpr int STOP_MEMORY = 2;
constexpr int STOP_TIME = 3;
constexpr int STOP_DEPTH = 4;
constexpr int STOP_INTERRUPTED = 5;
// Only in the search layer by layer (searchLayers): a won position reached
// (that search keeps no line); a file of the layers' folder not written or
// read; a move to a layer not after its own (which that search's argument
// rules out).
constexpr int STOP_NO_LINE = 6;
constexpr int STOP_FILES = 7;
constexpr int STOP_LAYERS = 8;

// One click of a winning line: the card clicked and the button.
struct LineClick {
    int card;
    int button;
};

// The longest search path, in moves; a path that would go deeper is cut and
// makes the answer "unknown" rather than wrong.
constexpr int MAX_SEARCH_DEPTH = 20000;
constexpr int MAX_LINE = 2 * MAX_SEARCH_DEPTH;
// The positions a search may reach unless told otherwise: every deal with
// one free cell needs far fewer.
constexpr long long DEFAULT_BUDGET = 160000000;

// The line of the last search that found a win: clicks 1..winningLength.
extern LineClick winningLine[MAX_LINE + 1];
extern int winningLength;
// Positions the last search reached for the first time (with one free cell,
// a position with one move or none each time it was reached), its time, and
// why it stopped when its answer is unknown.
extern long long positionsSearched;
extern double searchSeconds;
extern int searchStop;
// The most memory the last search held at once, in bytes.
extern unsigned long long searchMemory;
// Seconds a search may take; 0 for no limit.
extern double searchTimeLimit;
// Asked every few thousand new positions, in the searching thread, while a
// search runs: nonzero stops it at once, its answer unknown
// (STOP_INTERRUPTED). Null: never asked. Lets a caller show progress and
// drop a search whose position no longer matters.
extern int (*searchInterrupted)();
// 1: every click the game accepts is a move, without the pruning of parks
// (to check that the pruning never changes an answer).
extern int searchPlain;
// 1: only the search with the suits' rows fixed, which the others end with
// (to try it alone): it finds wins, never losses.
extern int searchRowsFixed;
// The searches SolvePosition runs, by name: "depth first" (with one free
// cell), or "first look", "near", "beam", "best first" and "rows fixed" in
// that order; "layers" and "rows fixed" when asked for alone, "start" for a
// start already won. The one whose answer the last search gave ("" while
// undecided), and one left out where it would run (null for none), to see
// what the others decide without it.
extern const char* searchDecider;
extern const char* searchLeftOut;
// A folder (that exists) for the search layer by layer, which tries every
// position reachable, one layer in memory at a time and the positions
// waiting for later layers in files there: with it, SolvePosition runs only
// that search (one thread), which proves losses the store cannot hold and
// finds no lines. Null: never (the default).
extern const char* searchLayers;
// The threads a search may use: 0 for one a processor (the default). Every
// number of threads gives the same answer; with more than one, the winning
// line and the positions tried may differ from run to run.
extern int searchThreads;

// 1 when board and freeCells hold a position the game can reach with the
// given number of free cells enabled: every card once, one hole per parked
// card, parked cards only in enabled cells, sentinels zero.
int IsValidPosition(int freeCellsEnabled);
// Writes the memory searches keep from one to the next, between searches,
// so that those after find it ready: for a caller that decides one position
// after another. At most this many bytes at a call; 1 once all is written.
int WarmSearchMemory(unsigned long long most);
// Decides the position in board and freeCells with 1 to 4 free cells
// enabled, reaching at most budget positions.
int SolvePosition(int freeCellsEnabled, long long budget);

// Plays one click on a card where it lies, on the board state alone, as the
// game's click handlers do, with freeLimit as it stands. Returns 1 when the
// table changed.
int ApplyClick(int card, int button);
