// Shuffle and deal: the generator rule, known deals, and the deal's invariants.
#include "game/board.h"
#include "game/deal.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <ctime>

namespace {

// The generator state after the given number of draws from a seed.
unsigned int StateAfterDraws(unsigned int seed, int draws)
{
    SeedRandom(seed);
    for (int i = 0; i < draws; i++)
        NextRandom();
    return randomState;
}

void ExpectEveryCardOnceAndSentinelsZero()
{
    int seen[CARD_COUNT + 1] = {};
    for (int c = 1; c <= BOARD_COLUMNS; c++) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int card = board[c][r];
            ASSERT_GE(card, 1) << "cell " << c << "," << r;
            ASSERT_LE(card, CARD_COUNT) << "cell " << c << "," << r;
            seen[card]++;
        }
    }
    for (int n = 1; n <= CARD_COUNT; n++)
        EXPECT_EQ(seen[n], 1) << "card " << n;
    for (int c = 0; c <= BOARD_COLUMNS; c++)
        EXPECT_EQ(board[c][0], 0) << "sentinel row, column " << c;
    for (int r = 0; r <= BOARD_ROWS; r++)
        EXPECT_EQ(board[0][r], 0) << "sentinel column, row " << r;
}

class DealTest : public ::testing::Test {
protected:
    void SetUp() override { OpenMainWindow(SW_HIDE); }

    void Redeal(unsigned int seed)
    {
        DestroyCardViews();
        DealCardsFromSeed(seed);
    }
};

} // namespace

TEST(Generator, FirstDrawsFromSeedOne)
{
    SeedRandom(1);
    EXPECT_EQ(NextRandom(), 41);
    EXPECT_EQ(NextRandom(), 18467);
    EXPECT_EQ(NextRandom(), 6334);
}

TEST(Generator, DrawsStayWithinFifteenBitsOverAFullCycleSample)
{
    SeedRandom(0xDEADBEEF);
    for (int i = 0; i < 100000; i++) {
        int r = NextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST_F(DealTest, SeedOneGivesTheKnownLayoutInNinetyFiveDraws)
{
    const int expected[BOARD_ROWS][BOARD_COLUMNS] = {
        { 2, 28, 15, 21, 10, 5, 39, 3, 25, 26 },
        { 12, 36, 23, 37, 32, 34, 13, 22, 16, 8 },
        { 7, 19, 30, 33, 20, 24, 14, 29, 38, 4 },
        { 31, 9, 27, 1, 6, 11, 35, 17, 40, 18 },
    };
    Redeal(1);
    unsigned int stateAfterDeal = randomState;

    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++)
            EXPECT_EQ(board[c][r], expected[r - 1][c - 1]) << "cell " << c << "," << r;
    EXPECT_EQ(stateAfterDeal, StateAfterDraws(1, 95));
}

TEST_F(DealTest, SeedZeroGivesTheKnownTopRowInOneHundredThirtyDraws)
{
    const int topRow[BOARD_COLUMNS] = { 39, 40, 38, 16, 6, 11, 13, 14, 21, 23 };
    Redeal(0);
    unsigned int stateAfterDeal = randomState;

    for (int c = 1; c <= BOARD_COLUMNS; c++)
        EXPECT_EQ(board[c][1], topRow[c - 1]) << "column " << c;
    EXPECT_EQ(stateAfterDeal, StateAfterDraws(0, 130));
}

TEST(DealOrder, EveryCardExactlyOnceForManySeeds)
{
    for (unsigned int seed = 0; seed < 20000; seed += 1) {
        int order[CARD_COUNT + 1] = {};
        int seen[CARD_COUNT + 1] = {};
        SeedRandom(seed * 2654435761u);
        DrawDealOrder(order);
        for (int k = 1; k <= CARD_COUNT; k++) {
            ASSERT_GE(order[k], 1) << "seed " << seed;
            ASSERT_LE(order[k], CARD_COUNT) << "seed " << seed;
            seen[order[k]]++;
        }
        for (int n = 1; n <= CARD_COUNT; n++)
            ASSERT_EQ(seen[n], 1) << "seed " << seed << ", card " << n;
    }
}

TEST_F(DealTest, EveryDealFillsTheGridWithNoHoleAndKeepsSentinelsZero)
{
    for (unsigned int seed : { 0u, 1u, 2u, 77u, 1234567u, 0x7FFFFFFFu, 0xFFFFFFFFu }) {
        SCOPED_TRACE(seed);
        Redeal(seed);
        ExpectEveryCardOnceAndSentinelsZero();
    }
}

TEST_F(DealTest, DealIsSeededWithTheCalendarTime)
{
    unsigned int before = (unsigned int)std::time(nullptr);
    DestroyCardViews();
    DealCards();
    unsigned int after = (unsigned int)std::time(nullptr);

    int dealt[BOARD_ROWS * BOARD_COLUMNS + 1];
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++)
            dealt[(r - 1) * BOARD_COLUMNS + c] = board[c][r];

    bool matches = false;
    for (unsigned int seed = before; seed <= after && !matches; seed++) {
        int order[CARD_COUNT + 1];
        SeedRandom(seed);
        DrawDealOrder(order);
        matches = std::equal(order + 1, order + CARD_COUNT + 1, dealt + 1);
    }
    EXPECT_TRUE(matches);
}

TEST_F(DealTest, DealLeavesFreeCellsAndCountersAlone)
{
    freeCells[2] = 17;
    freeLimit = 4;
    freeUsed = 2;
    Redeal(5);
    EXPECT_EQ(freeCells[2], 17);
    EXPECT_EQ(freeLimit, 4);
    EXPECT_EQ(freeUsed, 2);
}
