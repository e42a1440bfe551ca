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

struct race_state {
    bike* bikes[max_slots];             // null = empty slot
    driver_kind_t driver_kind[max_slots];
    int lineup[max_slots];              // lineup code of each slot
    int viewed_slot;                    // slot shown and controlled
    standing_row standings[max_slots];  // sorted rows
    int standing_count;                 // rows in use
    int32_t tick;                       // ticks since race setup (or the server's)
    const char* current_track;          // loaded track directory, null = none
    int laps;                           // lap count of the race
};

extern race_state race;

// Empties every slot (no bike, driver_replayed, lineup code 0) and the
// standings.
void race_clear_slots();
