// start_gate_test.cpp -- the starting-gate bar against the bike waiting
// behind it on "rabbithill": the bar runs back from its hinge toward the
// bike; raised, it leans toward the rider with its free edge above the
// front axle just ahead of the tyre; dropped, it lies flat on the ground;
// and in the tick a bike on full throttle is held while the bar is up and
// rides over it, without rolling back, once it drops.
#include "race_fixture.h"

#include <algorithm>
#include <cmath>

#include "bike/rider_control.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"

namespace {

struct StartGate : RaceFixture {
    bike* b = nullptr;
    const statue* bar = nullptr;
    vec3 forward = {};   // the bike's heading, level, unit
    vec3 right = {};

    void SetUp() override
    {
        RaceFixture::SetUp();
        setup({lineup_human});
        b = race.bikes[0];
        ASSERT_NE(b, nullptr);
        ASSERT_GT(tick_data.gate_bar_count, 0);
        int object = tick_data.gate_bars[0].object;
        ASSERT_GE(object, 0);
        ASSERT_LT(object, track.statues.count);
        bar = &track.statues.items[object];
        ASSERT_NE(bar->shape, nullptr);
        vec3 f = body_vector_to_world(b->bodies[body_frame], {0, 0, -1});
        forward = vec3_normalize_or({f.x, 0, f.z}, {0, 0, -1});
        right = {-forward.z, 0, forward.x};
    }

    float tyre_radius() const { return b->model.front_wheel.ring_radius + b->model.front_wheel.section_radius; }
    vec3 front_axle() const { return body_position(b->bodies[body_front_wheel]); }
    // How far p lies ahead of the front tyre's leading point, level.
    float ahead_of_tyre(vec3 p) const
    {
        return vec3_dot(vec3_sub(p, front_axle()), forward) - tyre_radius();
    }
    vec3 sphere_world(int k) const
    {
        return vec3_add(bar->position, mat3_apply(bar->orientation, bar->shape->spheres[k].centre));
    }
    void full_throttle() { apply_controls(b, {0, 1, 0, 0, 0, 1, 0, 0, 0}); }
};

TEST_F(StartGate, RaisedTheBarIsAWallAheadOfTheTyreAndDroppedItLiesFlat)
{
    race.tick = race.race_start_tick;   // standing
    gate_bars_step();
    ASSERT_EQ(tick_data.gate_bars[0].drop, 1.0f);
    vec3 axle = front_axle();
    float nearest = 1e9f, low = 1e9f, high = -1e9f, edge_ahead = 0;
    for (int k = 0; k < bar->shape->sphere_count; k++) {
        vec3 c = sphere_world(k);
        float r = bar->shape->spheres[k].radius;
        float gap = ahead_of_tyre(c) - r;
        EXPECT_GT(ahead_of_tyre(c), -0.25f) << k;   // nothing behind the tyre's front
        EXPECT_LE(std::fabs(vec3_dot(vec3_sub(c, axle), right)), 2.5f) << k;   // across the bike, not beside it
        nearest = std::min(nearest, gap);
        low = std::min(low, c.y - r);
        if (c.y + r > high) {
            high = c.y + r;
            edge_ahead = ahead_of_tyre(c);
        }
    }
    printf("raised: nearest sphere %.3f ft ahead of the tyre; spheres %.3f .. %.3f ft, tyre %.3f .. %.3f ft\n",
           nearest, low, high, axle.y - tyre_radius(), axle.y + tyre_radius());
    // The hinge stands 3 ft ahead of the gate point and the bike's front
    // tyre about 0.6 ft behind it; the raised bar reaches back from the
    // hinge to leave its free edge about 1.2 ft ahead of the tyre.
    EXPECT_LE(nearest, 1.5f);
    EXPECT_GE(nearest, -0.25f);
    EXPECT_LT(low, axle.y);    // the plate runs down to the hinge ...
    EXPECT_GT(high, axle.y);   // ... and its free edge stands above the axle ...
    EXPECT_LT(edge_ahead, ahead_of_tyre(bar->position) - 1.0f);   // ... leaning toward the rider

    for (int i = 0; i < 40 && tick_data.gate_bars[0].drop > 0; i++) {
        race.tick += 1;
        gate_bars_step();
    }
    ASSERT_EQ(tick_data.gate_bars[0].drop, 0.0f);
    float top = -1e9f;
    for (int k = 0; k < bar->shape->sphere_count; k++) {
        vec3 c = sphere_world(k);
        top = std::max(top, c.y + bar->shape->spheres[k].radius - terrain_height(terrain, c.x, c.z));
    }
    printf("dropped: highest sphere top %.3f ft above the ground\n", top);
    EXPECT_LT(top, 0.6f);
}

// The raised bar leans over the front tyre, its edge above the axle, so
// the wheel pushes against its underside and cannot climb it.
TEST_F(StartGate, FullThrottleIsHeldWhileTheBarIsUp)
{
    race.race_start_tick = race.tick + 5 * 128;   // the bar stays up for the whole run
    float start = ahead_of_tyre(bar->position);   // the hinge, ahead of the tyre
    float most = -1e9f;
    for (int t = 0; t < 4 * 128; t++) {
        full_throttle();
        simulation_tick();
        most = std::max(most, -ahead_of_tyre(bar->position));
    }
    printf("held: hinge %.3f ft ahead at first, tyre front at most %.3f ft past it\n", start, most);
    EXPECT_EQ(tick_data.gate_bars[0].drop, 1.0f);
    EXPECT_LT(most, -1.5f);   // the wheel stays behind the raised edge, well short of the hinge
}

TEST_F(StartGate, AfterTheDropFullThrottleRidesOverTheBar)
{
    race.race_start_tick = race.tick + 128;   // a second to settle, then the drop
    while (race.tick <= race.race_start_tick + 32)
        simulation_tick();
    ASSERT_EQ(tick_data.gate_bars[0].drop, 0.0f);
    vec3 from = front_axle();
    float back = 0;
    for (int t = 0; t < 3 * 128; t++) {
        full_throttle();
        simulation_tick();
        back = std::min(back, vec3_dot(vec3_sub(front_axle(), from), forward));
    }
    float gone = -ahead_of_tyre(bar->position);   // past the hinge, the bar's far end
    printf("ride off: %.3f ft past the hinge, rolled back at most %.3f ft\n", gone, -back);
    EXPECT_GT(gone, 2.0f);
    EXPECT_GT(back, -0.2f);
}

}  // namespace
