// bike_body.cpp -- building, placing and stepping a bike's seven bodies.
//
// Owns: creation and release of the bodies and joints, their masses, the
// pose operations (reset, orient, move, freeze, velocities, remote
// extrapolation), the fork, shock and rider-mass springs, ropes, the
// joint-force balance, the order of the per-bike step, and the context
// record every bike reads (bike_env).  Needs: the shared world
// (physics_world.h), the catalogue, the setup module for creation-time
// values, and the step functions of the drivetrain, rider-control and
// contact modules.  Promises: a bike never hands ODE a non-finite value
// from here; the joint set as a whole exerts no net force on the bike.
//
// All geometry is read from the bike's own copy of its model.  Bodies are
// built with identity orientation in the build pose (front axle at z =
// 1.11, ground at y = 0), which is also the pose reset returns to, so every
// joint's rest references stay valid across resets.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/xmalloc.h"
#include "bike/bike.h"
#include "bike/crash.h"
#include "bike/physics_world.h"
#include "bike/setup.h"
#include "bike/shape.h"
#include "platform/log.h"
#include "terrain/height_field.h"

// ---- tunables ----------------------------------------------------------------
constexpr float h = static_cast<float>(tick_period);
constexpr int tyre_spheres = 16;                 // spheres the tyre's inertia is made of
constexpr float creation_distribution = 1.0f / 3.0f;
constexpr float rider_sphere_radius = 1.0f;      // ft
constexpr float rider_anchor_ahead = -50.0f;     // ft: z of the rider joint's anchor
constexpr float steering_lock = static_cast<float>(M_PI / 4);
constexpr float motor_push_speed_fork = 100.0f;  // ft/s target of the fork motor
constexpr float motor_push_speed_shock = 100.0f; // rad/s target of the shock motor
constexpr float air_spring_scale = 82.46169f;    // lbf at atmospheric pressure over the piston
constexpr float air_spring_exponent = 1.4f;
constexpr float top_out_span = 32.0f;            // force fades in over 1/32 of the travel
constexpr float rider_stiffness_mass = 4.6875f;  // rider mass at which the spring rates are as written
constexpr float rider_far_rate = 2500.0f;        // spring and damping beyond the rider's range
constexpr float rope_k = 5000.0f, rope_c = 500.0f;
constexpr float stall_speed = 5.0f;              // ft/s: slower than this after the start spoils the lap
constexpr int stall_grace_ticks = 2 * ticks_per_second;
constexpr int balance_first_tick = 2;            // joint feedback is valid from the third tick on
constexpr int max_extrapolation_ticks = 64;

static void log_message(const char* text) { log_printf("%s\n", text); }

bike_context bike_env = {0, 0, 0.0, false, &terrain, nullptr, log_message};

void bike_context_reset()
{
    bike_env = {};
    bike_env.ground = &terrain;
    bike_env.console_print = log_message;
}

void bike_message(const char* text)
{
    if (bike_env.console_print)
        bike_env.console_print(text);
    else
        log_message(text);
}

// ---- masses --------------------------------------------------------------------

// ODE wants every body's centre of mass at its origin; sums of offset parts
// leave rounding residue there, which is moved back (its inertia shift is
// of the order of the residue squared).
static void recentre(dMass* m) { dMassTranslate(m, -m->c[0], -m->c[1], -m->c[2]); }

static dMass wheel_mass(const wheel_spec& w)
{
    dMass m;
    dMassSetSphereTotal(&m, w.hub_mass, w.hub_radius);
    for (int i = 0; i < tyre_spheres; i++) {
        double a = i * M_PI / 8;   // from straight above the axle, in the y-z plane
        dMass s;
        dMassSetSphereTotal(&s, w.tyre_mass / tyre_spheres, w.section_radius);
        dMassTranslate(&s, 0, w.ring_radius * std::cos(a), w.ring_radius * std::sin(a));
        dMassAdd(&m, &s);
    }
    recentre(&m);
    return m;
}

static dMass fork_mass(const bike_model& md)
{
    dMass m;
    dMassSetZero(&m);
    for (int side = -1; side <= 1; side += 2) {
        dMass c;
        dMassSetCylinderTotal(&c, md.fork_mass / 2, 2, md.fork_spacing / 8, md.fork_length * 2 / 3);
        dMassTranslate(&c, side * md.fork_spacing / 2, 0, 0);
        dMassAdd(&m, &c);
    }
    double dy = md.fork_lower_position.y - md.steering_head_position.y;
    double dz = md.fork_lower_position.z - md.steering_head_position.z;
    double angle = dy != 0 ? std::atan(dz / dy) : M_PI / 2;
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, angle);
    dMassRotate(&m, r);
    recentre(&m);
    return m;
}

static dMass swingarm_mass(const bike_model& md)
{
    float w = md.frame_size.x;
    vec3 arm = vec3_sub(md.rear_wheel.axle_position, md.swingarm_pivot);
    float length = vec3_length(arm);
    dMass m;
    dMassSetZero(&m);
    for (int side = -1; side <= 1; side += 2) {
        dMass box;
        dMassSetBoxTotal(&box, md.swingarm_side_mass, w / 4, w / 4, length);
        dMassTranslate(&box, side * w / 2, 0, 0);
        dMassAdd(&m, &box);
    }
    double angle = arm.z != 0 ? -std::atan(arm.y / arm.z) : -M_PI / 2;
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, angle);
    dMassRotate(&m, r);
    recentre(&m);
    return m;
}

// Frame and rider mass share the rider's mass by the distribution d.
static void set_split_masses(bike* b, float d)
{
    const bike_model& md = b->model;
    dMass m;
    dMassSetBoxTotal(&m, md.frame_mass + (1 - d) * md.rider_mass, md.frame_size.x, md.frame_size.y,
                     md.frame_size.z);
    dBodySetMass(b->bodies[body_frame], &m);
    dMassSetSphereTotal(&m, d * md.rider_mass, rider_sphere_radius);
    dBodySetMass(b->bodies[body_rider], &m);
    b->rider_mass_distribution = d;
    float total = 0;
    for (dBodyID body : b->bodies) {
        dMass bm;
        dBodyGetMass(body, &bm);
        total += static_cast<float>(bm.mass);
    }
    b->total_mass = total;
}

void set_rider_mass_distribution(bike* b, float d)
{
    set_split_masses(b, std::isfinite(d) ? std::clamp(d, 0.33f, 0.5f) : 0.33f);
}

// ---- building ------------------------------------------------------------------

static vec3 build_position(const bike_model& m, int body)
{
    switch (body) {
    case body_frame: return m.frame_position;
    case body_front_wheel: return m.front_wheel.axle_position;
    case body_rear_wheel: return m.rear_wheel.axle_position;
    case body_fork_upper: return m.steering_head_position;
    case body_fork_lower: return m.fork_lower_position;
    case body_swingarm: return m.swingarm_position;
    default: return m.rider_position;
    }
}

static void build_bodies(bike* b)
{
    const bike_model& md = b->model;
    for (int i = 0; i < bike_body_count; i++) {
        b->bodies[i] = dBodyCreate(physics.world);
        body_set_position(b->bodies[i], build_position(md, i));
    }
    dMass m = wheel_mass(md.front_wheel);
    dBodySetMass(b->bodies[body_front_wheel], &m);
    b->wheel_mass[0] = static_cast<float>(m.mass);
    m = wheel_mass(md.rear_wheel);
    dBodySetMass(b->bodies[body_rear_wheel], &m);
    b->wheel_mass[1] = static_cast<float>(m.mass);
    m = fork_mass(md);
    dBodySetMass(b->bodies[body_fork_upper], &m);
    dBodySetMass(b->bodies[body_fork_lower], &m);   // both fork bodies carry the whole fork mass
    m = swingarm_mass(md);
    dBodySetMass(b->bodies[body_swingarm], &m);
    dBodySetFiniteRotationMode(b->bodies[body_front_wheel], 1);
    dBodySetFiniteRotationMode(b->bodies[body_rear_wheel], 1);
    set_split_masses(b, creation_distribution);
}

static dJointID hinge(bike* b, int first, int second, vec3 anchor, vec3 axis)
{
    dJointID j = dJointCreateHinge(physics.world, nullptr);
    dJointAttach(j, b->bodies[first], b->bodies[second]);
    dJointSetHingeAnchor(j, anchor.x, anchor.y, anchor.z);
    dJointSetHingeAxis(j, axis.x, axis.y, axis.z);
    return j;
}

// Rider mass to frame: the anchor 50 ft ahead of the frame, axis 1 along
// (0, 1, 1) with its rotation locked, axis 2 across; all taken through the
// frame's current pose so the joint can be attached again after a fall.
void attach_rider_joint(bike* b)
{
    const bike_model& md = b->model;
    dBodyID frame = b->bodies[body_frame];
    dJointID j = b->joints[joint_rider];
    vec3 local_anchor = vec3_sub({0, md.rider_position.y, rider_anchor_ahead}, md.frame_position);
    vec3 anchor = body_local_to_world(frame, local_anchor);
    vec3 a1 = body_vector_to_world(frame, {0, 1, 1});
    vec3 a2 = body_vector_to_world(frame, {1, 0, 0});
    dJointAttach(j, b->bodies[body_rider], frame);
    dJointSetHinge2Anchor(j, anchor.x, anchor.y, anchor.z);
    dVector3 axis1 = {a1.x, a1.y, a1.z, 0};
    dVector3 axis2 = {a2.x, a2.y, a2.z, 0};
    dJointSetHinge2Axes(j, axis1, axis2);
    dJointSetHinge2Param(j, dParamLoStop, 0);
    dJointSetHinge2Param(j, dParamHiStop, 0);
    b->rider_attached = true;
}

static void build_joints(bike* b)
{
    const bike_model& md = b->model;
    vec3 fork_axis = vec3_sub(md.steering_head_position, md.fork_lower_position);
    b->joints[joint_front_axle] = hinge(b, body_fork_lower, body_front_wheel, md.front_wheel.axle_position, {1, 0, 0});
    b->joints[joint_rear_axle] = hinge(b, body_swingarm, body_rear_wheel, md.rear_wheel.axle_position, {1, 0, 0});

    dJointID steer = hinge(b, body_fork_upper, body_frame, md.steering_head_position, fork_axis);
    dJointSetHingeParam(steer, dParamLoStop, -steering_lock);
    dJointSetHingeParam(steer, dParamHiStop, steering_lock);
    b->joints[joint_steering] = steer;

    dJointID fork = dJointCreateSlider(physics.world, nullptr);
    dJointAttach(fork, b->bodies[body_fork_upper], b->bodies[body_fork_lower]);
    dJointSetSliderAxis(fork, fork_axis.x, fork_axis.y, fork_axis.z);
    dJointSetSliderParam(fork, dParamLoStop, -md.fork_travel);
    dJointSetSliderParam(fork, dParamHiStop, 0);
    dJointSetSliderParam(fork, dParamBounce, 0);
    b->joints[joint_fork] = fork;

    dJointID arm = hinge(b, body_swingarm, body_frame, md.swingarm_pivot, {1, 0, 0});
    dJointSetHingeParam(arm, dParamLoStop, -md.swingarm_travel);
    dJointSetHingeParam(arm, dParamHiStop, 0);
    dJointSetHingeParam(arm, dParamBounce, 0);
    b->joints[joint_swingarm] = arm;

    b->joints[joint_rider] = dJointCreateHinge2(physics.world, nullptr);
    attach_rider_joint(b);

    for (int i = 0; i < bike_joint_count; i++)
        dJointSetFeedback(b->joints[i], &b->joint_feedback[i]);
}

static void init_contact(wheel_contact* wc, dBodyID body, const wheel_spec& w)
{
    *wc = {};
    wc->body = body;
    wc->axle_local = {1, 0, 0};
    wc->ring_radius = w.ring_radius;
    wc->section_radius = w.section_radius;
}

bike* create_bike(const char* model_name, int slot, const char* number, const char* gear_texture,
                  const char* helmet_texture, const char* paint_texture, const char* wheel_texture)
{
    if (!physics.world) {
        log_printf("Can't create a bike without the physics world\n");
        return nullptr;
    }
    bike* b = static_cast<bike*>(xcalloc(1, sizeof(bike)));
    b->model = *select_bike_model(model_name);
    b->slot = slot;
    b->engine_inertia = b->model.engine_inertia;
    bike_texture_choice chosen = {paint_texture, wheel_texture, gear_texture, helmet_texture};
    load_bike_assets(&b->model, number, chosen, &b->assets);
    build_bodies(b);
    build_joints(b);
    init_contact(&b->front_contact, b->bodies[body_front_wheel], b->model.front_wheel);
    init_contact(&b->rear_contact, b->bodies[body_rear_wheel], b->model.rear_wheel);
    attach_bike_shapes(b);
    setup_creation_values(b);
    reset_bike_pose(b);
    return b;
}

void free_bike(bike* b)
{
    if (!b)
        return;
    for (dJointID j : b->joints)
        if (j)
            dJointDestroy(j);
    for (dBodyID body : b->bodies)
        if (body)
            dBodyDestroy(body);
    release_bike_shapes(b);
    free(b->gate_ticks);   // passage history grown by race control
    free(b);
}

// ---- pose operations ----------------------------------------------------------

static void clear_state(bike* b)
{
    b->steer = b->lean = b->sit_dab = b->back_up = 0;
    b->throttle = b->clutch = b->front_brake = b->rear_brake = 0;
    b->gear = 0;
    b->last_shift_input = 0;
    b->engine_speed = 0;
    b->driveline_angle = 0;
    b->crash_timer = 0;
    b->crash_count = 0;
    b->last_bike_contact_tick = -1;
    for (crash_foot& f : b->feet)
        f = {};
    b->knock_timer = 0;
    b->landing_gain = 1;
    b->dab_extension = 0;
    b->lean_indicator = 0;
    b->realign_refused = false;
    b->lap_spoiled = false;
    b->lap_counter = 0;
    for (wheel_contact* wc : {&b->front_contact, &b->rear_contact}) {
        wc->point = wc->slip_velocity = wc->normal = {0, 0, 0};
        wc->load = 0;
        wc->feedback = {};
    }
    for (vec3& v : b->velocity_history)
        v = {0, 0, 0};
    for (dJointFeedback& f : b->joint_feedback)
        f = {};
}

void reset_bike_pose(bike* b)
{
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b->bodies[i];
        body_set_position(body, build_position(b->model, i));
        body_set_rotation(body, mat3_identity());
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    dBodyID frame = b->bodies[body_frame];
    dBodyID rider = b->bodies[body_rider];
    vec3 offset = vec3_sub(b->model.rider_position, b->model.frame_position);
    body_set_position(rider, body_local_to_world(frame, offset));
    body_set_rotation(rider, body_rotation(frame));
    attach_rider_joint(b);
    for (int i = 0; i < bike_body_count; i++)
        b->anchor_positions[i] = body_position(b->bodies[i]);
    clear_state(b);
}

void move_bike(bike* b, float dx, float dy, float dz)
{
    for (dBodyID body : b->bodies)
        body_set_position(body, vec3_add(body_position(body), {dx, dy, dz}));
}

void orient_bike(bike* b, float ax, float ay, float az, float angle)
{
    mat3 r = mat3_axis_angle({ax, ay, az}, angle);
    for (dBodyID body : b->bodies) {
        body_set_rotation(body, r);
        body_set_position(body, mat3_apply(r, body_position(body)));
        body_set_velocity(body, mat3_apply(r, body_velocity(body)));
        body_set_angular_velocity(body, mat3_apply(r, body_angular_velocity(body)));
    }
}

void freeze_bike(bike* b)
{
    for (dBodyID body : b->bodies)
        dBodyDisable(body);
}

void unfreeze_bike(bike* b)
{
    for (dBodyID body : b->bodies)
        dBodyEnable(body);
}

void save_bike_velocities(bike* b)
{
    for (int i = 0; i < bike_body_count; i++) {
        b->saved_linear[i] = body_velocity(b->bodies[i]);
        b->saved_angular[i] = body_angular_velocity(b->bodies[i]);
    }
}

void restore_bike_velocities(bike* b)
{
    for (int i = 0; i < bike_body_count; i++) {
        body_set_velocity(b->bodies[i], b->saved_linear[i]);
        body_set_angular_velocity(b->bodies[i], b->saved_angular[i]);
    }
}

void extrapolate_bike(bike* b, int ticks)
{
    ticks = std::clamp(ticks, 0, max_extrapolation_ticks);
    dBodyID frame = b->bodies[body_frame];
    vec3 move = vec3_scale(body_velocity(frame), ticks * h);
    if (bike_env.ground && bike_env.ground->heights) {
        // The low point is taken at the anchor pose, which the bike is moved
        // from, so repeated calls don't add up.
        vec3 below = body_vector_to_world(frame, {0, -b->model.rear_wheel.ring_radius, 0});
        vec3 low = vec3_add(vec3_add(b->anchor_positions[body_frame], below), move);
        float ground = terrain_height(*bike_env.ground, low.x, low.z);
        if (ground > low.y)
            move.y += ground - low.y;
    }
    for (int i = 0; i < bike_body_count; i++)
        body_set_position(b->bodies[i], vec3_add(b->anchor_positions[i], move));
}

// ---- suspension ------------------------------------------------------------------

float fork_force(const bike* b, float s, float v)
{
    float travel = b->model.fork_travel;
    float c = v >= 0 ? b->fork_rebound_damping : b->fork_compression_damping;
    float spring = (b->fork_preload - s) * b->fork_spring_rate - v * c;
    float x = std::clamp(-s, 0.0f, travel);
    float air = b->fork_air_length;
    float column = travel + air;
    float remaining = column - x;
    float pressure = remaining > 0 ? air_spring_scale * std::pow(column / remaining, air_spring_exponent) - air_spring_scale
                                   : 0.0f;
    float q = -top_out_span * s / travel;
    if (!(q >= 0))
        return 0;
    return (spring + pressure) * std::min(q, 1.0f);
}

float shock_torque(const bike* b, float theta, float omega)
{
    const bike_model& md = b->model;
    float t = md.swingarm_travel;
    float a = md.linkage_ratio_extended, bb = md.linkage_ratio_compressed;
    float f = -theta / t;
    float x = (bb - a) * f / t;
    float u = a * f + x * f / 2;
    float leverage = a + x;
    float c = omega >= 0 ? b->shock_rebound_damping : b->shock_compression_damping;
    float tau = leverage * b->shock_spring_rate * (u + b->shock_preload) - leverage * leverage * c * omega;
    float q = std::clamp(-top_out_span * theta / t, 0.0f, 1.0f);
    return tau * q;
}

static void drive_motor(dJointID j, bool slider, float push_speed, float amount)
{
    double vel = amount >= 0 ? push_speed : 0;
    double fmax = std::isfinite(amount) ? std::fabs(amount) : 0;
    if (slider) {
        dJointSetSliderParam(j, dParamVel, vel);
        dJointSetSliderParam(j, dParamFMax, fmax);
    } else {
        dJointSetHingeParam(j, dParamVel, vel);
        dJointSetHingeParam(j, dParamFMax, fmax);
    }
}

void fork_and_shock(bike* b)
{
    dJointID fork = b->joints[joint_fork];
    float s = static_cast<float>(dJointGetSliderPosition(fork));
    float v = static_cast<float>(dJointGetSliderPositionRate(fork));
    drive_motor(fork, true, motor_push_speed_fork, fork_force(b, s, v));
    dJointID arm = b->joints[joint_swingarm];
    float theta = static_cast<float>(dJointGetHingeAngle(arm));
    float omega = static_cast<float>(dJointGetHingeAngleRate(arm));
    drive_motor(arm, false, motor_push_speed_shock, shock_torque(b, theta, omega));
}

// ---- rider mass springs -------------------------------------------------------

static void rider_spring(bike* b, vec3 p, vec3 axis, float signed_depth, float k, float c)
{
    vec3 normal = signed_depth >= 0 ? axis : vec3_scale(axis, -1);
    soft_contact(b->bodies[body_rider], b->bodies[body_frame], p, normal, std::fabs(signed_depth), k, c);
}

void rider_mass_springs(bike* b)
{
    const bike_model& md = b->model;
    dBodyID frame = b->bodies[body_frame];
    dBodyID rider = b->bodies[body_rider];
    vec3 y_axis = body_vector_to_world(frame, {0, 1, 0});
    vec3 z_axis = body_vector_to_world(frame, {0, 0, 1});
    vec3 p = body_position(rider);
    vec3 anchor = body_local_to_world(frame, vec3_sub(md.rider_position, md.frame_position));
    vec3 e = vec3_sub(anchor, p);
    float ey = vec3_dot(e, y_axis), ez = vec3_dot(e, z_axis);
    float s = b->sit_dab, l = b->lean;
    float ms = md.rider_mass / rider_stiffness_mass;

    // Fore-aft: leaning back moves the target back; crouching moves it with the drop.
    float target = std::clamp((0.5f * s + 0.5f) * ey - l, -0.75f, 0.75f);
    float error = ez - target;
    float k, c;
    if (ez >= -0.75f && ez <= 0.75f) {
        k = (b->rider_forward_spring * 600 + std::fabs(error) * 100) * ms;
        c = 0;
    } else {
        k = c = rider_far_rate * ms;
    }
    if (k > 0)
        rider_spring(b, p, z_axis, error, k, c);

    // Vertical: the rider sits 0.5 ft lower at full sit input.
    float depth = ey + 0.125f - 0.5f * s;
    if (ey >= -0.75f && ey <= 0.5f) {
        k = b->rider_vertical_spring * 400 * ms;
        c = b->rider_vertical_damping * 100 * ms;
    } else {
        k = c = rider_far_rate * ms;
    }
    if (k + c > 0)
        rider_spring(b, p, y_axis, depth, k, c);

    // The hinge-2 suspension along axis 1 is a pure damper.
    dJointID j = b->joints[joint_rider];
    dJointSetHinge2Param(j, dParamSuspensionERP, 0);
    dJointSetHinge2Param(j, dParamSuspensionCFM, 1.0 / ((b->rider_forward_damping * 30 + 5) * ms));
}

void bike_rope(dBodyID ba, vec3 a, dBodyID bb, vec3 pb, float length)
{
    vec3 wa = ba ? body_local_to_world(ba, a) : a;
    vec3 wb = bb ? body_local_to_world(bb, pb) : pb;
    vec3 d = vec3_sub(wb, wa);
    float dist = vec3_length(d);
    if (dist > length)
        soft_contact(ba, bb, wa, d, dist - length, rope_k, rope_c);
}

// ---- joint-force balance -----------------------------------------------------------

void joint_force_balance(bike* b)
{
    if (bike_env.tick < balance_first_tick || bike_crashed(b))
        return;
    for (dJointID j : b->joints)
        if (!dJointGetBody(j, 0) || !dJointGetBody(j, 1))
            return;
    vec3 pf = body_position(b->bodies[body_frame]);
    vec3 force = {0, 0, 0}, torque = {0, 0, 0};
    for (int i = 0; i < bike_joint_count; i++) {
        const dJointFeedback& fb = b->joint_feedback[i];
        vec3 f1 = vec3_from(fb.f1), f2 = vec3_from(fb.f2);
        vec3 r1 = vec3_sub(body_position(dJointGetBody(b->joints[i], 0)), pf);
        vec3 r2 = vec3_sub(body_position(dJointGetBody(b->joints[i], 1)), pf);
        force = vec3_add(force, vec3_add(f1, f2));
        torque = vec3_add(torque, vec3_add(vec3_add(vec3_from(fb.t1), vec3_cross(r1, f1)),
                                           vec3_add(vec3_from(fb.t2), vec3_cross(r2, f2))));
    }
    body_add_force(b->bodies[body_frame], vec3_scale(force, -1));
    body_add_torque(b->bodies[body_frame], vec3_scale(torque, -1));
}

// ---- contacts ----------------------------------------------------------------------

bool bike_wheel_contacts(bike* b, const height_field& hf)
{
    float grip = (b->options & option_arcade) ? arcade_grip_factor(frame_lean_angle(b)) : 1.0f;
    bool front = wheel_terrain_contact(hf, &b->front_contact, grip);
    bool rear = wheel_terrain_contact(hf, &b->rear_contact, grip);
    return front || rear;
}

// ---- the step ------------------------------------------------------------------------

static void zero_forces(bike* b)
{
    for (dBodyID body : b->bodies) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void bike_step(bike* b, bool driven)
{
    dBodyID frame = b->bodies[body_frame];
    if (!b->lap_spoiled && bike_env.tick > bike_env.race_start_tick + stall_grace_ticks &&
        vec3_length(body_velocity(frame)) < stall_speed)
        b->lap_spoiled = true;
    if (!driven) {
        zero_forces(b);
        return;
    }
    b->knock_timer = b->knock_timer > 1 ? b->knock_timer - 1 : 0;
    crash_step(b);   // crash.cpp: checks, ropes, recovery
    float sit_dab = b->sit_dab, front_brake = b->front_brake, rear_brake = b->rear_brake;
    backup_and_auto_dab(b);
    if (b->rider_attached)   // a loose rider is held by the crash ropes instead
        rider_mass_springs(b);
    fork_and_shock(b);
    steering_control(b);
    drivetrain_step(b);
    brakes_step(b);
    steering_damping(b);
    joint_force_balance(b);
    rider_body_forces(b);
    b->sit_dab = sit_dab;
    b->front_brake = front_brake;
    b->rear_brake = rear_brake;
    feet_step(b);    // crash.cpp: dab retraction, a fallen rider's feet
    b->velocity_history[static_cast<unsigned>(bike_env.tick) % velocity_history_count] =
        body_velocity(b->bodies[body_rider]);
}
