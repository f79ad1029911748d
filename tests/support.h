// Helpers shared by the tests: starting the program's main window inside the
// test process, and reading what the window system shows.
#pragma once

#include "app/winsys.h"

#include <string>

// Does what start-up does before the message loop, with the given show state.
// A window opened before in the same process is closed first, so cases may
// also run one after another in one process.
void OpenMainWindow(int showState = SW_SHOWNORMAL);
void CloseMainWindow();
// A new game dealt from the given seed.
void StartGame(unsigned int seed);
// Handles every message waiting for this thread.
void PumpMessages();
std::string WindowText(HWND window);
// The top-left corner of a child window in its parent's client coordinates.
POINT ChildPosition(HWND child);
SIZE WindowSize(HWND window);
int CountChildWindows(HWND parent);

#include <vector>

// The program's calls to the media and sound services, as the test program
// makes them: each is recorded, then passed on to the platform.
struct MediaCommand {
    std::string text;
    HWND callback;
};
extern std::vector<MediaCommand> mediaCommands;
extern int soundsPlayed;
extern DWORD lastSoundFlags;
extern LPCSTR lastSoundName;
extern HMODULE lastSoundModule;
// 0 stops passing sounds on to the platform, so that long runs stay fast.
extern bool soundsAudible;
extern std::vector<std::string> shellOpened;
// Starts recording; OpenMainWindow does it too.
void WatchPlatformCalls();
std::vector<std::string> MediaTexts();

// Clicks delivered straight to the main window's procedure, at client points.
LRESULT LeftClick(int x, int y);
LRESULT RightClick(int x, int y);
LRESULT Command(int id);
// The state of a main-menu item, found by its command identifier.
UINT MenuState(UINT id);
// Middle points of a grid cell and of a free cell.
POINT CellPoint(int column, int row);
POINT FreeCellPoint(int cell);

// Lays out a position: rows[r][c] holds a card or CELL_EMPTY, free[i] the
// cards parked in free cells 1 to 4 (0 when empty). The views follow.
void LayOut(const int rows[4][10], const int free[4]);
// Every card in exactly one place, holes = occupied free cells, counters in
// range, sentinels zero, and every view where the board says.
void ExpectConsistentTable();
// Where the view of a card stands, in main-window client coordinates.
POINT ViewPosition(int card);

// Runs action; meanwhile the first modal box owned by the main window that
// appears is read (caption and text) and answered with the given button.
struct BoxSeen {
    bool shown = false;
    std::string caption;
    std::string text;
    bool ownerDisabled = false;
};
BoxSeen AnswerBox(int button, void (*action)());
