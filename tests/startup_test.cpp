// Start-up: the state at load, the window class, the main window's place,
// size and style, the first deal before showing, and the message loop.
#include "app/mainwindow.h"
#include "game/board.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"
#include "ui/winproc.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>

namespace {

int CountHoles()
{
    int holes = 0;
    for (int c = 1; c <= BOARD_COLUMNS; c++)
        for (int r = 1; r <= BOARD_ROWS; r++)
            holes += board[c][r] == CELL_EMPTY;
    return holes;
}

} // namespace

TEST(StartValues, StateAtLoadIsEmptyWithOneFreeCellAndMusicOn)
{
    for (int c = 0; c <= BOARD_COLUMNS; c++)
        for (int r = 0; r <= BOARD_ROWS; r++)
            EXPECT_EQ(board[c][r], 0);
    for (int i = 0; i <= FREE_CELL_COUNT; i++)
        EXPECT_EQ(freeCells[i], 0);
    EXPECT_EQ(freeLimit, 2);
    EXPECT_EQ(freeUsed, 1);
    EXPECT_EQ(selCol, 0);
    EXPECT_EQ(selRow, 0);
    EXPECT_EQ(selCard, 0);
    EXPECT_EQ(musicOn, 1);
    EXPECT_EQ(musicPlaying, 1);
    const MENUITEMINFOA zero = {};
    EXPECT_EQ(std::memcmp(&menuItemInfo, &zero, sizeof zero), 0);
}

TEST(StartValues, StartUpDealsWithoutTouchingTheFreeCells)
{
    OpenMainWindow(SW_HIDE);
    EXPECT_EQ(freeLimit, 2);
    EXPECT_EQ(freeUsed, 1);
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        EXPECT_EQ(freeCells[i], 0);
    EXPECT_EQ(CountHoles(), 0);
    EXPECT_EQ(std::string(windowTitle), "Brelliwick - Orvenna 2000");
    EXPECT_EQ(std::string(className), "ORVENNA 2000");
}

TEST(WindowPlace, CentredOriginUsesSignedTruncatingDivision)
{
    EXPECT_EQ(CenteredOrigin(1024, 800), 112);
    EXPECT_EQ(CenteredOrigin(768, 500), 134);
    EXPECT_EQ(CenteredOrigin(800, 800), 0);
    EXPECT_EQ(CenteredOrigin(799, 800), 0);   // -1 / 2 truncates to 0
    EXPECT_EQ(CenteredOrigin(797, 800), -1);
    EXPECT_EQ(CenteredOrigin(640, 800), -80);  // a desktop smaller than the window
    EXPECT_EQ(CenteredOrigin(300, 500), -100);
}

TEST(MainWindow, StandsCentredOnTheDesktopAtItsFixedOuterSize)
{
    OpenMainWindow();
    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    RECT frame;
    GetWindowRect(mainWindow, &frame);
    EXPECT_EQ(frame.left, CenteredOrigin(desktop.right, 800));
    EXPECT_EQ(frame.top, CenteredOrigin(desktop.bottom, 500));
    EXPECT_EQ(frame.right - frame.left, 800);
    EXPECT_EQ(frame.bottom - frame.top, 500);
    if (desktop.right == 1024 && desktop.bottom == 768) {
        EXPECT_EQ(frame.left, 112);
        EXPECT_EQ(frame.top, 134);
    }
}

TEST(MainWindow, HasACaptionSystemMenuAndMinimiseButtonOnly)
{
    OpenMainWindow();
    DWORD style = (DWORD)GetWindowLongA(mainWindow, GWL_STYLE);
    EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x00CA0000u);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(GetParent(mainWindow), nullptr);
    EXPECT_EQ(WindowText(mainWindow), "Brelliwick - Orvenna 2000");

    // No edge or corner of the frame offers sizing.
    RECT frame;
    GetWindowRect(mainWindow, &frame);
    const POINT edges[] = { { frame.left, (frame.top + frame.bottom) / 2 },
                            { frame.right - 1, (frame.top + frame.bottom) / 2 },
                            { (frame.left + frame.right) / 2, frame.bottom - 1 },
                            { frame.left, frame.top },
                            { frame.right - 1, frame.bottom - 1 } };
    for (POINT p : edges) {
        LRESULT hit = SendMessageA(mainWindow, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
        EXPECT_FALSE(hit >= HTLEFT && hit <= HTBOTTOMRIGHT) << p.x << "," << p.y << " answers " << hit;
    }
}

TEST(MainWindow, ClassRecordHoldsTheProgramsHandlesAndResources)
{
    OpenMainWindow(SW_HIDE);
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(appInstance, "ORVENNA 2000", &info));
    EXPECT_EQ(info.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(info.lpfnWndProc, MainWindowProc);
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hInstance, appInstance);
    EXPECT_NE(info.hIcon, nullptr);
    EXPECT_NE(info.hIconSm, nullptr);
    EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(info.hbrBackground, backgroundBrush);
    EXPECT_EQ(info.lpszMenuName, MAKEINTRESOURCEA(MENU_MAIN));

    LOGBRUSH brush;
    ASSERT_EQ(GetObjectA(backgroundBrush, sizeof brush, &brush), (int)sizeof brush);
    EXPECT_EQ(brush.lbStyle, (UINT)BS_SOLID);
    EXPECT_EQ(brush.lbColor, RGB(160, 0, 0));
}

TEST(MainWindow, KeepsItsMenuAndTheRedBoardPen)
{
    OpenMainWindow(SW_HIDE);
    ASSERT_NE(mainMenu, nullptr);
    EXPECT_EQ(mainMenu, GetMenu(mainWindow));
    EXPECT_EQ(GetMenuItemCount(mainMenu), 1);

    LOGPEN pen;
    ASSERT_EQ(GetObjectA(boardPen, sizeof pen, &pen), (int)sizeof pen);
    EXPECT_EQ(pen.lopnStyle, (UINT)PS_SOLID);
    EXPECT_EQ(pen.lopnWidth.x, 1);
    EXPECT_EQ(pen.lopnColor, RGB(255, 0, 0));
}

TEST(MainWindow, ClientAreaIsDarkRed)
{
    OpenMainWindow();
    HDC dc = GetDC(mainWindow);
    EXPECT_EQ(GetPixel(dc, 700, 450), RGB(160, 0, 0));
    EXPECT_EQ(GetPixel(dc, 62, 50), RGB(160, 0, 0));  // the gap between two columns
    ReleaseDC(mainWindow, dc);
}

// Watches the main window being shown, to see what was already there.
namespace {
int childrenWhenShown = -1;
BOOL visibleWhenShown = TRUE;

LRESULT CALLBACK WatchShowing(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = (const CWPSTRUCT*)lParam;
    if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam &&
        message->hwnd == mainWindow && childrenWhenShown < 0) {
        childrenWhenShown = CountChildWindows(mainWindow);
        visibleWhenShown = IsWindowVisible(mainWindow);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST(MainWindow, FirstDealIsDoneBeforeTheWindowIsShown)
{
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchShowing, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    OpenMainWindow();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(childrenWhenShown, CARD_COUNT);
    EXPECT_FALSE(visibleWhenShown);
    EXPECT_TRUE(IsWindowVisible(mainWindow));
}

TEST(MainWindow, ShowStateIsApplied)
{
    OpenMainWindow(SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(IsIconic(mainWindow));
}

// The message loop, run by WinMain itself: a timer drives it from inside.
namespace {
int commandsSeen[3];
WNDPROC programProc;
int loopTicks;

LRESULT CALLBACK CountCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == CMD_NEW_GAME && HIWORD(wParam) == 1)
        commandsSeen[0]++;
    return CallWindowProcA(programProc, window, message, wParam, lParam);
}

void CALLBACK DriveLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (loopTicks++ > 0)
        return;
    KillTimer(nullptr, timer);
    commandsSeen[1] = IsWindowVisible(mainWindow);
    commandsSeen[2] = CountChildWindows(mainWindow);
    programProc = (WNDPROC)SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, (LONG_PTR)CountCommands);
    // F2 goes through the accelerator table; closing ends the loop.
    PostMessageA(mainWindow, WM_KEYDOWN, VK_F2, 1);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}
} // namespace

TEST(MessageLoop, RunsUntilTheWindowIsClosedTranslatingAccelerators)
{
    CloseMainWindow();
    SetTimer(nullptr, 0, 10, DriveLoop);
    int result = WinMain(GetModuleHandleA(nullptr), nullptr, (LPSTR) "", SW_SHOWNORMAL);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(commandsSeen[1], 1);
    EXPECT_EQ(commandsSeen[2], CARD_COUNT);
    EXPECT_EQ(commandsSeen[0], 1);
    EXPECT_FALSE(IsWindow(mainWindow));
}
