// Board drawing, read back as pixels from the main window.
#include "app/mainwindow.h"
#include "game/board.h"
#include "tests/support.h"
#include "view/boardpaint.h"

#include <gtest/gtest.h>

namespace {

const COLORREF RED = RGB(255, 0, 0);
const COLORREF BLACK = RGB(0, 0, 0);
const COLORREF BACKGROUND = RGB(160, 0, 0);

class DrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
        Repaint();
    }

    static void Repaint()
    {
        RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        UpdateWindow(mainWindow);
        PumpMessages();
    }

    static COLORREF Pixel(int x, int y)
    {
        HDC dc = GetDC(mainWindow);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(mainWindow, dc);
        return colour;
    }

    // Checks a run of pixels along x (or y) from a to b inclusive.
    static void ExpectRow(int y, int x0, int x1, COLORREF colour)
    {
        for (int x = x0; x <= x1; x++)
            ASSERT_EQ(Pixel(x, y), colour) << "pixel " << x << "," << y;
    }
    static void ExpectColumn(int x, int y0, int y1, COLORREF colour)
    {
        for (int y = y0; y <= y1; y++)
            ASSERT_EQ(Pixel(x, y), colour) << "pixel " << x << "," << y;
    }

    // Frame k (1 to 4) as the board draws it, 101 pixels apart.
    static void ExpectFrame(int k)
    {
        SCOPED_TRACE(k);
        int top = k == 1 ? 0 : (k - 1) * 101 + 1;
        int bottom = k * 101;
        ASSERT_NO_FATAL_FAILURE(ExpectRow(top, 693, 756, BLACK));
        ASSERT_NO_FATAL_FAILURE(ExpectColumn(692, top, bottom - 1, BLACK));
        ASSERT_NO_FATAL_FAILURE(ExpectColumn(756, top + 1, bottom - 1, RED));
        ASSERT_NO_FATAL_FAILURE(ExpectRow(bottom, 693, 756, RED));
        EXPECT_EQ(Pixel(692, bottom), BACKGROUND);  // bottom-left corner
        EXPECT_EQ(Pixel(755, top + 50), BACKGROUND);  // between card and right edge
    }

    static void ExpectNoFrame(int k)
    {
        int top = (k - 1) * 101 + 1;
        int bottom = k * 101;
        EXPECT_EQ(Pixel(692, top + 50), BACKGROUND) << "frame " << k;
        EXPECT_EQ(Pixel(756, top + 50), BACKGROUND) << "frame " << k;
        EXPECT_EQ(Pixel(720, bottom), BACKGROUND) << "frame " << k;
    }
};

bool IsRedPen(HPEN pen)
{
    LOGPEN info;
    return GetObjectA(pen, sizeof info, &info) == sizeof info && info.lopnColor == RED &&
           info.lopnStyle == PS_SOLID && info.lopnWidth.x == 1;
}

} // namespace

TEST_F(DrawingTest, GridEdgeIsRedInsideBlackOutsideWithEndPixelsLeftOut)
{
    ASSERT_NO_FATAL_FAILURE(ExpectColumn(635, 0, 410, RED));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(411, 1, 635, RED));
    ASSERT_NO_FATAL_FAILURE(ExpectRow(412, 0, 635, BLACK));
    ASSERT_NO_FATAL_FAILURE(ExpectColumn(636, 1, 412, BLACK));
    EXPECT_EQ(Pixel(636, 0), RED);    // the top end: both pixels red
    EXPECT_EQ(Pixel(0, 411), BLACK);  // the left end: both pixels black
    EXPECT_EQ(Pixel(637, 200), BACKGROUND);
    EXPECT_EQ(Pixel(634, 408), BACKGROUND);
    EXPECT_EQ(Pixel(300, 413), BACKGROUND);
}

TEST_F(DrawingTest, OnlyTheFirstFreeCellHasAFrameAtStart)
{
    ASSERT_NO_FATAL_FAILURE(ExpectFrame(1));
    EXPECT_EQ(Pixel(757, 50), BACKGROUND);
    for (int k = 2; k <= 4; k++)
        ExpectNoFrame(k);
}

TEST_F(DrawingTest, ChoosingFourFreeCellsDrawsFramesTwoToFour)
{
    Command(32774);
    for (int k = 1; k <= 4; k++)
        ASSERT_NO_FATAL_FAILURE(ExpectFrame(k));
    EXPECT_EQ(Pixel(720, 404), RED);
    EXPECT_EQ(Pixel(720, 405), BACKGROUND);
}

TEST_F(DrawingTest, ChoosingTwoThenThreeDrawsOnlyUpToThree)
{
    Command(32772);
    ASSERT_NO_FATAL_FAILURE(ExpectFrame(2));
    ExpectNoFrame(3);
    Command(32773);
    ASSERT_NO_FATAL_FAILURE(ExpectFrame(3));
    ExpectNoFrame(4);
}

TEST_F(DrawingTest, AfterARepaintOnlyFrameOneComesBack)
{
    Command(32774);
    Repaint();
    ASSERT_NO_FATAL_FAILURE(ExpectFrame(1));
    for (int k = 2; k <= 4; k++)
        ExpectNoFrame(k);
    // Choosing the current number again draws them again.
    Command(32774);
    for (int k = 2; k <= 4; k++)
        ASSERT_NO_FATAL_FAILURE(ExpectFrame(k));
}

TEST_F(DrawingTest, AfterANewGameFromFourCellsOnlyFrameOneIsDrawn)
{
    Command(32774);
    Command(32775);
    UpdateWindow(mainWindow);
    PumpMessages();
    ASSERT_NO_FATAL_FAILURE(ExpectFrame(1));
    for (int k = 2; k <= 4; k++)
        ExpectNoFrame(k);
    ASSERT_NO_FATAL_FAILURE(ExpectColumn(635, 0, 410, RED));
}

TEST_F(DrawingTest, AMovedCardLeavesPlainBackground)
{
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);  // 28 to free cell 1
    UpdateWindow(mainWindow);
    PumpMessages();
    EXPECT_EQ(Pixel(63 + 31, 50), BACKGROUND);
    EXPECT_EQ(Pixel(63, 0), BACKGROUND);
}

TEST_F(DrawingTest, TheRedPenNeverStaysSelected)
{
    HPEN red = boardPen;
    Command(32774);
    Repaint();
    EXPECT_EQ(boardPen, red);
    EXPECT_TRUE(IsRedPen(boardPen));
    // savedPen holds a context's own pen: black.
    LOGPEN own;
    ASSERT_EQ(GetObjectA(savedPen, sizeof own, &own), (int)sizeof own);
    EXPECT_EQ(own.lopnColor, BLACK);
}

TEST_F(DrawingTest, WithoutADrawingContextThePensStayAsTheyWere)
{
    HPEN red = boardPen, own = savedPen;
    HWND window = mainWindow;
    mainWindow = (HWND)(ULONG_PTR)0x1234;  // no such window: no context
    freeLimit = 5;
    EXPECT_EQ(DrawFreeCellFrames(), 1);
    mainWindow = window;
    EXPECT_EQ(boardPen, red);
    EXPECT_EQ(savedPen, own);
    EXPECT_TRUE(IsRedPen(boardPen));
}

TEST_F(DrawingTest, FramesAreDrawnAcrossTheTopRowOfAParkedCard)
{
    Command(32772);
    RightClick(CellPoint(1, 1).x, CellPoint(1, 1).y);
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);  // 28 in free cell 2
    UpdateWindow(mainWindow);
    PumpMessages();
    Command(32772);  // frames drawn again over the parked card
    ASSERT_NO_FATAL_FAILURE(ExpectRow(102, 693, 756, BLACK));
}
