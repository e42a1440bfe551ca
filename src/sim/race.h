// race.h -- the "race" sub-command of vortrak-sim and its autopilot.
//
// Owns: a headless race run through the game's own race setup and tick
// (the lineup, laps, time limit and seed from the command line), its
// progress lines and final table, and the autopilot: a plain course
// follower that rides the local bike toward the next checkpoints, as a
// test and teaching aid (it is not the robot riders' driver).  Needs: the
// data roots and file index set up by the caller, the headless platform.
// Promises: the same track, lineup, seed and inputs print the same lines,
// byte for byte (nothing reads a clock).
#pragma once

#include <cstdint>
#include <cstdio>

#include "bike/bike.h"

constexpr double race_default_max_seconds = 600.0;   // simulated seconds before giving up
constexpr int race_default_every = 1280;             // ticks between progress lines (10 s)
constexpr int race_default_laps = 3;

// What the autopilot remembers between ticks (zero to start).
struct autopilot_state {
    int32_t slow_since;       // tick the bike last moved at a walking pace or faster
    int32_t back_up_until;    // tick until which it walks the bike backwards
};
// The autopilot's controls for bike b this tick: steer along a curve
// through the checkpoints due, throttle for a cornering speed, brakes when
// too fast, and backing away from whatever holds the bike.
bike_controls autopilot_controls(autopilot_state* state, const bike* b);

// vortrak-sim race ARGS: reports to out, messages to err; 0 or 1.
int sim_race_main(int argc, char** argv, FILE* out, FILE* err);
