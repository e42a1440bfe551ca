// crash.cpp -- crash start, checks, ropes, recovery and feet (see crash.h).
//
// A crashed rider is a free body tied to its bike by soft ropes: the arms
// to the grips while it tumbles (and, right after the fall, the hips to a
// point behind the bar), then three ropes from the seat that shorten as the
// crash runs out, so that the rider mass is back at its riding place, the
// right way up, when the rider joint is attached again.  The two feet are
// points moved here only for drawing; they touch nothing.
#include "bike/crash.h"

#include <algorithm>
#include <cmath>

#include "base/tick.h"
#include "bike/bike.h"
#include "bike/collision.h"
#include "bike/physics_world.h"
#include "terrain/height_field.h"

static constexpr float h = static_cast<float>(tick_period);
static constexpr float gravity = 32.0f;               // ft/s^2, removed from the impact test
static constexpr float dab_retract_rate = 4.0f;        // dab extension per second
static constexpr float dab_ground_clearance = 0.125f;  // ft: a dabbing foot above the ground
static constexpr float dab_full_speed = 15.0f;         // ft/s: the dabbing foot is furthest ahead
static constexpr float dab_reach_ahead = 2.5f;         // ft
static constexpr float dab_side_lean = 0.1f;           // rad: both feet go down within it
static constexpr float foot_steer_gain = 32.0f;        // per ft of distance to the target
static constexpr float pi_f = 3.14159265f;

int knockout_table[knockout_entries] = {};

void set_knockout_table(const int* values, int count)
{
    for (int i = 0; i < knockout_entries; i++) {
        int v = values && i < count ? values[i] : 0;
        knockout_table[i] = std::clamp(v, 0, knockout_max_ticks);
    }
}

static float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

static bool ground_height(float x, float z, float* out)
{
    const height_field* hf = bike_env.ground;
    if (!hf || !hf->heights)
        return false;
    *out = terrain_height(*hf, x, z);
    return std::isfinite(*out);
}

// ---------------------------------------------------------------- feet

void riding_feet(const bike* b, vec3 out[2])
{
    const bike_model& m = b->model;
    dBodyID frame = b->bodies[body_frame], rider = b->bodies[body_rider];
    vec3 peg[2] = {body_local_to_world(frame, m.rider_points[rider_peg_left]),
                   body_local_to_world(frame, m.rider_points[rider_peg_right])};
    out[0] = peg[0];
    out[1] = peg[1];
    float e = b->dab_extension;
    if (!(e > 0) || b->crash_timer > 127)
        return;
    vec3 hip_l = body_local_to_world(rider, m.rider_points[rider_hip_left]);
    vec3 hip_r = body_local_to_world(rider, m.rider_points[rider_hip_right]);
    vec3 across = vec3_sub(hip_r, hip_l);
    vec3 forward = body_vector_to_world(frame, {0, 0, -1});
    float s = clamp01(vec3_dot(body_velocity(frame), forward) / dab_full_speed);
    float lean = frame_lean_angle(b);
    float w = clamp01(std::fabs(lean) * 4 / pi_f);
    vec3 ahead = vec3_scale(forward, (1.25f * s - 0.25f) * w * dab_reach_ahead);
    auto put_down = [&](int side, vec3 target, float weight) {
        float g;
        if (ground_height(target.x, target.z, &g))
            target.y = g + dab_ground_clearance;
        out[side] = vec3_add(peg[side], vec3_scale(vec3_sub(target, peg[side]), weight));
    };
    if (lean > -dab_side_lean)
        put_down(0, vec3_add(vec3_add(hip_l, vec3_scale(across, 0.5f * w - 0.5f)), ahead),
                 1 - clamp01(2.5f * (lean + 0.5f)) * (1 - e));
    if (lean < dab_side_lean)
        put_down(1, vec3_add(vec3_add(hip_r, vec3_scale(across, 0.5f - 0.5f * w)), ahead),
                 1 - clamp01(2.5f * (0.5f - lean)) * (1 - e));
}

// Replaces v's component along the unit direction d with that of w.
static vec3 swap_component(vec3 v, vec3 d, vec3 w)
{
    return vec3_add(vec3_sub(v, vec3_scale(d, vec3_dot(v, d))), vec3_scale(d, vec3_dot(w, d)));
}

static void move_foot(const bike* b, crash_foot* f, vec3 hip, vec3 plane_point, vec3 down, float leg)
{
    dBodyID rider = b->bodies[body_rider];
    f->velocity.y -= gravity * h;
    float g;
    if (ground_height(f->position.x, f->position.z, &g) && f->position.y < g + foot_ground_clearance) {
        f->position.y = g + foot_ground_clearance;
        f->velocity = {0, 0, 0};
    }
    f->velocity = vec3_scale(f->velocity, foot_drag);
    vec3 r = vec3_sub(f->position, hip);
    float dist = vec3_length(r);
    if (dist >= leg && dist > 0) {   // the leg is stretched: the foot goes along with the hip
        vec3 dir = vec3_scale(r, 1.0f / dist);
        f->position = vec3_add(hip, vec3_scale(dir, leg));
        f->velocity = swap_component(f->velocity, dir, body_point_velocity(rider, hip));
    }
    float side = vec3_dot(vec3_sub(f->position, plane_point), down);
    if (side < 0) {   // not above the hips' own floor
        f->position = vec3_sub(f->position, vec3_scale(down, side));
        f->velocity = swap_component(f->velocity, down, body_point_velocity(rider, f->position));
    }
}

void feet_step(bike* b)
{
    b->dab_extension = std::max(0.0f, b->dab_extension - dab_retract_rate * h);
    if (!bike_crashed(b))
        return;
    const bike_model& m = b->model;
    dBodyID rider = b->bodies[body_rider];
    for (crash_foot& f : b->feet)
        f.position = vec3_add(f.position, vec3_scale(f.velocity, h));
    vec3 hip_l = body_local_to_world(rider, m.rider_points[rider_hip_left]);
    vec3 hip_r = body_local_to_world(rider, m.rider_points[rider_hip_right]);
    float leg = m.rider_limb_lengths[2] + m.rider_limb_lengths[3];
    vec3 down = body_vector_to_world(rider, {0, -1, 0});
    vec3 plane_point = vec3_add(hip_l, down);
    move_foot(b, &b->feet[0], hip_l, plane_point, down, leg);
    move_foot(b, &b->feet[1], hip_r, plane_point, down, leg);
}

// --------------------------------------------------------------- crashing

void start_crash(bike* b)
{
    if (bike_crashed(b))
        return;
    dJointAttach(b->joints[joint_rider], nullptr, nullptr);
    b->rider_attached = false;
    vec3 feet[2];
    riding_feet(b, feet);
    for (int i = 0; i < 2; i++) {
        b->feet[i].position = feet[i];
        b->feet[i].velocity = body_point_velocity(b->bodies[body_rider], feet[i]);
    }
    int entry = std::clamp(b->crash_count, 0, knockout_entries - 1);
    b->crash_timer = crash_base_ticks + std::clamp(knockout_table[entry], 0, knockout_max_ticks);
    b->crash_count++;
}

void crash_check(bike* b)
{
    if (b->crash_timer != 0)
        return;
    dBodyID rider = b->bodies[body_rider];
    vec3 v = body_velocity(rider);
    vec3 relative = vec3_sub(v, body_point_velocity(b->bodies[body_frame], body_position(rider)));
    if (vec3_dot(relative, relative) > crash_relative_speed2) {
        start_crash(b);
        return;
    }
    vec3 old = b->velocity_history[static_cast<unsigned>(bike_env.tick) % velocity_history_count];
    vec3 accel = vec3_add(vec3_scale(vec3_sub(v, old), 0.25f / h), {0, gravity, 0});
    if (vec3_dot(accel, accel) > crash_impact_accel2)
        start_crash(b);
}

// Ropes of a tumbling rider: arms to the grips, early on the hips to a
// point behind the bar, and the loose rider colliding with its own bike.
static void tumble_ropes(bike* b)
{
    const bike_model& m = b->model;
    dBodyID rider = b->bodies[body_rider], fork = b->bodies[body_fork_upper], frame = b->bodies[body_frame];
    float arm = arm_rope_share * (m.rider_limb_lengths[0] + m.rider_limb_lengths[1]);
    bike_rope(rider, m.rider_points[rider_shoulder_left], fork, m.rider_points[rider_grip_left], arm);
    bike_rope(rider, m.rider_points[rider_shoulder_right], fork, m.rider_points[rider_grip_right], arm);
    if (b->crash_timer > crash_base_ticks - 1) {
        vec3 hip = m.rider_points[rider_hip_right], grip = m.rider_points[rider_grip_right];
        bike_rope(rider, {0, hip.y, hip.z}, fork, {0, grip.y, grip.z + tumble_rope_back}, tumble_rope_length);
    }
    if (b->rider_shape) {
        vec3 pr = body_position(rider);
        mat3 rr = body_rotation(rider);
        shape_pair_contacts(b->frame_shape, frame, body_position(frame), body_rotation(frame), b->rider_shape, rider,
                            pr, rr, pair_joint);
        shape_pair_contacts(b->fork_upper_shape, fork, body_position(fork), body_rotation(fork), b->rider_shape,
                            rider, pr, rr, pair_joint);
    }
}

void crash_recovery(bike* b)
{
    int t = b->crash_timer;
    if (t <= 0 || t >= crash_base_ticks)
        return;
    const bike_model& m = b->model;
    dBodyID frame = b->bodies[body_frame], rider = b->bodies[body_rider];
    float span = float(crash_base_ticks - recovery_slack_end);
    float slack = recovery_slack * clamp01(float(t - recovery_slack_end) / span);
    vec3 o = vec3_sub(m.rider_position, m.frame_position);
    bike_rope(frame, o, rider, {0, 0, 0}, slack);
    bike_rope(frame, vec3_add(o, {-5, 10, 0}), rider, {-5, 10, 0}, slack);
    bike_rope(frame, vec3_add(o, {5, 10, 0}), rider, {5, 10, 0}, slack);
    if (t > foot_to_peg_ticks)
        return;
    int side = frame_lean_angle(b) < 0 ? 0 : 1;
    vec3 peg = m.rider_points[side ? rider_peg_right : rider_peg_left];
    crash_foot& f = b->feet[side];
    vec3 d = vec3_sub(body_local_to_world(frame, vec3_add(peg, {0, 3, 1})), f.position);
    if (!(vec3_length(d) > 0))
        return;
    vec3 u = vec3_scale(d, foot_steer_gain);
    float len = vec3_length(u);
    if (len > 1)
        u = vec3_scale(u, 1.0f / len);
    f.velocity = vec3_scale(u, foot_peg_speed);
}

// Back on the bike: the rider mass at its riding place, turned as the
// frame, moving as it was, and joined to the frame again.
static void remount(bike* b)
{
    const bike_model& m = b->model;
    dBodyID frame = b->bodies[body_frame], rider = b->bodies[body_rider];
    body_set_position(rider, body_local_to_world(frame, vec3_sub(m.rider_position, m.frame_position)));
    body_set_rotation(rider, body_rotation(frame));
    attach_rider_joint(b);
}

void crash_handling(bike* b)
{
    if (b->crash_timer <= 0)
        return;
    vec3 v = body_velocity(b->bodies[body_rider]);
    if (vec3_dot(v, v) >= crash_rest_speed2)
        tumble_ropes(b);
    else
        b->crash_timer--;
    if (b->crash_timer > 0 && b->crash_timer < crash_base_ticks)
        crash_recovery(b);
    if (b->crash_timer == 0)
        remount(b);
}

void crash_step(bike* b)
{
    crash_check(b);
    crash_handling(b);
}
