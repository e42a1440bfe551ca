// main_loop.cpp -- frame pacing, catch-up ticks, input and view modes.
//
// Time: the platform clock gives "now".  Each pass adds the frame step s to
// target_clock; ticks run while sim_clock lags behind it.  target_clock is a
// sum of arbitrary steps (1/30 s under "--lock-fps" 30, say) and sim_clock a
// sum of exact 1/128 s steps, so they are compared with a small tolerance:
// 30 frames of 1/30 s run exactly 128 ticks, never 127 or 129.
#include "core/main_loop.h"

#include <cmath>
#include <cstring>

#include "base/tick.h"
#include "core/startup_options.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/window.h"
#include "race/race_state.h"
#include "ui/settings.h"

game_ui_state ui_state;
control_bindings bindings;
loop_hooks hooks;

constexpr double max_frame_step = 0.125;     // seconds of game time one frame may advance
constexpr double warp_step_ticks = 100;      // ticks per frame under "--warp"
constexpr double clock_tolerance = 1e-7;     // seconds: clocks this close are equal
constexpr float orbit_step = 1.0f / 64;      // feet per tick of orbit zoom
constexpr float orbit_min_distance = 0.25f;
constexpr float clutch_rise_rate = 4.0f;     // engagement per second, at most
constexpr float free_camera_accel = 80.0f;   // ft/s per second
constexpr float free_camera_decay = 60.0f;   // ft/s per second
constexpr float free_camera_max_speed = 100.0f;
constexpr float free_camera_clearance = 2.0f;
constexpr uint32_t key_tab = 9;              // typed character codes
constexpr uint32_t key_digit_0 = '0';
constexpr int menu_screen_console = 16;
constexpr int menu_screen_unclosable = 14;
constexpr int menu_screen_main = 0;

static double clock_now_seconds()
{
    int s, us;
    clock_now(&s, &us);
    return s + us * 1e-6;
}

// The due time as the queue's seconds and microseconds, rounded down.
static void split_time(double t, int* seconds, int* microseconds)
{
    double whole = std::floor(t);
    *seconds = static_cast<int>(whole);
    *microseconds = static_cast<int>((t - whole) * 1e6);
    if (*microseconds > 999999)
        *microseconds = 999999;
}

static bool viewed_is_local()
{
    int v = race.viewed_slot;
    return v >= 0 && v < max_slots && race.driver_kind[v] == driver_local;
}

static bool viewed_has_bike()
{
    int v = race.viewed_slot;
    return v >= 0 && v < max_slots && race.bikes[v] != nullptr;
}

static bool menu_shown() { return ui_state.menu_screen >= 0; }

void loop_init(loop_state* L, kobu_window* w)
{
    memset(L, 0, sizeof *L);
    L->view_mode = view_ride;
    L->orbit_angle = 0;
    L->orbit_distance = 10;
    L->orbit_height = 5;
    L->capture_row = -1;
    L->window = w;
    L->last_frame_time = clock_now_seconds();
    ui_state.frame_step_min = 1e30;
    ui_state.frame_step_max = 0;
}

int histogram_bucket(double elapsed)
{
    for (int k = 0; k < 7; k++)
        if (elapsed < std::ldexp(tick_period, k))
            return k;
    return 7;
}

double frame_pacing(loop_state* L, double* now_out)
{
    bool first = true;
    for (;;) {
        double now = clock_now_seconds();
        double elapsed = now - L->last_frame_time;
        if (first)
            ui_state.frame_histogram[histogram_bucket(elapsed)]++;
        first = false;
        if (!ui_state.connected && opts.lock_fps > 0) {
            double period = 1.0 / opts.lock_fps;
            if (elapsed < period)
                sleep_seconds(period - elapsed);
            *now_out = clock_now_seconds();
            return period;
        }
        if (!ui_state.connected && opts.warp) {
            *now_out = now;
            return warp_step_ticks * tick_period;
        }
        if (elapsed >= tick_period) {
            *now_out = now;
            return elapsed < max_frame_step ? elapsed : max_frame_step;
        }
        sleep_seconds(tick_period - elapsed);
    }
}

static double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double net_time_scale(double lag, bool before_start)
{
    if (lag >= 0)
        return before_start ? 1 + 3 * clamp01(lag) : 1 + 0.125 * clamp01(8 * lag);
    return 0.5 + 0.5 * clamp01(lag + 1);
}

void resolve_view_mode(loop_state* L)
{
    if (L->view_mode == view_title && race.current_track)
        L->view_mode = view_ride;
    if (viewed_is_local() && L->view_mode != view_editor && L->view_mode != view_ride &&
        L->view_mode != view_orbit)
        L->view_mode = view_ride;
    if (!viewed_has_bike())
        L->view_mode = view_track_camera;
    if (!race.current_track)
        L->view_mode = view_title;
}

void view_cycle(loop_state* L, bool editor_enabled)
{
    switch (L->view_mode) {
    case view_ride:
        L->view_mode = editor_enabled ? view_editor : view_orbit;
        break;
    case view_editor:
        if (hooks.leave_editor)
            hooks.leave_editor();
        L->view_mode = view_orbit;
        break;
    case view_orbit:
        L->view_mode = view_track_camera;
        break;
    case view_track_camera:
        L->view_mode = view_ride;
        break;
    case view_title:
        break;
    }
}

// The row of the standings that holds slot, or one past the last row.
static int standings_row_of(int slot)
{
    for (int i = 0; i < race.standing_count; i++)
        if (race.standings[i].slot == slot)
            return i;
    return race.standing_count;
}

static void step_viewed_slot(int direction)
{
    if (viewed_is_local() && !ui_state.warmup && !settings.spy)
        return;
    if (race.standing_count == 0)
        return;
    int row = standings_row_of(race.viewed_slot) + direction;
    if (row < 0)
        row = 0;
    if (row >= race.standing_count)
        row = race.standing_count - 1;
    race.viewed_slot = race.standings[row].slot;
}

static bool is_single(uint32_t code, single_binding b)
{
    return code != control_none && bindings.singles[b] == code;
}

static void run_one_tick()
{
    if (hooks.run_tick)
        hooks.run_tick();
    else
        race.tick++;
}

static void riding_key(loop_state* L, uint32_t code)
{
    if (is_single(code, bind_console) && L->view_mode != view_editor) {
        ui_state.menu_screen = menu_screen_console;
        ui_state.menu_item = 0;
        return;
    }
    if (L->view_mode == view_title)
        return;
    if (L->view_mode == view_editor && hooks.editor_key && hooks.editor_key(code))
        return;
    if (is_single(code, bind_pause) && !ui_state.server_address_set)
        L->paused = !L->paused;
    else if (is_single(code, bind_step) && L->paused)
        run_one_tick();
    else if (code == key_tab)
        view_cycle(L, opts.editor_enabled);
    else if (is_single(code, bind_rewind)) {
        if (hooks.demo_skip) hooks.demo_skip(-1);
    } else if (is_single(code, bind_skip)) {
        if (hooks.demo_skip) hooks.demo_skip(+1);
    } else if (is_single(code, bind_prev))
        step_viewed_slot(-1);
    else if (is_single(code, bind_next))
        step_viewed_slot(+1);
    else if (is_single(code, bind_screenshot) && L->view_mode != view_editor) {
        if (hooks.screenshot) hooks.screenshot();
    } else if (code >= key_digit_0 && code <= key_digit_0 + 9) {
        int digit = static_cast<int>(code - key_digit_0);
        int n = ui_state.track_camera_count;
        ui_state.selected_camera = (digit < n ? digit : n) - 1;
    }
}

static void after_menu_event(loop_state* L)
{
    if (!race.current_track)
        L->view_mode = view_title;
}

static void handle_event(loop_state* L, const input_event& e, int menu_at_tick_start)
{
    if (ui_state.menu_screen != menu_at_tick_start)
        ui_state.menu_changed = true;
    for (binding_row& row : bindings.rows)
        if (row.code != control_none && row.code == e.code)
            row.value = e.pressed ? 1.0f : 0.0f;
    if (e.code == bindings.menu_keys[key_cursor_left])
        L->mouse_held = e.pressed;
    // The window's close button asks the game to end, as a quit would.
    if (e.code == control_close && e.pressed) {
        ui_state.quit_requested = true;
        return;
    }
    if (L->capture_row >= 0) {
        if (e.pressed) {
            if (e.code != bindings.menu_keys[key_esc])
                bindings.rows[L->capture_row].code = e.code;
            L->capture_row = -1;
            if (opts.debug_level >= 1)
                log_printf("Done watching pots\n");
        }
        return;
    }
    if (e.pressed && e.code == bindings.menu_keys[key_esc]) {
        if (!menu_shown())
            ui_state.menu_screen = menu_screen_main;
        else if (ui_state.menu_screen != menu_screen_unclosable)
            ui_state.menu_screen = -1;
        ui_state.menu_item = 0;
        after_menu_event(L);
        return;
    }
    if (menu_shown()) {
        if (e.pressed && hooks.menu_key)
            hooks.menu_key(e.code, true);
        after_menu_event(L);
        return;
    }
    if (e.pressed)
        riding_key(L, e.code);
}

// Rising edge of the dab control through 0.5.
static bool dab_rose(bool* was_down, float value)
{
    bool down = value > 0.5f;
    bool rose = down && !*was_down;
    *was_down = down;
    return rose;
}

static void apply_local_controls(loop_state* L)
{
    const float* c = L->control_values;
    if (hooks.in_time_trial && hooks.in_time_trial() && c[control_back_up] > 0.5f &&
        settings.time_trial_abort && hooks.time_trial_reset)
        hooks.time_trial_reset();
    int slot = race.viewed_slot;
    rider_controls rc;
    rc.steer = c[control_steer];
    if (hooks.reverse_steering && hooks.reverse_steering(slot))
        rc.steer = -rc.steer;
    rc.front_brake = c[control_front_brake];
    rc.rear_brake = c[control_rear_brake];
    rc.throttle = c[control_throttle];
    if (dab_rose(&L->dab_was_down, c[control_dab]))
        L->dab_latch = !L->dab_latch;
    rc.dab = settings.sticky_dab ? (L->dab_latch ? 1.0f : 0.0f) : c[control_dab];
    rc.back_up = c[control_back_up];
    rc.lean = c[control_lean];
    float target = static_cast<float>(clamp01(1.0 - c[control_clutch] * 8.0 / 7.0));
    float current = hooks.clutch_engagement ? hooks.clutch_engagement(slot) : target;
    rc.clutch = target > current ? current + clutch_rise_rate * static_cast<float>(tick_period)
                                 : target;
    rc.shift = c[control_shift] > 0.5f ? 1 : (c[control_shift] < -0.5f ? -1 : 0);
    if (hooks.apply_controls)
        hooks.apply_controls(slot, rc);
}

static void orbit_controls(loop_state* L)
{
    const float* c = L->control_values;
    const float pi = 3.14159265358979f;
    L->orbit_angle += c[control_steer] * 2 * pi / 1024;
    if (L->orbit_angle > pi) L->orbit_angle -= 2 * pi;
    if (L->orbit_angle < -pi) L->orbit_angle += 2 * pi;
    if (c[control_throttle] > 0.5f) {
        L->orbit_distance -= orbit_step;
        if (L->orbit_distance < orbit_min_distance)
            L->orbit_distance = orbit_min_distance;
    }
    if (c[control_front_brake] > 0.5f)
        L->orbit_distance += orbit_step;
    L->orbit_height += static_cast<float>(tick_period) * c[control_shift];
}

static void free_camera_travel(loop_state* L)
{
    const float* c = L->control_values;
    auto& cam = ui_state.free_camera;
    float step = free_camera_accel * static_cast<float>(tick_period);
    if (c[control_throttle] > 0.5f && (cam.speed += step) > free_camera_max_speed)
        cam.speed = free_camera_max_speed;
    if (c[control_front_brake] > 0.5f && (cam.speed -= step) < -free_camera_max_speed)
        cam.speed = -free_camera_max_speed;
    float decay = free_camera_decay * static_cast<float>(tick_period);
    cam.speed = cam.speed > decay ? cam.speed - decay : (cam.speed < -decay ? cam.speed + decay : 0);
    if (std::fabs(cam.speed) <= 0.0001f)
        return;
    float d = cam.speed * static_cast<float>(tick_period);
    cam.position.x += d * std::sin(cam.heading) * std::cos(cam.pitch);
    cam.position.y += d * std::sin(cam.pitch);
    cam.position.z += d * std::cos(cam.heading) * std::cos(cam.pitch);
    if (hooks.ground_height) {
        float ground = hooks.ground_height(cam.position.x, cam.position.z);
        if (std::isfinite(ground) && cam.position.y < ground + free_camera_clearance)
            cam.position.y = ground + free_camera_clearance;
    }
}

static void track_camera_controls(loop_state* L)
{
    if (dab_rose(&L->camera_dab_was_down, L->control_values[control_dab]))
        ui_state.auto_camera = !ui_state.auto_camera;
    if (ui_state.selected_camera < 0)
        free_camera_travel(L);
}

// One tick's input and simulation; returns after the tick or its skip.
static void one_tick(loop_state* L, double due, bool due_now)
{
    memset(L->control_values, 0, sizeof L->control_values);
    int menu_at_start = ui_state.menu_screen;
    input_event e;
    int s, us;
    split_time(due, &s, &us);
    while (due_now ? event_next(L->window, &e) : event_next_until(L->window, s, us, &e))
        handle_event(L, e, menu_at_start);

    for (const binding_row& row : bindings.rows)
        L->control_values[row.control] += row.sign * row.value;

    if (menu_shown() && viewed_is_local() && !ui_state.server_address_set)
        return;
    if (L->view_mode == view_editor) {
        if (hooks.editor_tick)
            hooks.editor_tick();
        if (!ui_state.server_address_set)
            return;
        L->paused = false;
    } else if (!menu_shown() && race.current_track) {
        if (viewed_is_local())
            apply_local_controls(L);
        else if (L->view_mode == view_orbit)
            orbit_controls(L);
        else if (L->view_mode == view_track_camera)
            track_camera_controls(L);
        if (ui_state.server_address_set)
            L->paused = false;
    }
    if (hooks.net_step)
        hooks.net_step();
    if (!race.current_track)
        L->view_mode = view_title;
    if (L->paused || L->view_mode == view_title ||
        (ui_state.connected && ui_state.server_tick_estimate < 1))
        return;
    run_one_tick();
}

void catch_up_ticks(loop_state* L, double now)
{
    while (L->sim_clock < L->target_clock - clock_tolerance) {
        L->sim_clock += tick_period;
        double behind = L->target_clock - L->sim_clock;
        bool due_now = behind <= clock_tolerance;
        one_tick(L, due_now ? now : now - behind, due_now);
    }
}

static void draw_pass(loop_state* L)
{
    const frame_desc* f = frame_begin(L->window);
    if (!f)
        return;
    L->viewport_width = f->width;
    L->viewport_height = f->height;
    if (!ui_state.fullscreen) {
        settings.xres = f->width;
        settings.yres = f->height;
    }
    if (hooks.draw && f->height > 0)
        hooks.draw(L->view_mode, f->width, f->height);
    if (!frame_end(L->window))
        ui_state.quit_requested = true;
}

bool loop_pass(loop_state* L)
{
    if (ui_state.quit_requested)
        return false;
    resolve_view_mode(L);
    draw_pass(L);
    if (ui_state.quit_requested)
        return false;

    double now;
    double s = frame_pacing(L, &now);
    if (s < ui_state.frame_step_min) ui_state.frame_step_min = s;
    if (s > ui_state.frame_step_max) ui_state.frame_step_max = s;
    if (ui_state.connected) {
        double lag = (ui_state.server_tick_estimate - race.tick - 1) * tick_period;
        s *= net_time_scale(lag, race.tick < ui_state.race_start_tick);
    }
    L->target_clock += s;
    ui_state.game_clock += s;
    L->last_frame_time = now;

    ui_state.menu_changed = false;
    catch_up_ticks(L, now);

    if (opts.warp && L->view_mode != view_title && hooks.warp_race_done &&
        hooks.warp_race_done() && hooks.warp_restart)
        hooks.warp_restart();
    if (hooks.frame_done)
        hooks.frame_done();
    return !ui_state.quit_requested;
}

void loop_run(loop_state* L)
{
    while (loop_pass(L)) {
    }
}
