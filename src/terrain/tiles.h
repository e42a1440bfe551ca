// tiles.h -- the tile map and the surface table of the ground.
//
// The ground is covered by 2^n x 2^n square tiles (each 2 x 2 height cells,
// tile_size = 2 * spacing); a byte map picks one of at most 256 tile kinds
// for each.  A tile kind is a ground texture plus its surface: a friction
// curve, a rolling-resistance curve, up to four roost (dirt spray) kinds and
// the erosion values used by ruts.  The kinds come from a track's "tileinfo"
// (or the older "texturelist"), the map from "tilemap".  The table and the
// map live in the height_field (height_field.h) and are released with it.
//
// Textures are reached through terrain_texture_ops, installed by the texture
// manager at start-up; the headless default gives texture id 0 and no
// images, so tracks load without GL.  Lookups (tile_at, friction_at,
// roll_resist_at) allocate nothing and are cheap enough for every wheel
// contact of every step.
#pragma once

#include <cstdint>

struct height_field;

constexpr int tile_max_count = 256;     // kinds in one table
constexpr int tile_curve_points = 8;    // points of a friction or roll_resist curve
constexpr int tile_roost_kinds = 4;     // roost kinds of one tile
constexpr int tile_erode_count = 8;     // erosion values of one tile

enum roost_mode {
    roost_off = 0,      // kind unused
    roost_spray = 1,    // dirt thrown while the wheel slips
    roost_splash = 2,   // splash (water, mud)
};

// One roost kind: 16 four-byte fields.
struct roost_type {
    int32_t mode;               // roost_mode
    uint32_t texture;           // particle texture id ("@roost.png" by default)
    float count;                // particles per emission; fraction = chance of one more
    float dig;                  // dig factor on the bike side
    float slip_threshold;       // least slip speed that emits, ft/s
    float slow_angle;           // spray cone angle at slow_speed, radians
    float fast_angle;           // spray cone angle at fast_speed, radians
    float slow_speed;           // ft/s
    float fast_speed;           // ft/s
    float size;                 // initial particle size, ft
    float grow;                 // size growth per second
    float drag;                 // velocity damping per second
    float vscale;               // scale of the emission velocity
    float randomize;            // amplitude of the random velocity added
    uint8_t r, g, b, a;         // initial colour
    int8_t fade_r, fade_g, fade_b, fade_a;   // colour change per simulation step
};
static_assert(sizeof(roost_type) == 64, "roost_type is 16 four-byte fields");

struct friction_point {
    float value;   // friction factor, >= 0
    float key;     // speed, ft/s; 0 after the first point ends the curve
};

struct roll_resist_point {
    float a, b;    // rolling-resistance coefficients, >= 0
    float key;     // argument; 0 after the first point ends the curve
};

struct roll_resist {
    float a, b;    // interpolated coefficients
};

// Indices into tile::erode (meanings with the deformation code).
enum erode_value {
    erode_depth, erode_lower, erode_upper, erode_displacement,
    erode_radius, erode_max_slope, erode_off_speed, erode_on_speed,
};

// A decoded RGB tile image for the software ground method; the pixels
// belong to the texture manager's image cache.
struct tile_image {
    const uint8_t* pixels;   // width * height * 3 bytes, mip chain following; or null
    int width, height;       // base level, texels
};

struct tile {
    uint32_t texture;                                   // texture id, 0 = none
    tile_image image;                                   // software ground method only
    friction_point friction[tile_curve_points];         // sorted by key
    roll_resist_point roll_resist[tile_curve_points];   // sorted by key
    roost_type roost[tile_roost_kinds];
    float erode[tile_erode_count];                      // indexed by erode_value
    uint32_t tile_class;   // (primary << 16) | (secondary << 8) | corner mask; editor painting
};

// The texture manager's side, as the tile loader needs it.
struct terrain_texture_ops {
    uint32_t (*texture)(const char* name);                     // id, 0 when it cannot be loaded
    bool (*texture_image)(const char* name, tile_image* out);  // decoded RGB; false when it cannot
    unsigned long (*memory_used)();                            // texture memory counter, bytes
};
// Installs the texture manager's operations; null restores the headless
// default (texture 0, no images, 0 bytes).
void terrain_texture_ops_install(const terrain_texture_ops* ops);
const terrain_texture_ops& terrain_textures();

// A tile with every default of the table (no texture, roost kinds off).
tile tile_defaults();

// Reads "tileinfo" (or "texturelist") then "tilemap" from track_dir into
// hf (whose level_count and spacing are set); method 1 (the software ground
// method) keeps decoded images instead of texture ids.  False after a log
// line; what was built stays in hf for free_tiles.
bool load_tiles(height_field* hf, const char* track_dir, int method);
// Writes hf's map as "@" + track_dir + "/tilemap"; false after "Can't open 'tilemap'".
bool write_tilemap(const height_field& hf, const char* track_dir);
void free_tiles(height_field* hf);

// Tile number under a world point; points outside give the nearest border tile.
int tile_at(const height_field& hf, float x, float z);
// Friction factor at speed s (interpolated in s^2).
float friction_at(const tile& t, float s);
// Rolling-resistance coefficients at u >= 0.
roll_resist roll_resist_at(const tile& t, float u);
