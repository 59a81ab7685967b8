// glCheckError: one pending error per call, named when it has a name.
#include "card.h"
#include "gl_recorder.h"

#include <gtest/gtest.h>

namespace {

std::string check_output(const char *where)
{
    testing::internal::CaptureStderr();
    glCheckError(where);
    return testing::internal::GetCapturedStderr();
}

struct error_case {
    GLenum code;
    const char *printed;
};

const error_case error_cases[] = {
    {GL_NO_ERROR, ""},
    {0x500, "error at gl.cpp:7: GL_INVALID_ENUM\n"},
    {0x501, "error at gl.cpp:7: GL_INVALID_VALUE\n"},
    {0x502, "error at gl.cpp:7: GL_INVALID_OPERATION\n"},
    {0x503, "error at gl.cpp:7: GL_STACK_OVERFLOW\n"},
    {0x504, "error at gl.cpp:7: GL_STACK_UNDERFLOW\n"},
    {0x505, "error at gl.cpp:7: GL_OUT_OF_MEMORY\n"},
    {0x506, "error at gl.cpp:7: \n"},
    {0x4FF, "error at gl.cpp:7: \n"},
};

TEST(CheckError, PrintsOneLinePerPendingError)
{
    for (const error_case &c : error_cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        gl_recorder_reset();
        if (c.code != GL_NO_ERROR)
            gl_fake_queue_error(c.code);
        EXPECT_EQ(check_output("gl.cpp:7"), c.printed);
    }
}

TEST(CheckError, TakesOneErrorPerCall)
{
    gl_recorder_reset();
    gl_fake_queue_error(0x501);
    gl_fake_queue_error(0x505);
    EXPECT_EQ(check_output("a:1"), "error at a:1: GL_INVALID_VALUE\n");
    EXPECT_EQ(check_output("b:2"), "error at b:2: GL_OUT_OF_MEMORY\n");
    EXPECT_EQ(check_output("c:3"), "");
}

// The label is the source path as the build names it, relative to the
// project, with the line of the check: the same on every machine.
TEST(CheckError, LabelNamesTheSourceFileAndLine)
{
    gl_recorder_reset();
    gl_fake_queue_error(0x502);
    testing::internal::CaptureStderr();
    int line = __LINE__ + 1;
    GL_CHECK();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error at tests/check_test.cpp:" + std::to_string(line) + ": GL_INVALID_OPERATION\n");
}

}  // namespace
