// Engine torque, gear changes, the clutch coupling and the brake limits.
// Most cases work on a bike record without bodies (the parts that read ODE
// are given the wheel state directly); the drive test steps a real bike.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "bike/bike.h"
#include "bike/drivetrain.h"
#include "bike/physics_world.h"
#include "bike/setup.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr float rpm_to_rad_s = float(2 * pi / 60);

// A bike record of the named model with its creation-time values and no
// bodies.
std::unique_ptr<bike> bare_bike(const char* model = "crf450(2013)")
{
    auto b = std::make_unique<bike>();
    const bike_model* m = find_bike_model(model);
    EXPECT_NE(m, nullptr) << model;
    b->model = *m;
    b->engine_inertia = m->engine_inertia;
    b->landing_gain = 1;
    b->clutch = 1;
    setup_creation_values(b.get());
    return b;
}

void set_wheel(wheel_contact* wc, float load, float slip)
{
    wc->load = load;
    wc->slip_velocity = {slip, 0, 0};
}

TEST(engine_torque, table_interpolation_and_ends)
{
    const bike_model& crf = *find_bike_model("crf450(2013)");
    struct row { double rpm; float throttle; float want; };
    const row rows[] = {
        {12000, 1, 0},            // the open table's zero near the redline, exactly
        {12500, 1, -10},          // negative beyond it
        {7000, 1, 31},            // the peak grid point
        {7250, 1, 30.95f},        // halfway to the next point
        {0, 0, 2},                // closed throttle pushes a stopped engine
        {1500, 0, 0},             // ... toward 1500 rpm
        {7000, 0.5f, 12.5f},      // blend of closed -6 and open 31
        {24500, 1, -34},          // last entry
        {30000, 1, -34},          // beyond the table: entry 49 at both ends
        {30000, 0, -23},
        {-500, 1, 5},             // running backwards reads the first entry
    };
    for (const row& r : rows)
        EXPECT_FLOAT_EQ(engine_torque_at(crf, r.rpm, r.throttle), r.want) << r.rpm << " rpm, throttle " << r.throttle;
    EXPECT_EQ(engine_torque_at(crf, 12000, 1), 0.0f);
}

TEST(engine_torque, from_engine_speed_and_wheelie_cut)
{
    auto b = bare_bike();
    b->throttle = 1;
    b->engine_speed = 12000 * rpm_to_rad_s;
    EXPECT_NEAR(engine_rpm(b.get()), 12000, 0.01);
    EXPECT_NEAR(engine_torque(b.get()), 0, 1e-3);

    // Wheeling (front up, rear down, nose not dropping): driving torque is cut,
    // engine braking is not.
    b->engine_speed = 7000 * rpm_to_rad_s;
    b->options |= option_wheelie_cut;
    set_wheel(&b->front_contact, 0, 0);
    set_wheel(&b->rear_contact, 0.1f, 0);
    EXPECT_EQ(engine_torque(b.get()), 0.0f);
    b->engine_speed = 13000 * rpm_to_rad_s;
    EXPECT_LT(engine_torque(b.get()), 0.0f);
    b->engine_speed = 7000 * rpm_to_rad_s;
    set_wheel(&b->front_contact, 0.1f, 0);
    EXPECT_NEAR(engine_torque(b.get()), 31, 1e-3);
    set_wheel(&b->front_contact, 0, 0);
    b->options &= ~option_wheelie_cut;
    EXPECT_NEAR(engine_torque(b.get()), 31, 1e-3);
}

TEST(gears, manual_shift_is_edge_triggered)
{
    auto b = bare_bike();
    shift(b.get(), 1);
    shift(b.get(), 1);   // still held
    shift(b.get(), 1);
    EXPECT_EQ(gear(b.get()), 1);
    shift(b.get(), 0);
    shift(b.get(), 1);
    EXPECT_EQ(gear(b.get()), 2);
    shift(b.get(), 5);   // not an input
    EXPECT_EQ(gear(b.get()), 2);
    shift(b.get(), -1);
    shift(b.get(), 0);
    shift(b.get(), -1);
    shift(b.get(), 0);
    shift(b.get(), -1);  // below first stays first
    EXPECT_EQ(gear(b.get()), 0);

    b->crash_timer = 10;
    shift(b.get(), 0);
    shift(b.get(), 1);
    EXPECT_EQ(gear(b.get()), 0);
}

TEST(gears, top_gear_and_missing_sixth)
{
    struct row { const char* model; int want_top; };
    const row rows[] = {{"crf450(2013)", 4}, {"kx125", 5}};
    for (const row& r : rows) {
        auto b = bare_bike(r.model);
        for (int i = 0; i < 8; i++) {
            shift(b.get(), 1);
            shift(b.get(), 0);
        }
        EXPECT_EQ(gear(b.get()), r.want_top) << r.model;
        // Automatic shifting at a wheel speed far above shift-up stays there too.
        EXPECT_EQ(auto_shift_gear(b.get(), 1000), r.want_top) << r.model;
    }
}

TEST(gears, automatic_choice_by_wheel_rpm)
{
    auto b = bare_bike();
    b->gear = 2;
    float per_rpm = 1.0f / (drive_reduction(b.get()) * float(60 / (2 * pi)));   // axle rate per engine rpm
    EXPECT_EQ(auto_shift_gear(b.get(), 5000 * per_rpm), 1);    // below 6000
    EXPECT_EQ(auto_shift_gear(b.get(), 8000 * per_rpm), 2);
    EXPECT_EQ(auto_shift_gear(b.get(), 11000 * per_rpm), 3);   // above 10500
    b->gear = 0;
    EXPECT_EQ(auto_shift_gear(b.get(), 0), 0);
}

TEST(clutch, automatic_engagement)
{
    auto b = bare_bike();
    struct row { float auto_rpm; float clutch; float rpm; float want; };
    const row rows[] = {
        {0, 1, 0, 0},            // stopped engine: fully slipping
        {0, 1, 1000, 0.5f},      // halfway through the 2000 rpm band
        {0, 1, 1999, 0.9995f},
        {0, 1, 2500, 1},         // beyond: the lever alone decides
        {0, 0.3f, 1900, 0.3f},   // never more than the lever
        {0, 0.3f, 2500, 0.3f},
        {5000, 1, 6000, 0.5f},   // the creation default
    };
    for (const row& r : rows) {
        b->auto_clutch_rpm = r.auto_rpm;
        b->clutch = r.clutch;
        b->engine_speed = r.rpm * rpm_to_rad_s;
        EXPECT_NEAR(auto_clutch_engagement(b.get()), r.want, 1e-4) << r.rpm << " rpm";
    }
}

TEST(clutch, windup_limit_and_engine_braking)
{
    auto b = bare_bike();
    b->auto_clutch_rpm = 0;
    b->engine_speed = 5000 * rpm_to_rad_s;
    float g = drive_reduction(b.get());
    float wheel_rate = b->engine_speed / g;   // no slip

    b->driveline_angle = 1.0f;   // wound up beyond pi/4
    clutch_coupling c = clutch_step(b.get(), 0, wheel_rate);
    EXPECT_FLOAT_EQ(c.engagement, 1);
    EXPECT_FLOAT_EQ(c.driveline_angle, float(pi / 4));
    EXPECT_NEAR(c.coupling, 1.0f * b->model.clutch_stiffness, 1e-2);   // spring of the unlimited windup
    EXPECT_FLOAT_EQ(c.torque, c.coupling);

    b->driveline_angle = -1.0f;
    b->engine_speed = 1000 * rpm_to_rad_s;   // auto clutch half in; but C < 0 uses the lever
    c = clutch_step(b.get(), 0, b->engine_speed / g);
    EXPECT_LT(c.coupling, 0);
    EXPECT_FLOAT_EQ(c.engagement, 1);
    EXPECT_FLOAT_EQ(c.driveline_angle, float(-pi / 4));

    b->driveline_angle = 1.0f;   // driving at half engagement: limit pi/8, e^2 transmission
    c = clutch_step(b.get(), 0, b->engine_speed / g);
    EXPECT_FLOAT_EQ(c.engagement, 0.5f);
    EXPECT_FLOAT_EQ(c.driveline_angle, float(pi / 8));
    EXPECT_FLOAT_EQ(c.torque, 0.25f * c.coupling);

    // Windup is measured across the wrap: 3 and -3 are 0.28 rad apart.
    b->engine_speed = 5000 * rpm_to_rad_s;
    b->driveline_angle = 3.0f;
    c = clutch_step(b.get(), -3.0f, b->engine_speed / g);
    EXPECT_NEAR(c.coupling, (6.0f - 2 * pi) * b->model.clutch_stiffness, 1e-1);
    EXPECT_FLOAT_EQ(c.driveline_angle, 3.0f);

    // The damper part alone is held to +-500 ft lbf.
    b->engine_speed = 8000 * rpm_to_rad_s;
    b->driveline_angle = 0;
    c = clutch_step(b.get(), 0, 0);
    EXPECT_FLOAT_EQ(c.coupling, 500);
}

TEST(brakes, antilock_and_stoppie_prevention)
{
    struct row {
        uint8_t options;
        float front_load, front_slip, rear_load, rear_slip;
        float want_front, want_rear;
    };
    const uint8_t abs_f = option_antilock_front, abs_r = option_antilock_rear, stoppie = option_stoppie_stop;
    const row rows[] = {
        {0, 0.1f, 5, 0.1f, 5, 250, 250},              // plain brakes ignore slip
        {abs_f, 0.1f, 2.5f, 0.1f, 5, 0, 250},         // front sliding beyond 2 ft/s: released
        {abs_f, 0.1f, 1.5f, 0.1f, 0, 250, 250},       // gripping: full torque
        {abs_f, 0, 9, 0.1f, 0, 250, 250},             // in the air it may lock
        {abs_r, 0.1f, 0, 0.1f, 3, 250, 0},
        {stoppie, 0.1f, 0, 0, 0, 0, 250},             // rear up, front down: no front brake
        {stoppie, 0.1f, 0, 0.1f, 0, 250, 250},
        {stoppie, 0, 0, 0, 0, 250, 250},              // both up
    };
    for (const row& r : rows) {
        auto b = bare_bike();
        b->options = r.options;
        b->front_brake = 1;
        b->rear_brake = 1;
        set_wheel(&b->front_contact, r.front_load, r.front_slip);
        set_wheel(&b->rear_contact, r.rear_load, r.rear_slip);
        EXPECT_FLOAT_EQ(front_brake_limit(b.get()), r.want_front) << int(r.options);
        EXPECT_FLOAT_EQ(rear_brake_limit(b.get()), r.want_rear) << int(r.options);
    }
}

TEST(inputs, setters_clamp_and_crash_cuts_throttle)
{
    auto b = bare_bike();
    set_throttle(b.get(), 2);
    set_clutch(b.get(), -1);
    set_front_brake(b.get(), NAN);
    set_rear_brake(b.get(), 0.25f);
    EXPECT_EQ(b->throttle, 1);
    EXPECT_EQ(b->clutch, 0);
    EXPECT_EQ(b->front_brake, 0);
    EXPECT_EQ(b->rear_brake, 0.25f);
    b->crash_timer = 1;
    set_throttle(b.get(), 1);
    EXPECT_EQ(b->throttle, 0);
}

// A whole bike in the world: the drive spins the rear wheel forward
// (negative about its axle) and the load slows the engine.
TEST(drive, torque_reaches_the_rear_wheel)
{
    ASSERT_TRUE(physics_world_create());
    bike* b = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    b->engine_speed = 6000 * rpm_to_rad_s;
    b->clutch = 1;
    b->auto_clutch_rpm = 0;
    b->throttle = 1;
    float before = b->engine_speed;
    b->driveline_angle = 0.1f;   // wound up: the spring drives
    dBodySetForce(b->bodies[body_rear_wheel], 0, 0, 0);
    dBodySetTorque(b->bodies[body_rear_wheel], 0, 0, 0);
    drivetrain_step(b);
    vec3 t = body_vector_from_world(b->bodies[body_rear_wheel], vec3_from(dBodyGetTorque(b->bodies[body_rear_wheel])));
    EXPECT_LT(t.x, -100);
    EXPECT_LT(b->engine_speed, before);
    EXPECT_TRUE(std::isfinite(b->driveline_angle));
    EXPECT_LE(std::fabs(b->driveline_angle), float(pi));

    brakes_step(b);
    EXPECT_FLOAT_EQ(float(dJointGetHingeParam(b->joints[joint_rear_axle], dParamFMax)), 0);
    b->rear_brake = 1;
    brakes_step(b);
    EXPECT_FLOAT_EQ(float(dJointGetHingeParam(b->joints[joint_rear_axle], dParamFMax)), 250);
    free_bike(b);
    physics_contacts_clear();
}

}  // namespace
