// window.cpp -- back-end selection, the dispatching free functions, the
// system clock and sleep, and the "none" back end.
//
// platform_install chooses the window_ops table every free function goes
// through; a null table (and the start state) selects "none": the system's
// monotonic clock and sleep, an empty mode list and a window that cannot be
// opened.  A back end may leave a slot null; the dispatcher then answers as
// "none" would.  The installed table is read from any thread (the log asks
// the clock from the window and audio threads).
#include "platform/window.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <sched.h>

#include "platform/input.h"
#include "platform/log.h"

constexpr int64_t micro_per_second = 1000000;

// ---------------------------------------------------------------------------
// System clock and sleep

void system_clock_now(int* seconds, int* microseconds)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (seconds)
        *seconds = static_cast<int>(now.tv_sec);
    if (microseconds)
        *microseconds = static_cast<int>(now.tv_nsec / 1000);
}

static int64_t system_micros()
{
    int s = 0, u = 0;
    system_clock_now(&s, &u);
    return static_cast<int64_t>(s) * micro_per_second + u;
}

static void sleep_milliseconds(int64_t ms)
{
    timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000 * 1000000)};
    timespec left{};
    while (nanosleep(&want, &left) != 0 && errno == EINTR)
        want = left;
}

// Sleeps a millisecond short of the wait, so the scheduler's lateness does
// not overshoot it, then yields until the full time has passed.
void system_sleep_until_elapsed(int seconds, int microseconds)
{
    int64_t start = system_micros();
    int64_t wait = static_cast<int64_t>(seconds) * micro_per_second + microseconds;
    if (wait <= 0)
        return;
    int64_t ms = wait / 1000;
    if (ms > 1)
        ms -= 1;
    if (ms > 0)
        sleep_milliseconds(ms);
    while (system_micros() - start < wait)
        sched_yield();
}

// ---------------------------------------------------------------------------
// The "none" back end

static const video_mode none_modes[1] = {{0, 0, 0}};

static const video_mode* none_video_modes() { return none_modes; }

static kobu_window* none_window_open_gl(const char*, int, int, int, int, int, int, int)
{
    log_printf("Can't create window!\n");
    log_printf("No window back end is built into this program\n");
    return nullptr;
}

static void none_window_close(kobu_window*) {}
static void none_window_switch_mode(kobu_window*, int, int, bool) {}
static const frame_desc* none_frame_begin(kobu_window*) { return nullptr; }
static bool none_frame_end(kobu_window*) { return false; }
static bool none_event_next(kobu_window*, input_event*) { return false; }
static bool none_event_next_until(kobu_window*, int, int, input_event*) { return false; }

static const window_ops none_window_ops = {
    "none",
    none_video_modes,
    none_window_open_gl,
    none_window_close,
    none_window_switch_mode,
    none_frame_begin,
    none_frame_end,
    system_clock_now,
    system_sleep_until_elapsed,
    none_event_next,
    none_event_next_until,
};

// ---------------------------------------------------------------------------
// Selection and dispatch

static std::atomic<const window_ops*> current_ops{&none_window_ops};

void platform_install(const window_ops* ops) { current_ops.store(ops ? ops : &none_window_ops); }

const window_ops* platform_current() { return current_ops.load(); }

const video_mode* video_modes()
{
    const window_ops* ops = platform_current();
    const video_mode* modes = ops->video_modes ? ops->video_modes() : nullptr;
    return modes ? modes : none_modes;
}

kobu_window* window_open_gl(const char* title, int width, int height, int flags, int alpha_bits,
                            int depth_bits, int stencil_bits, int accum_bits)
{
    const window_ops* ops = platform_current();
    auto open = ops->window_open_gl ? ops->window_open_gl : none_window_open_gl;
    return open(title ? title : "", width, height, flags, alpha_bits, depth_bits, stencil_bits,
                accum_bits);
}

void window_close(kobu_window* w)
{
    const window_ops* ops = platform_current();
    if (w && ops->window_close)
        ops->window_close(w);
}

void window_switch_mode(kobu_window* w, int width, int height, bool fullscreen)
{
    const window_ops* ops = platform_current();
    if (w && ops->window_switch_mode)
        ops->window_switch_mode(w, width, height, fullscreen);
}

const frame_desc* frame_begin(kobu_window* w)
{
    const window_ops* ops = platform_current();
    return w && ops->frame_begin ? ops->frame_begin(w) : nullptr;
}

bool frame_end(kobu_window* w)
{
    const window_ops* ops = platform_current();
    return w && ops->frame_end ? ops->frame_end(w) : false;
}

void clock_now(int* seconds, int* microseconds)
{
    const window_ops* ops = platform_current();
    (ops->clock_now ? ops->clock_now : system_clock_now)(seconds, microseconds);
}

double clock_seconds()
{
    int s = 0, u = 0;
    clock_now(&s, &u);
    return s + u * 1e-6;
}

void sleep_until_elapsed(int seconds, int microseconds)
{
    const window_ops* ops = platform_current();
    (ops->sleep_until_elapsed ? ops->sleep_until_elapsed : system_sleep_until_elapsed)(
        seconds, microseconds);
}

void sleep_seconds(double seconds)
{
    if (!(seconds > 0))   // also rejects NaN
        return;
    if (seconds >= INT_MAX)
        seconds = INT_MAX;
    double whole = std::floor(seconds);
    int s = static_cast<int>(whole);
    int u = static_cast<int>(std::lround((seconds - whole) * 1e6));
    if (u >= 1000000) {
        u -= 1000000;
        if (s < INT_MAX)
            s++;
    }
    sleep_until_elapsed(s, u);
}
