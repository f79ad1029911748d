// Board drawing. Light lines use the red board pen, dark lines the context's
// own black pen. Each group swaps the two: the board pen goes in and the
// context's pen is kept in savedPen; then the context gets its pen back and
// boardPen holds the red pen again. So the red pen never stays selected in
// any context. A failed selection keeps both slots as they were.
// A line omits its end pixel, which becomes the current point.
#include "view/boardpaint.h"
#include "app/mainwindow.h"
#include "game/board.h"

static void SelectBoardPen(HDC dc)
{
    HPEN previous = (HPEN)SelectObject(dc, boardPen);
    if (previous != nullptr)
        savedPen = previous;
}

static void SelectSavedPen(HDC dc)
{
    HPEN previous = (HPEN)SelectObject(dc, savedPen);
    if (previous != nullptr)
        boardPen = previous;
}

void PaintBoard(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);

    SelectBoardPen(dc);
    MoveToEx(dc, 636, 0, nullptr);   // grid edge, red: right then bottom
    LineTo(dc, 635, 0);
    LineTo(dc, 635, 411);
    LineTo(dc, 0, 411);
    MoveToEx(dc, 756, 1, nullptr);   // free cell 1, red: right and bottom
    LineTo(dc, 756, 101);
    LineTo(dc, 692, 101);

    SelectSavedPen(dc);
    MoveToEx(dc, 0, 411, nullptr);   // grid edge, black: just outside the red
    LineTo(dc, 0, 412);
    LineTo(dc, 636, 412);
    LineTo(dc, 636, 0);
    MoveToEx(dc, 756, 0, nullptr);   // free cell 1, black: top and left
    LineTo(dc, 692, 0);
    LineTo(dc, 692, 101);

    EndPaint(window, &paint);
}

// Frame k = i + 1 follows the free cells' 101-pixel pitch. Its black top edge
// is drawn last and takes the corner it shares with the red right edge; it
// lies on the first pixel row of free cell k, across a card parked there.
int DrawFreeCellFrames()
{
    HDC dc = GetDC(mainWindow);
    for (int i = 1; i <= freeLimit - 2; i++) {
        SelectBoardPen(dc);
        MoveToEx(dc, 756, i * FREE_CELL_PITCH + 1, nullptr);
        LineTo(dc, 756, (i + 1) * FREE_CELL_PITCH);
        LineTo(dc, 692, (i + 1) * FREE_CELL_PITCH);

        SelectSavedPen(dc);
        MoveToEx(dc, 756, i * FREE_CELL_PITCH + 1, nullptr);
        LineTo(dc, 692, i * FREE_CELL_PITCH + 1);
        LineTo(dc, 692, (i + 1) * FREE_CELL_PITCH);
    }
    ReleaseDC(mainWindow, dc);
    return 1;
}
