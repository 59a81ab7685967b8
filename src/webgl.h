// The WebGL calls that the browser build's units make beyond OpenGL 1.1,
// under Emscripten's emscripten_gl* names (the desktop GL header declares
// none of them), and the WebGL names they take.
#pragma once
#include <GL/gl.h>

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
void emscripten_glGetProgramiv(GLuint program, GLenum name, GLint *value);
void emscripten_glUseProgram(GLuint program);
GLint emscripten_glGetUniformLocation(GLuint program, const char *name);
void emscripten_glUniform1i(GLint location, GLint value);
void emscripten_glUniform1f(GLint location, GLfloat x);
void emscripten_glUniform2f(GLint location, GLfloat x, GLfloat y);
void emscripten_glUniform3fv(GLint location, GLsizei count, const GLfloat *values);
void emscripten_glGenBuffers(GLsizei count, GLuint *buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, long size, const void *data, GLenum usage);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glDisableVertexAttribArray(GLuint index);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                      const void *offset);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
void emscripten_glGenFramebuffers(GLsizei count, GLuint *framebuffers);
void emscripten_glBindFramebuffer(GLenum target, GLuint framebuffer);
void emscripten_glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                                       GLint level);
GLenum emscripten_glCheckFramebufferStatus(GLenum target);
void emscripten_glBlendFuncSeparate(GLenum source, GLenum destination, GLenum source_alpha,
                                    GLenum destination_alpha);
}

static const GLenum ARRAY_BUFFER = 0x8892, STREAM_DRAW = 0x88E0, STATIC_DRAW = 0x88E4, CLAMP_TO_EDGE = 0x812F;
static const GLenum VERTEX_SHADER = 0x8B31, FRAGMENT_SHADER = 0x8B30, LINK_STATUS = 0x8B82;
static const GLenum FRAMEBUFFER = 0x8D40, COLOR_ATTACHMENT0 = 0x8CE0, FRAMEBUFFER_COMPLETE = 0x8CD5;

// A program of the two shaders, with the attributes at the locations given
// by their order, or 0 where it does not link (made by webgl_immediate.cpp,
// which draws the card's own).
GLuint webgl_program(const char *vertex_source, const char *fragment_source, const char *const *attributes,
                     GLuint attribute_count);
// TEXTURE as an empty WIDTH x HEIGHT RGBA image sampled at nearest texels,
// and the colour FRAMEBUFFER draws into (each made where 0); false where the
// browser cannot render to it. No framebuffer is left bound.
bool webgl_render_target(GLuint *texture, GLuint *framebuffer, int width, int height);
// Binds the card's own program and vertex layout again after another program drew.
void webgl_immediate_restore(void);
