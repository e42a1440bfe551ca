// ride.h -- one bike ridden headless on a loaded track.
//
// Owns: a riding session (the physics world, one bike, its input script)
// and the "ride" sub-command of vortrak-sim.  The session places the bike
// as race setup places a rider on the grid (reset, orient to the heading,
// move, raise until the terrain pass finds no contact), applies the
// default bike setup and runs the simulation tick of one driven bike:
// inputs, terrain pass, dirt, world step, bike step.  Needs: the data roots and file
// index set up by the caller, the headless platform.  Promises: the same
// track, bike, options and inputs give the same report lines, byte for
// byte (the random generator is seeded with 0 and nothing reads a clock).
#pragma once

#include <cstdint>
#include <cstdio>

#include "bike/bike.h"

constexpr double ride_default_seconds = 10.0;
constexpr int ride_default_every = 128;             // ticks between report lines
constexpr int ride_max_script_entries = 1000000;
constexpr double ride_max_seconds = 24.0 * 3600.0;

struct ride_script_entry {
    double time;          // s from the start; holds until the next entry
    bike_controls controls;
};

struct ride_options {
    const char* track;          // track directory name
    const char* bike;           // catalogue name
    bool at_given;              // place at (at_x, at_z) instead of the first starting gate
    float at_x, at_z;           // ft
    bool heading_given;
    float heading;              // rad about +y; 0 faces -z
    double seconds;             // ride length
    const char* inputs;         // script file, or null for the constant controls
    bike_controls constant;     // controls when there is no script
    bool auto_shift;            // automatic shifting (off otherwise)
    int arcade;                 // -1 the setup default, 0 off, 1 on
    int every;                  // ticks between report lines, >= 1
};

void ride_options_defaults(ride_options* o);

struct ride_session {
    ride_options options;
    bike* b;
    ride_script_entry* script;  // xmalloc'd, count entries sorted by time
    int script_count;
    int script_next;            // first entry not yet in force
    int32_t tick;               // ticks ridden
    bool track_loaded;
};

// Reads a script: each entry is a time and the nine control values
// (steer throttle front_brake rear_brake shift clutch dab back_up lean);
// lines beginning with "#" are comments.  False with a message in err
// (size bytes) on a missing file, an incomplete entry, times that go
// backwards or too many entries.
bool read_ride_script(const char* path, ride_script_entry** out, int* count, char* err, size_t size);

// Loads the track, creates the world and the bike and places it.  False
// with a message in err; the session is then closed already.
bool ride_open(ride_session* s, const ride_options& o, char* err, size_t size);
// Places the bike at (x, z) facing heading, raised until neither its tyres
// nor its body shapes touch the ground.
void place_bike(bike* b, float x, float z, float heading);
// One simulation tick.
void ride_tick(ride_session* s);
// The report line for the current state, without line end.
void ride_report(const ride_session* s, char* out, size_t size);
// Frees the bike, the world and the track.
void ride_close(ride_session* s);

// Heading of the bike's frame about +y (0 faces -z), rad.
float bike_heading(const bike* b);
float bike_speed(const bike* b);   // frame speed, ft/s

// vortrak-sim ride ARGS: reports to out, messages to err; 0 or 1.
int sim_ride_main(int argc, char** argv, FILE* out, FILE* err);
