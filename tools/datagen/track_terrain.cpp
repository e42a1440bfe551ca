// track_terrain.cpp -- the default tracks' height fields.
//
// Owns the base ground (rolling hills from a fixed seed, or a stadium's
// floor, banks, walls and stands) and cutting the course into it: every
// grid vertex near the course learns its nearest centre-line point; on the
// course the height is the sample's centre height plus the berm's banking,
// beyond the edge a smoothstep shoulder blends back to the base ground
// over a width that grows with the height difference.  The result is
// quantised to 16-bit samples exactly as "terrain.hf" stores them, and the
// decoded heights are what the image and object modules read.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

#include "track.h"

constexpr int big_waves = 7;            // rolling hills
constexpr int small_waves = 10;         // gentle roughness off the course
constexpr double hill_height = 32;      // ft, the hill the circuit is named after
constexpr double hill_sigma = 320;      // ft
constexpr double hill_x = 1350, hill_z = 560;
constexpr double tilt = 0.008;          // overall grade of the ground
constexpr float berm_u0 = 0.40f;        // berm face: starts rising (fraction of the width from the inside)
constexpr float berm_u1 = 0.60f;        //   reaches its full slope
constexpr float berm_u2 = 0.85f;        //   starts rounding over into the top
constexpr float reach_margin = 2;       // ft searched beyond the widest shoulder
constexpr int smooth_passes = 2;        // binomial passes over the ground beside the course
constexpr double stadium_corner = 30;   // ft, radius of the floor's corners
constexpr double pi = 3.14159265358979323846;

struct wave {
    double kx, kz;      // wave vector, radians per ft
    double phase;       // radians
    double amplitude;   // ft
};

static double unit(std::mt19937& g) { return (g() >> 8) * (1.0 / 16777216.0); }

// The wave set of a seed; a design's ground is the same every run.
static const std::vector<wave>& waves_for(uint32_t seed)
{
    static std::map<uint32_t, std::vector<wave>> cache;
    auto it = cache.find(seed);
    if (it != cache.end())
        return it->second;
    std::mt19937 g(seed);
    std::vector<wave> w;
    for (int i = 0; i < big_waves + small_waves; i++) {
        bool big = i < big_waves;
        double length = big ? 500 + 800 * unit(g) : 40 + 110 * unit(g);
        double dir = 2 * pi * unit(g);
        double k = 2 * pi / length;
        double amp = big ? length / 180 * (0.5 + 0.5 * unit(g)) : length / 400 * (0.5 + 0.5 * unit(g));
        w.push_back({k * std::cos(dir), k * std::sin(dir), 2 * pi * unit(g), amp});
    }
    return cache.emplace(seed, w).first->second;
}

static double rolling_height(const track_design& d, double x, double z)
{
    double h = 0;
    for (const wave& w : waves_for(d.seed))
        h += w.amplitude * std::cos(w.kx * x + w.kz * z + w.phase);
    double dx = x - hill_x, dz = z - hill_z;
    h += hill_height * std::exp(-(dx * dx + dz * dz) / (2 * hill_sigma * hill_sigma));
    return h + tilt * (x - 1024);
}

// Signed distance outside the floor's rounded rectangle.
static double floor_distance(const track_design& d, double x, double z)
{
    double cx = (d.floor_x0 + d.floor_x1) / 2, cz = (d.floor_z0 + d.floor_z1) / 2;
    double qx = std::fabs(x - cx) - ((d.floor_x1 - d.floor_x0) / 2 - stadium_corner);
    double qz = std::fabs(z - cz) - ((d.floor_z1 - d.floor_z0) / 2 - stadium_corner);
    double ox = std::max(qx, 0.0), oz = std::max(qz, 0.0);
    return std::sqrt(ox * ox + oz * oz) + std::min(std::max(qx, qz), 0.0) - stadium_corner;
}

// Cross profile of the stadium's edge: a dirt bank inside the floor's
// edge, the wall, a walkway and the stands rising behind it.
static const std::vector<profile_knot> stadium_edge = {
    {-11.0, 0.0, 6.0},    // foot of the bank
    {-1.2, 2.5, 0.8},     // top of the bank
    {0.0, 6.5, 0.6},      // top of the wall
    {6.0, 6.5, 3.0},      // back of the walkway
    {64.0, 42.5, 8.0},    // top of the stands
};

float base_height(const track_design& d, double x, double z)
{
    if (d.base == base_stadium)
        return static_cast<float>(knot_profile(stadium_edge, floor_distance(d, x, z)));
    return static_cast<float>(rolling_height(d, x, z));
}

float stadium_floor_distance(const track_design& d, double x, double z)
{
    return static_cast<float>(floor_distance(d, x, z));
}

// --- Nearest course points -----------------------------------------------

static void scan_segment(track_build* b, int branch, int i, int j)
{
    const track_design& d = b->design;
    const course_sample& p = b->branches[branch].samples[i];
    const course_sample& q = b->branches[branch].samples[j];
    double reach = std::max(p.width, q.width) / 2 + d.shoulder_max + reach_margin;
    double sx = b->spacing;
    int c0 = std::max(0, static_cast<int>(std::floor((std::min(p.x, q.x) - reach) / sx)));
    int c1 = std::min(b->size - 1, static_cast<int>(std::ceil((std::max(p.x, q.x) + reach) / sx)));
    int r0 = std::max(0, static_cast<int>(std::floor((std::min(p.z, q.z) - reach) / sx)));
    int r1 = std::min(b->size - 1, static_cast<int>(std::ceil((std::max(p.z, q.z) + reach) / sx)));
    double ex = q.x - p.x, ez = q.z - p.z, len2 = ex * ex + ez * ez;
    double len = std::sqrt(len2);
    double rx = -ez / len, rz = ex / len;   // right of travel
    for (int r = r0; r <= r1; r++) {
        for (int c = c0; c <= c1; c++) {
            double x = c * sx, z = r * sx;
            double t = ((x - p.x) * ex + (z - p.z) * ez) / len2;
            t = t < 0 ? 0 : t > 1 ? 1 : t;
            double fx = x - (p.x + t * ex), fz = z - (p.z + t * ez);
            double dist = std::sqrt(fx * fx + fz * fz);
            if (dist > reach)
                continue;
            course_hit& h = b->hits[static_cast<size_t>(r) * b->size + c];
            if (dist < h.dist) {
                double side = fx * rx + fz * rz;
                h.dist = static_cast<float>(dist);
                h.d = static_cast<float>(side < 0 ? -dist : dist);
                h.branch = branch;
                h.index = i;
                h.t = static_cast<float>(t);
            }
        }
    }
}

static void find_hits(track_build* b)
{
    b->hits.assign(static_cast<size_t>(b->size) * b->size, course_hit{course_far, 0, -1, 0, 0});
    for (int k = 0; k < static_cast<int>(b->branches.size()); k++) {
        const course_branch& br = b->branches[k];
        int n = static_cast<int>(br.samples.size());
        for (int i = 0; i + 1 < n; i++)
            scan_segment(b, k, i, i + 1);
        if (br.closed)
            scan_segment(b, k, n - 1, 0);
    }
}

// --- Heights -------------------------------------------------------------

// Integral of the berm face's slope shape across the width (0 .. 0.425).
static float berm_shape(float u)
{
    if (u <= berm_u0)
        return 0;
    if (u <= berm_u1)
        return (u - berm_u0) * (u - berm_u0) / (2 * (berm_u1 - berm_u0));
    float rise = (berm_u1 - berm_u0) / 2;
    if (u <= berm_u2)
        return rise + (u - berm_u1);
    float v = std::min(u, 1.0f);
    return rise + (berm_u2 - berm_u1) + ((1 - berm_u2) / 2 - (1 - v) * (1 - v) / (2 * (1 - berm_u2)));
}

float course_surface_height(const course_point& p, float d)
{
    float h = p.height;
    if (p.berm_slope > 0) {
        float u = (d * p.berm_side + p.width / 2) / p.width;
        h += p.width * p.berm_slope * berm_shape(std::clamp(u, 0.0f, 1.0f));
    }
    return h;
}

float shoulder_width(const track_design& d, float drop)
{
    float w = d.shoulder_min + d.shoulder_per_ft * (std::sqrt(drop * drop + 1) - 1);
    return std::min(w, d.shoulder_max);
}

static float vertex_height(const track_build& b, size_t v)
{
    const course_hit& hit = b.hits[v];
    float base = b.base[v];
    if (hit.branch < 0)
        return base;
    course_point p = branch_point(b, hit.branch, hit.index, hit.t);
    float half = p.width / 2, ad = std::fabs(hit.d);
    if (ad <= half)
        return course_surface_height(p, hit.d);
    float edge = course_surface_height(p, hit.d < 0 ? -half : half);
    float t = (ad - half) / shoulder_width(b.design, edge - base);
    if (t >= 1)
        return base;
    float s = t * t * (3 - 2 * t);
    return edge + (base - edge) * s;
}

// Softens the ground beside the course, where the nearest course point
// can jump from one stretch to another, leaving the course itself exact.
static void smooth_beside_course(track_build* b, std::vector<float>* h)
{
    int n = b->size;
    std::vector<float> weight(h->size(), 0.0f), blurred(h->size());
    for (size_t v = 0; v < h->size(); v++) {
        const course_hit& hit = b->hits[v];
        if (hit.branch < 0)
            continue;
        course_point p = branch_point(*b, hit.branch, hit.index, hit.t);
        float t = (std::fabs(hit.d) - p.width / 2 - 2) / 6;
        t = std::clamp(t, 0.0f, 1.0f);
        weight[v] = t * t * (3 - 2 * t);
    }
    for (int pass = 0; pass < smooth_passes; pass++) {
        for (int r = 0; r < n; r++) {
            for (int c = 0; c < n; c++) {
                float sum = 0;
                for (int dr = -1; dr <= 1; dr++) {
                    for (int dc = -1; dc <= 1; dc++) {
                        int rr = std::clamp(r + dr, 0, n - 1), cc = std::clamp(c + dc, 0, n - 1);
                        float k = (dr ? 1.0f : 2.0f) * (dc ? 1.0f : 2.0f);
                        sum += k * (*h)[static_cast<size_t>(rr) * n + cc];
                    }
                }
                blurred[static_cast<size_t>(r) * n + c] = sum / 16;
            }
        }
        for (size_t v = 0; v < h->size(); v++)
            (*h)[v] += ((blurred[v]) - (*h)[v]) * weight[v];
    }
}

// Header bounds are written with "%f" and read back as floats, so the
// samples are encoded and decoded against exactly what the game reads.
static float as_written(double v)
{
    char text[64];
    snprintf(text, sizeof text, "%f", v);
    return std::strtof(text, nullptr);
}

static void quantise(track_build* b, const std::vector<float>& h)
{
    float lo = h[0], hi = h[0];
    for (float v : h) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    b->min_height = as_written(std::floor(lo) - 1);
    b->max_height = as_written(std::ceil(hi) + 1);
    float range = b->max_height - b->min_height;
    b->samples.resize(h.size());
    b->heights.resize(h.size());
    for (size_t v = 0; v < h.size(); v++) {
        double u = (h[v] - b->min_height) / range * 65535.0 + 0.5;
        uint16_t q = static_cast<uint16_t>(std::clamp(u, 0.0, 65535.0));
        b->samples[v] = q;
        b->heights[v] = b->min_height + range * q * (1.0f / 65535);
    }
}

bool terrain_build(track_build* b)
{
    size_t count = static_cast<size_t>(b->size) * b->size;
    b->base.resize(count);
    for (int r = 0; r < b->size; r++)
        for (int c = 0; c < b->size; c++)
            b->base[static_cast<size_t>(r) * b->size + c] = base_height(b->design, c * b->spacing, r * b->spacing);
    find_hits(b);
    std::vector<float> h(count);
    for (size_t v = 0; v < count; v++) {
        h[v] = vertex_height(*b, v);
        if (!std::isfinite(h[v])) {
            fprintf(stderr, "datagen: track %s: height at vertex %zu is not finite\n", b->design.dir, v);
            return false;
        }
    }
    smooth_beside_course(b, &h);
    quantise(b, h);
    return true;
}

// --- Reading the result back ---------------------------------------------

static float vertex(const track_build& b, int c, int r)
{
    c = std::clamp(c, 0, b.size - 1);
    r = std::clamp(r, 0, b.size - 1);
    return b.heights[static_cast<size_t>(r) * b.size + c];
}

// The game's triangle rule: cells split along alternating diagonals.
float grid_height(const track_build& b, double x, double z)
{
    double u = x / b.spacing, v = z / b.spacing;
    int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
    double fu = u - i, fv = v - j;
    bool odd = ((i + j) & 1) != 0;
    double a = odd ? fu : 1 - fu;
    if (odd) {
        if (fv + a <= 1) {
            double p0 = vertex(b, i, j);
            return static_cast<float>(p0 + fu * (vertex(b, i + 1, j) - p0) + fv * (vertex(b, i, j + 1) - p0));
        }
        double p0 = vertex(b, i + 1, j + 1);
        return static_cast<float>(p0 + (1 - fu) * (vertex(b, i, j + 1) - p0) + (1 - fv) * (vertex(b, i + 1, j) - p0));
    }
    if (fv + a <= 1) {
        double p0 = vertex(b, i + 1, j);
        return static_cast<float>(p0 + (1 - fu) * (vertex(b, i, j) - p0) + fv * (vertex(b, i + 1, j + 1) - p0));
    }
    double p0 = vertex(b, i, j + 1);
    return static_cast<float>(p0 + fu * (vertex(b, i + 1, j + 1) - p0) + (1 - fv) * (vertex(b, i, j) - p0));
}

std::string terrain_file(const track_build& b)
{
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n:", b.design.levels, b.spacing,
             static_cast<double>(b.min_height), static_cast<double>(b.max_height));
    std::string out = header;
    out.reserve(out.size() + b.samples.size() * 2);
    for (uint16_t q : b.samples) {
        out.push_back(static_cast<char>(q & 0xff));
        out.push_back(static_cast<char>(q >> 8));
    }
    return out;
}
