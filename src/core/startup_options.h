// startup_options.h -- process-wide options fixed at start-up.
//
// Written by the command line and the effective detail settings during
// start-up, read everywhere afterwards.  The command-line parser is a plain
// function over an argument cursor so that every rule (values after "=",
// "--", clamping, failures) can be tested without starting the game.
#pragma once

#include "base/vec.h"

struct game_settings;

struct startup_options {
    int fugly;                  // flat, low-quality rendering
    int no_vertex_arrays;       // draw without vertex arrays
    int learn_lines;            // robot line learning on
    int have_mmx;               // MMX paths of the software ground texturer allowed
    int debug_level;            // 0, 1 (--debug) or 2 (--super-debug)
    int practice;               // practice race setup
    int warp;                   // offline fast-forward
    int no_sound;               // --nosound: open no audio output
    int texture_level;          // 0..10 texture detail level
    int ground_texture_level;   // 0..10 ground texture detail level
    int ground_texture_dim;     // ground texture tile size in texels
    int roost_frequency;        // 0..1000 roost particle rate
    float erode_amount;         // 0..100, 0 = no erosion
    float terrain_detail;       // terrain mesh detail threshold
    float max_detail_distance[2];   // detail distance, and the same + 5
    float lod_scale;            // model level-of-detail scale
    float lod_bias;             // model level-of-detail bias
    int texture_compress;       // compression choice copied for the texture manager
    int reflections;            // reflection choice copied for the world renderer
    float lock_fps;             // frame-rate lock, 0 = off
    double fake_lag;            // seconds of simulated latency, 0..1
    int fake_loss;              // percent of simulated packet loss, 0..100
    const char* record_audio_path;   // raw audio capture file, or null
    int record_video;           // PPM frames on standard output
    int rotate_lineup;          // places the lineup turns after each start
    int editor_enabled;         // the view cycle includes the track editor
    int show_pause_text;        // draw "Paused"
    int show_hud;               // draw the HUD
    int color_bits, depth_bits; // pixel format request
    int draw_fps, draw_time, draw_ping, draw_render_stats;   // HUD overlays
    int accurate_skip;          // demo skips re-simulate
    const char* start_track;    // track directory to load instead of the configured one
    const char* connect_address;   // server to join at start
    const char* server_password;
    vec3 chase_center;          // orbit camera look-at point on the bike
    int glfinish;               // glFinish after each frame
    int print_orientation;      // print the camera orientation each frame
    const char* file_argument;  // a demo to play
};

extern startup_options opts;

void startup_options_defaults(startup_options* o);

// Derives the detail levels from the graphics settings (before the command
// line overrides them).
void derive_detail_settings(const game_settings& s, startup_options* o);

// Parses the arguments after the program name.  Returns -1 to go on, or the
// exit status when the process must end (messages already written to
// standard error; "--open-home" has opened the home folder).
int parse_command_line(int argc, char** argv, startup_options* o, game_settings* s);

// The argument cursor of match_option.
struct arg_cursor {
    int remaining;        // unread arguments
    char** next;          // the next argument
    bool options_ended;   // "--" has been seen
};

// Flag option when value_out is null; see startup_options.cpp.
bool match_option(arg_cursor* c, const char* name, const char** value_out);
