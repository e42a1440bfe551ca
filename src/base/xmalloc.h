// xmalloc.h -- allocation that never returns null.
//
// Exhausted memory is the program's one fatal error.  The default handler
// writes "Out of virtual memory" to standard error and exits with status 1;
// the game installs a handler at start-up that first closes the audio output
// and the window and shows the "Error" message box.
#pragma once

#include <cstddef>

typedef void (*xmalloc_fatal_fn)();   // must not return

void  xmalloc_set_fatal(xmalloc_fatal_fn handler);
[[noreturn]] void out_of_memory();

void* xmalloc(size_t size);                // never null (a size of 0 allocates 1 byte)
void* xcalloc(size_t count, size_t size);  // zeroed; the product is overflow-checked
void* xrealloc(void* block, size_t size);
char* xstrdup(const char* text);
