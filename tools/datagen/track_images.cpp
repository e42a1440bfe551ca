// track_images.cpp -- the default tracks' image layers and ground textures.
//
// Owns the baked light of a track: shadows found by marching from every
// grid vertex toward the sun over the decoded height field (softened at
// their edges), and shading from the game's own smoothed vertex normals
// with Lambert light plus ambient, in the x2 representation and with the
// same formula the game uses to relight deformed ground, so ruts blend in.
// Also the HUD's top-down map and the tileable ground textures every
// "tileinfo" names, staged for the shared archive.  Needs the decoded
// heights and the course hits of track_terrain.cpp; image.h encodes PNGs.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

#include "data/image.h"
#include "track.h"

constexpr float shadow_bias = 0.3f;       // ft the shadow ray starts above the ground
constexpr float shadow_step = 0.75f;      // of the spacing, per march step
constexpr int map_side = 256;             // pixels of "map.png"
constexpr int map_subsamples = 4;         // per pixel side
constexpr int texture_side = 256;         // pixels of a ground texture
constexpr int texture_period = 224;       // the part of a tile image the renderer shows repeats
constexpr int texture_inset = 16;         // pixels left unused on each side of a tile image

// --- Shadows and shading -------------------------------------------------

static void sun_direction(const track_design& d, float l[3])
{
    float len = std::sqrt(d.light.sun[0] * d.light.sun[0] + d.light.sun[1] * d.light.sun[1] +
                          d.light.sun[2] * d.light.sun[2]);
    for (int i = 0; i < 3; i++)
        l[i] = d.light.sun[i] / len;
}

static bool in_shadow(const track_build& b, const float l[3], int c, int r)
{
    float hl = std::sqrt(l[0] * l[0] + l[2] * l[2]);
    if (hl < 1e-6f)
        return false;
    double dx = l[0] / hl, dz = l[2] / hl, rise = l[1] / hl;
    double x = c * b.spacing, z = r * b.spacing;
    double h = b.heights[static_cast<size_t>(r) * b.size + c] + shadow_bias;
    double step = shadow_step * b.spacing;
    for (double t = step;; t += step) {
        double px = x + dx * t, pz = z + dz * t, ph = h + rise * t;
        if (ph > b.max_height || px < 0 || pz < 0 || px > b.world || pz > b.world)
            return false;
        if (grid_height(b, px, pz) > ph)
            return true;
    }
}

// The game's smoothed vertex normal: the mean of the eight fan triangles'
// unit normals around the vertex.
static void vertex_normal(const track_build& b, int c, int r, float n[3])
{
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    auto at = [&](int cc, int rr, float p[3]) {
        p[0] = static_cast<float>(cc * b.spacing);
        p[2] = static_cast<float>(rr * b.spacing);
        int ci = std::clamp(cc, 0, b.size - 1), ri = std::clamp(rr, 0, b.size - 1);
        p[1] = b.heights[static_cast<size_t>(ri) * b.size + ci];
    };
    float centre[3], sum[3] = {0, 0, 0};
    at(c, r, centre);
    for (int k = 0; k < 8; k++) {
        float p[3], q[3], a[3], e[3];
        at(c + ring[k][0], r + ring[k][1], p);
        at(c + ring[(k + 1) % 8][0], r + ring[(k + 1) % 8][1], q);
        for (int i = 0; i < 3; i++) {
            a[i] = p[i] - centre[i];
            e[i] = q[i] - centre[i];
        }
        float x = e[1] * a[2] - e[2] * a[1], y = e[2] * a[0] - e[0] * a[2], z = e[0] * a[1] - e[1] * a[0];
        float len = std::sqrt(x * x + y * y + z * z);
        if (len > 0) {
            sum[0] += x / len;
            sum[1] += y / len;
            sum[2] += z / len;
        }
    }
    float len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    for (int i = 0; i < 3; i++)
        n[i] = len > 0 ? sum[i] / len : (i == 1 ? 1.0f : 0.0f);
}

void shading_build(track_build* b)
{
    const track_design& d = b->design;
    int n = b->size;
    size_t count = static_cast<size_t>(n) * n;
    float l[3];
    sun_direction(d, l);
    std::vector<uint8_t> hard(count);
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++)
            hard[static_cast<size_t>(r) * n + c] = in_shadow(*b, l, c, r) ? 255 : 0;
    // A soft edge two samples wide.
    b->shadow.resize(count);
    for (int r = 0; r < n; r++) {
        for (int c = 0; c < n; c++) {
            int sum = 0;
            for (int dr = -1; dr <= 1; dr++)
                for (int dc = -1; dc <= 1; dc++)
                    sum += (dr ? 1 : 2) * (dc ? 1 : 2) *
                           hard[static_cast<size_t>(std::clamp(r + dr, 0, n - 1)) * n + std::clamp(c + dc, 0, n - 1)];
            b->shadow[static_cast<size_t>(r) * n + c] = static_cast<uint8_t>(sum / 16);
        }
    }
    b->shading.resize(count * 3);
    for (int r = 0; r < n; r++) {
        for (int c = 0; c < n; c++) {
            size_t v = static_cast<size_t>(r) * n + c;
            float nv[3];
            vertex_normal(*b, c, r, nv);
            float k = std::clamp(l[0] * nv[0] + l[1] * nv[1] + l[2] * nv[2], 0.0f, 1.0f) *
                      (1 - b->shadow[v] / 255.0f);
            for (int i = 0; i < 3; i++) {
                int s = static_cast<int>(255 * 0.5f * (d.light.sun_color[i] * k + d.light.ambient[i]));
                b->shading[v * 3 + i] = static_cast<uint8_t>(std::clamp(s, 0, 255));
            }
        }
    }
}

static std::string netpbm(const char* magic, int side, const uint8_t* bytes, size_t count)
{
    char header[64];
    snprintf(header, sizeof header, "%s\n%d %d\n255\n", magic, side, side);
    return std::string(header) + std::string(reinterpret_cast<const char*>(bytes), count);
}

std::string shading_file(const track_build& b)
{
    return netpbm("P6", b.size, b.shading.data(), b.shading.size());
}

std::string shadows_file(const track_build& b)
{
    std::vector<uint8_t> light(b.shadow.size());
    for (size_t v = 0; v < light.size(); v++)
        light[v] = static_cast<uint8_t>(255 - b.shadow[v]);
    return netpbm("P5", b.size, light.data(), light.size());
}

static bool encode_png(const image& img, std::string* png)
{
    uint8_t* bytes = nullptr;
    int size = 0;
    if (!png_encode(img, &bytes, &size)) {
        fprintf(stderr, "datagen: can't encode a PNG image\n");
        return false;
    }
    png->assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    free(bytes);
    return true;
}

// --- The HUD map ---------------------------------------------------------

// What the map shows at a world point: 2 course, 1 its outline, 0 nothing.
static int map_class(const track_build& b, double x, double z, float outline)
{
    int c = std::clamp(static_cast<int>(std::lround(x / b.spacing)), 0, b.size - 1);
    int r = std::clamp(static_cast<int>(std::lround(z / b.spacing)), 0, b.size - 1);
    const course_hit& hit = b.hits[static_cast<size_t>(r) * b.size + c];
    if (hit.branch < 0)
        return 0;
    course_point p = branch_point(b, hit.branch, hit.index, hit.t);
    float ad = std::fabs(hit.d);
    return ad <= p.width / 2 ? 2 : ad <= p.width / 2 + outline ? 1 : 0;
}

bool map_file(const track_build& b, std::string* png)
{
    image img{};
    image_alloc(&img, map_side, map_side, image_rgba8);
    double pixel = b.world / map_side;
    float outline = static_cast<float>(pixel * 1.2);
    const track_checkpoint& finish = b.checkpoints.back();
    for (int py = 0; py < map_side; py++) {
        for (int px = 0; px < map_side; px++) {
            int course = 0, edge = 0, line = 0;
            for (int sy = 0; sy < map_subsamples; sy++) {
                for (int sx = 0; sx < map_subsamples; sx++) {
                    double x = (px + (sx + 0.5) / map_subsamples) * pixel;
                    double z = (py + (sy + 0.5) / map_subsamples) * pixel;
                    int k = map_class(b, x, z, outline);
                    course += k == 2;
                    edge += k == 1;
                    // The finish line across the course.
                    double along = (x - finish.x) * finish.dx + (z - finish.z) * finish.dz;
                    double across = std::fabs((x - finish.x) * finish.dz - (z - finish.z) * finish.dx);
                    line += k == 2 && std::fabs(along) < pixel && across < finish.radius;
                }
            }
            int total = map_subsamples * map_subsamples;
            float a_course = course / static_cast<float>(total), a_edge = edge / static_cast<float>(total);
            float a_line = line / static_cast<float>(total);
            float cr = 240, cg = 236, cb = 222;
            cr += (215 - cr) * a_line * 2;
            cg += (40 - cg) * a_line * 2;
            cb += (40 - cb) * a_line * 2;
            float alpha = a_course * 235 + a_edge * 190;
            float mix = alpha > 0 ? a_course * 235 / alpha : 0;   // share of course colour over outline
            uint8_t* o = img.pixels + (static_cast<size_t>(py) * map_side + px) * 4;
            o[0] = static_cast<uint8_t>(std::clamp(cr * mix + 20 * (1 - mix), 0.0f, 255.0f));
            o[1] = static_cast<uint8_t>(std::clamp(cg * mix + 20 * (1 - mix), 0.0f, 255.0f));
            o[2] = static_cast<uint8_t>(std::clamp(cb * mix + 20 * (1 - mix), 0.0f, 255.0f));
            o[3] = static_cast<uint8_t>(std::clamp(alpha, 0.0f, 255.0f));
        }
    }
    bool ok = encode_png(img, png);
    image_free(&img);
    return ok;
}

// --- Ground textures -----------------------------------------------------

// A canvas that repeats every texture_period pixels: what is drawn across
// one edge reappears at the other, so neighbouring tiles meet seamlessly.
struct canvas {
    float rgb[texture_period * texture_period][3];
};

static uint32_t hash32(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Periodic value noise in [0, 1): `cells` lattice cells across the period.
static float lattice(int cells, int ix, int iy, uint32_t seed)
{
    ix = ((ix % cells) + cells) % cells;
    iy = ((iy % cells) + cells) % cells;
    return hash32(static_cast<uint32_t>(ix) * 73856093U ^ static_cast<uint32_t>(iy) * 19349663U ^ seed) *
           (1.0f / 4294967296.0f);
}

static float value_noise(float x, float y, int cells, uint32_t seed)
{
    float u = x * cells / texture_period, v = y * cells / texture_period;
    int ix = static_cast<int>(std::floor(u)), iy = static_cast<int>(std::floor(v));
    float fx = u - ix, fy = v - iy;
    fx = fx * fx * fx * (fx * (fx * 6 - 15) + 10);
    fy = fy * fy * fy * (fy * (fy * 6 - 15) + 10);
    float a = lattice(cells, ix, iy, seed), b = lattice(cells, ix + 1, iy, seed);
    float c = lattice(cells, ix, iy + 1, seed), d = lattice(cells, ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Fractal sum over cell counts 7, 14, 28, ... (all divide the period): -1 .. 1.
static float fbm(float x, float y, int first_cells, int octaves, float gain, uint32_t seed)
{
    float sum = 0, amp = 1, norm = 0;
    int cells = first_cells;
    for (int o = 0; o < octaves; o++) {
        sum += amp * (value_noise(x, y, cells, seed + o * 977U) * 2 - 1);
        norm += amp;
        amp *= gain;
        cells *= 2;
    }
    return sum / norm;
}

static void fill(canvas* cv, const float base[3], float contrast, int first_cells, int octaves, float gain,
                 uint32_t seed)
{
    for (int y = 0; y < texture_period; y++) {
        for (int x = 0; x < texture_period; x++) {
            float n = fbm(x + 0.5f, y + 0.5f, first_cells, octaves, gain, seed);
            float k = 1 + contrast * n;
            for (int i = 0; i < 3; i++)
                cv->rgb[y * texture_period + x][i] = base[i] * k;
        }
    }
}

static void blend(canvas* cv, int x, int y, const float colour[3], float alpha)
{
    x = ((x % texture_period) + texture_period) % texture_period;
    y = ((y % texture_period) + texture_period) % texture_period;
    float* p = cv->rgb[y * texture_period + x];
    for (int i = 0; i < 3; i++)
        p[i] += (colour[i] - p[i]) * alpha;
}

// Round stones or crumbs with a soft edge and a lit upper side.
static void stones(canvas* cv, std::mt19937& g, int count, float r0, float r1, const float light[3],
                   const float dark[3], float opacity)
{
    auto u = [&]() { return (g() >> 8) * (1.0f / 16777216.0f); };
    for (int k = 0; k < count; k++) {
        float cx = u() * texture_period, cy = u() * texture_period, r = r0 + (r1 - r0) * u();
        float t = u();
        float colour[3];
        for (int i = 0; i < 3; i++)
            colour[i] = dark[i] + (light[i] - dark[i]) * t;
        int ext = static_cast<int>(std::ceil(r + 1));
        for (int dy = -ext; dy <= ext; dy++) {
            for (int dx = -ext; dx <= ext; dx++) {
                float px = std::floor(cx) + dx + 0.5f - cx, py = std::floor(cy) + dy + 0.5f - cy;
                float dist = std::sqrt(px * px + py * py);
                float a = std::clamp(r + 0.5f - dist, 0.0f, 1.0f) * opacity;
                if (a <= 0)
                    continue;
                float shade = 1.0f - 0.25f * (px + py) / (r + 0.5f);   // lit from the upper left
                float c[3] = {colour[0] * shade, colour[1] * shade, colour[2] * shade};
                blend(cv, static_cast<int>(std::floor(cx)) + dx, static_cast<int>(std::floor(cy)) + dy, c, a);
            }
        }
    }
}

// Grass blades: short strokes leaning every way from upright.
static void blades(canvas* cv, std::mt19937& g, int count, const float light[3], const float dark[3])
{
    auto u = [&]() { return (g() >> 8) * (1.0f / 16777216.0f); };
    for (int k = 0; k < count; k++) {
        float x = u() * texture_period, y = u() * texture_period;
        float length = 5 + 8 * u(), angle = (u() - 0.5f) * 1.6f + (u() < 0.5f ? 0 : 3.14159f);
        float t = u(), colour[3];
        for (int i = 0; i < 3; i++)
            colour[i] = dark[i] + (light[i] - dark[i]) * t;
        float dx = std::sin(angle), dy = -std::cos(angle);
        for (float s = 0; s < length; s += 0.5f) {
            float a = 0.85f * (1 - 0.6f * s / length);
            blend(cv, static_cast<int>(std::floor(x + dx * s)), static_cast<int>(std::floor(y + dy * s)), colour, a);
        }
    }
}

static void ripples(canvas* cv, float depth, int waves, uint32_t seed)
{
    for (int y = 0; y < texture_period; y++) {
        for (int x = 0; x < texture_period; x++) {
            float warp = fbm(x + 0.5f, y + 0.5f, 7, 2, 0.5f, seed) * 0.9f;
            float phase = 2 * 3.14159265f * (waves * (y + 0.5f) / texture_period + warp);
            float k = 1 + depth * std::sin(phase);
            for (int i = 0; i < 3; i++)
                cv->rgb[y * texture_period + x][i] *= k;
        }
    }
}

static void paint(int surface, canvas* cv)
{
    std::mt19937 g(0x6772u + static_cast<uint32_t>(surface) * 7919u);
    uint32_t seed = 0x1000u * (surface + 1);
    switch (surface) {
    case surface_dirt: {
        const float base[3] = {124, 94, 64}, light[3] = {158, 138, 112}, dark[3] = {82, 62, 44};
        fill(cv, base, 0.22f, 7, 5, 0.55f, seed);
        stones(cv, g, 110, 1.2f, 3.5f, light, dark, 0.9f);
        break;
    }
    case surface_hardpack: {
        const float base[3] = {152, 124, 92}, light[3] = {176, 156, 128}, dark[3] = {112, 90, 66};
        fill(cv, base, 0.12f, 7, 5, 0.6f, seed);
        stones(cv, g, 45, 0.8f, 2.2f, light, dark, 0.7f);
        break;
    }
    case surface_loam: {
        const float base[3] = {90, 66, 45}, light[3] = {122, 94, 66}, dark[3] = {52, 38, 26};
        fill(cv, base, 0.28f, 14, 4, 0.7f, seed);
        stones(cv, g, 420, 0.8f, 2.6f, light, dark, 0.8f);
        break;
    }
    case surface_grass: {
        const float base[3] = {66, 102, 40}, light[3] = {118, 156, 64}, dark[3] = {40, 72, 26};
        fill(cv, base, 0.20f, 7, 4, 0.6f, seed);
        blades(cv, g, 1400, light, dark);
        break;
    }
    case surface_sand: {
        const float base[3] = {198, 174, 130}, light[3] = {222, 204, 166}, dark[3] = {150, 128, 92};
        fill(cv, base, 0.08f, 28, 3, 0.6f, seed);
        ripples(cv, 0.05f, 14, seed + 5);
        stones(cv, g, 160, 0.5f, 1.1f, light, dark, 0.6f);
        break;
    }
    default: {
        const float base[3] = {150, 150, 146}, light[3] = {172, 172, 168}, dark[3] = {110, 110, 106};
        fill(cv, base, 0.07f, 7, 5, 0.65f, seed);
        stones(cv, g, 90, 0.5f, 1.0f, light, dark, 0.5f);
        break;
    }
    }
}

static bool ground_texture(const datagen_context& ctx, int surface)
{
    std::unique_ptr<canvas> cv = std::make_unique<canvas>();
    paint(surface, cv.get());
    image img{};
    image_alloc(&img, texture_side, texture_side, image_rgb8);
    for (int y = 0; y < texture_side; y++) {
        for (int x = 0; x < texture_side; x++) {
            int px = ((x - texture_inset) % texture_period + texture_period) % texture_period;
            int py = ((y - texture_inset) % texture_period + texture_period) % texture_period;
            for (int i = 0; i < 3; i++)
                img.pixels[(static_cast<size_t>(y) * texture_side + x) * 3 + i] = static_cast<uint8_t>(
                    std::clamp(static_cast<int>(std::lround(cv->rgb[py * texture_period + px][i])), 0, 255));
        }
    }
    std::string png;
    bool ok = encode_png(img, &png);
    image_free(&img);
    return ok && datagen_write(ctx.stage_dir + "/zzzz", std::string("ground/") + surface_name(surface) + ".png", png);
}

bool ground_textures(const datagen_context& ctx)
{
    for (int s = 0; s < surface_count; s++)
        if (!ground_texture(ctx, s))
            return false;
    return true;
}
