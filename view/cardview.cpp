// Creating, moving and destroying the card views.
#include "view/cardview.h"
#include "app/mainwindow.h"

HWND cardWindows[CARD_COUNT + 1];

// A static control reads a text of "#" and decimal digits as the integer
// identifier of the resource to show, so "#n" shows bitmap n, the face of card n.
const char* const cardViewNames[CARD_COUNT + 1] = {
    "",
    "#1", "#2", "#3", "#4", "#5", "#6", "#7", "#8", "#9", "#10",
    "#11", "#12", "#13", "#14", "#15", "#16", "#17", "#18", "#19", "#20",
    "#21", "#22", "#23", "#24", "#25", "#26", "#27", "#28", "#29", "#30",
    "#31", "#32", "#33", "#34", "#35", "#36", "#37", "#38", "#39", "#40",
};

void CreateCardView(int card, int column, int row)
{
    cardWindows[card] = CreateWindowExA(0, "STATIC", cardViewNames[card], CARD_VIEW_STYLE,
                                        (column - 1) * COLUMN_PITCH, (row - 1) * ROW_PITCH,
                                        CARD_WIDTH, CARD_HEIGHT, mainWindow, nullptr,
                                        appInstance, nullptr);
}

// Repainting lets the main window erase the area the view leaves.
void MoveCardView(int card, int x, int y)
{
    MoveWindow(cardWindows[card], x, y, CARD_WIDTH, CARD_HEIGHT, TRUE);
}

// A static control does not free the bitmap it loaded from its text, so each
// view's picture is released after the view: otherwise every new game would
// leave 40 bitmaps behind.
void DestroyCardViews()
{
    for (int n = 1; n <= CARD_COUNT; n++) {
        HGDIOBJ picture = (HGDIOBJ)SendMessageA(cardWindows[n], STM_GETIMAGE, IMAGE_BITMAP, 0);
        DestroyWindow(cardWindows[n]);
        if (picture != nullptr)
            DeleteObject(picture);
    }
}
