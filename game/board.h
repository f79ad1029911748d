// The board state: the card grid with its sentinel border, the free cells and
// their counters, and the last hit-test result. Also the board geometry, in
// fixed client pixels of the main window.
#pragma once

// Card values are 1 to 40: suit = (value - 1) / 10 (batons, cups, coins,
// swords), rank = (value - 1) % 10 + 1 (ace, 2 to 7, jack, knight, king).
constexpr int CARD_COUNT = 40;
constexpr int BOARD_COLUMNS = 10;
constexpr int BOARD_ROWS = 4;
constexpr int FREE_CELL_COUNT = 4;

// Cell values: a card value, a hole in the grid, or nothing (sentinels,
// empty free cells, and the hit test's "no card").
constexpr int CELL_EMPTY = 100;
constexpr int CELL_NONE = 0;

// Geometry. Grid cell (c, r) has its card at ((c - 1) * 63, (r - 1) * 102);
// free cell i at (693, (i - 1) * 101 + 1). Every card is 62 x 100.
constexpr int CARD_WIDTH = 62;
constexpr int CARD_HEIGHT = 100;
constexpr int COLUMN_PITCH = 63;
constexpr int ROW_PITCH = 102;
constexpr int FREE_CELL_COLUMN = 12;
constexpr int FREE_CELL_X = 693;
constexpr int FREE_CELL_PITCH = 101;

// board[column][row]: columns 1..10 and rows 1..4 are the playing cells;
// column 0 and row 0 are sentinels that are never written and stay 0.
extern int board[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
// freeCells[1..4]: 0 when empty, else a card value; entry 0 unused.
extern int freeCells[FREE_CELL_COUNT + 1];
// 2..5: one more than the number of free cells enabled.
extern int freeLimit;
// 1..freeLimit: one more than the number of occupied free cells.
extern int freeUsed;
// The cell and cell value found by the last hit test.
extern int selCol;
extern int selRow;
extern int selCard;

// Where a card is, named as the hit test names places: a grid cell (column
// 1..10, row 1..4) or free cell i as (FREE_CELL_COLUMN, i). Returns 0 when
// the card is not on the table.
int FindCardPlace(int card, int* column, int* row);
// The top-left corner of the card at a place named as above.
void PlaceOrigin(int column, int row, int* x, int* y);
