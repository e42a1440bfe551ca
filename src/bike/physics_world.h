// physics_world.h -- the one ODE world all bikes live in, and the small
// conversions every bike module uses to talk to ODE.
//
// Owns: the world (gravity (0, -32, 0) ft/s^2, global ERP 0.2 and CFM 1e-10,
// never changed), the one joint group every contact joint is created in
// (emptied after each step), and ODE's message, error and debug reports,
// which go to the log.  Needs: ODE built with double-precision reals.
// Promises: the world is stepped with the standard stepper, one step of
// 1/128 s per tick, no sub-steps; nothing non-finite reaches ODE through
// the helpers below (they drop such values and count them).
//
// The program keeps vec3 / mat3 floats; every call here converts.
#pragma once

#include <ode/ode.h>

#include "base/tick.h"
#include "base/vec.h"

constexpr float world_gravity = -32.0f;       // ft/s^2 along y
constexpr double world_erp = 0.2;
constexpr double world_cfm = 1e-10;
constexpr int soft_contact_mode = dContactSoftERP | dContactSoftCFM;   // 24

struct physics_world {
    dWorldID world;            // null until physics_world_create
    dJointGroupID contacts;    // every contact joint of the tick
    int contact_joints;        // contact joints created since the group was last emptied
    int rejected_values;       // non-finite values the helpers refused (diagnostics)
    int ode_reports;           // messages ODE sent to our handlers
};

extern physics_world physics;

// Creates the world and the contact group (once; later calls do nothing)
// and installs the report handlers.  False only when ODE can't start.
bool physics_world_create();
// Destroys the group and the world and closes ODE.
void physics_world_destroy();
// One world step of tick_period, then the contact group is emptied.
void physics_world_step();
// Empties the contact group (after placement probes).
void physics_contacts_clear();

// ERP and CFM of a soft spring of stiffness k and damping c for step h:
// ERP = h k / (h k + c), CFM = 1 / (h k + c).  k + c must be > 0.
void soft_erp_cfm(double k, double c, double h, double* erp, double* cfm);
// A one-sided soft spring: a contact joint between first and second (either
// may be null for the static world), surface mode soft ERP + soft CFM,
// friction 0.  Normal points into first.  Null when the values are not
// finite or k + c <= 0.
dJointID soft_contact(dBodyID first, dBodyID second, vec3 point, vec3 normal, float depth,
                      float k, float c);
// A contact joint from a filled dContact in the shared group, attached to
// (first, second); null when its numbers are not finite.
dJointID add_contact_joint(const dContact& contact, dBodyID first, dBodyID second);

// ---- conversions ----------------------------------------------------------
inline vec3 vec3_from(const dReal* v)
{
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}
inline bool vec3_finite(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline vec3 body_position(dBodyID b) { return vec3_from(dBodyGetPosition(b)); }
inline vec3 body_velocity(dBodyID b) { return vec3_from(dBodyGetLinearVel(b)); }
inline vec3 body_angular_velocity(dBodyID b) { return vec3_from(dBodyGetAngularVel(b)); }
mat3 body_rotation(dBodyID b);
vec3 body_point_velocity(dBodyID b, vec3 world_point);    // zero for a null body
vec3 body_local_to_world(dBodyID b, vec3 local_point);    // a point in the body's axes
vec3 body_vector_to_world(dBodyID b, vec3 local_vector);
vec3 body_vector_from_world(dBodyID b, vec3 world_vector);

// Setters and force accumulators; non-finite input is dropped.
void body_set_position(dBodyID b, vec3 p);
void body_set_rotation(dBodyID b, const mat3& r);
void body_set_velocity(dBodyID b, vec3 v);
void body_set_angular_velocity(dBodyID b, vec3 w);
void body_add_force(dBodyID b, vec3 f);
void body_add_force_at(dBodyID b, vec3 f, vec3 world_point);
void body_add_torque(dBodyID b, vec3 t);
void body_add_rel_torque(dBodyID b, vec3 t);   // t in the body's own axes

// Rotation matrix for a turn by angle about axis (normalised here; a zero
// axis gives the identity).
mat3 mat3_axis_angle(vec3 axis, float angle);
