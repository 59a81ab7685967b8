// GL diagnostics: reports the next pending OpenGL error with where it was seen.
// It never stops the program; one error is taken per call.
#include "card.h"

static const char *const gl_error_names[] = {
    "GL_INVALID_ENUM",      // 0x500
    "GL_INVALID_VALUE",     // 0x501
    "GL_INVALID_OPERATION", // 0x502
    "GL_STACK_OVERFLOW",    // 0x503
    "GL_STACK_UNDERFLOW",   // 0x504
    "GL_OUT_OF_MEMORY",     // 0x505
};

static const GLenum FIRST_NAMED_ERROR = 0x500;
static const GLenum LAST_NAMED_ERROR = 0x505;

void glCheckError(const char *where)
{
    GLenum code = glGetError();
    if (code == GL_NO_ERROR)
        return;
    // Codes without a name still get their line, with nothing after the colon.
    const char *name = "";
    if (code >= FIRST_NAMED_ERROR && code <= LAST_NAMED_ERROR)
        name = gl_error_names[code - FIRST_NAMED_ERROR];
    fprintf(stderr, "error at %s: %s\n", where, name);
}
