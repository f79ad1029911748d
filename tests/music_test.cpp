// The music's transitions: size notices, completion notices, left clicks and
// the music command, observed as the media commands the program sends.
#include "app/mainwindow.h"
#include "resources/resource.h"
#include "tests/support.h"
#include "ui/music.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

namespace {

using Texts = std::vector<std::string>;
const Texts START = { "close all", "open sequencer!Orv2000.mid alias music", "play music notify" };
const Texts STOP = { "close all" };
const Texts NONE = {};

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenMainWindow();
        soundsAudible = false;
        musicOn = 1;
        musicPlaying = 1;
        mediaCommands.clear();
    }

    static void Size(WPARAM kind) { SendMessageA(mainWindow, WM_SIZE, kind, MAKELPARAM(794, 450)); }
    static void Notify(WPARAM code) { SendMessageA(mainWindow, MM_MCINOTIFY, code, 1); }
    // The commands sent since the last call.
    static Texts Sent()
    {
        Texts texts = MediaTexts();
        mediaCommands.clear();
        return texts;
    }
};

} // namespace

TEST(MusicStart, TheRestoredSizeAtStartUpStartsTheMusicWithTheMainWindowAsCallback)
{
    OpenMainWindow();
    ASSERT_GE(mediaCommands.size(), 3u);
    Texts texts = MediaTexts();
    EXPECT_EQ(Texts(texts.end() - 3, texts.end()), START);
    EXPECT_EQ(mediaCommands[mediaCommands.size() - 1].callback, mainWindow);
    EXPECT_EQ(mediaCommands[mediaCommands.size() - 2].callback, nullptr);
    EXPECT_EQ(mediaCommands[mediaCommands.size() - 3].callback, nullptr);
    EXPECT_EQ(musicPlaying, 1);
}

TEST(MusicStart, AProgramStartedMinimisedEndsSilent)
{
    OpenMainWindow(SW_SHOWMINNOACTIVE);
    ASSERT_FALSE(mediaCommands.empty());
    EXPECT_EQ(mediaCommands.back().text, "close all");
}

TEST_F(MusicTest, MinimiseStopsAndRestoreRestartsFromTheBeginning)
{
    Size(SIZE_MINIMIZED);
    EXPECT_EQ(Sent(), STOP);
    EXPECT_EQ(musicPlaying, 1);
    Size(SIZE_RESTORED);
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(musicPlaying, 1);

    // Through the platform: minimising and restoring the real window.
    ShowWindow(mainWindow, SW_MINIMIZE);
    EXPECT_EQ(Sent(), STOP);
    ShowWindow(mainWindow, SW_RESTORE);
    EXPECT_EQ(Sent(), START);
}

TEST_F(MusicTest, RestoreWithTheOptionOffSendsNothingButMinimiseStillStops)
{
    Command(CMD_MUSIC);
    EXPECT_EQ(Sent(), STOP);
    Size(SIZE_RESTORED);
    EXPECT_EQ(Sent(), NONE);
    Size(SIZE_MINIMIZED);
    EXPECT_EQ(Sent(), STOP);
    musicPlaying = 0;
    LeftClick(700, 450);
    EXPECT_EQ(Sent(), NONE);
    EXPECT_EQ(musicPlaying, 0);
}

TEST_F(MusicTest, OtherSizeKindsSendNothing)
{
    for (WPARAM kind : { 2u, 3u, 4u, 7u })  // maximised, max-show, max-hide, unknown
        Size(kind);
    EXPECT_EQ(Sent(), NONE);
    EXPECT_EQ(musicPlaying, 1);
}

TEST_F(MusicTest, OnlyASuccessfulEndArmsTheRestart)
{
    for (WPARAM code : { 2u, 4u, 8u, 0u }) {  // superseded, aborted, failure, none
        Notify(code);
        EXPECT_EQ(musicPlaying, 1) << code;
    }
    Notify(MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(musicPlaying, 0);
    EXPECT_EQ(Sent(), NONE);  // nothing starts before the next click
}

TEST_F(MusicTest, TheFirstLeftClickAfterTheEndRestartsAndIsStillAMove)
{
    Notify(MCI_NOTIFY_SUCCESSFUL);
    RightClick(700, 450);
    Command(CMD_NEW_GAME);
    Command(CMD_FREE_CELLS_2);
    EXPECT_EQ(Sent(), NONE);  // neither right clicks nor other commands restart it
    EXPECT_EQ(musicPlaying, 0);

    StartGame(1);
    RightClick(CellPoint(2, 1).x, CellPoint(2, 1).y);  // 28 parked, hole right of 2
    mediaCommands.clear();
    EXPECT_EQ(LeftClick(CellPoint(8, 1).x, CellPoint(8, 1).y), 1);  // 3 moves
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(musicPlaying, 1);
    LeftClick(700, 450);
    EXPECT_EQ(Sent(), NONE);
}

TEST_F(MusicTest, AClickOnBareBackgroundAlsoRestarts)
{
    Notify(MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(LeftClick(780, 480), 0);
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(mediaCommands.size(), 0u);
    EXPECT_EQ(musicPlaying, 1);
}

TEST_F(MusicTest, SwitchingOnStartsAtOnceAndLeavesTheEndedFlag)
{
    Notify(MCI_NOTIFY_SUCCESSFUL);
    Command(CMD_MUSIC);
    EXPECT_EQ(Sent(), STOP);
    EXPECT_EQ(musicOn, 0);
    Command(CMD_MUSIC);
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(musicOn, 1);
    EXPECT_EQ(musicPlaying, 0);
    LeftClick(780, 480);
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(musicPlaying, 1);
}

TEST_F(MusicTest, NewGameAndDestructionSendNothing)
{
    Command(CMD_NEW_GAME);
    EXPECT_EQ(Sent(), NONE);
    Command(CMD_EXIT);
    EXPECT_EQ(Sent(), NONE);
    EXPECT_EQ(musicOn, 1);
    EXPECT_EQ(musicPlaying, 1);
}

TEST_F(MusicTest, AMissingMusicFileChangesNothingElse)
{
    // The tests run where there is no Orv2000.mid: the start fails silently.
    Size(SIZE_RESTORED);
    EXPECT_EQ(Sent(), START);
    EXPECT_EQ(musicPlaying, 1);
    EXPECT_TRUE(IsWindowEnabled(mainWindow));
    HWND box = FindWindowA("#32770", nullptr);
    EXPECT_TRUE(box == nullptr || GetWindow(box, GW_OWNER) != mainWindow);
}
