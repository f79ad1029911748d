// Hit test and moves, through real button messages into the window procedure.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstring>

namespace {

class MovesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow(SW_HIDE);
        StartGame(1);
        soundsAudible = false;
        soundsPlayed = 0;
    }

    // Where a card stands in the grid; false when it is parked.
    static bool Find(int card, int* column, int* row)
    {
        for (int c = 1; c <= 10; c++)
            for (int r = 1; r <= 4; r++)
                if (board[c][r] == card) {
                    *column = c;
                    *row = r;
                    return true;
                }
        return false;
    }

    static LRESULT LeftClickCard(int card)
    {
        int c, r;
        if (Find(card, &c, &r))
            return LeftClick(CellPoint(c, r).x, CellPoint(c, r).y);
        for (int i = 1; i <= 4; i++)
            if (freeCells[i] == card)
                return LeftClick(FreeCellPoint(i).x, FreeCellPoint(i).y);
        ADD_FAILURE() << "card " << card << " is nowhere";
        return 0;
    }

    static void RightClickCard(int card)
    {
        int c, r;
        ASSERT_TRUE(Find(card, &c, &r));
        RightClick(CellPoint(c, r).x, CellPoint(c, r).y);
    }

    // The board, free cells and counters as they are, to see a click change nothing.
    struct Snapshot {
        int cells[11][5];
        int free[5];
        int limit, used;
    };
    static Snapshot Take()
    {
        Snapshot s;
        std::memcpy(s.cells, board, sizeof board);
        std::memcpy(s.free, freeCells, sizeof freeCells);
        s.limit = freeLimit;
        s.used = freeUsed;
        return s;
    }
    static void ExpectUnchanged(const Snapshot& s)
    {
        EXPECT_EQ(std::memcmp(s.cells, board, sizeof board), 0);
        EXPECT_EQ(std::memcmp(s.free, freeCells, sizeof freeCells), 0);
        EXPECT_EQ(s.limit, freeLimit);
        EXPECT_EQ(s.used, freeUsed);
    }
};

// A hole, in the positions laid out by hand.
const int H = CELL_EMPTY;

} // namespace

TEST_F(MovesTest, SeedOneSequenceClickByClick)
{
    RightClickCard(28);
    EXPECT_EQ(freeCells[1], 28);
    EXPECT_EQ(board[2][1], CELL_EMPTY);
    EXPECT_EQ(freeUsed, 2);
    EXPECT_EQ(soundsPlayed, 1);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());

    struct Step { int card, column, row; };
    const Step steps[] = { { 3, 2, 1 }, { 40, 8, 1 }, { 18, 9, 4 }, { 19, 10, 4 },
                           { 8, 2, 3 }, { 17, 10, 2 }, { 36, 8, 4 }, { 13, 2, 2 } };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.card);
        int fromColumn, fromRow;
        ASSERT_TRUE(Find(step.card, &fromColumn, &fromRow));
        int sounds = soundsPlayed;
        EXPECT_EQ(LeftClickCard(step.card), 1);
        EXPECT_EQ(board[step.column][step.row], step.card);
        EXPECT_EQ(board[fromColumn][fromRow], CELL_EMPTY);
        EXPECT_EQ(freeUsed, 2);
        EXPECT_EQ(soundsPlayed, sounds + 1);
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
    }
    EXPECT_EQ(board[7][2], CELL_EMPTY);
    int holes = 0;
    for (int c = 1; c <= 10; c++)
        for (int r = 1; r <= 4; r++)
            holes += board[c][r] == CELL_EMPTY;
    EXPECT_EQ(holes, 1);

    // 28's predecessor 27 stands next to the ace at (4, 4): no target.
    Snapshot before = Take();
    int sounds = soundsPlayed;
    EXPECT_EQ(LeftClickCard(28), 0);
    ExpectUnchanged(before);
    // The one free cell is full.
    RightClickCard(5);
    ExpectUnchanged(before);
    EXPECT_EQ(soundsPlayed, sounds);
    EXPECT_EQ(selCol, 6);
    EXPECT_EQ(selRow, 1);
    EXPECT_EQ(selCard, 5);
}

TEST_F(MovesTest, AceGoesToTheUpperOfTwoColumnOneHolesFromAnywhere)
{
    const int rows[4][10] = { { H, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                              { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                              { H, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                              { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int free[4] = { 1, 21, 0, 0 };
    freeLimit = 3;
    LayOut(rows, free);

    EXPECT_EQ(LeftClick(FreeCellPoint(2).x, FreeCellPoint(2).y), 1);  // ace of coins
    EXPECT_EQ(board[1][1], 21);
    EXPECT_EQ(freeCells[2], 0);
    EXPECT_EQ(freeUsed, 2);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());

    // An ace already in column 1 moves to the first column-1 hole, above or below it.
    EXPECT_EQ(LeftClick(CellPoint(1, 4).x, CellPoint(1, 4).y), 1);
    EXPECT_EQ(board[1][3], 31);
    EXPECT_EQ(board[1][4], CELL_EMPTY);
    EXPECT_EQ(LeftClick(CellPoint(1, 1).x, CellPoint(1, 1).y), 1);
    EXPECT_EQ(board[1][1], CELL_EMPTY);
    EXPECT_EQ(board[1][4], 21);
    EXPECT_EQ(ViewPosition(21).x, 0);
    EXPECT_EQ(ViewPosition(21).y, 306);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(MovesTest, CardGoesRightOfItsPredecessorWhereverThatStands)
{
    const int rows[4][10] = { { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 },
                              { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                              { 3, 4, 1, H, 5, 6, 7, 8, 9, 10 },
                              { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 } };
    const int free[4] = { 2, 0, 0, 0 };
    LayOut(rows, free);
    EXPECT_EQ(LeftClick(FreeCellPoint(1).x, FreeCellPoint(1).y), 1);
    EXPECT_EQ(board[4][3], 2);
    EXPECT_EQ(freeUsed, 1);
    EXPECT_EQ(freeCells[1], 0);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(MovesTest, NoTargetWhenThePredecessorIsParkedOrInColumnTen)
{
    const int rows[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, H, 9 },
                              { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                              { 22, 23, H, 24, 25, 26, 27, 28, 29, 30 },
                              { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int free[4] = { 10, 21, 0, 0 };
    freeLimit = 3;
    LayOut(rows, free);
    Snapshot before = Take();
    EXPECT_EQ(LeftClick(FreeCellPoint(1).x, FreeCellPoint(1).y), 0);  // 10: its 9 is in column 10
    EXPECT_EQ(LeftClick(CellPoint(1, 3).x, CellPoint(1, 3).y), 0);    // 22: its ace is parked
    EXPECT_EQ(LeftClick(FreeCellPoint(2).x, FreeCellPoint(2).y), 0);  // an ace, no column-1 hole
    EXPECT_EQ(LeftClick(CellPoint(10, 2).x, CellPoint(10, 2).y), 0);  // a king already in place
    ExpectUnchanged(before);
    EXPECT_EQ(soundsPlayed, 0);
}

TEST_F(MovesTest, ParksFillTheLowestEmptyEnabledFreeCell)
{
    Command(32773);  // three free cells
    soundsPlayed = 0;
    RightClickCard(3);   // into free cell 1, leaving a hole at (8, 1)
    RightClickCard(28);  // into free cell 2, leaving a hole at (2, 1) right of 2
    EXPECT_EQ(freeCells[1], 3);
    EXPECT_EQ(freeCells[2], 28);
    EXPECT_EQ(freeUsed, 3);

    EXPECT_EQ(LeftClick(FreeCellPoint(1).x, FreeCellPoint(1).y), 1);  // 3 back beside 2
    EXPECT_EQ(board[2][1], 3);
    EXPECT_EQ(freeCells[1], 0);
    EXPECT_EQ(freeUsed, 2);

    RightClickCard(15);
    EXPECT_EQ(freeCells[1], 15);
    EXPECT_EQ(ViewPosition(15).x, 693);
    EXPECT_EQ(ViewPosition(15).y, 1);
    RightClickCard(22);
    EXPECT_EQ(freeCells[3], 22);
    EXPECT_EQ(ViewPosition(22).y, 203);
    EXPECT_EQ(freeUsed, 4);
    EXPECT_EQ(soundsPlayed, 5);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());

    // Full: a fourth park is ignored.
    Snapshot before = Take();
    RightClickCard(10);
    ExpectUnchanged(before);
    EXPECT_EQ(soundsPlayed, 5);
}

TEST_F(MovesTest, FourthFreeCellSitsAtItsOwnPlace)
{
    Command(32774);
    for (int c : { 1, 2, 3, 5 })
        RightClick(CellPoint(c, 1).x, CellPoint(c, 1).y);
    EXPECT_EQ(freeCells[4], 10);
    EXPECT_EQ(ViewPosition(10).x, 693);
    EXPECT_EQ(ViewPosition(10).y, 304);
    EXPECT_EQ(freeUsed, 5);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(MovesTest, AcesHolesAndTheFreeCellColumnAreNeverParked)
{
    Command(32774);
    soundsPlayed = 0;
    Snapshot before = Take();
    RightClick(CellPoint(4, 4).x, CellPoint(4, 4).y);  // the ace of batons
    ExpectUnchanged(before);
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);  // 28 parks
    before = Take();
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);  // now a hole
    RightClick(FreeCellPoint(1).x, FreeCellPoint(1).y);  // the parked card itself
    RightClick(691, 50);                                  // just right of the limit
    ExpectUnchanged(before);
    EXPECT_EQ(soundsPlayed, 1);
}

TEST_F(MovesTest, FreeCellHitRowsUseTheGridPitch)
{
    Command(32774);
    for (int c : { 1, 2, 3, 5 })
        RightClick(CellPoint(c, 1).x, CellPoint(c, 1).y);  // 2, 28, 15, 10 in cells 1-4
    EXPECT_EQ(CardAtPoint(700, 203), 28);  // top pixel row of free cell 3
    EXPECT_EQ(CardAtPoint(700, 204), 15);
    EXPECT_EQ(CardAtPoint(700, 304), 15);  // top two pixel rows of free cell 4
    EXPECT_EQ(CardAtPoint(700, 305), 15);
    EXPECT_EQ(CardAtPoint(700, 306), 10);
    EXPECT_EQ(CardAtPoint(700, 408), 0);   // row 5 of the free-cell column
    EXPECT_EQ(selCol, 12);
    EXPECT_EQ(selRow, 5);
    EXPECT_EQ(CardAtPoint(693, 1), 2);
    EXPECT_EQ(CardAtPoint(755, 1), 2);
    EXPECT_EQ(CardAtPoint(756, 1), 0);     // column 13
    EXPECT_EQ(CardAtPoint(692, 1), 0);     // column 11
    EXPECT_EQ(CardAtPoint(630, 1), 0);
}

TEST_F(MovesTest, ClicksOnHolesGapsAndBackgroundChangeNothing)
{
    RightClickCard(28);
    soundsPlayed = 0;
    Snapshot before = Take();
    const POINT points[] = { CellPoint(2, 1), { 62, 50 }, { 300, 100 }, { 300, 101 }, { 650, 50 },
                             { 700, 150 }, { 780, 50 }, { 100, 420 }, { 700, 420 },
                             { 65535, 65535 }, { 0, 65535 }, { 65535, 0 } };
    for (POINT p : points) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        EXPECT_EQ(LeftClick(p.x, p.y), 0);
        EXPECT_EQ(RightClick(p.x, p.y), 0);
        ExpectUnchanged(before);
    }
    EXPECT_EQ(soundsPlayed, 0);
}

TEST_F(MovesTest, EachMovePlaysTheSoundResourceOnceSynchronously)
{
    RightClickCard(28);
    EXPECT_EQ(soundsPlayed, 1);
    EXPECT_EQ(lastSoundName, MAKEINTRESOURCEA(175));
    EXPECT_EQ(lastSoundModule, (HMODULE)appInstance);
    EXPECT_EQ(lastSoundFlags, (DWORD)SND_RESOURCE);
    EXPECT_EQ(lastSoundFlags, 0x40004u);
    LeftClickCard(3);
    EXPECT_EQ(soundsPlayed, 2);
    EXPECT_EQ(lastSoundFlags, 0x40004u);
}
