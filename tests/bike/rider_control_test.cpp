// The steering and balance controller, lock angles, backing up, the dab
// torque, the lean angle's guard and realigning.  The controller cases feed
// measured states straight in; backing up, steering torque and realigning
// run on a real bike in the world.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/setup.h"

namespace {

constexpr float pi = 3.14159265358979323846f;
constexpr float five_degrees = 0.08726646f;

std::unique_ptr<bike> bare_bike()
{
    auto b = std::make_unique<bike>();
    b->model = *find_bike_model("crf450(2013)");
    b->landing_gain = 1;
    setup_creation_values(b.get());
    return b;
}

// Riding straight on the ground at speed.
steering_inputs rolling(float speed)
{
    steering_inputs m = {};
    m.u = speed;
    m.v = speed;
    m.front_axle_rate = speed / (0.8333333f + 0.33333334f);
    m.front_on_ground = true;
    m.front_height = 0;
    m.mu0 = 1;
    return m;
}

TEST(steering, direct_torque_plus_balance_within_limit)
{
    struct row { float steer, strength, max_force, lean, want; };
    const row rows[] = {
        {0.5f, 75, 400, 0, 75 * 0.5f * 1.5f},
        {-0.5f, 75, 400, 0, -75 * 0.5f * 1.5f},
        {1, 100, 100, 0, 100},                       // limited to the max force
        {-1, 100, 100, 0, -100},
        {0.5f, 75, 400, 0.1f, (0.1f * 20 + 37.5f) * 1.5f},   // leveling adds 20 per rad
    };
    for (const row& r : rows) {
        auto b = bare_bike();
        b->steer = r.steer;
        b->steering_strength = r.strength;
        b->max_steering_force = r.max_force;
        steering_inputs m = rolling(30);
        m.lean = r.lean;
        EXPECT_NEAR(steering_controller(b.get(), m).torque, r.want, 1e-3) << r.steer << " " << r.lean;
    }
}

TEST(steering, lean_rate_control_counter_steers)
{
    auto b = bare_bike();
    b->direct_steering = 0;
    b->steer = 1;
    steering_inputs m = rolling(10);
    // Asking for a right (negative) lean from upright turns the bars the
    // other way first, at full strength.
    EXPECT_FLOAT_EQ(steering_controller(b.get(), m).steering, 75);
    // Already rolling at the target rate: nothing more to do.
    float range = lean_range(b.get(), 10, 4);
    m.roll_rate = -range * 2.5f;
    EXPECT_NEAR(steering_controller(b.get(), m).steering, 0, 1e-4);
}

TEST(steering, lock_angle_by_speed_and_grip)
{
    auto b = bare_bike();   // full lock 10 ft/s, restricted 50 ft/s at 5 degrees
    struct row { float u, mu0, want; };
    const row rows[] = {
        {100, 1, five_degrees},                         // at and above restricted speed
        {50, 1, five_degrees},
        {10, 1, pi / 4},                                // full lock
        {0, 1, pi / 4},
        {20, 1, five_degrees + (pi / 4 - five_degrees) * 0.375f},   // interpolated in 1/speed
        {100, 0.05f, five_degrees / 0.125f},            // slippery ground opens the lock
        {100, 0.5f, five_degrees * 2},
    };
    for (const row& r : rows)
        EXPECT_NEAR(steering_lock_angle(b.get(), r.u, r.mu0), r.want, 1e-5) << r.u << " " << r.mu0;
    b->restricted_lock_angle = 0.7f;
    EXPECT_FLOAT_EQ(steering_lock_angle(b.get(), 100, 0.5f), pi / 4);
}

TEST(steering, soft_lock_stop_and_its_opening_with_height)
{
    auto b = bare_bike();
    struct row { float slip, height, lower, upper, torque; };
    const row rows[] = {
        {0.5f, 0, 100, 400, 100},       // far past the lock: pushed back at a quarter of the limit
        {-0.5f, 0, -400, -100, -100},   // mirrored
        {0.5f, 0.5f, -400, 400, 0},     // 0.5 ft up the stop is gone (lock fully open)
        {0.5f, 1.0f, -400, 400, 0},
        {0.05f, 0, -400, 400, 0},       // within the lock
    };
    for (const row& r : rows) {
        steering_inputs m = rolling(100);
        m.slip_angle = r.slip;
        m.front_height = r.height;
        steering_output o = steering_controller(b.get(), m);
        EXPECT_NEAR(o.lower_limit, r.lower, 1e-3) << r.slip << " at " << r.height;
        EXPECT_NEAR(o.upper_limit, r.upper, 1e-3) << r.slip << " at " << r.height;
        EXPECT_NEAR(o.torque, r.torque, 1e-3) << r.slip << " at " << r.height;
    }
    // Halfway up the stop has opened toward pi/4: 0.5 rad is then only just
    // past it, and the push back is weaker.
    steering_inputs m = rolling(100);
    m.slip_angle = 0.5f;
    m.front_height = 0.25f;
    steering_output o = steering_controller(b.get(), m);
    EXPECT_GT(o.lower_limit, 0);
    EXPECT_LT(o.lower_limit, 100);
}

TEST(steering, landing_gain_falls_off_linearly)
{
    auto b = bare_bike();   // factor 2 over 0.25 s
    steering_inputs air = rolling(30);
    air.front_on_ground = false;
    air.steer_angle = 0.1f;
    steering_output o = steering_controller(b.get(), air);
    EXPECT_FLOAT_EQ(b->landing_gain, 2);
    EXPECT_FLOAT_EQ(o.balance, -50 * 0.1f);   // centring the bars in the air

    steering_inputs ground = rolling(30);
    ground.roll_rate = 1;
    for (int k = 0; k <= 40; k++) {
        float gain = k < 32 ? 2 - k / 32.0f : 1;
        EXPECT_FLOAT_EQ(steering_controller(b.get(), ground).balance, 60 * gain) << "step " << k;
    }
    EXPECT_FLOAT_EQ(b->landing_gain, 1);
}

TEST(steering, knocked_bike_reverses_then_weakens_the_assist)
{
    auto b = bare_bike();
    b->leveling = 100;
    steering_inputs m = rolling(30);
    m.lean = 0.7f;   // balance 70 ft lbf, inside the roll limit
    struct row { float t, want; };
    const row rows[] = {
        {256, -70}, {224, -35}, {193, -70.0f / 64}, {192, 0}, {160, 200.0f / 6}, {96, 70}, {0, 70},
    };
    for (const row& r : rows) {
        b->knock_timer = r.t;
        EXPECT_NEAR(steering_controller(b.get(), m).balance, r.want, 1e-3) << "timer " << r.t;
    }
    // Counting down as the bike step does: 64 reversed ticks, then the
    // limit grows back over 192.
    int reversed = 0;
    for (float t = 256; t > 0; t = t > 1 ? t - 1 : 0) {
        b->knock_timer = t;
        float balance = steering_controller(b.get(), m).balance;
        if (balance < 0)
            reversed++;
        else
            EXPECT_LE(balance, 200 * (192 - t) / 192 + 1e-3) << "timer " << t;
    }
    EXPECT_EQ(reversed, 64);
}

TEST(back_up, one_second_pulses_and_one_in_four_before_the_start)
{
    const int start = 1000;   // pushes freely from 1152 (1024 + 128)
    auto strongest = [&](int second) {
        float most = 0;
        for (int t = second * 128; t < second * 128 + 128; t++)
            most = std::fmax(most, backup_pulse(t, start));
        return most;
    };
    int pushing = 0;
    for (int s = 0; s < 8; s++)
        if (strongest(s) > 0.99f)
            pushing++;
    EXPECT_EQ(pushing, 2);
    EXPECT_GT(strongest(4), 0.99f);
    for (int s = 9; s < 13; s++)
        EXPECT_GT(strongest(s), 0.99f) << s;
    EXPECT_EQ(backup_pulse(9 * 128, start), 0);                // each pulse starts from nothing
    EXPECT_NEAR(backup_pulse(9 * 128 + 127, start), 0, 1e-6);  // and falls back
    EXPECT_EQ(backup_pulse(-100, start), 0);                   // (-100 & 0x180) != 0
}

TEST(lean, guarded_for_a_frame_pointing_straight_up_or_down)
{
    // Rolled about the heading: lean follows the roll.
    mat3 rolled = mat3_axis_angle({0, 0, 1}, 0.3f);
    EXPECT_NEAR(lean_angle_of(rolled), 0.3f, 1e-5);
    // Nose straight up (rear axis pointing down), turned about that axis,
    // and nose down, with exact axes: the heading has no horizontal part
    // to take a lateral direction from.
    auto from_axes = [](vec3 x, vec3 y, vec3 z) {
        mat3 r;
        const vec3 cols[3] = {x, y, z};
        for (int c = 0; c < 3; c++) {
            r.m[0][c] = cols[c].x;
            r.m[1][c] = cols[c].y;
            r.m[2][c] = cols[c].z;
        }
        return r;
    };
    const mat3 poses[] = {
        from_axes({1, 0, 0}, {0, 0, 1}, {0, -1, 0}),
        from_axes({0, 0, -1}, {1, 0, 0}, {0, -1, 0}),
        from_axes({1, 0, 0}, {0, 0, -1}, {0, 1, 0}),
    };
    for (const mat3& r : poses) {
        float lean = lean_angle_of(r);
        EXPECT_TRUE(std::isfinite(lean));
        EXPECT_NEAR(lean, 0, 1e-6);
    }
}

TEST(lean, range_by_speed)
{
    auto b = bare_bike();   // roll limit pi/4, max dab speed 30 ft/s
    EXPECT_EQ(lean_range(b.get(), 0, 4), 0);
    EXPECT_NEAR(lean_range(b.get(), 15, 4), (1 - std::pow(0.75f, 4)) * pi / 4, 1e-5);
    EXPECT_NEAR(lean_range(b.get(), 20, 4), pi / 4 + (2 * pi - pi / 4) * 175 / 675, 1e-4);
    EXPECT_FLOAT_EQ(lean_range(b.get(), 30, 4), 2 * pi);
    EXPECT_FLOAT_EQ(lean_range(b.get(), 80, 32), 2 * pi);
}

TEST(dab, torque_table)
{
    struct row { float v, lean, roll, steer, back_up, indicator, want; };
    const float small = 0.05f * 32 / pi * 400;   // 203.7: lean below pi/32 fades it
    const row rows[] = {
        {0, 0.5f, 0, 0, 0, 0, 400},           // stopped and leaning: push the top back
        {0, -0.5f, 0, 0, 0, 0, -400},
        {0, 0.5f, -0.5f, 0, 0, 0, 0},         // already coming up faster than pi/8
        {0, 0.05f, 0, 0, 0, 0, small * 0.2f}, // within 0.25 rad of the (zero) range
        {0, 0.05f, 0, 1, 0, 0, small},        // steering away from the lean: full dab
        {0, 0.05f, 0, -1, 0, 0, small * 0.2f},// steering into it: cancelled down to f
        {0, 0.05f, 0, 0, 0.5f, 0, small},     // backing up ignores the steering
        {10, 0.5f, 0, 0, 0, 0.5f, 0},         // riding within the lean range: no dab
        {10, 0.5f, 0, 1, 0, 0.5f, 200},       // unless steering away, times the indicator
    };
    for (const row& r : rows) {
        auto b = bare_bike();
        b->steer = r.steer;
        b->back_up = r.back_up;
        b->lean_indicator = r.indicator;
        EXPECT_NEAR(dab_torque(b.get(), r.v, r.lean, r.roll), r.want, 1e-2)
            << "v " << r.v << " lean " << r.lean << " steer " << r.steer;
    }
}

// ---- on a bike in the world ---------------------------------------------------

struct world_bike : ::testing::Test {
    bike* b = nullptr;
    void SetUp() override
    {
        bike_context_reset();
        ASSERT_TRUE(physics_world_create());
        b = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(b, nullptr);
        clear_accumulators();
    }
    void TearDown() override
    {
        physics_contacts_clear();
        free_bike(b);
        bike_context_reset();
    }
    void clear_accumulators()
    {
        for (dBodyID body : b->bodies) {
            dBodySetForce(body, 0, 0, 0);
            dBodySetTorque(body, 0, 0, 0);
        }
    }
    // The angular motor attached to the frame this step, or null.
    dJointID frame_motor()
    {
        dBodyID frame = b->bodies[body_frame];
        for (int i = 0; i < dBodyGetNumJoints(frame); i++) {
            dJointID j = dBodyGetJoint(frame, i);
            if (dJointGetType(j) == dJointTypeAMotor)
                return j;
        }
        return nullptr;
    }
};

TEST_F(world_bike, back_up_pushes_rearward_and_turns_with_steer)
{
    bike_env.race_start_tick = 0;
    bike_env.tick = 128 * 20 + 64;   // top of a pulse, long after the start
    b->back_up = 1;
    b->steer = 1;
    backup_and_auto_dab(b);
    EXPECT_EQ(b->sit_dab, 1);
    vec3 f = vec3_from(dBodyGetForce(b->bodies[body_frame]));
    EXPECT_NEAR(f.z, 2000, 1);   // rearward is +z
    EXPECT_NEAR(f.y, 0, 1e-3);
    dJointID motor = frame_motor();
    ASSERT_NE(motor, nullptr);
    EXPECT_NEAR(dJointGetAMotorParam(motor, dParamVel), -backup_pulse(bike_env.tick, 0) * pi / 2, 1e-4);
    EXPECT_EQ(dJointGetAMotorParam(motor, dParamFMax), 2000);
}

TEST_F(world_bike, steering_torque_about_the_steering_axis)
{
    apply_steering_torque(b, 10);
    vec3 axis = vec3_normalize_or(vec3_sub(b->model.steering_head_position, b->model.fork_lower_position), {0, 1, 0});
    vec3 wheel = vec3_from(dBodyGetTorque(b->bodies[body_front_wheel]));
    vec3 frame = vec3_from(dBodyGetTorque(b->bodies[body_frame]));
    EXPECT_NEAR(wheel.y, 10 * axis.y, 1e-4);
    EXPECT_NEAR(wheel.z, 10 * axis.z, 1e-4);
    EXPECT_NEAR(frame.y, -10 * axis.y, 1e-4);
    EXPECT_FLOAT_EQ(frame_lean_angle(b), 0);
}

// The arcade auto-level motor turns the frame toward the lean the steering
// asks for (-steer * pi/4), from either side.
TEST_F(world_bike, arcade_levels_toward_the_target_lean)
{
    b->options |= option_arcade;
    struct row { float lean, steer; };
    const row rows[] = {{0.5f, 0}, {-0.5f, 0}, {0, 1}, {0, -1}, {-0.3f, 0.5f}};
    for (const row& r : rows) {
        reset_bike_pose(b);
        b->options |= option_arcade;
        orient_bike(b, 0, 0, 1, r.lean);
        b->steer = r.steer;
        ASSERT_NEAR(frame_lean_angle(b), r.lean, 1e-5);
        steering_control(b);
        dJointID motor = frame_motor();
        ASSERT_NE(motor, nullptr);
        dVector3 axis;
        dJointGetAMotorAxis(motor, 0, axis);
        vec3 rear = body_vector_to_world(b->bodies[body_frame], {0, 0, 1});
        float roll = float(dJointGetAMotorParam(motor, dParamVel)) * vec3_dot(vec3_from(axis), rear);
        float target = -r.steer * pi / 4;
        // A positive roll rate raises the lean.
        EXPECT_GT(roll * (target - r.lean), 0) << "lean " << r.lean << " steer " << r.steer;
        physics_contacts_clear();
    }
}

// Race services for the realign cases.
int32_t own_tick, leader_tick;
vec3 target_point;
const bike_race_ops fake_race = {
    [](const bike*) { return true; },
    [](const bike*, int32_t* own, int32_t* leader) {
        *own = own_tick;
        *leader = leader_tick;
        return true;
    },
    [](const bike*, vec3* target) {
        *target = target_point;
        return true;
    },
};

TEST_F(world_bike, realign_turns_a_fallen_bike_unless_refused)
{
    orient_bike(b, 0, 0, 1, 0.5f);   // lying over at 0.5 rad, stopped, heading -z
    b->front_contact.load = 0.1f;
    b->rear_contact.load = 0.1f;
    bike_env.race = &fake_race;
    vec3 p = body_position(b->bodies[body_frame]);

    struct row { vec3 offset; float velocity; float torque_share; bool lifted; };
    const row rows[] = {
        {{0, 0, 10}, -pi / 2, 1, true},     // behind: full torque, wheels lifted
        {{-3, 0, 10}, pi / 2, 1, true},     // behind on the left: turn left
        {{1, 0, -10}, -pi / 2, 0.4f, false},   // nearly ahead: eased off as it lines up
    };
    own_tick = 100;
    leader_tick = 200;   // this bike passed its last gate before the leader did
    for (const row& r : rows) {
        clear_accumulators();
        b->sit_dab = 1;
        target_point = vec3_add(p, r.offset);
        rider_body_forces(b);
        dJointID motor = frame_motor();
        ASSERT_NE(motor, nullptr);
        EXPECT_NEAR(dJointGetAMotorParam(motor, dParamVel), r.velocity, 1e-5);
        EXPECT_NEAR(dJointGetAMotorParam(motor, dParamFMax), r.torque_share * 320 * b->total_mass, 1e-2);
        float lift = float(dBodyGetForce(b->bodies[body_rear_wheel])[1]);
        EXPECT_NEAR(lift, r.lifted ? 32 * b->total_mass : 0, 1e-3);
        EXPECT_FALSE(b->realign_refused);
        physics_contacts_clear();
    }

    // Not ahead of the leader there (the leader itself compares equal):
    // refused, and it stays refused; the dab pushes instead.
    leader_tick = own_tick;
    clear_accumulators();
    rider_body_forces(b);
    EXPECT_TRUE(b->realign_refused);
    EXPECT_EQ(frame_motor(), nullptr);
    EXPECT_GT(dBodyGetForce(b->bodies[body_frame])[1], 0);   // the dab's lift
    leader_tick = own_tick + 100;
    rider_body_forces(b);
    EXPECT_EQ(frame_motor(), nullptr);

    // Without race services nothing is granted or refused.
    reset_bike_pose(b);
    orient_bike(b, 0, 0, 1, 0.5f);
    b->front_contact.load = 0.1f;
    b->rear_contact.load = 0.1f;
    b->sit_dab = 1;
    bike_env.race = nullptr;
    rider_body_forces(b);
    EXPECT_EQ(frame_motor(), nullptr);
    EXPECT_FALSE(b->realign_refused);
}

}  // namespace
