// tick.cpp -- one tick of the whole world (see tick.h).
//
// Offline order: collisions (every bike that is not replayed runs its
// collision pass in slot order, then bike against bike in decreasing speed
// order), dirt spray starting one bike further on each tick, the world
// step, ruts, then slot by slot the robot's inputs, the bike step and gate
// progress; particles, starting-gate bars, the tick counter, demo frames,
// time-trial bookkeeping.  The steps a race server needs (remote riders
// moved from their snapshots, the false-start rule, the results file every
// 512 ticks) belong to the multiplayer client, which lands later; until
// then the tick runs offline.
#include "core/tick.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "base/heap_sort.h"
#include "base/text.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "bike/collision.h"
#include "bike/dirt.h"
#include "bike/physics_world.h"
#include "bike/ruts.h"
#include "bike/shape.h"
#include "core/main_loop.h"
#include "core/race_setup.h"
#include "core/startup_options.h"
#include "data/paths.h"
#include "data/stream.h"
#include "race/rules.h"
#include "race/standings.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

constexpr int demo_copy_block = 1024;        // bytes per piece when the fast lap is replaced

tick_state tick_data = {{}, 0, {}, true};
tick_split* tick_timing = nullptr;

static double now_us()
{
    using namespace std::chrono;
    return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
}

// Adds the time since *mark to *bucket and moves the mark; nothing unless
// timing is on.
static void lap_time_to(double* bucket, double* mark)
{
    if (!tick_timing)
        return;
    double t = now_us();
    *bucket += t - *mark;
    *mark = t;
}

static bool replayed(int slot) { return race.driver_kind[slot] == driver_replayed; }

// ---- step 3: collisions --------------------------------------------------------

struct speed_entry {
    int slot;
    float speed;   // ft/s of the frame body
};

int collision_order(int* slots)
{
    speed_entry list[max_slots];
    int n = 0;
    for (int s = 0; s < max_slots; s++)
        if (race.bikes[s] && !replayed(s))
            list[n++] = {s, vec3_length(body_velocity(race.bikes[s]->bodies[body_frame]))};
    heap_sort_array(list, size_t(n), [](const speed_entry& a, const speed_entry& b) {
        return a.speed > b.speed ? -1 : (a.speed < b.speed ? 1 : 0);
    });
    for (int i = 0; i < n; i++)
        slots[i] = list[i].slot;
    return n;
}

// Reach of one body's geometry from the frame position.
static float part_reach(dBodyID body, const collision_shape* shape, float tyre_reach, vec3 frame)
{
    float extent = std::max(shape ? shape->bounding_radius : 0.0f, tyre_reach);
    if (extent <= 0)
        return 0;
    return vec3_length(vec3_sub(body_position(body), frame)) + extent;
}

float bike_bounding_radius(const bike* b)
{
    vec3 f = body_position(b->bodies[body_frame]);
    const wheel_spec& fw = b->model.front_wheel;
    const wheel_spec& rw = b->model.rear_wheel;
    float r = part_reach(b->bodies[body_frame], b->frame_shape, 0, f);
    r = std::max(r, part_reach(b->bodies[body_front_wheel], b->front_wheel_shape,
                               fw.ring_radius + fw.section_radius, f));
    r = std::max(r, part_reach(b->bodies[body_rear_wheel], b->rear_wheel_shape,
                               rw.ring_radius + rw.section_radius, f));
    r = std::max(r, part_reach(b->bodies[body_fork_upper], b->fork_upper_shape, 0, f));
    r = std::max(r, part_reach(b->bodies[body_fork_lower], b->fork_lower_shape, 0, f));
    r = std::max(r, part_reach(b->bodies[body_swingarm], b->swingarm_shape, 0, f));
    r = std::max(r, part_reach(b->bodies[body_rider], b->rider_shape, 0, f));
    return r;
}

// Every pair i < j of the speed order, the faster first; pairs whose
// bounding spheres are apart can't touch and are skipped.
static void collide_pairs(const int* order, int n)
{
    vec3 centre[max_slots];
    float radius[max_slots];
    for (int i = 0; i < n; i++) {
        const bike* b = race.bikes[order[i]];
        centre[i] = body_position(b->bodies[body_frame]);
        radius[i] = bike_bounding_radius(b) + broad_phase_margin;
    }
    for (int i = 0; i < n; i++) {
        for (int j = i + 1; j < n; j++) {
            if (tick_data.broad_phase) {
                vec3 d = vec3_sub(centre[j], centre[i]);
                float reach = radius[i] + radius[j];
                if (!(vec3_dot(d, d) < reach * reach)) {
                    if (tick_timing)
                        tick_timing->pairs_skipped++;
                    continue;
                }
            }
            if (tick_timing)
                tick_timing->pair_tests++;
            collide_bikes(race.bikes[order[i]], race.bikes[order[j]], false);
        }
    }
}

// ---- step 4: dirt spray --------------------------------------------------------

int dirt_order(int* slots)
{
    int list[max_slots];
    int n = 0;
    for (int s = 0; s < max_slots; s++)
        if (race.bikes[s])
            list[n++] = s;
    if (n == 0)
        return 0;
    int start = static_cast<int>(((static_cast<int64_t>(race.tick) % n) + n) % n);
    for (int k = 0; k < n; k++)
        slots[k] = list[(k + start) % n];
    return n;
}

static void dirt_spray()
{
    int order[max_slots];
    int n = dirt_order(order);
    for (int k = 0; k < n; k++)
        emit_dirt(race.bikes[order[k]], replayed(order[k]), terrain, opts.roost_frequency, race.tick);
}

// ---- step 11: starting-gate bars ------------------------------------------------

void gate_bars_reset()
{
    int n = std::min(timing_gates.start_count, max_gate_bars);
    for (int i = 0; i < n; i++)
        tick_data.gate_bars[i] = {timing_gates.starts[i].statue, 1.0f};
    tick_data.gate_bar_count = n;
}

static mat3 mat3_mul(const mat3& a, const mat3& b)
{
    mat3 r;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

// The bar's turn about its hinge (the model's x axis) by phi.  The bar
// runs back from the hinge along +z toward the rider, so its free edge
// rises when +z turns up: v -> (x, y cos phi + z sin phi, -y sin phi +
// z cos phi).  Orientations
// here map model axes to world axes (columns), so the lift is applied on
// the model side: orientation = B * lift.  (Written with rows as axes, as
// some tools do, the same matrix is M * B with M = transpose(lift).)
static mat3 bar_lift(float phi)
{
    float c = std::cos(phi), s = std::sin(phi);
    return {{{1, 0, 0}, {0, c, s}, {0, -s, c}}};
}

void gate_bars_step()
{
    int32_t s = race.race_start_tick;
    if (!(race.tick * tick_period <= s * tick_period + gate_bar_active_seconds))
        return;
    for (int i = 0; i < tick_data.gate_bar_count; i++) {
        gate_bar& bar = tick_data.gate_bars[i];
        if (bar.object < 0 || bar.object >= track.statues.count || !(bar.drop > 0))
            continue;
        statue& st = track.statues.items[bar.object];
        if (race.tick > s && st.last_touched != race.tick)
            bar.drop = std::max(0.0f, bar.drop - gate_bar_drop_rate * static_cast<float>(tick_period));
        st.orientation = mat3_mul(object_orientation(st.position.x, st.position.z, st.angle),
                                  bar_lift(bar.drop * gate_bar_angle_scale));
    }
}

// ---- step 15: time trial ---------------------------------------------------------

// Ticks of the lap between passages first - 1 and first + normal - 1, or
// 0 when one of them (or any in between) is missing.
static int trial_lap_ticks(const bike* b)
{
    int first = timing_gates.first_lap_count, normal = timing_gates.normal_lap_count;
    for (int i = first - 1; i <= first + normal - 1; i++)
        if (passage_tick(b, i) < 0)
            return 0;
    return passage_tick(b, first + normal - 1) - passage_tick(b, first - 1);
}

static void offer_best_lap(int ticks)
{
    if (ticks > 0 && (race.best_lap_ticks == 0 || ticks < race.best_lap_ticks))
        race.best_lap_ticks = ticks;
}

static bool demo_name(char* out, size_t size, const char* file)
{
    return race.current_track && text_copy(out, size, "@") && text_append(out, size, race.current_track) &&
           text_append(out, size, "/") && text_append(out, size, file);
}

// The last lap's demo becomes the fast lap's, byte for byte; skipped when
// either file can't be opened.
static void replace_fast_lap()
{
    char from[path_max], to[path_max];
    if (!demo_name(from, sizeof from, "lastlap.vkdemo") || !demo_name(to, sizeof to, "fastlap.vkdemo"))
        return;
    file_stream* in = stream_open(from, "rb");
    if (!in)
        return;
    file_stream* out = stream_open(to, "wb");
    if (out) {
        char block[demo_copy_block];
        int n;
        while ((n = stream_read(in, block, sizeof block)) > 0)
            if (!stream_write(out, block, n))
                break;
        stream_close(out);
    }
    stream_close(in);
}

static bool fast_lap_exists()
{
    char name[path_max];
    if (!demo_name(name, sizeof name, "fastlap.vkdemo"))
        return false;
    file_stream* f = stream_open(name, "rb");
    if (f)
        stream_close(f);
    return f != nullptr;
}

static void player_lap_done()
{
    const race_services& sv = race_services_now();
    bike* player = race.bikes[0];
    int player_gates = player ? player->next_gate : -1;
    int ghost_gates = race.bikes[1] ? race.bikes[1]->next_gate : -1;
    if (sv.playback_close)
        sv.playback_close();
    if (sv.recording_stop)
        sv.recording_stop();
    for (int s = 1; s < max_slots; s++) {
        if (sv.voice_release)
            sv.voice_release(s);
        free_bike(race.bikes[s]);
        race.bikes[s] = nullptr;
        race.driver_kind[s] = driver_replayed;
    }
    if (!laps_enabled() || !player)
        return;
    int lap = trial_lap_ticks(player);
    race.player_last_lap_ticks = lap;
    offer_best_lap(lap);
    bool ahead = player_gates >= 0 && (ghost_gates < 0 || ghost_gates < player_gates);
    if (!fast_lap_exists() || (ahead && lap > 0))
        replace_fast_lap();
    if (sv.ghost_start)
        sv.ghost_start();
    cut_history(player, timing_gates.first_lap_count - 1);
    gate_progress(0);
    update_standings();
}

static void time_trial_step(int player_laps, int ghost_laps)
{
    bike* ghost = race.bikes[1];
    if (ghost && laps_enabled() && lap_count(ghost) != ghost_laps)
        offer_best_lap(trial_lap_ticks(ghost));
    bike* player = race.bikes[0];
    if (player && lap_count(player) != player_laps)
        player_lap_done();
}

// ---- the tick ---------------------------------------------------------------------

static void per_slot_steps()
{
    const race_services& sv = race_services_now();
    for (int s = 0; s < max_slots; s++) {
        bike* b = race.bikes[s];
        if (!b)
            continue;
        if (race.driver_kind[s] == driver_robot && sv.robot_drive)
            sv.robot_drive(b);
        bike_step(b, !replayed(s));
        gate_progress(s);
    }
}

void simulation_tick()
{
    const race_services& sv = race_services_now();
    double mark = tick_timing ? now_us() : 0;
    bike_env.tick = race.tick;
    bike_env.race_start_tick = race.race_start_tick;
    bike_env.clock = ui_state.game_clock;

    int player_laps = race.bikes[0] ? lap_count(race.bikes[0]) : 0;
    int ghost_laps = race.bikes[1] ? lap_count(race.bikes[1]) : 0;

    int order[max_slots];
    int n = 0;
    for (int s = 0; s < max_slots; s++)
        if (race.bikes[s] && !replayed(s))
            collision_pass(race.bikes[s]);
    if (tick_timing)
        lap_time_to(&tick_timing->contacts, &mark);
    n = collision_order(order);
    collide_pairs(order, n);
    if (tick_timing)
        lap_time_to(&tick_timing->pairs, &mark);

    dirt_spray();
    if (tick_timing)
        lap_time_to(&tick_timing->dirt, &mark);
    physics_world_step();
    if (opts.erode_amount > 0) {
        for (int s = 0; s < max_slots; s++) {
            if (!race.bikes[s] || replayed(s))
                continue;
            record_ruts(race.bikes[s], terrain, opts.erode_amount);
            apply_ruts(race.bikes[s], &terrain, opts.erode_amount);
        }
    }
    if (tick_timing)
        lap_time_to(&tick_timing->world, &mark);

    per_slot_steps();
    if (tick_timing)
        lap_time_to(&tick_timing->bikes, &mark);

    if (sv.particles_step)
        sv.particles_step();
    gate_bars_step();
    race.tick += 1;
    bike_env.tick = race.tick;
    if (sv.record_frame)
        sv.record_frame();
    if (sv.play_frame)
        sv.play_frame();
    if (race.time_trial)
        time_trial_step(player_laps, ghost_laps);
    if (tick_timing)
        lap_time_to(&tick_timing->other, &mark);
}
