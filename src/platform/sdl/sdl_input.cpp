// sdl_input.cpp -- keys, characters, mouse, close button and game
// controllers on SDL2.
//
// Turns SDL's events into the layer's control codes: keys as 4096 + their
// PC set-1 scan code (extended keys with bit 256, as the built-in key
// names expect), typed characters as their code (0..255: text input plus
// the control characters Tab, Enter, Backspace, Esc and Ctrl+letter), the
// mouse buttons as 8192..8194 and the close button as 57005.  Key and
// button state is tracked from the events themselves, so every release
// queued matches a press, and losing the focus releases whatever is held.
// Events are stamped on the layer's clock: SDL's millisecond stamp tells
// how long ago the event happened, and stamps never run backwards.
//
// Devices: game controllers through SDL's GameController interface
// ("Joystick1", "Joystick2", ... in roll-call order; with
// "dinputsticksonly" off also joysticks SDL has no controller mapping for,
// and the mouse as "Mouse" with relative axes), and the "cursor" device.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "base/xmalloc.h"
#include "platform/log.h"
#include "platform/sdl/sdl_internal.h"

constexpr int max_event_age_ms = 10000;   // older SDL stamps are not believed
constexpr int mouse_device_axes = 3;      // x, y, wheel
constexpr int mouse_device_buttons = 5;   // left, right, middle, X1, X2
constexpr int wheel_step = 120;           // axis units per wheel notch
constexpr uint32_t char_backspace = 8, char_tab = 9, char_enter = 13, char_esc = 27;

// ---------------------------------------------------------------------------
// Scan codes

struct scan_pair {
    SDL_Scancode sdl;   // SDL's (USB) scan code
    int set1;           // PC set-1 code, 0x100 = extended
};

static const scan_pair scan_pairs[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0a},
    {SDL_SCANCODE_0, 0x0b}, {SDL_SCANCODE_MINUS, 0x0c}, {SDL_SCANCODE_EQUALS, 0x0d},
    {SDL_SCANCODE_BACKSPACE, 0x0e}, {SDL_SCANCODE_TAB, 0x0f},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13}, {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17}, {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19}, {SDL_SCANCODE_LEFTBRACKET, 0x1a},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1b}, {SDL_SCANCODE_RETURN, 0x1c},
    {SDL_SCANCODE_LCTRL, 0x1d},
    {SDL_SCANCODE_A, 0x1e}, {SDL_SCANCODE_S, 0x1f}, {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21}, {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25}, {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2a},
    {SDL_SCANCODE_BACKSLASH, 0x2b}, {SDL_SCANCODE_NONUSHASH, 0x2b},
    {SDL_SCANCODE_Z, 0x2c}, {SDL_SCANCODE_X, 0x2d}, {SDL_SCANCODE_C, 0x2e},
    {SDL_SCANCODE_V, 0x2f}, {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32}, {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35}, {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3a},
    {SDL_SCANCODE_F1, 0x3b}, {SDL_SCANCODE_F2, 0x3c}, {SDL_SCANCODE_F3, 0x3d},
    {SDL_SCANCODE_F4, 0x3e}, {SDL_SCANCODE_F5, 0x3f}, {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44}, {SDL_SCANCODE_PAUSE, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47}, {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4a}, {SDL_SCANCODE_KP_4, 0x4b}, {SDL_SCANCODE_KP_5, 0x4c},
    {SDL_SCANCODE_KP_6, 0x4d}, {SDL_SCANCODE_KP_PLUS, 0x4e}, {SDL_SCANCODE_KP_1, 0x4f},
    {SDL_SCANCODE_KP_2, 0x50}, {SDL_SCANCODE_KP_3, 0x51}, {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53}, {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58}, {SDL_SCANCODE_KP_EQUALS, 0x59},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_F16, 0x67}, {SDL_SCANCODE_F17, 0x68}, {SDL_SCANCODE_F18, 0x69},
    {SDL_SCANCODE_F19, 0x6a}, {SDL_SCANCODE_F20, 0x6b}, {SDL_SCANCODE_F21, 0x6c},
    {SDL_SCANCODE_F22, 0x6d}, {SDL_SCANCODE_F23, 0x6e}, {SDL_SCANCODE_F24, 0x76},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70}, {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7b},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7d}, {SDL_SCANCODE_KP_COMMA, 0x7e},
    {SDL_SCANCODE_AUDIOPREV, 0x110}, {SDL_SCANCODE_AUDIONEXT, 0x119},
    {SDL_SCANCODE_KP_ENTER, 0x11c}, {SDL_SCANCODE_RCTRL, 0x11d},
    {SDL_SCANCODE_MUTE, 0x120}, {SDL_SCANCODE_AUDIOPLAY, 0x122},
    {SDL_SCANCODE_AUDIOSTOP, 0x124}, {SDL_SCANCODE_VOLUMEDOWN, 0x12e},
    {SDL_SCANCODE_VOLUMEUP, 0x130}, {SDL_SCANCODE_KP_DIVIDE, 0x135},
    {SDL_SCANCODE_PRINTSCREEN, 0x137}, {SDL_SCANCODE_RALT, 0x138},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x145}, {SDL_SCANCODE_HOME, 0x147},
    {SDL_SCANCODE_UP, 0x148}, {SDL_SCANCODE_PAGEUP, 0x149}, {SDL_SCANCODE_LEFT, 0x14b},
    {SDL_SCANCODE_RIGHT, 0x14d}, {SDL_SCANCODE_END, 0x14f}, {SDL_SCANCODE_DOWN, 0x150},
    {SDL_SCANCODE_PAGEDOWN, 0x151}, {SDL_SCANCODE_INSERT, 0x152},
    {SDL_SCANCODE_DELETE, 0x153}, {SDL_SCANCODE_LGUI, 0x15b}, {SDL_SCANCODE_RGUI, 0x15c},
    {SDL_SCANCODE_APPLICATION, 0x15d}, {SDL_SCANCODE_POWER, 0x15e},
};

// The set-1 code of an SDL scan code, -1 for keys the set has no code for.
static int set1_code(SDL_Scancode sc)
{
    static int table[SDL_NUM_SCANCODES];
    static bool built = false;
    if (!built) {
        for (int& t : table)
            t = -1;
        for (const scan_pair& p : scan_pairs)
            table[p.sdl] = p.set1;
        built = true;
    }
    return sc >= 0 && sc < SDL_NUM_SCANCODES ? table[sc] : -1;
}

// ---------------------------------------------------------------------------
// The queue

int64_t sdl_now_micros()
{
    int s = 0, u = 0;
    system_clock_now(&s, &u);
    return static_cast<int64_t>(s) * 1000000 + u;
}

// The layer-clock stamp of an event SDL stamped sdl_ms.
static int64_t stamp_of(sdl_window* w, Uint32 sdl_ms)
{
    int64_t now = sdl_now_micros();
    Uint32 age = SDL_GetTicks() - sdl_ms;   // unsigned: wraps correctly
    int64_t stamp = age <= static_cast<Uint32>(max_event_age_ms) ? now - int64_t(age) * 1000 : now;
    if (stamp < w->last_stamp)
        stamp = w->last_stamp;
    w->last_stamp = stamp;
    return stamp;
}

static void queue_event(sdl_window* w, uint32_t code, bool pressed, int64_t stamp)
{
    input_event e{};
    e.code = code & 0x7fffffffu;
    e.pressed = pressed;
    e.seconds = static_cast<int>(stamp / 1000000);
    e.microseconds = static_cast<int>(stamp % 1000000);
    std::lock_guard<std::mutex> hold(w->event_lock);
    event_queue_push(&w->events, e);
}

// ---------------------------------------------------------------------------
// Devices

enum device_kind { kind_controller, kind_joystick };

struct sdl_device {
    device_kind kind;
    SDL_GameController* controller;                // kind_controller
    SDL_Joystick* joystick;                        // kind_joystick, or the controller's
    SDL_JoystickID instance;                       // SDL's id in its events
    int axis_map[device_max_axes];                 // SDL axis of each device axis
    int button_map[device_max_buttons];            // SDL button of each device button
};

static int32_t clamp_axis(int value) { return value < -32767 ? -32767 : (value > 32767 ? 32767 : value); }

static int32_t stick_read_axis(input_device* d, int i)
{
    sdl_device* s = static_cast<sdl_device*>(d->handle);
    if (!s)
        return 0;
    if (s->kind == kind_controller)
        return clamp_axis(SDL_GameControllerGetAxis(
            s->controller, static_cast<SDL_GameControllerAxis>(s->axis_map[i])));
    return clamp_axis(SDL_JoystickGetAxis(s->joystick, s->axis_map[i]));
}

static void close_stick(sdl_device* s)
{
    if (s->controller)
        SDL_GameControllerClose(s->controller);
    else if (s->joystick)
        SDL_JoystickClose(s->joystick);
    free(s);
}

static void stick_free(input_device* d)
{
    if (d->handle)
        close_stick(static_cast<sdl_device*>(d->handle));
    d->handle = nullptr;
}

static const input_device_ops stick_ops = {nullptr, nullptr, nullptr, stick_read_axis, nullptr, stick_free};
static const input_device_ops plain_ops = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

// Device button b changed to pressed: stored, and queued when its buttons
// deliver events and the state really changed.
static void device_button(sdl_window* w, input_device* d, int b, bool pressed, int64_t stamp)
{
    if (!d || b < 0 || b >= d->button_count)
        return;
    uint8_t now = pressed ? 1 : 0;
    if (d->button_states[b] == now)
        return;
    d->button_states[b] = now;
    if (d->button_events && b < 256)
        queue_event(w, d->id + static_cast<uint32_t>(b), pressed, stamp);
}

static input_device* device_of_instance(sdl_window* w, SDL_JoystickID id, device_kind kind)
{
    for (input_device* d = input_devices(as_kobu(w)); d; d = d->next) {
        sdl_device* s = d->ops == &stick_ops ? static_cast<sdl_device*>(d->handle) : nullptr;
        if (s && s->instance == id && s->kind == kind)
            return d;
    }
    return nullptr;
}

static int device_button_of(input_device* d, int sdl_button)
{
    sdl_device* s = static_cast<sdl_device*>(d->handle);
    for (int b = 0; s && b < d->button_count; b++)
        if (s->button_map[b] == sdl_button)
            return b;
    return -1;
}

// Takes at most max of the present items, logging the first one left out.
static int take_items(const bool* present, int total, int max, int* map, const char* kind,
                      const char* (*name)(int))
{
    int n = 0;
    for (int i = 0; i < total; i++) {
        if (!present[i])
            continue;
        if (n == max) {
            log_printf("Wow! This thing has a lot of %s!\nThe first ignored %s is called \"%s\"\n",
                       kind, strcmp(kind, "axes") == 0 ? "axis" : "button", name(i));
            break;
        }
        map[n++] = i;
    }
    return n;
}

static const char* controller_axis_name(int i)
{
    const char* n = SDL_GameControllerGetStringForAxis(static_cast<SDL_GameControllerAxis>(i));
    return n ? n : "axis";
}
static const char* controller_button_name(int i)
{
    const char* n = SDL_GameControllerGetStringForButton(static_cast<SDL_GameControllerButton>(i));
    return n ? n : "button";
}
static const char* plain_axis_name(int i)
{
    static char name[32];
    snprintf(name, sizeof name, "Axis %d", i);
    return name;
}
static const char* plain_button_name(int i)
{
    static char name[32];
    snprintf(name, sizeof name, "Button %d", i);
    return name;
}

// One device of the roll call; false when it is skipped.
static bool add_stick(sdl_window* w, int index, bool controller, int number)
{
    char instance[32];
    snprintf(instance, sizeof instance, "Joystick %d", number);
    const char* product = controller ? SDL_GameControllerNameForIndex(index)
                                     : SDL_JoystickNameForIndex(index);
    log_printf("%s (%s)\n", instance, product ? product : "unnamed");

    sdl_device* s = static_cast<sdl_device*>(xcalloc(1, sizeof *s));
    s->kind = controller ? kind_controller : kind_joystick;
    if (controller) {
        s->controller = SDL_GameControllerOpen(index);
        s->joystick = s->controller ? SDL_GameControllerGetJoystick(s->controller) : nullptr;
    } else {
        s->joystick = SDL_JoystickOpen(index);
    }
    if (!s->joystick) {
        log_printf("Can't get device caps\n");
        close_stick(s);
        return false;
    }
    s->instance = SDL_JoystickInstanceID(s->joystick);

    // One place beyond each maximum, to name the first item left out.
    static_assert(SDL_CONTROLLER_AXIS_MAX <= device_max_axes, "controller axes fit");
    static_assert(SDL_CONTROLLER_BUTTON_MAX <= device_max_buttons, "controller buttons fit");
    bool axes[device_max_axes + 1] = {};
    bool buttons[device_max_buttons + 1] = {};
    int axis_total, button_total;
    if (controller) {
        axis_total = SDL_CONTROLLER_AXIS_MAX;
        button_total = SDL_CONTROLLER_BUTTON_MAX;
        for (int i = 0; i < axis_total; i++)
            axes[i] = SDL_GameControllerHasAxis(s->controller, static_cast<SDL_GameControllerAxis>(i));
        for (int i = 0; i < button_total; i++)
            buttons[i] = SDL_GameControllerHasButton(s->controller, static_cast<SDL_GameControllerButton>(i));
    } else {
        axis_total = SDL_JoystickNumAxes(s->joystick);
        button_total = SDL_JoystickNumButtons(s->joystick);
        axis_total = axis_total < 0 ? 0 : (axis_total > device_max_axes + 1 ? device_max_axes + 1 : axis_total);
        button_total = button_total < 0 ? 0
                     : (button_total > device_max_buttons + 1 ? device_max_buttons + 1 : button_total);
        for (int i = 0; i < axis_total; i++)
            axes[i] = true;
        for (int i = 0; i < button_total; i++)
            buttons[i] = true;
    }
    int axis_count = 0, button_count = 0;
    for (int i = 0; i < axis_total; i++)
        axis_count += axes[i];
    for (int i = 0; i < button_total; i++)
        button_count += buttons[i];
    if (axis_count == 0 && button_count == 0) {
        log_printf("Ignoring Dunsel device\n");
        close_stick(s);
        return false;
    }
    log_printf("%d axes, %d keys\n", axis_count, button_count);
    axis_count = take_items(axes, axis_total, device_max_axes, s->axis_map, "axes",
                            controller ? controller_axis_name : plain_axis_name);
    button_count = take_items(buttons, button_total, device_max_buttons, s->button_map, "buttons",
                              controller ? controller_button_name : plain_button_name);
    for (int i = 0; i < axis_count; i++)
        log_printf("axis %d is %s\n", i, "absolute");

    input_device* d = input_device_add(as_kobu(w), instance, axis_count, button_count, 0,
                                       &stick_ops, s);
    if (!d) {
        close_stick(s);
        return false;
    }
    for (int i = 0; i < axis_count; i++) {
        char name[256];
        snprintf(name, sizeof name, "%.200s axis %d", d->name, i);
        log_printf("Adding axis \"%s\"\n", name);
        input_pot_add(as_kobu(w), d->name, i);
    }
    return true;
}

// The mouse joins the roll call when every device is wanted.
static void add_mouse(sdl_window* w)
{
    log_printf("%s (%s)\n", "Mouse", "System mouse");
    log_printf("%d axes, %d keys\n", mouse_device_axes, mouse_device_buttons);
    for (int i = 0; i < mouse_device_axes; i++)
        log_printf("axis %d is %s\n", i, "relative");
    w->mouse = input_device_add(as_kobu(w), "Mouse", mouse_device_axes, mouse_device_buttons,
                                device_relative, &plain_ops, nullptr);
}

static void roll_call(sdl_window* w)
{
    if (!option_flag("dinput", true)) {
        log_printf("DirectInput disabled\n");
        return;
    }
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        log_printf("Can't open direct input library\n");
        log_printf("SDL: %s\n", SDL_GetError());
        return;
    }
    bool sticks_only = option_flag("dinputsticksonly", true);
    log_printf("DirectInput roll call...\n");
    if (!sticks_only)
        add_mouse(w);
    int number = 1;
    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        bool controller = SDL_IsGameController(i);
        if (!controller && sticks_only)
            continue;   // no controller mapping: not known to be a game controller
        if (add_stick(w, i, controller, number))
            number++;
    }
    log_printf("End of DirectInput roll call\n");
}

void sdl_input_open(sdl_window* w)
{
    roll_call(w);
    input_register_device_aliases();
    w->cursor = input_device_add(as_kobu(w), "cursor", 2, 0, 0, &plain_ops, nullptr);
    SDL_StartTextInput();
}

void sdl_input_close(sdl_window* w)
{
    SDL_StopTextInput();
    input_close(as_kobu(w));
    w->mouse = w->cursor = nullptr;
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER))
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

// ---------------------------------------------------------------------------
// Events

// Releases every key and button the window holds (the focus went away, so
// their releases would never come).
static void release_all(sdl_window* w)
{
    int64_t stamp = stamp_of(w, SDL_GetTicks());
    for (int s = 0; s < key_scan_codes; s++)
        if (w->keys_down[s]) {
            w->keys_down[s] = 0;
            queue_event(w, control_key_base + static_cast<uint32_t>(s), false, stamp);
        }
    for (int b = 0; b < mouse_button_codes; b++)
        if (w->buttons_down[b]) {
            w->buttons_down[b] = false;
            queue_event(w, control_mouse_left + static_cast<uint32_t>(b), false, stamp);
        }
    if (w->mouse)
        for (int b = 0; b < w->mouse->button_count; b++)
            device_button(w, w->mouse, b, false, stamp);
}

// The character a key press types when text input does not report it.
static int control_character(const SDL_Keysym& k)
{
    switch (k.sym) {
    case SDLK_BACKSPACE: return char_backspace;
    case SDLK_TAB: return char_tab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return char_enter;
    case SDLK_ESCAPE: return char_esc;
    default: break;
    }
    if ((k.mod & KMOD_CTRL) && k.sym >= SDLK_a && k.sym <= SDLK_z)
        return k.sym - SDLK_a + 1;
    return -1;
}

static void key_event(sdl_window* w, const SDL_KeyboardEvent& e)
{
    bool pressed = e.type == SDL_KEYDOWN;
    int64_t stamp = stamp_of(w, e.timestamp);
    int scan = set1_code(e.keysym.scancode);
    if (scan >= 0) {
        if (pressed) {
            w->keys_down[scan] = 1;
            queue_event(w, control_key_base + static_cast<uint32_t>(scan), true, stamp);
        } else if (w->keys_down[scan]) {
            w->keys_down[scan] = 0;
            queue_event(w, control_key_base + static_cast<uint32_t>(scan), false, stamp);
        }
    }
    int c = pressed ? control_character(e.keysym) : -1;
    if (c >= 0)
        queue_event(w, static_cast<uint32_t>(c), true, stamp);
}

// Text input arrives as UTF-8; characters 0..255 are queued, others dropped.
static void text_event(sdl_window* w, const SDL_TextInputEvent& e)
{
    int64_t stamp = stamp_of(w, e.timestamp);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(e.text);
    const unsigned char* end = p + strnlen(e.text, sizeof e.text);
    while (p < end) {
        uint32_t c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || p + extra >= end) {
            p++;   // a stray byte
            continue;
        }
        if (extra > 0)
            c &= 0x3f >> extra;
        for (int i = 1; i <= extra; i++)
            c = (c << 6) | (p[i] & 0x3f);
        p += extra + 1;
        if (c >= 32 && c <= 255 && c != 127)
            queue_event(w, c, true, stamp);
    }
}

static int mouse_button_index(Uint8 sdl_button)
{
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_MIDDLE: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    default: return -1;
    }
}

// "Mouse.key[n]": left 0, right 1, middle 2, then the side buttons.
static int mouse_device_button(Uint8 sdl_button)
{
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
    }
}

static void button_event(sdl_window* w, const SDL_MouseButtonEvent& e)
{
    bool pressed = e.type == SDL_MOUSEBUTTONDOWN;
    int64_t stamp = stamp_of(w, e.timestamp);
    int b = mouse_button_index(e.button);
    if (b >= 0 && (pressed || w->buttons_down[b])) {
        w->buttons_down[b] = pressed;
        queue_event(w, control_mouse_left + static_cast<uint32_t>(b), pressed, stamp);
    }
    device_button(w, w->mouse, mouse_device_button(e.button), pressed, stamp);
}

// The cursor in drawable pixels (window points differ on high-density screens).
static void motion_event(sdl_window* w, const SDL_MouseMotionEvent& e)
{
    if (w->cursor && w->native) {
        int ww = 0, wh = 0, dw = 0, dh = 0;
        SDL_GetWindowSize(w->native, &ww, &wh);
        SDL_GL_GetDrawableSize(w->native, &dw, &dh);
        int x = ww > 0 && dw > 0 ? static_cast<int>(int64_t(e.x) * dw / ww) : e.x;
        int y = wh > 0 && dh > 0 ? static_cast<int>(int64_t(e.y) * dh / wh) : e.y;
        input_device_axis_event(w->cursor, 0, x);
        input_device_axis_event(w->cursor, 1, y);
    }
    if (w->mouse) {
        input_device_axis_event(w->mouse, 0, e.xrel);
        input_device_axis_event(w->mouse, 1, e.yrel);
    }
}

static void stick_button_event(sdl_window* w, SDL_JoystickID id, device_kind kind, int button,
                               bool pressed, Uint32 timestamp)
{
    input_device* d = device_of_instance(w, id, kind);
    if (!d)
        return;
    device_button(w, d, device_button_of(d, button), pressed, stamp_of(w, timestamp));
}

static void translate(sdl_window* w, const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        key_event(w, e.key);
        break;
    case SDL_TEXTINPUT:
        text_event(w, e.text);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        button_event(w, e.button);
        break;
    case SDL_MOUSEMOTION:
        motion_event(w, e.motion);
        break;
    case SDL_MOUSEWHEEL:
        if (w->mouse)
            input_device_axis_event(w->mouse, 2, e.wheel.y * wheel_step);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        stick_button_event(w, e.cbutton.which, kind_controller, e.cbutton.button,
                           e.type == SDL_CONTROLLERBUTTONDOWN, e.cbutton.timestamp);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        stick_button_event(w, e.jbutton.which, kind_joystick, e.jbutton.button,
                           e.type == SDL_JOYBUTTONDOWN, e.jbutton.timestamp);
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            queue_event(w, control_close, true, stamp_of(w, SDL_GetTicks()));
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            release_all(w);
        sdl_window_event(w, e.window);
        break;
    case SDL_QUIT:
        queue_event(w, control_close, true, stamp_of(w, SDL_GetTicks()));
        break;
    default:
        break;
    }
}

void sdl_pump(sdl_window* w)
{
    if (std::this_thread::get_id() != w->owner_thread)
        return;   // SDL's events belong to the thread that opened the window
    SDL_Event e;
    while (SDL_PollEvent(&e))
        translate(w, e);
}

static sdl_window* own(kobu_window* kw)
{
    sdl_window* w = reinterpret_cast<sdl_window*>(kw);
    return w && w == sdl_open_window() ? w : nullptr;
}

static bool take(sdl_window* w, bool bounded, int seconds, int microseconds, input_event* out)
{
    std::lock_guard<std::mutex> hold(w->event_lock);
    return bounded ? event_queue_pop_until(&w->events, seconds, microseconds, out)
                   : event_queue_pop(&w->events, out);
}

static bool next_event(kobu_window* kw, bool bounded, int seconds, int microseconds,
                       input_event* out)
{
    sdl_window* w = own(kw);
    if (!w)
        return false;
    sdl_pump(w);
    sdl_apply_switch(w);
    if (take(w, bounded, seconds, microseconds, out))
        return true;
    input_devices_poll(kw);
    return take(w, bounded, seconds, microseconds, out);
}

bool sdl_event_next(kobu_window* kw, input_event* out) { return next_event(kw, false, 0, 0, out); }

bool sdl_event_next_until(kobu_window* kw, int seconds, int microseconds, input_event* out)
{
    return next_event(kw, true, seconds, microseconds, out);
}
