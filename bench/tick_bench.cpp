// tick_bench.cpp -- cost of the whole simulation tick with a pack of bikes.
//
// Sets up a race of 10, 40 and 160 robot bikes on the generated
// "rabbithill" with the game's race setup, moves them into a pack on the
// straight before the second timing gate (five abreast, rows 7 ft apart),
// and rides them with the vortrak-sim autopilot, so the pack jostles and
// the bikes touch.  Reports microseconds per tick for the whole tick and
// its split (collision passes, bike pairs with the broad phase, dirt
// spray, world step and ruts, drivers and bike steps and gates), and how many
// pairs reached the bike-against-bike test.  Needs the generated game data
// (VK_HOME, else the build's game directory).  Not run by ctest.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/shape.h"
#include "core/game.h"
#include "core/race_setup.h"
#include "core/startup_options.h"
#include "core/tick.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/window.h"
#include "race/rules.h"
#include "sim/race.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"
#include "ui/settings.h"

constexpr int warm_ticks = 256;       // the pack gets going
constexpr int timed_ticks = 640;      // 5 s of riding
constexpr int pack_width = 5;         // bikes abreast
constexpr float pack_lane = 5.0f;     // ft between lanes
constexpr float pack_row = 7.0f;      // ft between rows
constexpr int pack_gate = 2;          // passage due next: the gate the pack rides toward
constexpr float pack_distance = 60.0f;   // ft from that gate to the pack's first row

static autopilot_state pilots[max_slots];

// Rows behind the gate, against its facing; every bike aims at the gate.
static void form_pack(int count)
{
    int cp = timing_checkpoint_of(pack_gate);
    const checkpoint& g = timing_gates.checkpoints[cp];
    vec3 d = vec3_normalize_or({g.direction.x, 0, g.direction.z}, {0, 0, -1});
    vec3 side = {-d.z, 0, d.x};
    float heading = std::atan2(-d.x, -d.z);
    for (int i = 0; i < count; i++) {
        bike* b = race.bikes[i];
        float lane = (i % pack_width - (pack_width - 1) * 0.5f) * pack_lane;
        float back = pack_distance + (i / pack_width) * pack_row;
        place_on_grid(b, g.position.x - d.x * back + side.x * lane, g.position.z - d.z * back + side.z * lane,
                      heading);
        unfreeze_bike(b);
        cut_history(b, pack_gate);
        pilots[i] = {};
    }
    physics_contacts_clear();
    race.race_start_tick = race.tick - 1;   // the gate is long gone
}

static void drive_pack(int count)
{
    for (int i = 0; i < count; i++)
        if (race.bikes[i])
            apply_controls(race.bikes[i], autopilot_controls(&pilots[i], race.bikes[i]));
}

static bool run(int count, bool broad_phase)
{
    tick_data.broad_phase = broad_phase;
    int lineup[max_slots] = {};
    for (int i = 0; i < count; i++)
        lineup[i] = lineup_robot;
    race.tick = 0;
    race_setup(lineup, false, false, 0, 10, 0);
    if (!race.current_track) {
        std::fprintf(stderr, "tick_bench: can't set up a race on rabbithill\n");
        return false;
    }
    form_pack(count);
    for (int t = 0; t < warm_ticks; t++) {
        drive_pack(count);
        simulation_tick();
    }
    tick_split split = {};
    tick_timing = &split;
    auto t0 = std::chrono::steady_clock::now();
    for (int t = 0; t < timed_ticks; t++) {
        drive_pack(count);
        simulation_tick();
    }
    double total = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    tick_timing = nullptr;
    double n = timed_ticks;
    std::printf("%5d%c %9.1f %10.1f %10.1f %10.1f %10.1f %10.1f %10.1f %9.1f %9.1f\n", count, broad_phase ? ' ' : '*', total / n,
                split.contacts / n, split.pairs / n, split.dirt / n, split.world / n, split.bikes / n, split.other / n,
                split.pair_tests / n, split.pairs_skipped / n);
    return true;
}

int main()
{
    char scratch[] = "/tmp/tick_bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("tick_bench: mkdtemp");
        return 1;
    }
    setenv("XDG_DATA_HOME", scratch, 1);
    if (!getenv("VK_HOME"))
        setenv("VK_HOME", VK_GAME_DIR, 1);
    setenv("KOBU_LOGFILE", (std::string(scratch) + "/log.txt").c_str(), 1);
    platform_install(&headless_window_ops);
    if (!game_data_check()) {
        std::fprintf(stderr, "tick_bench: can't find game data\n");
        return 1;
    }
    startup_options_defaults(&opts);
    settings_set_defaults(&settings);
    derive_detail_settings(settings, &opts);
    discover_tracks(file_name_list(), &tracks, 0);
    for (int i = 0; i < tracks.count; i++)
        if (!std::strcmp(tracks.dirs[i], "rabbithill"))
            selected_track = i;
    if (selected_track < 0 || !physics_world_create()) {
        std::fprintf(stderr, "tick_bench: no rabbithill or no physics\n");
        return 1;
    }
    bike_shapes_install_track_assets();
    race_setup_init();
    setup_defaults(&player_setup);
    bike_env.race = &rules_bike_race_ops;
    std::printf("microseconds per tick on rabbithill, a pack riding (%d timed ticks after %d)\n", timed_ticks,
                warm_ticks);
    std::printf("%5s %10s %10s %10s %10s %10s %10s %10s %9s %9s\n", "bikes", "tick", "contacts", "bike pairs",
                "dirt", "world step", "bike steps", "other", "pairs/t", "skipped/t");
    bool ok = true;
    for (int count : {10, 40, 160})
        ok = run(count, true) && ok;
    ok = run(160, false) && ok;
    std::printf("* without the broad phase\n");
    tick_data.broad_phase = true;
    race_free_bikes();
    release_track();
    physics_world_destroy();
    log_printf(nullptr);
    std::string cleanup = std::string("rm -rf '") + scratch + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "tick_bench: couldn't remove %s\n", scratch);
    return ok ? 0 : 1;
}
