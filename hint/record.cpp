// The record is written whole to a new file beside the old one, which then
// replaces it in one step (MoveFileEx): a crash, a kill or a full disk at
// any moment leaves either the old file or the new one, never a part, and
// the lines on file are never written over in place. Appending would write
// into the player's file itself; a cut-off append would then have to be told
// apart from a damaged file on every read. The copy costs a read of the file
// at each game's end, a few kilobytes a year of play.
#include "hint/record.h"
#include "game/board.h"
#include "game/deal.h"
#include "solver/solver.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

int recordProblem = RECORD_FINE;
wchar_t recordFolder[MAX_PATH];
wchar_t recordPath[MAX_PATH];
wchar_t recordAside[MAX_PATH];
int recordGames = 0;
int recordWon = 0;
int recordWinnableLost = 0;
int gameWatched = 0;
int gameFromDeal = 0;
long long gameSecond = 0;
int gameCells = 1;
int gameFewest = FEWEST_AT_START_UNKNOWN;
int gameAnswer = 0;
int gameWinnable = 0;
int gameLosingMove = 0;
int gameMoves = 0;
long long recordStopAfter = -1;
long long recordFullAfter = -1;

namespace {

const char HEADER[] = "inizio,secondo,spazi_liberi,spazi_minimi,esito,mossa_perdente,mosse";
const char* const OUTCOMES[] = { "vinta", "persa", "persa_da_vincibile", "vincibile", "non_decisa" };
constexpr int OUTCOME_WON = 0, OUTCOME_LOST = 1, OUTCOME_LOST_WINNABLE = 2, OUTCOME_LEFT_WINNABLE = 3,
              OUTCOME_UNDECIDED = 4;

// How a read of the file went.
constexpr int READ_FINE = 0, READ_MISSING = 1, READ_DAMAGED = 2, READ_FAILED = 3;

constexpr int LINE_MAX = 256;
// Lines of ended games not yet on file (the folder could not be written).
constexpr int PENDING = 32;
char pending[PENDING + 1][LINE_MAX];
int pendingCount = 0;

char started[24];
char chunk[65536];
long long written = 0;
int stopped = 0;

// One write into a file, cut short where the test hooks say.
int Put(HANDLE out, const char* text, DWORD size)
{
    long long cut = recordStopAfter >= 0 ? recordStopAfter : recordFullAfter;
    if (cut >= 0 && written + size > cut) {
        DWORD done, part = (DWORD)(cut - written);
        WriteFile(out, text, part, &done, nullptr);
        stopped = recordStopAfter >= 0;
        return 0;
    }
    DWORD done = 0;
    written += size;
    return WriteFile(out, text, size, &done, nullptr) && done == size;
}

int PutLine(HANDLE out, const char* line)
{
    return Put(out, line, (DWORD)std::strlen(line)) && Put(out, "\r\n", 2);
}

int Digits(const char* text, int most)
{
    int n = 0;
    while (text[n] >= '0' && text[n] <= '9')
        n++;
    return text[n] == '\0' && n <= most ? n : -1;
}

// The outcome of a line as this version writes it, or -1.
int LineOutcome(char* line)
{
    char* fields[8];
    int count = 0;
    for (char* p = line; count < 8; p++) {
        fields[count++] = p;
        p = std::strchr(p, ',');
        if (!p)
            break;
        *p = '\0';
    }
    if (count != 7 || std::strlen(fields[0]) != 19 || Digits(fields[1], 19) < 0 || Digits(fields[5], 9) < 0 ||
        Digits(fields[6], 9) < 1)
        return -1;
    for (int i = 0; i < 19; i++)
        if (i == 4 || i == 7 ? fields[0][i] != '-' : i == 10 ? fields[0][i] != ' '
            : i == 13 || i == 16 ? fields[0][i] != ':' : fields[0][i] < '0' || fields[0][i] > '9')
            return -1;
    if (std::strlen(fields[2]) != 1 || fields[2][0] < '1' || fields[2][0] > '4')
        return -1;
    if (!(fields[3][0] == '\0' || std::strcmp(fields[3], "nessuno") == 0 ||
          (std::strlen(fields[3]) == 1 && fields[3][0] >= '1' && fields[3][0] <= '4')))
        return -1;
    for (int i = 0; i < 5; i++)
        if (std::strcmp(fields[4], OUTCOMES[i]) == 0)
            return i;
    return -1;
}

void Sum(int outcome, int* games, int* won, int* winnableLost)
{
    (*games)++;
    *won += outcome == OUTCOME_WON;
    *winnableLost += outcome == OUTCOME_LOST_WINNABLE || outcome == OUTCOME_LEFT_WINNABLE;
}

// Reads the lines on file, checks each, sums them, and copies them to out
// (when given; the header when there is no file yet).
int CopyRecord(HANDLE out, int* games, int* won, int* winnableLost)
{
    *games = *won = *winnableLost = 0;
    HANDLE in = CreateFileW(recordPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return READ_FAILED;  // there but not readable now (another program holds it)
        return out && !PutLine(out, HEADER) ? READ_FAILED : READ_MISSING;
    }
    char line[LINE_MAX + 1];
    int length = 0, lines = 0, result = READ_FINE;
    DWORD got = 0;
    while (result == READ_FINE && ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got && result == READ_FINE; i++) {
            if (chunk[i] != '\n') {
                if (length == LINE_MAX)
                    result = READ_DAMAGED;
                else
                    line[length++] = chunk[i];
                continue;
            }
            if (length == 0 || line[length - 1] != '\r') {
                result = READ_DAMAGED;
                break;
            }
            line[length - 1] = '\0';
            length = 0;
            char copy[LINE_MAX + 1];
            std::strcpy(copy, line);
            int outcome = lines++ == 0 ? (std::strcmp(line, HEADER) == 0 ? 0 : -1) : LineOutcome(copy);
            if (outcome < 0)
                result = READ_DAMAGED;
            else if (lines > 1)
                Sum(outcome, games, won, winnableLost);
            if (result == READ_FINE && out && !PutLine(out, line))
                result = READ_FAILED;
        }
    }
    // A file this program wrote ends with a whole line, the header at least.
    if (result == READ_FINE && (length != 0 || lines == 0))
        result = READ_DAMAGED;
    CloseHandle(in);
    return result;
}

// A file that cannot be read is the player's still: it goes beside the new
// one, with the date in its name.
int SetAside()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t aside[MAX_PATH];
    std::swprintf(aside, MAX_PATH, L"%ls\\partite-illeggibile-%04d%02d%02d-%02d%02d%02d.csv", recordFolder,
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (!MoveFileW(recordPath, aside))
        return 0;
    std::wcscpy(recordAside, std::wcsrchr(aside, L'\\') + 1);
    recordProblem = RECORD_SET_ASIDE;
    return 1;
}

int CannotWrite()
{
    recordProblem = RECORD_CANNOT_WRITE;
    return 0;
}

// The lines on file and those waiting, into a new file that then takes the
// old one's place.
int WriteRecord()
{
    if (recordProblem == RECORD_OTHER_KEEPS || recordPath[0] == L'\0')
        return 0;
    written = 0;
    stopped = 0;
    CreateDirectoryW(recordFolder, nullptr);
    wchar_t fresh[MAX_PATH];
    std::swprintf(fresh, MAX_PATH, L"%ls.nuovo", recordPath);
    HANDLE out = CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return CannotWrite();
    int games, won, winnableLost, setAside = 0;
    int read = CopyRecord(out, &games, &won, &winnableLost);
    if (read == READ_DAMAGED) {
        CloseHandle(out);
        if (!SetAside()) {
            DeleteFileW(fresh);
            return CannotWrite();
        }
        setAside = 1;
        out = CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return CannotWrite();
        written = 0;
        read = CopyRecord(out, &games, &won, &winnableLost);
    }
    int fine = read != READ_FAILED && !stopped;
    for (int i = 1; i <= pendingCount && fine; i++) {
        char copy[LINE_MAX];
        std::strcpy(copy, pending[i]);
        Sum(LineOutcome(copy), &games, &won, &winnableLost);
        fine = PutLine(out, pending[i]);
    }
    fine = fine && FlushFileBuffers(out);
    CloseHandle(out);
    if (stopped)
        return 0;  // as a killed program would leave it
    if (!fine || !MoveFileExW(fresh, recordPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(fresh);
        return CannotWrite();
    }
    pendingCount = 0;
    recordGames = games;
    recordWon = won;
    recordWinnableLost = winnableLost;
    recordProblem = setAside ? RECORD_SET_ASIDE : RECORD_FINE;
    return 1;
}

// The second of the clock, from a few minutes back to a minute ahead, whose
// deal is the table in the board state; 0 when none is.
long long DealSecond()
{
    int order[CARD_COUNT + 1];
    long long now = (long long)std::time(nullptr);
    for (long long second = now + 60; second >= now - 300; second--) {
        SeedRandom((unsigned int)second);
        DrawDealOrder(order);
        int same = 1;
        for (int k = 1; k <= CARD_COUNT && same; k++)
            same = board[(k - 1) % BOARD_COLUMNS + 1][(k - 1) / BOARD_COLUMNS + 1] == order[k];
        if (same)
            return second;
    }
    return 0;
}

} // namespace

void OpenRecord()
{
    wchar_t base[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 40) {
        recordProblem = RECORD_CANNOT_WRITE;
        return;
    }
    std::swprintf(recordFolder, MAX_PATH, L"%ls\\Orvenna 2000", base);
    std::swprintf(recordPath, MAX_PATH, L"%ls\\partite.csv", recordFolder);
    // Held until the process ends: one companion at a time keeps the record.
    static HANDLE kept = nullptr;
    if (!kept) {
        kept = CreateMutexW(nullptr, FALSE, L"Local\\Orvenna2000.Partite");
        if (kept && GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(kept);
            kept = nullptr;
            recordProblem = RECORD_OTHER_KEEPS;
            return;
        }
    }
    recordProblem = RECORD_FINE;
    if (CopyRecord(nullptr, &recordGames, &recordWon, &recordWinnableLost) == READ_DAMAGED) {
        recordGames = recordWon = recordWinnableLost = 0;
        if (!SetAside())
            recordProblem = RECORD_CANNOT_WRITE;
    }
}

void StartGameRecord()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::snprintf(started, sizeof started, "%04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    int dealt = 1;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        dealt = dealt && freeCells[i] == 0;
    for (int c = 1; c <= BOARD_COLUMNS; c++)
        for (int r = 1; r <= BOARD_ROWS; r++)
            dealt = dealt && board[c][r] != CELL_EMPTY;
    gameSecond = dealt ? DealSecond() : 0;
    gameFromDeal = dealt;
    gameWatched = 1;
    gameCells = 1;
    gameFewest = FEWEST_AT_START_UNKNOWN;
    gameAnswer = 0;
    gameWinnable = 0;
    gameLosingMove = 0;
    gameMoves = 0;
}

int EndGameRecord(int won)
{
    if (!gameWatched)
        return pendingCount == 0 || WriteRecord();
    gameWatched = 0;
    int outcome = won                        ? OUTCOME_WON
                  : gameAnswer == SOLVE_WON  ? OUTCOME_LEFT_WINNABLE
                  : gameAnswer == SOLVE_LOST ? (gameWinnable ? OUTCOME_LOST_WINNABLE : OUTCOME_LOST)
                                             : OUTCOME_UNDECIDED;
    char second[24] = "", fewest[16] = "", losing[16] = "";
    if (gameSecond)
        std::snprintf(second, sizeof second, "%lld", gameSecond);
    if (gameFewest == FEWEST_AT_START_NONE)
        std::strcpy(fewest, "nessuno");
    else if (gameFewest != FEWEST_AT_START_UNKNOWN)
        std::snprintf(fewest, sizeof fewest, "%d", gameFewest);
    if (outcome == OUTCOME_LOST_WINNABLE && gameLosingMove > 0)
        std::snprintf(losing, sizeof losing, "%d", gameLosingMove);
    if (pendingCount == PENDING) {  // the folder has long been unwritable: the oldest goes
        std::memmove(pending[1], pending[2], sizeof pending[1] * (PENDING - 1));
        pendingCount--;
    }
    pendingCount++;
    std::snprintf(pending[pendingCount], LINE_MAX, "%s,%s,%d,%s,%s,%s,%d", started, second, gameCells, fewest,
                  OUTCOMES[outcome], losing, gameMoves);
    return WriteRecord();
}
