// The browser card's text, drawn once into a layer and laid over each frame.
// The greeting and the name with their 400-copy shadows are some 20,000
// blended quads, yet they change only with the name and the drawing
// buffer's size. So the card's own gl_draw_text draws them into a texture
// of the viewport's size, again only when one of those changed, and each
// frame blends that one texture over the picture instead.
//
// The layer holds premultiplied colour. Cleared to transparent black, each
// quad adds its colour times its alpha and keeps (1 - alpha) of what is
// there, and alpha gathers the same way as coverage. Laid over the picture
// with ONE, ONE_MINUS_SRC_ALPHA, that gives what the quads would have
// blended into the frame one by one, to within the rounding of 8-bit steps
// (a quad too faint to move a frame's pixel by half a step still darkens
// the layer, which starts from white: about 1% of pixels differ by more
// than 4 levels).
// Only the boxes that hold text are laid over: elsewhere the layer is
// clear, and blending it would change nothing.
#include "text_layer.h"

#include <algorithm>
#include <cstdint>
#include <emscripten/html5.h>
#include <string>
#include <vector>

extern "C" {
void emscripten_glGenFramebuffers(GLsizei count, GLuint *framebuffers);
void emscripten_glBindFramebuffer(GLenum target, GLuint framebuffer);
void emscripten_glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                                       GLint level);
GLenum emscripten_glCheckFramebufferStatus(GLenum target);
void emscripten_glBlendFuncSeparate(GLenum source, GLenum destination, GLenum source_alpha,
                                    GLenum destination_alpha);
}

static const GLenum FRAMEBUFFER = 0x8D40, COLOR_ATTACHMENT0 = 0x8CE0, FRAMEBUFFER_COMPLETE = 0x8CD5;

struct layer_box {
    int bottom, top, left, right;  // texels from the bottom left, the last ones included
};

struct text_layer {
    GLuint texture, framebuffer;   // 0 until first composed
    int width, height;             // the viewport it was composed for
    std::string name;              // the name's bytes it shows
    bool usable;                   // false where the browser cannot render to it
    std::vector<layer_box> boxes;  // where it is not clear
};
static text_layer layer = {0, 0, 0, 0, {}, false, {}};

static std::string name_of(const app_state *app)
{
    return app->name_text ? std::string(app->name_text, (size_t)app->name_size) : std::string();
}

// Each texel of the layer lands on one pixel of the frame: nearest texels,
// a texture as big as the viewport.
static void size_layer(int width, int height)
{
    if (!layer.texture) {
        glGenTextures(1, &layer.texture);
        emscripten_glGenFramebuffers(1, &layer.framebuffer);
    }
    glBindTexture(GL_TEXTURE_2D, layer.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    emscripten_glBindFramebuffer(FRAMEBUFFER, layer.framebuffer);
    emscripten_glFramebufferTexture2D(FRAMEBUFFER, COLOR_ATTACHMENT0, GL_TEXTURE_2D, layer.texture, 0);
    layer.usable = emscripten_glCheckFramebufferStatus(FRAMEBUFFER) == FRAMEBUFFER_COMPLETE;
    emscripten_glBindFramebuffer(FRAMEBUFFER, 0);
    layer.width = width, layer.height = height;
}

// Read back once per composition: the runs of rows with any texel that is
// not clear, and in each, the runs of columns that have one (about a box a
// letter, shadow included).
static void find_boxes()
{
    std::vector<uint32_t> texels((size_t)layer.width * layer.height);
    glReadPixels(0, 0, layer.width, layer.height, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    std::vector<bool> rows(layer.height), columns(layer.width);
    for (int y = 0; y < layer.height; y++)
        for (int x = 0; x < layer.width; x++)
            rows[y] = rows[y] || texels[(size_t)y * layer.width + x];
    layer.boxes.clear();
    for (int bottom = 0, top; bottom < layer.height; bottom = top + 1) {
        for (top = bottom; top < layer.height && rows[top];)
            top++;
        if (top == bottom)
            continue;
        std::fill(columns.begin(), columns.end(), false);
        for (int y = bottom; y < top; y++)
            for (int x = 0; x < layer.width; x++)
                columns[x] = columns[x] || texels[(size_t)y * layer.width + x];
        for (int left = 0, right; left < layer.width; left = right + 1) {
            for (right = left; right < layer.width && columns[right];)
                right++;
            if (right > left)
                layer.boxes.push_back({bottom, top - 1, left, right - 1});
        }
    }
}

// A box of the layer onto the same pixels of the frame.
static void draw_box(const layer_box &box)
{
    float left = (float)box.left / layer.width, right = (float)(box.right + 1) / layer.width;
    float bottom = (float)box.bottom / layer.height, top = (float)(box.top + 1) / layer.height;
    glTexCoord2f(left, bottom);
    glVertex2f(left * 2 - 1, bottom * 2 - 1);
    glTexCoord2f(right, bottom);
    glVertex2f(right * 2 - 1, bottom * 2 - 1);
    glTexCoord2f(right, top);
    glVertex2f(right * 2 - 1, top * 2 - 1);
    glTexCoord2f(left, top);
    glVertex2f(left * 2 - 1, top * 2 - 1);
}

static void compose_layer(const app_state *app)
{
    layer.name = name_of(app);
    if (!layer.usable)
        return;
    emscripten_glBindFramebuffer(FRAMEBUFFER, layer.framebuffer);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    emscripten_glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    gl_draw_text(app);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);  // the card's own again
    find_boxes();
    emscripten_glBindFramebuffer(FRAMEBUFFER, 0);
}

void text_layer_draw(app_state *app)
{
    int width, height;  // the viewport's, which follows the drawing buffer
    emscripten_webgl_get_drawing_buffer_size(app->hrc, &width, &height);
    if (width != layer.width || height != layer.height) {
        size_layer(width, height);
        compose_layer(app);
    } else if (layer.name != name_of(app)) {
        compose_layer(app);
    }
    gl_draw_backdrop(app);
    if (!layer.usable) {
        gl_draw_text(app);  // the full frame, as the desktop draws it
        return;
    }
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, layer.texture);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    for (const layer_box &box : layer.boxes)
        draw_box(box);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

bool text_layer_frame(app_state *app)
{
    text_layer_draw(app);
    return window_swap(app);
}
