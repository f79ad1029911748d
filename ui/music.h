// The background music: "Orv2000.mid" from the current directory, played once
// through by the media control service, restarted by the next left click
// after it has played to its end.
#pragma once

#include "app/winsys.h"

// The "Musica" option: 1 on, 0 off.
extern int musicOn;
// 0 once the piece has played to its end and nothing has started it since.
extern int musicPlaying;

// Starts the music from the beginning; the end-of-music notice goes to window.
void StartMusic(HWND window);
void StopMusic();
// WM_SIZE: stops on minimise, starts on restore when the option is on.
void OnMusicSize(HWND window, WPARAM sizeKind);
// MM_MCINOTIFY: the piece played to its end.
void OnMusicNotify(WPARAM code);
// At every left-button press: starts the music again if it has ended.
void MusicCheck(HWND window);
// CMD_MUSIC: toggles the option, its check mark and the music.
void ToggleMusic(HWND window);
