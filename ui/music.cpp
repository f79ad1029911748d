// The background music.
#include "ui/music.h"

int musicOn = 1;
int musicPlaying = 1;
