// headless.cpp -- the window back end without a display.
//
// Owns one fake window and a fake clock kept in whole microseconds.  The
// clock moves only through sleep_until_elapsed, the frame_cost charged by
// frame_end, and the headless_* calls of the tests; it never moves by
// itself, so runs are repeatable.  Events come from headless_push_event
// through an event_queue (input.h), with its overflow rule.  All state sits
// under one lock because the log reads the clock from any thread; nothing
// here logs while holding it.
#include "platform/headless.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "platform/log.h"

constexpr int64_t micro_per_second = 1000000;

// The window handed out; kobu_window stays opaque to the game.
struct headless_window {
    bool open;          // between window_open_gl and window_close
    bool in_frame;      // between a granted frame_begin and its frame_end
    bool closed;        // frame_end has reported the window closed
    frame_desc frame;   // what frame_begin hands out
};

static std::mutex headless_lock;
static headless_settings settings;     // as configured
static int64_t fake_micros = 0;        // the fake clock
static int refusals_left = 0;          // frame_begin calls still to refuse
static int frames_drawn = 0;           // completed frame_begin/frame_end pairs
static event_queue queue = {};         // scripted events
static headless_window window = {};
static video_mode modes[2] = {};       // the drawable's size, then the end entry

static int64_t to_micros(double seconds)
{
    if (!(seconds == seconds))   // NaN
        return 0;
    double us = seconds * 1e6;
    if (us > 9.0e18)
        return INT64_MAX / 2;
    if (us < -9.0e18)
        return -INT64_MAX / 2;
    return std::llround(us);
}

static void split_micros(int64_t us, int* seconds, int* microseconds)
{
    int64_t s = us / micro_per_second;
    int64_t u = us % micro_per_second;
    if (u < 0) {
        u += micro_per_second;
        s--;
    }
    if (s > INT_MAX)
        s = INT_MAX;
    if (s < INT_MIN)
        s = INT_MIN;
    if (seconds)
        *seconds = static_cast<int>(s);
    if (microseconds)
        *microseconds = static_cast<int>(u);
}

static void advance_locked(int64_t us)
{
    if (us > 0)
        fake_micros += us;
}

// ---------------------------------------------------------------------------
// Window operations

static const video_mode* headless_video_modes()
{
    std::lock_guard<std::mutex> hold(headless_lock);
    modes[0] = {settings.width, settings.height, 32};
    modes[1] = {0, 0, 0};
    return modes;
}

static kobu_window* headless_window_open_gl(const char*, int, int, int, int, int, int, int)
{
    bool opened = false, busy = false;
    {
        std::lock_guard<std::mutex> hold(headless_lock);
        busy = window.open;
        if (!settings.fail_open && !busy) {
            window = {};
            window.open = true;
            window.frame = {0, 0, settings.width, settings.height, {0, 0}};
            opened = true;
        }
    }
    if (!opened) {
        log_printf("Can't create window!\n");
        if (busy)
            log_printf("The headless window is already open\n");
        return nullptr;
    }
    input_register_window_aliases();
    return reinterpret_cast<kobu_window*>(&window);
}

static headless_window* own(kobu_window* w)
{
    headless_window* h = reinterpret_cast<headless_window*>(w);
    return h == &window && window.open ? h : nullptr;
}

static void headless_window_close(kobu_window* w)
{
    {
        std::lock_guard<std::mutex> hold(headless_lock);
        headless_window* h = own(w);
        if (!h)
            return;
        *h = {};
    }
    log_printf("Window shutdown complete\n");
}

static void headless_window_switch_mode(kobu_window*, int, int, bool) {}

static const frame_desc* headless_frame_begin(kobu_window* w)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    headless_window* h = own(w);
    if (!h || h->closed || h->in_frame)
        return nullptr;
    if (refusals_left > 0) {
        refusals_left--;
        return nullptr;
    }
    h->in_frame = true;
    h->frame.width = settings.width;
    h->frame.height = settings.height;
    return &h->frame;
}

static bool headless_frame_end(kobu_window* w)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    headless_window* h = own(w);
    if (!h || !h->in_frame)
        return false;
    h->in_frame = false;
    advance_locked(to_micros(settings.frame_cost));
    frames_drawn++;
    if (settings.close_after_frames > 0 && frames_drawn >= settings.close_after_frames)
        h->closed = true;
    return !h->closed;
}

static void headless_clock_now(int* seconds, int* microseconds)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    split_micros(fake_micros, seconds, microseconds);
}

static void headless_sleep_until_elapsed(int seconds, int microseconds)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    advance_locked(static_cast<int64_t>(seconds) * micro_per_second + microseconds);
}

static bool headless_event_next(kobu_window*, input_event* out)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    return event_queue_pop(&queue, out);
}

static bool headless_event_next_until(kobu_window*, int seconds, int microseconds,
                                      input_event* out)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    return event_queue_pop_until(&queue, seconds, microseconds, out);
}

const window_ops headless_window_ops = {
    "headless",
    headless_video_modes,
    headless_window_open_gl,
    headless_window_close,
    headless_window_switch_mode,
    headless_frame_begin,
    headless_frame_end,
    headless_clock_now,
    headless_sleep_until_elapsed,
    headless_event_next,
    headless_event_next_until,
};

// ---------------------------------------------------------------------------
// Scripting

void headless_configure(const headless_settings& s)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    settings = s;
    if (settings.width < 0)
        settings.width = 0;
    if (settings.height < 0)
        settings.height = 0;
    fake_micros = 0;
    refusals_left = s.undrawable_frames > 0 ? s.undrawable_frames : 0;
    frames_drawn = 0;
    event_queue_clear(&queue);
    window = {};
}

void headless_set_clock(double seconds)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    fake_micros = to_micros(seconds);
}

void headless_advance_clock(double seconds)
{
    std::lock_guard<std::mutex> hold(headless_lock);
    advance_locked(to_micros(seconds));
}

double headless_clock()
{
    std::lock_guard<std::mutex> hold(headless_lock);
    return static_cast<double>(fake_micros) / 1e6;
}

bool headless_push_event(uint32_t code, bool pressed, double stamp)
{
    input_event e{};
    e.code = code & 0x7fffffffu;
    e.pressed = pressed;
    split_micros(to_micros(stamp), &e.seconds, &e.microseconds);
    std::lock_guard<std::mutex> hold(headless_lock);
    return event_queue_push(&queue, e);
}

int headless_frames_drawn()
{
    std::lock_guard<std::mutex> hold(headless_lock);
    return frames_drawn;
}
