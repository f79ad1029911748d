// The rules of play. The board state is the truth; after each change the
// card's view follows it and the move sound plays to its end.
#include "game/moves.h"
#include "game/board.h"
#include "game/wincheck.h"
#include "ui/sound.h"
#include "view/cardview.h"

// Column x / 63 + 1, row y / 102 + 1; column 12 is the free-cell column.
// The free cells sit on a 101-pixel pitch, yet their hit rows use the grid's
// 102, so the top pixel rows of free cells 3 and 4 answer as the cell above.
int CardAtPoint(int x, int y)
{
    selCol = x / COLUMN_PITCH + 1;
    selRow = y / ROW_PITCH + 1;

    if (selCol == FREE_CELL_COLUMN)
        selCard = selRow <= FREE_CELL_COUNT ? freeCells[selRow] : CELL_NONE;
    else if (selCol <= BOARD_COLUMNS && selRow <= BOARD_ROWS)
        selCard = board[selCol][selRow];
    else
        selCard = CELL_NONE;
    return selCard;
}

int IsAce(int card)
{
    return card % 10 == 1;
}

int MayPark(int card)
{
    return card != CELL_NONE && card != CELL_EMPTY && !IsAce(card);
}

// An ace goes to the topmost hole of column 1. Any other card goes to the
// first hole, row by row, whose left neighbour is the card one lower; the
// sentinel column keeps every other card out of column 1.
int FindTargetHole(int card, int* column, int* row)
{
    if (IsAce(card)) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            if (board[1][r] == CELL_EMPTY) {
                *column = 1;
                *row = r;
                return 1;
            }
        }
        return 0;
    }
    for (int r = 1; r <= BOARD_ROWS; r++) {
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            if (board[c][r] == CELL_EMPTY && board[c - 1][r] == card - 1) {
                *column = c;
                *row = r;
                return 1;
            }
        }
    }
    return 0;
}

int LowestEmptyFreeCell()
{
    for (int i = 1; i <= freeLimit - 1 && i <= FREE_CELL_COUNT; i++)
        if (freeCells[i] == 0)
            return i;
    return 0;
}

int PlayClickOnBoard(int column, int row, int button, int* toColumn, int* toRow)
{
    int inGrid = column >= 1 && column <= BOARD_COLUMNS && row >= 1 && row <= BOARD_ROWS;
    int inFreeCell = column == FREE_CELL_COLUMN && row >= 1 && row <= FREE_CELL_COUNT;
    int card = inGrid ? board[column][row] : inFreeCell ? freeCells[row] : CELL_NONE;
    if (card == CELL_NONE || card == CELL_EMPTY)
        return 0;

    if (button == CLICK_RIGHT) {
        if (!inGrid || !MayPark(card) || freeUsed == freeLimit)
            return 0;
        int cell = LowestEmptyFreeCell();
        if (cell == 0)
            return 0;
        board[column][row] = CELL_EMPTY;
        freeCells[cell] = card;
        freeUsed++;
        *toColumn = FREE_CELL_COLUMN;
        *toRow = cell;
        return 1;
    }

    if (!FindTargetHole(card, toColumn, toRow))
        return 0;
    board[*toColumn][*toRow] = card;
    if (inGrid) {
        board[column][row] = CELL_EMPTY;
    } else {
        freeCells[row] = 0;
        freeUsed--;
    }
    return 1;
}

// The board changes first; the card's view follows it and the sound plays.
int LeftClickMove(LPARAM point)
{
    int card = CardAtPoint(LOWORD(point), HIWORD(point));
    int column, row, x, y;
    if (!PlayClickOnBoard(selCol, selRow, CLICK_LEFT, &column, &row))
        return 0;
    PlaceOrigin(column, row, &x, &y);
    MoveCardView(card, x, y);
    PlayMoveSound();

    if (IsSolved())
        ShowEndOfGamePrompt();
    return 1;
}

// Never from the free-cell column, never a hole or an ace, and only while an
// enabled free cell is empty.
void RightClickPark(LPARAM point)
{
    int x = LOWORD(point);
    if (x > 690)
        return;
    int card = CardAtPoint(x, HIWORD(point));
    int column, row, y;
    if (!PlayClickOnBoard(selCol, selRow, CLICK_RIGHT, &column, &row))
        return;
    PlaceOrigin(column, row, &x, &y);
    MoveCardView(card, x, y);
    PlayMoveSound();
}
