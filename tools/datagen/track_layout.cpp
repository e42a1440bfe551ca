// track_layout.cpp -- the default tracks' courses: designs and centre lines.
//
// Owns the two track designs ("rabbithill", an outdoor motocross circuit,
// and "stadium", a tight stadium course) and turns a design into sampled
// centre lines: the loop of straights and arcs, closed exactly by solving
// two straight lengths, and the start chute that joins it at the merge
// point.  Each sample carries the course width, the berm banking and the
// centre height (the smoothed base ground plus the jump profile), so the
// terrain module only has to look samples up.  Profiles are C1: polyline
// knots rounded by parabolic blends, and cosine bump trains.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "track.h"

constexpr double sample_step = 1.0;          // ft between centre-line samples
constexpr double feature_margin = 12.0;      // ft a feature keeps from its piece's ends
constexpr double flat_ramp = 80.0;           // ft over which the start area's flat base blends in
constexpr double min_closing_length = 20.0;  // ft: a solved straight shorter than this is a design error
constexpr double chute_room_behind = 30.0;   // ft of start pad behind the last row of gates
constexpr double floor_margin = 24.0;        // ft between the course and a stadium floor's edge
constexpr double pi = 3.14159265358979323846;

static double deg(double degrees) { return degrees * pi / 180.0; }

static double smoothstep(double t)
{
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return t * t * (3 - 2 * t);
}

// --- Profile helpers: features in knot form ------------------------------

static course_feature knot_feature(const char* name, int piece, double offset)
{
    course_feature f{};
    f.kind = feature_knots;
    f.name = name;
    f.piece = piece;
    f.offset = offset;
    return f;
}

// A table-top: a face of height h ending in a lip of lip_deg, a flat deck,
// and a landing down at 1:landing_run.
static course_feature table_top(int piece, double offset, double h, double lip_deg, double deck,
                                double landing_run)
{
    course_feature f = knot_feature("table-top", piece, offset);
    double face = h / std::tan(deg(lip_deg));
    double s = 0;
    f.knots.push_back({s, 0, 0.9 * face});             // long concave transition: a kicker face
    s += face;
    f.knots.push_back({s, h, 2.5});                    // rounded lip
    s += deck;
    f.knots.push_back({s, h, 7});                      // convex into the landing
    s += h * landing_run;
    f.knots.push_back({s, 0, 0.9 * h * landing_run});  // concave run-out
    f.caution = true;
    f.crowd = true;
    return f;
}

// A gap jump: take-off face (lip_deg) of height h1, its steep back side,
// a gap of `gap` ft from lip to the landing crest, an optional middle
// mound, and a landing of height h2 down at 1:landing_run.
static course_feature gap_jump(const char* name, int piece, double offset, double h1, double lip_deg,
                               double gap, double middle_h, double h2, double landing_run)
{
    course_feature f = knot_feature(name, piece, offset);
    double face = h1 / std::tan(deg(lip_deg));
    double back = h1 / std::tan(deg(38));
    double landing_face = h2 / std::tan(deg(38));
    double s = 0;
    f.knots.push_back({s, 0, 0.9 * face});
    s += face;
    double lip = s;
    f.knots.push_back({s, h1, 2.5});
    s += back;
    f.knots.push_back({s, 0, 5});
    if (middle_h > 0) {
        // A rounded mound midway: up at 30 degrees, down at 1:2.5.
        double up = middle_h / std::tan(deg(30));
        double down = middle_h * 2.5;
        double mid = lip + gap / 2 - (up + down) / 2;
        f.knots.push_back({mid, 0, 5});
        f.knots.push_back({mid + up, middle_h, 3});
        f.knots.push_back({mid + up + down, 0, 6});
    }
    f.knots.push_back({lip + gap - landing_face, 0, 5});
    f.knots.push_back({lip + gap, h2, 3.5});
    s = lip + gap + h2 * landing_run;
    f.knots.push_back({s, 0, 0.9 * h2 * landing_run});
    f.caution = true;
    f.crowd = true;
    return f;
}

// A step-up: a kicker of height h1, a gap, then a face up to a deck of
// height h2 that rolls back down at 1:down_run.
static course_feature step_up(int piece, double offset, double h1, double lip_deg, double gap,
                              double h2, double deck, double down_run)
{
    course_feature f = knot_feature("step-up", piece, offset);
    double face = h1 / std::tan(deg(lip_deg));
    double back = h1 / std::tan(deg(38));
    double step_face = h2 / std::tan(deg(40));
    double s = 0;
    f.knots.push_back({s, 0, 0.9 * face});
    s += face;
    double lip = s;
    f.knots.push_back({s, h1, 2.5});
    s += back;
    f.knots.push_back({s, 0, 5});
    f.knots.push_back({lip + gap - step_face, 0, 5});
    f.knots.push_back({lip + gap, h2, 3});
    f.knots.push_back({lip + gap + deck, h2, 10});
    f.knots.push_back({lip + gap + deck + h2 * down_run, 0, 0.8 * h2 * down_run});
    f.caution = true;
    return f;
}

// A rhythm train of `count` sharp-crested jumps: up at up_deg, down at
// down_deg, one every `pitch` ft.
static course_feature rhythm(int piece, double offset, int count, double h, double up_deg,
                             double down_deg, double pitch)
{
    course_feature f = knot_feature("rhythm", piece, offset);
    double up = h / std::tan(deg(up_deg));
    double down = h / std::tan(deg(down_deg));
    for (int i = 0; i < count; i++) {
        double s = i * pitch;
        f.knots.push_back({s, 0, i == 0 ? 6.0 : 4.0});
        f.knots.push_back({s + up, h, 3});
        f.knots.push_back({s + up + down, 0, 4});
    }
    return f;
}

static course_feature bumps(const char* name, int piece, double offset, int count, double pitch,
                            double length, double h)
{
    course_feature f{};
    f.kind = feature_bumps;
    f.name = name;
    f.piece = piece;
    f.offset = offset;
    f.bump_count = count;
    f.bump_pitch = pitch;
    f.bump_length = length;
    f.bump_height = h;
    return f;
}

static course_feature whoops(int piece, double offset, int count, double pitch, double h)
{
    course_feature f = bumps("whoops", piece, offset, count, pitch, pitch, h);
    f.caution = true;
    return f;
}

static path_piece straight(double length, float width) { return {length, 0, 0, width, 0}; }

static path_piece arc(double turn_deg, double radius, float width, float berm_deg)
{
    return {std::fabs(deg(turn_deg)) * radius, deg(turn_deg), radius, width, berm_deg};
}

// --- The designs ---------------------------------------------------------

bool track_design_rabbithill(track_design* d)
{
    *d = track_design{};
    d->dir = "rabbithill";
    d->desc = "Rabbit Hill";
    d->levels = 9;
    d->spacing = 2.0;
    d->base = base_rolling;
    d->seed = 0x52616262;
    d->start_x = 780;
    d->start_z = 1570;
    d->start_heading = 0;   // east
    // Turns: + right, - left.  The loop runs anticlockwise seen from above.
    d->pieces = {
        straight(170, 30),        // 0  start straight after the merge
        arc(-90, 50, 30, 28),     // 1  first turn: a wide berm
        straight(330, 24),        // 2  rhythm section
        arc(90, 45, 24, 26),      // 3
        straight(380, 24),        // 4  table-top
        arc(-180, 60, 26, 30),    // 5  hairpin berm
        straight(200, 22),        // 6  whoops
        arc(90, 45, 24, 0),       // 7  flat turn
        straight(260, 24),        // 8  the big double
        arc(90, 55, 24, 27),      // 9
        straight(250, 24),        // 10 step-up
        arc(-90, 50, 24, 26),     // 11
        straight(150, 24),        // 12 rollers
        arc(-90, 50, 24, 25),     // 13
        straight(600, 24),        // 14 back straight: second table-top
        arc(-90, 50, 24, 28),     // 15
        straight(200, 24),        // 16 small whoops
        arc(-90, 45, 24, 26),     // 17
        straight(150, 24),        // 18
        arc(180, 45, 26, 32),     // 19 hairpin berm
        straight(250, 24),        // 20 second rhythm section
        arc(-90, 50, 24, 27),     // 21
        straight(670, 24),        // 22 the triple
        arc(-90, 50, 28, 0),      // 23 flat turn onto the start straight
    };
    d->close_a = 14;
    d->close_b = 22;
    d->features = {
        bumps("rollers", 2, 40, 3, 28, 20, 2.5),
        gap_jump("double", 2, 140, 4.0, 26, 38, 0, 4.0, 2.5),
        bumps("rollers", 2, 232, 2, 30, 22, 3.0),
        table_top(4, 110, 6.0, 28, 70, 2.5),
        bumps("rollers", 4, 268, 2, 28, 20, 2.0),
        whoops(6, 32, 14, 11, 2.0),
        gap_jump("big double", 8, 55, 7.0, 30, 70, 0, 7.0, 2.5),
        step_up(10, 45, 4.5, 28, 36, 8.5, 40, 3.0),
        bumps("rollers", 12, 40, 2, 34, 24, 3.0),
        bumps("rollers", 14, 40, 2, 30, 22, 2.5),
        table_top(14, 150, 7.0, 30, 80, 2.5),
        bumps("rollers", 14, 330, 3, 32, 24, 3.0),
        whoops(16, 45, 10, 10, 1.6),
        rhythm(20, 40, 5, 3.5, 27, 24, 30),
        bumps("rollers", 22, 40, 2, 30, 22, 2.5),
        gap_jump("triple", 22, 170, 8.0, 31, 100, 5.0, 8.0, 2.5),
        bumps("rollers", 22, 390, 3, 30, 22, 2.5),
    };
    d->features[1].crowd = false;
    d->gate_count = 40;
    d->gates_per_row = 20;
    d->gate_pitch = 5.0;      // the gate bar is 5 ft wide
    d->gate_row_gap = 12;
    d->chute_length = 250;
    d->pad_width = 124;
    d->flat_before = 150;
    d->flat_after = 150;
    d->shoulder_min = 6;
    d->shoulder_per_ft = 2.2f;
    d->shoulder_max = 36;
    d->off_course = surface_grass;
    d->checkpoint_pitch = 180;
    // The sun 39 degrees up in the south-west.
    d->light = {{-0.55f, 0.60f, 0.50f}, {0.95f, 0.92f, 0.85f}, {0.42f, 0.45f, 0.52f},
                {0.20f, 0.20f, 0.22f}, {0.72f, 0.78f, 0.86f}, 0.00025f, 6000};
    return true;
}

bool track_design_stadium(track_design* d)
{
    *d = track_design{};
    d->dir = "stadium";
    d->desc = "Steel City Stadium";
    d->levels = 8;
    d->spacing = 1.4;
    d->base = base_stadium;
    d->seed = 0x53746164;
    d->start_x = 269;
    d->start_z = 435;
    d->start_heading = 0;
    d->pieces = {
        straight(290, 24),        // 0  start lane with the finish table
        arc(-90, 22, 22, 33),     // 1
        straight(143, 20),        // 2  whoops lane
        arc(-90, 22, 22, 33),     // 3
        straight(340, 20),        // 4  rhythm lane
        arc(-180, 22, 22, 35),    // 5  bowl berm
        straight(290, 20),        // 6  triple and whoops
        arc(180, 22, 22, 34),     // 7  bowl berm
        straight(240, 20),        // 8  table-top and rhythm
        arc(-90, 22, 22, 0),      // 9  flat corner
        straight(55, 22),         // 10 back to the start
        arc(-90, 22, 24, 0),      // 11 flat corner onto the start lane
    };
    d->close_a = 4;
    d->close_b = 10;
    d->features = {
        table_top(0, 90, 4.0, 27, 36, 2.2),
        gap_jump("double", 0, 185, 4.5, 28, 40, 0, 4.5, 2.2),
        whoops(2, 24, 11, 9, 1.8),
        rhythm(4, 22, 8, 4.5, 28, 25, 26),
        bumps("rollers", 4, 250, 3, 20, 16, 2.5),
        gap_jump("triple", 6, 24, 5.0, 30, 70, 4.0, 5.0, 2.2),
        whoops(6, 150, 8, 9, 1.8),
        bumps("rollers", 6, 240, 2, 18, 14, 2.0),
        table_top(8, 22, 5.0, 28, 45, 2.3),
        rhythm(8, 124, 4, 4.0, 28, 25, 24),
    };
    d->features[4].crowd = true;
    d->gate_count = 40;
    d->gates_per_row = 20;
    d->gate_pitch = 5.0;
    d->gate_row_gap = 12;
    d->chute_length = 115;
    d->pad_width = 124;
    d->flat_before = 60;
    d->flat_after = 60;
    d->shoulder_min = 3;
    d->shoulder_per_ft = 1.3f;
    d->shoulder_max = 10;
    d->off_course = surface_sand;
    d->checkpoint_pitch = 90;
    d->light = {{0.25f, 1.0f, -0.35f}, {0.85f, 0.85f, 0.80f}, {0.50f, 0.50f, 0.55f},
                {0.22f, 0.22f, 0.24f}, {0.55f, 0.55f, 0.60f}, 0.0004f, 3000};
    return true;
}

// --- Loop geometry -------------------------------------------------------

// Right-hand normal of a heading: (cos, sin) turned a quarter clockwise.
static void right_of(double heading, double* rx, double* rz)
{
    *rx = -std::sin(heading);
    *rz = std::cos(heading);
}

// Position and heading a distance u into a piece that starts at (x, z, h).
static void piece_walk(const path_piece& p, double x, double z, double h, double u, double* ox,
                       double* oz, double* oh)
{
    if (p.turn == 0) {
        *ox = x + u * std::cos(h);
        *oz = z + u * std::sin(h);
        *oh = h;
        return;
    }
    double side = p.turn > 0 ? 1 : -1;
    double rx, rz;
    right_of(h, &rx, &rz);
    double cx = x + side * p.radius * rx, cz = z + side * p.radius * rz;
    double h1 = h + p.turn * (u / p.length);
    right_of(h1, &rx, &rz);
    *ox = cx - side * p.radius * rx;
    *oz = cz - side * p.radius * rz;
    *oh = h1;
}

static void loop_end(const track_design& d, const std::vector<path_piece>& pieces, double* x,
                     double* z, double* h)
{
    *x = d.start_x;
    *z = d.start_z;
    *h = d.start_heading;
    for (const path_piece& p : pieces)
        piece_walk(p, *x, *z, *h, p.length, x, z, h);
}

static double heading_at_piece(const track_design& d, const std::vector<path_piece>& pieces, int k)
{
    double x = d.start_x, z = d.start_z, h = d.start_heading;
    for (int i = 0; i < k; i++)
        piece_walk(pieces[i], x, z, h, pieces[i].length, &x, &z, &h);
    return h;
}

// Lengthens or shortens the two closing straights so the loop ends where
// it starts; the arcs already turn through a whole circle.
static bool close_loop(const track_design& d, std::vector<path_piece>* pieces)
{
    double x, z, h;
    loop_end(d, *pieces, &x, &z, &h);
    if (std::fabs(std::fabs(h - d.start_heading) - 2 * pi) > 1e-9) {
        fprintf(stderr, "datagen: track %s: the loop turns through %.1f degrees, not 360\n", d.dir,
                (h - d.start_heading) * 180 / pi);
        return false;
    }
    double ex = d.start_x - x, ez = d.start_z - z;
    double ha = heading_at_piece(d, *pieces, d.close_a), hb = heading_at_piece(d, *pieces, d.close_b);
    double ax = std::cos(ha), az = std::sin(ha), bx = std::cos(hb), bz = std::sin(hb);
    double det = ax * bz - az * bx;
    if ((*pieces)[d.close_a].turn != 0 || (*pieces)[d.close_b].turn != 0 || std::fabs(det) < 0.5) {
        fprintf(stderr, "datagen: track %s: closing pieces must be crossing straights\n", d.dir);
        return false;
    }
    double da = (ex * bz - ez * bx) / det, db = (ax * ez - az * ex) / det;
    (*pieces)[d.close_a].length += da;
    (*pieces)[d.close_b].length += db;
    if ((*pieces)[d.close_a].length < min_closing_length || (*pieces)[d.close_b].length < min_closing_length) {
        fprintf(stderr, "datagen: track %s: the loop does not close with positive straights\n", d.dir);
        return false;
    }
    return true;
}

// --- Along-course smoothing ----------------------------------------------

// Moving average over `half` samples each side, wrapping on a loop.
static std::vector<double> box_filter(const std::vector<double>& v, int half, bool closed)
{
    int n = static_cast<int>(v.size());
    std::vector<double> out(n);
    for (int i = 0; i < n; i++) {
        double sum = 0;
        int count = 0;
        for (int k = -half; k <= half; k++) {
            int j = i + k;
            if (closed)
                j = ((j % n) + n) % n;
            else if (j < 0 || j >= n)
                continue;
            sum += v[j];
            count++;
        }
        out[i] = sum / count;
    }
    return out;
}

// Three box passes: close to a Gaussian, and smooth enough for the slope.
static std::vector<double> smooth(const std::vector<double>& v, int half, bool closed)
{
    return box_filter(box_filter(box_filter(v, half, closed), half, closed), half, closed);
}

// --- Profiles ------------------------------------------------------------

static double knot_slope(const std::vector<profile_knot>& k, int i)   // of the segment i -> i+1
{
    if (i < 0 || i + 1 >= static_cast<int>(k.size()))
        return 0;
    return (k[i + 1].h - k[i].h) / (k[i + 1].s - k[i].s);
}

double knot_profile(const std::vector<profile_knot>& k, double u)
{
    int n = static_cast<int>(k.size());
    for (int i = 0; i < n; i++) {
        double e = k[i].blend / 2;
        if (e > 0 && std::fabs(u - k[i].s) < e) {
            double ma = knot_slope(k, i - 1), mb = knot_slope(k, i);
            double v = u - k[i].s + e;
            return k[i].h + ma * (u - k[i].s) + (mb - ma) * v * v / (4 * e);
        }
    }
    if (u <= k[0].s || u >= k[n - 1].s)
        return u <= k[0].s ? k[0].h : k[n - 1].h;
    int i = 0;
    while (i + 1 < n && k[i + 1].s < u)
        i++;
    return k[i].h + knot_slope(k, i) * (u - k[i].s);
}

static double feature_height(const course_feature& f, double s)
{
    if (s < f.s0 || s > f.s1)
        return 0;
    double start = f.s0;
    if (f.kind == feature_knots)
        return knot_profile(f.knots, s - f.s0 + (f.knots[0].s - f.knots[0].blend / 2));
    for (int i = 0; i < f.bump_count; i++) {
        double u = s - (start + i * f.bump_pitch);
        if (u >= 0 && u <= f.bump_length)
            return f.bump_height * 0.5 * (1 - std::cos(2 * pi * u / f.bump_length));
    }
    return 0;
}

double profile_height(const track_design& d, double s)
{
    double h = 0;
    for (const course_feature& f : d.features)
        h += feature_height(f, s);
    return h;
}

// Checks that blends fit between their knots and fixes each feature's
// extent on the loop.
static bool place_features(track_design* d, const track_build& b)
{
    for (course_feature& f : d->features) {
        double start = b.piece_s[f.piece] + f.offset, length;
        if (f.kind == feature_knots) {
            for (size_t i = 0; i + 1 < f.knots.size(); i++) {
                double room = f.knots[i + 1].s - f.knots[i].s;
                if (room <= 0 || f.knots[i].blend / 2 + f.knots[i + 1].blend / 2 > room + 1e-9) {
                    fprintf(stderr, "datagen: track %s: %s: knots %zu and %zu overlap\n", d->dir, f.name, i,
                            i + 1);
                    return false;
                }
            }
            length = f.knots.back().s + f.knots.back().blend / 2 - (f.knots[0].s - f.knots[0].blend / 2);
        } else {
            length = (f.bump_count - 1) * f.bump_pitch + f.bump_length;
        }
        f.s0 = start;
        f.s1 = start + length;
        const path_piece& p = d->pieces[f.piece];
        if (p.turn != 0 || f.offset < feature_margin || f.offset + length > p.length - feature_margin) {
            fprintf(stderr, "datagen: track %s: %s does not fit on straight %d (%.0f + %.0f of %.0f ft)\n",
                    d->dir, f.name, f.piece, f.offset, length, p.length);
            return false;
        }
    }
    return true;
}

// --- Building the branches -----------------------------------------------

static void sample_loop(const track_design& d, track_build* b)
{
    course_branch loop;
    loop.closed = true;
    double x = d.start_x, z = d.start_z, h = d.start_heading, s = 0;
    b->piece_s.clear();
    for (const path_piece& p : d.pieces) {
        b->piece_s.push_back(s);
        int n = std::max(1, static_cast<int>(std::ceil(p.length / sample_step)));
        for (int k = 0; k < n; k++) {
            double u = p.length * k / n, px, pz, ph;
            piece_walk(p, x, z, h, u, &px, &pz, &ph);
            course_sample c{};
            c.x = px;
            c.z = pz;
            c.tx = std::cos(ph);
            c.tz = std::sin(ph);
            c.s = s + u;
            c.width = p.width;
            loop.samples.push_back(c);
        }
        piece_walk(p, x, z, h, p.length, &x, &z, &h);
        s += p.length;
    }
    b->loop_length = s;
    b->branches.push_back(loop);
}

// Which piece a loop sample belongs to.
static int piece_of(const track_build& b, double s)
{
    int k = 0;
    while (k + 1 < static_cast<int>(b.piece_s.size()) && b.piece_s[k + 1] <= s)
        k++;
    return k;
}

static double loop_distance(double a, double b, double length)   // signed a - b, wrapped
{
    double v = std::fmod(a - b, length);
    if (v > length / 2)
        v -= length;
    if (v < -length / 2)
        v += length;
    return v;
}

// Width, berm, base line, profile and surfaces of the loop samples.
static void dress_loop(const track_design& d, track_build* b)
{
    std::vector<course_sample>& ss = b->branches[0].samples;
    int n = static_cast<int>(ss.size());
    int ramp = d.base == base_stadium ? 9 : 14;   // samples per berm ramp pass
    std::vector<double> width(n), berm(n), base(n);
    for (int i = 0; i < n; i++) {
        const path_piece& p = d.pieces[piece_of(*b, ss[i].s)];
        width[i] = p.width;
        // Outside of a right turn is on the left: negative.
        berm[i] = p.berm_deg > 0 ? (p.turn > 0 ? -1 : 1) * std::tan(deg(p.berm_deg)) : 0;
        base[i] = base_height(d, ss[i].x, ss[i].z);
    }
    width = smooth(width, 8, true);
    berm = smooth(berm, ramp, true);
    base = smooth(base, 40, true);
    // Keep the start area level, blending into the rolling base line.
    double level = base[0];
    b->start_height = level;
    for (int i = 0; i < n; i++) {
        double from_merge = loop_distance(ss[i].s, 0, b->loop_length);
        double out = from_merge < 0 ? -from_merge - d.flat_before : from_merge - d.flat_after;
        double w = 1 - smoothstep(out / flat_ramp);
        base[i] += (level - base[i]) * w;
        ss[i].surface = w > 0.5 ? surface_hardpack : surface_dirt;
    }
    for (int i = 0; i < n; i++) {
        course_sample& c = ss[i];
        c.width = static_cast<float>(width[i]);
        c.berm_slope = static_cast<float>(std::fabs(berm[i]));
        c.berm_side = berm[i] < 0 ? -1 : 1;
        double f = profile_height(d, c.s);
        c.height = static_cast<float>(base[i] + f);
        // Faces and decks are packed hard; landings chewed into loam.
        double slope = (profile_height(d, c.s + 0.5) - profile_height(d, c.s - 0.5));
        for (const course_feature& ft : d.features) {
            if (ft.kind != feature_knots || c.s < ft.s0 || c.s > ft.s1)
                continue;
            c.surface = slope > 0.05 ? surface_hardpack : slope < -0.05 ? surface_loam
                      : f > 1 ? surface_hardpack : surface_dirt;
        }
    }
}

// Length of the start chute from its back end to the merge point.
static double chute_back(const track_design& d)
{
    int rows = (d.gate_count + d.gates_per_row - 1) / d.gates_per_row;
    return d.chute_length + (rows - 1) * d.gate_row_gap + chute_room_behind;
}

// A stadium floor: the course's extent, the start pad included, plus a
// margin before the banks.
static void fit_floor(track_design* d, const track_build& b)
{
    double x0 = 1e30, z0 = 1e30, x1 = -1e30, z1 = -1e30;
    auto grow = [&](double x, double z, double r) {
        x0 = std::min(x0, x - r);
        x1 = std::max(x1, x + r);
        z0 = std::min(z0, z - r);
        z1 = std::max(z1, z + r);
    };
    for (const course_sample& c : b.branches[0].samples)
        grow(c.x, c.z, c.width / 2);
    const course_sample& m = b.branches[0].samples[0];
    double back = chute_back(*d);
    grow(m.x - back * m.tx, m.z - back * m.tz, d->pad_width / 2);
    d->floor_x0 = x0 - floor_margin;
    d->floor_z0 = z0 - floor_margin;
    d->floor_x1 = x1 + floor_margin;
    d->floor_z1 = z1 + floor_margin;
}

// The start chute: a straight from behind the gates to the merge point,
// as wide as the gate row there and narrowing to the course.
static void build_chute(const track_design& d, track_build* b)
{
    course_branch chute;
    chute.closed = false;
    const course_sample& merge = b->branches[0].samples[0];
    double back = chute_back(d);
    double funnel_start = back - d.chute_length + 20;   // from the chute start
    int n = static_cast<int>(std::ceil(back / sample_step));
    for (int k = 0; k <= n; k++) {
        double s = back * k / n, u = back - s;   // u: ft before the merge
        course_sample c{};
        c.x = merge.x - u * merge.tx;
        c.z = merge.z - u * merge.tz;
        c.tx = merge.tx;
        c.tz = merge.tz;
        c.s = s;
        double t = smoothstep((s - funnel_start) / (back - funnel_start - 10));
        c.width = static_cast<float>(d.pad_width + (merge.width - d.pad_width) * t);
        c.height = static_cast<float>(b->start_height);
        c.berm_slope = 0;
        c.berm_side = 1;
        c.surface = surface_hardpack;
        chute.samples.push_back(c);
    }
    b->branches.push_back(chute);
}

bool layout_build(const track_design& design, track_build* b)
{
    // The build keeps its own copy: closing the loop and placing the
    // features fill in lengths and extents.
    b->design = design;
    track_design& d = b->design;
    if (!close_loop(d, &d.pieces))
        return false;
    b->size = (1 << (d.levels + 1)) + 1;
    b->spacing = d.spacing;
    b->world = (b->size - 1) * d.spacing;
    b->branches.clear();
    sample_loop(d, b);
    fit_floor(&d, *b);
    if (!place_features(&d, *b))
        return false;
    dress_loop(d, b);
    build_chute(d, b);
    return true;
}

// --- Lookups -------------------------------------------------------------

course_point branch_point(const track_build& b, int branch, int index, float t)
{
    const course_branch& br = b.branches[branch];
    int n = static_cast<int>(br.samples.size());
    const course_sample& a = br.samples[index];
    const course_sample& c = br.samples[index + 1 < n ? index + 1 : (br.closed ? 0 : index)];
    course_point p{};
    double u = t;
    p.x = a.x + (c.x - a.x) * u;
    p.z = a.z + (c.z - a.z) * u;
    double tx = a.tx + (c.tx - a.tx) * u, tz = a.tz + (c.tz - a.tz) * u;
    double len = std::sqrt(tx * tx + tz * tz);
    p.tx = tx / len;
    p.tz = tz / len;
    double cs = index + 1 < n ? c.s : br.closed ? b.loop_length : a.s;   // across the loop's seam
    p.s = a.s + (cs - a.s) * u;
    p.width = static_cast<float>(a.width + (c.width - a.width) * u);
    p.height = static_cast<float>(a.height + (c.height - a.height) * u);
    // Berm slope and side as one signed value, so a change of side passes through 0.
    double ba = a.berm_slope * a.berm_side, bc = c.berm_slope * c.berm_side;
    double bm = ba + (bc - ba) * u;
    p.berm_slope = static_cast<float>(std::fabs(bm));
    p.berm_side = bm < 0 ? -1 : 1;
    p.surface = u < 0.5 ? a.surface : c.surface;
    return p;
}

course_point loop_point_at(const track_build& b, double s)
{
    const std::vector<course_sample>& ss = b.branches[0].samples;
    s = std::fmod(s, b.loop_length);
    if (s < 0)
        s += b.loop_length;
    // Samples are evenly spaced within a piece: search, then interpolate.
    int lo = 0, hi = static_cast<int>(ss.size()) - 1;
    while (lo < hi) {
        int mid = (lo + hi + 1) / 2;
        if (ss[mid].s <= s)
            lo = mid;
        else
            hi = mid - 1;
    }
    int n = static_cast<int>(ss.size());
    double next = lo + 1 < n ? ss[lo + 1].s : b.loop_length;
    float t = static_cast<float>((s - ss[lo].s) / (next - ss[lo].s));
    return branch_point(b, 0, lo, t);
}
