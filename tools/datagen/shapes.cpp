// shapes.cpp -- the generic collision shapes and the starting-gate shape.
//
// Owns: "generic_frame.shp", "generic_fork_upper.shp",
// "generic_fork_lower.shp", "generic_swingarm.shp", "front_wheel.shp",
// "rear_wheel.shp", "generic_rider.shp" and "startgate.shp", staged for the
// shared archive, and the recorded digest of the seven bike shapes
// (generic_shapes_digest, the one the game's start-up check compares).
// Needs: the bike catalogue, whose geometry every model shares.  Promises:
// the same bytes on every run ("%d"/"%f" in the C locale, no randomness).
//
// A shape is a set of spheres in its body's own axes: the origin is the
// body's centre in the build pose (the position the catalogue gives it) and
// the axes are the bike's (x right, y up, z rearward), since every body is
// built with identity orientation.  So each sphere centre below is a point
// of the build pose minus its body's position.  Points come from the
// catalogue wherever it has them (axles, steering head, fork axis and leg
// spacing, swingarm pivot, frame width, rider points for head, shoulders,
// hips, grips and footpegs, limb lengths); the rest are the typical
// dimensions of a full-size motocross bike given as constants below (seat
// height, ground clearance, part radii).
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/sha1.h"
#include "base/vec.h"
#include "bike/catalogue.h"
#include "datagen.h"

// Typical dimensions, ft.
static constexpr float seat_height = 38.0f / 12.0f;        // top of the seat above the ground
static constexpr float ground_clearance = 13.0f / 12.0f;   // under the engine's skid plate
static constexpr float seat_radius = 0.25f;
static constexpr float tank_radius = 0.35f;
static constexpr float shroud_radius = 0.3f;
static constexpr float engine_radius = 0.45f;              // crankcase halves
static constexpr float cylinder_radius = 0.35f;
static constexpr float peg_radius = 0.12f;
static constexpr float head_tube_radius = 0.25f;
static constexpr float fork_tube_radius = 0.15f;           // upper tubes in the clamps
static constexpr float triple_clamp_drop = 0.45f;          // lower clamp below the steering head, along the fork
static constexpr float bar_radius = 0.12f;                 // handlebar with hands and levers
static constexpr float fender_gap = 0.25f;                 // front fender above the extended tyre
static constexpr float slider_radius = 0.13f;              // fork sliders with guards
static constexpr float slider_length = 1.5f;               // exposed lower leg, from the axle up
static constexpr float swingarm_radius = 0.12f;
static constexpr float helmet_radius = 0.42f;
static constexpr float shoulder_radius = 0.3f;
static constexpr float torso_radius = 0.42f;
static constexpr float hip_radius = 0.33f;
static constexpr float elbow_radius = 0.18f;
static constexpr float knee_radius = 0.25f;
static constexpr float shin_radius = 0.2f;

// Surface of each body: friction on the ground, and spring and damper used
// between two shapes.  Stiffness / damping is 10 everywhere, as for the
// tyres and the ground, so every contact gets the same ERP.
struct shape_surface {
    float mu;          // friction coefficient
    float stiffness;   // lbf/ft
    float damping;     // lbf s/ft
};
static constexpr shape_surface bike_surface = {0.45f, 20000.0f, 2000.0f};    // plastics and alloy on dirt
static constexpr shape_surface wheel_surface = {0.8f, 25000.0f, 2500.0f};    // knobbies, as the tyre contact
static constexpr shape_surface rider_surface = {0.65f, 5000.0f, 500.0f};     // a body in riding gear, softer
static constexpr shape_surface gate_surface = {0.5f, 25000.0f, 2500.0f};     // steel

// The starting-gate bar: a plate of spheres on the bar model's plate, in
// the model's frame.  The hinge is the model's x axis at the origin and
// the plate runs from it along +z (back toward the waiting bike) just
// above y = 0.  Down, the plate lies flat under the front of the bike for
// the wheels to roll over; up (turned about x, free edge rising) it leans
// toward the rider, its free edge above the front axle just ahead of the
// tyre, which it holds back rather than letting it climb.
static constexpr float gate_width = 4.5f;           // ft between the outer centres (plate 5 ft wide)
static constexpr float gate_near_z = 0.3f;          // ft, row nearest the hinge
static constexpr float gate_far_z = 2.65f;          // ft, row nearest the free edge (at 2.9)
static constexpr float gate_plate_y = 0.2f;         // ft, sphere centres above the plate's base
static constexpr float gate_sphere_radius = 0.25f;  // ft; down, the spheres reach 0.45 ft
static constexpr int gate_columns = 9;              // across x
static constexpr int gate_rows = 4;                 // along z

static constexpr int wheel_ring_spheres = 16;       // as the wheel's mass model: every 22.5 degrees

struct sphere {
    vec3 centre;   // ft, body axes
    float radius;  // ft
};

static vec3 lerp(vec3 a, vec3 b, float t) { return vec3_add(a, vec3_scale(vec3_sub(b, a), t)); }
static vec3 with_x(vec3 p, float x) { return {x, p.y, p.z}; }

static void add(std::vector<sphere>& s, vec3 centre, float radius) { s.push_back({centre, radius}); }
// A sphere and its mirror image across the bike's centre plane.
static void add_pair(std::vector<sphere>& s, vec3 right, float radius)
{
    add(s, with_x(right, -right.x), radius);
    add(s, right, radius);
}

// Rounding noise of the trigonometry is written as 0, not "-0.000000".
static double clean(float v) { return std::fabs(v) < 5e-7f ? 0.0 : v; }

static std::string shape_text(const std::vector<sphere>& spheres, const shape_surface& surface)
{
    std::string text;
    char line[256];
    snprintf(line, sizeof line, "%d\n", static_cast<int>(spheres.size()));
    text += line;
    for (const sphere& s : spheres) {
        snprintf(line, sizeof line, "%f %f %f %f %f %f %f\n", clean(s.centre.x), clean(s.centre.y),
                 clean(s.centre.z), static_cast<double>(s.radius), static_cast<double>(surface.mu),
                 static_cast<double>(surface.stiffness), static_cast<double>(surface.damping));
        text += line;
    }
    return text;
}

// Middle joint of a two-segment limb from a to b (lengths l1, l2), bent
// toward `bend`; a limb too short to reach is taken straight.
static vec3 limb_joint(vec3 a, vec3 b, float l1, float l2, vec3 bend)
{
    vec3 d = vec3_sub(b, a);
    float len = vec3_length(d);
    vec3 dir = vec3_normalize_or(d, {0, -1, 0});
    if (len >= l1 + l2 || len <= 0.0f)
        return vec3_add(a, vec3_scale(dir, l1));
    float along = (len * len + l1 * l1 - l2 * l2) / (2.0f * len);
    float out = std::sqrt(std::fmax(l1 * l1 - along * along, 0.0f));
    vec3 side = vec3_normalize_or(vec3_sub(bend, vec3_scale(dir, vec3_dot(bend, dir))), {0, 0, -1});
    return vec3_add(a, vec3_add(vec3_scale(dir, along), vec3_scale(side, out)));
}

// Frame: head tube, tank and shrouds, seat and rear fender, side panels,
// engine, muffler (right side) and footpegs.
static std::vector<sphere> frame_spheres(const bike_model& m)
{
    std::vector<sphere> s;
    vec3 o = m.frame_position;
    auto local = [&](vec3 p) { return vec3_sub(p, o); };
    vec3 head = m.steering_head_position;
    float half_width = m.frame_size.x / 2;
    float rear_axle_z = m.rear_wheel.axle_position.z;
    float seat_front_z = o.z;
    add(s, local(head), head_tube_radius);
    for (float t : {1.0f / 3, 2.0f / 3})
        add(s, local({0, seat_height - tank_radius + 0.05f, head.z + (seat_front_z - head.z) * t}), tank_radius);
    add_pair(s, local({half_width, head.y - 0.3f, head.z + 0.5f}), shroud_radius);
    for (int i = 0; i < 4; i++) {   // seat from the tank back to above the rear axle
        float z = seat_front_z + (rear_axle_z - seat_front_z) * i / 3.0f;
        add(s, local({0, seat_height - seat_radius, z}), seat_radius);
    }
    add(s, local({0, seat_height - 0.1f, rear_axle_z + 0.55f}), 0.2f);   // fender tail
    float panel_z = (m.swingarm_pivot.z + rear_axle_z) / 2;
    add_pair(s, local({half_width - 0.05f, seat_height - 0.55f, panel_z}), 0.25f);
    float engine_y = ground_clearance + engine_radius;
    float engine_front = m.front_wheel.axle_position.z + m.front_wheel.ring_radius + m.front_wheel.section_radius +
                         engine_radius + 0.15f;
    float engine_rear = m.swingarm_pivot.z - engine_radius + 0.1f;
    add(s, local({0, engine_y, engine_front}), engine_radius);
    add(s, local({0, engine_y, engine_rear}), engine_radius);
    add(s, local({0, engine_y + 0.8f, (engine_front + engine_rear) / 2}), cylinder_radius);
    add(s, local({half_width, seat_height - 0.75f, rear_axle_z - 0.3f}), 0.2f);   // muffler
    add(s, m.rider_points[rider_peg_left], peg_radius);   // pegs are given in frame axes
    add(s, m.rider_points[rider_peg_right], peg_radius);
    return s;
}

// Fork upper: the tube tops in both clamps, the handlebar from grip to
// grip, the bar mount, the number plate and the front fender.
static std::vector<sphere> fork_upper_spheres(const bike_model& m)
{
    std::vector<sphere> s;
    vec3 o = m.steering_head_position;
    vec3 axis = vec3_normalize_or(vec3_sub(o, m.fork_lower_position), {0, 1, 0});
    float leg_x = m.fork_spacing / 2;
    add_pair(s, {leg_x, 0, 0}, fork_tube_radius);
    add_pair(s, with_x(vec3_scale(axis, -triple_clamp_drop), leg_x), fork_tube_radius);
    vec3 grip = m.rider_points[rider_grip_right];   // fork-upper axes
    add(s, with_x(grip, 0), bar_radius);
    for (float t : {0.5f, 1.0f})
        add_pair(s, with_x(grip, grip.x * t), bar_radius);
    add(s, vec3_scale(with_x(grip, 0), 0.5f), bar_radius);   // bar mount, halfway up from the clamp
    add(s, vec3_add(vec3_scale(axis, -0.15f), {0, 0, -0.45f}), 0.25f);   // number plate ahead of the clamps
    const wheel_spec& w = m.front_wheel;
    vec3 fender = {0, w.axle_position.y + w.ring_radius + w.section_radius + fender_gap, w.axle_position.z};
    add(s, vec3_sub(fender, o), 0.2f);
    add(s, vec3_sub(vec3_add(fender, {0, -0.05f, -0.5f}), o), 0.15f);
    return s;
}

// Fork lower: both sliders from the axle up along the fork axis.
static std::vector<sphere> fork_lower_spheres(const bike_model& m)
{
    std::vector<sphere> s;
    vec3 o = m.fork_lower_position;
    vec3 axis = vec3_normalize_or(vec3_sub(m.steering_head_position, o), {0, 1, 0});
    vec3 axle = vec3_sub(m.front_wheel.axle_position, o);
    for (int i = 0; i <= 4; i++)
        add_pair(s, with_x(vec3_add(axle, vec3_scale(axis, slider_length * i / 4.0f)), m.fork_spacing / 2),
                 slider_radius);
    return s;
}

// Swingarm: both sides from the pivot to the rear axle, and the linkage
// under the front of the arm.
static std::vector<sphere> swingarm_spheres(const bike_model& m)
{
    std::vector<sphere> s;
    vec3 o = m.swingarm_position;
    vec3 pivot = vec3_sub(m.swingarm_pivot, o);
    vec3 axle = vec3_sub(m.rear_wheel.axle_position, o);
    float side_x = m.frame_size.x / 2;
    for (int i = 0; i <= 4; i++)
        add_pair(s, with_x(lerp(pivot, axle, i / 4.0f), side_x), swingarm_radius);
    add(s, vec3_add(lerp(pivot, axle, 0.35f), {0, -0.15f, 0}), 0.15f);
    return s;
}

// Wheel: the tyre as a ring of spheres through its cross-section's centre,
// every 22.5 degrees from straight above the axle, and a hub sphere.
static std::vector<sphere> wheel_spheres(const wheel_spec& w)
{
    std::vector<sphere> s;
    add(s, {0, 0, 0}, std::fmin(w.hub_radius, w.section_radius));
    for (int i = 0; i < wheel_ring_spheres; i++) {
        double a = i * (2.0 * M_PI / wheel_ring_spheres);
        add(s, {0, static_cast<float>(w.ring_radius * std::cos(a)), static_cast<float>(w.ring_radius * std::sin(a))},
            w.section_radius);
    }
    return s;
}

// Rider: helmet, shoulders, torso, hips, elbows (bent out, up and back on
// the way to the grips), knees and shins (bent forward toward the pegs).
// The rider mass shares the frame's axes in the build pose, so grips and
// pegs are brought into its axes through their bodies' positions.
static std::vector<sphere> rider_spheres(const bike_model& m)
{
    std::vector<sphere> s;
    const vec3* p = m.rider_points;
    vec3 o = m.rider_position;
    add(s, p[rider_head], helmet_radius);
    add(s, p[rider_shoulder_left], shoulder_radius);
    add(s, p[rider_shoulder_right], shoulder_radius);
    vec3 neck = lerp(p[rider_shoulder_left], p[rider_shoulder_right], 0.5f);
    vec3 pelvis = lerp(p[rider_hip_left], p[rider_hip_right], 0.5f);
    for (float t : {0.2f, 0.5f, 0.8f})
        add(s, lerp(neck, pelvis, t), torso_radius);
    add(s, p[rider_hip_left], hip_radius);
    add(s, p[rider_hip_right], hip_radius);
    const float* limb = m.rider_limb_lengths;
    for (int side = 0; side < 2; side++) {
        float out = side == 0 ? -1.0f : 1.0f;
        vec3 grip = vec3_sub(vec3_add(m.steering_head_position, p[rider_grip_left + side]), o);
        vec3 elbow = limb_joint(p[rider_shoulder_left + side], grip, limb[0], limb[1], {0.7f * out, 0.5f, 0.5f});
        add(s, elbow, elbow_radius);
        vec3 peg = vec3_sub(vec3_add(m.frame_position, p[rider_peg_left + side]), o);
        vec3 knee = limb_joint(p[rider_hip_left + side], peg, limb[2], limb[3], {0, 0, -1});
        add(s, knee, knee_radius);
        add(s, lerp(knee, peg, 0.5f), shin_radius);
    }
    return s;
}

static std::vector<sphere> gate_spheres()
{
    std::vector<sphere> s;
    for (int r = 0; r < gate_rows; r++) {
        float z = gate_near_z + (gate_far_z - gate_near_z) * r / (gate_rows - 1);
        for (int i = 0; i < gate_columns; i++)
            add(s, {-gate_width / 2 + gate_width * i / (gate_columns - 1), gate_plate_y, z}, gate_sphere_radius);
    }
    return s;
}

bool datagen_shapes(const datagen_context& ctx)
{
    const bike_model& m = bike_models[0];   // every model shares this geometry
    struct staged {
        const char* name;
        std::string text;
    } shapes[] = {
        {"generic_frame.shp", shape_text(frame_spheres(m), bike_surface)},
        {"generic_fork_upper.shp", shape_text(fork_upper_spheres(m), bike_surface)},
        {"generic_fork_lower.shp", shape_text(fork_lower_spheres(m), bike_surface)},
        {"generic_swingarm.shp", shape_text(swingarm_spheres(m), bike_surface)},
        {"front_wheel.shp", shape_text(wheel_spheres(m.front_wheel), wheel_surface)},
        {"rear_wheel.shp", shape_text(wheel_spheres(m.rear_wheel), wheel_surface)},
        {"generic_rider.shp", shape_text(rider_spheres(m), rider_surface)},
    };
    std::string dir = ctx.stage_dir + "/zzzz";
    for (const staged& s : shapes)
        if (!datagen_write(dir, s.name, s.text))
            return false;
    if (!datagen_write(dir, "startgate.shp", shape_text(gate_spheres(), gate_surface)))
        return false;

    // The digest covers the files in the order the game's check reads
    // them; SHA-1 of the whole bytes equals that of the check's pieces.
    sha1_state state;
    sha1_begin(&state);
    for (const char* name : generic_shape_names) {
        const staged* found = nullptr;
        for (const staged& s : shapes)
            if (std::string("@") + s.name == name)
                found = &s;
        if (!found) {
            fprintf(stderr, "datagen: no generic shape staged for %s\n", name);
            return false;
        }
        sha1_add(&state, found->text.data(), found->text.size());
    }
    uint8_t digest[sha1_digest_size];
    sha1_end(&state, digest);
    char hex[sha1_hex_size];
    sha1_to_hex(digest, hex);
    datagen_record_digest("generic_shapes_digest", hex);
    return true;
}
