// tick.h -- one tick of the whole world.
//
// Owns: the fixed order of a tick (collisions in decreasing-speed order,
// dirt spray with a rotating first bike, the world step, ruts, the per-slot
// driver / bike step / gate progress, particles, starting-gate bars, the
// tick counter, demo frames, time-trial bookkeeping), the starting-gate
// bars and their drop, and the broad phase in front of the all-pairs
// bike test.  Needs: a loaded track and the physics world, the race state,
// the bike simulation, race control, the services of race_setup.h for the
// modules that land later.  Promises: deterministic for a given state and
// input; the broad phase only skips pairs whose bounding spheres are
// apart, so every contact, knock and the pair order stay as without it.
// Main thread only.
#pragma once

#include <cstdint>

#include "race/race_state.h"
#include "terrain/timing_gates.h"

struct bike;

constexpr int max_gate_bars = max_starting_gates;
constexpr float gate_bar_drop_rate = 8.0f;          // drop-angle units per second
constexpr float gate_bar_angle_scale = 0.5890486f;  // 3 pi / 16 rad per unit of drop angle
constexpr double gate_bar_active_seconds = 10.0;    // bars move only for this long after the start
constexpr float broad_phase_margin = 0.01f;         // ft of slack on the bounding spheres

struct gate_bar {
    int object;    // statue index, -1 = none
    float drop;    // drop angle: 1 standing, 0 fully down
};

// The tick's own state.
struct tick_state {
    gate_bar gate_bars[max_gate_bars];   // gate_bar_count used, one per starting gate
    int gate_bar_count;
    float playback_present[max_slots];   // 1 when this tick's demo record for the slot was read
    bool broad_phase;                    // bounding-sphere test before collide_bikes (on by default)
};
extern tick_state tick_data;

// Time spent in the parts of a tick, microseconds, summed over the ticks
// run while tick_timing points at it (the benchmark's split).
struct tick_split {
    double contacts;     // collision passes (terrain and statues)
    double pairs;        // speed sort, broad phase, bike against bike
    double dirt;         // dirt spray
    double world;        // world step, ruts
    double bikes;        // drivers, bike steps, gate progress
    double other;        // bars, counters, demo frames, time trial
    long pair_tests;     // collide_bikes calls made
    long pairs_skipped;  // pairs the broad phase skipped
};
extern tick_split* tick_timing;   // null = no timing (the default)

// Advances the world by one tick.  Requires a loaded track and the
// physics world.
void simulation_tick();

// One bar per starting gate, each standing (drop angle 1).
void gate_bars_reset();
// The starting-gate bar step alone (tick step 11).
void gate_bars_step();

// Bounding sphere of a bike around its frame position: every part's shape
// and both tyres as tori lie within radius.  Exposed for the tests.
float bike_bounding_radius(const bike* b);
// The slots holding a bike in the order they throw dirt this tick: slot
// order, starting at list position tick mod n; the count n.
int dirt_order(int* slots);
// The slots of bikes that collide this tick (not replayed), sorted by
// decreasing frame speed with the program's heap sort; the count.
int collision_order(int* slots);
