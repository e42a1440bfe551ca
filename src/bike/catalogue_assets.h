// catalogue_assets.h -- the models and textures a new bike is drawn with.
//
// Owns: the choice of a bike's 3D models and textures from its catalogue
// record and the player's four texture choices (paint, wheels, riding gear,
// helmet), with texture variants of the models and the per-group fallback
// to the record's default texture; the number-plate colours and text.
// Needs: a model loader and texture manager reached through
// bike_asset_ops, which the drawing code installs at start-up.  Without
// them (headless) nothing is loaded and nothing is logged: every handle
// stays empty.  Collision shapes are not loaded here (see the shape cache).
#pragma once

#include <cstddef>
#include <cstdint>

struct bike_model;
struct model;                        // a loaded ".jm" model (drawing code)
typedef unsigned int texture_id;     // GL texture name, 0 = none

constexpr int bike_number_max = 7;   // characters of a rider's race number

struct bike_asset_ops {
    const model* (*load_model)(const char* name);     // null when it can't be loaded
    texture_id (*load_texture)(const char* name);      // 0 when it can't be loaded
    const char* (*texture_info)(texture_id texture);   // a texture's info text, or null
    // A 128 x 128 plate showing the number in the two colours (RGB); 0 on failure.
    texture_id (*number_plate)(const char* number, const uint8_t background[3], const uint8_t foreground[3]);
};

// Installs the loader (null, or a table without load_model and
// load_texture, restores the headless default; texture_info and
// number_plate may be null).  The table must outlive its use.
void bike_asset_ops_install(const bike_asset_ops* ops);

// The player's choices; any may be null (none chosen).
struct bike_texture_choice {
    const char* paint;
    const char* wheels;
    const char* gear;     // riding gear
    const char* helmet;
};

struct bike_assets {
    const model* frame;           // paint group
    const model* side_plates;
    const model* fork_upper;
    const model* front_plate;
    const model* fork_lower;
    const model* swingarm;
    const model* front_wheel;     // wheel group
    const model* rear_wheel;
    const model* rider_plate;     // riding-gear group
    const model* rider_body;
    const model* rider_body_first_person;
    const model* rider_head;      // helmet group
    texture_id paint, wheels, gear, helmet;   // 0 = none
    texture_id number_plate;
    uint8_t plate_background[3];  // RGB, white without an info tag
    uint8_t plate_foreground[3];  // RGB, black without an info tag
    char number[bike_number_max + 1];
};

// Fills *out for a new bike of model m (number may be null).
void load_bike_assets(const bike_model* m, const char* number, const bike_texture_choice& chosen,
                      bike_assets* out);

// The variant a texture name selects: when the part after its last "/"
// holds two hyphens, the text from the first hyphen up to the second
// ("crf450v2013-blue-a.png" gives "-blue").  False without a variant or
// when it doesn't fit.
bool texture_variant(const char* texture_name, char* out, size_t size);
// A model name with its extension replaced by variant + ".jm"
// ("@crf450v2013_frame.jm", "-blue" gives "@crf450v2013_frame-blue.jm").
bool variant_model_name(const char* model_name, const char* variant, char* out, size_t size);
// The same file name, without a leading "@", inside the texture's
// directory; false when the texture name has no directory part.
bool variant_model_beside_texture(const char* texture_name, const char* candidate, char* out, size_t size);
// Plate colours from a paint texture's info text: "[numberbackground:"
// and "[numberforeground:" followed by "%f,%f,%f", each component clamped
// to 0..1 and scaled to 0..255; a missing or malformed tag keeps the
// default (white background, black digits).
void plate_colours_from_info(const char* info, uint8_t background[3], uint8_t foreground[3]);
