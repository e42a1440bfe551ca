// dirt.cpp -- roost and splash particles from the wheels.
//
// Owns: the installed dirt_sink.  Needs: wheel contacts, tiles, the
// program-wide generator, the physics world's body queries.  Promises: the
// draw order documented in dirt.h; no division by a zero speed or a zero
// speed range; nothing is allocated.
//
// A roost kind throws dirt off the tyre while it slips: particles leave
// from contact points rotated up the tread, in the sense the wheel spins,
// with the tyre's own point velocity.  A splash kind throws two sheets
// sideways from the contact, their speed a share of the ground speed.
#include "bike/dirt.h"

#include <cmath>

#include "base/rng.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/wheel_contact.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

static constexpr float splash_share = 0.70710677f;   // of the ground speed, each sheet

static bool discard_particle(vec3, vec3, const roost_type*) { return false; }

static const dirt_sink default_sink = {discard_particle};
static dirt_sink sink = default_sink;

void dirt_sink_install(const dirt_sink* s)
{
    sink = s && s->spawn ? *s : default_sink;
}

static float uniform_centred() { return float(rng_fraction() - 0.5); }

// Three uniform values in -0.5 .. 0.5, drawn x, y, z.
static vec3 random_offset()
{
    float x = uniform_centred();
    float y = uniform_centred();
    float z = uniform_centred();
    return {x, y, z};
}

int dirt_particle_limit(int roost_density)
{
    if (roost_density < 0)
        roost_density = 0;
    if (roost_density > roost_density_max)
        roost_density = roost_density_max;
    uint32_t draw = rng_next();
    return roost_density / 100 + (int(draw % 100) < roost_density % 100 ? 1 : 0);
}

// floor(count) plus one with the chance of its fraction, at most limit.
static int kind_count(float count, int limit)
{
    double extra = rng_fraction();
    if (!(count > 0))
        return 0;
    if (count >= float(limit))
        return limit;
    float whole = std::floor(count);
    int n = int(whole) + (extra < double(count - whole) ? 1 : 0);
    return n < limit ? n : limit;
}

static void splash(const wheel_contact& wc, const roost_type& kind, int count, int32_t tick)
{
    vec3 v = body_velocity(wc.body);
    vec3 vt = vec3_sub(v, vec3_scale(wc.normal, vec3_dot(v, wc.normal)));
    float ground_speed = vec3_length(vt);
    // A still wheel has no ground direction; its sheets have no speed
    // either, so any side will do.
    vec3 side = vec3_cross(wc.normal, vec3_normalize_or(vt, vec3{0, 0, 0}));
    float sheet = ground_speed * splash_share;
    vec3 dirs[2] = {vec3_scale(vec3_add(side, wc.normal), sheet),
                    vec3_scale(vec3_sub(wc.normal, side), sheet)};
    for (int i = 0; i < count; i++) {
        vec3 dir = dirs[((tick ^ i) & 1) ? 1 : 0];
        vec3 start = vec3_add(wc.point, vec3_scale(dir, float(i * tick_period / count)));
        vec3 jitter = random_offset();
        float scale = float(rng_fraction());
        vec3 vel = vec3_scale(vec3_add(dir, vec3_scale(jitter, kind.randomize)), kind.vscale * scale);
        sink.spawn(start, vel, &kind);
    }
}

// Cone angle of a roost: narrow while the tyre moves with its slip (a
// slide), widening as a spinning wheel slows.
static float roost_angle(const wheel_contact& wc, const roost_type& kind, float spread_limit)
{
    vec3 v = body_velocity(wc.body);
    if (vec3_dot(v, wc.slip_velocity) >= 0)
        return straight_spray_angle;
    vec3 w = body_angular_velocity(wc.body);
    float q = vec3_dot(w, w);
    float slow2 = kind.slow_speed * kind.slow_speed, fast2 = kind.fast_speed * kind.fast_speed;
    float t;
    if (fast2 != slow2)
        t = (q - slow2) / (fast2 - slow2);
    else
        t = q >= fast2 ? 1.0f : 0.0f;   // equal speeds: a step, not 0/0
    if (!(t > 0))
        t = 0;
    if (t > 1)
        t = 1;
    float angle = kind.slow_angle + (kind.fast_angle - kind.slow_angle) * t;
    return angle < spread_limit ? angle : spread_limit;
}

// v turned by angle about the unit axis k (right-handed).
static vec3 rotate_about(vec3 v, vec3 k, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    vec3 r = vec3_scale(v, c);
    r = vec3_add(r, vec3_scale(vec3_cross(k, v), s));
    return vec3_add(r, vec3_scale(k, vec3_dot(k, v) * (1 - c)));
}

static void roost(const wheel_contact& wc, const roost_type& kind, int count, float spread_limit)
{
    float threshold = kind.slip_threshold;
    if (!(vec3_dot(wc.slip_velocity, wc.slip_velocity) >= threshold * threshold))
        return;
    float angle = roost_angle(wc, kind, spread_limit);
    vec3 centre = body_position(wc.body);
    vec3 axle = vec3_normalize_or(body_vector_to_world(wc.body, wc.axle_local), vec3{1, 0, 0});
    // Dirt leaves with the tread: turn up the tyre in the sense it spins.
    if (vec3_dot(body_angular_velocity(wc.body), axle) < 0)
        axle = vec3_scale(axle, -1.0f);
    vec3 offset = vec3_sub(wc.point, centre);
    for (int i = 0; i < count; i++) {
        float turn = float(rng_fraction()) * angle;
        vec3 from = vec3_add(centre, rotate_about(offset, axle, turn));
        vec3 vel = body_point_velocity(wc.body, from);
        vec3 start = vec3_add(from, vec3_scale(vel, float(i * tick_period / count)));
        vec3 jitter = random_offset();
        vel = vec3_scale(vec3_add(vel, vec3_scale(jitter, kind.randomize)), kind.vscale);
        sink.spawn(start, vel, &kind);
    }
}

void emit_wheel_dirt(const height_field& hf, const wheel_contact& wc, float spread_limit, int limit,
                     int32_t tick)
{
    if (!(wc.load > 0) || !wc.body || limit <= 0)
        return;
    const tile& surface = contact_surface(hf, wc.point);
    for (const roost_type& kind : surface.roost) {
        if (kind.mode == roost_off)
            break;
        int count = kind_count(kind.count, limit);
        if (count <= 0)
            continue;
        if (kind.mode == roost_splash)
            splash(wc, kind, count, tick);
        else
            roost(wc, kind, count, spread_limit);
    }
}

// A replayed bike has no collision pass: find its contact again, with the
// cheaper test that only sees faces, crossings and sunk wheels.
static wheel_contact spray_contact(const height_field& hf, const wheel_contact& wc)
{
    wheel_contact copy = wc;
    copy.load = 0;
    if (!copy.body)
        return copy;
    torus_hit hit;
    if (torus_terrain(hf, wheel_torus(copy), search_spray, &hit)) {
        copy.point = hit.point;
        copy.normal = hit.normal;
        copy.load = hit.depth;
        copy.slip_velocity = body_point_velocity(copy.body, hit.point);
    }
    return copy;
}

void emit_dirt(const bike* b, bool replayed, const height_field& hf, int roost_density, int32_t tick)
{
    int limit = dirt_particle_limit(roost_density);
    if (limit <= 0)
        return;
    const wheel_contact* wheels[2] = {&b->front_contact, &b->rear_contact};
    const float spread[2] = {front_spray_limit, rear_spray_limit};
    for (int w = 0; w < 2; w++) {
        if (replayed) {
            wheel_contact wc = spray_contact(hf, *wheels[w]);
            emit_wheel_dirt(hf, wc, spread[w], limit, tick);
        } else {
            emit_wheel_dirt(hf, *wheels[w], spread[w], limit, tick);
        }
    }
}
