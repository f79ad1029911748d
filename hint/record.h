// The player's record: one line for every game the companion watched, in
// %APPDATA%\Orvenna 2000\partite.csv (UTF-8, a header line, comma-separated),
// and the sums its window shows. What is recorded is the player's: no write,
// crash, kill or full disk may lose or damage a line already there.
#pragma once

#include "app/winsys.h"

// Why the record could not be kept as it should (recordProblem).
constexpr int RECORD_FINE = 0;
constexpr int RECORD_SET_ASIDE = 1;      // the file could not be read: set aside as recordAside
constexpr int RECORD_CANNOT_WRITE = 2;   // the folder cannot be written: tried again at the next game's end
constexpr int RECORD_OTHER_KEEPS = 3;    // another companion keeps the record
extern int recordProblem;
extern wchar_t recordFolder[MAX_PATH];
extern wchar_t recordPath[MAX_PATH];
extern wchar_t recordAside[MAX_PATH];  // the set-aside file's name

// The sums of the lines on file: games, won, and could have been won but were not.
extern int recordGames;
extern int recordWon;
extern int recordWinnableLost;

// The game being watched; the worker fills it in as the game goes.
constexpr int FEWEST_AT_START_UNKNOWN = 0;
constexpr int FEWEST_AT_START_NONE = 5;  // not even with 4 free cells
extern int gameWatched;
extern int gameFromDeal;      // 1 when its first table seen was the deal itself
extern long long gameSecond;  // the deal's clock second, 0 when not known
extern int gameCells;         // the free cells enabled
extern int gameFewest;        // the fewest free cells that win its deal: 1 to 4, or the two above
extern int gameAnswer;        // the verdict on the table last decided
extern int gameWinnable;      // 1 once a table of it was winnable with the free cells enabled
extern int gameLosingMove;    // the number of the move that lost it, 0 when none was named
extern int gameMoves;

// Test hooks: the bytes a write may put into the files before it stops as a
// killed process would (no clean-up, no replacing), or before the disk is
// full; -1: no limit.
extern long long recordStopAfter;
extern long long recordFullAfter;

// Finds the folder, takes the record for this companion alone (a second
// companion says that another keeps it) and reads the sums. A file that
// cannot be read is set aside then.
void OpenRecord();
// A new game is seen; the board state holds its first table. A deal not yet
// played is looked for among the clock's seconds around now.
void StartGameRecord();
// The watched game has ended (won, or left: a new deal, the game closed):
// its line is written with any still waiting from before. Returns 1 when
// every waiting line is on file.
int EndGameRecord(int won);
