// What the tests share: pictures made in memory, the card's files in a fresh
// working folder, the recording GL fakes and an offscreen renderer.
#pragma once

#include <GL/gl.h>
#include <deque>
#include <string>
#include <vector>

struct test_image {
    int width, height, channels;
    std::vector<unsigned char> pixels;  // rows top first, tightly packed
};
test_image make_image(int width, int height, int channels, unsigned char fill);
bool write_png(const std::string &path, const test_image &image);
bool write_bytes(const std::string &path, const std::string &bytes);
std::string read_bytes(const std::string &path);
// Enters an empty folder of that name (with assets/) under the build tree.
void enter_fresh_folder(const std::string &name);
// The same, holding the test data's assets (tests/data/card) and a name file of these bytes.
void enter_card_folder(const std::string &folder, const std::string &name);

// The fakes keep the drawing calls and uploads with their arguments.
struct gl_call { std::string name; std::vector<double> args; };
extern std::vector<gl_call> gl_calls;
extern bool gl_recording;  // false: the fakes run but keep nothing
extern GLint gl_fake_max_texture_size;
extern std::deque<GLenum> gl_fake_errors;  // what glGetError returns next
void gl_fake_reset();

// A real GL 1.1 renderer without a display: an OSMesa context drawing into memory; its window_swap ends a frame.
bool offscreen_open(int width, int height);  // makes the context current
void offscreen_close();
test_image offscreen_frame();  // RGB, top row first
