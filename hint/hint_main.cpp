// orv2000-hint: reads the running game's table and says whether it can still
// be won with K free cells and what to play next; with --play it plays the
// game to the end itself, one click at a time.
//
//   orv2000-hint [K] [--play]        K: free cells enabled in the game, 1 to 4 (default 1)
// Exit code: 0 winnable (or won), 1 lost, 2 undecided, 3 no game or a
// table it cannot read or play.
#include "game/board.h"
#include "game/wincheck.h"
#include "hint/gamewindow.h"
#include "solver/solver.h"
#include "solver/words.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Fail(const char* italian, const char* english)
{
    std::printf("%s\n%s\n", italian, english);
    return 3;
}

// The views move one at a time: a table read while a move is on its way is
// not whole, so reading is retried for a while.
int ReadTableSoon(HWND game, DWORD milliseconds)
{
    DWORD started = GetTickCount();
    while (!ReadGameTable(game)) {
        if (!IsWindow(game) || GetTickCount() - started > milliseconds)
            return 0;
        Sleep(50);
    }
    return 1;
}

int SameTable(const int otherBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1], const int otherCells[FREE_CELL_COUNT + 1])
{
    return std::memcmp(board, otherBoard, sizeof board) == 0 &&
           std::memcmp(freeCells, otherCells, sizeof freeCells) == 0;
}

// Posts one click and waits until the game shows the table the rules
// predict (the move sound plays to its end first). Returns 1 when it does,
// 0 when the game left the table as it was, -1 when the table changed some
// other way (the player clicked too) or the game is gone.
int PlayClick(HWND game, const LineClick& click, int freeCellsEnabled)
{
    int beforeBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
    int beforeCells[FREE_CELL_COUNT + 1];
    int expectedBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
    int expectedCells[FREE_CELL_COUNT + 1];
    std::memcpy(beforeBoard, board, sizeof board);
    std::memcpy(beforeCells, freeCells, sizeof freeCells);
    freeLimit = freeCellsEnabled + 1;
    if (!PostCardClick(game, click.card, click.button))
        return -1;
    ApplyClick(click.card, click.button);
    std::memcpy(expectedBoard, board, sizeof board);
    std::memcpy(expectedCells, freeCells, sizeof freeCells);
    DWORD started = GetTickCount();
    while (GetTickCount() - started < 30000) {
        if (ReadGameTable(game) && SameTable(expectedBoard, expectedCells))
            return 1;
        if (!IsWindow(game))
            return -1;
        Sleep(20);
    }
    return ReadTableSoon(game, 1000) && SameTable(beforeBoard, beforeCells) ? 0 : -1;
}

void SayNext(const LineClick& click)
{
    char italian[120], english[120];
    DescribeClick(click.card, click.button, italian, english, sizeof italian);
    std::printf("%s\n%s\n", italian, english);
}

} // namespace

int main(int argc, char** argv)
{
    int freeCellsEnabled = 1;
    int play = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--play") == 0) {
            play = 1;
        } else if (argv[i][0] >= '1' && argv[i][0] <= '4' && argv[i][1] == '\0') {
            freeCellsEnabled = argv[i][0] - '0';
        } else {
            std::fprintf(stderr, "usage: orv2000-hint [1-4] [--play]\n");
            return 3;
        }
    }

    HWND game = FindGameWindow();
    if (!game)
        return Fail("Orvenna 2000 non e' aperto.", "Orvenna 2000 is not running.");

    for (;;) {
        if (!ReadTableSoon(game, 10000))
            return Fail("Non riesco a leggere le carte della partita.", "Cannot read the cards of the game.");
        if (IsSolved()) {
            std::printf("Partita vinta.\nThe game is won.\n");
            return 0;
        }
        // The game fills free cells from the lowest, so a card in cell m
        // means at least m cells are enabled.
        int highest = 0;
        for (int i = 1; i <= FREE_CELL_COUNT; i++)
            if (freeCells[i] != 0)
                highest = i;
        if (highest > freeCellsEnabled) {
            char italian[120], english[120];
            std::snprintf(italian, sizeof italian, "C'e' una carta nello spazio libero %d: indica almeno %d spazi liberi.",
                          highest, highest);
            std::snprintf(english, sizeof english, "A card is parked in free cell %d: give at least %d free cells.",
                          highest, highest);
            return Fail(italian, english);
        }
        if (!IsValidPosition(freeCellsEnabled))
            return Fail("Le carte della partita non formano una posizione del gioco.",
                        "The cards of the game do not make a position of the game.");

        int answer = SolvePosition(freeCellsEnabled, MAX_BUDGET);
        const char* cells = freeCellsEnabled == 1 ? "spazio libero" : "spazi liberi";
        const char* cellsEnglish = freeCellsEnabled == 1 ? "free cell" : "free cells";
        if (answer == SOLVE_LOST) {
            std::printf("La partita e' persa con %d %s: nessuna serie di mosse porta alla vittoria.\n"
                        "The game is lost with %d %s: no line of moves wins it.\n",
                        freeCellsEnabled, cells, freeCellsEnabled, cellsEnglish);
            return 1;
        }
        if (answer != SOLVE_WON) {
            std::printf("Non so dire se si vince con %d %s (%lld posizioni esaminate).\n"
                        "Cannot tell whether the game can be won with %d %s (%lld positions tried).\n",
                        freeCellsEnabled, cells, positionsSearched, freeCellsEnabled, cellsEnglish,
                        positionsSearched);
            return 2;
        }
        std::printf("Si vince ancora con %d %s: %d clic alla fine.\n"
                    "Still winnable with %d %s: %d clicks to the end.\n",
                    freeCellsEnabled, cells, winningLength, freeCellsEnabled, cellsEnglish, winningLength);
        SayNext(winningLine[1]);
        if (!play)
            return 0;

        // Play the line; if the table ever differs from what the rules
        // predict (the player clicked too), read it again and think again.
        int landed = 1;
        for (int i = 1; i <= winningLength && landed == 1; i++) {
            if (i > 1)
                SayNext(winningLine[i]);
            landed = PlayClick(game, winningLine[i], freeCellsEnabled);
        }
        if (landed == 1) {
            DWORD started = GetTickCount();
            while (!FindEndOfGameBox(game) && GetTickCount() - started < 30000)
                Sleep(50);
            if (FindEndOfGameBox(game)) {
                std::printf("Congratulazioni: partita vinta.\nCongratulations: the game is won.\n");
                return 0;
            }
            return Fail("La partita non ha mostrato le congratulazioni.", "The game showed no congratulations.");
        }
        if (!IsWindow(game))
            return Fail("La partita e' stata chiusa.", "The game was closed.");
        if (landed == 0) {
            char italian[120], english[120];
            std::snprintf(italian, sizeof italian,
                          "Il gioco non ha accettato la mossa: ha davvero %d %s abilitati?", freeCellsEnabled, cells);
            std::snprintf(english, sizeof english, "The game did not take the move: does it have %d %s enabled?",
                          freeCellsEnabled, cellsEnglish);
            return Fail(italian, english);
        }
    }
}
