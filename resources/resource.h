// Identifiers of the program's resources, grouped by kind.
// The resource script includes this file too, so it holds only #defines.
#pragma once

#ifndef RC_INVOKED
#include "app/winsys.h"
#endif
// The platform's ICON_SMALL (a WM_SETICON size, unused here) gives way to ours.
#undef ICON_SMALL

// Strings: window title and window class name
#define STR_TITLE 103
#define STR_CLASS 109

// Icons: class icon (32 x 32 and 16 x 16) and small icon (16 x 16)
#define ICON_LARGE 107
#define ICON_SMALL 108

// Menu and its commands
#define MENU_MAIN 109
#define CMD_ABOUT 104
#define CMD_EXIT 105
#define CMD_FREE_CELLS_1 32771
#define CMD_FREE_CELLS_2 32772
#define CMD_FREE_CELLS_3 32773
#define CMD_FREE_CELLS_4 32774
#define CMD_NEW_GAME 32775
#define CMD_MUSIC 32777
#define CMD_RULES 32778

// Accelerators
#define ACCEL_MAIN 109

// Dialog: the About box
#define DLG_ABOUT 103
#define IDC_ABOUT_ICON 2

// Bitmaps: 1 to 40 are the card faces, numbered by card value; the card back
#define BMP_CARD_BACK 200

// Sounds, of the resource type "WAVE"
#define WAVE_MOVE 175
