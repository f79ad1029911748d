// The state at load, start-up and WinMain's loop, the drawn lines and card views read back as
// pixels, and what the window asks of the platform: media commands, the rules page, the About box.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"
#include "ui/winproc.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstdio>
#include <cstring>

namespace {

const COLORREF RED = RGB(255, 0, 0), BLACK = RGB(0, 0, 0), BACKGROUND = RGB(160, 0, 0);

int viewsWhenShown = 0;
HWND firstView;
bool dealtAnew = false;

LRESULT CALLBACK WatchShowing(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* m = (const CWPSTRUCT*)lParam;
    if (m->message == WM_SHOWWINDOW && m->wParam && m->hwnd == mainWindow && !IsWindowVisible(mainWindow))
        for (HWND view : cardWindows)
            viewsWhenShown += IsWindow(view) && GetParent(view) == mainWindow;
    if (m->message == WM_DESTROY && m->hwnd == mainWindow)
        dealtAnew = cardWindows[1] != firstView;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Inside WinMain's loop: what start-up made, then F2 (a new game) and closing.
void CALLBACK InsideTheLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    WNDCLASSEXA c = {};
    c.cbSize = sizeof c;
    EXPECT_TRUE(GetClassInfoExA(appInstance, "ORVENNA 2000", &c));
    EXPECT_TRUE(c.style == (CS_HREDRAW | CS_VREDRAW) && c.lpfnWndProc == MainWindowProc && c.hIcon != nullptr &&
                c.hIcon == LoadIconA(appInstance, MAKEINTRESOURCEA(ICON_LARGE)) &&
                c.hIconSm == LoadIconA(appInstance, MAKEINTRESOURCEA(ICON_SMALL)) &&
                c.hCursor == LoadCursorA(nullptr, IDC_ARROW) && c.hbrBackground == backgroundBrush &&
                c.lpszMenuName == MAKEINTRESOURCEA(MENU_MAIN));
    LOGBRUSH brush = {};
    GetObjectA(backgroundBrush, sizeof brush, &brush);
    LOGPEN pen = {};
    GetObjectA(boardPen, sizeof pen, &pen);
    EXPECT_TRUE(brush.lbStyle == BS_SOLID && brush.lbColor == BACKGROUND);
    EXPECT_TRUE(pen.lopnStyle == PS_SOLID && pen.lopnWidth.x == 1 && pen.lopnColor == RED);
    EXPECT_TRUE(mainMenu != nullptr && mainMenu == GetMenu(mainWindow));
    firstView = cardWindows[1];
    PostMessageA(mainWindow, WM_KEYDOWN, VK_F2, 1);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

// A line from (x0, y0) to (x1, y1) inclusive, along x or along y.
void ExpectLine(int x0, int y0, int x1, int y1, COLORREF colour)
{
    HDC dc = GetDC(mainWindow);
    int wrong = 0;
    for (int x = x0; x <= x1; x++)
        for (int y = y0; y <= y1; y++)
            wrong += GetPixel(dc, x, y) != colour;
    ReleaseDC(mainWindow, dc);
    EXPECT_EQ(wrong, 0) << "pixels wrong from " << x0 << "," << y0 << " to " << x1 << "," << y1;
}

// Frames 1 to drawn, 101 pixels apart, and only background where the others would be.
void ExpectFrames(int drawn)
{
    for (int k = 1; k <= 4; k++) {
        int top = k == 1 ? 0 : (k - 1) * 101 + 1, bottom = k * 101;
        ExpectLine(693, top, 756, top, k <= drawn ? BLACK : BACKGROUND);
        ExpectLine(692, top + 1, 692, bottom - 1, k <= drawn ? BLACK : BACKGROUND);
        ExpectLine(756, top + 1, 756, bottom - 1, k <= drawn ? RED : BACKGROUND);
        ExpectLine(693, bottom, 756, bottom, k <= drawn ? RED : BACKGROUND);
    }
    ExpectLine(692, 405, 757, 405, BACKGROUND);  // no fifth frame
}

} // namespace

TEST(StartValues, StateAtLoad)
{
    int zeros[11][5] = {}, noCells[5] = {};
    EXPECT_TRUE(std::memcmp(board, zeros, sizeof board) == 0 && std::memcmp(freeCells, noCells, sizeof noCells) == 0);
    EXPECT_TRUE(freeLimit == 2 && freeUsed == 1 && selCol == 0 && selRow == 0 && selCard == 0);
    EXPECT_TRUE(musicOn == 1 && musicPlaying == 1);
    const MENUITEMINFOA zero = {};
    EXPECT_EQ(std::memcmp(&menuItemInfo, &zero, sizeof zero), 0);
}

TEST(StartUp, WinMainDealsBeforeShowingTranslatesF2AndEndsWithZero)
{
    CloseMainWindow();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchShowing, nullptr, GetCurrentThreadId());
    SetTimer(nullptr, 0, 10, InsideTheLoop);
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, (LPSTR) "", SW_SHOWNORMAL), 0);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(viewsWhenShown, CARD_COUNT);
    EXPECT_TRUE(dealtAnew);  // by F2
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(Window, GridEdgeAndFreeCellFramesAsDrawnWithTheBoardPen)
{
    ExpectLine(635, 0, 636, 0, RED);  // red inside, black outside
    ExpectLine(635, 1, 635, 410, RED);
    ExpectLine(1, 411, 635, 411, RED);
    ExpectLine(636, 1, 636, 412, BLACK);
    ExpectLine(0, 411, 0, 412, BLACK);
    ExpectLine(0, 412, 636, 412, BLACK);
    ExpectLine(0, 413, 637, 413, BACKGROUND);
    ExpectFrames(1);
    HPEN red = boardPen;
    Command(CMD_FREE_CELLS_2);
    ExpectFrames(2);
    Command(CMD_FREE_CELLS_4);
    ExpectFrames(4);
    LOGPEN own = {};
    GetObjectA(savedPen, sizeof own, &own);
    EXPECT_TRUE(boardPen == red && own.lopnColor == BLACK);
    RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ExpectFrames(1);
    Command(CMD_FREE_CELLS_4);
    Command(CMD_NEW_GAME);
    UpdateWindow(mainWindow);
    ExpectFrames(1);
    EXPECT_EQ(boardPen, red);
}

// Each view read back from the screen against its card's picture file; new
// games leave no window-system objects behind.
TEST_F(Window, EachViewShowsItsOwnCardsPictureAndNewGamesLeakNothing)
{
    HDC screen = GetDC(mainWindow), memory = CreateCompatibleDC(screen);
    for (int card = 1; card <= CARD_COUNT; card++) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "Z:%s/%02d.bmp", ORVENNA_CARDS_DIR, card);
        HGDIOBJ file = LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
        ASSERT_NE(file, nullptr) << path;
        HGDIOBJ old = SelectObject(memory, file);
        POINT at = ChildPosition(cardWindows[card]);
        int mismatches = 0;
        for (int y = 0; y < 100; y++)
            for (int x = 0; x < 62; x++)
                mismatches += GetPixel(memory, x, y) != GetPixel(screen, at.x + x, at.y + y);
        EXPECT_EQ(mismatches, 0) << "card " << card;
        DeleteObject(SelectObject(memory, old));
    }
    DeleteDC(memory);
    ReleaseDC(mainWindow, screen);

    // A view does not free the picture it loaded; the program does, after the view.
    HGDIOBJ pictures[CARD_COUNT + 1];
    for (int n = 1; n <= CARD_COUNT; n++)
        pictures[n] = (HGDIOBJ)SendMessageA(cardWindows[n], STM_GETIMAGE, IMAGE_BITMAP, 0);
    DestroyCardViews();
    for (int n = 1; n <= CARD_COUNT; n++)
        EXPECT_TRUE(pictures[n] != nullptr && GetObjectType(pictures[n]) == 0) << "picture of card " << n;
    DealCardsFromSeed(1);
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);  // 0 under Wine
    for (int i = 0; i < 100; i++) {
        ClickCard(board[1 + i % 10][1], CLICK_RIGHT);
        Command(CMD_NEW_GAME);
    }
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi);
}

TEST_F(Window, MediaCommandsRulesPageAndTheModalAboutBox)
{
    const std::vector<std::string> none, stop = { "close all" },
        start = { "close all", "open sequencer!Orv2000.mid alias music", "play music notify" };
    // The window's first restored size started the music.
    ASSERT_GE(mciTexts.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(mciTexts.end() - 3, mciTexts.end()), start);
    EXPECT_EQ(mciWindows.back(), mainWindow);
    const struct { UINT message; WPARAM wParam; const std::vector<std::string>& sent; int playing; } events[] = {
        { WM_SIZE, SIZE_MINIMIZED, stop, 1 },    { WM_SIZE, SIZE_RESTORED, start, 1 },
        { WM_SIZE, SIZE_MAXIMIZED, none, 1 },    { MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, none, 1 },
        { MM_MCINOTIFY, MCI_NOTIFY_ABORTED, none, 1 }, { MM_MCINOTIFY, MCI_NOTIFY_FAILURE, none, 1 },
        { WM_LBUTTONDOWN, 0, none, 1 },          { MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, none, 0 },
        { WM_RBUTTONDOWN, 0, none, 0 },          { WM_COMMAND, CMD_NEW_GAME, none, 0 },
        { WM_LBUTTONDOWN, 0, start, 1 },         { WM_LBUTTONDOWN, 0, none, 1 },
        { WM_COMMAND, CMD_MUSIC, stop, 1 },      { WM_SIZE, SIZE_RESTORED, none, 1 },
        { MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, none, 0 }, { WM_LBUTTONDOWN, 0, none, 0 },
        { WM_SIZE, SIZE_MINIMIZED, stop, 0 },    { WM_COMMAND, CMD_MUSIC, start, 0 },
        { WM_LBUTTONDOWN, 0, start, 1 },
    };
    for (const auto& e : events) {
        SCOPED_TRACE(testing::Message() << "event " << &e - events + 1);
        mciTexts.clear();
        mciWindows.clear();
        SendMessageA(mainWindow, e.message, e.wParam, MAKELPARAM(780, 480));
        EXPECT_EQ(mciTexts, e.sent);
        EXPECT_TRUE(mciWindows.size() < 3 || (mciWindows[0] == nullptr && mciWindows[2] == mainWindow));
        EXPECT_EQ(musicPlaying, e.playing);
        EXPECT_EQ(MenuState(CMD_MUSIC), musicOn ? (UINT)MFS_CHECKED : 0u);
    }
    EXPECT_EQ(Command(CMD_RULES), 0);
    EXPECT_EQ(shellCalls, std::vector<std::string>{ "open orv2000.htm null null 1 main" });
    for (UINT message : { WM_COMMAND, WM_KEYDOWN }) {  // OK, Escape
        BoxSeen box = AnswerBox(message, message == WM_COMMAND ? IDOK : VK_ESCAPE, [] { Command(CMD_ABOUT); });
        EXPECT_TRUE(box.shown && box.ownerDisabled && box.caption == "About") << message;
        EXPECT_TRUE(IsWindowEnabled(mainWindow));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}
