// window_test.cpp -- the headless back end's clock, frames, window and
// events, and the "none" back end with the real clock.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "platform/headless.h"
#include "platform/window.h"

using headless_test = log_capture;

static double now()
{
    int s = -1, u = -1;
    clock_now(&s, &u);
    return s + u / 1e6;
}

TEST_F(headless_test, clock_moves_only_by_sleeping_and_frames)
{
    EXPECT_EQ(now(), 0.0);
    EXPECT_EQ(now(), 0.0);   // reading does not move it
    sleep_until_elapsed(1, 250000);
    EXPECT_DOUBLE_EQ(headless_clock(), 1.25);
    sleep_seconds(0.5);
    EXPECT_DOUBLE_EQ(clock_seconds(), 1.75);
    sleep_until_elapsed(-3, 0);
    sleep_seconds(-1.0);
    EXPECT_DOUBLE_EQ(headless_clock(), 1.75);

    headless_set_clock(3725.5);
    int s = 0, u = 0;
    clock_now(&s, &u);
    EXPECT_EQ(s, 3725);
    EXPECT_EQ(u, 500000);
    headless_advance_clock(0.75);
    clock_now(&s, &u);
    EXPECT_EQ(s, 3726);
    EXPECT_EQ(u, 250000);
}

TEST_F(headless_test, frames_are_refused_then_drawn_and_charged)
{
    headless_settings set;
    set.width = 320;
    set.height = 200;
    set.frame_cost = 0.25;
    set.undrawable_frames = 2;
    headless_configure(set);
    kobu_window* w = window_open_gl("Vortrak", 0, 0, 16, 0, 16, 0, 0);
    ASSERT_NE(w, nullptr);

    EXPECT_EQ(frame_begin(w), nullptr);
    EXPECT_EQ(frame_begin(w), nullptr);
    EXPECT_FALSE(frame_end(w));   // no frame was begun: nothing drawn, no time charged
    EXPECT_EQ(headless_clock(), 0.0);
    const frame_desc* f = frame_begin(w);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->x, 0);
    EXPECT_EQ(f->y, 0);
    EXPECT_EQ(f->width, 320);
    EXPECT_EQ(f->height, 200);
    EXPECT_EQ(frame_begin(w), nullptr);   // one frame at a time
    EXPECT_TRUE(frame_end(w));
    EXPECT_DOUBLE_EQ(headless_clock(), 0.25);
    EXPECT_EQ(headless_frames_drawn(), 1);
    EXPECT_EQ(video_modes()[0].width, 320);
    EXPECT_EQ(video_modes()[1].width, 0);
    window_close(w);
    EXPECT_EQ(frame_begin(w), nullptr);
}

TEST_F(headless_test, window_reports_closed_at_the_chosen_frame)
{
    headless_settings set;
    set.close_after_frames = 3;
    headless_configure(set);
    kobu_window* w = window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0);
    ASSERT_NE(w, nullptr);
    bool results[3];
    for (bool& r : results) {
        ASSERT_NE(frame_begin(w), nullptr);
        r = frame_end(w);
    }
    EXPECT_TRUE(results[0]);
    EXPECT_TRUE(results[1]);
    EXPECT_FALSE(results[2]);
    EXPECT_EQ(frame_begin(w), nullptr);
    EXPECT_EQ(headless_frames_drawn(), 3);
    window_close(w);
}

TEST_F(headless_test, failed_or_second_open_is_logged)
{
    open();
    headless_settings set;
    set.fail_open = true;
    headless_configure(set);
    EXPECT_EQ(window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0), nullptr);
    headless_configure({});
    kobu_window* w = window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0), nullptr);
    window_close(w);
    std::string logged = text();
    size_t first = logged.find("] Can't create window!\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(logged.find("] Can't create window!\n", first + 1), std::string::npos);
}

TEST_F(headless_test, scripted_events_arrive_by_their_stamps)
{
    const uint32_t throttle = control_key_base + 0x148;
    ASSERT_TRUE(headless_push_event(throttle, true, 0.1));
    ASSERT_TRUE(headless_push_event(throttle, false, 0.3));
    input_event e{};
    EXPECT_FALSE(event_next_until(nullptr, 0, 99999, &e));
    ASSERT_TRUE(event_next_until(nullptr, 0, 200000, &e));
    EXPECT_EQ(e.code, throttle);
    EXPECT_TRUE(e.pressed);
    EXPECT_EQ(e.microseconds, 100000);
    EXPECT_FALSE(event_next_until(nullptr, 0, 200000, &e));
    ASSERT_TRUE(event_next(nullptr, &e));
    EXPECT_FALSE(e.pressed);
    EXPECT_EQ(e.seconds, 0);
    EXPECT_EQ(e.microseconds, 300000);
    EXPECT_FALSE(event_next(nullptr, &e));

    headless_push_event(throttle, true, 1.0);
    headless_configure({});   // a new script starts empty
    EXPECT_FALSE(event_next(nullptr, &e));
}

// ---------------------------------------------------------------------------
// The "none" back end

using none_test = log_capture;

static long long micros()
{
    int s = 0, u = 0;
    clock_now(&s, &u);
    return s * 1000000LL + u;
}

TEST_F(none_test, no_window_can_be_opened)
{
    platform_install(nullptr);
    EXPECT_STREQ(platform_current()->name, "none");
    open();
    EXPECT_EQ(video_modes()[0].width, 0);
    EXPECT_EQ(video_modes()[0].bits, 0);
    EXPECT_EQ(window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0), nullptr);
    EXPECT_EQ(frame_begin(nullptr), nullptr);
    input_event e{};
    EXPECT_FALSE(event_next(nullptr, &e));
    std::string logged = text();
    EXPECT_NE(logged.find("] Can't create window!\n"), std::string::npos);
    EXPECT_NE(logged.find("] No window back end is built into this program\n"), std::string::npos);
}

TEST_F(none_test, real_sleep_waits_at_least_the_time_asked)
{
    platform_install(nullptr);
    struct row {
        int seconds, microseconds;
    };
    for (row r : {row{0, 0}, row{0, 1500}, row{0, 30000}, row{0, 7812}}) {
        SCOPED_TRACE(r.microseconds);
        long long want = r.seconds * 1000000LL + r.microseconds;
        long long start = micros();
        sleep_until_elapsed(r.seconds, r.microseconds);
        long long took = micros() - start;
        EXPECT_GE(took, want);
        EXPECT_LT(took, want + 500000);
    }
    double a = clock_seconds();
    long long b = micros();
    EXPECT_NEAR(a, b / 1e6, 0.1);   // both read the system clock
}
