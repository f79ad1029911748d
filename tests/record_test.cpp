// The player's record of games: its lines and sums, and what stays on file
// when a write is cut short, the file is damaged or the folder cannot be
// written.
#include "game/board.h"
#include "app/mainwindow.h"
#include "game/deal.h"
#include "game/wincheck.h"
#include "hint/gamewindow.h"
#include "hint/hintres.h"
#include "hint/record.h"
#include "hint/teacher.h"
#include "resource.h"
#include "solver/solver.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <process.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

std::string Folder()
{
    char folder[MAX_PATH];
    GetEnvironmentVariableA("APPDATA", folder, MAX_PATH);
    return std::string(folder) + "\\Orvenna 2000";
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A new, empty application-data folder for this process and the programs it starts.
std::string FreshAppData(const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string appData = std::string(temp) + name + std::to_string(GetTickCount());
    CreateDirectoryA(appData.c_str(), nullptr);
    SetEnvironmentVariableA("APPDATA", appData.c_str());
    return appData;
}

// A game of the deal now dealt by the clock, ended with that verdict.
int Played(int answer, int winnable, int won, int moves)
{
    DealBoard((unsigned int)std::time(nullptr));
    std::memset(freeCells, 0, sizeof freeCells);
    StartGameRecord();
    gameAnswer = answer;
    gameWinnable = winnable;
    gameFewest = 2;
    gameCells = 2;
    gameLosingMove = answer == SOLVE_LOST && winnable ? 7 : 0;
    gameMoves = moves;
    return EndGameRecord(won);
}

} // namespace

TEST(Record, KeepsEveryLineThroughCutWritesDamageAndUnwritableFolders)
{
    std::string appData = FreshAppData("orv-record-");
    const std::string folder = Folder(), path = folder + "\\partite.csv";
    OpenRecord();
    ASSERT_EQ(recordProblem, RECORD_FINE);

    // Won; left while still winnable; lost after being winnable, at its 7th move.
    long long now = (long long)std::time(nullptr);
    ASSERT_EQ(Played(SOLVE_WON, 1, 1, 40), 1);
    EXPECT_TRUE(gameSecond >= now && gameSecond <= now + 2) << gameSecond;
    ASSERT_EQ(Played(SOLVE_WON, 1, 0, 3), 1);
    ASSERT_EQ(Played(SOLVE_LOST, 1, 0, 9), 1);
    std::string kept = FileText(path);
    std::istringstream lines(kept);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "inizio,secondo,spazi_liberi,spazi_minimi,esito,mossa_perdente,mosse\r");
    for (const char* ending : { ",2,2,vinta,,40\r", ",2,2,vincibile,,3\r", ",2,2,persa_da_vincibile,7,9\r" }) {
        std::getline(lines, line);
        EXPECT_EQ(line.substr(20).find(',') + 21, line.size() - std::string(ending).size() + 1) << line;
        EXPECT_EQ(line.substr(line.size() - std::string(ending).size()), ending);
    }
    EXPECT_TRUE(recordGames == 3 && recordWon == 1 && recordWinnableLost == 2)
        << recordGames << " " << recordWon << " " << recordWinnableLost;

    // A write cut short at every byte, as a kill would: what was on file stays, whole.
    Played(SOLVE_LOST, 0, 0, 5);
    const std::string four = FileText(path);
    recordStopAfter = 0;
    Played(SOLVE_LOST, 0, 0, 6);
    for (; !EndGameRecord(0); recordStopAfter++)  // each time, the line waiting is tried again
        ASSERT_EQ(FileText(path), four) << "cut after " << recordStopAfter << " bytes";
    EXPECT_GT(recordStopAfter, (long long)four.size());  // only the whole new file takes the old one's place
    recordStopAfter = -1;
    EXPECT_TRUE(recordGames == 5 && FileText(path).rfind(four, 0) == 0 && FileText(path).size() > four.size());

    // A full disk: said, nothing left behind, and written at the next end.
    const std::string five = FileText(path);
    recordFullAfter = 100;
    EXPECT_EQ(Played(SOLVE_WON, 1, 1, 40), 0);
    recordFullAfter = -1;
    EXPECT_TRUE(recordProblem == RECORD_CANNOT_WRITE && FileText(path) == five &&
                GetFileAttributesA((path + ".nuovo").c_str()) == INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(EndGameRecord(0) == 1 && recordGames == 6 && recordProblem == RECORD_FINE);

    // A file this version cannot read is set aside, never written over; a new one begins.
    const std::string damaged = "inizio,secondo,spazi_liberi,spazi_minimi,esito,mossa_perdente,mosse,colore\r\n";
    WriteText(path, damaged);
    ASSERT_EQ(Played(SOLVE_WON, 1, 1, 40), 1);
    EXPECT_EQ(recordProblem, RECORD_SET_ASIDE);
    std::string aside(recordAside, recordAside + wcslen(recordAside));
    EXPECT_EQ(aside.rfind("partite-illeggibile-20", 0), 0u) << aside;
    EXPECT_EQ(FileText(folder + "\\" + aside), damaged);
    EXPECT_TRUE(recordGames == 1 && FileText(path).find("vinta") != std::string::npos);

    // A folder that cannot be written: said, and written once it can be.
    ASSERT_TRUE(DeleteFileA((folder + "\\" + aside).c_str()) && DeleteFileA(path.c_str()) &&
                RemoveDirectoryA(folder.c_str()));
    WriteText(folder, "not a folder");
    EXPECT_EQ(Played(SOLVE_WON, 1, 1, 40), 0);
    EXPECT_EQ(recordProblem, RECORD_CANNOT_WRITE);
    ASSERT_TRUE(DeleteFileA(folder.c_str()));
    EXPECT_EQ(Played(SOLVE_LOST, 0, 0, 2), 1);
    EXPECT_TRUE(recordProblem == RECORD_FINE && recordGames == 2 && recordWon == 1);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(appData.c_str());
}

namespace {

HWND CompanionOf(intptr_t process)
{
    HWND window = nullptr;
    DWORD id = GetProcessId((HANDLE)process), owner = 0;
    while ((window = FindWindowExW(nullptr, window, L"#32770", L"Hints - Orvenna 2000")) != nullptr)
        if (GetWindowThreadProcessId(window, &owner) && owner == id)
            return window;
    return nullptr;
}

std::wstring Said(intptr_t process, int id)
{
    wchar_t text[300] = L"";
    GetDlgItemTextW(CompanionOf(process), id, text, 300);
    return text;
}

// Serves the game until the condition holds or ms have passed.
bool Until(bool (*condition)(), DWORD ms)
{
    for (DWORD t = GetTickCount(); GetTickCount() - t < ms; PumpMessages()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        if (condition())
            return true;
    }
    return false;
}

std::string csvPath;
intptr_t companion;

int RecordLines()
{
    std::string text = FileText(csvPath);
    return (int)std::count(text.begin(), text.end(), '\n') - 1;
}

// The positions the companion's search for its verdict has tried so far; 0 when it is not searching.
long long Tried()
{
    std::wstring advice = Said(companion, IDC_ADVICE);
    advice.erase(std::remove(advice.begin(), advice.end(), L','), advice.end());
    return Said(companion, IDC_VERDICT) == L"Still searching..." ? std::wcstoll(advice.c_str(), nullptr, 10) : 0;
}

void CALLBACK AnswerYesOnceRecorded(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindEndOfGameBox(mainWindow);
    if (box && RecordLines() == 1)
        PostMessageW(box, WM_COMMAND, IDYES, 0);
}

} // namespace

// The real companion beside this process's game, across a restart: a game it wins with "Play to the
// end" and a game left for a new deal give two lines; a second companion leaves the record alone; a
// game left while the companion still searches keeps its last click and free cells.
TEST_F(Solver, CompanionKeepsThePlayersRecord)
{
    FreshAppData("orv-companion-");  // the companions inherit it
    csvPath = Folder() + "\\partite.csv";
    StartGame(34);
    companion = _spawnl(_P_NOWAIT, "orv2000-hint.exe", "orv2000-hint.exe", nullptr);
    ASSERT_NE(companion, -1);
    static intptr_t other = -1;
    // However the case ends, no companion outlives it (it would hold the test runner's output open).
    std::shared_ptr<void> ending(nullptr, [](void*) {
        TerminateProcess((HANDLE)companion, 0);
        if (other != -1)
            TerminateProcess((HANDLE)other, 0);
    });
    ASSERT_TRUE(Until([] { return Said(companion, IDC_VERDICT) == L"Can be won with 1 free cell"; }, 30000));
    size_t soundsBefore = sounds.size();
    PostMessageW(CompanionOf(companion), WM_COMMAND, IDC_PLAY_ALL, 0);
    // Yes in the congratulation once the game is on file, and a new deal.
    UINT_PTR timer = SetTimer(nullptr, 0, 20, AnswerYesOnceRecorded);
    EXPECT_TRUE(Until([] { return RecordLines() == 1 && !IsSolved() && !FindEndOfGameBox(mainWindow); }, 60000));
    KillTimer(nullptr, timer);
    int moves = (int)(sounds.size() - soundsBefore);
    long long dealt = 0;
    for (long long s = (long long)std::time(nullptr); s > std::time(nullptr) - 120 && !dealt; s--) {
        Table now;
        SaveTable(&now);
        DealBoard((unsigned int)s);
        dealt = std::memcmp(board, now.board, sizeof board) == 0 ? s : 0;
        std::memcpy(board, now.board, sizeof board);
    }
    ASSERT_NE(dealt, 0);
    std::memset(freeCells, 0, sizeof freeCells);
    int answer = SolvePosition(1, DEFAULT_BUDGET);

    TerminateProcess((HANDLE)companion, 0);
    companion = _spawnl(_P_NOWAIT, "orv2000-hint.exe", "orv2000-hint.exe", nullptr);
    ASSERT_TRUE(Until([] { return Said(companion, IDC_RECORD) == L"Games: 1 · won: 1 · winnable but lost: 0" &&
                                  Said(companion, IDC_VERDICT).find(L"1 free cell") != std::wstring::npos; },
                      30000)) << Said(companion, IDC_RECORD);
    other = _spawnl(_P_NOWAIT, "orv2000-hint.exe", "orv2000-hint.exe", nullptr);
    EXPECT_TRUE(Until([] { return Said(other, IDC_RECORD) ==
                                  L"Another Hints window is already open: that one keeps the record"; }, 20000))
        << (CompanionOf(other) != nullptr) << " " << Said(other, IDC_RECORD).size();
    TerminateProcess((HANDLE)other, 0);
    StartGame(7);  // a new deal: the game before is left
    EXPECT_TRUE(Until([] { return RecordLines() == 2; }, 20000));

    // A new deal while the companion still decides the table a click made: that click and the free cells
    // are on record. 816 with two free cells keeps it searching far longer than this case lasts.
    StartGame(816);
    Command(CMD_FREE_CELLS_2);
    static long long tried;
    EXPECT_TRUE(Until([] { return (tried = Tried()) > 3000000; }, 30000)) << tried;
    ClickCard(34, CLICK_RIGHT);
    EXPECT_TRUE(Until([] { long long now = Tried(); return now > 0 && now < tried; }, 10000));  // the new table's
    StartGame(7);
    ASSERT_TRUE(Until([] { return RecordLines() == 4; }, 30000)) << RecordLines();

    std::istringstream lines(FileText(csvPath));
    std::string header, won, left, clicked;
    std::getline(lines, header);
    std::getline(lines, won);
    std::getline(lines, left);
    std::getline(lines, clicked);  // game 7's, left at once
    std::getline(lines, clicked);
    EXPECT_TRUE(clicked.substr(19, 4) == ",,2," && clicked.substr(clicked.rfind(',')) == ",1\r") << clicked;
    EXPECT_EQ(won.substr(19), ",,1,1,vinta,," + std::to_string(moves) + "\r");
    EXPECT_EQ(left.substr(19), "," + std::to_string(dealt) + ",1," +
                                   (answer == SOLVE_WON ? "1,vincibile,,0\r" : left.substr(left.find(",1,", 19) + 3)));
    EXPECT_TRUE(answer == SOLVE_WON || left.find(",persa,,0\r") != std::string::npos) << left;
}
