#include "scratch.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

scratch_dir::scratch_dir()
{
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    previous = fs::current_path();
    path = fs::path(CARD_TEST_SCRATCH_DIR) / name;
    fs::remove_all(path);
    fs::create_directories(path / "assets");
    fs::current_path(path);
}

scratch_dir::~scratch_dir()
{
    fs::current_path(previous);
}

test_image make_image(int width, int height, int channels, unsigned char fill)
{
    return test_image{width, height, channels,
                      std::vector<unsigned char>((size_t)width * height * channels, fill)};
}

void write_png(const std::string &path, const test_image &image)
{
    int ok = stbi_write_png(path.c_str(), image.width, image.height, image.channels,
                            image.pixels.data(), image.width * image.channels);
    ASSERT_NE(ok, 0) << path;
}

void write_bytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
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

void write_card_files(const std::string &name)
{
    write_png("assets/tormbriskchristmas.png", make_background(64, 48));
    write_png("assets/font.png", make_atlas());
    write_bytes("name", name);
}
