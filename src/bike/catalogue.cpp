// catalogue.cpp -- the compiled-in bike models and their lookup.
//
// Owns: bike_models, bike_menu, bike_rider_bind_pose, find/select of a
// model, the legacy names and the digest of the generic collision shapes.
// Needs: log_printf, file streams (the digest only).  Promises: the whole
// table is built at compile time (constant initialisation), so lookups work
// from any static initialiser and nothing ever changes a record.
//
// Layout of the tables below: values shared by all 45 models, then one
// family record per engine class (masses, springs, damping, engine and
// clutch, shift points, rider mass), one gearing record per gearbox, one
// open-throttle torque table per model, and the catalogue itself, one line
// per model naming its family, gearing, torque table and asset stem.
#include "bike/catalogue.h"

#include <cstring>

#include "base/sha1.h"
#include "data/stream.h"
#include "platform/log.h"

// ------------------------------------------------------------ shared values

static constexpr wheel_spec stock_front_wheel = {
    {0.0f, 1.09f, 1.11f},   // axle, ft
    0.8333333f,             // ring radius, ft
    0.33333334f,            // section radius, ft
    0.40625f,               // tyre mass, slug
    0.5f,                   // hub radius, ft
    0.15625f,               // hub mass, slug
};
static constexpr wheel_spec stock_rear_wheel = {
    {0.0f, 1.04f, 6.0f}, 0.75f, 0.33333334f, 0.46875f, 0.5f, 0.3125f,
};
static constexpr vec3 stock_frame_position = {0.0f, 1.98f, 3.6f};         // ft
static constexpr vec3 stock_frame_size = {0.8333333f, 1.6666666f, 1.6666666f};   // ft
static constexpr vec3 stock_steering_head = {0.0f, 2.9f, 2.16f};          // ft
static constexpr vec3 stock_swingarm_position = {0.0f, 1.34f, 4.99f};     // ft
static constexpr vec3 stock_swingarm_pivot = {0.0f, 1.58f, 4.17f};        // ft
static constexpr vec3 stock_fork_lower = {0.0f, 1.77f, 1.59f};            // ft
static constexpr float stock_fork_spacing = 0.8333333f;                   // ft
static constexpr float stock_fork_length = 3.0f;                          // ft
static constexpr float stock_fork_travel = 1.0f;                          // ft
static constexpr float stock_fork_preload_min = 0.0f;                     // ft
static constexpr float stock_fork_preload_max = 0.083333336f;             // ft (1 in)
static constexpr float stock_fork_air_min = 0.41666666f;                  // ft at 0 % oil level
static constexpr float stock_fork_air_max = 0.25f;                        // ft at 100 % oil level
static constexpr float stock_fork_compression = 60.0f;                    // lbf per ft/s
static constexpr float stock_shock_preload_min = 0.0f;                    // ft
static constexpr float stock_shock_preload_max = 0.0275f;                 // ft
static constexpr float stock_shock_compression = 800.0f;                  // lbf per ft/s
static constexpr float stock_swingarm_travel = 0.55f;                     // rad
static constexpr float stock_linkage_ratio = 0.61538464f;                 // both ends of the travel
static constexpr vec3 stock_rider_position = {0.0f, 4.5f, 4.12f};         // ft
static constexpr vec3 stock_rider_travel_axis = {0.0f, 0.083333336f, 0.083333336f};
static constexpr float stock_rider_travel_min = -0.6666667f;              // ft
static constexpr float stock_rider_travel_max = 0.5f;                     // ft
static constexpr float stock_limb_lengths[rider_limb_count] = {0.9f, 1.15f, 1.328f, 1.701f};   // ft

// Head (rider mass), shoulders and hips (rider mass), grips (fork upper),
// footpegs (frame); left (negative x) before right.
static constexpr vec3 stock_rider_points[rider_point_count] = {
    {0.0f, 0.808383f, -0.94336945f},
    {-0.556f, 0.5803751f, -0.65451413f}, {0.556f, 0.5803751f, -0.65451413f},
    {-0.269f, -0.57088673f, 0.67060673f}, {0.269f, -0.57088673f, 0.67060673f},
    {-1.097f, 1.145f, 0.753f}, {1.097f, 1.145f, 0.753f},
    {-0.6f, -0.557f, 0.584f}, {0.6f, -0.557f, 0.584f},
};

constexpr vec3 bike_rider_bind_pose[rider_point_count] = {
    {-1.456f, 0.875f, 0.01f}, {1.456f, 0.875f, 0.01f},
    {-0.556f, 0.875f, 0.01f}, {0.556f, 0.875f, 0.01f},
    {-0.269f, -2.208f, 0.01f}, {0.269f, -2.208f, 0.01f},
    {-0.269f, -0.88f, 0.01f}, {0.269f, -0.88f, 0.01f},
    {0.0f, -0.88f, 0.01f},
};

// ------------------------------------------------------------ engine tables
//
// Torque in ft lbf at 0, 500 ... 24500 rpm.  Closed-throttle tables: one
// per engine kind.  Open-throttle tables: one per model.  Each starts flat
// at 5 ft lbf (1 for the 50 cc minis) up to 2000 rpm, rises to its peak,
// falls, reaches exactly 0 at one grid point near the redline and is
// negative above it (the engine brakes past its rev limit).
//
// The crf450(2013) and crf250(2013) tables are the reference curves the
// handling was tuned on.  The others follow published rear-wheel dyno
// figures for their class and model year (peak torque and its rpm, the
// rpm where the curve falls away), put on the reference curves' scale: the
// two reference peaks sit at about 0.89 of the published rear-wheel peaks
// of their classes, and every model uses that same factor so that no model
// is stronger than its rivals only because of where its numbers came from.
// Class by class:
//   450 four-strokes: 34-36 ft lbf at 6800-7800 rpm published, so 30-32.5
//     here, broad and flat through the middle; fuel-injected 2013 engines a
//     little stronger than the 2011 ones.
//   350 four-strokes: about 26 ft lbf at 9500 rpm published, revving higher.
//   250 four-strokes: 2013 engines about 21 ft lbf at 9000-10000 rpm
//     published (18.3-19 here); 2007-2009 engines 18-19 ft lbf at about
//     10000 rpm published (16-17 here), a little less each year back.
//   250 two-strokes: 28-32 ft lbf at 7500-8000 rpm published: weak low
//     down, rising steeply into the pipe's band and falling off hard above.
//   125 two-strokes: 16.5-17.2 ft lbf near 11000 rpm published, peakier still.
//   50 cc minis: 3-5 ft lbf near 9000 rpm published.
static constexpr float open_torque_crf450_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 8.0f, 11.0f, 14.1f, 22.2f, 22.5f,   // 0-4500 rpm
    25.8f, 29.3f, 30.2f, 30.7f, 31.0f, 30.9f, 30.1f, 29.3f, 27.2f, 25.6f,   // 5000-9500 rpm
    24.2f, 21.9f, 18.8f, 14.4f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_crf250_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.4f, 7.9f, 9.4f, 10.8f, 11.5f,   // 0-4500 rpm
    11.76f, 11.46f, 12.55f, 13.84f, 16.46f, 18.35f, 18.61f, 18.58f, 18.65f, 18.35f,   // 5000-9500 rpm
    18.15f, 17.22f, 16.39f, 15.14f, 14.51f, 13.88f, 12.95f, 12.0f, 0.0f, -13.5f,   // 10000-14500 rpm
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,   // 15000-19500 rpm
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx450f_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.4f, 13.7f, 17.4f, 20.9f, 23.1f,   // 0-4500 rpm
    25.6f, 27.6f, 29.3f, 31.3f, 31.1f, 32.0f, 31.8f, 31.1f, 29.9f, 28.2f,   // 5000-9500 rpm
    25.9f, 23.0f, 19.6f, 15.6f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz450_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.0f, 12.9f, 16.5f, 20.0f, 22.9f,   // 0-4500 rpm
    25.4f, 26.9f, 29.1f, 29.3f, 30.5f, 31.2f, 30.9f, 30.2f, 28.9f, 27.1f,   // 5000-9500 rpm
    24.8f, 22.0f, 18.6f, 14.8f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz450f_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 10.4f, 14.9f, 19.9f, 22.7f, 25.6f,   // 0-4500 rpm
    28.4f, 30.6f, 31.3f, 32.2f, 32.4f, 32.1f, 31.2f, 29.9f, 28.1f, 25.8f,   // 5000-9500 rpm
    23.0f, 19.8f, 16.2f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f, -15.0f,   // 10000-14500 rpm
    -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f, -25.0f,   // 15000-19500 rpm
    -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f, -35.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_450sxf_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.0f, 12.9f, 16.3f, 19.4f, 22.2f,   // 0-4500 rpm
    24.5f, 26.2f, 28.6f, 30.5f, 31.4f, 31.6f, 31.5f, 31.0f, 30.0f, 28.7f,   // 5000-9500 rpm
    26.8f, 24.5f, 21.6f, 18.2f, 14.2f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f,   // 10000-14500 rpm
    -14.0f, -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f,   // 15000-19500 rpm
    -24.0f, -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_350sxf_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 7.4f, 9.6f, 11.8f, 13.8f, 15.7f,   // 0-4500 rpm
    17.3f, 18.5f, 19.7f, 21.0f, 21.3f, 22.2f, 23.1f, 23.0f, 23.3f, 23.6f,   // 5000-9500 rpm
    23.2f, 22.0f, 19.9f, 17.1f, 13.4f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f,   // 10000-14500 rpm
    -14.0f, -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f,   // 15000-19500 rpm
    -24.0f, -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_crf450_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.1f, 13.1f, 17.1f, 20.4f, 23.4f,   // 0-4500 rpm
    25.8f, 26.8f, 28.8f, 30.0f, 30.2f, 30.0f, 29.4f, 28.4f, 27.0f, 25.2f,   // 5000-9500 rpm
    23.0f, 20.4f, 17.4f, 14.0f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx450f_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.5f, 13.1f, 17.0f, 20.2f, 23.2f,   // 0-4500 rpm
    24.9f, 27.8f, 28.5f, 29.8f, 30.4f, 31.0f, 30.8f, 30.1f, 29.0f, 27.3f,   // 5000-9500 rpm
    25.0f, 22.3f, 18.9f, 15.0f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz450_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.0f, 12.6f, 16.3f, 19.0f, 21.5f,   // 0-4500 rpm
    24.2f, 26.3f, 28.5f, 28.6f, 29.6f, 30.4f, 30.1f, 29.4f, 28.1f, 26.4f,   // 5000-9500 rpm
    24.1f, 21.4f, 18.1f, 14.4f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz450f_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 10.3f, 14.6f, 19.2f, 22.6f, 25.7f,   // 0-4500 rpm
    27.9f, 29.6f, 31.2f, 30.8f, 31.4f, 31.1f, 30.3f, 29.0f, 27.2f, 25.0f,   // 5000-9500 rpm
    22.4f, 19.3f, 15.8f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f, -15.0f,   // 10000-14500 rpm
    -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f, -25.0f,   // 15000-19500 rpm
    -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f, -35.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_450sxf_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 8.7f, 12.4f, 15.7f, 18.8f, 21.5f,   // 0-4500 rpm
    24.2f, 26.4f, 27.8f, 29.5f, 30.3f, 30.8f, 30.6f, 30.0f, 28.9f, 27.1f,   // 5000-9500 rpm
    24.8f, 21.9f, 18.3f, 14.0f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f, -14.0f,   // 10000-14500 rpm
    -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f, -24.0f,   // 15000-19500 rpm
    -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f, -34.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_350sxf_2011[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 7.4f, 9.3f, 11.2f, 13.0f, 15.2f,   // 0-4500 rpm
    16.4f, 17.5f, 18.7f, 19.5f, 21.1f, 21.3f, 21.8f, 22.7f, 22.3f, 22.8f,   // 5000-9500 rpm
    22.4f, 21.2f, 19.2f, 16.4f, 12.8f, 0.0f, -10.0f, -11.0f, -12.0f, -13.0f,   // 10000-14500 rpm
    -14.0f, -15.0f, -16.0f, -17.0f, -18.0f, -19.0f, -20.0f, -21.0f, -22.0f, -23.0f,   // 15000-19500 rpm
    -24.0f, -25.0f, -26.0f, -27.0f, -28.0f, -29.0f, -30.0f, -31.0f, -32.0f, -33.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_250sx_2012[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 7.0f, 8.3f, 9.2f, 10.7f,   // 0-4500 rpm
    12.2f, 13.7f, 15.6f, 17.4f, 20.5f, 24.1f, 27.6f, 26.5f, 24.3f, 21.4f,   // 5000-9500 rpm
    17.7f, 13.5f, 0.0f, -9.0f, -9.75f, -10.5f, -11.25f, -12.0f, -12.75f, -13.5f,   // 10000-14500 rpm
    -14.25f, -15.0f, -15.75f, -16.5f, -17.25f, -18.0f, -18.75f, -19.5f, -20.25f, -21.0f,   // 15000-19500 rpm
    -21.75f, -22.5f, -23.25f, -24.0f, -24.75f, -25.5f, -26.25f, -27.0f, -27.75f, -28.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_cr250_2007[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.2f, 7.1f, 8.3f, 9.7f, 10.7f,   // 0-4500 rpm
    12.7f, 14.2f, 16.9f, 19.2f, 23.1f, 26.8f, 25.5f, 23.2f, 20.2f, 16.6f,   // 5000-9500 rpm
    12.6f, 0.0f, -9.0f, -9.75f, -10.5f, -11.25f, -12.0f, -12.75f, -13.5f, -14.25f,   // 10000-14500 rpm
    -15.0f, -15.75f, -16.5f, -17.25f, -18.0f, -18.75f, -19.5f, -20.25f, -21.0f, -21.75f,   // 15000-19500 rpm
    -22.5f, -23.25f, -24.0f, -24.75f, -25.5f, -26.25f, -27.0f, -27.75f, -28.5f, -29.25f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx250_2006[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 6.9f, 8.2f, 9.1f, 10.6f,   // 0-4500 rpm
    11.9f, 13.2f, 15.1f, 16.9f, 19.7f, 23.0f, 27.0f, 25.6f, 22.6f, 18.7f,   // 5000-9500 rpm
    13.8f, 0.0f, -9.0f, -9.75f, -10.5f, -11.25f, -12.0f, -12.75f, -13.5f, -14.25f,   // 10000-14500 rpm
    -15.0f, -15.75f, -16.5f, -17.25f, -18.0f, -18.75f, -19.5f, -20.25f, -21.0f, -21.75f,   // 15000-19500 rpm
    -22.5f, -23.25f, -24.0f, -24.75f, -25.5f, -26.25f, -27.0f, -27.75f, -28.5f, -29.25f,   // 20000-24500 rpm
};

static constexpr float open_torque_rm250_2008[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.0f, 7.0f, 8.2f, 9.2f, 10.3f,   // 0-4500 rpm
    11.7f, 12.8f, 14.9f, 17.0f, 19.4f, 22.5f, 26.4f, 24.8f, 21.7f, 17.8f,   // 5000-9500 rpm
    13.2f, 0.0f, -9.0f, -9.75f, -10.5f, -11.25f, -12.0f, -12.75f, -13.5f, -14.25f,   // 10000-14500 rpm
    -15.0f, -15.75f, -16.5f, -17.25f, -18.0f, -18.75f, -19.5f, -20.25f, -21.0f, -21.75f,   // 15000-19500 rpm
    -22.5f, -23.25f, -24.0f, -24.75f, -25.5f, -26.25f, -27.0f, -27.75f, -28.5f, -29.25f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250_2012[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.1f, 7.2f, 8.2f, 9.8f, 11.3f,   // 0-4500 rpm
    12.6f, 14.9f, 17.0f, 19.8f, 23.2f, 27.3f, 26.0f, 23.6f, 20.6f, 16.9f,   // 5000-9500 rpm
    12.8f, 0.0f, -9.0f, -9.75f, -10.5f, -11.25f, -12.0f, -12.75f, -13.5f, -14.25f,   // 10000-14500 rpm
    -15.0f, -15.75f, -16.5f, -17.25f, -18.0f, -18.75f, -19.5f, -20.25f, -21.0f, -21.75f,   // 15000-19500 rpm
    -22.5f, -23.25f, -24.0f, -24.75f, -25.5f, -26.25f, -27.0f, -27.75f, -28.5f, -29.25f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx250f_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.3f, 7.5f, 8.7f, 9.8f, 10.9f,   // 0-4500 rpm
    12.2f, 13.0f, 14.2f, 15.4f, 15.7f, 17.0f, 17.4f, 18.5f, 18.9f, 19.0f,   // 5000-9500 rpm
    18.9f, 18.7f, 18.2f, 17.6f, 16.7f, 15.5f, 14.1f, 12.4f, 0.0f, -13.5f,   // 10000-14500 rpm
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,   // 15000-19500 rpm
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz250_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.4f, 7.3f, 8.8f, 9.9f, 10.7f,   // 0-4500 rpm
    11.9f, 13.0f, 14.0f, 14.7f, 15.8f, 16.8f, 17.5f, 17.8f, 17.9f, 18.6f,   // 5000-9500 rpm
    18.5f, 18.2f, 17.6f, 16.7f, 15.6f, 14.3f, 12.6f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250f_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.5f, 7.9f, 9.3f, 10.5f, 11.5f,   // 0-4500 rpm
    12.7f, 13.5f, 14.9f, 15.3f, 16.3f, 16.8f, 17.8f, 18.0f, 18.4f, 18.3f,   // 5000-9500 rpm
    18.0f, 17.5f, 16.8f, 16.0f, 14.9f, 13.7f, 12.2f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_250sxf_2013[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 7.1f, 8.1f, 9.3f, 10.2f,   // 0-4500 rpm
    10.9f, 11.7f, 12.6f, 14.0f, 14.6f, 15.3f, 15.9f, 16.7f, 17.0f, 18.2f,   // 5000-9500 rpm
    18.3f, 18.2f, 18.0f, 17.5f, 16.8f, 15.9f, 14.6f, 13.0f, 0.0f, -13.5f,   // 10000-14500 rpm
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,   // 15000-19500 rpm
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_crf250_2009[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.0f, 6.9f, 8.0f, 8.8f, 9.8f,   // 0-4500 rpm
    10.9f, 11.2f, 12.3f, 12.8f, 13.6f, 14.1f, 14.7f, 15.2f, 16.2f, 16.5f,   // 5000-9500 rpm
    16.6f, 16.5f, 16.1f, 15.5f, 14.6f, 13.3f, 11.8f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx250f_2009[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 7.1f, 8.0f, 9.1f, 9.8f,   // 0-4500 rpm
    10.6f, 11.6f, 12.4f, 13.0f, 14.0f, 14.9f, 15.5f, 15.9f, 16.4f, 16.2f,   // 5000-9500 rpm
    16.9f, 16.8f, 16.5f, 15.8f, 14.9f, 13.6f, 12.0f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz250_2009[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 6.9f, 8.0f, 8.8f, 9.7f,   // 0-4500 rpm
    10.5f, 11.5f, 12.2f, 12.8f, 13.6f, 14.6f, 14.9f, 15.3f, 16.1f, 16.3f,   // 5000-9500 rpm
    16.7f, 16.6f, 16.2f, 15.6f, 14.7f, 13.4f, 11.9f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250f_2009[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.0f, 7.2f, 7.9f, 8.8f, 9.8f,   // 0-4500 rpm
    10.9f, 11.8f, 12.6f, 12.8f, 13.5f, 14.5f, 14.8f, 15.4f, 16.1f, 16.3f,   // 5000-9500 rpm
    16.4f, 16.3f, 15.9f, 15.2f, 14.3f, 13.1f, 11.6f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_250sxf_2009[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.8f, 6.5f, 7.6f, 8.3f, 9.2f,   // 0-4500 rpm
    10.1f, 10.5f, 11.5f, 12.1f, 12.9f, 13.4f, 14.0f, 14.8f, 15.3f, 15.7f,   // 5000-9500 rpm
    15.9f, 16.3f, 16.2f, 16.0f, 15.5f, 14.7f, 13.6f, 12.2f, 0.0f, -13.5f,   // 10000-14500 rpm
    -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f,   // 15000-19500 rpm
    -19.0f, -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_crf250_2008[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 6.8f, 7.9f, 8.6f, 9.4f,   // 0-4500 rpm
    10.6f, 11.4f, 11.9f, 12.6f, 13.2f, 14.3f, 14.6f, 15.1f, 16.1f, 15.9f,   // 5000-9500 rpm
    16.4f, 16.3f, 15.9f, 15.3f, 14.4f, 13.1f, 11.6f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx250f_2008[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 7.1f, 7.9f, 9.0f, 9.7f,   // 0-4500 rpm
    10.8f, 11.1f, 12.1f, 12.8f, 14.0f, 14.4f, 14.7f, 15.4f, 15.9f, 16.5f,   // 5000-9500 rpm
    16.6f, 16.5f, 16.2f, 15.6f, 14.6f, 13.4f, 11.8f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz250_2008[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.8f, 7.0f, 8.0f, 8.7f, 9.5f,   // 0-4500 rpm
    10.4f, 11.3f, 12.0f, 12.9f, 13.9f, 14.2f, 15.0f, 15.2f, 15.9f, 16.0f,   // 5000-9500 rpm
    16.5f, 16.4f, 16.0f, 15.4f, 14.5f, 13.2f, 11.7f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250f_2008[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.1f, 7.0f, 8.1f, 9.0f, 9.6f,   // 0-4500 rpm
    10.7f, 11.7f, 12.2f, 12.8f, 13.8f, 14.0f, 15.1f, 15.2f, 16.1f, 15.9f,   // 5000-9500 rpm
    16.3f, 16.2f, 15.8f, 15.1f, 14.2f, 13.0f, 11.5f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_cr125[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.3f, 5.6f, 5.9f, 6.4f, 6.6f,   // 0-4500 rpm
    6.9f, 7.4f, 7.7f, 8.2f, 8.7f, 9.0f, 9.9f, 10.3f, 11.0f, 12.5f,   // 5000-9500 rpm
    13.3f, 14.6f, 13.8f, 12.3f, 10.4f, 8.2f, 0.0f, -7.0f, -7.5f, -8.0f,   // 10000-14500 rpm
    -8.5f, -9.0f, -9.5f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f, -12.5f, -13.0f,   // 15000-19500 rpm
    -13.5f, -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx125[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.3f, 5.6f, 5.9f, 6.3f, 6.6f,   // 0-4500 rpm
    6.8f, 7.1f, 7.6f, 8.1f, 8.2f, 8.9f, 9.5f, 10.2f, 10.6f, 11.8f,   // 5000-9500 rpm
    12.4f, 13.7f, 14.9f, 13.7f, 11.5f, 8.6f, 0.0f, -7.0f, -7.5f, -8.0f,   // 10000-14500 rpm
    -8.5f, -9.0f, -9.5f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f, -12.5f, -13.0f,   // 15000-19500 rpm
    -13.5f, -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rm125[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.4f, 5.6f, 5.9f, 6.3f, 6.5f,   // 0-4500 rpm
    6.8f, 7.3f, 7.5f, 8.0f, 8.3f, 8.6f, 9.4f, 10.0f, 10.7f, 11.5f,   // 5000-9500 rpm
    12.3f, 13.2f, 14.7f, 14.2f, 13.1f, 11.7f, 9.9f, 7.8f, 0.0f, -7.0f,   // 10000-14500 rpm
    -7.5f, -8.0f, -8.5f, -9.0f, -9.5f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f,   // 15000-19500 rpm
    -12.5f, -13.0f, -13.5f, -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz125[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.3f, 5.6f, 6.0f, 6.2f, 6.6f,   // 0-4500 rpm
    6.8f, 7.2f, 7.5f, 7.9f, 8.4f, 9.2f, 9.6f, 10.1f, 10.7f, 11.5f,   // 5000-9500 rpm
    12.8f, 14.0f, 15.1f, 13.9f, 11.7f, 8.8f, 0.0f, -7.0f, -7.5f, -8.0f,   // 10000-14500 rpm
    -8.5f, -9.0f, -9.5f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f, -12.5f, -13.0f,   // 15000-19500 rpm
    -13.5f, -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_125sx[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.3f, 5.6f, 5.9f, 6.2f, 6.5f,   // 0-4500 rpm
    6.9f, 7.4f, 7.6f, 8.2f, 8.3f, 8.9f, 9.5f, 10.2f, 11.1f, 12.1f,   // 5000-9500 rpm
    12.8f, 13.9f, 15.3f, 14.1f, 11.9f, 9.0f, 0.0f, -7.0f, -7.5f, -8.0f,   // 10000-14500 rpm
    -8.5f, -9.0f, -9.5f, -10.0f, -10.5f, -11.0f, -11.5f, -12.0f, -12.5f, -13.0f,   // 15000-19500 rpm
    -13.5f, -14.0f, -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_crf250_2007[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.1f, 7.0f, 7.7f, 8.7f, 9.7f,   // 0-4500 rpm
    10.4f, 11.1f, 11.8f, 12.9f, 13.5f, 14.0f, 14.6f, 14.9f, 15.3f, 16.1f,   // 5000-9500 rpm
    16.2f, 16.1f, 15.7f, 15.1f, 14.2f, 12.9f, 11.4f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_kx250f_2007[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.0f, 6.8f, 7.8f, 8.5f, 9.5f,   // 0-4500 rpm
    10.2f, 11.2f, 12.0f, 12.8f, 13.3f, 14.3f, 14.3f, 15.0f, 15.8f, 16.2f,   // 5000-9500 rpm
    16.3f, 16.2f, 15.9f, 15.3f, 14.3f, 13.1f, 11.5f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rmz250_2007[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.9f, 6.7f, 7.7f, 8.5f, 9.4f,   // 0-4500 rpm
    10.3f, 10.9f, 11.9f, 12.4f, 13.6f, 13.9f, 14.4f, 14.9f, 15.4f, 15.9f,   // 5000-9500 rpm
    16.2f, 16.1f, 15.7f, 15.1f, 14.2f, 12.9f, 11.4f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250f_2007[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.1f, 6.9f, 8.1f, 8.8f, 10.0f,   // 0-4500 rpm
    10.6f, 11.4f, 12.3f, 12.9f, 13.7f, 14.3f, 14.5f, 15.4f, 15.7f, 16.0f,   // 5000-9500 rpm
    16.1f, 16.0f, 15.6f, 14.9f, 14.0f, 12.8f, 11.3f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_yz250f_se_2006[torque_points] = {
    5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 6.0f, 6.9f, 8.1f, 8.9f, 9.9f,   // 0-4500 rpm
    10.6f, 11.6f, 12.0f, 12.8f, 13.2f, 14.0f, 14.4f, 15.4f, 15.6f, 15.9f,   // 5000-9500 rpm
    16.0f, 15.9f, 15.5f, 14.8f, 13.9f, 12.7f, 11.2f, 0.0f, -13.5f, -14.0f,   // 10000-14500 rpm
    -14.5f, -15.0f, -15.5f, -16.0f, -16.5f, -17.0f, -17.5f, -18.0f, -18.5f, -19.0f,   // 15000-19500 rpm
    -19.5f, -20.0f, -20.5f, -21.0f, -21.5f, -22.0f, -22.5f, -23.0f, -23.5f, -24.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rs50cr[torque_points] = {
    1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.11f, 1.16f, 1.26f, 1.4f, 1.53f,   // 0-4500 rpm
    1.64f, 1.76f, 1.92f, 2.09f, 2.28f, 2.43f, 2.7f, 2.99f, 3.4f, 3.33f,   // 5000-9500 rpm
    3.2f, 3.01f, 2.79f, 2.52f, 2.23f, 1.9f, 0.0f, -2.0f, -2.25f, -2.5f,   // 10000-14500 rpm
    -2.75f, -3.0f, -3.25f, -3.5f, -3.75f, -4.0f, -4.25f, -4.5f, -4.75f, -5.0f,   // 15000-19500 rpm
    -5.25f, -5.5f, -5.75f, -6.0f, -6.25f, -6.5f, -6.75f, -7.0f, -7.25f, -7.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_rs50kx[torque_points] = {
    1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.1f, 1.19f, 1.33f, 1.37f, 1.55f,   // 0-4500 rpm
    1.6f, 1.77f, 1.96f, 2.13f, 2.33f, 2.53f, 2.82f, 3.09f, 3.5f, 3.43f,   // 5000-9500 rpm
    3.3f, 3.11f, 2.89f, 2.62f, 2.33f, 2.0f, 0.0f, -2.0f, -2.25f, -2.5f,   // 10000-14500 rpm
    -2.75f, -3.0f, -3.25f, -3.5f, -3.75f, -4.0f, -4.25f, -4.5f, -4.75f, -5.0f,   // 15000-19500 rpm
    -5.25f, -5.5f, -5.75f, -6.0f, -6.25f, -6.5f, -6.75f, -7.0f, -7.25f, -7.5f,   // 20000-24500 rpm
};

static constexpr float open_torque_rs50rm[torque_points] = {
    1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.1f, 1.18f, 1.29f, 1.39f, 1.49f,   // 0-4500 rpm
    1.55f, 1.71f, 1.82f, 1.99f, 2.14f, 2.32f, 2.58f, 2.82f, 3.1f, 3.4f,   // 5000-9500 rpm
    3.34f, 3.23f, 3.07f, 2.87f, 2.65f, 2.39f, 2.11f, 1.8f, 0.0f, -2.0f,   // 10000-14500 rpm
    -2.25f, -2.5f, -2.75f, -3.0f, -3.25f, -3.5f, -3.75f, -4.0f, -4.25f, -4.5f,   // 15000-19500 rpm
    -4.75f, -5.0f, -5.25f, -5.5f, -5.75f, -6.0f, -6.25f, -6.5f, -6.75f, -7.0f,   // 20000-24500 rpm
};

static constexpr float open_torque_rs50yz[torque_points] = {
    1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.09f, 1.23f, 1.31f, 1.4f, 1.53f,   // 0-4500 rpm
    1.66f, 1.78f, 1.96f, 2.15f, 2.32f, 2.59f, 2.9f, 3.15f, 3.6f, 3.53f,   // 5000-9500 rpm
    3.38f, 3.19f, 2.95f, 2.67f, 2.35f, 2.0f, 0.0f, -2.0f, -2.25f, -2.5f,   // 10000-14500 rpm
    -2.75f, -3.0f, -3.25f, -3.5f, -3.75f, -4.0f, -4.25f, -4.5f, -4.75f, -5.0f,   // 15000-19500 rpm
    -5.25f, -5.5f, -5.75f, -6.0f, -6.25f, -6.5f, -6.75f, -7.0f, -7.25f, -7.5f,   // 20000-24500 rpm
};

static constexpr float closed_torque_four_stroke[torque_points] = {
    2.0f, 2.0f, 1.0f, 0.0f, -1.0f, -1.0f, -2.0f, -2.0f, -3.0f, -3.0f,   // 0-4500 rpm
    -4.0f, -4.0f, -5.0f, -5.0f, -6.0f, -6.0f, -7.0f, -7.0f, -8.0f, -8.0f,   // 5000-9500 rpm
    -9.0f, -9.0f, -10.0f, -10.0f, -11.0f, -11.0f, -12.0f, -12.0f, -13.0f, -13.0f,   // 10000-14500 rpm
    -14.0f, -14.0f, -15.0f, -15.0f, -16.0f, -16.0f, -17.0f, -17.0f, -18.0f, -18.0f,   // 15000-19500 rpm
    -19.0f, -19.0f, -20.0f, -20.0f, -21.0f, -21.0f, -22.0f, -22.0f, -23.0f, -23.0f,   // 20000-24500 rpm
};

static constexpr float closed_torque_two_stroke[torque_points] = {
    2.0f, 2.0f, 1.0f, 0.0f, -1.0f, -1.2f, -1.4f, -1.6f, -1.8f, -2.0f,   // 0-4500 rpm
    -2.25f, -2.5f, -2.75f, -3.0f, -3.33f, -3.67f, -4.0f, -5.0f, -6.0f, -7.0f,   // 5000-9500 rpm
    -8.0f, -9.0f, -10.0f, -10.0f, -11.0f, -11.0f, -12.0f, -12.0f, -13.0f, -13.0f,   // 10000-14500 rpm
    -14.0f, -14.0f, -15.0f, -15.0f, -16.0f, -16.0f, -17.0f, -17.0f, -18.0f, -18.0f,   // 15000-19500 rpm
    -19.0f, -19.0f, -20.0f, -20.0f, -21.0f, -21.0f, -22.0f, -22.0f, -23.0f, -23.0f,   // 20000-24500 rpm
};

static constexpr float closed_torque_fifty[torque_points] = {
    2.0f, 2.0f, 1.0f, 0.0f, -0.5f, -0.6f, -0.7f, -0.8f, -0.9f, -1.0f,   // 0-4500 rpm
    -1.125f, -1.25f, -1.375f, -1.5f, -1.665f, -1.835f, -2.0f, -2.5f, -3.0f, -3.5f,   // 5000-9500 rpm
    -4.0f, -4.5f, -5.0f, -5.0f, -5.5f, -5.5f, -6.0f, -6.0f, -6.5f, -6.5f,   // 10000-14500 rpm
    -7.0f, -7.0f, -7.5f, -7.5f, -8.0f, -8.0f, -8.5f, -8.5f, -9.0f, -9.0f,   // 15000-19500 rpm
    -9.5f, -9.5f, -10.0f, -10.0f, -10.5f, -10.5f, -11.0f, -11.0f, -11.5f, -11.5f,   // 20000-24500 rpm
};

// ------------------------------------------------------------ families

// What the models of one engine family share besides the stock geometry.
struct bike_family {
    float frame_mass;                 // slug
    float fork_mass;                  // slug, both legs
    float swingarm_side_mass;         // slug, each side
    float fork_spring_min, fork_spring_max;     // lbf/ft
    float shock_spring_min, shock_spring_max;   // lbf/ft
    float fork_rebound_base;          // lbf per ft/s
    float shock_rebound_base;         // lbf per ft/s
    float engine_inertia;             // slug ft^2
    float clutch_stiffness;           // ft lbf / rad
    float clutch_damping;             // ft lbf / (rad/s)
    float shift_down_rpm, shift_up_rpm, redline_rpm;
    float rider_mass;                 // slug
    const float* closed_throttle_torque;   // torque_points entries
};

static constexpr bike_family family_450 = {
    4.735f, 0.703125f, 0.5025f, 376.3026f, 913.8778f, 2486.2852f, 5174.161f, 32.0f, 650.0f,
    0.008850098f, 7500.0f, 0.75f, 6000.0f, 10500.0f, 12000.0f, 5.46875f, closed_torque_four_stroke,
};
static constexpr bike_family with_inertia(bike_family f, float inertia)
{
    f.engine_inertia = inertia;
    return f;
}
static constexpr bike_family with_redline(bike_family f, float redline)
{
    f.redline_rpm = redline;
    return f;
}
// The 350s share the 450 chassis with a lighter crank.
static constexpr bike_family family_350 = with_inertia(family_450, 0.0068359375f);
static constexpr bike_family family_250_two_stroke = {
    4.365625f, 0.75375f, 0.589375f, 322.5451f, 860.1203f, 2083.1038f, 4770.9795f, 30.0f, 600.0f,
    0.0068359375f, 7500.0f, 0.75f, 6000.0f, 9000.0f, 10500.0f, 5.46875f, closed_torque_two_stroke,
};
static constexpr bike_family family_250_four_stroke = {
    4.24f, 0.703125f, 0.504375f, 335.9845f, 873.5597f, 2217.4976f, 4905.3735f, 30.0f, 600.0f,
    0.0048828125f, 7500.0f, 0.75f, 8000.0f, 12500.0f, 13250.0f, 4.6875f, closed_torque_four_stroke,
};
static constexpr bike_family family_125 = {
    3.65375f, 0.7396875f, 0.541875f, 322.5451f, 860.1203f, 1814.3163f, 4502.192f, 30.0f, 600.0f,
    0.0048828125f, 7500.0f, 0.75f, 9400.0f, 12000.0f, 12750.0f, 4.6875f, closed_torque_two_stroke,
};
static constexpr bike_family family_125_rm = with_redline(family_125, 13750.0f);
static constexpr bike_family family_50 = {
    3.34125f, 0.7396875f, 0.541875f, 309.10574f, 846.6809f, 1814.3163f, 4502.192f, 30.0f, 600.0f,
    0.0011935764f, 1200.0f, 1.0f, 9400.0f, 12000.0f, 12750.0f, 4.6875f, closed_torque_fifty,
};
static constexpr bike_family family_50_rm = with_redline(family_50, 13750.0f);

// ------------------------------------------------------------ gearing

struct bike_gearing {
    float primary_ratio;
    float countershaft_teeth, rear_sprocket_teeth;
    float gear_ratios[gear_slots];    // -1: no such gear
};

static constexpr float no_gear = -1.0f;

static constexpr bike_gearing gearing_crf450 = {2.7391305f, 13, 48, {1.8f, 1.4705882f, 1.2352941f, 1.05f, 0.90909094f, no_gear}};
static constexpr bike_gearing gearing_kx450f = {2.7272727f, 13, 50, {1.75f, 1.4117647f, 1.1875f, 1.0f, 0.875f, no_gear}};
static constexpr bike_gearing gearing_rmz450 = {2.625f, 13, 50, {1.8f, 1.4705882f, 1.2352941f, 1.05f, 0.90909094f, no_gear}};
static constexpr bike_gearing gearing_yz450f = {2.652174f, 13, 48, {1.9285715f, 1.5333333f, 1.2777778f, 1.0909091f, 0.95238096f, no_gear}};
static constexpr bike_gearing gearing_450sxf_2013 = {2.375f, 14, 50, {2.0f, 1.6666666f, 1.4f, 1.1818181f, 1.0f, no_gear}};
static constexpr bike_gearing gearing_450sxf_2011 = {2.5517242f, 14, 52, {2.125f, 1.6315789f, 1.3f, 1.0869565f, 0.9230769f, no_gear}};
static constexpr bike_gearing gearing_350sxf = {3.0416667f, 14, 50, {2.0f, 1.625f, 1.3333334f, 1.1428572f, 0.95454544f, no_gear}};
static constexpr bike_gearing gearing_250sx = {2.7692308f, 13, 48, {2.0f, 1.6f, 1.3333334f, 1.1428572f, 0.95454544f, no_gear}};
static constexpr bike_gearing gearing_cr250 = {3.0f, 13, 49, {1.8f, 1.4705882f, 1.2105263f, 1.0f, 0.8695652f, no_gear}};
static constexpr bike_gearing gearing_kx250 = {3.0f, 13, 51, {1.8f, 1.4375f, 1.1764706f, 1.0f, 0.8695652f, no_gear}};
static constexpr bike_gearing gearing_rm250 = {3.0f, 13, 50, {1.8f, 1.4705882f, 1.2105263f, 1.0f, 0.8695652f, no_gear}};
static constexpr bike_gearing gearing_yz250 = {3.0f, 14, 50, {1.9285715f, 1.5333333f, 1.2777778f, 1.0909091f, 0.95238096f, no_gear}};
static constexpr bike_gearing gearing_crf250_2013 = {3.1666667f, 13, 49, {2.357143f, 1.882353f, 1.55f, 1.3333334f, 1.1363636f, no_gear}};
static constexpr bike_gearing gearing_kx250f_2013 = {3.35f, 13, 50, {2.142857f, 1.75f, 1.4444444f, 1.2352941f, 1.0454545f, no_gear}};
static constexpr bike_gearing gearing_rmz250_2013 = {3.3157895f, 13, 49, {2.1538463f, 1.7647059f, 1.4705882f, 1.2380953f, 1.0909091f, no_gear}};
static constexpr bike_gearing gearing_yz250f_2013 = {3.3529413f, 13, 50, {2.142857f, 1.75f, 1.4444444f, 1.2222222f, 1.0416666f, no_gear}};
static constexpr bike_gearing gearing_250sxf_2013 = {3.0416667f, 13, 50, {2.4615386f, 2.0f, 1.6470588f, 1.3684211f, 1.1904762f, 1.0909091f}};
static constexpr bike_gearing gearing_250sxf_2009 = {3.090909f, 13, 48, {2.4615386f, 2.0f, 1.6470588f, 1.3684211f, 1.1904762f, 1.0909091f}};
static constexpr bike_gearing gearing_crf250_old = {3.1666667f, 13, 51, {2.142857f, 1.75f, 1.45f, 1.2272727f, 1.0416666f, no_gear}};
static constexpr bike_gearing gearing_kx250f_old = {3.35f, 13, 48, {2.142857f, 1.7857143f, 1.4444444f, 1.2f, 1.0526316f, no_gear}};
static constexpr bike_gearing gearing_rmz250_old = {3.2105262f, 13, 48, {2.1538463f, 1.7647059f, 1.4705882f, 1.2380953f, 1.0909091f, no_gear}};
static constexpr bike_gearing gearing_yz250f_old = {3.3529413f, 13, 48, {2.142857f, 1.75f, 1.45f, 1.2272727f, 1.0416666f, no_gear}};
static constexpr bike_gearing gearing_cr125 = {3.15f, 13, 52, {2.357143f, 1.8666667f, 1.5789474f, 1.2941177f, 1.1333333f, no_gear}};
static constexpr bike_gearing gearing_kx125 = {3.2f, 13, 51, {2.3846154f, 1.8571428f, 1.5294118f, 1.2941177f, 1.125f, 1.0f}};
static constexpr bike_gearing gearing_rm125 = {3.368421f, 12, 50, {2.0714285f, 1.6875f, 1.4444444f, 1.2f, 1.0526316f, 0.95f}};
static constexpr bike_gearing gearing_yz125 = {3.368421f, 13, 48, {2.3846154f, 1.9333333f, 1.5882353f, 1.3529412f, 1.2f, 1.0952381f}};
static constexpr bike_gearing gearing_125sx = {3.0434783f, 13, 50, {2.4615386f, 2.0f, 1.6470588f, 1.4f, 1.2105263f, 1.0909091f}};
static constexpr bike_gearing gearing_50 = {3.7142856f, 12, 55, {3.090909f, 2.0f, 1.5f, 1.2f, 1.0454545f, 0.95652175f}};

// ------------------------------------------------------------ assets

// The names that depend on a model's asset stem.
struct stem_assets {
    const char* frame_model;
    const char* fork_upper_model;
    const char* fork_lower_model;
    const char* swingarm_model;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* paint_texture;
};

// String literals are joined at compile time, so every name is a constant.
#define STEM_ASSETS_PAINT(stem, paint)                                              \
    stem_assets{"@" stem "_frame.jm", "@" stem "_fork_upper.jm", "@" stem "_fork_lower.jm", \
                "@" stem "_swingarm.jm", "@" stem "_side_plates.jm", "@" stem "_front_plate.jm", paint}
#define STEM_ASSETS(stem) STEM_ASSETS_PAINT(stem, "@" stem ".png")

constexpr const char* generic_shape_names[generic_shape_count] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp", "@generic_rider.shp",
};

// ------------------------------------------------------------ records

static constexpr bike_model make_model(const char* name, const char* engine_class, const bike_family& f,
                                       const bike_gearing& g, const float* open_torque, const stem_assets& a)
{
    bike_model m{};
    m.name = name;
    m.engine_class = engine_class;
    m.front_wheel = stock_front_wheel;
    m.rear_wheel = stock_rear_wheel;
    m.frame_position = stock_frame_position;
    m.frame_mass = f.frame_mass;
    m.frame_size = stock_frame_size;
    m.steering_head_position = stock_steering_head;
    m.swingarm_position = stock_swingarm_position;
    m.swingarm_pivot = stock_swingarm_pivot;
    m.fork_lower_position = stock_fork_lower;
    m.fork_spacing = stock_fork_spacing;
    m.fork_length = stock_fork_length;
    m.fork_mass = f.fork_mass;
    m.fork_spring_min = f.fork_spring_min;
    m.fork_spring_max = f.fork_spring_max;
    m.fork_preload_min = stock_fork_preload_min;
    m.fork_preload_max = stock_fork_preload_max;
    m.fork_air_min = stock_fork_air_min;
    m.fork_air_max = stock_fork_air_max;
    m.fork_compression_base = stock_fork_compression;
    m.fork_rebound_base = f.fork_rebound_base;
    m.fork_travel = stock_fork_travel;
    m.swingarm_side_mass = f.swingarm_side_mass;
    m.shock_spring_min = f.shock_spring_min;
    m.shock_spring_max = f.shock_spring_max;
    m.shock_preload_min = stock_shock_preload_min;
    m.shock_preload_max = stock_shock_preload_max;
    m.shock_compression_base = stock_shock_compression;
    m.shock_rebound_base = f.shock_rebound_base;
    m.swingarm_travel = stock_swingarm_travel;
    m.linkage_ratio_extended = stock_linkage_ratio;
    m.linkage_ratio_compressed = stock_linkage_ratio;
    m.primary_ratio = g.primary_ratio;
    m.countershaft_teeth = g.countershaft_teeth;
    m.rear_sprocket_teeth = g.rear_sprocket_teeth;
    for (int i = 0; i < gear_slots; i++)
        m.gear_ratios[i] = g.gear_ratios[i];
    m.engine_inertia = f.engine_inertia;
    m.clutch_stiffness = f.clutch_stiffness;
    m.clutch_damping = f.clutch_damping;
    for (int i = 0; i < torque_points; i++) {
        m.closed_throttle_torque[i] = f.closed_throttle_torque[i];
        m.open_throttle_torque[i] = open_torque[i];
    }
    m.shift_down_rpm = f.shift_down_rpm;
    m.shift_up_rpm = f.shift_up_rpm;
    m.redline_rpm = f.redline_rpm;
    m.rider_travel_axis = stock_rider_travel_axis;
    m.rider_position = stock_rider_position;
    m.rider_travel_min = stock_rider_travel_min;
    m.rider_travel_max = stock_rider_travel_max;
    m.rider_mass = f.rider_mass;
    m.frame_model = a.frame_model;
    m.frame_shape = generic_shape_names[0];
    m.paint_texture = a.paint_texture;
    m.fork_upper_model = a.fork_upper_model;
    m.fork_upper_shape = generic_shape_names[1];
    m.fork_lower_model = a.fork_lower_model;
    m.fork_lower_shape = generic_shape_names[2];
    m.swingarm_model = a.swingarm_model;
    m.swingarm_shape = generic_shape_names[3];
    m.front_wheel_model = "@front_wheel.jm";
    m.front_wheel_shape = generic_shape_names[4];
    m.rear_wheel_model = "@rear_wheel.jm";
    m.rear_wheel_shape = generic_shape_names[5];
    m.wheel_texture = "@wheels.png";
    m.helmet_model = "@rider_head.jm";
    m.helmet_texture = "@rider_head.png";
    m.rider_model = "@rider_body.jm";
    m.rider_model_first_person = "@rider_body_fp.jm";
    m.rider_shape = generic_shape_names[6];
    m.gear_texture = "@rider_body.png";
    m.side_plates_model = a.side_plates_model;
    m.front_plate_model = a.front_plate_model;
    m.rider_plate_model = "@rider_plate.jm";
    for (int i = 0; i < rider_point_count; i++)
        m.rider_points[i] = stock_rider_points[i];
    for (int i = 0; i < rider_limb_count; i++)
        m.rider_limb_lengths[i] = stock_limb_lengths[i];
    m.rider_bind_pose = bike_rider_bind_pose;
    return m;
}

// Catalogue order.  The 50 cc minis reuse the 125 geometry; the 2007-2009
// four-strokes share one stem per maker.
constexpr bike_model bike_models[bike_model_count] = {
    make_model("crf450(2013)", "450f", family_450, gearing_crf450, open_torque_crf450_2013, STEM_ASSETS("crf450v2013")),
    make_model("kx450f(2013)", "450f", family_450, gearing_kx450f, open_torque_kx450f_2013, STEM_ASSETS("kx450f")),
    make_model("rmz450(2013)", "450f", family_450, gearing_rmz450, open_torque_rmz450_2013, STEM_ASSETS("rmz450")),
    make_model("yz450f(2013)", "450f", family_450, gearing_yz450f, open_torque_yz450f_2013, STEM_ASSETS("yz450f")),
    make_model("450sxf(2013)", "450f", family_450, gearing_450sxf_2013, open_torque_450sxf_2013, STEM_ASSETS("450sxfv2013")),
    make_model("350sxf(2013)", "250f", family_350, gearing_350sxf, open_torque_350sxf_2013, STEM_ASSETS("350sxfv2013")),
    make_model("crf450(2011)", "450f", family_450, gearing_crf450, open_torque_crf450_2011, STEM_ASSETS("crf450")),
    make_model("kx450f(2011)", "450f", family_450, gearing_kx450f, open_torque_kx450f_2011, STEM_ASSETS("kx450f")),
    make_model("rmz450(2011)", "450f", family_450, gearing_rmz450, open_torque_rmz450_2011, STEM_ASSETS("rmz450")),
    make_model("yz450f(2011)", "450f", family_450, gearing_yz450f, open_torque_yz450f_2011, STEM_ASSETS("yz450f")),
    make_model("450sxf(2011)", "450f", family_450, gearing_450sxf_2011, open_torque_450sxf_2011, STEM_ASSETS("450sxf")),
    make_model("350sxf(2011)", "450f", family_350, gearing_350sxf, open_torque_350sxf_2011, STEM_ASSETS("350sxf")),
    make_model("250sx(2012)", "250", family_250_two_stroke, gearing_250sx, open_torque_250sx_2012, STEM_ASSETS("250sx")),
    make_model("cr250(2007)", "250", family_250_two_stroke, gearing_cr250, open_torque_cr250_2007, STEM_ASSETS("cr250")),
    make_model("kx250(2006)", "250", family_250_two_stroke, gearing_kx250, open_torque_kx250_2006, STEM_ASSETS("kx250")),
    make_model("rm250(2008)", "250", family_250_two_stroke, gearing_rm250, open_torque_rm250_2008, STEM_ASSETS("rm250")),
    make_model("yz250(2012)", "250", family_250_two_stroke, gearing_yz250, open_torque_yz250_2012, STEM_ASSETS("yz250")),
    make_model("crf250(2013)", "250f", family_250_four_stroke, gearing_crf250_2013, open_torque_crf250_2013, STEM_ASSETS("crf250v2010")),
    make_model("kx250f(2013)", "250f", family_250_four_stroke, gearing_kx250f_2013, open_torque_kx250f_2013, STEM_ASSETS("kx250fv2013")),
    make_model("rmz250(2013)", "250f", family_250_four_stroke, gearing_rmz250_2013, open_torque_rmz250_2013, STEM_ASSETS("rmz250v2010")),
    make_model("yz250f(2013)", "250f", family_250_four_stroke, gearing_yz250f_2013, open_torque_yz250f_2013, STEM_ASSETS("yz250fv2010")),
    make_model("250sxf(2013)", "250f", family_250_four_stroke, gearing_250sxf_2013, open_torque_250sxf_2013, STEM_ASSETS("250sxfv2013")),
    make_model("crf250(2009)", "250f", family_250_four_stroke, gearing_crf250_old, open_torque_crf250_2009, STEM_ASSETS("crf250")),
    make_model("kx250f(2009)", "250f", family_250_four_stroke, gearing_kx250f_old, open_torque_kx250f_2009, STEM_ASSETS("kx250f")),
    make_model("rmz250(2009)", "250f", family_250_four_stroke, gearing_rmz250_old, open_torque_rmz250_2009, STEM_ASSETS("rmz250")),
    make_model("yz250f(2009)", "250f", family_250_four_stroke, gearing_yz250f_old, open_torque_yz250f_2009, STEM_ASSETS("yz250f")),
    make_model("250sxf(2009)", "250f", family_250_four_stroke, gearing_250sxf_2009, open_torque_250sxf_2009, STEM_ASSETS("250sxf")),
    make_model("crf250(2008)", "250f", family_250_four_stroke, gearing_crf250_old, open_torque_crf250_2008, STEM_ASSETS("crf250")),
    make_model("kx250f(2008)", "250f", family_250_four_stroke, gearing_kx250f_old, open_torque_kx250f_2008, STEM_ASSETS("kx250f")),
    make_model("rmz250(2008)", "250f", family_250_four_stroke, gearing_rmz250_old, open_torque_rmz250_2008, STEM_ASSETS("rmz250")),
    make_model("yz250f(2008)", "250f", family_250_four_stroke, gearing_yz250f_old, open_torque_yz250f_2008, STEM_ASSETS("yz250f")),
    make_model("cr125", "125", family_125, gearing_cr125, open_torque_cr125, STEM_ASSETS("cr125")),
    make_model("kx125", "125", family_125, gearing_kx125, open_torque_kx125, STEM_ASSETS("kx125")),
    make_model("rm125", "125", family_125_rm, gearing_rm125, open_torque_rm125, STEM_ASSETS("rm125")),
    make_model("yz125", "125", family_125, gearing_yz125, open_torque_yz125, STEM_ASSETS("yz125")),
    make_model("125sx", "125", family_125, gearing_125sx, open_torque_125sx, STEM_ASSETS("125sx")),
    make_model("crf250(2007)", "250f", family_250_four_stroke, gearing_crf250_old, open_torque_crf250_2007, STEM_ASSETS("crf250")),
    make_model("kx250f(2007)", "250f", family_250_four_stroke, gearing_kx250f_old, open_torque_kx250f_2007, STEM_ASSETS("kx250f")),
    make_model("rmz250(2007)", "250f", family_250_four_stroke, gearing_rmz250_old, open_torque_rmz250_2007, STEM_ASSETS("rmz250")),
    make_model("yz250f(2007)", "250f", family_250_four_stroke, gearing_yz250f_old, open_torque_yz250f_2007, STEM_ASSETS("yz250f")),
    make_model("yz250f_se(2006)", "250f", family_250_four_stroke, gearing_yz250f_old, open_torque_yz250f_se_2006,
               STEM_ASSETS_PAINT("yz250f", "@yz250f_se.png")),
    make_model("rs50cr", "50", family_50, gearing_50, open_torque_rs50cr, STEM_ASSETS("cr125")),
    make_model("rs50kx", "50", family_50, gearing_50, open_torque_rs50kx, STEM_ASSETS("kx125")),
    make_model("rs50rm", "50", family_50_rm, gearing_50, open_torque_rs50rm, STEM_ASSETS("rm125")),
    make_model("rs50yz", "50", family_50, gearing_50, open_torque_rs50yz, STEM_ASSETS("yz125")),
};

constexpr bike_menu_entry bike_menu[bike_model_count] = {
    {"450sxf(2013)", "450sxfv2013-"}, {"crf450(2013)", "crf450v2013-"}, {"kx450f(2013)", "kx450f-"},
    {"rmz450(2013)", "rmz450-"},      {"yz450f(2013)", "yz450f-"},      {"350sxf(2013)", "350sxfv2013-"},
    {"450sxf(2011)", "450sxf-"},      {"crf450(2011)", "crf450-"},      {"kx450f(2011)", "kx450f-"},
    {"rmz450(2011)", "rmz450-"},      {"yz450f(2011)", "yz450f-"},      {"350sxf(2011)", "350sxf-"},
    {"250sx(2012)", "250sx-"},        {"cr250(2007)", "cr250-"},        {"kx250(2006)", "kx250-"},
    {"rm250(2008)", "rm250-"},        {"yz250(2012)", "yz250-"},        {"250sxf(2013)", "250sxfv2013-"},
    {"crf250(2013)", "crf250v2010-"}, {"kx250f(2013)", "kx250fv2013-"}, {"rmz250(2013)", "rmz250v2010-"},
    {"yz250f(2013)", "yz250fv2010-"}, {"250sxf(2009)", "250sxf-"},      {"crf250(2009)", "crf250-"},
    {"kx250f(2009)", "kx250f-"},      {"rmz250(2009)", "rmz250-"},      {"yz250f(2009)", "yz250f-"},
    {"crf250(2008)", "crf250-"},      {"kx250f(2008)", "kx250f-"},      {"rmz250(2008)", "rmz250-"},
    {"yz250f(2008)", "yz250f-"},      {"crf250(2007)", "crf250-"},      {"kx250f(2007)", "kx250f-"},
    {"rmz250(2007)", "rmz250-"},      {"yz250f(2007)", "yz250f-"},      {"yz250f_se(2006)", "yz250f_se-"},
    {"125sx", "125sx-"},              {"cr125", "cr125-"},              {"kx125", "kx125-"},
    {"rm125", "rm125-"},              {"yz125", "yz125-"},              {"rs50cr", "cr125-"},
    {"rs50kx", "kx125-"},             {"rs50rm", "rm125-"},             {"rs50yz", "yz125-"},
};

// ------------------------------------------------------------ lookup

// Older files name the 2008 four-strokes without a year.
struct legacy_name {
    const char* old_name;
    const char* name;
};
static const legacy_name legacy_names[] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

const bike_model* find_bike_model(const char* name)
{
    if (!name)
        return nullptr;
    for (const bike_model& m : bike_models)
        if (strcmp(m.name, name) == 0)
            return &m;
    return nullptr;
}

const char* translate_legacy_bike_name(const char* name)
{
    if (!name)
        return name;
    for (const legacy_name& l : legacy_names)
        if (strcmp(l.old_name, name) == 0)
            return l.name;
    return name;
}

const bike_model* select_bike_model(const char* name)
{
    const char* wanted = translate_legacy_bike_name(name);
    if (const bike_model* m = find_bike_model(wanted))
        return m;
    const char* requested = wanted ? wanted : "";
    const char* pattern = strstr(requested, "125") ? "125" : "250f";
    const bike_model* chosen = &bike_models[0];
    for (const bike_model& m : bike_models)
        if (strstr(m.name, pattern)) {
            chosen = &m;
            break;
        }
    log_printf("bike info for '%.20s' not found using '%.20s' instead\n", requested, chosen->name);
    return chosen;
}

int bike_model_index(const bike_model* model)
{
    for (int i = 0; i < bike_model_count; i++)
        if (model == &bike_models[i])
            return i;
    return -1;
}

// ------------------------------------------------------------ shape digest

static constexpr int shape_read_piece = 1024;   // bytes per read, as the digest is defined

// SHA-1 over the seven files in order; false when one was met damaged.
static bool generic_shapes_digest_of(uint8_t digest[sha1_digest_size])
{
    sha1_state state;
    sha1_begin(&state);
    bool sound = true;
    for (const char* name : generic_shape_names) {
        file_stream* s = stream_open(name, "rb");
        if (!s)
            continue;   // a missing shape simply contributes nothing
        uint8_t piece[shape_read_piece];
        for (int got; (got = stream_read(s, piece, sizeof piece)) > 0;)
            sha1_add(&state, piece, static_cast<size_t>(got));
        // A damaged compressed copy ends early; its digest proves nothing.
        if (stream_failed(s))
            sound = false;
        stream_close(s);
    }
    sha1_end(&state, digest);
    return sound;
}

bool generic_shapes_hex(char hex[sha1_hex_size])
{
    uint8_t digest[sha1_digest_size];
    bool sound = generic_shapes_digest_of(digest);
    sha1_to_hex(digest, hex);
    return sound;
}

bool generic_shape_check_digest(const char* hex_digest)
{
    uint8_t wanted[sha1_digest_size];
    if (!hex_digest || strlen(hex_digest) != 2 * sha1_digest_size || !sha1_from_hex(hex_digest, wanted))
        return false;
    uint8_t digest[sha1_digest_size];
    return generic_shapes_digest_of(digest) && memcmp(digest, wanted, sizeof digest) == 0;
}
