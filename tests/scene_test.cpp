// The card's scene against the recording GL fakes: text layout, the exact vertices of glyphs and shadows,
// atlas cells, GL error lines, the palette ramp, and scene setup with good, odd and bad input files.
#include "card.h"
#include "support.h"
#include "window.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace testing::internal;  // CaptureStderr and friends

namespace {

struct drawn_glyph {
    int code;  // the cell it samples: row * 16 + column, from -128 to 127
    float left, bottom, top;
    std::vector<float> shadow_z, shadow_dx;  // of each shadow quad, in order
};

// The glyphs recorded from call first_call on: each is 400 shadow quads (a colour, then
// four corners of texture coordinate and vertex), then a white colour and its own four corners.
std::vector<drawn_glyph> glyphs_from(size_t first_call)
{
    std::vector<drawn_glyph> glyphs(1);
    for (size_t i = first_call; i + 9 <= gl_calls.size(); i += 9) {
        const std::vector<double> &colour = gl_calls[i].args, &st = gl_calls[i + 1].args, &v0 = gl_calls[i + 2].args,
                                  &st2 = gl_calls[i + 5].args, &v2 = gl_calls[i + 6].args;
        drawn_glyph &g = glyphs.back();
        if (colour == std::vector<double>{0, 0, 0, 0.1f}) {
            g.shadow_z.push_back((float)v0[2]), g.shadow_dx.push_back((float)v0[0]);
            continue;
        }
        EXPECT_EQ(colour, (std::vector<double>{1, 1, 1, 1}));
        g.left = (float)v0[0], g.top = (float)v0[1], g.bottom = (float)v2[1];
        g.code = (int)lround(st[1] * 16) * 16 + (int)lround(st[0] * 16);
        EXPECT_TRUE(g.code >= -128 && g.code < 128 && st2[0] == (float)(st[0] + 0.0625f) && st2[1] == (float)(st[1] + 0.0625f));
        for (float &dx : g.shadow_dx)
            dx -= g.left;
        glyphs.emplace_back();
    }
    glyphs.pop_back();
    EXPECT_EQ(gl_calls.size() - first_call, glyphs.size() * 401 * 9);
    return glyphs;
}

std::vector<drawn_glyph> draw(double y, const std::string &text)
{
    gl_fake_reset();
    gl_draw_str(y, text.data(), text.size());
    return glyphs_from(0);
}

// Where glyphs start on a line: worked out in double, independently of the card's code, and rounded once
// to single precision (sums kept in single precision give other values).
const float lefts[16] = {-0x1.ccccccp-1f, -0x1.947ae2p-1f, -0x1.5c28f6p-1f, -0x1.23d70ap-1f, -0x1.d70a3ep-2f,
                         -0x1.666666p-2f, -0x1.eb851ep-3f, -0x1.0a3d7p-3f,  -0x1.47ae14p-6f, 0x1.70a3d8p-4f,
                         0x1.99999ap-3f,  0x1.3d70a4p-2f,  0x1.ae147ap-2f,  0x1.0f5c28p-1f,  0x1.47ae14p-1f, 0x1.8p-1f};

using text_lines = std::vector<std::pair<double, std::string>>;  // baseline and text

// Glyphs in lines by their baselines, each glyph checked for where it starts on its line.
text_lines lines_of(const std::vector<drawn_glyph> &glyphs)
{
    text_lines lines;
    for (const drawn_glyph &g : glyphs) {
        if (lines.empty() || lines.back().first != g.bottom)
            lines.emplace_back(g.bottom, "");
        EXPECT_EQ(g.left, lefts[lines.back().second.size()]) << "glyph " << lines.back().second.size() << " of a line";
        lines.back().second += (char)g.code;
    }
    return lines;
}

const struct {
    double y;
    std::string text;
    text_lines lines;
} layout_cases[] = {
    {0.75, std::string(consumer_prefix, 40), {{0.75, "HAPPY HOLIDAYS"}, {0.53, "AND A HAPPY"}, {0.31, "NEW YEAR FROM"}}},
    // Forced breaks drop the Q and the 5.
    {0.75, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", {{0.75, "ABCDEFGHIJKLMNOP"}, {0.53, "RSTUVWXYZ01234"}, {0.31, "6789"}}},
    {0.0, "ABCDEFGHIJKLMNOPQabcdefghijklmnX", {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, "abcdefghijklmn"}}},
    {0.0, "ABCDEFGHIJKLMNOPQ R", {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, " R"}}},  // a space after a break is drawn
    {0.0, std::string(20, ' '), {{0.0, std::string(11, ' ')}, {-0.22, std::string(8, ' ')}}},
    {0.0, "ABCDEFGHIJ KL", {{0.0, "ABCDEFGHIJ KL"}}},
    {0.0, "ABCDEFGHIJK L", {{0.0, "ABCDEFGHIJK"}, {-0.22, "L"}}},
    {0.0, "ABCDEFGHIJKLMNOPQabcdefghi j", {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, "abcdefghi"}, {-0.44, "j"}}},
    {0.5, "A\nB\r", {{0.5, "A\nB\r"}}},  // control bytes are drawn
    // Bytes from 0x80 count as negative: cells that the atlas's repeat wrap folds back.
    {0.5, "~\x7F\x80\xC1\xFF", {{0.5, "~\x7F\x80\xC1\xFF"}}},
    {-0.35, std::string(100, 'X'),  // and lines go on below the viewport
     {{-0.35, std::string(16, 'X')}, {-0.57, std::string(14, 'X')}, {-0.79, std::string(14, 'X')}, {-1.01, std::string(14, 'X')},
      {-1.23, std::string(14, 'X')}, {-1.45, std::string(14, 'X')}, {-1.67, std::string(8, 'X')}}},
};

TEST(Text, LaysOutLinesByTheWrappingRules)
{
    for (const auto &c : layout_cases) {
        SCOPED_TRACE(c.text);
        text_lines lines = lines_of(draw(c.y, c.text));
        ASSERT_EQ(lines.size(), c.lines.size());
        for (size_t i = 0; i < lines.size(); i++)  // baselines exactly as single precision rounds them
            EXPECT_EQ(lines[i], std::make_pair((double)(float)c.lines[i].first, c.lines[i].second)) << "line " << i;
    }
}

// A name's glyphs from the card's atlas, one cell each, are its bytes: the same calls, line for line.
TEST(Text, AtlasGlyphsDrawAsTheirBytes)
{
    for (const auto &c : layout_cases) {
        SCOPED_TRACE(c.text);
        std::vector<name_glyph> glyphs;
        for (char byte : c.text)
            glyphs.push_back({GLYPH_FROM_ATLAS, (uint8_t)byte, 1});
        draw(c.y, c.text);
        std::vector<gl_call> from_bytes = gl_calls;
        gl_fake_reset();
        gl_draw_glyphs(c.y, glyphs.data(), glyphs.size(), GLYPH_FROM_ATLAS);
        ASSERT_EQ(gl_calls.size(), from_bytes.size());
        for (size_t i = 0; i < gl_calls.size(); i++)
            ASSERT_EQ(gl_calls[i].args, from_bytes[i].args) << "call " << i;
        gl_fake_reset();
        gl_draw_glyphs(c.y, glyphs.data(), glyphs.size(), GLYPH_FROM_PAGE);
        EXPECT_TRUE(gl_calls.empty());
    }
}

// The white quads of glyphs drawn from call 0 on (each after its 400 shadow quads): left, right, bottom and
// the atlas's s0, t0, s1, t1, to a millionth (the exact values are held above).
using glyph_quad = std::array<float, 7>;
std::vector<glyph_quad> to_millionths(std::vector<glyph_quad> quads)
{
    for (glyph_quad &q : quads)
        for (float &f : q)
            f = std::round(f * 1e6f) / 1e6f;
    return quads;
}

std::vector<glyph_quad> glyph_quads()
{
    std::vector<glyph_quad> quads;
    EXPECT_EQ(gl_calls.size() % (401 * 9), 0u);
    for (size_t i = 400 * 9; i + 9 <= gl_calls.size(); i += 401 * 9) {
        EXPECT_EQ(gl_calls[i].args, (std::vector<double>{1, 1, 1, 1}));
        const std::vector<double> &st = gl_calls[i + 1].args, &top_left = gl_calls[i + 2].args, &st2 = gl_calls[i + 5].args,
                                  &bottom_right = gl_calls[i + 6].args;
        quads.push_back({(float)top_left[0], (float)bottom_right[0], (float)bottom_right[1], (float)st[0], (float)st[1],
                         (float)st2[0], (float)st2[1]});
    }
    return to_millionths(quads);
}

// The page's glyphs: a glyph of n cells spans n - 1 advances and a cell, the letters of its word after it
// take no room, and each still counts for the line rules; a blank of the page's breaks no line.
TEST(Text, PageGlyphsSpanTheirCellsAndCountAsLetters)
{
    const name_glyph A = {GLYPH_FROM_ATLAS, 'A', 1}, SPACE = {GLYPH_FROM_ATLAS, ' ', 1}, BLANK = {GLYPH_FROM_PAGE, 0, 1},
                     REST = {GLYPH_FROM_PAGE, 0, 0};
    auto page = [](uint8_t code, uint8_t cells) { return name_glyph{GLYPH_FROM_PAGE, code, cells}; };
    // The right edge of a glyph of n cells at a line's first column: -0.9 + (n - 1) * 0.11 + 0.1.
    const float span1 = -0.8f, span2 = -0.69f, span16 = 0.85f;
    const struct {
        const char *label;
        std::vector<name_glyph> glyphs;
        std::vector<glyph_quad> page, atlas;  // what each source draws
    } cases[] = {
        {"cells, a joined word of three letters in two cells, atlas letters between",
         {page(5, 1), A, page(17, 2), REST, REST, A},
         {{lefts[0], span1, 0.5f, 0.3125f, 0, 0.375f, 0.0625f},
          {lefts[2], lefts[2] + (span2 - lefts[0]), 0.5f, 0.0625f, 0.0625f, 0.1875f, 0.125f}},
         {{lefts[1], lefts[1] + 0.1f, 0.5f, 0.0625f, 0.25f, 0.125f, 0.3125f}, {lefts[4], lefts[4] + 0.1f, 0.5f, 0.0625f, 0.25f, 0.125f, 0.3125f}}},
        {"a line of one word", {page(16, 16)}, {{lefts[0], span16, 0.5f, 0, 0.0625f, 1, 0.125f}}, {}},
        // Seventeen letters in one word: the 17th breaks the line, though the word takes four cells.
        {"a word's letters count", [&] { std::vector<name_glyph> g = {page(1, 4)}; g.insert(g.end(), 15, REST); g.push_back(page(2, 1)); return g; }(),
         {{lefts[0], lefts[3] + 0.1f, 0.5f, 0.0625f, 0, 0.3125f, 0.0625f}}, {}},
        {"a late atlas space breaks the line, a blank does not",
         {A, A, A, A, A, A, A, A, A, A, A, BLANK, A, SPACE, A},
         {{lefts[11], lefts[11] + 0.1f, 0.5f, 0, 0, 0.0625f, 0.0625f}},
         [&] { std::vector<glyph_quad> q; for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}) q.push_back({lefts[i], lefts[i] + 0.1f, 0.5f, 0.0625f, 0.25f, 0.125f, 0.3125f});
               q.push_back({lefts[0], lefts[0] + 0.1f, 0.5f - 0.22f, 0.0625f, 0.25f, 0.125f, 0.3125f}); return q; }()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        gl_fake_reset();
        gl_draw_glyphs(0.5, c.glyphs.data(), c.glyphs.size(), GLYPH_FROM_PAGE);
        EXPECT_EQ(glyph_quads(), to_millionths(c.page));
        gl_fake_reset();
        gl_draw_glyphs(0.5, c.glyphs.data(), c.glyphs.size(), GLYPH_FROM_ATLAS);
        EXPECT_EQ(glyph_quads(), to_millionths(c.atlas));
    }
}

// Whole frames after setup: each idle frame clears to the pulse one phase step on (after k steps
// 0.5 sin(0.01 k), as floats); the greeting and the name are drawn glyph for glyph on their baselines.
TEST(Frame, ClearsToEachPulseAndDrawsTheTextOnItsBaselines)
{
    enter_card_folder("frame", "AB");
    app_state app = {};
    gl_fake_reset();
    gl_setup(&app);
    for (int k = 1; k <= 629; k++) {  // one whole period
        window_advance_pulse(&app);
        gl_fake_reset();
        gl_loop(&app);
        double pulse = 0.5 * sin(k * 0.01);
        ASSERT_EQ(std::vector<float>(gl_calls[0].args.begin(), gl_calls[0].args.end()), (std::vector<float>{(float)(0.5 - pulse), (float)pulse, 0, 0})) << "idle frame " << k;
    }
    auto first_glyph = std::find_if(gl_calls.begin(), gl_calls.end(), [](const gl_call &c) { return c.name == "glColor4f"; });
    EXPECT_EQ(lines_of(glyphs_from(first_glyph - gl_calls.begin())),
              (text_lines{{(float)0.75, "HAPPY HOLIDAYS"}, {(float)0.53, "AND A HAPPY"}, {(float)0.31, "NEW YEAR FROM"}, {(float)-0.35, "AB"}}));
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text);
}

// The frame's calls with this name file (after setup), and the name as the card holds it.
std::pair<std::vector<gl_call>, std::string> frame_with_name(const std::string &bytes, bool windows_1252_only = false)
{
    enter_card_folder("twins", bytes);
    app_state app = {};
    app.name_is_windows_1252 = windows_1252_only;
    CaptureStdout(), CaptureStderr();
    gl_setup(&app);
    GetCapturedStdout(), GetCapturedStderr();
    gl_fake_reset();
    gl_loop(&app);
    std::string name(app.name_text ? app.name_text : "", app.name_size);
    stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text);
    return {gl_calls, name};
}

// A name saved as UTF-8, with or without the byte-order mark, draws call for call as the same name in
// Windows-1252; where the window layer says its name file is always Windows-1252, UTF-8 stays bytes.
TEST(Frame, AUtf8NameDrawsAsItsWindows1252Twin)
{
    const std::pair<std::string, std::string> twins[] = {
        {"Zo\xEB M\xFCller", "Zo\xC3\xAB M\xC3\xBCller"}, {"Lukasz \x8C", "\xC5\x81ukasz \xC5\x92"}, {"Ann", "Ann"}};
    for (const auto &[windows_1252, utf8] : twins) {
        SCOPED_TRACE(windows_1252);
        auto [calls, name] = frame_with_name(windows_1252);
        EXPECT_EQ(name, windows_1252);
        for (const std::string &file : {utf8, "\xEF\xBB\xBF" + utf8}) {
            auto [twin_calls, twin_name] = frame_with_name(file);
            EXPECT_EQ(twin_name, windows_1252);
            ASSERT_EQ(twin_calls.size(), calls.size());
            for (size_t i = 0; i < calls.size(); i++)
                ASSERT_EQ(twin_calls[i].args, calls[i].args) << "call " << i;
        }
    }
    EXPECT_EQ(frame_with_name("Zo\xC3\xAB", true).second, "Zo\xC3\xAB");
}

// Corners run clockwise from the top left; the shadow is 20 x 20 copies whose depth is their horizontal
// offset, under the glyph at depth 1. The expected values were worked out independently of the card's code.
TEST(Text, GlyphAndShadowQuadsAreExact)
{
    const float offsets[20] = {
        -0x1.47ae14p-7f, -0x1.26e978p-7f, -0x1.0624dep-7f, -0x1.cac084p-8f, -0x1.89374cp-8f, -0x1.47ae14p-8f,
        -0x1.0624dep-8f, -0x1.89374cp-9f, -0x1.0624dep-9f, -0x1.0624dep-10f, 0x0p+0f,        0x1.0624dep-10f,
        0x1.0624dep-9f,  0x1.89374cp-9f,  0x1.0624dep-8f,  0x1.47ae14p-8f,  0x1.89374cp-8f,  0x1.cac084p-8f,
        0x1.0624dep-7f,  0x1.26e978p-7f};
    std::vector<drawn_glyph> glyphs = draw(0.75, "A");  // column 1, row 4 of the atlas
    ASSERT_EQ(glyphs.size(), 1u);
    ASSERT_EQ(glyphs[0].shadow_z.size(), 400u);
    for (int q = 0; q < 400; q++) {
        EXPECT_EQ(glyphs[0].shadow_z[q], offsets[q / 20]) << "quad " << q;
        EXPECT_NEAR(glyphs[0].shadow_dx[q], offsets[q / 20], 1e-6) << "quad " << q;
    }
    // The first shadow corner, (-0.9 - 0.01, 0.95 - 0.01) at depth -0.01, and
    // the glyph's corners: texture coordinate, then vertex.
    EXPECT_EQ(gl_calls[2].args, (std::vector<double>{-0x1.d1eb86p-1f, 0x1.e147aep-1f, -0x1.47ae14p-7f}));
    const std::vector<double> corners[8] = {{0.0625, 0.25},   {-0.9f, 0.95f, 1}, {0.125, 0.25},    {-0.8f, 0.95f, 1},
                                            {0.125, 0.3125}, {-0.8f, 0.75f, 1}, {0.0625, 0.3125}, {-0.9f, 0.75f, 1}};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(gl_calls[400 * 9 + 1 + i].args, corners[i]) << "call " << i << " of the glyph's corners";
}

// Each call reports one pending error; codes without a name get none.
TEST(CheckError, PrintsOnePendingErrorWithItsName)
{
    const std::pair<std::vector<GLenum>, const char *> cases[] = {
        {{}, ""},
        {{0x500}, "GL_INVALID_ENUM"},     {{0x501, 0x505}, "GL_INVALID_VALUE"}, {{0x502}, "GL_INVALID_OPERATION"},
        {{0x503}, "GL_STACK_OVERFLOW"},   {{0x504}, "GL_STACK_UNDERFLOW"},    {{0x505}, "GL_OUT_OF_MEMORY"},
        {{0x506}, ""},                    {{0x4FF}, ""}};
    for (const auto &[pending, name] : cases) {
        gl_fake_reset();
        gl_fake_errors.assign(pending.begin(), pending.end());
        CaptureStderr();
        glCheckError("gl.cpp:7");
        EXPECT_EQ(GetCapturedStderr(), pending.empty() ? "" : std::string("error at gl.cpp:7: ") + name + "\n");
    }
    // The label names the project-relative source file and the line.
    gl_fake_errors = {0x502};
    CaptureStderr();
    int line = __LINE__ + 1;
    GL_CHECK();
    EXPECT_EQ(GetCapturedStderr(), "error at tests/scene_test.cpp:" + std::to_string(line) + ": GL_INVALID_OPERATION\n");
}

TEST(Palette, RampScalesEachChannelsBitsToFullRange)
{
    const channel_layout R3 = {3, 0}, G3 = {3, 3}, B2 = {2, 6}, NONE = {0, 0};
    const struct {
        unsigned index;
        channel_layout red, green, blue;
        std::vector<int> expected;
    } cases[] = {{0, R3, G3, B2, {0, 0, 0}},          {255, R3, G3, B2, {255, 255, 255}}, {9, R3, G3, B2, {36, 36, 0}},
                 {0xC0, R3, G3, B2, {0, 0, 255}},     {4, R3, G3, B2, {145, 0, 0}},       {255, R3, G3, NONE, {255, 255, 0}},
                 {200, NONE, NONE, NONE, {0, 0, 0}}, {5, {1, 0}, {1, 1}, {1, 2}, {255, 0, 255}}};
    for (const auto &c : cases) {
        palette_colour got = palette_ramp_entry(c.index, c.red, c.green, c.blue);
        EXPECT_EQ(std::vector<int>({got.red, got.green, got.blue}), c.expected) << "index " << c.index;
    }
}

void patch(const char *path, size_t at, const std::string &bytes)
{
    write_bytes(path, read_bytes(path).replace(at, bytes.size(), bytes));
}

const std::string high_bytes = [] { std::string bytes(128, 0); std::iota(bytes.begin(), bytes.end(), '\x80'); return bytes; }();

using upload = std::vector<double>;  // width, height, client format, bytes read
const upload BACKGROUND = {64, 48, GL_RGBA, 64 * 48 * 4}, ATLAS = {512, 512, GL_RGBA, 512 * 512 * 4};

// Every file the card reads, as a user might leave it, through scene setup: odd pictures each uploaded in
// their own format, reading exactly their pixels (odd widths make rows that are no multiple of four bytes);
// bad ones refused with one line while the rest loads. A picture row (path null) runs for each picture,
// with PATH in its message standing for it, and the loaded line naming it when it is the background.
const std::string IMAGE = "PATH: cannot load image: ", NAME = "name: cannot read the sender's name: ",
                  CUT = " bytes is more than the card can show; it draws the first 256\n";
std::string beyond_1252(int letters)
{
    return "name: UTF-8 letters beyond the card's lettering (" + std::to_string(letters) +
           ") are drawn as their base letters or \"?\"; the browser card draws them as written\n";
}
const std::string E_ACUTE = "\xC3\xA9";
const struct {
    const char *label, *path;
    void (*spoil)(const char *path);
    std::string message, name = "AB";
    upload uploaded = {};  // the spoiled picture's upload, if any
    std::string loaded = "";
} input_cases[] = {
    {"RGB", nullptr, [](const char *p) { write_png(p, make_image(13, 7, 3, 9)); }, "", "AB", {13, 7, GL_RGB, 13 * 7 * 3}},
    {"grey and alpha", nullptr, [](const char *p) { write_png(p, make_image(15, 5, 2, 9)); }, "", "AB", {15, 5, GL_LUMINANCE_ALPHA, 15 * 5 * 2}},
    {"grey", nullptr, [](const char *p) { write_png(p, make_image(5, 3, 1, 9)); }, "", "AB", {5, 3, GL_LUMINANCE, 5 * 3}},
    {"missing", nullptr, [](const char *p) { fs::remove(p); }, IMAGE + "No such file or directory\n"},
    {"a directory", nullptr, [](const char *p) { fs::remove(p), fs::create_directory(p); }, IMAGE + "not a regular file\n"},
    {"a pipe", nullptr, [](const char *p) { fs::remove(p), mkfifo(p, 0600); }, IMAGE + "not a regular file\n"},
    {"empty", nullptr, [](const char *p) { write_bytes(p, ""); }, IMAGE + "unknown image type\n"},
    {"not a PNG", nullptr, [](const char *p) { write_bytes(p, "GIF89a"); }, IMAGE + "unknown image type\n"},
    {"cut short", nullptr, [](const char *p) { write_bytes(p, read_bytes(p).substr(0, 100)); }, IMAGE + "corrupt or cut short\n"},
    {"7 bits a channel", nullptr, [](const char *p) { patch(p, 24, "\x07"); }, IMAGE + "1/2/4/8/16-bit only\n"},
    {"zero width", nullptr, [](const char *p) { patch(p, 16, std::string(4, '\0')); }, IMAGE + "0-pixel image\n"},
    {"huge", nullptr, [](const char *p) { patch(p, 16, std::string("\0\1\x86\xa0\0\1\x86\xa0", 8)); }, IMAGE + "too large\n"},
    {"an empty data chunk, as the fuzzer found", nullptr,
     [](const char *p) { write_bytes(p, read_bytes(CARD_SOURCE_DIR "/tests/fuzz/regressions/png_empty_data_chunk").substr(1)); },
     IMAGE + "corrupt or cut short\n"},
    {"wider than the renderer takes", nullptr, [](const char *p) { write_png(p, make_image(513, 1, 4, 0)), gl_fake_max_texture_size = 512; },
     "PATH: cannot use image: 513x1 exceeds the renderer's 512-texel limit\n", "AB", {}, "loaded 513x1x4 image\n"},
    {"with a line end", "name", [](const char *p) { write_bytes(p, "Noelle\n"); }, "", "Noelle\n"},
    {"empty", "name", [](const char *p) { write_bytes(p, ""); }, "", ""},
    {"bytes 0x80-0xFF", "name", [](const char *p) { write_bytes(p, high_bytes); }, "", high_bytes},
    {"CR LF line ends", "name", [](const char *p) { write_bytes(p, "A\r\nB\r\n"); }, "", "A\r\nB\r\n"},
    {"256 bytes", "name", [](const char *p) { write_bytes(p, std::string(256, 'x')); }, "", std::string(256, 'x')},
    {"257 bytes", "name", [](const char *p) { write_bytes(p, std::string(257, 'x')); }, "name: 257" + CUT, std::string(256, 'x')},
    {"over 2 GiB (sparse: no disk used)", "name", [](const char *p) { fs::resize_file(p, (uintmax_t)3 << 30); },
     "name: 3221225472" + CUT, "AB" + std::string(254, '\0')},
    // What today's editors save: UTF-8, with or without the byte-order mark, in the card's Windows-1252
    // letters; a letter it lacks as its base letter, else "?"; marks without a letter to hold them, none.
    {"UTF-8 with the byte-order mark", "name", [](const char *p) { write_bytes(p, "\xEF\xBB\xBFZo\xC3\xAB"); }, "", "Zo\xEB"},
    {"the byte-order mark alone", "name", [](const char *p) { write_bytes(p, "\xEF\xBB\xBF"); }, "", ""},
    {"UTF-8 in Windows-1252's letters", "name", [](const char *p) { write_bytes(p, "\xC5\x92 \xE2\x82\xAC \xC3\xBF\r\n"); }, "", "\x8C \x80 \xFF\r\n"},
    {"UTF-8 beyond them", "name",
     [](const char *p) { write_bytes(p, "\xD0\x9C\xD0\xB0 \xC5\x81 \xC7\x85 Nguy\xE1\xBB\x85n \xEF\xBC\xA1 e\xCC\x88 \xF0\x9F\x8E\x84\xE2\x80\x8F"); },
     beyond_1252(8), "?? L Dz Nguyen A e ?"},
    {"the byte-order mark, then no UTF-8", "name", [](const char *p) { write_bytes(p, "\xEF\xBB\xBFZo\xEB"); }, beyond_1252(1), "Zo?"},
    {"UTF-8 cut in a letter at 256 bytes", "name", [](const char *p) { std::string n = "a"; for (int i = 0; i < 128; i++) n += E_ACUTE; write_bytes(p, n); },
     "name: 257" + CUT, "a" + std::string(127, '\xE9')},
    {"Windows-1252 that looks like UTF-8 but for its end", "name", [](const char *p) { write_bytes(p, "\xC3\xA9\xC3"); }, "", "\xC3\xA9\xC3"},
    {"no UTF-8: a surrogate", "name", [](const char *p) { write_bytes(p, "\xED\xA0\x80"); }, "", "\xED\xA0\x80"},
    {"no UTF-8: an overlong slash", "name", [](const char *p) { write_bytes(p, "\xE0\x80\xAF"); }, "", "\xE0\x80\xAF"},
    {"no UTF-8: past U+10FFFF", "name", [](const char *p) { write_bytes(p, "\xF4\x90\x80\x80"); }, "", "\xF4\x90\x80\x80"},
    {"missing", "name", [](const char *p) { fs::remove(p); }, NAME + "No such file or directory\n", ""},
    {"a directory", "name", [](const char *p) { fs::remove(p), fs::create_directory(p); }, NAME + "not a regular file\n", ""},
    {"a pipe", "name", [](const char *p) { fs::remove(p), mkfifo(p, 0600); }, NAME + "not a regular file\n", ""},
};

TEST(Setup, EachInputIsUploadedOrRefusedWithOneLine)
{
    for (const auto &c : input_cases)
        for (std::string path : {CARD_BACKGROUND_PATH, CARD_FONT_PATH, CARD_NAME_PATH}) {
            if (c.path ? path != c.path : path == CARD_NAME_PATH)
                continue;
            SCOPED_TRACE(path + ": " + c.label);
            enter_card_folder("inputs", "AB");
            gl_fake_reset();
            c.spoil(path.c_str());
            app_state app = {};
            CaptureStdout(), CaptureStderr();
            gl_setup(&app);
            std::string out = GetCapturedStdout(), err = GetCapturedStderr(), message = c.message;
            EXPECT_EQ(err, message.find("PATH") == 0 ? message.replace(0, 4, path) : message);
            EXPECT_EQ(std::string(app.name_text ? app.name_text : "", app.name_size), c.name);
            upload background = !c.path && path == CARD_BACKGROUND_PATH ? c.uploaded : BACKGROUND;
            upload atlas = !c.path && path == CARD_FONT_PATH ? c.uploaded : ATLAS;
            std::vector<upload> made, expected = {background, atlas};
            expected.erase(std::remove(expected.begin(), expected.end(), upload{}), expected.end());
            for (const gl_call &call : gl_calls)
                if (call.name == "glTexImage2D" && call.args[0] == GL_RGBA)  // internal format
                    made.emplace_back(call.args.begin() + 1, call.args.end());
            EXPECT_EQ(made, expected);
            EXPECT_EQ(std::vector<bool>({app.background_texture != 0, app.font_texture != 0}),
                      std::vector<bool>({!background.empty(), !atlas.empty()}));
            const upload &b = background;
            EXPECT_EQ(out, b.empty() ? c.loaded : "loaded " + std::to_string((int)b[0]) + "x" + std::to_string((int)b[1]) + "x" +
                                                      std::to_string((int)(b[3] / b[0] / b[1])) + " image\n");
            stbi_image_free(app.background_pixels), stbi_image_free(app.font_pixels), free(app.name_text);
        }
}

// The glyphs a browser's page leaves for a name: read and their picture uploaded, or refused with one
// line, and then the name is drawn from its bytes. A name read before is let go.
TEST(Setup, NameGlyphsAreTakenOrRefusedWithOneLine)
{
    const std::string GOOD = std::string("\1\5\1\0A\1\1\x0E\2\1\0\0", 12), CANNOT = "name-cells: cannot draw the name's glyphs: ";
    const struct {
        const char *label;
        std::string cells;  // the glyph file's bytes, or "-" for none
        bool picture;
        std::string message;
        int glyphs;
    } cases[] = {
        {"none: a name in the atlas's letters", "-", true, "", 0},
        {"a cell, an atlas letter, a word of two cells", GOOD, true, "", 4},
        {"empty", "", true, "", 0},
        {"a glyph cut short", GOOD + "\1", true, CANNOT + "its length is not a whole number of glyphs\n", 0},
        {"more than the card reads", [] { std::string c; for (int i = 0; i < 257; i++) c += std::string("\0A\1", 3); return c; }(), true,
         CANNOT + "more glyphs than the card reads of a name\n", 0},
        {"a word past its row", std::string("\1\x0F\2", 3), true, CANNOT + "a glyph outside its atlas\n", 0},
        {"an atlas letter of two cells", std::string("\0A\2", 3), true, CANNOT + "a glyph outside its atlas\n", 0},
        {"an unknown source", std::string("\2\0\1", 3), true, CANNOT + "a glyph outside its atlas\n", 0},
        {"no picture", GOOD, false, "name-glyphs.png: cannot load image: No such file or directory\n", 0},
        {"a directory", "/", true, CANNOT + "not a regular file\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        enter_card_folder("glyphs", "AB");
        if (c.cells == "/")
            fs::create_directory(CARD_NAME_CELLS_PATH);
        else if (c.cells != "-")
            write_bytes(CARD_NAME_CELLS_PATH, c.cells);
        if (c.picture)
            write_png(CARD_NAME_GLYPHS_PATH, make_image(512, 512, 4, 255));
        app_state app = {};
        app.name_glyphs = (name_glyph *)malloc(3), app.name_glyph_count = 1;  // an earlier name's
        gl_fake_reset();
        CaptureStderr();
        gl_read_name_glyphs(&app);
        EXPECT_EQ(GetCapturedStderr(), c.message);
        EXPECT_EQ(app.name_glyph_count, c.glyphs);
        EXPECT_EQ(app.name_glyphs != nullptr, c.glyphs > 0);
        EXPECT_EQ(app.name_glyphs_read, 1u);
        if (c.glyphs) {
            EXPECT_EQ(std::string((const char *)app.name_glyphs, 3 * c.glyphs), c.cells);
        }
        bool uploaded = std::any_of(gl_calls.begin(), gl_calls.end(), [](const gl_call &call) {
            return call.name == "glTexImage2D" && call.args == std::vector<double>{GL_RGBA, 512, 512, GL_RGBA, 512 * 512 * 4};
        });
        EXPECT_EQ(uploaded, c.glyphs > 0);
        EXPECT_EQ(app.glyph_texture != 0, c.glyphs > 0);
        // The frame draws the greeting's 38 letters and the name: its glyphs where they were taken, else "AB".
        app.name_text = (char *)"AB", app.name_size = 2;
        gl_fake_reset();
        gl_draw_text(&app);
        long letters = std::count_if(gl_calls.begin(), gl_calls.end(), [](const gl_call &call) { return call.args == std::vector<double>{1, 1, 1, 1}; });
        EXPECT_EQ(letters, 38 + (c.glyphs ? 3 : 2));
        free(app.name_glyphs);
    }
}

}  // namespace
