// Tyre-ground contact: the torus-triangle cases, tie order, the normal
// fix-up, the contact joint's parameters and its effect in a real world.
#include <cmath>

#include <gtest/gtest.h>

#include "bike/wheel_contact.h"
#include "contact_fixture.h"

namespace {

constexpr float ring = 1.0f;
constexpr float section = 0.25f;
constexpr float tol = 1e-4f;

torus_shape wheel_at(vec3 centre, vec3 axle = {1, 0, 0})
{
    return {centre, axle, ring, section};
}

bool finite(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

#define EXPECT_VEC_NEAR(v, ex, ey, ez, eps)                                                        \
    do {                                                                                           \
        EXPECT_NEAR((v).x, (ex), (eps));                                                           \
        EXPECT_NEAR((v).y, (ey), (eps));                                                           \
        EXPECT_NEAR((v).z, (ez), (eps));                                                           \
    } while (0)

test_ground flat_ground() { return test_ground(2, 2.0f, [](int, int) { return 0.0f; }); }

// ---------------------------------------------------------------- geometry

TEST(TorusTerrain, FlatGroundDepthsAndSprings)
{
    test_ground g = flat_ground();
    struct row {
        float depth;   // wanted penetration
        float k, c;    // spring and damper at that depth
    };
    // At the section radius the spring is full; at half of it 1/8 of the
    // rise; beyond the section radius (ring crossing the plane) it stays full.
    const row rows[] = {
        {0.25f, 25000.0f, 2500.0f},
        {0.125f, 4000.0f, 487.5f},
        {0.4f, 25000.0f, 2500.0f},
        {0.01f, 1001.536f, 200.1472f},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.depth);
        torus_hit hit;
        ASSERT_TRUE(torus_terrain(g.hf, wheel_at({7.3f, ring + section - r.depth, 6.7f}), search_full, &hit));
        EXPECT_NEAR(hit.depth, r.depth, tol);
        EXPECT_VEC_NEAR(hit.normal, 0, 1, 0, tol);
        EXPECT_VEC_NEAR(hit.point, 7.3f, -r.depth, 6.7f, tol);
        float k, c;
        contact_spring(hit.depth, section, &k, &c);
        EXPECT_NEAR(k, r.k, 0.5f);
        EXPECT_NEAR(c, r.c, 0.05f);
    }
    torus_hit hit;
    EXPECT_FALSE(torus_terrain(g.hf, wheel_at({7.3f, ring + section + 0.01f, 6.7f}), search_full, &hit));
}

TEST(TorusTerrain, SunkWheelIsPushedStraightUp)
{
    test_ground g = test_ground(2, 2.0f, [](int col, int) { return 0.3f * col; });
    torus_hit hit;
    // Ring wholly below the sloping face, centre inside its footprint.
    ASSERT_TRUE(torus_terrain(g.hf, wheel_at({5.0f, -1.8f, 5.0f}), search_full, &hit));
    EXPECT_FLOAT_EQ(hit.depth, 2 * ring);
    EXPECT_VEC_NEAR(hit.normal, 0, 1, 0, 0);
}

TEST(TorusTerrain, SteepWallGivesNearlyHorizontalNormal)
{
    // A step 20 ft high over one 1 ft cell at x = 3 .. 4, the wheel rolling
    // along x (axle along z) into it with its tread.
    test_ground g = test_ground(2, 1.0f, [](int col, int) { return col >= 4 ? 20.0f : 0.0f; });
    torus_hit hit;
    ASSERT_TRUE(torus_terrain(g.hf, wheel_at({2.6f, 1.5f, 4.5f}, {0, 0, 1}), search_full, &hit));
    EXPECT_LT(hit.normal.x, -0.99f);
    EXPECT_GE(hit.normal.y, 0.0f);
    EXPECT_LT(hit.normal.y, 0.06f);
    EXPECT_NEAR(hit.point.x, 2.6f + ring + section, 0.05f);
}

TEST(TorusTerrain, DownwardNormalFixUp)
{
    struct row {
        vec3 in, out;
    };
    const row rows[] = {
        {{0.5f, -0.5f, 0}, {1, 0, 0}},            // horizontal part kept
        {{0.032f, -0.9f, 0}, {1, 0, 0}},          // 0.001024 >= 1/1024: still horizontal
        {{0.03f, -0.9f, 0}, {0, 1, 0}},           // too little horizontal part: straight up
        {{0, -1, 0}, {0, 1, 0}},
        {{0, 0.6f, 0.8f}, {0, 0.6f, 0.8f}},       // upward normals untouched
        {{0, 0, 0}, {0, 1, 0}},                   // degenerate: up, never NaN
    };
    for (const row& r : rows) {
        vec3 n = fix_up_normal(r.in);
        EXPECT_VEC_NEAR(n, r.out.x, r.out.y, r.out.z, 1e-6f);
    }
}

TEST(TorusTriangle, EdgePiercingTheDisc)
{
    // Flat triangle (0,0,0) (0,0,1) (1,0,0); the ring crosses its plane
    // beside the hypotenuse, which passes through the ring's disc.
    terrain_triangle tri = {{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}};
    torus_shape t = wheel_at({0.5f, 0.5f, 1.2f});
    torus_hit hit;
    ASSERT_TRUE(torus_triangle(t, tri, search_full, &hit));
    EXPECT_FLOAT_EQ(hit.depth, section - 9.536743e-7f);
    float len = std::sqrt(0.7f * 0.7f * 2 + 0.25f);
    EXPECT_VEC_NEAR(hit.normal, 0.7f / len, 0.5f / len, 0.7f / len, 1e-5f);
    // Reported on the tyre: the ring point nearest the pierce point
    // (0.5, 0, 0.5), moved inward by the section radius.
    float q = std::sqrt(0.25f + 0.49f);
    vec3 on_ring = {0.5f, 0.5f - 0.5f / q, 1.2f - 0.7f / q};
    EXPECT_VEC_NEAR(hit.point, on_ring.x - section * hit.normal.x, on_ring.y - section * hit.normal.y,
                    on_ring.z - section * hit.normal.z, 1e-5f);
    // The spray test has no edge search but keeps the pierce case.
    EXPECT_TRUE(torus_triangle(t, tri, search_spray, &hit));
}

TEST(TorusTriangle, PierceNormalsPushTowardTheCentre)
{
    // Either triangle of a shared edge, whichever winding it gives the edge.
    const terrain_triangle tris[] = {
        {{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}},
        {{{1, 0, 1}, {0, 0, 1}, {0, 0, 2}}},
        {{{1, 0, 1}, {1, 0, 0}, {0, 0, 1}}},
    };
    const vec3 centres[] = {{0.5f, 0.5f, 1.2f}, {0.5f, 0.5f, 0.8f}, {0.5f, 0.5f, 1.2f}};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        torus_hit hit;
        ASSERT_TRUE(torus_triangle(wheel_at(centres[i]), tris[i], search_full, &hit));
        ASSERT_FLOAT_EQ(hit.depth, section - 9.536743e-7f);
        // The ring point lies from the centre towards the pierce point.
        vec3 on_ring = vec3_add(hit.point, vec3_scale(hit.normal, section));
        EXPECT_GT(vec3_dot(hit.normal, vec3_sub(centres[i], on_ring)), 0.0f);
    }
}

TEST(TorusTriangle, EdgeBelowTheRing)
{
    // A steep triangle whose top edge runs along the axle 0.1 ft under the
    // ring's low point: the edge search finds it, the normal points up.
    terrain_triangle tri = {{{-1, 0.9f, 0}, {1, 0.9f, 0}, {0, -5, -0.5f}}};
    if (vec3_cross(vec3_sub(tri.p[1], tri.p[0]), vec3_sub(tri.p[2], tri.p[0])).y < 0)
        std::swap(tri.p[1], tri.p[2]);
    torus_shape t = wheel_at({0, 2, 0});
    torus_hit hit;
    ASSERT_TRUE(torus_triangle(t, tri, search_full, &hit));
    // An edge along the axle makes the stationary point a double root,
    // which four Newton steps find to about 1e-4 of the edge.
    EXPECT_NEAR(hit.depth, section - 0.1f, 1e-5f);
    EXPECT_VEC_NEAR(hit.normal, 0, 1, 0, 2e-3f);
    EXPECT_VEC_NEAR(hit.point, 0, 1 - section, 0, 1e-3f);
    // Edge proximity gives no spray contact.
    EXPECT_FALSE(torus_triangle(t, tri, search_spray, &hit));
}

TEST(TorusTriangle, VertexContactPushesAlongTheAxle)
{
    // A spike whose apex sits inside the tube, 0.045 ft to the axle's
    // positive side; the Newton runs on its edges settle on points farther
    // from the ring than the apex, so the vertex wins and pushes the wheel
    // along -axle, away from it.
    terrain_triangle tri = {{{0.0450789928f, 1.05097687f, 0.147962242f},
                             {2.20170259f, -2.94117308f, -0.326780677f},
                             {0.0450489521f, -2.92563605f, -1.98002052f}}};
    torus_shape t = {{0, 2, 0}, {1, 0, 0}, 1.0f, 0.3f};
    torus_hit hit;
    ASSERT_TRUE(torus_triangle(t, tri, search_full, &hit));
    EXPECT_EQ(hit.normal.x, -1.0f);
    EXPECT_EQ(hit.normal.y, 0.0f);
    EXPECT_EQ(hit.normal.z, 0.0f);
    EXPECT_NEAR(hit.depth, 0.254921f, 1e-5f);
    EXPECT_NEAR(hit.point.x, 0.3f, 1e-6f);   // side of the tube
}

TEST(TorusTerrain, TiesKeepTheFirstTriangle)
{
    // Cell (0, 0) splits along (0,0)-(1,1); its first triangle holds the
    // raised vertex (1, 0).  A wheel sunk under the diagonal lies in both
    // footprints and both give depth 2 x ring; the points differ because
    // the ring's low direction follows each face's normal.
    test_ground g = test_ground(2, 1.0f, [](int col, int row) { return col == 1 && row == 0 ? 1.0f : 0.0f; });
    torus_shape t = wheel_at({0.5f, -3.0f, 0.5f});
    terrain_triangle tris[2];
    terrain_cell_triangles(g.hf, 0, 0, tris);
    torus_hit first, second, best;
    ASSERT_TRUE(torus_triangle(t, tris[0], search_full, &first));
    ASSERT_TRUE(torus_triangle(t, tris[1], search_full, &second));
    ASSERT_EQ(first.depth, second.depth);
    ASSERT_GT(std::fabs(first.point.z - second.point.z), 0.1f);
    ASSERT_TRUE(torus_terrain(g.hf, t, search_full, &best));
    EXPECT_EQ(best.depth, 2 * ring);
    EXPECT_VEC_NEAR(best.point, first.point.x, first.point.y, first.point.z, 0);
}

TEST(TorusTerrain, WheelLyingFlatGivesFiniteContact)
{
    // Axle parallel to the ground normal: (n x a) x a vanishes.
    test_ground g = flat_ground();
    const vec3 axles[] = {{0, 1, 0}, {0, -1, 0}, {1e-7f, 1, 0}};
    for (vec3 a : axles) {
        torus_hit hit;
        ASSERT_TRUE(torus_terrain(g.hf, wheel_at({7.0f, 0.1f, 7.0f}, vec3_normalize_or(a, a)), search_full, &hit));
        EXPECT_NEAR(hit.depth, section - 0.1f, tol);
        EXPECT_VEC_NEAR(hit.normal, 0, 1, 0, tol);
        EXPECT_TRUE(finite(hit.point));
        EXPECT_NEAR(hit.point.y, -hit.depth, tol);
    }
}

TEST(TorusTerrain, GridBorderAndDegenerateTriangles)
{
    test_ground g = flat_ground();
    float edge = g.hf.world_size;
    torus_hit hit;
    // Straddling the border: the cells inside still carry the wheel.
    EXPECT_TRUE(torus_terrain(g.hf, wheel_at({edge - 0.3f, 1.1f, 5.0f}), search_full, &hit));
    // Wholly beyond it there are no triangles, only clamped repeats.
    EXPECT_FALSE(torus_terrain(g.hf, wheel_at({edge + 2.0f, 1.1f, 5.0f}), search_full, &hit));
    EXPECT_FALSE(torus_terrain(g.hf, wheel_at({-5.0f, 1.1f, -5.0f}), search_full, &hit));
    // Zero-area triangles are never tested.
    terrain_triangle flat = {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}};
    EXPECT_FALSE(torus_triangle(wheel_at({1, 0.5f, 0}), flat, search_full, &hit));
    // A non-finite wheel touches nothing.
    EXPECT_FALSE(torus_terrain(g.hf, wheel_at({NAN, 1, 5}), search_full, &hit));
}

TEST(ArcadeGrip, FallsWithLean)
{
    const float pi = 3.14159265f;
    struct row {
        float lean, grip;
    };
    const row rows[] = {{0, 1}, {pi / 8, 0.8125f}, {-pi / 4, 0.625f}, {pi / 2, 0.625f}, {NAN, 1}};
    for (const row& r : rows)
        EXPECT_NEAR(arcade_grip_factor(r.lean), r.grip, 1e-6f) << r.lean;
}

// ----------------------------------------------------- joint, real world

struct ContactWorld : ::testing::Test {
    ode_world world;
    test_ground ground = flat_ground();
    wheel_contact wc{};

    void SetUp() override
    {
        ASSERT_TRUE(physics.world);
        wc.body = world.body({7.0f, ring + section - 0.125f, 7.0f});
        wc.axle_local = {1, 0, 0};
        wc.ring_radius = ring;
        wc.section_radius = section;
    }
};

TEST_F(ContactWorld, JointParametersForAStillWheel)
{
    ground.surface().friction[0].value = 1.5f;
    ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 0.5f));
    EXPECT_NEAR(wc.load, 0.125f, tol);
    EXPECT_EQ(physics.contact_joints, 1);
    dContact ct;
    fill_wheel_contact(ground.hf, wc, {1, 0, 0}, 0.5f, &ct);
    EXPECT_EQ(ct.surface.mode, dContactSoftERP | dContactSoftCFM | dContactApprox1_1 | dContactApprox1_2 |
                                   dContactFDir1);
    EXPECT_NEAR(ct.surface.mu, 0.75, 1e-6);
    EXPECT_EQ(ct.surface.bounce, 0);
    // k = 4000, c = 487.5 at half the section depth, h = 1/128.
    double hk = 4000.0 / 128;
    EXPECT_NEAR(ct.surface.soft_erp, hk / (hk + 487.5), 1e-4);
    EXPECT_NEAR(ct.surface.soft_cfm, 1 / (hk + 487.5), 1e-6);
    // No slip: the rolling direction, normal x axle = (0,1,0) x (1,0,0).
    EXPECT_NEAR(ct.fdir1[0], 0, 1e-6);
    EXPECT_NEAR(ct.fdir1[1], 0, 1e-6);
    EXPECT_NEAR(ct.fdir1[2], -1, 1e-6);
}

TEST_F(ContactWorld, FrictionDirectionFollowsSlip)
{
    dBodySetLinearVel(wc.body, 3, 0, 0);   // sliding sideways along the axle
    ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 1));
    dContact ct;
    fill_wheel_contact(ground.hf, wc, {1, 0, 0}, 1, &ct);
    // (0,1,0) x (3,0,0) = (0,0,-3)
    EXPECT_NEAR(ct.fdir1[2], -1, 1e-6);
    dBodySetLinearVel(wc.body, 0, 0, -3);  // rolling along
    ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 1));
    fill_wheel_contact(ground.hf, wc, {1, 0, 0}, 1, &ct);
    EXPECT_NEAR(ct.fdir1[0], -1, 1e-6);
}

TEST_F(ContactWorld, FlatWheelHasNoFrictionDirectionAndNoNaN)
{
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, M_PI / 2);   // axle (1,0,0) turned to point up
    dBodySetRotation(wc.body, r);
    dBodySetPosition(wc.body, 7.0, 0.1, 7.0);
    int rejected = physics.rejected_values;
    ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 1));
    dContact ct;
    fill_wheel_contact(ground.hf, wc, body_vector_to_world(wc.body, wc.axle_local), 1, &ct);
    EXPECT_EQ(ct.surface.mode & dContactFDir1, 0);
    EXPECT_EQ(physics.rejected_values, rejected);
    EXPECT_EQ(physics.contact_joints, 1);
    physics_world_step();
    EXPECT_TRUE(finite(body_position(wc.body)));
    EXPECT_GT(wc.feedback.f1[1], 0);
}

TEST_F(ContactWorld, RollingResistanceOpposesGroundSpeed)
{
    // Default surface (5, 15) at half depth: 10 lbf above 1 ft/s, fading
    // with speed below it; the vertical part of the velocity is ignored.
    struct row {
        vec3 v;
        vec3 force;
    };
    const row rows[] = {
        {{0, -2, -10}, {0, 0, 10}},
        {{0.5f, 0, 0}, {-5, 0, 0}},
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const row& r : rows) {
        dBodySetForce(wc.body, 0, 0, 0);
        dBodySetLinearVel(wc.body, r.v.x, r.v.y, r.v.z);
        ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 1));
        vec3 f = vec3_from(dBodyGetForce(wc.body));
        EXPECT_VEC_NEAR(f, r.force.x, r.force.y, r.force.z, 1e-3f);
        physics_contacts_clear();
    }
}

TEST_F(ContactWorld, WheelSettlesOnTheGround)
{
    // A 1 slug wheel dropped from just above the ground comes to rest
    // where the spring carries its 32 lbf: depth d with (1000 + 24000 (d/r)^3) d = 32.
    dBodySetPosition(wc.body, 7.0, ring + section + 0.05, 7.0);
    for (int i = 0; i < 3 * 128; i++) {
        wheel_terrain_contact(ground.hf, &wc, 1);
        physics_world_step();
    }
    ASSERT_TRUE(wheel_terrain_contact(ground.hf, &wc, 1));
    EXPECT_NEAR(wc.load, 0.0305f, 0.003f);
    EXPECT_NEAR(vec3_length(body_velocity(wc.body)), 0, 0.05f);
    physics_world_step();
    EXPECT_NEAR(wc.feedback.f1[1], 32.0, 1.0);
}

TEST_F(ContactWorld, AirborneWheelLeavesNoContact)
{
    dBodySetPosition(wc.body, 7.0, 3.0, 7.0);
    wc.load = 0.2f;
    EXPECT_FALSE(wheel_terrain_contact(ground.hf, &wc, 1));
    EXPECT_EQ(wc.load, 0);
    EXPECT_EQ(physics.contact_joints, 0);
    EXPECT_EQ(wc.feedback.f1[0], 0);
}

}  // namespace
