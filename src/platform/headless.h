// headless.h -- the window back end for tests and the headless runner.
//
// A fake clock that moves only when the program sleeps or a frame is drawn,
// a drawable of fixed size with no GL, and events scripted by the caller.
// One window at a time; the state is locked, so the log may read the clock
// from any thread.
#pragma once

#include "platform/input.h"
#include "platform/window.h"

extern const window_ops headless_window_ops;

struct headless_settings {
    int width = 640, height = 480;   // drawable size returned by frame_begin
    double frame_cost = 0;           // fake seconds that pass between frame_begin and frame_end
    int undrawable_frames = 0;       // frame_begin refuses this many times first
    int close_after_frames = 0;      // the frame_end of frame N (and every later one) reports
                                     // closed; 0 = never
    bool fail_open = false;          // window_open_gl fails ("Can't create window!\n")
};

// Also resets the clock to 0, empties the queue, forgets the frame counts
// and closes the window.
void headless_configure(const headless_settings& s);
void headless_set_clock(double seconds);
void headless_advance_clock(double seconds);
double headless_clock();
// Queues an event stamped at the given fake time.
bool headless_push_event(uint32_t code, bool pressed, double stamp);
int headless_frames_drawn();
