// objects_sprites.cpp -- billboard and flagger sprites.
//
// Owns the staged RGBA PNGs "objects/tree_pine.png" (256 x 512),
// "objects/tree_oak.png" (512 x 512), "objects/bush.png" (256 x 128),
// "objects/crowd.png" (512 x 128) and the flagger sprites (256 x 256 each)
// "objects/flagger_start0.png" .. "objects/flagger_start4.png",
// "objects/flagger_lap_{normal,half,last,done}.png" and
// "objects/flagger_caution_{idle,wave}.png".  Every subject stands on the
// bottom row, centred, as billboards are drawn from their bottom centre;
// the rest is transparent.  A flagger is 6 ft tall over 160 of the 256
// rows, so a billboard size of 9.6 ft shows them life-size.
// Needs paint.h and datagen_write.
#include <cmath>
#include <string>
#include <vector>

#include "datagen.h"
#include "paint.h"

constexpr uint32_t seed_pine = 0x9171e;
constexpr uint32_t seed_oak = 0x0a4;
constexpr uint32_t seed_bush = 0xb05;
constexpr uint32_t seed_crowd = 0xc20d;

constexpr int flagger_size = 256;          // pixels, square
constexpr float flagger_scale = 160.0f / 6.0f;   // pixels per foot
constexpr float pi_f = 3.14159265358979f;

static bool save(const std::string& dir, const std::string& name, const canvas& c)
{
    std::string bytes = canvas_png(c, true);
    return !bytes.empty() && datagen_write(dir, name, bytes);
}

// Multiplies the colour of every visible pixel by a noise-driven factor
// lo..hi, keeping alpha.
static void shade_visible(canvas& c, const paint_noise& n, float cell, int period, float lo, float hi)
{
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++) {
            paint_colour p = paint_get(c, x, y);
            if (p.a <= 0.0f)
                continue;
            float f = lo + (hi - lo) * paint_fbm(n, x / cell, y / cell, period, 3);
            paint_set(c, x, y, {p.r * f, p.g * f, p.b * f, p.a});
        }
}

// ---- trees and bushes

static canvas pine_sprite()
{
    const int w = 256, h = 512;
    canvas c = canvas_make(w, h, paint_rgb(34, 62, 36, 0.0f));
    paint_random r = paint_random_make(seed_pine);
    const float trunk[8] = {118, 511, 138, 511, 132, 120, 124, 120};
    paint_polygon(c, trunk, 4, paint_rgb(84, 56, 36));
    const int tiers = 9;
    for (int t = 0; t < tiers; t++) {   // bottom tier first, each a drooping jagged skirt
        float f = static_cast<float>(t) / (tiers - 1);
        float base = 452.0f - f * 390.0f, top = base - 110.0f + f * 40.0f, half = 118.0f - f * 96.0f;
        std::vector<float> xy = {128.0f, top};
        const int teeth = 9;
        for (int k = 0; k <= teeth; k++) {   // lower edge from right to left, tips hanging down
            float u = 1.0f - 2.0f * static_cast<float>(k) / teeth;
            float x = 128.0f + u * half, droop = (k % 2 == 0) ? 8.0f + paint_random_range(r, 0, 10) : -6.0f;
            xy.push_back(x);
            xy.push_back(base + droop - std::fabs(u) * 10.0f);
        }
        paint_colour col = paint_mix(paint_rgb(22, 52, 30), paint_rgb(46, 92, 48), 0.35f + 0.4f * f);
        paint_polygon(c, xy.data(), static_cast<int>(xy.size() / 2), col);
        // The sunny left flank of the tier.
        std::vector<float> lit = {128.0f, top + 6.0f, 128.0f - half * 0.9f, base - 6.0f, 128.0f - half * 0.2f, base - 14.0f};
        paint_polygon(c, lit.data(), 3, paint_rgb(70, 120, 60, 0.35f));
    }
    paint_noise n = paint_noise_make(seed_pine);
    shade_visible(c, n, 3.0f, 128, 0.7f, 1.25f);
    for (int i = 0; i < 900; i++) {   // needle sprigs where there is foliage
        float x = paint_random_range(r, 20, 236), y = paint_random_range(r, 20, 470);
        if (paint_get(c, static_cast<int>(x), static_cast<int>(y)).a < 0.9f)
            continue;
        paint_colour col = paint_mix(paint_rgb(18, 40, 24), paint_rgb(92, 140, 80), paint_random_unit(r));
        col.a = 0.7f;
        paint_line(c, x, y, x + paint_random_range(r, -6, 6), y + paint_random_range(r, 1, 5), 1.0f, col);
    }
    return c;
}

static canvas oak_sprite()
{
    const int w = 512, h = 512;
    canvas c = canvas_make(w, h, paint_rgb(52, 84, 36, 0.0f));
    paint_random r = paint_random_make(seed_oak);
    paint_colour bark = paint_rgb(78, 58, 40);
    const float trunk[10] = {226, 511, 286, 511, 272, 380, 262, 300, 246, 300};
    paint_polygon(c, trunk, 5, bark);
    paint_line(c, 256, 380, 170, 250, 16, bark);   // main limbs into the crown
    paint_line(c, 262, 360, 350, 230, 14, bark);
    paint_line(c, 256, 320, 250, 180, 12, bark);
    for (int i = 0; i < 90; i++) {   // leaf masses inside a broad crown ellipse
        float a = paint_random_range(r, 0, 2 * pi_f), d = std::sqrt(paint_random_unit(r));
        float x = 256 + std::cos(a) * d * 190, y = 210 + std::sin(a) * d * 140;
        float rad = paint_random_range(r, 34, 62);
        // Light from the upper left: darker low and right.
        float light = 0.5f + 0.35f * ((256 - x) / 190.0f) * 0.5f + 0.35f * ((210 - y) / 140.0f) * 0.5f;
        paint_colour col = paint_mix(paint_rgb(30, 58, 24), paint_rgb(104, 146, 60), std::fmin(std::fmax(light, 0.0f), 1.0f));
        paint_ellipse(c, x, y, rad, rad * 0.85f, col);
    }
    paint_noise n = paint_noise_make(seed_oak);
    shade_visible(c, n, 5.0f, 64, 0.72f, 1.2f);
    for (int i = 0; i < 1500; i++) {   // leaf-cluster speckles
        float x = paint_random_range(r, 40, 472), y = paint_random_range(r, 40, 380);
        if (paint_get(c, static_cast<int>(x), static_cast<int>(y)).a < 0.9f)
            continue;
        paint_colour col = paint_mix(paint_rgb(24, 48, 20), paint_rgb(140, 180, 80), paint_random_unit(r));
        col.a = 0.55f;
        paint_ellipse(c, x, y, paint_random_range(r, 1.5f, 4.0f), paint_random_range(r, 1.0f, 3.0f), col);
    }
    return c;
}

static canvas bush_sprite()
{
    const int w = 256, h = 128;
    canvas c = canvas_make(w, h, paint_rgb(50, 80, 36, 0.0f));
    paint_random r = paint_random_make(seed_bush);
    for (int i = 0; i < 34; i++) {
        float x = paint_random_range(r, 40, 216), rad = paint_random_range(r, 18, 34);
        float span = 1.0f - std::fabs(x - 128) / 110.0f;   // taller in the middle
        float y = 130 - rad * 0.8f - paint_random_unit(r) * span * 50.0f;   // the low ones sit on the bottom row
        float light = std::fmin(1.0f, 0.3f + (127 - y) / 110.0f + (128 - x) / 400.0f);
        paint_ellipse(c, x, y, rad, rad * 0.8f, paint_mix(paint_rgb(28, 52, 22), paint_rgb(96, 136, 58), light));
    }
    paint_noise n = paint_noise_make(seed_bush);
    shade_visible(c, n, 3.0f, 128, 0.75f, 1.2f);
    return c;
}

// ---- people
// Figures are laid out in feet (x right, y up from the soles) and drawn
// through a figure's placement.

struct vec2f {
    float x, y;
};

struct figure {
    float x, feet;   // pixels: centre line and the row of the soles
    float k;         // pixels per foot
    paint_colour shirt, trousers, skin, hat;
};

// Arms and legs as angles from hanging straight down, positive away from
// the body; index 0 is the screen-left limb, 1 the right.
struct pose {
    float arm[2];      // shoulder angle, rad
    float elbow[2];    // bend at the elbow, rad, same sense
    float leg[2];      // hip angle, rad
};

constexpr float hip_y = 3.0f, shoulder_y = 4.85f, head_y = 5.55f, head_r = 0.38f;
constexpr float upper_arm = 1.05f, forearm = 1.0f, ankle_y = 0.15f;

static vec2f px(const figure& f, vec2f ft) { return {f.x + ft.x * f.k, f.feet - ft.y * f.k}; }

static void mask_line_ft(canvas& c, const figure& f, vec2f a, vec2f b, float width)
{
    vec2f pa = px(f, a), pb = px(f, b);
    paint_mask_line(c, pa.x, pa.y, pb.x, pb.y, width * f.k);
}

static vec2f along(vec2f from, float angle, int side, float length)
{
    float s = side ? 1.0f : -1.0f;
    return {from.x + s * std::sin(angle) * length, from.y - std::cos(angle) * length};
}

// Draws the figure; returns the hands' positions (feet) in hands[2].
static void draw_person(canvas& c, const figure& f, const pose& p, vec2f hands[2])
{
    vec2f feet[2];   // a spread leg reaches further, so both soles stay on the ground
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        vec2f hip = {s * 0.22f, hip_y};
        feet[side] = {hip.x + s * std::tan(p.leg[side]) * (hip_y - ankle_y), ankle_y};
        mask_line_ft(c, f, hip, feet[side], 0.42f);
    }
    paint_mask_fill(c, f.trousers);
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        vec2f foot = feet[side];
        vec2f q = px(f, {foot.x + s * 0.12f, 0.1f});   // soles a little into the bottom row
        paint_mask_ellipse(c, q.x, q.y, 0.26f * f.k, 0.14f * f.k);
    }
    paint_mask_fill(c, paint_rgb(30, 26, 24));
    std::vector<float> torso;   // shoulders to hips
    for (vec2f q : {vec2f{-0.72f, shoulder_y}, vec2f{0.72f, shoulder_y}, vec2f{0.46f, hip_y - 0.1f},
                    vec2f{-0.46f, hip_y - 0.1f}}) {
        vec2f pq = px(f, q);
        torso.push_back(pq.x);
        torso.push_back(pq.y);
    }
    paint_polygon(c, torso.data(), 4, f.shirt);
    vec2f belt0 = px(f, {-0.47f, hip_y + 0.1f}), belt1 = px(f, {0.47f, hip_y - 0.08f});
    paint_rect(c, belt0.x, belt0.y, belt1.x, belt1.y, paint_rgb(40, 32, 28));
    vec2f neck0 = px(f, {-0.12f, head_y - 0.2f}), neck1 = px(f, {0.12f, shoulder_y - 0.05f});
    paint_rect(c, neck0.x, neck0.y, neck1.x, neck1.y, f.skin);
    vec2f h = px(f, {0.0f, head_y});
    paint_ellipse(c, h.x, h.y, head_r * f.k * 0.9f, head_r * f.k, f.skin);
    // Cap: crown and peak.
    paint_mask_ellipse(c, h.x, h.y - 0.18f * f.k, head_r * f.k * 0.92f, head_r * f.k * 0.62f);
    paint_mask_fill(c, f.hat);
    paint_rect(c, h.x - head_r * f.k, h.y - 0.14f * f.k, h.x + head_r * f.k * 1.1f, h.y - 0.06f * f.k, f.hat);
    for (int side = 0; side < 2; side++) {   // arms last, in front of the body
        float s = side ? 1.0f : -1.0f;
        vec2f shoulder = {s * 0.62f, shoulder_y - 0.1f};
        vec2f elbow = along(shoulder, p.arm[side], side, upper_arm);
        vec2f hand = along(elbow, p.arm[side] + p.elbow[side], side, forearm);
        mask_line_ft(c, f, shoulder, elbow, 0.34f);
        mask_line_ft(c, f, elbow, hand, 0.3f);
        paint_mask_fill(c, f.shirt);
        vec2f ph = px(f, hand);
        paint_ellipse(c, ph.x, ph.y, 0.17f * f.k, 0.17f * f.k, f.skin);
        hands[side] = hand;
    }
}

// A board of w x h feet centred at (feet) centre, turned by rot radians
// (screen clockwise); an upright board carries its two lines of text.
static void draw_board(canvas& c, const figure& f, vec2f centre, float w, float h, float rot, const char* big,
                       const char* small)
{
    vec2f m = px(f, centre);
    float cr = std::cos(rot), sr = std::sin(rot);
    auto corners = [&](float hw, float hh, std::vector<float>& xy) {
        xy.clear();
        for (vec2f q : {vec2f{-hw, -hh}, vec2f{hw, -hh}, vec2f{hw, hh}, vec2f{-hw, hh}}) {
            xy.push_back(m.x + (q.x * cr - q.y * sr) * f.k);
            xy.push_back(m.y + (q.x * sr + q.y * cr) * f.k);
        }
    };
    std::vector<float> xy;
    corners(0.5f * w, 0.5f * h, xy);
    paint_polygon(c, xy.data(), 4, paint_rgb(20, 20, 20));
    corners(0.5f * w - 0.08f, 0.5f * h - 0.08f, xy);
    paint_polygon(c, xy.data(), 4, paint_rgb(246, 246, 240));
    if (rot != 0.0f)
        return;
    float big_scale = 0.52f * h * f.k / paint_text_rows, small_scale = 0.5f * big_scale;
    float top = m.y - 0.5f * h * f.k + 0.12f * h * f.k;
    paint_text(c, big, m.x - 0.5f * paint_text_width(big, big_scale), top, big_scale, paint_rgb(10, 10, 10));
    paint_text(c, small, m.x - 0.5f * paint_text_width(small, small_scale), top + (paint_text_rows + 1.5f) * big_scale,
               small_scale, paint_rgb(10, 10, 10));
}

enum flag_look { flag_furled, flag_plain, flag_chequered };

// A flag on a pole held at `hand`, the pole pointing at `angle` (radians
// from straight up, positive toward screen right).  A flying cloth streams
// away on the side the pole leans to (right when upright), waving.
static void draw_flag(canvas& c, const figure& f, vec2f hand, float angle, paint_colour cloth, flag_look look,
                      float phase)
{
    const float pole_length = 2.8f, cloth_w = 2.0f, cloth_h = 1.35f;
    vec2f dir = {std::sin(angle), std::cos(angle)};
    vec2f bottom = {hand.x - dir.x * 0.4f, hand.y - dir.y * 0.4f};
    vec2f top = {hand.x + dir.x * pole_length, hand.y + dir.y * pole_length};
    mask_line_ft(c, f, bottom, top, 0.09f);
    paint_mask_fill(c, paint_rgb(120, 96, 60));
    if (look == flag_furled) {   // cloth wound round the upper pole
        vec2f a = {top.x - dir.x * 0.15f, top.y - dir.y * 0.15f}, b = {top.x - dir.x * 1.3f, top.y - dir.y * 1.3f};
        mask_line_ft(c, f, a, b, 0.3f);
        paint_mask_fill(c, cloth);
        for (int k = 1; k < 5; k++) {   // folds
            float t = 0.15f + k * 0.25f;
            vec2f q = {top.x - dir.x * t, top.y - dir.y * t};
            mask_line_ft(c, f, {q.x - 0.14f * dir.y, q.y + 0.14f * dir.x}, {q.x + 0.14f * dir.y, q.y - 0.14f * dir.x - 0.08f},
                         0.05f);
        }
        paint_mask_fill(c, paint_mix(cloth, paint_rgb(0, 0, 0), 0.35f));
        return;
    }
    // Cloth corners in feet: u across from the pole, v down the pole.
    float side = angle < -0.05f ? -1.0f : 1.0f;
    vec2f across = {side * dir.y, -side * dir.x};
    if (across.y > 0.3f)   // never stream upward past the pole's top
        across = {side, 0.0f};
    auto point = [&](float u, float v) {
        float wave = 0.22f * u * std::sin(u * 2.0f * pi_f * 1.1f + phase);
        vec2f q = {top.x + across.x * u * cloth_w - dir.x * v * cloth_h, top.y + across.y * u * cloth_w - dir.y * v * cloth_h};
        q.x += -across.y * wave * 1.0f;
        q.y += across.x * wave - 0.25f * u * u;   // sags with distance from the pole
        return px(f, q);
    };
    const int cols = 12, rows = 8;
    for (int pass = 0; pass < 2; pass++) {   // light cells, then dark cells of a chequered cloth
        for (int i = 0; i < cols; i++)
            for (int j = 0; j < rows; j++) {
                bool dark = look == flag_chequered && ((i / 2 + j / 2) % 2 == 1);
                if (dark != (pass == 1))
                    continue;
                float u0 = static_cast<float>(i) / cols, u1 = static_cast<float>(i + 1) / cols;
                float v0 = static_cast<float>(j) / rows, v1 = static_cast<float>(j + 1) / rows;
                vec2f q[4] = {point(u0, v0), point(u1, v0), point(u1, v1), point(u0, v1)};
                const float xy[8] = {q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y, q[3].x, q[3].y};
                paint_mask_polygon(c, xy, 4);
            }
        paint_colour col = pass == 0 ? cloth : paint_rgb(16, 16, 16);
        paint_mask_fill(c, col);
    }
    for (int i = 0; i < cols; i++) {   // shading of the waves
        float u0 = static_cast<float>(i) / cols, u1 = static_cast<float>(i + 1) / cols;
        float shade = 0.5f + 0.5f * std::cos(((u0 + u1) * 0.5f) * 2.0f * pi_f * 1.1f + phase);
        vec2f q[4] = {point(u0, 0), point(u1, 0), point(u1, 1), point(u0, 1)};
        const float xy[8] = {q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y, q[3].x, q[3].y};
        paint_mask_polygon(c, xy, 4);
        paint_mask_fill(c, paint_rgb(0, 0, 0, 0.22f * shade));
    }
}

static figure official(paint_colour shirt)
{
    return {flagger_size * 0.5f, flagger_size - 1.0f, flagger_scale, shirt, paint_rgb(40, 44, 60),
            paint_rgb(226, 180, 146), paint_rgb(30, 30, 34)};
}

static const pose pose_stand = {{0.12f, 0.12f}, {0.1f, 0.1f}, {0.06f, 0.06f}};

enum starter_frame { starter_idle, starter_raising, starter_holding, starter_dropping, starter_gone };

static canvas starter_sprite(int frame)
{
    canvas c = canvas_make(flagger_size, flagger_size, paint_rgb(240, 240, 236, 0.0f));
    figure f = official(paint_rgb(244, 244, 240));
    pose p = pose_stand;
    vec2f hands[2];
    const float board_w = 2.2f, board_h = 1.6f;
    switch (frame) {
    case starter_idle:   // board hanging edgewise at the right hand
        p.arm[1] = 0.25f;
        draw_person(c, f, p, hands);
        draw_board(c, f, {hands[1].x + 0.15f, hands[1].y - 0.85f}, board_w, board_h, 1.45f, "", "");
        break;
    case starter_raising:
        p.arm[1] = 1.9f, p.elbow[1] = 0.4f;
        draw_person(c, f, p, hands);
        draw_board(c, f, {hands[1].x + 0.3f, hands[1].y + 0.5f}, board_w, board_h, 0.6f, "", "");
        break;
    case starter_holding:   // both hands up, the board above the head
        p.arm[0] = p.arm[1] = 2.75f, p.elbow[0] = p.elbow[1] = 0.25f;
        draw_person(c, f, p, hands);
        draw_board(c, f, {0.0f, 0.5f * (hands[0].y + hands[1].y) + 0.6f}, board_w, board_h, 0.0f, "30", "SEC");
        break;
    case starter_dropping:   // board down edgewise, striding off
        p.arm[1] = 0.5f, p.leg[0] = 0.3f, p.leg[1] = 0.25f, p.arm[0] = 0.35f;
        draw_person(c, f, p, hands);
        draw_board(c, f, {hands[1].x + 0.3f, hands[1].y - 0.75f}, board_w, board_h, 1.2f, "", "");
        break;
    default:   // walked off: standing aside, the board edge-on under the arm
        p.arm[1] = 0.2f;
        draw_person(c, f, p, hands);
        draw_board(c, f, {hands[1].x - 0.05f, hands[1].y + 0.5f}, board_w, 0.22f, 1.5708f, "", "");
        break;
    }
    return c;
}

enum lap_frame { lap_normal, lap_half, lap_last, lap_done };

static canvas lap_sprite(int frame)
{
    canvas c = canvas_make(flagger_size, flagger_size, paint_rgb(240, 240, 236, 0.0f));
    figure f = official(paint_rgb(236, 236, 232));
    pose p = pose_stand;
    vec2f hands[2];
    switch (frame) {
    case lap_normal:   // furled green flag held upright at the side
        p.arm[1] = 0.3f;
        draw_person(c, f, p, hands);
        draw_flag(c, f, hands[1], 0.1f, paint_rgb(30, 150, 60), flag_furled, 0.0f);
        break;
    case lap_half:   // two furled flags crossed overhead
        p.arm[0] = p.arm[1] = 2.3f, p.elbow[0] = p.elbow[1] = 0.2f;
        draw_person(c, f, p, hands);
        draw_flag(c, f, hands[0], 0.55f, paint_rgb(30, 150, 60), flag_furled, 0.0f);
        draw_flag(c, f, hands[1], -0.55f, paint_rgb(250, 250, 250), flag_furled, 0.0f);
        break;
    default: {   // a flag flying overhead: white, or chequered at the finish
        p.arm[1] = 2.7f, p.elbow[1] = 0.1f;
        draw_person(c, f, p, hands);
        flag_look look = frame == lap_done ? flag_chequered : flag_plain;
        draw_flag(c, f, hands[1], -0.3f, paint_rgb(250, 250, 250), look, 0.8f);
        break;
    }
    }
    return c;
}

static canvas caution_sprite(bool waving)
{
    canvas c = canvas_make(flagger_size, flagger_size, paint_rgb(240, 210, 40, 0.0f));
    figure f = official(paint_rgb(255, 120, 20));
    pose p = pose_stand;
    vec2f hands[2];
    paint_colour yellow = paint_rgb(250, 214, 20);
    if (waving) {
        p.arm[1] = 2.5f, p.elbow[1] = 0.3f;
        draw_person(c, f, p, hands);
        draw_flag(c, f, hands[1], -0.4f, yellow, flag_plain, 2.2f);
    } else {
        p.arm[1] = 0.3f;
        draw_person(c, f, p, hands);
        draw_flag(c, f, hands[1], 0.1f, yellow, flag_furled, 0.0f);
    }
    return c;
}

// Two ranks of spectators, the back rank standing higher.
static canvas crowd_sprite()
{
    const int w = 512, h = 128;
    canvas c = canvas_make(w, h, paint_rgb(80, 70, 60, 0.0f));
    paint_random r = paint_random_make(seed_crowd);
    const paint_colour shirts[] = {paint_rgb(200, 40, 40),  paint_rgb(40, 90, 190),  paint_rgb(240, 240, 230),
                                   paint_rgb(30, 30, 34),   paint_rgb(250, 190, 30), paint_rgb(60, 140, 70),
                                   paint_rgb(120, 70, 150), paint_rgb(230, 110, 30)};
    const paint_colour skins[] = {paint_rgb(236, 196, 164), paint_rgb(198, 150, 110), paint_rgb(140, 96, 64),
                                  paint_rgb(96, 64, 44)};
    for (int rank = 0; rank < 2; rank++) {
        int count = rank == 0 ? 17 : 14;
        float k = rank == 0 ? 15.0f : 18.0f, feet = rank == 0 ? 112.0f : 127.0f;
        for (int i = 0; i < count; i++) {
            float x = (i + 0.5f) * (w - 24.0f) / count + 12.0f + paint_random_range(r, -6, 6);
            figure f = {x, feet, k * paint_random_range(r, 0.92f, 1.05f),
                        shirts[r.engine() % 8], paint_mix(paint_rgb(40, 50, 80), paint_rgb(90, 80, 60), paint_random_unit(r)),
                        skins[r.engine() % 4], paint_mix(paint_rgb(40, 28, 20), paint_rgb(170, 130, 70), paint_random_unit(r))};
            pose p = pose_stand;
            if (paint_random_unit(r) < 0.3f)   // some cheer with an arm up
                p.arm[r.engine() % 2] = paint_random_range(r, 2.4f, 2.9f);
            vec2f hands[2];
            draw_person(c, f, p, hands);
        }
    }
    return c;
}

bool datagen_object_sprites(const std::string& dir)
{
    if (!save(dir, "objects/tree_pine.png", pine_sprite()) || !save(dir, "objects/tree_oak.png", oak_sprite()) ||
        !save(dir, "objects/bush.png", bush_sprite()) || !save(dir, "objects/crowd.png", crowd_sprite()))
        return false;
    for (int i = 0; i < 5; i++)
        if (!save(dir, "objects/flagger_start" + std::to_string(i) + ".png", starter_sprite(i)))
            return false;
    const char* laps[4] = {"normal", "half", "last", "done"};
    for (int i = 0; i < 4; i++)
        if (!save(dir, std::string("objects/flagger_lap_") + laps[i] + ".png", lap_sprite(i)))
            return false;
    return save(dir, "objects/flagger_caution_idle.png", caution_sprite(false)) &&
           save(dir, "objects/flagger_caution_wave.png", caution_sprite(true));
}
