// The card's scene: the shadowed bitmap text, scene setup (fixed GL state,
// the two textures, the sender's name) and the frame. Only GL 1.1 calls are
// made here; presenting a finished frame is the window layer's window_swap.
#include "card.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stb_image.h>

const char consumer_prefix[40] = {
    'H', 'A', 'P', 'P', 'Y', ' ', 'H', 'O', 'L', 'I', 'D', 'A', 'Y', 'S', ' ',
    'A', 'N', 'D', ' ', 'A', ' ', 'H', 'A', 'P', 'P', 'Y', ' ',
    'N', 'E', 'W', ' ', 'Y', 'E', 'A', 'R', ' ', 'F', 'R', 'O', 'M',
};

// Text layout, in normalised device units. The products are kept as
// products: the advance is the double just above 0.11 and the line step the
// double just above 0.22, and the layout depends on those exact values.
static const double TEXT_LEFT = -0.9;
static const double GLYPH_WIDTH = 0.1;
static const double GLYPH_HEIGHT = 0.2;
static const double GLYPH_ADVANCE = GLYPH_WIDTH * 1.1;
static const double LINE_STEP = GLYPH_HEIGHT * 1.1;
static const float GLYPH_DEPTH = 1.0f;

// A line breaks when its column counter reaches 15, or 10 at a space; the
// character that triggers the break is consumed, not drawn.
static const int LINE_FULL = 15;
static const int LINE_BREAKABLE = 10;

// The soft shadow: 20 x 20 translucent black copies of each glyph, offset
// from -0.010 to +0.009 on each axis. Stepping by repeated addition ends at
// 0.010000000000000002, just past the bound, so there are 20 offsets, not 21.
static const double SHADOW_REACH = 0.01;
static const double SHADOW_STEP = 0.001;
static const float SHADOW_ALPHA = 0.1f;

// The glyph atlas: 16 x 16 equal cells, laid out as 32-texel cells in a
// 512-texel image; only normalised texture coordinates reach GL.
static const int ATLAS_COLUMNS = 16;
static const double CELL_TEXELS = 32;
static const double ATLAS_TEXELS = 512;
static const float CELL_SPAN = 0.0625f;

// Where the greeting and the name start (baseline of their first lines).
static const double GREETING_Y = 0.75;
static const double NAME_Y = -0.35;

// Only about the first 62 bytes of a name can land on a visible line (four
// lines from -0.35 down, at any window size), and every byte costs 401 quads
// a frame: a longer name is cut here, so a huge file cannot stall the card.
static const long NAME_LIMIT = 256;

struct glyph_cell {
    float s0, t0, s1, t1;
};

// Codes are signed: bytes 0x80-0xFF give negative columns and rows, and so
// negative texture coordinates that the atlas's repeat wrap folds back.
static glyph_cell atlas_cell(int8_t code)
{
    int column = code % ATLAS_COLUMNS;
    int row = code / ATLAS_COLUMNS;
    glyph_cell cell;
    cell.s0 = (float)((column * CELL_TEXELS) * (1.0 / ATLAS_TEXELS));
    cell.t0 = (float)((row * CELL_TEXELS) * (1.0 / ATLAS_TEXELS));
    cell.s1 = cell.s0 + CELL_SPAN;
    cell.t1 = cell.t0 + CELL_SPAN;
    return cell;
}

// One glyph-sized quad, top-left corner first, moved by (dx, dy).
static void emit_quad(const glyph_cell &cell, double left, double bottom,
                      double dx, double dy, float z)
{
    double right = left + GLYPH_WIDTH;
    double top = bottom + GLYPH_HEIGHT;
    glTexCoord2f(cell.s0, cell.t0);
    glVertex3f((float)(left + dx), (float)(top + dy), z);
    glTexCoord2f(cell.s1, cell.t0);
    glVertex3f((float)(right + dx), (float)(top + dy), z);
    glTexCoord2f(cell.s1, cell.t1);
    glVertex3f((float)(right + dx), (float)(bottom + dy), z);
    glTexCoord2f(cell.s0, cell.t1);
    glVertex3f((float)(left + dx), (float)(bottom + dy), z);
}

// The shadow by brute-force overdraw, then the white glyph on top. The
// shadow's depth is its horizontal offset; depth testing is off, so it only
// matters to whoever reads the vertices back.
static void draw_glyph(double left, double bottom, int8_t code)
{
    glyph_cell cell = atlas_cell(code);
    for (double h = -SHADOW_REACH; h <= SHADOW_REACH; h += SHADOW_STEP) {
        for (double v = -SHADOW_REACH; v <= SHADOW_REACH; v += SHADOW_STEP) {
            glColor4f(0.0f, 0.0f, 0.0f, SHADOW_ALPHA);
            emit_quad(cell, left, bottom, h, v, (float)h);
        }
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    emit_quad(cell, left, bottom, 0.0, 0.0, GLYPH_DEPTH);
}

void gl_draw_str(double y, const char *text, uint64_t length)
{
    double x = TEXT_LEFT;
    int column = 0;
    for (uint64_t j = 0; j < length; j++) {
        int8_t code = (int8_t)(unsigned char)text[j];
        if (column >= LINE_FULL || (column >= LINE_BREAKABLE && code == ' ')) {
            y -= LINE_STEP;
            x = TEXT_LEFT;
            column = 0;
        } else {
            draw_glyph(x, y, code);
            x += GLYPH_ADVANCE;
        }
        // The first character of a run does not advance the counter, so
        // the first line holds 16 characters and every later line 14.
        if (j != 0)
            column++;
    }
}

struct decoded_image {
    unsigned char *pixels;  // null when the file could not be decoded
    int width, height, channels;
};

// stb names an unknown chunk by its four type bytes: nothing where the file
// is cut short, and any bytes at all where it is corrupt.
static const char *decoder_reason()
{
    const char *reason = stbi_failure_reason();
    bool readable = reason && *reason;
    for (const char *c = reason; readable && *c; c++)
        readable = *c >= ' ' && *c <= '~';
    return readable ? reason : "corrupt or cut short";
}

static decoded_image load_image(const char *path)
{
    decoded_image image = {};
    // Opened here rather than by stbi_load so that a missing file is
    // reported with the system's reason, not the decoder's.
    const char *problem = nullptr;
    FILE *file = card_open_input(path, "rb", &problem);
    if (!file) {
        fprintf(stderr, "%s: cannot load image: %s\n", path, problem);
        return image;
    }
    image.pixels = stbi_load_from_file(file, &image.width, &image.height, &image.channels, 0);
    fclose(file);
    if (!image.pixels)
        fprintf(stderr, "%s: cannot load image: %s\n", path, decoder_reason());
    return image;
}

// Each upload takes its client format from its own image, so an atlas and a
// background with different channel counts are both read within bounds.
static GLenum client_format(int channels)
{
    switch (channels) {
    case 4: return GL_RGBA;
    case 3: return GL_RGB;
    case 2: return GL_LUMINANCE_ALPHA;
    default: return GL_LUMINANCE;
    }
}

// Returns the new texture's name, or 0 when there is nothing to upload.
static GLuint upload_texture(const char *path, const decoded_image &image)
{
    if (!image.pixels)
        return 0;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (image.width > max_size || image.height > max_size) {
        fprintf(stderr, "%s: cannot use image: %dx%d exceeds the renderer's %d-texel limit\n",
                path, image.width, image.height, max_size);
        return 0;
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    GL_CHECK();
    glBindTexture(GL_TEXTURE_2D, texture);
    GL_CHECK();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0,
                 client_format(image.channels), GL_UNSIGNED_BYTE, image.pixels);
    GL_CHECK();
    glBindTexture(GL_TEXTURE_2D, 0);
    GL_CHECK();
    return texture;
}

static void set_fixed_state()
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_TEXTURE_2D);
    // Decoded rows are tightly packed; the default alignment of 4 would read
    // past the end of any row whose length in bytes is not a multiple of 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GL_CHECK();
}

// Reads the whole file into name_text; returns why it could not, or null.
static const char *read_name_text(app_state *app, FILE *file)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return strerror(errno);
    long size = ftell(file);
    if (size < 0)
        return strerror(errno);
    if (size > NAME_LIMIT) {
        fprintf(stderr, "%s: %ld bytes is more than the card can show; it draws the first %ld\n",
                CARD_NAME_PATH, size, NAME_LIMIT);
        size = NAME_LIMIT;
    }
    if (size == 0)
        return nullptr;  // an empty name draws nothing
    if (fseek(file, 0, SEEK_SET) != 0)
        return strerror(errno);
    char *text = (char *)malloc((size_t)size);
    if (!text)
        return "out of memory";
    // Fewer bytes than measured is normal where text mode turns CR LF into LF.
    size_t read = fread(text, 1, (size_t)size, file);
    if (ferror(file)) {
        free(text);
        return strerror(errno);
    }
    app->name_text = text;
    app->name_size = (int32_t)read;
    return nullptr;
}

// The name is optional: any failure leaves it empty, with one line saying why.
// A name read before is let go first (the browser card reads it again when
// the page is given another).
void gl_read_name(app_state *app)
{
    free(app->name_text);
    app->name_text = nullptr;
    app->name_size = 0;
    // Read only: the card never writes the name, and a read-only file is fine.
    const char *problem = nullptr;
    FILE *file = card_open_input(CARD_NAME_PATH, "r", &problem);
    if (file) {
        app->name_file = file;
        problem = read_name_text(app, file);
        fclose(file);
    }
    if (problem)
        fprintf(stderr, "%s: cannot read the sender's name: %s\n", CARD_NAME_PATH, problem);
}

void gl_setup(app_state *app)
{
    decoded_image background = load_image(CARD_BACKGROUND_PATH);
    app->background_pixels = background.pixels;
    if (background.pixels) {
        printf("loaded %dx%dx%d image\n", background.width, background.height, background.channels);
        fflush(stdout);  // shows at once even when standard output is a pipe
    }
    set_fixed_state();
    app->background_texture = upload_texture(CARD_BACKGROUND_PATH, background);

    decoded_image font = load_image(CARD_FONT_PATH);
    app->font_pixels = font.pixels;
    app->font_texture = upload_texture(CARD_FONT_PATH, font);

    gl_read_name(app);
}

// The background stretched over the whole viewport, top row at the top.
void gl_draw_picture(const app_state *app)
{
    glBindTexture(GL_TEXTURE_2D, app->background_texture);
    GL_CHECK();
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    GL_CHECK();
}

void gl_draw_text(const app_state *app)
{
    glBindTexture(GL_TEXTURE_2D, app->font_texture);
    GL_CHECK();
    glBegin(GL_QUADS);
    gl_draw_str(GREETING_Y, consumer_prefix, sizeof consumer_prefix);
    gl_draw_str(NAME_Y, app->name_text, (uint64_t)(int64_t)app->name_size);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    GL_CHECK();
}

card_colour gl_pulse_colour(const app_state *app)
{
    // Red falls as green rises; OpenGL clamps the negative green to 0, so the
    // colour swings between pure red and dark green.
    return {(float)(0.5 - app->pulse), (float)app->pulse, 0.0f, 0.0f};
}

void gl_draw_pulse(const app_state *app)
{
    card_colour colour = gl_pulse_colour(app);
    glClearColor(colour.red, colour.green, colour.blue, colour.alpha);
    GL_CHECK();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GL_CHECK();
}

void gl_draw_backdrop(const app_state *app)
{
    gl_draw_pulse(app);
    gl_draw_picture(app);
}

bool gl_loop(app_state *app)
{
    gl_draw_backdrop(app);
    gl_draw_text(app);
    return window_swap(app);
}
