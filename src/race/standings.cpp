// standings.cpp -- the live standings, the decision and the final results.
//
// Owns race.standings, race.results and the moment results_final is set.
// Needs the passage histories and hooks of rules.h, the shared heap sort
// and the results file.  Promises: the sort keys are unique (the slot
// breaks every tie), so both tables come out in one defined order; the
// results file is written at most once per race, when it is decided.
#include "race/standings.h"

#include <climits>
#include <cmath>

#include "base/heap_sort.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "race/race_state.h"
#include "race/results_file.h"
#include "race/rules.h"
#include "terrain/timing_gates.h"

static const int32_t default_reference_ticks = int32_t(60 / tick_period);   // 60 s with no clean time
static const int32_t cut_allowance_ticks = int32_t(1 / tick_period);        // 1 s added to every reference

// A connected race's remote rider silent this long no longer holds up the
// decision (seconds).
static const double stale_rider_seconds = 1.0;

static int32_t clamp_ticks(int64_t t) { return t > INT32_MAX ? INT32_MAX : t < INT32_MIN ? INT32_MIN : int32_t(t); }

int compare_standing(int passages_a, int tick_a, int slot_a, int passages_b, int tick_b, int slot_b)
{
    if (passages_a != passages_b)
        return passages_a > passages_b ? -1 : 1;
    if (tick_a != tick_b)
        return tick_a < tick_b ? -1 : 1;
    return slot_a < slot_b ? -1 : slot_a > slot_b ? 1 : 0;
}

int standings_position(int slot)
{
    for (int i = 0; i < race.standing_count; i++)
        if (race.standings[i].slot == slot)
            return i;
    return -1;
}

bike* standings_leader()
{
    return race.standing_count > 0 ? race.bikes[race.standings[0].slot] : nullptr;
}

// One row per bike in slot order, then sorted.
static void rebuild_standings()
{
    int n = 0;
    for (int slot = 0; slot < max_slots; slot++) {
        const bike* b = race.bikes[slot];
        if (!b)
            continue;
        int last = b->next_gate > 0 ? passage_tick(b, b->next_gate - 1) : 0;
        race.standings[n++] = {slot, b->next_gate, last > 0 ? last : 0};
    }
    race.standing_count = n;
    heap_sort_array(race.standings, size_t(n), [](const standing_row& a, const standing_row& b) {
        return compare_standing(a.passages, a.last_tick, a.slot, b.passages, b.last_tick, b.slot);
    });
}

// A timed race: the halfway lap at half time, and when time runs out the
// lap in progress plus laps_setting more; later, a leader that had in fact
// finished that lap before time ran out asks for one more.
static void fix_timed_race_length()
{
    if (race.race_duration <= 0 || race.standing_count == 0)
        return;
    int leader_laps = laps_for_passages(race.standings[0].passages);
    if (race.tick >= race.race_duration / 2 && race.halfway_lap == race_laps_unfixed)
        race.halfway_lap = leader_laps + 1;
    if (race.tick < race.race_duration)
        return;
    if (race.race_laps == race_laps_unfixed) {
        race.race_laps = leader_laps + race.laps_setting + 1;
        return;
    }
    int g = 0;
    if (race.race_laps != race.laps_setting) {
        int64_t p = timing_gates.first_lap_count +
                    int64_t(timing_gates.normal_lap_count) * (race.race_laps - race.laps_setting - 1) - 1;
        g = p < 0 ? 0 : p > INT_MAX ? INT_MAX : int(p);
    }
    for (int r = 0; r < race.standing_count; r++) {
        const bike* b = race.bikes[race.standings[r].slot];
        if (!b)
            continue;
        int t = passage_tick(b, g);
        if (t > 0 && t < race.race_duration)
            race.race_laps++;
        return;
    }
}

// ---- reference times and penalties --------------------------------------------

// Connected, the local rider's own times count only while it races.
static bool counts_for_reference(int slot)
{
    return !race_connected() || race.driver_kind[slot] != driver_local || race_local_racing();
}

// t(-1) is the tick count at race setup.
static int stretch_tick(const bike* b, int i) { return i < 0 ? 0 : passage_tick(b, i); }

// Both ends recorded, nothing missing between, and made within the
// rider's current history.
static bool stretch_clean(const bike* b, int a, int c)
{
    if (c >= b->next_gate || stretch_tick(b, a) < 0 || passage_tick(b, c) < 0)
        return false;
    for (int i = a + 1; i < c; i++)
        if (passage_tick(b, i) < 0)
            return false;
    return true;
}

// A rider's time for the stretch a..c: directly within the first lap,
// else the average over every lap it has ridden the stretch in.
static bool rider_stretch_time(const bike* b, int a, int c, double* time)
{
    int first = timing_gates.first_lap_count, lap = timing_gates.normal_lap_count;
    if (a < first) {
        if (!stretch_clean(b, a, c))
            return false;
        int t = stretch_tick(b, c) - stretch_tick(b, a);
        *time = t;
        return t >= 0;
    }
    int a0 = passage_position(a);
    int c0 = a0 + (c - a);
    double sum = 0;
    int count = 0;
    for (int64_t j = 0; c0 + j * lap < b->next_gate; j++) {
        int aj = int(a0 + j * lap), cj = int(c0 + j * lap);
        if (stretch_clean(b, aj, cj)) {
            sum += passage_tick(b, cj) - passage_tick(b, aj);
            count++;
        }
    }
    if (count == 0)
        return false;
    *time = sum / count;
    return true;
}

int32_t reference_ticks(int a, int b)
{
    if (!laps_enabled() || a < -1 || b <= a)
        return default_reference_ticks;
    double sum = 0;
    int riders = 0;
    for (int r = 0; r < race.standing_count; r++) {
        int slot = race.standings[r].slot;
        const bike* rider = race.bikes[slot];
        double t;
        if (rider && counts_for_reference(slot) && rider_stretch_time(rider, a, b, &t)) {
            sum += t;
            riders++;
        }
    }
    if (riders == 0)
        return default_reference_ticks;
    return clamp_ticks(int64_t(sum / riders));
}

int32_t cutting_penalty(const bike* b)
{
    int64_t penalty = 0;
    int previous = -1;   // last recorded passage, -1 = the race setup
    int missing = 0;     // length of the current run of skipped passages
    for (int i = 0; i < b->next_gate; i++) {
        int t1 = passage_tick(b, i);
        if (t1 < 0) {
            missing++;
            continue;
        }
        if (missing > 0) {
            int64_t taken = int64_t(t1) - stretch_tick(b, previous);
            int64_t cost = int64_t(reference_ticks(previous, i)) + cut_allowance_ticks - taken;
            if (cost > 0)
                penalty += cost;
        }
        missing = 0;
        previous = i;
    }
    return clamp_ticks(penalty);
}

// A standings row with the rider's penalty: laps taken away while the
// penalty exceeds the last lap's time, the rest added to the last tick.
static result_row penalised_row(const standing_row& s)
{
    result_row r = {s.slot, s.passages, s.last_tick, 0, 0};
    const bike* b = race.bikes[s.slot];
    if (!b)
        return r;
    int64_t penalty = cutting_penalty(b);
    if (lap_count(b) > 1) {
        int64_t last_lap = lap_ticks(b, -1);
        // A lap without a time can't pay for anything.
        while (last_lap > 0 && last_lap < penalty && r.passages > timing_gates.first_lap_count) {
            r.passages -= timing_gates.normal_lap_count;
            penalty -= last_lap;
            r.laps_lost++;
        }
    }
    r.penalty_ticks = clamp_ticks(penalty);
    r.last_tick = clamp_ticks(int64_t(r.last_tick) + penalty);
    return r;
}

void build_final_results()
{
    int n = race.standing_count;
    for (int i = 0; i < n; i++)
        race.results[i] = penalised_row(race.standings[i]);
    race.result_count = n;
    heap_sort_array(race.results, size_t(n), [](const result_row& a, const result_row& b) {
        return compare_standing(a.passages, a.last_tick, a.slot, b.passages, b.last_tick, b.slot);
    });
}

// ---- the decision ------------------------------------------------------------------

// Every row must pass: finished, or (connected) not racing locally, or a
// remote rider silent for a second.  A race without riders is never decided.
static bool race_is_decided()
{
    if (race.standing_count == 0)
        return false;
    bool connected = race_connected();
    for (int r = 0; r < race.standing_count; r++) {
        int slot = race.standings[r].slot;
        bike* b = race.bikes[slot];
        if (b && has_finished(b))
            continue;
        if (!connected)
            return false;
        bool local = race.driver_kind[slot] == driver_local;
        if (local && !race_local_racing())
            continue;
        if (slot == race_own_slot())
            return false;
        int64_t silent = int64_t(race.tick) - race_snapshot_tick(slot);
        if (silent * tick_period < stale_rider_seconds)
            return false;
    }
    return true;
}

void update_standings()
{
    if (race.results_final)
        return;
    rebuild_standings();
    fix_timed_race_length();
    if (!race_is_decided())
        return;
    build_final_results();
    if (race.result_count > 0) {
        bike* first = race.bikes[race.results[0].slot];
        if (first && has_finished(first))
            write_results_file();
    }
    race.results_final = true;
    race_rules_notify_decided();
}
