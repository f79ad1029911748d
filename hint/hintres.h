// Identifiers of the companion's resources; its resource script includes
// this file too, so it holds only #defines.
#pragma once

#define ICON_HINT 1
#define DLG_HINT 100
#define IDC_VERDICT 101
#define IDC_ADVICE 102
#define IDC_PLAY_ONE 103
#define IDC_PLAY_ALL 104
#define IDC_CELLS 105
#define IDC_LOSING 106
#define IDC_WINNABLE 107
#define IDC_RECORD 108
#define IDC_MY_GAMES 109
