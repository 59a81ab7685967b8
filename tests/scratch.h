// A fresh working directory per test (the card reads assets/ and name
// relative to it) and gtest-checked writers for the files the card reads.
#pragma once

#include "test_images.h"

#include <filesystem>

// Enters a new, empty directory named after the running test under the
// build tree, and goes back on destruction.
struct scratch_dir {
    std::filesystem::path previous;
    std::filesystem::path path;
    scratch_dir();
    ~scratch_dir();
};

void write_png_checked(const std::string &path, const test_image &image);
void write_bytes_checked(const std::string &path, const std::string &bytes);
// Writes the test atlas, a 64 x 48 background and a name file.
void write_card_files(const std::string &name);
