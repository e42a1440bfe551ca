// race_state.h -- the program-wide race record.
//
// The 160 rider slots with their bikes, driver kinds and lineup codes, the
// standings, the tick counter and the loaded track's name.  Changed only by
// race setup, the tick, the time-trial reset and the multiplayer client;
// everything else reads it.  Bikes are owned by the bike module and live
// for one race.
#pragma once

#include <cstdint>

struct bike;

constexpr int max_slots = 160;     // rider slots 0..159
constexpr int no_slot = 160;       // "no slot" wherever a slot is stored
constexpr int robot_roster_size = 80;   // built-in robot riders (race/roster.h)

enum driver_kind_t : uint8_t {
    driver_local = 0,      // the player's inputs
    driver_replayed = 1,   // placed by state records (demo or server)
    driver_robot = 2,      // a robot rider
};

// One row of the standings.
struct standing_row {
    int slot;        // rider slot
    int passages;    // timing-gate passages made
    int last_tick;   // tick of the last passage
};

// One row of the final results: a standings row with the rider's cutting
// penalty applied (race/standings.cpp).
struct result_row {
    int slot;            // rider slot
    int passages;        // passages counted, after laps taken away for cutting
    int last_tick;       // tick of the last passage plus the penalty left over
    int laps_lost;       // laps taken away for cutting, >= 0
    int penalty_ticks;   // penalty left after the laps taken, already in last_tick
};

struct race_state {
    bike* bikes[max_slots];             // null = empty slot
    driver_kind_t driver_kind[max_slots];
    int lineup[max_slots];              // lineup code of each slot
    int viewed_slot;                    // slot shown and controlled
    standing_row standings[max_slots];  // sorted rows
    int standing_count;                 // rows in use
    int32_t tick;                       // ticks since race setup (or the server's)
    const char* current_track;          // loaded track directory, null = none

    // ---- race parameters and per-race state (core/race_setup.cpp) -------
    int32_t race_start_tick;            // tick at which the gate drops
    int countdown_ticks;                // 640: 5 s, robots and the start display
    int race_duration;                  // ticks of the time limit, 0 = laps only
    int laps_setting;                   // laps requested
    int race_laps;                      // laps to finish; 1000000 until a timed race fixes it
    int halfway_lap;                    // (laps_setting + 1) / 2 laps-only, else 1000000 until fixed
    bool time_trial;                    // set up without a lineup: the player alone against the ghost
    bool results_final;                 // the race is decided (race control sets it)
    int line_set;                       // robot lines loaded: 0 novice, 1 amateur, 2 expert, -1 none
    int robot_order[robot_roster_size]; // permutation of the robot roster for this race
    float start_position[3];            // ft, the local rider's frame position after placement
    int start_hold_ticks;               // ticks left of a false-start hold (multiplayer)
    int best_lap_ticks;                 // fastest time-trial lap, player or ghost; 0 = none
    int player_last_lap_ticks;          // the player's last time-trial lap

    // ---- race rules (race/rules.cpp, race/standings.cpp) ----------------
    result_row results[max_slots];      // final results, filled when results_final is set
    int result_count;                   // rows of results in use
    float off_course_bias = 10.0f;      // s, multiplayer off-course allowance (server "off_course_bias")
    float off_course_scale = 1.5f;      // multiplayer off-course factor (server "off_course_scale")
};

extern race_state race;

// Empties every slot (no bike, driver_replayed, lineup code 0) and the
// standings.
void race_clear_slots();
