// Link-time fakes for the GL 1.1 calls of the card's scene. glTexImage2D reads every byte a real upload would
// under the unpack alignment, and counts them: an upload past its buffer shows there and under AddressSanitizer.
#include "support.h"
#include "card.h"

std::vector<gl_call> gl_calls;
bool gl_recording = true;
GLint gl_fake_max_texture_size;
std::deque<GLenum> gl_fake_errors;
static GLint unpack_alignment;
static GLuint next_texture;

void gl_fake_reset()
{
    gl_calls.clear();
    gl_fake_errors.clear();
    gl_fake_max_texture_size = 8192, unpack_alignment = 4, next_texture = 1;
}

static void record(const char *name, std::initializer_list<double> args)
{
    if (gl_recording)
        gl_calls.push_back(gl_call{name, args});
}

extern "C" {
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("glColor4f", {r, g, b, a}); }
void glTexCoord2f(GLfloat s, GLfloat t) { record("glTexCoord2f", {s, t}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {r, g, b, a}); }
// What the tests do not read.
void glBegin(GLenum) {}  void glEnd(void) {}  void glClear(GLbitfield) {}
void glColor3f(GLfloat, GLfloat, GLfloat) {}  void glVertex2f(GLfloat, GLfloat) {}
void glEnable(GLenum) {}  void glBlendFunc(GLenum, GLenum) {}
void glBindTexture(GLenum, GLuint) {}  void glTexParameteri(GLenum, GLenum, GLint) {}
void glGenTextures(GLsizei n, GLuint *names) { for (GLsizei i = 0; i < n; i++) names[i] = next_texture++; }
void glDeleteTextures(GLsizei, const GLuint *) {}
void glGetIntegerv(GLenum name, GLint *value) { *value = name == GL_MAX_TEXTURE_SIZE ? gl_fake_max_texture_size : 0; }
void glPixelStorei(GLenum name, GLint value) { unpack_alignment = name == GL_UNPACK_ALIGNMENT ? value : unpack_alignment; }

// Recorded as: internal format, width, height, client format, bytes read.
void glTexImage2D(GLenum, GLint, GLint internal, GLsizei width, GLsizei height, GLint, GLenum format, GLenum, const void *pixels)
{
    size_t row = (size_t)width * (format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1);
    size_t bytes = pixels && width > 0 && height > 0 ? (row + unpack_alignment - 1) / unpack_alignment * unpack_alignment * (height - 1) + row : 0;
    for (size_t i = 0; i < bytes; i++)
        (void)((const volatile unsigned char *)pixels)[i];
    record("glTexImage2D", {(double)internal, (double)width, (double)height, (double)format, (double)bytes});
}

GLenum glGetError(void)
{
    GLenum code = gl_fake_errors.empty() ? GL_NO_ERROR : gl_fake_errors.front();
    if (code != GL_NO_ERROR)
        gl_fake_errors.pop_front();
    return code;
}
}  // extern "C"

bool window_swap(app_state *) { return true; }
