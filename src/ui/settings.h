// settings.h -- the player's settings that start-up and the main loop read.
//
// The values here carry the defaults of the configuration file ("@config");
// reading and writing that file, the menus that edit the settings and the
// full setting records belong to the configuration module, which replaces
// settings_read/settings_write with the real file handling.  Until then the
// game runs on these defaults and says so in the log.
#pragma once

constexpr int binding_count = 20;    // twelve riding rows and eight single bindings

// One control binding: a key name or an axis with its range.
struct binding_default {
    const char* key;     // configuration key, "throttle_key"
    const char* label;   // menu label, "Throttle"
    const char* control; // default control name, "x"
};
extern const binding_default binding_defaults[binding_count];

struct game_settings {
    // window
    int video_mode;               // choice index: 0 "Default Fullscreen", 1 "Windowed", then modes
    int xres, yres;               // windowed size in pixels
    // graphics
    float ground_detail;          // 0..100 "Ground Geometric Detail"
    float ground_texture_detail;  // 0..10
    int ground_texture_dim;       // choice index: 0 "32x32" .. 5 "1024x1024"
    int ground_mipmaps;           // choice: 0 "No", 1 "Yes"
    int texture_compress;         // choice: 0 "No", 1 "Yes", 2 "Always"
    int render_texture;           // choice index of the ground-texture method
    int use_shader;               // choice: 0 "No", 1 "Yes"
    float model_detail;           // 0..100
    float model_texture_detail;   // 0..10
    float roost_density;          // 0..1000
    int lens_flare;               // choice
    int reflections;              // choice
    // views and sound
    float fov;                    // degrees, 10..170
    float third_person_height;    // feet
    float third_person_distance;  // feet
    int rigid_camera;             // choice
    float volume;                 // 0..10
    float comp_volume;            // 0..10
    // riding and racing
    char track[128];              // directory of the last selected track, "" = none
    int record;                   // choice "Record Demo"
    int skill;                    // 0 novice, 1 amateur, 2 expert
    float minutes;                // race length, 0 = untimed
    float laps;                   // lap count
    int time_trial_abort;         // choice: backing up aborts a time-trial attempt
    int sticky_dab;               // choice
    int spy;                      // 0 or 1
    char bindings[binding_count][64];   // control name of each binding, "" = none
};

extern game_settings settings;

void settings_set_defaults(game_settings* s);
// Applies the "Normal" graphics preset, the one of the default detail level.
void settings_apply_default_preset(game_settings* s);
bool settings_read();    // false: no saved configuration was read
bool settings_write();   // false: nothing written
