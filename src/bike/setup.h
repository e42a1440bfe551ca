// setup.h -- the player's bike setup and how it becomes bike fields.
//
// Owns: the `bike_setup` values record (one double per numeric setup item,
// one index per choice item, the texts), its defaults, the item tables the
// menus and the configuration file work from, the "Stability" presets,
// apply_setup with its refusal while the bike moves, one setter per bike
// value (each converts nothing, clamps and stores), the values a new bike
// carries before any apply, and the physical values shown beside the
// "Suspension and Gearing" rows.  Needs: bike.h (bike_env for the clock,
// the server's "no_arcade" and the message output), the catalogue.
// Promises: a refused apply changes nothing; every stored value lies in its
// setter's range; values far outside a range raise setup_out_of_range.
#pragma once

#include <cstddef>

struct bike;
struct bike_model;

constexpr double setup_refusal_speed = 0.125;    // ft/s of the frame above which apply refuses
constexpr double setup_refusal_window = 10.0;    // s: a second refusal within it shows the message
constexpr double mph_to_fps = 1.4666666666666666;
extern const char* const setup_refusal_message;   // "Settings not applied.  Mechanic can't keep up error."

// Choice items and their item indices.
enum setup_no_yes { setup_no = 0, setup_yes = 1 };
enum setup_brake_choice { brake_normal = 0, brake_antilock = 1 };
enum setup_wheelie_choice { wheelies_no = 0, wheelies_yes = 1, wheelies_front_only = 2 };

constexpr int setup_name_capacity = 63;     // characters of the rider's name
constexpr int setup_number_capacity = 3;    // characters of the race number
constexpr int setup_text_size = 128;        // bytes kept for a bike or texture name

struct bike_setup {
    char bike[setup_text_size];             // "bike": a catalogue name
    char name[setup_name_capacity + 1];     // "name", rider name
    char number[setup_number_capacity + 1]; // "number", race number
    char rider_texture[setup_text_size];    // "rider_texture", "default" or a texture data name
    char head_texture[setup_text_size];     // "head_texture"
    char bike_texture[setup_text_size];     // "bike_texture"
    char wheel_texture[setup_text_size];    // "wheel_texture"
    double stability;                 // 0..100, drives the presets
    double leveling;                  // 0..100
    double roll_damping;              // 0..100
    double roll_limit_angle;          // degrees 0..180
    double roll_limit_factor;         // 0..64
    double steering_damping;          // 0..100
    double steering_strength;         // 0..100
    double max_steering_force;        // 0..1000
    double direct_steering;           // 0..1
    double slow_damping_speed;        // 0..100
    double slow_damping_factor;       // 1..10
    double land_damping_falloff;      // 0..0.5
    double land_damping_factor;       // 1..3
    double full_lock_speed;           // 1..100
    double restricted_lock_speed;     // 1..100
    double restricted_lock;           // degrees 0..45
    int arcade;                       // setup_no_yes
    int front_brake;                  // setup_brake_choice
    int rear_brake;                   // setup_brake_choice
    int stop_wheelies;                // setup_wheelie_choice
    int auto_shift;                   // setup_no_yes
    int auto_dab;                     // setup_no_yes
    int auto_align;                   // setup_no_yes
    int sticky_dab;                   // setup_no_yes (input handling)
    int reverse_steering;             // setup_no_yes (input handling)
    int lean_indicator;               // setup_no_yes (HUD)
    double auto_clutch_rpms;          // 0..5000
    double brake_torque;              // ft lbf 0..500, front
    double rear_brake_torque;         // ft lbf 0..500
    double max_dab_speed;             // mph 5..60
    double front_sprocket_adjustment; // teeth -2..2
    double rear_sprocket_adjustment;  // teeth -2..2
    double fork_compression_adjustment;   // 0..100
    double fork_rebound_adjustment;       // 0..100
    double fork_spring_rate_adjustment;   // 0..100
    double fork_preload_adjustment;       // 0..100
    double fork_oil_level_adjustment;     // 0..100
    double shock_compression_adjustment;  // 0..100
    double shock_rebound_adjustment;      // 0..100
    double shock_spring_rate_adjustment;  // 0..100
    double shock_preload_adjustment;      // 0..100
    double rider_yspring;             // 0..100
    double rider_ydamping;            // 0..100
    double rider_zspring;             // 0..100
    double rider_zdamping;            // 0..100
    double rider_mass_distribution;   // 0.33..0.5
};

// One numeric item: key, menu label, default, range and step, and where it
// lives in bike_setup.
struct setup_number_item {
    const char* key;                  // configuration key, e.g. "roll_damping"
    const char* label;                // menu label, e.g. "Roll Damping"
    double bike_setup::*value;
    double initial, minimum, maximum, step;
};
struct setup_choice_item {
    const char* key;
    const char* label;
    int bike_setup::*value;
    const char* const* items;         // item texts, item_count of them
    int item_count;
    int initial;
};
extern const setup_number_item setup_number_items[];
extern const int setup_number_item_count;
extern const setup_choice_item setup_choice_items[];
extern const int setup_choice_item_count;
const setup_number_item* find_setup_number_item(const char* key);
const setup_choice_item* find_setup_choice_item(const char* key);

// The built-in defaults, with the stability presets applied for the
// default stability (100), as at start-up.
void setup_defaults(bike_setup* s);
// The fifteen values the "Stability" slider drives (the items' ranges are
// not applied).
void stability_presets_apply(bike_setup* s, double stability);

// Applies every value to the bike, or refuses while the frame moves faster
// than setup_refusal_speed (a second refusal within the window shows
// setup_refusal_message).  True when applied.
bool apply_setup(bike* b, const bike_setup& s);
// Forgets the last refusal (start of the program: -20 s).
void setup_refusal_reset();
// Raised by the setters for a value far outside its range; never cleared
// except by the caller.
extern bool setup_out_of_range;

// The values a bike has from create_bike until its first apply.
void setup_creation_values(bike* b);

// Setters: each takes the converted value, clamps it and stores it.
void set_leveling(bike* b, double v);                 // 0..100
void set_roll_damping(bike* b, double v);             // 0..100
void set_roll_limit_angle(bike* b, double radians);   // 0..pi
void set_roll_limit_factor(bike* b, double v);        // 0..64
void set_steering_damping(bike* b, double v);         // 0..100
void set_steering_strength(bike* b, double v);        // 0..100
void set_max_steering_force(bike* b, double v);       // 0..1000
void set_direct_steering(bike* b, double v);          // 0..1
void set_slow_damping_speed(bike* b, double v);       // 0..100
void set_slow_damping_factor(bike* b, double v);      // 1..10
void set_landing_damping_falloff(bike* b, double v);  // 0..0.5
void set_landing_damping_factor(bike* b, double v);   // 1..3
void set_full_lock_speed(bike* b, double v);          // 1..100
void set_restricted_lock_speed(bike* b, double v);    // 1..100
void set_restricted_lock_angle(bike* b, double radians);   // 0..pi/4
void set_auto_clutch_rpm(bike* b, double v);          // 0..5000
void set_front_brake_torque(bike* b, double v);       // 0..500
void set_rear_brake_torque(bike* b, double v);        // 0..500
void set_max_dab_speed(bike* b, double fps);          // 7..100 ft/s
void set_bike_option(bike* b, int option_bit, bool on);
// Sprocket adjustments in teeth, each clamped to -2..2.
void set_gearing(bike* b, double countershaft_adjustment, double rear_adjustment);
// Settings 0..100: damping as factors 2^(v/50 - 1) of the model's bases,
// springs, preload and air column interpolated in the model's ranges.
void set_fork(bike* b, double compression, double rebound, double spring, double preload, double oil_level);
void set_shock(bike* b, double compression, double rebound, double spring, double preload);
void set_rider_springs(bike* b, double vertical, double forward);   // 0..1 each
void set_rider_damping(bike* b, double vertical, double forward);   // 0..1 each

// Conversions shared by apply and the display values.
double damping_factor(double setting);                  // 2^(v/50 - 1), clamped 0.5..2
double setup_fraction(double setting);                  // setting / 100 clamped 0..1
double final_drive_ratio(const bike_model& m, double countershaft_adjustment, double rear_adjustment);

// The grey text beside the "Suspension and Gearing" rows, for the model the
// setup's "bike" names.  False (nothing shown) when it isn't in the catalogue.
struct setup_display {
    char fork_spring_rate[32];        // "%.3f kg/mm", one leg
    char fork_preload[32];            // "%.2f mm"
    char fork_oil_level[32];          // "%.2f mm" of air column
    char shock_spring_rate[32];       // "%.2f kg/mm"
    char shock_preload[32];           // "%.2f mm"
    char countershaft_sprocket[32];   // "%.2f teeth"
    char rear_sprocket[32];           // "%.2f teeth"
};
bool setup_display_values(const bike_setup& s, setup_display* out);
