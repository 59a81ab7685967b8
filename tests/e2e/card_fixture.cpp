// Writes a working directory for one end-to-end run of the card: the test
// atlas and background, a half-second tune, a name file, and tune.raw (the
// tune's samples alone, to compare with what the card plays).
//   card_fixture DIR                      all of the above
//   card_fixture --grey-background DIR    replaces the picture with a 1-channel one, 13 texels wide
//   card_fixture --grey-alpha-atlas DIR   replaces the atlas with a 2-channel (grey, alpha) one
#include "test_images.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

static test_image grey_alpha(const test_image &rgba)
{
    test_image out = make_image(rgba.width, rgba.height, 2, 0);
    for (size_t i = 0; i < (size_t)rgba.width * rgba.height; i++) {
        out.pixels[i * 2] = rgba.pixels[i * 4];
        out.pixels[i * 2 + 1] = rgba.pixels[i * 4 + 3];
    }
    return out;
}

static bool write_all(const std::string &dir)
{
    std::filesystem::create_directories(dir + "/assets");
    std::string samples = make_tune_samples();
    return write_png(dir + "/assets/tormbriskchristmas.png", make_background(64, 48)) &&
           write_png(dir + "/assets/font.png", make_atlas()) &&
           write_wav(dir + "/assets/ha_xmas.wav", samples, 22050, 1) &&
           write_bytes(dir + "/tune.raw", samples) && write_bytes(dir + "/name", "AB");
}

int main(int argc, char **argv)
{
    if (argc == 2) {
        if (write_all(argv[1]))
            return 0;
    } else if (argc == 3 && strcmp(argv[1], "--grey-background") == 0) {
        if (write_png(std::string(argv[2]) + "/assets/tormbriskchristmas.png", make_image(13, 9, 1, 90)))
            return 0;
    } else if (argc == 3 && strcmp(argv[1], "--grey-alpha-atlas") == 0) {
        if (write_png(std::string(argv[2]) + "/assets/font.png", grey_alpha(make_atlas())))
            return 0;
    } else {
        fprintf(stderr, "usage: card_fixture [--grey-background | --grey-alpha-atlas] DIRECTORY\n");
        return 2;
    }
    fprintf(stderr, "card_fixture: cannot write into %s\n", argv[argc - 1]);
    return 1;
}
