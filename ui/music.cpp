// The background music. No result of a media command is looked at: a missing
// or unplayable file leaves the game silent and nothing else changes.
#include "ui/music.h"
#include "app/mainwindow.h"
#include "resources/resource.h"

#include <mmsystem.h>

int musicOn = 1;
int musicPlaying = 1;

// Closing first makes every start begin again from the beginning.
void StartMusic(HWND window)
{
    mciSendStringA("close all", nullptr, 0, nullptr);
    mciSendStringA("open sequencer!Orv2000.mid alias music", nullptr, 0, nullptr);
    mciSendStringA("play music notify", nullptr, 0, window);
}

void StopMusic()
{
    mciSendStringA("close all", nullptr, 0, nullptr);
}

// The first restored-size notice comes while the window is being created,
// before mainWindow is stored: the window is the one handed in.
void OnMusicSize(HWND window, WPARAM sizeKind)
{
    if (sizeKind == SIZE_MINIMIZED) {
        StopMusic();
    } else if (sizeKind == SIZE_RESTORED && musicOn == 1) {
        StartMusic(window);
        musicPlaying = 1;
    }
}

// Only a piece that played to its end arms the restart; a superseded or
// aborted one (stopped or restarted by the program) does not.
void OnMusicNotify(WPARAM code)
{
    if (code == MCI_NOTIFY_SUCCESSFUL)
        musicPlaying = 0;
}

void MusicCheck(HWND window)
{
    if (musicOn == 1 && musicPlaying == 0) {
        StartMusic(window);
        musicPlaying = 1;
    }
}

void ToggleMusic(HWND window)
{
    musicOn = musicOn == 0 ? 1 : 0;
    if (musicOn == 1)
        StartMusic(window);
    else
        StopMusic();
    SetMenuItemState(CMD_MUSIC, musicOn == 1 ? MFS_CHECKED : 0);
}
