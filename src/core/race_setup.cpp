// race_setup.cpp -- turning a lineup into a race (see race_setup.h).
//
// The steps run in one fixed order because each one depends on what the
// one before left behind: the robot shuffle and the random start time draw
// from the generator seeded with the old tick counter, the bikes are
// placed on the track loaded just before, the first demo frame is written
// after the bikes stand on the grid.
#include "core/race_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/rng.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "bike/collision.h"
#include "bike/physics_world.h"
#include "bike/setup.h"
#include "core/game.h"
#include "core/main_loop.h"
#include "core/startup_options.h"
#include "core/tick.h"
#include "data/paths.h"
#include "platform/log.h"
#include "race/roster.h"
#include "race/rules.h"
#include "race/standings.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"

constexpr int line_set_count = 3;            // novice, amateur, expert
constexpr float free_camera_lift = 5.0f;     // ft above the viewed bike
constexpr int bytes_per_megabyte = 1024 * 1024;
constexpr int software_ground_method = 1;
static const char* const fallback_bike = "rm125";   // for lineup codes no caller makes

bike_setup player_setup;
bool track_reload_requested = false;

static race_services services;

void race_services_install(const race_services* s) { services = s ? *s : race_services{}; }
const race_services& race_services_now() { return services; }

// A service call that does nothing when the service is absent.
template <typename F, typename... A>
static void call(F* f, A... args)
{
    if (f)
        f(args...);
}

void race_message(const char* text)
{
    if (services.console_print)
        services.console_print(text);
    else
        log_printf("%s", text);
}

void race_announce(const char* text)
{
    if (track_assets().announce)
        track_assets().announce(text);
}

void race_setup_init()
{
    race_clear_slots();
    race.current_track = nullptr;
    race.line_set = -1;
    race.tick = 0;
    race.race_start_tick = 0;
    race.countdown_ticks = default_countdown_ticks;
    race.race_laps = race.halfway_lap = race_laps_unfixed;
    for (int i = 0; i < robot_roster_size; i++)
        race.robot_order[i] = i;
}

// ---- step 2: the robot shuffle ----------------------------------------------

void shuffle_robot_order(uint32_t seed)
{
    for (int i = 0; i < robot_roster_size; i++)
        race.robot_order[i] = i;
    rng_seed(seed);
    for (int i = robot_roster_size - 1; i >= 1; i--) {
        int j = static_cast<int>((rng_next() >> 16) % static_cast<uint32_t>(i));
        std::swap(race.robot_order[i], race.robot_order[j]);
    }
}

// ---- step 5 and shutdown: freeing the bikes -------------------------------

static void free_slot(int slot)
{
    call(services.voice_release, slot);
    free_bike(race.bikes[slot]);
    race.bikes[slot] = nullptr;
}

void race_free_bikes()
{
    log_printf("Deallocating bikes\n");
    for (int i = 0; i < max_slots; i++)
        free_slot(i);
    race.standing_count = 0;
    log_printf("Finished deallocating bikes\n");
}

// ---- step 8: the track --------------------------------------------------------

// The track this race is ridden on: the playback demo's, else the track
// menu's choice; null when there is none.
static const char* track_choice(bool playback)
{
    if (playback && services.playback_open && services.playback_open() && services.playback_track) {
        const char* t = services.playback_track();
        if (t && *t)
            return t;
    }
    if (selected_track >= 0 && selected_track < tracks.count)
        return tracks.dirs[selected_track];
    return nullptr;
}

static bool ensure_track(const char* choice)
{
    if (!choice) {
        log_printf("Race setup: no track chosen\n");
        race.current_track = nullptr;
        return false;
    }
    bool same = race.current_track && track.name && std::strcmp(race.current_track, choice) == 0;
    if (same && !track_reload_requested)
        return true;
    track_reload_requested = false;
    if (track.name)
        release_track();
    call(services.render_counters_advance);
    race.current_track = choice;
    // The software ground method and no shader maps until the renderer
    // settles its capabilities and installs its own choice.
    track_load_options o = {tracks.dirs, tracks.count, software_ground_method, false};
    if (!load_track(choice, &o)) {
        log_printf("Race setup: can't load track '%s'\n", choice);
        race.current_track = nullptr;
        return false;
    }
    return true;
}

// ---- step 10: the viewed slot ------------------------------------------------

static void choose_viewed_slot(int* lineup, bool have_demo_bikes)
{
    int first = -1;
    for (int i = 0; i < max_slots && first < 0; i++)
        if (lineup[i] != lineup_empty)
            first = i;
    if (first >= 0)
        race.viewed_slot = first;
    else if (!have_demo_bikes)
        lineup[0] = lineup_robot;   // a race is never empty; the view stays
    else
        race.viewed_slot = 0;
    bool human_seen = false;
    for (int i = 0; i < max_slots; i++) {
        if (lineup[i] != lineup_human)
            continue;
        if (human_seen) {
            lineup[i] = lineup_empty;
            continue;
        }
        human_seen = true;
        race.viewed_slot = i;
    }
}

// ---- step 12: choosing and placing the bikes -------------------------------

// What one slot gets: bike, number, skins, driver, robot.
struct slot_choice {
    const char* bike;
    const char* number;
    const char* skins[4];        // riding gear, helmet, paint, wheels; null = default
    driver_kind_t driver;
    int robot;                   // roster index, -1 for none
};

// "default" (or empty) in the player's setup means the model's own texture.
static const char* setup_skin(const char* name)
{
    return (!name || !*name || !std::strcmp(name, "default")) ? nullptr : name;
}

static bool bike_name_has(int robot, const char* part)
{
    return std::strstr(robot_roster[robot].bike, part) != nullptr;
}

// The robot for the code at the cursor: codes 3, 4 and 1000 + n search the
// order from its last entry down to the one after the cursor and swap the
// first match to the cursor; no match keeps the robot at the cursor.
static int pick_robot(int code, int cursor)
{
    char wanted[16] = "";
    if (code >= lineup_series_robot)
        snprintf(wanted, sizeof wanted, "%d", code - lineup_series_robot);
    if (code == lineup_robot_125 || code == lineup_robot_250 || code >= lineup_series_robot) {
        for (int e = robot_roster_size - 1; e > cursor; e--) {
            int r = race.robot_order[e];
            bool match = code == lineup_robot_125   ? bike_name_has(r, "125")
                         : code == lineup_robot_250 ? bike_name_has(r, "250")
                                                    : !std::strcmp(robot_roster[r].number, wanted);
            if (match) {
                std::swap(race.robot_order[e], race.robot_order[cursor]);
                break;
            }
        }
    }
    return race.robot_order[cursor];
}

// False when the slot stays empty.
static bool choose_slot(int slot, int code, int robot_cursor, slot_choice* c)
{
    *c = {};
    c->robot = -1;
    switch (code) {
    case lineup_empty: {
        demo_bike d = {};
        c->driver = driver_replayed;
        if (!services.playback_next_bike || !services.playback_next_bike(&d) || !d.bike)
            return false;
        *c = {d.bike, d.number ? d.number : "", {d.body_skin, d.head_skin, d.bike_skin, d.wheel_skin},
              driver_replayed, -1};
        return true;
    }
    case lineup_human:
        *c = {player_setup.bike, player_setup.number,
              {setup_skin(player_setup.rider_texture), setup_skin(player_setup.head_texture),
               setup_skin(player_setup.bike_texture), setup_skin(player_setup.wheel_texture)},
              driver_local, -1};
        return true;
    case lineup_remote:
        // The multiplayer client fills remote riders from the server's list.
        c->driver = driver_replayed;
        return false;
    default:
        break;
    }
    if (code == lineup_robot || code == lineup_robot_125 || code == lineup_robot_250 ||
        code >= lineup_series_robot) {
        int r = pick_robot(code, robot_cursor);
        const robot_rider& rr = robot_roster[r];
        *c = {rr.bike, rr.number, {rr.body_skin, rr.head_skin, rr.bike_skin, rr.wheel_skin}, driver_robot, r};
        return true;
    }
    // No caller makes other codes: a plain bike, the driver kept.
    *c = {fallback_bike, "", {nullptr, nullptr, nullptr, nullptr}, race.driver_kind[slot], -1};
    return true;
}

// The ground height placement starts from: the sample at the grid point
// nearest below (x, z), indices truncated and clamped into the grid.
static float grid_sample(float x, float z)
{
    const height_field& hf = terrain;
    if (hf.size < 1 || !(hf.spacing > 0))
        return 0;
    float fc = x / hf.spacing, fr = z / hf.spacing;
    int col = std::isfinite(fc) ? static_cast<int>(std::clamp(fc, 0.0f, float(hf.size - 1))) : 0;
    int row = std::isfinite(fr) ? static_cast<int>(std::clamp(fr, 0.0f, float(hf.size - 1))) : 0;
    return terrain_vertex(hf, col, row).y;
}

void grid_position(int k, float* x, float* z, float* heading)
{
    int gates = timing_gates.start_count;
    if (gates > 0) {
        const starting_gate& g = timing_gates.starts[k % gates];
        float row = static_cast<float>(k / gates) + grid_row_offset;
        *heading = g.angle;
        *x = g.position.x + std::sin(g.angle) * row * grid_row_length;
        *z = g.position.z + std::cos(g.angle) * row * grid_row_length;
        return;
    }
    *heading = 0;
    *x = terrain.world_size / 2 + grid_spacing_no_gates * static_cast<float>(k);
    *z = terrain.world_size / 2;
}

void place_on_grid(bike* b, float x, float z, float heading)
{
    float y = grid_sample(x, z);
    for (int probe = 0;; probe++) {
        reset_bike_pose(b);
        orient_bike(b, 0, 1, 0, heading);
        move_bike(b, x, y, z);
        y += placement_raise;
        if (probe + 1 >= placement_max_probes || !terrain_pass(b))
            break;
    }
}

static void place_slot(int slot, const slot_choice& c)
{
    race.driver_kind[slot] = c.driver;
    bike* b = create_bike(bike_alias(c.bike), slot, c.number, c.skins[0], c.skins[1], c.skins[2], c.skins[3]);
    if (!b) {
        race.driver_kind[slot] = driver_replayed;
        return;
    }
    race.bikes[slot] = b;
    call(services.voice_create, slot);
    float x, z, h;
    grid_position(slot, &x, &z, &h);
    place_on_grid(b, x, z, h);
    if (c.driver == driver_local) {
        vec3 p = body_position(b->bodies[body_frame]);
        race.start_position[0] = p.x;
        race.start_position[1] = p.y;
        race.start_position[2] = p.z;
        race.start_hold_ticks = 0;
    }
    if (c.driver == driver_replayed)
        freeze_bike(b);
    else
        unfreeze_bike(b);
    if (c.driver == driver_robot && c.robot >= 0 && services.robot_personality)
        services.robot_personality(b, opts.practice ? "tester" : robot_roster[c.robot].personality);
}

static void load_bikes()
{
    race_announce("Loading bikes...");
    int cursor = 0;
    for (int slot = 0; slot < max_slots; slot++) {
        slot_choice c;
        // More robot slots than robots: the order is used again from its start.
        bool occupied = choose_slot(slot, race.lineup[slot], cursor % robot_roster_size, &c);
        if (!occupied) {
            race.driver_kind[slot] = c.driver;
            continue;
        }
        place_slot(slot, c);
        if (c.robot >= 0 && race.bikes[slot])
            cursor++;
    }
}

// ---- steps 15 to 19 ----------------------------------------------------------

static void texture_report()
{
    char text[64];
    unsigned long bytes = terrain_textures().memory_used ? terrain_textures().memory_used() : 0;
    snprintf(text, sizeof text, "%lu MB texture memory used\n", bytes / bytes_per_megabyte);
    race_message(text);
    call(services.purge_textures);
    call(services.purge_models);
}

static void fix_race_length()
{
    if (race.race_duration == 0) {
        race.halfway_lap = (race.laps_setting + 1) / 2;
        race.race_laps = race.laps_setting;
    } else {
        race.halfway_lap = race.race_laps = race_laps_unfixed;
    }
    gate_bars_reset();
}

static void finish_setup()
{
    race.results_final = false;
    update_standings();
    int v = race.viewed_slot;
    if ((v < 0 || v >= max_slots || !race.bikes[v]) && race.standing_count > 0)
        race.viewed_slot = v = race.standings[0].slot;
    physics_contacts_clear();
    if (v >= 0 && v < max_slots && race.bikes[v]) {
        bike* b = race.bikes[v];
        if (race.driver_kind[v] == driver_local) {
            bike_env.clock = ui_state.game_clock;
            apply_setup(b, player_setup);
        }
        vec3 p = body_position(b->bodies[body_frame]);
        ui_state.free_camera.position = {p.x, p.y + free_camera_lift, p.z};
    }
}

// ---- race setup ----------------------------------------------------------------

void race_setup(const int* lineup, bool playback, bool record, int duration_ticks, int laps, int skill)
{
    log_printf("%cFLUSH", log_command_char);
    call(services.series_record_event);
    race_announce("Resetting...");
    shuffle_robot_order(static_cast<uint32_t>(race.tick));

    race_announce("Remembering lines...");
    if (race.current_track) {
        if (race.line_set >= 0)
            call(services.lines_save);
        call(services.lines_free);
        call(services.playback_close);
    }
    call(services.recording_stop);
    call(services.playback_close);
    race_announce("Cleaning up...");
    race_free_bikes();

    race.tick = 0;
    race.race_duration = std::max(0, duration_ticks);
    race.laps_setting = laps;
    race.countdown_ticks = default_countdown_ticks;
    double r = rng_fraction();
    race.race_start_tick = static_cast<int32_t>((start_delay_spread * r + start_delay_base) / tick_period);
    race.time_trial = lineup == nullptr;
    bike_env.tick = race.tick;
    bike_env.race_start_tick = race.race_start_tick;

    if (!ensure_track(track_choice(playback))) {
        log_printf("%cNOFLUSH", log_command_char);
        return;
    }

    if (race.time_trial) {
        for (int i = 0; i < max_slots; i++)
            race.lineup[i] = i == 0 ? lineup_human : lineup_empty;
        race.best_lap_ticks = 0;
        race.player_last_lap_ticks = 0;
        race.tick = time_trial_start_tick;
        bike_env.tick = race.tick;
    } else if (lineup != race.lineup) {
        std::memcpy(race.lineup, lineup, sizeof race.lineup);
    }
    bool demo_bikes = services.playback_bike_count && services.playback_bike_count() > 0;
    choose_viewed_slot(race.lineup, demo_bikes);

    race.line_set = std::clamp(skill, 0, line_set_count - 1);
    call(services.lines_load, race.current_track, race.line_set);
    race_announce("Analyzing lines...");
    call(services.lines_analyse);
    call(services.robots_reset);

    load_bikes();
    if (record)
        call(services.recording_start);
    track_objects_reset();
    call(services.lines_stamp, line_stamp_reset);
    texture_report();
    fix_race_length();
    if (race.time_trial)
        time_trial_reset();
    if (record)
        call(services.record_frame);
    if (playback)
        call(services.play_frame);
    finish_setup();
    working_set_setup();
    log_printf("%cNOFLUSH", log_command_char);
}

// ---- the time-trial reset -------------------------------------------------------

void time_trial_reset()
{
    call(services.playback_close);
    call(services.recording_stop);
    for (int i = 1; i < max_slots; i++) {
        free_slot(i);
        race.driver_kind[i] = driver_replayed;
    }
    bike* b = race.bikes[0];
    if (!b || !timing_gates_usable())
        return;
    int first = timing_gates.first_lap_count, normal = timing_gates.normal_lap_count;
    int i = std::max(first - 2, 0);
    if (i >= first)
        i = first + (i - first) % normal;
    int cp = timing_checkpoint_of(i);
    if (cp < 0)
        return;
    const checkpoint& g = timing_gates.checkpoints[cp];
    float heading = std::atan2(-g.direction.x, -g.direction.z);
    place_on_grid(b, g.position.x, g.position.z, heading);
    physics_contacts_clear();
    cut_history(b, i);
    race.player_last_lap_ticks = 0;
    update_standings();
}
