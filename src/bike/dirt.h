// dirt.h -- dirt spray thrown by the wheels (roost and splash).
//
// Owns: the emission rule (how many particles, where, how fast) and the
// particle sink hook.  Needs: the wheel contact records, the tile table's
// roost kinds, the program-wide random generator (base/rng.h).  Promises:
// the same random draws happen whether or not a particle system is
// installed, so a headless run and a drawn run stay in step.
//
// Random draw order (part of the replay determinism), per emit_dirt call:
//   1. one rng_next() for the extra particle of the density (always);
//   then, only when the per-tick limit is above 0, for the front wheel and
//   then the rear wheel, if that wheel touches, for each roost kind of the
//   tile under the contact in order until the first disabled kind:
//   2. one rng_fraction() for the kind's fractional extra particle (always,
//      even when the fraction is 0);
//   3. splash kind, per particle: three rng_fraction() for the random
//      velocity (x, y, z), then one for the speed scale;
//      roost kind, when the wheel slips fast enough, per particle: one
//      rng_fraction() for the spray angle, then three for the random
//      velocity (x, y, z).
#pragma once

#include <cstdint>

#include "base/vec.h"

struct bike;
struct height_field;
struct roost_type;
struct wheel_contact;

constexpr int roost_density_max = 1000;          // particles per 100 emissions, per tick
constexpr float front_spray_limit = 0.39269908f; // pi/8: widest front spray angle
constexpr float rear_spray_limit = 6.2831853f;   // 2 pi: rear spray angle unlimited
constexpr float straight_spray_angle = 0.049087387f;   // pi/64, wheel rolling with its slip

// The particle system's side: one call per particle.
struct dirt_sink {
    // Starts a particle; false when none is free (the spray goes on).
    bool (*spawn)(vec3 start, vec3 velocity, const roost_type* kind);
};
// Installs the particle system; null restores the default, which discards.
void dirt_sink_install(const dirt_sink* sink);

// Particles allowed per wheel and kind this tick for a roost density
// (0..1000, clamped): density / 100, plus one with the chance of the rest.
// Draws once.
int dirt_particle_limit(int roost_density);
// Dirt spray for one wheel: spread_limit caps the roost cone, limit the
// particles per kind; tick picks the splash sides.
void emit_wheel_dirt(const height_field& hf, const wheel_contact& wc, float spread_limit, int limit,
                     int32_t tick);
// Both wheels of a bike, front first.  A replayed bike's contacts are
// recomputed for the spray alone (no edge or vertex contacts), leaving its
// records untouched; a driven bike uses the records of this tick's
// collision pass.
void emit_dirt(const bike* b, bool replayed, const height_field& hf, int roost_density, int32_t tick);
