// Frame-time benchmarks on OSMesa (a software GL 1.1 renderer, no display):
// the card's whole frame at three window sizes and with names of four
// lengths, and the same GL work issued by a bare loop with nothing of the
// card around it, so the card's own overhead shows as a ratio.
#include "card.h"
#include "support.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <stb_image.h>

namespace fs = std::filesystem;

// Works in a folder of its own that holds the shipped assets and a name of
// the given length.
static void prepare_card(app_state *app, int name_length)
{
    fs::path dir = fs::path(CARD_BENCH_DIR) / ("name" + std::to_string(name_length));
    fs::create_directories(dir);
    fs::copy(fs::path(CARD_SOURCE_DIR) / "assets", dir / "assets",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::string name;
    for (int i = 0; i < name_length; i++)
        name += (char)('A' + i % 26);
    write_bytes((dir / "name").string(), name);
    fs::current_path(dir);
    // The "loaded" line would fall among the figures.
    fflush(stdout);
    int kept = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    gl_setup(app);
    fflush(stdout);
    dup2(kept, 1);
    close(kept);
    close(null);
}

static void release_card(app_state *app)
{
    stbi_image_free(app->background_pixels);
    stbi_image_free(app->font_pixels);
    free(app->name_text);
}

// An offscreen context of the case's size with the card set up in it.
static bool open_card(benchmark::State &state, app_state *app)
{
    if (!offscreen_open((int)state.range(0), (int)state.range(1))) {
        state.SkipWithError("OSMesa context");
        return false;
    }
    prepare_card(app, (int)state.range(2));
    return true;
}

static void card_frame(benchmark::State &state)
{
    app_state app = {};
    if (!open_card(state, &app))
        return;
    double phase = 0;
    for (auto _ : state) {
        phase += 0.01;
        app.pulse = sin(phase) * 0.5;
        gl_loop(&app);  // its window_swap finishes the frame
    }
    // The shipped card at its own size is the picture in the README.
    if (state.range(0) == 640 && state.range(2) == 9)
        write_png(std::string(CARD_BENCH_DIR) + "/card.png", offscreen_frame());
    release_card(&app);
    offscreen_close();
}

// The card's vertices, worked out once, then sent each frame by a plain
// loop: one clear, the background quad, and every glyph's 400 shadow quads
// and its own, in the same immediate-mode calls. Glyphs stand where the
// card puts them: the greeting's three lines, then the name from -0.35 in
// lines of 16 and then 14 (one character lost at each break).
struct bare_vertex {
    float s, t, x, y, z;
};

static void add_line(std::vector<bare_vertex> *vertices, float bottom, int glyphs)
{
    for (int g = 0; g < glyphs; g++) {
        float left = -0.9f + 0.11f * (float)g, s0 = 0.0625f * (float)(g % 16), t0 = 0.25f;
        for (int copy = 0; copy <= 400; copy++) {
            float dx = copy < 400 ? -0.01f + 0.001f * (float)(copy / 20) : 0;
            float dy = copy < 400 ? -0.01f + 0.001f * (float)(copy % 20) : 0;
            float z = copy < 400 ? dx : 1.0f;
            vertices->push_back({s0, t0, left + dx, bottom + 0.2f + dy, z});
            vertices->push_back({s0 + 0.0625f, t0, left + 0.1f + dx, bottom + 0.2f + dy, z});
            vertices->push_back({s0 + 0.0625f, t0 + 0.0625f, left + 0.1f + dx, bottom + dy, z});
            vertices->push_back({s0, t0 + 0.0625f, left + dx, bottom + dy, z});
        }
    }
}

static std::vector<bare_vertex> bare_text_vertices(int name_length)
{
    std::vector<bare_vertex> vertices;
    add_line(&vertices, 0.75f, 14);
    add_line(&vertices, 0.53f, 11);
    add_line(&vertices, 0.31f, 13);
    float bottom = -0.35f;
    for (int left = std::min(name_length, 256), room = 16; left > 0; room = 14, bottom -= 0.22f) {
        add_line(&vertices, bottom, std::min(left, room));
        left -= room + 1;
    }
    return vertices;
}

static void bare_frame(benchmark::State &state)
{
    app_state app = {};
    if (!open_card(state, &app))  // the same textures and GL state
        return;
    std::vector<bare_vertex> text = bare_text_vertices((int)state.range(2));
    float phase = 0;
    for (auto _ : state) {
        phase += 0.01f;
        float pulse = 0.5f * sinf(phase);
        glClearColor(0.5f - pulse, pulse, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, app.background_texture);
        glColor3f(1, 1, 1);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex2f(-1, 1), glTexCoord2f(1, 0), glVertex2f(1, 1);
        glTexCoord2f(1, 1), glVertex2f(1, -1), glTexCoord2f(0, 1), glVertex2f(-1, -1);
        glEnd();
        glBindTexture(GL_TEXTURE_2D, app.font_texture);
        glBegin(GL_QUADS);
        for (size_t i = 0; i < text.size(); i++) {
            if (i % 4 == 0)
                i % 1604 == 1600 ? glColor4f(1, 1, 1, 1) : glColor4f(0, 0, 0, 0.1f);
            glTexCoord2f(text[i].s, text[i].t);
            glVertex3f(text[i].x, text[i].y, text[i].z);
        }
        glEnd();
        glBindTexture(GL_TEXTURE_2D, 0);
        glFinish();
    }
    release_card(&app);
    offscreen_close();
}

// Window sizes with the shipped name's length, then name lengths at 640 x 480.
static void frame_cases(benchmark::internal::Benchmark *b)
{
    b->Args({640, 480, 9})->Args({1280, 960, 9})->Args({1920, 1080, 9});
    b->Args({640, 480, 0})->Args({640, 480, 16})->Args({640, 480, 64})->Args({640, 480, 256});
    b->ArgNames({"width", "height", "name"})->Unit(benchmark::kMillisecond);
    b->Repetitions(3)->ReportAggregatesOnly(true)->MinTime(0.3)->UseRealTime();
}

BENCHMARK(card_frame)->Apply(frame_cases);
BENCHMARK(bare_frame)->Apply(frame_cases);
BENCHMARK_MAIN();
