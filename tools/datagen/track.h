// track.h -- the default tracks: shared records of the track modules.
//
// A track is designed as a course centre line (a closed loop of straights
// and arcs, plus the start chute that joins it) carrying a width, berms
// and a longitudinal profile of jumps, whoops and rollers.  The layout
// module turns the design into sampled branches; the terrain module cuts
// the course into a base ground and keeps, per grid vertex, which course
// sample is nearest; the surface, image and file modules read that record
// to write the track directory.  Everything here is deterministic: fixed
// seeds, no clocks, no unordered containers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datagen.h"

// Surface kinds, in "tileinfo" order (the tile map stores these numbers).
enum track_surface : uint8_t {
    surface_dirt,
    surface_hardpack,
    surface_loam,
    surface_grass,
    surface_sand,
    surface_concrete,
    surface_count
};

const char* surface_name(int surface);   // "dirt", ... (texture "ground/<name>.png")

// One piece of the loop: a straight, or an arc when turn is non-zero.
struct path_piece {
    double length;      // ft along the centre line (arcs: |turn| x radius, filled in)
    double turn;        // radians, + turns right (clockwise seen from above), 0 = straight
    double radius;      // arcs: centre-line radius, ft
    float width;        // course width on this piece, ft
    float berm_deg;     // arcs: banking of the berm face, degrees; 0 = flat turn
};

// One knot of a longitudinal profile: corners of a polyline rounded by
// parabolic blends (vertical curves), so the profile is C1.
struct profile_knot {
    double s;           // ft from the feature's start
    double h;           // height above the course base line, ft
    double blend;       // length of the parabola centred on the knot, ft
};

enum feature_kind {
    feature_knots,      // a knot profile (jumps)
    feature_bumps,      // a train of cosine bumps (whoops, rollers)
};

struct course_feature {
    feature_kind kind;
    const char* name;   // "table-top", "whoops", ... (for the report and objects)
    int piece;          // loop piece it sits on
    double offset;      // ft from that piece's start
    std::vector<profile_knot> knots;   // feature_knots
    int bump_count;     // feature_bumps: number of bumps
    double bump_pitch;  // ft between bump starts
    double bump_length; // ft of one bump (<= pitch)
    double bump_height; // ft
    bool caution;       // gets a caution flagger
    bool crowd;         // spectators gather beside it
    // Filled by the layout: extent along the loop.
    double s0, s1;
};

enum base_kind {
    base_rolling,       // outdoor hills
    base_stadium,       // flat floor, banks, walls and stands
};

struct track_lighting {
    float sun[3];           // toward the sun, not normalised
    float sun_color[3];
    float ambient[3];
    float global_ambient[3];
    float fog[3];
    float fog_density;      // 0 = none
    float far_plane;
};

// The complete design of one track.
struct track_design {
    const char* dir;            // directory name ("rabbithill")
    const char* desc;           // display name
    int levels;                 // n: 2^(n+1) + 1 samples a side
    double spacing;             // ft between samples
    base_kind base;
    uint32_t seed;              // base ground and object placement
    double start_x, start_z;    // merge point: where the start chute joins the loop
    double start_heading;       // radians, direction (cos, sin) in (x, z)
    std::vector<path_piece> pieces;
    int close_a, close_b;       // straights whose lengths are solved to close the loop
    std::vector<course_feature> features;
    // Start area.
    int gate_count;             // starting gates
    int gates_per_row;          // gates side by side; further rows stand behind
    double gate_pitch;          // ft between neighbouring gates
    double gate_row_gap;        // ft between rows
    double chute_length;        // ft from the gate line to the merge point
    double pad_width;           // ft, width of the start pad at the gate line
    double flat_before, flat_after;   // ft of loop kept flat before/after the merge point
    // Course edges.
    float shoulder_min;         // ft of shoulder for a level edge
    float shoulder_per_ft;      // extra shoulder per ft of height difference
    float shoulder_max;         // ft
    track_surface off_course;   // surface beyond the course
    double checkpoint_pitch;    // ft between checkpoints
    track_lighting light;
    // Stadium floor (base_stadium): the rectangle the stands surround.
    double floor_x0, floor_z0, floor_x1, floor_z1;
};

// One sample of a branch's centre line, every foot or so.
struct course_sample {
    double x, z;        // centre line position, ft
    double tx, tz;      // unit tangent, direction of travel
    double s;           // ft from the branch start
    float width;        // ft
    float height;       // centre height: base line plus profile, ft
    float berm_slope;   // tan of the berm face angle, 0 where flat
    int8_t berm_side;   // +1 outside of the turn is to the right, -1 left
    uint8_t surface;    // core surface (track_surface)
};

struct course_branch {
    std::vector<course_sample> samples;
    bool closed;        // the last sample joins the first
};

// The nearest course point of a grid vertex.
struct course_hit {
    float dist;         // ft to the centre line; course_far when beyond reach
    float d;            // signed lateral offset, + to the right of travel
    int branch;         // index into track_build::branches
    int index;          // segment start sample
    float t;            // fraction along the segment
};

constexpr float course_far = 1e30f;

// A course position sampled from a hit: the attributes interpolated.
struct course_point {
    double x, z, tx, tz, s;
    float width, height, berm_slope;
    int berm_side;
    int surface;
};

struct track_checkpoint {
    double x, y, z;     // centre, y = ground height
    double dx, dz;      // unit direction of travel
    double radius;      // ft
    double s;           // loop position, ft
};

struct track_gate {
    double x, z;        // where the rider stands
    double angle;       // radians, the starting gate's angle
};

struct track_build {
    track_design design;            // a copy, with the features' extents filled in
    int size;                       // samples a side
    double spacing;
    double world;                   // (size - 1) x spacing
    std::vector<course_branch> branches;   // 0 = loop, 1 = start chute
    std::vector<double> piece_s;    // loop position of each piece's start
    double loop_length;
    double start_height;            // height of the start area
    std::vector<float> base;        // base ground per vertex
    std::vector<course_hit> hits;   // nearest course per vertex
    std::vector<float> heights;     // final heights, as the game decodes them
    float min_height, max_height;
    std::vector<uint16_t> samples;  // the encoded heights
    std::vector<uint8_t> tilemap;   // 2^n x 2^n surface numbers
    std::vector<uint8_t> shadow;    // per vertex, 0 lit .. 255 shadowed
    std::vector<uint8_t> shading;   // per vertex RGB, x2 representation
    std::vector<track_checkpoint> checkpoints;   // loop checkpoints; the finish is last
    track_checkpoint chute_checkpoint;
    std::vector<track_gate> gates;
};

// track_layout.cpp
bool track_design_rabbithill(track_design* d);
bool track_design_stadium(track_design* d);
bool layout_build(const track_design& d, track_build* b);   // branches, piece_s, profiles
course_point branch_point(const track_build& b, int branch, int index, float t);
course_point loop_point_at(const track_build& b, double s);  // s taken modulo the loop
double profile_height(const track_design& d, double s);
double knot_profile(const std::vector<profile_knot>& knots, double u);   // C1 through the knots

// track_terrain.cpp
float base_height(const track_design& d, double x, double z);
bool terrain_build(track_build* b);                          // base, hits, heights, samples
float grid_height(const track_build& b, double x, double z); // triangle rule of the game
float course_surface_height(const course_point& p, float d); // at lateral offset d, on the course
float shoulder_width(const track_design& d, float drop);     // ft to blend a drop back to the ground
float stadium_floor_distance(const track_design& d, double x, double z);   // + outside the floor
std::string terrain_file(const track_build& b);             // "terrain.hf" with ':' samples

// track_surface.cpp
void surface_build(track_build* b);                          // tilemap
std::string tileinfo_file();
int surface_at(const track_build& b, double x, double z);

// track_images.cpp
void shading_build(track_build* b);                          // shadow, shading
std::string shading_file(const track_build& b);             // "shadingx2.ppm"
std::string shadows_file(const track_build& b);             // "shadows.pgm"
bool map_file(const track_build& b, std::string* png);      // "map.png"
bool ground_textures(const datagen_context& ctx);           // "ground/*.png" staged
