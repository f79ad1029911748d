// What the window shows and what it asks of the platform: the state at load,
// start-up and WinMain's loop, the drawn lines read back as pixels, the card
// views' pictures, the media commands, the rules page and the About box.
#include "app/mainwindow.h"
#include "game/board.h"
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

BOOL CALLBACK CountOne(HWND, LPARAM count)
{
    return ++*(int*)count > 0;
}

int CountChildren(HWND parent)
{
    int count = 0;
    EnumChildWindows(parent, CountOne, (LPARAM)&count);
    return count;
}

// Children of the main window when it is first shown, and whether it was visible then.
int childrenWhenShown = -1, newGamesByKey = 0;
BOOL visibleWhenShown = TRUE;
WNDPROC programProc;

LRESULT CALLBACK WatchShowing(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* m = (const CWPSTRUCT*)lParam;
    if (m->message == WM_SHOWWINDOW && m->wParam && m->hwnd == mainWindow && childrenWhenShown < 0) {
        childrenWhenShown = CountChildren(mainWindow);
        visibleWhenShown = IsWindowVisible(mainWindow);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CountKeyCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == 1)  // 1: from an accelerator
        newGamesByKey += LOWORD(wParam) == CMD_NEW_GAME ? 1 : 100;
    return CallWindowProcA(programProc, window, message, wParam, lParam);
}

// Inside WinMain's loop: the start-up's results, then F2 and closing.
void CALLBACK InsideTheLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExA(appInstance, "ORVENNA 2000", &info));
    EXPECT_EQ(info.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(info.lpfnWndProc, MainWindowProc);
    EXPECT_EQ(info.hIcon, LoadIconA(appInstance, MAKEINTRESOURCEA(ICON_LARGE)));
    EXPECT_EQ(info.hIconSm, LoadIconA(appInstance, MAKEINTRESOURCEA(ICON_SMALL)));
    EXPECT_NE(info.hIcon, nullptr);
    EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(info.hbrBackground, backgroundBrush);
    EXPECT_EQ(info.lpszMenuName, MAKEINTRESOURCEA(MENU_MAIN));
    LOGBRUSH brush;
    GetObjectA(backgroundBrush, sizeof brush, &brush);
    EXPECT_TRUE(brush.lbStyle == BS_SOLID && brush.lbColor == BACKGROUND);
    EXPECT_TRUE(mainMenu != nullptr && mainMenu == GetMenu(mainWindow));
    LOGPEN pen;
    EXPECT_EQ(GetObjectA(boardPen, sizeof pen, &pen), (int)sizeof pen);
    EXPECT_TRUE(pen.lopnStyle == PS_SOLID && pen.lopnWidth.x == 1 && pen.lopnColor == RED);
    EXPECT_TRUE(freeLimit == 2 && freeUsed == 1 && freeCells[1] == 0);
    programProc = (WNDPROC)SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, (LONG_PTR)CountKeyCommands);
    PostMessageA(mainWindow, WM_KEYDOWN, VK_F2, 1);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow(SW_SHOWNORMAL);
        StartGame(1);
        Repaint();
    }
    static void Repaint()
    {
        RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpMessages();
    }
};

// The client area as 0xRRGGBB values, row by row from the top.
std::vector<DWORD> Pixels(HDC dc, HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(width * height);
    GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    for (DWORD& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

std::vector<DWORD> Screen()
{
    HDC window = GetDC(mainWindow), memory = CreateCompatibleDC(window);
    HBITMAP copy = CreateCompatibleBitmap(window, 800, 500);
    HGDIOBJ old = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, 800, 500, window, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    std::vector<DWORD> pixels = Pixels(memory, copy, 800, 500);
    DeleteObject(copy);
    DeleteDC(memory);
    ReleaseDC(mainWindow, window);
    return pixels;
}

DWORD Rgb(COLORREF c)
{
    return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

// Lines from (x0, y0) to (x1, y1) inclusive, along x or along y.
void ExpectLine(const std::vector<DWORD>& s, int x0, int y0, int x1, int y1, COLORREF colour)
{
    for (int x = x0; x <= x1; x++)
        for (int y = y0; y <= y1; y++)
            ASSERT_EQ(s[y * 800 + x], Rgb(colour)) << "pixel " << x << "," << y;
}

// Free-cell frame k, 101 pixels apart; or only background where it would be.
void ExpectFrame(const std::vector<DWORD>& s, int k, bool drawn)
{
    SCOPED_TRACE(testing::Message() << "frame " << k);
    int top = k == 1 ? 0 : (k - 1) * 101 + 1, bottom = k * 101;
    if (!drawn) {
        ExpectLine(s, 692, top + 1, 692, bottom - 1, BACKGROUND);
        ExpectLine(s, 756, top + 1, 756, bottom, BACKGROUND);
        ExpectLine(s, 693, bottom, 755, bottom, BACKGROUND);
        return;
    }
    ExpectLine(s, 693, top, 756, top, BLACK);
    ExpectLine(s, 692, top, 692, bottom - 1, BLACK);
    ExpectLine(s, 756, top + 1, 756, bottom - 1, RED);
    ExpectLine(s, 693, bottom, 756, bottom, RED);
}

void ExpectFrames(int drawn)
{
    std::vector<DWORD> s = Screen();
    for (int k = 1; k <= 4; k++)
        ASSERT_NO_FATAL_FAILURE(ExpectFrame(s, k, k <= drawn));
    ExpectLine(s, 692, 405, 757, 405, BACKGROUND);  // no fifth frame
}

} // namespace

TEST(StartValues, StateAtLoad)
{
    for (int c = 0; c <= BOARD_COLUMNS; c++)
        for (int r = 0; r <= BOARD_ROWS; r++)
            EXPECT_EQ(board[c][r], 0);
    for (int i = 0; i <= FREE_CELL_COUNT; i++)
        EXPECT_EQ(freeCells[i], 0);
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
    int result = WinMain(GetModuleHandleA(nullptr), nullptr, (LPSTR) "", SW_SHOWNORMAL);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(childrenWhenShown, CARD_COUNT);
    EXPECT_FALSE(visibleWhenShown);
    EXPECT_EQ(newGamesByKey, 1);
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(Window, GridEdgeAndFreeCellFramesAsDrawn)
{
    std::vector<DWORD> s = Screen();
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 635, 0, 635, 410, RED));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 1, 411, 635, 411, RED));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 636, 0, 636, 0, RED));  // the top end
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 0, 411, 0, 412, BLACK));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 0, 412, 636, 412, BLACK));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 636, 1, 636, 412, BLACK));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 637, 0, 637, 413, BACKGROUND));
    ASSERT_NO_FATAL_FAILURE(ExpectLine(s, 0, 413, 637, 413, BACKGROUND));
    ASSERT_NO_FATAL_FAILURE(ExpectFrames(1));
    HPEN red = boardPen;
    Command(CMD_FREE_CELLS_2);
    ASSERT_NO_FATAL_FAILURE(ExpectFrames(2));
    Command(CMD_FREE_CELLS_4);
    ASSERT_NO_FATAL_FAILURE(ExpectFrames(4));
    EXPECT_EQ(boardPen, red);
    LOGPEN own;
    ASSERT_EQ(GetObjectA(savedPen, sizeof own, &own), (int)sizeof own);
    EXPECT_EQ(own.lopnColor, BLACK);
    Repaint();
    ASSERT_NO_FATAL_FAILURE(ExpectFrames(1));
    EXPECT_EQ(boardPen, red);
    Command(CMD_FREE_CELLS_4);
    Command(CMD_NEW_GAME);
    UpdateWindow(mainWindow);
    PumpMessages();
    ASSERT_NO_FATAL_FAILURE(ExpectFrames(1));
}

// Each view read back from the screen against the card's picture file, and
// new games leave no window-system objects behind.
TEST_F(Window, EachViewShowsItsOwnCardsPictureAndNewGamesLeakNothing)
{
    std::vector<DWORD> s = Screen();
    HDC dc = GetDC(mainWindow);
    for (int card = 1; card <= CARD_COUNT; card++) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "Z:%s/%02d.bmp", ORVENNA_CARDS_DIR, card);
        HBITMAP file = (HBITMAP)LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
        ASSERT_NE(file, nullptr) << path;
        std::vector<DWORD> picture = Pixels(dc, file, 62, 100);
        DeleteObject(file);
        POINT at = ChildPosition(cardWindows[card]);
        int mismatches = 0;
        for (int y = 0; y < 100; y++)
            for (int x = 0; x < 62; x++)
                mismatches += picture[y * 62 + x] != s[(at.y + y) * 800 + at.x + x];
        EXPECT_EQ(mismatches, 0) << "card " << card;
    }
    ReleaseDC(mainWindow, dc);

    for (int i = 0; i < 10; i++)
        Command(CMD_NEW_GAME);
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    for (int i = 0; i < 100; i++) {
        ClickCard(board[1 + i % 10][1], CLICK_RIGHT);
        Command(CMD_NEW_GAME);
    }
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi);
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user);
    EXPECT_EQ(CountChildren(mainWindow), CARD_COUNT);
}

TEST_F(Window, MediaCommandsFollowSizeNoticesClicksAndTheMusicOption)
{
    // The window's first restored size started the music.
    const std::vector<std::string> none, stop = { "close all" },
        start = { "close all", "open sequencer!Orv2000.mid alias music", "play music notify" };
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
    int n = 0;
    for (const auto& e : events) {
        SCOPED_TRACE(testing::Message() << "event " << ++n);
        mciTexts.clear();
        mciWindows.clear();
        SendMessageA(mainWindow, e.message, e.wParam, MAKELPARAM(780, 480));
        EXPECT_EQ(mciTexts, e.sent);
        for (size_t i = 0; i < mciWindows.size(); i++)
            EXPECT_EQ(mciWindows[i], i == 2 ? mainWindow : nullptr);
        EXPECT_EQ(musicPlaying, e.playing);
        EXPECT_EQ(MenuState(CMD_MUSIC), musicOn ? (UINT)MFS_CHECKED : 0u);
    }
    EXPECT_EQ(soundsPlayed, 0);
}

TEST_F(Window, RulesPageAndTheModalAboutBox)
{
    EXPECT_EQ(Command(CMD_RULES), 0);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0], "open orv2000.htm null null 1 main");
    const struct { UINT message; WPARAM wParam; } answers[] = { { WM_COMMAND, IDOK }, { WM_KEYDOWN, VK_ESCAPE } };
    for (const auto& a : answers) {
        BoxSeen box = AnswerBox(a.message, a.wParam, [] { EXPECT_EQ(Command(CMD_ABOUT), 0); });
        EXPECT_TRUE(box.shown);
        EXPECT_EQ(box.caption, "About");
        EXPECT_TRUE(box.ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(mainWindow));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}
