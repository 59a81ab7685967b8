// The card's shared record and the functions its units call in each other.
// The card's own units (gl.cpp, util.cpp) see the platform only through the
// handle types below and the window_* functions each window layer defines.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <GL/gl.h>
typedef HGLRC card_context;
typedef HWND card_window;
typedef MSG card_message;
typedef HDC card_surface;
typedef HPALETTE card_palette;
typedef HINSTANCE card_instance;
typedef HWND card_player;
#define CARD_ASSET_DIR ".\\assets\\"
#elif defined(__EMSCRIPTEN__)
#include <emscripten/html5.h>
#include <GL/gl.h>
// In a browser the window is the page's canvas, named by its selector; the
// context is a WebGL one; a message is what arrived while the loop yielded
// to the browser. There is no palette, module instance or player window.
typedef EMSCRIPTEN_WEBGL_CONTEXT_HANDLE card_context;
typedef const char *card_window;
typedef int card_message;
typedef const char *card_surface;
typedef void *card_palette;
typedef void *card_instance;
typedef int card_player;  // 1 once the tune has been handed to the page
#define CARD_ASSET_DIR "./assets/"
#else
#include <SDL.h>
#include <GL/gl.h>
// SDL has no device context, palette or module instance: the window stands in
// for the device context (it is what buffers are swapped on), palettes never
// arise for GL windows, and the instance slot is kept only for the layout.
typedef SDL_GLContext card_context;
typedef SDL_Window *card_window;
typedef SDL_Event card_message;
typedef SDL_Window *card_surface;
typedef SDL_Palette *card_palette;
typedef void *card_instance;
typedef SDL_AudioDeviceID card_player;
#define CARD_ASSET_DIR "./assets/"
#endif

#define CARD_BACKGROUND_PATH CARD_ASSET_DIR "tormbriskchristmas.png"
#define CARD_FONT_PATH CARD_ASSET_DIR "font.png"
#ifdef __EMSCRIPTEN__
#define CARD_MUSIC_PATH CARD_ASSET_DIR "ha_xmas.m4a"  // the page's tune is compressed
#else
#define CARD_MUSIC_PATH CARD_ASSET_DIR "ha_xmas.wav"
#endif
#define CARD_NAME_PATH "name"
// Where the browser's page leaves the pictures of a name's letters that the
// atlas lacks, and which glyph each letter of the name is (gl_read_name_glyphs).
#define CARD_NAME_CELLS_PATH "name-cells"
#define CARD_NAME_GLYPHS_PATH "name-glyphs.png"

// One letter of a name as a reader counts letters (a letter with its accents,
// a syllable, an emoji), as the page lays it out: a cell of the card's own
// atlas (code is the Windows-1252 byte, as gl_draw_str draws it), or CELLS
// cells of the page's glyph atlas from cell CODE on (a joined word spans
// several, and its other letters then span none).
enum { GLYPH_FROM_ATLAS = 0, GLYPH_FROM_PAGE = 1 };
struct name_glyph {
    uint8_t source, code, cells;
};

struct app_state {
    card_context hrc;
    card_window hwnd;
    card_message msg;
    uint32_t pfd_flags;
    uint8_t pfd_type;
    card_surface hdc;
    card_palette palette;
    card_instance instance;
    // What plays the tune: the media-player window on Windows, the audio
    // device on SDL, a flag in the browser.
    card_player music_window;
    unsigned char *background_pixels;
    GLuint background_texture;
    unsigned char *font_pixels;
    GLuint font_texture;
    double pulse;  // 0.5 * sin(phase): drives the clear colour
    double phase;  // radians, +0.01 per idle frame, never wrapped
    int32_t quit;  // 1 once the window has been asked to close
    FILE *name_file;
    int32_t name_size;
    char *name_text;  // name_size bytes, not terminated
    // Set by a window layer whose name file is always Windows-1252 (the
    // browser's page writes it so); elsewhere a UTF-8 file is taken as such.
    int32_t name_is_windows_1252;
    // The name's letters as the browser's page drew them, when it did (null
    // elsewhere): the name is then drawn from these, in two textures.
    name_glyph *name_glyphs;
    int32_t name_glyph_count;
    GLuint glyph_texture;  // the page's glyph atlas: 16 x 16 cells, like the card's
    uint32_t name_glyphs_read;  // counts the reads: what was composed before is stale
};

// The greeting: exactly 40 bytes, no terminating zero.
extern const char consumer_prefix[40];

// Text, scene and frame (gl.cpp).
void gl_draw_str(double y, const char *text, uint64_t length);
// The same lettering and line rules for a name's glyphs, drawing only those
// from SOURCE, whose texture the caller has bound; the others take their room.
void gl_draw_glyphs(double y, const name_glyph *glyphs, uint64_t count, int source);
void gl_setup(app_state *app);
void gl_read_name(app_state *app);  // (again) from the name file; part of gl_setup
// (Again) the glyphs the browser's page made for the name, where it made them.
void gl_read_name_glyphs(app_state *app);
bool gl_loop(app_state *app);  // the frame: gl_draw_backdrop, gl_draw_text, window_swap
void gl_draw_backdrop(const app_state *app);  // gl_draw_pulse, then gl_draw_picture
void gl_draw_pulse(const app_state *app);     // the clear, in the pulse's colour
struct card_colour {
    float red, green, blue, alpha;
};
card_colour gl_pulse_colour(const app_state *app);  // as given to OpenGL, which clamps it to 0..1
void gl_draw_picture(const app_state *app);   // the background over the whole viewport
void gl_draw_text(const app_state *app);      // the greeting and the name, shadowed

// GL diagnostics (util.cpp). GL_CHECK() labels each check with its own
// source file and line, fixed at build time.
void glCheckError(const char *where);
#define CARD_STRINGIFY2(x) #x
#define CARD_STRINGIFY(x) CARD_STRINGIFY2(x)
#define CARD_GL_CHECK_LABEL __FILE__ ":" CARD_STRINGIFY(__LINE__)
#ifdef __EMSCRIPTEN__
// In a browser each glGetError waits for the GPU to catch up, so the checks
// run only while the browser's window layer says they are due: at set-up,
// while the text layer is composed, and in one frame a second or so.
extern bool card_gl_checks_due;
#define GL_CHECK() (card_gl_checks_due ? glCheckError(CARD_GL_CHECK_LABEL) : (void)0)
#else
#define GL_CHECK() glCheckError(CARD_GL_CHECK_LABEL)
#endif

// A name file in UTF-8 (name_text.cpp): where TEXT's SIZE bytes begin with
// the byte-order mark, or are UTF-8 with at least one letter beyond ASCII,
// they become the Windows-1252 bytes the card draws (a letter it lacks as its
// base letter, else "?"), and the result is how many letters it lacked;
// otherwise they stay as they are, and the result is -1. CUT says that the
// file went on, so that a letter cut in two at the end is no fault.
int name_text_from_utf8(char *text, int32_t *size, bool cut);

// Opens one of the card's input files (util.cpp). Anything that is not a
// regular file is refused unopened; on failure, problem says why.
FILE *card_open_input(const char *path, const char *mode, const char **problem);

// Defined by each window layer.
void window_setup(app_state *app);
void window_loop(app_state *app);
bool window_swap(app_state *app);  // presents the finished back buffer
