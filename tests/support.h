// What the tests share: pictures made in memory, and the files the card
// reads written into a fresh working folder (it finds them relative to it).
#pragma once

#include <string>
#include <vector>

struct test_image {
    int width, height, channels;
    std::vector<unsigned char> pixels;  // rows top first, tightly packed
};
test_image make_image(int width, int height, int channels, unsigned char fill);
bool write_png(const std::string &path, const test_image &image);
bool write_bytes(const std::string &path, const std::string &bytes);
std::string read_bytes(const std::string &path);

// Enters an empty folder of that name (with assets/) under the build tree.
void enter_fresh_folder(const std::string &name);
// The test data's assets (tests/data/card) and a name file of these bytes.
void write_card_files(const std::string &name);
