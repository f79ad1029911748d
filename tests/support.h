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
// Handles every message waiting for this thread.
void PumpMessages();
std::string WindowText(HWND window);
// The top-left corner of a child window in its parent's client coordinates.
POINT ChildPosition(HWND child);
SIZE WindowSize(HWND window);
int CountChildWindows(HWND parent);
