// drivetrain.cpp -- engine torque, gear changes, clutch coupling, brakes.
//
// Contract in drivetrain.h.  All torques go to ODE in the bodies' own axes
// (body_add_rel_torque), so the drive pushes the rear wheel about its axle and
// reacts on the frame about the frame's lateral axis whatever the pose.
#include "bike/drivetrain.h"

#include <cmath>

#include "base/tick.h"
#include "bike/physics_world.h"

static constexpr double rad_s_to_rpm = 9.549296585513721;   // 60 / (2 pi)
static constexpr double pi = 3.14159265358979323846;
static constexpr float step_h = float(tick_period);
static constexpr int top_gear = gear_slots - 1;

static constexpr float wheelie_pitch_rate = -0.03125f;   // rad/s about frame x: below it the nose is already dropping
static constexpr float slip_grip_limit = 2.0f;            // ft/s: a wheel sliding faster counts as locked / spinning
static constexpr int shift_period = 32;                   // ticks between automatic shift decisions
static constexpr float auto_shift_min_load = -0.01f;      // rad of swingarm: rear suspension loaded
static constexpr float clutch_slip_band = 2000.0f;        // rpm over which the automatic clutch engages
static constexpr float damping_torque_limit = 500.0f;     // ft lbf of the coupling's damper part
static constexpr float coupling_limit = 1000000.0f;       // ft lbf: keeps a wild windup finite
static constexpr float windup_limit = float(pi / 4);      // rad of windup at full engagement

static float clampf(float v, float lo, float hi)
{
    if (!(v >= lo))   // also NaN
        return lo;
    return v > hi ? hi : v;
}

// Inputs: NaN or infinite means "nothing", which is 0 for all of these.
static float clamp_unit(float v)
{
    return std::isfinite(v) ? clampf(v, 0.0f, 1.0f) : 0.0f;
}

// Into (-pi, pi]; non-finite angles restart at 0 rather than poison the
// engine state.
static float wrap_angle(double a)
{
    if (!std::isfinite(a))
        return 0.0f;
    double r = std::fmod(a + pi, 2 * pi);
    if (r <= 0)
        r += 2 * pi;
    return float(r - pi);
}

static bool on_ground(const wheel_contact& wc) { return wc.load > 0.0f; }

static float slip_speed_sq(const wheel_contact& wc)
{
    return vec3_dot(wc.slip_velocity, wc.slip_velocity);
}

// Steps down past gears the model lacks (ratio <= 0) after a clamp.
static int usable_gear(const bike* b, int g)
{
    if (g < 0)
        g = 0;
    if (g > top_gear)
        g = top_gear;
    while (g > 0 && !(b->model.gear_ratios[g] > 0.0f))
        g--;
    return g;
}

// ---- inputs ----------------------------------------------------------------

void set_throttle(bike* b, float value)
{
    b->throttle = bike_crashed(b) ? 0.0f : clamp_unit(value);
}

void set_clutch(bike* b, float value) { b->clutch = clamp_unit(value); }
void set_front_brake(bike* b, float value) { b->front_brake = clamp_unit(value); }
void set_rear_brake(bike* b, float value) { b->rear_brake = clamp_unit(value); }

void shift(bike* b, int input)
{
    if (bike_crashed(b) || input < -1 || input > 1 || input == b->last_shift_input)
        return;
    b->last_shift_input = input;
    b->gear = usable_gear(b, b->gear + input);
}

// ---- engine ----------------------------------------------------------------

float engine_rpm(const bike* b)
{
    return float(b->engine_speed * rad_s_to_rpm);
}

int gear(const bike* b) { return b->gear; }

float engine_torque_at(const bike_model& m, double rpm, float throttle)
{
    // rpm / 500 rather than rpm * 0.002 in float: grid points stay exact.
    double x = rpm / double(torque_rpm_step);
    if (!(x >= 0))
        x = 0;
    if (x > torque_points - 1)
        x = torque_points - 1;
    int i = int(std::floor(x));
    int next = i + 1 < torque_points ? i + 1 : torque_points - 1;
    float phi = float(x - i);
    const float* closed_t = m.closed_throttle_torque;
    const float* open_t = m.open_throttle_torque;
    float closed = closed_t[i] + (closed_t[next] - closed_t[i]) * phi;
    float open = open_t[i] + (open_t[next] - open_t[i]) * phi;
    return closed + (open - closed) * clamp_unit(throttle);
}

// Frame angular velocity about the frame's own x axis (nose-up positive
// when the rear wheel drives it); 0 without a frame body.
static float frame_pitch_rate(const bike* b)
{
    dBodyID frame = b->bodies[body_frame];
    if (!frame)
        return 0.0f;
    return body_vector_from_world(frame, body_angular_velocity(frame)).x;
}

float engine_torque(const bike* b)
{
    float t = engine_torque_at(b->model, double(b->engine_speed) * rad_s_to_rpm, b->throttle);
    // Cut the power while wheeling: only driving torque goes, engine
    // braking still helps bring the front down.
    if ((b->options & option_wheelie_cut) && !on_ground(b->front_contact) && on_ground(b->rear_contact)
        && frame_pitch_rate(b) > wheelie_pitch_rate && t >= 0.0f)
        t = 0.0f;
    return t;
}

float drive_reduction(const bike* b)
{
    int g = usable_gear(b, b->gear);
    return b->model.gear_ratios[g] * b->model.primary_ratio * b->final_drive;
}

// ---- gears -----------------------------------------------------------------

int auto_shift_gear(const bike* b, float rear_axle_rate)
{
    double wheel_rpm = double(rear_axle_rate) * drive_reduction(b) * rad_s_to_rpm;
    int g = b->gear;
    if (wheel_rpm < b->model.shift_down_rpm)
        g--;
    else if (wheel_rpm > b->model.shift_up_rpm)
        g++;
    return usable_gear(b, g);
}

static void auto_shift(bike* b)
{
    if (!(b->options & option_auto_shift) || bike_env.tick % shift_period != 0)
        return;
    if (!b->joints[joint_swingarm] || !b->joints[joint_rear_axle])
        return;
    if (!(dJointGetHingeAngle(b->joints[joint_swingarm]) < auto_shift_min_load))
        return;
    // A spinning wheel says nothing about road speed.
    if (on_ground(b->rear_contact) && slip_speed_sq(b->rear_contact) > slip_grip_limit * slip_grip_limit)
        return;
    b->gear = auto_shift_gear(b, float(dJointGetHingeAngleRate(b->joints[joint_rear_axle])));
}

// ---- clutch and drive --------------------------------------------------------

float auto_clutch_engagement(const bike* b)
{
    float r = engine_rpm(b);
    if (r > b->auto_clutch_rpm + clutch_slip_band)
        return b->clutch;
    float e = clampf((r - b->auto_clutch_rpm) / clutch_slip_band, 0.0f, 1.0f);
    return b->clutch < e ? b->clutch : e;
}

clutch_coupling clutch_step(const bike* b, float wheel_angle, float wheel_rate)
{
    clutch_coupling out;
    float g = drive_reduction(b);
    float windup = wrap_angle(double(b->driveline_angle) - wheel_angle);
    float slip = (b->engine_speed - wheel_rate * g) * b->model.clutch_damping;
    float c = clampf(slip, -damping_torque_limit, damping_torque_limit) + windup * b->model.clutch_stiffness;
    c = clampf(c, -coupling_limit, coupling_limit);
    // Engine braking is not released by the automatic clutch.
    float e = c >= 0.0f ? auto_clutch_engagement(b) : b->clutch;
    float limit = e * windup_limit;
    float driveline = b->driveline_angle;
    if (windup > limit)
        driveline = wrap_angle(double(wheel_angle) + limit);
    else if (windup < -limit)
        driveline = wrap_angle(double(wheel_angle) - limit);
    out.engagement = e;
    out.coupling = c;
    out.torque = e * e * c;
    out.driveline_angle = driveline;
    return out;
}

static void clutch_and_drive(bike* b)
{
    dJointID axle = b->joints[joint_rear_axle];
    dBodyID wheel = b->bodies[body_rear_wheel], frame = b->bodies[body_frame];
    float g = drive_reduction(b);
    if (!axle || !wheel || !frame || !(g > 0.0f) || !std::isfinite(g) || !(b->engine_inertia > 0.0f))
        return;
    clutch_coupling cc = clutch_step(b, float(dJointGetHingeAngle(axle)), float(dJointGetHingeAngleRate(axle)));
    b->driveline_angle = cc.driveline_angle;
    // Forward rolling is negative spin about the wheel's x axis.
    body_add_rel_torque(wheel, {-cc.torque, 0, 0});
    body_add_rel_torque(frame, {cc.torque, 0, 0});

    float alpha = (engine_torque(b) - cc.torque / g) / b->engine_inertia;
    float speed = b->engine_speed + step_h * alpha;
    b->engine_speed = std::isfinite(speed) ? speed : 0.0f;
    b->driveline_angle = wrap_angle(double(b->driveline_angle) + double(step_h) * b->engine_speed / g);
}

void drivetrain_step(bike* b)
{
    if (bike_crashed(b))
        b->throttle = 0.0f;
    auto_shift(b);
    clutch_and_drive(b);
}

// ---- brakes ----------------------------------------------------------------

static bool sliding(const wheel_contact& wc)
{
    return on_ground(wc) && slip_speed_sq(wc) > slip_grip_limit * slip_grip_limit;
}

float front_brake_limit(const bike* b)
{
    if ((b->options & option_antilock_front) && sliding(b->front_contact))
        return 0.0f;
    // Releasing the front brake while the rear is up stops a stoppie.
    if ((b->options & option_stoppie_stop) && on_ground(b->front_contact) && !on_ground(b->rear_contact))
        return 0.0f;
    return b->front_brake_torque * clamp_unit(b->front_brake);
}

float rear_brake_limit(const bike* b)
{
    if ((b->options & option_antilock_rear) && sliding(b->rear_contact))
        return 0.0f;
    return b->rear_brake_torque * clamp_unit(b->rear_brake);
}

static void set_axle_motor(dJointID axle, float torque)
{
    if (!axle)
        return;
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, std::isfinite(torque) && torque > 0.0f ? torque : 0.0f);
}

void brakes_step(bike* b)
{
    set_axle_motor(b->joints[joint_front_axle], front_brake_limit(b));
    set_axle_motor(b->joints[joint_rear_axle], rear_brake_limit(b));
}
