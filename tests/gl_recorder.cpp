// Recording fakes for the GL calls of the card, and a window_swap that only
// counts. glTexImage2D reads every byte that a real upload would read under
// the current unpack alignment, so an upload past its buffer shows up under
// AddressSanitizer as well as in the recorded byte count.
#include "gl_recorder.h"
#include "card.h"

#include <deque>
#include <initializer_list>

std::vector<gl_call> gl_calls;
GLint gl_fake_max_texture_size = 8192;
int gl_fake_swaps;
bool gl_recording = true;

static std::deque<GLenum> pending_errors;
static GLint unpack_alignment = 4;
static GLuint next_texture = 1;

void gl_recorder_reset()
{
    gl_calls.clear();
    pending_errors.clear();
    gl_fake_max_texture_size = 8192;
    gl_fake_swaps = 0;
    unpack_alignment = 4;
    next_texture = 1;
}

void gl_fake_queue_error(GLenum code)
{
    pending_errors.push_back(code);
}

std::vector<const gl_call *> gl_calls_named(const std::string &name)
{
    std::vector<const gl_call *> found;
    for (const gl_call &call : gl_calls)
        if (call.name == name)
            found.push_back(&call);
    return found;
}

static void record(const char *name, std::initializer_list<double> args = {})
{
    if (!gl_recording)
        return;
    gl_calls.push_back(gl_call{name, std::vector<double>(args)});
}

static int components(GLenum format)
{
    switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
    }
}

static size_t touch_upload(GLsizei width, GLsizei height, GLenum format, const void *pixels)
{
    if (!pixels || width <= 0 || height <= 0)
        return 0;
    size_t row = (size_t)width * components(format);
    size_t stride = (row + unpack_alignment - 1) / unpack_alignment * unpack_alignment;
    size_t bytes = stride * (height - 1) + row;
    const volatile unsigned char *p = (const unsigned char *)pixels;
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; i++)
        sum += p[i];
    (void)sum;
    return bytes;
}

extern "C" {

void glBegin(GLenum mode) { record("glBegin", {(double)mode}); }
void glEnd(void) { record("glEnd"); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {r, g, b}); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("glColor4f", {r, g, b, a}); }
void glTexCoord2f(GLfloat s, GLfloat t) { record("glTexCoord2f", {s, t}); }
void glVertex2f(GLfloat x, GLfloat y) { record("glVertex2f", {x, y}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glEnable(GLenum cap) { record("glEnable", {(double)cap}); }
void glBlendFunc(GLenum s, GLenum d) { record("glBlendFunc", {(double)s, (double)d}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {r, g, b, a}); }
void glClear(GLbitfield mask) { record("glClear", {(double)mask}); }
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {(double)x, (double)y, (double)w, (double)h}); }
void glBindTexture(GLenum target, GLuint texture) { record("glBindTexture", {(double)target, (double)texture}); }
void glTexParameteri(GLenum target, GLenum name, GLint value) { record("glTexParameteri", {(double)target, (double)name, (double)value}); }

void glPixelStorei(GLenum name, GLint value)
{
    if (name == GL_UNPACK_ALIGNMENT)
        unpack_alignment = value;
    record("glPixelStorei", {(double)name, (double)value});
}

void glGenTextures(GLsizei n, GLuint *textures)
{
    for (GLsizei i = 0; i < n; i++)
        textures[i] = next_texture++;
    record("glGenTextures", {(double)n});
}

void glGetIntegerv(GLenum name, GLint *value)
{
    *value = name == GL_MAX_TEXTURE_SIZE ? gl_fake_max_texture_size : 0;
}

// Recorded as: internal format, width, height, format, bytes read.
void glTexImage2D(GLenum, GLint, GLint internal, GLsizei width, GLsizei height, GLint,
                  GLenum format, GLenum, const void *pixels)
{
    size_t bytes = touch_upload(width, height, format, pixels);
    record("glTexImage2D", {(double)internal, (double)width, (double)height, (double)format, (double)bytes});
}

GLenum glGetError(void)
{
    if (pending_errors.empty())
        return GL_NO_ERROR;
    GLenum code = pending_errors.front();
    pending_errors.pop_front();
    return code;
}

}  // extern "C"

bool window_swap(app_state *)
{
    gl_fake_swaps++;
    return true;
}
