// input_test.cpp -- SDL events read back as control codes with stamps on
// the layer's clock: keys by their set-1 codes, typed characters, mouse
// buttons, the close button, releases on focus loss; the roll call, the
// mouse and cursor devices and their axes.
#include <cstring>
#include <vector>

#include "sdl_fixture.h"

using sdl_input_test = sdl_test;

static void push(const SDL_Event& e) { ASSERT_EQ(SDL_PushEvent(const_cast<SDL_Event*>(&e)), 1); }

static SDL_Event key(bool down, SDL_Scancode scan, SDL_Keycode sym, Uint16 mod = 0)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scan;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

static SDL_Event text(const char* utf8)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    return e;
}

static SDL_Event button(bool down, Uint8 which)
{
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = which;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return e;
}

static SDL_Event window_event(Uint8 what)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

static SDL_Event motion(int x, int y, int dx, int dy)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    return e;
}

struct code_press {
    uint32_t code;
    bool pressed;
    bool operator==(const code_press& o) const { return code == o.code && pressed == o.pressed; }
};

static std::ostream& operator<<(std::ostream& os, const code_press& c)
{
    return os << c.code << (c.pressed ? "+" : "-");
}

static double stamp_of(const input_event& e) { return e.seconds + e.microseconds / 1e6; }

TEST_F(sdl_input_test, events_become_control_codes_stamped_in_order)
{
    OPEN_OR_SKIP();
    drain();
    const uint32_t k = control_key_base;
    double before = clock_seconds();
    push(key(true, SDL_SCANCODE_A, SDLK_a));
    push(text("a"));
    push(key(false, SDL_SCANCODE_A, SDLK_a));
    push(key(false, SDL_SCANCODE_B, SDLK_b));   // never pressed: no release
    push(key(true, SDL_SCANCODE_RCTRL, SDLK_RCTRL));
    push(key(true, SDL_SCANCODE_M, SDLK_m));
    push(key(true, SDL_SCANCODE_TAB, SDLK_TAB));
    push(key(true, SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL));
    push(text("\xc3\xa9\xe2\x82\xac"));   // e-acute is 233; the euro sign has no code
    push(button(true, SDL_BUTTON_LEFT));
    push(button(false, SDL_BUTTON_LEFT));
    push(button(false, SDL_BUTTON_RIGHT));   // never pressed
    push(button(true, SDL_BUTTON_RIGHT));
    push(window_event(SDL_WINDOWEVENT_FOCUS_LOST));   // lets go of what is held
    push(window_event(SDL_WINDOWEVENT_CLOSE));

    std::vector<code_press> got;
    std::vector<double> stamps;
    for (input_event e; event_next(w, &e);) {
        got.push_back({e.code, e.pressed});
        stamps.push_back(stamp_of(e));
    }
    double after = clock_seconds();
    const std::vector<code_press> want = {
        {k + 0x1e, true},  {'a', true},        {k + 0x1e, false},  {k + 0x11d, true},
        {k + 0x32, true},  {k + 0x0f, true},   {9, true},          {k + 0x2e, true},
        {3, true},         {233, true},        {control_mouse_left, true},
        {control_mouse_left, false},           {control_mouse_right, true},
        {k + 0x0f, false}, {k + 0x2e, false},  {k + 0x32, false},  {k + 0x11d, false},
        {control_mouse_right, false},          {control_close, true},
    };
    EXPECT_EQ(got, want);
    for (size_t i = 0; i < stamps.size(); i++) {
        EXPECT_GE(stamps[i], before - 0.002) << i;   // SDL stamps in whole milliseconds
        EXPECT_LE(stamps[i], after) << i;
        if (i > 0) {
            EXPECT_GE(stamps[i], stamps[i - 1]) << i;
        }
    }
    EXPECT_STREQ(control_name(w, k + 0x32), "M");
    EXPECT_STREQ(control_name(w, k + 0x11d), "Right Ctrl");

    // An event stamped after the given time waits.
    push(key(true, SDL_SCANCODE_SPACE, SDLK_SPACE));
    input_event e{};
    EXPECT_FALSE(event_next_until(w, static_cast<int>(before) - 1, 0, &e));
    double now = clock_seconds() + 1;
    ASSERT_TRUE(event_next_until(w, static_cast<int>(now), 0, &e));
    EXPECT_EQ(e.code, k + 0x39);
}

TEST_F(sdl_input_test, the_mouse_joins_the_roll_call_when_every_device_is_wanted)
{
    options("[dinputsticksonly:off]");
    OPEN_OR_SKIP();
    drain();
    input_axis* mx = axis_open(w, "mouse-x");
    input_axis* my = axis_open(w, "mouse-y");
    input_axis* cx = axis_open(w, "cursor-x");
    input_axis* cy = axis_open(w, "cursor-y");
    ASSERT_TRUE(mx && my && cx && cy);
    uint32_t mouse_left = control_by_name(w, "mouse-left");
    uint32_t mouse_right = control_by_name(w, "mouse-right");
    ASSERT_NE(mouse_left, control_none);
    EXPECT_EQ(mouse_right, mouse_left + 1);
    EXPECT_STREQ(control_name(w, mouse_left), "Mouse button 0");

    push(motion(100, 50, 4, -3));
    push(motion(110, 60, 6, 2));
    push(button(true, SDL_BUTTON_RIGHT));
    std::vector<code_press> got;
    for (input_event e; event_next(w, &e);)
        got.push_back({e.code, e.pressed});
    EXPECT_EQ(got, (std::vector<code_press>{{control_mouse_right, true}, {mouse_right, true}}));
    EXPECT_EQ(axis_read(mx), 10);   // motion since the last read
    EXPECT_EQ(axis_read(mx), 0);
    EXPECT_EQ(axis_read(my), -1);
    int ww = 0, wh = 0, dw = 0, dh = 0;
    SDL_Window* native = SDL_GL_GetCurrentWindow();
    SDL_GetWindowSize(native, &ww, &wh);
    SDL_GL_GetDrawableSize(native, &dw, &dh);
    EXPECT_EQ(axis_read(cx), 110 * dw / ww);   // drawable pixels
    EXPECT_EQ(axis_read(cy), 60 * dh / wh);
    EXPECT_EQ(pot_names(w)[0], nullptr);   // the mouse is relative: no pots

    axis_close(mx);
    axis_close(my);
    axis_close(cx);
    axis_close(cy);
    std::string text = log_text();
    for (const char* line : {"DirectInput roll call...\n", "Mouse (System mouse)\n",
                             "3 axes, 5 keys\n", "axis 0 is relative\n",
                             "End of DirectInput roll call\n"})
        EXPECT_TRUE(logged(text, line)) << line;
}

TEST_F(sdl_input_test, without_controllers_only_the_cursor_is_there)
{
    options("[dinput:off]");
    OPEN_OR_SKIP();
    EXPECT_EQ(axis_open(w, "mouse-x"), nullptr);
    input_axis* cx = axis_open(w, "cursor.axis[0]");
    EXPECT_NE(cx, nullptr);
    axis_close(cx);
    EXPECT_EQ(control_by_name(w, "Joystick1.key[0]"), control_none);
    EXPECT_TRUE(logged(log_text(), "DirectInput disabled\n"));
}
