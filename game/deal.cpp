// Shuffle and deal. The random rule is the system's classic linear
// congruential generator, kept here so that a seed always gives the same deal
// whatever C library the program is built with.
#include "game/board.h"
#include "game/deal.h"
#include "view/cardview.h"

#include <ctime>

unsigned int randomState = 0;

void SeedRandom(unsigned int seed)
{
    randomState = seed;
}

int NextRandom()
{
    randomState = randomState * 214013u + 2531011u;
    return (int)((randomState >> 16) & 0x7FFF);
}

// Draw with rejection: a draw that hits a card already placed is thrown away,
// so the k-th card is the k-th accepted draw and every card is placed once.
void DrawDealOrder(int order[CARD_COUNT + 1])
{
    int available[CARD_COUNT + 1];
    for (int n = 1; n <= CARD_COUNT; n++)
        available[n] = n;

    int k = 1;
    while (k <= CARD_COUNT) {
        int r = NextRandom() % CARD_COUNT + 1;
        if (available[r] == 0)
            continue;
        order[k] = r;
        available[r] = 0;
        k++;
    }
}

// The first ten cards drawn fill row 1 from left to right, the next ten row 2,
// and so on.
void DealBoard(unsigned int seed)
{
    int order[CARD_COUNT + 1];
    SeedRandom(seed);
    DrawDealOrder(order);

    for (int row = 1; row <= BOARD_ROWS; row++)
        for (int column = 1; column <= BOARD_COLUMNS; column++)
            board[column][row] = order[(row - 1) * BOARD_COLUMNS + column];
}

// The views are created in the order the cards were dealt.
int DealCardsFromSeed(unsigned int seed)
{
    DealBoard(seed);
    for (int row = 1; row <= BOARD_ROWS; row++)
        for (int column = 1; column <= BOARD_COLUMNS; column++)
            CreateCardView(board[column][row], column, row);
    return 1;
}

int DealCards()
{
    return DealCardsFromSeed((unsigned int)std::time(nullptr));
}
