// catalogue.h -- the 45 bike models compiled into the program.
//
// Owns: the read-only `bike_models` table (catalogue order), the bike menu's
// order and paint prefixes, model lookup with its fallback and the legacy
// names, and the check of the seven generic collision shapes against the
// digest compiled in from the generated data.  Needs: the log and, for the
// shape check, file streams.  Promises: nothing here is read from data
// files; a bike copies its record whole, so nothing ever writes to it.
//
// Units: feet, slugs, seconds, pounds-force, foot-pounds, radians; engine
// tables are tabulated in rpm.  Positions are in the build pose: y up, z from
// the front of the bike to the rear, the ground at y = 0, the front axle at
// z = 1.11 and the rear axle at z = 6.
#pragma once

#include "base/sha1.h"
#include "base/vec.h"

constexpr int bike_model_count = 45;
constexpr int torque_points = 50;            // entries of an engine torque table
constexpr float torque_rpm_step = 500.0f;    // rpm between two table entries, from 0 rpm
constexpr int gear_slots = 6;                // gears 1 to 6; <= 0 marks a missing gear
constexpr int rider_point_count = 9;         // head, then left/right shoulders, hips, grips, pegs
constexpr int rider_limb_count = 4;          // upper arm, forearm, thigh, shin
constexpr int generic_shape_count = 7;

struct wheel_spec {
    vec3 axle_position;     // ft, build pose
    float ring_radius;      // ft, circle through the centre of the tyre's cross-section
    float section_radius;   // ft, radius of the tyre's cross-section
    float tyre_mass;        // slug
    float hub_radius;       // ft
    float hub_mass;         // slug
};

struct bike_model {
    const char* name;                 // shown in menus and stored in files, e.g. "crf450(2013)"
    const char* engine_class;         // "450f", "250f", "250", "125" or "50"
    wheel_spec front_wheel;
    wheel_spec rear_wheel;
    vec3 frame_position;              // ft, centre of the frame body
    float frame_mass;                 // slug, without the rider
    vec3 frame_size;                  // ft, edges (x, y, z) of the frame's inertia box
    vec3 steering_head_position;      // ft, centre of the fork-upper body and steering anchor
    vec3 swingarm_position;           // ft, centre of the swingarm body
    vec3 swingarm_pivot;              // ft, swingarm hinge anchor on the frame
    vec3 fork_lower_position;         // ft, centre of the fork sliders; the fork axis runs to the steering head
    float fork_spacing;               // ft between the legs; leg radius for inertia is 1/8 of it
    float fork_length;                // ft; the inertia cylinder is 2/3 of it long
    float fork_mass;                  // slug, both legs
    float fork_spring_min;            // lbf/ft, both legs, at 0 % of the setting
    float fork_spring_max;            // lbf/ft at 100 %
    float fork_preload_min;           // ft
    float fork_preload_max;           // ft
    float fork_air_min;               // ft of air column at 0 % oil level (the longer one)
    float fork_air_max;               // ft of air column at 100 % oil level
    float fork_compression_base;      // lbf per ft/s at the middle setting
    float fork_rebound_base;          // lbf per ft/s at the middle setting
    float fork_travel;                // ft of stroke
    float swingarm_side_mass;         // slug, each of the two sides
    float shock_spring_min;           // lbf/ft
    float shock_spring_max;           // lbf/ft
    float shock_preload_min;          // ft
    float shock_preload_max;          // ft
    float shock_compression_base;     // lbf per ft/s at the middle setting
    float shock_rebound_base;         // lbf per ft/s at the middle setting
    float swingarm_travel;            // rad from rest to full compression
    float linkage_ratio_extended;     // shock travel per unit of swingarm compression, extended
    float linkage_ratio_compressed;   // the same, fully compressed
    float primary_ratio;              // crankshaft to gearbox
    float countershaft_teeth;         // front sprocket
    float rear_sprocket_teeth;
    float gear_ratios[gear_slots];    // gears 1..6; -1 where the model has no such gear
    float engine_inertia;             // slug ft^2
    float clutch_stiffness;           // ft lbf per rad of wind-up
    float clutch_damping;             // ft lbf per rad/s of slip
    float closed_throttle_torque[torque_points];   // ft lbf at 0, 500 ... 24500 rpm
    float open_throttle_torque[torque_points];     // ft lbf, same grid
    float shift_down_rpm;             // automatic shifting changes down below this
    float shift_up_rpm;               // and up above this
    float redline_rpm;                // highest usable engine speed (informational)
    vec3 rider_travel_axis;           // direction (not normalised) of the rider's snapshot displacement
    vec3 rider_position;              // ft, centre of the rider mass body
    float rider_travel_min;           // ft along the travel axis
    float rider_travel_max;           // ft
    float rider_mass;                 // slug
    // Data names of the 3D models, collision shapes and default textures.
    const char* frame_model;
    const char* frame_shape;
    const char* paint_texture;
    const char* fork_upper_model;
    const char* fork_upper_shape;
    const char* fork_lower_model;
    const char* fork_lower_shape;
    const char* swingarm_model;
    const char* swingarm_shape;
    const char* front_wheel_model;
    const char* front_wheel_shape;
    const char* rear_wheel_model;
    const char* rear_wheel_shape;
    const char* wheel_texture;
    const char* helmet_model;
    const char* helmet_texture;
    const char* rider_model;
    const char* rider_model_first_person;
    const char* rider_shape;
    const char* gear_texture;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* rider_plate_model;
    // Head point (rider mass axes), then left/right pairs (negative x first):
    // shoulders and hips (rider mass), grips (fork upper), footpegs (frame).
    vec3 rider_points[rider_point_count];
    float rider_limb_lengths[rider_limb_count];   // ft: arm segments, thigh, shin
    const vec3* rider_bind_pose;      // rider_point_count rest points of the rider model's joints, shared
};

// Indices into rider_points.
enum rider_point {
    rider_head = 0,
    rider_shoulder_left, rider_shoulder_right,
    rider_hip_left, rider_hip_right,
    rider_grip_left, rider_grip_right,
    rider_peg_left, rider_peg_right,
};

// The catalogue, in catalogue order.
extern const bike_model bike_models[bike_model_count];
// The rider model's rest pose, shared by every record.
extern const vec3 bike_rider_bind_pose[rider_point_count];

// The bike menu lists the same models in its own order, each with the stem
// that its paint and wheel texture variants start with.
struct bike_menu_entry {
    const char* name;           // a catalogue name
    const char* paint_prefix;   // e.g. "crf450v2013-"
};
extern const bike_menu_entry bike_menu[bike_model_count];

// Exact, case-sensitive lookup in catalogue order; null when absent (or
// when name is null).
const bike_model* find_bike_model(const char* name);
// The catalogue name an older model name stands for ("crf250" ->
// "crf250(2008)" and the like), or name itself.
const char* translate_legacy_bike_name(const char* name);
// The record a new bike uses, never null: the legacy name translated and
// looked up; failing that the first model whose name contains "125" (when
// the request does) or "250f", else the first model, with a log line.
const bike_model* select_bike_model(const char* name);
// Position of a record in bike_models, or -1 when it is not one of them.
int bike_model_index(const bike_model* model);

// The seven shapes every model uses, in the order the digest covers them.
extern const char* const generic_shape_names[generic_shape_count];   // "@generic_frame.shp", ...

// SHA-1 over the contents of the seven shapes, in order, read in 1024-byte
// pieces; files that can't be opened are skipped.  Writes 40 lower-case
// hex digits; false when a file was met corrupt or cut short.
bool generic_shapes_hex(char hex[sha1_hex_size]);
// Whether the shapes found under the data roots have the given digest.
bool generic_shape_check_digest(const char* hex_digest);

// The start-up check against the digest the data generator compiled in
// (defined in the generated digest source, library vk_game_digest; the
// check lives in shape_check.cpp so tools linking vk_bike don't need it).
// The caller keeps the result as fixed_files_ok.
extern const char generic_shapes_digest[];
bool generic_shape_check();
