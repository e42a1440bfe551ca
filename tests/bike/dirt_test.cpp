// Dirt spray (particle counts, the draw order, splash and roost shapes,
// replayed bikes) and the rut ring (recording, applying, the dig hook).
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "base/rng.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "bike/dirt.h"
#include "bike/ruts.h"
#include "bike/wheel_contact.h"
#include "contact_fixture.h"

namespace {

constexpr float ring = 1.0f;
constexpr float section = 0.25f;
constexpr float pi = 3.14159265f;

struct particle {
    vec3 start, velocity;
    const roost_type* kind;
};

std::vector<particle> spawned;

bool record_particle(vec3 start, vec3 velocity, const roost_type* kind)
{
    spawned.push_back({start, velocity, kind});
    return true;
}

const dirt_sink recording_sink = {record_particle};

bool finite(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

TEST(DirtLimit, DensityTwoHundredFiftyGivesTwoOrThree)
{
    rng_seed(20240611);
    int threes = 0;
    const int draws = 20000;
    for (int i = 0; i < draws; i++) {
        int n = dirt_particle_limit(250);
        ASSERT_TRUE(n == 2 || n == 3) << n;
        threes += n == 3;
    }
    EXPECT_NEAR(double(threes) / draws, 0.5, 0.02);

    struct row {
        int density, low, high;
    };
    const row rows[] = {{0, 0, 0}, {-40, 0, 0}, {99, 0, 1}, {1000, 10, 10}, {5000, 10, 10}};
    for (const row& r : rows) {
        for (int i = 0; i < 200; i++) {
            int n = dirt_particle_limit(r.density);
            ASSERT_GE(n, r.low) << r.density;
            ASSERT_LE(n, r.high) << r.density;
        }
    }
}

// A bike record whose two wheels are free ODE bodies over a flat field
// whose one tile carries the roost kinds under test.
struct Spray : ::testing::Test {
    ode_world world;
    test_ground ground = test_ground(2, 2.0f, [](int, int) { return 0.0f; });
    std::unique_ptr<bike> b = std::make_unique<bike>();

    void SetUp() override
    {
        ASSERT_TRUE(physics.world);
        spawned.clear();
        dirt_sink_install(&recording_sink);
        wheel(&b->front_contact, {5, 0, 5});
        wheel(&b->rear_contact, {9, 0, 9});
        for (roost_type& k : ground.surface().roost)
            k.mode = roost_off;
    }
    void TearDown() override { dirt_sink_install(nullptr); }

    // A wheel resting 0.1 ft into the ground at (x, z), its record filled
    // by the contact pass.
    void wheel(wheel_contact* wc, vec3 at)
    {
        wc->body = world.body({at.x, ring + section - 0.1f, at.z});
        wc->axle_local = {1, 0, 0};
        wc->ring_radius = ring;
        wc->section_radius = section;
        refresh(wc);
    }
    void refresh(wheel_contact* wc)
    {
        ASSERT_TRUE(wheel_terrain_contact(ground.hf, wc, 1));
        physics_contacts_clear();
    }
    roost_type& kind(int i, int mode, float count)
    {
        roost_type& k = ground.surface().roost[i];
        k.mode = mode;
        k.count = count;
        k.randomize = 0;
        k.vscale = 1;
        return k;
    }
};

TEST_F(Spray, DrawsHappenWithoutAParticleSystem)
{
    kind(0, roost_splash, 2.0f);
    // 1 density draw, then per wheel 1 count draw and 4 per particle.
    const int expected_draws = 1 + 2 * (1 + 2 * 4);
    for (const dirt_sink* s : {&recording_sink, static_cast<const dirt_sink*>(nullptr)}) {
        dirt_sink_install(s);
        spawned.clear();
        rng_seed(77);
        emit_dirt(b.get(), false, ground.hf, 250, 10);
        uint32_t after = rng_next();
        rng_seed(77);
        for (int i = 0; i < expected_draws; i++)
            rng_next();
        EXPECT_EQ(after, rng_next());
        EXPECT_EQ(spawned.size(), s ? 4u : 0u);
    }
}

TEST_F(Spray, NothingAtDensityZeroOrOffTheGround)
{
    kind(0, roost_splash, 5.0f);
    emit_dirt(b.get(), false, ground.hf, 0, 0);
    EXPECT_TRUE(spawned.empty());
    b->front_contact.load = 0;
    b->rear_contact.load = 0;
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    EXPECT_TRUE(spawned.empty());
}

TEST_F(Spray, SplashFromAStillWheelIsFinite)
{
    kind(0, roost_splash, 3.0f).randomize = 15;
    rng_seed(5);
    emit_dirt(b.get(), false, ground.hf, 1000, 3);
    ASSERT_EQ(spawned.size(), 6u);
    for (const particle& p : spawned) {
        EXPECT_TRUE(finite(p.start));
        EXPECT_TRUE(finite(p.velocity));
        EXPECT_LE(vec3_length(p.velocity), 15 * 0.87f);   // only the random part
    }
}

TEST_F(Spray, SplashSheetsAlternateWithTheTick)
{
    kind(0, roost_splash, 2.0f);
    dBodySetLinearVel(b->front_contact.body, 0, 0, -10);
    b->rear_contact.load = 0;
    for (int tick : {4, 5}) {
        spawned.clear();
        rng_seed(9);
        emit_dirt(b.get(), false, ground.hf, 1000, tick);
        ASSERT_EQ(spawned.size(), 2u);
        for (int i = 0; i < 2; i++) {
            // Sheets (-1, 1, 0) L and (1, 1, 0) L with L = 10 / sqrt 2.
            float side = ((tick ^ i) & 1) ? 1.0f : -1.0f;
            const particle& p = spawned[i];
            EXPECT_GT(p.velocity.x * side, 0) << tick << " " << i;
            EXPECT_NEAR(p.velocity.x, side * p.velocity.y, 1e-4f);
            vec3 dir = {side * 7.0710678f, 7.0710678f, 0};
            vec3 start = vec3_add(b->front_contact.point, vec3_scale(dir, float(i * tick_period / 2)));
            EXPECT_NEAR(p.start.x, start.x, 1e-5f);
            EXPECT_NEAR(p.start.y, start.y, 1e-5f);
        }
    }
}

// Angle between the contact offset and a particle's emission point, both
// seen from the wheel centre.
float spray_angle(const wheel_contact& wc, const particle& p, int i, int count)
{
    vec3 centre = body_position(wc.body);
    vec3 from = vec3_sub(p.start, vec3_scale(p.velocity, float(i * tick_period / count)));
    vec3 a = vec3_sub(wc.point, centre), e = vec3_sub(from, centre);
    float c = vec3_dot(a, e) / (vec3_length(a) * vec3_length(e));
    return std::acos(c > 1 ? 1 : c);
}

TEST_F(Spray, RoostNeedsSlip)
{
    kind(0, roost_spray, 4.0f).slip_threshold = 4;
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    EXPECT_TRUE(spawned.empty());   // both wheels stand still
}

TEST_F(Spray, SpinningRearWheelThrowsRoostUpAndBack)
{
    kind(0, roost_spray, 10.0f);
    b->front_contact.load = 0;
    wheel_contact& wc = b->rear_contact;
    dBodySetLinearVel(wc.body, 0, 0, -1);      // creeping forward
    dBodySetAngularVel(wc.body, -20, 0, 0);   // spinning forward hard
    refresh(&wc);
    ASSERT_LT(vec3_dot(body_velocity(wc.body), wc.slip_velocity), 0);
    rng_seed(3);
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    ASSERT_EQ(spawned.size(), 10u);
    // Cone: slow_angle + (fast_angle - slow_angle) * 400 / 64^2.
    float cone = 1.5707964f + (0.19634955f - 1.5707964f) * 400.0f / 4096.0f;
    float widest = 0;
    for (int i = 0; i < 10; i++) {
        const particle& p = spawned[i];
        float angle = spray_angle(wc, p, i, 10);
        EXPECT_LE(angle, cone + 1e-3f);
        widest = std::max(widest, angle);
        vec3 from = vec3_sub(p.start, vec3_scale(p.velocity, float(i * tick_period / 10)));
        EXPECT_GE(from.z, wc.point.z - 1e-4f);   // up the back of the tyre
        EXPECT_GE(p.velocity.y, -1e-3f);
        EXPECT_GT(p.velocity.z, 0);
    }
    EXPECT_GT(widest, front_spray_limit);   // the rear wheel is not capped
}

TEST_F(Spray, FrontConeIsCappedAndSlidesAreNarrow)
{
    kind(0, roost_spray, 10.0f);
    b->rear_contact.load = 0;
    wheel_contact& wc = b->front_contact;
    dBodySetLinearVel(wc.body, 0, 0, -1);
    dBodySetAngularVel(wc.body, -20, 0, 0);
    refresh(&wc);
    rng_seed(4);
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    ASSERT_EQ(spawned.size(), 10u);
    for (int i = 0; i < 10; i++)
        EXPECT_LE(spray_angle(wc, spawned[i], i, 10), front_spray_limit + 1e-3f);

    // A locked wheel sliding forward: slip along the motion, pi/64 cone.
    dBodySetAngularVel(wc.body, 0, 0, 0);
    dBodySetLinearVel(wc.body, 0, 0, -20);
    refresh(&wc);
    spawned.clear();
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    ASSERT_EQ(spawned.size(), 10u);
    for (int i = 0; i < 10; i++)
        EXPECT_LE(spray_angle(wc, spawned[i], i, 10), straight_spray_angle + 1e-3f);
}

TEST_F(Spray, EqualFastAndSlowSpeedsGiveAStep)
{
    roost_type& k = kind(0, roost_spray, 5.0f);
    k.slow_speed = k.fast_speed = 10;   // (q - slow^2) / 0 otherwise
    b->front_contact.load = 0;
    wheel_contact& wc = b->rear_contact;
    dBodySetLinearVel(wc.body, 0, 0, -1);
    dBodySetAngularVel(wc.body, -20, 0, 0);   // q = 400 >= 100: fast angle
    refresh(&wc);
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    ASSERT_EQ(spawned.size(), 5u);
    for (int i = 0; i < 5; i++) {
        EXPECT_TRUE(finite(spawned[i].start) && finite(spawned[i].velocity));
        EXPECT_LE(spray_angle(wc, spawned[i], i, 5), k.fast_angle + 1e-3f);
    }
}

TEST_F(Spray, KindsRunInOrderUntilTheFirstDisabled)
{
    roost_type& splash = kind(0, roost_splash, 1.0f);
    kind(1, roost_splash, 1.0f);
    kind(3, roost_splash, 1.0f);   // after the disabled kind 2: never runs
    rng_seed(1);
    emit_dirt(b.get(), false, ground.hf, 1000, 0);
    ASSERT_EQ(spawned.size(), 4u);
    EXPECT_EQ(spawned[0].kind, &splash);
    EXPECT_EQ(spawned[1].kind, &ground.surface().roost[1]);
    for (const particle& p : spawned)
        EXPECT_NE(p.kind, &ground.surface().roost[3]);
}

TEST_F(Spray, ReplayedBikeFindsItsOwnContact)
{
    kind(0, roost_splash, 1.0f);
    // Replayed bikes get no contact pass: their records are stale.
    b->front_contact.load = 0;
    b->rear_contact.load = 0;
    emit_dirt(b.get(), true, ground.hf, 1000, 0);
    EXPECT_EQ(spawned.size(), 2u);
    EXPECT_EQ(b->front_contact.load, 0);   // the records are left alone
    EXPECT_EQ(b->rear_contact.load, 0);

    // Beyond the border only the grid's edge is near the tyre: a contact
    // for the full test, none for the spray test.
    spawned.clear();
    dBodySetPosition(b->front_contact.body, ground.hf.world_size + 0.2f, ring + 0.05f, 5);
    dBodySetPosition(b->rear_contact.body, ground.hf.world_size + 0.2f, ring + 0.05f, 9);
    EXPECT_TRUE(wheel_terrain_contact(ground.hf, &b->front_contact, 1));
    physics_contacts_clear();
    emit_dirt(b.get(), true, ground.hf, 1000, 0);
    EXPECT_TRUE(spawned.empty());
}

// ------------------------------------------------------------------- ruts

struct dig_call {
    float x, z, radius, depth;
};
std::vector<dig_call> digs;

void record_dig(height_field*, float x, float z, float radius, float depth)
{
    digs.push_back({x, z, radius, depth});
}

const rut_dig_ops recording_dig = {record_dig};

struct Ruts : Spray {
    void SetUp() override
    {
        Spray::SetUp();
        digs.clear();
        rut_dig_install(&recording_dig);
        b->bodies[body_frame] = world.body({5, 1, 5});
        clear_ruts(b.get());
    }
    void TearDown() override
    {
        rut_dig_install(nullptr);
        Spray::TearDown();
    }
    // The wheel moving at speed (along -z) and the joint having pushed it
    // with force.
    void push(wheel_contact* wc, float speed, vec3 force)
    {
        dBodySetLinearVel(wc->body, 0, 0, -speed);
        wc->feedback.f1[0] = force.x;
        wc->feedback.f1[1] = force.y;
        wc->feedback.f1[2] = force.z;
    }
};

TEST_F(Ruts, NothingWithErosionOff)
{
    push(&b->front_contact, 30, {500, 100, 0});
    push(&b->rear_contact, 30, {0, 100, 500});
    for (int i = 0; i < 10; i++) {
        record_ruts(b.get(), ground.hf, 0);
        apply_ruts(b.get(), &ground.hf, 0);
    }
    EXPECT_EQ(rut_pending(b.get()), 0);
    EXPECT_TRUE(digs.empty());
}

TEST_F(Ruts, RecordsPushesAboveTheLowerForce)
{
    // Defaults: erode_lower 50, off 10 ft/s, on 15 ft/s.
    struct row {
        float speed;
        vec3 force;
        bool kept;
        float fx, fz;   // as recorded
    };
    const row rows[] = {
        {20, {100, 300, 0}, true, 100, 0},
        {12.5f, {100, 0, 0}, false, 0, 0},    // scaled to 50: not above the lower force
        {12.5f, {0, 0, -120}, true, 0, -60},
        {5, {1000, 0, 0}, false, 0, 0},       // below the off speed
    };
    for (const row& r : rows) {
        clear_ruts(b.get());
        push(&b->front_contact, r.speed, r.force);
        b->rear_contact.load = 0;
        record_ruts(b.get(), ground.hf, 1);
        ASSERT_EQ(rut_pending(b.get()), r.kept ? 1 : 0) << r.speed;
        if (r.kept) {
            const rut_entry& e = b->ruts[b->rut_read];
            EXPECT_FLOAT_EQ(e.x, b->front_contact.point.x);
            EXPECT_FLOAT_EQ(e.z, b->front_contact.point.z);
            EXPECT_NEAR(e.force_x, r.fx, 1e-3f);
            EXPECT_NEAR(e.force_z, r.fz, 1e-3f);
        }
    }
}

TEST_F(Ruts, RingHoldsAtMostOneLessThanItsSize)
{
    push(&b->front_contact, 30, {500, 0, 0});
    push(&b->rear_contact, 30, {500, 0, 0});
    for (int i = 0; i < rut_ring_size; i++)
        record_ruts(b.get(), ground.hf, 1);
    EXPECT_EQ(rut_pending(b.get()), rut_ring_size - 1);
}

TEST_F(Ruts, AppliedBehindTheBikeFourPerTick)
{
    push(&b->front_contact, 30, {100, 0, 0});   // C = (100 - 50) / 100 * 2 = 1 ft
    b->rear_contact.load = 0;
    for (int i = 0; i < 6; i++)
        record_ruts(b.get(), ground.hf, 1);
    ASSERT_EQ(rut_pending(b.get()), 6);

    // The frame stands over the entries: they wait.
    apply_ruts(b.get(), &ground.hf, 50);
    EXPECT_TRUE(digs.empty());
    EXPECT_EQ(rut_pending(b.get()), 6);

    dBodySetPosition(b->bodies[body_frame], 5, 1, 5 - 10.5);
    apply_ruts(b.get(), &ground.hf, 50);
    EXPECT_EQ(rut_pending(b.get()), 2);
    ASSERT_EQ(digs.size(), 8u);
    vec3 p = b->front_contact.point;
    float amount = 50.0f / 2048.0f;   // erode x 2^-11 x erode_depth 1
    EXPECT_FLOAT_EQ(digs[0].x, p.x);
    EXPECT_FLOAT_EQ(digs[0].z, p.z);
    EXPECT_FLOAT_EQ(digs[0].radius, 4.0f);
    EXPECT_FLOAT_EQ(digs[0].depth, -amount);
    EXPECT_FLOAT_EQ(digs[1].x, p.x - 1.0f);   // piled against the push
    EXPECT_FLOAT_EQ(digs[1].z, p.z);
    EXPECT_FLOAT_EQ(digs[1].depth, amount);
}

TEST_F(Ruts, TooSteepAPileIsDroppedUnmoved)
{
    // Ground rising 0.5 ft per ft towards -x: the pile 1 ft against a +x
    // push would stand 0.5 above the dig, more than 1 x erode_max_slope 0.25.
    test_ground slope(2, 2.0f, [](int col, int) { return 8.0f - 1.0f * col; });
    push(&b->front_contact, 30, {100, 0, 0});
    b->rear_contact.load = 0;
    record_ruts(b.get(), slope.hf, 1);
    ASSERT_EQ(rut_pending(b.get()), 1);
    dBodySetPosition(b->bodies[body_frame], 50, 1, 50);
    apply_ruts(b.get(), &slope.hf, 50);
    EXPECT_EQ(rut_pending(b.get()), 0);
    EXPECT_TRUE(digs.empty());
}

}  // namespace
