// bike_bench.cpp -- cost of simulating bikes, per bike and tick.
//
// Rides 1, 10 and 40 bikes apart from each other (no bike touches
// another) at part throttle with automatic shifting, on a generated flat
// field in a scratch root and on the generated "rabbithill", and reports
// microseconds per bike-tick for the three parts of the tick: contact
// generation (both tyres against the ground), the world step, and the
// bike step.  Needs the generated game data (VK_HOME, else the build's
// game directory).  Not run by ctest.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/rng.h"
#include "bike/bike.h"
#include "bike/dirt.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/setup.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/window.h"
#include "sim/flat_track.h"
#include "sim/ride.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"

constexpr int warm_ticks = 128;      // settling before the clock runs
constexpr int timed_ticks = 640;     // 5 s of riding
constexpr float lane_spacing = 30;   // ft between bikes on the flat field

using bench_clock = std::chrono::steady_clock;

struct phase_times {
    double contacts, world, step;   // seconds in total
};

static double seconds_since(bench_clock::time_point t0)
{
    return std::chrono::duration<double>(bench_clock::now() - t0).count();
}

static void tick_all(std::vector<bike*>& bikes, int32_t tick, phase_times* t)
{
    bike_env.tick = tick;
    auto t0 = bench_clock::now();
    for (bike* b : bikes)
        bike_wheel_contacts(b, terrain);
    for (bike* b : bikes)
        emit_dirt(b, false, terrain, 250, tick);
    double contacts = seconds_since(t0);
    t0 = bench_clock::now();
    physics_world_step();
    double world = seconds_since(t0);
    t0 = bench_clock::now();
    for (bike* b : bikes)
        bike_step(b, true);
    double step = seconds_since(t0);
    if (t) {
        t->contacts += contacts;
        t->world += world;
        t->step += step;
    }
}

// Grid spot k: behind the starting gates as race setup lines riders up, or
// side by side across the middle of a field without gates.
static void spot(int k, float* x, float* z, float* heading)
{
    int gates = timing_gates.start_count;
    if (gates > 0) {
        const starting_gate& g = timing_gates.starts[k % gates];
        float row = float(k / gates) + 0.0625f;
        *heading = g.angle;
        *x = g.position.x + std::sin(g.angle) * row * 10;
        *z = g.position.z + std::cos(g.angle) * row * 10;
        return;
    }
    *heading = 0;
    *x = terrain.world_size / 2 + (k - 20) * lane_spacing;
    *z = terrain.world_size * 0.9f;
}

static bool run(const char* track_name, int count)
{
    if (!load_track(track_name, nullptr)) {
        std::fprintf(stderr, "bike_bench: can't load track '%s'\n", track_name);
        return false;
    }
    physics_world_create();
    bike_context_reset();
    rng_seed(0);
    bike_setup setup;
    setup_defaults(&setup);
    std::vector<bike*> bikes;
    for (int k = 0; k < count; k++) {
        bike* b = create_bike(bike_models[k % bike_model_count].name, k, "1", nullptr, nullptr, nullptr, nullptr);
        float x, z, heading;
        spot(k, &x, &z, &heading);
        place_bike(b, x, z, heading);
        apply_setup(b, setup);
        bikes.push_back(b);
    }
    physics_contacts_clear();
    bike_controls c = {0, 0, 0, 0, 0, 1, 0, 0, 0};
    int32_t tick = 0;
    for (; tick < warm_ticks; tick++)
        tick_all(bikes, tick, nullptr);
    c.throttle = 0.5f;
    for (bike* b : bikes)
        apply_controls(b, c);
    phase_times t = {};
    for (int i = 0; i < timed_ticks; i++, tick++)
        tick_all(bikes, tick, &t);
    double per = 1e6 / (double(timed_ticks) * count);
    std::printf("%-12s %5d %12.2f %12.2f %12.2f %12.2f\n", track_name, count, t.contacts * per, t.world * per,
                t.step * per, (t.contacts + t.world + t.step) * per);
    for (bike* b : bikes)
        free_bike(b);
    physics_world_destroy();
    release_track();
    return true;
}

int main()
{
    char scratch[] = "/tmp/bike_bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("bike_bench: mkdtemp");
        return 1;
    }
    std::string home = std::string(scratch) + "/Vortrak";
    setenv("XDG_DATA_HOME", scratch, 1);
    if (!getenv("VK_HOME"))
        setenv("VK_HOME", VK_GAME_DIR, 1);
    setenv("KOBU_LOGFILE", (std::string(scratch) + "/log.txt").c_str(), 1);
    platform_install(&headless_window_ops);
    if (!write_flat_track(home.c_str(), "flat", 8, 4.0f))
        return 1;
    std::printf("microseconds per bike-tick (%d timed ticks after %d)\n", timed_ticks, warm_ticks);
    std::printf("%-12s %5s %12s %12s %12s %12s\n", "ground", "bikes", "contacts", "world step", "bike step", "total");
    bool ok = true;
    for (const char* track_name : {"flat", "rabbithill"})
        for (int count : {1, 10, 40})
            ok = run(track_name, count) && ok;
    log_printf(nullptr);
    std::string cleanup = std::string("rm -rf '") + scratch + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "bike_bench: couldn't remove %s\n", scratch);
    return ok ? 0 : 1;
}
