// GL diagnostics, which report the next pending OpenGL error with where it
// was seen (never stopping the program; one error per call), and the one way
// the card opens the files it reads.
#include "card.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

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

FILE *card_open_input(const char *path, const char *mode, const char **problem)
{
    // Opening a pipe would wait for a writer, and a directory or a device is
    // no picture, tune or name: only regular files are opened. A file that
    // does not exist is left to fopen, which says so in the system's words.
    std::error_code ignored;
    std::filesystem::file_status status = std::filesystem::status(path, ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        *problem = "not a regular file";
        return nullptr;
    }
    FILE *file = fopen(path, mode);
    if (!file)
        *problem = strerror(errno);
    return file;
}
