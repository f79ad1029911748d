// The main window: its class, its creation with the first deal, and the
// handles that live until the process ends.
#include "app/mainwindow.h"
#include "game/deal.h"
#include "resources/resource.h"
#include "ui/winproc.h"

HINSTANCE appInstance;
HWND mainWindow;
HMENU mainMenu;
HPEN boardPen;
HPEN savedPen;
HBRUSH backgroundBrush;
MENUITEMINFOA menuItemInfo;
char windowTitle[TEXT_BUFFER_SIZE];
char className[TEXT_BUFFER_SIZE];

void SetMenuItemState(UINT command, UINT state)
{
    menuItemInfo.cbSize = MENU_ITEM_INFO_SIZE;
    menuItemInfo.fMask = MIIM_STATE;
    menuItemInfo.fState = state;
    SetMenuItemInfoA(mainMenu, command, FALSE, &menuItemInfo);
}

void InitApplication(HINSTANCE instance)
{
    LoadStringA(instance, STR_TITLE, windowTitle, TEXT_BUFFER_SIZE);
    LoadStringA(instance, STR_CLASS, className, TEXT_BUFFER_SIZE);

    LOGBRUSH background = { BS_SOLID, BACKGROUND_COLOUR, 0 };
    backgroundBrush = CreateBrushIndirect(&background);

    RegisterMainWindowClass(instance);
}

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_LARGE));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = backgroundBrush;
    windowClass.lpszMenuName = MAKEINTRESOURCEA(MENU_MAIN);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(ICON_SMALL));
    return RegisterClassExA(&windowClass);
}

// Signed division: on a desktop smaller than the window the origin is
// negative and is used as it is.
int CenteredOrigin(int desktopExtent, int windowExtent)
{
    return (desktopExtent - windowExtent) / 2;
}

// The first deal runs before the window is shown, so all 40 cards appear
// with it. The platform already calls the window procedure during creation.
int CreateMainWindow(HINSTANCE instance, int showState)
{
    appInstance = instance;

    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);

    mainWindow = CreateWindowExA(0, className, windowTitle, MAIN_WINDOW_STYLE,
                                 CenteredOrigin(desktop.right - desktop.left, MAIN_WINDOW_WIDTH),
                                 CenteredOrigin(desktop.bottom - desktop.top, MAIN_WINDOW_HEIGHT),
                                 MAIN_WINDOW_WIDTH, MAIN_WINDOW_HEIGHT, nullptr, nullptr,
                                 instance, nullptr);
    if (mainWindow == nullptr)
        return 0;

    mainMenu = GetMenu(mainWindow);
    boardPen = CreatePen(PS_SOLID, 1, BOARD_PEN_COLOUR);

    DealCards();

    ShowWindow(mainWindow, showState);
    UpdateWindow(mainWindow);
    return 1;
}
