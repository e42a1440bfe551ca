// rng.h -- the program-wide random number generator.
//
// One 32-bit Mersenne Twister (the published MT19937 with its standard
// seeding) serves race setup, dirt spray and the robots, so a race repeats
// from the same seed and inputs.  Race setup seeds it with the tick counter.
#pragma once

#include <cstdint>

void     rng_seed(uint32_t seed);
uint32_t rng_next();       // next raw 32-bit output
double   rng_fraction();   // next output's low 31 bits times 2^-31: [0, 1)
