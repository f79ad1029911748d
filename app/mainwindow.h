// Start-up: the main window class, the main window, and the platform handles
// kept for the whole run.
#pragma once

#include "app/winsys.h"

constexpr int MAIN_WINDOW_WIDTH = 800;
constexpr int MAIN_WINDOW_HEIGHT = 500;
// A caption with system menu and minimise button; no sizing border, no maximise.
constexpr DWORD MAIN_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr COLORREF BACKGROUND_COLOUR = RGB(160, 0, 0);
constexpr COLORREF BOARD_PEN_COLOUR = RGB(255, 0, 0);
constexpr int TEXT_BUFFER_SIZE = 100;

extern HINSTANCE appInstance;
extern HWND mainWindow;
extern HMENU mainMenu;
// The red board pen, and the slot that holds a context's own pen while the
// board pen is selected into it.
extern HPEN boardPen;
extern HPEN savedPen;
extern HBRUSH backgroundBrush;
// The one record used for every change of a menu item's state.
extern MENUITEMINFOA menuItemInfo;
extern char windowTitle[TEXT_BUFFER_SIZE];
extern char className[TEXT_BUFFER_SIZE];

// Gives a menu item of the main window a whole new state (0, MFS_GRAYED or
// MFS_CHECKED), naming the item by its command identifier.
void SetMenuItemState(UINT command, UINT state);

// Loads the window texts, makes the background brush and registers the class.
void InitApplication(HINSTANCE instance);
ATOM RegisterMainWindowClass(HINSTANCE instance);
// Returns 1 when the window was created, shown and dealt, 0 when it could not be created.
int CreateMainWindow(HINSTANCE instance, int showState);
// Where a window of the given extent starts to stand centred on the desktop;
// negative when the desktop is the smaller.
int CenteredOrigin(int desktopExtent, int windowExtent);
