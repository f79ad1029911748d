// The rules through the window procedure: the deal, the hit test, each click's effect on the
// table, its views and the move sound; the win test and prompt, the free-cell menu, random play.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {

const int H = CELL_EMPTY, L = CLICK_LEFT, R = CLICK_RIGHT, F = FREE_CELL_COLUMN;

// One click on the card at (column, row) (column F: a free cell) and where
// that card must go; toColumn 0: nothing may change and no sound plays.
struct Step { int button, column, row, toColumn, toRow; };

void Play(std::initializer_list<Step> steps)
{
    static std::vector<Step> todo;
    todo = steps;
    BoxSeen box = AnswerBox(WM_COMMAND, IDYES, [] {
        for (const Step& s : todo) {
            SCOPED_TRACE(testing::Message() << "click " << s.button << " at " << s.column << "," << s.row);
            std::string before = TableKey();
            size_t played = sounds.size();
            if (s.toColumn != 0) {
                int& from = s.column == F ? freeCells[s.row] : board[s.column][s.row];
                (s.toColumn == F ? freeCells[s.toRow] : board[s.toColumn][s.toRow]) = from;
                from = s.column == F ? 0 : H;
                freeUsed += (s.toColumn == F) - (s.column == F);
            }
            std::string expected = TableKey();
            SetTableKey(before);
            POINT p = CellOrigin(s.column, s.row);
            EXPECT_EQ(Click(s.button, p.x + 31, p.y + 50), s.button == L && s.toColumn != 0);
            EXPECT_TRUE(TableKey() == expected);
            EXPECT_EQ(sounds.size(), played + (s.toColumn != 0));
            ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
        }
    });
    EXPECT_FALSE(box.shown);  // no win here
}

// The items 1 to 4 under "Spazi liberi" (Checked, Grey, - plain) and the free cells enabled.
std::string FreeCellItems()
{
    std::string items;
    for (UINT id = CMD_FREE_CELLS_1; id <= CMD_FREE_CELLS_4; id++)
        items += MenuState(id) == MFS_CHECKED ? 'C' : MenuState(id) == MFS_GRAYED ? 'G' : MenuState(id) ? '?' : '-';
    return items + std::to_string(freeLimit - 1);
}

} // namespace

TEST(Deal, GeneratorSeedOneLayoutEveryCardOnceAndTheClockSeed)
{
    SeedRandom(1);
    EXPECT_TRUE(NextRandom() == 41 && NextRandom() == 18467 && NextRandom() == 6334);
    const int seedOne[4][10] = { { 2, 28, 15, 21, 10, 5, 39, 3, 25, 26 }, { 12, 36, 23, 37, 32, 34, 13, 22, 16, 8 },
                                 { 7, 19, 30, 33, 20, 24, 14, 29, 38, 4 }, { 31, 9, 27, 1, 6, 11, 35, 17, 40, 18 } };
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
    unsigned int before = (unsigned int)std::time(nullptr);
    DealCards();  // no window here: only the board is dealt
    std::string dealt = TableKey();
    bool matches = false;
    for (unsigned int seed = before; seed <= (unsigned int)std::time(nullptr); seed++)
        matches = matches || (DealBoard(seed), TableKey() == dealt);
    EXPECT_TRUE(matches);
}

TEST_F(Rules, ClicksMoveParkRefuseAndChangeNothingOnNothing)
{
    Play({ { R, 4, 4, 0, 0 },  // the ace of batons is never parked
           { R, 2, 1, F, 1 },  // 28 parks
           { R, 6, 1, 0, 0 },  // the one free cell is full
           { R, 2, 1, 0, 0 },  // a hole
           { R, F, 1, 0, 0 },  // the free-cell column
           { L, 8, 1, 2, 1 },  // 3 goes right of 2
           { L, 9, 4, 8, 1 }, { L, 10, 4, 9, 4 }, { L, 2, 3, 10, 4 }, { L, 10, 2, 2, 3 }, { L, 8, 4, 10, 2 },
           { L, 2, 2, 8, 4 }, { L, 7, 2, 2, 2 },
           { L, F, 1, 0, 0 } });  // 28: its 27 stands left of the ace
    EXPECT_EQ(LowestEmptyFreeCell(), 0);
    for (const SoundCall& sound : sounds)
        EXPECT_TRUE(sound.name == MAKEINTRESOURCEA(175) && sound.module == appInstance && sound.flags == SND_RESOURCE);

    std::string before = TableKey();
    const POINT nothing[] = { { 409, 152 }, { 650, 50 }, { 700, 150 }, { 780, 50 }, { 100, 420 }, { 691, 50 },
                              { 700, 420 }, { 65535, 65535 }, { 0, 65535 }, { 65535, 0 } };
    for (POINT p : nothing) {
        EXPECT_EQ(Click(L, p.x, p.y), 0) << p.x << "," << p.y;
        EXPECT_EQ(Click(R, p.x, p.y), 0) << p.x << "," << p.y;
    }
    EXPECT_TRUE(TableKey() == before);
    EXPECT_EQ(sounds.size(), 9u);

    StartGame(1);
    Command(CMD_FREE_CELLS_3);  // the lowest empty cell first
    Play({ { R, 8, 1, F, 1 }, { R, 2, 1, F, 2 }, { L, F, 1, 2, 1 }, { R, 3, 1, F, 1 }, { R, 8, 2, F, 3 },
           { R, 5, 1, 0, 0 } });
    const int aces[4][10] = { { H, 2, 3, 4, 5, 6, 7, 8, 9, 10 }, { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                              { H, 22, 23, 24, 25, 26, 27, 28, 29, 30 }, { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int acesParked[4] = { 1, 21, 0, 0 };
    LayOut(aces, acesParked);
    Play({ { L, F, 2, 1, 1 }, { L, 1, 4, 1, 3 }, { L, 1, 1, 1, 4 }, { L, F, 1, 1, 1 }, { L, 1, 2, 0, 0 } });
    // The 10's 9 is in column 10, the 22's ace is parked, no hole in column 1;
    // the 23 stands right of its 22; aces are never parked.
    const int stuck[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, H, 9 }, { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                               { 22, 23, H, 24, 25, 26, 27, 28, 29, 30 }, { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int stuckParked[4] = { 10, 21, 0, 0 };
    LayOut(stuck, stuckParked);
    Play({ { L, F, 1, 0, 0 }, { L, 1, 3, 0, 0 }, { L, F, 2, 0, 0 }, { L, 10, 2, 0, 0 }, { L, 2, 3, 0, 0 },
           { R, 1, 1, 0, 0 }, { R, 1, 4, 0, 0 }, { R, 2, 1, F, 3 } });
}

TEST_F(Rules, WinTestPromptAndNewGame)
{
    int rows[4][10];
    for (int c = 1; c <= 10; c++)  // in any suit order
        for (int r = 1; r <= 4; r++)
            board[c][r] = rows[r - 1][c - 1] = (4 - r) * 10 + c;
    EXPECT_EQ(IsSolved(), 1);
    for (int r = 1; r <= 4; r++)
        for (int c : { 1, 6, 10 }) {
            std::swap(board[c][r], board[c % 10 + 1][r]);
            EXPECT_EQ(IsSolved(), 0) << c << "," << r;
            std::swap(board[c][r], board[c % 10 + 1][r]);
        }
    rows[3][9] = H;  // the king of batons waits in free cell 1
    const int kingParked[4] = { 10, 0, 0, 0 };
    for (int cells : { 1, 4, 3 }) {
        SCOPED_TRACE(cells);
        Command(CMD_FREE_CELLS_1 + cells - 1);
        LayOut(rows, kingParked);
        BoxSeen box = AnswerBox(WM_COMMAND, cells == 3 ? IDNO : IDYES, [] { ClickCard(10, CLICK_LEFT); });
        EXPECT_TRUE(box.shown && box.ownerDisabled && box.caption == "Orvenna 2000");
        EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con " + std::to_string(cells) +
                                " spazi liberi.\nVuoi fare un'altra partita ?");
        if (cells == 3)
            break;
        EXPECT_TRUE(IsWindow(mainWindow) && !IsSolved());
        EXPECT_EQ(FreeCellItems(), "C---1");
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
    }
    EXPECT_FALSE(IsWindow(mainWindow));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

// Smaller choices still arrive as messages although their items are grey.
TEST_F(Rules, FreeCellMenuOnlyGrowsUntilANewGameAndTheHitRows)
{
    EXPECT_EQ(FreeCellItems(), "C---1");
    Command(CMD_FREE_CELLS_2);
    EXPECT_EQ(FreeCellItems(), "GC--2");
    Command(CMD_FREE_CELLS_3);
    Command(CMD_FREE_CELLS_2);
    Command(CMD_FREE_CELLS_1);
    EXPECT_EQ(FreeCellItems(), "GGC-3");
    Command(CMD_FREE_CELLS_4);
    EXPECT_EQ(FreeCellItems(), "GGGC4");
    Play({ { R, 1, 1, F, 1 }, { R, 2, 1, F, 2 }, { R, 3, 1, F, 3 }, { R, 5, 1, F, 4 }, { R, 6, 1, 0, 0 } });
    Command(CMD_FREE_CELLS_3);
    EXPECT_EQ(FreeCellItems(), "GGGC4");
    // Free cells stand 101 pixels apart, their hit rows 102.
    const struct { int x, y, card, column, row; } hits[] = {
        { 693, 1, 2, 12, 1 },    { 755, 1, 2, 12, 1 },   { 700, 203, 28, 12, 2 }, { 700, 204, 15, 12, 3 },
        { 700, 305, 15, 12, 3 }, { 700, 306, 10, 12, 4 }, { 700, 408, 0, 12, 5 }, { 756, 1, 0, 13, 1 },
        { 692, 1, 0, 11, 1 },    { 62, 101, H, 1, 1 },   { 629, 407, 18, 10, 4 }, { 31, 408, 0, 1, 5 },
    };
    for (const auto& h : hits)
        EXPECT_TRUE(CardAtPoint(h.x, h.y) == h.card && selCol == h.column && selRow == h.row && selCard == h.card)
            << h.x << "," << h.y;
    EXPECT_EQ(Command(CMD_NEW_GAME), 0);
    EXPECT_EQ(FreeCellItems(), "C---1");
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
    Command(CMD_FREE_CELLS_3);
    EXPECT_EQ(FreeCellItems(), "GGC-3");
}

// Clicks anywhere with both buttons, every command (legal or not), size and
// media notices; a win's prompt is answered Yes. ORVENNA_RANDOM_EVENTS sets the length.
void PlayRandomEvents()
{
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return (int)(random() % (unsigned)n); };
    const int commands[] = { CMD_FREE_CELLS_1, CMD_FREE_CELLS_2, CMD_FREE_CELLS_3, CMD_FREE_CELLS_4,
                             CMD_NEW_GAME, CMD_MUSIC, 0, 1, 106, 32776, 65535 };
    const char* length = std::getenv("ORVENNA_RANDOM_EVENTS");
    int moves = 0, events = length ? std::atoi(length) : 5000;
    for (int i = 0; i < events; i++, sounds.clear()) {
        int x = pick(10) == 0 ? pick(65536) : pick(800), y = pick(10) == 0 ? pick(65536) : pick(500);
        int kind = pick(100);
        if (kind < 85)
            moves += (int)Click(kind < 45 ? L : R, x, y);
        else if (kind < 95)
            Command(commands[pick(sizeof commands / sizeof commands[0])]);
        else
            SendMessageA(mainWindow, kind < 98 ? WM_SIZE : MM_MCINOTIFY, kind < 98 ? pick(5) : 1u << pick(4), x);
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable()) << "after event " << i;
        ASSERT_TRUE((musicOn == 0 || musicOn == 1) && (musicPlaying == 0 || musicPlaying == 1));
    }
    EXPECT_GT(moves, events / 200);  // the run did play
}

TEST_F(RandomPlay, TheTableStaysConsistentWhateverArrives)
{
    AnswerBox(WM_COMMAND, IDYES, PlayRandomEvents);
}
