// game.h -- the program's entry: start-up, the main loop and shutdown.
//
// game_main runs the start-up steps in their fixed order, the main loop and
// the shutdown sequence, and returns the process exit status: 0 after a
// normal shutdown, after "--open-home", and 1 after a command-line error,
// "No tracks found", a window that cannot be opened, or when the game data
// cannot be found ("Can't find game data").  The window back end is chosen
// by the caller: the game passes its SDL back end, tests the headless one.
#pragma once

#include "core/discovery.h"

struct window_ops;

int game_main(int argc, char** argv, const window_ops* backend);

// Start-up results that the rest of the game reads.
extern track_list tracks;
extern demo_list demos;
extern int selected_track;       // index into tracks, -1 = none chosen
extern bool fixed_files_ok;      // the fixed collision shapes match their digest
