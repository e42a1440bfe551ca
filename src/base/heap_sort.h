// heap_sort.h -- the one in-place sort of the program.
//
// Standings, final results, the collision order by speed and the series
// standings all go through this sort, so the order it leaves equal records
// in is part of the game's behaviour.  It is the classic heap sort: the heap
// is built by sifting down from n/2-1 to 0, then the root is swapped with
// the last element of the heap and sifted down, until one element is left.
// The comparator is three-way (negative, zero, positive) and the result is
// ascending.  Not stable.
#pragma once

#include <cstddef>

typedef int (*heap_compare_fn)(const void* a, const void* b, void* context);

void heap_sort(void* base, size_t count, size_t size, heap_compare_fn compare, void* context);

// Typed convenience over heap_sort for arrays of T with a comparator
// int compare(const T&, const T&).
template <typename T, typename Compare>
void heap_sort_array(T* items, size_t count, Compare compare)
{
    heap_sort(items, count, sizeof(T),
              [](const void* a, const void* b, void* ctx) -> int {
                  return (*static_cast<Compare*>(ctx))(*static_cast<const T*>(a),
                                                      *static_cast<const T*>(b));
              },
              &compare);
}
