// main_loop.h -- the frame loop, its pacing and the fixed-rate tick clock.
//
// Each pass draws one frame for the current view, then runs as many ticks of
// tick_period as real time requires (at most 16 per pass outside warp, so a
// slow machine slows the game instead of spiralling), taking the input
// events stamped up to each tick's due time before that tick.  The loop
// talks to the platform through window.h/input.h and to the rest of the game
// through loop_hooks, which start-up fills with the real services (drawing,
// menus, the tick, the network) and tests fill with recorders.
#pragma once

#include <cstdint>

#include "base/vec.h"

struct input_event;
struct kobu_window;

enum view_mode_t {
    view_ride = 0,
    view_editor = 2,
    view_orbit = 3,
    view_track_camera = 4,
    view_title = 5,
};

// The nine control values, summed from the bindings each tick.
enum control_index {
    control_steer = 0,
    control_throttle,
    control_front_brake,
    control_rear_brake,
    control_shift,
    control_clutch,
    control_dab,
    control_back_up,
    control_lean,
    control_count,
};

// What the viewed local bike is given each tick.
struct rider_controls {
    float steer;         // -1..1, left positive
    float throttle;      // 0..1
    float front_brake;   // 0..1
    float rear_brake;    // 0..1
    int shift;           // +1 up, -1 down, 0 none
    float clutch;        // engagement 0 (pulled in) .. 1 (let out)
    float dab;           // 0..1
    float back_up;       // 0..1
    float lean;          // -1 forward .. +1 backward
};

constexpr int riding_row_count = 12;   // bindings that drive control values
constexpr int single_binding_count = 8;
constexpr int menu_key_count = 12;

enum single_binding {
    bind_pause = 0, bind_step, bind_rewind, bind_skip, bind_prev, bind_next,
    bind_console, bind_screenshot,
};

enum menu_key_index {
    key_up = 0, key_down, key_left, key_right, key_enter, key_keypad_enter, key_esc,
    key_pause, key_cursor_left, key_cursor_right, key_page_up, key_page_down,
};

// One binding row: the key that drives it, the control value it feeds.
struct binding_row {
    uint32_t code;   // control code, or control_none
    int control;     // index into the control values
    float sign;      // +1 or -1
    float value;     // 0 or 1 for a key
};

struct control_bindings {
    binding_row rows[riding_row_count];
    uint32_t singles[single_binding_count];   // control codes (control_none = unbound)
    uint32_t menu_keys[menu_key_count];
};

// State of the loop, alive for the whole run.
struct loop_state {
    view_mode_t view_mode;
    bool paused;              // no ticks (offline only)
    double sim_clock;         // seconds: time of the last tick run
    double target_clock;      // seconds the simulation must reach
    double last_frame_time;   // clock reading of the previous frame step
    bool mouse_held;          // "cursor-left" state for menu drags
    float orbit_angle, orbit_distance, orbit_height;   // orbit camera of non-local riders
    float control_values[control_count];
    int cursor_x, cursor_y;   // last read mouse position
    bool dab_latch;           // sticky dab state
    bool dab_was_down;        // control 6 above 0.5 on the previous tick
    bool camera_dab_was_down; // for the track camera's auto toggle
    int capture_row;          // binding being captured (riding row), -1 = none
    int viewport_width, viewport_height;
    kobu_window* window;
};

// Program-wide state that the loop shares with the menus, the HUD, the
// console and the network client.
struct game_ui_state {
    int menu_screen;            // -1 = no menu shown
    int menu_item;
    bool menu_changed;          // the menu screen changed during event handling
    bool quit_requested;
    double game_clock;          // seconds, advanced by every frame step
    double frame_step_min, frame_step_max;
    int frame_histogram[8];
    int selected_camera;        // -1 = free camera
    bool auto_camera;
    int track_camera_count;     // cameras of the loaded track
    struct {
        vec3 position;
        float heading, pitch;   // radians
        float speed;            // ft/s along the view direction
    } free_camera;
    vec3 listener_velocity;
    // Multiplayer, kept by the network client.
    bool server_address_set;
    bool connected;
    bool warmup;                // connected with no starting gate
    double server_tick_estimate;
    int32_t race_start_tick;
    bool fullscreen;
};

extern game_ui_state ui_state;
extern control_bindings bindings;

// Services of the rest of the game; every pointer may be null (nothing
// happens).  Start-up installs the real ones.
struct loop_hooks {
    void (*draw)(view_mode_t mode, int width, int height);
    void (*menu_key)(uint32_t code, bool pressed);
    void (*apply_controls)(int slot, const rider_controls& c);
    float (*clutch_engagement)(int slot);         // the bike's current engagement
    bool (*reverse_steering)(int slot);           // the bike setup's choice
    void (*net_step)();
    void (*run_tick)();
    void (*demo_skip)(int seconds);
    void (*screenshot)();
    bool (*in_time_trial)();
    void (*time_trial_reset)();
    void (*editor_tick)();
    bool (*editor_key)(uint32_t code);            // true: the editor used the key
    void (*leave_editor)();                       // rebuild terrain, place bikes
    bool (*warp_race_done)();                     // the leader has done the laps
    void (*warp_restart)();                       // race setup with the lineup rotated
    float (*ground_height)(float x, float z);     // averaged over radius 10; NAN = no terrain
    void (*frame_done)();                         // after every pass (tests, benchmarks)
};
extern loop_hooks hooks;

void loop_init(loop_state* L, kobu_window* w);
// One pass of the loop; false when the loop must end.
bool loop_pass(loop_state* L);
void loop_run(loop_state* L);   // until quit, or the window closes

// Pieces of a pass, exposed for tests.
double frame_pacing(loop_state* L, double* now);
double net_time_scale(double lag, bool before_start);
void catch_up_ticks(loop_state* L, double now);
void resolve_view_mode(loop_state* L);
void view_cycle(loop_state* L, bool editor_enabled);
int  histogram_bucket(double elapsed);
