// standings.h -- the live standings, the decision and the final results.
//
// Owns race.standings (one row per bike, sorted) and race.results (the
// final table with cutting penalties), and decides when a race is over.
// Needs the passage histories (race/rules.h), the program's one heap sort
// (base/heap_sort.h) and the results file (race/results_file.h).
// Promises: rows are ordered by more passages first, then the earlier last
// passage, then the lower slot, so the order never depends on the sort's
// handling of equal records; once results_final is set nothing here
// changes the race record until the next race setup clears it.
// Main thread only.
#pragma once

#include <cstdint>

struct bike;
struct standing_row;

// The three-way order of the standings and the final results.
int compare_standing(int passages_a, int tick_a, int slot_a, int passages_b, int tick_b, int slot_b);

// Rebuilds and sorts the standings, fixes a timed race's lap count and,
// once every rider is done, builds the final results, writes the results
// file and sets results_final.  Does nothing once results_final is set.
void update_standings();

// Row index of a slot in the standings, or -1.
int standings_position(int slot);
// The leading row's bike, or null.
bike* standings_leader();

// Reference time in ticks for the stretch from passage a (-1 = the race
// setup) to passage b > a: the riders' average clean time, 60 s when no
// rider has one.
int32_t reference_ticks(int a, int b);
// Cutting penalty of b's history in ticks: every run of skipped passages
// costs the reference time of its stretch plus 1 s, less the time taken.
int32_t cutting_penalty(const bike* b);
// Fills race.results from the current standings with penalties applied
// and sorts it (update_standings calls this when the race is decided).
void build_final_results();
