// The winter picture: a night sky that lets the card's pulsing colour glow
// through, a crescent moon and stars, blue mountains, a dark pine forest, a
// snowfield and a decorated tree with presents, under falling snow.
// Solid shapes are sampled 4 x 4 per pixel for soft edges; stars, flakes
// and lights are soft round sprites drawn on top.
#include "assets.h"

#include <algorithm>
#include <cmath>

static const int WIDTH = 640, HEIGHT = 480;
static const int SUBSAMPLES = 4;

// Where the card writes: the greeting's three lines at the top left and the
// name's first two lines under it. Kept dark and calm, with fainter snow.
static const double GREETING_LEFT = 24, GREETING_RIGHT = 540, GREETING_TOP = 6, GREETING_BOTTOM = 172;
static const double NAME_LEFT = 24, NAME_RIGHT = 470, NAME_TOP = 268, NAME_BOTTOM = 384;

struct colour {
    float r, g, b, a;  // premultiplied by a
};

static colour rgb(float r, float g, float b)
{
    return colour{r / 255, g / 255, b / 255, 1};
}

static colour mix(colour p, colour q, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return colour{(float)(p.r + (q.r - p.r) * t), (float)(p.g + (q.g - p.g) * t),
                  (float)(p.b + (q.b - p.b) * t), (float)(p.a + (q.a - p.a) * t)};
}

// Paints an opaque-or-translucent colour (straight alpha) over dst.
static void paint(colour *dst, colour src, double alpha)
{
    float a = (float)(src.a * alpha);
    dst->r = src.r * a + dst->r * (1 - a);
    dst->g = src.g * a + dst->g * (1 - a);
    dst->b = src.b * a + dst->b * (1 - a);
    dst->a = a + dst->a * (1 - a);
}

static double smoothstep(double edge0, double edge1, double x)
{
    double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

static bool in_greeting_or_name(double x, double y)
{
    return (x > GREETING_LEFT && x < GREETING_RIGHT && y > GREETING_TOP && y < GREETING_BOTTOM) ||
           (x > NAME_LEFT && x < NAME_RIGHT && y > NAME_TOP && y < NAME_BOTTOM);
}

// The skyline heights, as functions of x (y grows downward).
static double mountain_top(double x)
{
    return 258 - 24 * sin(x * 0.0105 + 0.4) - 13 * sin(x * 0.027 + 1.9) - 5 * sin(x * 0.063 + 0.3);
}

static double snow_top(double x)
{
    return 404 + 12 * sin(x * 0.0085 + 0.7) + 7 * sin(x * 0.021 + 2.2) - 22 * (x / WIDTH);
}

static double forest_ground(double x)
{
    return 302 + 9 * sin(x * 0.009 + 2.0) + 5 * sin(x * 0.023);
}

struct pine {
    double x, base, height;
};

// A pine is three stacked triangles; returns the top of its silhouette at
// x, or a large value where it does not reach.
static double pine_top(const pine &p, double x)
{
    double top = 1e9;
    for (int tier = 0; tier < 3; tier++) {
        double apex = p.base - p.height + tier * p.height * 0.27;
        double half_width = p.height * (0.16 + 0.07 * tier);
        double slope = p.height * 0.46 / half_width;
        double dx = fabs(x - p.x);
        if (dx < half_width)
            top = std::min(top, apex + dx * slope);
    }
    return top;
}

struct bauble {
    double x, y, radius;
    colour tint;
};

struct scene {
    std::vector<pine> pines;
    std::vector<double> forest_top;  // per sub-pixel column
    std::vector<bauble> baubles;
};

// The decorated tree: four drooping tiers around TREE_X.
static const double TREE_X = 548;
struct tier {
    double apex, bottom, half_width;
};
static const tier TREE_TIERS[] = {{128, 202, 36}, {168, 262, 54}, {212, 328, 72}, {262, 402, 90}};

static double tier_bottom(const tier &t, double x)
{
    double u = (x - TREE_X) / t.half_width;
    // A gently drooping, scalloped hem.
    return t.bottom + 6 * (1 - u * u) + 2.5 * sin(u * 9.0);
}

// Shading of the tree at a point: lit from the moon on the upper right,
// darker under each tier's hem.
static bool tree_colour(double x, double y, colour *out)
{
    for (int i = 3; i >= 0; i--) {
        const tier &t = TREE_TIERS[i];
        if (y < t.apex || y > tier_bottom(t, x))
            continue;
        double half = t.half_width * (y - t.apex) / (t.bottom - t.apex);
        double dx = x - TREE_X;
        if (fabs(dx) > half)
            continue;
        double across = half > 0 ? dx / half : 0;
        double down = (y - t.apex) / (t.bottom - t.apex);
        colour dark = rgb(8, 48, 30), light = rgb(44, 128, 66);
        double lit = 0.45 + 0.35 * across - 0.25 * down + 0.08 * sin(x * 0.9 + y * 0.7);
        *out = mix(dark, light, lit);
        return true;
    }
    return false;
}

// A five-pointed star, point up: an even-odd test against its ten corners.
static bool star_shape(double x, double y, double cx, double cy, double outer, double inner)
{
    double px[10], py[10];
    for (int k = 0; k < 10; k++) {
        double r = k % 2 ? inner : outer, angle = k * M_PI / 5;
        px[k] = cx + r * sin(angle), py[k] = cy - r * cos(angle);
    }
    bool inside = false;
    for (int i = 0, j = 9; i < 10; j = i++)
        if ((py[i] > y) != (py[j] > y) && x < px[i] + (y - py[i]) * (px[j] - px[i]) / (py[j] - py[i]))
            inside = !inside;
    return inside;
}

static void paint_presents(colour *c, double x, double y)
{
    struct box {
        double left, top, width, height;
        colour paper, ribbon;
    };
    static const box boxes[] = {
        {452, 398, 38, 30, rgb(178, 24, 38), rgb(240, 198, 70)},
        {590, 404, 32, 26, rgb(36, 78, 170), rgb(225, 228, 238)},
        {497, 414, 30, 22, rgb(34, 120, 70), rgb(200, 30, 44)},
    };
    for (const box &b : boxes) {
        if (x < b.left || x > b.left + b.width || y < b.top || y > b.top + b.height)
            continue;
        double mid_x = b.left + b.width / 2, mid_y = b.top + b.height * 0.45;
        bool ribbon = fabs(x - mid_x) < 2.5 || fabs(y - mid_y) < 2.5;
        colour face = ribbon ? b.ribbon : b.paper;
        double shade = 0.75 + 0.25 * (x - b.left) / b.width;  // lit from the right
        paint(c, mix(rgb(0, 0, 0), face, shade), 1);
    }
    // Bows: two small loops above each box.
    for (const box &b : boxes) {
        double mid_x = b.left + b.width / 2;
        for (int side = -1; side <= 1; side += 2) {
            double dx = (x - (mid_x + side * 4.5)) / 4.5, dy = (y - (b.top - 2.5)) / 3.0;
            if (dx * dx + dy * dy < 1)
                paint(c, b.ribbon, 1);
        }
    }
}

static colour sample(const scene &s, double x, double y, int column)
{
    colour c = {0, 0, 0, 0};
    // Sky: a deep blue veil, thickest at the top and gone well above the
    // mountains, so the card's colour glows along the horizon.
    double veil = 0.7 * pow(1 - smoothstep(0, 200, y), 1.2);
    if (veil > 0)
        paint(&c, mix(rgb(10, 14, 46), rgb(30, 34, 86), y / 200), veil);
    // Crescent moon, lit from the lower right.
    if (hypot(x - 590, y - 62) < 23 && hypot(x - 580, y - 55) > 20)
        paint(&c, rgb(250, 244, 214), 1);
    // Mountains, with moonlit snowy ridges.
    double ridge = mountain_top(x);
    if (y > ridge)
        paint(&c, mix(rgb(128, 146, 190), rgb(40, 52, 96), (y - ridge) / 34), 1);
    // Pine forest on its hill, very dark, down to the snowfield.
    double forest = std::min(s.forest_top[column], forest_ground(x));
    if (y > forest)
        paint(&c, mix(rgb(16, 36, 44), rgb(8, 20, 30), (y - forest) / 90), 1);
    // Snowfield in blue moonlight, brightest along its crest.
    double crest = snow_top(x);
    if (y > crest)
        paint(&c, mix(rgb(214, 226, 246), rgb(132, 150, 198), (y - crest) / 80), 1);
    // The tree: trunk, tiers, baubles, the star on top.
    if (x > TREE_X - 9 && x < TREE_X + 9 && y > 392 && y < 436)
        paint(&c, mix(rgb(52, 32, 22), rgb(92, 60, 38), (x - TREE_X + 9) / 18), 1);
    colour green;
    if (tree_colour(x, y, &green))
        paint(&c, green, 1);
    for (const bauble &b : s.baubles) {
        double d = hypot(x - b.x, y - b.y);
        if (d > b.radius)
            continue;
        // Light from the upper right, a bright glint, a darker rim.
        double lit = 0.55 + 0.45 * ((x - b.x) - (y - b.y)) / (b.radius * 1.414);
        colour ball = mix(rgb(0, 0, 0), b.tint, 0.55 + 0.5 * lit - 0.3 * (d / b.radius));
        if (hypot(x - (b.x + b.radius * 0.35), y - (b.y - b.radius * 0.35)) < b.radius * 0.28)
            ball = rgb(255, 255, 255);
        paint(&c, ball, 1);
    }
    if (star_shape(x, y, TREE_X, 114, 17, 7))
        paint(&c, mix(rgb(255, 236, 140), rgb(232, 168, 40), (y - 97) / 34), 1);
    paint_presents(&c, x, y);
    return c;
}

static scene plan_scene()
{
    scene s;
    random_source random{0x5EA5011DULL};
    for (double x = -20; x < WIDTH + 20; x += 11 + 13 * random.next()) {
        double height = 30 + 34 * random.next();
        s.pines.push_back(pine{x, forest_ground(x) + 6, height});
    }
    s.forest_top.resize(WIDTH * SUBSAMPLES);
    for (int column = 0; column < WIDTH * SUBSAMPLES; column++) {
        double x = (column + 0.5) / SUBSAMPLES;
        double top = 1e9;
        for (const pine &p : s.pines)
            top = std::min(top, pine_top(p, x));
        s.forest_top[column] = top;
    }
    const colour tints[] = {rgb(214, 34, 44), rgb(240, 186, 48), rgb(64, 118, 228), rgb(220, 224, 236)};
    // Baubles spread over the tree, none too close to another.
    for (int tries = 0; tries < 4000 && s.baubles.size() < 26; tries++) {
        double x = TREE_X - 90 + 180 * random.next(), y = 150 + 250 * random.next();
        colour unused;
        if (!tree_colour(x, y, &unused) || !tree_colour(x - 7, y, &unused) ||
            !tree_colour(x + 7, y, &unused) || !tree_colour(x, y + 7, &unused))
            continue;
        bool crowded = false;
        for (const bauble &b : s.baubles)
            crowded = crowded || hypot(b.x - x, b.y - y) < 24;
        if (!crowded)
            s.baubles.push_back(bauble{x, y, 4.5 + 1.8 * random.next(), tints[s.baubles.size() % 4]});
    }
    return s;
}

// A soft round sprite: alpha falls off smoothly to zero at the radius.
static void sprite(std::vector<colour> *image, double cx, double cy, double radius, colour tint, double alpha)
{
    for (int y = std::max(0, (int)(cy - radius)); y <= std::min(HEIGHT - 1, (int)(cy + radius)); y++)
        for (int x = std::max(0, (int)(cx - radius)); x <= std::min(WIDTH - 1, (int)(cx + radius)); x++) {
            double d = hypot(x + 0.5 - cx, y + 0.5 - cy) / radius;
            if (d < 1)
                paint(&(*image)[(size_t)y * WIDTH + x], tint, alpha * (1 - smoothstep(0.0, 1.0, d)));
        }
}

static void add_lights(std::vector<colour> *image, const scene &s)
{
    (void)s;
    random_source random{0xB1257A25ULL};
    // The star's and the moon's glow.
    sprite(image, TREE_X, 114, 38, rgb(255, 220, 120), 0.45);
    sprite(image, 590, 62, 60, rgb(230, 230, 210), 0.22);
    // Garlands of small warm lights drooping across each tier.
    for (const tier &t : TREE_TIERS) {
        double y0 = t.apex + (t.bottom - t.apex) * 0.62;
        double half = t.half_width * 0.62 * 0.92;
        for (double u = -1; u <= 1.001; u += 0.18) {
            double x = TREE_X + u * half, y = y0 + 9 * (1 - u * u) + u * 5;
            colour glow = (int)((u + 1) / 0.18 + 0.5) % 2 ? rgb(255, 214, 120) : rgb(255, 246, 200);
            sprite(image, x, y, 4.2, glow, 0.5);
            sprite(image, x, y, 1.6, rgb(255, 250, 230), 1.0);
        }
    }
    // Stars in the sky, fewer and fainter where the greeting stands.
    for (int i = 0; i < 90; i++) {
        double x = WIDTH * random.next(), y = 225 * random.next();
        double size = 0.8 + 1.2 * pow(random.next(), 3), alpha = 0.45 + 0.55 * random.next();
        if (hypot(x - 590, y - 62) < 40 || y > mountain_top(x) - 4)
            continue;
        if (in_greeting_or_name(x, y))
            alpha *= 0.3;
        sprite(image, x, y, size + 0.6, rgb(255, 252, 236), alpha);
    }
    // Falling snow everywhere, faint behind the lettering.
    for (int i = 0; i < 300; i++) {
        double x = WIDTH * random.next(), y = HEIGHT * random.next();
        double size = 1.1 + 1.8 * pow(random.next(), 2), alpha = 0.55 + 0.4 * random.next();
        if (in_greeting_or_name(x, y))
            alpha *= 0.35;
        sprite(image, x, y, size, rgb(255, 255, 255), alpha);
    }
}

rgba_image make_winter_scene()
{
    scene s = plan_scene();
    std::vector<colour> image((size_t)WIDTH * HEIGHT);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            colour sum = {0, 0, 0, 0};
            for (int j = 0; j < SUBSAMPLES; j++)
                for (int i = 0; i < SUBSAMPLES; i++) {
                    colour c = sample(s, x + (i + 0.5) / SUBSAMPLES, y + (j + 0.5) / SUBSAMPLES,
                                      x * SUBSAMPLES + i);
                    sum.r += c.r, sum.g += c.g, sum.b += c.b, sum.a += c.a;
                }
            const float n = SUBSAMPLES * SUBSAMPLES;
            image[(size_t)y * WIDTH + x] = colour{sum.r / n, sum.g / n, sum.b / n, sum.a / n};
        }
    add_lights(&image, s);

    rgba_image out{WIDTH, HEIGHT, std::vector<unsigned char>((size_t)WIDTH * HEIGHT * 4, 0)};
    for (size_t i = 0; i < image.size(); i++) {
        const colour &c = image[i];
        int alpha = (int)lround(c.a * 255);
        if (alpha == 0)
            continue;  // fully transparent texels stay (0, 0, 0, 0)
        unsigned char *p = &out.pixels[i * 4];
        p[0] = (unsigned char)lround(std::clamp(c.r / c.a, 0.0f, 1.0f) * 255);
        p[1] = (unsigned char)lround(std::clamp(c.g / c.a, 0.0f, 1.0f) * 255);
        p[2] = (unsigned char)lround(std::clamp(c.b / c.a, 0.0f, 1.0f) * 255);
        p[3] = (unsigned char)alpha;
    }
    return out;
}
