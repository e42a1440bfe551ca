// race_setup.h -- turning a lineup into a race, and the time-trial reset.
//
// Owns: the order in which a race is built (robot shuffle, start tick,
// track choice and reload, lineup codes, the viewed slot, bikes on the
// starting grid, per-race resets, the race length, results), the
// time-trial reset, freeing every bike, the player's bike setup until the
// configuration module takes it over, and the services table through which
// the later modules (robot lines and driver, demos, points series, engine
// sound, texture caches, the on-screen messages) are reached.  Needs: the
// race state (race/race_state.h), the loaded track and its timing gates,
// the bike simulation and its collision probe, race control (standings,
// gate history), the program-wide random generator.  Promises: every bike
// of the previous race is destroyed first; a track that fails to load
// leaves no bikes and no current track; nothing is read past the 160 slots
// or the 80 robots whatever the lineup says; a null service does nothing.
// Main thread only.
#pragma once

#include <cstdint>

#include "bike/setup.h"
#include "race/race_state.h"

struct bike;

// Lineup codes, one per slot.
enum lineup_code {
    lineup_empty = 0,          // demo bike if one is left, else no bike (driver_replayed)
    lineup_human = 1,          // the player's bike; only the first one counts
    lineup_robot = 2,          // the next robot of robot_order
    lineup_robot_125 = 3,      // the next robot on a "125"
    lineup_robot_250 = 4,      // the next robot on a "250"
    lineup_remote = 5,         // a multiplayer rider from the server's list
    lineup_series_robot = 1000,   // 1000 + n: the robot numbered n
};

constexpr int32_t time_trial_start_tick = 38400;   // 300 s: the start lies long in the past
constexpr int default_countdown_ticks = 640;        // 5 s
constexpr double start_delay_base = 13.0;           // s: the gate drops 13 .. 15 s after setup
constexpr double start_delay_spread = 2.0;          // s
constexpr float grid_row_length = 10.0f;            // ft between rows behind one gate
constexpr float grid_row_offset = 0.0625f;          // rows: the first row stands this far behind its gate
constexpr float grid_spacing_no_gates = 5.0f;       // ft between riders on a track without gates
constexpr float placement_raise = 0.25f;            // ft per probe while the bike touches
constexpr int placement_max_probes = 4096;          // 1024 ft: a probe that never clears gives up
constexpr int line_stamp_reset = -1000000;          // last-use stamp of every robot line slot

// One bike of the demo being played, as the demo lists it.
struct demo_bike {
    const char* bike;          // bike name (before aliasing)
    const char* number;        // race number text
    const char* body_skin;     // null = default
    const char* head_skin;
    const char* bike_skin;
    const char* wheel_skin;
};

// What race setup and the tick ask of modules that land later.  Each
// member may be null: the step is then skipped.  Until the robot driver
// lands, robots stand still on the grid.
struct race_services {
    // ---- robot riders: the line store and the line-following driver plug in here
    void (*lines_save)();                                   // saves the loaded line set
    void (*lines_free)();                                   // frees every stored line, resets the slots
    void (*lines_load)(const char* track, int line_set);    // "lines_novice" .. of the track's folder
    void (*lines_analyse)();
    void (*lines_stamp)(int32_t stamp);                     // every line slot's last use
    void (*robots_reset)();                                 // the robots' per-race line state
    void (*robot_personality)(bike* b, const char* name);
    void (*robot_drive)(bike* b);                           // sets the robot's inputs for this tick
    // ---- demos: recording and playback plug in here
    bool (*playback_open)();                                // opens the demo chosen for playback
    const char* (*playback_track)();                        // its track, once open
    int (*playback_bike_count)();                           // bikes the open demo holds
    bool (*playback_next_bike)(demo_bike* out);             // the demo's next bike, false when none is left
    void (*playback_close)();
    void (*recording_start)();
    void (*recording_stop)();
    void (*record_frame)();                                 // one offline frame: local and robot bikes
    void (*play_frame)();                                   // one frame applied to the replayed slots
    // Time trial: opens "fastlap.vkdemo" of the track for the ghost, starts
    // a new "lastlap.vkdemo" and puts the ghost's bikes in slots 1, 2, ...
    void (*ghost_start)();
    // ---- the points series records the event just ridden
    void (*series_record_event)();
    // ---- engine sound voices
    void (*voice_create)(int slot);
    void (*voice_release)(int slot);
    // ---- texture and model caches, roost particles
    void (*render_counters_advance)();
    void (*purge_textures)();
    void (*purge_models)();
    void (*particles_step)();
    // ---- the on-screen message list; null: the message goes to the log
    void (*console_print)(const char* text);
};

// Copies the table (null restores "nothing installed").
void race_services_install(const race_services* s);
const race_services& race_services_now();

// The player's bike setup: bike, number, skins and every setup value.  The
// configuration module fills it from "@config"; start-up sets the defaults
// first (setup_defaults), as every tool does.
extern bike_setup player_setup;
// Set by the console's "reload" (and by a modified terrain): the next race
// setup reloads the track even when it is the same one.
extern bool track_reload_requested;

// Clears the race state to start-up values (every slot empty, no track,
// line_set -1).  The player's setup is left alone.
void race_setup_init();

// Builds a race.  lineup: 160 codes, or null for a time trial with the
// player alone.  playback opens the demo chosen for playback, record
// starts recording.  duration_ticks 0 = no time limit; laps = laps
// requested; skill 0..2 selects the robot line set (clamped).  Returns
// early with no bikes when the track fails to load.
void race_setup(const int* lineup, bool playback, bool record, int duration_ticks, int laps, int skill);
// Restarts the player's time-trial lap just before the gate that ends the
// first lap; slots 1..159 lose their bikes.
void time_trial_reset();
// Logs "Deallocating bikes\n", releases every slot's voice and bike,
// empties the standings, logs "Finished deallocating bikes\n".
void race_free_bikes();

// ---- pieces of the setup, exposed for the tests and the tools ---------
// Where grid index k stands: at gate k mod G, row k div G behind it, facing
// the gate's heading; without starting gates 5 ft apart along x from the
// middle of the ground, heading 0.
void grid_position(int k, float* x, float* z, float* heading);
// Resets, turns and moves the bike to (x, ground, z), raising it 0.25 ft at
// a time while the terrain probe reports a contact.  The probe's contact
// joints stay in the group until the caller empties it.
void place_on_grid(bike* b, float x, float z, float heading);
// robot_order = 0..79 shuffled with the generator seeded with seed.
void shuffle_robot_order(uint32_t seed);
// Shows the text on the title screen when a window can be drawn.
void race_announce(const char* text);
// A message for the player (the on-screen list, else the log).
void race_message(const char* text);
