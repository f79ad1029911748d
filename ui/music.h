// The background music option and its state.
#pragma once

// The "Musica" option: 1 on, 0 off.
extern int musicOn;
// 0 once the piece has played to its end and nothing has started it since.
extern int musicPlaying;
