// Tests of the main loop on the headless back end: pacing, catch-up ticks,
// events matched to ticks by their stamps, menus, views.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/tick.h"
#include "core/main_loop.h"
#include "core/startup_options.h"
#include "platform/headless.h"
#include "race/race_state.h"
#include "ui/settings.h"

constexpr uint32_t throttle_code = control_key_base + 0x2d;   // "X"
constexpr uint32_t esc_code = control_key_base + 0x01;
constexpr uint32_t pause_code = control_key_base + 0x45;

struct LoopTest : testing::Test {
    static LoopTest* current;
    loop_state L;
    int ticks = 0;
    std::vector<float> throttle;   // throttle applied at each tick
    int editor_left = 0;
    char fake_bike = 0;

    void configure(double frame_cost)
    {
        headless_settings hs{};
        hs.width = 640;
        hs.height = 480;
        hs.frame_cost = frame_cost;
        headless_configure(hs);
        kobu_window* w = window_open_gl("Vortrak", 640, 480, 16, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        loop_init(&L, w);
    }

    void SetUp() override
    {
        current = this;
        platform_install(&headless_window_ops);
        startup_options_defaults(&opts);
        settings_set_defaults(&settings);
        memset(&ui_state, 0, sizeof ui_state);
        ui_state.menu_screen = -1;
        ui_state.selected_camera = -1;
        race_clear_slots();
        race.current_track = "test";
        race.driver_kind[0] = driver_local;
        race.bikes[0] = reinterpret_cast<bike*>(&fake_bike);   // never dereferenced
        hooks = {};
        hooks.run_tick = [] { current->ticks++; race.tick++; };
        hooks.apply_controls = [](int, const rider_controls& c) {
            current->throttle.push_back(c.throttle);
        };
        hooks.leave_editor = [] { current->editor_left++; };
        memset(&bindings, 0, sizeof bindings);
        for (binding_row& r : bindings.rows)
            r.code = control_none;
        for (uint32_t& c : bindings.singles)
            c = control_none;
        for (uint32_t& c : bindings.menu_keys)
            c = control_none;
        bindings.rows[2] = {throttle_code, control_throttle, +1, 0};
        bindings.menu_keys[key_esc] = esc_code;
        bindings.singles[bind_pause] = pause_code;
        configure(0.001);
    }

    int run_passes(int n)
    {
        int before = ticks;
        for (int i = 0; i < n; i++)
            loop_pass(&L);
        return ticks - before;
    }
};
LoopTest* LoopTest::current = nullptr;

TEST_F(LoopTest, ALongFrameAdvancesSixteenTicks)
{
    configure(0.5);
    EXPECT_EQ(run_passes(1), 16);
    EXPECT_EQ(run_passes(1), 16);
}

TEST_F(LoopTest, ShortFramesSleepToAtLeastOneTick)
{
    configure(0.0);
    // Each pass sleeps about one tick period (to the clock's microsecond),
    // so 128 passes take a second and run 128 ticks, or 129 when the
    // rounding of the sleeps put the clock just past the 128th.
    int n = run_passes(128);
    EXPECT_NEAR(headless_clock(), 1.0, 1e-4);
    EXPECT_GE(n, 128);
    EXPECT_LE(n, 129);
}

TEST_F(LoopTest, LockedFrameRateRunsExactlyTheRightTicks)
{
    for (double cost : {0.0, 0.004, 0.02}) {
        configure(cost);
        opts.lock_fps = 30;
        EXPECT_EQ(run_passes(30), 128) << cost;
        EXPECT_EQ(run_passes(300), 1280) << cost;
    }
    configure(0.001);
    opts.lock_fps = 60;
    EXPECT_EQ(run_passes(600), 1280);
}

TEST_F(LoopTest, WarpRunsAHundredTicksPerFrame)
{
    configure(2.0);
    opts.warp = 1;
    EXPECT_EQ(run_passes(3), 300);
}

TEST_F(LoopTest, PausedClockRunsOnButNoTicksAndNoBacklog)
{
    configure(0.05);
    L.paused = true;
    EXPECT_EQ(run_passes(10), 0);
    EXPECT_NEAR(L.sim_clock, L.target_clock, tick_period);
    L.paused = false;
    int n = run_passes(1);
    EXPECT_GE(n, 6);
    EXPECT_LE(n, 7);
}

TEST_F(LoopTest, PauseKeyTogglesOfflineOnly)
{
    configure(0.05);
    run_passes(1);
    double t = headless_clock();
    headless_push_event(pause_code, true, t);
    headless_push_event(pause_code, false, t);
    run_passes(1);
    EXPECT_TRUE(L.paused);
    EXPECT_EQ(run_passes(2), 0);
    ui_state.server_address_set = true;
    headless_push_event(pause_code, true, headless_clock());
    EXPECT_GT(run_passes(1), 0);   // a server address unpauses and pause is refused
}

// A key pressed and released inside one frame drives exactly the ticks whose
// due times lie between the two stamps.
TEST_F(LoopTest, EventsAreMatchedToTicksByTheirStamps)
{
    configure(0.1);
    run_passes(1);
    throttle.clear();
    double frame_start = headless_clock();
    double press = frame_start + 0.030, release = frame_start + 0.061;
    headless_push_event(throttle_code, true, press);
    headless_push_event(throttle_code, false, release);
    double s0 = L.sim_clock;
    run_passes(1);
    double now = L.last_frame_time, target = L.target_clock;
    ASSERT_EQ(throttle.size(), static_cast<size_t>(std::lround((L.sim_clock - s0) / tick_period)));
    int held = 0;
    for (size_t k = 0; k < throttle.size(); k++) {
        double due = now - (target - (s0 + (k + 1) * tick_period));
        float expect = (due >= press && due < release) ? 1.0f : 0.0f;
        EXPECT_EQ(throttle[k], expect) << "tick " << k;
        held += throttle[k] > 0;
    }
    EXPECT_GE(held, 3);   // 31 ms of throttle at 7.8 ms per tick
    EXPECT_LE(held, 4);
}

TEST_F(LoopTest, AMenuStopsTheGameOnlyWhenPlayingAlone)
{
    configure(0.05);
    ui_state.menu_screen = 0;
    EXPECT_EQ(run_passes(4), 0);
    ui_state.server_address_set = true;
    EXPECT_GT(run_passes(4), 0);
}

TEST_F(LoopTest, EscapeOpensAndClosesMenus)
{
    configure(0.02);
    struct { int before, after; } cases[] = {{-1, 0}, {0, -1}, {5, -1}, {14, 14}};
    for (auto& c : cases) {
        ui_state.menu_screen = c.before;
        ui_state.menu_item = 3;
        headless_push_event(esc_code, true, headless_clock());
        run_passes(1);
        EXPECT_EQ(ui_state.menu_screen, c.after) << c.before;
        EXPECT_EQ(ui_state.menu_item, 0);
    }
}

TEST_F(LoopTest, DigitKeysSelectTrackCameras)
{
    configure(0.02);
    ui_state.track_camera_count = 3;
    struct { char key; int camera; } cases[] = {{'2', 1}, {'0', -1}, {'7', 2}, {'3', 2}, {'1', 0}};
    for (auto& c : cases) {
        headless_push_event(static_cast<uint32_t>(c.key), true, headless_clock());
        run_passes(1);
        EXPECT_EQ(ui_state.selected_camera, c.camera) << c.key;
    }
}

TEST_F(LoopTest, TabCyclesTheViews)
{
    configure(0.02);
    opts.editor_enabled = 1;
    race.driver_kind[0] = driver_robot;   // a non-local viewed rider keeps every mode
    view_mode_t expect[] = {view_editor, view_orbit, view_track_camera, view_ride};
    for (view_mode_t m : expect) {
        headless_push_event(9, true, headless_clock());
        run_passes(1);
        EXPECT_EQ(L.view_mode, m);
    }
    EXPECT_EQ(editor_left, 1);
    opts.editor_enabled = 0;
    view_cycle(&L, false);
    EXPECT_EQ(L.view_mode, view_orbit);
}

TEST_F(LoopTest, ViewModeFollowsTheRace)
{
    L.view_mode = view_track_camera;
    resolve_view_mode(&L);
    EXPECT_EQ(L.view_mode, view_ride);   // a local rider rides
    race.bikes[0] = nullptr;
    resolve_view_mode(&L);
    EXPECT_EQ(L.view_mode, view_track_camera);
    race.current_track = nullptr;
    resolve_view_mode(&L);
    EXPECT_EQ(L.view_mode, view_title);
    EXPECT_EQ(run_passes(3), 0);   // no ticks on the title
}

TEST_F(LoopTest, ClosedWindowEndsTheLoop)
{
    headless_settings hs{};
    hs.width = 320;
    hs.height = 200;
    hs.frame_cost = 0.01;
    hs.close_after_frames = 3;
    headless_configure(hs);
    loop_init(&L, window_open_gl("Vortrak", 320, 200, 16, 0, 16, 0, 0));
    loop_run(&L);
    EXPECT_EQ(headless_frames_drawn(), 3);
    EXPECT_EQ(settings.xres, 320);   // windowed size follows the drawable
}

TEST(NetTimeScale, CatchesUpAndSlowsDown)
{
    struct { double lag; bool before_start; double scale; } cases[] = {
        {0.5, true, 2.5}, {2.0, true, 4.0}, {0.05, false, 1.05}, {1.0, false, 1.125},
        {0.0, false, 1.0}, {-0.5, false, 0.75}, {-3.0, true, 0.5},
    };
    for (auto& c : cases)
        EXPECT_NEAR(net_time_scale(c.lag, c.before_start), c.scale, 1e-12) << c.lag;
}

TEST(FrameHistogram, BucketsDoubleFromOneTick)
{
    EXPECT_EQ(histogram_bucket(0.0), 0);
    EXPECT_EQ(histogram_bucket(tick_period * 0.99), 0);
    EXPECT_EQ(histogram_bucket(tick_period), 1);
    EXPECT_EQ(histogram_bucket(tick_period * 3), 2);
    EXPECT_EQ(histogram_bucket(tick_period * 63), 6);
    EXPECT_EQ(histogram_bucket(tick_period * 64), 7);
    EXPECT_EQ(histogram_bucket(10.0), 7);
}
