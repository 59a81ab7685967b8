// The browser card's video frames in the form its encoder takes (video_frame_web.cpp).
#pragma once
#include <GL/gl.h>

// A framebuffer of WIDTH x HEIGHT (both even, the width a multiple of 8)
// to draw the video's next frame into; 0 where the browser cannot run the
// conversion's shader or render to a texture.
GLuint video_frame_target(int width, int height);
// The frame drawn into the target, as I420 in BT.601's limited range: the
// Y plane, then U, then V, rows top first, WIDTH * HEIGHT * 3 / 2 bytes,
// which stay until the next call. The viewport is left as the passes set it.
const unsigned char *video_frame_planes(int width, int height);
