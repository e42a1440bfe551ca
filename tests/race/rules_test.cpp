// Gate passages, laps, finishing, timed races, history cuts and the
// off-course test.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/tick.h"
#include "bike/physics_world.h"
#include "data/paths.h"
#include "race_fixture.h"
#include "test_support.h"

namespace {

struct RulesTest : RaceFixture {};

// ---- passages ------------------------------------------------------------------------

struct passage_case {
    const char* name;
    std::vector<int> visits;      // checkpoint visited on ticks 100, 200, ...
    std::vector<int> history;     // gate_ticks afterwards
    int next_gate;
};

TEST_F(RulesTest, PassagesFollowTheSequence)
{
    // Course: first lap 0 1 2 3, later laps 4 5 6 3; passage 3 is a finish line.
    const passage_case cases[] = {
        {"in order, lingering at gates", {0, 0, 1, 2, 2, 3}, {100, 300, 400, 600}, 4},
        {"one gate skipped", {0, 2}, {100, -1, 200}, 3},
        {"two skipped up to the finish", {0, 3}, {100, -1, -1, 200}, 4},
        {"three ahead is out of reach", {0, 4}, {100}, 1},
        {"the finish line can't be skipped", {0, 1, 2, 4, 5, 3, 4}, {100, 200, 300, 600, 700}, 5},
        {"back through a skipped gate, then on again", {0, 2, 3, 1, 2, 3}, {100, 400, 500, 600}, 4},
        {"back without a skip changes nothing", {0, 1, 2, 0, 1}, {100, 200, 300}, 3},
        {"a gap three back opens the gate two back", {0, 2, 3, 2}, {100, -1, 400, 300}, 3},
        {"skips in a later lap", {0, 1, 2, 3, 4, 6, 3}, {100, 200, 300, 400, 500, -1, 600, 700}, 8},
        {"a skip in a later lap is collected going back", {0, 1, 2, 3, 4, 6, 5},
         {100, 200, 300, 400, 500, 700, 600}, 6},
    };
    for (const passage_case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        bike* b = add_bike(0);
        for (size_t v = 0; v < c.visits.size(); v++)
            visit(0, c.visits[v], int(100 * (v + 1)));
        EXPECT_EQ(history(b), c.history);
        EXPECT_EQ(b->next_gate, c.next_gate);
        TearDown();
    }
}

TEST_F(RulesTest, LineStoreHearsEveryTickAndEachPassage)
{
    static std::vector<std::pair<int, bool>> heard;
    heard.clear();
    race_rules_ops ops = {};
    ops.line_progress = [](bike*, int passage, bool expected) { heard.push_back({passage, expected}); };
    race_rules_install(&ops);
    add_bike(0);
    visit(0, 0, 100);           // due
    race.tick = 150;
    gate_progress_at(0, nowhere());
    visit(0, 2, 200);           // one skipped
    visit(0, 1, 300);           // back to collect it
    std::vector<std::pair<int, bool>> expected = {{0, true}, {-1, false}, {2, false}, {1, false}};
    EXPECT_EQ(heard, expected);
}

TEST_F(RulesTest, UncountedEntriesAreGatesAllTheSame)
{
    set_sequence({0, timing_entry_uncounted + 1, 2}, {timing_entry_uncounted + 4, 5, 2});
    bike* b = add_bike(0);
    ride(0, 6, 100);
    EXPECT_EQ(history(b), (std::vector<int>{100, 200, 300, 400, 500, 600}));
    EXPECT_EQ(lap_count(b), 2);
}

TEST_F(RulesTest, WithoutUsableGatesNothingIsEverPassed)
{
    set_sequence({timing_entry_uncounted, timing_entry_uncounted + 1}, {0});
    bike* b = add_bike(3);
    add_bike(1);
    visit(3, 0, 100);
    visit(3, 1, 200);
    EXPECT_EQ(b->next_gate, 0);
    EXPECT_EQ(lap_count(b), 0);
    update_standings();
    EXPECT_EQ(standings_slots(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(race.results_final);
}

TEST_F(RulesTest, GateProgressReadsTheFrontWheel)
{
    ASSERT_TRUE(physics_world_create());
    bike* b = create_bike("kx125", 0, "12", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    race.bikes[0] = b;
    const dReal* w = dBodyGetPosition(b->bodies[body_front_wheel]);
    vec3 target = gate_point(0);
    move_bike(b, target.x - float(w[0]), 0.0f, target.z - float(w[2]));
    race.tick = 77;
    gate_progress(0);
    EXPECT_EQ(b->next_gate, 1);
    EXPECT_EQ(passage_tick(b, 0), 77);
    race.bikes[0] = nullptr;
    free_bike(b);   // releases the history too
    physics_world_destroy();
}

// ---- laps ------------------------------------------------------------------------------

TEST_F(RulesTest, LapCountAndPositionFromPassages)
{
    const int laps[] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3};
    const int gates[] = {0, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3, 4, 1};
    bike* b = add_bike(0);
    for (int n = 0; n <= 12; n++) {
        SCOPED_TRACE(n);
        b->next_gate = n;
        EXPECT_EQ(lap_count(b), laps[n]);
        EXPECT_EQ(lap_gate(b), gates[n]);
        EXPECT_EQ(laps_for_passages(n), laps[n]);
    }
    // Uneven parts: a first lap of 2 gates and laps of 3.
    set_sequence({0, 1}, {2, 3, 1});
    const int short_laps[] = {0, 0, 1, 1, 1, 2, 2, 2, 3};
    for (int n = 0; n <= 8; n++) {
        b->next_gate = n;
        EXPECT_EQ(lap_count(b), short_laps[n]) << n;
    }
    EXPECT_TRUE(is_finish_passage(1));
    EXPECT_FALSE(is_finish_passage(3));
    EXPECT_TRUE(is_finish_passage(4));
    EXPECT_EQ(lap_end_passage(3), 7);
}

TEST_F(RulesTest, LapTimesAndBestLap)
{
    race.race_start_tick = 50;
    bike* fast = add_bike(0);
    set_history(fast, {100, 200, 300, 400, 500, 600, 700, 900, 1000, 1100, 1200, 1280});
    EXPECT_EQ(lap_ticks(fast, 1), 350);   // from the start
    EXPECT_EQ(lap_ticks(fast, 2), 500);
    EXPECT_EQ(lap_ticks(fast, 3), 380);
    EXPECT_EQ(lap_ticks(fast, -1), 380);
    EXPECT_EQ(lap_ticks(fast, 4), 0);
    EXPECT_EQ(lap_ticks(fast, 0), 0);
    EXPECT_DOUBLE_EQ(lap_time(fast, 2), 500 * tick_period);
    int lap, ticks;
    EXPECT_TRUE(best_lap(fast, &lap, &ticks));
    EXPECT_EQ(lap, 3);
    EXPECT_EQ(ticks, 380);

    bike* even = add_bike(1);   // equal laps: the earlier one wins
    set_history(even, {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200});
    EXPECT_TRUE(best_lap(even, &lap, &ticks));
    EXPECT_EQ(lap, 2);

    bike* single = add_bike(2);   // lap 1 never counts
    set_history(single, {100, 200, 300, 450, 500});
    EXPECT_FALSE(best_lap(single, &lap, &ticks));
    EXPECT_EQ(lap, 0);
    EXPECT_EQ(ticks, 0);

    // Gap at the last lap both completed: lap 3 (1280 against 1200), lap 1
    // for the single-lap rider (450 against 400).
    EXPECT_DOUBLE_EQ(lap_gap(fast, even), 80 * tick_period);
    EXPECT_DOUBLE_EQ(lap_gap(single, fast), 50 * tick_period);
    bike* none = add_bike(3);
    EXPECT_DOUBLE_EQ(lap_gap(none, fast), 0.0);
}

// ---- finishing -------------------------------------------------------------------------

struct RulesFinishTest : RulesTest {
    void SetUp() override
    {
        RulesTest::SetUp();
        race.laps_setting = race.race_laps = 2;
    }
};

TEST_F(RulesFinishTest, LeaderFinishesOnLapsOthersOnTheFlag)
{
    bike* leader = add_bike(0);
    bike* lapped = add_bike(1);
    ride(1, 3, 10, 100);              // lapped rider: passages 0..2
    int t = ride(0, 7, 1000, 100);    // leader: one short of lap 2
    EXPECT_FALSE(leader->finished);
    ride(0, 1, t);
    EXPECT_TRUE(leader->finished);
    EXPECT_FALSE(lapped->finished);
    EXPECT_FALSE(race.results_final);
    ride(1, 1, t + 50);               // ends its lap 1 after the flag
    EXPECT_TRUE(lapped->finished);
    EXPECT_EQ(lap_count(lapped), 1);
    EXPECT_TRUE(race.results_final);
    ASSERT_EQ(race.result_count, 2);
    EXPECT_EQ(race.results[0].slot, 0);
    EXPECT_EQ(race.results[1].slot, 1);
    EXPECT_TRUE(file_exists(home.path + "/Vortrak/results.txt"));

    // A finished rider is left alone.
    visit(0, timing_checkpoint_of(leader->next_gate), t + 500);
    EXPECT_EQ(leader->next_gate, 8);
}

TEST_F(RulesFinishTest, CrossingInTheLeadersTickCountsAsFinished)
{
    // Slot 0 is visited before the leader in slot 1 within the same tick.
    for (int same_tick : {1, 0}) {
        SCOPED_TRACE(same_tick);
        SetUp();
        bike* chaser = add_bike(0);
        bike* leader = add_bike(1);
        set_history(chaser, {110, 210, 310});
        set_history(leader, {100, 200, 300, 400, 500, 600, 700});
        update_standings();
        visit(0, 3, same_tick ? 800 : 799);
        EXPECT_FALSE(chaser->finished);
        visit(1, 3, 800);
        EXPECT_TRUE(leader->finished);
        EXPECT_EQ(chaser->finished, bool(same_tick));
        EXPECT_EQ(race.results_final, bool(same_tick));
        TearDown();
    }
}

// ---- timed races -----------------------------------------------------------------------

struct timed_case {
    int laps_at_time_up;
    int laps_setting;
    int race_laps;
};

TEST_F(RulesTest, TimedRaceFixesItsLapsWhenTimeRunsOut)
{
    const timed_case cases[] = {{5, 2, 8}, {0, 2, 3}, {5, 0, 6}, {1, 3, 5}};
    const int ten_minutes = int(600 / tick_period);
    for (const timed_case& c : cases) {
        SCOPED_TRACE(c.laps_at_time_up * 10 + c.laps_setting);
        SetUp();
        set_sequence({0, 1}, {0, 1});   // lap k ends at passage 2k - 1
        race.race_duration = ten_minutes;
        race.laps_setting = c.laps_setting;
        race.race_laps = race.halfway_lap = race_laps_unfixed;
        bike* leader = add_bike(0);
        add_bike(1);
        int t = ride(0, 2 * c.laps_at_time_up, 1000, 2000);
        ASSERT_LT(t, ten_minutes);
        race.tick = ten_minutes - 1;
        gate_progress_at(1, nowhere());
        EXPECT_EQ(race.race_laps, race_laps_unfixed);
        race.tick = ten_minutes;
        gate_progress_at(1, nowhere());
        EXPECT_EQ(race.race_laps, c.race_laps);
        // Ride on to one passage short of the last lap: not finished.
        int missing = 2 * c.race_laps - leader->next_gate;
        t = ride(0, missing - 1, ten_minutes + 10);
        EXPECT_EQ(race.race_laps, c.race_laps);
        EXPECT_FALSE(leader->finished);
        ride(0, 1, t);
        EXPECT_TRUE(leader->finished);
        EXPECT_EQ(lap_count(leader), c.race_laps);
        TearDown();
    }
}

TEST_F(RulesTest, TimedRaceFixesTheHalfwayLapAtHalfTime)
{
    set_sequence({0, 1}, {0, 1});
    race.race_duration = 1000;
    race.laps_setting = 2;
    race.race_laps = race.halfway_lap = race_laps_unfixed;
    add_bike(0);
    int t = ride(0, 6, 10, 50);   // three laps by tick 260
    race.tick = 499;
    gate_progress_at(0, nowhere());
    EXPECT_EQ(race.halfway_lap, race_laps_unfixed);
    race.tick = 500;
    gate_progress_at(0, nowhere());
    EXPECT_EQ(race.halfway_lap, 4);
    ride(0, 2, t + 300);
    EXPECT_EQ(race.halfway_lap, 4);
}

TEST_F(RulesTest, LapsOfALeaderThatEndedBeforeTimeAddOneEach)
{
    set_sequence({0, 1}, {0, 1});
    race.race_duration = 10000;
    race.laps_setting = 2;
    race.race_laps = 7;   // fixed as if the leader had 4 laps
    bike* leader = add_bike(0);
    std::vector<int> ticks;
    for (int i = 0; i < 12; i++)
        ticks.push_back(100 + 500 * i);   // six laps, all before time ran out
    set_history(leader, ticks);
    race.tick = 10005;
    update_standings();   // lap 5's end (passage 9) lies within the time
    EXPECT_EQ(race.race_laps, 8);
    update_standings();   // lap 6's end (passage 11) too
    EXPECT_EQ(race.race_laps, 9);
    update_standings();   // lap 7 not ridden yet
    EXPECT_EQ(race.race_laps, 9);
}

// ---- history cuts ----------------------------------------------------------------------

TEST_F(RulesTest, CutHistory)
{
    struct cut_case {
        int n;
        int next_gate;
        int entries;
        bool finished;
    };
    const cut_case cases[] = {{2, 2, 2, false}, {4, 4, 4, true}, {6, 6, 4, true}, {-3, 0, 0, false}};
    static int cuts;
    race_rules_ops ops = {};
    ops.line_cut = [](bike*) { cuts++; };
    for (const cut_case& c : cases) {
        SCOPED_TRACE(c.n);
        bike* b = add_bike(0);
        set_history(b, {100, 200, 300, 400});
        b->finished = true;
        race_rules_install(&ops);
        cuts = 0;
        cut_history(b, c.n);
        EXPECT_EQ(b->next_gate, c.next_gate);
        EXPECT_EQ(b->gate_tick_count, c.entries);
        EXPECT_EQ(b->finished, c.finished);
        EXPECT_EQ(cuts, 1);
        EXPECT_EQ(passage_tick(b, 5), -1);
        TearDown();
        SetUp();
    }
}

TEST_F(RulesTest, TimeTrialCutThenRideOn)
{
    // The player starts before the first finish line with the earlier
    // passages counted as made: the next gate is the finish.
    bike* b = add_bike(0);
    cut_history(b, 3);
    visit(0, 3, 500);
    EXPECT_EQ(history(b), (std::vector<int>{-1, -1, -1, 500}));
    EXPECT_EQ(lap_count(b), 1);
}

// ---- off course ------------------------------------------------------------------------

TEST_F(RulesTest, OffCourseAgainstTheReferenceRider)
{
    struct off_case {
        const char* name;
        std::vector<int> own;
        int tick;
        int g;
        bool off;
    };
    // Reference: 10 s from passage 1 to 2; limit 10 s x 1.5 + 10 s = 25 s = 3200 ticks.
    const off_case cases[] = {
        {"25 s is off", {500, 1000, 4200}, 5000, 2, true},
        {"a tick less is on", {500, 1000, 4199}, 5000, 2, false},
        {"back over skipped gates, on to the next recorded", {500, -1, -1, 3700}, 5000, 2, true},
        {"not there yet: the clock runs", {500, 1000}, 4200, 2, true},
        {"not there yet, in time", {500, 1000}, 4199, 2, false},
        {"nobody made the passage", {500, 1000, 4200}, 5000, 5, false},
        {"passage 0 is never off", {500}, 99999, 0, false},
    };
    for (const off_case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        set_history(add_bike(1), {500, 1000, 2280, 3000, 3500});
        set_history(add_bike(0), c.own);
        update_standings();
        race.tick = c.tick;
        EXPECT_EQ(off_course(race.bikes[0], c.g), c.off);
        TearDown();
    }
}

TEST_F(RulesTest, RaceLengthText)
{
    struct length_case {
        int duration;
        int laps;
        const char* text;
    };
    const length_case cases[] = {
        {int(600 / tick_period), 2, "10 minutes + 2 laps"},
        {int(600 / tick_period), 0, "10 minutes"},
        {0, 5, "5 laps"},
        {int(90 / tick_period), 1, "2 minutes + 1 laps"},   // 1.5 minutes round up
    };
    for (const length_case& c : cases) {
        race.race_duration = c.duration;
        race.laps_setting = c.laps;
        char text[64];
        race_length_text(text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

}  // namespace
