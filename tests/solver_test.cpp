// The solver: answers on positions whose answers are known, winning lines
// played through the real game's window, the park-and-fill pruning against a
// search without it, and its moves against the game's click handlers.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "resources/resource.h"
#include "solver/solver.h"
#include "solver/words.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const int H = CELL_EMPTY;

const int solvedRows[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                                { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                                { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                                { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };

// Lays out a position on the board state only (no views).
void SetTable(const int rows[4][10], const int free[4])
{
    std::memset(board, 0, sizeof board);
    std::memset(freeCells, 0, sizeof freeCells);
    for (int r = 1; r <= 4; r++)
        for (int c = 1; c <= 10; c++)
            board[c][r] = rows[r - 1][c - 1];
    for (int i = 1; i <= 4; i++)
        freeCells[i] = free[i - 1];
}

void SetDeal(unsigned int seed)
{
    std::memset(board, 0, sizeof board);
    std::memset(freeCells, 0, sizeof freeCells);
    DealBoard(seed);
}

std::string TableKey()
{
    std::string key((const char*)board, sizeof board);
    return key + std::string((const char*)freeCells, sizeof freeCells);
}

// Every reachable position tried with every click the game accepts, no
// pruning: 1 won, 0 lost. Free-cell order is kept, so it is slower.
int PlainSearch(int freeCellsEnabled)
{
    std::set<std::string> seen;
    std::vector<std::string> waiting{ TableKey() };
    int savedLimit = freeLimit;
    freeLimit = freeCellsEnabled + 1;
    seen.insert(waiting[0]);
    while (!waiting.empty()) {
        std::string key = waiting.back();
        waiting.pop_back();
        for (int card = 1; card <= CARD_COUNT; card++) {
            for (int button = CLICK_LEFT; button <= CLICK_RIGHT; button++) {
                std::memcpy(board, key.data(), sizeof board);
                std::memcpy(freeCells, key.data() + sizeof board, sizeof freeCells);
                freeUsed = 1;
                for (int i = 1; i <= 4; i++)
                    freeUsed += freeCells[i] != 0;
                if (!ApplyClick(card, button))
                    continue;
                if (IsSolved()) {
                    freeLimit = savedLimit;
                    return 1;
                }
                if (seen.insert(TableKey()).second)
                    waiting.push_back(TableKey());
            }
        }
    }
    freeLimit = savedLimit;
    return 0;
}

POINT PointOfCard(int card)
{
    for (int c = 1; c <= 10; c++)
        for (int r = 1; r <= 4; r++)
            if (board[c][r] == card)
                return CellPoint(c, r);
    for (int i = 1; i <= 4; i++)
        if (freeCells[i] == card)
            return FreeCellPoint(i);
    return POINT{ -1, -1 };
}

int lastCard = 0;
void LastLeftClick()
{
    POINT p = PointOfCard(lastCard);
    LeftClick(p.x, p.y);
}

class SolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
        soundsAudible = false;
    }
};

} // namespace

TEST_F(SolverTest, KnownAnswersOnCraftedPositions)
{
    const int none[4] = {};
    SetTable(solvedRows, none);
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_WON);
    EXPECT_EQ(winningLength, 0);

    // One click from won: the king of cups goes back from free cell 1.
    int oneToGo[4][10];
    std::memcpy(oneToGo, solvedRows, sizeof oneToGo);
    oneToGo[1][9] = H;
    const int kingParked[4] = { 20, 0, 0, 0 };
    SetTable(oneToGo, kingParked);
    ASSERT_EQ(SolvePosition(1, 1000), SOLVE_WON);
    ASSERT_EQ(winningLength, 1);
    EXPECT_EQ(winningLine[1].card, 20);
    EXPECT_EQ(winningLine[1].button, CLICK_LEFT);
    // The solver leaves the table as it found it.
    EXPECT_EQ(board[10][2], H);
    EXPECT_EQ(freeCells[1], 20);

    // Knight and king swapped at the end of a row: park the king, the
    // knight slides left, the king comes back: three clicks.
    int swapped[4][10];
    std::memcpy(swapped, solvedRows, sizeof swapped);
    swapped[3][8] = 40;
    swapped[3][9] = 39;
    SetTable(swapped, none);
    ASSERT_EQ(SolvePosition(1, 1000), SOLVE_WON);
    ASSERT_EQ(winningLength, 3);
    EXPECT_EQ(winningLine[1].card, 40);
    EXPECT_EQ(winningLine[1].button, CLICK_RIGHT);

    // Lost: the only hole is right of a king and the one free cell is full.
    const int deadRows[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                                  { H, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                                  { 21, 22, 23, 24, 25, 26, 27, 28, 29, 30 },
                                  { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int deadFree[4] = { 11, 0, 0, 0 };
    SetTable(deadRows, deadFree);
    // (The ace of cups is parked: not a position of the game.)
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_INVALID);

    const int stuckRows[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
                                   { 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 },
                                   { 21, 22, 23, 24, 26, 27, 28, 29, 30, H },
                                   { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int stuckFree[4] = { 25, 0, 0, 0 };
    SetTable(stuckRows, stuckFree);
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_LOST);
    EXPECT_EQ(positionsSearched, 1);

    // One move from lost: the king of batons fills the hole and leaves one
    // right of the king of coins; the 5 of coins can never come back.
    const int oneToLoseRows[4][10] = { { 1, 2, 3, 4, 5, 6, 7, 8, 9, H },
                                       { 30, 10, 11, 12, 13, 14, 15, 16, 17, 18 },
                                       { 19, 20, 21, 22, 23, 24, 26, 27, 28, 29 },
                                       { 31, 32, 33, 34, 35, 36, 37, 38, 39, 40 } };
    const int fiveParked[4] = { 25, 0, 0, 0 };
    SetTable(oneToLoseRows, fiveParked);
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_LOST);
    EXPECT_EQ(positionsSearched, 2);
    // A budget too small to decide gives no answer rather than a wrong one.
    SetDeal(7);
    EXPECT_EQ(SolvePosition(1, 50), SOLVE_UNKNOWN);
}

TEST_F(SolverTest, PositionsTheGameCannotReachAreRefused)
{
    const int none[4] = {};
    int rows[4][10];
    std::memcpy(rows, solvedRows, sizeof rows);
    rows[0][0] = 2;   // two twos of batons, no ace
    SetTable(rows, none);
    EXPECT_EQ(SolvePosition(4, 1000), SOLVE_INVALID);

    std::memcpy(rows, solvedRows, sizeof rows);
    rows[2][4] = H;   // a hole without a parked card
    SetTable(rows, none);
    EXPECT_EQ(SolvePosition(4, 1000), SOLVE_INVALID);

    const int inCellTwo[4] = { 0, 25, 0, 0 };
    SetTable(rows, inCellTwo);
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_INVALID);   // cell 2 not enabled
    EXPECT_EQ(SolvePosition(2, 1000), SOLVE_WON);
    EXPECT_EQ(SolvePosition(0, 1000), SOLVE_INVALID);
    EXPECT_EQ(SolvePosition(5, 1000), SOLVE_INVALID);

    SetTable(solvedRows, none);
    board[0][2] = 7;   // a sentinel written
    EXPECT_EQ(SolvePosition(1, 1000), SOLVE_INVALID);
}

// The deals these seeds make are decided the same with and without the
// park-and-fill rule (won and lost ones with one free cell, small enough
// for the plain search).
TEST_F(SolverTest, PruningKeepsEveryAnswer)
{
    const unsigned seeds[] = { 34, 58, 74, 96 };
    const int plainAnswers[] = { 1, 1, 0, 0 };
    for (int i = 0; i < 4; i++) {
        SetDeal(seeds[i]);
        int answer = SolvePosition(1, MAX_BUDGET);
        EXPECT_EQ(PlainSearch(1), plainAnswers[i]) << "seed " << seeds[i];
        EXPECT_EQ(answer, plainAnswers[i] ? SOLVE_WON : SOLVE_LOST) << "seed " << seeds[i];
    }
}

// Found lines played click by click through the game's window procedure:
// every click changes the table as the solver's own click does, and the
// last one brings up the congratulation with the number of free cells.
TEST_F(SolverTest, WinningLinesWinTheRealGame)
{
    // With a budget of two million positions, seed 3 with two free cells is
    // won by the best-first search after the first search gave up, and
    // seed 14 by the first shuffled restart.
    const struct {
        unsigned seed;
        int cells;
        long long budget;
        long long positionsAtLeast;
    } games[] = { { 1, 4, MAX_BUDGET, 1 }, { 2, 2, MAX_BUDGET, 1 }, { 34, 1, MAX_BUDGET, 1 },
                  { 3, 2, 2000000, 500000 }, { 14, 2, 2000000, 1000000 } };
    for (const auto& g : games) {
        SCOPED_TRACE("seed " + std::to_string(g.seed));
        StartGame(g.seed);
        for (int n = 2; n <= g.cells; n++)
            Command(CMD_FREE_CELLS_1 + n - 1);
        std::string before = TableKey();
        ASSERT_EQ(SolvePosition(g.cells, g.budget), SOLVE_WON);
        ASSERT_EQ(TableKey(), before);
        EXPECT_GE(positionsSearched, g.positionsAtLeast);
        ASSERT_GT(winningLength, 0);

        // Repeatable: the same position gives the same line.
        std::vector<std::pair<int, int>> line;
        for (int i = 1; i <= winningLength; i++)
            line.push_back({ winningLine[i].card, winningLine[i].button });
        long long positions = positionsSearched;
        ASSERT_EQ(SolvePosition(g.cells, g.budget), SOLVE_WON);
        EXPECT_EQ(positionsSearched, positions);
        ASSERT_EQ((int)line.size(), winningLength);
        for (int i = 1; i <= winningLength; i++)
            EXPECT_EQ(line[i - 1], std::make_pair(winningLine[i].card, winningLine[i].button));

        for (size_t i = 0; i + 1 < line.size(); i++) {
            std::string now = TableKey();
            int usedNow = freeUsed;
            ASSERT_EQ(ApplyClick(line[i].first, line[i].second), 1) << "click " << i + 1;
            std::string predicted = TableKey();
            std::memcpy(board, now.data(), sizeof board);
            std::memcpy(freeCells, now.data() + sizeof board, sizeof freeCells);
            freeUsed = usedNow;
            POINT p = PointOfCard(line[i].first);
            if (line[i].second == CLICK_LEFT)
                LeftClick(p.x, p.y);
            else
                RightClick(p.x, p.y);
            ASSERT_EQ(TableKey(), predicted) << "click " << i + 1;
            ASSERT_EQ(IsSolved(), 0);
        }
        ExpectConsistentTable();
        lastCard = line.back().first;
        BoxSeen box = AnswerBox(IDYES, LastLeftClick);
        EXPECT_TRUE(box.shown);
        EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con " + std::to_string(g.cells) +
                                " spazi liberi.\nVuoi fare un'altra partita ?");
    }
}

// Random positions of random games: the solver's click changes the table
// exactly as the game's handlers do for every card and both buttons; its
// left-click moves are exactly the cards a left click moves; its parks are
// the parks whose place another card can fill at once, each followed by
// that fill.
TEST_F(SolverTest, MovesAgreeWithTheClickHandlers)
{
    std::mt19937 rng(2000);
    for (int position = 0; position < 16; position++) {
        int cells = 1 + (int)(rng() % 4);
        StartGame(1000 + position);
        for (int n = 2; n <= cells; n++)
            Command(CMD_FREE_CELLS_1 + n - 1);
        for (int step = (int)(rng() % 60); step > 0; step--) {
            int card = 1 + (int)(rng() % 40);
            POINT p = PointOfCard(card);
            if (rng() % 3 == 0)
                RightClick(p.x, p.y);
            else
                LeftClick(p.x, p.y);
        }
        if (IsSolved())
            continue;
        SCOPED_TRACE("position " + std::to_string(position));
        int rows[4][10], free[4];
        for (int r = 1; r <= 4; r++)
            for (int c = 1; c <= 10; c++)
                rows[r - 1][c - 1] = board[c][r];
        for (int i = 1; i <= 4; i++)
            free[i - 1] = freeCells[i];
        std::string start = TableKey();
        int startUsed = freeUsed;

        std::set<int> leftMoves, parks;
        for (int card = 1; card <= 40; card++) {
            for (int button = CLICK_LEFT; button <= CLICK_RIGHT; button++) {
                int changed = ApplyClick(card, button);
                std::string predicted = TableKey();
                int predictedUsed = freeUsed;
                LayOut(rows, free);
                POINT p = PointOfCard(card);
                if (button == CLICK_LEFT)
                    LeftClick(p.x, p.y);
                else
                    RightClick(p.x, p.y);
                EXPECT_EQ(TableKey(), changed ? predicted : start) << "card " << card << " button " << button;
                EXPECT_EQ(freeUsed, changed ? predictedUsed : startUsed);
                if (changed)
                    (button == CLICK_LEFT ? leftMoves : parks).insert(card);
                LayOut(rows, free);
            }
        }

        int cards[MAX_MOVES], fillers[MAX_MOVES];
        int n = ListSearchMoves(cells, cards, fillers);
        EXPECT_EQ(TableKey(), start);
        std::set<int> listedLeft;
        std::set<std::pair<int, int>> listedParks;
        for (int i = 0; i < n; i++) {
            if (fillers[i] == 0)
                listedLeft.insert(cards[i]);
            else
                listedParks.insert({ cards[i], fillers[i] });
        }
        EXPECT_EQ(listedLeft, leftMoves);

        std::set<std::pair<int, int>> parkThenFill;
        for (int x : parks) {
            for (int f = 1; f <= 40; f++) {
                SetTable(rows, free);
                freeLimit = cells + 1;
                freeUsed = startUsed;
                int column = 0, row = 0;
                for (int c = 1; c <= 10; c++)
                    for (int r = 1; r <= 4; r++)
                        if (board[c][r] == x) {
                            column = c;
                            row = r;
                        }
                ASSERT_EQ(ApplyClick(x, CLICK_RIGHT), 1);
                if (f != x && ApplyClick(f, CLICK_LEFT) && board[column][row] == f)
                    parkThenFill.insert({ x, f });
            }
        }
        SetTable(rows, free);
        freeUsed = startUsed;
        EXPECT_EQ(listedParks, parkThenFill);
        LayOut(rows, free);
    }
}

TEST(SolverWords, CardsAndClicksInItalianAndEnglish)
{
    char it[120], en[120];
    CardNameItalian(27, it, sizeof it);
    CardNameEnglish(27, en, sizeof en);
    EXPECT_STREQ(it, "il 7 di denari");
    EXPECT_STREQ(en, "the 7 of coins");
    CardNameItalian(31, it, sizeof it);
    CardNameEnglish(18, en, sizeof en);
    EXPECT_STREQ(it, "l'asso di spade");
    EXPECT_STREQ(en, "the jack of cups");
    CardNameItalian(9, it, sizeof it);
    CardNameEnglish(10, en, sizeof en);
    EXPECT_STREQ(it, "il cavallo di bastoni");
    EXPECT_STREQ(en, "the king of batons");

    std::memset(board, 0, sizeof board);
    std::memset(freeCells, 0, sizeof freeCells);
    board[5][2] = 27;
    freeCells[3] = 40;
    DescribeClick(27, CLICK_LEFT, it, en, sizeof it);
    EXPECT_STREQ(it, "Muovi il 7 di denari (riga 2, colonna 5)");
    EXPECT_STREQ(en, "Move the 7 of coins (row 2, column 5)");
    DescribeClick(27, CLICK_RIGHT, it, en, sizeof it);
    EXPECT_STREQ(it, "Metti il 7 di denari (riga 2, colonna 5) in uno spazio libero");
    EXPECT_STREQ(en, "Park the 7 of coins (row 2, column 5) in a free cell");
    DescribeClick(40, CLICK_LEFT, it, en, sizeof it);
    EXPECT_STREQ(it, "Muovi il re di spade (spazio libero 3)");
    EXPECT_STREQ(en, "Move the king of swords (free cell 3)");
    // Out of range: no crash, no overflow.
    CardNameItalian(0, it, 2);
    EXPECT_STREQ(it, "?");
    DescribeClick(41, CLICK_LEFT, it, en, 8);
    EXPECT_EQ(std::strlen(it), 7u);
}
