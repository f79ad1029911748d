// The solver's answers, its pruning against a plain search, its lines and clicks through the real window
// procedure, and the hint companion: its reading of the game's card views, its answers beside the game.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "hint/gamewindow.h"
#include "hint/hintres.h"
#include "resources/resource.h"
#include "solver/solver.h"
#include "solver/store.h"
#include "tests/support.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <process.h>
#include <random>
#include <regex>
#include <set>
#include <utility>

namespace {

const int H = CELL_EMPTY, L = CLICK_LEFT, R = CLICK_RIGHT;

// Every reachable position tried with every click the game accepts, no
// pruning: 1 won, 0 lost.
int PlainSearch()
{
    std::set<std::string> seen{ TableKey() };
    for (std::vector<std::string> waiting{ TableKey() }; !waiting.empty();) {
        std::string key = waiting.back();
        waiting.pop_back();
        for (int click = 0; click < 80; click++) {
            SetTableKey(key);
            if (ApplyClick(click / 2 + 1, click % 2 ? R : L) && IsSolved())
                return 1;
            if (seen.insert(TableKey()).second)
                waiting.push_back(TableKey());
        }
    }
    return 0;
}

} // namespace

TEST_F(Solver, KnownAnswersOnCraftedPositionsAndRefusals)
{
    const struct {
        std::vector<std::array<int, 3>> changes;  // (column, row, value) on the solved table
        int parked[4], cells, answer, length, firstCard, firstButton;
    } positions[] = {
        { {}, {}, 1, SOLVE_WON, 0, 0, 0 },
        { { { 10, 2, H } }, { 20 }, 1, SOLVE_WON, 1, 20, L },
        { { { 9, 4, 40 }, { 10, 4, 39 } }, {}, 1, SOLVE_WON, 3, 40, R },  // park, slide, back
        { { { 5, 3, 26 }, { 6, 3, 27 }, { 7, 3, 28 }, { 8, 3, 29 }, { 9, 3, 30 }, { 10, 3, H } }, { 25 }, 1,
          SOLVE_LOST, 0, 0, 0 },
        { { { 5, 3, H } }, { 0, 25 }, 2, SOLVE_WON, 1, 25, L },
        { { { 5, 3, H } }, { 0, 25 }, 1, SOLVE_INVALID, 0, 0, 0 },  // free cell 2 not enabled
        { { { 5, 3, H } }, {}, 4, SOLVE_INVALID, 0, 0, 0 },         // a hole with nothing parked
        { { { 1, 1, 2 } }, {}, 4, SOLVE_INVALID, 0, 0, 0 },         // two twos, no ace
        { { { 1, 2, H } }, { 11 }, 1, SOLVE_INVALID, 0, 0, 0 },     // an ace parked
        { {}, {}, 5, SOLVE_INVALID, 0, 0, 0 },
    };
    for (const auto& p : positions) {
        SCOPED_TRACE(testing::Message() << "position " << &p - positions + 1);
        for (int c = 1; c <= 10; c++)
            for (int r = 1; r <= 4; r++)
                board[c][r] = (r - 1) * 10 + c;
        for (const auto& change : p.changes)
            board[change[0]][change[1]] = change[2];
        std::memcpy(freeCells + 1, p.parked, sizeof p.parked);
        std::string before = TableKey();
        EXPECT_EQ(SolvePosition(p.cells, 1000), p.answer);
        EXPECT_TRUE(TableKey() == before && winningLength == p.length);
        EXPECT_TRUE(p.length == 0 || (winningLine[1].card == p.firstCard && winningLine[1].button == p.firstButton));
        EXPECT_TRUE(p.answer != SOLVE_LOST || positionsSearched == 1);
    }
    DealBoard(7);
    std::memset(freeCells, 0, sizeof freeCells);
    EXPECT_EQ(SolvePosition(1, 50), SOLVE_UNKNOWN);  // too small a budget
    for (unsigned int seed : { 34u, 96u }) {  // one won, one lost: the pruning keeps the answer
        DealBoard(seed);
        int answer = SolvePosition(1, DEFAULT_BUDGET);
        EXPECT_EQ(answer == SOLVE_WON ? 1 : answer == SOLVE_LOST ? 0 : -1, PlainSearch()) << "seed " << seed;
    }
    // The solver's own search without the pruning, on a sample of deals
    // (make crosscheck compares 250).
    for (auto [seed, cells] : { std::pair{ 3u, 1 }, { 5u, 1 }, { 7u, 1 }, { 18u, 1 }, { 29u, 1 }, { 3u, 2 } }) {
        DealBoard(seed);
        int pruned = SolvePosition(cells, DEFAULT_BUDGET);
        searchPlain = 1;
        EXPECT_EQ(SolvePosition(cells, DEFAULT_BUDGET), pruned) << "seed " << seed << ", " << cells << " cells";
        searchPlain = 0;
    }
}

// A search cut short by its budget, its time or its memory says "unknown",
// never "lost"; the store refuses more memory than the machine has free.
TEST_F(Solver, SearchesCutShortSayUnknownNeverLost)
{
    unsigned long long limit = storeLimit;
    // Its store grows to 4 MB. As a search ends, an eighth of the limit
    // stays written for the next one, and the rest is given back.
    for (int megabytes : { 64, 16 }) {
        ASSERT_EQ(SetStoreLimit((unsigned long long)megabytes << 20), 1);
        DealBoard(1);  // lost with one free cell, after 953,503 positions
        std::memset(freeCells, 0, sizeof freeCells);
        ASSERT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_LOST);
        EXPECT_EQ(positionsSearched, 953503);
        MEMORY_BASIC_INFORMATION page = {};
        ASSERT_TRUE(storeSlots && VirtualQuery(storeSlots + (megabytes == 64 ? 4 << 20 : 2 << 20) - 4096, &page,
                                               sizeof page));
        EXPECT_EQ(page.State, (DWORD)MEM_COMMIT) << megabytes;
        ASSERT_TRUE(VirtualQuery(storeSlots + (megabytes == 64 ? 8 << 20 : 2 << 20), &page, sizeof page));
        EXPECT_EQ(page.State, (DWORD)MEM_RESERVE) << megabytes;
    }
    EXPECT_EQ(SetStoreLimit(~0ull >> 2), 0);
    EXPECT_EQ(storeLimit, 16ull << 20);
    ASSERT_EQ(SetStoreLimit(4 << 20), 1);  // room for about 59,000 positions
    DealBoard(19);  // lost, with about 100,000 stored
    EXPECT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_UNKNOWN);
    EXPECT_TRUE(searchStop == STOP_MEMORY && searchMemory <= 4u << 20) << searchStop << " " << searchMemory;
    // With two free cells a search finds a win within that, in room for
    // nodes as small; the next one, with the machine's limit again, takes
    // all the room it needs.
    searchThreads = 1;
    DealBoard(78);
    EXPECT_EQ(SolvePosition(2, DEFAULT_BUDGET), SOLVE_WON);
    EXPECT_EQ(positionsSearched, 153787);
    SetStoreLimit(limit);
    EXPECT_EQ(SolvePosition(2, DEFAULT_BUDGET), SOLVE_WON);
    EXPECT_EQ(positionsSearched, 307396);
    searchThreads = 0;
    EXPECT_TRUE(SolvePosition(1, 50) == SOLVE_UNKNOWN && searchStop == STOP_BUDGET && positionsSearched == 50);
    for (int cells : { 1, 2 }) {
        DealBoard(cells == 1 ? 1 : 131);
        searchTimeLimit = 1e-9;
        EXPECT_TRUE(SolvePosition(cells, DEFAULT_BUDGET) == SOLVE_UNKNOWN && searchStop == STOP_TIME) << cells;
        searchTimeLimit = 0;
    }
}

// The search layer by layer: lost where the depth-first search says lost,
// and the same positions when run again (nothing kept from the run before);
// a won position reached where they win; a budget, a time limit, or a
// folder it cannot write to, stops it unknown; no file is left.
TEST_F(Solver, LayerByLayerProvesLossesAndLeavesNoFiles)
{
    char temp[MAX_PATH], folder[MAX_PATH], missing[MAX_PATH + 16];
    GetTempPathA(MAX_PATH, temp);
    ASSERT_TRUE(GetTempFileNameA(temp, "orv", 0, folder) && DeleteFileA(folder) && CreateDirectoryA(folder, nullptr));
    for (unsigned seed : { 7u, 96u, 0u }) {
        std::memset(freeCells, 0, sizeof freeCells);
        DealBoard(seed != 0 ? seed : 7);
        if (seed == 0) {
            // Aces 1 and 11 above a hole in column 1, 27 parked: the aces and
            // the hole stand in six orders, each to be tried. The depth-first
            // search counts 736 positions here too; a layered search that
            // left orders untried would count fewer.
            std::swap(board[1][1], board[4][1]);
            std::swap(board[1][2], board[2][4]);
            freeCells[1] = board[1][3];
            board[1][3] = CELL_EMPTY;
        }
        searchThreads = 1;
        ASSERT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_LOST) << "seed " << seed;
        long long plain = positionsSearched;
        searchThreads = 0;
        searchLayers = folder;
        EXPECT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_LOST) << "seed " << seed;
        long long positions = positionsSearched;
        EXPECT_TRUE(seed != 0 || positions == plain) << positions;
        EXPECT_TRUE(SolvePosition(1, DEFAULT_BUDGET) == SOLVE_LOST && positionsSearched == positions) << seed;
        searchLayers = nullptr;
    }
    std::memset(freeCells, 0, sizeof freeCells);
    searchLayers = folder;
    DealBoard(1);  // stopped with positions of later layers in files
    EXPECT_TRUE(SolvePosition(1, 200000) == SOLVE_UNKNOWN && searchStop == STOP_BUDGET);
    searchTimeLimit = 1e-9;
    EXPECT_TRUE(SolvePosition(1, DEFAULT_BUDGET) == SOLVE_UNKNOWN && searchStop == STOP_TIME);
    searchTimeLimit = 0;
    for (int c = 1; c <= 10; c++)
        for (int r = 1; r <= 4; r++)
            board[c][r] = (r - 1) * 10 + c;
    board[1][1] = 11;  // won by the ace of row 1 moving down, the other ace up, the king back
    board[1][2] = CELL_EMPTY;
    board[10][4] = 1;
    freeCells[1] = 40;
    EXPECT_TRUE(SolvePosition(1, DEFAULT_BUDGET) == SOLVE_UNKNOWN && searchStop == STOP_NO_LINE) << searchStop;
    freeCells[1] = 0;
    for (int c = 1; c <= 10; c++)
        for (int r = 1; r <= 4; r++)
            board[c][r] = (r - 1) * 10 + c;
    board[9][4] = 40;  // won by a park, a slide and the card back
    board[10][4] = 39;
    EXPECT_TRUE(SolvePosition(1, DEFAULT_BUDGET) == SOLVE_UNKNOWN && searchStop == STOP_NO_LINE) << searchStop;
    std::strcat(std::strcpy(missing, folder), "\\missing");
    searchLayers = missing;
    EXPECT_TRUE(SolvePosition(1, DEFAULT_BUDGET) == SOLVE_UNKNOWN && searchStop == STOP_FILES) << searchStop;
    searchLayers = nullptr;
    EXPECT_TRUE(RemoveDirectoryA(folder)) << "files left in " << folder;
}

// Each click of a found line through the window procedure changes the table
// as the solver's click does; the last one brings up the congratulation.
TEST_F(Solver, WinningLinesWinTheRealGame)
{
    // With two free cells: a beam's line, the best-first search's for a deal
    // the beams and a 120-million-position depth-first search left undecided
    // (seconds: not under emulation), and, with the suits' rows fixed, the
    // line of a deal whose first three ways have none.
    const int deals[][3] = { { 1, 34, 0 }, { 2, 4, 0 }, { 4, 4, 0 }, { 2, 7333, 0 }, { 2, 187, 1 } };
    for (auto [cells, seed, rowsFixed] : deals) {
        SCOPED_TRACE(seed);
        if (seed == 7333 && std::getenv("ORVENNA_EMULATED_ONLY"))
            continue;
        StartGame(seed);
        Command(CMD_FREE_CELLS_1 + cells - 1);
        searchRowsFixed = rowsFixed;
        int answer = SolvePosition(cells, DEFAULT_BUDGET);
        searchRowsFixed = 0;
        ASSERT_EQ(answer, SOLVE_WON);
        for (int i = 1; i < winningLength; i++) {
            std::string now = TableKey();
            ASSERT_EQ(ApplyClick(winningLine[i].card, winningLine[i].button), 1) << "click " << i;
            std::string predicted = TableKey();
            SetTableKey(now);
            ClickCard(winningLine[i].card, winningLine[i].button);
            ASSERT_TRUE(TableKey() == predicted) << "click " << i;
        }
        ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
        BoxSeen box = AnswerBox(WM_COMMAND, IDYES, [] { ClickCard(winningLine[winningLength].card, L); });
        EXPECT_EQ(box.text, "Congratulazioni....\nHai vinto con " + std::to_string(cells) +
                                " spazi liberi.\nVuoi fare un'altra partita ?");
    }
    // The next search lets every ace into any row again: 4178 with one free
    // cell has no win with the rows the search of 187 fixed last.
    StartGame(4178);
    Command(CMD_FREE_CELLS_1);
    EXPECT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_WON);
}

// Random positions of random games, read back by the hint companion from the
// card views, with the free cells from the game's menu; for every card and both buttons a click
// it posts changes the table exactly as the solver's click does.
TEST_F(Solver, CompanionReadsPositionsAndItsClicksAgreeWithTheSolvers)
{
    std::mt19937 random(2000);
    for (int position = 0; position < 10; position++) {
        StartGame(1000 + position);
        int cells = 1 + (int)(random() % 4);
        Command(CMD_FREE_CELLS_1 + cells - 1);
        EXPECT_EQ(ReadFreeCellsEnabled(mainWindow), cells) << "position " << position;  // the checked menu item
        for (int step = (int)(random() % 60); step > 0 && !IsSolved(); step--)
            ClickCard(1 + (int)(random() % 40), random() % 3 ? L : R);
        std::string start = TableKey();
        ASSERT_EQ(ReadGameTable(FindGameWindow()), 1);
        ASSERT_TRUE(TableKey() == start) << "position " << position;
        for (int click = 0; click < 80; click++, SetTableKey(start)) {  // the handlers read the board, not the views
            ApplyClick(click / 2 + 1, click % 2 ? R : L);
            std::string predicted = TableKey();
            SetTableKey(start);
            ASSERT_EQ(PostCardClick(mainWindow, click / 2 + 1, click % 2 ? R : L), 1);
            PumpMessages();
            EXPECT_TRUE(TableKey() == predicted) << "position " << position << " click " << click;
        }
    }
    StartGame(1);
    EXPECT_EQ(ReadFreeCellsEnabled(mainWindow), 1);
    for (POINT p : { POINT{ 100, 77 }, POINT{ 0, 0 } }) {  // a view between cells, two views on one cell
        MoveCardView(36, p.x, p.y);
        EXPECT_EQ(ReadGameTable(mainWindow), 0) << p.x << "," << p.y;
    }
    EXPECT_TRUE(ReadGameTable(nullptr) == 0 && FindEndOfGameBox(mainWindow) == nullptr);
    EXPECT_TRUE(PostCardClick(mainWindow, 0, L) == 0 && PostCardClick(mainWindow, 41, L) == 0);
}

// The real companion beside this process's game. On a deal it needs seconds for, it says within a
// second that it is still searching, with a count that grows a few times a second, then its verdict;
// a move meanwhile drops that search at once and its answer never shows.
TEST_F(Solver, CompanionSearchesAsLongAsItNeedsAndDropsOldTables)
{
    StartGame(7333);  // two free cells: seconds of search even on every core
    Command(CMD_FREE_CELLS_2);
    intptr_t hint = _spawnl(_P_NOWAIT, "orv2000-hint.exe", "orv2000-hint.exe", nullptr);  // in the build folder
    ASSERT_NE(hint, -1);
    struct Seen { DWORD at; std::wstring verdict, advice; BOOL canPlay; };
    auto watch = [](std::wstring last, DWORD ms) {  // each change of its lines; this thread serves the game
        std::vector<Seen> seen;
        for (DWORD t = GetTickCount(); GetTickCount() - t < ms && (seen.empty() || seen.back().verdict != last);) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            PumpMessages();
            HWND box = FindWindowW(L"#32770", L"Hints - Orvenna 2000");
            auto text = [box](int id) { wchar_t t[99] = L""; GetDlgItemTextW(box, id, t, 99); return std::wstring(t); };
            std::wstring verdict = text(IDC_VERDICT), advice = text(IDC_ADVICE);
            if (seen.empty() || verdict != seen.back().verdict || advice != seen.back().advice)
                seen.push_back({ GetTickCount() - t, verdict, advice, IsWindowEnabled(GetDlgItem(box, IDC_PLAY_ONE)) });
        }
        return seen;
    };
    const std::wstring searching = L"Still searching...", won = L"Can be won with 2 free cells",
                       lost = L"Can no longer be won with 2 free cells";
    std::vector<Seen> seen = watch(searching, 10000);  // seen[0]: no window yet, seen[1]: its first text
    EXPECT_TRUE(seen.size() > 2 && seen.back().verdict == searching && seen.back().at - seen[1].at <= 1000);
    ClickCard(34, R);  // the 4 of swords and the 5 of coins parked from beside two kings: lost at once
    ClickCard(25, R);
    seen = watch(lost, 1000);
    EXPECT_TRUE(seen.back().verdict == lost && std::all_of(seen.begin(), seen.end(), [&](const Seen& s) {
                    return s.verdict == searching || s.verdict == lost; }));
    StartGame(7333);
    Command(CMD_FREE_CELLS_2);
    seen = watch(won, 60000);
    std::vector<long long> counts;
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.verdict == lost || s.verdict == searching || s.verdict == won) << s.verdict;
        if (s.verdict == searching && std::regex_match(s.advice, std::wregex(L"\\d{1,3}(,\\d{3})* positions tried")))
            counts.push_back(std::stoll(std::regex_replace(s.advice, std::wregex(L"\\D"), L"")));
    }
    auto searched = std::find_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.verdict == searching; });
    EXPECT_TRUE(counts.size() >= 3 && std::is_sorted(counts.begin(), counts.end(), std::less_equal<>()));  // growing
    EXPECT_TRUE(searched != seen.end() && seen.back().verdict == won && seen.back().at - searched->at > 1000);
    EXPECT_TRUE(seen.back().canPlay);
    TerminateProcess((HANDLE)hint, 0);
}
