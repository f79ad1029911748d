// Random play through the window procedure: clicks anywhere with both
// buttons, every command (legal or not), size and media notices; the table
// must stay consistent after every single event. ORVENNA_RANDOM_EVENTS sets
// the length of the run.
#include "app/mainwindow.h"
#include "game/board.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstdlib>
#include <random>

namespace {

// Answers any box the run brings up (a win's prompt) with Yes.
void CALLBACK AnswerAnyBox(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr)
        if (GetWindow(box, GW_OWNER) == mainWindow)
            PostMessageA(box, WM_COMMAND, IDYES, 0);
}

} // namespace

TEST(RandomPlay, TheTableStaysConsistentWhateverArrives)
{
    OpenMainWindow();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerAnyBox);
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return (int)(random() % (unsigned)n); };
    const int commands[] = { CMD_FREE_CELLS_1, CMD_FREE_CELLS_2, CMD_FREE_CELLS_3, CMD_FREE_CELLS_4,
                             CMD_NEW_GAME, CMD_MUSIC, 0, 1, 106, 32776, 65535 };
    const char* length = std::getenv("ORVENNA_RANDOM_EVENTS");
    int moves = 0, events = length ? std::atoi(length) : 5000;
    for (int i = 0; i < events; i++) {
        int x = pick(10) == 0 ? pick(65536) : pick(800), y = pick(10) == 0 ? pick(65536) : pick(500);
        int kind = pick(100);
        if (kind < 45)
            moves += (int)Click(1, x, y);
        else if (kind < 85)
            Click(2, x, y);
        else if (kind < 95)
            Command(commands[pick(sizeof commands / sizeof commands[0])]);
        else if (kind < 98)
            SendMessageA(mainWindow, WM_SIZE, pick(5), MAKELPARAM(x, y));
        else
            SendMessageA(mainWindow, MM_MCINOTIFY, 1u << pick(4), pick(3));
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable()) << "after event " << i;
        ASSERT_TRUE((musicOn == 0 || musicOn == 1) && (musicPlaying == 0 || musicPlaying == 1));
    }
    KillTimer(nullptr, timer);
    EXPECT_GT(moves, events / 200);  // the run did play
    RecordProperty("moves", moves);
}
