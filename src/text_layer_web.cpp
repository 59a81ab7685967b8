// The browser card's picture and text, composed once into a layer and laid
// over the pulse each frame. The greeting and the name with their 400-copy
// shadows are some 20,000 blended quads, yet they change only with the name
// and the drawing buffer's size, and the picture never. So the card's own
// gl_draw_picture and gl_draw_text draw them into a texture of the
// viewport's size, again only when one of those changed, and each frame
// clears to the pulse's colour and blends that one texture over it: the
// same work as a frame that draws only the picture.
//
// The layer holds premultiplied colour. Cleared to transparent black, each
// quad adds its colour times its alpha and keeps (1 - alpha) of what is
// there, and alpha gathers the same way as coverage. Laid over the clear
// colour with ONE, ONE_MINUS_SRC_ALPHA, that gives what the picture and the
// quads would have blended into the frame one by one ("over" is
// associative), to within the rounding of 8-bit steps (a quad too faint to
// move a frame's pixel by half a step still darkens the layer: about 1% of
// pixels differ by more than 4 levels).
#include "text_layer.h"
#include "webgl.h"

#include <string>

struct text_layer {
    GLuint texture, framebuffer;   // 0 until first composed
    int width, height;             // the viewport it was composed for
    std::string name;              // the name it shows (name_of)
    bool usable;                   // false where the browser cannot render to it
};
static text_layer layer = {0, 0, 0, 0, {}, false};

// The name as the layer shows it: its bytes, and which of the page's glyphs for it.
static std::string name_of(const app_state *app)
{
    std::string bytes = app->name_text ? std::string(app->name_text, (size_t)app->name_size) : std::string();
    return bytes + '\0' + std::to_string(app->name_glyphs_read);
}

// Each texel of the layer lands on one pixel of the frame: nearest texels,
// a texture as big as the viewport.
static void size_layer(int width, int height)
{
    layer.usable = webgl_render_target(&layer.texture, &layer.framebuffer, width, height);
    layer.width = width, layer.height = height;
}

static void compose_layer(const app_state *app)
{
    layer.name = name_of(app);
    if (!layer.usable)
        return;
    card_gl_checks_due = true;  // for the rest of this frame
    emscripten_glBindFramebuffer(FRAMEBUFFER, layer.framebuffer);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    emscripten_glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    gl_draw_picture(app);
    gl_draw_text(app);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);  // the card's own again
    emscripten_glBindFramebuffer(FRAMEBUFFER, 0);
    GL_CHECK();
}

// The layer onto the same pixels of the frame.
static void draw_layer()
{
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, layer.texture);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

GLuint text_layer_ready(app_state *app, int width, int height)
{
    if (width != layer.width || height != layer.height) {
        size_layer(width, height);
        compose_layer(app);
    } else if (layer.name != name_of(app)) {
        compose_layer(app);
    }
    return layer.usable ? layer.texture : 0;
}

void text_layer_draw(app_state *app, int width, int height)
{
    text_layer_ready(app, width, height);
    if (!layer.usable) {
        gl_draw_backdrop(app);  // the full frame, as the desktop draws it
        gl_draw_text(app);
        return;
    }
    gl_draw_pulse(app);
    draw_layer();
}

bool text_layer_frame(app_state *app)
{
    int width, height;  // the viewport's, which follows the drawing buffer
    emscripten_webgl_get_drawing_buffer_size(app->hrc, &width, &height);
    text_layer_draw(app, width, height);
    return window_swap(app);
}
