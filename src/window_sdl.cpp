// The card's window, events, main loop and music on SDL2 (the Linux build).
// It stands in for the Win32 window, GDI pixel format, WGL context and media
// player: the same caption, size, paint order, pacing and exit codes.
#include "card.h"
#include "window.h"

#include <cstdlib>
#include <cstring>

static const char RECORD_KEY[] = "app_state";

// A message box needs a display, so the text goes to standard error first,
// with SDL's reason; then the box, then the process ends with code 1.
[[noreturn]] static void fail_window(const char *text, const char *reason)
{
    fprintf(stderr, "%s (%s)\n", text, reason);
    SDL_ShowSimpleMessageBox(0, "Error", text, nullptr);
    SDL_Quit();
    exit(1);
}

// Without a display SDL quietly falls back to drivers that draw nowhere; the
// card would then run unseen and never end.
static void require_real_display()
{
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0) {
        char reason[128];
        snprintf(reason, sizeof reason, "no display: SDL chose its %s video driver",
                 driver ? driver : "null");
        fail_window(CARD_CREATE_FAILED, reason);
    }
}

static void request_gl_format(uint8_t type, uint32_t flags)
{
    (void)type;  // SDL offers RGBA windows only
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, 32);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & CARD_PFD_DOUBLEBUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

// Stands for CreateOpenGLWindow: a hidden, resizable GL window with the
// requested format. The GL context is window_setup's business.
static SDL_Window *create_gl_window(app_state *app, const char *title, int x, int y,
                                    int width, int height, uint8_t type, uint32_t flags)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        fail_window(CARD_REGISTER_FAILED, SDL_GetError());
    require_real_display();
    request_gl_format(type, flags);
    SDL_Window *window = SDL_CreateWindow(title, x, y, width, height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!window)
        fail_window(CARD_CREATE_FAILED, SDL_GetError());
    app->hdc = window;
    return window;
}

// 640 x 480 is the outer size; where a window manager reports its frame,
// the client area shrinks by it and the frame's corner goes to (0, 0).
static void fit_outer_size(SDL_Window *window)
{
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0)
        return;
    if (top + left + bottom + right == 0)
        return;
    SDL_SetWindowSize(window, CARD_WINDOW_WIDTH - left - right, CARD_WINDOW_HEIGHT - top - bottom);
    SDL_SetWindowPosition(window, CARD_WINDOW_X + left, CARD_WINDOW_Y + top);
}

static app_state *record_of(Uint32 window_id)
{
    SDL_Window *window = SDL_GetWindowFromID(window_id);
    return window ? (app_state *)SDL_GetWindowData(window, RECORD_KEY) : nullptr;
}

static void push_quit()
{
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

// A paint arrives later through the loop, as a posted paint message would.
static void queue_paint(Uint32 window_id)
{
    SDL_Event paint = {};
    paint.type = SDL_WINDOWEVENT;
    paint.window.windowID = window_id;
    paint.window.event = SDL_WINDOWEVENT_EXPOSED;
    SDL_PushEvent(&paint);
}

// The viewport takes the drawable size, which differs from the window size
// on high-density displays.
static void resize_viewport(app_state *app, Uint32 window_id)
{
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(app->hwnd, &width, &height);
    glViewport(0, 0, width, height);
    queue_paint(window_id);
}

static void window_event(const SDL_WindowEvent &event)
{
    app_state *app = record_of(event.windowID);
    if (!app)
        return;  // not attached yet: nothing to draw with
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: resize_viewport(app, event.windowID); break;
    case SDL_WINDOWEVENT_EXPOSED: gl_loop(app); break;
    case SDL_WINDOWEVENT_CLOSE:
        app->quit = 1;
        push_quit();
        break;
    }
}

// The window procedure: the few events the card answers; the rest are ignored.
static void window_proc(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_WINDOWEVENT: window_event(event.window); break;
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE)
            push_quit();  // Escape ends the loop without setting quit
        break;
    }
}

void window_setup(app_state *app)
{
    app->pfd_flags = CARD_PFD_DOUBLEBUFFER;
    app->pfd_type = CARD_PFD_TYPE_RGBA;
    app->hwnd = create_gl_window(app, CARD_CAPTION, CARD_WINDOW_X, CARD_WINDOW_Y, CARD_WINDOW_WIDTH,
                                 CARD_WINDOW_HEIGHT, app->pfd_type, app->pfd_flags);
    SDL_SetWindowData(app->hwnd, RECORD_KEY, app);
    app->hrc = SDL_GL_CreateContext(app->hdc);
    if (!app->hrc)
        fail_window(CARD_CHOOSE_FAILED, SDL_GetError());
    if (SDL_GL_MakeCurrent(app->hdc, app->hrc) != 0)
        fail_window(CARD_SET_FAILED, SDL_GetError());
    // The pace is the drawing time plus the loop's own pause; a refusal is harmless.
    SDL_GL_SetSwapInterval(0);
    SDL_ShowWindow(app->hwnd);
    fit_outer_size(app->hwnd);
    gl_loop(app);  // the first paint, before the scene is set up
}

bool window_swap(app_state *app)
{
    SDL_GL_SwapWindow(app->hdc);
    return true;
}

static void report_music(const char *reason)
{
    fprintf(stderr, "%s: cannot play music: %s\n", CARD_MUSIC_PATH, reason);
}

// Loads the whole tune and queues it on a device that converts as needed; it
// then plays once on SDL's audio thread. Any failure leaves the card silent.
static SDL_AudioDeviceID start_music()
{
    const char *problem = nullptr;
    FILE *file = card_open_input(CARD_MUSIC_PATH, "rb", &problem);
    if (!file) {
        report_music(problem);
        return 0;
    }
    SDL_AudioSpec format;
    Uint8 *samples = nullptr;
    Uint32 length = 0;
    // A cut-off file is refused with SDL's reason rather than played in part
    // without a word.
    SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
    if (!SDL_LoadWAV_RW(SDL_RWFromFP(file, SDL_TRUE), 1, &format, &samples, &length)) {
        report_music(SDL_GetError());
        return 0;
    }
    SDL_AudioDeviceID device = 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        report_music(SDL_GetError());
    else if (!(device = SDL_OpenAudioDevice(nullptr, 0, &format, nullptr, 0)))
        report_music(SDL_GetError());
    else if (SDL_QueueAudio(device, samples, length) != 0) {
        report_music(SDL_GetError());
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    SDL_FreeWAV(samples);
    if (device)
        SDL_PauseAudioDevice(device, 0);
    return device;
}

static void idle_frame(app_state *app)
{
    window_advance_pulse(app);
    gl_loop(app);
    SDL_Delay(CARD_IDLE_PAUSE_MS);
}

// Lets go of everything in a fixed order: context, music device, window,
// palette, then SDL itself.
static void teardown(app_state *app)
{
    SDL_GL_MakeCurrent(app->hwnd, nullptr);
    SDL_GL_DeleteContext(app->hrc);
    if (app->music_window)
        SDL_CloseAudioDevice(app->music_window);
    SDL_DestroyWindow(app->hwnd);
    if (app->palette)
        SDL_FreePalette(app->palette);
    SDL_Quit();
}

void window_loop(app_state *app)
{
    bool first_idle_frame = true;
    while (!app->quit) {
        // Every pending event is served before any frame is drawn.
        if (SDL_PollEvent(&app->msg)) {
            if (app->msg.type == SDL_QUIT)
                break;
            window_proc(app->msg);
            continue;
        }
        idle_frame(app);
        if (window_music_due(&first_idle_frame))
            app->music_window = start_music();
    }
    teardown(app);
}
