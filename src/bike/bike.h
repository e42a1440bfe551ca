// bike.h -- the simulated bike: seven ODE bodies, six joints, the rider's
// inputs, the engine, the wheel contacts, the setup values and the crash
// state, all in one plain record.
//
// Owns: the `bike` record and the operations that build, place, reset and
// step it (bike_body.cpp), and the context record through which the race
// layer hands the bike what it knows (tick, start tick, clock, ground,
// server flags, gate services).  Needs: ODE (double precision), the
// catalogue (a bike copies its bike_model whole), the height field.
// Promises: every physics value handed to ODE is finite; the catalogue is
// never written; a bike owns its bodies, joints and assets from create_bike
// to free_bike.
//
// The per-tick work of a bike is split between modules that all write this
// one record: wheel_contact.cpp (tyre contact, dirt, ruts), drivetrain.cpp
// (engine, clutch, gears, brakes), rider_control.cpp (inputs, assists,
// dabbing), setup.cpp (applying the player's setup) and bike_body.cpp
// (bodies, joints, suspension, rider springs, the step order).  Each module
// keeps to the fields of its section; fields another module adds go in a
// marked block of that module's own.
//
// Units: feet, slugs, seconds, pounds-force, foot-pounds, radians.  Bike
// axes: x to the rider's right, y up, z rearward (forward is -z).
#pragma once

#include <cstdint>

#include <ode/ode.h>

#include "base/vec.h"
#include "bike/catalogue.h"
#include "bike/catalogue_assets.h"
#include "bike/wheel_contact.h"

struct height_field;
struct collision_shape;
struct bike;

// Bodies, in this order.
enum bike_body_index {
    body_frame = 0,
    body_front_wheel = 1,
    body_rear_wheel = 2,
    body_fork_upper = 3,    // steering
    body_fork_lower = 4,
    body_swingarm = 5,
    body_rider = 6,         // rider mass
    bike_body_count = 7,
};

// Joints, in this order.
enum bike_joint_index {
    joint_front_axle = 0,   // hinge fork lower -> front wheel; motor = front brake
    joint_rear_axle = 1,    // hinge swingarm -> rear wheel; motor = rear brake
    joint_steering = 2,     // hinge fork upper -> frame, stops +-pi/4
    joint_fork = 3,         // slider fork upper -> fork lower; motor = fork spring/damper
    joint_swingarm = 4,     // hinge swingarm -> frame; motor = shock
    joint_rider = 5,        // hinge-2 rider mass -> frame
    bike_joint_count = 6,
};

// Bits of the bike's option byte (set from the setup).
enum bike_option {
    option_arcade = 1 << 0,          // arcade steering, auto-level and lean-dependent grip
    option_antilock_front = 1 << 1,  // front brake released while the front wheel slides
    option_antilock_rear = 1 << 2,   // rear brake released while the rear wheel slides
    option_wheelie_cut = 1 << 3,     // engine torque cut while wheeling
    option_stoppie_stop = 1 << 4,    // front brake released while the rear wheel is in the air
    option_auto_shift = 1 << 5,      // automatic shifting by engine speed
    option_auto_dab = 1 << 6,        // dab when stopped
    option_realign = 1 << 7,         // realign after a fall
};

constexpr int velocity_history_count = 4;   // rider-mass velocities kept, indexed tick mod 4
constexpr int rut_ring_size = 1024;          // entries of the rut ring (1023 usable)

// The nine control values the input layer or a robot delivers each tick.
struct bike_controls {
    float steer;         // -1 .. 1
    float throttle;      // 0 .. 1
    float front_brake;   // 0 .. 1
    float rear_brake;    // 0 .. 1
    int shift;           // -1 down, 0 none, +1 up (edge-triggered)
    float clutch;        // engagement 0 (lever pulled) .. 1 (engaged)
    float sit_dab;       // 0 .. 1
    float back_up;       // 0 .. 1
    float lean;          // -1 (forward) .. 1 (rearward)
};

// One entry of the rut ring: where a wheel pushed the ground and how hard.
struct rut_entry {
    float x, z;          // ft, contact point
    float force_x;       // lbf, horizontal force scaled by the erosion speed factor
    float force_z;
};

// A simulated foot of a crashed rider (drawn by the rider pose).
struct crash_foot {
    vec3 position;       // ft, world
    vec3 velocity;       // ft/s, world
};

struct bike {
    // ---- rigid bodies (bike_body.cpp) -----------------------------------
    bike_model model;                         // whole copy of the catalogue record; all geometry is read from it
    int slot;                                 // rider slot 0..159 passed at creation
    dBodyID bodies[bike_body_count];          // ODE bodies, bike_body_index order
    dJointID joints[bike_joint_count];        // ODE joints, bike_joint_index order
    dJointFeedback joint_feedback[bike_joint_count];   // forces/torques each joint applied in the last step
    float total_mass;                         // slug, sum of the seven body masses
    float wheel_mass[2];                      // slug, front and rear wheel body masses (hub + tyre)
    vec3 anchor_positions[bike_body_count];   // ft, body positions after the last reset or applied state
    vec3 velocity_history[velocity_history_count];   // ft/s, rider-mass velocity at the end of recent steps
    bool lap_spoiled;                         // the lap can't be learnt from (stall after the start, body touched ground)
    bool rider_attached;                      // the rider joint joins rider mass and frame (false while crashed)
    int lap_counter;                          // laps counted by race control; cleared at reset
    // Velocities copied aside around the world step for replayed bikes.
    vec3 saved_linear[bike_body_count];       // ft/s
    vec3 saved_angular[bike_body_count];      // rad/s

    // ---- assets (catalogue_assets.cpp) ------------------------------------
    bike_assets assets;                       // models, textures, number plate; empty handles headless

    // ---- collision shapes (private copies; filled by the collision code) --
    collision_shape* frame_shape;             // null = no collision geometry for that part
    collision_shape* fork_upper_shape;
    collision_shape* fork_lower_shape;
    collision_shape* swingarm_shape;
    collision_shape* rider_shape;
    collision_shape* front_wheel_shape;
    collision_shape* rear_wheel_shape;

    // ---- wheel contact (wheel_contact.cpp, ruts.cpp) ----------------------
    wheel_contact front_contact;              // this tick's front tyre contact
    wheel_contact rear_contact;               // this tick's rear tyre contact
    rut_entry ruts[rut_ring_size];            // ring of wheel pushes waiting to become ruts
    int rut_read;                             // index of the oldest entry
    int rut_write;                            // index of the next free entry; == rut_read when empty

    // ---- control inputs (rider_control.cpp; setters clamp) --------------
    float steer;                              // -1 .. 1
    float lean;                               // -1 .. 1 fore-aft lean of the rider; 0 while crashed
    float sit_dab;                            // 0 .. 1 sit down / put a foot down; 0 while crashed
    float back_up;                            // 0 .. 1 walk the bike backwards; 0 while crashed
    float throttle;                           // 0 .. 1; 0 while crashed
    float clutch;                             // engagement 0 (lever pulled) .. 1 (engaged)
    float front_brake;                        // 0 .. 1
    float rear_brake;                         // 0 .. 1

    // ---- engine and drivetrain (drivetrain.cpp) ---------------------------
    int gear;                                 // 0..5 index into model.gear_ratios (0 = first gear)
    int last_shift_input;                     // -1, 0 or +1: the shift input seen last
    float engine_speed;                       // rad/s of the crankshaft
    float driveline_angle;                    // rad in (-pi, pi], clutch's driven side as a rear-wheel angle
    float engine_inertia;                     // slug ft^2, copy of the model's
    float final_drive;                        // rear sprocket teeth / countershaft teeth
    float auto_clutch_rpm;                    // 0 .. 5000, "Auto Clutch RPMs"
    float front_brake_torque;                 // ft lbf at full lever, 0 .. 500
    float rear_brake_torque;                  // ft lbf at full pedal, 0 .. 500
    uint8_t options;                          // bike_option bits

    // ---- assists (rider_control.cpp; values from the setup) ---------------
    float leveling;                           // 0 .. 100, balance gain on lean angle
    float roll_damping;                       // 0 .. 100, balance gain on roll rate
    float roll_limit_angle;                   // rad 0 .. pi, lean beyond which extra damping applies
    float roll_limit_factor;                  // 0 .. 64, extra roll damping beyond the limit
    float steering_damping;                   // 0 .. 100, damping of the front wheel's non-spin rotation
    float steering_strength;                  // 0 .. 100, torque per unit of steering input
    float max_steering_force;                 // ft lbf 0 .. 1000, limit of the steering torque
    float direct_steering;                    // 0 .. 1, direct torque (1) vs lean-rate control (0)
    float slow_damping_speed;                 // ft/s 0 .. 100, below it the balance gain rises
    float slow_damping_factor;                // 1 .. 10, balance gain at standstill
    float landing_damping_falloff;            // s 0 .. 0.5, time the landing damping takes to fade
    float landing_damping_factor;             // 1 .. 3, roll damping multiplier right after landing
    float full_lock_speed;                    // ft/s 1 .. 100, full steering lock at or below
    float restricted_lock_speed;              // ft/s 1 .. 100, restricted lock at or above
    float restricted_lock_angle;              // rad 0 .. pi/4
    float max_dab_speed;                      // ft/s 7 .. 100, highest speed dabbing works at

    // ---- rider control state (rider_control.cpp) ---------------------------
    float landing_gain;                       // >= 1, current landing damping multiplier
    float knock_timer;                        // ticks >= 0; > 0 after running into another bike
    float dab_extension;                      // 0 .. 1, how far the dabbing foot is out
    float lean_indicator;                     // 0 .. 1, HUD lean indicator
    bool realign_refused;                     // realigning was refused this race; cleared at reset

    // ---- suspension and rider springs (setup.cpp sets, bike_body.cpp uses) --
    float fork_compression_damping;           // lbf per ft/s while compressing
    float fork_rebound_damping;               // lbf per ft/s while extending
    float fork_spring_rate;                   // lbf/ft, both legs
    float fork_preload;                       // ft
    float fork_air_length;                    // ft of air column ("Fork Oil Level")
    float shock_compression_damping;          // lbf per ft/s of shock travel
    float shock_rebound_damping;              // lbf per ft/s
    float shock_spring_rate;                  // lbf/ft
    float shock_preload;                      // ft
    float rider_vertical_spring;              // 0 .. 1
    float rider_vertical_damping;             // 0 .. 1
    float rider_forward_spring;               // 0 .. 1
    float rider_forward_damping;              // 0 .. 1
    float rider_mass_distribution;            // 0.33 .. 0.5 share of rider_mass on the rider body (1/3 at creation)

    // ---- crash state (filled by the collision and crash code) -------------
    int crash_timer;                          // ticks; 0 while riding, > 0 while crashed
    int crash_count;                          // crashes since the last reset
    int last_bike_contact_tick;               // tick of the latest contact with another bike; -1 after reset
    crash_foot feet[2];                       // left (negative x) then right foot of a crashed rider

    // ---- race progress (race/rules.cpp; zero at creation = no passages) ---
    // The passage history survives reset_bike_pose; race control alone
    // changes it.  free_bike releases gate_ticks.
    int next_gate;                            // passage index to make next = passages made
    int* gate_ticks;                          // tick of each passage index, -1 = skipped; xrealloc'd
    int gate_tick_count;                      // entries of gate_ticks in use (may exceed next_gate after a step back)
    int gate_tick_capacity;                   // entries allocated
    bool finished;                            // took the chequered flag; latched until the history is cut back
};

inline bool bike_crashed(const bike* b) { return b->crash_timer > 0; }

// ---- what the race layer hands the bikes ----------------------------------

// Race control's answers for realigning after a fall; a null function (or
// a null table) means the service is absent, and realigning never happens.
struct bike_race_ops {
    // Whether the track has a gate sequence and the bike passed a gate.
    bool (*passed_gate)(const bike* b);
    // Ticks at which the bike and the race leader passed the bike's last
    // timing point; false when there is none.
    bool (*last_gate_ticks)(const bike* b, int32_t* own_tick, int32_t* leader_tick);
    // The point ahead to turn toward (next reference-line point or gate).
    bool (*realign_target)(const bike* b, vec3* target);
};

struct bike_context {
    int32_t tick;                     // current tick
    int32_t race_start_tick;          // tick the gate drops
    double clock;                     // program clock, seconds (setup refusals)
    bool no_arcade;                   // the server forbids arcade physics
    const height_field* ground;       // the ground bikes touch; &terrain by default
    const bike_race_ops* race;        // may be null
    // Player-visible message (the on-screen list); the default logs it.
    void (*console_print)(const char* text);
};

// The one context every bike reads; the race layer keeps it current.
extern bike_context bike_env;
// Restores the defaults (tick 0, start 0, clock 0, arcade allowed, the
// loaded terrain, no race services, messages to the log).
void bike_context_reset();
// Shows a message through bike_env.console_print.
void bike_message(const char* text);

// ---- building, placing and stepping (bike_body.cpp) ----------------------

// Builds a bike of model_name (fallback model when unknown) in the shared
// world; texture names may be null.  Stands in the build pose at the
// origin with the creation-time setup values.  Null when the physics world
// has not been created.
bike* create_bike(const char* model_name, int slot, const char* number, const char* gear_texture,
                  const char* helmet_texture, const char* paint_texture, const char* wheel_texture);
void free_bike(bike* b);   // null is ignored
void reset_bike_pose(bike* b);
void move_bike(bike* b, float dx, float dy, float dz);
void orient_bike(bike* b, float axis_x, float axis_y, float axis_z, float angle);
void freeze_bike(bike* b);
void unfreeze_bike(bike* b);
void save_bike_velocities(bike* b);
void restore_bike_velocities(bike* b);
// Moves a remote bike rigidly ahead from its anchor positions (ticks <= 64).
void extrapolate_bike(bike* b, int ticks);
// The per-bike step after the world step; driven is false for replayed bikes.
void bike_step(bike* b, bool driven);

// Joins rider mass and frame with the rider joint, its anchor and axes
// taken through the frame's current pose (reset, and the end of a crash).
void attach_rider_joint(bike* b);

// Sets the rider mass distribution (clamped 0.33 .. 0.5) and re-masses the
// frame and rider bodies so their sum stays frame_mass + rider_mass.
void set_rider_mass_distribution(bike* b, float distribution);

// Pieces of the step, exposed for the tests and the tools.
// Fork slider motor force for slider position s (0 extended, -travel
// compressed) and rate v; >= 0 pushes apart.
float fork_force(const bike* b, float s, float v);
// Shock torque on the swingarm for angle theta (0 rest, -travel) and rate omega.
float shock_torque(const bike* b, float theta, float omega);
void rider_mass_springs(bike* b);
void fork_and_shock(bike* b);
void joint_force_balance(bike* b);
// Ties local point a of body ba to local point pb of body bb with a rope of
// the given length (a soft one-sided contact when stretched).
void bike_rope(dBodyID ba, vec3 a, dBodyID bb, vec3 pb, float length);
// Both wheels against the ground (the wheel part of the terrain pass):
// whether either touches; creates this tick's contact joints.
bool bike_wheel_contacts(bike* b, const height_field& hf);

// ---- steps that other modules own (declared here so all sides agree) -----
// wheel_contact.cpp (dirt.h and ruts.h hold the dirt spray and rut steps)
bool wheel_terrain_contact(const height_field& hf, wheel_contact* wc, float grip_factor);
// drivetrain.cpp: bike-step 9 (automatic shifting, engine, drive) and 10 (brakes).
void drivetrain_step(bike* b);
void brakes_step(bike* b);
float engine_rpm(const bike* b);
// rider_control.cpp
void apply_controls(bike* b, const bike_controls& c);   // the nine values, through the setters
float frame_lean_angle(const bike* b);                   // lean angle of the frame, rad (< 0 leans left)
void backup_and_auto_dab(bike* b);                       // step 5, after the inputs were remembered
void steering_control(bike* b);                          // step 8 (normal or arcade controller)
void steering_damping(bike* b);                          // step 11
void rider_body_forces(bike* b);                         // step 13 (dab and realign)
