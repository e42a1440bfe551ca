// autopilot.cpp -- a plain course follower for the local bike.
//
// A test and teaching aid for vortrak-sim, not the robot riders' driver:
// it waits behind the gate with the brakes on until the start, then
// follows a smooth curve from the checkpoint passed last to the one due
// next (each entered along its facing),
// steers in proportion to the heading error (a positive steer input turns
// the bike to its right, toward decreasing heading), and holds a speed that
// drops with the heading error so corners are taken slowly.  It reads only
// the bike and the timing gates, so it is as deterministic as the bike.
#include <algorithm>
#include <cmath>

#include "bike/physics_world.h"
#include "sim/race.h"
#include "terrain/timing_gates.h"

constexpr float approach_length = 40.0f;     // ft: the aim starts this far before a gate, on its line
constexpr float approach_share = 0.5f;       // of the distance left: the aim slides onto the gate
constexpr int course_samples = 64;           // points tried along the curve between two gates
constexpr float lookahead = 20.0f;           // ft ahead of the nearest curve point
constexpr float tangent_scale = 1.5f;        // gate tangents, in gate distances: the curve keeps wide
constexpr float stuck_speed = 1.0f;          // ft/s: slower than this for stuck_ticks is stuck
constexpr int stuck_ticks = 192;             // 1.5 s
constexpr int back_up_ticks = 384;           // 3 s of walking backwards
constexpr float steer_gain = 1.2f;           // steer per rad of heading error
constexpr float steer_limit = 0.5f;
constexpr float cruise_speed = 32.0f;        // ft/s on a straight
constexpr float corner_slowdown = 24.0f;     // ft/s less at a heading error of 1 rad or more
constexpr float throttle_gain = 0.15f;       // throttle per ft/s below the target
constexpr float throttle_base = 0.3f;
constexpr float brake_margin = 8.0f;         // ft/s over the target before braking
constexpr float brake_level = 0.4f;
constexpr float pi = 3.14159265f;

static float wrap_angle(float a)
{
    while (a > pi)
        a -= 2 * pi;
    while (a < -pi)
        a += 2 * pi;
    return a;
}

static vec3 flat_direction(const checkpoint& g)
{
    return vec3_normalize_or({g.direction.x, 0, g.direction.z}, {0, 0, -1});
}

// Point u (0..1) of the cubic Hermite curve from gate a to gate b, both
// entered along their facing: the curve swings round the outside of a
// corner rather than across its inside.
static vec3 course_point(const checkpoint& a, const checkpoint& b, float u)
{
    vec3 p0 = {a.position.x, 0, a.position.z}, p1 = {b.position.x, 0, b.position.z};
    float length = vec3_length(vec3_sub(p1, p0)) * tangent_scale;
    vec3 t0 = vec3_scale(flat_direction(a), length), t1 = vec3_scale(flat_direction(b), length);
    float u2 = u * u, u3 = u2 * u;
    float h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
    return vec3_add(vec3_add(vec3_scale(p0, h00), vec3_scale(t0, h10)),
                    vec3_add(vec3_scale(p1, h01), vec3_scale(t1, h11)));
}

// Where to ride: before the first gate, onto the line through it along its
// facing (sliding onto the gate while closing in); after that, a point a
// little ahead on the curve from the gate passed last to the one due next.
// False without timed laps.
static bool aim_point(const bike* b, vec3 p, float* x, float* z)
{
    int next = timing_checkpoint_of(b->next_gate);
    if (next < 0)
        return false;
    const checkpoint& g = timing_gates.checkpoints[next];
    int last = b->next_gate > 0 ? timing_checkpoint_of(b->next_gate - 1) : -1;
    if (last < 0 || last == next) {
        vec3 d = flat_direction(g);
        float dx = g.position.x - p.x, dz = g.position.z - p.z;
        float back = std::min(approach_share * std::sqrt(dx * dx + dz * dz), approach_length);
        *x = g.position.x - d.x * back;
        *z = g.position.z - d.z * back;
        return true;
    }
    const checkpoint& a = timing_gates.checkpoints[last];
    int nearest = 0;
    float best = 0;
    vec3 flat = {p.x, 0, p.z};
    for (int i = 0; i <= course_samples; i++) {
        vec3 q = vec3_sub(course_point(a, g, float(i) / course_samples), flat);
        float d2 = vec3_dot(q, q);
        if (i == 0 || d2 < best) {
            best = d2;
            nearest = i;
        }
    }
    float length = vec3_length(vec3_sub(g.position, a.position));
    float ahead = length > 0 ? lookahead / length : 1;
    vec3 aim = course_point(a, g, std::min(float(nearest) / course_samples + ahead, 1.0f));
    if (float(nearest) / course_samples + ahead > 1) {
        vec3 d = flat_direction(g);   // past the curve's end: straight on through the gate
        aim = {g.position.x + d.x * lookahead, 0, g.position.z + d.z * lookahead};
    }
    *x = aim.x;
    *z = aim.z;
    return true;
}

// Wedged against something (a hay bale inside a hairpin): walk the bike
// back for a while with the bars turned, then ride on.
static bool backing_up(autopilot_state* s, float speed, bike_controls* c)
{
    int32_t t = bike_env.tick;
    if (t < s->back_up_until) {
        c->back_up = 1;
        c->steer = steer_limit;
        return true;
    }
    if (speed >= stuck_speed || s->slow_since == 0)
        s->slow_since = t;
    if (t - s->slow_since < stuck_ticks)
        return false;
    s->back_up_until = t + back_up_ticks;
    s->slow_since = 0;
    c->back_up = 1;
    return true;
}

bike_controls autopilot_controls(autopilot_state* state, const bike* b)
{
    bike_controls c = {};
    c.clutch = 1;
    if (bike_env.tick <= bike_env.race_start_tick) {
        // Behind the gate: brakes on, so the bar is free to drop.
        c.front_brake = c.rear_brake = 1;
        return c;
    }
    vec3 p = body_position(b->bodies[body_frame]);
    float tx, tz;
    if (!aim_point(b, p, &tx, &tz))
        return c;
    vec3 forward = body_vector_to_world(b->bodies[body_frame], {0, 0, -1});
    float heading = std::atan2(-forward.x, -forward.z);
    float wanted = std::atan2(-(tx - p.x), -(tz - p.z));
    float error = wrap_angle(wanted - heading);
    c.steer = std::clamp(-steer_gain * error, -steer_limit, steer_limit);

    float speed = vec3_length(body_velocity(b->bodies[body_frame]));
    if (backing_up(state, speed, &c))
        return c;
    float target = cruise_speed - corner_slowdown * std::min(std::fabs(error), 1.0f);
    c.throttle = std::clamp(throttle_gain * (target - speed) + throttle_base, 0.0f, 1.0f);
    if (speed > target + brake_margin) {
        c.throttle = 0;
        c.front_brake = c.rear_brake = brake_level;
    }
    return c;
}
