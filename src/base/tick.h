// tick.h -- the fixed simulation step.
//
// The simulation advances in ticks of exactly 1/128 s; nothing changes this
// at run time.  Race times are stored in ticks: seconds = ticks * tick_period.
#pragma once

constexpr double tick_period = 1.0 / 128.0;   // seconds per tick
constexpr int    ticks_per_second = 128;
