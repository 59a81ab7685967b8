// The browser page's still: the card's frame drawn by its own code with its
// assets and name, offscreen on Mesa's software renderer, written as a JPEG
// that the page shows wherever the card cannot move.
// Usage: card_still CARD_FOLDER OUTPUT.jpg (the folder holds assets/ and name)
#include "card.h"
#include "window.h"

#include <GL/osmesa.h>
#include <cstdio>
#include <unistd.h>
#include <vector>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

static const int WIDTH = 640, HEIGHT = 480, JPEG_QUALITY = 85;

bool window_swap(app_state *)
{
    glFinish();
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 3 || chdir(argv[1]) != 0) {
        fprintf(stderr, "usage: card_still CARD_FOLDER OUTPUT.jpg (the folder with assets/ and name)\n");
        return 1;
    }
    std::vector<unsigned char> frame((size_t)WIDTH * HEIGHT * 4);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    if (!context || !OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, WIDTH, HEIGHT)) {
        fprintf(stderr, "card_still: no offscreen GL context\n");
        return 1;
    }
    OSMesaPixelStore(OSMESA_Y_UP, 0);  // rows top first, as the JPEG wants them
    static app_state app;
    gl_setup(&app);
    window_advance_pulse(&app);  // the card's first idle frame
    gl_loop(&app);
    std::vector<unsigned char> rgb;
    for (size_t i = 0; i < frame.size(); i += 4)
        rgb.insert(rgb.end(), &frame[i], &frame[i + 3]);
    OSMesaDestroyContext(context);
    if (!stbi_write_jpg(argv[2], WIDTH, HEIGHT, 3, rgb.data(), JPEG_QUALITY)) {
        fprintf(stderr, "%s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
