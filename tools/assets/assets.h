// The card's asset generator: the glyph atlas, the winter picture and the
// carol, each made from scratch and written deterministically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct rgba_image {
    int width, height;
    std::vector<unsigned char> pixels;  // 4 bytes a texel, rows top first
};

// 512 x 512: 16 x 16 cells of 32 x 32 texels, white glyphs whose shape is in
// the alpha channel, rendered from the TrueType font given as bytes.
rgba_image make_font_atlas(const std::vector<unsigned char> &font_file);
// The cell (row * 16 + column) that the card draws for a byte of a name.
int atlas_cell_of_byte(int byte);
// The Unicode character whose glyph a byte's cell holds, 0 for an empty cell.
uint32_t atlas_character(int byte);
// One character's glyph as it sits in its cell: 32 x 32 alpha values, rows
// top first.
std::vector<unsigned char> glyph_cell_alpha(const std::vector<unsigned char> &font_file, uint32_t character);

// The winter scene, 640 x 480, with a transparent sky.
rgba_image make_winter_scene();

// The carol as 16-bit mono samples at CAROL_RATE.
const int CAROL_RATE = 22050;
std::vector<int16_t> make_carol();

// What the card relies on in each asset (check_assets.cpp); false after
// saying what is wrong.
bool check_atlas(const rgba_image &atlas);
bool check_scene(const rgba_image &scene);
bool check_carol(const std::vector<int16_t> &samples);

// A small deterministic random source (xorshift), the same on every build.
struct random_source {
    uint64_t state;
    double next();  // uniform in [0, 1)
};
