// libFuzzer target: arbitrary bytes as one of the card's files (the first byte chooses: 0 the picture,
// 1 the atlas, 2 the name, 3 the glyphs a browser's page leaves for a name, counting modulo 4), through
// scene setup, the name's glyphs and a frame with the recording GL fakes, whose glTexImage2D reads every
// byte a real upload would.
#include "card.h"
#include "support.h"

#include <cstdlib>
#include <stb_image.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_fresh_folder("work");  // beside the fuzzer, never over it
    gl_recording = false;  // the fakes still run; keeping every call would only slow the fuzzer
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const char *paths[4] = {CARD_BACKGROUND_PATH, CARD_FONT_PATH, CARD_NAME_PATH, CARD_NAME_CELLS_PATH};
    // A small picture and an empty atlas keep every run fast; layout needs no glyphs.
    if (!write_png(paths[0], make_image(16, 12, 4, 128)) || !write_png(paths[1], make_image(32, 32, 4, 0)) ||
        !write_bytes(paths[2], "AB") || !write_bytes(paths[3], std::string("\1\1\1\0A\1", 6)) ||
        !write_png(CARD_NAME_GLYPHS_PATH, make_image(32, 32, 4, 0)) ||
        !write_bytes(paths[data[0] % 4], std::string((const char *)data + 1, size - 1)))
        abort();
    app_state app = {};
    gl_fake_reset();
    gl_setup(&app);
    gl_read_name_glyphs(&app);
    gl_loop(&app);
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text), free(app.name_glyphs);
    return 0;
}
