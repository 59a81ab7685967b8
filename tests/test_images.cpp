#include "test_images.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <fstream>

test_image make_image(int width, int height, int channels, unsigned char fill)
{
    return test_image{width, height, channels,
                      std::vector<unsigned char>((size_t)width * height * channels, fill)};
}

test_image make_atlas()
{
    test_image atlas = make_image(512, 512, 4, 0);
    for (int code = 33; code < 127; code++) {
        int x0 = code % 16 * 32, y0 = code / 16 * 32;
        for (int y = y0 + 8; y < y0 + 24; y++)
            for (int x = x0 + 8; x < x0 + 24; x++)
                for (int c = 0; c < 4; c++)
                    atlas.pixels[((size_t)y * 512 + x) * 4 + c] = 255;
    }
    return atlas;
}

test_image make_background(int width, int height)
{
    test_image picture = make_image(width, height, 4, 0);
    for (int y = height / 2; y < height; y++)
        for (int x = 0; x < width; x++) {
            unsigned char *p = &picture.pixels[((size_t)y * width + x) * 4];
            p[0] = 10, p[1] = 20, p[2] = 80, p[3] = 255;
        }
    return picture;
}

static void put_le(std::string &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out += (char)(value >> (8 * i));
}

std::string make_tune_samples()
{
    std::string samples;
    const int rate = 22050;
    for (int i = 0; i < rate / 2; i++) {
        // Never exactly zero, so the tune cannot be mistaken for silence.
        int value = (int)(8000 * sin(2 * M_PI * 440 * i / rate)) | 1;
        put_le(samples, (uint16_t)(int16_t)value, 2);
    }
    return samples;
}

bool write_png(const std::string &path, const test_image &image)
{
    return stbi_write_png(path.c_str(), image.width, image.height, image.channels,
                          image.pixels.data(), image.width * image.channels) != 0;
}

bool write_bytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return out.good();
}

bool write_wav(const std::string &path, const std::string &samples, int rate, int channels)
{
    std::string wav = "RIFF";
    put_le(wav, 36 + (uint32_t)samples.size(), 4);
    wav += "WAVEfmt ";
    put_le(wav, 16, 4);
    put_le(wav, 1, 2);  // PCM
    put_le(wav, channels, 2);
    put_le(wav, rate, 4);
    put_le(wav, rate * channels * 2, 4);
    put_le(wav, channels * 2, 2);
    put_le(wav, 16, 2);
    wav += "data";
    put_le(wav, (uint32_t)samples.size(), 4);
    return write_bytes(path, wav + samples);
}
