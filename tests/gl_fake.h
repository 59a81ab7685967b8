// Link-time fakes for the GL 1.1 entry points the card's scene calls. The
// drawing calls and uploads are kept with their arguments, so tests read
// back what was drawn.
#pragma once

#include <GL/gl.h>
#include <string>
#include <vector>

struct gl_call {
    std::string name;
    std::vector<double> args;
};
extern std::vector<gl_call> gl_calls;
extern bool gl_recording;  // false: the fakes run but keep nothing
extern GLint gl_fake_max_texture_size;

void gl_fake_reset();
void gl_fake_queue_error(GLenum code);  // for a later glGetError
