// Small pictures and a short tune that tests draw and play with, and the
// writers that put them on disk. No test framework needed here, so the
// end-to-end fixture program can use them too.
#pragma once

#include <string>
#include <vector>

struct test_image {
    int width, height, channels;
    std::vector<unsigned char> pixels;  // rows top first, tightly packed
};

test_image make_image(int width, int height, int channels, unsigned char fill);
// 512 x 512 RGBA atlas: every printable cell holds an opaque white block
// (texels 8 to 23 of its 32), everything else is transparent.
test_image make_atlas();
// RGBA picture: the top half transparent, the bottom half opaque dark blue.
test_image make_background(int width, int height);
// Half a second of a 16-bit mono 22,050 Hz tone, as little-endian samples.
std::string make_tune_samples();

bool write_png(const std::string &path, const test_image &image);
bool write_bytes(const std::string &path, const std::string &bytes);
// A canonical 44-byte-header PCM WAV file around the samples.
bool write_wav(const std::string &path, const std::string &samples, int rate, int channels);
