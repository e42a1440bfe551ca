// ride.cpp -- a headless riding session (see ride.h).
//
// The tick is the game's simulation tick cut down to one driven bike: the
// bike's inputs for the tick, its terrain pass (tyres and body shapes
// against the ground), its dirt spray, one world step (which empties the
// contact group), then the bike step.  Statues and bike-against-bike
// contacts have no part in it: with no race start the starting-gate bars
// never drop and would hold the bike behind the gate for good.
#include "sim/ride.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/rng.h"
#include "base/xmalloc.h"
#include "bike/collision.h"
#include "bike/dirt.h"
#include "bike/drivetrain.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/setup.h"
#include "bike/shape.h"
#include "data/stream.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"

constexpr float place_first_raise = 0.125f;   // ft above the sampled ground before the first probe
constexpr float place_step = 0.25f;           // ft raised per probe while anything touches
constexpr float place_settle = 0.125f;        // ft lowered once clear
constexpr int place_max_probes = 4096;        // 1024 ft of raising at most
constexpr float grid_row_offset = 0.0625f;    // grid rows behind a gate, in 10 ft rows
constexpr float grid_row_length = 10.0f;
constexpr int ride_roost_density = 250;       // the default "Roost Density"

void ride_options_defaults(ride_options* o)
{
    *o = {};
    o->seconds = ride_default_seconds;
    o->every = ride_default_every;
    o->arcade = -1;
    o->constant.clutch = 1;
}

// ---- the input script ----------------------------------------------------------

bool read_ride_script(const char* path, ride_script_entry** out, int* count, char* err, size_t size)
{
    *out = nullptr;
    *count = 0;
    file_stream* f = stream_open(path, "rb");
    if (!f) {
        snprintf(err, size, "can't open the inputs file '%s'", path);
        return false;
    }
    ride_script_entry* list = nullptr;
    int n = 0, capacity = 0;
    bool ok = true;
    for (;;) {
        stream_skip_comments(f);
        if (stream_peekc(f) < 0)
            break;
        ride_script_entry e = {};
        bike_controls& c = e.controls;
        int got = stream_scanf(f, "%lf %f %f %f %f %d %f %f %f %f", &e.time, &c.steer, &c.throttle,
                               &c.front_brake, &c.rear_brake, &c.shift, &c.clutch, &c.sit_dab, &c.back_up,
                               &c.lean);
        if (got != 10) {
            snprintf(err, size, "inputs file '%s': entry %d needs a time and nine control values", path, n + 1);
            ok = false;
            break;
        }
        if (!std::isfinite(e.time) || e.time < 0 || (n > 0 && e.time < list[n - 1].time)) {
            snprintf(err, size, "inputs file '%s': entry %d has a time before the one above it", path, n + 1);
            ok = false;
            break;
        }
        if (n == ride_max_script_entries) {
            snprintf(err, size, "inputs file '%s': more than %d entries", path, ride_max_script_entries);
            ok = false;
            break;
        }
        if (n == capacity) {
            capacity = capacity ? capacity * 2 : 64;
            list = static_cast<ride_script_entry*>(xrealloc(list, size_t(capacity) * sizeof *list));
        }
        list[n++] = e;
    }
    stream_close(f);
    if (!ok) {
        free(list);
        return false;
    }
    *out = list;
    *count = n;
    return true;
}

// ---- placement -----------------------------------------------------------------------

static void place_at(bike* b, float x, float y, float z, float heading)
{
    reset_bike_pose(b);
    orient_bike(b, 0, 1, 0, heading);
    move_bike(b, x, y, z);
}

// The ground height race setup starts from: the sample at the grid point
// nearest below (x, z), indices truncated and clamped.
static float grid_sample(const height_field& hf, float x, float z)
{
    int col = std::clamp(static_cast<int>(x / hf.spacing), 0, hf.size - 1);
    int row = std::clamp(static_cast<int>(z / hf.spacing), 0, hf.size - 1);
    return terrain_vertex(hf, col, row).y;
}

void place_bike(bike* b, float x, float z, float heading)
{
    const height_field& hf = *bike_env.ground;
    float y = grid_sample(hf, x, z) + place_first_raise;
    place_at(b, x, y, z, heading);
    for (int probe = 0; probe < place_max_probes; probe++) {
        bool touching = terrain_pass(b);   // tyres and body shapes
        physics_contacts_clear();
        if (!touching)
            break;
        y += place_step;
        place_at(b, x, y, z, heading);
    }
    place_at(b, x, y - place_settle, z, heading);
}

static void grid_spot(const ride_options& o, float* x, float* z, float* heading)
{
    if (o.at_given) {
        *x = o.at_x;
        *z = o.at_z;
        *heading = o.heading_given ? o.heading : 0;
        return;
    }
    if (timing_gates.start_count > 0) {
        const starting_gate& g = timing_gates.starts[0];
        float h = g.angle;
        *x = g.position.x + std::sin(h) * grid_row_offset * grid_row_length;
        *z = g.position.z + std::cos(h) * grid_row_offset * grid_row_length;
        *heading = o.heading_given ? o.heading : h;
        return;
    }
    // No starting gates: the middle of the ground, as race setup does.
    *x = *z = terrain.world_size / 2;
    *heading = o.heading_given ? o.heading : 0;
}

// ---- the session ---------------------------------------------------------------------------

bool ride_open(ride_session* s, const ride_options& o, char* err, size_t size)
{
    *s = {};
    s->options = o;
    if (o.inputs && !read_ride_script(o.inputs, &s->script, &s->script_count, err, size))
        return false;
    if (!find_bike_model(translate_legacy_bike_name(o.bike))) {
        snprintf(err, size, "unknown bike '%s'", o.bike);
        ride_close(s);
        return false;
    }
    bike_shapes_install_track_assets();   // statues load their shapes, as in the game
    if (!load_track(o.track, nullptr)) {
        snprintf(err, size, "can't load track '%s'", o.track);
        ride_close(s);
        return false;
    }
    s->track_loaded = true;
    if (!physics_world_create()) {
        snprintf(err, size, "can't start the physics engine");
        ride_close(s);
        return false;
    }
    bike_context_reset();
    rng_seed(0);
    s->b = create_bike(o.bike, 0, "999", nullptr, nullptr, nullptr, nullptr);
    float x, z, heading;
    grid_spot(o, &x, &z, &heading);
    place_bike(s->b, x, z, heading);
    bike_setup setup;
    setup_defaults(&setup);
    setup.auto_shift = o.auto_shift ? setup_yes : setup_no;
    if (o.arcade >= 0)
        setup.arcade = o.arcade ? setup_yes : setup_no;
    setup_refusal_reset();
    apply_setup(s->b, setup);
    physics_contacts_clear();
    return true;
}

static const bike_controls& controls_now(ride_session* s)
{
    if (!s->script)
        return s->options.constant;
    double t = s->tick * tick_period;
    while (s->script_next < s->script_count && s->script[s->script_next].time <= t)
        s->script_next++;
    static const bike_controls idle = {0, 0, 0, 0, 0, 1, 0, 0, 0};
    return s->script_next > 0 ? s->script[s->script_next - 1].controls : idle;
}

void ride_tick(ride_session* s)
{
    bike* b = s->b;
    bike_env.tick = s->tick;
    apply_controls(b, controls_now(s));
    terrain_pass(b);
    emit_dirt(b, false, *bike_env.ground, ride_roost_density, s->tick);
    physics_world_step();
    bike_step(b, true);
    s->tick++;
    bike_env.tick = s->tick;
}

float bike_heading(const bike* b)
{
    vec3 forward = body_vector_to_world(b->bodies[body_frame], {0, 0, -1});
    return std::atan2(-forward.x, -forward.z);
}

float bike_speed(const bike* b) { return vec3_length(body_velocity(b->bodies[body_frame])); }

void ride_report(const ride_session* s, char* out, size_t size)
{
    const bike* b = s->b;
    vec3 p = body_position(b->bodies[body_frame]);
    // Adding 0 turns a negative zero into "0.000" rather than "-0.000".
    snprintf(out, size, "t=%.3f speed=%.3f x=%.3f y=%.3f z=%.3f heading=%.4f lean=%.4f gear=%d rpm=%.0f crashed=%d",
             s->tick * tick_period, bike_speed(b) + 0.0, p.x + 0.0, p.y + 0.0, p.z + 0.0, bike_heading(b) + 0.0,
             frame_lean_angle(b) + 0.0, b->gear + 1, engine_rpm(b) + 0.0, bike_crashed(b) ? 1 : 0);
}

void ride_close(ride_session* s)
{
    free_bike(s->b);
    physics_world_destroy();
    if (s->track_loaded)
        release_track();
    free(s->script);
    *s = {};
}
