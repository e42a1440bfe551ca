// paint.cpp -- anti-aliased 2D filling, the built-in font, value noise.
//
// Owns the coverage computation: each pixel row is cut by sub_rows
// horizontal sample lines; on each line the shape's spans are found from
// its edge crossings (even-odd) and every pixel gets the exact fraction of
// the span it holds, weighted 1 / sub_rows.  Needs data/image.h for the
// output images and PNG encoding.
#include "paint.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

constexpr int sub_rows = 5;             // sample lines per pixel row
constexpr int ellipse_steps_min = 24;   // polygon steps of the smallest ellipse
constexpr float pi_f = 3.14159265358979f;

// ---- colours and pixels

paint_colour paint_rgb(int r, int g, int b, float a)
{
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f, a};
}

paint_colour paint_mix(paint_colour a, paint_colour b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

canvas canvas_make(int width, int height, paint_colour fill)
{
    canvas c;
    c.width = width;
    c.height = height;
    c.matte = fill;
    c.px.resize(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < c.px.size(); i += 4) {
        c.px[i] = fill.r * fill.a;
        c.px[i + 1] = fill.g * fill.a;
        c.px[i + 2] = fill.b * fill.a;
        c.px[i + 3] = fill.a;
    }
    c.mask.assign(static_cast<size_t>(width) * height, 0.0f);
    return c;
}

static void blend(canvas& c, size_t i, paint_colour colour, float coverage)
{
    float a = colour.a * coverage, keep = 1.0f - a;
    float* p = &c.px[i * 4];
    p[0] = colour.r * a + p[0] * keep;
    p[1] = colour.g * a + p[1] * keep;
    p[2] = colour.b * a + p[2] * keep;
    p[3] = a + p[3] * keep;
}

void paint_pixel(canvas& c, int x, int y, paint_colour colour)
{
    if (x >= 0 && y >= 0 && x < c.width && y < c.height)
        blend(c, static_cast<size_t>(y) * c.width + x, colour, 1.0f);
}

void paint_set(canvas& c, int x, int y, paint_colour colour)
{
    if (x < 0 || y < 0 || x >= c.width || y >= c.height)
        return;
    float* p = &c.px[(static_cast<size_t>(y) * c.width + x) * 4];
    p[0] = colour.r * colour.a, p[1] = colour.g * colour.a, p[2] = colour.b * colour.a, p[3] = colour.a;
}

paint_colour paint_get(const canvas& c, int x, int y)
{
    const float* p = &c.px[(static_cast<size_t>(y) * c.width + x) * 4];
    if (p[3] <= 0.0f)
        return {c.matte.r, c.matte.g, c.matte.b, 0.0f};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
}

// ---- coverage

static void touch(canvas& c, int x0, int y0, int x1, int y1)
{
    if (c.mask_hi_x < c.mask_lo_x) {
        c.mask_lo_x = x0, c.mask_lo_y = y0, c.mask_hi_x = x1, c.mask_hi_y = y1;
        return;
    }
    c.mask_lo_x = std::min(c.mask_lo_x, x0), c.mask_lo_y = std::min(c.mask_lo_y, y0);
    c.mask_hi_x = std::max(c.mask_hi_x, x1), c.mask_hi_y = std::max(c.mask_hi_y, y1);
}

// Adds the span [xa, xb) of one sample line to a pixel row's coverage.
static void add_span(float* row, int width, float xa, float xb, float weight)
{
    xa = std::max(xa, 0.0f);
    xb = std::min(xb, static_cast<float>(width));
    if (xb <= xa)
        return;
    int first = static_cast<int>(xa), last = std::min(static_cast<int>(xb), width - 1);
    for (int x = first; x <= last; x++) {
        float part = std::min(xb, static_cast<float>(x + 1)) - std::max(xa, static_cast<float>(x));
        if (part > 0.0f)
            row[x] += part * weight;
    }
}

void paint_mask_polygon(canvas& c, const float* xy, int points)
{
    if (points < 3)
        return;
    float lo_y = xy[1], hi_y = xy[1], lo_x = xy[0], hi_x = xy[0];
    for (int i = 1; i < points; i++) {
        lo_x = std::min(lo_x, xy[2 * i]), hi_x = std::max(hi_x, xy[2 * i]);
        lo_y = std::min(lo_y, xy[2 * i + 1]), hi_y = std::max(hi_y, xy[2 * i + 1]);
    }
    int y0 = std::max(0, static_cast<int>(std::floor(lo_y)));
    int y1 = std::min(c.height - 1, static_cast<int>(std::floor(hi_y)));
    int x0 = std::max(0, static_cast<int>(std::floor(lo_x)));
    int x1 = std::min(c.width - 1, static_cast<int>(std::floor(hi_x)));
    if (y1 < y0 || x1 < x0)
        return;
    touch(c, x0, y0, x1, y1);
    std::vector<float> cross;
    for (int py = y0; py <= y1; py++) {
        float* row = &c.mask[static_cast<size_t>(py) * c.width];
        for (int sub = 0; sub < sub_rows; sub++) {
            float y = static_cast<float>(py) + (static_cast<float>(sub) + 0.5f) / sub_rows;
            cross.clear();
            for (int i = 0; i < points; i++) {
                int j = (i + 1) % points;
                float ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[2 * j], by = xy[2 * j + 1];
                if ((ay <= y && y < by) || (by <= y && y < ay))
                    cross.push_back(ax + (y - ay) * (bx - ax) / (by - ay));
            }
            std::sort(cross.begin(), cross.end());
            for (size_t k = 0; k + 1 < cross.size(); k += 2)
                add_span(row, c.width, cross[k], cross[k + 1], 1.0f / sub_rows);
        }
    }
}

void paint_mask_rect(canvas& c, float x0, float y0, float x1, float y1)
{
    const float xy[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    paint_mask_polygon(c, xy, 4);
}

void paint_mask_ellipse(canvas& c, float cx, float cy, float rx, float ry)
{
    int steps = std::max(ellipse_steps_min, static_cast<int>(2.0f * pi_f * std::max(rx, ry) / 2.0f));
    std::vector<float> xy;
    for (int i = 0; i < steps; i++) {
        float a = 2.0f * pi_f * static_cast<float>(i) / static_cast<float>(steps);
        xy.push_back(cx + rx * std::cos(a));
        xy.push_back(cy + ry * std::sin(a));
    }
    paint_mask_polygon(c, xy.data(), steps);
}

void paint_mask_line(canvas& c, float x0, float y0, float x1, float y1, float width)
{
    float dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy), h = 0.5f * width;
    if (len > 0.0f) {
        float nx = -dy / len * h, ny = dx / len * h;
        const float xy[8] = {x0 + nx, y0 + ny, x1 + nx, y1 + ny, x1 - nx, y1 - ny, x0 - nx, y0 - ny};
        paint_mask_polygon(c, xy, 4);
    }
    paint_mask_ellipse(c, x0, y0, h, h);
    paint_mask_ellipse(c, x1, y1, h, h);
}

void paint_mask_fill(canvas& c, paint_colour colour)
{
    for (int y = c.mask_lo_y; y <= c.mask_hi_y; y++)
        for (int x = c.mask_lo_x; x <= c.mask_hi_x; x++) {
            size_t i = static_cast<size_t>(y) * c.width + x;
            float cov = std::min(c.mask[i], 1.0f);
            if (cov > 0.0f)
                blend(c, i, colour, cov);
            c.mask[i] = 0.0f;
        }
    c.mask_lo_x = c.mask_lo_y = 0;
    c.mask_hi_x = c.mask_hi_y = -1;
}

void paint_polygon(canvas& c, const float* xy, int points, paint_colour colour)
{
    paint_mask_polygon(c, xy, points);
    paint_mask_fill(c, colour);
}

void paint_rect(canvas& c, float x0, float y0, float x1, float y1, paint_colour colour)
{
    paint_mask_rect(c, x0, y0, x1, y1);
    paint_mask_fill(c, colour);
}

void paint_ellipse(canvas& c, float cx, float cy, float rx, float ry, paint_colour colour)
{
    paint_mask_ellipse(c, cx, cy, rx, ry);
    paint_mask_fill(c, colour);
}

void paint_line(canvas& c, float x0, float y0, float x1, float y1, float width, paint_colour colour)
{
    paint_mask_line(c, x0, y0, x1, y1, width);
    paint_mask_fill(c, colour);
}

// ---- font: 7 rows of 5 bits per glyph, bit 4 the leftmost column

struct glyph {
    char ch;
    uint8_t rows[7];
};

static const glyph font[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
    {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
    {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},
    {'U', {17, 17, 17, 17, 17, 17, 14}}, {'V', {17, 17, 17, 17, 17, 10, 4}},
    {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 17, 10, 4, 4, 4}},    {'Z', {31, 1, 2, 4, 8, 16, 31}},
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'.', {0, 0, 0, 0, 0, 12, 12}},      {'-', {0, 0, 0, 31, 0, 0, 0}},
    {'!', {4, 4, 4, 4, 4, 0, 4}},        {':', {0, 12, 12, 0, 12, 12, 0}},
};

static const glyph* find_glyph(char ch)
{
    if (ch >= 'a' && ch <= 'z')
        ch = static_cast<char>(ch - 'a' + 'A');
    for (const glyph& g : font)
        if (g.ch == ch)
            return &g;
    return nullptr;
}

float paint_text_width(const char* text, float scale)
{
    size_t n = strlen(text);
    return n ? (static_cast<float>(n) * 6.0f - 1.0f) * scale : 0.0f;
}

void paint_mask_text(canvas& c, const char* text, float x, float y, float scale)
{
    for (size_t i = 0; text[i]; i++, x += 6.0f * scale) {
        const glyph* g = find_glyph(text[i]);
        if (!g)
            continue;
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++)
                if (g->rows[row] & (16 >> col))
                    paint_mask_rect(c, x + col * scale, y + row * scale, x + (col + 1) * scale,
                                    y + (row + 1) * scale);
    }
}

void paint_text(canvas& c, const char* text, float x, float y, float scale, paint_colour colour)
{
    paint_mask_text(c, text, x, y, scale);
    paint_mask_fill(c, colour);
}

// ---- noise and random numbers

paint_random paint_random_make(uint32_t seed)
{
    paint_random r;
    r.engine.seed(seed);
    return r;
}

float paint_random_unit(paint_random& r)
{
    return static_cast<float>(r.engine() >> 8) * (1.0f / 16777216.0f);
}

float paint_random_range(paint_random& r, float lo, float hi) { return lo + (hi - lo) * paint_random_unit(r); }

paint_noise paint_noise_make(uint32_t seed)
{
    paint_noise n;
    paint_random r = paint_random_make(seed);
    for (int i = 0; i < 256; i++) {
        n.perm[i] = static_cast<uint8_t>(i);
        n.value[i] = paint_random_unit(r);
    }
    for (int i = 255; i > 0; i--)   // Fisher-Yates with the generator's own draws
        std::swap(n.perm[i], n.perm[r.engine() % static_cast<uint32_t>(i + 1)]);
    return n;
}

static float lattice(const paint_noise& n, int x, int y, int period)
{
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    return n.value[n.perm[(n.perm[x & 255] + y) & 255]];
}

static float smooth(float t) { return t * t * (3.0f - 2.0f * t); }

float paint_noise_at(const paint_noise& n, float x, float y, int period)
{
    if (period < 1)
        period = 1;
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = smooth(x - fx), ty = smooth(y - fy);
    float a = lattice(n, ix, iy, period), b = lattice(n, ix + 1, iy, period);
    float c = lattice(n, ix, iy + 1, period), d = lattice(n, ix + 1, iy + 1, period);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float paint_fbm(const paint_noise& n, float x, float y, int period, int octaves)
{
    float sum = 0.0f, weight = 0.5f, total = 0.0f;
    for (int o = 0; o < octaves; o++) {
        sum += weight * paint_noise_at(n, x, y, period);
        total += weight;
        x *= 2.0f, y *= 2.0f, period *= 2, weight *= 0.5f;
    }
    return sum / total;
}

// ---- output

static uint8_t to_byte(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return static_cast<uint8_t>(std::lround(v * 255.0f));
}

void canvas_to_image(const canvas& c, bool alpha, image* out)
{
    image_alloc(out, c.width, c.height, alpha ? image_rgba8 : image_rgb8);
    int channels = alpha ? 4 : 3;
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++) {
            paint_colour p = paint_get(c, x, y);
            uint8_t* o = out->pixels + (static_cast<size_t>(y) * c.width + x) * channels;
            if (!alpha) {   // flatten onto the matte
                float keep = 1.0f - p.a;
                p.r = p.r * p.a + c.matte.r * keep;
                p.g = p.g * p.a + c.matte.g * keep;
                p.b = p.b * p.a + c.matte.b * keep;
            }
            o[0] = to_byte(p.r), o[1] = to_byte(p.g), o[2] = to_byte(p.b);
            if (alpha)
                o[3] = to_byte(p.a);
        }
}

std::string canvas_png(const canvas& c, bool alpha)
{
    image img{};
    canvas_to_image(c, alpha, &img);
    uint8_t* bytes = nullptr;
    int size = 0;
    std::string out;
    if (png_encode(img, &bytes, &size))
        out.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    free(bytes);
    image_free(&img);
    return out;
}
