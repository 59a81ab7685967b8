// libFuzzer target: arbitrary bytes as the name file, through scene setup
// and a frame (with the recording GL fakes), and straight through the text
// layout at full length.
#include "card.h"
#include "gl_recorder.h"
#include "test_images.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stb_image.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "card_fuzz_name";
    std::filesystem::create_directories(dir / "assets");
    std::filesystem::current_path(dir);
    if (!write_png("assets/tormbriskchristmas.png", make_background(16, 12)) ||
        !write_png("assets/font.png", make_image(32, 32, 4, 0)))  // layout needs no glyphs
        abort();
    gl_recording = false;  // the fakes still run; keeping every call would only slow the fuzzer
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!write_bytes("name", std::string((const char *)data, size)))
        abort();
    app_state app = {};
    gl_recorder_reset();
    gl_setup(&app);
    gl_loop(&app);
    glBegin(GL_QUADS);
    gl_draw_str(-0.35, (const char *)data, size);
    glEnd();
    stbi_image_free(app.background_pixels);
    stbi_image_free(app.font_pixels);
    free(app.name_text);
    return 0;
}
