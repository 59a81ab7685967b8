// Writes a working directory for one end-to-end run of the card: the test
// atlas and background, a half-second tune, a name file, and tune.raw (the
// tune's samples alone, to compare with what the card plays).
#include "test_images.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: card_fixture DIRECTORY\n");
        return 2;
    }
    std::string dir = argv[1];
    std::filesystem::create_directories(dir + "/assets");
    std::string samples = make_tune_samples();
    bool ok = write_png(dir + "/assets/tormbriskchristmas.png", make_background(64, 48)) &&
              write_png(dir + "/assets/font.png", make_atlas()) &&
              write_wav(dir + "/assets/ha_xmas.wav", samples, 22050, 1) &&
              write_bytes(dir + "/tune.raw", samples) && write_bytes(dir + "/name", "AB");
    if (!ok)
        fprintf(stderr, "card_fixture: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
