// The main window's window procedure: every action after start-up begins here.
#include "ui/winproc.h"
#include "game/moves.h"
#include "ui/commands.h"
#include "ui/music.h"
#include "view/boardpaint.h"

#include <mmsystem.h>

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnMusicSize(window, wParam);
        return 0;
    case WM_PAINT:
        PaintBoard(window);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
        // A click first restarts music that has played to its end.
        MusicCheck(window);
        return LeftClickMove(lParam);
    case WM_RBUTTONDOWN:
        RightClickPark(lParam);
        return 0;
    case MM_MCINOTIFY:
        OnMusicNotify(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
