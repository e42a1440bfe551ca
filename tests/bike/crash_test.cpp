// crash_test.cpp -- the rider coming off and getting back on: crash
// length and the knockout table, the two crash checks, a hard hit on the
// ground followed through to recovery, the ropes that hold a loose rider,
// and the simulated feet.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "shape_fixture.h"
#include "bike/setup.h"
#include "sim/ride.h"
#include "terrain/height_field.h"

namespace {

bool finite(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

struct Crash : shape_test {
    test_ground ground{6, 4.0f, [](int, int) { return 0.0f; }};   // 512 ft square, flat
    bike* b = nullptr;
    void SetUp() override
    {
        shape_test::SetUp();
        bike_env.ground = &ground.hf;
        b = bare_bike();
        place(b, 256, 0, 256);
    }
    void TearDown() override
    {
        free_bike(b);
        shape_test::TearDown();
    }
    bool rider_joined() const
    {
        dJointID j = b->joints[joint_rider];
        return b->rider_attached && dJointGetBody(j, 0) == b->bodies[body_rider] &&
               dJointGetBody(j, 1) == b->bodies[body_frame];
    }
    // Where the rider mass sits while riding.
    vec3 riding_place() const
    {
        return body_local_to_world(b->bodies[body_frame], vec3_sub(b->model.rider_position, b->model.frame_position));
    }
    float rider_off_place() const
    {
        return vec3_length(vec3_sub(body_position(b->bodies[body_rider]), riding_place()));
    }
    // One tick of the game's order for a lone bike.
    void tick()
    {
        collision_pass(b);
        physics_world_step();
        bike_step(b, true);
        bike_env.tick++;
    }
    void history(vec3 v)
    {
        for (vec3& h : b->velocity_history)
            h = v;
    }
};

TEST_F(Crash, CrashLengthFollowsTheKnockoutTable)
{
    struct row {
        const char* what;
        std::vector<int> table;
        std::vector<int> timers;   // of crashes 1, 2, 3, ...
    };
    std::vector<int> seventeen(17, 512 + 9);
    seventeen[0] = 512;
    std::vector<int> ramp(16);
    for (int i = 0; i < 16; i++)
        ramp[i] = i == 15 ? 9 : 0;
    const row rows[] = {
        {"offline", {}, {512, 512, 512}},
        {"knockout 3 5", {3, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}, {515, 517, 517}},
        {"negative values from the server", {-600, -1}, {512, 512}},
        {"a huge value", {INT_MAX}, {512 + knockout_max_ticks}},
        {"the sixteenth and later crashes", ramp, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        set_knockout_table(r.table.data(), int(r.table.size()));
        place(b, 256, 0, 256);
        std::vector<int> want = r.timers.empty() ? std::vector<int>() : r.timers;
        if (r.timers.empty()) {   // entries 0..14 are 0, entry 15 (9) serves crash 16 on
            want.assign(18, 512);
            want[15] = want[16] = want[17] = 521;
        }
        for (size_t i = 0; i < want.size(); i++) {
            start_crash(b);
            EXPECT_EQ(b->crash_timer, want[i]) << "crash " << i + 1;
            EXPECT_FALSE(rider_joined());
            EXPECT_EQ(b->crash_count, int(i) + 1);
            start_crash(b);   // already down: nothing changes
            EXPECT_EQ(b->crash_count, int(i) + 1);
            b->crash_timer = 0;
        }
    }
    place(b, 256, 0, 256);
    EXPECT_TRUE(rider_joined());
    EXPECT_EQ(b->crash_count, 0);
}

TEST_F(Crash, ThrownOffTheFrameOrStoppedHardButNotByFalling)
{
    struct row {
        const char* what;
        vec3 rider, frame;   // velocities now
        vec3 before;         // the rider's velocity four ticks ago
        bool crashes;
    };
    const row rows[] = {
        {"rider 30 ft/s off the frame", {30, 0, 0}, {0, 0, 0}, {30, 0, 0}, false},
        {"rider 32 ft/s off the frame", {32, 0, 0}, {0, 0, 0}, {32, 0, 0}, true},
        {"riding along at 60", {0, 0, -60}, {0, 0, -60}, {0, 0, -60}, false},
        {"free fall", {0, -11, 0}, {0, -11, 0}, {0, -10, 0}, false},
        {"landing from 40 ft/s", {0, 0, 0}, {0, 0, 0}, {0, -40, 0}, false},
        {"stopped from 45 ft/s", {0, 0, 0}, {0, 0, 0}, {0, -45, 0}, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        place(b, 256, 0, 256);
        set_speed(b, r.frame);
        body_set_velocity(b->bodies[body_rider], r.rider);
        history(r.before);
        crash_check(b);
        EXPECT_EQ(bike_crashed(b), r.crashes);
        EXPECT_EQ(rider_joined(), !r.crashes);
        if (r.crashes) {
            // The feet start where they were, moving with the rider.
            vec3 feet[2];
            b->crash_timer = 0;
            riding_feet(b, feet);
            b->crash_timer = 512;
            for (int i = 0; i < 2; i++) {
                EXPECT_NEAR(vec3_length(vec3_sub(b->feet[i].position, feet[i])), 0, 1e-4);
                EXPECT_NEAR(b->feet[i].velocity.x, r.rider.x, 1e-3);
            }
            EXPECT_LT(b->feet[0].position.x, b->feet[1].position.x);   // left foot on the -x side
        }
    }
}

TEST_F(Crash, AHardHitThrowsTheRiderWhoGetsBackOnAfterResting)
{
    use_game_data();
    free_bike(b);
    b = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(b->rider_shape, nullptr);
    bike_setup setup;
    setup_defaults(&setup);
    apply_setup(b, setup);
    // Dropped onto its wheels from 20 ft the rider stays on; from 40 ft
    // (50 ft/s at the ground) the landing throws it off.
    int fell = 0;
    for (float height : {20.0f, 40.0f}) {
        place_bike(b, 256, 256, 0);
        move_bike(b, 0, height, 0);
        for (fell = 0; fell < 384 && !bike_crashed(b); fell++)
            tick();
        EXPECT_EQ(bike_crashed(b), height > 30) << height << " ft";
    }
    ASSERT_TRUE(bike_crashed(b));
    EXPECT_FALSE(rider_joined());
    EXPECT_GT(fell, 190);   // at the landing, after 1.58 s of falling
    int ticks = 1, held = 0, max_timer = b->crash_timer;
    float worst_reach = 0, off_at_last = -1;
    while (bike_crashed(b) && ticks < 128 * 60) {
        int before = b->crash_timer;
        if (b->crash_timer == 1)
            off_at_last = rider_off_place();
        tick();
        ticks++;
        held += b->crash_timer == before;
        worst_reach = std::max(worst_reach, rider_off_place());
        ASSERT_TRUE(finite(body_position(b->bodies[body_rider])));
        for (const crash_foot& f : b->feet)
            ASSERT_TRUE(finite(f.position) && finite(f.velocity));
    }
    std::printf("[crash] landing at 50 ft/s: down %d ticks (%d held while tumbling), rider at most %.2f ft from "
                "its seat, %.3f ft just before getting back on\n",
                ticks, held, worst_reach, off_at_last);
    EXPECT_FALSE(bike_crashed(b));
    EXPECT_GE(ticks, max_timer);   // the clock only runs while the rider rests
    EXPECT_GT(held, 0);
    EXPECT_LT(worst_reach, 12.0f);   // the ropes kept it near the bike
    EXPECT_GE(off_at_last, 0.0f);
    EXPECT_LT(off_at_last, 0.5f);    // no slack for the last 128 ticks
    EXPECT_TRUE(rider_joined());
    EXPECT_NEAR(rider_off_place(), 0, 1e-3);   // put back on the seat
    mat3 rf = body_rotation(b->bodies[body_frame]), rr = body_rotation(b->bodies[body_rider]);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(rr.m[i][j], rf.m[i][j], 1e-4);
    EXPECT_EQ(b->crash_count, 1);
    // Riding on: it stays on.
    for (int i = 0; i < 128; i++)
        tick();
    EXPECT_FALSE(bike_crashed(b));
}

TEST_F(Crash, RopesHoldALooseRiderNearTheHandlebar)
{
    // In the air, no ground: the bike and the rider fall together, so only
    // the ropes keep the rider from flying off at 30 ft/s.
    bike_env.ground = nullptr;
    const bike_model& m = b->model;
    float arms = arm_rope_share * (m.rider_limb_lengths[0] + m.rider_limb_lengths[1]);
    EXPECT_NEAR(arms, 1.79375f, 1e-5);
    start_crash(b);
    vec3 away = {0, 10, 30};
    body_set_velocity(b->bodies[body_rider], away);
    float worst = 0;
    for (int i = 0; i < 128; i++) {
        physics_world_step();
        bike_step(b, true);
        bike_env.tick++;
        for (int side = 0; side < 2; side++) {
            vec3 shoulder = body_local_to_world(b->bodies[body_rider], m.rider_points[rider_shoulder_left + side]);
            vec3 grip = body_local_to_world(b->bodies[body_fork_upper], m.rider_points[rider_grip_left + side]);
            worst = std::max(worst, vec3_length(vec3_sub(shoulder, grip)) - arms);
        }
    }
    std::printf("[crash] arm ropes stretched at most %.2f ft by a 30 ft/s throw\n", worst);
    EXPECT_TRUE(bike_crashed(b));
    EXPECT_LT(worst, 1.5f);
    EXPECT_LT(rider_off_place(), 6.0f);
}

TEST_F(Crash, FeetFallToTheGroundWithinALegOfTheHips)
{
    const bike_model& m = b->model;
    float leg = m.rider_limb_lengths[2] + m.rider_limb_lengths[3];
    struct row {
        const char* what;
        float drop;        // ft the whole bike is lowered (the rider lies low)
        bool on_ground;    // the feet end up standing on the ground
    };
    const row rows[] = {
        {"hips high: the feet hang at a leg's length", 0, false},
        {"hips low: the feet stand on the ground", 2.43f, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        place(b, 256, -r.drop, 256);
        start_crash(b);
        for (int i = 0; i < 256; i++)
            feet_step(b);
        for (int side = 0; side < 2; side++) {
            const crash_foot& f = b->feet[side];
            vec3 hip = body_local_to_world(b->bodies[body_rider], m.rider_points[rider_hip_left + side]);
            EXPECT_LE(vec3_length(vec3_sub(f.position, hip)), leg + 1e-3);
            EXPECT_GE(f.position.y, foot_ground_clearance - 1e-4);
            EXPECT_LE(vec3_length(f.velocity), 32.0f / 128 + 1e-4);   // at rest but for one tick of falling
            if (r.on_ground) {
                EXPECT_NEAR(f.position.y, foot_ground_clearance, 1e-3);
            } else {
                EXPECT_GT(f.position.y, foot_ground_clearance + 0.1f);
            }
        }
    }
    // Riding, the feet are not moved; only the dab retracts.
    place(b, 256, 0, 256);
    b->dab_extension = 0.5f;
    vec3 before = b->feet[0].position;
    feet_step(b);
    EXPECT_NEAR(b->dab_extension, 0.5f - 4.0f / 128, 1e-6);
    EXPECT_EQ(b->feet[0].position.x, before.x);
}

TEST_F(Crash, TheLeanSideFootReturnsToItsPegDuringRecovery)
{
    start_crash(b);
    b->crash_timer = 300;
    body_set_velocity(b->bodies[body_rider], {0, 0, 0});
    b->feet[0].position = vec3_add(b->feet[0].position, {-2, 0, 0});   // left foot out to the side
    crash_recovery(b);
    // Upright frame: lean 0 picks the right foot, which heads up from its
    // peg; the left one is left as it was.
    EXPECT_EQ(vec3_length(b->feet[0].velocity), 0.0f);
    vec3 above_peg = vec3_add(b->model.rider_points[rider_peg_right], {0, 3, 1});
    vec3 target = body_local_to_world(b->bodies[body_frame], above_peg);
    vec3 dir = vec3_sub(target, b->feet[1].position);
    vec3 v = b->feet[1].velocity;
    EXPECT_NEAR(vec3_length(v), foot_peg_speed, 1e-4);
    EXPECT_NEAR(vec3_dot(v, dir) / (vec3_length(v) * vec3_length(dir)), 1, 1e-4);
    // Within 1/32 ft of the target it slows down.
    b->feet[1].position = vec3_add(target, {0.01f, 0, 0});
    crash_recovery(b);
    EXPECT_NEAR(vec3_length(b->feet[1].velocity), 4 * 32 * 0.01f, 5e-3);
    // Above 319 ticks the feet are left alone.
    b->crash_timer = 320;
    b->feet[1].velocity = {1, 2, 3};
    crash_recovery(b);
    EXPECT_EQ(b->feet[1].velocity.y, 2.0f);
    physics_contacts_clear();
}

}   // namespace
