// Test helpers: a fresh working directory per test (the card reads assets/
// and name relative to it) and the small images the tests draw with.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct test_image {
    int width, height, channels;
    std::vector<unsigned char> pixels;  // rows top first, tightly packed
};

// Enters a new, empty directory named after the running test under the
// build tree, and goes back on destruction.
struct scratch_dir {
    std::filesystem::path previous;
    std::filesystem::path path;
    scratch_dir();
    ~scratch_dir();
};

test_image make_image(int width, int height, int channels, unsigned char fill);
void write_png(const std::string &path, const test_image &image);
void write_bytes(const std::string &path, const std::string &bytes);

// 512 x 512 RGBA atlas: every printable cell holds an opaque white block
// (texels 8 to 23 of its 32), everything else is transparent.
test_image make_atlas();
// RGBA picture: the top half transparent, the bottom half opaque dark blue.
test_image make_background(int width, int height);
// Writes the atlas, the background and a name file into ./assets and ./name.
void write_card_files(const std::string &name);
