// What the card relies on in its assets, checked by make_assets before it
// writes them: the atlas's layout, a picture whose sky lets the pulse glow
// through and whose lettering areas keep white text readable, and a tune of
// a pleasant length and level that neither starts nor ends with a click.
// Each broken promise is one line on standard error.
#include "assets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

static bool broken(const char *what, int detail)
{
    fprintf(stderr, "make_assets: %s (%d)\n", what, detail);
    return false;
}

// The cells of the bytes the card draws (printable ASCII and Windows-1252's
// letters, at the cells the card reaches for them) hold white glyphs with a
// transparent rim; every other cell is empty, the cells of tab, line feed and
// carriage return above all, or a name ending in a line break would show a
// letter; capitals stand at least 18 texels tall (27 pixels in a 480-line
// window). A glyph's topmost row is a faint edge: solid ink in the row just
// inside the rim means an accent was cut there instead of scaled to fit.
bool check_atlas(const rgba_image &atlas)
{
    bool holds_glyph[256] = {};
    for (int byte = 0; byte < 256; byte++)
        holds_glyph[atlas_cell_of_byte(byte)] |= atlas_character(byte) != 0;
    for (int cell = 0; cell < 256; cell++) {
        int max_alpha = 0, rim_alpha = 0, coloured = 0, inked_rows = 0, first_row_alpha = 0;
        for (int y = 0; y < 32; y++) {
            bool inked = false;
            for (int x = 0; x < 32; x++) {
                const unsigned char *t = &atlas.pixels[((cell / 16 * 32 + y) * atlas.width + cell % 16 * 32 + x) * 4];
                max_alpha = std::max(max_alpha, (int)t[3]);
                if (x == 0 || y == 0 || x == 31 || y == 31)
                    rim_alpha = std::max(rim_alpha, (int)t[3]);
                if (y == 1)
                    first_row_alpha = std::max(first_row_alpha, (int)t[3]);
                coloured += t[3] > 0 && (t[0] & t[1] & t[2]) != 255;
                inked = inked || t[3] >= 128;
            }
            inked_rows += inked;
        }
        if ((cell == '\t' || cell == '\n' || cell == '\r') && max_alpha)
            return broken("the cell of a tab, line feed or carriage return is not empty", cell);
        if (max_alpha != (holds_glyph[cell] ? 255 : 0) || rim_alpha || coloured)
            return broken("an atlas cell is not a white glyph inside a transparent rim, or not empty", cell);
        if ((cell == 'H' || cell == 'E') && inked_rows < 18)
            return broken("a capital is too small", cell);
        if (first_row_alpha >= 128)
            return broken("a glyph is cut at the top of its cell", cell);
    }
    return true;
}

static double luminance(const double rgb[3])
{
    double sum = 0, weights[3] = {0.2126, 0.7152, 0.0722};
    for (int i = 0; i < 3; i++)
        sum += weights[i] * (rgb[i] <= 0.04045 ? rgb[i] / 12.92 : pow((rgb[i] + 0.055) / 1.055, 2.4));
    return sum;
}

// White against the brightest tenth of a region (in pixels of the card's
// 640 x 480 window), with the picture over the clear colour as the card
// blends it.
static double contrast_of_white(const rgba_image &picture, int left, int top, int right, int bottom, const double clear[3])
{
    std::vector<double> values;
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++) {
            const unsigned char *p = &picture.pixels[(y * picture.width + x) * 4];
            double a = p[3] / 255.0, blended[3];
            for (int i = 0; i < 3; i++)
                blended[i] = p[i] / 255.0 * a + clear[i] * (1 - a);
            values.push_back(luminance(blended));
        }
    std::sort(values.begin(), values.end());
    return 1.05 / (values[values.size() * 9 / 10] + 0.05);
}

bool check_scene(const rgba_image &scene)
{
    size_t clear = 0, solid = 0, total = (size_t)scene.width * scene.height;
    for (size_t i = 0; i < total; i++) {
        clear += scene.pixels[i * 4 + 3] == 0;
        solid += scene.pixels[i * 4 + 3] == 255;
    }
    if (scene.width != 640 || scene.height != 480 || clear < total / 20 || solid < total / 3)
        return broken("the picture is not 640 x 480 with a twentieth clear sky and a third solid ground", (int)clear);
    // The greeting's lines and the name's first two, at the pulse's ends and middle.
    const double pulses[3][3] = {{1, 0, 0}, {0.5, 0, 0}, {0, 0.5, 0}};
    for (const auto &colour : pulses)
        if (contrast_of_white(scene, 32, 12, 526, 166, colour) < 3 || contrast_of_white(scene, 32, 276, 596, 377, colour) < 4.5)
            return broken("white lettering is too faint over the picture at red", (int)(colour[0] * 255));
    return true;
}

// 20 to 40 seconds, peaking at -3 dBFS, silent at both ends.
bool check_carol(const std::vector<int16_t> &samples)
{
    int peak = 0;
    for (int16_t sample : samples)
        peak = std::max(peak, std::abs((int)sample));
    double seconds = (double)samples.size() / CAROL_RATE;
    if (seconds < 20 || seconds > 40)
        return broken("the tune's length in seconds is not 20 to 40", (int)seconds);
    if (fabs(20 * log10(peak / 32768.0) + 3) > 0.5)
        return broken("the tune does not peak at -3 dBFS", peak);
    if (std::abs(samples.front()) + std::abs(samples.back()) >= 128)
        return broken("the tune does not start and end in silence", samples.front());
    return true;
}
