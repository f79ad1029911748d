// A winnable deal on request. The game deals from the clock's second, so
// the deals of the coming seconds are known ahead: the companion decides
// each with one free cell (every game starts so) and, early in a second
// whose deal can be won, starts a new game in the game as its menu does.
#pragma once

#include "app/winsys.h"

// Set by the window's thread to stop a look in progress.
extern volatile LONG lookCancelled;

// The clock's second as the game reads it for a deal, and the milliseconds
// already gone in it.
long long ClockSecond(int* millisecond);
// The deal of that second with one free cell: SOLVE_WON, SOLVE_LOST or
// SOLVE_UNKNOWN, decided once; 0 when the look was cancelled meanwhile.
int DealAnswer(long long second);
// Starts, in the game, a new game whose deal can be won with one free cell,
// and checks that the game shows that deal. Returns its second; 0 when the
// look was cancelled, the game went away or did not take the command.
// Leaves the board state holding other tables: read the game again.
long long StartWinnableGame(HWND game);
