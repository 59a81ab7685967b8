// The browser card's frame with its text composed once (text_layer_web.cpp).
#pragma once
#include "card.h"

// The pulse's clear, the picture and the text as a layer (text_layer_draw),
// then window_swap. The layer is drawn again only when the name or the
// viewport's size changed.
void text_layer_draw(app_state *app);
bool text_layer_frame(app_state *app);
