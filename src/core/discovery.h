// discovery.h -- the track list and the demo list, built once at start-up.
//
// Tracks are the directories of every "terrain.hf" (plain, gzip or
// enciphered) in the data file list, named by the first line of their
// "desc" file and sorted by that name (A-Z folded).  Demos are the data
// names "demos/...vkdemo", in list order.
#pragma once

struct track_list {
    const char** dirs;    // directory data names ("rabbithill"), interned
    const char** names;   // display names, interned
    int count;
};

struct demo_list {
    const char** paths;   // data names ("demos/x.vkdemo"), interned
    const char** names;   // base names without extension, interned
    int count;
};

// From a null-terminated file name list (file_index.h's file_name_list).
void discover_tracks(const char* const* file_names, track_list* out, int debug_level);
void discover_demos(const char* const* file_names, demo_list* out, int debug_level);
void track_list_free(track_list* t);
void demo_list_free(demo_list* d);
