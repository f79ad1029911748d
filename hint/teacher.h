// What the companion teaches beside its verdict: the click that turned a
// winnable table into a lost one, and the fewest free cells that would still
// win a lost one. It follows the game table by table as the companion sees
// them, fills in the clicks between two looks, and decides the tables it
// needs with the solver, each answer kept for when it is asked again.
#pragma once

#include "game/board.h"
#include "solver/solver.h"

// One table of the game: the grid with its sentinels and the free cells.
struct Table {
    int board[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
    int cells[FREE_CELL_COUNT + 1];
};

// The most clicks looked for between two tables seen one after the other.
constexpr int MAX_CLICKS_BETWEEN = 6;

// What the fewest-cells line says (fewestCells gives the count).
constexpr int FEWEST_NONE = 0;        // nothing to say: the table can be won, or 4 cells are on
constexpr int FEWEST_SEARCHING = 1;   // fewestCells is being decided
constexpr int FEWEST_WINS = 2;        // fewestCells is the fewest that win
constexpr int FEWEST_NEVER = 3;       // not even with 4
constexpr int FEWEST_UNDECIDED = 4;   // fewestCells could not be decided (memory, depth)
extern int fewestState;
extern int fewestCells;

// The losing move of this game, once named: the click and the first click of
// a winning line from the table before it, both in words with the places as
// they were before the click ([1]: the click, [2]: the winning one).
extern int losingNamed;
extern int losingMove;  // its number among the moves of the game
extern LineClick losingClick;
extern LineClick losingAlternative;
extern char losingItalian[3][120];
extern char losingEnglish[3][120];

// The moves of this game seen so far, the clicks between two looks counted.
extern int movesSeen;

// Positions each of the teacher's searches may reach (tests make it small).
extern long long teacherBudget;

// Copies between a Table and the board state (board, freeCells, freeUsed).
void LoadTable(const Table& table);
void SaveTable(Table* table);
int SameTables(const Table& one, const Table& other);

// The shortest run of at most MAX_CLICKS_BETWEEN clicks that leads from one
// table to the other under the game's click rules with the given free cells:
// its length (0 for the same table), or -1 when there is none. Leaves the
// board state as it found it.
int ConnectTables(const Table& from, const Table& to, int cells, LineClick clicks[MAX_CLICKS_BETWEEN + 1]);

// The table in the board state is the one the game shows now. Returns 1
// when a few clicks lead to it from the table seen before (the same game),
// 0 when none do, which is a new game: the lessons of the last are dropped.
int TeacherSees(int cells);
// 1 when the table now seen is known to be lost with the given free cells:
// it follows from a table of this game already proved lost with as many.
int KnownLost(int cells);
// The answer the companion found itself for the table now seen, so that it
// is not searched again (with the first click of its line when won).
void TeacherKnows(int cells, int answer, int stop, const LineClick* first);
// Works out what is still open for the table now seen with the given free
// cells: the losing move (deciding the tables since the last one known to be
// winnable), then, unless told not to, the fewest cells. Returns 0 when a
// search was interrupted (searchInterrupted), to be called again for the
// next table; 1 when every answer is in.
int TeacherWork(int cells, int fewestToo = 1);
