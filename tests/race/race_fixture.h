// race_fixture.h -- a small gate course and bare bike records for the race tests.
//
// Checkpoint k stands at x = 100 (k + 1), z = 0, facing +x with radius 10,
// so a rider at gate_point(k) is past gate k and at no other.  Bikes are
// plain zeroed records (no ODE bodies): the rules only read and write
// their race-progress fields, number and model name.  The home folder is
// a scratch directory, so a decided race writes its results there.
#pragma once

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "bike/bike.h"
#include "data/paths.h"
#include "race/race_state.h"
#include "race/rules.h"
#include "race/standings.h"
#include "terrain/timing_gates.h"
#include "test_support.h"

constexpr int course_checkpoints = 8;

inline vec3 gate_point(int checkpoint) { return {100.0f * (checkpoint + 1) + 1.0f, 0.0f, 0.0f}; }
inline vec3 nowhere() { return {-500.0f, 0.0f, -500.0f}; }

struct RaceFixture : ::testing::Test {
    scratch_dir home;

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", home.path.c_str());
        data_roots_reset();
        timing_gates = {};
        race_clear_slots();
        race.tick = 0;
        race.race_start_tick = 0;
        race.race_duration = 0;
        race.laps_setting = 100;
        race.race_laps = 100;
        race.halfway_lap = 50;
        race.results_final = false;
        race.result_count = 0;
        race.current_track = nullptr;
        race_rules_install(nullptr);
        race_net_install(nullptr);
        for (int k = 0; k < course_checkpoints; k++) {
            checkpoint& c = timing_gates.checkpoints[k];
            c.position = {100.0f * (k + 1), 0.0f, 0.0f};
            c.direction = {1.0f, 0.0f, 0.0f};
            c.radius = 10.0f;
        }
        timing_gates.checkpoint_count = course_checkpoints;
        // Default course: first lap 0 1 2 3, every later lap 4 5 6 3 (3 is
        // the finish line).  Passage 3 ends lap 1, 7 lap 2, 11 lap 3.
        set_sequence({0, 1, 2, 3}, {4, 5, 6, 3});
    }
    void TearDown() override
    {
        for (int s = 0; s < max_slots; s++)
            if (race.bikes[s]) {
                free(race.bikes[s]->gate_ticks);
                free(race.bikes[s]);
                race.bikes[s] = nullptr;
            }
        race_clear_slots();
        race_rules_install(nullptr);
        race_net_install(nullptr);
        timing_gates = {};
        data_roots_reset();
    }

    static void set_sequence(const std::vector<int>& first, const std::vector<int>& normal)
    {
        timing_gates.first_lap_count = int(first.size());
        timing_gates.normal_lap_count = int(normal.size());
        timing_gates.counted_first = timing_gates.counted_normal = 0;
        int n = 0;
        for (int e : first) {
            timing_gates.entries[n++] = e;
            timing_gates.counted_first += e < timing_entry_uncounted;
        }
        for (int e : normal) {
            timing_gates.entries[n++] = e;
            timing_gates.counted_normal += e < timing_entry_uncounted;
        }
    }

    static bike* add_bike(int slot, const char* number = "1", const char* model = "kx125")
    {
        bike* b = static_cast<bike*>(calloc(1, sizeof(bike)));
        b->slot = slot;
        snprintf(b->assets.number, sizeof b->assets.number, "%s", number);
        b->model.name = model;
        race.bikes[slot] = b;
        race.driver_kind[slot] = driver_robot;
        return b;
    }

    // Replaces b's history: next_gate = ticks.size(), -1 = skipped.
    static void set_history(bike* b, const std::vector<int>& ticks)
    {
        cut_history(b, 0);
        b->gate_ticks = static_cast<int*>(realloc(b->gate_ticks, sizeof(int) * (ticks.size() + 1)));
        b->gate_tick_capacity = int(ticks.size() + 1);
        for (size_t i = 0; i < ticks.size(); i++)
            b->gate_ticks[i] = ticks[i];
        b->gate_tick_count = b->next_gate = int(ticks.size());
    }

    static std::vector<int> history(const bike* b)
    {
        return std::vector<int>(b->gate_ticks, b->gate_ticks + b->gate_tick_count);
    }

    // The rider in slot is at checkpoint k on tick t.
    static void visit(int slot, int k, int t)
    {
        race.tick = t;
        gate_progress_at(slot, gate_point(k));
    }

    // Rides whole passages in sequence order from the rider's next gate,
    // one every `step` ticks starting at tick t; returns the next free tick.
    static int ride(int slot, int passages, int t, int step = 100)
    {
        for (int p = 0; p < passages; p++, t += step) {
            int i = race.bikes[slot]->next_gate;
            visit(slot, timing_checkpoint_of(i), t);
        }
        return t;
    }

    static std::vector<int> standings_slots()
    {
        std::vector<int> s;
        for (int i = 0; i < race.standing_count; i++)
            s.push_back(race.standings[i].slot);
        return s;
    }
};
