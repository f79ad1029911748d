// Menu commands: new game, free cells, music, About box, rules page, exit.
#include "ui/commands.h"
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/wincheck.h"
#include "resources/resource.h"
#include "ui/music.h"
#include "view/boardpaint.h"

#include <shellapi.h>

// The free cells only grow during a game: choosing n greys every smaller
// choice and checks n. A smaller choice can still arrive as a message from
// elsewhere although its item is grey; it is ignored, so the occupied cells
// never outnumber the enabled ones. Choosing the current number again
// repeats the steps and draws the frames anew.
void ChooseFreeCells(int count)
{
    if (count + 1 < freeLimit)
        return;
    freeLimit = count + 1;
    switch (count) {
    case 2:
        SetMenuItemState(CMD_FREE_CELLS_1, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_2, MFS_CHECKED);
        break;
    case 3:
        SetMenuItemState(CMD_FREE_CELLS_2, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_1, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_3, MFS_CHECKED);
        break;
    case 4:
        SetMenuItemState(CMD_FREE_CELLS_2, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_3, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_1, MFS_GRAYED);
        SetMenuItemState(CMD_FREE_CELLS_4, MFS_CHECKED);
        break;
    }
    DrawFreeCellFrames();
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case CMD_ABOUT:
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(DLG_ABOUT), window, AboutDialogProc, 0);
        return 0;
    case CMD_EXIT:
        DestroyWindow(window);
        return 0;
    case CMD_FREE_CELLS_1:
        return 0;  // one free cell is where every game starts
    case CMD_FREE_CELLS_2:
        ChooseFreeCells(2);
        return 0;
    case CMD_FREE_CELLS_3:
        ChooseFreeCells(3);
        return 0;
    case CMD_FREE_CELLS_4:
        ChooseFreeCells(4);
        return 0;
    case CMD_NEW_GAME:
        NewGame();
        return 0;
    case CMD_MUSIC:
        ToggleMusic(window);
        return 0;
    case CMD_RULES:
        ShellExecuteA(window, "open", "orv2000.htm", nullptr, nullptr, SW_SHOWNORMAL);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return 1;
        }
        break;
    }
    return 0;
}
