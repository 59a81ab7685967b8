// The colour ramp that palette-based RGBA formats get, on every platform.
#include "window.h"

#include <gtest/gtest.h>

namespace {

struct ramp_case {
    const char *label;
    unsigned index;
    channel_layout red, green, blue;
    palette_colour expected;
};

const channel_layout R3 = {3, 0}, G3 = {3, 3}, B2 = {2, 6}, NONE = {0, 0};

const ramp_case ramp_cases[] = {
    {"3-3-2 black", 0, R3, G3, B2, {0, 0, 0}},
    {"3-3-2 white", 255, R3, G3, B2, {255, 255, 255}},
    {"3-3-2 entry 9", 9, R3, G3, B2, {36, 36, 0}},
    {"3-3-2 blue only", 0xC0, R3, G3, B2, {0, 0, 255}},
    {"3-3-2 middle red", 4, R3, G3, B2, {145, 0, 0}},
    {"no blue bits", 255, R3, G3, NONE, {255, 255, 0}},
    {"no bits at all", 200, NONE, NONE, NONE, {0, 0, 0}},
    {"1-bit channels", 5, {1, 0}, {1, 1}, {1, 2}, {255, 0, 255}},
};

TEST(Palette, RampScalesEachChannelsBitsToFullRange)
{
    for (const ramp_case &c : ramp_cases) {
        SCOPED_TRACE(c.label);
        palette_colour got = palette_ramp_entry(c.index, c.red, c.green, c.blue);
        EXPECT_EQ(got.red, c.expected.red);
        EXPECT_EQ(got.green, c.expected.green);
        EXPECT_EQ(got.blue, c.expected.blue);
    }
}

}  // namespace
