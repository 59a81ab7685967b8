// Whole frames drawn by a real GL 1.1 renderer (OSMesa) at 640 x 480, read back and saved under frames/
// in the build tree: what a person would see. Point (x, y) of the card is pixel ((x + 1) * 320, (1 - y) * 240);
// the test atlas draws glyphs as white blocks mid-cell, the test picture is clear above and dark blue below.
#include "assets.h"
#include "card.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iconv.h>
#include <stb_image.h>

using namespace testing::internal;  // CaptureStderr and friends

namespace {

struct rgb { int r, g, b; };
const rgb WHITE = {255, 255, 255}, GROUND = {10, 20, 80}, DARK = {-1, 0, 0}, SKY = {-2, 0, 0};  // DARK: under a tenth of white
struct point { int x, y; rgb colour; };

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

// Before setup the frame has no textures, no blending and no name: an opaque white quad, every shadow copy
// an opaque black box under a white one, and the name's null text never read (the points: the sky; inside
// the 'H' box, from (32, 12), but outside its glyph; the rims left of and above the box; where the name
// would be). After setup the pulse glows through the sky; the picture is sampled texel by texel (no blending
// across the row where it turns opaque); the greeting and the name are white with dark rims; the name's
// last byte, 0xC1, reaches its cell only through the repeat wrap.
TEST(Render, FirstPaintThenTheCardAtThreePulses)
{
    ASSERT_TRUE(offscreen_open(640, 480));
    app_state app = {};
    expect_frame(&app, 0.0, "first_paint", {{630, 5, WHITE}, {34, 20, WHITE}, {30, 36, DARK}, {48, 10, DARK}, {48, 300, WHITE}});
    enter_card_folder("render", "AB\xC1");
    CaptureStdout();
    gl_setup(&app);
    EXPECT_EQ(GetCapturedStdout(), "loaded 64x48x4 image\n");
    const std::vector<point> points = {
        {630, 5, SKY},   {48, 62, SKY},   {5, 36, SKY},     // the sky, between the lines, left of the text
        {48, 36, WHITE}, {48, 89, WHITE}, {48, 142, WHITE},  // the first glyph of each line of the greeting
        {38, 36, DARK},  {48, 22, DARK}, {630, 470, GROUND}, {630, 242, GROUND},  // its shadow; the ground
        {48, 300, WHITE}, {83, 300, WHITE}, {118, 300, WHITE}, {38, 300, DARK}, {150, 300, GROUND}};  // the name
    expect_frame(&app, -0.5, "pulse_red", points, {255, 0, 0});
    expect_frame(&app, 0.0, "pulse_half_red", points, {128, 0, 0});
    expect_frame(&app, 0.5, "pulse_dark_green", points, {0, 128, 0});
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text);
    offscreen_close();
}

// Each byte, drawn by the card from the shipped atlas into a box of exactly 32 x 32 pixels over black (the
// shadow black on black), shows the glyph of its Windows-1252 character (decoded by iconv) rendered from the
// font on its own. Blank: tab, LF, CR, the spaces, DEL, the undefined bytes, and the three letters whose
// cells are those of tab, LF and CR.
TEST(Render, EveryByteDrawsTheGlyphOfItsWindows1252Character)
{
    ASSERT_TRUE(offscreen_open(640, 320));
    enter_card_folder("atlas", "");
    std::filesystem::copy_file(CARD_SOURCE_DIR "/assets/font.png", "assets/font.png", std::filesystem::copy_options::overwrite_existing);
    app_state app = {};
    gl_setup(&app);
    std::string font = read_bytes(CARD_FONT_FILE);
    ASSERT_FALSE(font.empty()) << CARD_FONT_FILE;
    const std::string blank("\t\n\r \x7f\x81\x8d\x8f\x90\x9d\xa0\xf9\xfa\xfd");
    iconv_t decoder = iconv_open("UTF-32LE", "CP1252");
    for (int byte = 9; byte < 256; byte++) {
        if (byte < ' ' && blank.find((char)byte) == std::string::npos)
            continue;  // the other control codes' cells hold letters of bytes above 0xF0
        char text = (char)byte, *in = &text, *out;
        uint32_t character = 0;
        size_t in_left = 1, out_left = 4;
        iconv(decoder, &in, &in_left, &(out = (char *)&character), &out_left);
        std::vector<unsigned char> want = blank.find(text) == std::string::npos
            ? glyph_cell_alpha({font.begin(), font.end()}, character) : std::vector<unsigned char>(32 * 32, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, app.font_texture);
        glBegin(GL_QUADS);
        gl_draw_str(-0.1, &text, 1);  // the box: pixels x 32 to 63, y 144 to 175
        glEnd();
        test_image frame = offscreen_frame();
        int wrong = 0;
        for (int i = 0; i < 32 * 32; i++)
            wrong += abs(frame.pixels[((144 + i / 32) * 640 + 32 + i % 32) * 3] - want[i]) > 2;
        EXPECT_EQ(wrong, 0) << "byte " << byte << " (U+" << std::hex << character << ")";
    }
    iconv_close(decoder);
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels);
    offscreen_close();
}

}  // namespace
