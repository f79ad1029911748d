// The look-ahead decides the coming seconds' deals in order while it waits
// for the first winnable one to come round, so the wait is for the clock,
// not for the solver.
#include "hint/lookahead.h"
#include "game/deal.h"
#include "hint/gamewindow.h"
#include "hint/teacher.h"
#include "resources/resource.h"
#include "solver/solver.h"

#include <cstring>

volatile LONG lookCancelled = 0;

namespace {

// Seconds decided ahead of the clock at most.
constexpr int AHEAD = 30;
// The part of a second in which a command still reaches the game and
// deals from that same second.
constexpr int EARLY_MS = 400;
// Times in a row the game may leave the command untaken before the look
// gives up (a box of the game's open, say).
constexpr int MOST_UNTAKEN = 3;

// Answers by second, in a ring long enough for the seconds ahead.
constexpr int KEPT = 64;
long long keptSecond[KEPT + 1];
int keptAnswer[KEPT + 1];

int Slot(long long second)
{
    return (int)(second % KEPT) + 1;
}

int Known(long long second)
{
    return keptSecond[Slot(second)] == second ? keptAnswer[Slot(second)] : 0;
}

int LookCancelled()
{
    return lookCancelled != 0;
}

// After the command: 1 when the game shows the deal of that second, 0 when
// it shows another table, -1 when it still shows the one before.
int DealShown(HWND game, long long second, const Table& before)
{
    Table expected, now;
    DealBoard((unsigned int)second);
    std::memset(freeCells, 0, sizeof freeCells);
    SaveTable(&expected);
    for (DWORD started = GetTickCount(); GetTickCount() - started < 3000; Sleep(10)) {
        if (!IsWindow(game))
            return 0;
        if (!ReadGameTable(game))
            continue;  // the game is still dealing
        SaveTable(&now);
        if (SameTables(now, expected))
            return 1;
        if (!SameTables(now, before))
            return 0;
    }
    return -1;
}

} // namespace

long long ClockSecond(int* millisecond)
{
    // The C library's time() counts from 1970 on this same clock.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long ticks = ((unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime) / 10000;
    *millisecond = (int)(ticks % 1000);
    return (long long)(ticks / 1000) - 11644473600LL;
}

int DealAnswer(long long second)
{
    if (Known(second))
        return Known(second);
    DealBoard((unsigned int)second);
    std::memset(freeCells, 0, sizeof freeCells);
    freeUsed = 1;
    int answer = SolvePosition(1, DEFAULT_BUDGET);
    if (answer == SOLVE_UNKNOWN && searchStop == STOP_INTERRUPTED)
        return 0;
    keptSecond[Slot(second)] = second;
    keptAnswer[Slot(second)] = answer;
    return answer;
}

long long StartWinnableGame(HWND game)
{
    int (*interrupted)() = searchInterrupted;
    searchInterrupted = LookCancelled;
    long long found = 0, tried = 0;
    for (int untaken = 0; !found && !lookCancelled && IsWindow(game) && untaken < MOST_UNTAKEN;) {
        int millisecond;
        long long now = ClockSecond(&millisecond);
        Table before;
        if (now != tried && millisecond < EARLY_MS && Known(now) == SOLVE_WON && ReadGameTable(game)) {
            tried = now;
            SaveTable(&before);
            PostMessageA(game, WM_COMMAND, CMD_NEW_GAME, 0);
            int shown = DealShown(game, now, before);
            if (shown > 0)
                found = now;
            untaken = shown < 0 ? untaken + 1 : 0;
            continue;
        }
        long long next = now + 1;
        while (next <= now + AHEAD && Known(next))
            next++;
        if (next <= now + AHEAD)
            DealAnswer(next);
        else
            Sleep(10);
    }
    searchInterrupted = interrupted;
    return found;
}
