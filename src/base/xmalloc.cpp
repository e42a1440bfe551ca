// xmalloc.cpp -- allocation wrappers with the fatal out-of-memory exit.
#include "base/xmalloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static xmalloc_fatal_fn fatal_handler = nullptr;

void xmalloc_set_fatal(xmalloc_fatal_fn handler) { fatal_handler = handler; }

void out_of_memory()
{
    if (fatal_handler)
        fatal_handler();
    fputs("Out of virtual memory\n", stderr);
    exit(1);
}

void* xmalloc(size_t size)
{
    void* p = malloc(size ? size : 1);
    if (!p)
        out_of_memory();
    return p;
}

void* xcalloc(size_t count, size_t size)
{
    if (size && count > static_cast<size_t>(-1) / size)
        out_of_memory();
    void* p = calloc(count ? count : 1, size ? size : 1);
    if (!p)
        out_of_memory();
    return p;
}

void* xrealloc(void* block, size_t size)
{
    void* p = realloc(block, size ? size : 1);
    if (!p)
        out_of_memory();
    return p;
}

char* xstrdup(const char* text)
{
    size_t n = strlen(text) + 1;
    char* p = static_cast<char*>(xmalloc(n));
    memcpy(p, text, n);
    return p;
}
