// What the three window layers (SDL, Win32, browser) share: the window's
// caption and rectangle, the requested pixel format, the loop's pace and
// pulse, when the music starts, and the failure texts.
#pragma once

#include "card.h"

#include <cmath>
#include <cstdint>

static const char CARD_CAPTION[] = "HAPPY HOLIDAYS";
static const int CARD_WINDOW_X = 0, CARD_WINDOW_Y = 0;
static const int CARD_WINDOW_WIDTH = 640, CARD_WINDOW_HEIGHT = 480;  // outer size

// The pixel-format request, as the record keeps it: double-buffered RGBA.
static const uint32_t CARD_PFD_DOUBLEBUFFER = 1;
static const uint8_t CARD_PFD_TYPE_RGBA = 0;

// After each idle frame the loop sleeps this long; the animation advances
// by one phase step per idle frame, so its speed follows the frame rate.
static const unsigned CARD_IDLE_PAUSE_MS = 16;
static const double CARD_PHASE_STEP = 0.01;

// One idle frame's step of the pulse; the clear colour follows the pulse.
inline void window_advance_pulse(app_state *app)
{
    app->phase += CARD_PHASE_STEP;
    app->pulse = sin(app->phase) * 0.5;
}

// The music starts once, after the first idle frame: the card is on screen
// before the tune begins. Asked after each idle frame, this is true only
// while the flag is still set, and it clears the flag.
inline bool window_music_due(bool *first_idle_frame)
{
    bool due = *first_idle_frame;
    *first_idle_frame = false;
    return due;
}

// Shown in a message box captioned "Error" when the window cannot be made.
static const char CARD_REGISTER_FAILED[] = "RegisterClass() failed:  Cannot register window class.";
static const char CARD_CREATE_FAILED[] = "CreateWindow() failed:  Cannot create a window.";
static const char CARD_CHOOSE_FAILED[] = "ChoosePixelFormat() failed:  Cannot find a suitable pixel format.";
static const char CARD_SET_FAILED[] = "SetPixelFormat() failed:  Cannot set format specified.";

// One logical-palette entry of the colour ramp for an RGBA format that
// works through a palette: each channel's bits of the index, scaled to
// 0..255. A channel with no bits is 0.
struct palette_colour {
    uint8_t red, green, blue;
};
struct channel_layout {
    uint8_t bits, shift;
};
palette_colour palette_ramp_entry(unsigned index, channel_layout red, channel_layout green,
                                  channel_layout blue);
