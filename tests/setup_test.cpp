// Scene setup against the recording GL fakes: which uploads are made, in
// which client format, how many bytes each reads, and what happens to every
// kind of bad image or name file.
#include "card.h"
#include "gl_recorder.h"
#include "scratch.h"

#include <fstream>
#include <gtest/gtest.h>
#include <stb_image.h>

namespace fs = std::filesystem;

namespace {

struct setup_result {
    std::string out, err;
};

setup_result run_setup(app_state *app)
{
    gl_recorder_reset();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    gl_setup(app);
    setup_result result;
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

void release(app_state *app)
{
    stbi_image_free(app->background_pixels);
    stbi_image_free(app->font_pixels);
    free(app->name_text);
}

int count_lines(const std::string &text)
{
    return (int)std::count(text.begin(), text.end(), '\n');
}

struct upload {
    GLenum format;
    int width, height;
    size_t bytes_read;
};

std::vector<upload> uploads()
{
    std::vector<upload> found;
    for (const gl_call *call : gl_calls_named("glTexImage2D")) {
        EXPECT_EQ(call->args[0], GL_RGBA);  // internal format
        found.push_back(upload{(GLenum)call->args[3], (int)call->args[1], (int)call->args[2],
                               (size_t)call->args[4]});
    }
    return found;
}

struct format_case {
    test_image background, atlas;
    GLenum background_format, atlas_format;
};

// Odd widths make rows whose byte length is not a multiple of four.
const format_case format_cases[] = {
    {make_image(64, 48, 4, 9), make_image(512, 512, 4, 9), GL_RGBA, GL_RGBA},
    {make_image(13, 7, 3, 9), make_image(512, 512, 4, 9), GL_RGB, GL_RGBA},
    {make_image(64, 48, 4, 9), make_image(15, 5, 2, 9), GL_RGBA, GL_LUMINANCE_ALPHA},
    {make_image(5, 3, 1, 9), make_image(7, 3, 1, 9), GL_LUMINANCE, GL_LUMINANCE},
    {make_image(3, 3, 2, 9), make_image(9, 9, 3, 9), GL_LUMINANCE_ALPHA, GL_RGB},
};

TEST(Setup, EachUploadTakesItsOwnImagesFormatAndReadsOnlyItsPixels)
{
    for (const format_case &c : format_cases) {
        SCOPED_TRACE(testing::Message() << "background channels " << c.background.channels
                                        << ", atlas channels " << c.atlas.channels);
        scratch_dir dir;
        write_png_checked("assets/tormbriskchristmas.png", c.background);
        write_png_checked("assets/font.png", c.atlas);
        write_bytes_checked("name", "");
        app_state app = {};
        setup_result result = run_setup(&app);

        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "loaded " + std::to_string(c.background.width) + "x" +
                                  std::to_string(c.background.height) + "x" +
                                  std::to_string(c.background.channels) + " image\n");
        std::vector<upload> made = uploads();
        ASSERT_EQ(made.size(), 2u);
        const test_image *images[2] = {&c.background, &c.atlas};
        const GLenum formats[2] = {c.background_format, c.atlas_format};
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(made[i].format, formats[i]) << "upload " << i;
            EXPECT_EQ(made[i].width, images[i]->width) << "upload " << i;
            EXPECT_EQ(made[i].bytes_read, images[i]->pixels.size()) << "upload " << i;
        }
        EXPECT_NE(app.background_texture, 0u);
        EXPECT_NE(app.font_texture, 0u);
        EXPECT_NE(app.background_texture, app.font_texture);
        release(&app);
    }
}

TEST(Setup, LeavesBlendingAndTexturingOn)
{
    scratch_dir dir;
    write_card_files("");
    app_state app = {};
    run_setup(&app);
    std::vector<double> enabled;
    for (const gl_call *call : gl_calls_named("glEnable"))
        enabled.push_back(call->args[0]);
    EXPECT_EQ(enabled, (std::vector<double>{GL_BLEND, GL_COLOR_MATERIAL, GL_TEXTURE_2D}));
    ASSERT_EQ(gl_calls_named("glBlendFunc").size(), 1u);
    EXPECT_EQ(gl_calls_named("glBlendFunc")[0]->args,
              (std::vector<double>{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    // Repeat wrap (negative cells fold back) and nearest filtering, no mipmaps.
    std::vector<const gl_call *> params = gl_calls_named("glTexParameteri");
    ASSERT_EQ(params.size(), 8u);
    for (const gl_call *call : params) {
        double expected = call->args[1] == GL_TEXTURE_WRAP_S || call->args[1] == GL_TEXTURE_WRAP_T
                              ? GL_REPEAT : GL_NEAREST;
        EXPECT_EQ(call->args[2], expected);
    }
    release(&app);
}

// A valid PNG with its width field (big-endian, bytes 16-19) replaced.
std::string png_with_width(uint32_t width)
{
    write_png_checked("template.png", make_image(4, 4, 4, 200));
    std::ifstream in("template.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int i = 0; i < 4; i++)
        bytes[16 + i] = (char)(width >> (24 - 8 * i));
    return bytes;
}

std::string truncated_png()
{
    write_png_checked("template.png", make_background(64, 48));
    std::ifstream in("template.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.substr(0, bytes.size() / 2);
}

enum class bad_kind { missing, directory, bytes };

struct bad_image_case {
    const char *label;
    bad_kind kind;
    std::string (*bytes)();
    const char *reason;  // expected in the message
};

const bad_image_case bad_image_cases[] = {
    {"missing", bad_kind::missing, nullptr, "No such file or directory"},
    {"a directory", bad_kind::directory, nullptr, ": cannot load image: "},
    {"zero-length", bad_kind::bytes, [] { return std::string(); }, ": cannot load image: "},
    {"not a PNG", bad_kind::bytes, [] { return std::string("GIF89a not really"); }, ": cannot load image: "},
    {"truncated", bad_kind::bytes, truncated_png, ": cannot load image: "},
    {"zero width", bad_kind::bytes, [] { return png_with_width(0); }, ": cannot load image: "},
    {"huge width", bad_kind::bytes, [] { return png_with_width(0x7fffffff); }, ": cannot load image: "},
};

void make_bad(const bad_image_case &c, const std::string &path)
{
    fs::remove(path);
    if (c.kind == bad_kind::directory)
        fs::create_directory(path);
    else if (c.kind == bad_kind::bytes)
        write_bytes_checked(path, c.bytes());
}

// A picture that cannot be decoded uploads nothing, keeps its texture name 0
// and is reported once, naming the file; everything else still loads.
TEST(Setup, BadImageIsSkippedWithOneLine)
{
    const char *paths[2] = {CARD_BACKGROUND_PATH, CARD_FONT_PATH};
    for (const bad_image_case &c : bad_image_cases) {
        for (int which = 0; which < 2; which++) {
            SCOPED_TRACE(testing::Message() << c.label << " " << paths[which]);
            scratch_dir dir;
            write_card_files("Al");
            make_bad(c, paths[which]);
            app_state app = {};
            setup_result result = run_setup(&app);

            EXPECT_EQ(count_lines(result.err), 1) << result.err;
            EXPECT_EQ(result.err.rfind(paths[which], 0), 0u) << result.err;
            EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
            EXPECT_EQ(uploads().size(), 1u);
            EXPECT_EQ(which == 0 ? app.background_texture : app.font_texture, 0u);
            EXPECT_NE(which == 0 ? app.font_texture : app.background_texture, 0u);
            EXPECT_EQ(result.out, which == 0 ? "" : "loaded 64x48x4 image\n");
            EXPECT_EQ(app.name_size, 2);
            release(&app);
        }
    }
}

// Inputs the fuzzers once stopped on, replayed on every run: the first
// byte chooses the picture (odd: the atlas), the rest is its file. Each
// loads or is refused with one line; the sanitized build checks the rest.
TEST(Setup, InputsTheFuzzersFoundStayHandled)
{
    fs::path found = fs::path(CARD_SOURCE_DIR) / "tests" / "fuzz" / "regressions";
    ASSERT_TRUE(fs::is_directory(found));
    for (const fs::directory_entry &entry : fs::directory_iterator(found)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty());
        scratch_dir dir;
        write_card_files("AB");
        write_bytes_checked(bytes[0] & 1 ? CARD_FONT_PATH : CARD_BACKGROUND_PATH, bytes.substr(1));
        app_state app = {};
        setup_result result = run_setup(&app);
        EXPECT_LE(count_lines(result.err), 1) << result.err;
        EXPECT_EQ(app.name_size, 2);
        release(&app);
    }
}

TEST(Setup, ImageLargerThanTheRendererTakesIsRefused)
{
    scratch_dir dir;
    write_card_files("");
    app_state app = {};
    gl_recorder_reset();
    gl_fake_max_texture_size = 256;  // the 512-texel atlas does not fit
    testing::internal::CaptureStderr();
    gl_setup(&app);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, std::string(CARD_FONT_PATH) +
                       ": cannot use image: 512x512 exceeds the renderer's 256-texel limit\n");
    EXPECT_EQ(uploads().size(), 1u);
    EXPECT_EQ(app.font_texture, 0u);
    release(&app);
}

struct name_case {
    const char *label;
    void (*make)();
    std::string expected_text;
    const char *message;  // null when none is expected
};

std::string all_high_bytes()
{
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; b++)
        bytes += (char)b;
    return bytes;
}

const name_case name_cases[] = {
    {"plain with line end", [] { write_bytes_checked("name", "Noelle\n"); }, "Noelle\n", nullptr},
    {"empty", [] { write_bytes_checked("name", ""); }, "", nullptr},
    {"bytes 0x80-0xFF", [] { write_bytes_checked("name", all_high_bytes()); }, all_high_bytes(), nullptr},
    {"CR LF line ends", [] { write_bytes_checked("name", "A\r\nB\r\n"); }, "A\r\nB\r\n", nullptr},
    {"read-only", [] {
         write_bytes_checked("name", "Ro");
         fs::permissions("name", fs::perms::owner_read | fs::perms::group_read);
     }, "Ro", nullptr},
    {"missing", [] {}, "", "name: cannot read the sender's name: No such file or directory\n"},
    {"dangling link", [] { fs::create_symlink("nowhere", "name"); }, "",
     "name: cannot read the sender's name: No such file or directory\n"},
    {"a directory", [] { fs::create_directory("name"); }, "",
     "name: cannot read the sender's name: not a regular file\n"},
    // More than a name can show is cut, with a line; this one is sparse,
    // so it costs no disk, and reads as zero bytes.
    {"larger than 2 GiB", [] {
         write_bytes_checked("name", "");
         fs::resize_file("name", (uintmax_t)3 << 30);
     }, std::string(256, '\0'), "name: 3221225472 bytes is more than the card can show; it draws the first 256\n"},
    {"257 bytes", [] { write_bytes_checked("name", std::string(257, 'x')); }, std::string(256, 'x'),
     "name: 257 bytes is more than the card can show; it draws the first 256\n"},
    {"256 bytes", [] { write_bytes_checked("name", std::string(256, 'x')); }, std::string(256, 'x'), nullptr},
};

TEST(Setup, NameIsReadWholeOrLeftEmptyWithOneLine)
{
    for (const name_case &c : name_cases) {
        SCOPED_TRACE(c.label);
        scratch_dir dir;
        write_png_checked("assets/tormbriskchristmas.png", make_background(64, 48));
        write_png_checked("assets/font.png", make_atlas());
        c.make();
        app_state app = {};
        setup_result result = run_setup(&app);

        EXPECT_EQ(result.err, c.message ? c.message : "");
        ASSERT_EQ(app.name_size, (int32_t)c.expected_text.size());
        if (app.name_size > 0) {
            EXPECT_EQ(std::string(app.name_text, app.name_size), c.expected_text);
        }
        EXPECT_EQ(uploads().size(), 2u);
        release(&app);
        fs::remove("name");
    }
}

// The frame draws the clear colour from the pulse, the background, both
// texts, and presents once, returning what presenting returned.
TEST(Frame, ClearColourFollowsThePulseAndTheFrameIsPresentedOnce)
{
    const double pulses[3][3] = {{0.0, 0.5, 0.0}, {-0.5, 1.0, -0.5}, {0.5, 0.0, 0.5}};
    for (const auto &p : pulses) {
        app_state app = {};
        app.pulse = p[0];
        gl_recorder_reset();
        EXPECT_TRUE(gl_loop(&app));
        EXPECT_EQ(gl_fake_swaps, 1);
        ASSERT_EQ(gl_calls_named("glClearColor").size(), 1u);
        EXPECT_EQ(gl_calls_named("glClearColor")[0]->args, (std::vector<double>{p[1], p[2], 0, 0}));
    }
}

TEST(Frame, NameIsDrawnUnderTheGreetingInTheSamePrimitive)
{
    char name[] = "Jo";
    app_state app = {};
    app.name_text = name;
    app.name_size = 2;
    app.font_texture = 7;
    gl_recorder_reset();
    gl_loop(&app);
    EXPECT_EQ(gl_calls_named("glBegin").size(), 2u);  // background, then all text
    std::vector<const gl_call *> vertices = gl_calls_named("glVertex3f");
    ASSERT_EQ(vertices.size(), (38u + 2u) * 401 * 4);
    const gl_call *name_corner = vertices[38 * 401 * 4 + 400 * 4];  // 'J', top-left
    EXPECT_EQ(name_corner->args, (std::vector<double>{-0.9f, (float)(-0.35 + 0.2), 1.0f}));
}

}  // namespace
