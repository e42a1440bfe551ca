// rules.h -- timing-gate passages, laps, finishing and the off-course test.
//
// Owns the passage history of every bike (the "race progress" block of
// bike.h): which gate a rider must pass next, the tick of every passage
// (-1 where a gate was skipped), and the finished flag.  Needs the loaded
// timing gates (terrain/timing_gates.h) and the race record
// (race/race_state.h).  Promises: passages only grow during a race except
// through cut_history; a finish line is never skipped; a track without a
// usable gate sequence never records a passage, so every lap count is 0.
//
// Passage indices count every gate a rider passes from the start, 0-based.
// Index i sits at sequence position fold(i): i itself within the first lap,
// then the normal lap repeated for ever.  The passage that ends lap k is
// first_lap_count - 1 + normal_lap_count * (k - 1).
//
// Later subsystems plug in through small tables that do nothing until
// they are installed: the robot line store (learning from passages), the
// points series (told when a race is decided) and the multiplayer client
// (who is connected, racing, and how fresh each remote rider is).
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/vec.h"

struct bike;
struct bike_race_ops;

constexpr int race_laps_unfixed = 1000000;   // race_laps / halfway_lap of a timed race until fixed

// ---- hooks ------------------------------------------------------------------

struct race_rules_ops {
    // Every tick gate_progress runs for b; passage is the index just
    // recorded or -1, expected tells whether it was the gate due next
    // (not a skip ahead or a step back).  The robot line store plugs in here.
    void (*line_progress)(bike* b, int passage, bool expected);
    // b's history was cut back: drop its line recording state.
    void (*line_cut)(bike* b);
    // The race was just decided (results_final is set): the points series
    // records the event.
    void (*race_decided)();
};
// Null restores the default (nothing plugged in).
void race_rules_install(const race_rules_ops* ops);

struct race_net_ops {
    bool (*connected)();                  // a race server is in use
    bool (*local_racing)();               // the local rider holds a starting gate
    int (*own_slot)();                    // the local rider's server slot, no_slot when none
    int32_t (*snapshot_tick)(int slot);   // tick of the slot's newest state record
};
// Null restores the default: offline.
void race_net_install(const race_net_ops* ops);

bool race_connected();
bool race_local_racing();
int race_own_slot();
int32_t race_snapshot_tick(int slot);
// Tells the points series that the race was decided.
void race_rules_notify_decided();

// ---- sequence arithmetic ------------------------------------------------------

bool laps_enabled();                 // the track's gates are usable
int passage_position(int i);         // fold(i); -1 without laps or for i < 0
bool is_finish_passage(int i);       // passage i ends a lap
int lap_end_passage(int k);          // passage that ends lap k >= 1; -1 without laps
int laps_for_passages(int passages); // completed laps of a rider with that many passages

// ---- one bike ---------------------------------------------------------------------

// The tick's call for one slot: tests the front wheel against the gates
// around the rider's place in the sequence, records a passage, sets
// finished, and keeps the standings current.
void gate_progress(int slot);
// gate_progress with the test point given (the front wheel's x, z).
void gate_progress_at(int slot, vec3 point);

int lap_count(const bike* b);        // completed laps
int lap_gate(const bike* b);         // position within the current lap
int passage_tick(const bike* b, int i);   // -1 when missing or outside the history
// Ticks of lap k (k < 0: the last completed lap); 0 when not completed or
// when an end passage is missing.
int lap_ticks(const bike* b, int k);
double lap_time(const bike* b, int k);    // seconds
// Best lap from lap 2 on: false (lap 0, ticks 0) with fewer than two laps.
bool best_lap(const bike* b, int* lap, int* ticks);
// Seconds between a's and b's crossings of the last lap both completed
// (positive when a crossed later); 0 when either crossing is missing.
double lap_gap(const bike* a, const bike* b);

// Cuts b's history to n passages (n > next_gate skips ahead: the passages
// in between count as missing).
void cut_history(bike* b, int n);
// Whether b has taken the chequered flag; also latches finished when b
// crossed its finish line after the leader made the race's last passage.
bool has_finished(bike* b);

// Multiplayer: whether b was off course on its passage g >= 1.
bool off_course(const bike* b, int g);

// "%d minutes + %d laps", "%d minutes" or "%d laps".
void race_length_text(char* out, size_t size);

// Race control's answers for a fallen rider's realign (bike.h); the game
// installs it as bike_env.race.
extern const bike_race_ops rules_bike_race_ops;
