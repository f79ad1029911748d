// The move sound.
#pragma once

// Plays the move sound from the program's resources and returns when it ends.
void PlayMoveSound();
