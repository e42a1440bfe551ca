// race.cpp -- "vortrak-sim race": a whole race, headless.
//
// Runs the game's race setup with the lineup given and then the game's
// simulation tick until the race is decided or the time limit is reached,
// printing a progress line every N ticks and the results table at the end,
// and writing "results.txt" in the home root.  The local rider (lineup code
// 1) follows an inputs script, the autopilot, or sits idle on the grid.
// Every option is checked before anything is loaded.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/tick.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/shape.h"
#include "core/game.h"
#include "core/race_setup.h"
#include "core/startup_options.h"
#include "core/tick.h"
#include "data/file_index.h"
#include "race/results_file.h"
#include "race/rules.h"
#include "race/standings.h"
#include "sim/race.h"
#include "sim/ride.h"
#include "terrain/track.h"
#include "ui/settings.h"

static const char* const race_usage =
    "usage: vortrak-sim race --track NAME [--lineup CODES] [--laps N] [--minutes M] [--seed N]\n"
    "         [--inputs FILE | --autopilot] [--max-seconds S] [--every N]\n"
    "  Sets up a race on the track with the lineup codes for slots 0, 1, ... (comma\n"
    "  separated: 0 empty, 1 the local rider, 2 robot, 3 robot on a 125, 4 robot on a\n"
    "  250, 1000+N the robot numbered N; default \"1\"), and runs it until it is decided\n"
    "  or S simulated seconds have passed (default 600), printing a progress line every\n"
    "  N ticks (default 1280) and the results, which also go to \"results.txt\".  The\n"
    "  seed is the tick counter race setup starts from (default 0).  Robots stand still\n"
    "  until the robot driver is built.\n";

struct race_options {
    const char* track;
    int lineup[max_slots];
    int laps;
    double minutes;
    long seed;
    const char* inputs;        // script file, or null
    bool autopilot;
    double max_seconds;
    int every;
};

static int fail(FILE* err, const char* what, const char* detail)
{
    fprintf(err, "vortrak-sim race: %s%s\n%s", what, detail, race_usage);
    return 1;
}

static bool parse_long(const char* text, long lo, long hi, long* out)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

static bool parse_seconds(const char* text, double hi, double* out)
{
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || v < 0 || v > hi)
        return false;
    *out = v;
    return true;
}

static bool known_code(long code)
{
    return (code >= lineup_empty && code <= lineup_robot_250) ||
           (code >= lineup_series_robot && code < lineup_series_robot + 100);
}

// "1,2,0,3": codes for slots 0, 1, ...; the rest stay empty.
static bool parse_lineup(const char* text, int* lineup, char* why, size_t size)
{
    for (int i = 0; i < max_slots; i++)
        lineup[i] = lineup_empty;
    int n = 0;
    const char* p = text;
    for (;;) {
        char* end = nullptr;
        long code = std::strtol(p, &end, 10);
        if (end == p || (*end && *end != ',')) {
            snprintf(why, size, "'%s' is not a comma list of numbers", text);
            return false;
        }
        if (!known_code(code)) {
            snprintf(why, size, "lineup code %ld is not one of 0..4 or 1000+N", code);
            return false;
        }
        if (n == max_slots) {
            snprintf(why, size, "more than %d lineup codes", max_slots);
            return false;
        }
        lineup[n++] = static_cast<int>(code);
        if (!*end)
            return true;
        p = end + 1;
    }
}

static bool takes_value(const char* a)
{
    static const char* const named[] = {"--track", "--lineup", "--laps", "--minutes", "--seed",
                                        "--inputs", "--max-seconds", "--every"};
    for (const char* n : named)
        if (!std::strcmp(a, n))
            return true;
    return false;
}

static int parse(int argc, char** argv, race_options* o, FILE* err)
{
    *o = {};
    o->lineup[0] = lineup_human;
    o->laps = race_default_laps;
    o->max_seconds = race_default_max_seconds;
    o->every = race_default_every;
    for (int i = 0; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--autopilot")) {
            o->autopilot = true;
            continue;
        }
        if (!takes_value(a))
            return fail(err, "unknown option ", a);
        if (i + 1 >= argc)
            return fail(err, a, " needs a value");
        const char* v = argv[++i];
        long n;
        char why[128];
        if (!std::strcmp(a, "--track")) {
            o->track = v;
        } else if (!std::strcmp(a, "--inputs")) {
            o->inputs = v;
        } else if (!std::strcmp(a, "--lineup")) {
            if (!parse_lineup(v, o->lineup, why, sizeof why))
                return fail(err, "--lineup: ", why);
        } else if (!std::strcmp(a, "--laps")) {
            if (!parse_long(v, 0, 1000, &n))
                return fail(err, "--laps wants a whole number 0..1000, not ", v);
            o->laps = static_cast<int>(n);
        } else if (!std::strcmp(a, "--minutes")) {
            if (!parse_seconds(v, 24 * 60, &o->minutes))
                return fail(err, "--minutes wants 0..1440, not ", v);
        } else if (!std::strcmp(a, "--seed")) {
            if (!parse_long(v, 0, 0x7fffffff, &o->seed))
                return fail(err, "--seed wants a whole number 0..2147483647, not ", v);
        } else if (!std::strcmp(a, "--max-seconds")) {
            if (!parse_seconds(v, ride_max_seconds, &o->max_seconds) || o->max_seconds <= 0)
                return fail(err, "--max-seconds wants a time in seconds above 0, not ", v);
        } else if (!std::strcmp(a, "--every")) {
            if (!parse_long(v, 1, 1 << 30, &n))
                return fail(err, "--every wants a tick count of 1 or more, not ", v);
            o->every = static_cast<int>(n);
        }
    }
    if (!o->track)
        return fail(err, "--track is required", "");
    if (o->inputs && o->autopilot)
        return fail(err, "--inputs and --autopilot exclude each other", "");
    return 0;
}

// ---- the run ------------------------------------------------------------------------

struct race_run {
    const race_options* o;
    ride_script_entry* script;
    int script_count;
    int script_next;
    autopilot_state pilot;
};

static bike_controls scripted(race_run* r)
{
    double t = race.tick * tick_period;
    while (r->script_next < r->script_count && r->script[r->script_next].time <= t)
        r->script_next++;
    bike_controls idle = {0, 0, 0, 0, 0, 1, 0, 0, 0};
    return r->script_next > 0 ? r->script[r->script_next - 1].controls : idle;
}

static void drive_local(race_run* r)
{
    int v = race.viewed_slot;
    if (v < 0 || v >= max_slots || !race.bikes[v] || race.driver_kind[v] != driver_local)
        return;
    bike* b = race.bikes[v];
    if (r->o->autopilot)
        apply_controls(b, autopilot_controls(&r->pilot, b));
    else if (r->script)
        apply_controls(b, scripted(r));
}

static void progress_line(FILE* out)
{
    const bike* leader = standings_leader();
    int v = race.viewed_slot;
    const bike* b = v >= 0 && v < max_slots ? race.bikes[v] : nullptr;
    fprintf(out, "t=%.3f leader=%d laps=%d passages=%d", race.tick * tick_period,
            race.standing_count ? race.standings[0].slot : -1, leader ? lap_count(leader) : 0,
            leader ? leader->next_gate : 0);
    if (b) {
        vec3 p = body_position(b->bodies[body_frame]);
        fprintf(out, " viewed=%d speed=%.3f x=%.3f z=%.3f crashed=%d", v,
                vec3_length(body_velocity(b->bodies[body_frame])) + 0.0, p.x + 0.0, p.z + 0.0,
                bike_crashed(b) ? 1 : 0);
    }
    fputc('\n', out);
}

static void results_table(FILE* out)
{
    fprintf(out, "%s\n", race.results_final ? "Final Results" : "Unofficial Results");
    fprintf(out, "pos slot number bike              laps passages      time\n");
    for (int i = 0; i < race.result_count; i++) {
        const result_row& row = race.results[i];
        const bike* b = race.bikes[row.slot];
        double t = row.passages > 0 ? (row.last_tick - race.race_start_tick) * tick_period : 0.0;
        fprintf(out, "%3d %4d %6s %-17s %4d %8d %9.3f\n", i + 1, row.slot, b ? b->assets.number : "",
                b ? b->model.name : "-", laps_for_passages(row.passages), row.passages, t + 0.0);
    }
}

static int prepare(const race_options& o, FILE* err)
{
    startup_options_defaults(&opts);
    settings_set_defaults(&settings);
    derive_detail_settings(settings, &opts);
    track_list_free(&tracks);
    discover_tracks(file_name_list(), &tracks, 0);
    selected_track = -1;
    for (int i = 0; i < tracks.count; i++)
        if (!std::strcmp(tracks.dirs[i], o.track))
            selected_track = i;
    if (selected_track < 0)
        return fail(err, "no track named ", o.track);
    if (!physics_world_create())
        return fail(err, "can't start the physics engine", "");
    bike_shapes_install_track_assets();
    race_setup_init();
    setup_defaults(&player_setup);
    bike_env.race = &rules_bike_race_ops;
    player_setup.auto_shift = o.autopilot ? setup_yes : player_setup.auto_shift;
    return 0;
}

static void finish(race_run* r)
{
    race_free_bikes();
    if (track.name)
        release_track();
    race.current_track = nullptr;
    physics_world_destroy();
    free(r->script);
    r->script = nullptr;
}

int sim_race_main(int argc, char** argv, FILE* out, FILE* err)
{
    race_options o;
    if (int status = parse(argc, argv, &o, err))
        return status;
    race_run r = {&o, nullptr, 0, 0, {}};
    char why[256];
    if (o.inputs && !read_ride_script(o.inputs, &r.script, &r.script_count, why, sizeof why))
        return fail(err, why, "");
    if (int status = prepare(o, err)) {
        free(r.script);
        return status;
    }
    race.tick = static_cast<int32_t>(o.seed);
    int duration = static_cast<int>(o.minutes * 60 / tick_period);
    race_setup(o.lineup, false, false, duration, o.laps, 0);
    if (!race.current_track) {
        finish(&r);
        return fail(err, "can't load track ", o.track);
    }
    int32_t limit = static_cast<int32_t>(o.max_seconds / tick_period);
    int32_t first = race.tick;
    progress_line(out);
    while (!race.results_final && race.tick - first < limit) {
        drive_local(&r);
        simulation_tick();
        if ((race.tick - first) % o.every == 0)
            progress_line(out);
    }
    if (!race.results_final) {
        build_final_results();
        if (!write_results_file())
            fprintf(err, "vortrak-sim race: results.txt could not be written\n");
    }
    results_table(out);
    finish(&r);
    return 0;
}
