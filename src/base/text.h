// text.h -- small string helpers shared by every layer.
//
// Bounded copies and joins that report truncation instead of silently
// cutting a name (a cut path would open a different file), and the
// ASCII-only case folding the file index and the track list compare with.
#pragma once

#include <cstddef>

// Copies src into dst of the given size; false (dst holding a NUL-terminated
// prefix) when src did not fit.
bool text_copy(char* dst, size_t size, const char* src);

// Appends src to the NUL-terminated text in dst; false when it did not fit.
bool text_append(char* dst, size_t size, const char* src);

// The letters A to Z folded to a to z; every other byte unchanged.
inline int text_fold(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Byte-wise comparison with A-Z folded: negative, zero or positive.
int text_compare_folded(const char* a, const char* b);

bool text_ends_with(const char* text, const char* suffix);          // case-sensitive
bool text_ends_with_folded(const char* text, const char* suffix);   // A-Z folded
bool text_starts_with(const char* text, const char* prefix);        // case-sensitive
