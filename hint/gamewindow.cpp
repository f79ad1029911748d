// Every read goes through the window system: the views' texts by WM_GETTEXT
// with a time-out (the game may be busy playing its move sound), their
// places by their window rectangles mapped into the main window.
#include "hint/gamewindow.h"
#include "game/board.h"
#include "resources/resource.h"
#include "solver/solver.h"

#include <cstdlib>
#include <cstring>

namespace {

struct TableRead {
    HWND game;
    int (*board)[BOARD_ROWS + 1];
    int* cells;
    int cards;
    int bad;
};

// The card a view shows, from its text "#n"; 0 for anything else.
int ViewCard(HWND view)
{
    char text[16] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(view, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &length))
        return 0;
    text[sizeof text - 1] = '\0';
    if (text[0] != '#' || text[1] < '1' || text[1] > '9')
        return 0;
    char* end = nullptr;
    long card = std::strtol(text + 1, &end, 10);
    return *end == '\0' && card >= 1 && card <= CARD_COUNT ? (int)card : 0;
}

BOOL CALLBACK EachView(HWND view, LPARAM data)
{
    TableRead* read = (TableRead*)data;
    if (GetParent(view) != read->game)
        return TRUE;
    int card = ViewCard(view);
    if (card == 0)
        return TRUE;
    RECT rect;
    GetWindowRect(view, &rect);
    MapWindowPoints(nullptr, read->game, (POINT*)&rect, 2);
    int x = rect.left, y = rect.top;
    if (x == FREE_CELL_X && y >= 1 && (y - 1) % FREE_CELL_PITCH == 0 && (y - 1) / FREE_CELL_PITCH < FREE_CELL_COUNT) {
        int cell = (y - 1) / FREE_CELL_PITCH + 1;
        if (read->cells[cell] != 0)
            read->bad = 1;
        read->cells[cell] = card;
    } else if (x >= 0 && y >= 0 && x % COLUMN_PITCH == 0 && y % ROW_PITCH == 0 &&
               x / COLUMN_PITCH < BOARD_COLUMNS && y / ROW_PITCH < BOARD_ROWS) {
        int& cellValue = read->board[x / COLUMN_PITCH + 1][y / ROW_PITCH + 1];
        if (cellValue != CELL_EMPTY)
            read->bad = 1;
        cellValue = card;
    } else {
        read->bad = 1;
    }
    read->cards++;
    return TRUE;
}

} // namespace

HWND FindGameWindow()
{
    return FindWindowA(GAME_CLASS_NAME, nullptr);
}

int ReadGameTable(HWND game)
{
    if (!ReadTableInto(game, board, freeCells))
        return 0;
    freeUsed = 1;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (freeCells[i] != 0)
            freeUsed++;
    return 1;
}

int ReadTableInto(HWND game, int (*tableBoard)[BOARD_ROWS + 1], int* tableCells)
{
    for (int c = 0; c <= BOARD_COLUMNS; c++)
        for (int r = 0; r <= BOARD_ROWS; r++)
            tableBoard[c][r] = c == 0 || r == 0 ? 0 : CELL_EMPTY;
    for (int i = 0; i <= FREE_CELL_COUNT; i++)
        tableCells[i] = 0;
    TableRead read = { game, tableBoard, tableCells, 0, 0 };
    if (!IsWindow(game))
        return 0;
    EnumChildWindows(game, EachView, (LPARAM)&read);
    if (read.bad || read.cards != CARD_COUNT)
        return 0;
    // 40 distinct views on distinct cells: check that no card came twice.
    int seen[CARD_COUNT + 1] = {};
    for (int c = 1; c <= BOARD_COLUMNS; c++)
        for (int r = 1; r <= BOARD_ROWS; r++)
            if (tableBoard[c][r] != CELL_EMPTY && seen[tableBoard[c][r]]++)
                return 0;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (tableCells[i] != 0 && seen[tableCells[i]]++)
            return 0;
    return 1;
}

int PostCardClick(HWND game, int card, int button)
{
    int column, row, x, y;
    if (!FindCardPlace(card, &column, &row))
        return 0;
    PlaceOrigin(column, row, &x, &y);
    x += CARD_WIDTH / 2;
    y += CARD_HEIGHT / 2;
    LPARAM point = MAKELPARAM(x, y);
    if (button == CLICK_RIGHT)
        return PostMessageA(game, WM_RBUTTONDOWN, MK_RBUTTON, point) && PostMessageA(game, WM_RBUTTONUP, 0, point);
    return PostMessageA(game, WM_LBUTTONDOWN, MK_LBUTTON, point) && PostMessageA(game, WM_LBUTTONUP, 0, point);
}

// A dialog box of the game's thread owned by its main window and titled as
// the game.
HWND FindEndOfGameBox(HWND game)
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", "Orvenna 2000")) != nullptr)
        if (GetWindow(box, GW_OWNER) == game && IsWindowVisible(box))
            return box;
    return nullptr;
}

int ReadFreeCellsEnabled(HWND game, const int* parked)
{
    int count = 0;
    HMENU menu = GetMenu(game);
    for (int n = FREE_CELL_COUNT; n >= 1 && menu && count == 0; n--) {
        MENUITEMINFOA item = {};
        item.cbSize = MENU_ITEM_INFO_SIZE;
        item.fMask = MIIM_STATE;
        if (!GetMenuItemInfoA(menu, CMD_FREE_CELLS_1 + n - 1, FALSE, &item))
            break;
        if (item.fState & MFS_CHECKED)
            count = n;
    }
    // Frame k has its red right edge at x 756 beside free cell k; the
    // background and the card views never paint that column red.
    HDC dc = count == 0 ? GetDC(game) : nullptr;
    if (dc) {
        for (int k = 1; k <= FREE_CELL_COUNT; k++)
            if (GetPixel(dc, 756, (k - 1) * FREE_CELL_PITCH + FREE_CELL_PITCH / 2) == RGB(255, 0, 0))
                count = k;
        ReleaseDC(game, dc);
    }
    // Parked cards fill the free cells from the lowest.
    for (int i = count + 1; i <= FREE_CELL_COUNT; i++)
        if (parked[i] != 0)
            count = i;
    return count;
}
