// crash.h -- the rider falling off, tumbling, and getting back on.
//
// Owns: the crash start (rider joint detached, feet placed, crash timer
// set from the knockout table), the crash checks of the bike step, the
// ropes that keep a loose rider near its bike, the recovery that draws the
// rider back onto the seat, and the two simulated feet of a fallen rider.
// Needs: the bike's bodies and rider joint (bike_body.cpp), the collision
// shapes and shape-against-shape contacts, the ground under bike_env.
// Promises: a crash always ends (the timer starts at crash_base_ticks or
// more and counts down while the rider rests), and a rider joint detached
// here is attached again when it does; nothing non-finite reaches ODE.
//
// crash_timer > 0 means crashed.  The timer holds while the rider mass
// moves at crash_rest_speed or more and counts down otherwise; below
// crash_base_ticks the recovery ropes pull the rider back, their slack
// shrinking to 0 over the last 384 ticks before the final 128.
#pragma once

#include "base/vec.h"

struct bike;

constexpr int crash_base_ticks = 512;           // ticks of rest a crash lasts before its knockout entry
constexpr int knockout_entries = 16;
constexpr int knockout_max_ticks = 128 * 3600;  // an hour: larger server values are cut
constexpr float crash_rest_speed2 = 4.0f;       // (ft/s)^2: slower, and the crash clock runs
constexpr float crash_relative_speed2 = 961.0f; // (ft/s)^2 of rider against frame: thrown off
constexpr float crash_impact_accel2 = 1893376.0f;   // (ft/s^2)^2: 1376 ft/s^2 averaged over four ticks
constexpr float tumble_rope_length = 8.0f;      // ft, hip to a point behind the bar, early in a crash
constexpr float tumble_rope_back = 10.0f;       // ft behind the grips
constexpr float arm_rope_share = 0.875f;        // of upper arm + forearm
constexpr float recovery_slack = 5.0f;          // ft of rope slack at the start of recovery
constexpr int recovery_slack_end = 128;         // ticks left when the slack reaches 0
constexpr int foot_to_peg_ticks = 319;          // from here on down one foot goes to its peg
constexpr float foot_ground_clearance = 0.25f;  // ft above the ground a foot stops at
constexpr float foot_drag = 0.9375f;            // per tick
constexpr float foot_peg_speed = 4.0f;          // ft/s of the foot returning to its peg

// Extra crash ticks by crash number (entry 15 for the sixteenth and
// later crashes); all 0 until the server's "knockout" message.
extern int knockout_table[knockout_entries];
// Replaces the table with count values (missing entries become 0); each
// is clamped to 0 .. knockout_max_ticks, so no crash ends before it
// begins and the timer can't overflow.
void set_knockout_table(const int* values, int count);

// The rider comes off: joint detached, feet where they are now, timer set.
void start_crash(bike* b);
// Bike step 4: the crash checks while riding (rider thrown against the
// frame, or a hard impact), then crash handling and recovery while crashed.
void crash_step(bike* b);
// The checks alone (nothing while crashed).
void crash_check(bike* b);
// Ropes, the crash clock, recovery, and getting back on at 0.
void crash_handling(bike* b);
// The recovery ropes and the returning foot (0 < crash_timer < crash_base_ticks).
void crash_recovery(bike* b);
// Bike step 15: the dabbing foot retracts; a crashed rider's feet fall,
// stop on the ground and stay within a leg's length of the hips.
void feet_step(bike* b);
// Where the rider's feet are while riding (on the pegs, or put down while
// dabbing): left then right, world positions.
void riding_feet(const bike* b, vec3 out[2]);
