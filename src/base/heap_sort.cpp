// heap_sort.cpp -- classic in-place heap sort over untyped records.
#include "base/heap_sort.h"

#include <cstring>

static void swap_records(unsigned char* a, unsigned char* b, size_t size)
{
    while (size--) {
        unsigned char t = *a;
        *a++ = *b;
        *b++ = t;
    }
}

// Sift the record at root down a max-heap of count records.
static void sift_down(unsigned char* base, size_t root, size_t count, size_t size,
                      heap_compare_fn compare, void* context)
{
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= count)
            return;
        // The larger of the two children; on equal children the left one.
        if (child + 1 < count &&
            compare(base + child * size, base + (child + 1) * size, context) < 0)
            child++;
        if (compare(base + root * size, base + child * size, context) >= 0)
            return;
        swap_records(base + root * size, base + child * size, size);
        root = child;
    }
}

void heap_sort(void* items, size_t count, size_t size, heap_compare_fn compare, void* context)
{
    if (count < 2 || size == 0)
        return;
    unsigned char* base = static_cast<unsigned char*>(items);
    for (size_t i = count / 2; i-- > 0;)
        sift_down(base, i, count, size, compare, context);
    for (size_t end = count - 1; end > 0; end--) {
        swap_records(base, base + end * size, size);
        sift_down(base, 0, end, size, compare, context);
    }
}
