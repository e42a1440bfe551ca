// start_gate_test.cpp -- the starting-gate bar against the bike waiting
// behind it on "rabbithill": raised, the bar's shape is a ramp just ahead
// of the front tyre at the tyre's height; dropped, it lies flat on the
// ground; and in the tick a bike on full throttle rides over the dropped
// bar without rolling back (being held while it is up is not met yet).
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

TEST_F(StartGate, RaisedTheBarIsARampAheadOfTheTyreAndDroppedItLiesFlat)
{
    race.tick = race.race_start_tick;   // standing
    gate_bars_step();
    ASSERT_EQ(tick_data.gate_bars[0].drop, 1.0f);
    vec3 axle = front_axle();
    float nearest = 1e9f, low = 1e9f, high = -1e9f;
    for (int k = 0; k < bar->shape->sphere_count; k++) {
        vec3 c = sphere_world(k);
        float r = bar->shape->spheres[k].radius;
        float gap = ahead_of_tyre(c) - r;
        EXPECT_GT(ahead_of_tyre(c), -0.25f) << k;   // nothing behind the tyre's front
        EXPECT_LE(std::fabs(vec3_dot(vec3_sub(c, axle), right)), 2.5f) << k;   // across the bike, not beside it
        nearest = std::min(nearest, gap);
        low = std::min(low, c.y - r);
        high = std::max(high, c.y + r);
    }
    printf("raised: nearest sphere %.3f ft ahead of the tyre; spheres %.3f .. %.3f ft, tyre %.3f .. %.3f ft\n",
           nearest, low, high, axle.y - tyre_radius(), axle.y + tyre_radius());
    // The hinge stands 3 ft ahead of the gate point and the bike's front
    // tyre 0.625 ft behind it, so the raised plate starts about 3.5 ft on.
    EXPECT_LE(nearest, 4.0f);
    EXPECT_GE(nearest, -0.25f);
    EXPECT_LT(low, axle.y);                      // the ramp meets the tyre below its axle ...
    EXPECT_GT(high, axle.y - 0.5f * tyre_radius());   // ... and rises well up its front

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

// Fails today: with about 3.5 ft of run-up the front wheel climbs the
// raised plate (a 34 degree ramp 1.25 ft high) and the bike rides over it.
TEST_F(StartGate, DISABLED_FullThrottleIsHeldWhileTheBarIsUp)
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
    EXPECT_LT(most, 1.0f);   // the wheel never climbs over the bar
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
    float gone = -ahead_of_tyre(bar->position) - 2.25f;   // past the bar's free edge
    printf("ride off: %.3f ft past the free edge, rolled back at most %.3f ft\n", gone, -back);
    EXPECT_GT(gone, 2.0f);
    EXPECT_GT(back, -0.2f);
}

}  // namespace
