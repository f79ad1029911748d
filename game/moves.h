// Hit test and moves: a left click moves a card into the one hole the rules
// allow, a right click parks a card of the grid in a free cell.
#pragma once

#include "app/winsys.h"

// Maps a client point to a cell and the cell value there (0 for none);
// sets selCol, selRow and selCard.
int CardAtPoint(int x, int y);
// 1 for an ace: aces go only into column 1 and are never parked.
int IsAce(int card);
// 1 when a right click may park this cell value: a card, and not an ace.
int MayPark(int card);
// Finds the hole the card may move into; returns 0 when there is none.
int FindTargetHole(int card, int* column, int* row);
// The lowest enabled free cell that is empty, or 0 when they are all taken.
int LowestEmptyFreeCell();
// The two buttons of a click.
constexpr int CLICK_LEFT = 1;
constexpr int CLICK_RIGHT = 2;
// One click on the card at a place (named as the hit test names it) played
// on the board state alone (board, freeCells, freeUsed): a left click moves
// the card into its target hole, a right click parks a card of the grid in
// the lowest empty enabled free cell. Returns 1 and the card's new place
// when the table changed. The click handlers and the solver both play here.
int PlayClickOnBoard(int column, int row, int button, int* toColumn, int* toRow);
// The left-button-down handler: returns 1 when a card was moved.
int LeftClickMove(LPARAM point);
// The right-button-down handler.
void RightClickPark(LPARAM point);
