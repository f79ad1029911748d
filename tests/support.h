// The program's main window inside the test process, messages straight into its window procedure,
// and its calls to the media, sound and shell services, recorded instead of made.
#pragma once

#include "app/winsys.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// Start-up before the message loop from the music's load-time state, closing an earlier window.
void OpenMainWindow(int showState);
void CloseMainWindow();
void StartGame(unsigned int seed);  // a new game dealt from seed
void PumpMessages();
POINT ChildPosition(HWND child);
// CLICK_LEFT or CLICK_RIGHT at a client point; the window procedure's answer.
LRESULT Click(int button, int x, int y);
LRESULT Command(int id);
UINT MenuState(UINT id);
// The top-left corner of the card at grid cell (column, row), or free cell row for column 12.
POINT CellOrigin(int column, int row);
LRESULT ClickCard(int card, int button);  // where the board says the card lies
// The board, free cells and freeUsed as one value, and back.
std::string TableKey();
void SetTableKey(const std::string& key);
// rows[r][c]: a card or CELL_EMPTY; free[i]: parked cards (0 empty). Views follow.
void LayOut(const int rows[4][10], const int free[4]);
// Every card once, holes = parked cards, counters in range, sentinels zero, views where the board says.
void ExpectConsistentTable();

struct SoundCall { LPCSTR name; HMODULE module; DWORD flags; };
extern std::vector<SoundCall> sounds;
extern std::vector<std::string> mciTexts, shellCalls;
extern std::vector<HWND> mciWindows;

// Runs action; meanwhile every box owned by the main window is read and sent
// the given message (WM_COMMAND with a button, or a key). The last box seen.
struct BoxSeen { bool shown = false, ownerDisabled = false; std::string caption, text; };
BoxSeen AnswerBox(UINT message, WPARAM wParam, void (*action)());

// Each case of these suites starts with the main window shown and the game of seed 1.
class Game : public ::testing::Test {
protected:
    void SetUp() override { OpenMainWindow(SW_SHOWNORMAL); StartGame(1); }
};
using Rules = Game;
using Window = Game;
using Solver = Game;
using RandomPlay = Game;
