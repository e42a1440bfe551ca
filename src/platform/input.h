// input.h -- controls, axes and the timestamped event queue.
//
// Every key, button and window event is a 32-bit control code; presses and
// releases arrive as events stamped with the layer's clock, in the order
// they happened.  Key codes are 4096 + scan code (extended keys have bit 256
// of the scan code set), typed characters are their code 0..255, mouse
// buttons 8192 (left), 8193 (middle), 8194 (right).
#pragma once

#include <cstdint>

struct kobu_window;

constexpr uint32_t control_key_base = 4096;   // + scan code
constexpr uint32_t control_mouse_left = 8192;
constexpr uint32_t control_mouse_middle = 8193;
constexpr uint32_t control_mouse_right = 8194;
constexpr uint32_t control_none = 0xffffffffu;   // no such control

struct input_event {
    uint32_t code;      // control code (31 bits)
    bool pressed;       // true = pressed, false = released
    int seconds;        // stamp on the layer's clock
    int microseconds;
};

constexpr int event_queue_size = 256;   // events held before presses are dropped

// A fixed ring of events, taken in the order queued.  When it is full a new
// press is dropped, but a release never is: it takes the place of the oldest
// queued press (of the oldest release when only releases are queued), so a
// held key can always be let go.
struct event_queue {
    input_event ring[event_queue_size];
    int head;    // index of the oldest event
    int count;   // events queued
};

void event_queue_clear(event_queue* q);
bool event_queue_push(event_queue* q, const input_event& e);   // false when dropped
bool event_queue_pop(event_queue* q, input_event* out);
// Pops the oldest event only when its stamp is not later than the given time.
bool event_queue_pop_until(event_queue* q, int seconds, int microseconds, input_event* out);

// Through the installed window back end (window.h).
bool event_next(kobu_window* w, input_event* out);
bool event_next_until(kobu_window* w, int seconds, int microseconds, input_event* out);

// Control names: the built-in key-name table and registered aliases,
// compared case-insensitively.  control_none when the name is unknown.
uint32_t    control_by_name(kobu_window* w, const char* name);
const char* control_name(kobu_window* w, uint32_t code);   // interned, or null
// Registers an alias once; a second registration of the same alias is
// logged ("Second alias for '%s' ('%s') ignored\n") and ignored.
void        alias_add(const char* alias, const char* name);
// The aliases every window brings ("cursor-left" for "Mouse Left", ...);
// window back ends call it when a window opens; only the first call counts.
void        input_register_window_aliases();
