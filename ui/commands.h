// The menu commands and the About box.
#pragma once

#include "app/winsys.h"

// WM_COMMAND of the main window, by the command identifier.
LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Enables the given number of free cells (2 to 4) and draws their frames.
void ChooseFreeCells(int count);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
