// The shadowed bitmap text, read back from the recorded GL calls: where each
// glyph lands, which atlas cell it samples, and its 400-quad shadow.
#include "card.h"
#include "gl_recorder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

struct drawn_glyph {
    int code;                        // signed, from the atlas cell sampled
    float s0, t0, s1, t1;            // texture coordinates of the glyph quad
    float left, top, right, bottom;  // glyph quad corners
    std::vector<float> shadow_z;     // z of each shadow quad before it
    std::vector<float> shadow_dx;    // horizontal offset of each shadow quad
};

// Each glyph is its shadow quads (colour 0,0,0,0.1 then four corners),
// then a white colour and the glyph's own four corners.
std::vector<drawn_glyph> drawn_glyphs()
{
    std::vector<drawn_glyph> glyphs;
    std::vector<float> shadow_z, shadow_left;
    for (size_t i = 0; i < gl_calls.size(); i++) {
        const gl_call &call = gl_calls[i];
        if (call.name != "glColor4f")
            continue;
        if (i + 8 >= gl_calls.size()) {
            ADD_FAILURE() << "colour without its four corners at call " << i;
            break;
        }
        const std::vector<double> &tc0 = gl_calls[i + 1].args, &v0 = gl_calls[i + 2].args;
        const std::vector<double> &tc2 = gl_calls[i + 5].args, &v2 = gl_calls[i + 6].args;
        if (call.args[0] == 0.0f) {
            EXPECT_EQ(call.args, (std::vector<double>{0, 0, 0, 0.1f}));
            shadow_z.push_back((float)v0[2]);
            shadow_left.push_back((float)v0[0]);
            continue;
        }
        EXPECT_EQ(call.args, (std::vector<double>{1, 1, 1, 1}));
        drawn_glyph g;
        g.s0 = (float)tc0[0], g.t0 = (float)tc0[1], g.s1 = (float)tc2[0], g.t1 = (float)tc2[1];
        g.left = (float)v0[0], g.top = (float)v0[1], g.right = (float)v2[0], g.bottom = (float)v2[1];
        g.code = (int)lround(g.t0 * 16) * 16 + (int)lround(g.s0 * 16);
        g.shadow_z = shadow_z;
        for (float left : shadow_left)
            g.shadow_dx.push_back(left - g.left);
        glyphs.push_back(g);
        shadow_z.clear();
        shadow_left.clear();
    }
    return glyphs;
}

struct text_line {
    double baseline;
    std::string text;
};

std::vector<text_line> drawn_lines(const std::vector<drawn_glyph> &glyphs)
{
    std::vector<text_line> lines;
    for (const drawn_glyph &g : glyphs) {
        if (lines.empty() || lines.back().baseline != g.bottom)
            lines.push_back(text_line{g.bottom, ""});
        lines.back().text += (char)g.code;
    }
    return lines;
}

std::vector<drawn_glyph> draw(double y, const std::string &text)
{
    gl_recorder_reset();
    gl_draw_str(y, text.data(), text.size());
    return drawn_glyphs();
}

struct layout_case {
    const char *label;
    double y;
    std::string text;
    std::vector<text_line> lines;
};

const std::string letters_and_digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

const layout_case layout_cases[] = {
    {"greeting", 0.75, std::string(consumer_prefix, 40),
     {{0.75, "HAPPY HOLIDAYS"}, {0.53, "AND A HAPPY"}, {0.31, "NEW YEAR FROM"}}},
    {"forced breaks drop Q and 5", 0.75, letters_and_digits,
     {{0.75, "ABCDEFGHIJKLMNOP"}, {0.53, "RSTUVWXYZ01234"}, {0.31, "6789"}}},
    {"seventeenth character dropped", 0.0, "ABCDEFGHIJKLMNOPQ", {{0.0, "ABCDEFGHIJKLMNOP"}}},
    {"fifteenth on a later line dropped", 0.0, "ABCDEFGHIJKLMNOPQabcdefghijklmnX",
     {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, "abcdefghijklmn"}}},
    {"space after a break is drawn", 0.0, "ABCDEFGHIJKLMNOPQ R", {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, " R"}}},
    {"twenty spaces", 0.0, std::string(20, ' '), {{0.0, std::string(11, ' ')}, {-0.22, std::string(8, ' ')}}},
    {"space at index 10 is drawn", 0.0, "ABCDEFGHIJ KL", {{0.0, "ABCDEFGHIJ KL"}}},
    {"space at index 11 breaks", 0.0, "ABCDEFGHIJK L", {{0.0, "ABCDEFGHIJK"}, {-0.22, "L"}}},
    {"later line breaks at a space after 9 glyphs", 0.0, "ABCDEFGHIJKLMNOPQabcdefghi j",
     {{0.0, "ABCDEFGHIJKLMNOP"}, {-0.22, "abcdefghi"}, {-0.44, "j"}}},
    {"control bytes are drawn", 0.5, "A\nB\r", {{0.5, "A\nB\r"}}},
    {"lines go on below the viewport", -0.35, std::string(100, 'X'),
     {{-0.35, std::string(16, 'X')}, {-0.57, std::string(14, 'X')}, {-0.79, std::string(14, 'X')},
      {-1.01, std::string(14, 'X')}, {-1.23, std::string(14, 'X')}, {-1.45, std::string(14, 'X')},
      {-1.67, std::string(8, 'X')}}},
};

TEST(Text, LaysOutLinesByTheWrappingRules)
{
    for (const layout_case &c : layout_cases) {
        SCOPED_TRACE(c.label);
        std::vector<text_line> lines = drawn_lines(draw(c.y, c.text));
        ASSERT_EQ(lines.size(), c.lines.size());
        for (size_t i = 0; i < lines.size(); i++) {
            EXPECT_NEAR(lines[i].baseline, c.lines[i].baseline, 1e-6) << "line " << i;
            EXPECT_EQ(lines[i].text, c.lines[i].text) << "line " << i;
        }
    }
}

TEST(Text, GreetingIsFortyBytesWithoutTerminator)
{
    EXPECT_EQ(sizeof consumer_prefix, 40u);
    EXPECT_EQ(std::string(consumer_prefix, 40), "HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM");
}

TEST(Text, EmptyTextDrawsNothingAndReadsNothing)
{
    gl_recorder_reset();
    gl_draw_str(0.75, nullptr, 0);
    EXPECT_TRUE(gl_calls.empty());
}

// Left edges and tops are computed in double and rounded once to single
// precision; accumulating in single precision gives other values. Expected
// values were worked out independently of the card's code.
TEST(Text, VerticesAreDoubleLayoutRoundedToSinglePrecision)
{
    const float lefts[16] = {
        -0x1.ccccccp-1f, -0x1.947ae2p-1f, -0x1.5c28f6p-1f, -0x1.23d70ap-1f,
        -0x1.d70a3ep-2f, -0x1.666666p-2f, -0x1.eb851ep-3f, -0x1.0a3d7p-3f,
        -0x1.47ae14p-6f, 0x1.70a3d8p-4f,  0x1.99999ap-3f,  0x1.3d70a4p-2f,
        0x1.ae147ap-2f,  0x1.0f5c28p-1f,  0x1.47ae14p-1f,  0x1.8p-1f,
    };
    const float bottoms[4] = {0x1.8p-1f, 0x1.0f5c28p-1f, 0x1.3d70a4p-2f, 0x1.70a3d8p-4f};
    const float tops[4] = {0x1.e66666p-1f, 0x1.75c29p-1f, 0x1.051eb8p-1f, 0x1.28f5c2p-2f};

    std::vector<drawn_glyph> glyphs = draw(0.75, std::string(16 + 15 * 3, 'W'));
    ASSERT_EQ(glyphs.size(), 16u + 14 * 3);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(glyphs[i].left, lefts[i]) << "glyph " << i;
    for (int line = 0; line < 4; line++) {
        const drawn_glyph &first = glyphs[line == 0 ? 0 : 16 + 14 * (line - 1)];
        EXPECT_EQ(first.left, lefts[0]) << "line " << line;
        EXPECT_EQ(first.bottom, bottoms[line]) << "line " << line;
        EXPECT_EQ(first.top, tops[line]) << "line " << line;
    }
}

TEST(Text, GlyphQuadCornersRunClockwiseFromTopLeft)
{
    draw(0.75, "A");
    std::vector<const gl_call *> coords = gl_calls_named("glTexCoord2f");
    std::vector<const gl_call *> vertices = gl_calls_named("glVertex3f");
    ASSERT_EQ(vertices.size(), 401u * 4);
    const double s0 = 0.0625, t0 = 0.25, s1 = 0.125, t1 = 0.3125;  // 'A': column 1, row 4
    const std::vector<double> expected[4][2] = {
        {{s0, t0}, {-0.9f, 0.95f, 1.0f}},
        {{s1, t0}, {-0.8f, 0.95f, 1.0f}},
        {{s1, t1}, {-0.8f, 0.75f, 1.0f}},
        {{s0, t1}, {-0.9f, 0.75f, 1.0f}},
    };
    for (int corner = 0; corner < 4; corner++) {
        EXPECT_EQ(coords[1600 + corner]->args, expected[corner][0]) << "corner " << corner;
        EXPECT_EQ(vertices[1600 + corner]->args, expected[corner][1]) << "corner " << corner;
    }
}

TEST(Text, ShadowIsTwentyByTwentyTranslucentCopies)
{
    // The 20 horizontal offsets, each also the z of its quads.
    const float offsets[20] = {
        -0x1.47ae14p-7f, -0x1.26e978p-7f, -0x1.0624dep-7f, -0x1.cac084p-8f, -0x1.89374cp-8f,
        -0x1.47ae14p-8f, -0x1.0624dep-8f, -0x1.89374cp-9f, -0x1.0624dep-9f, -0x1.0624dep-10f,
        0x0p+0f,         0x1.0624dep-10f, 0x1.0624dep-9f,  0x1.89374cp-9f,  0x1.0624dep-8f,
        0x1.47ae14p-8f,  0x1.89374cp-8f,  0x1.cac084p-8f,  0x1.0624dep-7f,  0x1.26e978p-7f,
    };
    std::vector<drawn_glyph> glyphs = draw(0.75, "HI");
    ASSERT_EQ(glyphs.size(), 2u);
    for (const drawn_glyph &g : glyphs) {
        ASSERT_EQ(g.shadow_z.size(), 400u);
        for (int h = 0; h < 20; h++)
            for (int v = 0; v < 20; v++) {
                EXPECT_EQ(g.shadow_z[h * 20 + v], offsets[h]) << h << "," << v;
                EXPECT_NEAR(g.shadow_dx[h * 20 + v], offsets[h], 1e-6) << h << "," << v;
            }
    }
    // The very first shadow corner, exactly: (-0.9 - 0.01, 0.95 - 0.01).
    EXPECT_EQ(gl_calls_named("glVertex3f")[0]->args,
              (std::vector<double>{-0x1.d1eb86p-1f, 0x1.e147aep-1f, -0x1.47ae14p-7f}));
}

struct cell_case {
    unsigned char byte;
    float s0, t0;
};

// Bytes from 0x80 are signed: negative cells that the repeat wrap folds back.
const cell_case cell_cases[] = {
    {'A', 0.0625f, 0.25f},   {' ', 0.0f, 0.125f},     {'~', 0.875f, 0.4375f},
    {0x0A, 0.625f, 0.0f},    {0x7F, 0.9375f, 0.4375f}, {0xC1, -0.9375f, -0.1875f},
    {0x80, 0.0f, -0.5f},     {0xFF, -0.0625f, 0.0f},
};

TEST(Text, CharacterCodesSelectSignedAtlasCells)
{
    for (const cell_case &c : cell_cases) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << (int)c.byte);
        std::vector<drawn_glyph> glyphs = draw(0.0, std::string(1, (char)c.byte));
        ASSERT_EQ(glyphs.size(), 1u);
        EXPECT_EQ(glyphs[0].s0, c.s0);
        EXPECT_EQ(glyphs[0].t0, c.t0);
        EXPECT_EQ(glyphs[0].s1, c.s0 + 0.0625f);
        EXPECT_EQ(glyphs[0].t1, c.t0 + 0.0625f);
    }
}

}  // namespace
