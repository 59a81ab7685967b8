#include "scratch.h"

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

void write_png_checked(const std::string &path, const test_image &image)
{
    EXPECT_TRUE(write_png(path, image)) << path;
}

void write_bytes_checked(const std::string &path, const std::string &bytes)
{
    EXPECT_TRUE(write_bytes(path, bytes)) << path;
}

void write_card_files(const std::string &name)
{
    write_png_checked("assets/tormbriskchristmas.png", make_background(64, 48));
    write_png_checked("assets/font.png", make_atlas());
    write_bytes_checked("name", name);
}
