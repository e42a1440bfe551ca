// track.h -- the loaded track: its files, objects, lighting and digest.
//
// Owns the one loaded track (`track`): billboards, statues and their
// collision buckets, flaggers, track cameras, lens flares, lighting, the
// HUD map texture and the track digest (SHA-1 over the files that define
// the riding surface and its obstacles, compared by the multiplayer
// client).  load_track reads a track directory in a fixed order and builds
// the height field (height_field.h, the global `terrain`), the timing gates
// (timing_gates.h) and the decals (decals.h) along the way; release_track
// frees all of it.  Textures, models and shapes come through track_assets.h,
// so loading works headless.  Flaggers are animated by the functions below,
// which the renderer calls each frame with what it knows of the race.
// Main thread only.
#pragma once

#include <cstdint>

#include "base/sha1.h"
#include "base/vec.h"
#include "terrain/track_assets.h"

constexpr int track_array_initial = 16;     // capacity of a fresh collection
constexpr int roost_particle_count = 2000;  // invisible billboards kept for roost
constexpr int flare_max_elements = 8;
constexpr int statue_bucket_side = 8;       // 8 x 8 buckets over the central 3/4
constexpr int track_gate_count = 256;       // gates the camera table maps
constexpr int starter_texture_count = 5;
constexpr int lap_texture_count = 4;
constexpr int caution_checkpoint_count = 4;
constexpr float statue_facing_angle = 3.25f;   // angles from here up: identity, faces the viewer

// A growable array; doubles when full.
template <typename T>
struct track_array {
    T* items;      // count used of capacity
    int count;
    int capacity;
};

struct billboard {
    vec3 position;        // bottom centre; y absolute
    float size;           // sprite height, ft
    float height;         // height above ground as given
    float aspect;         // width / height
    float sort_key;       // depth key, the renderer's
    uint32_t texture;     // 0 = none (invisible)
    uint8_t r, g, b, a;   // tint, 255 each by default
    const char* texture_name;   // interned, without the colour prefix; null = none
};

struct statue {
    model* shown;                 // null = none
    collision_shape* shape;       // null = none
    float shape_radius;           // bounding radius of the shape, ft
    uint32_t texture;             // 0 = none
    uint32_t normal_map;          // 0 = none (shader rendering only)
    uint32_t specular_map;        // 0 = none
    vec3 position;                // y absolute
    float height;                 // height above ground as given
    float angle;                  // as given; see object_orientation
    mat3 orientation;
    float facing_distance;        // 2^angle when angle >= statue_facing_angle, else 0
    int32_t last_touched;         // tick a bike last touched the shape; 0 = never
    const char* model_name;       // interned; null = none
    const char* texture_name;
    const char* shape_name;
};

struct caution_flagger {
    int billboard;                // billboard index
    uint32_t idle_texture;
    uint32_t waving_texture;
    int checkpoints[caution_checkpoint_count];   // checkpoint indices, -1 = none
};

struct starter_flagger {
    int billboard;                // -1 = no starter
    vec3 a, b;                    // walk from a to b; y above ground
    float duration;               // walk, seconds
    uint32_t textures[starter_texture_count];
};

struct lap_flagger {
    int billboard;                // -1 = no lap flagger
    uint32_t textures[lap_texture_count];   // normal, halfway, last lap, finished
};

struct track_camera {
    vec3 position;                // y absolute
    uint32_t run[4];              // the camera code's words, zero after loading
    float fov;                    // degrees
    float autofovsize;
};

struct flare_element {
    float place[2];               // placement values
    float r, g, b;
    float size;
    uint32_t texture;
};

struct lens_flare {
    vec3 position;                // a world point, or a direction
    bool is_direction;            // at infinity along position
    int element_count;            // 0..flare_max_elements
    flare_element elements[flare_max_elements];
};

enum sky_face { sky_north, sky_east, sky_south, sky_west, sky_up, sky_face_count };

struct track_lighting {
    vec3 sun_vector;              // unit, towards the light
    vec3 sun_color;
    vec3 ambient;
    vec3 global_ambient;
    float near_plane;             // [2^-10, 0.875]
    float far_plane;              // [near_plane, 1048576]
    int dynamic_lighting;         // 0 or 1
    const char* sky[sky_face_count];   // interned texture names
    const char* sky_env;               // environment texture name
    vec3 fog_color;
    float fog_density;            // exponential fog; 0 = none
};

struct track_load_options {
    const char* const* known_names;   // track names known to race setup, or null
    int known_count;
    int ground_method;                // the render_texture setting's method
    bool shader_rendering;            // statues look for normal and specular maps
};

struct track_state {
    const char* name;             // loaded track, null = none
    bool shader_rendering;        // from the load options
    track_array<billboard> billboards;
    track_array<int> billboard_draw_list;   // two ints per billboard, renderer's sort space
    track_array<statue> statues;
    track_array<caution_flagger> caution_flaggers;
    track_array<int> statue_buckets[statue_bucket_side][statue_bucket_side];   // [row][col]
    track_array<track_camera> cameras;
    track_array<lens_flare> flares;
    int gate_cameras[track_gate_count];     // camera index per gate, -1 = none
    starter_flagger starter;
    lap_flagger lap;
    track_lighting lighting;
    uint32_t map_texture;         // HUD map, 0 = none
    int roost_first;              // first roost billboard, -1 = none
    uint8_t digest[sha1_digest_size];
};

extern track_state track;

// Loads track name (a directory data name without "@"); releases a track
// still loaded first.  Fails only when the height field fails, leaving no
// track.  options may be null (defaults: no name list, method 1, no shaders).
bool load_track(const char* name, const track_load_options* options);
// Frees everything loaded with the track, logging "Deallocating track\n"
// and "Finished deallocating track\n".
void release_track();

int add_billboard(float x, float y_above_ground, float z, float size, float aspect,
                  const char* texture_name);
int add_statue(float x, float y_above_ground, float z, float angle, const char* model_name,
               const char* texture_name, const char* shape_name);
// Identity when angle >= statue_facing_angle; upright turn by angle when
// angle <= -2 pi; otherwise standing on the slope under (x, z), turned by angle.
mat3 object_orientation(float x, float z, float angle);
const uint8_t* track_digest();
int gate_camera(int gate);

// A billboard name "#rrggbb#name": true with the tint and *rest = "name".
bool billboard_colour(const char* name, uint8_t rgb[3], const char** rest);
// Bucket columns [*col0, *col1] and rows [*row0, *row1] a shape of the
// radius at (x, z) covers.
void statue_bucket_range(float x, float z, float radius, float world_size, int* col0,
                         int* col1, int* row0, int* row1);
// Reads a "lighting" file over the defaults into *out, its flares into
// *flares (may be null), then normalises and clamps; false when the file is
// missing (defaults kept).
bool read_track_lighting(const char* path, track_lighting* out, track_array<lens_flare>* flares);
void track_lighting_defaults(track_lighting* out);

// Per-frame flagger animation.  race_time and start_time in seconds (the
// start time whole); leader_laps = laps of the head of the standings.
void starter_flagger_update(float race_time, float start_time);
void lap_flagger_update(int leader_laps, int race_laps, int halfway_lap);
// down_entries: the progress entries (timing_gates.h) of the riders that are
// down, stale remote riders already left out by the caller.
void caution_flaggers_update(const int* down_entries, int down_count);
// Clears the per-race state: flaggers at rest, caution marks and statue
// touch ticks cleared.
void track_objects_reset();
