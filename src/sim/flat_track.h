// flat_track.h -- a flat practice field written into a data root.
//
// Owns nothing beyond the files it writes.  The benchmark and the riding
// tests use it so that flat-ground figures need no generated track: a
// square height field of 2^(n+1) + 1 samples per side, every sample at
// height 0, flat shading, no texture list (one default tile) and an empty
// tile map, written as dir + name + "/" + file.  Needs: plain stdio.
#pragma once

// Writes the track; false (with a message on stderr) when a file can't be
// written.  levels is clamped to 6..12; spacing must be > 0 ft.
bool write_flat_track(const char* dir, const char* name, int levels, float spacing);
