// tick_test.cpp -- the simulation tick's order and its effects: the dirt
// spray's rotating first bike, the collision order by speed (ties as the
// heap sort leaves them), replayed bikes out of the collisions, the tick
// counter, the starting-gate bars, the broad phase leaving every result
// unchanged; and "vortrak-sim race" end to end: a lap of "rabbithill" with
// the autopilot that finishes and writes "results.txt", and the same seed
// giving the same output.
#include "race_fixture.h"

#include <cmath>
#include <cstdio>

#include "base/tick.h"
#include "base/xmalloc.h"
#include "bike/collision.h"
#include "bike/rider_control.h"
#include "race/standings.h"
#include "sim/race.h"
#include "sim/ride.h"
#include "terrain/timing_gates.h"

namespace {

struct Tick : RaceFixture {};

void set_speed(int slot, float v) { body_set_velocity(race.bikes[slot]->bodies[body_frame], {v, 0, 0}); }

TEST_F(Tick, DirtSprayStartsOneBikeFurtherOnEachTick)
{
    setup({lineup_empty, lineup_empty, lineup_robot, lineup_empty, lineup_empty, lineup_robot, lineup_empty,
           lineup_empty, lineup_empty, lineup_robot});
    const int slots[] = {2, 5, 9};
    for (int t = 0; t < 5; t++) {
        int order[max_slots];
        ASSERT_EQ(dirt_order(order), 3);
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(order[k], slots[(k + race.tick) % 3]) << "tick " << race.tick;
        simulation_tick();
    }
}

TEST_F(Tick, BikesCollideFastestFirstAndReplayedBikesNotAtAll)
{
    demo_bikes_left = {{"kx125", "5", nullptr, nullptr, nullptr, nullptr}};
    int lineup[max_slots] = {lineup_robot, lineup_robot, lineup_robot, lineup_robot, lineup_robot, lineup_empty};
    race_setup(lineup, true, false, 0, 3, 0);
    ASSERT_EQ(race.driver_kind[5], driver_replayed);
    const float speeds[] = {5, 20, 5, 10, 20, 50};
    for (int s = 0; s < 6; s++)
        set_speed(s, speeds[s]);
    int order[max_slots];
    ASSERT_EQ(collision_order(order), 5);
    // Equal speeds stay where the heap sort leaves them: part of the game.
    const int want[] = {1, 4, 3, 2, 0};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(order[i], want[i]) << i;
}

TEST_F(Tick, TheCounterAdvancesByOneAndTheBikesSeeIt)
{
    setup({lineup_robot});
    int32_t t0 = race.tick;
    simulation_tick();
    simulation_tick();
    EXPECT_EQ(race.tick, t0 + 2);
    EXPECT_EQ(bike_env.tick, race.tick);
    EXPECT_EQ(bike_env.race_start_tick, race.race_start_tick);
}

TEST_F(Tick, GateBarsDropAfterTheStartUnlessPressed)
{
    setup({lineup_robot});
    ASSERT_GT(tick_data.gate_bar_count, 1);
    const statue& st = track.statues.items[tick_data.gate_bars[0].object];
    race.tick = race.race_start_tick;   // not yet after the start
    gate_bars_step();
    EXPECT_EQ(tick_data.gate_bars[0].drop, 1.0f);
    // Raised: the bar's free edge (2.9 ft behind the hinge in the model,
    // toward the rider) stands about 1.6 ft up.
    vec3 edge = mat3_apply(st.orientation, {0, 0, 2.9f});
    EXPECT_NEAR(edge.y, 2.9f * std::sin(0.5890486f), 0.05f);

    race.tick += 1;
    track.statues.items[tick_data.gate_bars[1].object].last_touched = race.tick;
    gate_bars_step();
    EXPECT_NEAR(tick_data.gate_bars[0].drop, 1 - 8 * tick_period, 1e-6);
    EXPECT_EQ(tick_data.gate_bars[1].drop, 1.0f);   // a bike leans on it
    for (int i = 0; i < 20; i++) {
        race.tick += 1;
        gate_bars_step();
    }
    EXPECT_EQ(tick_data.gate_bars[0].drop, 0.0f);
    edge = mat3_apply(st.orientation, {0, 0, 2.9f});
    EXPECT_NEAR(edge.y, 0, 0.2f);   // down: flat on the ground

    race.tick = race.race_start_tick + 10 * 128 + 1;   // bars stop moving 10 s after the start
    float held = tick_data.gate_bars[1].drop;
    gate_bars_step();
    EXPECT_EQ(tick_data.gate_bars[1].drop, held);
}

TEST_F(Tick, BoundingRadiusHoldsEveryShapeAndBothTyres)
{
    setup({lineup_robot});
    bike* b = race.bikes[0];
    float r = bike_bounding_radius(b);
    vec3 f = frame_of(b);
    collision_shape* shapes[] = {b->frame_shape, b->front_wheel_shape, b->rear_wheel_shape, b->fork_upper_shape,
                                 b->fork_lower_shape, b->swingarm_shape, b->rider_shape};
    dBodyID bodies[] = {b->bodies[body_frame], b->bodies[body_front_wheel], b->bodies[body_rear_wheel],
                        b->bodies[body_fork_upper], b->bodies[body_fork_lower], b->bodies[body_swingarm],
                        b->bodies[body_rider]};
    int spheres = 0;
    for (int i = 0; i < 7; i++) {
        if (!shapes[i])
            continue;
        place_collision_shape(shapes[i], body_position(bodies[i]), body_rotation(bodies[i]));
        for (int k = 0; k < shapes[i]->sphere_count; k++, spheres++) {
            const shape_sphere& s = shapes[i]->spheres[k];
            EXPECT_LE(vec3_length(vec3_sub(s.centre, f)) + s.radius, r + 1e-3f) << i << " " << k;
        }
    }
    EXPECT_GT(spheres, 0);
    vec3 w = body_position(b->bodies[body_front_wheel]);
    EXPECT_LE(vec3_length(vec3_sub(w, f)) + b->model.front_wheel.ring_radius + b->model.front_wheel.section_radius,
              r + 1e-3f);
}

// ---- time trial ------------------------------------------------------------------------

// Fills b's history up to (not including) passage n, passage i at tick
// base + 10 i, except the lap's last passage at base + lap.
void fake_lap(bike* b, int n, int base, int lap)
{
    cut_history(b, n);
    if (b->gate_tick_capacity < n) {
        b->gate_ticks = static_cast<int*>(xrealloc(b->gate_ticks, sizeof(int) * size_t(n)));
        b->gate_tick_capacity = n;
    }
    b->gate_tick_count = n;
    for (int i = 0; i < n; i++)
        b->gate_ticks[i] = base + 10 * i;
    int first = timing_gates.first_lap_count, normal = timing_gates.normal_lap_count;
    if (first + normal <= n) {
        b->gate_ticks[first - 1] = base;
        b->gate_ticks[first + normal - 1] = base + lap;
    }
}

int ghost_starts = 0;
int lap_ticks_to_fake = 0;   // the next demo frame completes a lap of this many ticks; 0 = none
int ghost_passages = -1;     // the ghost in slot 1 has made this many passages when the lap ends

TEST_F(Tick, ATimeTrialLapKeepsTheFastestAndReplacesTheFastLapDemo)
{
    race_services s = recording_services();
    s.ghost_start = [] { ghost_starts++; };
    s.play_frame = [] {   // runs after the tick remembered the lap counts
        if (!lap_ticks_to_fake)
            return;
        if (ghost_passages >= 0) {
            race.bikes[1] = create_bike("kx125", 1, "1", nullptr, nullptr, nullptr, nullptr);
            race.driver_kind[1] = driver_replayed;
            fake_lap(race.bikes[1], ghost_passages, race.tick - 9000, 6000);   // slower: no best
        }
        int first = timing_gates.first_lap_count, normal = timing_gates.normal_lap_count;
        fake_lap(race.bikes[0], first + normal, race.tick - 6000, lap_ticks_to_fake);
        lap_ticks_to_fake = 0;
    };
    race_services_install(&s);
    ghost_starts = 0;
    race_setup(nullptr, false, false, 0, 1000, 0);
    std::string fast = home + "/rabbithill/fastlap.vkdemo", last = home + "/rabbithill/lastlap.vkdemo";
    write_file(last, std::string(3000, 'a'));   // longer than one copy block

    // The first lap always becomes the fast lap.
    lap_ticks_to_fake = 5000;
    ghost_passages = -1;
    simulation_tick();
    EXPECT_EQ(race.player_last_lap_ticks, 5000);
    EXPECT_EQ(race.best_lap_ticks, 5000);
    EXPECT_EQ(read_file(fast), std::string(3000, 'a'));
    EXPECT_EQ(ghost_starts, 1);
    EXPECT_LE(race.bikes[0]->next_gate, timing_gates.first_lap_count);   // back to the flying start

    // A faster lap behind the ghost: best time kept, the fast-lap demo not.
    write_file(last, "b");
    lap_ticks_to_fake = 4000;
    ghost_passages = timing_gates.first_lap_count + timing_gates.normal_lap_count + 3;
    simulation_tick();
    EXPECT_EQ(race.player_last_lap_ticks, 4000);
    EXPECT_EQ(race.best_lap_ticks, 4000);
    EXPECT_EQ(read_file(fast), std::string(3000, 'a'));
    EXPECT_EQ(race.bikes[1], nullptr);   // the ghost's bikes go with the lap

    // A slower lap ahead of the ghost replaces the demo but not the best time.
    lap_ticks_to_fake = 4500;
    ghost_passages = 2;
    simulation_tick();
    EXPECT_EQ(race.player_last_lap_ticks, 4500);
    EXPECT_EQ(race.best_lap_ticks, 4000);
    EXPECT_EQ(read_file(fast), "b");
    EXPECT_EQ(ghost_starts, 3);
}

// A pack of bikes ridden by the autopilot into each other; the frame
// positions after the ride, and whether any two bikes touched.
struct pack_result {
    std::vector<float> coordinates;
    bool touched;
};

pack_result ride_pack(bool broad_phase)
{
    tick_data.broad_phase = broad_phase;
    race.tick = 3;
    int lineup[max_slots] = {};
    for (int i = 0; i < 12; i++)
        lineup[i] = lineup_robot;
    race_setup(lineup, false, false, 0, 3, 0);
    // Three abreast, 3.5 ft apart, rows 6 ft apart, behind the first gate.
    const checkpoint& g = timing_gates.checkpoints[timing_checkpoint_of(2)];
    vec3 d = vec3_normalize_or({g.direction.x, 0, g.direction.z}, {0, 0, -1});
    float heading = std::atan2(-d.x, -d.z);
    autopilot_state pilots[12] = {};
    for (int i = 0; i < 12; i++) {
        float lane = (i % 3 - 1) * 3.5f, back = 40 + (i / 3) * 6.0f;
        place_on_grid(race.bikes[i], g.position.x - d.x * back - d.z * lane, g.position.z - d.z * back + d.x * lane,
                      heading);
        cut_history(race.bikes[i], 2);
    }
    physics_contacts_clear();
    race.race_start_tick = race.tick - 1;
    for (int t = 0; t < 384; t++) {
        for (int i = 0; i < 12; i++) {
            bike_controls c = autopilot_controls(&pilots[i], race.bikes[i]);
            c.steer += (i % 2 ? 0.2f : -0.2f);   // weave into the neighbours
            apply_controls(race.bikes[i], c);
        }
        simulation_tick();
    }
    pack_result r = {{}, false};
    for (int i = 0; i < 12; i++) {
        for (int k = 0; k < bike_body_count; k++) {
            vec3 p = body_position(race.bikes[i]->bodies[k]);
            r.coordinates.insert(r.coordinates.end(), {p.x, p.y, p.z});
        }
        r.touched = r.touched || race.bikes[i]->last_bike_contact_tick >= 0;
    }
    return r;
}

TEST_F(Tick, TheBroadPhaseChangesNoResult)
{
    pack_result with = ride_pack(true);
    pack_result without = ride_pack(false);
    EXPECT_TRUE(with.touched);   // the pack did collide, so the comparison means something
    ASSERT_EQ(with.coordinates.size(), without.coordinates.size());
    for (size_t i = 0; i < with.coordinates.size(); i++)
        ASSERT_EQ(with.coordinates[i], without.coordinates[i]) << i;
}

// ---- vortrak-sim race ------------------------------------------------------------------

std::string run_race(std::vector<std::string> args, int* status)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    *status = sim_race_main(static_cast<int>(argv.size()), argv.data(), out, err);
    std::string text;
    for (FILE* f : {out, err}) {
        std::rewind(f);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

struct SimRace : RaceFixture {
    void SetUp() override
    {
        RaceFixture::SetUp();
        // The command sets up the world itself.
        physics_world_destroy();
        race_services_install(nullptr);
    }
};

TEST_F(SimRace, AnAutopilotLapOfRabbithillFinishesAndWritesTheResults)
{
    int status = -1;
    std::string out = run_race({"--track", "rabbithill", "--autopilot", "--laps", "1", "--max-seconds", "400"},
                               &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Final Results"), std::string::npos) << out;
    std::string results = read_file(home + "/results.txt");
    EXPECT_NE(results.find("Track=rabbithill"), std::string::npos) << results;
    EXPECT_NE(results.find("999"), std::string::npos);
}

TEST_F(SimRace, TheSameSeedGivesTheSameRace)
{
    std::vector<std::string> args = {"--track", "rabbithill", "--lineup", "2,1,2", "--autopilot",
                                     "--max-seconds", "25", "--every", "256", "--seed", "77"};
    int s1 = -1, s2 = -1, s3 = -1;
    std::string a = run_race(args, &s1);
    std::string b = run_race(args, &s2);
    args.back() = "78";
    std::string c = run_race(args, &s3);
    EXPECT_EQ(s1, 0) << a;
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);   // another seed, another start time
}

TEST_F(SimRace, BadArgumentsAreNamed)
{
    struct bad_case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--lineup", "1,9"}, "lineup code 9"},
        {{"--track", "rabbithill", "--lineup", "1,x"}, "not a comma list"},
        {{"--track", "rabbithill", "--laps", "-1"}, "--laps wants"},
        {{"--track", "rabbithill", "--autopilot", "--inputs", "x"}, "exclude each other"},
        {{"--track", "nowhere"}, "no track named nowhere"},
        {{"--laps"}, "needs a value"},
    };
    for (bad_case& c : cases) {
        int status = 0;
        std::string out = run_race(c.args, &status);
        EXPECT_EQ(status, 1) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
}

}  // namespace
