// input_test.cpp -- the event queue's order and overflow rule, control
// names and aliases.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/intern.h"
#include "log_capture.h"
#include "platform/input.h"

static input_event ev(uint32_t code, bool pressed, int seconds = 0, int microseconds = 0)
{
    return input_event{code, pressed, seconds, microseconds};
}

static std::vector<input_event> drain(event_queue* q)
{
    std::vector<input_event> out;
    for (input_event e; event_queue_pop(q, &e);)
        out.push_back(e);
    return out;
}

TEST(event_queue_test, events_come_out_in_queued_order_across_the_ring_end)
{
    event_queue q;
    event_queue_clear(&q);
    uint32_t pushed = 0, popped = 0;
    // Batches of uneven size walk the head round the ring several times.
    for (int round = 0; round < 40; round++) {
        for (int i = 0; i < 1 + round * 7 % 200; i++)
            ASSERT_TRUE(event_queue_push(&q, ev(pushed++, true)));
        for (input_event e; q.count > round % 3 && event_queue_pop(&q, &e);)
            ASSERT_EQ(e.code, popped++);
    }
    for (const input_event& e : drain(&q))
        ASSERT_EQ(e.code, popped++);
    EXPECT_EQ(popped, pushed);
}

TEST(event_queue_test, pop_until_takes_only_events_stamped_no_later)
{
    struct row {
        int seconds, microseconds;   // the time asked for
        bool taken;
    };
    const row rows[] = {
        {5, 500000, true}, {5, 499999, false}, {4, 999999, false}, {6, 0, true}, {5, 999999, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.seconds << "." << r.microseconds);
        event_queue q;
        event_queue_clear(&q);
        input_event out{};
        EXPECT_FALSE(event_queue_pop_until(&q, 100, 0, &out));
        event_queue_push(&q, ev(1, true, 5, 500000));
        event_queue_push(&q, ev(2, true, 5, 400000));   // not looked at before the first
        EXPECT_EQ(event_queue_pop_until(&q, r.seconds, r.microseconds, &out), r.taken);
        EXPECT_EQ(q.count, r.taken ? 1 : 2);
        if (r.taken) {
            EXPECT_EQ(out.code, 1u);
        }
    }
}

// Fills the queue with the given press flags, codes 0, 1, 2, ...
static void fill(event_queue* q, bool (*pressed_at)(int))
{
    event_queue_clear(q);
    q->head = 200;   // start part-way round the ring
    for (int i = 0; i < event_queue_size; i++)
        ASSERT_TRUE(event_queue_push(q, ev(static_cast<uint32_t>(i), pressed_at(i))));
}

TEST(event_queue_test, full_queue_drops_presses_but_never_releases)
{
    event_queue q;
    const uint32_t late = 9999;

    // A press into a full queue is dropped and changes nothing.
    fill(&q, [](int) { return true; });
    EXPECT_FALSE(event_queue_push(&q, ev(late, true)));
    auto all = drain(&q);
    ASSERT_EQ(all.size(), 256u);
    EXPECT_EQ(all.front().code, 0u);
    EXPECT_EQ(all.back().code, 255u);

    // A release pushes out the oldest press and goes last.
    fill(&q, [](int) { return true; });
    EXPECT_TRUE(event_queue_push(&q, ev(late, false)));
    all = drain(&q);
    ASSERT_EQ(all.size(), 256u);
    EXPECT_EQ(all.front().code, 1u);
    EXPECT_EQ(all.back().code, late);
    EXPECT_FALSE(all.back().pressed);

    // Releases ahead of the presses are kept; the oldest press goes.
    fill(&q, [](int i) { return i >= 3; });
    EXPECT_TRUE(event_queue_push(&q, ev(late, false)));
    all = drain(&q);
    ASSERT_EQ(all.size(), 256u);
    for (uint32_t i = 0; i < 3; i++)
        EXPECT_EQ(all[i].code, i);
    EXPECT_EQ(all[3].code, 4u);   // press 3 was pushed out
    EXPECT_EQ(all.back().code, late);

    // Only releases queued: the oldest release goes.
    fill(&q, [](int) { return false; });
    EXPECT_TRUE(event_queue_push(&q, ev(late, false)));
    all = drain(&q);
    ASSERT_EQ(all.size(), 256u);
    EXPECT_EQ(all.front().code, 1u);
    EXPECT_EQ(all.back().code, late);
}

// A burst far longer than the ring, read only afterwards: whatever is lost,
// no key the player let go may stay held for the game.
TEST(event_queue_test, a_long_burst_leaves_no_key_held)
{
    event_queue q;
    event_queue_clear(&q);
    const uint32_t throttle = control_key_base + 0x148;
    event_queue_push(&q, ev(throttle, true));
    uint32_t seed = 12345;
    std::set<uint32_t> down;   // keys physically held during the burst
    for (int i = 0; i < 3000; i++) {
        seed = seed * 1103515245u + 12345u;
        uint32_t key = control_key_base + (seed >> 16) % 20;
        bool press = down.count(key) == 0;
        if (press)
            down.insert(key);
        else
            down.erase(key);
        event_queue_push(&q, ev(key, press));
    }
    for (uint32_t key : down)
        event_queue_push(&q, ev(key, false));
    event_queue_push(&q, ev(throttle, false));

    std::set<uint32_t> held;   // what the game believes
    for (const input_event& e : drain(&q)) {
        if (e.pressed)
            held.insert(e.code);
        else
            held.erase(e.code);
    }
    EXPECT_TRUE(held.empty());
}

// ---------------------------------------------------------------------------
// Names

TEST(control_names_test, names_give_their_codes)
{
    struct row {
        const char* name;
        uint32_t code;
    };
    const row rows[] = {
        {"Right Ctrl", control_key_base + 0x11d},
        {"right ctrl", control_key_base + 0x11d},
        {"RIGHT_CTRL", control_key_base + 0x11d},
        {"right\tctrl", control_key_base + 0x11d},
        {"0x1e", control_key_base + 0x1e},
        {"A", control_key_base + 0x1e},
        {"a", control_key_base + 0x1e},
        {"Space", control_key_base + 0x39},
        {" ", control_key_base + 0x39},
        {"`", control_key_base + 0x29},
        {"\\", control_key_base + 0x2b},
        {"Keypad .", control_key_base + 0x53},
        {"keypad_enter", control_key_base + 0x11c},
        {"F12", control_key_base + 0x58},
        {"Mouse Left", control_mouse_left},
        {"mouse middle", control_mouse_middle},
        {"Mouse Right", control_mouse_right},
        {"Close", control_close},
        {"0x1ff", control_key_base + 0x1ff},
        {"0x200", control_none},
        {"0x", control_none},
        {"0x1g", control_none},
        {"Right  Ctrl", control_none},
        {"Right Ctrl ", control_none},
        {"nonsense", control_none},
        {"", control_none},
        {"Joystick1.key[300]", control_none},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string("'") + r.name + "'");
        EXPECT_EQ(control_by_name(nullptr, r.name), r.code);
    }
    EXPECT_EQ(control_by_name(nullptr, nullptr), control_none);
}

TEST(control_names_test, every_key_code_round_trips_through_its_interned_name)
{
    for (uint32_t code = control_key_base; code < control_key_base + 512; code++) {
        const char* name = control_name(nullptr, code);
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(name, intern_string(name));
        EXPECT_EQ(control_by_name(nullptr, name), code) << name;
    }
    EXPECT_STREQ(control_name(nullptr, control_key_base + 0x11d), "Right Ctrl");
    EXPECT_STREQ(control_name(nullptr, control_key_base + 0x39), "Space");
    EXPECT_STREQ(control_name(nullptr, control_key_base + 0x100), "0x100");
    for (uint32_t code : {control_mouse_left, control_mouse_middle, control_mouse_right, control_close})
        EXPECT_EQ(control_by_name(nullptr, control_name(nullptr, code)), code);
}

TEST(control_names_test, names_round_trip_to_the_same_text)
{
    for (const char* name : {"Esc", "0", "Backspace", "Q", "'", "Caps Lock", "Page Down", "Pause",
                             "Num Lock", "Keypad /", "Keypad Enter", "Keypad .", "Mouse Middle",
                             "Close"})
        EXPECT_EQ(control_name(nullptr, control_by_name(nullptr, name)), intern_string(name)) << name;
}

TEST(control_names_test, characters_and_unknown_devices_have_no_name)
{
    for (uint32_t code : {0u, 65u, 255u, 256u, control_key_base + 512, 0x10000u + 3, 0x7fff0000u})
        EXPECT_EQ(control_name(nullptr, code), nullptr) << code;
}

using alias_test = log_capture;

TEST_F(alias_test, aliases_stand_for_names_and_register_once)
{
    open();
    alias_add("vk-test-throttle", "Up");
    alias_add("vk-test-throttle", "Down");
    alias_add("vk-test-nothing", "no such key");
    EXPECT_EQ(control_by_name(nullptr, "vk-test-throttle"), control_key_base + 0x148);
    EXPECT_EQ(control_by_name(nullptr, "VK-TEST-THROTTLE"), control_none);   // aliases are exact
    EXPECT_EQ(control_by_name(nullptr, "vk-test-nothing"), control_none);

    input_register_window_aliases();
    input_register_window_aliases();   // a second window brings no complaints
    EXPECT_EQ(control_by_name(nullptr, "cursor-left"), control_mouse_left);
    EXPECT_EQ(control_by_name(nullptr, "cursor-middle"), control_mouse_middle);
    EXPECT_EQ(control_by_name(nullptr, "cursor-right"), control_mouse_right);

    std::string logged = text();
    EXPECT_NE(logged.find("] Second alias for 'vk-test-throttle' ('Down') ignored\n"),
              std::string::npos);
    EXPECT_EQ(logged.find("cursor-"), std::string::npos);
}
