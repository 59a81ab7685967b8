#include "support.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

test_image make_image(int width, int height, int channels, unsigned char fill)
{
    return test_image{width, height, channels, std::vector<unsigned char>((size_t)width * height * channels, fill)};
}

bool write_png(const std::string &path, const test_image &image)
{
    return stbi_write_png(path.c_str(), image.width, image.height, image.channels, image.pixels.data(), image.width * image.channels);
}

bool write_bytes(const std::string &path, const std::string &bytes)
{
    return (bool)(std::ofstream(path, std::ios::binary) << bytes);
}

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void enter_fresh_folder(const std::string &name)
{
    fs::remove_all(fs::path(CARD_TEST_SCRATCH_DIR) / name);
    fs::create_directories(fs::path(CARD_TEST_SCRATCH_DIR) / name / "assets");
    fs::current_path(fs::path(CARD_TEST_SCRATCH_DIR) / name);
}

void enter_card_folder(const std::string &folder, const std::string &name)
{
    enter_fresh_folder(folder);
    fs::copy(CARD_SOURCE_DIR "/tests/data/card/assets", "assets", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    write_bytes("name", name);
}
