// recorded_digests.cpp -- the generator's digest hook for its tests.
//
// The generator's main collects the digests modules record and compiles
// them into the game; the tests link the modules without that main, so
// this keeps what they record where a test can look.
#include <string>
#include <utility>
#include <vector>

#include "datagen.h"

std::vector<std::pair<std::string, std::string>> test_recorded_digests;   // symbol, hex

void datagen_record_digest(const std::string& symbol, const std::string& hex)
{
    test_recorded_digests.emplace_back(symbol, hex);
}
