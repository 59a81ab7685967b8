// The card's scene: the shadowed bitmap text, scene setup (fixed GL state,
// the two textures, the sender's name) and the frame. Only GL 1.1 calls are
// made here; presenting a finished frame is the window layer's window_swap.
#include "card.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stb_image.h>
#include <string>

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

static_assert(sizeof(name_glyph) == 3, "the page writes a name's glyphs as three bytes each");

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

// CELLS cells of the page's glyph atlas from cell CODE on, along its row.
static glyph_cell page_cells(uint8_t code, int cells)
{
    glyph_cell cell;
    cell.s0 = (float)((code % ATLAS_COLUMNS * CELL_TEXELS) * (1.0 / ATLAS_TEXELS));
    cell.t0 = (float)((code / ATLAS_COLUMNS * CELL_TEXELS) * (1.0 / ATLAS_TEXELS));
    cell.s1 = cell.s0 + CELL_SPAN * (float)cells;
    cell.t1 = cell.t0 + CELL_SPAN;
    return cell;
}

// One glyph-sized quad WIDTH across, top-left corner first, moved by (dx, dy).
static void emit_quad(const glyph_cell &cell, double left, double bottom, double width,
                      double dx, double dy, float z)
{
    double right = left + width;
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
static void draw_glyph(const glyph_cell &cell, double left, double bottom, double width)
{
    for (double h = -SHADOW_REACH; h <= SHADOW_REACH; h += SHADOW_STEP) {
        for (double v = -SHADOW_REACH; v <= SHADOW_REACH; v += SHADOW_STEP) {
            glColor4f(0.0f, 0.0f, 0.0f, SHADOW_ALPHA);
            emit_quad(cell, left, bottom, width, h, v, (float)h);
        }
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    emit_quad(cell, left, bottom, width, 0.0, 0.0, GLYPH_DEPTH);
}

// Where the next character of a run goes: its line's baseline and left
// edge, and the line's column counter.
struct text_pen {
    double x, y;
    int column;
};

// True when the next character (a space or not) starts a new line instead
// of being drawn: the pen is then at the start of that line.
static bool pen_breaks_line(text_pen *pen, bool space)
{
    if (pen->column >= LINE_FULL || (pen->column >= LINE_BREAKABLE && space)) {
        pen->y -= LINE_STEP;
        pen->x = TEXT_LEFT;
        pen->column = 0;
        return true;
    }
    return false;
}

// After character J of a run: the first one does not advance the counter,
// so the first line holds 16 characters and every later line 14.
static void pen_counts(text_pen *pen, uint64_t j)
{
    if (j != 0)
        pen->column++;
}

void gl_draw_str(double y, const char *text, uint64_t length)
{
    text_pen pen = {TEXT_LEFT, y, 0};
    for (uint64_t j = 0; j < length; j++) {
        int8_t code = (int8_t)(unsigned char)text[j];
        if (!pen_breaks_line(&pen, code == ' ')) {
            draw_glyph(atlas_cell(code), pen.x, pen.y, GLYPH_WIDTH);
            pen.x += GLYPH_ADVANCE;
        }
        pen_counts(&pen, j);
    }
}

// A glyph of several cells covers their advances, so that a joined word
// has none of the gaps between cells.
static double glyph_width(int cells)
{
    return (cells - 1) * GLYPH_ADVANCE + GLYPH_WIDTH;
}

void gl_draw_glyphs(double y, const name_glyph *glyphs, uint64_t count, int source)
{
    text_pen pen = {TEXT_LEFT, y, 0};
    for (uint64_t j = 0; j < count; j++) {
        const name_glyph &glyph = glyphs[j];
        bool space = glyph.source == GLYPH_FROM_ATLAS && glyph.code == ' ';
        if (!pen_breaks_line(&pen, space)) {
            if (glyph.source == source && glyph.cells > 0) {
                glyph_cell cell = source == GLYPH_FROM_ATLAS ? atlas_cell((int8_t)glyph.code)
                                                             : page_cells(glyph.code, glyph.cells);
                draw_glyph(cell, pen.x, pen.y, glyph_width(glyph.cells));
            }
            pen.x += glyph.cells * GLYPH_ADVANCE;
        }
        pen_counts(&pen, j);
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

// Reads the whole file into name_text, and says whether it was cut; returns
// why it could not, or null.
static const char *read_name_text(app_state *app, FILE *file, bool *cut)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return strerror(errno);
    long size = ftell(file);
    if (size < 0)
        return strerror(errno);
    *cut = size > NAME_LIMIT;
    if (*cut) {
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

// Today's editors save UTF-8 (Windows' Notepad too): such a name is drawn
// in the card's Windows-1252 letters, and says so where it has others.
static void take_utf8_name(app_state *app, bool cut)
{
    int lacking = name_text_from_utf8(app->name_text, &app->name_size, cut);
    if (lacking > 0)
        fprintf(stderr, "%s: UTF-8 letters beyond the card's lettering (%d) are drawn as their base letters or \"?\";"
                " the browser card draws them as written\n", CARD_NAME_PATH, lacking);
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
    bool cut = false;
    FILE *file = card_open_input(CARD_NAME_PATH, "r", &problem);
    if (file) {
        app->name_file = file;
        problem = read_name_text(app, file, &cut);
        fclose(file);
    }
    if (problem)
        fprintf(stderr, "%s: cannot read the sender's name: %s\n", CARD_NAME_PATH, problem);
    else if (app->name_text && !app->name_is_windows_1252)
        take_utf8_name(app, cut);
}

// The glyphs of a name as the page lays them out: an atlas letter takes one
// cell, and a run of the page's cells stays inside its atlas row. Returns
// why the file cannot serve, or null.
static const char *check_name_glyphs(const std::string &cells)
{
    if (cells.size() % sizeof(name_glyph) != 0)
        return "its length is not a whole number of glyphs";
    if (cells.size() / sizeof(name_glyph) > (size_t)NAME_LIMIT)
        return "more glyphs than the card reads of a name";
    for (size_t i = 0; i < cells.size(); i += sizeof(name_glyph)) {
        name_glyph glyph = {(uint8_t)cells[i], (uint8_t)cells[i + 1], (uint8_t)cells[i + 2]};
        bool fits = glyph.source == GLYPH_FROM_ATLAS ? glyph.cells == 1
                    : glyph.source == GLYPH_FROM_PAGE && glyph.code % ATLAS_COLUMNS + glyph.cells <= ATLAS_COLUMNS;
        if (!fits)
            return "a glyph outside its atlas";
    }
    return nullptr;
}

// The page's glyph file: one name_glyph a letter. Returns why it cannot
// serve, or null; a missing file means a name without glyphs.
static const char *read_glyph_cells(std::string *cells)
{
    const char *problem = nullptr;
    errno = 0;  // a refused directory or pipe leaves it so
    FILE *file = card_open_input(CARD_NAME_CELLS_PATH, "rb", &problem);
    if (!file)
        return errno == ENOENT ? nullptr : problem;
    char block[256];
    size_t got;
    while (cells->size() <= (size_t)NAME_LIMIT * sizeof(name_glyph) && (got = fread(block, 1, sizeof block, file)) > 0)
        cells->append(block, got);
    if (ferror(file))
        problem = strerror(errno);
    fclose(file);
    return problem ? problem : check_name_glyphs(*cells);
}

// Where the page gave a name glyphs of its own, the name is drawn from them
// and from its picture of them; on any fault, from the name's bytes, with one
// line saying why.
void gl_read_name_glyphs(app_state *app)
{
    free(app->name_glyphs);
    app->name_glyphs = nullptr;
    app->name_glyph_count = 0;
    app->name_glyphs_read++;
    std::string cells;
    if (const char *problem = read_glyph_cells(&cells)) {
        fprintf(stderr, "%s: cannot draw the name's glyphs: %s\n", CARD_NAME_CELLS_PATH, problem);
        return;
    }
    if (cells.empty())
        return;
    decoded_image glyphs = load_image(CARD_NAME_GLYPHS_PATH);
    glDeleteTextures(1, &app->glyph_texture);
    app->glyph_texture = upload_texture(CARD_NAME_GLYPHS_PATH, glyphs);
    stbi_image_free(glyphs.pixels);
    if (!app->glyph_texture)
        return;
    app->name_glyphs = (name_glyph *)malloc(cells.size());
    if (!app->name_glyphs)
        return;
    memcpy(app->name_glyphs, cells.data(), cells.size());
    app->name_glyph_count = (int32_t)(cells.size() / sizeof(name_glyph));
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

// The name in the atlas's letters: byte by byte, or where the page gave it
// glyphs, those of them that are the atlas's.
static void draw_name(const app_state *app)
{
    if (app->name_glyphs) {
        gl_draw_glyphs(NAME_Y, app->name_glyphs, (uint64_t)app->name_glyph_count, GLYPH_FROM_ATLAS);
        return;
    }
    gl_draw_str(NAME_Y, app->name_text, (uint64_t)(int64_t)app->name_size);
}

// The rest of such a name: the glyphs the page drew, from its own atlas.
static void draw_page_glyphs(const app_state *app)
{
    glBindTexture(GL_TEXTURE_2D, app->glyph_texture);
    GL_CHECK();
    glBegin(GL_QUADS);
    gl_draw_glyphs(NAME_Y, app->name_glyphs, (uint64_t)app->name_glyph_count, GLYPH_FROM_PAGE);
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
    draw_name(app);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    GL_CHECK();
    if (app->name_glyphs)
        draw_page_glyphs(app);
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
