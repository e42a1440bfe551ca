// collision_test.cpp -- collision shapes and body collisions: ".shp" files
// and their refusals, the shape cache, sphere against triangle and
// terrain, tyre against shape, sphere pairs as joints and penalty forces,
// the terrain pass, statues through their buckets, bike against bike with
// the knock rules, and the cost of the per-bike pass.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "shape_fixture.h"
#include "sim/ride.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

namespace {

constexpr float tol = 1e-4f;
constexpr float pi = 3.14159265f;

#define EXPECT_VEC_NEAR(v, ex, ey, ez, eps)                                                        \
    do {                                                                                           \
        EXPECT_NEAR((v).x, (ex), (eps));                                                           \
        EXPECT_NEAR((v).y, (ey), (eps));                                                           \
        EXPECT_NEAR((v).z, (ez), (eps));                                                           \
    } while (0)

bool finite(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

struct Shapes : shape_test {};

// ---------------------------------------------------------------- files

TEST_F(Shapes, FilesAreReadOrRefusedWhole)
{
    std::string many;
    for (int i = 0; i < shape_max_spheres; i++)
        many += "0 0 0 0.5 0.5 100 10\n";
    struct row {
        const char* what;
        std::string text;
        int spheres;        // -1: refused
        float bounding;
        const char* log;    // in the refusal's log line
    };
    const row rows[] = {
        {"two spheres", "2\n0 1 0  0.5 0.4 100 10\n3 0 4\t1 0.5 200 0\n", 2, 6.0f, nullptr},
        {"no spheres", "0\n", 0, 0.0f, nullptr},
        {"the most spheres", std::to_string(shape_max_spheres) + "\n" + many, shape_max_spheres, 0.5f, nullptr},
        {"one too many", std::to_string(shape_max_spheres + 1) + "\n" + many, -1, 0, "holds 257 spheres"},
        {"a huge count", "99999999999\n", -1, 0, "holds 2147483647 spheres"},
        {"a negative count", "-1\n", -1, 0, "holds -1 spheres"},
        {"no count", "spheres\n", -1, 0, "has no sphere count"},
        {"cut short", "2\n0 0 0 0.5 0.5 100 10\n0 0 0 0.5\n", -1, 0, "sphere 2 has missing numbers"},
        {"a word for a number", "1\n0 0 0 nan 0.5 100 10\n", -1, 0, "sphere 1 has missing numbers"},
        {"a zero radius", "1\n0 0 0 0 0.5 100 10\n", -1, 0, "radius at or below 0"},
        {"a negative radius", "1\n0 0 0 -0.5 0.5 100 10\n", -1, 0, "radius at or below 0"},
        {"an infinite radius", "1\n0 0 0 1e39 0.5 100 10\n", -1, 0, "sphere 1 has a number out of range"},
        {"an infinite centre", "1\n1e39 0 0 0.5 0.5 100 10\n", -1, 0, "sphere 1 has a number out of range"},
        {"no spring at all", "1\n0 0 0 0.5 0.5 0 0\n", -1, 0, "no stiffness"},
        {"damping only", "1\n0 0 0 0.5 0.5 0 100\n", -1, 0, "no stiffness"},
        {"negative damping", "1\n0 0 0 0.5 0.5 100 -1\n", -1, 0, "negative damping"},
        {"negative friction", "1\n0 0 0 0.5 -0.5 100 1\n", -1, 0, "negative friction"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        std::string path = shape_file(r.text);
        int cached = collision_shape_cache_count();
        const collision_shape* s = load_collision_shape(path.c_str());
        if (r.spheres < 0) {
            EXPECT_EQ(s, nullptr);
            EXPECT_EQ(collision_shape_cache_count(), cached);   // nothing cached
            EXPECT_EQ(copy_collision_shape(path.c_str()), nullptr);
            continue;
        }
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->sphere_count, r.spheres);
        EXPECT_NEAR(s->bounding_radius, r.bounding, tol);
        EXPECT_EQ(s->template_shape, nullptr);
        EXPECT_EQ(collision_shape_cache_count(), cached + 1);
    }
    EXPECT_EQ(load_collision_shape((dir / "absent.shp").c_str()), nullptr);
    std::string log = text();
    for (const row& r : rows)
        if (r.log) {
            EXPECT_NE(log.find(r.log), std::string::npos) << r.what << "\n" << log;
        }
    // Every refused file was named, twice: a refused file is read again.
    EXPECT_NE(log.find("refused: sphere 1 has no stiffness"), std::string::npos);
    EXPECT_EQ(log.find("absent.shp"), std::string::npos);   // the caller reports missing files
}

TEST_F(Shapes, OneCachedShapeServesPrivateCopiesThatPlaceIndependently)
{
    std::string path = shape_file("2\n1 0 0 0.25 0.5 100 10\n0 2 0 0.5 0.5 100 10\n");
    const collision_shape* cached = load_collision_shape(path.c_str());
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(load_collision_shape(path.c_str()), cached);
    collision_shape* a = copy_collision_shape(path.c_str());
    collision_shape* b = copy_collision_shape(path.c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(collision_shape_cache_count(), 1);
    EXPECT_EQ(a->template_shape, cached);
    EXPECT_EQ(b->template_shape, cached);
    EXPECT_NE(a->spheres, b->spheres);
    EXPECT_NEAR(a->bounding_radius, 2.5f, tol);
    // A quarter turn about y takes body x to world -z.
    place_collision_shape(a, {10, 0, 0}, mat3_axis_angle({0, 1, 0}, pi / 2));
    place_collision_shape(a, {10, 0, 0}, mat3_axis_angle({0, 1, 0}, pi / 2));   // placing twice is the same
    EXPECT_VEC_NEAR(a->spheres[0].centre, 10, 0, -1, tol);
    EXPECT_VEC_NEAR(a->spheres[1].centre, 10, 2, 0, tol);
    EXPECT_VEC_NEAR(b->spheres[0].centre, 1, 0, 0, tol);
    EXPECT_VEC_NEAR(cached->spheres[0].centre, 1, 0, 0, tol);
    place_collision_shape(const_cast<collision_shape*>(cached), {5, 5, 5}, mat3_identity());   // refused
    EXPECT_VEC_NEAR(cached->spheres[0].centre, 1, 0, 0, tol);
    free_collision_shape(a);
    free_collision_shape(b);
    free_collision_shape(const_cast<collision_shape*>(cached));   // ignored: the cache keeps it
    EXPECT_EQ(load_collision_shape(path.c_str()), cached);
}

TEST_F(Shapes, BikesCopyTheirSevenShapesAndStatuesGetTheLoader)
{
    use_game_data();
    bike* b = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
    bike* c = create_bike("crf450(2013)", 1, "2", nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(b && c);
    for (int body = 0; body < bike_body_count; body++) {
        SCOPED_TRACE(body);
        collision_shape* s = *slot(b, body);
        ASSERT_NE(s, nullptr);
        EXPECT_GT(s->sphere_count, 0);
        EXPECT_EQ(s->template_shape, (*slot(c, body))->template_shape);   // one cached shape
        EXPECT_NE(s, *slot(c, body));
    }
    EXPECT_EQ(collision_shape_cache_count(), generic_shape_count);
    free_bike(b);
    free_bike(c);

    track_asset_ops before = track_assets();
    bike_shapes_install_track_assets();
    float radius = -1;
    collision_shape* s = track_assets().shape_load(ball(0.75f).c_str(), &radius);
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(radius, 0.75f, tol);
    EXPECT_NE(s->template_shape, nullptr);   // a statue's own copy
    track_assets().shape_free(s);
    EXPECT_EQ(track_assets().texture_load, before.texture_load);   // the rest left as it was
    track_assets_install(nullptr);
}

// -------------------------------------------------------------- geometry

terrain_triangle tri(vec3 a, vec3 b, vec3 c) { return {{a, b, c}}; }

TEST(SphereTriangle, FaceEdgeVertexAndBelowThePlane)
{
    // Flat right triangle (normal up) and an obtuse one (obtuse at p[1]).
    const terrain_triangle flat = tri({0, 0, 0}, {0, 0, 4}, {4, 0, 0});
    const terrain_triangle obtuse = tri({0, 0, 0}, {0, 0, 1}, {1, 0, 3});
    const terrain_triangle slope = tri({0, 0, 0}, {0, 0, 4}, {4, 4, 0});   // y = x
    const vec3 sn = {-0.70710678f, 0.70710678f, 0};
    const vec3 away = {-0.6f, 0, -0.8f};   // from the obtuse triangle's p[0], beyond all three edges
    struct row {
        const char* what;
        const terrain_triangle& t;
        vec3 centre;
        float depth;   // 0 = no contact
        vec3 normal;
    };
    const row rows[] = {
        {"face", flat, {1, 0.3f, 1}, 0.2f, {0, 1, 0}},
        {"face, clear", flat, {1, 0.6f, 1}, 0, {}},
        {"edge", flat, {2, 0, -0.3f}, 0.2f, {0, 0, -1}},
        {"vertex at 0.3", obtuse, vec3_scale(away, 0.3f), 0.2f, away},
        {"vertex at 0.6", obtuse, vec3_scale(away, 0.6f), 0, {}},
        // Near the right angle, beyond both short edges, the long edge's
        // projection falls within it; the corner is still the nearest point.
        {"corner of a right angle", flat, {-0.2121320f, 0, -0.2121320f}, 0.2f, {-0.70710678f, 0, -0.70710678f}},
        {"sunk under the face", flat, {1, -0.8f, 1}, 1.3f, {0, 1, 0}},
        {"a radius under a slope", slope, vec3_add(vec3{1.9f, 1.9f, 2}, vec3_scale(sn, -0.4f)), 0.9f, sn},
        {"deep under a slope, beside it", slope, vec3_add(vec3{1.9f, 1.9f, 2}, vec3_scale(sn, -1.0f)), 0, {}},
        {"no area", tri({0, 0, 0}, {1, 0, 0}, {2, 0, 0}), {1, 0, 0}, 0, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        vec3 point = {9, 9, 9}, normal = {9, 9, 9};
        float depth = sphere_triangle_depth(r.centre, 0.5f, r.t, &point, &normal);
        if (r.depth == 0) {
            EXPECT_LE(depth, 0.0f);
            continue;
        }
        EXPECT_NEAR(depth, r.depth, tol);
        EXPECT_VEC_NEAR(normal, r.normal.x, r.normal.y, r.normal.z, tol);
        vec3 want = vec3_sub(r.centre, vec3_scale(r.normal, 0.5f));
        EXPECT_VEC_NEAR(point, want.x, want.y, want.z, tol);
    }
}

TEST(SphereTerrain, FlatSlopedAndRidgedFields)
{
    const float slope = 0.5f;
    test_ground flat(2, 2.0f, [](int, int) { return 0.0f; });
    test_ground sloped(2, 2.0f, [&](int col, int) { return col * 2.0f * slope; });
    test_ground ridge(2, 2.0f, [](int col, int) { return -std::fabs(col - 4.0f) * 2.0f * 0.5f; });
    const float len = std::sqrt(1 + slope * slope);
    const vec3 sn = {-slope / len, 1 / len, 0};
    struct row {
        const char* what;
        const height_field& hf;
        vec3 centre;
        float depth;
        vec3 normal;
    };
    const row rows[] = {
        {"flat", flat.hf, {5.3f, 0.3f, 6.1f}, 0.2f, {0, 1, 0}},
        {"flat, on a cell corner", flat.hf, {4, 0.1f, 4}, 0.4f, {0, 1, 0}},
        {"flat, clear", flat.hf, {5.3f, 0.51f, 6.1f}, 0, {}},
        {"sloped", sloped.hf, {7.1f, 7.1f * slope + 0.3f * len, 5.5f}, 0.2f, sn},
        {"on the crest of a ridge", ridge.hf, {8, 0.3f, 5.1f}, 0.2f, {0, 1, 0}},
        {"off the grid", flat.hf, {-3, 0, 5}, 0, {}},
        {"not a number", flat.hf, {NAN, 0, 5}, 0, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        sphere_hit hit;
        bool touching = sphere_terrain_contact(r.hf, r.centre, 0.5f, &hit);
        EXPECT_EQ(touching, r.depth > 0);
        if (!touching)
            continue;
        EXPECT_NEAR(hit.depth, r.depth, tol);
        EXPECT_VEC_NEAR(hit.normal, r.normal.x, r.normal.y, r.normal.z, tol);
    }
}

// -------------------------------------------------------- pairs and tyres

struct Pairs : shape_test {
    shape_sphere sphere(vec3 c, float r, float k = 20000, float d = 2000) { return {c, r, 0.5f, k, d}; }
};

TEST_F(Pairs, PenaltyForcesFollowDepthAndClosingSpeedWithinTheLimit)
{
    struct row {
        float depth;
        float closing;   // ft/s of body 1 toward body 2
        float k, c;
        float force;     // on body 2, along +x
    };
    const row rows[] = {
        {0.01f, 0, 20000, 2000, 200},
        {0.01f, 0.1f, 20000, 2000, 400},
        {0.01f, -0.2f, 20000, 2000, -200},   // parting faster than the spring pushes: a pull
        {0.01f, 1, 20000, 2000, pair_force_limit},
        {0.5f, 0, 25000, 2500, pair_force_limit},
        {0.01f, -5, 20000, 2000, -pair_force_limit},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.force);
        dBodyID b1 = world.body({0, 0, 0}), b2 = world.body({1, 0, 0});
        body_set_velocity(b1, {r.closing, 0, 0});
        shape_sphere s1 = sphere({0, 0, 0}, 0.5f, r.k, r.c), s2 = sphere({1 - r.depth, 0, 0}, 0.5f, r.k, r.c);
        int joints = physics.contact_joints;
        ASSERT_TRUE(sphere_pair_contact(s1, b1, s2, b2, pair_penalty, nullptr));
        EXPECT_EQ(physics.contact_joints, joints);
        EXPECT_VEC_NEAR(force_on(b2), r.force, 0, 0, 0.05f);
        EXPECT_VEC_NEAR(force_on(b1), -r.force, 0, 0, 0.05f);
        dBodyDestroy(b1);
        dBodyDestroy(b2);
    }
    // A disabled or missing body gets nothing; the other still does.
    dBodyID b1 = world.body({0, 0, 0});
    dBodyID b2 = world.body({1, 0, 0});
    dBodyDisable(b2);
    shape_sphere s1 = sphere({0, 0, 0}, 0.5f), s2 = sphere({0.99f, 0, 0}, 0.5f), apart = sphere({1.0f, 0, 0}, 0.5f);
    ASSERT_TRUE(sphere_pair_contact(s1, b1, s2, b2, pair_penalty, nullptr));
    EXPECT_VEC_NEAR(force_on(b2), 0, 0, 0, 0);
    EXPECT_NEAR(force_on(b1).x, -200, 0.05f);
    EXPECT_TRUE(sphere_pair_contact(s1, b1, s2, nullptr, pair_penalty, nullptr));
    EXPECT_FALSE(sphere_pair_contact(s1, b1, apart, nullptr, pair_penalty, nullptr));   // touching is not overlapping
}

TEST_F(Pairs, CoincidentCentresGiveFiniteContacts)
{
    dBodyID b1 = world.body({0, 0, 0}), b2 = world.body({0, 0, 0});
    shape_sphere s = sphere({2, 3, 4}, 0.5f);
    // Still: pushed straight up.  Moving: pushed the way body 1 comes in.
    pair_record rec;
    ASSERT_TRUE(sphere_pair_contact(s, b1, s, b2, pair_penalty, &rec));
    EXPECT_VEC_NEAR(rec.normal, 0, 1, 0, tol);
    EXPECT_NEAR(rec.depth, 1.0f, tol);
    EXPECT_VEC_NEAR(force_on(b2), 0, pair_force_limit, 0, 0.01f);
    body_set_velocity(b1, {0, 0, -3});
    ASSERT_TRUE(sphere_pair_contact(s, b1, s, b2, pair_penalty, &rec));
    EXPECT_VEC_NEAR(rec.normal, 0, 0, -1, tol);
    EXPECT_TRUE(finite(force_on(b1)) && finite(force_on(b2)));
    EXPECT_TRUE(finite(rec.point));
    int rejected = physics.rejected_values, joints = physics.contact_joints;
    ASSERT_TRUE(sphere_pair_contact(s, b1, s, b2, pair_joint, &rec));
    EXPECT_EQ(physics.contact_joints, joints + 1);
    EXPECT_EQ(physics.rejected_values, rejected);
    physics_world_step();
    EXPECT_TRUE(finite(body_position(b1)) && finite(body_position(b2)));
}

TEST_F(Pairs, ATyreMeetsAShapeAndRestsOnIt)
{
    const float ring = 0.75f, section = 0.33333334f;
    dBodyID wheel = world.body({0, 2, 0});
    wheel_contact wc = {};
    wc.body = wheel;
    wc.axle_local = {1, 0, 0};
    wc.ring_radius = ring;
    wc.section_radius = section;
    collision_shape* ballshape = copy_collision_shape(ball(0.5f).c_str());
    ASSERT_NE(ballshape, nullptr);
    // A ball ahead of the tyre, 0.1 ft into it.
    vec3 at = {0, 2, -(ring + section + 0.5f - 0.1f)};
    int joints = physics.contact_joints;
    ASSERT_TRUE(wheel_shape_contacts(ballshape, nullptr, at, mat3_identity(), &wc, pair_joint));
    EXPECT_EQ(physics.contact_joints, joints + 1);
    EXPECT_NEAR(wc.load, 0.1f, tol);
    EXPECT_VEC_NEAR(wc.normal, 0, 0, -1, tol);   // from the tyre toward the ball
    EXPECT_VEC_NEAR(wc.point, 0, 2, -(ring + section - 0.05f), tol);
    // A wheel already on the ground keeps its ground contact.
    wc.load = 0.05f;
    wc.normal = {0, 1, 0};
    EXPECT_TRUE(wheel_shape_contacts(ballshape, nullptr, at, mat3_identity(), &wc, pair_detect));
    EXPECT_NEAR(wc.load, 0.05f, tol);
    EXPECT_VEC_NEAR(wc.normal, 0, 1, 0, tol);
    // Out of reach: bounding radii say no before any sphere is placed.
    wc.load = 0;
    EXPECT_FALSE(wheel_shape_contacts(ballshape, nullptr, {0, 2, -2}, mat3_identity(), &wc, pair_joint));
    EXPECT_EQ(wc.load, 0.0f);
    // A ball on the axle line has no direction across the axle; it still
    // meets the tyre at a point of the ring, with finite numbers.
    collision_shape* big = copy_collision_shape(ball(1.0f).c_str());
    EXPECT_TRUE(wheel_shape_contacts(big, nullptr, {0.3f, 2, 0}, mat3_identity(), &wc, pair_detect));
    EXPECT_TRUE(finite(wc.point) && finite(wc.normal) && std::isfinite(wc.load));
    EXPECT_GT(wc.load, 0.0f);
    free_collision_shape(ballshape);
    free_collision_shape(big);
}

// ----------------------------------------------------------- terrain pass

struct TerrainPass : shape_test {
    test_ground ground{5, 4.0f, [](int, int) { return 0.0f; }};
    bike* b = nullptr;
    void SetUp() override
    {
        shape_test::SetUp();
        bike_env.ground = &ground.hf;
        b = bare_bike();
        place(b, 64, 0.5f, 64);   // wheels clear of the ground
    }
    void TearDown() override
    {
        free_bike(b);
        shape_test::TearDown();
    }
};

TEST_F(TerrainPass, OnlyBodyPartsOtherThanWheelsAndFrameSpoilTheLap)
{
    EXPECT_FALSE(terrain_pass(b));
    give(b, body_frame, ball(2.6f));   // frame at 2.48 ft
    int joints = physics.contact_joints;
    EXPECT_TRUE(terrain_pass(b));
    EXPECT_EQ(physics.contact_joints, joints + 1);
    EXPECT_FALSE(b->lap_spoiled);
    give(b, body_swingarm, ball(2.0f));   // swingarm at 1.84 ft
    EXPECT_TRUE(terrain_pass(b));
    EXPECT_TRUE(b->lap_spoiled);
    physics_contacts_clear();
}

TEST_F(TerrainPass, ARiderOnItsHeadCrashesOnlyWhenMovingFasterThanFiveFeetASecond)
{
    give(b, body_rider, ball(5.5f));   // rider mass at 5.0 ft
    for (float speed : {4.0f, 6.0f}) {
        SCOPED_TRACE(speed);
        place(b, 64, 0.5f, 64);
        dBodyID rider = b->bodies[body_rider];
        body_set_velocity(rider, {speed, 0, 0});
        EXPECT_TRUE(terrain_pass(b));   // upright: never a crash
        EXPECT_FALSE(bike_crashed(b));
        body_set_rotation(rider, mat3_axis_angle({0, 0, 1}, pi));
        EXPECT_TRUE(terrain_pass(b));
        EXPECT_EQ(bike_crashed(b), speed > 5);
        EXPECT_TRUE(b->lap_spoiled);
    }
    int timer = b->crash_timer;
    EXPECT_TRUE(terrain_pass(b));   // already down: the crash is not started again
    EXPECT_EQ(b->crash_timer, timer);
    EXPECT_EQ(b->crash_count, 1);
    physics_contacts_clear();
}

TEST_F(TerrainPass, GridPlacementRaisesTheBikeUntilItsBodyShapesClear)
{
    use_game_data();
    bike* real = create_bike("crf450(2013)", 1, "2", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(real->frame_shape, nullptr);
    // A 1.5 ft ridge across the ground under the engine, between the tyres
    // (frame at z 3.6 in the build pose, axles at 1.11 and 6.0).
    test_ground ridge(6, 1.0f, [](int, int row) { return row == 67 || row == 68 ? 1.5f : 0.0f; });
    bike_env.ground = &ridge.hf;
    place_bike(real, 64, 64, 0);
    float lift = body_position(real->bodies[body_frame]).y - real->model.frame_position.y;
    EXPECT_GE(lift, 0.25f);   // the tyres alone would have left it standing on the ground
    EXPECT_FALSE(bike_wheel_contacts(real, ridge.hf));
    move_bike(real, 0, 0.125f, 0);   // the probe that found it clear
    EXPECT_FALSE(terrain_pass(real));
    move_bike(real, 0, -0.25f, 0);   // the one before it touched
    EXPECT_TRUE(terrain_pass(real));
    physics_contacts_clear();
    free_bike(real);
}

// ----------------------------------------------------------------- statues

struct Statues : shape_test {
    test_ground ground{5, 4.0f, [](int, int) { return 0.0f; }};   // 256 ft square
    track_state saved = track;
    std::vector<statue> statues;
    std::vector<int> buckets[statue_bucket_side][statue_bucket_side];
    bike* b = nullptr;

    void SetUp() override
    {
        shape_test::SetUp();
        bike_env.ground = &ground.hf;
        b = bare_bike();
        place(b, 128, 0.5f, 128);
    }
    void TearDown() override
    {
        free_bike(b);
        for (statue& s : statues)
            free_collision_shape(s.shape);
        track = saved;
        shape_test::TearDown();
    }
    void add(vec3 at, const std::string& shape)
    {
        statue s = {};
        s.position = at;
        s.orientation = mat3_identity();
        s.shape = shape.empty() ? nullptr : copy_collision_shape(shape.c_str());
        s.shape_radius = s.shape ? s.shape->bounding_radius : 0;
        statues.push_back(s);
    }
    // The track's statues and buckets, as the loader fills them.
    void install()
    {
        for (auto& row : buckets)
            for (auto& bucket : row)
                bucket.clear();
        for (int i = 0; i < int(statues.size()); i++) {
            const statue& s = statues[i];
            if (!s.shape)
                continue;
            int c0, c1, r0, r1;
            statue_bucket_range(s.position.x, s.position.z, s.shape_radius, ground.hf.world_size, &c0, &c1, &r0, &r1);
            for (int r = r0; r <= r1; r++)
                for (int c = c0; c <= c1; c++)
                    buckets[r][c].push_back(i);
        }
        track.statues = {statues.data(), int(statues.size()), int(statues.size())};
        for (int r = 0; r < statue_bucket_side; r++)
            for (int c = 0; c < statue_bucket_side; c++)
                track.statue_buckets[r][c] = {buckets[r][c].data(), int(buckets[r][c].size()),
                                              int(buckets[r][c].size())};
    }
};

TEST_F(Statues, BucketsAroundTheFrameMergeAscendingWithoutRepeats)
{
    // Buckets are 24 ft wide from 32 ft on: column 3 covers x 104 .. 128.
    install();
    for (int r = 0; r < statue_bucket_side; r++)
        for (int c = 0; c < statue_bucket_side; c++)
            track.statue_buckets[r][c] = {};
    int left[] = {1, 3, 5}, right[] = {0, 3, 4}, below[] = {2, 3};
    track.statue_buckets[3][3] = {left, 3, 3};
    track.statue_buckets[3][4] = {right, 3, 3};
    track.statue_buckets[4][3] = {below, 2, 2};
    const int* list;
    int n = statue_candidates(116, 116, &list);   // one bucket: its own list
    EXPECT_EQ(list, left);
    EXPECT_EQ(n, 3);
    n = statue_candidates(126, 116, &list);       // columns 3 and 4
    EXPECT_EQ(std::vector<int>(list, list + n), (std::vector<int>{0, 1, 3, 4, 5}));
    n = statue_candidates(126, 126, &list);       // and row 4
    EXPECT_EQ(std::vector<int>(list, list + n), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // A field of no size can't be divided into buckets: all are searched.
    ground.hf.world_size = 0;
    n = statue_candidates(126, 126, &list);
    EXPECT_EQ(std::vector<int>(list, list + n), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(Statues, ATouchedStatueRecordsTheTickAndAHardHitCrashesTheRider)
{
    give(b, body_frame, ball(0.5f));
    give(b, body_rider, ball(1.0f));
    vec3 frame = body_position(b->bodies[body_frame]);
    vec3 rider = body_position(b->bodies[body_rider]);
    add({20, 0, 20}, ball(1.0f));                               // far away
    add(vec3_add(frame, {0, 0, -1.2f}), ball(1.0f));            // just ahead of the frame
    add(vec3_add(frame, {0, 0, 1.0f}), "");                     // no shape: never a candidate
    install();
    bike_env.tick = 77;
    int joints = physics.contact_joints;
    collision_pass(b);
    EXPECT_EQ(track.statues.items[0].last_touched, 0);
    EXPECT_EQ(track.statues.items[1].last_touched, 77);
    EXPECT_EQ(physics.contact_joints, joints + 1);   // frame sphere against the statue's
    EXPECT_FALSE(bike_crashed(b));
    physics_contacts_clear();

    // The rider into a statue: over 20 ft/s the rider comes off.
    statues.push_back({});
    statues.back().position = vec3_add(rider, {0, 0, -1.5f});
    statues.back().orientation = mat3_identity();
    statues.back().shape = copy_collision_shape(ball(1.0f).c_str());
    statues.back().shape_radius = 1.0f;
    install();
    for (float speed : {19.0f, 21.0f}) {
        SCOPED_TRACE(speed);
        body_set_velocity(b->bodies[body_rider], {0, 0, -speed});
        bike_env.tick++;
        collision_pass(b);
        EXPECT_EQ(track.statues.items[3].last_touched, bike_env.tick);
        EXPECT_EQ(bike_crashed(b), speed > 20);
    }
    physics_contacts_clear();
}

// ------------------------------------------------------------ bike and bike

struct Bikes : shape_test {
    bike* a = nullptr;
    bike* b = nullptr;
    void SetUp() override
    {
        shape_test::SetUp();
        a = bare_bike(0);
        b = bare_bike(1);
    }
    void TearDown() override
    {
        free_bike(a);
        free_bike(b);
        shape_test::TearDown();
    }
    static void frame_speed(bike* x, float v)
    {
        vec3 forward = body_vector_to_world(x->bodies[body_frame], {0, 0, -1});
        set_speed(x, vec3_scale(forward, v));
    }
};

// Front wheel (a ball of 1 ft for a, the tyre itself for b) to front wheel,
// and a's front wheel into b's swingarm from the side.
TEST_F(Bikes, KnockRulesThrowTheBikeThatRunsIntoAnother)
{
    struct row {
        const char* what;
        bool head_on;      // else a's front wheel into b's swingarm
        bool reversed;     // b runs into a: collide_bikes(b, a)
        float va, vb;
        bool b_crashed;
        float knock_a, knock_b;
    };
    const row rows[] = {
        {"head on at 15 and 15", true, false, 15, 15, false, 192, 192},
        {"head on at 15 and 8", true, false, 15, 8, false, 192, 0},
        {"into the swingarm at 12, hit at 6", false, false, 12, 6, false, 256, 0},
        {"hit bike slower than 5", false, false, 12, 4, false, 0, 0},
        {"hit bike down", false, false, 12, 6, true, 0, 0},
        {"rammer slower than 10", false, false, 8, 6, false, 0, 0},
        {"found from the other side", false, true, 12, 6, false, 256, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        release_bike_shapes(a);
        release_bike_shapes(b);
        place(a, 0, 0, 0);
        give(a, body_front_wheel, ball(1.0f));
        if (r.head_on) {
            // b faces a, front axles 1.9 ft apart.
            place(b, 0, 0, 0.32f, pi);
            give(b, body_front_wheel, ball(1.0f));
        } else {
            // b side-on, its swingarm 1.3 ft ahead of a's front axle.
            place(b, -4.99f, 0, 1.11f - 1.3f, pi / 2);
            give(b, body_swingarm, ball(0.5f));
        }
        frame_speed(a, r.va);
        frame_speed(b, r.vb);
        b->crash_timer = r.b_crashed ? 100 : 0;
        bike_env.tick++;
        int hit = r.reversed ? collide_bikes(b, a, false) : collide_bikes(a, b, false);
        EXPECT_NE(hit, 0);
        if (!r.reversed) {
            EXPECT_EQ(hit, r.head_on ? part_front_wheel : part_swingarm);
        }
        EXPECT_EQ(a->knock_timer, r.knock_a);
        EXPECT_EQ(b->knock_timer, r.knock_b);
        EXPECT_EQ(a->last_bike_contact_tick, bike_env.tick);
        EXPECT_EQ(b->last_bike_contact_tick, bike_env.tick);
        physics_contacts_clear();
    }
    // A knock never shortens a longer one.
    a->knock_timer = 300;
    place(b, 0, 0, 0.32f, pi);
    release_bike_shapes(b);
    give(b, body_front_wheel, ball(1.0f));
    frame_speed(a, 15);
    frame_speed(b, 15);
    bike_env.tick++;
    collide_bikes(a, b, false);
    EXPECT_EQ(a->knock_timer, 300);
    EXPECT_EQ(b->knock_timer, 192);
    physics_contacts_clear();
}

TEST_F(Bikes, OneSidedContactsOfTheRemoteFrontEndPushNothingYetKnockIt)
{
    // b follows a with its front tyre 0.27 ft into a's rear wheel ball.
    give(a, body_rear_wheel, ball(1.0f));
    give(b, body_front_wheel, ball(1.0f));
    bike* knocked = nullptr;
    int calls = 0;
    static bike** seen;
    seen = &knocked;
    collision_set_contact_hook([](bike* x) { *seen = x; });
    for (bool one_sided : {true, false}) {
        SCOPED_TRACE(one_sided);
        place(a, 0, 0, 0);
        place(b, 0, 0, 6.79f);
        frame_speed(a, 6);
        frame_speed(b, 12);
        b->knock_timer = 0;
        bike_env.tick++;
        int joints = physics.contact_joints;
        EXPECT_EQ(collide_bikes(a, b, one_sided), part_front_wheel);
        EXPECT_EQ(physics.contact_joints, one_sided ? joints : joints + 1);
        EXPECT_EQ(b->knock_timer, 256.0f);
        EXPECT_EQ(a->knock_timer, 0.0f);
        EXPECT_GT(b->front_contact.load, 0.0f);   // b's tyre rests on a
        EXPECT_EQ(knocked, b);                    // told about a, then b
        calls++;
        physics_contacts_clear();
    }
    EXPECT_EQ(calls, 2);
}

TEST_F(Bikes, TheFirstPairOfATickGetsJointsLaterPairsPenaltyForces)
{
    use_game_data();
    free_bike(a);
    free_bike(b);
    a = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
    b = create_bike("crf450(2013)", 1, "2", nullptr, nullptr, nullptr, nullptr);
    bike* c = create_bike("crf450(2013)", 2, "3", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(a->frame_shape, nullptr);
    // Three bikes side by side, each a little into the next.
    place(a, 0, 0, 0);
    place(b, 1.2f, 0, 0);
    place(c, -1.2f, 0, 0);
    bike_env.tick = 40;
    int joints = physics.contact_joints;
    EXPECT_NE(collide_bikes(a, b, false), 0);
    EXPECT_GT(physics.contact_joints, joints);
    for (bike* x : {a, b})
        for (dBodyID body : x->bodies)
            EXPECT_VEC_NEAR(force_on(body), 0, 0, 0, 0);
    joints = physics.contact_joints;
    EXPECT_NE(collide_bikes(c, a, false), 0);   // a already met b in this tick
    EXPECT_EQ(physics.contact_joints, joints);
    float pushed = 0;
    for (bike* x : {a, c})
        for (dBodyID body : x->bodies) {
            vec3 f = force_on(body);
            EXPECT_TRUE(finite(f));
            pushed += vec3_length(f);
        }
    EXPECT_GT(pushed, 0.0f);
    EXPECT_LT(force_on(c->bodies[body_frame]).x, 0.0f);   // c is pushed away from a
    // The next tick starts afresh with joints.
    bike_env.tick++;
    joints = physics.contact_joints;
    EXPECT_NE(collide_bikes(c, a, false), 0);
    EXPECT_GT(physics.contact_joints, joints);
    // Far apart: nothing, and no contact tick.
    place(c, 40, 0, 0);
    c->last_bike_contact_tick = -1;
    EXPECT_EQ(collide_bikes(c, a, false), 0);
    EXPECT_EQ(c->last_bike_contact_tick, -1);
    physics_contacts_clear();
    physics_world_step();
    for (bike* x : {a, b, c})
        for (dBodyID body : x->bodies)
            EXPECT_TRUE(finite(body_position(body)));
    free_bike(c);
}

// ----------------------------------------------------------------- cost

TEST_F(Bikes, CostOfTheCollisionPass)
{
    use_game_data();
    free_bike(a);
    free_bike(b);
    a = create_bike("crf450(2013)", 0, "1", nullptr, nullptr, nullptr, nullptr);
    b = create_bike("crf450(2013)", 1, "2", nullptr, nullptr, nullptr, nullptr);
    auto bumps = [](int col, int row) { return 0.3f * std::sin(col * 0.7f) + 0.2f * std::cos(row * 1.3f); };
    test_ground ground(7, 4.0f, bumps);
    bike_env.ground = &ground.hf;
    place(a, 512, 0, 512);
    place(b, 513, 0, 512);
    move_bike(a, 0, 0.1f, 0);
    const int rounds = 2000;
    auto time_us = [&](auto&& fn) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; i++) {
            fn();
            physics_contacts_clear();
        }
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / rounds;
    };
    double pass = time_us([&] { collision_pass(a); });
    double pair = time_us([&] {
        bike_env.tick++;
        collide_bikes(a, b, false);
    });
    place(b, 540, 0, 512);
    double apart = time_us([&] { collide_bikes(a, b, false); });
    std::printf("[collision] collision_pass %.2f us per bike; collide_bikes %.2f us touching, %.3f us apart\n", pass,
                pair, apart);
    EXPECT_LT(pass, 1000.0);   // far inside a tick even on a slow machine
}

}   // namespace
