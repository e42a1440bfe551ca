// window.h -- the window, GL context, frames, clock and sleep.
//
// The game sees one window through a table of operations filled by a back
// end: SDL2 for the game, headless (fake clock, fixed-size drawable, no GL)
// for tests and the headless runner.  platform_install selects the table;
// the free functions below dispatch through it.  Until a back end is
// installed the null back end serves: a real clock and sleep, and a window
// that cannot be opened.
#pragma once

#include <cstdint>

struct kobu_window;    // a back end's open window
struct input_event;    // input.h

constexpr int window_flag_fullscreen = 0x200;   // in window_open_gl's flags
constexpr uint32_t control_close = 57005;       // the window's close button

// The drawable area handed out by frame_begin.
struct frame_desc {
    int x, y;            // origin, always 0
    int width, height;   // drawable size in pixels
    int reserved[2];     // 0
};

// One display mode; lists end with an all-zero entry.
struct video_mode {
    int width, height;   // pixels
    int bits;            // bits per pixel
};

struct window_ops {
    const char* name;   // "sdl", "headless", "none"
    const video_mode* (*video_modes)();
    kobu_window* (*window_open_gl)(const char* title, int width, int height, int flags,
                                   int alpha_bits, int depth_bits, int stencil_bits,
                                   int accum_bits);
    void (*window_close)(kobu_window* w);
    void (*window_switch_mode)(kobu_window* w, int width, int height, bool fullscreen);
    const frame_desc* (*frame_begin)(kobu_window* w);   // null: nothing may be drawn now
    bool (*frame_end)(kobu_window* w);                  // false: the window was closed
    void (*clock_now)(int* seconds, int* microseconds);
    void (*sleep_until_elapsed)(int seconds, int microseconds);
    // Input events of the window (input.h): the oldest event, or the oldest
    // only when stamped no later than the given time.
    bool (*event_next)(kobu_window* w, input_event* out);
    bool (*event_next_until)(kobu_window* w, int seconds, int microseconds, input_event* out);
};

void platform_install(const window_ops* ops);
const window_ops* platform_current();

// The null back end's real monotonic clock and precise sleep (also used by
// back ends that have no clock of their own).
void system_clock_now(int* seconds, int* microseconds);
void system_sleep_until_elapsed(int seconds, int microseconds);

const video_mode*  video_modes();
kobu_window*       window_open_gl(const char* title, int width, int height, int flags,
                                  int alpha_bits, int depth_bits, int stencil_bits, int accum_bits);
void               window_close(kobu_window* w);
void               window_switch_mode(kobu_window* w, int width, int height, bool fullscreen);
const frame_desc*  frame_begin(kobu_window* w);
bool               frame_end(kobu_window* w);
void               clock_now(int* seconds, int* microseconds);
double             clock_seconds();   // clock_now as one double
void               sleep_until_elapsed(int seconds, int microseconds);
void               sleep_seconds(double seconds);   // sleep_until_elapsed of a double
