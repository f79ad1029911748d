// Winning and starting again.
#include "game/wincheck.h"
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "resources/resource.h"
#include "view/cardview.h"

#include <cstdio>

// Each row starts with an ace and climbs by one to the king; the rows may
// hold the suits in any order.
int IsSolved()
{
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int ace = board[1][r];
        if (ace % 10 != 1)
            return 0;
        for (int c = 1; c <= BOARD_COLUMNS; c++)
            if (board[c][r] != ace + c - 1)
                return 0;
    }
    return 1;
}

void ShowEndOfGamePrompt()
{
    char text[128];
    std::snprintf(text, sizeof text,
                  "Congratulazioni....\nHai vinto con %i spazi liberi.\nVuoi fare un'altra partita ?",
                  freeLimit - 1);
    if (MessageBoxA(mainWindow, text, "Orvenna 2000", MB_YESNO) == IDYES)
        NewGame();
    else
        SendMessageA(mainWindow, WM_COMMAND, CMD_EXIT, 0);
}

// The destroyed views leave areas the platform erases, so the next paint
// starts from plain background: frames of free cells 2 to 4 are gone.
int NewGame()
{
    RECT client;
    GetClientRect(mainWindow, &client);
    RedrawWindow(mainWindow, &client, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);

    DestroyCardViews();
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        freeCells[i] = 0;
    freeLimit = 2;
    freeUsed = 1;

    SetMenuItemState(CMD_FREE_CELLS_2, 0);
    SetMenuItemState(CMD_FREE_CELLS_3, 0);
    SetMenuItemState(CMD_FREE_CELLS_4, 0);
    SetMenuItemState(CMD_FREE_CELLS_1, MFS_CHECKED);

    DealCards();
    return 1;
}
