// The committed assets keep the contracts the card relies on: the atlas
// layout, a picture whose sky lets the colour through and whose lettering
// areas stay dark enough for white text, and a tune every player can play.
#include "card.h"

#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stb_image.h>

namespace {

std::string asset(const char *name)
{
    return std::string(CARD_SOURCE_DIR) + "/assets/" + name;
}

struct decoded {
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
};

decoded decode(const std::string &path)
{
    decoded image;
    unsigned char *p = stbi_load(path.c_str(), &image.width, &image.height, &image.channels, 0);
    EXPECT_NE(p, nullptr) << path;
    if (p)
        image.pixels.assign(p, p + (size_t)image.width * image.height * image.channels);
    stbi_image_free(p);
    return image;
}

const unsigned char *texel(const decoded &image, int x, int y)
{
    return &image.pixels[((size_t)y * image.width + x) * image.channels];
}

struct cell_coverage {
    int max_alpha = 0, border_alpha = 0, non_white = 0, rows = 0;
};

cell_coverage measure_cell(const decoded &atlas, int code)
{
    cell_coverage c;
    int x0 = code % 16 * 32, y0 = code / 16 * 32;
    for (int y = 0; y < 32; y++) {
        bool inked = false;
        for (int x = 0; x < 32; x++) {
            const unsigned char *t = texel(atlas, x0 + x, y0 + y);
            c.max_alpha = std::max(c.max_alpha, (int)t[3]);
            if (x == 0 || y == 0 || x == 31 || y == 31)
                c.border_alpha = std::max(c.border_alpha, (int)t[3]);
            if (t[3] > 0 && (t[0] != 255 || t[1] != 255 || t[2] != 255))
                c.non_white++;
            inked = inked || t[3] >= 128;
        }
        c.rows += inked;
    }
    return c;
}

TEST(Assets, AtlasHasWhiteGlyphsInTheirCells)
{
    decoded atlas = decode(asset("font.png"));
    ASSERT_EQ(atlas.width, 512);
    ASSERT_EQ(atlas.height, 512);
    ASSERT_EQ(atlas.channels, 4);
    for (int code = 0; code < 256; code++) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        cell_coverage c = measure_cell(atlas, code);
        bool printable = code > ' ' && code < 127;
        if (!printable) {
            // Control codes, the space, 127 and the upper half draw nothing.
            EXPECT_EQ(c.max_alpha, 0);
            continue;
        }
        EXPECT_EQ(c.max_alpha, 255);
        EXPECT_EQ(c.border_alpha, 0);
        EXPECT_EQ(c.non_white, 0);
    }
    // Capitals stand at least 18 texels tall: 27 pixels on a 480-line window.
    EXPECT_GE(measure_cell(atlas, 'H').rows, 18);
    EXPECT_GE(measure_cell(atlas, 'E').rows, 18);
}

// Relative luminance of an sRGB colour given in 0..1.
double luminance(double r, double g, double b)
{
    auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

// White text against the brightest tenth of a region, with the picture
// blended over the clear colour as the card blends it.
double contrast_of_white(const decoded &picture, double left, double top, double right, double bottom,
                         const double clear[3])
{
    std::vector<double> values;
    double sx = picture.width / 640.0, sy = picture.height / 480.0;
    for (int y = (int)(top * sy); y < (int)(bottom * sy); y++)
        for (int x = (int)(left * sx); x < (int)(right * sx); x++) {
            const unsigned char *p = texel(picture, x, y);
            double a = p[3] / 255.0, rgb[3];
            for (int c = 0; c < 3; c++)
                rgb[c] = p[c] / 255.0 * a + clear[c] * (1 - a);
            values.push_back(luminance(rgb[0], rgb[1], rgb[2]));
        }
    std::sort(values.begin(), values.end());
    double bright = values[values.size() * 9 / 10];
    return 1.05 / (bright + 0.05);
}

TEST(Assets, PictureGlowsThroughItsSkyAndKeepsTheLetteringReadable)
{
    decoded picture = decode(asset("tormbriskchristmas.png"));
    decoded atlas = decode(asset("font.png"));
    ASSERT_EQ(picture.channels, atlas.channels);
    ASSERT_GE(picture.width, 640);
    ASSERT_EQ(picture.width * 3, picture.height * 4);

    size_t clear = 0, solid = 0, total = (size_t)picture.width * picture.height;
    for (size_t i = 0; i < total; i++) {
        clear += picture.pixels[i * 4 + 3] == 0;
        solid += picture.pixels[i * 4 + 3] == 255;
    }
    EXPECT_GT(clear, total / 20) << "too little fully transparent sky";
    EXPECT_GT(solid, total / 3) << "too little fully opaque ground";

    // The pulse's extremes and middle: pure red, half red, dark green.
    const double pulses[3][3] = {{1, 0, 0}, {0.5, 0, 0}, {0, 0.5, 0}};
    for (const auto &colour : pulses) {
        SCOPED_TRACE(testing::Message() << "clear colour " << colour[0] << "," << colour[1]);
        // The greeting's lines (rows 12 to 166) and the name's first two (276 to 377).
        EXPECT_GE(contrast_of_white(picture, 32, 12, 526, 166, colour), 3.0);
        EXPECT_GE(contrast_of_white(picture, 32, 276, 596, 377, colour), 4.5);
    }
}

uint32_t le(const std::string &bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; i--)
        value = value << 8 | (unsigned char)bytes[at + i];
    return value;
}

TEST(Assets, TuneIsPlainPcmOfTheRightLengthAndLevel)
{
    std::ifstream in(asset("ha_xmas.wav"), std::ios::binary);
    std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(wav.size(), 44u);
    EXPECT_LT(wav.size(), 3000000u);
    ASSERT_EQ(wav.substr(0, 4), "RIFF");
    ASSERT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(le(wav, 20, 2), 1u) << "not PCM";
    uint32_t channels = le(wav, 22, 2), rate = le(wav, 24, 4), bits = le(wav, 34, 2);
    EXPECT_TRUE(rate == 22050 || rate == 44100) << rate;
    ASSERT_EQ(bits, 16u);
    ASSERT_EQ(wav.substr(36, 4), "data");
    uint32_t data = le(wav, 40, 4);
    ASSERT_EQ(data, wav.size() - 44);

    size_t count = data / 2;
    double seconds = (double)count / channels / rate;
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 40.0);
    int peak = 0;
    for (size_t i = 0; i < count; i++)
        peak = std::max(peak, std::abs((int16_t)le(wav, 44 + 2 * i, 2)));
    double peak_db = 20 * log10(peak / 32768.0);
    EXPECT_NEAR(peak_db, -3.0, 0.5);
    // It starts and ends at silence, so neither end clicks.
    EXPECT_LT(std::abs((int16_t)le(wav, 44, 2)), 64);
    EXPECT_LT(std::abs((int16_t)le(wav, 44 + 2 * (count - 1), 2)), 64);

    // And SDL's own loader takes it as it is.
    SDL_AudioSpec spec;
    Uint8 *buffer = nullptr;
    Uint32 length = 0;
    ASSERT_NE(SDL_LoadWAV(asset("ha_xmas.wav").c_str(), &spec, &buffer, &length), nullptr) << SDL_GetError();
    EXPECT_EQ(length, data);
    EXPECT_EQ(spec.format, AUDIO_S16LSB);
    SDL_FreeWAV(buffer);
}

}  // namespace
