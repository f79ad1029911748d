// Menu commands, menu states and the About box, through WM_COMMAND messages.
#include "app/mainwindow.h"
#include "game/board.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        StartGame(1);
        soundsAudible = false;
    }
};

// States of the items "1" to "4" under "Spazi liberi".
void ExpectFreeCellItems(UINT one, UINT two, UINT three, UINT four)
{
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_1), one);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_2), two);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_3), three);
    EXPECT_EQ(MenuState(CMD_FREE_CELLS_4), four);
}

const UINT GREY = MFS_GRAYED, CHECK = MFS_CHECKED;

void OpenAbout()
{
    Command(CMD_ABOUT);
}

} // namespace

TEST_F(CommandsTest, FreeCellChoicesGreyTheSmallerOnesAndCheckTheChosen)
{
    ExpectFreeCellItems(CHECK, 0, 0, 0);
    EXPECT_EQ(Command(CMD_FREE_CELLS_2), 0);
    EXPECT_EQ(freeLimit, 3);
    ExpectFreeCellItems(GREY, CHECK, 0, 0);
    EXPECT_EQ(Command(CMD_FREE_CELLS_3), 0);
    EXPECT_EQ(freeLimit, 4);
    ExpectFreeCellItems(GREY, GREY, CHECK, 0);
    EXPECT_EQ(Command(CMD_FREE_CELLS_4), 0);
    EXPECT_EQ(freeLimit, 5);
    ExpectFreeCellItems(GREY, GREY, GREY, CHECK);
    EXPECT_EQ(Command(CMD_NEW_GAME), 0);
    EXPECT_EQ(freeLimit, 2);
    ExpectFreeCellItems(CHECK, 0, 0, 0);
}

TEST_F(CommandsTest, ChoosingThreeOnAFreshGameLeavesFourEnabled)
{
    Command(CMD_FREE_CELLS_3);
    ExpectFreeCellItems(GREY, GREY, CHECK, 0);
    Command(CMD_FREE_CELLS_3);  // again: the same steps
    ExpectFreeCellItems(GREY, GREY, CHECK, 0);
    EXPECT_EQ(freeLimit, 4);
}

TEST_F(CommandsTest, ChoosingOneNeverChangesAnything)
{
    EXPECT_EQ(Command(CMD_FREE_CELLS_1), 0);
    ExpectFreeCellItems(CHECK, 0, 0, 0);
    EXPECT_EQ(freeLimit, 2);
    Command(CMD_FREE_CELLS_3);
    Command(CMD_FREE_CELLS_1);
    EXPECT_EQ(freeLimit, 4);
    ExpectFreeCellItems(GREY, GREY, CHECK, 0);
}

// The smaller items are grey, but their commands can still arrive as messages.
TEST_F(CommandsTest, AFreeCellCommandThatWouldLowerTheLimitIsIgnored)
{
    Command(CMD_FREE_CELLS_4);
    for (int c : { 1, 2, 3, 5 })
        RightClick(CellPoint(c, 1).x, CellPoint(c, 1).y);
    ASSERT_EQ(freeUsed, 5);
    Command(CMD_FREE_CELLS_2);
    Command(CMD_FREE_CELLS_3);
    EXPECT_EQ(freeLimit, 5);
    EXPECT_EQ(freeUsed, 5);
    ExpectFreeCellItems(GREY, GREY, GREY, CHECK);
    // Full: no park writes past the fourth free cell.
    RightClick(CellPoint(6, 1).x, CellPoint(6, 1).y);
    EXPECT_EQ(freeUsed, 5);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(CommandsTest, NewGameDealsAtAnyTimeAlsoWithCardsParked)
{
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);
    ASSERT_EQ(freeCells[1], 28);
    Command(CMD_NEW_GAME);
    EXPECT_EQ(freeCells[1], 0);
    EXPECT_EQ(freeUsed, 1);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(CommandsTest, MusicCommandTogglesTheCheckMark)
{
    EXPECT_EQ(MenuState(CMD_MUSIC), CHECK);
    Command(CMD_MUSIC);
    EXPECT_EQ(musicOn, 0);
    EXPECT_EQ(MenuState(CMD_MUSIC), 0u);
    Command(CMD_MUSIC);
    EXPECT_EQ(musicOn, 1);
    EXPECT_EQ(MenuState(CMD_MUSIC), CHECK);
}

TEST_F(CommandsTest, AboutBoxIsModalAndClosesWithOkOrEscape)
{
    for (int button : { IDOK, IDCANCEL }) {
        BoxSeen box = AnswerBox(button, OpenAbout);
        ASSERT_TRUE(box.shown);
        EXPECT_EQ(box.caption, "About");
        EXPECT_TRUE(box.ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(mainWindow));
    }
}

namespace {
HWND aboutBox;
void CALLBACK InspectAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowA("#32770", "About");
    if (box == nullptr)
        return;
    KillTimer(nullptr, timer);
    aboutBox = box;
    // The OK button is the default and the only tab stop.
    HWND ok = GetDlgItem(box, IDOK);
    EXPECT_TRUE(GetWindowLongA(ok, GWL_STYLE) & BS_DEFPUSHBUTTON);
    int tabStops = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        tabStops += (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0;
    EXPECT_EQ(tabStops, 1);
    EXPECT_EQ(LOWORD(SendMessageA(box, DM_GETDEFID, 0, 0)), IDOK);
    // The dialog procedure handles OK and Cancel only.
    EXPECT_EQ(SendMessageA(box, WM_COMMAND, 3, 0), 0);
    EXPECT_TRUE(IsWindow(box));
    PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
}
} // namespace

TEST_F(CommandsTest, AboutBoxShowsItsTextsAndEscapeCloses)
{
    SetTimer(nullptr, 0, 20, InspectAbout);
    EXPECT_EQ(Command(CMD_ABOUT), 0);
    ASSERT_NE(aboutBox, nullptr);
    EXPECT_FALSE(IsWindow(aboutBox));
}

TEST_F(CommandsTest, RulesCommandOpensThePageByNameAndChangesNothing)
{
    int cells[11][5];
    std::memcpy(cells, board, sizeof board);
    Command(CMD_RULES);
    ASSERT_EQ(shellOpened.size(), 1u);
    EXPECT_EQ(shellOpened[0], "open orv2000.htm show 1 main");
    EXPECT_EQ(std::memcmp(cells, board, sizeof board), 0);
    EXPECT_TRUE(IsWindowEnabled(mainWindow));
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(CommandsTest, UnknownCommandsChangeNothing)
{
    int cells[11][5];
    std::memcpy(cells, board, sizeof board);
    for (int id : { 0, 1, 2, 103, 106, 109, 200, 32770, 32776, 32779, 65535 })
        EXPECT_EQ(Command(id), 0) << id;
    EXPECT_EQ(std::memcmp(cells, board, sizeof board), 0);
    EXPECT_EQ(freeLimit, 2);
    EXPECT_TRUE(IsWindow(mainWindow));
    ASSERT_NO_FATAL_FAILURE(ExpectConsistentTable());
}

TEST_F(CommandsTest, ExitDestroysTheWindowAndPostsQuit)
{
    EXPECT_EQ(Command(CMD_EXIT), 0);
    EXPECT_FALSE(IsWindow(mainWindow));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}
