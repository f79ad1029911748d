// The board state variables, with the values they hold when the program loads.
#include "game/board.h"

int board[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int freeCells[FREE_CELL_COUNT + 1];
int freeLimit = 2;
int freeUsed = 1;
int selCol = 0;
int selRow = 0;
int selCard = 0;
