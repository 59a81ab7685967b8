// Whole frames rendered by a real GL 1.1 renderer (OSMesa) at 640 x 480 and
// read back: what a person would see. Frames are saved under frames/ in the
// build tree. Pixel positions follow from the layout: x_px = (x + 1) * 320,
// y_px = (1 - y) * 240; the test atlas draws each printable glyph as a block
// over the middle half of its cell.
#include "card.h"
#include "offscreen.h"

#include <cmath>
#include <gtest/gtest.h>
#include <stb_image.h>

namespace {

const rgb WHITE = {255, 255, 255}, RED = {255, 0, 0}, SKY_BLUE = {10, 20, 80};

void expect_colour(const test_image &frame, int x, int y, rgb expected, int tolerance = 2)
{
    rgb got = pixel_at(frame, x, y);
    EXPECT_TRUE(std::abs(got.r - expected.r) <= tolerance && std::abs(got.g - expected.g) <= tolerance &&
                std::abs(got.b - expected.b) <= tolerance)
        << "pixel (" << x << ", " << y << ") is (" << got.r << ", " << got.g << ", " << got.b
        << "), expected (" << expected.r << ", " << expected.g << ", " << expected.b << ")";
}

void expect_dark(const test_image &frame, int x, int y)
{
    rgb got = pixel_at(frame, x, y);
    EXPECT_LT(got.r + got.g + got.b, 60) << "pixel (" << x << ", " << y << ")";
}

struct Render : testing::Test {
    scratch_dir dir;
    app_state app = {};
    std::string setup_out, setup_err;

    void SetUp() override { ASSERT_TRUE(offscreen_open(640, 480)); }
    void TearDown() override
    {
        stbi_image_free(app.background_pixels);
        stbi_image_free(app.font_pixels);
        free(app.name_text);
        offscreen_close();
    }
    void setup()
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        gl_setup(&app);
        setup_out = testing::internal::GetCapturedStdout();
        setup_err = testing::internal::GetCapturedStderr();
    }
    test_image frame(double pulse, const std::string &name)
    {
        app.pulse = pulse;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(gl_loop(&app));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "GL errors while drawing";
        test_image image = offscreen_frame();
        save_frame(image, name);
        return image;
    }
};

TEST_F(Render, PulseColourGlowsThroughTheTransparentSky)
{
    write_card_files("");
    setup();
    EXPECT_EQ(setup_err, "");
    EXPECT_EQ(setup_out, "loaded 64x48x4 image\n");
    const struct {
        double pulse;
        rgb sky;
        const char *name;
    } cases[] = {
        {-0.5, {255, 0, 0}, "pulse_red"},
        {0.0, {128, 0, 0}, "pulse_half_red"},
        {0.5, {0, 128, 0}, "pulse_dark_green"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test_image image = frame(c.pulse, c.name);
        expect_colour(image, 630, 5, c.sky);          // transparent top half
        expect_colour(image, 630, 470, SKY_BLUE);     // opaque bottom half
    }
}

TEST_F(Render, GreetingIsWhiteWithDarkRimsOnThreeLines)
{
    write_card_files("");
    setup();
    test_image image = frame(-0.5, "greeting");
    expect_colour(image, 48, 36, WHITE);   // 'H', first line
    expect_colour(image, 48, 89, WHITE);   // 'A', second line
    expect_colour(image, 48, 142, WHITE);  // 'N', third line
    expect_dark(image, 38, 36);            // just left of the 'H'
    expect_dark(image, 48, 22);            // just above it
    expect_colour(image, 48, 62, RED);     // between the first two lines
    expect_colour(image, 5, 36, RED);      // left of the text
    expect_colour(image, 48, 300, SKY_BLUE);  // no name
}

TEST_F(Render, NameStandsUnderTheGreeting)
{
    write_card_files("AB");
    setup();
    test_image image = frame(-0.5, "name");
    expect_colour(image, 48, 300, WHITE);  // 'A' from baseline -0.35
    expect_colour(image, 83, 300, WHITE);  // 'B'
    expect_dark(image, 38, 300);
    expect_colour(image, 120, 300, SKY_BLUE);
}

// Before setup: no texturing and no blending, so the background is an opaque
// white quad and every shadow copy an opaque black box under a white one.
TEST_F(Render, FirstFrameBeforeSetupIsWhiteWithBlackRimmedBoxes)
{
    test_image image = frame(0.0, "first_frame");
    expect_colour(image, 630, 5, WHITE);
    expect_colour(image, 34, 20, WHITE);   // inside the 'H' box, outside its glyph
    expect_dark(image, 30, 36);            // the rim left of the box (box starts at x 32)
    expect_dark(image, 48, 10);            // the rim above it (box starts at y 12)
    expect_colour(image, 48, 300, WHITE);  // no name drawn
}

struct bad_file_case {
    const char *label;
    const char *path;
    int x, y;    // a pixel that shows what is missing
    rgb colour;  // what it shows
};

const bad_file_case bad_file_cases[] = {
    // Without its texture the background is an untextured white quad.
    {"missing_background", CARD_BACKGROUND_PATH, 630, 470, WHITE},
    // Without the atlas each glyph is a white box over its whole cell.
    {"missing_atlas", CARD_FONT_PATH, 34, 20, WHITE},
    {"missing_name", CARD_NAME_PATH, 48, 300, SKY_BLUE},
};

TEST_F(Render, CardStillDrawsWhenAFileIsMissing)
{
    for (const bad_file_case &c : bad_file_cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        app = {};
        SetUp();
        write_card_files("AB");
        std::filesystem::remove(c.path);
        setup();
        EXPECT_EQ(std::count(setup_err.begin(), setup_err.end(), '\n'), 1) << setup_err;
        test_image image = frame(-0.5, c.label);
        expect_colour(image, c.x, c.y, c.colour);
        expect_colour(image, 48, 36, WHITE);  // the greeting is always there
    }
}

// Pictures of 1 to 4 channels, 3 texels wide (rows not a multiple of four
// bytes), sampled at each texel's centre. The atlas is fully transparent so
// no text hides them. Texel (1, 1) is transparent where there is alpha.
TEST_F(Render, PicturesOfEveryChannelCountShowTheirOwnTexels)
{
    for (int channels = 1; channels <= 4; channels++) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        TearDown();
        app = {};
        SetUp();
        test_image picture = make_image(3, 3, channels, 0);
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++)
                for (int c = 0; c < channels; c++) {
                    bool alpha = (channels == 2 && c == 1) || (channels == 4 && c == 3);
                    unsigned char value = alpha ? (i == 1 && j == 1 ? 0 : 255) : 40 + 60 * i + 20 * j + 5 * c;
                    picture.pixels[(j * 3 + i) * channels + c] = value;
                }
        write_png_checked("assets/tormbriskchristmas.png", picture);
        write_png_checked("assets/font.png", make_image(512, 512, 4, 0));
        write_bytes_checked("name", "");
        setup();
        EXPECT_EQ(setup_err, "");
        EXPECT_EQ(setup_out, "loaded 3x3x" + std::to_string(channels) + " image\n");
        test_image image = frame(-0.5, "channels_" + std::to_string(channels));
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++) {
                int v = 40 + 60 * i + 20 * j;
                rgb expected = channels < 3 ? rgb{v, v, v} : rgb{v, v + 5, v + 10};
                if (i == 1 && j == 1 && (channels == 2 || channels == 4))
                    expected = RED;
                expect_colour(image, (2 * i + 1) * 640 / 6, (2 * j + 1) * 480 / 6, expected);
            }
    }
}

}  // namespace

namespace {

// The card as shipped: the repository's own assets and name, at three
// points of the pulse. These frames are the card's screenshots.
TEST_F(Render, ShippedCardAtThreePulses)
{
    namespace fs = std::filesystem;
    fs::copy(fs::path(CARD_SOURCE_DIR) / "assets", "assets", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::copy_file(fs::path(CARD_SOURCE_DIR) / "name", "name");
    setup();
    EXPECT_EQ(setup_err, "");
    const double pulses[] = {-0.5, 0.0, 0.5};
    const char *names[] = {"card_red", "card_half_red", "card_dark_green"};
    for (int i = 0; i < 3; i++) {
        test_image image = frame(pulses[i], names[i]);
        // The greeting's first glyph box: white strokes with dark rims.
        int white = 0, dark = 0;
        for (int y = 12; y < 60; y++)
            for (int x = 32; x < 64; x++) {
                rgb p = pixel_at(image, x, y);
                white += p.r > 240 && p.g > 240 && p.b > 240;
                dark += p.r + p.g + p.b < 60;
            }
        EXPECT_GT(white, 32 * 48 / 6) << names[i];
        EXPECT_GT(dark, 32 * 48 / 10) << names[i];
    }
}

}  // namespace
