// file_index.h -- every loose data file and archive member, by name.
//
// Built once, on the first stream_open: all files below every data root and
// all members of every ".saf" archive found there, sorted by name (A-Z
// folded) and then by priority (smaller wins: a root's index for a loose
// file; root count + archive ordinal for a member).  Archives are read
// once; a malformed header drops that archive.  See archive.h for the
// format and the writer.
#pragma once

#include <cstdint>

struct file_index_entry {
    const char* path;   // file on disk holding the bytes (interned)
    const char* name;   // name below its data root, "/"-separated (interned)
    int32_t offset;     // first byte within path
    int32_t size;       // byte count
    int32_t priority;   // smaller wins
};

void file_index_build();
int  file_index_find(const char* name);   // position of the winning entry, or -1
const file_index_entry* file_index_entry_at(int position);
int  file_index_count();
const char* const* file_name_list();      // distinct names, null-terminated
int  file_index_describe(int position, char* buffer, int size);   // 0 past the end

// Lists of data names ("@" + name, null for the first) and labels
// ("default" first) of the PNG texture variants whose base name starts
// with prefix.  Both lists are owned by the caller's arrays.
struct texture_variant_list {
    const char** names;    // interned data names; names[0] is null
    const char** labels;   // interned labels; labels[0] is "default"
    int count;
    int capacity;
};
void texture_variants(const char* prefix, texture_variant_list* out);
void texture_variant_list_free(texture_variant_list* list);

// True when a data root holds a "zzzz.saf" whose first MiB has the built-in
// digest (game_data_digest, compiled in from the data the build wrote; it
// lives in its own generated library, vk_game_digest).
extern const char game_data_digest[];
bool game_data_check();
// The same check against a given digest (tests, tools).
bool game_data_check_digest(const char* hex_digest);

// For tests: drop the index so the next use builds it again.
void file_index_reset();
