// The player's record of games: its lines and sums, and what stays on file
// when a write is cut short, the file is damaged or the folder cannot be
// written.
#include "game/board.h"
#include "game/deal.h"
#include "hint/record.h"
#include "solver/solver.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <fstream>
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
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string appData = std::string(temp) + "orv-record-" + std::to_string(GetTickCount());
    CreateDirectoryA(appData.c_str(), nullptr);
    SetEnvironmentVariableA("APPDATA", appData.c_str());
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
