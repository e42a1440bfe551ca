// race_state.cpp -- the program-wide race record.
#include "race/race_state.h"

race_state race;

void race_clear_slots()
{
    for (int i = 0; i < max_slots; i++) {
        race.bikes[i] = nullptr;
        race.driver_kind[i] = driver_replayed;
        race.lineup[i] = 0;
    }
    race.standing_count = 0;
    race.viewed_slot = 0;
}
