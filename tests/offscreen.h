// A real GL 1.1 renderer without a display: an OSMesa context drawing into
// memory, a window_swap that finishes the frame, and frame read-back.
#pragma once

#include "scratch.h"

#include <string>

// Makes a 640 x 480 (or given size) RGBA context current; false if OSMesa fails.
bool offscreen_open(int width, int height);
void offscreen_close();
// The finished frame as RGB, top row first.
test_image offscreen_frame();
// Writes the frame under the build tree's frames/ folder for people to look at.
void save_frame(const test_image &frame, const std::string &name);

struct rgb {
    int r, g, b;
};
rgb pixel_at(const test_image &frame, int x, int y);
