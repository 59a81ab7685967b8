// Whole frames drawn by a real GL 1.1 renderer (OSMesa) at 640 x 480, read
// back and saved under frames/ in the build tree: what a person would see.
// Point (x, y) of the card is pixel ((x + 1) * 320, (1 - y) * 240); the test
// atlas draws glyphs as white blocks mid-cell, the test picture is clear
// above and dark blue below.
#include "card.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stb_image.h>

using namespace testing::internal;  // CaptureStderr and friends

namespace {

struct rgb {
    int r, g, b;
};
const rgb WHITE = {255, 255, 255}, GROUND = {10, 20, 80}, DARK = {-1, 0, 0}, SKY = {-2, 0, 0};  // DARK: under a tenth of white
struct point {
    int x, y;
    rgb colour;
};

// Draws a frame, saves it, and compares it with what is expected at each point.
void expect_frame(app_state *app, double pulse, const char *name, const std::vector<point> &points, rgb sky = {})
{
    app->pulse = pulse;
    CaptureStderr();
    gl_loop(app);
    EXPECT_EQ(GetCapturedStderr(), "") << "GL errors while drawing";
    test_image frame = offscreen_frame();
    std::filesystem::create_directories(CARD_TEST_FRAMES_DIR);
    write_png(std::string(CARD_TEST_FRAMES_DIR) + "/" + name + ".png", frame);
    for (point p : points) {
        const unsigned char *got = &frame.pixels[((size_t)p.y * frame.width + p.x) * 3];
        rgb want = p.colour.r == SKY.r ? sky : p.colour;
        bool near = abs(got[0] - want.r) <= 2 && abs(got[1] - want.g) <= 2 && abs(got[2] - want.b) <= 2;
        EXPECT_TRUE(want.r == DARK.r ? got[0] + got[1] + got[2] < 60 : near)
            << name << ": pixel (" << p.x << ", " << p.y << ") is (" << +got[0] << ", " << +got[1] << ", " << +got[2] << ")";
    }
}

// Before setup the frame has no textures, no blending and no name: an opaque
// white quad, every shadow copy an opaque black box under a white one, and
// the name's null text never read (the points: the sky; inside the 'H' box,
// from (32, 12), but outside its glyph; the rims left of and above the box;
// where the name would be). After setup the pulse glows through the sky; the
// picture is sampled texel by texel (no blending across the row where it
// turns opaque); the greeting and the name are white with dark rims; the
// name's last byte, 0xC1, reaches its cell only through the repeat wrap.
TEST(Render, FirstPaintThenTheCardAtThreePulses)
{
    ASSERT_TRUE(offscreen_open(640, 480));
    app_state app = {};
    expect_frame(&app, 0.0, "first_paint", {{630, 5, WHITE}, {34, 20, WHITE}, {30, 36, DARK}, {48, 10, DARK}, {48, 300, WHITE}});
    enter_fresh_folder("render");
    write_card_files("AB\xC1");
    CaptureStdout();
    gl_setup(&app);
    EXPECT_EQ(GetCapturedStdout(), "loaded 64x48x4 image\n");
    const std::vector<point> points = {
        {630, 5, SKY},   {48, 62, SKY},   {5, 36, SKY},     // the sky, between the lines, left of the text
        {630, 470, GROUND}, {630, 242, GROUND},
        {48, 36, WHITE}, {48, 89, WHITE}, {48, 142, WHITE},  // the first glyph of each line of the greeting
        {38, 36, DARK},  {48, 22, DARK},                    // its shadow
        {48, 300, WHITE}, {83, 300, WHITE}, {118, 300, WHITE}, {38, 300, DARK}, {150, 300, GROUND}};  // the name
    expect_frame(&app, -0.5, "pulse_red", points, {255, 0, 0});
    expect_frame(&app, 0.0, "pulse_half_red", points, {128, 0, 0});
    expect_frame(&app, 0.5, "pulse_dark_green", points, {0, 128, 0});
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text);
    offscreen_close();
}

}  // namespace
