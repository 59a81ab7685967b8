// The browser card's video frames in the form its encoder takes (video_frame_web.cpp).
#pragma once
#include "card.h"

// A frame of WIDTH x HEIGHT (both even, the width a multiple of 8) made of
// LAYER (the card's picture and text, premultiplied, as big as the frame)
// over the PULSE's colour, as I420 in BT.601's limited range: the Y plane,
// then U, then V, rows top first, WIDTH * HEIGHT * 3 / 2 bytes, which stay
// until the next call. Null where the browser cannot run the shaders or
// render to a texture. The viewport is left as the passes set it.
const unsigned char *video_frame_planes(GLuint layer, card_colour pulse, int width, int height);
