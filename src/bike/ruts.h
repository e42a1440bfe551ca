// ruts.h -- wheel pushes remembered per bike and turned into ruts.
//
// Owns: the bookkeeping of the bike's rut ring (bike.h: ruts, rut_read,
// rut_write) and the dig hook.  Needs: the wheel contacts and their joint
// feedback from the last world step, the tiles' erosion values, the
// height field.  Promises: nothing is recorded or dug unless the erosion
// amount is above 0; the ring never holds more than rut_ring_size - 1
// entries; the ground changes only through the installed dig (none by
// default), so the bike layer needs no terrain-editing code.
//
// After each world step every touching wheel of a driven bike records
// where it pushed and how hard (scaled by how fast the wheel moved); a few
// old entries per tick become ruts once the bike is 10 ft away from them,
// moving dirt from the contact against the push.
#pragma once

struct bike;
struct height_field;

constexpr float rut_clear_distance = 10.0f;   // ft: entries this close to the frame wait
constexpr int ruts_per_tick = 4;              // entries applied per bike and tick
constexpr float rut_min_force2 = 1.0f / 1024.0f;   // lbf^2: weaker pushes are not kept
constexpr float rut_amount_scale = 1.0f / 2048.0f; // dig depth per unit of erosion amount

// The terrain deformation's side.
struct rut_dig_ops {
    // Adds depth x falloff to the heights within radius of (x, z).
    void (*dig)(height_field* hf, float x, float z, float radius, float depth);
};
// Installs the deformation; null restores the default (no dig).
void rut_dig_install(const rut_dig_ops* ops);

// Entries waiting in the bike's ring.
int rut_pending(const bike* b);
// Empties the ring.
void clear_ruts(bike* b);
// Records the pushes of both touching wheels (front first) after the world
// step; nothing when erode_amount is not above 0.
void record_ruts(bike* b, const height_field& hf, float erode_amount);
// Applies up to ruts_per_tick old entries; nothing when erode_amount is
// not above 0.
void apply_ruts(bike* b, height_field* hf, float erode_amount);
