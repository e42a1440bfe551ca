// rider_control.cpp -- inputs, back-up, dabbing, the steering and balance
// assists, steering damping and realigning.
//
// Contract in rider_control.h.  Motors made here (back-up turning, arcade
// auto-level, realign) are angular motors on the frame alone, created in
// the shared contact group so the world step that follows is the only one
// they act in.
#include "bike/rider_control.h"

#include <cmath>

#include "base/tick.h"
#include "bike/collision.h"
#include "bike/drivetrain.h"
#include "bike/physics_world.h"
#include "terrain/height_field.h"

static constexpr float pi = 3.14159265358979323846f;
static constexpr float two_pi = 2 * pi;
static constexpr float step_h = float(tick_period);

static constexpr float slow_speed = 5.0f;               // ft/s: stopped, for backing up and dabbing
static constexpr float walking_speed = 15.0f;           // ft/s: walking-pace limit
static constexpr float backup_speed = 4.0f;             // ft/s rearward at the top of a pulse
static constexpr float backup_force = 2000.0f;          // lbf pushing the bike back
static constexpr float backup_turn_torque = 2000.0f;    // ft lbf turning it while pushed
static constexpr float dab_hold_force = 1000.0f;        // lbf holding a stopped bike still
static constexpr double pulse_phase = 0.049473900056532176;   // rad per tick: 2 pi / 127
static constexpr int32_t pre_start_mask = 0x180;        // before the start only ticks with these bits clear push

static constexpr float airborne_centring = 50.0f;       // ft lbf per rad of steering angle
static constexpr float steer_rate_axle = pi / 4;        // rad/s of front axle: slower counts as airborne
static constexpr float soft_lock_height = 0.5f;         // ft: higher, the soft lock stop is off
static constexpr float torque_factor = 1.5f;
static constexpr float knock_reverse_ticks = 192.0f;    // above this the balance assist pushes the wrong way
static constexpr float knock_reverse_ramp = 64.0f;
static constexpr float knock_weak_limit = 200.0f;       // ft lbf of balance while recovering
static constexpr float roll_target_gain = 2.5f;
static constexpr float roll_rate_away = 5 * pi / 4;     // rad/s, most target roll rate away from upright
static constexpr float roll_rate_back = 25 * pi / 8;    // rad/s, toward upright
static constexpr float roll_rate_band = 0.125f;

static constexpr float arcade_dead_band = 1.0f / 32;
static constexpr float arcade_rate_band = 1.0f / 2400;
static constexpr float arcade_level_torque = 1000.0f;
static constexpr float tail_drag_distance = 20.0f;      // ft behind the frame
static constexpr float tail_drag = -0.25f;              // lbf per ft/s

static constexpr float dab_torque_size = 400.0f;
static constexpr float dab_point_height = 4.0f;         // ft above the frame centre
static constexpr float upright_y = 0.707f;              // frame up axis y: roughly upright
static constexpr float realign_speed = pi / 2;          // rad/s of turn
static constexpr float realign_torque = 320.0f;         // ft lbf per slug of bike
static constexpr float realign_lift = 32.0f;            // lbf per slug on each grounded wheel
static constexpr float back_up_held = 0.125f;

// ---- small helpers -----------------------------------------------------------

static float clampf(float v, float lo, float hi)
{
    if (!(v >= lo))   // also NaN
        return lo;
    return v > hi ? hi : v;
}

static float clamp_input(float v, float lo, float hi)
{
    return std::isfinite(v) ? clampf(v, lo, hi) : 0.0f;
}

// Moves v toward 0 by d without crossing it.
static float shrink(float v, float d)
{
    if (v > d)
        return v - d;
    if (v < -d)
        return v + d;
    return 0.0f;
}

static bool on_ground(const wheel_contact& wc) { return wc.load > 0.0f; }

static float ground_height(float x, float z)
{
    const height_field* g = bike_env.ground;
    if (!g || !g->heights)
        return 0.0f;   // no track: the build pose's ground plane
    return terrain_height(*g, x, z);
}

static float ground_mu0(float x, float z)
{
    const height_field* g = bike_env.ground;
    if (!g || !g->tiles || !g->tilemap || g->tile_count <= 0)
        return 1.0f;
    int t = tile_at(*g, x, z);
    if (t < 0 || t >= g->tile_count)
        return 1.0f;
    return g->tiles[t].friction[0].value;
}

// Whether a sphere touches the ground: the terrain's triangles through the
// collision module's sphere test, or the build pose's ground plane when no
// track is loaded.
static bool sphere_touches_ground(vec3 centre, float radius)
{
    const height_field* g = bike_env.ground;
    if (!g || !g->heights)
        return centre.y - radius < 0.0f;
    sphere_hit hit;
    return sphere_terrain_contact(*g, centre, radius, &hit);
}

static float frame_speed(const bike* b)
{
    dBodyID f = b->bodies[body_frame];
    return f ? vec3_length(body_velocity(f)) : 0.0f;
}

static float roll_rate(const bike* b)
{
    dBodyID f = b->bodies[body_frame];
    return f ? body_vector_from_world(f, body_angular_velocity(f)).z : 0.0f;
}

// Unit steering axis, fork lower to steering head, in frame axes.
static vec3 steering_axis(const bike* b)
{
    return vec3_normalize_or(vec3_sub(b->model.steering_head_position, b->model.fork_lower_position), {0, 1, 0});
}

static float hinge_angle(dJointID j) { return j ? float(dJointGetHingeAngle(j)) : 0.0f; }
static float hinge_rate(dJointID j) { return j ? float(dJointGetHingeAngleRate(j)) : 0.0f; }

// An angular motor on the frame alone for the coming world step.
static void frame_motor(bike* b, vec3 axis, float velocity, float max_torque)
{
    dBodyID frame = b->bodies[body_frame];
    if (!physics.world || !frame || !vec3_finite(axis) || !std::isfinite(velocity) || !std::isfinite(max_torque))
        return;
    dJointID j = dJointCreateAMotor(physics.world, physics.contacts);
    dJointAttach(j, frame, nullptr);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    dJointSetAMotorAxis(j, 0, 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(j, dParamVel, velocity);
    dJointSetAMotorParam(j, dParamFMax, max_torque);
}

// Pushes the body's velocity toward a horizontal target with at most
// force lbf, fading in over the first 1.25 ft/s of error; horizontal only.
static void velocity_drive(dBodyID body, vec3 target, float force)
{
    if (!body)
        return;
    vec3 d = vec3_sub(body_velocity(body), target);
    float len = vec3_length(d);
    if (!(len >= 0.25f))
        return;
    float scale = clampf((len - 0.25f) * 0.8f, 0.0f, 1.0f) * force / len;
    body_add_force(body, {-d.x * scale, 0.0f, -d.z * scale});
}

// ---- inputs ----------------------------------------------------------------

void set_steer(bike* b, float value) { b->steer = clamp_input(value, -1.0f, 1.0f); }
void set_lean(bike* b, float value) { b->lean = bike_crashed(b) ? 0.0f : clamp_input(value, -1.0f, 1.0f); }
void set_sit_dab(bike* b, float value) { b->sit_dab = bike_crashed(b) ? 0.0f : clamp_input(value, 0.0f, 1.0f); }
void set_back_up(bike* b, float value) { b->back_up = bike_crashed(b) ? 0.0f : clamp_input(value, 0.0f, 1.0f); }

void apply_controls(bike* b, const bike_controls& c)
{
    set_steer(b, c.steer);
    set_throttle(b, c.throttle);
    set_front_brake(b, c.front_brake);
    set_rear_brake(b, c.rear_brake);
    shift(b, c.shift);
    set_clutch(b, c.clutch);
    set_sit_dab(b, c.sit_dab);
    set_back_up(b, c.back_up);
    set_lean(b, c.lean);
}

// ---- measurements ----------------------------------------------------------

float lean_angle_of(const mat3& r)
{
    vec3 up = mat3_column(r, 1);
    vec3 fwd = vec3_scale(mat3_column(r, 2), -1.0f);
    // The lateral direction is perpendicular to the heading's horizontal
    // part; a frame pointing straight up or down has none, and its own x
    // axis (then horizontal) is the same direction in the limit.
    vec3 side = {-fwd.z, 0.0f, fwd.x};
    vec3 x_axis = mat3_column(r, 0);
    vec3 fallback = vec3_normalize_or({x_axis.x, 0.0f, x_axis.z}, {1, 0, 0});
    vec3 l = side.x * side.x + side.z * side.z > 1e-12f ? vec3_normalize_or(side, fallback) : fallback;
    float d = vec3_dot(up, l);
    if (!std::isfinite(d))
        return 0.0f;
    return -std::asin(clampf(d, -1.0f, 1.0f));
}

float frame_lean_angle(const bike* b)
{
    dBodyID f = b->bodies[body_frame];
    return f ? lean_angle_of(body_rotation(f)) : 0.0f;
}

float lean_range(const bike* b, float speed, int exponent)
{
    float limit = b->max_dab_speed;
    if (!(speed > 0.0f))
        return 0.0f;
    if (speed >= limit)
        return two_pi;
    if (speed <= walking_speed) {
        float q = 1.0f - clampf(speed * speed / (limit * limit), 0.0f, 1.0f);
        return (1.0f - std::pow(q, float(exponent))) * b->roll_limit_angle;
    }
    // Here walking_speed < speed < limit, so the denominator is positive.
    float ws2 = walking_speed * walking_speed;
    return b->roll_limit_angle + (two_pi - b->roll_limit_angle) * (speed * speed - ws2) / (limit * limit - ws2);
}

float steering_lock_angle(const bike* b, float u, float mu0)
{
    float full = b->full_lock_speed > 0.0f ? b->full_lock_speed : 1.0f;
    float s2 = full + 1.0f > b->restricted_lock_speed ? full + 1.0f : b->restricted_lock_speed;
    float inv_u = 1.0f / (u > 1.0f ? u : 1.0f);
    float k = clampf((inv_u - 1.0f / s2) / (1.0f / full - 1.0f / s2), 0.0f, 1.0f);
    float a = b->restricted_lock_angle / (mu0 > 0.125f ? mu0 : 0.125f);
    if (!(a <= pi / 4))
        a = pi / 4;
    return a + (pi / 4 - a) * k;
}

float backup_pulse(int32_t tick, int32_t race_start_tick)
{
    int64_t t = tick;
    int64_t phase = ((t % ticks_per_second) + ticks_per_second) % ticks_per_second;
    // Start tick rounded up to a whole second, plus one second.
    int64_t s = race_start_tick;
    int64_t rounded = -((-s) >> 7) * ticks_per_second;   // ceil(s / 128) * 128, any sign
    if (t < rounded + ticks_per_second && (tick & pre_start_mask) != 0)
        return 0.0f;
    return float((1.0 - std::cos(double(phase) * pulse_phase)) / 2.0);
}

// Front wheel slip angle in the fork-upper body's axes.
static float front_slip_angle(const bike* b)
{
    dBodyID fork = b->bodies[body_fork_upper], wheel = b->bodies[body_front_wheel];
    if (!fork || !wheel)
        return 0.0f;
    vec3 v = body_vector_from_world(fork, body_velocity(wheel));
    vec3 a = steering_axis(b);
    vec3 w = {0.0f, -a.z, a.y};   // along the wheel's heading, rearward, perpendicular to the axis
    float along = vec3_dot(v, w);
    if (!(v.x * v.x + along * along > 1.0f))
        return 0.0f;
    return -std::atan2(v.x, -along);
}

steering_inputs measure_steering(const bike* b)
{
    steering_inputs m = {};
    const wheel_spec& fw = b->model.front_wheel;
    m.front_axle_rate = hinge_rate(b->joints[joint_front_axle]);
    m.u = m.front_axle_rate * (fw.ring_radius + fw.section_radius);
    m.v = frame_speed(b);
    m.lean = frame_lean_angle(b);
    m.roll_rate = roll_rate(b);
    m.slip_angle = front_slip_angle(b);
    m.steer_angle = hinge_angle(b->joints[joint_steering]);
    m.front_on_ground = on_ground(b->front_contact);
    m.front_height = 1e9f;
    m.mu0 = 1.0f;
    if (dBodyID wheel = b->bodies[body_front_wheel]) {
        vec3 p = body_position(wheel);
        m.front_height = p.y - ground_height(p.x, p.z) - fw.ring_radius - fw.section_radius;
        m.mu0 = ground_mu0(p.x, p.z);
    }
    return m;
}

// ---- the steering and balance controller ----------------------------------

// Torque-limit factor of the soft lock stop for a slip magnitude beyond
// the opened lock angle: 1 at the lock, -0.25 from 1.125 lock + 0.015 on.
static float soft_stop_factor(float slip, float lock)
{
    float far = 1.125f * lock + 0.015f;
    return 1.25f * clampf((slip - far) / (lock - far), 0.0f, 1.0f) - 0.25f;
}

// Target roll rate toward the lean the steering input asks for; the
// lean-rate part of the steering is how far the actual rate misses it.
static float lean_rate_steering(const bike* b, const steering_inputs& m, float direct)
{
    float range = lean_range(b, m.v, 4);
    float target = (-b->steer * range - m.lean) * roll_target_gain;
    float limit = target * m.lean < 0.0f ? roll_rate_back : roll_rate_away;
    target = clampf(target, -limit, limit);
    float d = clampf(target - m.roll_rate, -roll_rate_band, roll_rate_band);
    float c = clampf((m.roll_rate - (target - d)) * 4.0f, -1.0f, 1.0f);
    float s = b->steering_strength;
    return (direct - s * c) * b->direct_steering + s * c;
}

// Balance while both wheels roll: roll damping (with the landing boost),
// leveling, slow-speed gain and the roll limit.
static float rolling_balance(bike* b, const steering_inputs& m)
{
    float bd = m.roll_rate * b->roll_damping * b->landing_gain;
    if (b->landing_gain > 1.0f && b->landing_damping_falloff != 0.0f) {
        float g = b->landing_gain - (b->landing_damping_factor - 1.0f) * step_h / b->landing_damping_falloff;
        b->landing_gain = g > 1.0f ? g : 1.0f;
    }
    float bl = m.lean * b->leveling;
    if (m.v < b->slow_damping_speed) {
        float f = b->slow_damping_factor + (1.0f - b->slow_damping_factor) * clampf(m.v / b->slow_damping_speed, 0.0f, 1.0f);
        bd *= f;
        bl *= f;
    }
    bool same_sign = (m.roll_rate < 0.0f) == (m.lean < 0.0f);
    float al = std::fabs(m.lean);
    if (same_sign && al > b->roll_limit_angle)
        bd *= (al - b->roll_limit_angle) * b->roll_limit_factor + 1.0f;
    return bd + bl;
}

// After running into another bike the assist first pushes the wrong way,
// then comes back weakened.
static float knocked_balance(float balance, float t)
{
    if (t > knock_reverse_ticks)
        return -clampf((t - knock_reverse_ticks) / knock_reverse_ramp, 0.0f, 1.0f) * balance;
    if (t > 0.0f) {
        float lim = knock_weak_limit * clampf((knock_reverse_ticks - t) / knock_reverse_ticks, 0.0f, 1.0f);
        return clampf(balance, -lim, lim);
    }
    return balance;
}

static float lean_indicator_value(const steering_inputs& m, float lock)
{
    float q = clampf((m.u - slow_speed) / (walking_speed - slow_speed), 0.0f, 1.0f);
    float lo = q * 0.25f * lock, hi = (q * 0.625f + 0.125f) * lock;
    float slip = m.lean >= 0.0f ? -m.slip_angle : m.slip_angle;
    float a = hi - lo > 1e-9f ? clampf((slip - lo) / (hi - lo), 0.0f, 1.0f) : (slip > lo ? 1.0f : 0.0f);
    float bars = m.lean >= 0.0f ? (m.steer_angle - pi / 12) * (12 / pi) : (m.steer_angle + pi / 12) * (-12 / pi);
    bars = clampf(bars, 0.0f, 1.0f);
    return bars > a ? bars : a;
}

steering_output steering_controller(bike* b, const steering_inputs& m)
{
    steering_output out = {};
    b->lean_indicator = 0.0f;
    float big = b->max_steering_force;
    float lower = -big, upper = big;
    float direct = b->steering_strength * b->steer * b->direct_steering;

    float lock = steering_lock_angle(b, m.u, m.mu0);
    if (m.u > 1.0f && m.front_height < soft_lock_height) {
        float opened = lock + (pi / 4 - lock) * clampf(2.0f * m.front_height, 0.0f, 1.0f);
        if (m.slip_angle > opened)
            lower = -big * soft_stop_factor(m.slip_angle, opened);
        else if (m.slip_angle < -opened)
            upper = big * soft_stop_factor(-m.slip_angle, opened);
    }

    float balance, steering = direct;
    if (!m.front_on_ground || m.front_axle_rate <= steer_rate_axle) {
        // In the air (or barely rolling): centre the bars, arm the landing boost.
        b->landing_gain = b->landing_damping_factor;
        balance = -airborne_centring * m.steer_angle;
    } else {
        balance = rolling_balance(b, m);
        if (b->direct_steering < 1.0f)
            steering = lean_rate_steering(b, m, direct);
    }
    balance = knocked_balance(balance, b->knock_timer);

    out.torque = clampf((balance + steering) * torque_factor, lower, upper);
    out.lower_limit = lower;
    out.upper_limit = upper;
    out.lock_angle = lock;
    out.balance = balance;
    out.steering = steering;
    b->lean_indicator = lean_indicator_value(m, lock);
    return out;
}

void apply_steering_torque(bike* b, float torque)
{
    dBodyID frame = b->bodies[body_frame], wheel = b->bodies[body_front_wheel];
    if (!frame || !wheel || !std::isfinite(torque))
        return;
    vec3 t = vec3_scale(body_vector_to_world(frame, steering_axis(b)), torque);
    body_add_torque(wheel, t);
    body_add_torque(frame, vec3_scale(t, -1.0f));
}

// The arcade controller: the bars follow the direction of travel plus the
// input, a motor levels the bike toward a lean set by the input, and a
// drag point far behind keeps it pointing where it goes.
static void arcade_control(bike* b)
{
    b->lean_indicator = 0.0f;
    dBodyID frame = b->bodies[body_frame];
    if (!frame)
        return;
    float theta = hinge_angle(b->joints[joint_steering]);
    float rate = hinge_rate(b->joints[joint_steering]);
    float target = front_slip_angle(b) - 0.5f * b->steer;
    float e = shrink(clampf(target - theta, -0.25f, 0.25f), arcade_dead_band);
    float g = shrink(e * 8.0f - rate, arcade_rate_band);
    apply_steering_torque(b, clampf(g * 0.5f, -2.0f / 3, 2.0f / 3) * b->steering_strength);

    float y = clampf((b->roll_damping - 40.0f) * 0.025f, 0.0f, 1.0f);
    float lean = frame_lean_angle(b);
    float lean_target = -b->steer * pi / 4;
    float miss = std::fabs(lean - lean_target);
    float level = (1.5f - 0.5f * y) * (miss < 1.0f / 16 ? miss : 1.0f / 16) * 16.0f;
    // Turning about the forward axis (-z) by a positive rate lowers the
    // lean, so the rate is positive while the lean is above its target.
    // (Negating it below the target instead would roll the bike away from
    // the target until it lies upside down.)
    if (lean < lean_target)
        level = -level;
    frame_motor(b, body_vector_to_world(frame, {0, 0, -1}), level, arcade_level_torque);

    vec3 tail = body_local_to_world(frame, {0, 0, tail_drag_distance});
    body_add_force_at(frame, vec3_scale(body_point_velocity(frame, tail), tail_drag), tail);
}

void steering_control(bike* b)
{
    if (bike_crashed(b))
        return;
    if (b->options & option_arcade) {
        arcade_control(b);
        return;
    }
    steering_output out = steering_controller(b, measure_steering(b));
    apply_steering_torque(b, out.torque);
}

void steering_damping(bike* b)
{
    dBodyID frame = b->bodies[body_frame], wheel = b->bodies[body_front_wheel];
    if (!frame || !wheel)
        return;
    vec3 w = body_angular_velocity(wheel);
    vec3 axle = body_vector_to_world(wheel, {1, 0, 0});
    vec3 t = vec3_scale(vec3_sub(vec3_scale(axle, vec3_dot(w, axle)), w), b->steering_damping);
    body_add_torque(wheel, t);
    body_add_torque(frame, vec3_scale(t, -1.0f));
}

// ---- back-up and automatic dab ----------------------------------------------

static void back_up(bike* b)
{
    dBodyID frame = b->bodies[body_frame];
    float p = backup_pulse(bike_env.tick, bike_env.race_start_tick);
    b->sit_dab = 1.0f;
    vec3 rear = body_vector_to_world(frame, {0, 0, 1});
    velocity_drive(frame, {rear.x * backup_speed * p, 0.0f, rear.z * backup_speed * p}, backup_force);
    frame_motor(b, {0, 1, 0}, -b->steer * p * pi / 2, backup_turn_torque);
}

static void auto_dab(bike* b, float v)
{
    float limit = b->max_dab_speed;
    if (!(v <= limit))
        return;
    float lean = std::fabs(frame_lean_angle(b));
    // Riding on at a lean the bike can hold: nothing to do.
    if (v > walking_speed && lean < pi / 4 * clampf((v - walking_speed) / walking_speed, 0.0f, 1.0f))
        return;
    bool idle = b->throttle == 0.0f || b->clutch == 0.0f;
    if (!(idle || v < slow_speed || lean > pi / 16))
        return;
    if (!bike_crashed(b)) {
        float dab = clampf(1.0f - v / limit, 0.0f, 1.0f);
        if (b->sit_dab < dab)
            b->sit_dab = dab;
    }
    if (v < slow_speed && idle && on_ground(b->front_contact) && on_ground(b->rear_contact)) {
        b->front_brake = 1.0f;
        b->rear_brake = 1.0f;
        velocity_drive(b->bodies[body_frame], {0, 0, 0}, dab_hold_force);
    }
}

void backup_and_auto_dab(bike* b)
{
    if (!b->bodies[body_frame])
        return;
    float v = frame_speed(b);
    if (b->back_up > 0.0f && v < slow_speed && !bike_crashed(b))
        back_up(b);
    else if (b->options & option_auto_dab)
        auto_dab(b, v);
}

// ---- dab and realign ------------------------------------------------------

float dab_torque(const bike* b, float v, float lean, float rate)
{
    float al = std::fabs(lean);
    float side = lean > 0.0f ? 1.0f : (lean < 0.0f ? -1.0f : 0.0f);
    float target = -pi / 8 * side;   // roll back toward upright
    if (al < pi / 16)
        target *= al * 16 / pi;
    float t = 0.0f;
    if (target > 0.0f && target > rate)
        t = -dab_torque_size;
    else if (target < 0.0f && target < rate)
        t = dab_torque_size;
    if (al < pi / 32)
        t *= al * 32 / pi;
    if (b->back_up < back_up_held) {
        // Within the lean the bike can ride at, only steering away from the
        // lean lets the foot push; steering into it cancels the dab.
        float f = clampf((al - 1.25f * lean_range(b, v, 32)) / 0.25f, 0.0f, 1.0f);
        float toward = lean >= 0.0f ? b->steer : -b->steer;
        float s = clampf(2.0f * (toward - 0.5f), 0.0f, 1.0f);
        t *= f + (1.0f - f) * s;
    }
    if (v > slow_speed)
        t *= b->lean_indicator;
    return t;
}

static void add_lift(bike* b, const wheel_contact& wc, dBodyID wheel)
{
    if (on_ground(wc))
        body_add_force(wheel, {0.0f, realign_lift * b->total_mass, 0.0f});
}

// Turns a fallen, stopped bike toward the track.  True when it acted (the
// dab torque is then skipped).  The race layer decides whether the bike
// may: only while it had been ahead of the leader at its last timing point,
// and once refused never again this race.
static bool realign(bike* b, float v, float lean)
{
    float al = std::fabs(lean);
    if (b->knock_timer != 0.0f || !(v < slow_speed) || !(al > pi / 8 && al < 0.35f * pi) || b->realign_refused)
        return false;
    const bike_race_ops* ops = bike_env.race;
    if (!ops || !ops->passed_gate || !ops->last_gate_ticks || !ops->passed_gate(b))
        return false;
    int32_t own = 0, leader = 0;
    if (!ops->last_gate_ticks(b, &own, &leader))
        return false;
    if (!(own < leader)) {
        b->realign_refused = true;
        return false;
    }
    vec3 target;
    if (!(b->options & option_realign) || b->back_up > back_up_held || !ops->realign_target
        || !ops->realign_target(b, &target) || !vec3_finite(target))
        return false;

    dBodyID frame = b->bodies[body_frame];
    vec3 offset = vec3_sub(target, body_position(frame));
    mat3 r = body_rotation(frame);
    vec3 rear = mat3_column(r, 2);
    vec3 x_axis = mat3_column(r, 0);
    vec3 fallback = vec3_normalize_or({x_axis.x, 0.0f, x_axis.z}, {1, 0, 0});
    vec3 side = vec3_normalize_or({rear.z, 0.0f, -rear.x}, fallback);   // right of the heading
    vec3 back = {-side.z, 0.0f, side.x};                                 // rearward, horizontal
    float o = vec3_dot(offset, back);    // < 0: the target lies ahead
    float l = vec3_dot(offset, side);    // > 0: to the right
    float turn = l >= 0.0f ? -realign_speed : realign_speed;   // about world y, + turns left
    float full = realign_torque * b->total_mass;
    if (o >= 0.0f || -0.25f * o <= std::fabs(l)) {
        frame_motor(b, {0, 1, 0}, turn, full);
        add_lift(b, b->front_contact, b->bodies[body_front_wheel]);
        add_lift(b, b->rear_contact, b->bodies[body_rear_wheel]);
    } else {
        // Nearly facing it: ease off as the target comes dead ahead.
        frame_motor(b, {0, 1, 0}, turn, std::fabs(l / (0.25f * o)) * full);
    }
    return true;
}

void rider_body_forces(bike* b)
{
    if (bike_crashed(b)) {
        b->dab_extension = clampf(b->dab_extension + 8 * step_h, 0.0f, 1.0f);
        return;
    }
    dBodyID frame = b->bodies[body_frame];
    if (!(b->sit_dab > 0.0f) || !frame)
        return;
    bool front = on_ground(b->front_contact), rear = on_ground(b->rear_contact);
    if (!front) {
        dBodyID rider = b->bodies[body_rider];
        if (!rider || !sphere_touches_ground(body_position(rider), b->model.rider_position.y + 1.0f))
            return;
    }
    float v = frame_speed(b);
    float lean = frame_lean_angle(b);
    if (!(v <= b->max_dab_speed))
        return;
    if (v > walking_speed && !(front && rear && std::fabs(lean) >= 3 * pi / 16))
        return;
    b->dab_extension = clampf(b->dab_extension + 8 * step_h, 0.0f, 1.0f);
    if ((b->options & option_arcade) || b->knock_timer > 0.0f)
        return;
    if (realign(b, v, lean))
        return;

    float t = dab_torque(b, v, lean, roll_rate(b));
    if (t == 0.0f || !std::isfinite(t))
        return;
    vec3 point = body_local_to_world(frame, {0, dab_point_height, 0});
    if (mat3_column(body_rotation(frame), 1).y >= upright_y) {
        body_add_force_at(frame, {0, std::fabs(t) / 8, 0}, point);
        body_add_force_at(frame, body_vector_to_world(frame, {t, 0, 0}), point);
    } else {
        body_add_force_at(frame, {0, std::fabs(t), 0}, point);
    }
}
