// bike_body_test.cpp -- the rigid-body bike: masses and inertias, the
// suspension laws, rider springs, ropes, joint-force balance, the pose
// operations, remote extrapolation and the order rules of the bike step.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/setup.h"
#include "contact_fixture.h"

namespace {

constexpr float pi = 3.14159265358979f;

struct BikeBody : ::testing::Test {
    ode_world world;
    bike* b = nullptr;

    void SetUp() override
    {
        bike_context_reset();
        bike_env.ground = nullptr;
        b = create_bike("crf450(2013)", 3, "12", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(b, nullptr);
    }
    void TearDown() override
    {
        free_bike(b);
        bike_context_reset();
    }
    dMass mass_of(int body)
    {
        dMass m;
        dBodyGetMass(b->bodies[body], &m);
        return m;
    }
    static void expect_vec(vec3 got, vec3 want, float tol, const char* what)
    {
        EXPECT_NEAR(got.x, want.x, tol) << what;
        EXPECT_NEAR(got.y, want.y, tol) << what;
        EXPECT_NEAR(got.z, want.z, tol) << what;
    }
};

// ------------------------------------------------------------ masses

TEST_F(BikeBody, BodyMassesSumToTheModelsPartsAndSitAtTheBodyOrigins)
{
    const bike_model& m = b->model;
    float wheels = m.front_wheel.hub_mass + m.front_wheel.tyre_mass + m.rear_wheel.hub_mass + m.rear_wheel.tyre_mass;
    float want = m.frame_mass + m.rider_mass + 2 * m.fork_mass + 2 * m.swingarm_side_mass + wheels;
    EXPECT_NEAR(b->total_mass, want, 1e-4);
    EXPECT_NEAR(mass_of(body_fork_upper).mass, m.fork_mass, 1e-6);
    EXPECT_NEAR(mass_of(body_fork_lower).mass, m.fork_mass, 1e-6);   // both carry the whole fork
    EXPECT_NEAR(mass_of(body_swingarm).mass, 2 * m.swingarm_side_mass, 1e-6);
    EXPECT_NEAR(mass_of(body_rider).mass, m.rider_mass / 3, 1e-6);
    EXPECT_NEAR(mass_of(body_frame).mass, m.frame_mass + m.rider_mass * 2 / 3, 1e-5);
    for (int i = 0; i < bike_body_count; i++) {
        dMass bm = mass_of(i);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(bm.c[k], 0, 1e-9) << "body " << i;
    }
}

TEST_F(BikeBody, WheelInertiaComesFromTheHubAndSixteenTyreSpheres)
{
    for (int w = 0; w < 2; w++) {
        const wheel_spec& s = w ? b->model.rear_wheel : b->model.front_wheel;
        dMass m = mass_of(w ? body_rear_wheel : body_front_wheel);
        double hub = 0.4 * s.hub_mass * s.hub_radius * s.hub_radius;
        double sphere = 0.4 * s.section_radius * s.section_radius;
        double ring2 = double(s.ring_radius) * s.ring_radius;
        // About the axle every sphere lies at the ring radius; about y and z
        // the sixteen positions average half the squared ring radius.
        double axle = hub + s.tyre_mass * (sphere + ring2);
        double across = hub + s.tyre_mass * (sphere + ring2 / 2);
        EXPECT_NEAR(m.mass, s.hub_mass + s.tyre_mass, 1e-6);
        EXPECT_NEAR(m.I[0], axle, 1e-5) << "wheel " << w;
        EXPECT_NEAR(m.I[5], across, 1e-5);
        EXPECT_NEAR(m.I[10], across, 1e-5);
        EXPECT_NEAR(m.I[1], 0, 1e-6);
        EXPECT_NEAR(m.I[6], 0, 1e-6);
    }
}

TEST_F(BikeBody, ForkAndSwingarmInertiasAreTurnedAlongTheirAxes)
{
    // A cylinder turned to lie along the fork axis has its smallest
    // principal moment about that axis; the same for the swingarm's boxes.
    const bike_model& m = b->model;
    auto moment_about = [](const dMass& ms, vec3 a) {
        a = vec3_normalize_or(a, {0, 1, 0});
        double v[3] = {a.x, a.y, a.z}, sum = 0;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                sum += v[i] * ms.I[i * 4 + j] * v[j];
        return sum;
    };
    dMass fork = mass_of(body_fork_upper);
    vec3 fork_axis = vec3_sub(m.steering_head_position, m.fork_lower_position);
    vec3 fork_across = vec3_cross(fork_axis, {1, 0, 0});
    double r = m.fork_spacing / 8, half = m.fork_mass / 2;
    double offset = m.fork_spacing / 2;       // each leg's distance from the axis
    double along = 2 * (half * r * r / 2 + half * offset * offset);
    EXPECT_NEAR(moment_about(fork, fork_axis), along, 1e-6);
    EXPECT_LT(moment_about(fork, fork_axis), moment_about(fork, fork_across));

    dMass arm = mass_of(body_swingarm);
    vec3 arm_axis = vec3_sub(m.rear_wheel.axle_position, m.swingarm_pivot);
    float w = m.frame_size.x;
    double box_along = 2 * m.swingarm_side_mass * (2 * (w / 4) * (w / 4)) / 12;
    EXPECT_NEAR(moment_about(arm, arm_axis), box_along + 2 * m.swingarm_side_mass * (w / 2) * (w / 2), 1e-5);
}

TEST_F(BikeBody, RiderMassDistributionKeepsTheTotal)
{
    const bike_model& m = b->model;
    float total = b->total_mass;
    for (float d : {0.5f, 0.33f, 0.9f, 0.1f}) {
        set_rider_mass_distribution(b, d);
        float kept = std::fmin(std::fmax(d, 0.33f), 0.5f);
        EXPECT_NEAR(mass_of(body_rider).mass, kept * m.rider_mass, 1e-5) << d;
        EXPECT_NEAR(mass_of(body_frame).mass + mass_of(body_rider).mass, m.frame_mass + m.rider_mass, 1e-5) << d;
        EXPECT_NEAR(b->total_mass, total, 1e-4) << d;
        EXPECT_FLOAT_EQ(b->rider_mass_distribution, kept);
    }
}

// ------------------------------------------------------------ suspension

TEST_F(BikeBody, ShockTorqueFadesInOverTheFirstThirtySecondOfTravel)
{
    const float t = b->model.swingarm_travel;
    const float a = b->model.linkage_ratio_extended;
    b->shock_preload = 0.02f;
    // At rest the fade is zero whatever the preload and the rate.
    EXPECT_EQ(shock_torque(b, 0, 0), 0);
    EXPECT_EQ(shock_torque(b, 0, -3), 0);
    EXPECT_EQ(shock_torque(b, 0.1f, 0), 0);   // beyond the top stop: no pull
    struct { float theta, omega, fade; } cases[] = {
        {-t / 32, 0, 1}, {-t / 64, 0, 0.5f}, {-t / 2, 0, 1}, {-t / 2, -2, 1}, {-t / 2, 1.5f, 1}, {-t, 0, 1},
    };
    for (auto c : cases) {
        float f = -c.theta / t;
        float damping = c.omega >= 0 ? b->shock_rebound_damping : b->shock_compression_damping;
        float want = (a * b->shock_spring_rate * (a * f + b->shock_preload) - a * a * damping * c.omega) * c.fade;
        EXPECT_NEAR(shock_torque(b, c.theta, c.omega), want, std::fabs(want) * 1e-5 + 1e-4) << c.theta << " " << c.omega;
    }
}

TEST_F(BikeBody, ForkForceIsZeroWhenExtendedAndAddsTheAirSpringWhenCompressed)
{
    const float travel = b->model.fork_travel;
    EXPECT_EQ(fork_force(b, 0.05f, 0), 0);    // extended beyond rest
    EXPECT_EQ(fork_force(b, 0.05f, -4), 0);
    EXPECT_EQ(fork_force(b, 0, 0), 0);        // fade starts at zero
    float k = b->fork_spring_rate, air = b->fork_air_length;
    for (float s : {-travel / 32, -0.3f, -0.9f}) {
        float x = -s;
        float pressure = 82.46169f * std::pow((travel + air) / (travel + air - x), 1.4f) - 82.46169f;
        float want = (b->fork_preload - s) * k + pressure;
        EXPECT_NEAR(fork_force(b, s, 0), want, want * 1e-5) << s;
    }
    // Compression damping while going in, rebound damping coming out.
    EXPECT_NEAR(fork_force(b, -0.3f, -2) - fork_force(b, -0.3f, 0), 2 * b->fork_compression_damping, 1e-2);
    EXPECT_NEAR(fork_force(b, -0.3f, 0) - fork_force(b, -0.3f, 2), 2 * b->fork_rebound_damping, 1e-2);
    EXPECT_NEAR(fork_force(b, -travel / 64, 0), (b->fork_preload + travel / 64) * k * 0.5f +
                (82.46169f * std::pow((travel + air) / (travel + air - travel / 64), 1.4f) - 82.46169f) * 0.5f, 1e-3);
}

TEST_F(BikeBody, MotorsPushApartForPositiveLoadsAndOnlyBrakeForNegative)
{
    // Compress the fork, then drive the motors as the step does.
    fork_and_shock(b);
    EXPECT_EQ(dJointGetSliderParam(b->joints[joint_fork], dParamFMax), 0);   // at rest: no force
    dJointID fork = b->joints[joint_fork];
    vec3 lower = body_position(b->bodies[body_fork_lower]);
    vec3 axis = vec3_normalize_or(vec3_sub(b->model.steering_head_position, b->model.fork_lower_position), {0, 1, 0});
    body_set_position(b->bodies[body_fork_lower], vec3_add(lower, vec3_scale(axis, 0.4f)));
    ASSERT_NEAR(dJointGetSliderPosition(fork), -0.4, 1e-4);
    fork_and_shock(b);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 100);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), fork_force(b, -0.4f, 0), 1e-2);
    // A rebound so fast that the damper outweighs the spring brakes, it never pulls.
    float fast = fork_force(b, -0.4f, 200);
    ASSERT_LT(fast, 0);
    dBodySetLinearVel(b->bodies[body_fork_lower], -axis.x * 200, -axis.y * 200, -axis.z * 200);
    fork_and_shock(b);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 0);
    EXPECT_GT(dJointGetSliderParam(fork, dParamFMax), 0);
}

// ------------------------------------------------------------ rider springs, ropes, balance

TEST_F(BikeBody, RiderSpringsMakeTwoSoftJointsAndTheRiderJointADamper)
{
    rider_mass_springs(b);
    EXPECT_EQ(physics.contact_joints, 2);
    double m_s = b->model.rider_mass / 4.6875;
    double want_cfm = 1.0 / ((b->rider_forward_damping * 30 + 5) * m_s);
    EXPECT_NEAR(dJointGetHinge2Param(b->joints[joint_rider], dParamSuspensionCFM), want_cfm, 1e-7);
    EXPECT_EQ(dJointGetHinge2Param(b->joints[joint_rider], dParamSuspensionERP), 0);
    physics_contacts_clear();
    // With both rider springs and dampings at zero only the fore-aft
    // spring's error term is left: at the rest pose that is zero too.
    set_rider_springs(b, 0, 0);
    set_rider_damping(b, 0, 0);
    rider_mass_springs(b);
    EXPECT_EQ(physics.contact_joints, 0);
    // Far out of its range the rider is held stiffly again.
    vec3 p = body_position(b->bodies[body_rider]);
    body_set_position(b->bodies[body_rider], {p.x, p.y + 2, p.z + 2});
    rider_mass_springs(b);
    EXPECT_EQ(physics.contact_joints, 2);
}

TEST_F(BikeBody, RopesPullOnlyWhenStretched)
{
    dBodyID frame = b->bodies[body_frame], rider = b->bodies[body_rider];
    float apart = vec3_length(vec3_sub(body_position(rider), body_position(frame)));
    bike_rope(frame, {0, 0, 0}, rider, {0, 0, 0}, apart + 0.1f);
    EXPECT_EQ(physics.contact_joints, 0);
    bike_rope(frame, {0, 0, 0}, rider, {0, 0, 0}, apart - 0.5f);
    EXPECT_EQ(physics.contact_joints, 1);
    // The stretched rope draws the two together in the next step.
    dBodySetGravityMode(frame, 0);
    dBodySetGravityMode(rider, 0);
    physics_world_step();
    EXPECT_GT(vec3_dot(body_velocity(rider), vec3_sub(body_position(frame), body_position(rider))), 0);
}

TEST_F(BikeBody, JointForceBalanceCancelsTheNetForceOnTheFrameUnlessCrashed)
{
    for (int i = 0; i < bike_joint_count; i++) {
        dJointFeedback& f = b->joint_feedback[i];
        f = {};
        f.f1[0] = 1 + i;
        f.f2[1] = -2.0 * i;
        f.t1[2] = 0.5;
    }
    vec3 pf = body_position(b->bodies[body_frame]);
    vec3 want_force = {0, 0, 0}, want_torque = {0, 0, 0};
    for (int i = 0; i < bike_joint_count; i++) {
        vec3 f1 = {float(1 + i), 0, 0}, f2 = {0, float(-2 * i), 0};
        vec3 r1 = vec3_sub(body_position(dJointGetBody(b->joints[i], 0)), pf);
        vec3 r2 = vec3_sub(body_position(dJointGetBody(b->joints[i], 1)), pf);
        want_force = vec3_add(want_force, vec3_add(f1, f2));
        want_torque = vec3_add(want_torque, vec3_add({0, 0, 0.5f}, vec3_add(vec3_cross(r1, f1), vec3_cross(r2, f2))));
    }
    struct { int tick; int crash; bool acts; } cases[] = {{1, 0, false}, {2, 0, true}, {500, 5, false}};
    for (auto c : cases) {
        dBodySetForce(b->bodies[body_frame], 0, 0, 0);
        dBodySetTorque(b->bodies[body_frame], 0, 0, 0);
        bike_env.tick = c.tick;
        b->crash_timer = c.crash;
        joint_force_balance(b);
        vec3 f = vec3_from(dBodyGetForce(b->bodies[body_frame]));
        vec3 t = vec3_from(dBodyGetTorque(b->bodies[body_frame]));
        float s = c.acts ? -1.0f : 0.0f;
        expect_vec(f, vec3_scale(want_force, s), 1e-4f, "force");
        expect_vec(t, vec3_scale(want_torque, s), 1e-3f, "torque");
    }
    // A detached rider joint (crash) switches it off too.
    b->crash_timer = 0;
    dJointAttach(b->joints[joint_rider], nullptr, nullptr);
    dBodySetForce(b->bodies[body_frame], 0, 0, 0);
    joint_force_balance(b);
    expect_vec(vec3_from(dBodyGetForce(b->bodies[body_frame])), {0, 0, 0}, 0, "detached");
}

// ------------------------------------------------------------ poses

TEST_F(BikeBody, ResetRestoresTheBuildPoseAndClearsTheState)
{
    orient_bike(b, 0, 1, 0, 1.0f);
    move_bike(b, 40, 3, -7);
    for (dBodyID body : b->bodies) {
        dBodySetLinearVel(body, 3, 4, 5);
        dBodySetAngularVel(body, 1, 2, 3);
        dBodyAddForce(body, 10, 0, 0);
    }
    b->gear = 3;
    b->engine_speed = 900;
    b->throttle = 1;
    b->steer = -0.5f;
    b->crash_timer = 40;
    b->crash_count = 2;
    b->knock_timer = 100;
    b->lap_spoiled = true;
    b->front_contact.load = 0.2f;
    b->velocity_history[2] = {1, 2, 3};
    b->joint_feedback[4].f1[0] = 7;
    dJointAttach(b->joints[joint_rider], nullptr, nullptr);

    reset_bike_pose(b);
    const bike_model& m = b->model;
    vec3 want[bike_body_count] = {m.frame_position, m.front_wheel.axle_position, m.rear_wheel.axle_position,
                                  m.steering_head_position, m.fork_lower_position, m.swingarm_position,
                                  m.rider_position};
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b->bodies[i];
        expect_vec(body_position(body), want[i], 1e-5f, "position");
        expect_vec(b->anchor_positions[i], want[i], 1e-5f, "anchor");
        expect_vec(body_velocity(body), {0, 0, 0}, 0, "velocity");
        expect_vec(body_angular_velocity(body), {0, 0, 0}, 0, "spin");
        expect_vec(vec3_from(dBodyGetForce(body)), {0, 0, 0}, 0, "force");
        mat3 r = body_rotation(body);
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++)
                EXPECT_NEAR(r.m[row][col], row == col ? 1 : 0, 1e-6);
    }
    EXPECT_EQ(b->gear, 0);
    EXPECT_EQ(b->engine_speed, 0);
    EXPECT_EQ(b->throttle, 0);
    EXPECT_EQ(b->steer, 0);
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(b->crash_count, 0);
    EXPECT_EQ(b->last_bike_contact_tick, -1);
    EXPECT_EQ(b->knock_timer, 0);
    EXPECT_EQ(b->landing_gain, 1);
    EXPECT_FALSE(b->lap_spoiled);
    EXPECT_EQ(b->front_contact.load, 0);
    EXPECT_EQ(b->velocity_history[2].y, 0);
    EXPECT_EQ(b->joint_feedback[4].f1[0], 0);
    EXPECT_EQ(dJointGetBody(b->joints[joint_rider], 0), b->bodies[body_rider]);
    EXPECT_EQ(dJointGetBody(b->joints[joint_rider], 1), b->bodies[body_frame]);
    // The joints' rest references hold: no slider travel, no hinge angles.
    EXPECT_NEAR(dJointGetSliderPosition(b->joints[joint_fork]), 0, 1e-6);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[joint_swingarm]), 0, 1e-6);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[joint_steering]), 0, 1e-6);
}

TEST_F(BikeBody, OrientThenMovePlacesEveryBodyRigidly)
{
    reset_bike_pose(b);
    const float heading = pi / 2;
    orient_bike(b, 0, 1, 0, heading);
    move_bike(b, 100, 2, 50);
    mat3 r = mat3_axis_angle({0, 1, 0}, heading);
    for (int i = 0; i < bike_body_count; i++) {
        vec3 want = vec3_add(mat3_apply(r, b->anchor_positions[i]), {100, 2, 50});
        expect_vec(body_position(b->bodies[i]), want, 1e-4f, "placed");
        mat3 got = body_rotation(b->bodies[i]);
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++)
                EXPECT_NEAR(got.m[row][col], r.m[row][col], 1e-6);
    }
    // A quarter turn about +y points the bike's forward (-z) along -x.
    expect_vec(body_vector_to_world(b->bodies[body_frame], {0, 0, -1}), {-1, 0, 0}, 1e-6f, "forward");
    // The joints see no deflection after a rigid placement.
    EXPECT_NEAR(dJointGetSliderPosition(b->joints[joint_fork]), 0, 1e-5);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[joint_swingarm]), 0, 1e-5);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[joint_steering]), 0, 1e-5);
}

TEST_F(BikeBody, FrozenBikesStayPutThroughWorldSteps)
{
    vec3 before[bike_body_count];
    for (int i = 0; i < bike_body_count; i++)
        before[i] = body_position(b->bodies[i]);
    freeze_bike(b);
    for (dBodyID body : b->bodies)
        EXPECT_FALSE(dBodyIsEnabled(body));
    for (int i = 0; i < 10; i++)
        physics_world_step();
    for (int i = 0; i < bike_body_count; i++)
        expect_vec(body_position(b->bodies[i]), before[i], 0, "frozen");
    unfreeze_bike(b);
    for (dBodyID body : b->bodies)
        EXPECT_TRUE(dBodyIsEnabled(body));
    physics_world_step();
    EXPECT_LT(body_position(b->bodies[body_frame]).y, before[body_frame].y);   // falls again
}

TEST_F(BikeBody, SavedVelocitiesComeBackAfterAStep)
{
    for (int i = 0; i < bike_body_count; i++) {
        dBodySetLinearVel(b->bodies[i], i, 2, -i);
        dBodySetAngularVel(b->bodies[i], 0, 0.5 * i, 0);
    }
    save_bike_velocities(b);
    physics_world_step();   // gravity changes them
    restore_bike_velocities(b);
    for (int i = 0; i < bike_body_count; i++) {
        expect_vec(body_velocity(b->bodies[i]), {float(i), 2, float(-i)}, 1e-6f, "linear");
        expect_vec(body_angular_velocity(b->bodies[i]), {0, 0.5f * i, 0}, 1e-6f, "angular");
    }
}

TEST_F(BikeBody, ExtrapolationMovesRigidlyAndRisesOverTheGround)
{
    test_ground low(6, 2, [](int, int) { return -20.0f; });
    test_ground high(6, 2, [](int, int) { return 5.0f; });
    const float r = b->model.rear_wheel.ring_radius;
    struct { height_field* ground; int ticks; float rise; } cases[] = {
        {&low.hf, 32, 0},
        {nullptr, 32, 0},
        {&low.hf, 200, 0},   // at most 64 ticks
    };
    for (auto c : cases) {
        bike_env.ground = c.ground;
        dBodySetLinearVel(b->bodies[body_frame], 8, -4, 2);
        extrapolate_bike(b, c.ticks);
        float t = std::min(c.ticks, 64) / 128.0f;
        for (int i = 0; i < bike_body_count; i++)
            expect_vec(body_position(b->bodies[i]), vec3_add(b->anchor_positions[i], {8 * t, -4 * t, 2 * t}), 1e-4f,
                       "moved");
    }
    // Over a ground above the frame's low point, the whole bike is lifted
    // until that point (a rear ring radius below the frame) sits on it.
    bike_env.ground = &high.hf;
    dBodySetLinearVel(b->bodies[body_frame], 8, -4, 2);
    extrapolate_bike(b, 32);
    vec3 frame = body_position(b->bodies[body_frame]);
    EXPECT_NEAR(frame.y - r, 5.0f, 1e-4);
    vec3 lift = vec3_sub(frame, b->anchor_positions[body_frame]);
    for (int i = 0; i < bike_body_count; i++)
        expect_vec(body_position(b->bodies[i]), vec3_add(b->anchor_positions[i], lift), 1e-4f, "lifted");
    EXPECT_NEAR(lift.x, 2, 1e-5);
    EXPECT_NEAR(lift.z, 0.5, 1e-5);
}

// ------------------------------------------------------------ the step

TEST_F(BikeBody, ReplayedBikesGetNoForcesAndKeepTheirState)
{
    for (dBodyID body : b->bodies)
        dBodyAddForce(body, 5, 5, 5);
    b->knock_timer = 10;
    bike_step(b, false);
    for (dBodyID body : b->bodies)
        expect_vec(vec3_from(dBodyGetForce(body)), {0, 0, 0}, 0, "force");
    EXPECT_EQ(b->knock_timer, 10);
    EXPECT_EQ(physics.contact_joints, 0);
}

TEST_F(BikeBody, DrivenStepCountsDownTheKnockAndRecordsTheRiderVelocity)
{
    struct { float before, after; } knocks[] = {{10, 9}, {1.5f, 0.5f}, {1, 0}, {0.5f, 0}, {0, 0}};
    int tick = 37;
    for (auto k : knocks) {
        bike_env.tick = tick;
        b->knock_timer = k.before;
        dBodySetLinearVel(b->bodies[body_rider], 1, float(tick), 3);
        bike_step(b, true);
        EXPECT_FLOAT_EQ(b->knock_timer, k.after);
        // The history slot is the tick's modulo 4, written last in the step.
        vec3 v = body_velocity(b->bodies[body_rider]);
        expect_vec(b->velocity_history[tick % 4], v, 0, "history");
        physics_contacts_clear();
        tick++;
    }
    bike_env.tick = -3;   // negative ticks still index 0..3
    bike_step(b, true);
    expect_vec(b->velocity_history[1], body_velocity(b->bodies[body_rider]), 0, "negative tick");
}

TEST_F(BikeBody, TheStepRestoresTheInputsThatTheDabLogicRaised)
{
    b->options |= option_auto_dab;
    b->sit_dab = 0;
    b->front_brake = 0.25f;
    b->rear_brake = 0;
    b->throttle = 0;
    bike_step(b, true);   // standing still: automatic dab sits and brakes
    EXPECT_EQ(b->sit_dab, 0);
    EXPECT_EQ(b->front_brake, 0.25f);
    EXPECT_EQ(b->rear_brake, 0);
}

TEST_F(BikeBody, StallingAfterTheStartSpoilsTheLap)
{
    bike_env.race_start_tick = 100;
    struct { int tick; float speed; bool spoiled; } cases[] = {
        {356, 0, false}, {357, 10, false}, {357, 4, true},
    };
    for (auto c : cases) {
        b->lap_spoiled = false;
        bike_env.tick = c.tick;
        dBodySetLinearVel(b->bodies[body_frame], 0, 0, -c.speed);
        bike_step(b, false);
        EXPECT_EQ(b->lap_spoiled, c.spoiled) << c.tick << " " << c.speed;
    }
}

TEST(BikeWorld, NoBikeWithoutTheWorldAndTheSoftSpringFormula)
{
    EXPECT_EQ(create_bike("crf450(2013)", 0, nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    double erp, cfm;
    soft_erp_cfm(25000, 2500, 1.0 / 128, &erp, &cfm);
    EXPECT_NEAR(erp, (25000.0 / 128) / (25000.0 / 128 + 2500), 1e-12);
    EXPECT_NEAR(cfm, 1 / (25000.0 / 128 + 2500), 1e-12);
    ode_world w;
    EXPECT_EQ(soft_contact(nullptr, nullptr, {0, 0, 0}, {0, 1, 0}, 1, 100, 10), nullptr);   // no bodies
    dBodyID body = w.body({0, 0, 0});
    EXPECT_EQ(soft_contact(body, nullptr, {0, 0, 0}, {0, 1, 0}, NAN, 100, 10), nullptr);
    EXPECT_EQ(soft_contact(body, nullptr, {0, 0, 0}, {0, 1, 0}, 1, 0, 0), nullptr);
    EXPECT_NE(soft_contact(body, nullptr, {0, 0, 0}, {0, 1, 0}, 1, 100, 10), nullptr);
    EXPECT_EQ(physics.contact_joints, 1);
    // Non-finite forces never reach ODE.
    body_add_force(body, {NAN, 0, 0});
    EXPECT_EQ(dBodyGetForce(body)[0], 0);
    EXPECT_GE(physics.rejected_values, 1);
}

}  // namespace
