// rider_control.h -- what the rider does with arms and feet, as torques and
// forces on the bike: the control inputs, backing up and automatic dabbing
// at a standstill, the steering and balance controller with its assists
// (and the arcade variant), steering damping, dabbing and realigning after
// a fall, and the HUD's lean indicator.
//
// Owns: the control-input and rider-control-state sections of the `bike`
// record (steer, lean, sit_dab, back_up, landing_gain, dab_extension,
// lean_indicator, realign_refused).  Reads the assist fields the setup
// stores.  Needs: the bike's ODE bodies and joints, the shared world's
// contact group (angular motors made here live for one world step), the
// wheel contact records, bike_env (tick, race start, ground, race
// services).  Promises: inputs stay in range whatever is passed, nothing
// non-finite reaches ODE (the lean angle is defined for every pose), and
// realigning is only ever granted through the race services in bike_env.
//
// Sign conventions: lean < 0 when the frame's up axis tips toward its +x
// (right) side; roll rate is the frame's angular velocity about its own z
// axis, so a positive rate makes lean grow; a positive steering torque
// turns the bars toward -x.  A positive steer input asks for a negative
// lean.
#pragma once

#include <cstdint>

#include "bike/bike.h"

// ---- inputs ----------------------------------------------------------------
// Each clamps (non-finite counts as 0).  lean, sit_dab and back_up stay 0
// while the rider is crashed.
void set_steer(bike* b, float value);      // -1 .. 1
void set_lean(bike* b, float value);       // -1 .. 1
void set_sit_dab(bike* b, float value);    // 0 .. 1
void set_back_up(bike* b, float value);    // 0 .. 1
// All nine values, through their setters (the drivetrain's for throttle,
// clutch, brakes and shift).
void apply_controls(bike* b, const bike_controls& c);

// ---- measurements ----------------------------------------------------------
// Lean angle of a frame rotation (columns = frame axes in world), radians.
// Defined for every rotation: a frame pointing straight up or down takes
// its lateral direction from its own x axis.
float lean_angle_of(const mat3& frame_rotation);
float frame_lean_angle(const bike* b);
// Speed-dependent lean range used by lean-rate steering (exponent 4) and by
// the dab (exponent 32), radians; 2 pi at or above max_dab_speed.
float lean_range(const bike* b, float speed, int exponent);
// Steering lock angle for front road speed u (ft/s) on a surface whose
// first friction value is mu0.
float steering_lock_angle(const bike* b, float u, float mu0);
// Back-up push strength 0 .. 1 at tick: one rise and fall per 128 ticks;
// before the race has started, only one second in four pushes.
float backup_pulse(int32_t tick, int32_t race_start_tick);

// ---- the steering and balance controller ----------------------------------
// What the controller reads from the bodies, gathered once per step.
struct steering_inputs {
    float u;                 // ft/s, front wheel road speed (axle rate * outer radius)
    float v;                 // ft/s, frame speed
    float lean;              // rad, frame lean angle
    float roll_rate;         // rad/s about the frame's z axis
    float slip_angle;        // rad, front wheel slip angle in the fork's axes
    float front_height;      // ft, front tyre's lowest point above the ground
    float mu0;               // first friction value of the tile under the front wheel
    float steer_angle;       // rad, steering hinge angle
    float front_axle_rate;   // rad/s, front axle hinge rate
    bool front_on_ground;    // front wheel contact load > 0
};
struct steering_output {
    float torque;            // ft lbf about the steering axis, within the limits
    float lower_limit;       // ft lbf, after the soft lock stop
    float upper_limit;       // ft lbf
    float lock_angle;        // rad
    float balance;           // ft lbf of balance before the 1.5 factor, after knock handling
    float steering;          // ft lbf of steering part before the 1.5 factor
};
// The normal (non-arcade) controller for the measured state; updates
// landing_gain and lean_indicator.  Applies nothing.
steering_output steering_controller(bike* b, const steering_inputs& in);
steering_inputs measure_steering(const bike* b);
// Dab torque (frame x, at 4 ft up) for speed v, lean and roll rate; reads
// steer, back_up and lean_indicator.
float dab_torque(const bike* b, float v, float lean, float roll_rate);

// Adds T about the steering axis to the front wheel and -T to the frame.
void apply_steering_torque(bike* b, float torque);

// ---- the bike-step parts --------------------------------------------------
void backup_and_auto_dab(bike* b);   // bike-step 5: may raise sit_dab and the brakes for this step
void steering_control(bike* b);      // bike-step 8: normal or arcade controller; skipped while crashed
void steering_damping(bike* b);      // bike-step 11
void rider_body_forces(bike* b);     // bike-step 13: dab extension, realign, dab torque
