// ruts.cpp -- the rut ring: recording wheel pushes, turning them into digs.
//
// Owns: the installed dig hook.  Needs: bike.h's ring fields, the wheel
// contacts' joint feedback, the tiles' erosion values, terrain_height.
// Promises: the ring indices stay in 0 .. rut_ring_size - 1; speed and
// force ranges of zero width give a step instead of a division by zero.
#include "bike/ruts.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/wheel_contact.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

static void no_dig(height_field*, float, float, float, float) {}

static const rut_dig_ops default_dig = {no_dig};
static rut_dig_ops dig_ops = default_dig;

void rut_dig_install(const rut_dig_ops* ops)
{
    dig_ops = ops && ops->dig ? *ops : default_dig;
}

static int ring_next(int i) { return (i + 1) % rut_ring_size; }

int rut_pending(const bike* b)
{
    return (b->rut_write - b->rut_read + rut_ring_size) % rut_ring_size;
}

void clear_ruts(bike* b)
{
    b->rut_read = 0;
    b->rut_write = 0;
}

// Where x lies between lo (0) and hi (1), clamped; lo == hi is a step at hi.
static float ramp(float x, float lo, float hi)
{
    float t;
    if (hi != lo)
        t = (x - lo) / (hi - lo);
    else
        t = x >= hi ? 1.0f : 0.0f;
    if (!(t > 0))
        return 0;
    return t < 1 ? t : 1;
}

// Also puts a damaged ring back in order before it is indexed.
static bool enabled(bike* b, float erode_amount)
{
    if (unsigned(b->rut_read) >= unsigned(rut_ring_size) || unsigned(b->rut_write) >= unsigned(rut_ring_size))
        clear_ruts(b);
    return erode_amount > 0 && std::isfinite(erode_amount);
}

static void record_wheel(bike* b, const height_field& hf, const wheel_contact& wc)
{
    if (!(wc.load > 0) || !wc.body || ring_next(b->rut_write) == b->rut_read)
        return;
    const float* erode = contact_surface(hf, wc.point).erode;
    float speed = vec3_length(body_velocity(wc.body));
    float t = ramp(speed, erode[erode_off_speed], erode[erode_on_speed]);
    // The force the contact joint applied to the wheel in the last step.
    float fx = float(wc.feedback.f1[0]) * t, fz = float(wc.feedback.f1[2]) * t;
    float f2 = fx * fx + fz * fz;
    if (!std::isfinite(f2) || !(std::sqrt(f2) > erode[erode_lower]) || !(f2 > rut_min_force2))
        return;
    b->ruts[b->rut_write] = {wc.point.x, wc.point.z, fx, fz};
    b->rut_write = ring_next(b->rut_write);
}

void record_ruts(bike* b, const height_field& hf, float erode_amount)
{
    if (!enabled(b, erode_amount))
        return;
    record_wheel(b, hf, b->front_contact);
    record_wheel(b, hf, b->rear_contact);
}

// Moves dirt from the entry's point against its push, unless the pile
// would stand too steep above the dug point.
static void cut_rut(height_field* hf, const rut_entry& e, float erode_amount)
{
    const float* erode = contact_surface(*hf, vec3{e.x, 0, e.z}).erode;
    float force = std::sqrt(e.force_x * e.force_x + e.force_z * e.force_z);
    if (!(force > 0) || !std::isfinite(force))
        return;
    float shift = ramp(force, erode[erode_lower], erode[erode_upper]) * erode[erode_displacement];
    float tx = e.x - e.force_x / force * shift, tz = e.z - e.force_z / force * shift;
    float rise = terrain_height(*hf, tx, tz) - terrain_height(*hf, e.x, e.z);
    if (rise > shift * erode[erode_max_slope])
        return;
    float amount = erode_amount * rut_amount_scale * erode[erode_depth];
    dig_ops.dig(hf, e.x, e.z, erode[erode_radius], -amount);
    dig_ops.dig(hf, tx, tz, erode[erode_radius], amount);
}

void apply_ruts(bike* b, height_field* hf, float erode_amount)
{
    if (!enabled(b, erode_amount) || !b->bodies[body_frame])
        return;
    vec3 frame = body_position(b->bodies[body_frame]);
    for (int n = 0; n < ruts_per_tick && b->rut_read != b->rut_write; n++) {
        const rut_entry& e = b->ruts[b->rut_read];
        float dx = e.x - frame.x, dz = e.z - frame.z;
        if (dx * dx + dz * dz < rut_clear_distance * rut_clear_distance)
            break;   // still under the bike: ruts appear behind it
        rut_entry taken = e;
        b->rut_read = ring_next(b->rut_read);
        cut_rut(hf, taken, erode_amount);
    }
}
