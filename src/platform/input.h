// input.h -- controls, axes and the timestamped event queue.
//
// Every key, button and window event is a 32-bit control code; presses and
// releases arrive as events stamped with the layer's clock, in the order
// they happened.  Key codes are 4096 + scan code (extended keys have bit 256
// of the scan code set), typed characters are their code 0..255, mouse
// buttons 8192 (left), 8193 (middle), 8194 (right).
//
// Input devices (game controllers, the mouse, the cursor) are records in
// one list per window, filled by the window back end's roll call; their
// buttons are controls "Name.key[n]" (code = device id + n) and their axes
// are opened by name ("Name.axis[n]") as input_axis handles.  The list, the
// potentiometer names and the axis handles belong to the game thread.
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
// The aliases of the roll call ("mouse-x", "joystick-a-1", ...); back ends
// call it after their roll call; only the first call counts.
void        input_register_device_aliases();

// ---------------------------------------------------------------------------
// Devices and axes

struct input_device;

// What a back end does for one of its devices; any slot may be null.
struct input_device_ops {
    void (*start_events)(input_device* d);          // buttons begin to deliver events
    bool (*open)(input_device* d);                  // acquire: first handle or button lookup
    void (*close)(input_device* d);                 // release: last handle gone
    int32_t (*read_axis)(input_device* d, int i);   // null: the stored axis value
    void (*poll)(input_device* d);                  // queue pending button changes
    void (*free)(input_device* d);                  // drop the back end's handle
};

constexpr int device_max_axes = 100;       // axes taken from one device
constexpr int device_max_buttons = 500;    // buttons taken from one device
constexpr int device_name_max = 63;        // characters of a device name in lookups
constexpr unsigned device_polled = 1;      // flags: must be polled before reading
constexpr unsigned device_relative = 2;    // flags: axes report motion, not position

struct input_device {
    input_device* next;            // list of the window, newest first
    kobu_window* window;           // owning window
    const char* name;              // interned: instance name without blanks and ".", "#n"
    uint32_t id;                   // n * 65536, n = 1..32767: upper bits of its codes
    int refs;                      // open axis handles, +1 while buttons deliver events
    bool button_events;            // buttons queue events
    int button_count;              // 0..device_max_buttons
    int axis_count;                // 0..device_max_axes
    const input_device_ops* ops;   // the back end's operations
    void* handle;                  // the back end's device
    int32_t* axis_values;          // axis_count values (relative: summed motion)
    uint8_t* button_states;        // button_count bytes, 1 = held
    int32_t timestamp_adjust;      // milliseconds subtracted from device stamps
    unsigned flags;                // device_polled, device_relative
    uint32_t serial;               // unique for the run: axis handles find the device by it
};

// An open axis: reading it gives the device's value; for relative devices
// the motion summed since the previous read, after which the sum is 0.
// The handle finds its device again by serial on every use, so a handle
// kept past input_close reads 0 instead of freed memory.
struct input_axis {
    kobu_window* window;   // the device's window
    uint32_t serial;       // the device's serial (input_device.serial)
    int index;             // 0..axis_count-1
};

// The device id a name derives (16-bit sum of the characters at even
// positions + 256 x 8-bit sum of those at odd positions, 15 bits), moved on
// past ids already in use (wrapping, skipping 0); n * 65536.
uint32_t device_id_for(kobu_window* w, const char* name);
// Links a new device into the window's list.  The name is the instance
// name with blanks and "." removed, with "#2", "#3", ... appended while a
// device of that name exists; counts are clamped to the maxima above.
input_device* input_device_add(kobu_window* w, const char* instance_name, int axis_count,
                               int button_count, unsigned flags, const input_device_ops* ops,
                               void* handle);
input_device* input_devices(kobu_window* w);   // newest first, or null
input_device* input_device_named(kobu_window* w, const char* name);
// The device whose id is the upper bits of a button code, or null.
input_device* input_device_of_code(kobu_window* w, uint32_t code);
// A relative device adds motion; an absolute one stores the value.
void input_device_axis_event(input_device* d, int axis, int32_t value);
// Polls every device of the window whose buttons deliver events.
void input_devices_poll(kobu_window* w);
// Adds "%.200s axis %d" to the potentiometer list.
void input_pot_add(kobu_window* w, const char* device_name, int axis);
// Logs "Closing input devices\n", then closes and frees every device of the
// window ("Killing %s\n") and forgets its potentiometer list.
void input_close(kobu_window* w);

// Opens an axis by name ("Name.axis[n]" or "Name axis n", aliases first);
// null when there is no such device or axis.
input_axis* axis_open(kobu_window* w, const char* name);
int32_t     axis_read(input_axis* a);    // 0 for a null handle
void        axis_close(input_axis* a);   // the last handle of a device closes it
// The names of every absolute axis in roll-call order, null-terminated
// (never null itself).
const char* const* pot_names(kobu_window* w);
