// setup.cpp -- the bike setup record, its presets, and applying it.
//
// apply_setup is all or nothing: the refusal test comes first and nothing
// is touched when it refuses.  Every value passes through a setter that
// clamps (a NaN becomes the bottom of the range, so nothing non-finite can
// reach the physics) and marks values far outside the range.
#include "bike/setup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>

#include "base/text.h"
#include "bike/bike.h"
#include "bike/catalogue.h"
#include "bike/physics_world.h"

const char* const setup_refusal_message = "Settings not applied.  Mechanic can't keep up error.";

// A value counts as far out of range beyond this share of its span.
constexpr double far_out_share = 0.01;
constexpr double initial_refusal_time = -20.0;   // s: no refusal yet
// Display conversions.
constexpr double fork_leg_kgf_per_mm = 0.0007440819724087572;   // lbf/ft both legs -> kgf/mm one leg
constexpr double kgf_per_mm = 0.0014881639448175144;            // lbf/ft -> kgf/mm
constexpr double mm_per_ft = 304.8;
constexpr double creation_lock_angle = 0.08726646;              // 5 degrees
constexpr double deg_to_rad = M_PI / 180.0;

bool setup_out_of_range = false;
static double last_refusal_time = initial_refusal_time;

// ---- the item tables --------------------------------------------------------

static const char* const no_yes[] = {"No", "Yes"};
static const char* const brake_items[] = {"Normal", "Antilock"};
static const char* const wheelie_items[] = {"No", "Yes", "Front Only"};

#define NUM(key, label, member, initial, lo, hi, step) {key, label, &bike_setup::member, initial, lo, hi, step}
const setup_number_item setup_number_items[] = {
    NUM("stability", "Stability", stability, 100, 0, 100, 1),
    NUM("leveling", "Leveling", leveling, 20, 0, 100, 1),
    NUM("roll_damping", "Roll Damping", roll_damping, 60, 0, 100, 1),
    NUM("roll_limit_angle", "Roll Limit Angle", roll_limit_angle, 45, 0, 180, 1),
    NUM("roll_limit_factor", "Roll Limit Factor", roll_limit_factor, 10, 0, 64, 1),
    NUM("steering_damping", "Steering Damping", steering_damping, 45, 0, 100, 1),
    NUM("steering_strength", "Steering Strength", steering_strength, 75, 0, 100, 1),
    NUM("max_steering_force", "Max Steering Force", max_steering_force, 400, 0, 1000, 5),
    NUM("direct_steering", "Direct Steering", direct_steering, 1, 0, 1, 0.125),
    NUM("slow_damping_speed", "Slow Damping Speed", slow_damping_speed, 40, 0, 100, 1),
    NUM("slow_damping_factor", "Slow Damping Factor", slow_damping_factor, 2, 1, 10, 0.25),
    NUM("land_damping_falloff", "Landing Damping Falloff", land_damping_falloff, 0.25, 0, 0.5, 0.0625),
    NUM("land_damping_factor", "Landing Damping Factor", land_damping_factor, 2, 1, 3, 0.25),
    NUM("full_lock_speed", "Full Lock Speed", full_lock_speed, 10, 1, 100, 1),
    NUM("restricted_lock_speed", "Restricted Lock Speed", restricted_lock_speed, 50, 1, 100, 1),
    NUM("restricted_lock", "Restricted Lock Angle", restricted_lock, 7.5, 0, 45, 0.125),
    NUM("auto_clutch_rpms", "Auto Clutch RPMs", auto_clutch_rpms, 5000, 0, 5000, 100),
    NUM("brake_torque", "Braking Torque (Front)", brake_torque, 250, 0, 500, 10),
    NUM("rear_brake_torque", "Braking Torque (Rear)", rear_brake_torque, 250, 0, 500, 10),
    NUM("max_dab_speed", "Max Dab Speed (MPH)", max_dab_speed, 20, 5, 60, 1),
    NUM("front_sprocket_adjustment", "Countershaft Sprocket", front_sprocket_adjustment, 0, -2, 2, 1),
    NUM("rear_sprocket_adjustment", "Rear Sprocket", rear_sprocket_adjustment, 0, -2, 2, 1),
    NUM("fork_compression_adjustment", "Fork Compression Damping", fork_compression_adjustment, 50, 0, 100, 1),
    NUM("fork_rebound_adjustment", "Fork Rebound Damping", fork_rebound_adjustment, 50, 0, 100, 1),
    NUM("fork_spring_rate_adjustment", "Fork Spring Rate", fork_spring_rate_adjustment, 50, 0, 100, 1),
    NUM("fork_preload_adjustment", "Fork Preload", fork_preload_adjustment, 50, 0, 100, 1),
    NUM("fork_oil_level_adjustment", "Fork Oil Level", fork_oil_level_adjustment, 50, 0, 100, 1),
    NUM("shock_compression_adjustment", "Shock Compression Damping", shock_compression_adjustment, 50, 0, 100, 1),
    NUM("shock_rebound_adjustment", "Shock Rebound Damping", shock_rebound_adjustment, 50, 0, 100, 1),
    NUM("shock_spring_rate_adjustment", "Shock Spring Rate", shock_spring_rate_adjustment, 50, 0, 100, 1),
    NUM("shock_preload_adjustment", "Shock Preload", shock_preload_adjustment, 50, 0, 100, 1),
    NUM("rider_yspring", "Rider Vertical Spring", rider_yspring, 50, 0, 100, 1),
    NUM("rider_ydamping", "Rider Vertical Damping", rider_ydamping, 50, 0, 100, 1),
    NUM("rider_zspring", "Rider Forward Spring", rider_zspring, 50, 0, 100, 1),
    NUM("rider_zdamping", "Rider Forward Damping", rider_zdamping, 50, 0, 100, 1),
    NUM("rider_mass_distribution", "Rider Mass Distribution", rider_mass_distribution, 0.33, 0.33, 0.5, 0.01),
};
#undef NUM
const int setup_number_item_count = sizeof setup_number_items / sizeof setup_number_items[0];

#define CHOICE(key, label, member, items, initial) \
    {key, label, &bike_setup::member, items, sizeof items / sizeof items[0], initial}
const setup_choice_item setup_choice_items[] = {
    CHOICE("arcade", "Arcade Physics", arcade, no_yes, setup_yes),
    CHOICE("front_brake", "Front Brake", front_brake, brake_items, brake_antilock),
    CHOICE("rear_brake", "Rear Brake", rear_brake, brake_items, brake_normal),
    CHOICE("stop_wheelies", "Stop Wheelies", stop_wheelies, wheelie_items, wheelies_no),
    CHOICE("auto_shift", "Automatic Shifting", auto_shift, no_yes, setup_yes),
    CHOICE("auto_dab", "Dab When Stopped", auto_dab, no_yes, setup_yes),
    CHOICE("auto_align", "Realign After Fall", auto_align, no_yes, setup_yes),
    CHOICE("sticky_dab", "Sticky Sit/Dab", sticky_dab, no_yes, setup_no),
    CHOICE("reverse_steering", "Reversed Steering", reverse_steering, no_yes, setup_yes),
    CHOICE("lean_indicator", "Lean Indicator", lean_indicator, no_yes, setup_yes),
};
#undef CHOICE
const int setup_choice_item_count = sizeof setup_choice_items / sizeof setup_choice_items[0];

const setup_number_item* find_setup_number_item(const char* key)
{
    for (const setup_number_item& it : setup_number_items)
        if (key && std::strcmp(it.key, key) == 0)
            return &it;
    return nullptr;
}

const setup_choice_item* find_setup_choice_item(const char* key)
{
    for (const setup_choice_item& it : setup_choice_items)
        if (key && std::strcmp(it.key, key) == 0)
            return &it;
    return nullptr;
}

// ---- defaults and presets ---------------------------------------------------

void setup_defaults(bike_setup* s)
{
    *s = {};
    text_copy(s->bike, sizeof s->bike, bike_models[0].name);
    text_copy(s->name, sizeof s->name, "Joe Motocross");
    text_copy(s->number, sizeof s->number, "999");
    text_copy(s->rider_texture, sizeof s->rider_texture, "default");
    text_copy(s->head_texture, sizeof s->head_texture, "default");
    text_copy(s->bike_texture, sizeof s->bike_texture, "default");
    text_copy(s->wheel_texture, sizeof s->wheel_texture, "default");
    for (const setup_number_item& it : setup_number_items)
        s->*it.value = it.initial;
    for (const setup_choice_item& it : setup_choice_items)
        s->*it.value = it.initial;
    stability_presets_apply(s, s->stability);
}

struct preset_row {
    double bike_setup::*value;
    double level[6];   // stability levels 0..5
};
static const preset_row stability_rows[] = {
    {&bike_setup::leveling, {20, 20, 20, 20, 20, 20}},
    {&bike_setup::roll_damping, {40, 50, 60, 70, 75, 80}},
    {&bike_setup::roll_limit_angle, {90, 45, 45, 40, 35, 35}},
    {&bike_setup::roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&bike_setup::steering_damping, {45, 45, 45, 45, 45, 45}},
    {&bike_setup::steering_strength, {75, 75, 75, 75, 75, 75}},
    {&bike_setup::direct_steering, {1, 1, 1, 1, 1, 0}},
    {&bike_setup::max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&bike_setup::slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&bike_setup::slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&bike_setup::land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&bike_setup::land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {&bike_setup::full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {&bike_setup::restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {&bike_setup::restricted_lock, {45, 15, 10, 5, 5, 5}},
};

void stability_presets_apply(bike_setup* s, double stability)
{
    double level = std::isfinite(stability) ? std::clamp(stability * 0.05, 0.0, 5.0) : 0.0;
    int r = std::clamp(static_cast<int>(std::floor(level)), 0, 4);
    double f = level - r;
    for (const preset_row& row : stability_rows)
        s->*row.value = row.level[r] + f * (row.level[r + 1] - row.level[r]);
}

// ---- setters ------------------------------------------------------------------

static float clamped(double v, double lo, double hi)
{
    double tolerance = (hi - lo) * far_out_share + 1e-6;
    if (!(v >= lo - tolerance && v <= hi + tolerance))   // NaN lands here too
        setup_out_of_range = true;
    if (!(v >= lo))
        return static_cast<float>(lo);
    return static_cast<float>(std::min(v, hi));
}

void set_leveling(bike* b, double v) { b->leveling = clamped(v, 0, 100); }
void set_roll_damping(bike* b, double v) { b->roll_damping = clamped(v, 0, 100); }
void set_roll_limit_angle(bike* b, double v) { b->roll_limit_angle = clamped(v, 0, M_PI); }
void set_roll_limit_factor(bike* b, double v) { b->roll_limit_factor = clamped(v, 0, 64); }
void set_steering_damping(bike* b, double v) { b->steering_damping = clamped(v, 0, 100); }
void set_steering_strength(bike* b, double v) { b->steering_strength = clamped(v, 0, 100); }
void set_max_steering_force(bike* b, double v) { b->max_steering_force = clamped(v, 0, 1000); }
void set_direct_steering(bike* b, double v) { b->direct_steering = clamped(v, 0, 1); }
void set_slow_damping_speed(bike* b, double v) { b->slow_damping_speed = clamped(v, 0, 100); }
void set_slow_damping_factor(bike* b, double v) { b->slow_damping_factor = clamped(v, 1, 10); }
void set_landing_damping_falloff(bike* b, double v) { b->landing_damping_falloff = clamped(v, 0, 0.5); }
void set_landing_damping_factor(bike* b, double v) { b->landing_damping_factor = clamped(v, 1, 3); }
void set_full_lock_speed(bike* b, double v) { b->full_lock_speed = clamped(v, 1, 100); }
void set_restricted_lock_speed(bike* b, double v) { b->restricted_lock_speed = clamped(v, 1, 100); }
void set_restricted_lock_angle(bike* b, double v) { b->restricted_lock_angle = clamped(v, 0, M_PI / 4); }
void set_auto_clutch_rpm(bike* b, double v) { b->auto_clutch_rpm = clamped(v, 0, 5000); }
void set_front_brake_torque(bike* b, double v) { b->front_brake_torque = clamped(v, 0, 500); }
void set_rear_brake_torque(bike* b, double v) { b->rear_brake_torque = clamped(v, 0, 500); }
void set_max_dab_speed(bike* b, double v) { b->max_dab_speed = clamped(v, 7, 100); }

void set_bike_option(bike* b, int bit, bool on)
{
    if (on)
        b->options = static_cast<uint8_t>(b->options | bit);
    else
        b->options = static_cast<uint8_t>(b->options & ~bit);
}

double damping_factor(double setting)
{
    if (!std::isfinite(setting))
        return 1.0;
    return std::clamp(std::pow(2.0, setting / 50.0 - 1.0), 0.5, 2.0);
}

double setup_fraction(double setting)
{
    return std::isfinite(setting) ? std::clamp(setting / 100.0, 0.0, 1.0) : 0.0;
}

static double interpolate(double lo, double hi, double t) { return lo + t * (hi - lo); }

double final_drive_ratio(const bike_model& m, double front_adj, double rear_adj)
{
    double front = std::max(3.0, std::floor(static_cast<double>(m.countershaft_teeth) + clamped(front_adj, -2, 2)));
    double rear = std::max(3.0, std::floor(static_cast<double>(m.rear_sprocket_teeth) + clamped(rear_adj, -2, 2)));
    return rear / front;
}

void set_gearing(bike* b, double front_adj, double rear_adj)
{
    b->final_drive = static_cast<float>(final_drive_ratio(b->model, front_adj, rear_adj));
}

// A 0..100 setting is checked against its range for the mark.
static double setting(double v) { return clamped(v, 0, 100); }

void set_fork(bike* b, double compression, double rebound, double spring, double preload, double oil)
{
    const bike_model& m = b->model;
    b->fork_compression_damping = static_cast<float>(damping_factor(setting(compression)) * m.fork_compression_base);
    b->fork_rebound_damping = static_cast<float>(damping_factor(setting(rebound)) * m.fork_rebound_base);
    b->fork_spring_rate = static_cast<float>(interpolate(m.fork_spring_min, m.fork_spring_max, setup_fraction(setting(spring))));
    b->fork_preload = static_cast<float>(interpolate(m.fork_preload_min, m.fork_preload_max, setup_fraction(setting(preload))));
    b->fork_air_length = static_cast<float>(interpolate(m.fork_air_min, m.fork_air_max, setup_fraction(setting(oil))));
}

void set_shock(bike* b, double compression, double rebound, double spring, double preload)
{
    const bike_model& m = b->model;
    b->shock_compression_damping = static_cast<float>(damping_factor(setting(compression)) * m.shock_compression_base);
    b->shock_rebound_damping = static_cast<float>(damping_factor(setting(rebound)) * m.shock_rebound_base);
    b->shock_spring_rate = static_cast<float>(interpolate(m.shock_spring_min, m.shock_spring_max, setup_fraction(setting(spring))));
    b->shock_preload = static_cast<float>(interpolate(m.shock_preload_min, m.shock_preload_max, setup_fraction(setting(preload))));
}

void set_rider_springs(bike* b, double vertical, double forward)
{
    b->rider_vertical_spring = clamped(vertical, 0, 1);
    b->rider_forward_spring = clamped(forward, 0, 1);
}

void set_rider_damping(bike* b, double vertical, double forward)
{
    b->rider_vertical_damping = clamped(vertical, 0, 1);
    b->rider_forward_damping = clamped(forward, 0, 1);
}

// ---- apply --------------------------------------------------------------------

void setup_refusal_reset() { last_refusal_time = initial_refusal_time; }

static bool refuse_while_moving(const bike* b)
{
    vec3 v = body_velocity(b->bodies[body_frame]);
    if (!(vec3_length(v) > setup_refusal_speed))
        return false;
    double now = bike_env.clock;
    if (now - setup_refusal_window < last_refusal_time)
        bike_message(setup_refusal_message);
    last_refusal_time = now;
    return true;
}

static void apply_options(bike* b, const bike_setup& s)
{
    set_bike_option(b, option_arcade, s.arcade == setup_yes && !bike_env.no_arcade);
    set_bike_option(b, option_antilock_front, s.front_brake == brake_antilock);
    set_bike_option(b, option_antilock_rear, s.rear_brake == brake_antilock);
    set_bike_option(b, option_wheelie_cut, s.stop_wheelies == wheelies_yes);
    set_bike_option(b, option_stoppie_stop, s.stop_wheelies == wheelies_yes || s.stop_wheelies == wheelies_front_only);
    set_bike_option(b, option_auto_shift, s.auto_shift == setup_yes);
    set_bike_option(b, option_auto_dab, s.auto_dab == setup_yes);
    set_bike_option(b, option_realign, s.auto_align == setup_yes);
}

bool apply_setup(bike* b, const bike_setup& s)
{
    if (refuse_while_moving(b))
        return false;
    set_leveling(b, s.leveling);
    set_roll_damping(b, s.roll_damping);
    set_roll_limit_angle(b, s.roll_limit_angle * deg_to_rad);
    set_roll_limit_factor(b, s.roll_limit_factor);
    set_steering_damping(b, s.steering_damping);
    set_steering_strength(b, s.steering_strength);
    set_max_steering_force(b, s.max_steering_force);
    apply_options(b, s);
    set_direct_steering(b, s.direct_steering);
    set_slow_damping_speed(b, s.slow_damping_speed);
    set_slow_damping_factor(b, s.slow_damping_factor);
    set_landing_damping_falloff(b, s.land_damping_falloff);
    set_landing_damping_factor(b, s.land_damping_factor);
    set_full_lock_speed(b, s.full_lock_speed);
    set_restricted_lock_speed(b, s.restricted_lock_speed);
    set_restricted_lock_angle(b, s.restricted_lock * deg_to_rad);
    set_auto_clutch_rpm(b, s.auto_clutch_rpms);
    set_front_brake_torque(b, s.brake_torque);
    set_rear_brake_torque(b, s.rear_brake_torque);
    set_max_dab_speed(b, s.max_dab_speed * mph_to_fps);
    set_gearing(b, s.front_sprocket_adjustment, s.rear_sprocket_adjustment);
    set_fork(b, s.fork_compression_adjustment, s.fork_rebound_adjustment, s.fork_spring_rate_adjustment,
             s.fork_preload_adjustment, s.fork_oil_level_adjustment);
    set_shock(b, s.shock_compression_adjustment, s.shock_rebound_adjustment, s.shock_spring_rate_adjustment,
              s.shock_preload_adjustment);
    set_rider_springs(b, s.rider_yspring / 100.0, s.rider_zspring / 100.0);
    set_rider_damping(b, s.rider_ydamping / 100.0, s.rider_zdamping / 100.0);
    set_rider_mass_distribution(b, static_cast<float>(clamped(s.rider_mass_distribution, 0.33, 0.5)));
    return true;
}

// ---- creation-time values ---------------------------------------------------------

void setup_creation_values(bike* b)
{
    b->leveling = 20;
    b->roll_damping = 60;
    b->roll_limit_angle = static_cast<float>(M_PI / 4);
    b->roll_limit_factor = 10;
    b->steering_damping = 45;
    b->steering_strength = 75;
    b->max_steering_force = 400;
    b->direct_steering = 1;
    b->slow_damping_speed = 0;
    b->slow_damping_factor = 1;
    b->landing_damping_falloff = 0.25f;
    b->landing_damping_factor = 2;
    b->full_lock_speed = 10;
    b->restricted_lock_speed = 50;
    b->restricted_lock_angle = static_cast<float>(creation_lock_angle);
    b->auto_clutch_rpm = 5000;
    b->front_brake_torque = 250;
    b->rear_brake_torque = 250;
    b->max_dab_speed = 30;
    b->options = option_antilock_front | option_stoppie_stop | option_realign;
    set_gearing(b, 0, 0);
    // Damping factor 1, springs and preloads mid-range, the longest air column.
    set_fork(b, 50, 50, 50, 50, 0);
    set_shock(b, 50, 50, 50, 50);
    set_rider_springs(b, 0.5, 0.5);
    set_rider_damping(b, 0.5, 0.5);
}

// ---- display values ---------------------------------------------------------------

bool setup_display_values(const bike_setup& s, setup_display* out)
{
    const bike_model* m = find_bike_model(s.bike);
    if (!m)
        return false;
    double fork_spring = interpolate(m->fork_spring_min, m->fork_spring_max, setup_fraction(s.fork_spring_rate_adjustment));
    double fork_preload = interpolate(m->fork_preload_min, m->fork_preload_max, setup_fraction(s.fork_preload_adjustment));
    double fork_air = interpolate(m->fork_air_min, m->fork_air_max, setup_fraction(s.fork_oil_level_adjustment));
    double shock_spring = interpolate(m->shock_spring_min, m->shock_spring_max, setup_fraction(s.shock_spring_rate_adjustment));
    double shock_preload = interpolate(m->shock_preload_min, m->shock_preload_max, setup_fraction(s.shock_preload_adjustment));
    snprintf(out->fork_spring_rate, sizeof out->fork_spring_rate, "%.3f kg/mm", fork_spring * fork_leg_kgf_per_mm);
    snprintf(out->fork_preload, sizeof out->fork_preload, "%.2f mm", fork_preload * mm_per_ft);
    snprintf(out->fork_oil_level, sizeof out->fork_oil_level, "%.2f mm", fork_air * mm_per_ft);
    snprintf(out->shock_spring_rate, sizeof out->shock_spring_rate, "%.2f kg/mm", shock_spring * kgf_per_mm);
    snprintf(out->shock_preload, sizeof out->shock_preload, "%.2f mm", shock_preload * mm_per_ft);
    snprintf(out->countershaft_sprocket, sizeof out->countershaft_sprocket, "%.2f teeth",
             m->countershaft_teeth + s.front_sprocket_adjustment);
    snprintf(out->rear_sprocket, sizeof out->rear_sprocket, "%.2f teeth",
             m->rear_sprocket_teeth + s.rear_sprocket_adjustment);
    return true;
}
