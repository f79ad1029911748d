// The rules through the window procedure: the deal, the hit test, clicks and
// what each does to the board, the free cells, the counters, the views and
// the move sound; the win test, the end-of-game prompt and the menu states.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

const int H = CELL_EMPTY, L = CLICK_LEFT, R = CLICK_RIGHT, F = FREE_CELL_COLUMN;
const UINT G = MFS_GRAYED, C = MFS_CHECKED;

const int seedOne[4][10] = { { 2, 28, 15, 21, 10, 5, 39, 3, 25, 26 },
                             { 12, 36, 23, 37, 32, 34, 13, 22, 16, 8 },
                             { 7, 19, 30, 33, 20, 24, 14, 29, 38, 4 },
                             { 31, 9, 27, 1, 6, 11, 35, 17, 40, 18 } };
const int solved[4][10] = { { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                            { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                            { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 },
                            { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 } };

// One click on the card at (column, row) (column F: a free cell) and where
// that card must go; toColumn 0: nothing may change and no sound plays.
struct Step {
    int button, column, row, toColumn, toRow;
};

void Play(std::initializer_list<Step> steps)
{
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "click " << s.button << " at " << s.column << "," << s.row);
        int cells[11][5], free[5], used = freeUsed, sounds = soundsPlayed;
        std::memcpy(cells, board, sizeof board);
        std::memcpy(free, freeCells, sizeof free);
        int& from = s.column == F ? free[s.row] : cells[s.column][s.row];
        int card = from;
        if (s.toColumn != 0) {
            from = s.column == F ? 0 : H;
            (s.toColumn == F ? free[s.toRow] : cells[s.toColumn][s.toRow]) = card;
            used += (s.toColumn == F) - (s.column == F);
        }
        POINT p = CellPoint(s.column, s.row);
        EXPECT_EQ(Click(s.button, p.x, p.y), s.button == L && s.toColumn != 0);
        EXPECT_EQ(std::memcmp(cells, board, sizeof board), 0);
        EXPECT_EQ(std::memcmp(free, freeCells, sizeof free), 0);
        EXPECT_EQ(freeUsed, used);
        EXPECT_EQ(soundsPlayed, sounds + (s.toColumn != 0));
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
    }
}

void ExpectFreeCellItems(UINT one, UINT two, UINT three, UINT four, int limit)
{
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_1), one);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_2), two);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_3), three);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_4), four);
    EXPECT_EQ(freeLimit, limit);
}

class Rules : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
    }
};

} // namespace

TEST(Deal, GeneratorSeedOneLayoutEveryCardOnceAndTheClockSeed)
{
    SeedRandom(1);
    EXPECT_EQ(NextRandom(), 41);
    EXPECT_EQ(NextRandom(), 18467);
    EXPECT_EQ(NextRandom(), 6334);
    DealBoard(1);
    for (int r = 1; r <= 4; r++)
        for (int c = 1; c <= 10; c++)
            EXPECT_EQ(board[c][r], seedOne[r - 1][c - 1]) << "cell " << c << "," << r;
    for (unsigned int seed = 0; seed < 20000; seed++) {
        int order[41], seen[41] = {};
        SeedRandom(seed * 2654435761u);
        DrawDealOrder(order);
        for (int k = 1; k <= 40; k++)
            ASSERT_TRUE(order[k] >= 1 && order[k] <= 40 && ++seen[order[k]] == 1) << "seed " << seed;
    }
    // No window: the views are not made, only the board.
    unsigned int before = (unsigned int)std::time(nullptr);
    DealCards();
    unsigned int after = (unsigned int)std::time(nullptr);
    bool matches = false;
    for (unsigned int seed = before; seed <= after && !matches; seed++) {
        int order[41];
        SeedRandom(seed);
        DrawDealOrder(order);
        matches = true;
        for (int k = 1; k <= 40; k++)
            matches = matches && board[(k - 1) % 10 + 1][(k - 1) / 10 + 1] == order[k];
    }
    EXPECT_TRUE(matches);
}

TEST_F(Rules, HitTestUsesTheGridPitchAlsoInTheFreeCellColumn)
{
    Command(CMD_FREE_CELLS_4);
    Play({ { R, 1, 1, F, 1 }, { R, 2, 1, F, 2 }, { R, 3, 1, F, 3 }, { R, 5, 1, F, 4 } });  // 2, 28, 15, 10
    const struct { int x, y, card, column, row; } hits[] = {
        { 693, 1, 2, 12, 1 },    { 755, 1, 2, 12, 1 },  { 700, 203, 28, 12, 2 }, { 700, 204, 15, 12, 3 },
        { 700, 305, 15, 12, 3 }, { 700, 306, 10, 12, 4 }, { 700, 408, 0, 12, 5 }, { 756, 1, 0, 13, 1 },
        { 692, 1, 0, 11, 1 },    { 0, 0, H, 1, 1 },      { 62, 101, H, 1, 1 },    { 629, 407, 18, 10, 4 },
        { 31, 408, 0, 1, 5 },
    };
    for (const auto& h : hits) {
        EXPECT_EQ(CardAtPoint(h.x, h.y), h.card) << h.x << "," << h.y;
        EXPECT_TRUE(selCol == h.column && selRow == h.row && selCard == h.card) << h.x << "," << h.y;
    }
}

TEST_F(Rules, SeedOneClicksParksAndRefusals)
{
    Play({ { R, 4, 4, 0, 0 },                       // the ace of batons is never parked
           { R, 2, 1, F, 1 },                       // 28 parks
           { R, 6, 1, 0, 0 },                       // the one free cell is full
           { R, 2, 1, 0, 0 },                       // a hole
           { R, F, 1, 0, 0 },                       // the free-cell column
           { L, 8, 1, 2, 1 },                       // 3 goes right of 2
           { L, 9, 4, 8, 1 }, { L, 10, 4, 9, 4 }, { L, 2, 3, 10, 4 }, { L, 10, 2, 2, 3 },
           { L, 8, 4, 10, 2 }, { L, 2, 2, 8, 4 }, { L, 7, 2, 2, 2 },
           { L, F, 1, 0, 0 } });                    // 28: its 27 stands right of the ace
    EXPECT_EQ(LowestEmptyFreeCell(), 0);
    EXPECT_EQ(soundName, MAKEINTRESOURCEA(175));
    EXPECT_EQ(soundModule, (HMODULE)appInstance);
    EXPECT_EQ(soundFlags, (DWORD)SND_RESOURCE);
}

TEST_F(Rules, ParksFillTheLowestEmptyCellAndCardsComeBack)
{
    Command(CMD_FREE_CELLS_3);
    Play({ { R, 8, 1, F, 1 }, { R, 2, 1, F, 2 }, { L, F, 1, 2, 1 }, { R, 3, 1, F, 1 }, { R, 8, 2, F, 3 },
           { R, 5, 1, 0, 0 }, { R, 4, 2, 0, 0 } });
    const int aces[4][10] = { { H, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                              { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                              { H, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                              { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int acesParked[4] = { 1, 21, 0, 0 };
    LayOut(aces, acesParked);
    // Aces go to the topmost hole of column 1, also from column 1 itself.
    Play({ { L, F, 2, 1, 1 }, { L, 1, 4, 1, 3 }, { L, 1, 1, 1, 4 }, { L, F, 1, 1, 1 }, { L, 1, 2, 0, 0 } });
    const int stuck[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, H, 9 },
                               { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                               { 22, 23, H, 24, 25, 26, 27, 28, 29, 30 },
                               { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int stuckParked[4] = { 10, 21, 0, 0 };
    LayOut(stuck, stuckParked);
    // The 10's 9 is in column 10, the 22's ace is parked, no hole in column 1.
    Play({ { L, F, 1, 0, 0 }, { L, 1, 3, 0, 0 }, { L, F, 2, 0, 0 }, { L, 10, 2, 0, 0 }, { L, 2, 3, 0, 0 },
           { R, 1, 1, 0, 0 } });
    const int predecessor[4][10] = { { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 },
                                     { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                                     { 3, 4, 1, H, 5, 6, 7, 8, 9, 10 },
                                     { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 } };
    const int twoParked[4] = { 2, 0, 0, 0 };
    LayOut(predecessor, twoParked);
    Play({ { L, F, 1, 4, 3 }, { R, 3, 3, 0, 0 } });  // an ace, with the cells empty
}

TEST_F(Rules, ClicksOnNothingChangeNothingAndPlayNothing)
{
    Play({ { R, 2, 1, F, 1 } });
    const POINT points[] = { { 94, 50 }, { 650, 50 }, { 700, 150 }, { 780, 50 }, { 100, 420 },
                             { 691, 50 }, { 700, 420 }, { 65535, 65535 }, { 0, 65535 }, { 65535, 0 } };
    int cells[11][5], free[5], used = freeUsed;
    std::memcpy(cells, board, sizeof board);
    std::memcpy(free, freeCells, sizeof free);
    for (POINT p : points) {
        EXPECT_EQ(Click(L, p.x, p.y), 0) << p.x << "," << p.y;
        EXPECT_EQ(Click(R, p.x, p.y), 0) << p.x << "," << p.y;
    }
    EXPECT_EQ(std::memcmp(cells, board, sizeof board), 0);
    EXPECT_EQ(std::memcmp(free, freeCells, sizeof free), 0);
    EXPECT_EQ(freeUsed, used);
    EXPECT_EQ(soundsPlayed, 1);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST(Win, SolvedOnlyWhenEveryRowIsOneSuitFromAceToKing)
{
    auto solvedWith = [&](int column, int row, int value) {
        for (int r = 1; r <= 4; r++)
            for (int c = 1; c <= 10; c++)
                board[c][r] = solved[r - 1][c - 1];
        if (column != 0)
            board[column][row] = value;
        return IsSolved();
    };
    EXPECT_EQ(solvedWith(0, 0, 0), 1);
    for (int r = 1; r <= 4; r++) {
        EXPECT_EQ(solvedWith(10, r, H), 0) << "row " << r;
        EXPECT_EQ(solvedWith(1, r, H), 0) << "row " << r;
    }
    solvedWith(0, 0, 0);
    std::swap(board[4][4], board[5][4]);
    EXPECT_EQ(IsSolved(), 0);
    solvedWith(0, 0, 0);
    for (int c = 1; c <= 10; c++)  // row 2 shifted: 2 to 10 with a hole first
        board[c][2] = c == 1 ? H : c;
    EXPECT_EQ(IsSolved(), 0);
}

TEST_F(Rules, WinPromptCountsTheFreeCellsAndYesDealsAfresh)
{
    const struct { int cells, answer; } wins[] = { { 1, IDYES }, { 4, IDYES }, { 3, IDNO } };
    for (const auto& w : wins) {
        SCOPED_TRACE(w.cells);
        if (w.cells > 1)
            Command(CMD_FREE_CELLS_1 + w.cells - 1);
        int rows[4][10];
        std::memcpy(rows, solved, sizeof rows);
        rows[3][9] = H;
        const int kingParked[4] = { 20, 0, 0, 0 };
        LayOut(rows, kingParked);
        HWND oldKing = cardWindows[20];
        BoxSeen box = AnswerBox(WM_COMMAND, w.answer, [] { ClickCard(20, CLICK_LEFT); });
        ASSERT_TRUE(box.shown);
        EXPECT_EQ(box.caption, "Orvenna 2000");
        EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con " + std::to_string(w.cells) +
                                " spazi liberi.\nVuoi fare un'altra partita ?");
        EXPECT_TRUE(box.ownerDisabled);
        EXPECT_EQ(soundsPlayed, 1);
        if (w.answer == IDNO)
            break;
        EXPECT_FALSE(IsWindow(oldKing));
        EXPECT_EQ(IsSolved(), 0);
        ExpectFreeCellItems(C, 0, 0, 0, 2);
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
        soundsPlayed = 0;
    }
    EXPECT_FALSE(IsWindow(mainWindow));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

// Smaller choices still arrive as messages although their items are grey.
TEST_F(Rules, FreeCellMenuOnlyGrowsUntilANewGame)
{
    ExpectFreeCellItems(C, 0, 0, 0, 2);
    Command(CMD_FREE_CELLS_2);
    ExpectFreeCellItems(G, C, 0, 0, 3);
    Command(CMD_FREE_CELLS_3);
    ExpectFreeCellItems(G, G, C, 0, 4);
    Command(CMD_FREE_CELLS_2);
    Command(CMD_FREE_CELLS_1);
    ExpectFreeCellItems(G, G, C, 0, 4);
    Command(CMD_FREE_CELLS_4);
    ExpectFreeCellItems(G, G, G, C, 5);
    Play({ { R, 1, 1, F, 1 }, { R, 2, 1, F, 2 }, { R, 3, 1, F, 3 }, { R, 5, 1, F, 4 }, { R, 6, 1, 0, 0 } });
    Command(CMD_FREE_CELLS_3);
    ExpectFreeCellItems(G, G, G, C, 5);
    EXPECT_EQ(Command(CMD_NEW_GAME), 0);
    ExpectFreeCellItems(C, 0, 0, 0, 2);
    EXPECT_EQ(freeUsed, 1);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
    Command(CMD_FREE_CELLS_3);
    ExpectFreeCellItems(G, G, C, 0, 4);
    Command(CMD_FREE_CELLS_1);
    ExpectFreeCellItems(G, G, C, 0, 4);
}
