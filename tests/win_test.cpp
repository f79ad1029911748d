// The win test, the end-of-game prompt and new games.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/wincheck.h"
#include "tests/support.h"
#include "ui/music.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

const int H = CELL_EMPTY;

// Coins, batons, swords and cups, each ace to king; the king of cups waits
// in free cell 1 for the winning move.
const int almostSolved[4][10] = { { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                                  { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                                  { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 },
                                  { 11, 12, 13, 14, 15, 16, 17, 18, 19, H } };
const int kingParked[4] = { 20, 0, 0, 0 };

class WinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
        soundsAudible = false;
    }
};

void WinningClick()
{
    LeftClick(FreeCellPoint(1).x, FreeCellPoint(1).y);
}

void ExpectFreshGame()
{
    EXPECT_EQ(freeLimit, 2);
    EXPECT_EQ(freeUsed, 1);
    for (int i = 1; i <= 4; i++)
        EXPECT_EQ(freeCells[i], 0);
    EXPECT_EQ(CountChildWindows(mainWindow), 40);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

} // namespace

TEST_F(WinTest, EveryRowOneSuitInOrderIsSolvedInAnySuitOrder)
{
    const int rows[4][10] = { { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                              { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                              { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 },
                              { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 } };
    const int none[4] = {};
    LayOut(rows, none);
    EXPECT_EQ(IsSolved(), 1);

    // One row shifted right by a column, with a hole in column 1.
    board[1][4] = CELL_EMPTY;
    for (int c = 2; c <= 10; c++)
        board[c][4] = 10 + c - 1;
    EXPECT_EQ(IsSolved(), 0);
    // Two cards swapped.
    LayOut(rows, none);
    std::swap(board[4][2], board[5][2]);
    EXPECT_EQ(IsSolved(), 0);
    // A hole anywhere.
    LayOut(rows, none);
    board[5][3] = CELL_EMPTY;
    EXPECT_EQ(IsSolved(), 0);
}

TEST_F(WinTest, DealtBoardIsNotSolved)
{
    EXPECT_EQ(IsSolved(), 0);
}

TEST_F(WinTest, WinningWithOneFreeCellCongratulatesAndYesDealsAgain)
{
    LayOut(almostSolved, kingParked);
    HWND oldKing = cardWindows[20];
    BoxSeen box = AnswerBox(IDYES, WinningClick);
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.caption, "Orvenna 2000");
    EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con 1 spazi liberi.\nVuoi fare un'altra partita ?");
    EXPECT_TRUE(box.ownerDisabled);
    EXPECT_EQ(soundsPlayed, 1);  // the move sound came before the box
    EXPECT_TRUE(IsWindow(mainWindow));
    EXPECT_FALSE(IsWindow(oldKing));
    EXPECT_EQ(IsSolved(), 0);
    ExpectFreshGame();
}

TEST_F(WinTest, WinningWithThreeFreeCellsSaysThreeAndYesResetsTheMenu)
{
    Command(32773);
    LayOut(almostSolved, kingParked);
    BoxSeen box = AnswerBox(IDYES, WinningClick);
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con 3 spazi liberi.\nVuoi fare un'altra partita ?");
    ExpectFreshGame();
    EXPECT_EQ(MenuState(32771), (UINT)MFS_CHECKED);
    EXPECT_EQ(MenuState(32772), 0u);
    EXPECT_EQ(MenuState(32773), 0u);
    EXPECT_EQ(MenuState(32774), 0u);
}

TEST_F(WinTest, AnsweringNoEndsTheProgramByTheExitCommand)
{
    Command(32774);
    LayOut(almostSolved, kingParked);
    BoxSeen box = AnswerBox(IDNO, WinningClick);
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con 4 spazi liberi.\nVuoi fare un'altra partita ?");
    EXPECT_FALSE(IsWindow(mainWindow));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(WinTest, NewGameWithParkedCardsRemovesEveryOldView)
{
    Command(32774);
    RightClick(CellPoint(1, 1).x, CellPoint(1, 1).y);
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);
    ASSERT_EQ(freeUsed, 3);
    HWND old[41];
    std::copy(cardWindows, cardWindows + 41, old);
    int on = musicOn, playing = musicPlaying;

    EXPECT_EQ(Command(32775), 0);
    for (int n = 1; n <= 40; n++)
        EXPECT_FALSE(IsWindow(old[n])) << "card " << n;
    ExpectFreshGame();
    EXPECT_EQ(MenuState(32771), (UINT)MFS_CHECKED);
    EXPECT_EQ(MenuState(32774), 0u);
    EXPECT_EQ(musicOn, on);
    EXPECT_EQ(musicPlaying, playing);
}
