// Shuffling and dealing the 40 cards into the grid.
#pragma once

#include "game/board.h"

// The generator's 32-bit state; each draw advances it once.
extern unsigned int randomState;

void SeedRandom(unsigned int seed);
// One draw: 0 to 32767.
int NextRandom();
// Fills order[1..40] with the cards in the order they are dealt.
void DrawDealOrder(int order[CARD_COUNT + 1]);
// Fills the grid with the deal of the given seed; no views.
void DealBoard(unsigned int seed);
// Deals a game from the given seed: fills the grid and creates the card views.
int DealCardsFromSeed(unsigned int seed);
// Deals a game seeded with the calendar time. Returns 1.
int DealCards();
