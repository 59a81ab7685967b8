// Link-time fakes for the GL 1.1 entry points the card calls: each call is
// recorded with its arguments so tests can read back what was drawn.
#pragma once

#include <GL/gl.h>
#include <string>
#include <vector>

struct gl_call {
    std::string name;
    std::vector<double> args;
};

extern std::vector<gl_call> gl_calls;
extern GLint gl_fake_max_texture_size;
extern int gl_fake_swaps;
extern bool gl_recording;  // false: the fakes run but keep no calls

void gl_recorder_reset();
void gl_fake_queue_error(GLenum code);  // returned by the next glGetError
std::vector<const gl_call *> gl_calls_named(const std::string &name);
