// paint.h -- 2D drawing for the data generator's procedural textures.
//
// Owns: an RGBA canvas of floats (premultiplied alpha), anti-aliased
// filling of polygons, rectangles, ellipses and round-capped lines
// (coordinates in pixels, y growing downward, (0, 0) the top-left corner
// of the top-left pixel), a built-in 5 x 7 bitmap font, tileable value
// noise from a fixed-seed MT19937, and conversion to data/image.h images.
// Promises: the same calls give the same pixels; nothing here reads the
// clock or any global state.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "data/image.h"

struct paint_colour {
    float r, g, b, a;   // 0..1, straight (not premultiplied) alpha
};

struct canvas {
    int width = 0, height = 0;    // pixels
    std::vector<float> px;        // width x height x 4, premultiplied RGBA, rows top first
    paint_colour matte{};         // colour written where the result is fully transparent
    std::vector<float> mask;      // coverage being gathered by paint_mask_* (width x height)
    int mask_lo_x = 0, mask_lo_y = 0, mask_hi_x = -1, mask_hi_y = -1;   // touched mask rows/columns
};

// A canvas filled with one colour; `fill` may be transparent, and its
// colour is then the matte of the finished image.
canvas canvas_make(int width, int height, paint_colour fill);

paint_colour paint_rgb(int r, int g, int b, float a = 1.0f);   // from 0..255 values
paint_colour paint_mix(paint_colour a, paint_colour b, float t);  // a + (b - a) t, all four channels

// Shapes are gathered into the canvas's coverage mask (overlapping shapes
// of one gathering count once) and composited with paint_mask_fill.
void paint_mask_polygon(canvas& c, const float* xy, int points);   // even-odd rule
void paint_mask_rect(canvas& c, float x0, float y0, float x1, float y1);
void paint_mask_ellipse(canvas& c, float cx, float cy, float rx, float ry);
void paint_mask_line(canvas& c, float x0, float y0, float x1, float y1, float width);   // round caps
void paint_mask_text(canvas& c, const char* text, float x, float y, float scale);       // top-left at x, y
void paint_mask_fill(canvas& c, paint_colour colour);   // composites "over" and clears the mask

// One-shape conveniences: gather one shape and fill it.
void paint_polygon(canvas& c, const float* xy, int points, paint_colour colour);
void paint_rect(canvas& c, float x0, float y0, float x1, float y1, paint_colour colour);
void paint_ellipse(canvas& c, float cx, float cy, float rx, float ry, paint_colour colour);
void paint_line(canvas& c, float x0, float y0, float x1, float y1, float width, paint_colour colour);
void paint_text(canvas& c, const char* text, float x, float y, float scale, paint_colour colour);

// Text metrics of the built-in font: glyphs are 5 x 7 cells of `scale`
// pixels with one empty column between them.  Lower case prints as upper
// case; characters the font lacks print as blanks.
float paint_text_width(const char* text, float scale);
constexpr float paint_text_rows = 7.0f;

// Blends one pixel "over", or (paint_set) replaces it; outside the canvas
// nothing happens.
void paint_pixel(canvas& c, int x, int y, paint_colour colour);
void paint_set(canvas& c, int x, int y, paint_colour colour);
paint_colour paint_get(const canvas& c, int x, int y);   // straight alpha

// Tileable value noise: a lattice of random values repeating every
// `period` cells, smoothly interpolated; paint_fbm sums octaves.
struct paint_noise {
    uint8_t perm[256];     // lattice hash
    float value[256];      // lattice values, 0..1
};
paint_noise paint_noise_make(uint32_t seed);
float paint_noise_at(const paint_noise& n, float x, float y, int period);   // 0..1
float paint_fbm(const paint_noise& n, float x, float y, int period, int octaves);   // 0..1

// A small deterministic random source for placing things: MT19937, whose
// output sequence the C++ standard fixes, turned into floats by this
// code (the library's distributions differ between implementations).
struct paint_random {
    std::mt19937 engine;   // seeded by the caller
};
paint_random paint_random_make(uint32_t seed);
float paint_random_unit(paint_random& r);                       // [0, 1), 24 bits
float paint_random_range(paint_random& r, float lo, float hi);  // [lo, hi)

// The finished image: rgb8 (alpha dropped) or rgba8; the caller frees it
// with image_free.
void canvas_to_image(const canvas& c, bool alpha, image* out);
// The image encoded as PNG bytes; "" on failure.
std::string canvas_png(const canvas& c, bool alpha);
