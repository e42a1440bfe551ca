// device_test.cpp -- input devices as the back ends register them: names
// and ids, button codes and names, axis handles, the potentiometer list and
// closing; and the display-mode helpers (mode list, full-screen choice,
// "Video Mode" items).
#include <gtest/gtest.h>

#include <string>

#include "base/intern.h"
#include "log_capture.h"
#include "platform/input.h"
#include "platform/window.h"

// Any distinct address will do as a window handle here.
static int window_a_storage, window_b_storage;
static kobu_window* const window_a = reinterpret_cast<kobu_window*>(&window_a_storage);
static kobu_window* const window_b = reinterpret_cast<kobu_window*>(&window_b_storage);

struct device_test : log_capture {
    void TearDown() override
    {
        input_close(window_a);
        input_close(window_b);
        log_capture::TearDown();
    }
};

// Counts what the back end is asked to do.
static int opens, closes, frees;
static bool dev_open(input_device*) { opens++; return true; }
static void dev_close(input_device*) { closes++; }
static void dev_free(input_device*) { frees++; }
static const input_device_ops counting_ops = {nullptr, dev_open, dev_close, nullptr, nullptr, dev_free};

TEST_F(device_test, names_lose_blanks_and_dots_and_stay_unique_with_distinct_ids)
{
    input_device* a = input_device_add(window_a, "Joystick 1", 2, 4, 0, &counting_ops, nullptr);
    input_device* b = input_device_add(window_a, "Joy.stick 1", 2, 4, 0, &counting_ops, nullptr);
    input_device* c = input_device_add(window_a, "Joystick1", 2, 4, 0, &counting_ops, nullptr);
    input_device* other = input_device_add(window_b, "Joystick 1", 2, 4, 0, &counting_ops, nullptr);
    ASSERT_TRUE(a && b && c && other);
    EXPECT_EQ(a->name, intern_string("Joystick1"));
    EXPECT_EQ(b->name, intern_string("Joystick1#2"));
    EXPECT_EQ(c->name, intern_string("Joystick1#3"));
    EXPECT_EQ(other->name, intern_string("Joystick1"));   // lists are per window
    // 16-bit even sum 459 + 256 x (8-bit odd sum 438 & 255 = 182), 15 bits.
    EXPECT_EQ(a->id, 14283u * 65536);
    EXPECT_EQ(other->id, a->id);
    EXPECT_NE(b->id, a->id);
    EXPECT_NE(c->id, b->id);
    EXPECT_EQ(input_devices(window_a), c);   // newest first
    EXPECT_EQ(input_device_named(window_a, "Joystick1#2"), b);
    EXPECT_EQ(input_device_named(window_a, "joystick1"), nullptr);   // exact names only

    // "a" and "0\x80" "1" derive the same id; the later one moves on by one.
    input_device* x = input_device_add(window_b, "a", 0, 1, 0, nullptr, nullptr);
    input_device* y = input_device_add(window_b, "0\x80" "1", 0, 1, 0, nullptr, nullptr);
    EXPECT_EQ(x->id, 97u * 65536);
    EXPECT_EQ(y->id, 98u * 65536);

    input_device* big = input_device_add(window_b, "Big", 1000, 9999, 0, nullptr, nullptr);
    EXPECT_EQ(big->axis_count, device_max_axes);
    EXPECT_EQ(big->button_count, device_max_buttons);
}

TEST_F(device_test, buttons_are_named_both_ways_and_switch_events_on)
{
    opens = closes = frees = 0;
    input_device* pad = input_device_add(window_a, "Joystick 1", 2, 400, 0, &counting_ops, nullptr);
    EXPECT_FALSE(pad->button_events);
    struct row {
        const char* name;
        uint32_t code;
    };
    const row rows[] = {
        {"Joystick1.key[3]", pad->id + 3},
        {"Joystick1 button 3", pad->id + 3},
        {"Joystick1.key[0]", pad->id},
        {"Joystick1.key[255]", pad->id + 255},
        {"Joystick1.key[256]", control_none},   // codes stop at 255 buttons
        {"Joystick1.key[300]", control_none},
        {"Joystick1.key[-1]", control_none},
        {"Joystick2.key[0]", control_none},
        {"joystick1.key[0]", control_none},
        {"Joystick1.axis[0]", control_none},   // an axis is no control
    };
    for (const row& r : rows)
        EXPECT_EQ(control_by_name(window_a, r.name), r.code) << r.name;
    EXPECT_TRUE(pad->button_events);
    EXPECT_EQ(pad->refs, 1);   // once, however many lookups
    EXPECT_EQ(opens, 1);

    EXPECT_STREQ(control_name(window_a, pad->id + 7), "Joystick1 button 7");
    EXPECT_EQ(control_by_name(window_a, control_name(window_a, pad->id + 7)), pad->id + 7);
    EXPECT_EQ(control_name(window_a, pad->id + 300), nullptr);
    EXPECT_EQ(control_name(window_b, pad->id + 7), nullptr);   // another window's device
    input_register_device_aliases();
    EXPECT_EQ(control_by_name(window_a, "joystick-a-1"), pad->id);
    EXPECT_EQ(control_by_name(window_a, "joystick-a-2"), pad->id + 1);
    // Keys still come first.
    EXPECT_EQ(control_by_name(window_a, "M"), control_key_base + 0x32);
    EXPECT_EQ(control_by_name(window_a, "N"), control_key_base + 0x31);
    EXPECT_STREQ(control_name(window_a, control_key_base + 0x32), "M");
}

static int32_t fixed_reading(input_device*, int i) { return 1000 + i; }
static const input_device_ops reading_ops = {nullptr, dev_open, dev_close, fixed_reading, nullptr, dev_free};

TEST_F(device_test, axes_open_by_name_read_and_close_with_their_device)
{
    opens = closes = frees = 0;
    input_register_device_aliases();
    input_register_window_aliases();
    input_device* mouse = input_device_add(window_a, "Mouse", 3, 5, device_relative, &counting_ops, nullptr);
    input_device* cursor = input_device_add(window_a, "cursor", 2, 0, 0, nullptr, nullptr);
    input_device_add(window_a, "Joystick 1", 2, 0, 0, &reading_ops, nullptr);

    input_axis* mx = axis_open(window_a, "mouse-x");
    input_axis* my = axis_open(window_a, "Mouse axis 1");
    ASSERT_TRUE(mx && my);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(mouse->refs, 2);
    input_device_axis_event(mouse, 0, 5);
    input_device_axis_event(mouse, 0, -2);
    input_device_axis_event(mouse, 1, 7);
    EXPECT_EQ(axis_read(mx), 3);   // the motion since the last read
    EXPECT_EQ(axis_read(mx), 0);
    EXPECT_EQ(axis_read(my), 7);

    input_axis* cx = axis_open(window_a, "cursor-x");
    ASSERT_NE(cx, nullptr);
    input_device_axis_event(cursor, 0, 120);
    input_device_axis_event(cursor, 0, 130);
    EXPECT_EQ(axis_read(cx), 130);   // a position, kept
    EXPECT_EQ(axis_read(cx), 130);

    input_axis* sy = axis_open(window_a, "joystick-a-y");
    ASSERT_NE(sy, nullptr);
    EXPECT_EQ(axis_read(sy), 1001);   // through the device's own reader

    for (const char* bad : {"Mouse.axis[3]", "Mouse.axis[-1]", "Mouse.key[0]", "Nothing.axis[0]",
                            "mouse.axis[0]", ""})
        EXPECT_EQ(axis_open(window_a, bad), nullptr) << bad;
    EXPECT_EQ(axis_open(window_b, "Mouse.axis[0]"), nullptr);

    axis_close(mx);
    EXPECT_EQ(closes, 0);
    axis_close(my);
    EXPECT_EQ(closes, 1);   // the last handle released the device
    axis_close(nullptr);
    EXPECT_EQ(axis_read(nullptr), 0);

    // A handle kept past input_close reads 0 and closes harmlessly.
    open();
    input_close(window_a);
    EXPECT_EQ(axis_read(sy), 0);
    axis_close(sy);
    axis_close(cx);
    EXPECT_EQ(frees, 2);   // the mouse and the stick had a free operation
    std::string logged = text();
    EXPECT_NE(logged.find("] Closing input devices\n"), std::string::npos);
    EXPECT_NE(logged.find("] Killing Joystick1\n"), std::string::npos);
    EXPECT_NE(logged.find("] Killing cursor\n"), std::string::npos);
    EXPECT_NE(logged.find("] Killing Mouse\n"), std::string::npos);
    EXPECT_EQ(input_devices(window_a), nullptr);
}

TEST_F(device_test, the_potentiometer_list_names_axes_in_order)
{
    EXPECT_EQ(pot_names(window_a)[0], nullptr);   // never null itself
    input_pot_add(window_a, "Joystick1", 0);
    input_pot_add(window_a, "Joystick1", 1);
    input_pot_add(window_a, "Joystick2", 0);
    const char* const* pots = pot_names(window_a);
    EXPECT_STREQ(pots[0], "Joystick1 axis 0");
    EXPECT_STREQ(pots[1], "Joystick1 axis 1");
    EXPECT_STREQ(pots[2], "Joystick2 axis 0");
    EXPECT_EQ(pots[3], nullptr);
    EXPECT_EQ(pots[2], intern_string("Joystick2 axis 0"));
    input_close(window_a);
    EXPECT_EQ(pot_names(window_a)[0], nullptr);
}

// ---------------------------------------------------------------------------
// Display modes

using video_mode_test = log_capture;

TEST_F(video_mode_test, the_list_puts_the_desktop_first_and_skips_odd_depths_and_repeats)
{
    open();
    display_mode desktop{1024, 768, 32, 60};
    display_mode reported[] = {
        {640, 480, 32, 60}, {1024, 768, 32, 75}, {800, 600, 12, 60},
        {800, 600, 16, 60}, {640, 480, 32, 85}, {1280, 1024, 24, 60},
    };
    video_mode out[8];
    int n = video_mode_list_build(&desktop, reported, 6, out, 8);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(out[0].width, 1024);
    EXPECT_EQ(out[1].width, 640);
    EXPECT_EQ(out[2].bits, 16);
    EXPECT_EQ(out[3].height, 1024);
    EXPECT_EQ(out[4].width, 0);

    display_mode odd_desktop{1920, 1080, 30, 0};
    video_mode small[3];
    display_mode more[] = {{320, 200, 8, 70}, {800, 600, 16, 60}, {1280, 1024, 24, 60}};
    EXPECT_EQ(video_mode_list_build(&odd_desktop, more, 3, small, 3), 2);   // capacity
    EXPECT_EQ(small[2].width, 0);

    std::string logged = text();
    EXPECT_NE(logged.find("] Registry mode is 1024x768x32@60hz\n"), std::string::npos);
    EXPECT_NE(logged.find("] Found mode 640x480x32@60hz\n"), std::string::npos);
    EXPECT_NE(logged.find("] Found mode 800x600x12@60hz (ignored)\n"), std::string::npos);
    EXPECT_NE(logged.find("] Found mode 800x600x16@60hz\n"), std::string::npos);
    EXPECT_EQ(logged.find("Found mode 1024x768x32@75hz"), std::string::npos);   // silently
    EXPECT_EQ(logged.find("Found mode 640x480x32@85hz"), std::string::npos);
    EXPECT_NE(logged.find("] Registry mode is 1920x1080x30@0hz (ignored)\n"), std::string::npos);
}

TEST(fullscreen_size_test, the_smallest_mode_that_holds_the_request_wins)
{
    const video_mode modes[] = {{640, 480, 32}, {1024, 768, 32}, {1280, 1024, 32},
                                {1024, 768, 16}, {0, 0, 0}};
    struct row {
        int w, h;
        int want_w, want_h;
    };
    const row rows[] = {
        {800, 600, 1024, 768}, {2000, 2000, 1600, 900}, {0, 0, 1600, 900},
        {640, 0, 1600, 900},   {640, 480, 640, 480},    {641, 480, 1024, 768},
        {1024, 769, 1280, 1024},
    };
    for (const row& r : rows) {
        int w = -1, h = -1;
        fullscreen_size(modes, r.w, r.h, 1600, 900, &w, &h);
        EXPECT_EQ(w, r.want_w) << r.w << "x" << r.h;
        EXPECT_EQ(h, r.want_h) << r.w << "x" << r.h;
    }
    // A tie goes to the earlier mode.
    const video_mode tie[] = {{1000, 800, 32}, {900, 900, 32}, {0, 0, 0}};
    int w, h;
    fullscreen_size(tie, 800, 600, 1600, 900, &w, &h);
    EXPECT_EQ(w, 1000);
}

TEST_F(video_mode_test, the_video_mode_items_list_the_modes_of_the_first_depth)
{
    headless_settings s;
    s.width = 800;
    s.height = 600;
    headless_configure(s);
    const video_mode_choice* items = nullptr;
    int n = video_mode_choices(&items);
    ASSERT_EQ(n, 3);
    EXPECT_STREQ(items[0].label, "Default Fullscreen");
    EXPECT_STREQ(items[1].label, "Windowed");
    EXPECT_EQ(items[1].width, 0);
    EXPECT_STREQ(items[2].label, "800x600");
    EXPECT_EQ(items[2].width, 800);
    EXPECT_EQ(items[2].height, 600);

    platform_install(nullptr);   // "none" lists no modes
    EXPECT_EQ(video_mode_choices(&items), 2);
}
