// The lines the main window draws itself: the two-tone edge of the grid and
// the frames of the enabled free cells.
#pragma once

#include "app/winsys.h"

// The paint handler: the grid edge and the frame of free cell 1.
void PaintBoard(HWND window);
// Frames of free cells 2 up to the number enabled, drawn once when chosen.
int DrawFreeCellFrames();
