// collision.h -- everything of a bike that touches something, other than
// the tyres on the ground: body shapes against the terrain, against the
// track's statues and against other bikes.
//
// Owns: the sphere-triangle and sphere-terrain tests, sphere against
// sphere (as a contact joint or a pair of penalty forces), tyre torus
// against a shape, the per-tick collision pass of one bike (terrain, then
// statues through their buckets), bike against bike with the knock rules.
// Needs: the height field, the track's statues and buckets, the shared
// physics world and its one contact group, the wheel contact code, the
// crash code (a hard hit starts a crash).  Promises: every contact is
// made before the world step in the shared group; nothing non-finite
// reaches ODE (coincident sphere centres get a defined normal); penalty
// forces stay within +-pair_force_limit per sphere pair.
//
// Part bits (part_mask) name the bodies of a bike in bike-against-bike
// results.  Modes: pair_detect only reports, pair_joint makes contact
// joints, pair_penalty pushes the bodies apart with forces.
#pragma once

#include <ode/ode.h>

#include "base/vec.h"

struct bike;
struct collision_shape;
struct height_field;
struct shape_sphere;
struct terrain_triangle;
struct wheel_contact;

enum part_bit {
    part_frame = 1,
    part_front_wheel = 2,
    part_rear_wheel = 4,
    part_fork_upper = 8,
    part_fork_lower = 16,
    part_swingarm = 32,
    part_rider = 64,
};
constexpr int part_front_end = part_front_wheel | part_fork_lower;

enum pair_mode {
    pair_detect = -1,    // report only
    pair_joint = 0,      // a contact joint per touching sphere pair
    pair_penalty = 1,    // a spring-damper force pair per touching sphere pair
};

constexpr float terrain_shape_k = 2500.0f;     // lbf/ft, any body sphere on the ground
constexpr float terrain_shape_c = 250.0f;      // lbf s/ft
constexpr float pair_force_limit = 1000.0f;    // lbf per sphere pair in penalty mode
constexpr float tyre_sphere_mu = 1.0f;         // the tyre as a sphere against a shape
constexpr float tyre_sphere_k = 25000.0f;
constexpr float tyre_sphere_c = 2500.0f;
constexpr float statue_reach = 6.0f;           // ft: statues looked for around the frame
constexpr float knock_head_on_ticks = 192.0f;  // both front ends met
constexpr float knock_rammer_ticks = 256.0f;   // the bike that ran its front end into another
constexpr float knock_min_speed = 10.0f;       // ft/s of the knocked bike's frame
constexpr float knock_hit_min_speed = 5.0f;    // ft/s of the bike run into
constexpr float upside_down_crash_speed2 = 25.0f;   // (ft/s)^2: rider on its head on the ground
constexpr float statue_crash_speed2 = 400.0f;       // (ft/s)^2: rider into a statue

// One penetration of a sphere into the ground.
struct sphere_hit {
    vec3 point;          // world, on the sphere's surface
    vec3 normal;         // unit, pushes the sphere out
    float depth;         // ft, > 0 when touching
};

// What sphere_pair_contact found, for callers that keep it.
struct pair_record {
    vec3 point;                // midway between the two surfaces
    vec3 velocity;             // body 1's velocity at the point (zero without body 1)
    vec3 normal;               // unit, from sphere 1 toward sphere 2
    float depth;               // ft
    dJointFeedback feedback;   // zeroed
};

// Sphere (centre c, radius r) against one triangle of the height field:
// the depth (<= 0 means no contact), with the contact point and unit
// normal when it is above 0.  A zero-area triangle never touches.
float sphere_triangle_depth(vec3 c, float r, const terrain_triangle& tri, vec3* point, vec3* normal);
// The deepest triangle under the sphere, normal fixed up as the tyre's is.
bool sphere_terrain_contact(const height_field& hf, vec3 centre, float radius, sphere_hit* out);
// Each touching sphere of the shape, placed at the body's pose, becomes a
// contact joint between body and world (none without a body).  Whether any
// sphere touched.
bool shape_terrain_contacts(const height_field& hf, collision_shape* shape, dBodyID body, vec3 position,
                            const mat3& rotation);

// Two placed spheres; either body may be null (the static world).
bool sphere_pair_contact(const shape_sphere& s1, dBodyID body1, const shape_sphere& s2, dBodyID body2,
                         pair_mode mode, pair_record* record);
// Every sphere of one shape against every sphere of the other, after the
// bounding-radius test.  Whether any pair touched.
bool shape_pair_contacts(collision_shape* shape1, dBodyID body1, vec3 position1, const mat3& rotation1,
                         collision_shape* shape2, dBodyID body2, vec3 position2, const mat3& rotation2,
                         pair_mode mode);
// A tyre against a shape; a wheel without ground contact this tick takes
// the deepest touch as its contact record (riding on another bike).
bool wheel_shape_contacts(collision_shape* shape, dBodyID body, vec3 position, const mat3& rotation,
                          wheel_contact* wc, pair_mode mode);
// One shape against every part of bike b that has a shape; detect_only
// turns b's front wheel and forks to pair_detect.  The part_bits touched.
int bike_shape_contacts(bike* b, collision_shape* shape, dBodyID body, vec3 position, const mat3& rotation,
                        pair_mode mode, bool detect_only);

// Wheels and body shapes against bike_env.ground; whether anything
// touched.  Also the grid placement probe.
bool terrain_pass(bike* b);
// A statue's shape (no body) against the bike; a hard hit of the rider
// starts a crash.  The part_bits touched.
int statue_contacts(bike* b, collision_shape* shape, vec3 position, const mat3& orientation);
// The per-tick pass: terrain, then the statues near the frame, whose
// last-touched tick is set when touched.
void collision_pass(bike* b);
// Statue indices whose buckets cover (x +- statue_reach, z +- statue_reach),
// ascending without repeats; *list stays valid until the next call.
int statue_candidates(float x, float z, const int** list);

// Bike a's parts against bike b, the faster first; one_sided when a is the
// local rider and b a remote copy.  The part_bits of b that were touched.
int collide_bikes(bike* a, bike* b, bool one_sided);
// Told about both bikes of every bike contact (the robot driver forgets
// its recent plans); null for none.
void collision_set_contact_hook(void (*hook)(bike* b));
