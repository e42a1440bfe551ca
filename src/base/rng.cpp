// rng.cpp -- the program-wide MT19937.
#include "base/rng.h"

#include <random>

// std::mt19937 is exactly the published generator with its standard
// (Knuth-style linear) seeding; its default seed is 5489.
static std::mt19937 rng_state;

void rng_seed(uint32_t seed) { rng_state.seed(seed); }

uint32_t rng_next() { return static_cast<uint32_t>(rng_state()); }

double rng_fraction()
{
    return static_cast<double>(rng_next() & 0x7fffffffu) * (1.0 / 2147483648.0);
}
