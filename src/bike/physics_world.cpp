// physics_world.cpp -- the shared ODE world, its contact group, ODE's
// reports and the float/double conversions.
//
// ODE's own reports would go to stderr and, for errors and internal
// checks, end the process with no trace in the program's log.  Ours put
// them in the log first ("ODE message/error/debug %d: ...").  ODE itself
// still ends the process after an error or a failed internal check: there
// is no safe way to return into it from one.  The helpers below keep such
// reports from arising from our side by refusing non-finite values.
#include "bike/physics_world.h"

#include <cstdarg>
#include <cstdio>

#include "platform/log.h"

physics_world physics;

static bool ode_started = false;

static void ode_report(const char* kind, int num, const char* msg, va_list ap)
{
    char text[512];
    vsnprintf(text, sizeof text, msg, ap);
    physics.ode_reports++;
    log_printf("ODE %s %d: %s\n", kind, num, text);
}

static void ode_message(int num, const char* msg, va_list ap) { ode_report("message", num, msg, ap); }
static void ode_error(int num, const char* msg, va_list ap)
{
    ode_report("error", num, msg, ap);
    log_printf("\x13" "FLUSH");   // ODE ends the process next: keep the line
}
static void ode_debug(int num, const char* msg, va_list ap)
{
    ode_report("debug", num, msg, ap);
    log_printf("\x13" "FLUSH");
}

bool physics_world_create()
{
    if (physics.world)
        return true;
    dSetMessageHandler(ode_message);
    dSetErrorHandler(ode_error);
    dSetDebugHandler(ode_debug);
    if (!ode_started) {
        if (!dInitODE2(0)) {
            log_printf("Can't initialise ODE\n");
            return false;
        }
        ode_started = true;
    }
    physics.world = dWorldCreate();
    dWorldSetGravity(physics.world, 0, world_gravity, 0);
    dWorldSetERP(physics.world, world_erp);
    dWorldSetCFM(physics.world, world_cfm);
    physics.contacts = dJointGroupCreate(0);
    physics.contact_joints = 0;
    return true;
}

void physics_world_destroy()
{
    if (!physics.world)
        return;
    dJointGroupDestroy(physics.contacts);
    dWorldDestroy(physics.world);
    physics = {};
    if (ode_started) {
        dCloseODE();
        ode_started = false;
    }
}

void physics_contacts_clear()
{
    if (!physics.world)
        return;
    dJointGroupEmpty(physics.contacts);
    physics.contact_joints = 0;
}

void physics_world_step()
{
    if (!physics.world)
        return;
    dWorldStep(physics.world, tick_period);
    physics_contacts_clear();
}

void soft_erp_cfm(double k, double c, double h, double* erp, double* cfm)
{
    double hk = h * k;
    *erp = hk / (hk + c);
    *cfm = 1.0 / (hk + c);
}

static bool finite_contact(const dContact& c)
{
    const dContactGeom& g = c.geom;
    for (int i = 0; i < 3; i++)
        if (!std::isfinite(g.pos[i]) || !std::isfinite(g.normal[i]) || !std::isfinite(c.fdir1[i]))
            return false;
    return std::isfinite(g.depth) && std::isfinite(c.surface.mu) && std::isfinite(c.surface.soft_erp) &&
           std::isfinite(c.surface.soft_cfm);
}

dJointID add_contact_joint(const dContact& contact, dBodyID first, dBodyID second)
{
    if (!physics.world || !finite_contact(contact) || (!first && !second)) {
        physics.rejected_values++;
        return nullptr;
    }
    dJointID j = dJointCreateContact(physics.world, physics.contacts, &contact);
    dJointAttach(j, first, second);
    physics.contact_joints++;
    return j;
}

dJointID soft_contact(dBodyID first, dBodyID second, vec3 point, vec3 normal, float depth,
                      float k, float c)
{
    if (!(k + c > 0)) {
        physics.rejected_values++;
        return nullptr;
    }
    dContact ct = {};
    ct.surface.mode = soft_contact_mode;
    ct.surface.mu = 0;
    soft_erp_cfm(k, c, tick_period, &ct.surface.soft_erp, &ct.surface.soft_cfm);
    ct.geom.pos[0] = point.x;
    ct.geom.pos[1] = point.y;
    ct.geom.pos[2] = point.z;
    ct.geom.normal[0] = normal.x;
    ct.geom.normal[1] = normal.y;
    ct.geom.normal[2] = normal.z;
    ct.geom.depth = depth;
    return add_contact_joint(ct, first, second);
}

mat3 body_rotation(dBodyID b)
{
    const dReal* r = dBodyGetRotation(b);   // 3 x 4, row-major
    mat3 m;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m.m[i][j] = static_cast<float>(r[i * 4 + j]);
    return m;
}

vec3 body_point_velocity(dBodyID b, vec3 p)
{
    if (!b)
        return {0, 0, 0};
    dVector3 v;
    dBodyGetPointVel(b, p.x, p.y, p.z, v);
    return vec3_from(v);
}

vec3 body_local_to_world(dBodyID b, vec3 p)
{
    dVector3 v;
    dBodyGetRelPointPos(b, p.x, p.y, p.z, v);
    return vec3_from(v);
}

vec3 body_vector_to_world(dBodyID b, vec3 p)
{
    dVector3 v;
    dBodyVectorToWorld(b, p.x, p.y, p.z, v);
    return vec3_from(v);
}

vec3 body_vector_from_world(dBodyID b, vec3 p)
{
    dVector3 v;
    dBodyVectorFromWorld(b, p.x, p.y, p.z, v);
    return vec3_from(v);
}

static bool accept(vec3 v)
{
    if (vec3_finite(v))
        return true;
    physics.rejected_values++;
    return false;
}

void body_set_position(dBodyID b, vec3 p)
{
    if (accept(p))
        dBodySetPosition(b, p.x, p.y, p.z);
}

void body_set_rotation(dBodyID b, const mat3& r)
{
    dMatrix3 m;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            if (!std::isfinite(r.m[i][j])) {
                physics.rejected_values++;
                return;
            }
            m[i * 4 + j] = r.m[i][j];
        }
        m[i * 4 + 3] = 0;
    }
    dBodySetRotation(b, m);
}

void body_set_velocity(dBodyID b, vec3 v)
{
    if (accept(v))
        dBodySetLinearVel(b, v.x, v.y, v.z);
}

void body_set_angular_velocity(dBodyID b, vec3 w)
{
    if (accept(w))
        dBodySetAngularVel(b, w.x, w.y, w.z);
}

void body_add_force(dBodyID b, vec3 f)
{
    if (b && accept(f))
        dBodyAddForce(b, f.x, f.y, f.z);
}

void body_add_force_at(dBodyID b, vec3 f, vec3 p)
{
    if (b && accept(f) && accept(p))
        dBodyAddForceAtPos(b, f.x, f.y, f.z, p.x, p.y, p.z);
}

void body_add_torque(dBodyID b, vec3 t)
{
    if (b && accept(t))
        dBodyAddTorque(b, t.x, t.y, t.z);
}

void body_add_rel_torque(dBodyID b, vec3 t)
{
    if (b && accept(t))
        dBodyAddRelTorque(b, t.x, t.y, t.z);
}

mat3 mat3_axis_angle(vec3 axis, float angle)
{
    vec3 a = vec3_normalize_or(axis, {0, 0, 0});
    if (a.x == 0 && a.y == 0 && a.z == 0)
        return mat3_identity();
    dMatrix3 r;
    dRFromAxisAndAngle(r, a.x, a.y, a.z, angle);
    mat3 m;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m.m[i][j] = static_cast<float>(r[i * 4 + j]);
    return m;
}
