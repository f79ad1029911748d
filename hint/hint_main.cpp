// orv2000-hint: a small window beside the running game that says whether
// the table can still be won with the free cells the game has enabled and
// what to click next, and plays that click, or the whole line, on request.
//
//   orv2000-hint [K]     K: 1 to 4 free cells, instead of those read from the game
//
// One worker thread owns the board state (the solver and the table reader
// share the game's globals): it polls the game a few times a second, decides
// each new table, works out what it teaches about it (hint/teacher.cpp),
// keeps the player's record (hint/record.cpp), plays the clicks and looks
// for a winnable deal (hint/lookahead.cpp). A search takes as long as it
// needs; meanwhile the worker shows how far it has come and drops it as soon
// as the game shows another table. The window's thread only shows what the
// worker last wrote and passes on the buttons.
#include "game/board.h"
#include "game/wincheck.h"
#include "hint/gamewindow.h"
#include "hint/hintres.h"
#include "hint/lookahead.h"
#include "hint/record.h"
#include "hint/teacher.h"
#include "solver/solver.h"
#include "solver/words.h"

#include <shellapi.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>

namespace {

// How often the game is read, also while a search runs.
constexpr DWORD POLL_MS = 250;
constexpr UINT WM_HINT_SHOW = WM_APP + 1;
// Memory written between two looks at the game while nothing is searched.
constexpr unsigned long long WARM_PART = 16ull << 20;
// Room for one line of the window, in characters.
constexpr int LINE_SIZE = 200;

constexpr int REQUEST_NONE = 0;
constexpr int REQUEST_ONE = 1;
constexpr int REQUEST_ALL = 2;
constexpr int REQUEST_WINNABLE = 3;

enum Text {
    TEXT_TITLE, TEXT_PLAY_ONE, TEXT_PLAY_ALL, TEXT_STOP, TEXT_CLOSE, TEXT_NO_GAME, TEXT_WAITING,
    TEXT_READING, TEXT_WON_GAME, TEXT_CAN_WIN, TEXT_CAN_WIN_1, TEXT_LOST, TEXT_LOST_1, TEXT_UNDECIDED,
    TEXT_NO_MEMORY, TEXT_TOO_DEEP, TEXT_NOT_A_POSITION, TEXT_REFUSED, TEXT_SEARCHING, TEXT_POSITIONS,
    TEXT_CELLS_WIN, TEXT_CELLS_NEVER, TEXT_CELLS_SEARCHING, TEXT_CELLS_UNDECIDED, TEXT_LOSING, TEXT_COULD_WIN,
    TEXT_WINNABLE, TEXT_CANCEL, TEXT_LOOKING, TEXT_SUMMARY, TEXT_MY_GAMES, TEXT_SET_ASIDE, TEXT_CANNOT_WRITE,
    TEXT_OTHER_KEEPS, TEXT_COUNT
};

const wchar_t* const italianTexts[TEXT_COUNT] = {
    L"Consigli - Orvenna 2000", L"Gioca una mossa", L"Gioca fino alla fine", L"Ferma", L"Chiudi",
    L"Orvenna 2000 non è aperto.", L"Aspetto che si apra la partita.", L"Leggo le carte...",
    L"Partita finita: vinta.", L"Si può vincere con %d spazi liberi", L"Si può vincere con 1 spazio libero",
    L"Non si può più vincere con %d spazi liberi", L"Non si può più vincere con 1 spazio libero",
    L"Non deciso", L"Non deciso: memoria esaurita", L"Non deciso: troppe mosse di fila",
    L"Le carte non formano una posizione del gioco.", L"Il gioco non ha accettato la mossa.",
    L"Sto ancora cercando...", L"%ls posizioni provate",
    L"Con %d spazi liberi si vince ancora", L"Non si vince nemmeno con 4 spazi liberi",
    L"Con %d spazi liberi? Cerco...", L"Con %d spazi liberi: non deciso",
    L"Mossa perdente: ", L"Si vinceva con: ",
    L"Nuova partita vincibile", L"Annulla", L"Cerco una partita vincibile...",
    L"Partite: %d · vinte: %d · vincibili ma perse: %d", L"Le mie partite",
    L"Registro illeggibile: messo da parte come %ls",
    L"Non riesco a scrivere il registro in %ls: riprovo alla prossima partita",
    L"Un altro Consigli è già aperto: il registro lo tiene quello",
};
const wchar_t* const englishTexts[TEXT_COUNT] = {
    L"Hints - Orvenna 2000", L"Play one move", L"Play to the end", L"Stop", L"Close",
    L"Orvenna 2000 is not running.", L"Waiting for a game.", L"Reading the cards...",
    L"The game is over: won.", L"Can be won with %d free cells", L"Can be won with 1 free cell",
    L"Can no longer be won with %d free cells", L"Can no longer be won with 1 free cell",
    L"Undecided", L"Undecided: out of memory", L"Undecided: too many moves in a row",
    L"The cards do not make a position of the game.", L"The game did not take the move.",
    L"Still searching...", L"%ls positions tried",
    L"Still winnable with %d free cells", L"Not winnable even with 4 free cells",
    L"With %d free cells? Searching...", L"With %d free cells: undecided",
    L"Losing move: ", L"It could be won with: ",
    L"New winnable game", L"Cancel", L"Looking for a winnable game...",
    L"Games: %d · won: %d · winnable but lost: %d", L"My games",
    L"Record unreadable: set aside as %ls",
    L"Cannot write the record in %ls: trying again after the next game",
    L"Another Hints window is already open: that one keeps the record",
};

const wchar_t* const* texts = englishTexts;
int italian = 0;
HWND hintWindow = nullptr;
int cellsOnCommandLine = 0;

// Written by the worker under shownLock, shown by the window's thread.
CRITICAL_SECTION shownLock;
wchar_t shownVerdict[LINE_SIZE];
wchar_t shownAdvice[LINE_SIZE];
wchar_t shownCells[LINE_SIZE];
wchar_t shownLosing[2 * LINE_SIZE];
int shownCanPlay = 0;
int shownPlaying = 0;
int shownLooking = 0;

// Set by the buttons, taken by the worker.
volatile LONG request = REQUEST_NONE;
volatile LONG stopRequested = 0;

// 1 while the teacher has answers to find for the table decided.
int lessonsOpen = 0;
// The worker's memory of the last table it decided.
int decidedBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int decidedCells[FREE_CELL_COUNT + 1];
int decidedCount = 0;
int decidedAnswer = SOLVE_INVALID;
int decidedStop = STOP_NONE;
int lineNext = 0;
// The table read while a search holds the board state, and when.
int seenBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int seenCells[FREE_CELL_COUNT + 1];
DWORD lastLook = 0;
// The most free cells seen enabled in this game: the frames read under Wine
// may be wiped by a repaint, but during a game the number only grows.
int cellsSeen = 0;

// The two lines the teacher fills: the fewest free cells that still win, and
// the move that lost this game.
void Lessons(wchar_t* cells, wchar_t* losing)
{
    const int kinds[] = { 0, TEXT_CELLS_SEARCHING, TEXT_CELLS_WIN, TEXT_CELLS_NEVER, TEXT_CELLS_UNDECIDED };
    cells[0] = losing[0] = L'\0';
    if (fewestState != FEWEST_NONE)
        std::swprintf(cells, LINE_SIZE, texts[kinds[fewestState]], fewestCells);
    if (losingNamed) {
        wchar_t click[LINE_SIZE], alternative[LINE_SIZE];
        MultiByteToWideChar(CP_UTF8, 0, italian ? losingItalian[1] : losingEnglish[1], -1, click, LINE_SIZE);
        MultiByteToWideChar(CP_UTF8, 0, italian ? losingItalian[2] : losingEnglish[2], -1, alternative, LINE_SIZE);
        std::swprintf(losing, 2 * LINE_SIZE, L"%ls%ls\n%ls%ls", texts[TEXT_LOSING], click, texts[TEXT_COULD_WIN],
                      alternative);
    }
}

void Show(const wchar_t* verdict, const wchar_t* advice, int canPlay, int playing, int looking = 0)
{
    wchar_t cells[LINE_SIZE], losing[2 * LINE_SIZE];
    Lessons(cells, losing);
    EnterCriticalSection(&shownLock);
    std::wcsncpy(shownVerdict, verdict, LINE_SIZE - 1);
    std::wcsncpy(shownAdvice, advice, LINE_SIZE - 1);
    std::wcsncpy(shownCells, cells, LINE_SIZE - 1);
    std::wcsncpy(shownLosing, losing, 2 * LINE_SIZE - 1);
    shownCanPlay = canPlay;
    shownPlaying = playing;
    shownLooking = looking;
    LeaveCriticalSection(&shownLock);
    PostMessageW(hintWindow, WM_HINT_SHOW, 0, 0);
}

void Advice(int click, wchar_t* text, int size)
{
    char inItalian[120], inEnglish[120];
    DescribeClick(winningLine[click].card, winningLine[click].button, inItalian, inEnglish, sizeof inItalian);
    MultiByteToWideChar(CP_UTF8, 0, italian ? inItalian : inEnglish, -1, text, size);
}

void ShowDecision(int playing)
{
    wchar_t verdict[LINE_SIZE], advice[LINE_SIZE] = L"";
    int one = decidedCount == 1;
    if (decidedAnswer == SOLVE_WON) {
        std::swprintf(verdict, LINE_SIZE, texts[one ? TEXT_CAN_WIN_1 : TEXT_CAN_WIN], decidedCount);
        if (lineNext <= winningLength)
            Advice(lineNext, advice, LINE_SIZE);
    } else if (decidedAnswer == SOLVE_LOST) {
        std::swprintf(verdict, LINE_SIZE, texts[one ? TEXT_LOST_1 : TEXT_LOST], decidedCount);
    } else if (decidedAnswer == SOLVE_UNKNOWN) {
        std::wcscpy(verdict, texts[decidedStop == STOP_MEMORY ? TEXT_NO_MEMORY
                                   : decidedStop == STOP_DEPTH ? TEXT_TOO_DEEP : TEXT_UNDECIDED]);
    } else {
        std::wcscpy(verdict, texts[TEXT_NOT_A_POSITION]);
    }
    Show(verdict, advice, decidedAnswer == SOLVE_WON && lineNext <= winningLength, playing);
}

int SameTable(const int otherBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1], const int otherCells[FREE_CELL_COUNT + 1])
{
    return std::memcmp(board, otherBoard, sizeof board) == 0 &&
           std::memcmp(freeCells, otherCells, sizeof freeCells) == 0;
}

void RememberTable()
{
    std::memcpy(decidedBoard, board, sizeof board);
    std::memcpy(decidedCells, freeCells, sizeof freeCells);
}

// The count with its digits grouped in threes as the language writes them.
void Count(long long count, wchar_t* text)
{
    wchar_t digits[24];
    int n = 0;
    do {
        digits[n++] = (wchar_t)(L'0' + count % 10);
        count /= 10;
    } while (count > 0);
    while (n > 0) {
        *text++ = digits[--n];
        if (n > 0 && n % 3 == 0)
            *text++ = italian ? L'.' : L',';
    }
    *text = L'\0';
}

// Asked by the solver in this thread while it searches: every POLL_MS it
// shows how far the verdict's search has come (or, while the teacher
// searches, the verdict and its lines so far) and reads the game. Nonzero,
// which stops the search, when the game has gone or shows another table or
// more free cells. The table is read beside the board state, which the
// solver reads again at every stage of its search.
int TableChanged()
{
    if (GetTickCount() - lastLook < POLL_MS)
        return 0;
    lastLook = GetTickCount();
    if (lessonsOpen) {
        ShowDecision(0);
    } else {
        wchar_t count[40], advice[LINE_SIZE];
        Count(positionsSearched, count);
        std::swprintf(advice, LINE_SIZE, texts[TEXT_POSITIONS], count);
        Show(texts[TEXT_SEARCHING], advice, 0, 0);
    }
    HWND game = FindGameWindow();
    if (!game)
        return 1;
    if (!ReadTableInto(game, seenBoard, seenCells))
        return 0;  // a card is on its way
    return std::memcmp(seenBoard, decidedBoard, sizeof seenBoard) != 0 ||
           std::memcmp(seenCells, decidedCells, sizeof seenCells) != 0 ||
           (!cellsOnCommandLine && ReadFreeCellsEnabled(game, seenCells) > decidedCount);
}

// The free cells to decide with: the command line's number, else what the
// game shows, never fewer than seen earlier in the same game. A table that
// no few clicks lead to from the last is a new deal, which starts again with
// one free cell.
int CellsEnabled(HWND game)
{
    int cells = cellsOnCommandLine ? cellsOnCommandLine : ReadFreeCellsEnabled(game);
    if (!TeacherSees(cellsOnCommandLine ? cells : std::max({ cells, cellsSeen, 1 }))) {
        cellsSeen = 0;
        EndGameRecord(0);  // the game before, left for this one
        StartGameRecord();
    }
    if (!cellsOnCommandLine)
        cells = cellsSeen = std::max({ cells, cellsSeen, 1 });
    // The record counts what was seen, decided or not: a new deal or the
    // game's end may come while this table is still being decided.
    gameMoves = movesSeen;
    gameCells = cells;
    return cells;
}

// What the record keeps of the game from the verdict and the lessons on
// the table now seen, all of them in or not (its moves and free cells are
// taken as each table is seen). The fewest free cells that win the deal are
// known from its first table, decided before any move with one free cell.
void NoteForRecord(int lessonsIn)
{
    gameAnswer = decidedAnswer;
    gameWinnable = gameWinnable || decidedAnswer == SOLVE_WON;
    gameLosingMove = losingNamed ? losingMove : 0;  // named before the fewest cells are searched
    if (!lessonsIn)
        return;
    if (gameFromDeal && movesSeen == 0 && decidedCount == 1)
        gameFewest = decidedAnswer == SOLVE_WON        ? 1
                     : fewestState == FEWEST_WINS      ? fewestCells
                     : fewestState == FEWEST_NEVER     ? FEWEST_AT_START_NONE
                                                       : FEWEST_AT_START_UNKNOWN;
}

// Posts one click and waits until the game shows the table the rules
// predict (the game plays its move sound first). Returns 1 when it does, 0
// when it does not within a few seconds (the move was refused, the player
// clicked too, or the game is gone).
int PlayClick(HWND game, const LineClick& click, int cells)
{
    freeLimit = cells + 1;  // freeUsed is kept by the table reader and the clicks
    if (!PostCardClick(game, click.card, click.button))
        return 0;
    ApplyClick(click.card, click.button);
    int expectedBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
    int expectedCells[FREE_CELL_COUNT + 1];
    std::memcpy(expectedBoard, board, sizeof board);
    std::memcpy(expectedCells, freeCells, sizeof freeCells);
    for (DWORD started = GetTickCount(); GetTickCount() - started < 10000; Sleep(20)) {
        if (ReadGameTable(game) && SameTable(expectedBoard, expectedCells))
            return 1;
        if (!IsWindow(game))
            return 0;
    }
    return 0;
}

// Plays the next click of the decided line, or all of them until the line
// ends, the table goes another way or Stop is pressed. The teacher follows
// each table, winnable all along the line.
void PlayLine(HWND game, int all)
{
    stopRequested = 0;
    do {
        ShowDecision(all);
        if (!PlayClick(game, winningLine[lineNext], decidedCount)) {
            decidedCount = 0;  // read and decide again
            Show(texts[TEXT_READING], texts[TEXT_REFUSED], 0, 0);
            Sleep(1000);
            return;
        }
        lineNext++;
        RememberTable();
        TeacherSees(decidedCount);
        gameMoves = movesSeen;
        if (lineNext > winningLength)
            EndGameRecord(1);  // won: a quick Yes in the congratulation may come before the next look
        TeacherKnows(decidedCount, lineNext <= winningLength ? SOLVE_WON : SOLVE_INVALID, STOP_NONE,
                     &winningLine[lineNext]);
    } while (all && lineNext <= winningLength && !stopRequested);
    ShowDecision(0);
}

// Looks ahead for a winnable deal until one is dealt or the button is
// pressed again; the table is then read and decided as any new one.
void LookForWinnableGame(HWND game)
{
    Show(texts[TEXT_LOOKING], L"", 0, 0, 1);
    lookCancelled = 0;
    StartWinnableGame(game);
    decidedCount = 0;
}

DWORD WINAPI Worker(LPVOID)
{
    // No limits: the answer comes when it is there, or when memory runs out.
    searchTimeLimit = 0;
    searchInterrupted = TableChanged;
    int warmed = 0;
    for (DWORD wait = 0;; Sleep(wait)) {
        wait = POLL_MS;
        HWND game = FindGameWindow();
        if (!game) {
            request = REQUEST_NONE;
            decidedCount = 0;
            if (gameWatched)
                EndGameRecord(0);  // the game was closed
            Show(texts[TEXT_NO_GAME], texts[TEXT_WAITING], 0, 0);
            continue;
        }
        if (request == REQUEST_WINNABLE) {
            // Not under the congratulation box, whose Yes deals again.
            if (!FindEndOfGameBox(game))
                LookForWinnableGame(game);
            request = REQUEST_NONE;
            wait = 0;
            continue;
        }
        if (!ReadGameTable(game))
            continue;  // a card is on its way, or the game is still dealing
        if (IsSolved() || FindEndOfGameBox(game)) {
            request = REQUEST_NONE;
            decidedCount = 0;
            if (gameWatched) {
                int moves = movesSeen;
                gameMoves = TeacherSees(std::max(cellsSeen, 1)) ? movesSeen : moves;  // the winning click too
                EndGameRecord(1);
            }
            Show(texts[TEXT_WON_GAME], L"", 0, 0);
            continue;
        }
        int cells = CellsEnabled(game);
        if (cells != decidedCount || !SameTable(decidedBoard, decidedCells)) {
            RememberTable();
            decidedCount = cells;
            lastLook = GetTickCount();
            lessonsOpen = 0;
            decidedAnswer = !IsValidPosition(cells) ? SOLVE_INVALID
                            : KnownLost(cells)      ? SOLVE_LOST
                                                    : SolvePosition(cells, LLONG_MAX);
            decidedStop = searchStop;
            lineNext = 1;
            if (decidedAnswer == SOLVE_UNKNOWN && decidedStop == STOP_INTERRUPTED) {
                decidedCount = 0;  // its answer is of no use: the new table at once
                wait = 0;
                continue;
            }
            TeacherKnows(cells, decidedAnswer, decidedStop, &winningLine[1]);
            NoteForRecord(0);
            lessonsOpen = 1;
            ShowDecision(0);
        }
        // The teacher's searches may replace the line: only a lost table
        // (no line to play) has any.
        if (lessonsOpen) {
            lessonsOpen = !TeacherWork(decidedCount);
            NoteForRecord(!lessonsOpen);
            if (lessonsOpen) {
                wait = 0;  // the table changed meanwhile
                continue;
            }
            ShowDecision(0);
        }
        // A button pressed while a card was on its way is taken up here.
        if ((request == REQUEST_ONE || request == REQUEST_ALL) && decidedAnswer == SOLVE_WON &&
            lineNext <= winningLength)
            PlayLine(game, InterlockedExchange(&request, REQUEST_NONE) == REQUEST_ALL);
        // While the player thinks, a part a look: the memory the searches
        // keep, written before a search needs it.
        if (!warmed)
            warmed = WarmSearchMemory(WARM_PART);
    }
}

// The record's line: its sums, or why it could not be kept.
void RecordLine(wchar_t* line)
{
    if (recordProblem == RECORD_SET_ASIDE)
        std::swprintf(line, 2 * LINE_SIZE, texts[TEXT_SET_ASIDE], recordAside);
    else if (recordProblem == RECORD_CANNOT_WRITE)
        std::swprintf(line, 2 * LINE_SIZE, texts[TEXT_CANNOT_WRITE], recordFolder);
    else if (recordProblem == RECORD_OTHER_KEEPS)
        std::wcscpy(line, texts[TEXT_OTHER_KEEPS]);
    else
        std::swprintf(line, 2 * LINE_SIZE, texts[TEXT_SUMMARY], recordGames, recordWon, recordWinnableLost);
}

// The record with the program the system opens such files with; the folder
// where there is none (or no file yet).
void OpenMyGames(HWND dialog)
{
    CreateDirectoryW(recordFolder, nullptr);
    if ((INT_PTR)ShellExecuteW(dialog, L"open", recordPath, nullptr, nullptr, SW_SHOWNORMAL) <= 32)
        ShellExecuteW(dialog, L"open", recordFolder, nullptr, nullptr, SW_SHOWNORMAL);
}

void SetText(int id, const wchar_t* text)
{
    wchar_t now[2 * LINE_SIZE];
    GetDlgItemTextW(hintWindow, id, now, 2 * LINE_SIZE);
    if (std::wcscmp(now, text) != 0)
        SetDlgItemTextW(hintWindow, id, text);
}

// Once, when a game is first seen: right of it where the screen has room,
// else below it, over the game's empty bottom strip if need be (the work
// area: the taskbar stays clear).
void PlaceBesideGame(HWND dialog)
{
    static int placed = 0;
    RECT game, own, screen;
    HWND found = FindGameWindow();
    if (placed || !found || !GetWindowRect(found, &game) || !GetWindowRect(dialog, &own) ||
        !SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0))
        return;
    placed = 1;
    int width = own.right - own.left, height = own.bottom - own.top;
    int x = game.right + 4, y = game.top;
    if (x + width > screen.right) {
        x = std::max<int>(screen.left, std::min<int>(game.left, screen.right - width));
        y = std::min<int>(game.bottom + 4, screen.bottom - height);
    }
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK HintDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        hintWindow = dialog;
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ICON_HINT));
        SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
        SetWindowTextW(dialog, texts[TEXT_TITLE]);
        SetDlgItemTextW(dialog, IDC_PLAY_ONE, texts[TEXT_PLAY_ONE]);
        SetDlgItemTextW(dialog, IDC_PLAY_ALL, texts[TEXT_PLAY_ALL]);
        SetDlgItemTextW(dialog, IDC_WINNABLE, texts[TEXT_WINNABLE]);
        SetDlgItemTextW(dialog, IDC_MY_GAMES, texts[TEXT_MY_GAMES]);
        SetDlgItemTextW(dialog, IDCANCEL, texts[TEXT_CLOSE]);
        SetDlgItemTextW(dialog, IDC_VERDICT, texts[TEXT_READING]);
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_ONE), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_ALL), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_WINNABLE), FALSE);
        PlaceBesideGame(dialog);
        HANDLE thread = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
        if (thread)
            CloseHandle(thread);
        return TRUE;
    }
    case WM_HINT_SHOW: {
        wchar_t record[2 * LINE_SIZE];
        PlaceBesideGame(dialog);
        EnterCriticalSection(&shownLock);
        // The buttons first: whoever reads a verdict finds them already in step with it.
        SetText(IDC_PLAY_ALL, texts[shownPlaying ? TEXT_STOP : TEXT_PLAY_ALL]);
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_ONE), shownCanPlay && !shownPlaying);
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_ALL), shownCanPlay || shownPlaying);
        SetText(IDC_WINNABLE, texts[shownLooking ? TEXT_CANCEL : TEXT_WINNABLE]);
        EnableWindow(GetDlgItem(dialog, IDC_WINNABLE), shownLooking || (!shownPlaying && FindGameWindow()));
        SetText(IDC_VERDICT, shownVerdict);
        SetText(IDC_ADVICE, shownAdvice);
        SetText(IDC_CELLS, shownCells);
        SetText(IDC_LOSING, shownLosing);
        RecordLine(record);
        SetText(IDC_RECORD, record);
        LeaveCriticalSection(&shownLock);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PLAY_ONE:
            InterlockedExchange(&request, REQUEST_ONE);
            return TRUE;
        case IDC_PLAY_ALL:
            if (shownPlaying)
                InterlockedExchange(&stopRequested, 1);
            else
                InterlockedExchange(&request, REQUEST_ALL);
            return TRUE;
        case IDC_WINNABLE:
            if (shownLooking)
                InterlockedExchange(&lookCancelled, 1);
            else
                InterlockedExchange(&request, REQUEST_WINNABLE);
            return TRUE;
        case IDC_MY_GAMES:
            OpenMyGames(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (commandLine[0] >= '1' && commandLine[0] <= '4' && commandLine[1] == '\0')
        cellsOnCommandLine = commandLine[0] - '0';
    italian = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ITALIAN;
    texts = italian ? italianTexts : englishTexts;
    InitializeCriticalSection(&shownLock);
    OpenRecord();
    DialogBoxParamW(instance, MAKEINTRESOURCEW(DLG_HINT), nullptr, HintDialogProc, 0);
    // The worker may be inside a search; the process ends it.
    ExitProcess(0);
}
