// The card's window, events, main loop and music in a browser (the
// Emscripten build): a WebGL context on the page's canvas, whose drawing
// buffer follows the canvas's size on the page at the device's pixel
// density; Escape from the page's keys; a loop that yields to the browser
// during its pause, resting while the page is hidden or makes a video; and
// the tune through the browser's Web Audio. The page (web/page.html) shows
// the card's still where it cannot move, and the card's end.
#include "card.h"
#include "text_layer.h"
#include "video_frame.h"
#include "window.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <emscripten.h>
#include <vector>

static const char CANVAS[] = "#canvas";
static const int CARD_VIDEO_WIDTH = 640, CARD_VIDEO_HEIGHT = 480;
static const card_message NO_MESSAGE = 0, QUIT_MESSAGE = 1;

// GL errors are read at set-up, while the text layer is composed and in one
// frame a second (the desktop layers read them in every frame): in a
// browser each read waits for the GPU.
bool card_gl_checks_due = true;
static const double GL_CHECK_EVERY_MS = 1000;
static double last_gl_checks_ms = 0;

static void plan_gl_checks()
{
    double now = emscripten_get_now();
    card_gl_checks_due = now - last_gl_checks_ms >= GL_CHECK_EVERY_MS;
    if (card_gl_checks_due)
        last_gl_checks_ms = now;
}

// Where no WebGL can be had the page shows the card's still in its place,
// with one line that says the card cannot move here.
EM_JS(void, page_cannot_animate, (), {
    if (Module['cardCannotAnimate'])
        Module['cardCannotAnimate']();
});

// Said on the console with the reason; the page shows the still; the
// program ends with code 1.
[[noreturn]] static void fail_window(const char *text, const char *reason)
{
    fprintf(stderr, "%s (%s)\n", text, reason);
    page_cannot_animate();
    exit(1);
}

// Browsers hold sound back until the person has touched the page: the tune
// starts on the first gesture that counts as theirs in every browser (a
// touch counts when it ends), once, from the start. The page says so while
// it waits. A context that the system suspends or interrupts later (a
// call, a locked screen) is woken by the next gesture and plays on; the
// tune is not started again. The gestures are heard from the first idle
// frame on, before the tune has arrived (it comes late in the page): one
// made meanwhile wakes the context, and the tune plays once it is decoded.
// The decoding is the browser's own, as the media player's is on Windows,
// in its callback form, which older Safari knows too; any failure is one
// console line and a silent card. Every name the page shares is quoted, so
// that no minifier renames it.
EM_JS(void, page_open_audio, (const char *path), {
    var where = UTF8ToString(path);
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context)
        return;
    var audio = Module['cardAudio'] = new Context();
    if (navigator.audioSession)
        navigator.audioSession.type = 'playback';  // heard with a phone's ringer muted
    Module['cardPlay'] = function() {
        if (!Module['cardTuneDecoded'] || Module['cardTune'] || audio.state != 'running')
            return;
        var tune = Module['cardTune'] = audio.createBufferSource();
        tune.buffer = Module['cardTuneDecoded'];
        tune.connect(audio.destination);
        tune.start(0);
        if (Module['cardHint'])
            Module['cardHint'](false);
    };
    var unlock = function() {
        if (audio.state == 'running' || audio.state == 'closed')
            return Module['cardPlay']();
        Promise.resolve(audio.resume()).then(Module['cardPlay'], function(e) {
            if (audio.state != 'closed')
                console.error(where + ': cannot play music: ' + e.message);
        });
    };
    var gestures = ['pointerup', 'touchend', 'click', 'keydown'];
    Module['cardForgetGestures'] = function() {
        gestures.forEach(function(g) { removeEventListener(g, unlock, true); });
    };
    gestures.forEach(function(g) { addEventListener(g, unlock, true); });
});

// True once the page has written the tune into the card's folder.
EM_JS(int, page_has_tune, (), { return Module['cardTuneArrived'] ? 1 : 0; });

EM_JS(void, page_play_tune, (const char *path, const unsigned char *bytes, int length), {
    var where = UTF8ToString(path);
    var fail = function(why) { console.error(where + ': cannot play music: ' + why); };
    var audio = Module['cardAudio'];
    if (!audio)
        return fail('this browser has no Web Audio');
    var decoded = function(buffer) {
        if (audio.state == 'closed')
            return;  // the card ended meanwhile
        Module['cardTuneDecoded'] = buffer;
        if (audio.state == 'running')
            return Module['cardPlay']();
        if (Module['cardHint'])
            Module['cardHint'](true);
    };
    var refused = function(e) { if (audio.state != 'closed') fail(e && e.message ? e.message : 'the browser cannot decode it'); };
    try {
        var promise = audio.decodeAudioData(HEAPU8.slice(bytes, bytes + length).buffer, decoded, refused);
        if (promise && promise.catch)
            promise.catch(function() {});  // already said by the callback
    } catch (e) {
        refused(e);
    }
});

EM_JS(void, page_stop_tune, (), {
    if (Module['cardForgetGestures'])
        Module['cardForgetGestures']();
    if (Module['cardHint'])
        Module['cardHint'](false);
    if (Module['cardTune'])
        Module['cardTune'].stop();
    if (Module['cardAudio'])
        Module['cardAudio'].close();
});

// Keys typed into the page's own fields (the name, the message) are not the card's.
EM_JS(int, page_typing, (), {
    var focused = document.activeElement;
    return focused && (focused.tagName == 'INPUT' || focused.tagName == 'TEXTAREA') ? 1 : 0;
});

// True once after the page has written another name for the card.
EM_JS(int, page_took_new_name, (), {
    var changed = Module['cardNewName'];
    Module['cardNewName'] = false;
    return changed ? 1 : 0;
});

// A hidden page (another tab, a locked phone) draws nothing, and the live
// card draws nothing while the page makes a video of it (the page draws the
// video's frames through card_draw_video_frame meanwhile): the loop waits
// here until it may draw again, and the pulse goes on from there. While it
// waits, Module.cardMayDraw is set; the page calls it when the video is done.
EM_JS(int, page_resting, (), { return document.hidden || Module['cardMakingVideo'] ? 1 : 0; });
EM_ASYNC_JS(void, page_wait_until_drawable, (), {
    await new Promise(function(resolve) {
        var drawable = function() {
            if (document.hidden || Module['cardMakingVideo'])
                return;
            document.removeEventListener('visibilitychange', drawable);
            Module['cardMayDraw'] = null;
            resolve();
        };
        Module['cardMayDraw'] = drawable;
        document.addEventListener('visibilitychange', drawable);
    });
});

// The page may look at each finished frame before the browser shows it
// (the saved card's still is taken there); tests read frames there too.
EM_JS(void, page_frame_drawn, (), {
    if (Module['cardFrameDrawn'])
        Module['cardFrameDrawn']();
});

// For tests only: true once when the page asks for the next frame to be
// drawn both ways, with every quad and from the text layer, at one pulse.
EM_JS(int, page_wants_both_paths, (), {
    var wanted = Module['cardTestBothPaths'];
    Module['cardTestBothPaths'] = false;
    return wanted ? 1 : 0;
});

// The drawing buffer follows the canvas's size on the page, in device
// pixels; true when it changed.
static bool fit_drawing_buffer(int *width, int *height)
{
    double css_width = 0, css_height = 0;
    emscripten_get_element_css_size(CANVAS, &css_width, &css_height);
    double density = emscripten_get_device_pixel_ratio();
    int old_width = 0, old_height = 0;
    emscripten_get_canvas_element_size(CANVAS, &old_width, &old_height);
    *width = (int)lround(css_width * density), *height = (int)lround(css_height * density);
    if (*width == old_width && *height == old_height)
        return false;
    emscripten_set_canvas_element_size(CANVAS, *width, *height);
    return true;
}

// Escape ends the loop without setting quit, as on the desktop; other keys,
// and Escape in the page's name field, are left to the page.
static EM_BOOL key_down(int, const EmscriptenKeyboardEvent *event, void *record)
{
    if (strcmp(event->key, "Escape") == 0 && !page_typing())
        ((app_state *)record)->msg = QUIT_MESSAGE;
    return EM_FALSE;
}

void window_setup(app_state *app)
{
    app->pfd_flags = CARD_PFD_DOUBLEBUFFER;
    app->pfd_type = CARD_PFD_TYPE_RGBA;
    app->hwnd = app->hdc = CANVAS;
    app->name_is_windows_1252 = 1;  // the page writes the name file so, whatever the name's script
    int width, height;
    fit_drawing_buffer(&width, &height);
    // No alpha channel, or the clear colour's zero alpha would let the page
    // show through; no depth or stencil, as the desktop card asks.
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = attributes.depth = attributes.stencil = attributes.antialias = EM_FALSE;
    app->hrc = emscripten_webgl_create_context(CANVAS, &attributes);
    if (app->hrc <= 0)
        fail_window(CARD_CREATE_FAILED, "this browser offers no WebGL");
    if (emscripten_webgl_make_context_current(app->hrc) != EMSCRIPTEN_RESULT_SUCCESS)
        fail_window(CARD_SET_FAILED, "the WebGL context cannot be made current");
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, app, EM_TRUE, key_down);
    gl_loop(app);  // the first paint, before the scene is set up
}

// The browser shows the canvas once the program yields to it. The page sees
// the set-up card's frames (not the first paint, which has no pictures yet).
bool window_swap(app_state *app)
{
    if (app->font_texture)
        page_frame_drawn();
    emscripten_sleep(0);
    return true;
}

static void start_music(app_state *app)
{
    const char *problem = nullptr;
    FILE *file = card_open_input(CARD_MUSIC_PATH, "rb", &problem);
    if (!file) {
        fprintf(stderr, "%s: cannot play music: %s\n", CARD_MUSIC_PATH, problem);
        return;
    }
    std::vector<unsigned char> bytes;
    unsigned char block[65536];
    for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    fclose(file);
    page_play_tune(CARD_MUSIC_PATH, bytes.data(), (int)bytes.size());
    app->music_window = 1;
}

// Serves what arrived while the loop yielded, before any frame: a new size
// on the page (viewport, then a paint), a new name (read, then a paint) and
// Escape. False when nothing did.
static bool serve_messages(app_state *app)
{
    int width, height;
    if (fit_drawing_buffer(&width, &height)) {
        glViewport(0, 0, width, height);
        text_layer_frame(app);
        return true;
    }
    if (page_took_new_name()) {
        gl_read_name(app);
        gl_read_name_glyphs(app);
        text_layer_frame(app);
        return true;
    }
    return app->msg != NO_MESSAGE;
}

// The card while its loop rests, for the page's video; null otherwise.
static app_state *resting_card;

// The resting card with the pulse it has at PHASE, as the loop would draw
// it then, and the name the loop read before it rested (one name for a whole
// video; one typed meanwhile waits for the live card); null unless the loop
// is resting. Its viewport is the video's, for the layer too. LIVE keeps the
// live card's phase and pulse for end_video_frame.
static app_state *start_video_frame(double phase, double live[2])
{
    app_state *app = resting_card;
    if (!app)
        return nullptr;
    live[0] = app->phase, live[1] = app->pulse;
    app->phase = phase - CARD_PHASE_STEP;
    window_advance_pulse(app);
    plan_gl_checks();
    glViewport(0, 0, CARD_VIDEO_WIDTH, CARD_VIDEO_HEIGHT);
    return app;
}

// The live card's pulse again, and its viewport: the whole drawing buffer.
static void end_video_frame(app_state *app, const double live[2])
{
    app->phase = live[0], app->pulse = live[1];
    int width, height;
    emscripten_webgl_get_drawing_buffer_size(app->hrc, &width, &height);
    glViewport(0, 0, width, height);
}

// The video's frame at PHASE, 640 x 480, as I420 (video_frame_planes): the
// card's layer over its pulse's colour. Null unless the loop is resting, or
// where the browser cannot make it.
extern "C" EMSCRIPTEN_KEEPALIVE const unsigned char *card_draw_video_frame(double phase)
{
    double live[2];
    app_state *app = start_video_frame(phase, live);
    if (!app)
        return nullptr;
    GLuint layer = text_layer_ready(app, CARD_VIDEO_WIDTH, CARD_VIDEO_HEIGHT);
    const unsigned char *planes =
        layer ? video_frame_planes(layer, gl_pulse_colour(app), CARD_VIDEO_WIDTH, CARD_VIDEO_HEIGHT) : nullptr;
    end_video_frame(app, live);
    return planes;
}

// The same frame drawn by the card's frame into the canvas's bottom-left
// corner, to be looked at (the tests hold the video's frames against it).
// False unless the loop is resting.
extern "C" EMSCRIPTEN_KEEPALIVE int card_draw_frame_at(double phase)
{
    double live[2];
    app_state *app = start_video_frame(phase, live);
    if (!app)
        return 0;
    text_layer_draw(app, CARD_VIDEO_WIDTH, CARD_VIDEO_HEIGHT);
    end_video_frame(app, live);
    return 1;
}

void window_loop(app_state *app)
{
    bool first_idle_frame = true, tune_awaited = false;
    gl_read_name_glyphs(app);  // where the page drew the name's letters itself
    while (!app->quit) {
        if (serve_messages(app)) {
            if (app->msg == QUIT_MESSAGE)
                break;
            continue;
        }
        if (page_resting()) {
            resting_card = app;
            page_wait_until_drawable();
            resting_card = nullptr;
            continue;
        }
        window_advance_pulse(app);
        plan_gl_checks();
        if (page_wants_both_paths())
            gl_loop(app);
        text_layer_frame(app);
        emscripten_sleep(CARD_IDLE_PAUSE_MS);
        if (window_music_due(&first_idle_frame)) {
            page_open_audio(CARD_MUSIC_PATH);
            tune_awaited = true;
        }
        if (tune_awaited && page_has_tune()) {
            start_music(app);
            tune_awaited = false;
        }
    }
    // Teardown: the tune, the keys, the context.
    page_stop_tune();
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(app->hrc);
}
