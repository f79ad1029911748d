// Helpers shared by the tests: the program's main window inside the test
// process, messages straight into its window procedure, and the program's
// calls to the media, sound and shell services, recorded instead of made.
#pragma once

#include "app/winsys.h"

#include <string>
#include <vector>

// Start-up before the message loop, from the load-time music state; a window
// opened earlier in the same process is closed first.
void OpenMainWindow(int showState = SW_HIDE);
void CloseMainWindow();
// A new game dealt from the given seed.
void StartGame(unsigned int seed);
void PumpMessages();
POINT ChildPosition(HWND child);
// CLICK_LEFT or CLICK_RIGHT at a client point; the window procedure's answer.
LRESULT Click(int button, int x, int y);
LRESULT Command(int id);
UINT MenuState(UINT id);
// The middle of grid cell (column, row), or of free cell row for column 12.
POINT CellPoint(int column, int row);
// Clicks the card where the board says it lies.
LRESULT ClickCard(int card, int button);
// The board, free cells and freeUsed as one value, and back.
std::string TableKey();
void SetTableKey(const std::string& key);
// rows[r][c]: a card or CELL_EMPTY; free[i]: parked cards (0 empty). Views follow.
void LayOut(const int rows[4][10], const int free[4]);
// Every card once, holes = parked cards, counters in range, sentinels zero,
// every view where the board says.
void ExpectConsistentTable();

extern std::vector<std::string> mciTexts, shellCalls;
extern std::vector<HWND> mciWindows;
extern int soundsPlayed;
extern LPCSTR soundName;
extern HMODULE soundModule;
extern DWORD soundFlags;

// Runs action; meanwhile the first box owned by the main window is read and
// sent the given message (WM_COMMAND with a button, or a key).
struct BoxSeen {
    bool shown = false, ownerDisabled = false;
    std::string caption, text;
};
BoxSeen AnswerBox(UINT message, WPARAM wParam, void (*action)());
