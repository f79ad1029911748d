// The main window's window procedure.
#pragma once

#include "app/winsys.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
