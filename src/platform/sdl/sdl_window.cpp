// sdl_window.cpp -- the window, its GL context, display modes, frames and
// the error box on SDL2.
//
// Owns the one SDL window and its OpenGL context (a compatibility context:
// the renderer draws with the fixed-function pipeline), the display-mode
// list, mode switches and the frame bracket.  Window messages are handled
// on the thread that opened the window whenever the game asks for input
// events: SDL pumps events on that thread, so the "threaded" option is
// read, logged and declined.  The clock is the system's monotonic clock
// (window.h); SDL's own signal handlers are switched off so that SIGINT and
// SIGTERM end the program as usual instead of posing as the close button.
#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"
#include "platform/log.h"
#include "platform/sdl/sdl_internal.h"

constexpr int default_colour_bits = 16;
constexpr int unknown_desktop_width = 640;
constexpr int unknown_desktop_height = 480;
constexpr int gl_major = 2;   // the oldest version asked for; any compatibility
constexpr int gl_minor = 1;   // context at or above it will do

static sdl_window the_window;
static video_mode modes[video_mode_max + 1];
static bool modes_built = false;

sdl_window* sdl_open_window() { return the_window.open ? &the_window : nullptr; }

static sdl_window* own(kobu_window* kw)
{
    sdl_window* w = reinterpret_cast<sdl_window*>(kw);
    return w == &the_window && w->open ? w : nullptr;
}

// SDL's video subsystem, started once and kept for the life of the process
// (the mode list and the window both need it).
static bool video_ready()
{
    static bool hints_set = false;
    if (!hints_set) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
#ifdef SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");   // the close button is an event
#endif
        hints_set = true;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        log_printf("SDL video: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

static bool desktop_size(int* width, int* height)
{
    SDL_DisplayMode m;
    if (video_ready() && SDL_GetDesktopDisplayMode(0, &m) == 0 && m.w > 0 && m.h > 0) {
        *width = m.w;
        *height = m.h;
        return true;
    }
    *width = unknown_desktop_width;
    *height = unknown_desktop_height;
    return false;
}

static display_mode as_display_mode(const SDL_DisplayMode& m)
{
    return {m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
}

static const video_mode* sdl_video_modes()
{
    if (modes_built)
        return modes;
    modes_built = true;
    modes[0] = {0, 0, 0};
    if (!video_ready())
        return modes;
    SDL_DisplayMode m;
    display_mode desktop{};
    bool have_desktop = SDL_GetDesktopDisplayMode(0, &m) == 0;
    if (have_desktop)
        desktop = as_display_mode(m);
    int count = SDL_GetNumDisplayModes(0);
    if (count < 0)
        count = 0;
    if (count > video_mode_max)
        count = video_mode_max;
    display_mode reported[video_mode_max];
    int n = 0;
    for (int i = 0; i < count; i++)
        if (SDL_GetDisplayMode(0, i, &m) == 0)
            reported[n++] = as_display_mode(m);
    video_mode_list_build(have_desktop ? &desktop : nullptr, reported, n, modes,
                          video_mode_max + 1);
    return modes;
}

// ---------------------------------------------------------------------------
// Opening and closing

static void gl_colour_sizes(int bits, int* r, int* g, int* b)
{
    if (bits > 16) {
        *r = *g = *b = 8;
    } else if (bits == 15) {
        *r = *g = *b = 5;
    } else if (bits <= 8) {
        *r = 3, *g = 3, *b = 2;
    } else {
        *r = 5, *g = 6, *b = 5;
    }
}

static void set_gl_attributes(int colour_bits, int alpha, int depth, int stencil, int accum)
{
    int r, g, b;
    gl_colour_sizes(colour_bits == 32 ? 24 : colour_bits, &r, &g, &b);
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha > 0 ? alpha : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth > 0 ? depth : 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil > 0 ? stencil : 0);
    int accum_channel = accum > 0 ? accum / 4 : 0;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum_channel);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum_channel);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum_channel);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum_channel);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, gl_major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, gl_minor);
}

// Sets the window full screen at the mode chosen for w x h; the display
// mode changes only when that size is not the desktop's.
static bool enter_fullscreen(sdl_window* w, int width, int height)
{
    int desk_w, desk_h, full_w, full_h;
    desktop_size(&desk_w, &desk_h);
    fullscreen_size(sdl_video_modes(), width, height, desk_w, desk_h, &full_w, &full_h);
    int result;
    if (full_w == desk_w && full_h == desk_h) {
        result = SDL_SetWindowFullscreen(w->native, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_DisplayMode mode{};
        mode.w = full_w;
        mode.h = full_h;
        result = SDL_SetWindowDisplayMode(w->native, &mode);
        if (result == 0)
            result = SDL_SetWindowFullscreen(w->native, SDL_WINDOW_FULLSCREEN);
    }
    if (result != 0) {
        log_printf("Can't go full screen at %dx%d: %s\n", full_w, full_h, SDL_GetError());
        return false;
    }
    w->screen_width = full_w;
    w->screen_height = full_h;
    w->flags |= window_fullscreen_on;
    return true;
}

static void log_options(bool threaded)
{
    log_printf("Options:\n");
    log_printf("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
    if (threaded)
        log_printf("No message processing thread on this platform: "
                   "window messages are handled on the game thread\n");
}

// Undoes a partly done open.
static void release_window(sdl_window* w)
{
    if (w->gl) {
        SDL_GL_MakeCurrent(w->native, nullptr);
        SDL_GL_DeleteContext(w->gl);
    }
    if (w->native)
        SDL_DestroyWindow(w->native);
    free(w->title);
    w->gl = nullptr;
    w->native = nullptr;
    w->title = nullptr;
    w->open = false;
}

static bool create_context(sdl_window* w)
{
    log_printf("Setting pixel format %d\n", static_cast<int>(SDL_GetWindowPixelFormat(w->native)));
    log_printf("Creating OpenGL context\n");
    w->gl = SDL_GL_CreateContext(w->native);
    if (!w->gl) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("SDL: %s\n", SDL_GetError());
        return false;
    }
    int profile = 0;
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    if (profile == SDL_GL_CONTEXT_PROFILE_CORE) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("Only a core-profile context was offered; drawing needs compatibility\n");
        return false;
    }
    if (SDL_GL_MakeCurrent(w->native, w->gl) != 0) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("SDL: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

static kobu_window* sdl_window_open_gl(const char* title, int width, int height, int flags,
                                       int alpha_bits, int depth_bits, int stencil_bits,
                                       int accum_bits)
{
    sdl_video_modes();
    log_options(option_flag("threaded", false));
    sdl_window* w = &the_window;
    if (w->open) {
        log_printf("Can't create window!\n");
        log_printf("The window is already open\n");
        return nullptr;
    }
    if (!video_ready()) {
        log_printf("Can't register window class\n");
        return nullptr;
    }

    w->native = nullptr;
    w->gl = nullptr;
    w->frame = {};
    w->colour_bits = flags & 0xff ? flags & 0xff : default_colour_bits;
    w->screen_width = w->screen_height = 0;
    w->title = xstrdup(title);
    w->owner_thread = std::this_thread::get_id();
    event_queue_clear(&w->events);
    w->suspended = 0;
    w->close_requested = 0;
    w->flags = window_may_fullscreen;
    w->in_frame = false;
    w->switch_pending = false;
    memset(w->keys_down, 0, sizeof w->keys_down);
    memset(w->buttons_down, 0, sizeof w->buttons_down);
    w->last_stamp = 0;
    w->mouse = w->cursor = nullptr;

    bool fullscreen = flags & window_flag_fullscreen;
    if (width <= 0 || height <= 0)
        desktop_size(&width, &height);
    w->want_width = width;
    w->want_height = height;

    log_printf("Creating window\n");
    log_printf("Choosing pixel format\n");
    set_gl_attributes(w->colour_bits, alpha_bits, depth_bits, stencil_bits, accum_bits);
    Uint32 window_flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    if (!fullscreen)
        window_flags |= SDL_WINDOW_RESIZABLE;
    w->native = SDL_CreateWindow(w->title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                 height, window_flags);
    if (!w->native) {
        // SDL chooses the pixel format while it creates the window; its
        // error text tells the two failures apart.
        const char* why = SDL_GetError();
        bool format = strstr(why, "visual") || strstr(why, "config") || strstr(why, "pixel format");
        log_printf(format ? "No suitable pixel formats found\n" : "Can't create window!\n");
        log_printf("SDL: %s\n", why);
        release_window(w);
        return nullptr;
    }
    w->open = true;
    if (fullscreen)
        enter_fullscreen(w, width, height);
    SDL_ShowWindow(w->native);
    SDL_RaiseWindow(w->native);
    log_printf("Foregrounded and locked\n");

    sdl_input_open(w);
    input_register_window_aliases();

    if (!create_context(w)) {
        sdl_input_close(w);
        release_window(w);
        return nullptr;
    }
    return as_kobu(w);
}

static void sdl_window_close(kobu_window* kw)
{
    sdl_window* w = own(kw);
    if (!w)
        return;
    w->close_requested = 1;
    if (w->in_frame) {
        w->in_frame = false;
        w->frame_lock.unlock();
    }
    log_printf("Deleting OpenGL context\n");
    SDL_GL_MakeCurrent(w->native, nullptr);
    SDL_GL_DeleteContext(w->gl);
    w->gl = nullptr;
    sdl_input_close(w);
    log_printf("Destroying window\n");
    if (w->flags & window_fullscreen_on)
        SDL_SetWindowFullscreen(w->native, 0);   // gives the desktop its mode back
    SDL_DestroyWindow(w->native);
    w->native = nullptr;
    free(w->title);
    w->title = nullptr;
    w->open = false;
    log_printf("Window shutdown complete\n");
}

// ---------------------------------------------------------------------------
// Mode switches and window events

static void sdl_window_switch_mode(kobu_window* kw, int width, int height, bool fullscreen)
{
    sdl_window* w = own(kw);
    if (!w)
        return;
    std::lock_guard<std::mutex> hold(w->event_lock);
    w->switch_pending = true;
    w->switch_width = width;
    w->switch_height = height;
    w->switch_fullscreen = fullscreen;
}

static void go_windowed(sdl_window* w, int width, int height)
{
    if (!(w->flags & window_may_fullscreen))
        return;
    if (width <= 0 || height <= 0)
        desktop_size(&width, &height);
    if (SDL_SetWindowFullscreen(w->native, 0) != 0) {
        log_printf("Can't leave full screen: %s\n", SDL_GetError());
        return;
    }
    w->flags &= ~window_fullscreen_on;
    w->screen_width = w->screen_height = 0;
    SDL_SetWindowResizable(w->native, SDL_TRUE);
    SDL_SetWindowSize(w->native, width, height);
    w->want_width = width;
    w->want_height = height;
}

// Carries out a waiting switch; frames are refused while it runs.  Never
// inside a frame: the switch waits for the frame to end.
void sdl_apply_switch(sdl_window* w)
{
    if (w->in_frame)
        return;
    int width, height;
    bool fullscreen;
    {
        std::lock_guard<std::mutex> hold(w->event_lock);
        if (!w->switch_pending)
            return;
        w->switch_pending = false;
        width = w->switch_width;
        height = w->switch_height;
        fullscreen = w->switch_fullscreen;
    }
    std::lock_guard<std::mutex> frame(w->frame_lock);
    w->suspended = 1;
    if (fullscreen) {
        if (enter_fullscreen(w, width, height)) {
            w->want_width = width;
            w->want_height = height;
        }
    } else {
        go_windowed(w, width, height);
    }
    w->suspended = 0;
}

void sdl_window_event(sdl_window* w, const SDL_WindowEvent& e)
{
    switch (e.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        log_printf("WM_SIZE message %dx%d\n", e.data1, e.data2);
        if (!(w->flags & window_fullscreen_on)) {
            w->want_width = e.data1;
            w->want_height = e.data2;
        }
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (w->flags & window_fullscreen_on)
            SDL_RaiseWindow(w->native);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Frames

static const frame_desc* sdl_frame_begin(kobu_window* kw)
{
    sdl_window* w = own(kw);
    if (!w || !w->gl || w->in_frame)
        return nullptr;
    sdl_pump(w);
    sdl_apply_switch(w);
    Uint32 state = SDL_GetWindowFlags(w->native);
    if (state & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED))
        return nullptr;
    w->frame_lock.lock();
    if (w->suspended) {
        w->frame_lock.unlock();
        return nullptr;
    }
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(w->native, &width, &height);
    w->frame = {0, 0, width, height, {0, 0}};
    w->in_frame = true;
    return &w->frame;
}

static bool sdl_frame_end(kobu_window* kw)
{
    sdl_window* w = own(kw);
    if (!w || !w->in_frame)
        return false;
    sdl_screenshot_frame_end(w->frame.width, w->frame.height);
    SDL_GL_SwapWindow(w->native);
    w->in_frame = false;
    w->frame_lock.unlock();
    return true;
}

// ---------------------------------------------------------------------------
// The error box and installation

bool sdl_message_box(const char* title, const char* text)
{
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0;
}

const window_ops sdl_window_ops = {
    "sdl",
    sdl_video_modes,
    sdl_window_open_gl,
    sdl_window_close,
    sdl_window_switch_mode,
    sdl_frame_begin,
    sdl_frame_end,
    system_clock_now,
    system_sleep_until_elapsed,
    sdl_event_next,
    sdl_event_next_until,
};

void sdl_platform_install()
{
    platform_install(&sdl_window_ops);
    sound_install_output(&sdl_waveout_ops);
    fatal_box_install(sdl_message_box);
}
