// The solver and the hint companion's reading of the game: answers on
// positions whose answers are known, the pruning against a plain search,
// winning lines played through the real window, the solver's click against
// the click handlers, and the table read back from the card views.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "hint/gamewindow.h"
#include "resources/resource.h"
#include "solver/solver.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const int H = CELL_EMPTY, L = CLICK_LEFT, R = CLICK_RIGHT;

std::string TableKey()
{
    return std::string((const char*)board, sizeof board) + std::string((const char*)freeCells, sizeof freeCells) +
           std::to_string(freeUsed);
}

void SetTableKey(const std::string& key)
{
    std::memcpy(board, key.data(), sizeof board);
    std::memcpy(freeCells, key.data() + sizeof board, sizeof freeCells);
    freeUsed = std::stoi(key.substr(sizeof board + sizeof freeCells));
}

// Every reachable position tried with every click the game accepts, no
// pruning: 1 won, 0 lost.
int PlainSearch(int freeCellsEnabled)
{
    std::set<std::string> seen{ TableKey() };
    std::vector<std::string> waiting{ TableKey() };
    freeLimit = freeCellsEnabled + 1;
    while (!waiting.empty()) {
        std::string key = waiting.back();
        waiting.pop_back();
        for (int card = 1; card <= CARD_COUNT; card++)
            for (int button = L; button <= R; button++) {
                SetTableKey(key);
                if (!ApplyClick(card, button))
                    continue;
                if (IsSolved())
                    return 1;
                if (seen.insert(TableKey()).second)
                    waiting.push_back(TableKey());
            }
    }
    return 0;
}

class Solver : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
    }
};

} // namespace

TEST_F(Solver, KnownAnswersOnCraftedPositionsAndRefusals)
{
    const struct {
        std::vector<std::array<int, 3>> changes;  // (column, row, value) on the solved table
        int parked[4], cells, answer, length, firstCard, firstButton;
    } positions[] = {
        { {}, {}, 1, SOLVE_WON, 0, 0, 0 },
        { { { 10, 2, H } }, { 20 }, 1, SOLVE_WON, 1, 20, L },
        { { { 9, 4, 40 }, { 10, 4, 39 } }, {}, 1, SOLVE_WON, 3, 40, R },  // park, slide, back
        { { { 5, 3, 26 }, { 6, 3, 27 }, { 7, 3, 28 }, { 8, 3, 29 }, { 9, 3, 30 }, { 10, 3, H } }, { 25 }, 1,
          SOLVE_LOST, 0, 0, 0 },
        { { { 5, 3, H } }, { 0, 25 }, 2, SOLVE_WON, 1, 25, L },
        { { { 5, 3, H } }, { 0, 25 }, 1, SOLVE_INVALID, 0, 0, 0 },  // free cell 2 not enabled
        { { { 5, 3, H } }, {}, 4, SOLVE_INVALID, 0, 0, 0 },         // a hole with nothing parked
        { { { 1, 1, 2 } }, {}, 4, SOLVE_INVALID, 0, 0, 0 },         // two twos, no ace
        { { { 1, 2, H } }, { 11 }, 1, SOLVE_INVALID, 0, 0, 0 },     // an ace parked
        { { { 0, 2, 7 } }, {}, 1, SOLVE_INVALID, 0, 0, 0 },         // a sentinel written
        { {}, {}, 0, SOLVE_INVALID, 0, 0, 0 },
        { {}, {}, 5, SOLVE_INVALID, 0, 0, 0 },
    };
    int n = 0;
    for (const auto& p : positions) {
        SCOPED_TRACE(testing::Message() << "position " << ++n);
        std::memset(board, 0, sizeof board);
        for (int c = 1; c <= 10; c++)
            for (int r = 1; r <= 4; r++)
                board[c][r] = (r - 1) * 10 + c;
        for (const auto& change : p.changes)
            board[change[0]][change[1]] = change[2];
        std::memcpy(freeCells + 1, p.parked, sizeof p.parked);
        std::string before = TableKey();
        EXPECT_EQ(SolvePosition(p.cells, 1000), p.answer);
        EXPECT_EQ(TableKey(), before);
        EXPECT_EQ(winningLength, p.length);
        EXPECT_TRUE(p.length == 0 || (winningLine[1].card == p.firstCard && winningLine[1].button == p.firstButton));
        EXPECT_TRUE(p.answer != SOLVE_LOST || positionsSearched == 1);
    }
    DealBoard(7);
    std::memset(freeCells, 0, sizeof freeCells);
    EXPECT_EQ(SolvePosition(1, 50), SOLVE_UNKNOWN);  // too small a budget
}

TEST_F(Solver, PruningAgreesWithAPlainSearch)
{
    for (unsigned int seed : { 34u, 96u }) {
        DealBoard(seed);
        int answer = SolvePosition(1, MAX_BUDGET);
        EXPECT_EQ(answer == SOLVE_WON ? 1 : answer == SOLVE_LOST ? 0 : -1, PlainSearch(1)) << "seed " << seed;
    }
}

// Each click of a found line through the window procedure changes the table
// as the solver's click does; the last one brings up the congratulation.
TEST_F(Solver, WinningLinesWinTheRealGame)
{
    const struct { unsigned seed; int cells; } games[] = { { 34, 1 }, { 2, 2 }, { 1, 4 } };
    for (const auto& g : games) {
        SCOPED_TRACE(testing::Message() << "seed " << g.seed);
        StartGame(g.seed);
        if (g.cells > 1)
            Command(CMD_FREE_CELLS_1 + g.cells - 1);
        ASSERT_EQ(SolvePosition(g.cells, MAX_BUDGET), SOLVE_WON);
        ASSERT_GT(winningLength, 0);
        for (int i = 1; i < winningLength; i++) {
            std::string now = TableKey();
            ASSERT_EQ(ApplyClick(winningLine[i].card, winningLine[i].button), 1) << "click " << i;
            std::string predicted = TableKey();
            SetTableKey(now);
            ClickCard(winningLine[i].card, winningLine[i].button);
            ASSERT_EQ(TableKey(), predicted) << "click " << i;
        }
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
        static int last;
        last = winningLine[winningLength].card;
        BoxSeen box = AnswerBox(WM_COMMAND, IDYES, [] { ClickCard(last, CLICK_LEFT); });
        EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con " + std::to_string(g.cells) +
                                " spazi liberi.\nVuoi fare un'altra partita ?");
    }
}

// Random positions of random games: for every card and both buttons the
// solver's click changes the table exactly as the game's handlers do.
TEST_F(Solver, ClicksAgreeWithTheClickHandlers)
{
    std::mt19937 random(2000);
    for (int position = 0; position < 10; position++) {
        StartGame(1000 + position);
        Command(CMD_FREE_CELLS_1 + (int)(random() % 4));
        for (int step = (int)(random() % 60); step > 0; step--)
            ClickCard(1 + (int)(random() % 40), random() % 3 ? L : R);
        if (IsSolved())
            continue;
        int rows[4][10], free[4];
        for (int r = 1; r <= 4; r++)
            for (int c = 1; c <= 10; c++)
                rows[r - 1][c - 1] = board[c][r];
        std::memcpy(free, freeCells + 1, sizeof free);
        std::string start = TableKey();
        for (int card = 1; card <= 40; card++)
            for (int button = L; button <= R; button++) {
                ApplyClick(card, button);
                std::string predicted = TableKey();
                LayOut(rows, free);
                ClickCard(card, button);
                EXPECT_EQ(TableKey(), predicted) << "position " << position << " card " << card << " " << button;
                LayOut(rows, free);
                ASSERT_EQ(TableKey(), start);
            }
    }
}

TEST_F(Solver, CompanionReadsTheTableFromTheViewsAndPostsClicks)
{
    EXPECT_EQ(FindGameWindow(), mainWindow);
    Command(CMD_FREE_CELLS_4);
    for (int card : { 28, 15, 10 })
        ClickCard(card, R);
    std::string game = TableKey();
    ASSERT_EQ(ReadGameTable(mainWindow), 1);
    EXPECT_EQ(TableKey(), game);
    // Refused: a view between cells, two views on one cell, a second view of a card.
    const POINT places[] = { { 100, 77 }, { 0, 0 } };
    for (POINT p : places) {
        MoveCardView(36, p.x, p.y);
        EXPECT_EQ(ReadGameTable(mainWindow), 0) << p.x << "," << p.y;
        MoveCardView(36, 63, 102);
    }
    HWND twin = CreateWindowExA(0, "STATIC", "#36", WS_CHILD, FREE_CELL_X, 304, 62, 100, mainWindow, nullptr,
                                appInstance, nullptr);
    EXPECT_EQ(ReadGameTable(mainWindow), 0);
    SetWindowTextA(twin, "#");  // not a card: passed over
    EXPECT_EQ(ReadGameTable(mainWindow), 1);
    DestroyWindow(twin);
    EXPECT_EQ(ReadGameTable(nullptr), 0);
    SetTableKey(game);

    // Parked into free cell 4, then right of the 2: as the solver's click does.
    for (int button : { R, L }) {
        std::string now = TableKey();
        ApplyClick(3, button);
        std::string predicted = TableKey();
        SetTableKey(now);
        ASSERT_EQ(PostCardClick(mainWindow, 3, button), 1);
        PumpMessages();
        EXPECT_EQ(TableKey(), predicted);
    }
    EXPECT_EQ(PostCardClick(mainWindow, 0, L), 0);
    EXPECT_EQ(PostCardClick(mainWindow, 41, L), 0);
    EXPECT_EQ(FindEndOfGameBox(mainWindow), nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}
