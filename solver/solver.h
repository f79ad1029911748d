// Deciding a position of the game for a fixed number of free cells: won
// (with a winning line of clicks), lost (every reachable position tried) or
// unknown (the budget ran out first). The search plays on the game's own
// board state with the game's own rule functions, and leaves the state as it
// found it.
#pragma once

#include "game/board.h"
#include "game/moves.h"

constexpr int SOLVE_INVALID = 0;
constexpr int SOLVE_WON = 1;
constexpr int SOLVE_LOST = 2;
constexpr int SOLVE_UNKNOWN = 3;

// One click of a winning line: the card clicked and the button.
struct LineClick {
    int card;
    int button;
};

// The longest search path, in moves; a path that would go deeper is cut and
// makes the answer "unknown" rather than wrong.
constexpr int MAX_SEARCH_DEPTH = 20000;
constexpr int MAX_LINE = 2 * MAX_SEARCH_DEPTH;
// The most positions one search may remember.
constexpr long long MAX_BUDGET = 3000000;

// The line of the last search that found a win: clicks 1..winningLength.
extern LineClick winningLine[MAX_LINE + 1];
extern int winningLength;
// Positions the last search reached for the first time, and its time.
extern long long positionsSearched;
extern double searchSeconds;

// 1 when board and freeCells hold a position the game can reach with the
// given number of free cells enabled: every card once, one hole per parked
// card, parked cards only in enabled cells, sentinels zero.
int IsValidPosition(int freeCellsEnabled);
// Decides the position in board and freeCells with 1 to 4 free cells enabled,
// remembering at most budget positions (capped at MAX_BUDGET).
int SolvePosition(int freeCellsEnabled, long long budget);

// Plays one click on a card where it lies, on the board state alone, as the
// game's click handlers do, with freeLimit as it stands. Returns 1 when the
// table changed.
int ApplyClick(int card, int button);

// The moves the search tries from the position in board and freeCells, best
// first: cards[i] is clicked; when fillers[i] is not 0 the click is a right
// click that parks cards[i], and fillers[i] is then moved into its place by a
// left click. Returns the number of moves.
constexpr int MAX_MOVES = 96;
int ListSearchMoves(int freeCellsEnabled, int cards[MAX_MOVES], int fillers[MAX_MOVES]);
