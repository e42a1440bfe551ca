// sdl_platform.h -- the SDL2 back ends of the platform layer.
//
// The game's window, GL context, input and wave output on SDL2, the error
// box, and the screenshot command.  Only the game executable and the SDL
// tests link this library; the headless core never sees SDL.
#pragma once

#include "platform/sound.h"
#include "platform/window.h"

extern const window_ops sdl_window_ops;
extern const sound_ops sdl_waveout_ops;

// SDL's modal error box; false when it could not be shown.
bool sdl_message_box(const char* title, const char* text);

// Installs the window back end, the wave output and the error box.
void sdl_platform_install();

// The first screenshot number for a file name list: one above the highest
// N of the names that begin "screenshot" followed by a decimal number N
// (whatever follows), 1 when there is none.
int screenshot_first_number(const char* const* names);

// Saves the frame as "@screenshot%03d.png" (the home root) and prints
// "Saved \"screenshot%03d.png\"" through print (the log when null).  Inside
// a frame the frame drawn so far is saved at once; between frames the next
// frame is saved when it ends.  The first number comes from the data file
// list; later ones count on.  False when the picture could not be saved.
bool screenshot_take(void (*print)(const char* text));
// For tests: work the first number out again on the next screenshot.
void screenshot_reset();
