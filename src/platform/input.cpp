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
    {0x31, "M"}, {0x32, "N"}, {0x18, "O"}, {0x19, "P"}, {0x10, "Q"}, {0x13, "R"},
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
// Name to control and back

uint32_t control_by_name(kobu_window*, const char* name)
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
    return code;
}

const char* control_name(kobu_window*, uint32_t code)
{
    for (const special_name& s : special_names)
        if (code == s.code)
            return intern_string(s.name);
    if (code < control_key_base || code >= control_key_base + scan_code_count)
        return nullptr;   // a typed character, or a device this layer does not know
    int scan = static_cast<int>(code - control_key_base);
    for (const key_name& k : key_names)
        if (k.scan == scan)
            return intern_string(k.name);
    char hex[16];
    snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(scan));
    return intern_string(hex);
}
