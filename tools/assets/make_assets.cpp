// Writes the card's three asset files: make_assets FONT.ttf OUTPUT_DIR.
// The same inputs give the same bytes on every run, and nothing is written
// unless every asset keeps what the card relies on.
#include "assets.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <cstdio>
#include <fstream>
#include <iterator>

double random_source::next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (double)(state >> 11) * (1.0 / 9007199254740992.0);
}

static bool read_file(const std::string &path, std::vector<unsigned char> *bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

static bool write_image(const std::string &path, const rgba_image &image)
{
    // The strongest compression stb offers; the output is still deterministic.
    stbi_write_png_compression_level = 9;
    return stbi_write_png(path.c_str(), image.width, image.height, 4, image.pixels.data(),
                          image.width * 4) != 0;
}

static void put_le(std::string *out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        *out += (char)(value >> (8 * i));
}

// A canonical PCM WAV: RIFF header, a 16-byte fmt chunk and the data.
static bool write_wav(const std::string &path, const std::vector<int16_t> &samples)
{
    uint32_t data_size = (uint32_t)(samples.size() * 2);
    std::string wav = "RIFF";
    put_le(&wav, 36 + data_size, 4);
    wav += "WAVEfmt ";
    put_le(&wav, 16, 4);
    put_le(&wav, 1, 2);  // PCM
    put_le(&wav, 1, 2);  // mono
    put_le(&wav, CAROL_RATE, 4);
    put_le(&wav, CAROL_RATE * 2, 4);
    put_le(&wav, 2, 2);
    put_le(&wav, 16, 2);
    wav += "data";
    put_le(&wav, data_size, 4);
    for (int16_t sample : samples)
        put_le(&wav, (uint16_t)sample, 2);
    std::ofstream out(path, std::ios::binary);
    out << wav;
    return out.good();
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: make_assets FONT.ttf OUTPUT_DIR\n");
        return 2;
    }
    std::vector<unsigned char> font;
    if (!read_file(argv[1], &font) || font.empty()) {
        fprintf(stderr, "%s: cannot read the font\n", argv[1]);
        return 1;
    }
    std::string dir = argv[2];
    rgba_image atlas = make_font_atlas(font), scene = make_winter_scene();
    std::vector<int16_t> carol = make_carol();
    if (!check_atlas(atlas) || !check_scene(scene) || !check_carol(carol))
        return 1;
    const std::string paths[3] = {dir + "/font.png", dir + "/tormbriskchristmas.png", dir + "/ha_xmas.wav"};
    bool written[3] = {write_image(paths[0], atlas), write_image(paths[1], scene), write_wav(paths[2], carol)};
    for (int i = 0; i < 3; i++)
        if (!written[i]) {
            fprintf(stderr, "%s: cannot write\n", paths[i].c_str());
            return 1;
        }
    return 0;
}
