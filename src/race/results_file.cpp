// results_file.cpp -- "results.txt": the final classification of a race.
//
// Owns the bytes of the file.  Needs race.results (final rows with the
// penalties applied), the passage histories and laps (rules.h), the data
// streams and paths.  Promises: output goes to data_name + ".tmp" first,
// is flushed to disk, and replaces data_name only when every write
// succeeded; the temporary file never outlives a failure.
#include "race/results_file.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "base/text.h"
#include "base/tick.h"
#include "bike/bike.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log.h"
#include "race/race_state.h"
#include "race/rules.h"
#include "terrain/timing_gates.h"

static const char* const temp_suffix = ".tmp";

// Milliseconds of a tick span, truncated.
static long long span_ms(long long ticks) { return (long long)(double(ticks) * tick_period * 1000.0); }

static bool print_time(file_stream* s, long long ms)
{
    long long minutes = ms / 60000;
    return stream_printf(s, "%3d:%02d.%03d", int(minutes), int(ms / 1000 - minutes * 60), int(ms % 1000));
}

static const char* text_or_empty(const char* t) { return t ? t : ""; }

// Riders without the chequered flag are left out of the whole file.
static bike* finished_bike(const result_row& r)
{
    bike* b = race.bikes[r.slot];
    return b && has_finished(b) ? b : nullptr;
}

static bool write_rider_line(file_stream* s, const result_row& r, const bike* b)
{
    int best = 0, best_ticks = 0;
    best_lap(b, &best, &best_ticks);
    return stream_printf(s, "%4s | %12s | %4d | ", b->assets.number, text_or_empty(b->model.name),
                         laps_for_passages(r.passages)) &&
           print_time(s, span_ms((long long)r.last_tick - race.race_start_tick)) &&
           stream_printf(s, " | %4d | ", best) && print_time(s, span_ms(best_ticks)) && stream_puts(s, "\r\n");
}

// One line per lap: the first lap's passages, then normal_lap_count each.
static bool write_passages(file_stream* s, const bike* b)
{
    int count = b->next_gate;
    if (!stream_printf(s, "\r\n%d\r\n", count))
        return false;
    for (int i = 0; i < count; i++) {
        int t = passage_tick(b, i);
        bool ok = t < 0 ? stream_printf(s, "%8d", -1)
                        : stream_printf(s, "%8.3f", ((long long)t - race.race_start_tick) * tick_period);
        bool line_end = i == count - 1 || is_finish_passage(i);
        if (!ok || !stream_puts(s, line_end ? "\r\n" : " "))
            return false;
    }
    return true;
}

static bool write_body(file_stream* s, long date)
{
    if (!stream_printf(s, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", race.race_duration * tick_period,
                       race.laps_setting, text_or_empty(race.current_track), date) ||
        !stream_printf(s, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time", "BLap",
                       "Best Time"))
        return false;
    for (int i = 0; i < race.result_count; i++)
        if (const bike* b = finished_bike(race.results[i]))
            if (!write_rider_line(s, race.results[i], b))
                return false;
    for (int i = 0; i < race.result_count; i++)
        if (const bike* b = finished_bike(race.results[i]))
            if (!write_passages(s, b))
                return false;
    return true;
}

static void remove_file(const char* name)
{
    char path[path_max];
    if (name[0] != '@')
        remove(name);
    else if (home_path(path, sizeof path, name))
        remove(path);
}

bool write_results_as(const char* data_name, long date)
{
    char temp[path_max];
    if (!text_copy(temp, sizeof temp, data_name) || !text_append(temp, sizeof temp, temp_suffix)) {
        log_printf("Can't write '%s': the name is too long\n", data_name);
        return false;
    }
    file_stream* s = stream_open(temp, "wb");
    if (!s) {
        log_printf("Can't open '%s' for writing\n", temp);
        return false;
    }
    bool ok = write_body(s, date) && stream_flush(s) && fsync(fileno(s->file)) == 0;
    stream_close(s);
    if (!ok || !file_rename(temp, data_name)) {
        log_printf("Can't write '%s'; the previous results are kept\n", data_name);
        remove_file(temp);
        return false;
    }
    return true;
}

bool write_results_file() { return write_results_as(results_data_name, long(time(nullptr))); }
