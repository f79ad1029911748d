// What the companion teaches: the click that lost a winnable game, also when
// several clicks come between two looks, the fewest free cells that still
// win, and, beside this process's game, the real companion naming the click
// and starting a winnable deal on request.
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "hint/hintres.h"
#include "hint/teacher.h"
#include "solver/solver.h"
#include "solver/words.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <process.h>
#include <string>
#include <utility>

namespace {

const int L = CLICK_LEFT, R = CLICK_RIGHT;

// Seed 34 with one free cell: the first clicks of the line the solver wins
// it with, a park right after them that loses it (won again with two free
// cells), and a click that only that park makes possible.
const LineClick line34[] = { { 30, R }, { 31, L }, { 30, L } };
const LineClick losing34 = { 4, R };
const LineClick after34 = { 23, L };

// The table of seed 34 after the first clicks of its line and then the given ones.
Table Played(int lineClicks, std::initializer_list<LineClick> more = {})
{
    DealBoard(34);
    std::memset(freeCells, 0, sizeof freeCells);
    freeUsed = 1;
    freeLimit = 2;
    for (int i = 0; i < lineClicks; i++)
        ApplyClick(line34[i].card, line34[i].button);
    for (LineClick click : more)
        ApplyClick(click.card, click.button);
    Table table;
    SaveTable(&table);
    return table;
}

int verdict;

// The companion's way: a table seen, its verdict, then the teacher's answers.
int Look(const Table& table, int cells = 1)
{
    LoadTable(table);
    int sameGame = TeacherSees(cells);
    LoadTable(table);
    verdict = KnownLost(cells) ? SOLVE_LOST : SolvePosition(cells, teacherBudget);
    TeacherKnows(cells, verdict, searchStop, &winningLine[1]);
    // A table just won is not searched again: the line shown stays whole
    // (with no budget left a search would lose it).
    long long budget = teacherBudget;
    int length = winningLength;
    if (verdict == SOLVE_WON)
        teacherBudget = 0;
    EXPECT_EQ(TeacherWork(cells), 1);
    teacherBudget = budget;
    if (verdict == SOLVE_WON) {
        EXPECT_EQ(winningLength, length);
    }
    return sameGame;
}

void NewGameSeen()
{
    DealBoard(7);
    std::memset(freeCells, 0, sizeof freeCells);
    Table deal;
    SaveTable(&deal);
    EXPECT_EQ(Look(deal), 0);
    EXPECT_EQ(losingNamed, 0);
}

} // namespace

TEST_F(Solver, TeacherNamesTheClickThatLostTheGame)
{
    searchInterrupted = nullptr;
    const Table lost = Played(3, { losing34 });
    // One to four clicks between two looks, the losing one last or not.
    const struct { int looked; bool after; } cases[] = { { 3, false }, { 2, false }, { 2, true }, { 1, true } };
    for (auto [looked, after] : cases) {
        SCOPED_TRACE(testing::Message() << 3 - looked + 1 + after << " clicks between the looks");
        NewGameSeen();
        Look(Played(looked));
        EXPECT_EQ(Look(after ? Played(3, { losing34, after34 }) : lost), 1);
        ASSERT_EQ(losingNamed, 1);
        EXPECT_TRUE(losingClick.card == losing34.card && losingClick.button == losing34.button);
        // The click named instead wins: the table it leads to is winnable.
        LoadTable(Played(3));
        ASSERT_EQ(ApplyClick(losingAlternative.card, losingAlternative.button), 1);
        EXPECT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_WON);
        // Both in words, the places as before the click.
        char italian[120], english[120];
        LoadTable(Played(3));
        DescribeClick(losing34.card, losing34.button, italian, english, sizeof italian);
        EXPECT_STREQ(losingItalian[1], italian);
        EXPECT_STREQ(losingEnglish[1], english);
        EXPECT_STREQ(english, "Park the 4 of batons (row 4, column 4) in a free cell");
        // Still winnable with two free cells.
        EXPECT_TRUE(fewestState == FEWEST_WINS && fewestCells == 2) << fewestState << " " << fewestCells;
    }
    // Lost from the first look: nothing seen was winnable, so no click is named. A new
    // deal after it is searched anew.
    NewGameSeen();
    Look(lost);
    EXPECT_EQ(losingNamed, 0);
    EXPECT_EQ(Look(Played(0)), 0);
    EXPECT_EQ(verdict, SOLVE_WON);
}

// A count of free cells whose search ran out says so, and a table before
// that was not decided names no click: never a guess.
TEST_F(Solver, TeacherSaysTheFewestFreeCellsOnlyWhenDecided)
{
    searchInterrupted = nullptr;
    NewGameSeen();
    // The knight of batons parked: lost in one position, two free cells take some eighty,
    // the table before more than twenty. That table undecided, no click is named.
    teacherBudget = 20;
    Look(Played(3));
    EXPECT_EQ(verdict, SOLVE_UNKNOWN);
    Look(Played(3, { { 9, R } }));
    teacherBudget = LLONG_MAX;
    EXPECT_TRUE(fewestState == FEWEST_UNDECIDED && fewestCells == 2) << fewestState << " " << fewestCells;
    EXPECT_EQ(losingNamed, 0);
}

// The real companion beside this process's game, in English: a click that
// loses the deal is named in its window, and a winnable deal on request is
// the one deal the game deals meanwhile, from a second of the clock.
TEST_F(Solver, CompanionNamesTheLosingMoveAndDealsAWinnableGame)
{
    // Every click at the table before the losing one, in words, and whether it keeps the deal winnable.
    std::map<std::wstring, int> keeps;
    for (int click = 0; click < 80; click++) {
        LoadTable(Played(3));
        char italian[120], english[120];
        DescribeClick(click / 2 + 1, click % 2 ? R : L, italian, english, sizeof italian);
        std::wstring words(english, english + std::strlen(english));
        if (ApplyClick(click / 2 + 1, click % 2 ? R : L))
            keeps[words] = SolvePosition(1, DEFAULT_BUDGET) == SOLVE_WON;
    }
    StartGame(34);
    static intptr_t hint;
    hint = _spawnl(_P_NOWAIT, "orv2000-hint.exe", "orv2000-hint.exe", nullptr);  // in the build folder
    ASSERT_NE(hint, -1);
    // However the case ends, the companion does not outlive it (it would hold the test runner's output open).
    std::shared_ptr<void> ending(nullptr, [](void*) { TerminateProcess((HANDLE)hint, 0); });
    HWND box = nullptr;
    auto text = [&box](int id) { wchar_t t[300] = L""; GetDlgItemTextW(box, id, t, 300); return std::wstring(t); };
    auto waitFor = [&](int id, const std::wstring& wanted, DWORD ms) {
        for (DWORD t = GetTickCount(); GetTickCount() - t < ms; PumpMessages()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            box = FindWindowW(L"#32770", L"Hints - Orvenna 2000");
            if (text(id).rfind(wanted, 0) == 0)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitFor(IDC_VERDICT, L"Can be won with 1 free cell", 30000)) << text(IDC_VERDICT);
    for (LineClick click : line34)  // five clicks between two looks
        ClickCard(click.card, click.button);
    ClickCard(losing34.card, losing34.button);
    ClickCard(after34.card, after34.button);
    ASSERT_TRUE(waitFor(IDC_VERDICT, L"Can no longer be won with 1 free cell", 10000));
    const std::wstring named = L"Losing move: Park the 4 of batons (row 4, column 4) in a free cell\n"
                               L"It could be won with: ";
    EXPECT_TRUE(waitFor(IDC_LOSING, named, 5000)) << text(IDC_LOSING);
    EXPECT_EQ(keeps[text(IDC_LOSING).substr(named.size())], 1) << text(IDC_LOSING);
    EXPECT_TRUE(waitFor(IDC_CELLS, L"Still winnable with 2 free cells", 5000)) << text(IDC_CELLS);

    // Nothing cut off: the widest click in words, in either language, fits twice in the losing move's
    // lines at the window's font; the window lies on the screen, clear of the game's cards.
    HDC dc = GetDC(box);
    HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                             DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT lines;
    GetClientRect(GetDlgItem(box, IDC_LOSING), &lines);
    Table game;
    SaveTable(&game);
    DealBoard(1);
    for (int card = 1; card <= 40; card++) {
        int column, row;
        FindCardPlace(card, &column, &row);
        std::swap(board[column][row], board[10][4]);  // the longest place: row 4, column 10
        char words[2][120];
        DescribeClick(card, R, words[0], words[1], sizeof words[0]);
        for (int english = 0; english <= 1; english++) {
            std::string said = std::string(english ? "Losing move: " : "Mossa perdente: ") + words[english] + "\n" +
                               (english ? "It could be won with: " : "Si vinceva con: ") + words[english];
            wchar_t wide[300];
            MultiByteToWideChar(CP_UTF8, 0, said.c_str(), -1, wide, 300);
            RECT needed = { 0, 0, lines.right, 0 };
            DrawTextW(dc, wide, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            EXPECT_LE(needed.bottom, lines.bottom) << said;
        }
        std::swap(board[column][row], board[10][4]);
    }
    LoadTable(game);
    DeleteObject(SelectObject(dc, oldFont));
    ReleaseDC(box, dc);
    RECT own, screen = { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    POINT cardsEnd = { COLUMN_PITCH * 10, ROW_PITCH * 4 };
    GetWindowRect(box, &own);
    ClientToScreen(mainWindow, &cardsEnd);
    EXPECT_TRUE(own.left >= screen.left && own.top >= screen.top && own.right <= screen.right &&
                own.bottom <= screen.bottom && (own.top >= cardsEnd.y || own.left >= cardsEnd.x));

    // New winnable game: one new deal, of a second from the request on, won with one free cell.
    int deals = 0;
    Table last;
    SaveTable(&last);
    long long asked = (long long)std::time(nullptr);
    PostMessageW(box, WM_COMMAND, IDC_WINNABLE, 0);
    for (DWORD t = GetTickCount(); GetTickCount() - t < 60000 && text(IDC_VERDICT) != L"Can be won with 1 free cell";) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        PumpMessages();
        Table now;
        SaveTable(&now);
        deals += !SameTables(now, last);
        last = now;
    }
    long long dealt = 0;
    for (long long s = asked; s <= (long long)std::time(nullptr) && !dealt; s++) {
        DealBoard((unsigned int)s);
        dealt = std::memcmp(board, last.board, sizeof board) == 0 ? s : 0;
    }
    EXPECT_EQ(deals, 1);
    ASSERT_NE(dealt, 0) << "not the deal of a second since the request";
    LoadTable(last);
    EXPECT_EQ(SolvePosition(1, DEFAULT_BUDGET), SOLVE_WON);
    EXPECT_EQ(text(IDC_LOSING), L"");  // a new game
}
