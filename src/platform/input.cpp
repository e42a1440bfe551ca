// input.cpp -- the event queue, event dispatch, control names and aliases.
//
// Owns the event_queue ring operations (window back ends keep one queue
// each), the event_next / event_next_until entry points that go through the
// installed window back end, the built-in key-name table, and the alias
// list.  Names are matched exactly first, then loosely (letters without
// regard to case, white space and "_" alike); names handed out are interned
// (base/intern.h), so equal names are equal pointers.  Name lookups run on
// the game thread; the alias list is locked because window back ends may
// register aliases from their own thread.
//
// Also owns the device lists the window back ends fill (one per window, in
// a small table of windows), the device button codes and names, the axis
// handles and the potentiometer lists.  Devices, handles and potentiometer
// lists are touched on the game thread only.
//
// The letters follow the PC set-1 scan codes the back ends deliver: N is
// 0x31 and M is 0x32, so the key marked M is named "M".
#include "platform/input.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/intern.h"
#include "base/xmalloc.h"
#include "platform/log.h"
#include "platform/window.h"

constexpr int scan_code_count = 512;          // scan codes 0..511 (bit 256: extended)
constexpr int input_window_slots = 8;         // windows with devices at one time
constexpr int device_button_codes = 256;      // buttons that have codes (b < 256)
constexpr uint32_t device_id_unit = 65536;    // device ids are n * 65536
constexpr uint32_t device_id_mask = 0x7fff;   // n has 15 bits

// ---------------------------------------------------------------------------
// Event queue

static int ring_index(const event_queue* q, int position)
{
    return (q->head + position) % event_queue_size;
}

// Removes the event at the given position (0 = oldest), keeping the order of
// the others.
static void remove_at(event_queue* q, int position)
{
    for (int i = position; i + 1 < q->count; i++)
        q->ring[ring_index(q, i)] = q->ring[ring_index(q, i + 1)];
    q->count--;
}

static void append(event_queue* q, const input_event& e)
{
    q->ring[ring_index(q, q->count)] = e;
    q->count++;
}

void event_queue_clear(event_queue* q)
{
    q->head = 0;
    q->count = 0;
}

// A full queue drops a new press.  A release is never dropped: losing one
// would leave its key held (a throttle stuck open), so it pushes out the
// oldest queued press instead, or the oldest release when only releases are
// queued, and is appended so the order of events stays their real order.
bool event_queue_push(event_queue* q, const input_event& e)
{
    if (q->count < event_queue_size) {
        append(q, e);
        return true;
    }
    if (e.pressed)
        return false;
    int victim = 0;   // the oldest release, when no press is queued
    for (int i = 0; i < q->count; i++) {
        if (q->ring[ring_index(q, i)].pressed) {
            victim = i;
            break;
        }
    }
    remove_at(q, victim);
    append(q, e);
    return true;
}

bool event_queue_pop(event_queue* q, input_event* out)
{
    if (q->count <= 0)
        return false;
    *out = q->ring[q->head];
    q->head = (q->head + 1) % event_queue_size;
    q->count--;
    return true;
}

bool event_queue_pop_until(event_queue* q, int seconds, int microseconds, input_event* out)
{
    if (q->count <= 0)
        return false;
    const input_event& e = q->ring[q->head];
    if (e.seconds > seconds || (e.seconds == seconds && e.microseconds > microseconds))
        return false;
    return event_queue_pop(q, out);
}

bool event_next(kobu_window* w, input_event* out)
{
    const window_ops* ops = platform_current();
    return out && ops->event_next ? ops->event_next(w, out) : false;
}

bool event_next_until(kobu_window* w, int seconds, int microseconds, input_event* out)
{
    const window_ops* ops = platform_current();
    return out && ops->event_next_until ? ops->event_next_until(w, seconds, microseconds, out)
                                        : false;
}

// ---------------------------------------------------------------------------
// Names

struct key_name {
    int scan;           // scan code 0..511
    const char* name;   // the key's name
};

// The built-in names; where a scan code has two entries the first is the
// one handed out.
static const key_name key_names[] = {
    {0x01, "Esc"},
    {0x02, "1"}, {0x03, "2"}, {0x04, "3"}, {0x05, "4"}, {0x06, "5"},
    {0x07, "6"}, {0x08, "7"}, {0x09, "8"}, {0x0a, "9"}, {0x0b, "0"},
    {0x0c, "-"}, {0x0d, "="}, {0x0e, "Backspace"}, {0x0f, "Tab"},
    {0x1e, "A"}, {0x30, "B"}, {0x2e, "C"}, {0x20, "D"}, {0x12, "E"}, {0x21, "F"},
    {0x22, "G"}, {0x23, "H"}, {0x17, "I"}, {0x24, "J"}, {0x25, "K"}, {0x26, "L"},
    {0x31, "N"}, {0x32, "M"}, {0x18, "O"}, {0x19, "P"}, {0x10, "Q"}, {0x13, "R"},
    {0x1f, "S"}, {0x14, "T"}, {0x16, "U"}, {0x2f, "V"}, {0x11, "W"}, {0x2d, "X"},
    {0x15, "Y"}, {0x2c, "Z"},
    {0x1a, "["}, {0x1b, "]"}, {0x27, ";"}, {0x28, "'"}, {0x29, "`"}, {0x2b, "\\"},
    {0x33, ","}, {0x34, "."}, {0x35, "/"},
    {0x1c, "Enter"}, {0x1d, "Left Ctrl"}, {0x2a, "Left Shift"}, {0x36, "Right Shift"},
    {0x39, "Space"}, {0x39, " "}, {0x3a, "Caps Lock"}, {0x11d, "Right Ctrl"},
    {0x152, "Insert"}, {0x153, "Delete"}, {0x147, "Home"}, {0x14f, "End"},
    {0x149, "Page Up"}, {0x151, "Page Down"},
    {0x148, "Up"}, {0x150, "Down"}, {0x14b, "Left"}, {0x14d, "Right"},
    {0x3b, "F1"}, {0x3c, "F2"}, {0x3d, "F3"}, {0x3e, "F4"}, {0x3f, "F5"},
    {0x40, "F6"}, {0x41, "F7"}, {0x42, "F8"}, {0x43, "F9"}, {0x44, "F10"},
    {0x57, "F11"}, {0x58, "F12"},
    {0x45, "Pause"}, {0x145, "Num Lock"},
    {0x135, "Keypad /"}, {0x37, "Keypad *"}, {0x4a, "Keypad -"},
    {0x47, "Keypad 7"}, {0x48, "Keypad 8"}, {0x49, "Keypad 9"}, {0x4e, "Keypad +"},
    {0x4b, "Keypad 4"}, {0x4c, "Keypad 5"}, {0x4d, "Keypad 6"},
    {0x4f, "Keypad 1"}, {0x50, "Keypad 2"}, {0x51, "Keypad 3"}, {0x11c, "Keypad Enter"},
    {0x52, "Keypad 0"}, {0x53, "Keypad ."},
};
static_assert(sizeof key_names / sizeof key_names[0] == 98, "the built-in key table has 98 names");

struct special_name {
    uint32_t code;
    const char* name;
};

static const special_name special_names[] = {
    {control_close, "Close"},
    {control_mouse_left, "Mouse Left"},
    {control_mouse_middle, "Mouse Middle"},
    {control_mouse_right, "Mouse Right"},
};

typedef bool (*name_match_fn)(const char* a, const char* b);

static bool exact_match(const char* a, const char* b) { return strcmp(a, b) == 0; }

static int loose_char(unsigned char c)
{
    if (isspace(c) || c == '_')
        return ' ';
    return tolower(c);
}

// Letters without regard to case; every white-space character and "_" is a blank.
static bool loose_match(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if (loose_char(static_cast<unsigned char>(*a)) != loose_char(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

static uint32_t find_named(const char* name, name_match_fn match)
{
    for (const special_name& s : special_names)
        if (match(name, s.name))
            return s.code;
    for (const key_name& k : key_names)
        if (match(name, k.name))
            return control_key_base + static_cast<uint32_t>(k.scan);
    return control_none;
}

// "0x" and hex digits, nothing else, naming scan codes up to 511.
static uint32_t find_hex(const char* name)
{
    if (name[0] != '0' || name[1] != 'x' || !name[2])
        return control_none;
    unsigned value = 0;
    for (const char* p = name + 2; *p; p++) {
        if (!isxdigit(static_cast<unsigned char>(*p)))
            return control_none;
        int digit = isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : tolower(*p) - 'a' + 10;
        value = value * 16 + static_cast<unsigned>(digit);
        if (value >= scan_code_count)
            return control_none;
    }
    return control_key_base + value;
}

// ---------------------------------------------------------------------------
// Aliases

struct alias_entry {
    char* alias;   // the alias, owned
    char* name;    // the name it stands for, owned
};

static std::mutex alias_lock;
static alias_entry* aliases = nullptr;   // registration order
static int alias_count = 0;
static int alias_capacity = 0;

void alias_add(const char* alias, const char* name)
{
    if (!alias || !name)
        return;
    std::lock_guard<std::mutex> hold(alias_lock);
    for (int i = 0; i < alias_count; i++) {
        if (strcmp(aliases[i].alias, alias) == 0) {
            log_printf("Second alias for '%s' ('%s') ignored\n", alias, name);
            return;
        }
    }
    if (alias_count == alias_capacity) {
        alias_capacity = alias_capacity ? alias_capacity * 2 : 16;
        aliases = static_cast<alias_entry*>(
            xrealloc(aliases, static_cast<size_t>(alias_capacity) * sizeof *aliases));
    }
    aliases[alias_count++] = {xstrdup(alias), xstrdup(name)};
}

// The name an alias stands for, copied into out; the name itself when it is
// no alias.
static void resolve_alias(const char* name, char* out, size_t size)
{
    std::lock_guard<std::mutex> hold(alias_lock);
    for (int i = 0; i < alias_count; i++) {
        if (strcmp(aliases[i].alias, name) == 0) {
            name = aliases[i].name;
            break;
        }
    }
    snprintf(out, size, "%s", name);
}

void input_register_window_aliases()
{
    static std::once_flag once;
    std::call_once(once, [] {
        alias_add("cursor-left", "Mouse Left");
        alias_add("cursor-middle", "Mouse Middle");
        alias_add("cursor-right", "Mouse Right");
        alias_add("cursor-x", "cursor.axis[0]");
        alias_add("cursor-y", "cursor.axis[1]");
    });
}

// ---------------------------------------------------------------------------
// Devices

// The devices and potentiometer names of one window.
struct window_inputs {
    kobu_window* window;   // null: slot free
    input_device* head;    // newest first
    const char** pots;     // pot_count names + a null entry (xmalloc'd), or null
    int pot_count;
    int pot_capacity;      // entries allocated, the null one included
};

static window_inputs input_windows[input_window_slots];
static uint32_t next_device_serial = 1;
static const char* const no_pots[1] = {nullptr};

static window_inputs* inputs_of(kobu_window* w, bool create)
{
    if (!w)
        return nullptr;
    for (window_inputs& s : input_windows)
        if (s.window == w)
            return &s;
    if (!create)
        return nullptr;
    for (window_inputs& s : input_windows)
        if (!s.window) {
            s = {};
            s.window = w;
            return &s;
        }
    return nullptr;
}

input_device* input_devices(kobu_window* w)
{
    window_inputs* s = inputs_of(w, false);
    return s ? s->head : nullptr;
}

input_device* input_device_named(kobu_window* w, const char* name)
{
    if (!name)
        return nullptr;
    for (input_device* d = input_devices(w); d; d = d->next)
        if (strcmp(d->name, name) == 0)
            return d;
    return nullptr;
}

static bool device_id_used(kobu_window* w, uint32_t id)
{
    for (input_device* d = input_devices(w); d; d = d->next)
        if (d->id == id)
            return true;
    return false;
}

uint32_t device_id_for(kobu_window* w, const char* name)
{
    unsigned even = 0, odd = 0;
    for (int i = 0; name && name[i]; i++) {
        unsigned c = static_cast<unsigned char>(name[i]);
        if (i % 2 == 0)
            even = (even + c) & 0xffff;
        else
            odd = (odd + c) & 0xff;
    }
    uint32_t n = (even + 256 * odd) & device_id_mask;
    // 32767 ids for at most a handful of devices: a free one always exists.
    for (uint32_t tries = 0; tries <= device_id_mask; tries++) {
        if (n != 0 && !device_id_used(w, n * device_id_unit))
            break;
        n = (n + 1) & device_id_mask;
    }
    return n * device_id_unit;
}

// The instance name without blanks and "."; "#2", "#3", ... while taken.
static const char* unique_device_name(kobu_window* w, const char* instance)
{
    char base[device_name_max + 1];
    size_t n = 0;
    for (const char* p = instance ? instance : ""; *p && n + 1 < sizeof base - 8; p++)
        if (!isspace(static_cast<unsigned char>(*p)) && *p != '.')
            base[n++] = *p;
    base[n] = '\0';
    if (n == 0)
        snprintf(base, sizeof base, "Device");
    char name[device_name_max + 1];
    snprintf(name, sizeof name, "%s", base);
    for (int k = 2; input_device_named(w, name); k++)
        snprintf(name, sizeof name, "%s#%d", base, k);
    return intern_string(name);
}

input_device* input_device_add(kobu_window* w, const char* instance_name, int axis_count,
                               int button_count, unsigned flags, const input_device_ops* ops,
                               void* handle)
{
    window_inputs* s = inputs_of(w, true);
    if (!s)
        return nullptr;
    axis_count = axis_count < 0 ? 0 : (axis_count > device_max_axes ? device_max_axes : axis_count);
    button_count = button_count < 0 ? 0
                 : (button_count > device_max_buttons ? device_max_buttons : button_count);
    input_device* d = static_cast<input_device*>(xcalloc(1, sizeof *d));
    d->window = w;
    d->name = unique_device_name(w, instance_name);
    d->id = device_id_for(w, d->name);
    d->axis_count = axis_count;
    d->button_count = button_count;
    d->ops = ops;
    d->handle = handle;
    d->flags = flags;
    d->serial = next_device_serial++;
    d->axis_values = static_cast<int32_t*>(xcalloc(static_cast<size_t>(axis_count) + 1, sizeof(int32_t)));
    d->button_states = static_cast<uint8_t*>(xcalloc(static_cast<size_t>(button_count) + 1, 1));
    d->next = s->head;
    s->head = d;
    return d;
}

input_device* input_device_of_code(kobu_window* w, uint32_t code)
{
    uint32_t id = code & (device_id_mask * device_id_unit);
    if (id == 0)
        return nullptr;
    for (input_device* d = input_devices(w); d; d = d->next)
        if (d->id == id)
            return d;
    return nullptr;
}

void input_device_axis_event(input_device* d, int axis, int32_t value)
{
    if (!d || axis < 0 || axis >= d->axis_count)
        return;
    if (d->flags & device_relative)
        d->axis_values[axis] = static_cast<int32_t>(
            static_cast<uint32_t>(d->axis_values[axis]) + static_cast<uint32_t>(value));
    else
        d->axis_values[axis] = value;
}

void input_devices_poll(kobu_window* w)
{
    for (input_device* d = input_devices(w); d; d = d->next)
        if (d->button_events && d->ops && d->ops->poll)
            d->ops->poll(d);
}

// One more user of the device; the first one acquires it.
static void device_ref(input_device* d)
{
    if (d->refs++ == 0 && d->ops && d->ops->open)
        d->ops->open(d);
}

static void device_unref(input_device* d)
{
    if (d->refs <= 0)
        return;
    if (--d->refs == 0 && d->ops && d->ops->close)
        d->ops->close(d);
}

static void start_button_events(input_device* d)
{
    if (d->button_events)
        return;
    d->button_events = true;
    device_ref(d);
    if (d->ops && d->ops->start_events)
        d->ops->start_events(d);
}

void input_pot_add(kobu_window* w, const char* device_name, int axis)
{
    window_inputs* s = inputs_of(w, true);
    if (!s)
        return;
    char name[256];
    snprintf(name, sizeof name, "%.200s axis %d", device_name ? device_name : "", axis);
    if (s->pot_count + 2 > s->pot_capacity) {
        s->pot_capacity = s->pot_capacity ? s->pot_capacity * 2 : 16;
        s->pots = static_cast<const char**>(
            xrealloc(s->pots, static_cast<size_t>(s->pot_capacity) * sizeof *s->pots));
    }
    s->pots[s->pot_count++] = intern_string(name);
    s->pots[s->pot_count] = nullptr;
}

const char* const* pot_names(kobu_window* w)
{
    window_inputs* s = inputs_of(w, false);
    return s && s->pots ? s->pots : no_pots;
}

void input_close(kobu_window* w)
{
    log_printf("Closing input devices\n");
    window_inputs* s = inputs_of(w, false);
    if (!s)
        return;
    while (input_device* d = s->head) {
        s->head = d->next;
        log_printf("Killing %s\n", d->name);
        if (d->timestamp_adjust > 0)
            log_printf("Timestamp adjustment was %d\n", d->timestamp_adjust);
        if (d->refs > 0 && d->ops && d->ops->close)
            d->ops->close(d);
        if (d->ops && d->ops->free)
            d->ops->free(d);
        free(d->axis_values);
        free(d->button_states);
        free(d);
    }
    free(s->pots);
    *s = {};
}

// ---------------------------------------------------------------------------
// Axes

// "%63[^.].<kind>[%d]" or "%63s <kind> %d": the device and the index.
static bool parse_device_item(const char* name, const char* kind, char* device, int* index)
{
    char dotted[32], spaced[32];
    snprintf(dotted, sizeof dotted, "%%63[^.].%s[%%d]", kind);
    snprintf(spaced, sizeof spaced, "%%63s %s %%d", kind);
    return sscanf(name, dotted, device, index) == 2 || sscanf(name, spaced, device, index) == 2;
}

static input_device* device_of_axis(const input_axis* a)
{
    if (!a)
        return nullptr;
    for (input_device* d = input_devices(a->window); d; d = d->next)
        if (d->serial == a->serial)
            return a->index < d->axis_count ? d : nullptr;
    return nullptr;
}

input_axis* axis_open(kobu_window* w, const char* name)
{
    if (!name)
        return nullptr;
    char resolved[1024];
    resolve_alias(name, resolved, sizeof resolved);
    char device_name[device_name_max + 1];
    int index = -1;
    if (!parse_device_item(resolved, "axis", device_name, &index) || index < 0)
        return nullptr;
    input_device* d = input_device_named(w, device_name);
    if (!d || index >= d->axis_count)
        return nullptr;
    device_ref(d);
    input_axis* a = static_cast<input_axis*>(xmalloc(sizeof *a));
    *a = {w, d->serial, index};
    return a;
}

int32_t axis_read(input_axis* a)
{
    input_device* d = device_of_axis(a);
    if (!d)
        return 0;
    if (d->ops && d->ops->read_axis)
        return d->ops->read_axis(d, a->index);
    int32_t value = d->axis_values[a->index];
    if (d->flags & device_relative)
        d->axis_values[a->index] = 0;
    return value;
}

void axis_close(input_axis* a)
{
    if (!a)
        return;
    if (input_device* d = device_of_axis(a))
        device_unref(d);
    free(a);
}

// ---------------------------------------------------------------------------
// Name to control and back

void input_register_device_aliases()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static const char* const pairs[][2] = {
            {"mouse-x", "Mouse.axis[0]"},         {"mouse-y", "Mouse.axis[1]"},
            {"mouse-left", "Mouse.key[0]"},       {"mouse-right", "Mouse.key[1]"},
            {"mouse-middle", "Mouse.key[2]"},
            {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
            {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
            {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
            {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
        };
        for (const auto& p : pairs)
            alias_add(p[0], p[1]);
    });
}

// A device button by "Name.key[n]" or "Name button n"; switches the
// device's button events on.
static uint32_t find_button(kobu_window* w, const char* name)
{
    char device_name[device_name_max + 1];
    int button = -1;
    if (!parse_device_item(name, "key", device_name, &button) &&
        !parse_device_item(name, "button", device_name, &button))
        return control_none;
    input_device* d = input_device_named(w, device_name);
    if (!d || button < 0 || button >= device_button_codes || button >= d->button_count)
        return control_none;
    start_button_events(d);
    return d->id + static_cast<uint32_t>(button);
}

uint32_t control_by_name(kobu_window* w, const char* name)
{
    if (!name)
        return control_none;
    char resolved[1024];
    resolve_alias(name, resolved, sizeof resolved);
    if (!resolved[0])
        return control_none;
    uint32_t code = find_named(resolved, exact_match);
    if (code == control_none)
        code = find_named(resolved, loose_match);
    if (code == control_none)
        code = find_hex(resolved);
    if (code == control_none)
        code = find_button(w, resolved);
    return code;
}

const char* control_name(kobu_window* w, uint32_t code)
{
    for (const special_name& s : special_names)
        if (code == s.code)
            return intern_string(s.name);
    if (code >= device_id_unit) {
        input_device* d = input_device_of_code(w, code);
        uint32_t button = code & (device_id_unit - 1);
        if (!d || button >= device_button_codes)
            return nullptr;
        char text[1100];
        snprintf(text, sizeof text, "%.1000s button %u", d->name, static_cast<unsigned>(button));
        return intern_string(text);
    }
    if (code < control_key_base || code >= control_key_base + scan_code_count)
        return nullptr;   // a typed character
    int scan = static_cast<int>(code - control_key_base);
    for (const key_name& k : key_names)
        if (k.scan == scan)
            return intern_string(k.name);
    char hex[16];
    snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(scan));
    return intern_string(hex);
}
