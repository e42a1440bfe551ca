// decals.h -- ground overlays of the loaded track.
//
// Owns the decal list the height field carries (hf->decals): rectangles of
// texture laid on the ground, read from the track's "decals" file at the
// end of load_height_field and written back by its save, through the
// terrain_decal_ops hooks that decals_install puts in place.  A grid of
// 8 x 8 cells over the whole field lists, in ascending order, the decals
// whose footprint reaches each cell, so the renderer draws only the decals
// near a ground patch.  Images and textures come from terrain_texture_ops
// (tiles.h).  Main thread only.
#pragma once

#include <cstdint>

#include "terrain/tiles.h"

struct height_field;

constexpr int decal_grid_side = 8;

struct decal {
    float x, z;                  // centre on the ground
    float angle;                 // radians
    float width;                 // ft, along the decal's own x
    float aspect;                // length = aspect * width
    float sin_a, cos_a;          // of angle
    uint32_t texture;            // 0 = none (software ground method keeps image)
    tile_image image;            // software ground method only
    uint32_t normal_map;         // shader terrain path only, 0 = none
    uint32_t specular_map;
    const char* texture_name;    // interned, for the editor's save
};

struct decal_cell {
    int* items;                  // decal indices, ascending
    int count;
    int capacity;
};

struct decal_list {
    decal* items;
    int count;
    int capacity;
    decal_cell cells[decal_grid_side][decal_grid_side];   // [row][col]
};

// Puts the decal hooks into the height field's loader (terrain_decal_ops).
void decals_install();
// Reads track_dir + "/decals" into hf->decals (optional file).
bool read_decals(height_field* hf, const char* track_dir);
// Writes track_dir + "/decals" when there are decals (track_dir as given
// to load_height_field, "@name").
bool write_decals(const height_field* hf, const char* track_dir);
void free_decals(height_field* hf);
// The half extents of a footprint width x (aspect * width) turned by angle.
void decal_extents(float sin_a, float cos_a, float width, float aspect, float* ex, float* ez);
