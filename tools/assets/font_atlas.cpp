// The glyph atlas. The card stretches each 32 x 32 cell to a box 1.5 times
// as tall as wide, so glyphs are rendered squashed by that much vertically
// and come out in their own proportions on screen. The card draws a name
// byte by byte, read as Windows-1252; each byte's glyph goes in the cell the
// card's own arithmetic reaches for it, which for bytes above 0x7F is not
// the cell of that number.
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

// Windows-1252's characters for 0x80-0x9F (0: none defined). From 0xA0 on
// it is Latin-1, whose bytes are their own Unicode numbers.
static const uint16_t WINDOWS_1252_80_9F[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// The card takes each byte as a signed code and splits it into column =
// code % 16 and row = code / 16, both truncating toward zero, so bytes above
// 0x7F give negative coordinates that the texture's repeat wrap folds back
// into the atlas: 0xC1 (-63) reaches column -15, row -3, shown as cell 0xD1.
int atlas_cell_of_byte(int byte)
{
    int code = (int8_t)(unsigned char)byte;
    int column = (code % 16 + 16) % 16, row = (code / 16 + 16) % 16;
    return row * 16 + column;
}

uint32_t atlas_character(int byte)
{
    int cell = atlas_cell_of_byte(byte);
    // A name file ending in a line break must draw as blank as before, so
    // the letters that fold onto these cells (u grave, u acute, y acute)
    // are left out.
    if (cell == '\t' || cell == '\n' || cell == '\r')
        return 0;
    if (byte > ' ' && byte < 127)
        return (uint32_t)byte;
    if (byte >= 0x80 && byte <= 0x9F)
        return WINDOWS_1252_80_9F[byte - 0x80];
    // 0xA0, the no-break space, is a space and stays empty; the soft
    // hyphen (0xAD) shows as the hyphen the font draws for it.
    return byte > 0xA0 && byte <= 0xFF ? (uint32_t)byte : 0;
}

// Scales both ways so that the glyph's top stays inside the margin (the
// accented capitals): scaled rather than cut, so the accent stays whole. The
// texel of slack leaves the accent's tip only grazing the top row, so solid
// ink there means a cut, which check_atlas looks for.
static void fit_above_baseline(const stbtt_fontinfo &font, int glyph, float *scale_x, float *scale_y)
{
    int x0, y0, x1, y1;
    stbtt_GetGlyphBitmapBox(&font, glyph, *scale_x, *scale_y, &x0, &y0, &x1, &y1);
    while (BASELINE + y0 < MARGIN) {
        float shrink = (float)(BASELINE - MARGIN) / (float)(-y0 + 1);
        *scale_x *= shrink, *scale_y *= shrink;
        stbtt_GetGlyphBitmapBox(&font, glyph, *scale_x, *scale_y, &x0, &y0, &x1, &y1);
    }
}

// One character in a cell of its own, centred across and standing on the
// baseline. A glyph too wide for the cell is narrowed to fit rather than
// clipped; one too tall means the sizes above are wrong, and the generator
// stops. A character the font lacks leaves the cell empty.
std::vector<unsigned char> glyph_cell_alpha(const std::vector<unsigned char> &font_file, uint32_t character)
{
    std::vector<unsigned char> cell((size_t)CELL * CELL, 0);
    stbtt_fontinfo font;
    if (!stbtt_InitFont(&font, font_file.data(), stbtt_GetFontOffsetForIndex(font_file.data(), 0))) {
        fprintf(stderr, "not a TrueType font\n");
        exit(1);
    }
    int glyph = stbtt_FindGlyphIndex(&font, (int)character);
    if (glyph == 0)
        return cell;
    float em = 1.0f / stbtt_ScaleForMappingEmToPixels(&font, 1.0f);
    float scale_x = (float)EM_ACROSS / em, scale_y = (float)EM_DOWN / em;
    fit_above_baseline(font, glyph, &scale_x, &scale_y);
    int x0, y0, x1, y1;
    stbtt_GetGlyphBitmapBox(&font, glyph, scale_x, scale_y, &x0, &y0, &x1, &y1);
    const int room = CELL - 2 * MARGIN;
    if (x1 - x0 > room) {
        scale_x *= (float)room / (float)(x1 - x0 + 1);
        stbtt_GetGlyphBitmapBox(&font, glyph, scale_x, scale_y, &x0, &y0, &x1, &y1);
    }
    int width = x1 - x0, height = y1 - y0;
    if (width <= 0 || height <= 0)
        return cell;
    if (height > room) {
        fprintf(stderr, "character U+%04X is too tall for its cell at this size\n", (unsigned)character);
        exit(1);
    }
    int left = (CELL - width) / 2;
    // A glyph that reaches past the bottom margin (the underscore, below
    // the descenders) is moved just inside it.
    int top = std::clamp(BASELINE + y0, MARGIN, CELL - MARGIN - height);
    stbtt_MakeGlyphBitmap(&font, &cell[(size_t)top * CELL + left], width, height, CELL, scale_x, scale_y, glyph);
    return cell;
}

rgba_image make_font_atlas(const std::vector<unsigned char> &font_file)
{
    rgba_image atlas{ATLAS_SIZE, ATLAS_SIZE, {}};
    // White everywhere: only the alpha channel carries shapes, so the
    // filtered edges stay white rather than fading to black.
    atlas.pixels.assign((size_t)ATLAS_SIZE * ATLAS_SIZE * 4, 255);
    for (size_t i = 3; i < atlas.pixels.size(); i += 4)
        atlas.pixels[i] = 0;
    for (int byte = 0; byte < 256; byte++) {
        uint32_t character = atlas_character(byte);
        if (character == 0)
            continue;
        std::vector<unsigned char> alpha = glyph_cell_alpha(font_file, character);
        int cell = atlas_cell_of_byte(byte), cell_x = cell % 16 * CELL, cell_y = cell / 16 * CELL;
        for (int y = 0; y < CELL; y++)
            for (int x = 0; x < CELL; x++)
                atlas.pixels[((size_t)(cell_y + y) * ATLAS_SIZE + cell_x + x) * 4 + 3] = alpha[(size_t)y * CELL + x];
    }
    return atlas;
}
