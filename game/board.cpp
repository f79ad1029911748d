// The board state variables, with the values they hold when the program loads.
#include "game/board.h"

int board[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int freeCells[FREE_CELL_COUNT + 1];
int freeLimit = 2;
int freeUsed = 1;
int selCol = 0;
int selRow = 0;
int selCard = 0;

int FindCardPlace(int card, int* column, int* row)
{
    if (card < 1 || card > CARD_COUNT)
        return 0;
    for (int c = 1; c <= BOARD_COLUMNS; c++) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            if (board[c][r] == card) {
                *column = c;
                *row = r;
                return 1;
            }
        }
    }
    for (int i = 1; i <= FREE_CELL_COUNT; i++) {
        if (freeCells[i] == card) {
            *column = FREE_CELL_COLUMN;
            *row = i;
            return 1;
        }
    }
    return 0;
}

void PlaceOrigin(int column, int row, int* x, int* y)
{
    if (column == FREE_CELL_COLUMN) {
        *x = FREE_CELL_X;
        *y = (row - 1) * FREE_CELL_PITCH + 1;
    } else {
        *x = (column - 1) * COLUMN_PITCH;
        *y = (row - 1) * ROW_PITCH;
    }
}
