// The browser card's frame with its picture and text composed once (text_layer_web.cpp).
#pragma once
#include "card.h"

// The pulse's clear, and the picture and the text as a layer, into the
// canvas's drawing buffer, whose viewport is WIDTH x HEIGHT. The layer is
// drawn again only when the name or that size changed.
void text_layer_draw(app_state *app, int width, int height);
// The layer for a viewport of WIDTH x HEIGHT (composed again where the name
// or that size changed): its texture, premultiplied, or 0 where the browser
// cannot render to one.
GLuint text_layer_ready(app_state *app, int width, int height);
// The live card's frame: text_layer_draw into the canvas, then window_swap.
bool text_layer_frame(app_state *app);
