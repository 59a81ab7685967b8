#include "support.h"
#include "card.h"

#include <GL/osmesa.h>

static OSMesaContext context;
static std::vector<unsigned char> buffer;
static int buffer_width, buffer_height;

bool offscreen_open(int width, int height)
{
    // No depth, stencil or accumulation buffer, as the card's window asks.
    context = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    buffer.assign((size_t)width * height * 4, 0);
    buffer_width = width, buffer_height = height;
    return context && OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height);
}

void offscreen_close() { OSMesaDestroyContext(context); }

bool window_swap(app_state *) { glFinish(); return true; }

test_image offscreen_frame()
{
    test_image frame = make_image(buffer_width, buffer_height, 3, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    size_t stride = (size_t)buffer_width * 3;
    for (int y = 0; y < buffer_height; y++)  // GL's rows run bottom first
        glReadPixels(0, buffer_height - 1 - y, buffer_width, 1, GL_RGB, GL_UNSIGNED_BYTE, &frame.pixels[y * stride]);
    return frame;
}
