// drivetrain.h -- engine, clutch, gearbox and brakes of a bike.
//
// Owns: the drivetrain section of the `bike` record (gear, last shift
// input, engine speed, driveline angle) and the throttle, clutch and brake
// inputs' setters.  Needs: the bike's ODE bodies and axle joints, its wheel
// contact records (a wheel is on the ground when its load is above 0), the
// model's torque tables and gearing, and bike_env.tick for the shift clock.
// Promises: every value handed to ODE is finite; the inputs stay in 0 .. 1
// whatever the caller passes; the gear never rests on a gear the model
// does not have.
//
// The engine is not a body: it is one rotating state coupled to the rear
// wheel through a clutch modelled as a torsional spring and damper.  The
// clutch's driven side is kept as an angle expressed in rear-wheel terms,
// so the coupling spring sees the windup between it and the rear axle.
// Brakes are the hinge motors of the two axle joints.
#pragma once

#include "bike/bike.h"

// ---- inputs --------------------------------------------------------------
// Each clamps to 0 .. 1 (a non-finite value counts as 0).  The throttle
// stays 0 while the rider is crashed.
void set_throttle(bike* b, float value);
void set_clutch(bike* b, float value);
void set_front_brake(bike* b, float value);
void set_rear_brake(bike* b, float value);
// Edge-triggered gear change: input -1, 0 or +1.  A held input shifts
// once; it must return to 0 before the next shift the same way.  Ignored
// while crashed or outside -1 .. +1.
void shift(bike* b, int input);

// ---- engine state ----------------------------------------------------------
float engine_rpm(const bike* b);      // engine_speed in rpm
// Current engine torque, ft lbf: the two tables blended by the throttle,
// with the wheelie engine cut when that option is on.
float engine_torque(const bike* b);
int gear(const bike* b);              // 0 = first gear (for the HUD)

// Table torque of a model at rpm for a throttle of 0 .. 1, ft lbf: linear
// in rpm between the 500 rpm grid points; beyond 24 500 rpm the last
// entry holds.  No wheelie cut.
float engine_torque_at(const bike_model& m, double rpm, float throttle);
// Total reduction from crankshaft to rear wheel in the current gear.
float drive_reduction(const bike* b);
// The gear automatic shifting picks for a rear axle rate (rad/s), without
// its timing and load conditions.
int auto_shift_gear(const bike* b, float rear_axle_rate);

// One step of the clutch coupling, for the wheel's hinge angle and rate.
struct clutch_coupling {
    float engagement;        // clutch engagement used, 0 .. 1
    float coupling;          // spring and damper torque before engagement, ft lbf
    float torque;            // transmitted torque engagement^2 * coupling, ft lbf
    float driveline_angle;   // driven side after the windup limit, (-pi, pi]
};
// Effective clutch with the automatic clutch: slips below
// auto_clutch_rpm + 2000.
float auto_clutch_engagement(const bike* b);
clutch_coupling clutch_step(const bike* b, float wheel_angle, float wheel_rate);

// Brake torques the axle motors get this step, ft lbf, after antilock and
// stoppie prevention.
float front_brake_limit(const bike* b);
float rear_brake_limit(const bike* b);

// ---- the bike-step parts --------------------------------------------------
// Bike-step 9: automatic shifting (every 32 ticks when on), clutch and drive
// torques on rear wheel and frame, engine integration.
void drivetrain_step(bike* b);
// Bike-step 10: the two axle motors.
void brakes_step(bike* b);
