// intern.cpp -- an open-addressing hash set of strings that are never freed.
#include "base/intern.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"

constexpr size_t intern_initial_slots = 256;   // power of two

static const char** intern_slots = nullptr;   // null = empty slot
static size_t intern_capacity = 0;            // number of slots
static size_t intern_count = 0;               // strings stored

static uint32_t hash_text(const char* s)
{
    uint32_t h = 2166136261u;   // FNV-1a
    for (; *s; s++)
        h = (h ^ static_cast<unsigned char>(*s)) * 16777619u;
    return h;
}

static size_t find_slot(const char** slots, size_t capacity, const char* text)
{
    size_t i = hash_text(text) & (capacity - 1);
    while (slots[i] && strcmp(slots[i], text) != 0)
        i = (i + 1) & (capacity - 1);
    return i;
}

static void grow()
{
    size_t capacity = intern_capacity ? intern_capacity * 2 : intern_initial_slots;
    const char** slots = static_cast<const char**>(xcalloc(capacity, sizeof *slots));
    for (size_t i = 0; i < intern_capacity; i++)
        if (intern_slots[i])
            slots[find_slot(slots, capacity, intern_slots[i])] = intern_slots[i];
    free(intern_slots);
    intern_slots = slots;
    intern_capacity = capacity;
}

const char* intern_string(const char* text)
{
    if (2 * (intern_count + 1) > intern_capacity)
        grow();
    size_t i = find_slot(intern_slots, intern_capacity, text);
    if (!intern_slots[i]) {
        intern_slots[i] = xstrdup(text);
        intern_count++;
    }
    return intern_slots[i];
}
