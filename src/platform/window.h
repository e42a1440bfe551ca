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

// ---------------------------------------------------------------------------
// Display modes, shared by the back ends and the "Video Mode" menu

constexpr int video_mode_max = 256;   // modes kept in a list, the end entry not counted

// A mode as a display reports it.
struct display_mode {
    int width, height;   // pixels
    int bits;            // bits per pixel
    int refresh;         // Hz, 0 when unknown
};

// Builds a mode list: the desktop's mode first when its depth is 8, 15, 16,
// 24 or 32 ("Registry mode is %dx%dx%d@%dhz\n", else the same with
// " (ignored)"), then each reported mode in order unless its depth is not
// one of those ("Found mode ... (ignored)\n") or its size and depth are
// already listed (skipped silently); listed ones log "Found mode
// %dx%dx%d@%dhz\n".  out holds capacity entries, the end entry included;
// returns the number of modes listed.
int video_mode_list_build(const display_mode* desktop, const display_mode* reported, int count,
                          video_mode* out, int capacity);

// The full-screen size for a requested w x h: among the listed modes with
// width >= w and height >= h the one with the smallest (width + height -
// w - h), the earlier on a tie; the desktop's size when none fits or when
// w or h is 0.
void fullscreen_size(const video_mode* modes, int w, int h, int desktop_width,
                     int desktop_height, int* out_width, int* out_height);

// One item of the "Video Mode" choice.
struct video_mode_choice {
    const char* label;   // interned: "Default Fullscreen", "Windowed", "%dx%d"
    int width, height;   // 0 x 0 for the first two items
};
// The items built from the installed back end's mode list: "Default
// Fullscreen", "Windowed", then "%dx%d" for every mode whose depth equals
// the first mode's, in list order.  Returns the count; *items stays valid
// until the next call.  Game thread only.
int video_mode_choices(const video_mode_choice** items);
