// Program entry: creates the zeroed record and runs the card's phases in
// order: window, scene, main loop. Command-line arguments are ignored.
#include "card.h"

#include <cstdlib>
#include <stb_image.h>

static int run_card(card_instance instance)
{
    app_state *app = (app_state *)calloc(1, sizeof(app_state));
    if (!app) {
        fputs("holiday-card: out of memory\n", stderr);
        return 1;
    }
    app->instance = instance;
    window_setup(app);  // returns only with a window and a current GL context
    gl_setup(app);      // textures need that context
    window_loop(app);   // runs until the user quits, then tears the window down
    stbi_image_free(app->background_pixels);
    free(app);
    return 0;
}

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    return run_card(hInstance);
}
#else
int main()
{
    return run_card(nullptr);
}
#endif
