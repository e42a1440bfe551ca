// sdl_screenshot.cpp -- the screenshot command.
//
// Reads the drawable back (RGB, bottom row first, as GL gives it) and
// writes it upright as "@screenshot%03d.png" through the PNG writer, so it
// lands in the home root.  The back buffer holds a finished picture only
// inside a frame: a request made between frames waits for the next
// frame_end, which calls sdl_screenshot_frame_end before it swaps.  The
// first number is one above the highest found in the data file list (built
// once per run, so later numbers count on here).  Game thread only.
#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/xmalloc.h"
#include "data/file_index.h"
#include "data/image.h"
#include "platform/log.h"
#include "platform/sdl/sdl_internal.h"

constexpr char screenshot_prefix[] = "screenshot";
constexpr int screenshot_number_max = 999999999;   // larger numbers in names are ignored

static int next_number = 0;                        // 0: not worked out yet
static bool pending = false;                       // a request waits for frame_end
static void (*pending_print)(const char*) = nullptr;

int screenshot_first_number(const char* const* names)
{
    int highest = 0;
    size_t prefix = sizeof screenshot_prefix - 1;
    for (int i = 0; names && names[i]; i++) {
        const char* p = names[i];
        if (strncmp(p, screenshot_prefix, prefix) != 0)
            continue;
        p += prefix;
        if (*p < '0' || *p > '9')
            continue;
        long long n = 0;
        for (; *p >= '0' && *p <= '9' && n <= screenshot_number_max; p++)
            n = n * 10 + (*p - '0');
        if (n <= screenshot_number_max && n > highest)
            highest = static_cast<int>(n);
    }
    return highest + 1;
}

void screenshot_reset()
{
    next_number = 0;
    pending = false;
    pending_print = nullptr;
}

// Saves the current GL read buffer of width x height pixels.
static bool capture(int width, int height, void (*print)(const char*))
{
    if (next_number == 0)
        next_number = screenshot_first_number(file_name_list());
    int number = next_number < INT_MAX ? next_number++ : next_number;
    if (width <= 0 || height <= 0 || width > image_max_side || height > image_max_side) {
        log_printf("Can't take a screenshot of a %dx%d frame\n", width, height);
        return false;
    }
    image img{};
    image_alloc(&img, width, height, image_rgb8);
    size_t row = static_cast<size_t>(width) * 3;
    uint8_t* rows = static_cast<uint8_t*>(xmalloc(row * static_cast<size_t>(height)));
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    for (int y = 0; y < height; y++)   // GL's first row is the bottom one
        memcpy(img.pixels + static_cast<size_t>(y) * row,
               rows + static_cast<size_t>(height - 1 - y) * row, row);
    free(rows);

    char file[64], data_name[80], message[96];
    snprintf(file, sizeof file, "screenshot%03d.png", number);
    snprintf(data_name, sizeof data_name, "@%s", file);
    bool ok = png_write(data_name, img);
    image_free(&img);
    if (!ok) {
        log_printf("Can't save \"%s\"\n", file);
        return false;
    }
    snprintf(message, sizeof message, "Saved \"%s\"", file);
    if (print)
        print(message);
    else
        log_printf("%s\n", message);
    return true;
}

bool screenshot_take(void (*print)(const char* text))
{
    sdl_window* w = sdl_open_window();
    if (!w || !w->gl) {
        log_printf("Can't take a screenshot without a window\n");
        return false;
    }
    if (!w->in_frame) {
        pending = true;
        pending_print = print;
        return true;
    }
    glReadBuffer(GL_BACK);
    return capture(w->frame.width, w->frame.height, print);
}

void sdl_screenshot_frame_end(int width, int height)
{
    if (!pending)
        return;
    pending = false;
    glReadBuffer(GL_BACK);
    capture(width, height, pending_print);
}
