// The browser card's frames for its video. A video encoder takes I420 in
// BT.601's limited range (what players and messengers expect of H.264; a
// frame made straight from the canvas would be full range), so small
// shaders make those bytes where the pixels are. A frame of the card is its
// layer (the picture and the text, premultiplied) over the pulse's colour;
// the shaders lay one over the other as they read each texel, as the
// frame's own blending does, and write the bytes into a texture a quarter of
// the frame's width and one and a half times its height, one texel four
// bytes of I420 in memory order (the rows of Y; then U, two of its rows to a
// texel row; then V), which one read gives back as they are. Chroma is the
// mean of each 2 x 2 block. (Drawing the frame first and reading that,
// copying the canvas, or reading each texel of a block on its own, costs
// more than the rest in a software renderer.)
#include "video_frame.h"
#include "card.h"
#include "webgl.h"

#include <algorithm>
#include <vector>

static const char VERTEX_SOURCE[] =
    "attribute vec2 corner;\n"
    "void main() { gl_Position = vec4(corner, 0.0, 1.0); }\n";
// gl_FragCoord is the target texel's centre: x to a quarter of the width,
// y the row of bytes from the first. The layer's rows are bottom first, the
// video's top first. Each pass reads texels as they are.
#define FRAME_SOURCE                                                                  \
    "precision highp float;\n"                                                       \
    "uniform sampler2D layer; uniform vec2 size; uniform vec3 pulse;\n"              \
    "vec3 texel(float column, float row) {\n"                                        \
    "  vec4 over = texture2D(layer, vec2(column + 0.5, size.y - row - 0.5) / size);\n" \
    "  return over.rgb + (1.0 - over.a) * pulse;\n"                                   \
    "}\n"
static const char LUMA_SOURCE[] = FRAME_SOURCE
    "float luma(float column, float row) {\n"
    "  return (16.0 + dot(texel(column, row), vec3(65.481, 128.553, 24.966))) / 255.0;\n"
    "}\n"
    "void main() {\n"
    "  float x = floor(gl_FragCoord.x) * 4.0, row = floor(gl_FragCoord.y);\n"
    "  gl_FragColor = vec4(luma(x, row), luma(x + 1.0, row), luma(x + 2.0, row), luma(x + 3.0, row));\n"
    "}\n";
// A plane of chroma (WEIGHTS make it U or V) from target row FIRST_ROW on,
// two of its rows to a target row. The layer is sampled bilinearly here, at
// the corner the four texels of a block share, which gives their mean (and
// laid over the pulse, the mean of the four pixels).
static const char CHROMA_SOURCE[] = FRAME_SOURCE
    "uniform vec3 weights; uniform float first_row;\n"
    "float chroma(float column, float row) {\n"
    "  return (128.0 + dot(texel(2.0 * column + 0.5, 2.0 * row + 0.5), weights)) / 255.0;\n"
    "}\n"
    "void main() {\n"
    "  float x = floor(gl_FragCoord.x) * 4.0, half_width = size.x / 2.0;\n"
    "  float row = 2.0 * (floor(gl_FragCoord.y) - first_row) + (x < half_width ? 0.0 : 1.0);\n"
    "  x = mod(x, half_width);\n"
    "  gl_FragColor = vec4(chroma(x, row), chroma(x + 1.0, row), chroma(x + 2.0, row), chroma(x + 3.0, row));\n"
    "}\n";
// BT.601's chroma, for R, G and B from 0 to 1.
static const GLfloat U_WEIGHTS[3] = {-37.797f, -74.203f, 112.0f}, V_WEIGHTS[3] = {112.0f, -93.786f, -18.214f};

struct video_frames {
    GLuint luma, chroma;  // the passes' programs, 0 where one does not link
    GLint size[2], pulse[2], chroma_weights, chroma_first_row;  // the passes' uniforms
    GLuint corners, planes, framebuffer;  // 0 until first used
    int width, height;    // of the frame the planes were made for
    bool usable;          // false where a shader or the framebuffer does not work here
    std::vector<unsigned char> bytes;
};
static video_frames video = {0, 0, {0, 0}, {0, 0}, 0, 0, 0, 0, 0, 0, 0, false, {}};

// A pass's program, the layer on texture unit 0; where its size and pulse uniforms are.
static GLuint pass_program(const char *fragment_source, GLint *size, GLint *pulse)
{
    const char *attributes[1] = {"corner"};
    GLuint program = webgl_program(VERTEX_SOURCE, fragment_source, attributes, 1);
    emscripten_glUseProgram(program);
    emscripten_glUniform1i(emscripten_glGetUniformLocation(program, "layer"), 0);
    *size = emscripten_glGetUniformLocation(program, "size");
    *pulse = emscripten_glGetUniformLocation(program, "pulse");
    return program;
}

static void prepare(int width, int height)
{
    if (!video.corners) {
        video.luma = pass_program(LUMA_SOURCE, &video.size[0], &video.pulse[0]);
        video.chroma = pass_program(CHROMA_SOURCE, &video.size[1], &video.pulse[1]);
        video.chroma_weights = emscripten_glGetUniformLocation(video.chroma, "weights");
        video.chroma_first_row = emscripten_glGetUniformLocation(video.chroma, "first_row");
        const GLfloat corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
        emscripten_glGenBuffers(1, &video.corners);
        emscripten_glBindBuffer(ARRAY_BUFFER, video.corners);
        emscripten_glBufferData(ARRAY_BUFFER, sizeof corners, corners, STATIC_DRAW);
        webgl_immediate_restore();  // also where the passes turn out unusable: the card draws on
    }
    if (width == video.width && height == video.height)
        return;
    video.usable = webgl_render_target(&video.planes, &video.framebuffer, width / 4, height * 3 / 2) &&
                   video.luma && video.chroma;
    video.width = width, video.height = height;
    video.bytes.resize((size_t)width * height * 3 / 2);
}

// How the bound layer is sampled.
static void set_filter(GLint filter)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

// PASS's program with its size and pulse.
static void use_pass(int pass, GLuint program, int width, int height, const GLfloat pulse[3])
{
    emscripten_glUseProgram(program);
    emscripten_glUniform2f(video.size[pass], (GLfloat)width, (GLfloat)height);
    emscripten_glUniform3fv(video.pulse[pass], 1, pulse);
}

// The rows from FIRST_ROW of the planes' texture: one quad over them.
static void draw_rows(int first_row, int rows, int width)
{
    glViewport(0, first_row, width / 4, rows);
    emscripten_glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// The three planes, with the card's blending off, so that each texel is
// written as its pass gives it. The viewport is left to the caller; the
// layer is sampled as it was, nearest texels, again.
static void draw_planes(int width, int height, const GLfloat pulse[3])
{
    emscripten_glBindBuffer(ARRAY_BUFFER, video.corners);
    emscripten_glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    emscripten_glDisableVertexAttribArray(1);
    emscripten_glDisableVertexAttribArray(2);
    glDisable(GL_BLEND);
    use_pass(0, video.luma, width, height, pulse);
    draw_rows(0, height, width);
    set_filter(GL_LINEAR);
    use_pass(1, video.chroma, width, height, pulse);
    const GLfloat *weights[2] = {U_WEIGHTS, V_WEIGHTS};
    for (int plane = 0; plane < 2; plane++) {
        int first_row = height + plane * height / 4;
        emscripten_glUniform3fv(video.chroma_weights, 1, weights[plane]);
        emscripten_glUniform1f(video.chroma_first_row, (GLfloat)first_row);
        draw_rows(first_row, height / 4, width);
    }
    set_filter(GL_NEAREST);
    glEnable(GL_BLEND);
    webgl_immediate_restore();
}

const unsigned char *video_frame_planes(GLuint layer, card_colour pulse, int width, int height)
{
    prepare(width, height);
    if (!video.usable)
        return nullptr;
    // OpenGL clamps a clear colour to 0..1.
    const GLfloat clamped[3] = {std::clamp(pulse.red, 0.0f, 1.0f), std::clamp(pulse.green, 0.0f, 1.0f),
                                std::clamp(pulse.blue, 0.0f, 1.0f)};
    glBindTexture(GL_TEXTURE_2D, layer);
    emscripten_glBindFramebuffer(FRAMEBUFFER, video.framebuffer);
    draw_planes(width, height, clamped);
    glReadPixels(0, 0, width / 4, height * 3 / 2, GL_RGBA, GL_UNSIGNED_BYTE, video.bytes.data());
    emscripten_glBindFramebuffer(FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    GL_CHECK();
    return video.bytes.data();
}
