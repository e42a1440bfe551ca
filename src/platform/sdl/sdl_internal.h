// sdl_internal.h -- the SDL window record shared by the back end's files.
//
// One window at a time.  Everything runs on the thread that opened the
// window (SDL wants its events pumped there): the frame lock and the event
// lock exist so that a caller on another thread (window_switch_mode, the
// log) never sees a half-changed record, and are otherwise uncontended.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/input.h"
#include "platform/window.h"

constexpr unsigned window_may_fullscreen = 1;   // flags: may go full screen
constexpr unsigned window_message_thread = 2;   // flags: a message thread runs (never here)
constexpr unsigned window_fullscreen_on = 4;    // flags: full screen is active
constexpr int key_scan_codes = 512;             // scan codes 0..511
constexpr int mouse_button_codes = 3;           // left, middle, right

struct sdl_window {
    bool open;                          // between window_open_gl and window_close
    SDL_Window* native;                 // the window
    SDL_GLContext gl;                   // its context, current on the opening thread
    frame_desc frame;                   // what frame_begin hands out
    int want_width, want_height;        // requested drawable size (open, switch, resize)
    int colour_bits;                    // low byte of the open flags
    int screen_width, screen_height;    // full-screen mode set, 0 x 0 when none
    char* title;                        // copy of the title (xstrdup)
    std::thread::id owner_thread;       // the thread that opened it
    std::mutex frame_lock;              // held from frame_begin to frame_end
    std::mutex event_lock;              // around the queue and the switch request
    event_queue events;                 // input events
    std::atomic<int> suspended;         // frame_begin refuses frames while set
    std::atomic<int> close_requested;   // set once the window is being shut
    unsigned flags;                     // window_* bits
    bool in_frame;                      // between a granted frame_begin and frame_end
    bool switch_pending;                // a mode switch waits (under event_lock)
    int switch_width, switch_height;    // its drawable size
    bool switch_fullscreen;             // its kind
    uint8_t keys_down[key_scan_codes];  // key state from the events seen, 1 = held
    bool buttons_down[mouse_button_codes];
    int64_t last_stamp;                 // microseconds of the newest queued event
    input_device* mouse;                // "Mouse" (relative), or null
    input_device* cursor;               // "cursor": x, y in drawable pixels
};

sdl_window* sdl_open_window();   // the open window, or null
inline kobu_window* as_kobu(sdl_window* w) { return reinterpret_cast<kobu_window*>(w); }

// sdl_input.cpp
void sdl_input_open(sdl_window* w);    // roll call, the cursor device, aliases
void sdl_input_close(sdl_window* w);   // every device freed
void sdl_pump(sdl_window* w);          // SDL's pending events into the queue
bool sdl_event_next(kobu_window* kw, input_event* out);
bool sdl_event_next_until(kobu_window* kw, int seconds, int microseconds, input_event* out);
int64_t sdl_now_micros();              // the layer's clock

// sdl_window.cpp: window events the pump hands over, and a waiting switch.
void sdl_window_event(sdl_window* w, const SDL_WindowEvent& e);
void sdl_apply_switch(sdl_window* w);

// sdl_screenshot.cpp: saves a screenshot requested between frames.
void sdl_screenshot_frame_end(int width, int height);
