// The running game seen from outside, through its windows: the main window
// by its class name, the table read from the card views, clicks posted as
// the game's own button messages, and its congratulation box.
#pragma once

#include "app/winsys.h"
#include "game/board.h"

// The class name the game registers for its main window.
constexpr const char* GAME_CLASS_NAME = "ORVENNA 2000";

// The game's main window, or null when the game is not running.
HWND FindGameWindow();
// Reads the table into board and freeCells from the card views: each view's
// text "#n" names its card and its place in the main window's client area
// gives the grid cell or free cell. Returns 1 when the views make a whole
// table (40 cards, each once, each exactly on a cell).
int ReadGameTable(HWND game);
// The same read into the given arrays, leaving the board state alone (a
// search in progress holds it).
int ReadTableInto(HWND game, int (*tableBoard)[BOARD_ROWS + 1], int* tableCells);
// Posts a press and release of the button in the middle of the card's
// picture, where the table last read puts it. Returns 0 when the card is
// not on the table or the message could not be posted.
int PostCardClick(HWND game, int card, int button);
// The game's end-of-game message box, or null.
HWND FindEndOfGameBox(HWND game);
// The free cells the game has enabled: the checked item of its "Spazi
// liberi" menu. Where another process's menu cannot be read (Wine keeps
// menus inside their process), the frames the game has drawn for its free
// cells; a repaint wipes frames 2 to 4, so that count may fall short.
// Never fewer than the cards parked in the given free cells (by default the
// table last read into the board state); 0 when nothing tells.
int ReadFreeCellsEnabled(HWND game, const int* parked = freeCells);
