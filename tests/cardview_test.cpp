// Card views after a deal: where they stand, what they are, what they show,
// and that presses on them reach the main window.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <string>

namespace {

class CardViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        DestroyCardViews();
        DealCardsFromSeed(1);
        PumpMessages();
    }
};

// The main window's button presses, as they arrive.
UINT lastButtonMessage;
LPARAM lastButtonPoint;
WNDPROC programWindowProc;

LRESULT CALLBACK RecordButtons(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
        lastButtonMessage = message;
        lastButtonPoint = lParam;
    }
    return CallWindowProcA(programWindowProc, window, message, wParam, lParam);
}

// Presses and releases a mouse button at a client point of the main window
// through the system's input queue, as a player's click arrives.
void ClickAt(int x, int y, DWORD down, DWORD up)
{
    POINT p = { x, y };
    ClientToScreen(mainWindow, &p);
    SetCursorPos(p.x, p.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = down;
    input[1].mi.dwFlags = up;
    SendInput(2, input, sizeof(INPUT));
    for (int i = 0; i < 50 && lastButtonMessage == 0; i++) {
        Sleep(10);
        PumpMessages();
    }
}

} // namespace

TEST_F(CardViewTest, EachCardIsALiveChildAtItsCell)
{
    for (int c = 1; c <= BOARD_COLUMNS; c++) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int card = board[c][r];
            HWND view = cardWindows[card];
            SCOPED_TRACE(card);
            ASSERT_TRUE(IsWindow(view));
            EXPECT_EQ(GetParent(view), mainWindow);
            EXPECT_TRUE(IsWindowVisible(view));
            POINT at = ChildPosition(view);
            EXPECT_EQ(at.x, (c - 1) * 63);
            EXPECT_EQ(at.y, (r - 1) * 102);
            SIZE size = WindowSize(view);
            EXPECT_EQ(size.cx, 62);
            EXPECT_EQ(size.cy, 100);
        }
    }
    EXPECT_EQ(CountChildWindows(mainWindow), CARD_COUNT);
}

TEST_F(CardViewTest, ViewsAreBitmapStaticsNamedByCardValue)
{
    for (int n = 1; n <= CARD_COUNT; n++) {
        HWND view = cardWindows[n];
        SCOPED_TRACE(n);
        char cls[32] = "";
        GetClassNameA(view, cls, sizeof cls);
        EXPECT_STRCASEEQ(cls, "Static");
        EXPECT_EQ((DWORD)GetWindowLongA(view, GWL_STYLE), 0x5000000Eu);
        EXPECT_EQ((DWORD)GetWindowLongA(view, GWL_EXSTYLE), 0u);
        EXPECT_EQ(GetDlgCtrlID(view), 0);
        EXPECT_EQ(WindowText(view), "#" + std::to_string(n));
        EXPECT_EQ((HINSTANCE)GetWindowLongPtrA(view, GWLP_HINSTANCE), appInstance);

        HBITMAP picture = (HBITMAP)SendMessageA(view, STM_GETIMAGE, IMAGE_BITMAP, 0);
        ASSERT_NE(picture, nullptr);
        BITMAP info;
        ASSERT_EQ(GetObjectA(picture, sizeof info, &info), (int)sizeof info);
        EXPECT_EQ(info.bmWidth, 62);
        EXPECT_EQ(info.bmHeight, 100);
    }
    EXPECT_EQ(cardWindows[0], nullptr);
}

TEST_F(CardViewTest, NoViewStandsInTheFreeCellColumn)
{
    for (int n = 1; n <= CARD_COUNT; n++)
        EXPECT_LT(ChildPosition(cardWindows[n]).x + 62, 630) << "card " << n;
}

// Reads each view's pixels back and compares them with bitmap n itself,
// drawn unscaled, so a view shows its card's picture filling the view.
TEST_F(CardViewTest, EachViewShowsItsOwnPictureUnscaled)
{
    HDC screen = GetDC(mainWindow);
    HDC memory = CreateCompatibleDC(screen);
    for (int n : { 1, 10, 21, 40 }) {
        SCOPED_TRACE(n);
        HBITMAP picture = LoadBitmapA(appInstance, MAKEINTRESOURCEA(n));
        ASSERT_NE(picture, nullptr);
        HGDIOBJ old = SelectObject(memory, picture);
        POINT origin = ChildPosition(cardWindows[n]);
        int mismatches = 0;
        for (int y = 0; y < 100; y += 3)
            for (int x = 0; x < 62; x += 3)
                mismatches += GetPixel(memory, x, y) != GetPixel(screen, origin.x + x, origin.y + y);
        EXPECT_EQ(mismatches, 0);
        SelectObject(memory, old);
        DeleteObject(picture);
    }
    DeleteDC(memory);
    ReleaseDC(mainWindow, screen);
}

TEST_F(CardViewTest, ViewsAnswerTheHitTestAsTransparent)
{
    for (int n = 1; n <= CARD_COUNT; n++) {
        POINT p = { 5, 5 };
        ClientToScreen(cardWindows[n], &p);
        EXPECT_EQ(SendMessageA(cardWindows[n], WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)),
                  (LRESULT)HTTRANSPARENT)
            << "card " << n;
    }
}

TEST_F(CardViewTest, PressesOnCardsAndGapsReachTheMainWindowInClientCoordinates)
{
    programWindowProc = (WNDPROC)SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, (LONG_PTR)RecordButtons);
    SetForegroundWindow(mainWindow);

    struct Press { int x, y; DWORD down, up; UINT message; };
    const Press presses[] = {
        { 126, 102, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN },   // card (3, 2), top-left pixel
        { 126, 102, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, WM_RBUTTONDOWN },
        { 62, 50, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN },     // gap between columns 1 and 2
        { 300, 101, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, WM_RBUTTONDOWN }, // gap between rows 1 and 2
        { 628, 405, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN },   // last pixel of card (10, 4)
        { 720, 300, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN },   // bare background
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(testing::Message() << press.x << "," << press.y);
        lastButtonMessage = 0;
        ClickAt(press.x, press.y, press.down, press.up);
        EXPECT_EQ(lastButtonMessage, press.message);
        EXPECT_EQ(LOWORD(lastButtonPoint), press.x);
        EXPECT_EQ(HIWORD(lastButtonPoint), press.y);
    }
}

TEST_F(CardViewTest, MovedViewsKeepTheirSizeAndPicture)
{
    HBITMAP before = (HBITMAP)SendMessageA(cardWindows[7], STM_GETIMAGE, IMAGE_BITMAP, 0);
    MoveCardView(7, 0, 306);
    EXPECT_EQ(ChildPosition(cardWindows[7]).x, 0);
    EXPECT_EQ(ChildPosition(cardWindows[7]).y, 306);
    MoveCardView(7, 693, 304);
    EXPECT_EQ(ChildPosition(cardWindows[7]).x, 693);
    EXPECT_EQ(ChildPosition(cardWindows[7]).y, 304);
    EXPECT_EQ(WindowSize(cardWindows[7]).cx, 62);
    EXPECT_EQ(WindowSize(cardWindows[7]).cy, 100);
    EXPECT_EQ((HBITMAP)SendMessageA(cardWindows[7], STM_GETIMAGE, IMAGE_BITMAP, 0), before);
}

TEST_F(CardViewTest, DestroyingTheViewsLeavesNoChildBehind)
{
    MoveCardView(12, 693, 1);
    HWND old[CARD_COUNT + 1];
    HGDIOBJ pictures[CARD_COUNT + 1];
    std::copy(cardWindows, cardWindows + CARD_COUNT + 1, old);
    for (int n = 1; n <= CARD_COUNT; n++) {
        pictures[n] = (HGDIOBJ)SendMessageA(cardWindows[n], STM_GETIMAGE, IMAGE_BITMAP, 0);
        ASSERT_EQ(GetObjectType(pictures[n]), (DWORD)OBJ_BITMAP) << "card " << n;
    }
    DestroyCardViews();
    for (int n = 1; n <= CARD_COUNT; n++) {
        EXPECT_FALSE(IsWindow(old[n])) << "card " << n;
        EXPECT_EQ(GetObjectType(pictures[n]), 0u) << "the picture of card " << n << " is still alive";
    }
    EXPECT_EQ(CountChildWindows(mainWindow), 0);

    DealCardsFromSeed(2);
    EXPECT_EQ(CountChildWindows(mainWindow), CARD_COUNT);
    for (int n = 1; n <= CARD_COUNT; n++)
        EXPECT_LT(ChildPosition(cardWindows[n]).x, 630) << "card " << n;
}
