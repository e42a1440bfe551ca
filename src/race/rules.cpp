// rules.cpp -- timing-gate passages, laps, finishing and the off-course test.
//
// Owns the "race progress" fields of every bike and the hook tables of
// rules.h.  Needs the timing gates of the loaded track and the standings
// (standings.cpp keeps them sorted; the leader is their first row).
// Promises: a passage is recorded only through record_passage, which grows
// the history with -1 for skipped gates; a finish line is never skipped.
#include "race/rules.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <ode/ode.h>

#include "base/tick.h"
#include "base/xmalloc.h"
#include "bike/bike.h"
#include "race/race_state.h"
#include "race/standings.h"
#include "terrain/timing_gates.h"

// Offsets from next_gate tried each tick, in this order: back three and
// two passages (collecting a skipped gate), the gate due, and two ahead
// (skipping).  One back is never tried: the rider has just passed it.
static const int passage_offsets[] = {-3, -2, 0, 1, 2};

static const int history_initial = 64;   // entries of a new passage history

// ---- hooks ------------------------------------------------------------------

static const race_rules_ops no_rules_ops = {nullptr, nullptr, nullptr};
static const race_rules_ops* rules_ops = &no_rules_ops;

static bool offline() { return false; }
static int no_own_slot() { return no_slot; }
static int32_t no_snapshot(int) { return INT32_MIN / 2; }
static const race_net_ops offline_net_ops = {offline, offline, no_own_slot, no_snapshot};
static const race_net_ops* net_ops = &offline_net_ops;

void race_rules_install(const race_rules_ops* ops) { rules_ops = ops ? ops : &no_rules_ops; }
void race_net_install(const race_net_ops* ops) { net_ops = ops ? ops : &offline_net_ops; }

bool race_connected() { return net_ops->connected && net_ops->connected(); }
bool race_local_racing() { return net_ops->local_racing && net_ops->local_racing(); }
int race_own_slot() { return net_ops->own_slot ? net_ops->own_slot() : no_slot; }
int32_t race_snapshot_tick(int slot) { return net_ops->snapshot_tick ? net_ops->snapshot_tick(slot) : no_snapshot(slot); }

void race_rules_notify_decided()
{
    if (rules_ops->race_decided)
        rules_ops->race_decided();
}

// ---- sequence arithmetic ------------------------------------------------------

bool laps_enabled() { return timing_gates_usable(); }

int passage_position(int i)
{
    if (i < 0 || !laps_enabled())
        return -1;
    return timing_sequence_index(i);
}

bool is_finish_passage(int i)
{
    if (!laps_enabled())
        return false;
    int after = i + 1 - timing_gates.first_lap_count;
    return after >= 0 && after % timing_gates.normal_lap_count == 0;
}

int lap_end_passage(int k)
{
    if (!laps_enabled() || k < 1)
        return -1;
    int64_t p = timing_gates.first_lap_count - 1 + int64_t(timing_gates.normal_lap_count) * (k - 1);
    return p > INT_MAX ? INT_MAX : int(p);
}

int laps_for_passages(int passages)
{
    if (!laps_enabled() || passages < timing_gates.first_lap_count)
        return 0;
    return (passages - timing_gates.first_lap_count) / timing_gates.normal_lap_count + 1;
}

// ---- history ------------------------------------------------------------------------

int passage_tick(const bike* b, int i)
{
    if (i < 0 || i >= b->gate_tick_count)
        return -1;
    return b->gate_ticks[i];
}

// Grows the history with -1 entries so that index i exists.
static void reserve_history(bike* b, int i)
{
    if (i >= b->gate_tick_capacity) {
        int capacity = b->gate_tick_capacity > 0 ? b->gate_tick_capacity : history_initial;
        while (capacity <= i)
            capacity = capacity > INT_MAX / 2 ? INT_MAX : capacity * 2;
        b->gate_ticks = static_cast<int*>(xrealloc(b->gate_ticks, sizeof(int) * size_t(capacity)));
        b->gate_tick_capacity = capacity;
    }
    while (b->gate_tick_count <= i)
        b->gate_ticks[b->gate_tick_count++] = -1;
}

// Passage i made now.  Entries after i survive a step back: the rider
// passed those gates already and keeps their ticks until it passes them again.
static void record_passage(bike* b, int i)
{
    reserve_history(b, i);
    b->gate_ticks[i] = race.tick;
    b->next_gate = i + 1;
}

void cut_history(bike* b, int n)
{
    if (n < 0)
        n = 0;
    if (n < b->next_gate)
        b->finished = false;
    b->next_gate = n;
    if (b->gate_tick_count > n)
        b->gate_tick_count = n;
    if (rules_ops->line_cut)
        rules_ops->line_cut(b);
}

// ---- laps -----------------------------------------------------------------------------

int lap_count(const bike* b) { return laps_for_passages(b->next_gate); }

int lap_gate(const bike* b)
{
    int first = timing_gates.first_lap_count;
    if (!laps_enabled() || b->next_gate < first)
        return b->next_gate;
    return (b->next_gate - first) % timing_gates.normal_lap_count + 1;
}

int lap_ticks(const bike* b, int k)
{
    int laps = lap_count(b);
    if (k < 0)
        k = laps;
    if (k < 1 || k > laps)
        return 0;
    int start = k == 1 ? race.race_start_tick : passage_tick(b, lap_end_passage(k - 1));
    int end = passage_tick(b, lap_end_passage(k));
    if (end < 0 || (k > 1 && start < 0))
        return 0;
    return end - start;
}

double lap_time(const bike* b, int k) { return lap_ticks(b, k) * tick_period; }

bool best_lap(const bike* b, int* lap, int* ticks)
{
    *lap = 0;
    *ticks = 0;
    int laps = lap_count(b);
    for (int k = 2; k <= laps; k++) {
        int t = lap_ticks(b, k);
        if (t != 0 && (*lap == 0 || t < *ticks)) {
            *lap = k;
            *ticks = t;
        }
    }
    return *lap != 0;
}

double lap_gap(const bike* a, const bike* b)
{
    int k = lap_count(a) < lap_count(b) ? lap_count(a) : lap_count(b);
    int p = lap_end_passage(k);
    int ta = passage_tick(a, p), tb = passage_tick(b, p);
    if (k < 1 || ta < 0 || tb < 0)
        return 0.0;
    return (ta - tb) * tick_period;
}

// ---- finishing ------------------------------------------------------------------------

// The passage that ends the race (far beyond reach while a timed race's
// length is open).
static int64_t race_final_passage()
{
    if (race.race_laps == 0)
        return 0;
    return timing_gates.first_lap_count - 1 +
           int64_t(timing_gates.normal_lap_count) * (int64_t(race.race_laps) - 1);
}

bool has_finished(bike* b)
{
    if (b->finished)
        return true;
    bike* leader = standings_leader();
    if (!leader || !laps_enabled() || b->next_gate < timing_gates.first_lap_count)
        return false;
    int64_t last = race_final_passage();
    if (leader->next_gate <= last)
        return false;   // the chequered flag is not out yet
    int d = passage_tick(leader, int(last));
    int own = passage_tick(b, lap_end_passage(lap_count(b)));
    if (d < 0 || own < d)
        return false;
    b->finished = true;
    return true;
}

// After a passage that completed a lap: the flag is out, or the rider has
// ridden the laps the race asks for.
static void check_finish(bike* b)
{
    int after = b->next_gate - timing_gates.first_lap_count;
    if (b->finished || after < 0 || after % timing_gates.normal_lap_count != 0)
        return;
    const bike* leader = standings_leader();
    if ((leader && leader->next_gate > race_final_passage()) || lap_count(b) >= race.race_laps)
        b->finished = true;
}

// ---- passage detection ----------------------------------------------------------------

// Looks for this tick's passage of the rider at p; the passage index or -1.
static int detect_passage(bike* b, vec3 p, bool* expected)
{
    bool gap = false;   // a passage without a tick was seen on the way
    for (int k : passage_offsets) {
        int i = b->next_gate + k;
        if (i < 0)
            continue;
        bool missing = passage_tick(b, i) < 0;
        if (missing)
            gap = true;
        int gate = timing_checkpoint_of(i);
        if (gate < 0)
            return -1;
        if (!at_checkpoint(p, timing_gates.checkpoints[gate])) {
            if (missing && is_finish_passage(i))
                return -1;   // a finish line can't be skipped
            continue;
        }
        if (k >= 0 || gap) {
            record_passage(b, i);
            *expected = k == 0;
            return i;
        }
    }
    return -1;
}

// Whether the timed race's lap count or halfway lap waits for this tick.
static bool timed_update_due()
{
    if (race.race_duration <= 0)
        return false;
    return (race.tick >= race.race_duration / 2 && race.halfway_lap == race_laps_unfixed) ||
           (race.tick >= race.race_duration && race.race_laps == race_laps_unfixed);
}

void gate_progress_at(int slot, vec3 point)
{
    if (slot < 0 || slot >= max_slots)
        return;
    bike* b = race.bikes[slot];
    if (!b || !laps_enabled() || b->finished)
        return;
    bool expected = false;
    int passage = detect_passage(b, point, &expected);
    if (rules_ops->line_progress)
        rules_ops->line_progress(b, passage, expected);
    if (passage >= 0)
        check_finish(b);
    // Standings change only with passages offline; connected, the
    // decision also waits on the remote riders' clocks.
    if (passage >= 0 || timed_update_due() || race_connected())
        update_standings();
}

void gate_progress(int slot)
{
    if (slot < 0 || slot >= max_slots || !race.bikes[slot])
        return;
    dBodyID wheel = race.bikes[slot]->bodies[body_front_wheel];
    if (!wheel)
        return;
    const dReal* p = dBodyGetPosition(wheel);
    gate_progress_at(slot, {float(p[0]), float(p[1]), float(p[2])});
}

// ---- multiplayer off-course test ------------------------------------------------------

bool off_course(const bike* b, int g)
{
    if (g < 1 || !laps_enabled())
        return false;
    int t0 = race.race_start_tick;
    for (int i = g - 1; i >= g - 3 && i >= 0; i--)
        if (passage_tick(b, i) >= 0) {
            t0 = passage_tick(b, i);
            break;
        }
    int t1 = race.tick;
    for (int i = g; i < b->next_gate; i++)
        if (passage_tick(b, i) >= 0) {
            t1 = passage_tick(b, i);
            break;
        }
    for (int r = 0; r < race.standing_count; r++) {
        const bike* ref = race.bikes[race.standings[r].slot];
        if (!ref || ref->next_gate <= g)
            return false;
        int a = passage_tick(ref, g - 1), c = passage_tick(ref, g);
        if (a >= 0 && c >= 0)
            return (t1 - t0) * tick_period >=
                   (c - a) * tick_period * race.off_course_scale + race.off_course_bias;
    }
    return false;
}

// ---- race length -----------------------------------------------------------------------

void race_length_text(char* out, size_t size)
{
    if (race.race_duration > 0) {
        int minutes = int(race.race_duration * tick_period / 60.0 + 0.5);
        if (race.laps_setting > 0)
            snprintf(out, size, "%d minutes + %d laps", minutes, race.laps_setting);
        else
            snprintf(out, size, "%d minutes", minutes);
    } else {
        snprintf(out, size, "%d laps", race.laps_setting);
    }
}

// ---- realign service for fallen riders -----------------------------------------------

static bool passed_gate(const bike* b) { return laps_enabled() && b->next_gate > 0; }

static bool last_gate_ticks(const bike* b, int32_t* own_tick, int32_t* leader_tick)
{
    const bike* leader = standings_leader();
    int i = b->next_gate - 1;
    if (!leader || passage_tick(b, i) < 0 || passage_tick(leader, i) < 0)
        return false;
    *own_tick = passage_tick(b, i);
    *leader_tick = passage_tick(leader, i);
    return true;
}

// The gate due next; the robot line store may offer a finer target later.
static bool next_gate_target(const bike* b, vec3* target)
{
    int gate = timing_checkpoint_of(b->next_gate);
    if (gate < 0)
        return false;
    *target = timing_gates.checkpoints[gate].position;
    return true;
}

const bike_race_ops rules_bike_race_ops = {passed_gate, last_gate_ticks, next_gate_target};
