// libFuzzer target: arbitrary bytes as either picture (the first byte
// chooses which), through scene setup with the recording GL fakes, whose
// glTexImage2D reads every byte a real upload would.
#include "card.h"
#include "gl_recorder.h"
#include "test_images.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stb_image.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "card_fuzz_png";
    std::filesystem::create_directories(dir / "assets");
    std::filesystem::current_path(dir);
    if (!write_bytes("name", "AB"))
        abort();
    gl_recording = false;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    bool atlas = data[0] & 1;
    std::string bytes((const char *)data + 1, size - 1);
    bool written = atlas ? write_bytes(CARD_FONT_PATH, bytes) &&
                               write_png(CARD_BACKGROUND_PATH, make_background(16, 12))
                         : write_bytes(CARD_BACKGROUND_PATH, bytes) && write_png(CARD_FONT_PATH, make_image(32, 32, 4, 0));
    if (!written)
        abort();
    app_state app = {};
    gl_recorder_reset();
    gl_setup(&app);
    stbi_image_free(app.background_pixels);
    stbi_image_free(app.font_pixels);
    free(app.name_text);
    return 0;
}
