// The move sound plays synchronously: the move's click is fully handled,
// sound included, before the next message is taken.
#include "ui/sound.h"
#include "app/mainwindow.h"
#include "resources/resource.h"

#include <mmsystem.h>

void PlayMoveSound()
{
    PlaySoundA(MAKEINTRESOURCEA(WAVE_MOVE), appInstance, SND_RESOURCE);
}
