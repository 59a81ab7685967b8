// OpenGL 1.1 as the card calls it, drawn with WebGL 1 in the browser build.
// WebGL has no immediate mode and no fixed-function pipeline: the card's
// quads are gathered here as complete vertices (position, texture
// coordinate, colour) and drawn as triangles by one small shader that does
// what the fixed pipeline does for the card, the colour modulated by the
// bound texture when texturing is on (or by a plainer one, where the colour
// is white: the texture alone). Only the calls WebGL lacks or treats
// differently are defined here; the card's other GL calls go to WebGL as
// they are, and this file reaches WebGL through its emscripten_gl* names.
#include "webgl.h"

#include <set>
#include <vector>

static const char VERTEX_SOURCE[] =
    "attribute vec3 position; attribute vec2 coord; attribute vec4 colour;\n"
    "varying vec2 v_coord; varying vec4 v_colour;\n"
    "void main() { gl_Position = vec4(position, 1.0); v_coord = coord; v_colour = colour; }\n";
// Texture coordinates reach -1 and beyond, and cells are 1/16 apart: high
// precision where the device has it.
#define PRECISION "#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\n#else\nprecision mediump float;\n#endif\n"
static const char FRAGMENT_SOURCE[] = PRECISION
    "uniform sampler2D picture; uniform bool textured;\n"
    "varying vec2 v_coord; varying vec4 v_colour;\n"
    "void main() { gl_FragColor = textured ? v_colour * texture2D(picture, v_coord) : v_colour; }\n";
// A textured quad in plain white is its texture: what each frame draws (the
// picture and the text layer), so that every pixel costs only its texel.
static const char PLAIN_VERTEX_SOURCE[] =
    "attribute vec3 position; attribute vec2 coord; varying vec2 v_coord;\n"
    "void main() { gl_Position = vec4(position, 1.0); v_coord = coord; }\n";
static const char PLAIN_FRAGMENT_SOURCE[] = PRECISION
    "uniform sampler2D picture; varying vec2 v_coord;\n"
    "void main() { gl_FragColor = texture2D(picture, v_coord); }\n";

struct vertex {
    float x, y, z, s, t, r, g, b, a;
};

// Quads are drawn in batches of this many; the card's text is some 19,000.
static const size_t BATCH_QUADS = 4096;

struct immediate_state {
    GLuint program, plain, in_use, buffer;  // plain: 0 where it does not link
    GLint textured_location;
    bool texturing;                // GL_TEXTURE_2D enabled
    GLuint bound;                  // the texture bound to GL_TEXTURE_2D
    std::set<GLuint> with_image;   // textures that hold an image
    vertex current;                // colour and texture coordinate for the next vertex
    vertex quad[4];
    int corners;                   // of the quad being given
    std::vector<vertex> triangles;
    bool white;                    // every vertex of the triangles in plain white
};
static immediate_state immediate = {0, 0, 0, 0, 0, false, 0, {}, {0, 0, 0, 0, 0, 1, 1, 1, 1}, {}, 0, {}, true};

static GLuint compile(GLenum type, const char *source)
{
    GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    return shader;
}

GLuint webgl_program(const char *vertex_source, const char *fragment_source, const char *const *attributes,
                     GLuint attribute_count)
{
    GLuint program = emscripten_glCreateProgram();
    emscripten_glAttachShader(program, compile(VERTEX_SHADER, vertex_source));
    emscripten_glAttachShader(program, compile(FRAGMENT_SHADER, fragment_source));
    for (GLuint i = 0; i < attribute_count; i++)
        emscripten_glBindAttribLocation(program, i, attributes[i]);
    emscripten_glLinkProgram(program);
    GLint linked = GL_FALSE;
    emscripten_glGetProgramiv(program, LINK_STATUS, &linked);
    return linked ? program : 0;
}

bool webgl_render_target(GLuint *texture, GLuint *framebuffer, int width, int height)
{
    if (!*texture)
        glGenTextures(1, texture);
    if (!*framebuffer)
        emscripten_glGenFramebuffers(1, framebuffer);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    emscripten_glBindFramebuffer(FRAMEBUFFER, *framebuffer);
    emscripten_glFramebufferTexture2D(FRAMEBUFFER, COLOR_ATTACHMENT0, GL_TEXTURE_2D, *texture, 0);
    bool complete = emscripten_glCheckFramebufferStatus(FRAMEBUFFER) == FRAMEBUFFER_COMPLETE;
    emscripten_glBindFramebuffer(FRAMEBUFFER, 0);
    return complete;
}

void webgl_immediate_restore(void)
{
    if (!immediate.buffer)
        return;  // not made yet: it binds all this when it is
    emscripten_glUseProgram(immediate.in_use = immediate.program);
    emscripten_glBindBuffer(ARRAY_BUFFER, immediate.buffer);
    const GLint sizes[3] = {3, 2, 4}, offsets[3] = {0, 3, 5};
    for (GLuint i = 0; i < 3; i++) {
        emscripten_glEnableVertexAttribArray(i);
        emscripten_glVertexAttribPointer(i, sizes[i], GL_FLOAT, GL_FALSE, sizeof(vertex),
                                         (const void *)(offsets[i] * sizeof(float)));
    }
}

// Made on first use, when the context is current.
static void prepare_drawing()
{
    if (immediate.buffer)
        return;
    const char *attributes[3] = {"position", "coord", "colour"};
    immediate.plain = webgl_program(PLAIN_VERTEX_SOURCE, PLAIN_FRAGMENT_SOURCE, attributes, 2);
    if (immediate.plain) {
        emscripten_glUseProgram(immediate.plain);
        emscripten_glUniform1i(emscripten_glGetUniformLocation(immediate.plain, "picture"), 0);
    }
    immediate.program = webgl_program(VERTEX_SOURCE, FRAGMENT_SOURCE, attributes, 3);
    emscripten_glGenBuffers(1, &immediate.buffer);
    webgl_immediate_restore();
    emscripten_glUniform1i(emscripten_glGetUniformLocation(immediate.program, "picture"), 0);
    immediate.textured_location = emscripten_glGetUniformLocation(immediate.program, "textured");
    immediate.triangles.reserve(BATCH_QUADS * 6);
}

// A texture without an image draws as the plain colour, as in OpenGL 1.1,
// where it would leave texturing off; WebGL would sample it as black.
static void draw_triangles()
{
    if (immediate.triangles.empty())
        return;
    bool textured = immediate.texturing && immediate.with_image.count(immediate.bound);
    GLuint program = textured && immediate.white && immediate.plain ? immediate.plain : immediate.program;
    if (program != immediate.in_use)
        emscripten_glUseProgram(immediate.in_use = program);
    if (program == immediate.program)
        emscripten_glUniform1i(immediate.textured_location, textured);
    emscripten_glBufferData(ARRAY_BUFFER, (long)(immediate.triangles.size() * sizeof(vertex)), immediate.triangles.data(), STREAM_DRAW);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, (GLsizei)immediate.triangles.size());
    immediate.triangles.clear();
    immediate.white = true;
}

extern "C" {

void glBegin(GLenum)  // GL_QUADS: the only primitive the card draws
{
    prepare_drawing();
    immediate.corners = 0;
}

void glEnd(void)
{
    draw_triangles();
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    immediate.current.r = red, immediate.current.g = green, immediate.current.b = blue, immediate.current.a = alpha;
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue)
{
    glColor4f(red, green, blue, 1.0f);
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    immediate.current.s = s, immediate.current.t = t;
}

// Each fourth vertex closes a quad: two triangles sharing its diagonal.
void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    vertex &corner = immediate.quad[immediate.corners++];
    corner = immediate.current;
    corner.x = x, corner.y = y, corner.z = z;
    immediate.white = immediate.white && corner.r == 1 && corner.g == 1 && corner.b == 1 && corner.a == 1;
    if (immediate.corners < 4)
        return;
    immediate.corners = 0;
    for (int i : {0, 1, 2, 0, 2, 3})
        immediate.triangles.push_back(immediate.quad[i]);
    if (immediate.triangles.size() >= BATCH_QUADS * 6)
        draw_triangles();
}

void glVertex2f(GLfloat x, GLfloat y)
{
    glVertex3f(x, y, 0.0f);
}

// Texturing and colour material are fixed-function switches WebGL does not
// have: the first is the shader's, the second means nothing without lighting.
void glEnable(GLenum cap)
{
    if (cap == GL_TEXTURE_2D)
        immediate.texturing = true;
    else if (cap != GL_COLOR_MATERIAL)
        emscripten_glEnable(cap);
}

void glBindTexture(GLenum target, GLuint texture)
{
    immediate.bound = texture;
    emscripten_glBindTexture(target, texture);
}

// WebGL keeps the image in the format it is given (an OpenGL 1.1 RGBA
// texture samples the same), and samples a texture whose sides are not
// powers of two as black if it repeats: such a one is clamped instead,
// which gives the same texels for coordinates from 0 to 1 when sampling
// the nearest texel, as the card does.
void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint border, GLenum format,
                  GLenum type, const void *pixels)
{
    emscripten_glTexImage2D(target, level, (GLint)format, width, height, border, format, type, pixels);
    if ((width & (width - 1)) || (height & (height - 1))) {
        emscripten_glTexParameteri(target, GL_TEXTURE_WRAP_S, CLAMP_TO_EDGE);
        emscripten_glTexParameteri(target, GL_TEXTURE_WRAP_T, CLAMP_TO_EDGE);
    }
    immediate.with_image.insert(immediate.bound);
}

}  // extern "C"
