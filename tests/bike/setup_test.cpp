// setup_test.cpp -- the bike setup: defaults and presets, applying it to a
// bike (refusal while moving, conversions, clamps, gearing, suspension,
// rider masses), creation-time values and the physical display values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/text.h"
#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/setup.h"
#include "contact_fixture.h"

namespace {

constexpr double pi = 3.14159265358979323846;

std::vector<std::string> shown;
void capture(const char* text) { shown.push_back(text); }

struct Setup : ::testing::Test {
    ode_world world;
    bike* b = nullptr;
    bike_setup s;

    void SetUp() override
    {
        bike_context_reset();
        bike_env.console_print = capture;
        shown.clear();
        setup_refusal_reset();
        setup_out_of_range = false;
        setup_defaults(&s);
        b = create_bike("yz450f(2013)", 0, nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(b, nullptr);
    }
    void TearDown() override
    {
        free_bike(b);
        bike_context_reset();
    }
    void set_speed(float v) { dBodySetLinearVel(b->bodies[body_frame], 0, 0, -v); }
};

TEST_F(Setup, DefaultsAreTheBuiltInValuesWithTheFullStabilityPreset)
{
    EXPECT_STREQ(s.bike, bike_models[0].name);
    EXPECT_STREQ(s.name, "Joe Motocross");
    EXPECT_STREQ(s.number, "999");
    EXPECT_STREQ(s.bike_texture, "default");
    EXPECT_EQ(s.stability, 100);
    // Stability 100 is level 5 of the presets.
    EXPECT_EQ(s.roll_damping, 80);
    EXPECT_EQ(s.roll_limit_angle, 35);
    EXPECT_EQ(s.roll_limit_factor, 32);
    EXPECT_EQ(s.direct_steering, 0);
    EXPECT_EQ(s.restricted_lock, 5);
    // Items the presets don't touch keep their table defaults.
    EXPECT_EQ(s.max_dab_speed, 20);
    EXPECT_EQ(s.rider_mass_distribution, 0.33);
    EXPECT_EQ(s.arcade, setup_yes);
    EXPECT_EQ(s.front_brake, brake_antilock);
    EXPECT_EQ(s.rear_brake, brake_normal);
    EXPECT_EQ(s.stop_wheelies, wheelies_no);
    EXPECT_EQ(s.reverse_steering, setup_yes);
    EXPECT_EQ(s.sticky_dab, setup_no);
    const setup_number_item* it = find_setup_number_item("land_damping_falloff");
    ASSERT_NE(it, nullptr);
    EXPECT_STREQ(it->label, "Landing Damping Falloff");
    EXPECT_EQ(it->step, 0.0625);
    EXPECT_EQ(find_setup_number_item("arcade"), nullptr);
    const setup_choice_item* c = find_setup_choice_item("stop_wheelies");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->item_count, 3);
    EXPECT_STREQ(c->items[2], "Front Only");
}

TEST_F(Setup, StabilityPresetsInterpolateBetweenLevels)
{
    stability_presets_apply(&s, 50);   // level 2.5
    EXPECT_DOUBLE_EQ(s.roll_damping, 65);
    EXPECT_DOUBLE_EQ(s.roll_limit_angle, 42.5);
    EXPECT_DOUBLE_EQ(s.roll_limit_factor, 21);
    EXPECT_DOUBLE_EQ(s.restricted_lock, 7.5);
    EXPECT_DOUBLE_EQ(s.slow_damping_factor, 1.75);
    EXPECT_DOUBLE_EQ(s.land_damping_falloff, 0.25);
    EXPECT_DOUBLE_EQ(s.land_damping_factor, 2);
    stability_presets_apply(&s, 0);
    EXPECT_DOUBLE_EQ(s.roll_limit_angle, 90);
    EXPECT_DOUBLE_EQ(s.restricted_lock, 45);
    stability_presets_apply(&s, 1e9);   // clamps to level 5
    EXPECT_DOUBLE_EQ(s.direct_steering, 0);
    stability_presets_apply(&s, NAN);   // treated as 0
    EXPECT_DOUBLE_EQ(s.roll_damping, 40);
}

TEST_F(Setup, ApplyRefusesWhileMovingAndRepeatsTheMessageOnlyWithinTenSeconds)
{
    s.leveling = 77;
    struct { double clock; float speed; bool applied; size_t messages; } steps[] = {
        {100, 0.2f, false, 0},   // first refusal: silent
        {105, 0.2f, false, 1},   // again within 10 s: the message
        {120, 0.2f, false, 1},   // 15 s later: silent again
        {121, 0.1f, true, 1},    // slow enough: applied
    };
    for (auto st : steps) {
        bike_env.clock = st.clock;
        set_speed(st.speed);
        EXPECT_EQ(apply_setup(b, s), st.applied) << st.clock;
        EXPECT_EQ(shown.size(), st.messages) << st.clock;
        EXPECT_EQ(b->leveling, st.applied ? 77 : 20) << "nothing changes on a refusal";
    }
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], "Settings not applied.  Mechanic can't keep up error.");
}

TEST_F(Setup, RefusalLeavesEveryFieldAlone)
{
    bike before = *b;
    s.max_dab_speed = 60;
    s.fork_spring_rate_adjustment = 100;
    s.rider_mass_distribution = 0.5;
    s.front_sprocket_adjustment = -2;
    set_speed(3);
    ASSERT_FALSE(apply_setup(b, s));
    EXPECT_EQ(b->max_dab_speed, before.max_dab_speed);
    EXPECT_EQ(b->fork_spring_rate, before.fork_spring_rate);
    EXPECT_EQ(b->final_drive, before.final_drive);
    EXPECT_EQ(b->rider_mass_distribution, before.rider_mass_distribution);
    EXPECT_EQ(b->options, before.options);
}

TEST_F(Setup, ConversionsAndClampsOfTheAssistRows)
{
    struct { double bike_setup::*item; double value; float bike::*field; double want; } rows[] = {
        {&bike_setup::roll_limit_angle, 180, &bike::roll_limit_angle, pi},
        {&bike_setup::roll_limit_angle, 90, &bike::roll_limit_angle, pi / 2},
        {&bike_setup::restricted_lock, 45, &bike::restricted_lock_angle, pi / 4},
        {&bike_setup::restricted_lock, 90, &bike::restricted_lock_angle, pi / 4},   // clamped
        {&bike_setup::max_dab_speed, 5, &bike::max_dab_speed, 7.333333333},
        {&bike_setup::max_dab_speed, 60, &bike::max_dab_speed, 88},
        {&bike_setup::max_dab_speed, 1, &bike::max_dab_speed, 7},                    // 1.47 ft/s -> 7
        {&bike_setup::slow_damping_factor, 0, &bike::slow_damping_factor, 1},
        {&bike_setup::land_damping_falloff, 0.25, &bike::landing_damping_falloff, 0.25},
        {&bike_setup::auto_clutch_rpms, 9000, &bike::auto_clutch_rpm, 5000},
        {&bike_setup::brake_torque, 320, &bike::front_brake_torque, 320},
        {&bike_setup::rear_brake_torque, -5, &bike::rear_brake_torque, 0},
        {&bike_setup::max_steering_force, 1000, &bike::max_steering_force, 1000},
        {&bike_setup::rider_yspring, 25, &bike::rider_vertical_spring, 0.25},
        {&bike_setup::rider_zdamping, 100, &bike::rider_forward_damping, 1},
        {&bike_setup::leveling, NAN, &bike::leveling, 0},                            // never NaN
    };
    for (auto r : rows) {
        bike_setup t = s;
        t.*r.item = r.value;
        ASSERT_TRUE(apply_setup(b, t));
        EXPECT_NEAR(b->*r.field, r.want, 1e-5) << r.value;
    }
}

TEST_F(Setup, FarOutOfRangeValuesRaiseTheMark)
{
    ASSERT_TRUE(apply_setup(b, s));
    EXPECT_FALSE(setup_out_of_range);
    set_leveling(b, 100.5);   // within the tolerance
    EXPECT_FALSE(setup_out_of_range);
    set_leveling(b, 150);
    EXPECT_TRUE(setup_out_of_range);
    EXPECT_EQ(b->leveling, 100);
}

TEST_F(Setup, OptionChoicesSetTheOptionBits)
{
    struct { int bike_setup::*item; int value; int bit; bool on; } rows[] = {
        {&bike_setup::front_brake, brake_normal, option_antilock_front, false},
        {&bike_setup::rear_brake, brake_antilock, option_antilock_rear, true},
        {&bike_setup::auto_shift, setup_yes, option_auto_shift, true},
        {&bike_setup::auto_dab, setup_no, option_auto_dab, false},
        {&bike_setup::auto_align, setup_no, option_realign, false},
        {&bike_setup::arcade, setup_no, option_arcade, false},
    };
    for (auto r : rows) {
        bike_setup t = s;
        t.*r.item = r.value;
        ASSERT_TRUE(apply_setup(b, t));
        EXPECT_EQ((b->options & r.bit) != 0, r.on) << r.bit;
    }
    struct { int choice; bool cut, stoppie; } wheelies[] = {
        {wheelies_no, false, false}, {wheelies_yes, true, true}, {wheelies_front_only, false, true}};
    for (auto w : wheelies) {
        s.stop_wheelies = w.choice;
        ASSERT_TRUE(apply_setup(b, s));
        EXPECT_EQ((b->options & option_wheelie_cut) != 0, w.cut);
        EXPECT_EQ((b->options & option_stoppie_stop) != 0, w.stoppie);
    }
    // The server's "no_arcade" overrides the player's choice.
    s.arcade = setup_yes;
    bike_env.no_arcade = true;
    ASSERT_TRUE(apply_setup(b, s));
    EXPECT_FALSE(b->options & option_arcade);
    bike_env.no_arcade = false;
    ASSERT_TRUE(apply_setup(b, s));
    EXPECT_TRUE(b->options & option_arcade);
}

TEST_F(Setup, GearingUsesWholeTeethWithinTwoOfStock)
{
    struct { double front, rear, want; } rows[] = {
        {-2, 2, 50.0 / 11}, {0, 0, 48.0 / 13}, {-5, 9, 50.0 / 11}, {1, -1, 47.0 / 14}, {0.5, 0.5, 48.0 / 13},
    };
    for (auto r : rows) {
        s.front_sprocket_adjustment = r.front;
        s.rear_sprocket_adjustment = r.rear;
        ASSERT_TRUE(apply_setup(b, s));
        EXPECT_NEAR(b->final_drive, r.want, 1e-6) << r.front << " " << r.rear;
    }
    bike_model tiny = b->model;
    tiny.countershaft_teeth = 2;
    tiny.rear_sprocket_teeth = 4;
    EXPECT_DOUBLE_EQ(final_drive_ratio(tiny, -2, -2), 1.0);   // never below 3 teeth
}

TEST_F(Setup, DampingFactorsDoubleEveryFiftySteps)
{
    const bike_model& m = b->model;
    struct { double v, factor; } rows[] = {{0, 0.5}, {50, 1}, {100, 2}, {75, std::sqrt(2.0)}, {150, 2}, {-20, 0.5}};
    for (auto r : rows) {
        s.fork_compression_adjustment = s.fork_rebound_adjustment = r.v;
        s.shock_compression_adjustment = s.shock_rebound_adjustment = r.v;
        ASSERT_TRUE(apply_setup(b, s));
        EXPECT_NEAR(b->fork_compression_damping, r.factor * m.fork_compression_base, 1e-4) << r.v;
        EXPECT_NEAR(b->fork_rebound_damping, r.factor * m.fork_rebound_base, 1e-4);
        EXPECT_NEAR(b->shock_compression_damping, r.factor * m.shock_compression_base, 1e-3);
        EXPECT_NEAR(b->shock_rebound_damping, r.factor * m.shock_rebound_base, 1e-3);
    }
}

TEST_F(Setup, SpringsPreloadsAndOilInterpolateTheModelRanges)
{
    const bike_model& m = b->model;
    for (double v : {0.0, 50.0, 100.0}) {
        double t = v / 100;
        s.fork_spring_rate_adjustment = s.fork_preload_adjustment = s.fork_oil_level_adjustment = v;
        s.shock_spring_rate_adjustment = s.shock_preload_adjustment = v;
        ASSERT_TRUE(apply_setup(b, s));
        EXPECT_NEAR(b->fork_spring_rate, m.fork_spring_min + t * (m.fork_spring_max - m.fork_spring_min), 1e-3);
        EXPECT_NEAR(b->fork_preload, m.fork_preload_min + t * (m.fork_preload_max - m.fork_preload_min), 1e-7);
        EXPECT_NEAR(b->fork_air_length, m.fork_air_min + t * (m.fork_air_max - m.fork_air_min), 1e-7);
        EXPECT_NEAR(b->shock_spring_rate, m.shock_spring_min + t * (m.shock_spring_max - m.shock_spring_min), 1e-2);
        EXPECT_NEAR(b->shock_preload, m.shock_preload_min + t * (m.shock_preload_max - m.shock_preload_min), 1e-7);
    }
    EXPECT_FLOAT_EQ(b->fork_air_length, m.fork_air_max);   // full oil: the shortest air column
}

TEST_F(Setup, RiderMassDistributionRowResplitsTheMasses)
{
    auto mass = [&](int body) {
        dMass dm;
        dBodyGetMass(b->bodies[body], &dm);
        return dm.mass;
    };
    const bike_model& m = b->model;
    s.rider_mass_distribution = 0.5;
    ASSERT_TRUE(apply_setup(b, s));
    EXPECT_NEAR(mass(body_rider), m.rider_mass / 2, 1e-5);
    EXPECT_NEAR(mass(body_frame), m.frame_mass + m.rider_mass / 2, 1e-5);
    s.rider_mass_distribution = 0.1;
    ASSERT_TRUE(apply_setup(b, s));
    EXPECT_NEAR(mass(body_rider), 0.33 * m.rider_mass, 1e-5);
}

TEST_F(Setup, NewBikesCarryTheCreationValuesUntilTheFirstApply)
{
    const bike_model& m = b->model;
    EXPECT_EQ(b->leveling, 20);
    EXPECT_EQ(b->roll_damping, 60);
    EXPECT_FLOAT_EQ(b->roll_limit_angle, float(pi / 4));
    EXPECT_EQ(b->roll_limit_factor, 10);
    EXPECT_EQ(b->steering_damping, 45);
    EXPECT_EQ(b->steering_strength, 75);
    EXPECT_EQ(b->max_steering_force, 400);
    EXPECT_EQ(b->direct_steering, 1);
    EXPECT_EQ(b->slow_damping_speed, 0);
    EXPECT_EQ(b->slow_damping_factor, 1);
    EXPECT_EQ(b->landing_damping_falloff, 0.25f);
    EXPECT_EQ(b->landing_damping_factor, 2);
    EXPECT_EQ(b->full_lock_speed, 10);
    EXPECT_EQ(b->restricted_lock_speed, 50);
    EXPECT_FLOAT_EQ(b->restricted_lock_angle, 0.08726646f);
    EXPECT_EQ(b->auto_clutch_rpm, 5000);
    EXPECT_EQ(b->front_brake_torque, 250);
    EXPECT_EQ(b->rear_brake_torque, 250);
    EXPECT_EQ(b->max_dab_speed, 30);
    EXPECT_EQ(b->options, option_antilock_front | option_stoppie_stop | option_realign);
    EXPECT_FLOAT_EQ(b->final_drive, 48.0f / 13);
    EXPECT_FLOAT_EQ(b->fork_compression_damping, m.fork_compression_base);
    EXPECT_FLOAT_EQ(b->shock_rebound_damping, m.shock_rebound_base);
    EXPECT_FLOAT_EQ(b->fork_spring_rate, (m.fork_spring_min + m.fork_spring_max) / 2);
    EXPECT_FLOAT_EQ(b->shock_preload, (m.shock_preload_min + m.shock_preload_max) / 2);
    EXPECT_FLOAT_EQ(b->fork_air_length, m.fork_air_min);
    EXPECT_EQ(b->rider_vertical_spring, 0.5f);
    EXPECT_EQ(b->rider_forward_damping, 0.5f);
    EXPECT_FLOAT_EQ(b->rider_mass_distribution, 1.0f / 3);
    EXPECT_FLOAT_EQ(b->engine_inertia, m.engine_inertia);
}

TEST_F(Setup, DisplayValuesShowPhysicalUnitsForTheChosenModel)
{
    text_copy(s.bike, sizeof s.bike, "yz450f(2013)");
    s.front_sprocket_adjustment = -2;
    s.rear_sprocket_adjustment = 2;
    struct { double v; const char *fork, *shock, *preload, *oil; } rows[] = {
        {0, "0.280 kg/mm", "3.70 kg/mm", "0.00 mm", "127.00 mm"},
        {50, "0.480 kg/mm", "5.70 kg/mm", "12.70 mm", "101.60 mm"},
        {100, "0.680 kg/mm", "7.70 kg/mm", "25.40 mm", "76.20 mm"},
    };
    for (auto r : rows) {
        s.fork_spring_rate_adjustment = s.shock_spring_rate_adjustment = r.v;
        s.fork_preload_adjustment = s.fork_oil_level_adjustment = r.v;
        setup_display d;
        ASSERT_TRUE(setup_display_values(s, &d));
        EXPECT_STREQ(d.fork_spring_rate, r.fork);
        EXPECT_STREQ(d.shock_spring_rate, r.shock);
        EXPECT_STREQ(d.fork_preload, r.preload);
        EXPECT_STREQ(d.fork_oil_level, r.oil);
        EXPECT_STREQ(d.countershaft_sprocket, "11.00 teeth");
        EXPECT_STREQ(d.rear_sprocket, "50.00 teeth");
    }
    text_copy(s.bike, sizeof s.bike, "xr650");
    setup_display d;
    EXPECT_FALSE(setup_display_values(s, &d));
}

}  // namespace
