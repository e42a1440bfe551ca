// track_surface.cpp -- the default tracks' tiles: "tileinfo" and the tile map.
//
// Owns the surface table shared by both tracks (dirt, hard-pack, loam,
// grass, sand, concrete: friction and rolling-resistance curves, roost and
// erosion) and the choice of surface for every tile: the course's own
// surface in its core, loose loam along its edges and up the outside of
// berms, bare dirt on the sides of jumps, and the track's off-course
// surface (grass, or a stadium's floor, with concrete walls and stands).
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "track.h"

constexpr float edge_band = 1.5f;        // ft each side of the course edge that is loose loam
constexpr float bare_drop = 1.5f;        // ft of cut or fill beside the course that stays bare dirt
constexpr float berm_loam_slope = 0.15f; // berms at least this steep get loam on their face
constexpr float stadium_bank = 0.2f;     // ft: ground raised above the floor is the bank

struct curve_point {
    float value, key;     // friction value, slip speed (ft/s)
};

struct roll_point {
    float a, b, key;      // force at light and full load (lbf), speed (ft/s)
};

struct surface_spec {
    const char* name;
    curve_point friction[4];
    roll_point roll[2];
    const char* roost[2];     // "roost" parameter lists, or null
    float erode[8];           // depth, lower, upper, displacement, radius, max_slope, off_speed, on_speed
};

// Grip falls as the tyre slides faster; soft ground rolls harder, and
// harder still at speed as the tyre ploughs.
static const surface_spec surfaces[surface_count] = {
    {"dirt",
     {{0.92f, 1}, {0.88f, 8}, {0.78f, 25}, {0.68f, 60}},
     {{5, 14, 1}, {6, 17, 60}},
     {"count=2 slip_threshold=4 size=0.25 grow=3 drag=0.6 r=120 g=92 b=64 fade_a=-256", nullptr},
     {1.0f, 50, 150, 2.0f, 4.0f, 0.25f, 10, 15}},
    {"hardpack",
     {{0.80f, 1}, {0.74f, 8}, {0.64f, 25}, {0.55f, 60}},
     {{3.5f, 9, 1}, {4.5f, 12, 60}},
     {"count=1 slip_threshold=6 size=0.18 grow=2.5 drag=0.7 r=150 g=125 b=95 fade_a=-384", nullptr},
     {0.4f, 80, 220, 1.5f, 4.0f, 0.2f, 12, 18}},
    {"loam",
     {{1.00f, 1}, {0.95f, 8}, {0.86f, 25}, {0.76f, 60}},
     {{6, 19, 1}, {8, 24, 60}},
     {"count=3 slip_threshold=3 size=0.32 grow=3.5 drag=0.5 vscale=1.1 r=92 g=68 b=46 fade_a=-256", nullptr},
     {1.6f, 40, 130, 2.5f, 3.5f, 0.3f, 8, 13}},
    {"grass",
     {{0.58f, 1}, {0.52f, 8}, {0.44f, 25}, {0.38f, 60}},
     {{4, 12, 1}, {5, 14, 60}},
     {"count=1 slip_threshold=5 size=0.2 grow=2.5 drag=0.7 r=105 g=82 b=56 fade_a=-256",
      "count=1 slip_threshold=5 size=0.15 grow=1.5 drag=1.5 vscale=0.8 r=76 g=118 b=46 fade_a=-192"},
     {0.3f, 90, 250, 1.5f, 4.0f, 0.2f, 12, 18}},
    {"sand",
     {{0.68f, 1}, {0.63f, 8}, {0.57f, 25}, {0.52f, 60}},
     {{12, 34, 1}, {16, 44, 60}},
     {"count=4 slip_threshold=2.5 size=0.22 grow=4 drag=0.45 vscale=1.2 randomize=18 r=200 g=175 b=130 "
      "fade_a=-192",
      nullptr},
     {2.0f, 30, 110, 3.0f, 3.0f, 0.4f, 6, 10}},
    {"concrete",
     {{0.95f, 1}, {0.90f, 8}, {0.82f, 25}, {0.75f, 60}},
     {{2, 5, 1}, {2.5f, 6, 60}},
     {nullptr, nullptr},
     {0.0f, 1000, 2000, 0.0f, 4.0f, 0.0f, 10, 15}},
};

static const char* const erode_keys[8] = {
    "erode_depth", "erode_lower", "erode_upper", "erode_displacement",
    "erode_radius", "erode_max_slope", "erode_off_speed", "erode_on_speed",
};

const char* surface_name(int surface)
{
    return surface >= 0 && surface < surface_count ? surfaces[surface].name : "dirt";
}

std::string tileinfo_file()
{
    std::string out;
    char line[256];
    for (const surface_spec& s : surfaces) {
        snprintf(line, sizeof line, "texture @ground/%s.png\n", s.name);
        out += line;
        for (const curve_point& p : s.friction) {
            snprintf(line, sizeof line, "friction %.2f %.1f\n", p.value, p.key);
            out += line;
        }
        for (const roll_point& p : s.roll) {
            snprintf(line, sizeof line, "roll_resist %.1f %.1f %.1f\n", p.a, p.b, p.key);
            out += line;
        }
        for (const char* roost : s.roost)
            if (roost)
                out += std::string("roost ") + roost + "\n";
        for (int i = 0; i < 8; i++) {
            snprintf(line, sizeof line, "%s %.2f\n", erode_keys[i], s.erode[i]);
            out += line;
        }
        out += "addtile\n";
    }
    return out;
}

static int off_course_surface(const track_build& b, size_t v, double x, double z)
{
    const track_design& d = b.design;
    if (d.base == base_stadium) {
        if (stadium_floor_distance(d, x, z) > 0)
            return surface_concrete;
        if (b.base[v] > stadium_bank)
            return surface_dirt;
    }
    return d.off_course;
}

int surface_at(const track_build& b, double x, double z)
{
    int c = std::clamp(static_cast<int>(std::lround(x / b.spacing)), 0, b.size - 1);
    int r = std::clamp(static_cast<int>(std::lround(z / b.spacing)), 0, b.size - 1);
    size_t v = static_cast<size_t>(r) * b.size + c;
    const course_hit& hit = b.hits[v];
    if (hit.branch < 0)
        return off_course_surface(b, v, x, z);
    course_point p = branch_point(b, hit.branch, hit.index, hit.t);
    float half = p.width / 2, ad = std::fabs(hit.d);
    bool start_area = hit.branch == 1;
    if (ad <= half - edge_band) {
        if (p.berm_slope > berm_loam_slope && hit.d * p.berm_side > 0.1f * half)
            return surface_loam;
        return p.surface;
    }
    if (ad <= half + edge_band)
        return start_area ? surface_hardpack : surface_loam;
    if (std::fabs(b.heights[v] - b.base[v]) > bare_drop)
        return surface_dirt;
    return off_course_surface(b, v, x, z);
}

void surface_build(track_build* b)
{
    int tiles = 1 << b->design.levels;
    double tile = 2 * b->spacing;
    b->tilemap.resize(static_cast<size_t>(tiles) * tiles);
    for (int r = 0; r < tiles; r++)
        for (int c = 0; c < tiles; c++)
            b->tilemap[static_cast<size_t>(r) * tiles + c] =
                static_cast<uint8_t>(surface_at(*b, (c + 0.5) * tile, (r + 0.5) * tile));
}
