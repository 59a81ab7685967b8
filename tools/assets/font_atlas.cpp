// The glyph atlas. The card stretches each 32 x 32 cell to a box 1.5 times
// as tall as wide, so glyphs are rendered squashed by that much vertically
// and come out in their own proportions on screen.
#include "assets.h"

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

static const int ATLAS_SIZE = 512;
static const int CELL = 32;
static const int MARGIN = 1;              // transparent texels kept around every glyph
static const int BASELINE = 24;           // texel row of the baseline within a cell
static const double EM_ACROSS = 36.0;     // texels per em horizontally
static const double EM_DOWN = 28.0;       // texels per em vertically (shown x 1.5)
static const int FIRST_CODE = 33, LAST_CODE = 126;  // the space stays empty

// Places one glyph in its cell, centred across and standing on the baseline.
// A glyph too wide for the cell is narrowed to fit rather than clipped; one
// too tall means the sizes above are wrong, and the generator stops.
static void draw_glyph(const stbtt_fontinfo &font, int code, rgba_image *atlas)
{
    int glyph = stbtt_FindGlyphIndex(&font, code);
    float em = 1.0f / stbtt_ScaleForMappingEmToPixels(&font, 1.0f);
    float scale_x = (float)EM_ACROSS / em, scale_y = (float)EM_DOWN / em;
    int x0, y0, x1, y1;
    stbtt_GetGlyphBitmapBox(&font, glyph, scale_x, scale_y, &x0, &y0, &x1, &y1);
    const int room = CELL - 2 * MARGIN;
    if (x1 - x0 > room) {
        scale_x *= (float)room / (float)(x1 - x0 + 1);
        stbtt_GetGlyphBitmapBox(&font, glyph, scale_x, scale_y, &x0, &y0, &x1, &y1);
    }
    int width = x1 - x0, height = y1 - y0;
    if (width <= 0 || height <= 0)
        return;
    int cell_x = code % 16 * CELL, cell_y = code / 16 * CELL;
    int left = cell_x + (CELL - width) / 2;
    if (height > room) {
        fprintf(stderr, "glyph %d is too tall for its cell at this size\n", code);
        exit(1);
    }
    // A glyph that reaches past the margins (the underscore, below the
    // descenders) is moved just inside them.
    int top = std::clamp(cell_y + BASELINE + y0, cell_y + MARGIN, cell_y + CELL - MARGIN - height);
    std::vector<unsigned char> coverage((size_t)width * height);
    stbtt_MakeGlyphBitmap(&font, coverage.data(), width, height, width, scale_x, scale_y, glyph);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            unsigned char *texel = &atlas->pixels[((size_t)(top + y) * ATLAS_SIZE + left + x) * 4];
            texel[3] = coverage[(size_t)y * width + x];
        }
    }
}

rgba_image make_font_atlas(const std::vector<unsigned char> &font_file)
{
    rgba_image atlas{ATLAS_SIZE, ATLAS_SIZE, {}};
    // White everywhere: only the alpha channel carries shapes, so the
    // filtered edges stay white rather than fading to black.
    atlas.pixels.assign((size_t)ATLAS_SIZE * ATLAS_SIZE * 4, 255);
    for (size_t i = 3; i < atlas.pixels.size(); i += 4)
        atlas.pixels[i] = 0;
    stbtt_fontinfo font;
    if (!stbtt_InitFont(&font, font_file.data(), stbtt_GetFontOffsetForIndex(font_file.data(), 0))) {
        fprintf(stderr, "not a TrueType font\n");
        exit(1);
    }
    for (int code = FIRST_CODE; code <= LAST_CODE; code++)
        draw_glyph(font, code, &atlas);
    return atlas;
}
