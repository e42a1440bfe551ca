// contact_fixture.h -- small grounds and an ODE world for the contact tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <ode/ode.h>

#include "bike/physics_world.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

// A height field of 2^(levels+1) + 1 samples per side, owned by vectors
// (never handed to free_height_field), with one tile kind everywhere.
struct test_ground {
    std::vector<float> heights;
    std::vector<tile> tiles;
    std::vector<uint8_t> tilemap;
    height_field hf{};

    test_ground(int levels, float spacing, const std::function<float(int col, int row)>& height)
    {
        int size = (1 << (levels + 1)) + 1;
        heights.resize(size_t(size) * size);
        for (int row = 0; row < size; row++)
            for (int col = 0; col < size; col++)
                heights[size_t(row) * size + col] = height(col, row);
        tiles.push_back(tile_defaults());
        tilemap.assign(size_t(1) << (2 * levels), 0);
        hf.heights = heights.data();
        hf.level_count = levels;
        hf.size = size;
        hf.spacing = spacing;
        hf.inv_spacing = 1.0f / spacing;
        hf.world_size = float(size - 1) * spacing;
        hf.tile_size = 2 * spacing;
        hf.tiles = tiles.data();
        hf.tile_count = 1;
        hf.tilemap = tilemap.data();
        hf.tiles_per_side = 1 << levels;
    }
    tile& surface() { return tiles[0]; }
};

// The shared physics world for one test.
struct ode_world {
    ode_world() { physics_world_create(); }
    ~ode_world() { physics_world_destroy(); }
    // A free body of the given mass (a 1 ft sphere) at p.
    dBodyID body(vec3 p, float mass = 1.0f)
    {
        dBodyID b = dBodyCreate(physics.world);
        dMass m;
        dMassSetSphereTotal(&m, mass, 1.0);
        dBodySetMass(b, &m);
        dBodySetPosition(b, p.x, p.y, p.z);
        return b;
    }
};
