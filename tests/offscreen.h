// A real GL 1.1 renderer without a display: an OSMesa context drawing into
// memory, a window_swap that finishes the frame, and the frame read back.
#pragma once

#include "support.h"

bool offscreen_open(int width, int height);  // makes the context current
void offscreen_close();
test_image offscreen_frame();  // RGB, top row first
