// track_assets.h -- how the track loader reaches textures, models, shapes
// and the title frame.
//
// The track objects need GL textures and models (render/) and collision
// shapes (bike/), which live above this layer.  Start-up installs their
// operations here; the headless default loads nothing (texture id 0, no
// model, no shape) and draws nothing, so a track loads without a window.
// Every operation gets a data name ("@startgate.jm") or a path as given in
// the track's files.  Main thread only.
#pragma once

#include <cstdint>

struct model;             // a loaded ".jm" model (render/)
struct collision_shape;   // sphere sets of a ".shp" file (bike/)

struct track_asset_ops {
    uint32_t (*texture_load)(const char* name);   // texture id, 0 = none
    model* (*model_load)(const char* name);       // cached model, null = none
    // The collision shape and its bounding radius (feet) through *radius;
    // null = none (then *radius is untouched).
    collision_shape* (*shape_load)(const char* name, float* radius);
    void (*shape_free)(collision_shape* shape);   // releases one loaded shape
    // Draws the title background with the text and presents the frame, when
    // a window can be drawn; otherwise does nothing.
    void (*announce)(const char* text);
};

// Installs the back end's operations (copied; a null member keeps that
// operation's headless default); null restores the headless defaults.
void track_assets_install(const track_asset_ops* ops);
// The operations in force.
const track_asset_ops& track_assets();
