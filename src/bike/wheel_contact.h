// wheel_contact.h -- one tyre's contact with the ground, per wheel and tick.
//
// Owns: the tyre-ground geometry (a torus against the height field's
// triangles), the contact joint it becomes and the rolling resistance of
// the surface.  Needs: the height field and its tiles, the shared physics
// world (physics_world.h).  Promises: one contact joint at most per wheel
// and call, nothing non-finite handed to ODE, a wheel off the ground (or
// off the grid) leaves load = 0 and touches nothing else.
//
// The tyre is a torus: a ring of ring_radius around the body centre in the
// plane perpendicular to the axle, with a tube of section_radius.  Every
// triangle of the cells under the wheel's bounding square is tested; the
// deepest penetration wins, ties keeping the first found (cells in row
// order, then column order, the two triangles in the diagonal rule's
// order).  Triangles of cells outside the grid and triangles of zero area
// are skipped.
#pragma once

#include <ode/ode.h>

#include "base/vec.h"

struct height_field;
struct terrain_triangle;
struct tile;

// Contact stiffness rises with the cube of the depth fraction.
constexpr float contact_k_base = 1000.0f;    // lbf/ft at zero depth
constexpr float contact_k_rise = 24000.0f;   // lbf/ft added at full section depth
constexpr float contact_c_base = 200.0f;     // lbf s/ft at zero depth
constexpr float contact_c_rise = 2300.0f;    // lbf s/ft added at full section depth
// Arcade grip falls by this share, fully at 45 degrees of lean.
constexpr float arcade_grip_loss = 0.375f;

struct wheel_contact {
    dBodyID body;              // the wheel body
    vec3 axle_local;           // axle direction in the body's own axes, (1, 0, 0)
    float ring_radius;         // ft, copied from the model's wheel_spec
    float section_radius;      // ft
    vec3 point;                // world contact point on the tyre surface
    vec3 slip_velocity;        // ft/s, world velocity of the wheel body at point
    vec3 normal;               // unit contact normal, out of the terrain
    float load;                // ft of penetration; > 0 on the ground, 0 airborne
    dJointFeedback feedback;   // forces of this tick's contact joint, filled by the world step
};

// The tyre as geometry: where it is and how it is shaped.
struct torus_shape {
    vec3 centre;               // ft, world position of the wheel centre
    vec3 axle;                 // unit world axle direction
    float ring_radius;         // ft
    float section_radius;      // ft
};

// One penetration of the tyre into the ground.
struct torus_hit {
    float depth;               // ft; > 0 penetrates
    vec3 point;                // world point on the tyre surface
    vec3 normal;               // unit, pushes the wheel out of the ground
};

enum torus_search {
    search_full = 0,           // all cases, edges and vertices included
    search_spray = 1,          // no edge and vertex search (replayed bikes' spray)
};

// The torus against one upward-facing triangle: true with *out filled
// when the torus penetrates it (depth > 0); false when apart or for a
// zero-area triangle.  The normal is the raw one, before the fix-up.
bool torus_triangle(const torus_shape& t, const terrain_triangle& tri, torus_search search,
                    torus_hit* out);
// Deepest hit over the triangles under the torus, with the fix-up applied
// (a downward normal loses its y, or becomes straight up); false when no
// triangle is penetrated or the shape is not finite.
bool torus_terrain(const height_field& hf, const torus_shape& t, torus_search search, torus_hit* out);

// A winning normal that points down would pull the wheel into the ground:
// its y is dropped (horizontal push) or, with too little horizontal part,
// it becomes straight up.  Returns a unit vector.
vec3 fix_up_normal(vec3 n);

// Spring and damping of the contact at a penetration depth.
void contact_spring(float depth, float section_radius, float* k, float* c);
// Grip scale for arcade riding at a frame lean angle (rad): 1 upright, down
// to 1 - arcade_grip_loss from 45 degrees; 1 for a non-finite lean.
float arcade_grip_factor(float lean);

// The surface kind under a world point; a field without tiles gives the
// table's defaults.
const tile& contact_surface(const height_field& hf, vec3 p);
// The tyre shape of a wheel as its body stands now.
torus_shape wheel_torus(const wheel_contact& wc);
// Clears this tick's contact (load 0, feedback zeroed).
void wheel_contact_clear(wheel_contact* wc);
// The contact joint's parameters for a filled record: spring from the
// depth, friction from the surface under the point times grip_factor
// (non-finite or negative counts as 0), first friction direction along
// normal x slip, or normal x axle for a wheel that hardly slips.
void fill_wheel_contact(const height_field& hf, const wheel_contact& wc, vec3 axle, float grip_factor,
                        dContact* out);
// The whole contact of one wheel: geometry, record, contact joint in the
// shared group (its feedback registered), rolling resistance.  Whether
// the wheel touches.
bool wheel_terrain_contact(const height_field& hf, wheel_contact* wc, float grip_factor);
