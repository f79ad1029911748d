// The hint companion's view of the game, tried on the game's own window in
// this process: the table read from the card views, refused when it is not
// whole, and clicks posted as button messages.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/moves.h"
#include "hint/gamewindow.h"
#include "resources/resource.h"
#include "solver/solver.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

struct Table {
    int cells[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
    int free[FREE_CELL_COUNT + 1];
    int used;
};

Table Save()
{
    Table t;
    std::memcpy(t.cells, board, sizeof board);
    std::memcpy(t.free, freeCells, sizeof freeCells);
    t.used = freeUsed;
    return t;
}

void Restore(const Table& t)
{
    std::memcpy(board, t.cells, sizeof board);
    std::memcpy(freeCells, t.free, sizeof freeCells);
    freeUsed = t.used;
}

bool Same(const Table& a, const Table& b)
{
    return std::memcmp(a.cells, b.cells, sizeof a.cells) == 0 && std::memcmp(a.free, b.free, sizeof a.free) == 0 &&
           a.used == b.used;
}

class HintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(5);
        soundsAudible = false;
        Command(CMD_FREE_CELLS_4);
    }
};

} // namespace

TEST_F(HintTest, FindsTheGameByItsClassName)
{
    EXPECT_STREQ(GAME_CLASS_NAME, className);
    EXPECT_EQ(FindGameWindow(), mainWindow);
}

TEST_F(HintTest, ReadsTheTableFromTheCardViews)
{
    // Three parked cards and the moves they open.
    for (int i = 0; i < 3; i++) {
        for (int c = 2; c <= 10; c++) {
            if (MayPark(board[c][2])) {
                POINT p = CellPoint(c, 2);
                RightClick(p.x, p.y);
                break;
            }
        }
    }
    ASSERT_EQ(freeUsed, 4);
    Table game = Save();
    ASSERT_EQ(ReadGameTable(mainWindow), 1);
    EXPECT_TRUE(Same(Save(), game));
    Restore(game);
}

TEST_F(HintTest, RefusesATableThatIsNotWhole)
{
    Table game = Save();
    int card = board[3][3];
    // A view between cells, as while the platform moves it.
    MoveCardView(card, 100, 77);
    EXPECT_EQ(ReadGameTable(mainWindow), 0);
    Restore(game);
    // Two views on one cell.
    MoveCardView(card, 0, 0);
    EXPECT_EQ(ReadGameTable(mainWindow), 0);
    Restore(game);
    MoveCardView(card, 2 * COLUMN_PITCH, 2 * ROW_PITCH);
    EXPECT_EQ(ReadGameTable(mainWindow), 1);
    Restore(game);
    // A second view of a card, in an empty free cell.
    HWND twin = CreateWindowExA(0, "STATIC", cardViewNames[card], WS_CHILD | WS_VISIBLE, FREE_CELL_X, 1, CARD_WIDTH,
                                CARD_HEIGHT, mainWindow, nullptr, appInstance, nullptr);
    EXPECT_EQ(ReadGameTable(mainWindow), 0);
    DestroyWindow(twin);
    Restore(game);
    // Other child windows are not cards.
    HWND other = CreateWindowExA(0, "STATIC", "#", WS_CHILD, 0, 0, 10, 10, mainWindow, nullptr, appInstance, nullptr);
    EXPECT_EQ(ReadGameTable(mainWindow), 1);
    DestroyWindow(other);
    Restore(game);
    EXPECT_EQ(ReadGameTable(nullptr), 0);
    Restore(game);
}

TEST_F(HintTest, PostedClicksMoveCardsAsTheRulesSay)
{
    for (int c = 2; c <= 10; c++) {
        int card = board[c][1];
        if (!MayPark(card))
            continue;
        Table before = Save();
        ASSERT_EQ(PostCardClick(mainWindow, card, CLICK_RIGHT), 1);
        ApplyClick(card, CLICK_RIGHT);
        Table expected = Save();
        Restore(before);
        PumpMessages();
        EXPECT_TRUE(Same(Save(), expected));
        // And back with a left click where its place is right of the card
        // below it.
        ASSERT_EQ(PostCardClick(mainWindow, card, CLICK_LEFT), 1);
        PumpMessages();
        EXPECT_EQ(board[c][1] == card, board[c - 1][1] == card - 1);
        break;
    }
    EXPECT_EQ(PostCardClick(mainWindow, 0, CLICK_LEFT), 0);
    EXPECT_EQ(PostCardClick(mainWindow, 41, CLICK_LEFT), 0);
    EXPECT_EQ(FindEndOfGameBox(mainWindow), nullptr);
}
