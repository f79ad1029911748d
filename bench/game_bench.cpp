// In-process timing of the game's own code, linked unchanged (the orvenna
// library): start-up as WinMain does it, with its parts; left-click moves,
// right-click parks and clicks that move nothing through the window
// procedure; a new game and the repaint after it; the length of the
// synchronous move sound where there is an audio device. Beside each, the
// platform's part alone: the same view moved by MoveWindow, 40 views
// destroyed and created.
//
// Nothing in the game is changed: only this process's import address table
// is. PlaySoundA points at a silent stand-in (so the click times leave the
// sound out, and the stand-in counts one sound per move), and a few
// start-up calls point at timing wrappers.
//
// Usage: game_bench [CLICKS_PER_KIND [NEW_GAMES]]   (defaults 5000, 200)
// Prints "key value" lines; exit code 1 when a click did not do what the
// rules say it should.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "resources/resource.h"
#include "ui/winproc.h"
#include "view/cardview.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using PlaySoundFunction = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
PlaySoundFunction realPlaySound = nullptr;
long soundCalls = 0;

BOOL WINAPI SilentPlaySound(LPCSTR, HMODULE, DWORD)
{
    soundCalls++;
    return TRUE;
}

// Points this module's import address table entry for dll!function at
// replacement; returns the address it held, or nullptr when not imported.
void* PatchImport(const char* dll, const char* function, void* replacement)
{
    auto base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; entry++) {
        if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0)
            continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
            return previous;
        }
    }
    return nullptr;
}

double ticksPerMicrosecond = 1.0;

double Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / ticksPerMicrosecond;
}

// Where start-up spends its time: a few of the game's imports pointed at
// timing wrappers while InitApplication and CreateMainWindow run. The main
// window's creation includes what its window procedure does meanwhile (the
// music's first start); the views are the STATIC children.
struct Phase {
    double micros = 0;
    long calls = 0;
};
bool profiling = false;
Phase mainWindowPhase, viewsPhase, musicPhase, showPhase, updatePhase;

using CreateWindowExFunction = HWND(WINAPI*)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                                             HINSTANCE, LPVOID);
using MciSendStringFunction = MCIERROR(WINAPI*)(LPCSTR, LPSTR, UINT, HWND);
using ShowWindowFunction = BOOL(WINAPI*)(HWND, int);
using UpdateWindowFunction = BOOL(WINAPI*)(HWND);
CreateWindowExFunction realCreateWindowEx;
MciSendStringFunction realMciSendString;
ShowWindowFunction realShowWindow;
UpdateWindowFunction realUpdateWindow;

void Count(Phase& phase, double start)
{
    if (profiling) {
        phase.micros += Now() - start;
        phase.calls++;
    }
}

HWND WINAPI TimedCreateWindowEx(DWORD exStyle, LPCSTR windowClass, LPCSTR name, DWORD style, int x, int y,
                                int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    double start = Now();
    HWND window = realCreateWindowEx(exStyle, windowClass, name, style, x, y, width, height, parent, menu,
                                     instance, param);
    Count(parent != nullptr ? viewsPhase : mainWindowPhase, start);
    return window;
}

MCIERROR WINAPI TimedMciSendString(LPCSTR command, LPSTR answer, UINT length, HWND notify)
{
    double start = Now();
    MCIERROR error = realMciSendString(command, answer, length, notify);
    Count(musicPhase, start);
    return error;
}

BOOL WINAPI TimedShowWindow(HWND window, int state)
{
    double start = Now();
    BOOL shown = realShowWindow(window, state);
    Count(showPhase, start);
    return shown;
}

BOOL WINAPI TimedUpdateWindow(HWND window)
{
    double start = Now();
    BOOL updated = realUpdateWindow(window);
    Count(updatePhase, start);
    return updated;
}

void PrintPhase(const char* name, const Phase& phase)
{
    std::printf("startup_%s_us %.2f\n", name, phase.micros);
    std::printf("startup_%s_calls %ld\n", name, phase.calls);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Paints whatever is invalid in the main window and its card views now.
double TimedRepaint()
{
    double start = Now();
    RedrawWindow(mainWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    double elapsed = Now() - start;
    PumpMessages();
    return elapsed;
}

// A small generator of its own, so the game's dealing sequence is untouched.
unsigned int benchRandomState = 12345u;
unsigned int BenchRandom(unsigned int below)
{
    benchRandomState ^= benchRandomState << 13;
    benchRandomState ^= benchRandomState >> 17;
    benchRandomState ^= benchRandomState << 5;
    return benchRandomState % below;
}

struct Place {
    int x, y;  // a client point at the centre of the card
};

// The middle of the card at a grid cell or (column 12) a free cell.
Place CentreOf(int column, int row)
{
    int x, y;
    PlaceOrigin(column, row, &x, &y);
    return { x + CARD_WIDTH / 2, y + CARD_HEIGHT / 2 };
}

// Whether a left click on the card at (column, row) moves it without
// finishing the game: finishing moves are left out, so the modal
// end-of-game prompt never opens.
bool MovesWithoutSolving(int column, int row)
{
    int savedBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1], savedCells[FREE_CELL_COUNT + 1], savedUsed = freeUsed;
    std::memcpy(savedBoard, board, sizeof savedBoard);
    std::memcpy(savedCells, freeCells, sizeof savedCells);
    int toColumn, toRow;
    bool moves = PlayClickOnBoard(column, row, CLICK_LEFT, &toColumn, &toRow) && !IsSolved();
    std::memcpy(board, savedBoard, sizeof savedBoard);
    std::memcpy(freeCells, savedCells, sizeof savedCells);
    freeUsed = savedUsed;
    return moves;
}

struct Click {
    Place place;
    int card;
};

std::vector<Click> LegalMoves()
{
    std::vector<Click> moves;
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++)
            if (MovesWithoutSolving(c, r))
                moves.push_back({ CentreOf(c, r), board[c][r] });
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (MovesWithoutSolving(FREE_CELL_COLUMN, i))
            moves.push_back({ CentreOf(FREE_CELL_COLUMN, i), freeCells[i] });
    return moves;
}

// Right-click parks: a card of the grid that is not an ace, while an enabled
// free cell is empty.
std::vector<Click> LegalParks()
{
    std::vector<Click> parks;
    if (freeUsed == freeLimit || LowestEmptyFreeCell() == 0)
        return parks;
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            int card = board[c][r];
            if (MayPark(card))
                parks.push_back({ CentreOf(c, r), card });
        }
    return parks;
}

// Left clicks that move nothing: a card with no hole to go to, a hole, the
// empty strip below the grid.
std::vector<Click> IdleClicks()
{
    std::vector<Click> clicks;
    int column, row;
    for (int r = 1; r <= BOARD_ROWS; r++)
        for (int c = 1; c <= BOARD_COLUMNS; c++) {
            int card = board[c][r];
            if (card == CELL_EMPTY || !FindTargetHole(card, &column, &row))
                clicks.push_back({ CentreOf(c, r), card });
        }
    clicks.push_back({ { 300, 430 }, CELL_NONE });
    return clicks;
}

struct Series {
    const char* name;
    std::vector<double> micros;
};

// The top-left corner of a card's view, read from the board.
bool CardCorner(int card, int* x, int* y)
{
    int column, row;
    if (!FindCardPlace(card, &column, &row))
        return false;
    PlaceOrigin(column, row, x, y);
    return true;
}

// The platform's part of the move just made, alone: the same view moved by
// the same call from where it was to where it went (back first, then again),
// each repainted. It ends where the game put it.
void PlatformMoves(const Click& click, Series& series)
{
    int x, y;
    if (!CardCorner(click.card, &x, &y))
        return;
    int fromX = click.place.x - CARD_WIDTH / 2, fromY = click.place.y - CARD_HEIGHT / 2;
    HWND view = cardWindows[click.card];
    double t = Now();
    MoveWindow(view, fromX, fromY, CARD_WIDTH, CARD_HEIGHT, TRUE);
    series.micros.push_back(Now() - t);
    TimedRepaint();
    t = Now();
    MoveWindow(view, x, y, CARD_WIDTH, CARD_HEIGHT, TRUE);
    series.micros.push_back(Now() - t);
    TimedRepaint();
}

void PrintSeries(const Series& series)
{
    std::vector<double> v = series.micros;
    std::printf("%s_count %zu\n", series.name, v.size());
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, (size_t)(q * (double)(v.size() - 1) + 0.5))]; };
    double sum = 0;
    for (double x : v)
        sum += x;
    std::printf("%s_median_us %.2f\n", series.name, at(0.5));
    std::printf("%s_p99_us %.2f\n", series.name, at(0.99));
    std::printf("%s_max_us %.2f\n", series.name, v.back());
    std::printf("%s_mean_us %.2f\n", series.name, sum / (double)v.size());
}

int failures = 0;
void Expect(bool condition, const char* what)
{
    if (!condition && failures++ < 10)
        std::printf("failure %s\n", what);
}

}  // namespace

int main(int argc, char** argv)
{
    int clicksPerKind = argc > 1 ? std::atoi(argv[1]) : 5000;
    int newGames = argc > 2 ? std::atoi(argv[2]) : 200;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerMicrosecond = (double)frequency.QuadPart / 1e6;
    std::printf("qpc_frequency %lld\n", (long long)frequency.QuadPart);

    // Start-up as WinMain does it, with its parts timed.
    realCreateWindowEx = reinterpret_cast<CreateWindowExFunction>(
        PatchImport("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&TimedCreateWindowEx)));
    realMciSendString = reinterpret_cast<MciSendStringFunction>(
        PatchImport("winmm.dll", "mciSendStringA", reinterpret_cast<void*>(&TimedMciSendString)));
    realShowWindow = reinterpret_cast<ShowWindowFunction>(
        PatchImport("user32.dll", "ShowWindow", reinterpret_cast<void*>(&TimedShowWindow)));
    realUpdateWindow = reinterpret_cast<UpdateWindowFunction>(
        PatchImport("user32.dll", "UpdateWindow", reinterpret_cast<void*>(&TimedUpdateWindow)));
    if (!realCreateWindowEx || !realMciSendString || !realShowWindow || !realUpdateWindow) {
        std::printf("failure a start-up function is not imported\n");
        return 1;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    profiling = true;
    double start = Now();
    InitApplication(instance);
    double initialised = Now();
    if (!CreateMainWindow(instance, SW_SHOWNORMAL)) {
        std::printf("failure the main window was not created\n");
        return 1;
    }
    double end = Now();
    profiling = false;
    std::printf("startup_in_process_us %.2f\n", end - start);
    std::printf("startup_class_us %.2f\n", initialised - start);
    PrintPhase("main_window", mainWindowPhase);
    PrintPhase("views", viewsPhase);
    PrintPhase("music", musicPhase);
    PrintPhase("show", showPhase);
    PrintPhase("update", updatePhase);
    PumpMessages();

    // The real move sound, where an audio device exists.
    realPlaySound = reinterpret_cast<PlaySoundFunction>(
        PatchImport("winmm.dll", "PlaySoundA", reinterpret_cast<void*>(&SilentPlaySound)));
    if (realPlaySound == nullptr) {
        std::printf("failure PlaySoundA is not imported from winmm.dll\n");
        return 1;
    }
    UINT devices = waveOutGetNumDevs();
    std::printf("audio_devices %u\n", devices);
    if (devices > 0) {
        Series sound{ "sound", {} };
        for (int i = 0; i < 5; i++) {
            double t = Now();
            BOOL played = realPlaySound(MAKEINTRESOURCEA(WAVE_MOVE), instance, SND_RESOURCE);
            sound.micros.push_back(Now() - t);
            if (!played)
                std::printf("sound_failed 1\n");
        }
        PrintSeries(sound);
    }

    Series moves{ "move", {} }, parks{ "park", {} }, idle{ "nothing", {} };
    Series moveRepaint{ "move_repaint", {} }, parkRepaint{ "park_repaint", {} };
    Series games{ "newgame", {} }, gameRepaint{ "newgame_repaint", {} };
    Series platformMove{ "platform_move", {} }, platformViews{ "platform_views", {} };
    long expectedSounds = 0;

    auto newGame = [&]() {
        double t = Now();
        MainWindowProc(mainWindow, WM_COMMAND, CMD_NEW_GAME, 0);
        games.micros.push_back(Now() - t);
        gameRepaint.micros.push_back(TimedRepaint());
        // Four free cells, so that a game has room for more parks.
        MainWindowProc(mainWindow, WM_COMMAND, CMD_FREE_CELLS_4, 0);
        PumpMessages();
    };

    newGame();
    int guard = 0;
    while ((int)moves.micros.size() < clicksPerKind || (int)parks.micros.size() < clicksPerKind ||
           (int)idle.micros.size() < clicksPerKind) {
        if (++guard > 100 * clicksPerKind + 1000) {
            std::printf("failure the click loop did not finish\n");
            break;
        }
        if ((int)idle.micros.size() < clicksPerKind) {
            std::vector<Click> candidates = IdleClicks();
            Click click = candidates[BenchRandom((unsigned)candidates.size())];
            int before[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
            std::memcpy(before, board, sizeof before);
            double t = Now();
            LRESULT moved = MainWindowProc(mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(click.place.x, click.place.y));
            idle.micros.push_back(Now() - t);
            Expect(moved == 0 && std::memcmp(before, board, sizeof before) == 0, "a click moved a card it should not");
            PumpMessages();
        }
        std::vector<Click> legalMoves = LegalMoves();
        std::vector<Click> legalParks = LegalParks();
        bool wantMove = (int)moves.micros.size() < clicksPerKind && !legalMoves.empty();
        bool wantPark = (int)parks.micros.size() < clicksPerKind && !legalParks.empty();
        if (wantMove) {
            Click click = legalMoves[BenchRandom((unsigned)legalMoves.size())];
            double t = Now();
            LRESULT moved = MainWindowProc(mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(click.place.x, click.place.y));
            moves.micros.push_back(Now() - t);
            Expect(moved == 1, "a legal move did not move");
            expectedSounds++;
            moveRepaint.micros.push_back(TimedRepaint());
            PlatformMoves(click, platformMove);
        } else if (wantPark) {
            Click click = legalParks[BenchRandom((unsigned)legalParks.size())];
            int used = freeUsed;
            double t = Now();
            MainWindowProc(mainWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(click.place.x, click.place.y));
            parks.micros.push_back(Now() - t);
            Expect(freeUsed == used + 1, "a legal park did not park");
            expectedSounds++;
            parkRepaint.micros.push_back(TimedRepaint());
            PlatformMoves(click, platformMove);
        } else if ((int)moves.micros.size() < clicksPerKind || (int)parks.micros.size() < clicksPerKind) {
            newGame();
        }
    }
    while ((int)games.micros.size() < newGames)
        newGame();

    // The platform's part of a new game alone: destroying the 40 views and
    // creating 40 new ones, without the game's code around it.
    for (int i = 0; i < newGames; i++) {
        HWND views[CARD_COUNT];
        double t = Now();
        for (int n = 0; n < CARD_COUNT; n++)
            DestroyWindow(cardWindows[n + 1]);
        for (int n = 0; n < CARD_COUNT; n++)
            views[n] = CreateWindowExA(0, "STATIC", cardViewNames[n + 1], WS_CHILD | WS_VISIBLE | SS_BITMAP,
                                       (n % BOARD_COLUMNS) * COLUMN_PITCH, (n / BOARD_COLUMNS) * ROW_PITCH,
                                       CARD_WIDTH, CARD_HEIGHT, mainWindow, nullptr, instance, nullptr);
        platformViews.micros.push_back(Now() - t);
        TimedRepaint();
        for (int n = 0; n < CARD_COUNT; n++)
            cardWindows[n + 1] = views[n];
    }

    Expect(soundCalls == expectedSounds, "the move sound was not asked for once per move");
    std::printf("sound_requests %ld\n", soundCalls);
    PrintSeries(moves);
    PrintSeries(parks);
    PrintSeries(idle);
    PrintSeries(moveRepaint);
    PrintSeries(parkRepaint);
    PrintSeries(games);
    PrintSeries(gameRepaint);
    PrintSeries(platformMove);
    PrintSeries(platformViews);
    std::printf("failures %d\n", failures);
    std::fflush(stdout);

    DestroyWindow(mainWindow);
    PumpMessages();
    return failures == 0 ? 0 : 1;
}
