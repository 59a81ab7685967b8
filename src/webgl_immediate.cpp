// OpenGL 1.1 as the card calls it, drawn with WebGL 1 in the browser build.
// WebGL has no immediate mode and no fixed-function pipeline: the card's
// quads are gathered here as complete vertices (position, texture
// coordinate, colour) and drawn as triangles by one small shader that does
// what the fixed pipeline does for the card, the colour modulated by the
// bound texture when texturing is on. Only the calls WebGL lacks or treats
// differently are defined here; the card's other GL calls go to WebGL as
// they are, and this file reaches WebGL through its emscripten_gl* names.
#include <GL/gl.h>

#include <set>
#include <vector>

extern "C" {
void emscripten_glEnable(GLenum cap);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glTexParameteri(GLenum target, GLenum name, GLint value);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void *pixels);
GLuint emscripten_glCreateShader(GLenum type);
void emscripten_glShaderSource(GLuint shader, GLsizei count, const char *const *source, const GLint *length);
void emscripten_glCompileShader(GLuint shader);
GLuint emscripten_glCreateProgram(void);
void emscripten_glAttachShader(GLuint program, GLuint shader);
void emscripten_glBindAttribLocation(GLuint program, GLuint index, const char *name);
void emscripten_glLinkProgram(GLuint program);
void emscripten_glUseProgram(GLuint program);
GLint emscripten_glGetUniformLocation(GLuint program, const char *name);
void emscripten_glUniform1i(GLint location, GLint value);
void emscripten_glGenBuffers(GLsizei count, GLuint *buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, long size, const void *data, GLenum usage);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                      const void *offset);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
}

// WebGL names the desktop headers leave out.
static const GLenum ARRAY_BUFFER = 0x8892, STREAM_DRAW = 0x88E0, CLAMP_TO_EDGE = 0x812F;
static const GLenum VERTEX_SHADER = 0x8B31, FRAGMENT_SHADER = 0x8B30;

static const char VERTEX_SOURCE[] =
    "attribute vec3 position; attribute vec2 coord; attribute vec4 colour;\n"
    "varying vec2 v_coord; varying vec4 v_colour;\n"
    "void main() { gl_Position = vec4(position, 1.0); v_coord = coord; v_colour = colour; }\n";
// Texture coordinates reach -1 and beyond, and cells are 1/16 apart: high
// precision where the device has it.
static const char FRAGMENT_SOURCE[] =
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\n#else\nprecision mediump float;\n#endif\n"
    "uniform sampler2D picture; uniform bool textured;\n"
    "varying vec2 v_coord; varying vec4 v_colour;\n"
    "void main() { gl_FragColor = textured ? v_colour * texture2D(picture, v_coord) : v_colour; }\n";

struct vertex {
    float x, y, z, s, t, r, g, b, a;
};

// Quads are drawn in batches of this many; the card's text is some 19,000.
static const size_t BATCH_QUADS = 4096;

struct immediate_state {
    GLuint program, buffer;
    GLint textured_location;
    bool texturing;                // GL_TEXTURE_2D enabled
    GLuint bound;                  // the texture bound to GL_TEXTURE_2D
    std::set<GLuint> with_image;   // textures that hold an image
    vertex current;                // colour and texture coordinate for the next vertex
    vertex quad[4];
    int corners;                   // of the quad being given
    std::vector<vertex> triangles;
};
static immediate_state immediate = {0, 0, 0, false, 0, {}, {0, 0, 0, 0, 0, 1, 1, 1, 1}, {}, 0, {}};

static GLuint compile(GLenum type, const char *source)
{
    GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    return shader;
}

// Made on first use, when the context is current.
static void prepare_drawing()
{
    if (immediate.program)
        return;
    immediate.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(immediate.program, compile(VERTEX_SHADER, VERTEX_SOURCE));
    emscripten_glAttachShader(immediate.program, compile(FRAGMENT_SHADER, FRAGMENT_SOURCE));
    const char *attributes[3] = {"position", "coord", "colour"};
    for (GLuint i = 0; i < 3; i++)
        emscripten_glBindAttribLocation(immediate.program, i, attributes[i]);
    emscripten_glLinkProgram(immediate.program);
    emscripten_glUseProgram(immediate.program);
    emscripten_glUniform1i(emscripten_glGetUniformLocation(immediate.program, "picture"), 0);
    immediate.textured_location = emscripten_glGetUniformLocation(immediate.program, "textured");
    emscripten_glGenBuffers(1, &immediate.buffer);
    emscripten_glBindBuffer(ARRAY_BUFFER, immediate.buffer);
    const GLint sizes[3] = {3, 2, 4}, offsets[3] = {0, 3, 5};
    for (GLuint i = 0; i < 3; i++) {
        emscripten_glEnableVertexAttribArray(i);
        emscripten_glVertexAttribPointer(i, sizes[i], GL_FLOAT, GL_FALSE, sizeof(vertex),
                                         (const void *)(offsets[i] * sizeof(float)));
    }
    immediate.triangles.reserve(BATCH_QUADS * 6);
}

// A texture without an image draws as the plain colour, as in OpenGL 1.1,
// where it would leave texturing off; WebGL would sample it as black.
static void draw_triangles()
{
    if (immediate.triangles.empty())
        return;
    emscripten_glUniform1i(immediate.textured_location, immediate.texturing && immediate.with_image.count(immediate.bound));
    emscripten_glBufferData(ARRAY_BUFFER, (long)(immediate.triangles.size() * sizeof(vertex)), immediate.triangles.data(), STREAM_DRAW);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, (GLsizei)immediate.triangles.size());
    immediate.triangles.clear();
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
