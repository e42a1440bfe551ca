// race_setup_test.cpp -- race setup on the generated tracks: the grid (gates
// in order, rows behind them, headings, bikes raised clear of the ground),
// the lineup codes, the per-race resets and the order of the steps, the
// time-trial reset, and a track that fails to load.
#include "race_fixture.h"

#include <algorithm>
#include <cmath>

#include "bike/collision.h"
#include "core/main_loop.h"
#include "race/roster.h"
#include "sim/ride.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"

namespace {

struct RaceSetup : RaceFixture {};

const char* number_of(int slot) { return race.bikes[slot] ? race.bikes[slot]->assets.number : ""; }
bool rides(int slot, const char* part)
{
    return race.bikes[slot] && std::strstr(race.bikes[slot]->model.name, part) != nullptr;
}

// ---- the grid ------------------------------------------------------------------------

TEST_F(RaceSetup, FortyFiveRidersUseTheFortyGatesInOrderThenARowBehind)
{
    std::vector<int> codes(45, lineup_robot);
    setup(codes);
    ASSERT_EQ(timing_gates.start_count, 40);
    ASSERT_EQ(bike_count(), 45);
    // Every bike stands the same way relative to its grid point, so frame
    // minus gate is one vector for the first row ...
    const starting_gate& g0 = timing_gates.starts[0];
    vec3 offset0 = vec3_sub(frame_of(race.bikes[0]), g0.position);
    for (int k = 0; k < 40; k++) {
        const starting_gate& g = timing_gates.starts[k];
        vec3 off = vec3_sub(frame_of(race.bikes[k]), g.position);
        EXPECT_NEAR(off.x, offset0.x, 1e-3) << k;
        EXPECT_NEAR(off.z, offset0.z, 1e-3) << k;
        EXPECT_NEAR(bike_heading(race.bikes[k]), g.angle, 1e-4) << k;
    }
    // ... and riders 41 to 45 stand 10 ft further back behind gates 1 to 5.
    for (int k = 40; k < 45; k++) {
        const starting_gate& g = timing_gates.starts[k - 40];
        vec3 step = vec3_sub(frame_of(race.bikes[k]), frame_of(race.bikes[k - 40]));
        EXPECT_NEAR(step.x, std::sin(g.angle) * 10, 1e-3) << k;
        EXPECT_NEAR(step.z, std::cos(g.angle) * 10, 1e-3) << k;
        EXPECT_NEAR(bike_heading(race.bikes[k]), g.angle, 1e-4) << k;
    }
}

TEST_F(RaceSetup, PlacementRaisesTheBikeJustClearOfTheGround)
{
    setup({lineup_robot, lineup_robot, lineup_robot});
    for (int k = 0; k < 3; k++) {
        bike* b = race.bikes[k];
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(terrain_pass(b)) << k;
        move_bike(b, 0, -placement_raise, 0);   // one step lower it touched
        EXPECT_TRUE(terrain_pass(b)) << k;
        physics_contacts_clear();
    }
}

TEST_F(RaceSetup, WithoutStartingGatesRidersStandFiveFeetApartAcrossTheMiddle)
{
    choose("flat");
    setup({lineup_robot, lineup_human, lineup_robot});
    ASSERT_EQ(timing_gates.start_count, 0);
    ASSERT_EQ(bike_count(), 3);
    vec3 first = frame_of(race.bikes[0]);
    EXPECT_NEAR(first.z - terrain.world_size / 2, frame_of(race.bikes[2]).z - terrain.world_size / 2, 1e-3);
    for (int k = 0; k < 3; k++) {
        vec3 p = frame_of(race.bikes[k]);
        EXPECT_NEAR(p.x - first.x, 5.0f * k, 1e-3) << k;
        EXPECT_NEAR(bike_heading(race.bikes[k]), 0, 1e-5) << k;
    }
    float x, z, h;
    grid_position(2, &x, &z, &h);
    EXPECT_FLOAT_EQ(x, terrain.world_size / 2 + 10);
    EXPECT_FLOAT_EQ(z, terrain.world_size / 2);
}

// ---- lineup codes ------------------------------------------------------------------

TEST_F(RaceSetup, AnAllEmptyLineupGetsOneRobotInSlotZero)
{
    race.viewed_slot = 7;
    setup({});
    EXPECT_EQ(race.lineup[0], lineup_robot);
    EXPECT_EQ(bike_count(), 1);
    EXPECT_EQ(race.driver_kind[0], driver_robot);
    EXPECT_EQ(race.viewed_slot, 0);   // slot 7 has no bike: the first standings row
}

TEST_F(RaceSetup, OnlyTheFirstHumanIsTheLocalRider)
{
    setup({lineup_robot, lineup_empty, lineup_human, lineup_robot, lineup_human});
    EXPECT_EQ(race.viewed_slot, 2);
    EXPECT_EQ(race.driver_kind[2], driver_local);
    EXPECT_EQ(race.lineup[4], lineup_empty);
    EXPECT_EQ(race.bikes[4], nullptr);
    EXPECT_EQ(race.driver_kind[4], driver_replayed);
    EXPECT_STREQ(number_of(2), player_setup.number);
    vec3 p = frame_of(race.bikes[2]);
    EXPECT_FLOAT_EQ(race.start_position[0], p.x);
    EXPECT_FLOAT_EQ(race.start_position[2], p.z);
}

TEST_F(RaceSetup, StrokeCodesPickMatchingRobotsUntilNoneIsLeft)
{
    std::vector<int> codes(21, lineup_robot_125);   // only 20 robots ride a 125
    codes.push_back(lineup_robot_250);
    setup(codes);
    for (int k = 0; k < 20; k++)
        EXPECT_TRUE(rides(k, "125")) << k;
    EXPECT_FALSE(rides(20, "125"));   // the robot at the cursor, unchanged
    EXPECT_TRUE(rides(21, "250"));
}

TEST_F(RaceSetup, SeriesCodesPickTheRobotByNumberAndAliasTheBike)
{
    setup({lineup_series_robot + 57, lineup_series_robot + 23, lineup_series_robot + 42});
    EXPECT_STREQ(number_of(0), "57");
    EXPECT_STREQ(race.bikes[0]->model.name, "yz250f(2008)");   // "yz250f" through the alias table
    EXPECT_STREQ(number_of(1), "23");
    EXPECT_STREQ(race.bikes[1]->model.name, "kx125");
    EXPECT_STREQ(number_of(2), "42");
    EXPECT_STREQ(race.bikes[2]->model.name, "crf250(2008)");
}

TEST_F(RaceSetup, MoreRobotSlotsThanRobotsUseTheOrderAgain)
{
    std::vector<int> codes(100, lineup_robot);
    setup(codes);
    EXPECT_EQ(bike_count(), 100);
    for (int k = 80; k < 100; k++)
        EXPECT_STREQ(number_of(k), number_of(k - 80)) << k;
}

TEST_F(RaceSetup, DemoBikesFillEmptySlotsFrozenAndOtherCodesGetAPlainBike)
{
    demo_bikes_left = {{"kx250f", "77", nullptr, nullptr, nullptr, nullptr}};
    int lineup[max_slots] = {lineup_empty, lineup_human, lineup_empty, 7};
    race_setup(lineup, true, false, 0, 3, 0);
    ASSERT_NE(race.bikes[0], nullptr);
    EXPECT_EQ(race.driver_kind[0], driver_replayed);
    EXPECT_STREQ(race.bikes[0]->model.name, "kx250f(2008)");
    EXPECT_STREQ(number_of(0), "77");
    EXPECT_FALSE(dBodyIsEnabled(race.bikes[0]->bodies[body_frame]));
    EXPECT_TRUE(dBodyIsEnabled(race.bikes[1]->bodies[body_frame]));
    EXPECT_EQ(race.bikes[2], nullptr);   // the demo had one bike
    ASSERT_NE(race.bikes[3], nullptr);
    EXPECT_STREQ(race.bikes[3]->model.name, "rm125");
}

// ---- the race state and the order of the steps -----------------------------------

TEST_F(RaceSetup, ResetsTheRaceStateAndDrawsTheStartTime)
{
    race.tick = 4242;
    race.results_final = true;
    setup({lineup_human, lineup_robot}, 5);
    EXPECT_EQ(race.tick, 0);
    EXPECT_GE(race.race_start_tick, 1664);
    EXPECT_LE(race.race_start_tick, 1919);
    EXPECT_EQ(race.countdown_ticks, 640);
    EXPECT_EQ(race.laps_setting, 5);
    EXPECT_EQ(race.race_laps, 5);
    EXPECT_EQ(race.halfway_lap, 3);
    EXPECT_FALSE(race.time_trial);
    EXPECT_FALSE(race.results_final);
    EXPECT_EQ(race.standing_count, 2);
    ASSERT_EQ(tick_data.gate_bar_count, 40);
    for (int i = 0; i < 40; i++) {
        EXPECT_EQ(tick_data.gate_bars[i].object, timing_gates.starts[i].statue);
        EXPECT_EQ(tick_data.gate_bars[i].drop, 1.0f);
    }
    // Every robot moves in the shuffle, and it is a permutation.
    std::vector<int> seen(robot_roster_size, 0);
    for (int i = 0; i < robot_roster_size; i++) {
        EXPECT_NE(race.robot_order[i], i);
        seen[race.robot_order[i]]++;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), robot_roster_size);

    setup({lineup_robot}, 2, 10 * 60 * 128);   // a timed race waits for its lap count
    EXPECT_EQ(race.race_duration, 76800);
    EXPECT_EQ(race.race_laps, 1000000);
    EXPECT_EQ(race.halfway_lap, 1000000);
}

TEST_F(RaceSetup, ASecondRaceOnTheSameTrackKeepsItAndShufflesAgain)
{
    race.tick = 1;
    setup({lineup_robot});
    std::vector<int> first(race.robot_order, race.robot_order + robot_roster_size);
    int32_t start = race.race_start_tick;
    race.tick = 2;
    setup({lineup_robot, lineup_robot});
    std::vector<int> second(race.robot_order, race.robot_order + robot_roster_size);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::count(service_calls.begin(), service_calls.end(), "track_reload"), 1);
    EXPECT_EQ(bike_count(), 2);

    race.tick = 1;   // the same seed gives the same order and start
    setup({lineup_robot});
    EXPECT_EQ(std::vector<int>(race.robot_order, race.robot_order + robot_roster_size), first);
    EXPECT_EQ(race.race_start_tick, start);
}

TEST_F(RaceSetup, StepsRunInTheirOrder)
{
    setup({lineup_robot});   // a track and line set are loaded from here on
    service_calls.clear();
    opts.practice = 1;
    int lineup[max_slots] = {lineup_human, lineup_robot};
    race_setup(lineup, true, true, 0, 3, 2);
    std::vector<std::string> want = {
        "series_record_event", "lines_save", "lines_free", "playback_close", "recording_stop",
        "playback_close", "playback_open", "lines_load rabbithill 2", "lines_analyse", "robots_reset",
        "personality 1 tester", "recording_start", "lines_stamp -1000000", "message 0 MB texture memory used\n",
        "purge_textures", "purge_models", "record_frame", "play_frame",
    };
    EXPECT_EQ(service_calls, want);
    EXPECT_EQ(race.line_set, 2);
}

// ---- time trial ------------------------------------------------------------------------

TEST_F(RaceSetup, ATimeTrialPutsThePlayerAloneJustBeforeTheFirstFinish)
{
    race_setup(nullptr, false, false, 0, 1000, 0);
    EXPECT_TRUE(race.time_trial);
    EXPECT_EQ(race.tick, 38400);
    EXPECT_LT(race.race_start_tick, race.tick);
    EXPECT_EQ(bike_count(), 1);
    ASSERT_NE(race.bikes[0], nullptr);
    EXPECT_EQ(race.driver_kind[0], driver_local);
    EXPECT_EQ(race.best_lap_ticks, 0);
    int i = std::max(timing_gates.first_lap_count - 2, 0);
    const checkpoint& g = timing_gates.checkpoints[timing_checkpoint_of(i)];
    EXPECT_EQ(race.bikes[0]->next_gate, i);
    float turn = bike_heading(race.bikes[0]) - std::atan2(-g.direction.x, -g.direction.z);
    EXPECT_NEAR(std::remainder(turn, 2 * 3.14159265f), 0, 1e-4);
    vec3 p = frame_of(race.bikes[0]);
    EXPECT_LT(std::hypot(p.x - g.position.x, p.z - g.position.z), 5.0f);   // the frame sits near the spot

    // A later reset throws the ghost out and starts the lap again.
    race.bikes[1] = create_bike("kx125", 1, "1", nullptr, nullptr, nullptr, nullptr);
    race.driver_kind[1] = driver_robot;
    race.player_last_lap_ticks = 99;
    time_trial_reset();
    EXPECT_EQ(race.bikes[1], nullptr);
    EXPECT_EQ(race.driver_kind[1], driver_replayed);
    EXPECT_EQ(race.player_last_lap_ticks, 0);
    EXPECT_EQ(race.bikes[0]->next_gate, i);
}

// ---- failure ------------------------------------------------------------------------------

TEST_F(RaceSetup, ATrackThatFailsToLoadLeavesNoBikesAndNoTrack)
{
    setup({lineup_robot});
    write_file(home + "/broken/terrain.hf", "not a height field");
    file_index_reset();
    discover_tracks(file_name_list(), &tracks, 0);
    choose("broken");
    setup({lineup_robot, lineup_human});
    EXPECT_EQ(race.current_track, nullptr);
    EXPECT_EQ(bike_count(), 0);
    EXPECT_EQ(track.name, nullptr);
}

// ---- start-up -------------------------------------------------------------------------------

TEST(RaceStartup, TheGameRacesARobotBehindTheMenuAndFreesItAllInOrder)
{
    scratch_dir dir;
    set_env("XDG_DATA_HOME", dir.path.c_str());
    set_env("VK_HOME", VK_GAME_DIR);
    set_env("KOBU_LOGFILE", nullptr);
    data_roots_reset();
    file_index_reset();
    log_reset_for_tests();
    headless_settings hs{};
    hs.frame_cost = 0.05;
    hs.close_after_frames = 6;
    headless_configure(hs);
    std::string track_arg = "--track=rabbithill";
    char* argv[] = {const_cast<char*>("vortrak"), track_arg.data(), nullptr};
    EXPECT_EQ(game_main(2, argv, &headless_window_ops), 0);
    EXPECT_GT(race.tick, 0);   // the robot's race ran behind the opening menu
    EXPECT_EQ(race.driver_kind[0], driver_robot);
    std::string log = read_file(dir.path + "/Vortrak/lastlog.txt");
    size_t freed = log.rfind("Finished deallocating bikes");
    size_t track_gone = log.find("Finished deallocating track");
    ASSERT_NE(freed, std::string::npos) << log;
    ASSERT_NE(track_gone, std::string::npos) << log;
    EXPECT_LT(freed, track_gone);
    for (bike* b : race.bikes)
        EXPECT_EQ(b, nullptr);
    EXPECT_EQ(physics.world, nullptr);
    hooks = {};
    track_list_free(&tracks);
    selected_track = -1;
    log_reset_for_tests();
    set_env("VK_HOME", nullptr);
    set_env("XDG_DATA_HOME", nullptr);
    data_roots_reset();
    file_index_reset();
}

}  // namespace
