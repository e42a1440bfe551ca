// track_files.cpp -- the default tracks' directories: timing, objects, files.
//
// Owns the entry point that builds "rabbithill/" and "stadium/" in the
// data root: the layout, terrain, surface and image modules make the
// ground; this module places what stands on it -- starting gates in rows
// behind the gate line, checkpoints around the loop (the finish line last,
// a first-lap-only checkpoint in the start chute), television cameras
// beside the course with the gates that select them, flaggers, hay bales
// inside the turns, course marker poles, start banners, trees, bushes and
// spectators -- and writes every file the track loader reads.  Large
// binary layers are stored gzip-compressed (the file layer reads ".gz").
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <zlib.h>

#include "track.h"

constexpr double finish_after_merge = 35;     // ft from the merge point to the finish line
constexpr double checkpoint_room = 8;         // ft of checkpoint radius beyond the course's half width
constexpr double chute_checkpoint_ahead = 60; // ft from the gate line to the start chute's checkpoint
constexpr double gate_statue_ahead = 3;       // ft the gate stands in front of its rider (the loader's offset)
constexpr double bale_pitch = 5.5;            // ft between hay bales in a row
constexpr double bale_gap = 3.0;              // ft from the course edge to a row of 4-ft round bales
constexpr double marker_pitch = 45;           // ft between course marker poles
constexpr double marker_gap = 2.5;            // ft from the course edge to a marker pole
constexpr double banner_pitch = 30;           // ft between banners near the start
constexpr double upright = -7.0;              // statue angle for objects that stand upright
constexpr float flagger_size = 9.6f, flagger_aspect = 1.0f;   // the sprite's ft tall (a 6-ft person), width / height
constexpr double starter_walk = 5;            // seconds the starter takes to leave the gate
constexpr double camera_height = 18;          // ft above the ground, outdoors
constexpr double stadium_camera_back = 30;    // ft up the stands from the floor's edge
constexpr double tree_cell = 26;              // ft, one tree at most per cell
constexpr double tree_clearance = 30;         // ft from a course edge to a tree
constexpr double woods_density = 0.8;         // chance of a tree in a cell deep in a wood
constexpr double crowd_pitch = 27;            // ft between spectator groups
constexpr float crowd_size = 7.0f, crowd_aspect = 4.0f;   // the crowd sprite: ft tall, width / height
constexpr double pi = 3.14159265358979323846;

static const char* const bale[3] = {"@objects/haybale.jm", "@objects/haybale.png", "@objects/haybale.shp"};
static const char* const banner[3] = {"@objects/banner.jm", "@objects/banner.png", "@objects/banner.shp"};
static const char* const marker[3] = {"@objects/marker.jm", "@objects/marker.png", "null"};

static std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
static std::string format(const char* f, ...)
{
    char text[1024];
    va_list args;
    va_start(args, f);
    vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

static std::string gzip_bytes(const std::string& bytes)
{
    z_stream z{};
    // Window bits 15 + 16: a gzip wrapper with no name and a zero time stamp.
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

static double wrap_distance(double a, double b, double length)   // |a - b| around a loop
{
    double v = std::fabs(std::fmod(a - b, length));
    return std::min(v, length - v);
}

// Ft from (x, z) to the nearest course edge, leaving out the stretch of
// `branch` within `range` ft of `s` (the object's own stretch).
static double clearance(const track_build& b, double x, double z, int branch = -1, double s = 0,
                        double range = 0)
{
    double best = 1e30;
    for (int k = 0; k < static_cast<int>(b.branches.size()); k++) {
        for (const course_sample& c : b.branches[k].samples) {
            if (k == branch) {
                double along = k == 0 ? wrap_distance(c.s, s, b.loop_length) : std::fabs(c.s - s);
                if (along < range)
                    continue;
            }
            double dist = std::hypot(c.x - x, c.z - z) - c.width / 2;
            best = std::min(best, dist);
        }
    }
    return best;
}

// --- Timing --------------------------------------------------------------

static track_checkpoint checkpoint_at(const track_build& b, const course_point& p, double radius)
{
    return {p.x, grid_height(b, p.x, p.z), p.z, p.tx, p.tz, radius, p.s};
}

static void place_checkpoints(track_build* b)
{
    const track_design& d = b->design;
    int n = std::max(4, static_cast<int>(std::lround(b->loop_length / d.checkpoint_pitch)));
    double pitch = b->loop_length / n;
    b->checkpoints.clear();
    for (int k = 1; k <= n; k++) {
        course_point p = loop_point_at(*b, finish_after_merge + k * pitch);
        b->checkpoints.push_back(checkpoint_at(*b, p, p.width / 2 + checkpoint_room));
    }
    // The chute's checkpoint, met only on the first lap.
    const course_branch& chute = b->branches[1];
    double s = chute.samples.back().s - d.chute_length + chute_checkpoint_ahead;
    int i = std::clamp(static_cast<int>(std::lround(s)), 0, static_cast<int>(chute.samples.size()) - 2);
    course_point p = branch_point(*b, 1, i, 0);
    b->chute_checkpoint = checkpoint_at(*b, p, p.width / 2 + checkpoint_room);
}

// Rows of gates behind the gate line; gate 0 on the left, later rows
// staggered by half a gate.
static void place_gates(track_build* b)
{
    const track_design& d = b->design;
    const course_sample& m = b->branches[0].samples[0];
    double rx = -m.tz, rz = m.tx;
    double angle = std::atan2(-m.tx, -m.tz);
    b->gates.clear();
    for (int g = 0; g < d.gate_count; g++) {
        int row = g / d.gates_per_row, col = g % d.gates_per_row;
        double back = d.chute_length + row * d.gate_row_gap;
        double lateral = (col - (d.gates_per_row - 1) / 2.0) * d.gate_pitch + (row % 2) * d.gate_pitch / 2;
        b->gates.push_back({m.x - back * m.tx + lateral * rx, m.z - back * m.tz + lateral * rz, angle});
    }
}

static std::string timing_gates_file(const track_build& b)
{
    std::string out = "startinggate:\n";
    for (const track_gate& g : b.gates)
        out += format("[%f %f %f] %f\n", g.x, 0.0, g.z, g.angle);
    out += "checkpoints:\n";
    auto line = [&](const track_checkpoint& c) {
        out += format("%f [%f %f %f] [%f %f %f]\n", c.radius, c.x, c.y, c.z, c.dx, 0.0, c.dz);
    };
    for (const track_checkpoint& c : b.checkpoints)
        line(c);
    line(b.chute_checkpoint);
    int n = static_cast<int>(b.checkpoints.size());
    out += format("firstlap:\n%d ", 100000 + n);   // the chute: passed, not a line segment's end
    for (int k = 0; k < n; k++)
        out += format("%d ", k);
    out += "\nnormallap:\n";
    for (int k = 0; k < n; k++)
        out += format("%d ", k);
    return out + "\n";
}

// --- Cameras -------------------------------------------------------------

struct camera_spot {
    double x, z;            // position
    double height;          // ft above the ground
    std::vector<int> gates; // sequence positions that select it
};

// The nearest point of the stadium floor's edge, pushed up the stands.
static void stands_point(const track_design& d, double x, double z, double back, double* ox, double* oz)
{
    double e[4] = {x - d.floor_x0, d.floor_x1 - x, z - d.floor_z0, d.floor_z1 - z};
    int k = static_cast<int>(std::min_element(e, e + 4) - e);
    *ox = k == 0 ? d.floor_x0 - back : k == 1 ? d.floor_x1 + back : x;
    *oz = k == 2 ? d.floor_z0 - back : k == 3 ? d.floor_z1 + back : z;
}

// Beside the course at the middle of a stretch, on whichever side keeps
// clear of the rest of the course.
static camera_spot camera_beside(const track_build& b, double s)
{
    course_point p = loop_point_at(b, s);
    camera_spot best{p.x, p.z, camera_height, {}};
    if (b.design.base == base_stadium) {
        stands_point(b.design, p.x, p.z, stadium_camera_back, &best.x, &best.z);
        best.height = 6;
        return best;
    }
    double best_score = -1e30;
    static const double offsets[] = {70, -70, 90, -90, 55, -55, 110, -110};
    for (double off : offsets) {
        double x = p.x - p.tz * off, z = p.z + p.tx * off;
        if (x < 0 || z < 0 || x > b.world || z > b.world)
            continue;
        double room = clearance(b, x, z);
        double score = std::min(room, 45.0) - std::fabs(off) * 0.05;
        if (score > best_score) {
            best_score = score;
            best.x = x;
            best.z = z;
        }
    }
    return best;
}

static std::vector<camera_spot> place_cameras(const track_build& b)
{
    int n = static_cast<int>(b.checkpoints.size());
    int first = n + 1;   // the first lap's length: the chute checkpoint, then the loop's
    std::vector<camera_spot> cams;
    // The start: after the chute checkpoint and after the finish line.
    camera_spot start = camera_beside(b, finish_after_merge + 30);
    start.gates = {0, n, first + n - 1};
    cams.push_back(start);
    // Then one camera for every two stretches between checkpoints.
    for (int k = 0; k + 1 < n; k += 2) {
        int last = std::min(k + 1, n - 2);
        double s0 = b.checkpoints[k].s, s1 = b.checkpoints[last + 1].s;
        camera_spot c = camera_beside(b, (s0 + s1) / 2);
        for (int j = k; j <= last; j++) {
            c.gates.push_back(j + 1);
            c.gates.push_back(first + j);
        }
        cams.push_back(c);
    }
    return cams;
}

static std::string cameras_file(const std::vector<camera_spot>& cams)
{
    std::string out;
    for (const camera_spot& c : cams) {
        out += "fov 50\nautofovsize 12\ngate";
        for (int g : c.gates)
            out += format(" %d", g);
        out += format("\naddcamera %f %f %f\n", c.x, c.height, c.z);
    }
    return out;
}

// --- Flaggers ------------------------------------------------------------

// The two checkpoints a rider reaches first after loop position s.
static void next_checkpoints(const track_build& b, double s, int out[2])
{
    int n = static_cast<int>(b.checkpoints.size());
    double d0 = 1e30, d1 = 1e30;
    out[0] = out[1] = -1;
    for (int k = 0; k < n; k++) {
        double ahead = std::fmod(b.checkpoints[k].s - s + 2 * b.loop_length, b.loop_length);
        if (ahead < d0) {
            d1 = d0;
            out[1] = out[0];
            d0 = ahead;
            out[0] = k;
        } else if (ahead < d1) {
            d1 = ahead;
            out[1] = k;
        }
    }
}

static std::string flaggers_file(const track_build& b)
{
    const track_design& d = b.design;
    const course_sample& m = b.branches[0].samples[0];
    double rx = -m.tz, rz = m.tx;
    // The starter stands beside the last gate and walks away when it drops.
    double gx = m.x - d.chute_length * m.tx, gz = m.z - d.chute_length * m.tz;
    double side = d.pad_width / 2 + 6;
    std::string out = format("[%f %f %f] [%f %f %f] %f %f %f\n", gx + 6 * m.tx + side * rx, 0.0,
                             gz + 6 * m.tz + side * rz, gx + 6 * m.tx + (side + 25) * rx, 0.0,
                             gz + 6 * m.tz + (side + 25) * rz, flagger_size, flagger_aspect, starter_walk);
    for (int i = 0; i < 5; i++)
        out += format("@objects/flagger_start%d.png\n", i);
    // The lap flagger at the finish line, on the left.
    const track_checkpoint& f = b.checkpoints.back();
    course_point fp = loop_point_at(b, f.s);
    double off = fp.width / 2 + 5;
    out += format("[%f %f %f] %f %f\n", f.x + f.dz * off, 0.0, f.z - f.dx * off, flagger_size, flagger_aspect);
    out += "@objects/flagger_lap_normal.png\n@objects/flagger_lap_half.png\n"
           "@objects/flagger_lap_last.png\n@objects/flagger_lap_done.png\n";
    // A caution flagger before every blind or rough feature.
    for (const course_feature& ft : d.features) {
        if (!ft.caution)
            continue;
        double s = ft.s0 - 10;
        course_point p = loop_point_at(b, s);
        double lateral = -(p.width / 2 + 6);
        if (clearance(b, p.x - p.tz * lateral, p.z + p.tx * lateral, 0, s, 40) < 8)
            lateral = -lateral;
        int cp[2];
        next_checkpoints(b, s, cp);
        out += format("[%f %f %f] %f %f %d %d %d %d @objects/flagger_caution_idle.png "
                      "@objects/flagger_caution_wave.png\n",
                      p.x - p.tz * lateral, 0.0, p.z + p.tx * lateral, flagger_size, flagger_aspect, cp[0],
                      cp[1], -1, -1);
    }
    return out;
}

// --- Statues -------------------------------------------------------------

static void statue(std::string* out, double x, double z, double angle, const char* const names[3])
{
    *out += format("[%f %f %f] %f %s %s %s\n", x, 0.0, z, angle, names[0], names[1], names[2]);
}

// Lengthwise along the course: the model's x axis follows the tangent.
static double along(double tx, double tz) { return std::atan2(-tz, tx); }

// True where an object at (x, z) beside loop position s stands on the
// field and at least `room` ft clear of every other stretch of course.
static bool beside_ok(const track_build& b, double s, double x, double z, double room)
{
    return x > 0 && z > 0 && x < b.world && z < b.world && clearance(b, x, z, 0, s, 40) >= room;
}

static void inside_bales(const track_build& b, std::string* out)
{
    const track_design& d = b.design;
    for (int k = 0; k < static_cast<int>(d.pieces.size()); k++) {
        const path_piece& pc = d.pieces[k];
        if (pc.turn == 0)
            continue;
        double inside = pc.turn > 0 ? 1 : -1;   // the centre of a right turn is on the right
        double row = pc.radius - pc.width / 2 - bale_gap;
        if (row <= 2)
            continue;
        double step = bale_pitch * pc.radius / row;
        for (double u = step / 2; u < pc.length; u += step) {
            double s = b.piece_s[k] + u;
            course_point p = loop_point_at(b, s);
            double lat = inside * (p.width / 2 + bale_gap);
            double x = p.x - p.tz * lat, z = p.z + p.tx * lat;
            if (beside_ok(b, s, x, z, 3))
                statue(out, x, z, along(p.tx, p.tz), bale);
        }
    }
}

// Both edges of every straight: marker poles outdoors, rows of bales
// between a stadium's lanes (not beside jumps, whose sides fall away).
static void straight_edges(const track_build& b, std::string* out)
{
    const track_design& d = b.design;
    bool stadium = d.base == base_stadium;
    double pitch = stadium ? bale_pitch : marker_pitch;
    for (int k = 1; k < static_cast<int>(d.pieces.size()); k++) {
        const path_piece& pc = d.pieces[k];
        if (pc.turn != 0)
            continue;
        for (double u = pitch / 2; u < pc.length; u += pitch) {
            double s = b.piece_s[k] + u;
            if (stadium && profile_height(d, s) > 0.3)
                continue;
            course_point p = loop_point_at(b, s);
            for (double sgn : {-1.0, 1.0}) {
                double lat = sgn * (p.width / 2 + (stadium ? bale_gap : marker_gap));
                double x = p.x - p.tz * lat, z = p.z + p.tx * lat;
                if (!beside_ok(b, s, x, z, 4))
                    continue;
                if (stadium)
                    statue(out, x, z, along(p.tx, p.tz), bale);
                else
                    statue(out, x, z, upright, marker);
            }
        }
    }
}

// Banners line the start straight and both sides of the start pad.
static void start_banners(const track_build& b, std::string* out)
{
    const track_design& d = b.design;
    for (double u = 20; u < d.pieces[0].length - 30; u += banner_pitch) {
        course_point p = loop_point_at(b, u);
        for (double sgn : {-1.0, 1.0}) {
            double lat = sgn * (p.width / 2 + 7);
            double x = p.x - p.tz * lat, z = p.z + p.tx * lat;
            if (beside_ok(b, u, x, z, 5))
                statue(out, x, z, along(p.tx, p.tz), banner);
        }
    }
    const course_branch& chute = b.branches[1];
    double gate_s = chute.samples.back().s - d.chute_length;
    for (double s = gate_s + 10; s < chute.samples.back().s - 40; s += banner_pitch) {
        const course_sample& c = chute.samples[static_cast<size_t>(std::lround(s))];
        for (double sgn : {-1.0, 1.0}) {
            double lat = sgn * (c.width / 2 + 6);
            double x = c.x - c.tz * lat, z = c.z + c.tx * lat;
            if (clearance(b, x, z, 1, c.s, 1e9) > 5)
                statue(out, x, z, along(c.tx, c.tz), banner);
        }
    }
}

static std::string statues_file(const track_build& b)
{
    std::string out;
    inside_bales(b, &out);
    straight_edges(b, &out);
    start_banners(b, &out);
    return out;
}

// --- Billboards ----------------------------------------------------------

static double unit(std::mt19937& g) { return (g() >> 8) * (1.0 / 16777216.0); }

static void billboard(std::string* out, double x, double z, double size, double aspect, const char* name,
                      int tint = 0xffffff)
{
    if (tint == 0xffffff)
        *out += format("[%f %f %f] %f %f %s\n", x, 0.0, z, size, aspect, name);
    else
        *out += format("[%f %f %f] %f %f #%06x#%s\n", x, 0.0, z, size, aspect, tint, name);
}

static int tint_near_white(std::mt19937& g)
{
    int r = 215 + static_cast<int>(40 * unit(g)), gr = 220 + static_cast<int>(35 * unit(g));
    int bl = 200 + static_cast<int>(40 * unit(g));
    return (r << 16) | (gr << 8) | bl;
}

// Woods grow in patches between open meadows: 0 in the open, up to
// woods_density deep in a wood.
static double woods(const track_build& b, double x, double z)
{
    uint32_t s = b.design.seed;
    double v = std::sin(x / 173.0 + (s & 7)) * std::cos(z / 211.0 + ((s >> 3) & 7)) +
               0.6 * std::sin((x + z) / 97.0 + ((s >> 6) & 7));
    double t = std::clamp((v - 0.15) / 0.7, 0.0, 1.0);
    return woods_density * t * t * (3 - 2 * t);
}

static bool near_cameras(const std::vector<camera_spot>& cams, double x, double z, double room)
{
    for (const camera_spot& c : cams)
        if (std::hypot(c.x - x, c.z - z) < room)
            return true;
    return false;
}

static void trees(const track_build& b, const std::vector<camera_spot>& cams, std::mt19937& g, std::string* out)
{
    int cells = static_cast<int>(b.world / tree_cell);
    for (int j = 0; j < cells; j++) {
        for (int i = 0; i < cells; i++) {
            double x = (i + 0.15 + 0.7 * unit(g)) * tree_cell, z = (j + 0.15 + 0.7 * unit(g)) * tree_cell;
            double pick = unit(g), kind = unit(g), size = unit(g);
            int tint = tint_near_white(g);
            if (pick > woods(b, x, z) || near_cameras(cams, x, z, 25))
                continue;
            // A cheap test first: most cells are nowhere near the course.
            const course_hit& h = b.hits[static_cast<size_t>(std::lround(z / b.spacing)) * b.size +
                                         std::lround(x / b.spacing)];
            if (h.branch >= 0 || clearance(b, x, z) < tree_clearance)
                continue;
            bool pine = kind < 0.35 + 0.02 * (b.base[static_cast<size_t>(std::lround(z / b.spacing)) * b.size +
                                                      std::lround(x / b.spacing)]);
            if (pine)
                billboard(out, x, z, 30 + 16 * size, 0.5, "@objects/tree_pine.png", tint);
            else if (kind < 0.9)
                billboard(out, x, z, 22 + 12 * size, 1.0, "@objects/tree_oak.png", tint);
            else
                billboard(out, x, z, 3.5 + 2.5 * size, 2.0, "@objects/bush.png", tint);
        }
    }
}

static void bushes(const track_build& b, std::mt19937& g, std::string* out)
{
    for (double s = 0; s < b.loop_length; s += 22) {
        double pick = unit(g), side = unit(g) < 0.5 ? -1 : 1, gap = 12 + 18 * unit(g), size = unit(g);
        if (pick > 0.55)
            continue;
        course_point p = loop_point_at(b, s);
        double lat = side * (p.width / 2 + gap);
        double x = p.x - p.tz * lat, z = p.z + p.tx * lat;
        if (clearance(b, x, z) >= 10)
            billboard(out, x, z, 3 + 3 * size, 2.0, "@objects/bush.png", tint_near_white(g));
    }
}

// Spectators gather beside the big jumps and along the start.
static void crowd_outdoors(const track_build& b, std::string* out)
{
    auto line = [&](double s0, double s1) {
        for (double s = s0; s < s1; s += crowd_pitch) {
            course_point p = loop_point_at(b, s);
            for (double sgn : {1.0, -1.0}) {
                double lat = sgn * (p.width / 2 + 24);
                double x = p.x - p.tz * lat, z = p.z + p.tx * lat;
                if (beside_ok(b, s, x, z, 18)) {
                    billboard(out, x, z, crowd_size, crowd_aspect, "@objects/crowd.png");
                    break;
                }
            }
        }
    };
    for (const course_feature& f : b.design.features)
        if (f.crowd)
            line(f.s0 - 20, f.s1 + 10);
    line(10, b.design.pieces[0].length - 20);
}

// Rows of spectators up the stands, all the way round.
static void crowd_stands(const track_build& b, std::string* out)
{
    const track_design& d = b.design;
    const double corner = 30;
    for (double back = 14; back <= 54; back += 10) {
        double x0 = d.floor_x0 + corner, x1 = d.floor_x1 - corner, z0 = d.floor_z0 + corner,
               z1 = d.floor_z1 - corner, r = corner + back;
        double sides[4] = {x1 - x0, z1 - z0, x1 - x0, z1 - z0};
        double arc = pi / 2 * r;
        double perimeter = 2 * (sides[0] + sides[1]) + 4 * arc;
        for (double u = 0; u < perimeter; u += crowd_pitch) {
            // Walk the rounded rectangle: top edge, corner, right edge, ...
            double v = u, x = 0, z = 0;
            const double cx[4] = {x1, x1, x0, x0}, cz[4] = {z0, z1, z1, z0};
            const double start_angle[4] = {-pi / 2, 0, pi / 2, pi};
            for (int k = 0; k < 4; k++) {
                if (v < sides[k]) {
                    double ax[4] = {x0 + v, x1 + r, x1 - v, x0 - r};
                    double az[4] = {z0 - r, z0 + v, z1 + r, z1 - v};
                    x = ax[k];
                    z = az[k];
                    break;
                }
                v -= sides[k];
                if (v < arc) {
                    double a = start_angle[k] + v / r;
                    x = cx[k] + r * std::cos(a);
                    z = cz[k] + r * std::sin(a);
                    break;
                }
                v -= arc;
            }
            if (x > 0 && z > 0 && x < b.world && z < b.world)
                billboard(out, x, z, crowd_size, crowd_aspect, "@objects/crowd.png");
        }
    }
}

static std::string billboards_file(const track_build& b, const std::vector<camera_spot>& cams)
{
    std::mt19937 g(b.design.seed ^ 0x7472u);
    std::string out;
    if (b.design.base == base_stadium) {
        crowd_stands(b, &out);
        return out;
    }
    trees(b, cams, g, &out);
    bushes(b, g, &out);
    crowd_outdoors(b, &out);
    return out;
}

// --- Lighting and writing ------------------------------------------------

static std::string lighting_file(const track_design& d)
{
    const track_lighting& l = d.light;
    auto vec = [](const char* key, const float v[3]) {
        return format("%s [ %f %f %f ]\n", key, v[0], v[1], v[2]);
    };
    std::string out = vec("sun_vector", l.sun) + vec("sun_color", l.sun_color) + vec("ambient", l.ambient) +
                      vec("global_ambient", l.global_ambient);
    out += format("fog [ %f %f %f ] %f\n", l.fog[0], l.fog[1], l.fog[2], l.fog_density);
    out += format("far_plane %f\n", l.far_plane);
    return out;
}

static bool build_track(const track_design& design, track_build* b)
{
    if (!layout_build(design, b) || !terrain_build(b))
        return false;
    surface_build(b);
    place_checkpoints(b);
    place_gates(b);
    shading_build(b);
    return true;
}

static bool write_track(const datagen_context& ctx, const track_build& b)
{
    std::string dir = ctx.out_dir + "/" + b.design.dir;
    std::string map;
    std::vector<camera_spot> cams = place_cameras(b);
    if (!map_file(b, &map))
        return false;
    std::string tilemap(b.tilemap.begin(), b.tilemap.end());
    // Plain copies would shadow the compressed files these replace.
    for (const char* plain : {"terrain.hf", "shadingx2.ppm", "shadows.pgm", "tilemap"}) {
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(dir) / plain, ec);
    }
    return datagen_write(dir, "terrain.hf.gz", gzip_bytes(terrain_file(b))) &&
           datagen_write(dir, "shadingx2.ppm.gz", gzip_bytes(shading_file(b))) &&
           datagen_write(dir, "shadows.pgm.gz", gzip_bytes(shadows_file(b))) &&
           datagen_write(dir, "tilemap.gz", gzip_bytes(tilemap)) &&
           datagen_write(dir, "tileinfo", tileinfo_file()) &&
           datagen_write(dir, "lighting", lighting_file(b.design)) &&
           datagen_write(dir, "timing_gates", timing_gates_file(b)) &&
           datagen_write(dir, "cameras", cameras_file(cams)) &&
           datagen_write(dir, "flaggers", flaggers_file(b)) &&
           datagen_write(dir, "billboards", billboards_file(b, cams)) &&
           datagen_write(dir, "statues", statues_file(b)) &&
           datagen_write(dir, "map.png", map) &&
           datagen_write(dir, "desc", std::string(b.design.desc) + "\n");
}

// A summary for whoever tunes the designs (VK_DATAGEN_VERBOSE set).
static void report(const track_build& b)
{
    if (!getenv("VK_DATAGEN_VERBOSE"))
        return;
    fprintf(stderr, "datagen: %s: loop %.0f ft, %zu checkpoints, %zu gates, heights %.1f .. %.1f\n",
            b.design.dir, b.loop_length, b.checkpoints.size(), b.gates.size(), b.min_height, b.max_height);
    for (size_t k = 0; k < b.design.pieces.size(); k++)
        fprintf(stderr, "  piece %2zu at %6.0f ft: %s %.0f ft\n", k, b.piece_s[k],
                b.design.pieces[k].turn ? "arc     " : "straight", b.design.pieces[k].length);
    for (const course_feature& f : b.design.features)
        fprintf(stderr, "  %-10s %6.0f .. %6.0f ft\n", f.name, f.s0, f.s1);
}

bool datagen_tracks(const datagen_context& ctx)
{
    track_design designs[2];
    if (!track_design_rabbithill(&designs[0]) || !track_design_stadium(&designs[1]))
        return false;
    for (const track_design& d : designs) {
        track_build b;
        if (!build_track(d, &b) || !write_track(ctx, b))
            return false;
        report(b);
    }
    return ground_textures(ctx);
}
