// timing_gates.cpp -- reading, checking and writing a track's timing gates.
//
// Owns `timing_gates`.  Needs the data streams, the log, add_statue
// (track.h) for the starting-gate statues and the height field only
// through it.  Promises: after read_timing_gates every sequence entry names
// an existing checkpoint, every count is within its array, and either the
// laps are usable (all five counts non-zero) or checkpoint_count is 0 with
// empty sequences; faults in the file are mended and logged, never trusted.
#include "terrain/timing_gates.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/intern.h"
#include "base/text.h"
#include "data/stream.h"
#include "platform/log.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

constexpr int gate_token_size = 81;        // " %80s "
constexpr int gate_line_size = 4096;       // one starting-gate line
constexpr int gate_name_size = 1024;       // "%1023s"
constexpr float gate_statue_offset = 3.0f; // the statue stands 3 ft behind the gate point
constexpr double pi = 3.14159265358979323846;

const char* const default_gate_model = "@startgate.jm";
const char* const default_gate_texture = "@startgate.ppm";
const char* const default_gate_shape = "@startgate.shp";

timing_gate_set timing_gates;

static void no_line_store_create(int) {}
static void no_line_store_release() {}
static gate_line_store_ops line_store = {no_line_store_create, no_line_store_release};
static bool line_store_made = false;   // create was called for the current set

void gate_line_store_install(const gate_line_store_ops* ops)
{
    line_store = {no_line_store_create, no_line_store_release};
    if (ops && ops->create)
        line_store.create = ops->create;
    if (ops && ops->release)
        line_store.release = ops->release;
}

static bool finite3(float a, float b, float c)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

// Wraps an angle outside [-pi, pi] into it.
static float wrap_angle(float a)
{
    if (a >= -pi && a <= pi)
        return a;
    double f = (a + pi) / (2 * pi);
    f -= std::floor(f);
    return static_cast<float>(f * 2 * pi - pi);
}


static const char* skip_blanks(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        p++;
    return p;
}

// An interned name from the file: "null" means none.
static const char* gate_name(const char* text)
{
    return strcmp(text, "null") == 0 ? nullptr : intern_string(text);
}

// Parses one starting-gate line and places its statue; false when the
// line does not match.  Gates past the limit are counted in *dropped.
static bool starting_gate_line(const char* p, int* dropped)
{
    float x, y, z, a;
    char names[3][gate_name_size] = {};
    int got = sscanf(p, " [ %f %f %f ] %f %1023s %1023s %1023s", &x, &y, &z, &a, names[0],
                     names[1], names[2]);
    if (got < 4 || !finite3(x, y, z) || !std::isfinite(a))
        return false;
    if (timing_gates.start_count == max_starting_gates) {
        (*dropped)++;
        return true;
    }
    const char* defaults[3] = {default_gate_model, default_gate_texture, default_gate_shape};
    for (int i = 0; i < 3; i++)
        if (got < 5 + i)
            text_copy(names[i], sizeof names[i], defaults[i]);
    a = wrap_angle(a);
    starting_gate& g = timing_gates.starts[timing_gates.start_count++];
    g.position = {x, y, z};
    g.angle = a;
    g.model = gate_name(names[0]);
    g.texture = gate_name(names[1]);
    g.shape = gate_name(names[2]);
    g.statue = add_statue(x - gate_statue_offset * std::sin(a), y,
                          z - gate_statue_offset * std::cos(a), a, g.model, g.texture, g.shape);
    return true;
}

// Reads starting-gate lines; returns true when the section ended at a
// "checkpoints:" line.  Blank lines are skipped.
static bool read_starting_gates(file_stream* s)
{
    char line[gate_line_size];
    int dropped = 0;
    bool at_checkpoints = false;
    while (stream_read_line(s, line, sizeof line)) {
        const char* p = skip_blanks(line);
        if (*p == 0)
            continue;
        at_checkpoints = text_starts_with(p, "checkpoints:");
        if (at_checkpoints || !starting_gate_line(p, &dropped))
            break;
    }
    if (dropped)
        log_printf("timing_gates: %d starting gates past the first %d ignored\n", dropped,
                   max_starting_gates);
    return at_checkpoints;
}

static void read_checkpoints(file_stream* s)
{
    for (;;) {
        float r, x, y, z, dx, dy, dz;
        if (stream_scanf(s, "%f [ %f %f %f ] [ %f %f %f ] ", &r, &x, &y, &z, &dx, &dy, &dz) != 7)
            return;
        if (!finite3(x, y, z) || !finite3(dx, dy, dz) || !std::isfinite(r)) {
            log_printf("timing_gates: checkpoint %d has a non-finite value; checkpoints end there\n",
                       timing_gates.checkpoint_count);
            return;
        }
        if (timing_gates.checkpoint_count == max_checkpoints) {
            log_printf("timing_gates: checkpoints past the first %d ignored\n", max_checkpoints);
            while (stream_scanf(s, "%f [ %f %f %f ] [ %f %f %f ] ", &r, &x, &y, &z, &dx, &dy, &dz) == 7) {
            }
            return;
        }
        checkpoint& c = timing_gates.checkpoints[timing_gates.checkpoint_count++];
        c.position = {x, y, z};
        c.direction = {dx, dy, dz};
        c.radius = r;
        c.caution = 0;
    }
}

// Reads a list of integers into entries[0..max_lap_entries); returns the count.
static int read_lap_list(file_stream* s, int* entries, const char* section)
{
    int count = 0, dropped = 0, value;
    while (stream_scanf(s, " %d", &value) == 1) {
        if (count < max_lap_entries)
            entries[count++] = value;
        else
            dropped++;
    }
    if (dropped)
        log_printf("timing_gates: %s has %d entries past the first %d; ignored\n", section, dropped,
                   max_lap_entries);
    return count;
}

// Makes every entry name an existing checkpoint; returns how many were mended.
static int normalise_entries(int* entries, int count, int* counted)
{
    int mended = 0;
    int last = timing_gates.checkpoint_count > 0 ? timing_gates.checkpoint_count - 1 : 0;
    *counted = 0;
    for (int i = 0; i < count; i++) {
        int e = entries[i];
        if (e < 0) {
            entries[i] = 0;
            mended++;
        } else {
            int flag = e >= timing_entry_uncounted ? timing_entry_uncounted : 0;
            int k = e % timing_entry_uncounted;
            if (k > last) {
                k = last;
                mended++;
            }
            entries[i] = flag + k;
        }
        if (entries[i] < timing_entry_uncounted)
            (*counted)++;
    }
    return mended;
}

static void discard_laps()
{
    timing_gates.checkpoint_count = 0;
    timing_gates.first_lap_count = timing_gates.normal_lap_count = 0;
    timing_gates.counted_first = timing_gates.counted_normal = 0;
}

static void release_line_store()
{
    if (line_store_made)
        line_store.release();
    line_store_made = false;
}

void free_timing_gates()
{
    release_line_store();
    timing_gates = timing_gate_set{};
}

void read_timing_gates(const char* path)
{
    free_timing_gates();
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return;
    char token[gate_token_size] = {};
    bool at_checkpoints = false;
    if (stream_scanf(s, " %80s ", token) == 1) {
        if (strcmp(token, "startinggate:") == 0)
            at_checkpoints = read_starting_gates(s);
        else
            at_checkpoints = strcmp(token, "checkpoints:") == 0;
    }
    if (at_checkpoints) {
        read_checkpoints(s);
        int* first = timing_gates.entries;
        int* normal = timing_gates.entries + max_lap_entries;
        token[0] = 0;
        if (stream_scanf(s, " %80s ", token) == 1 && strcmp(token, "firstlap:") == 0) {
            timing_gates.first_lap_count = read_lap_list(s, first, "firstlap");
            token[0] = 0;
            stream_scanf(s, " %80s ", token);
        }
        if (strcmp(token, "normallap:") == 0)
            timing_gates.normal_lap_count = read_lap_list(s, normal, "normallap");
        // The normal lap is stored right after the first lap's entries.
        memmove(first + timing_gates.first_lap_count, normal,
                sizeof(int) * timing_gates.normal_lap_count);
        int mended = normalise_entries(first, timing_gates.first_lap_count, &timing_gates.counted_first);
        mended += normalise_entries(first + timing_gates.first_lap_count,
                                    timing_gates.normal_lap_count, &timing_gates.counted_normal);
        if (mended && timing_gates.checkpoint_count > 0)
            log_printf("timing_gates: %d lap entries named missing checkpoints; mended\n", mended);
    }
    stream_close(s);

    if (!timing_gates_usable()) {
        discard_laps();
        return;
    }
    line_store.create(timing_gates.counted_first + timing_gates.counted_normal);
    line_store_made = true;
    if (terrain_verbosity >= 1)
        log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n",
                   timing_gates.checkpoint_count, timing_gates.first_lap_count,
                   timing_gates.normal_lap_count);
}

bool timing_gates_usable()
{
    const timing_gate_set& t = timing_gates;
    return t.checkpoint_count > 0 && t.first_lap_count > 0 && t.normal_lap_count > 0 &&
           t.counted_first > 0 && t.counted_normal > 0;
}

int timing_sequence_index(int e)
{
    const timing_gate_set& t = timing_gates;
    if (e < 0 || t.checkpoint_count == 0 || t.normal_lap_count == 0)
        return -1;
    if (e < t.first_lap_count)
        return e;
    return t.first_lap_count + (e - t.first_lap_count) % t.normal_lap_count;
}

int timing_checkpoint_of(int e)
{
    int i = timing_sequence_index(e);
    return i < 0 ? -1 : timing_gates.entries[i] % timing_entry_uncounted;
}

bool timing_entry_counted(int e)
{
    int i = timing_sequence_index(e);
    return i >= 0 && timing_gates.entries[i] < timing_entry_uncounted;
}

bool at_checkpoint(vec3 p, const checkpoint& g)
{
    float dx = p.x - g.position.x;
    float dz = p.z - g.position.z;
    return dx * dx + dz * dz <= g.radius * g.radius && dx * g.direction.x + dz * g.direction.z >= 0;
}

// ------------------------------------------------------------------ writing

static const char* name_or_null(const char* name) { return name ? name : "null"; }

static bool uses_default_names(const starting_gate& g)
{
    return g.model && g.texture && g.shape && strcmp(g.model, default_gate_model) == 0 &&
           strcmp(g.texture, default_gate_texture) == 0 && strcmp(g.shape, default_gate_shape) == 0;
}

static bool write_list(file_stream* s, const char* heading, const int* entries, int count)
{
    bool ok = stream_puts(s, heading);
    for (int i = 0; i < count; i++)
        ok &= stream_printf(s, "%d ", entries[i]);
    return ok && stream_puts(s, "\n");
}

bool write_timing_gates(const char* track_name)
{
    char name[512];
    snprintf(name, sizeof name, "@%s/timing_gates", track_name);
    file_stream* s = stream_open(name, "wb");
    if (!s) {
        log_printf("Can't open 'timing_gates'\n");
        return false;
    }
    const timing_gate_set& t = timing_gates;
    bool ok = true;
    if (t.start_count > 0) {
        ok &= stream_puts(s, "startinggate:\n");
        for (int i = 0; i < t.start_count; i++) {
            const starting_gate& g = t.starts[i];
            ok &= stream_printf(s, "[%f %f %f]", g.position.x, g.position.y, g.position.z);
            ok &= stream_printf(s, " %f", g.angle);
            if (uses_default_names(g))
                ok &= stream_puts(s, "\n");
            else
                ok &= stream_printf(s, " %s %s %s\n", name_or_null(g.model),
                                    name_or_null(g.texture), name_or_null(g.shape));
        }
    }
    if (t.checkpoint_count > 0) {
        ok &= stream_puts(s, "checkpoints:\n");
        for (int i = 0; i < t.checkpoint_count; i++) {
            const checkpoint& c = t.checkpoints[i];
            ok &= stream_printf(s, "%f ", c.radius);
            ok &= stream_printf(s, "[%f %f %f]", c.position.x, c.position.y, c.position.z);
            ok &= stream_puts(s, " ");
            ok &= stream_printf(s, "[%f %f %f]", c.direction.x, c.direction.y, c.direction.z);
            ok &= stream_puts(s, "\n");
        }
    }
    if (t.first_lap_count > 0)
        ok &= write_list(s, "firstlap:\n", t.entries, t.first_lap_count);
    if (t.normal_lap_count > 0)
        ok &= write_list(s, "normallap:\n", t.entries + t.first_lap_count, t.normal_lap_count);
    ok &= stream_flush(s);
    stream_close(s);
    if (!ok)
        log_printf("Error writing 'timing_gates'\n");
    return ok;
}
