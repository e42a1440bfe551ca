// window.cpp -- back-end selection, the dispatching free functions, the
// system clock and sleep, and the "none" back end.
//
// platform_install chooses the window_ops table every free function goes
// through; a null table (and the start state) selects "none": the system's
// monotonic clock and sleep, an empty mode list and a window that cannot be
// opened.  A back end may leave a slot null; the dispatcher then answers as
// "none" would.  The installed table is read from any thread (the log asks
// the clock from the window and audio threads).
//
// Also the back-end-neutral parts of display modes: building a mode list
// from what a display reports, choosing the full-screen size, and the
// "Video Mode" choice items.
#include "platform/window.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <sched.h>

#include "base/intern.h"
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

// ---------------------------------------------------------------------------
// Display modes

static bool depth_is_listed(int bits)
{
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

static bool mode_listed(const video_mode* out, int n, const display_mode& m)
{
    for (int i = 0; i < n; i++)
        if (out[i].width == m.width && out[i].height == m.height && out[i].bits == m.bits)
            return true;
    return false;
}

int video_mode_list_build(const display_mode* desktop, const display_mode* reported, int count,
                          video_mode* out, int capacity)
{
    if (!out || capacity <= 0)
        return 0;
    int n = 0;
    int room = capacity - 1;   // the end entry
    if (desktop) {
        const display_mode& d = *desktop;
        bool take = depth_is_listed(d.bits) && d.width > 0 && d.height > 0;
        log_printf(take ? "Registry mode is %dx%dx%d@%dhz\n" : "Registry mode is %dx%dx%d@%dhz (ignored)\n",
                   d.width, d.height, d.bits, d.refresh);
        if (take && n < room)
            out[n++] = {d.width, d.height, d.bits};
    }
    for (int i = 0; reported && i < count; i++) {
        const display_mode& m = reported[i];
        if (!depth_is_listed(m.bits) || m.width <= 0 || m.height <= 0) {
            log_printf("Found mode %dx%dx%d@%dhz (ignored)\n", m.width, m.height, m.bits, m.refresh);
            continue;
        }
        if (mode_listed(out, n, m) || n >= room)
            continue;
        log_printf("Found mode %dx%dx%d@%dhz\n", m.width, m.height, m.bits, m.refresh);
        out[n++] = {m.width, m.height, m.bits};
    }
    out[n] = {0, 0, 0};
    return n;
}

void fullscreen_size(const video_mode* modes, int w, int h, int desktop_width,
                     int desktop_height, int* out_width, int* out_height)
{
    int best = -1;
    long long best_excess = 0;
    if (w > 0 && h > 0) {
        for (int i = 0; modes && modes[i].width; i++) {
            if (modes[i].width < w || modes[i].height < h)
                continue;
            long long excess = static_cast<long long>(modes[i].width) + modes[i].height - w - h;
            if (best < 0 || excess < best_excess) {
                best = i;
                best_excess = excess;
            }
        }
    }
    *out_width = best >= 0 ? modes[best].width : desktop_width;
    *out_height = best >= 0 ? modes[best].height : desktop_height;
}

int video_mode_choices(const video_mode_choice** items)
{
    static video_mode_choice choices[video_mode_max + 2];
    int n = 0;
    choices[n++] = {intern_string("Default Fullscreen"), 0, 0};
    choices[n++] = {intern_string("Windowed"), 0, 0};
    const video_mode* modes = video_modes();
    for (int i = 0; modes[i].width && i < video_mode_max; i++) {
        if (modes[i].bits != modes[0].bits)
            continue;
        char label[32];
        snprintf(label, sizeof label, "%dx%d", modes[i].width, modes[i].height);
        choices[n++] = {intern_string(label), modes[i].width, modes[i].height};
    }
    if (items)
        *items = choices;
    return n;
}
