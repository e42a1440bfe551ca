// height_field.h -- the ground grid of the loaded track and its sampling.
//
// The ground is one square grid of size x size height samples, size =
// 2^(n+1) + 1, vertex (col, row) at x = col * spacing, z = row * spacing,
// row-major with row 0 first.  Each cell is split into two triangles by a
// checkerboard rule (cell_diagonal); terrain_height, terrain_normal and
// terrain_cell_triangles all use that one rule, so physics, drawing and
// object placement agree on the surface.  Sample indices are clamped into
// the grid, so outside the field the border profile continues unchanged.
//
// Owns: the heights, the shading / shadows / packed normal map layers, the
// tile table and map (tiles.h), and the opaque renderer and decal state it
// hands to their owners' ops tables.  The program-wide instance is
// `terrain`, owned by the loaded track (created by the track loader,
// released with the track); every operation takes the field explicitly, so
// tests and tools may use their own.
//
// Renderer state (LOD error buffers, ground texture caches, the ground
// texture method) and the decal list belong to the terrain renderer and the
// track-object code of higher layers; they plug in through
// terrain_render_ops and terrain_decal_ops, whose defaults do nothing so
// loading works headless.  An honest interface, not a back end choice.
//
// Sampling calls allocate nothing: terrain_height costs one reciprocal
// multiply, two floors and three reads.  Main thread only.
#pragma once

#include <cstdint>

#include "base/sha1.h"
#include "base/vec.h"
#include "terrain/tiles.h"

constexpr int hf_min_levels = 6;    // the terrain renderer needs n >= 6
constexpr int hf_max_levels = 12;   // 8193 x 8193 samples: the practical cap

struct terrain_render_state;   // the terrain renderer's (LOD buffers, caches)
struct decal_list;             // the track's decals

struct height_field {
    float* heights;          // size * size, index row * size + col
    int level_count;         // n, from the header: hf_min_levels..hf_max_levels
    int size;                // samples per side, 2^(n+1) + 1
    float spacing;           // distance between neighbouring samples, ft
    float inv_spacing;       // 1 / spacing, for the sampling calls
    float world_size;        // (size - 1) * spacing
    float tile_size;         // 2 * spacing: edge of one tile
    float min_height;        // header range for decoding samples; rewritten by save
    float max_height;
    uint8_t* shading;        // size * size * 3, RGB light in the "x2" scale (v means 2v/255)
    uint8_t* shadows;        // size * size, 0 = fully lit, 255 = fully shadowed
    uint8_t* normal_map;     // size * size * 3 packed normal + light, or null (shader path only)
    uint8_t sample_digest[sha1_digest_size];   // SHA-1 of the raw samples, low byte first
    int32_t version;         // bumped whenever the heights change after loading

    tile* tiles;             // tile_count kinds (tiles.h)
    int tile_count;          // 1..tile_max_count once loaded
    uint8_t* tilemap;        // tiles_per_side^2 tile numbers, index trow * tiles_per_side + tcol
    int tiles_per_side;      // 2^n

    decal_list* decals;              // owned through terrain_decal_ops, or null
    terrain_render_state* render;    // owned through terrain_render_ops, or null
    int texture_method;              // ground texture method in use (1 software, 2 copy, 3 framebuffer)
};

// The loaded track's ground.
extern height_field terrain;

// Log verbosity of the loader (0, 1 with --debug, 2 with --super-debug);
// set by start-up.
extern int terrain_verbosity;

// Cell diagonals: split_main joins (i, j) and (i+1, j+1) (i + j even),
// split_anti joins (i+1, j) and (i, j+1) (i + j odd).
enum cell_split { split_main = 0, split_anti = 1 };
inline cell_split cell_diagonal(int col, int row)
{
    return ((col + row) & 1) ? split_anti : split_main;
}

struct terrain_triangle {
    vec3 p[3];   // world corners; (p[1] - p[0]) x (p[2] - p[0]) points up
};

vec3  terrain_vertex(const height_field& hf, int col, int row);
float terrain_height(const height_field& hf, float x, float z);
// Face normal of the triangle under the point, length spacing^2 on flat
// ground, y >= 0.
vec3  terrain_normal(const height_field& hf, float x, float z);
// Unit normal averaged over the 8 fan triangles around a vertex (lighting).
vec3  terrain_vertex_normal(const height_field& hf, int col, int row);
// Height smoothed over radius r (cameras).
float terrain_height_average(const height_field& hf, float x, float z, float r);
// The two triangles of cell (col, row), in the order terrain_height tests
// them.  Returns whether the cell lies inside the grid: cells outside it
// are built from clamped (repeated) vertices, and contact code skips them.
bool  terrain_cell_triangles(const height_field& hf, int col, int row, terrain_triangle out[2]);

// Loads track_dir's "terrain.hf" (with "terrain.png"), shading, shadows and
// tiles into hf, which must be zeroed or freed; method is the ground texture
// method asked for (1..3).  False after a log line, with everything
// released.
bool load_height_field(height_field* hf, const char* track_dir, int method);
// Writes "terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm",
// "tilemap" and the decals as "@" + track_dir + "/" + name; rewrites
// min_height and max_height.  False at the first file that fails.
bool save_height_field(height_field* hf, const char* track_dir);
// Releases every layer, the tiles, the decals and the renderer state and
// zeroes the record.
void free_height_field(height_field* hf);

// Rebuilds the packed normal map over vertices [col0, col1] x [row0, row1]
// (clamped), allocating it when absent; after deformation on the shader path.
void refresh_normal_map(height_field* hf, int col0, int row0, int col1, int row1);

// The terrain renderer's hooks, called by load and free.
struct terrain_render_ops {
    // After the heights: allocate and compute the LOD error buffers and set
    // hf->texture_method from the method asked for.  False fails the load.
    bool (*prepare)(height_field* hf, int method);
    // True when the shader terrain path is active (a packed normal map is built).
    bool (*shader_path)(const height_field* hf);
    // After the tiles: low-detail textures and ground caches.  False fails the load.
    bool (*create_caches)(height_field* hf);
    // Releases hf->render (null or not) and sets it null.
    void (*release)(height_field* hf);
};
// Null restores the headless default (method kept as asked, no shader path).
void terrain_render_ops_install(const terrain_render_ops* ops);

// The track-object code's hooks for the decal list.
struct terrain_decal_ops {
    bool (*load)(height_field* hf, const char* track_dir);          // reads "decals"; false fails the load
    bool (*save)(const height_field* hf, const char* track_dir);    // writes "decals" if any; false fails the save
    void (*release)(height_field* hf);                              // frees hf->decals, sets it null
};
// Null restores the default (no decals).
void terrain_decal_ops_install(const terrain_decal_ops* ops);
