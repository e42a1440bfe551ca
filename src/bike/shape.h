// shape.h -- collision shapes: sets of spheres fixed to a rigid body.
//
// Owns: the ".shp" reader, the shape cache (every shape loaded by name is
// kept for the program's run and found again by exact name), private
// copies, and the shape loader the track objects reach through
// track_asset_ops.  Needs: file streams (stream_scanf), the log.
// Promises: a shape that comes back holds 0 .. shape_max_spheres spheres
// with finite centres, radius > 0, mu >= 0, stiffness > 0 and damping
// >= 0, so every spring made from two shapes has h k + c > 0; a file that
// breaks any of that is refused whole with a log line and nothing is
// cached.
//
// A ".shp" file is text: the sphere count, then per sphere its centre
// (x y z, in the owning body's axes), radius, mu, stiffness and damping,
// separated by white space.
//
// Nobody collides with a cached shape itself: each user holds a private
// copy whose sphere centres are overwritten with world positions at every
// test (place_collision_shape), the body-axes centres being read from the
// cached shape it was copied from.  So a test never allocates.
// Main thread only.
#pragma once

#include "base/vec.h"

struct bike;

constexpr int shape_max_spheres = 256;     // larger counts are refused
constexpr int shape_cache_initial = 16;    // cache capacity; doubles when full

struct shape_sphere {
    vec3 centre;         // ft; body axes in a cached shape, world position in a placed copy
    float radius;        // ft, > 0
    float mu;            // friction coefficient, >= 0
    float stiffness;     // lbf/ft, > 0; used only between two shapes
    float damping;       // lbf s/ft, >= 0; used only between two shapes
};

struct collision_shape {
    const char* name;                       // interned data name it was loaded from
    int sphere_count;                       // 0 .. shape_max_spheres
    shape_sphere* spheres;                  // sphere_count entries, owned; null when 0
    const collision_shape* template_shape;  // private copy: the cached shape it copies; null when cached
    float bounding_radius;                  // ft: largest |centre| + radius, from the body origin; 0 when empty
};

// The cached shape of that name, reading and caching the file first; null
// when it is missing, malformed or refused (nothing is cached then, so a
// later call tries again).
const collision_shape* load_collision_shape(const char* name);
// A private copy of the named shape; null as for load_collision_shape.
collision_shape* copy_collision_shape(const char* name);
// Frees a private copy; null and cached shapes are ignored.
void free_collision_shape(collision_shape* copy);
// Writes each sphere's world centre R * centre + p into a private copy.
void place_collision_shape(collision_shape* copy, vec3 position, const mat3& rotation);
// Shapes held by the cache.
int collision_shape_cache_count();
// Empties the cache (tests; no private copy may outlive it).
void collision_shape_cache_reset();

// The seven private copies a bike's bodies collide with, from its model's
// shape names; a missing shape leaves that part without geometry.
void attach_bike_shapes(bike* b);
void release_bike_shapes(bike* b);

// Installs copy_collision_shape / free_collision_shape as the track
// objects' shape loader, keeping the other track asset operations in force
// (so it may come before or after the drawing code installs its own).
// Start-up calls it before any track is loaded.
void bike_shapes_install_track_assets();
