#include "offscreen.h"
#include "card.h"

#include <GL/osmesa.h>
#include <gtest/gtest.h>

static OSMesaContext context;
static std::vector<unsigned char> buffer;
static int buffer_width, buffer_height;

bool offscreen_open(int width, int height)
{
    // No depth, stencil or accumulation buffer, as the card's window asks.
    context = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    if (!context)
        return false;
    buffer.assign((size_t)width * height * 4, 0);
    buffer_width = width, buffer_height = height;
    return OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height);
}

void offscreen_close()
{
    if (context)
        OSMesaDestroyContext(context);
    context = nullptr;
}

bool window_swap(app_state *)
{
    glFinish();
    return true;
}

test_image offscreen_frame()
{
    test_image frame = make_image(buffer_width, buffer_height, 3, 0);
    std::vector<unsigned char> rows((size_t)buffer_width * buffer_height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, buffer_width, buffer_height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    size_t stride = (size_t)buffer_width * 3;
    for (int y = 0; y < buffer_height; y++)  // GL's rows run bottom first
        std::copy_n(&rows[(buffer_height - 1 - y) * stride], stride, &frame.pixels[y * stride]);
    return frame;
}

void save_frame(const test_image &frame, const std::string &name)
{
    std::filesystem::create_directories(CARD_TEST_FRAMES_DIR);
    std::string path = std::string(CARD_TEST_FRAMES_DIR) + "/" + name + ".png";
    EXPECT_TRUE(write_png(path, frame)) << path;
}

rgb pixel_at(const test_image &frame, int x, int y)
{
    const unsigned char *p = &frame.pixels[((size_t)y * frame.width + x) * 3];
    return rgb{p[0], p[1], p[2]};
}
