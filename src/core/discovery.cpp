// discovery.cpp -- track and demo discovery from the data file list.
#include "core/discovery.h"

#include <cstdlib>
#include <cstring>

#include "base/intern.h"
#include "base/text.h"
#include "base/xmalloc.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log.h"

constexpr int desc_line_max = 256;   // bytes of a display name read from "desc"

static const char* const terrain_suffixes[] = {
    "/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram", "/terrain.hf.gz.scram",
};

// The directory of a terrain file name, or false when the name is not one.
static bool track_dir_of(const char* name, char* dir, size_t size)
{
    for (const char* suffix : terrain_suffixes)
        if (text_ends_with(name, suffix)) {
            size_t n = strlen(name) - strlen(suffix);
            if (n == 0 || n >= size)
                return false;
            memcpy(dir, name, n);
            dir[n] = 0;
            return true;
        }
    return false;
}

// The first line of "@dir/desc" (up to CR, LF, NUL or the end), or the
// directory itself when the file cannot be opened.
static const char* display_name_of(const char* dir)
{
    char name[path_max];
    if (!text_copy(name, sizeof name, "@") || !text_append(name, sizeof name, dir) ||
        !text_append(name, sizeof name, "/desc"))
        return intern_string(dir);
    file_stream* s = stream_open(name, "rb");
    if (!s)
        return intern_string(dir);
    char line[desc_line_max];
    int n = 0;
    for (int c; n < desc_line_max - 1 && (c = stream_getc(s)) >= 0;) {
        if (c == '\r' || c == '\n' || c == 0)
            break;
        line[n++] = static_cast<char>(c);
    }
    line[n] = 0;
    stream_close(s);
    return intern_string(line);
}

void discover_tracks(const char* const* file_names, track_list* out, int debug_level)
{
    int capacity = 0;
    out->dirs = out->names = nullptr;
    out->count = 0;
    for (const char* const* p = file_names; *p; p++) {
        char dir[path_max];
        if (!track_dir_of(*p, dir, sizeof dir))
            continue;
        const char* interned = intern_string(dir);
        // A track shipped both plain and compressed is still one track.
        bool seen = false;
        for (int i = 0; i < out->count && !seen; i++)
            seen = out->dirs[i] == interned;
        if (seen)
            continue;
        if (out->count == capacity) {
            capacity = capacity ? capacity * 2 : 16;
            out->dirs = static_cast<const char**>(xrealloc(out->dirs, capacity * sizeof *out->dirs));
            out->names = static_cast<const char**>(xrealloc(out->names, capacity * sizeof *out->names));
        }
        out->dirs[out->count] = interned;
        out->names[out->count] = display_name_of(interned);
        out->count++;
    }
    // Exchange sort by display name; equal names keep their places.
    for (int i = 0; i + 1 < out->count; i++)
        for (int j = i + 1; j < out->count; j++)
            if (text_compare_folded(out->names[i], out->names[j]) > 0) {
                const char* t = out->names[i];
                out->names[i] = out->names[j];
                out->names[j] = t;
                t = out->dirs[i];
                out->dirs[i] = out->dirs[j];
                out->dirs[j] = t;
            }
    if (debug_level >= 1)
        for (int i = 0; i < out->count; i++)
            log_printf("%s -> %s\n", out->dirs[i], out->names[i]);
}

void discover_demos(const char* const* file_names, demo_list* out, int debug_level)
{
    int capacity = 0;
    out->paths = out->names = nullptr;
    out->count = 0;
    for (const char* const* p = file_names; *p; p++) {
        const char* name = *p;
        if (!text_starts_with(name, "demos/") || !text_ends_with(name, ".vkdemo"))
            continue;
        const char* base = strrchr(name, '/') + 1;
        const char* dot = strrchr(base, '.');
        size_t n = dot ? static_cast<size_t>(dot - base) : strlen(base);
        char label[path_max];
        if (n >= sizeof label)
            continue;
        memcpy(label, base, n);
        label[n] = 0;
        if (out->count == capacity) {
            capacity = capacity ? capacity * 2 : 16;
            out->paths = static_cast<const char**>(xrealloc(out->paths, capacity * sizeof *out->paths));
            out->names = static_cast<const char**>(xrealloc(out->names, capacity * sizeof *out->names));
        }
        out->paths[out->count] = intern_string(name);
        out->names[out->count] = intern_string(label);
        if (debug_level >= 1)
            log_printf("%s -> %s\n", out->paths[out->count], out->names[out->count]);
        out->count++;
    }
}

void track_list_free(track_list* t)
{
    free(t->dirs);
    free(t->names);
    t->dirs = t->names = nullptr;
    t->count = 0;
}

void demo_list_free(demo_list* d)
{
    free(d->paths);
    free(d->names);
    d->paths = d->names = nullptr;
    d->count = 0;
}
