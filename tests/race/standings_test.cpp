// Standings order, reference times, cutting penalties, laps lost for
// cutting and the decision.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/paths.h"
#include "race_fixture.h"
#include "test_support.h"

namespace {

struct StandingsTest : RaceFixture {};

TEST_F(StandingsTest, MorePassagesThenEarlierLastPassageThenLowerSlot)
{
    set_history(add_bike(5), {100, 200, 300});
    set_history(add_bike(2), {110, 210, 300});
    set_history(add_bike(7), {50, 60, 70, 900});
    set_history(add_bike(0), {100, 150, 250});
    add_bike(9);
    add_bike(1);
    cut_history(add_bike(4), 3);   // three passages, the last one without a tick: counts as 0
    update_standings();
    const std::vector<int> order = {7, 4, 0, 2, 5, 1, 9};
    EXPECT_EQ(standings_slots(), order);
    EXPECT_EQ(race.standings[1].last_tick, 0);
    EXPECT_EQ(race.standings[3].last_tick, 300);
    EXPECT_EQ(standings_position(2), 3);
    EXPECT_EQ(standings_position(3), -1);
    EXPECT_EQ(standings_leader(), race.bikes[7]);
    update_standings();
    EXPECT_EQ(standings_slots(), order);
}

// ---- cutting penalties ---------------------------------------------------------------

struct penalty_case {
    const char* name;
    std::vector<int> cutter;                // slot 0's history
    std::vector<std::vector<int>> others;   // slots 1, 2, ...
    int penalty;
};

TEST_F(StandingsTest, CuttingPenaltyIsReferencePlusOneSecondLessTimeTaken)
{
    // Course: first lap 0 1 2 3, then 4 5 6 3.  1 s = 128 ticks, 60 s = 7680.
    const penalty_case cases[] = {
        {"one skip, one clean rider", {100, -1, 300, 400}, {{100, 200, 350, 450}}, 250 + 128 - 200},
        {"clean riders are averaged", {100, -1, 300, 400}, {{100, 200, 350, 450}, {100, 150, 250, 300}},
         200 + 128 - 200},
        {"an average is truncated", {100, -1, 300, 400}, {{100, 200, 350, 450}, {100, 200, 351, 451}},
         250 + 128 - 200},
        {"no clean time: 60 s", {100, -1, 300, 400}, {{100, -1, 300, 400}}, 7680 + 128 - 200},
        {"taking long enough costs nothing", {100, -1, 800, 900}, {{100, 200, 350, 450}}, 0},
        {"a run of two", {100, -1, -1, 500}, {{100, 200, 300, 400}}, 300 + 128 - 400},
        {"a run from the start counts from race setup", {-1, 200, 300, 400}, {{150, 250, 350, 450}},
         250 + 128 - 200},
        {"later laps: every lap ridden is averaged", {100, 200, 300, 400, 500, -1, 700, 800},
         {{100, 200, 300, 400, 500, 600, 700, 800, 900, 1050, 1200, 1300}}, 250 + 128 - 200},
        {"the cutter's own clean laps count", {100, 200, 300, 400, 500, 600, 700, 800, 900, -1, 1100, 1200},
         {}, 200 + 128 - 200},
        {"two runs add up", {100, -1, 300, 400, 500, -1, 700, 800}, {{100, 200, 300, 400, 500, 600, 700, 800}},
         2 * 128},
        {"no skip, no penalty", {100, 200, 300, 400}, {{100, 200, 300, 400}}, 0},
    };
    for (const penalty_case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        set_history(add_bike(0), c.cutter);
        for (size_t i = 0; i < c.others.size(); i++)
            set_history(add_bike(int(i + 1)), c.others[i]);
        update_standings();
        EXPECT_EQ(cutting_penalty(race.bikes[0]), c.penalty);
        TearDown();
    }
}

TEST_F(StandingsTest, ConnectedTheLocalRidersTimesCountOnlyWhileRacing)
{
    static bool racing;
    race_net_ops net = {};
    net.connected = [] { return true; };
    net.local_racing = [] { return racing; };
    set_history(add_bike(0), {100, -1, 300, 400});
    set_history(add_bike(1), {100, 200, 350, 450});   // 250
    set_history(add_bike(2), {100, 150, 250, 300});   // 150
    race.driver_kind[0] = race.driver_kind[2] = driver_replayed;
    race.driver_kind[1] = driver_local;
    update_standings();
    EXPECT_EQ(cutting_penalty(race.bikes[0]), 200 + 128 - 200);   // offline: everybody
    race_net_install(&net);
    racing = false;
    EXPECT_EQ(cutting_penalty(race.bikes[0]), 150 + 128 - 200);
    racing = true;
    EXPECT_EQ(cutting_penalty(race.bikes[0]), 200 + 128 - 200);
}

// ---- laps lost for cutting -----------------------------------------------------------

struct lost_lap_case {
    int lap_ticks;     // every lap after the first
    int laps;          // laps ridden
    int passages;      // counted in the final results
    int laps_lost;
    int penalty;       // left over, in the total time
};

TEST_F(StandingsTest, PenaltyBeyondTheLastLapCostsLaps)
{
    // Alone on the course and cut in lap 1: 60 s + 1 s - 200 ticks = 7608.
    const lost_lap_case cases[] = {
        {8000, 3, 12, 0, 7608},
        {7608, 3, 12, 0, 7608},                 // a lap as long as the penalty stays
        {4000, 3, 8, 1, 7608 - 4000},
        {2000, 3, 4, 2, 7608 - 2 * 2000},       // never below the first lap
        {1000, 1, 4, 0, 7608},                  // one lap: nothing to take
    };
    for (const lost_lap_case& c : cases) {
        SCOPED_TRACE(c.lap_ticks * 10 + c.laps);
        SetUp();
        std::vector<int> ticks = {100, -1, 300, 400};
        for (int lap = 1; lap < c.laps; lap++)
            for (int q = 1; q <= 4; q++)
                ticks.push_back(400 + (lap - 1) * c.lap_ticks + q * c.lap_ticks / 4);
        set_history(add_bike(0), ticks);
        update_standings();
        build_final_results();
        ASSERT_EQ(race.result_count, 1);
        const result_row& r = race.results[0];
        EXPECT_EQ(r.passages, c.passages);
        EXPECT_EQ(r.laps_lost, c.laps_lost);
        EXPECT_EQ(r.penalty_ticks, c.penalty);
        EXPECT_EQ(r.last_tick, ticks.back() + c.penalty);
        TearDown();
    }
}

TEST_F(StandingsTest, FinalResultsAreResortedWithPenalties)
{
    set_history(add_bike(0), {100, -1, 300, 400});   // first on the road, penalised
    set_history(add_bike(1), {100, 200, 350, 450});
    update_standings();
    EXPECT_EQ(standings_slots(), (std::vector<int>{0, 1}));
    build_final_results();
    EXPECT_EQ(race.results[0].slot, 1);
    EXPECT_EQ(race.results[1].slot, 0);
    EXPECT_EQ(race.results[1].last_tick, 400 + 178);
}

// ---- the decision --------------------------------------------------------------------

struct decision_case {
    const char* name;
    int remote_silence;   // ticks since the remote leader's newest record
    bool local_finished;
    bool local_racing;
    bool decided;
};

TEST_F(StandingsTest, ConnectedSilentRidersPassTheDecision)
{
    static int silence;
    static bool racing;
    race_net_ops net = {};
    net.connected = [] { return true; };
    net.local_racing = [] { return racing; };
    net.own_slot = [] { return 0; };
    net.snapshot_tick = [](int) { return race.tick - silence; };
    const decision_case cases[] = {
        {"a second of silence passes", 128, true, true, true},
        {"less does not", 127, true, true, false},
        {"the racing local rider must finish", 128, false, true, false},
        {"a local rider not racing passes", 128, false, false, true},
    };
    for (const decision_case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        race_net_install(&net);
        silence = c.remote_silence;
        racing = c.local_racing;
        race.laps_setting = race.race_laps = 2;   // nobody has made the last passage
        race.tick = 5000;
        bike* local = add_bike(0);
        race.driver_kind[0] = driver_local;
        set_history(local, {100, 200, 300, 400});
        local->finished = c.local_finished;
        set_history(add_bike(1), {100, 200, 300});   // remote, behind and silent
        race.driver_kind[1] = driver_replayed;
        update_standings();
        EXPECT_EQ(race.results_final, c.decided);
        TearDown();
    }
}

TEST_F(StandingsTest, DecidedWithAnUnfinishedWinnerWritesNoFile)
{
    race_net_ops net = {};
    net.connected = [] { return true; };
    net.local_racing = [] { return true; };
    net.own_slot = [] { return int(no_slot); };
    net.snapshot_tick = [](int) { return 0; };
    race_net_install(&net);
    static int decided;
    decided = 0;
    race_rules_ops ops = {};
    ops.race_decided = [] { decided++; };
    race_rules_install(&ops);
    race.tick = 5000;
    set_history(add_bike(1), {100, 200, 300});
    set_history(add_bike(2), {100, 200});
    race.driver_kind[1] = race.driver_kind[2] = driver_replayed;
    update_standings();
    EXPECT_TRUE(race.results_final);
    EXPECT_EQ(decided, 1);
    EXPECT_EQ(race.result_count, 2);
    EXPECT_FALSE(file_exists(home.path + "/Vortrak/results.txt"));
    update_standings();   // final: nothing more happens
    EXPECT_EQ(decided, 1);
}

TEST_F(StandingsTest, ARaceWithoutRidersIsNeverDecided)
{
    update_standings();
    EXPECT_EQ(race.standing_count, 0);
    EXPECT_FALSE(race.results_final);
}

}  // namespace
