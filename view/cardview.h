// Card views: one static child window of the main window per card, showing
// the card's bitmap. Views are found by card value, never by position.
#pragma once

#include "app/winsys.h"
#include "game/board.h"

// View style: a visible child static control that shows a bitmap. Without
// SS_NOTIFY it answers the hit test as transparent, so presses on a card
// reach the main window in the main window's client coordinates.
constexpr DWORD CARD_VIEW_STYLE = WS_CHILD | WS_VISIBLE | SS_BITMAP;

// cardWindows[n]: the view of card n in the current deal; entry 0 unused.
extern HWND cardWindows[CARD_COUNT + 1];
// cardViewNames[n]: "#n", the view text that names bitmap resource n.
extern const char* const cardViewNames[CARD_COUNT + 1];

void CreateCardView(int card, int column, int row);
void MoveCardView(int card, int x, int y);
void DestroyCardViews();
