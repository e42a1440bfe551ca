// timing_gates.h -- starting gates, checkpoints and the lap sequences.
//
// Owns the "timing_gates" file of the loaded track: where the starting
// gates stand (each shown as a statue, track.h), the checkpoints a rider
// must pass and the first-lap and normal-lap sequences.  A sequence entry k
// (< timing_entry_uncounted) is a counted passage of checkpoint k; an entry
// timing_entry_uncounted + k refers to checkpoint k but is not counted.
// Every entry names an existing checkpoint once the file is read.  Race
// control owns the lap counting built on at_checkpoint.  The robot line
// store (a higher layer) is created and released through gate_line_store_ops.
// Main thread only.
#pragma once

#include "base/vec.h"

constexpr int max_starting_gates = 160;
constexpr int max_checkpoints = 256;
constexpr int max_lap_entries = 256;            // per sequence
constexpr int timing_entry_uncounted = 100000;  // entry flag: passage not counted
extern const char* const default_gate_model;    // "@startgate.jm"
extern const char* const default_gate_texture;  // "@startgate.ppm"
extern const char* const default_gate_shape;    // "@startgate.shp"

struct starting_gate {
    vec3 position;          // as written: y is above the ground
    float angle;            // heading, radians, in [-pi, pi]
    int statue;             // index of the statue showing the gate (track.h)
    const char* model;      // interned names, null = none ("null" in the file)
    const char* texture;
    const char* shape;
};

struct checkpoint {
    vec3 position;          // centre of the gate
    vec3 direction;         // facing; only x and z are used by at_checkpoint
    float radius;           // feet
    int caution;            // run-time mark of the caution flaggers, not saved
};

struct timing_gate_set {
    starting_gate starts[max_starting_gates];   // start_count used
    int start_count;                    // 0..max_starting_gates; kept when laps are unusable
    checkpoint checkpoints[max_checkpoints];    // checkpoint_count used
    int checkpoint_count;               // 0 = no timed laps
    int entries[2 * max_lap_entries];   // first lap, then normal lap right after it
    int first_lap_count;                // 0..max_lap_entries
    int normal_lap_count;               // 0..max_lap_entries
    int counted_first;                  // first-lap entries below timing_entry_uncounted
    int counted_normal;                 // normal-lap entries below timing_entry_uncounted
};

extern timing_gate_set timing_gates;

// Reads the file at path (a data name) into timing_gates, creating the
// starting-gate statues with add_statue.  A missing file or section gives a
// track without timed laps; faults in the file are mended and logged.
void read_timing_gates(const char* path);
// Writes "@" + track_name + "/timing_gates" (the editor's save); false after
// "Can't open 'timing_gates'\n".
bool write_timing_gates(const char* track_name);
// Empties the set and releases the line store.
void free_timing_gates();

// True when the rider at p is within the checkpoint's radius (height
// ignored) and on or past the side it faces.
bool at_checkpoint(vec3 p, const checkpoint& g);

// True when laps can be timed.
bool timing_gates_usable();
// Index into timing_gates.entries of a rider's progress entry e >= 0: the
// first lap once, then the normal lap for ever; -1 without timed laps.
int timing_sequence_index(int e);
// Checkpoint index of progress entry e, or -1 without timed laps.
int timing_checkpoint_of(int e);
// Whether progress entry e is a counted passage.
bool timing_entry_counted(int e);

// The robot line store's side: create gets the segment count
// (counted_first + counted_normal) when the gates are usable; release is
// called when the gates are freed.
struct gate_line_store_ops {
    void (*create)(int segments);
    void (*release)();
};
// Null restores the default (no line store).
void gate_line_store_install(const gate_line_store_ops* ops);
