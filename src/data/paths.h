// paths.h -- data roots and the home folder.
//
// A name beginning with "@" is a data name, looked up in every data root in
// turn (then in the archive index, file_index.h); any other name is a path.
// Root 0 is the home root ($XDG_DATA_HOME or ~/.local/share, then
// "/Vortrak/"), where everything written under a data name goes; the next
// root is $VK_HOME, or, without it, the executable's directory.  The list is
// worked out on first use.  Paths are bounded to path_max bytes: a name that
// does not fit fails instead of being cut.
#pragma once

#include <cstddef>

constexpr size_t path_max = 512;   // bytes of a path, NUL included
constexpr int max_data_roots = 3;

const char* data_root(int index);   // "/.../" or null past the end
int data_root_count();
// The home root, or null when no per-user folder could be found (then
// nothing can be written under a data name).
const char* home_root();

// Joins a and b, turns every "\" into "/" and collapses runs of "/".
// False when the result does not fit.
bool path_normalize(char* out, size_t size, const char* a, const char* b);

// A data name (without its "@") that may be joined to a root: not empty,
// not absolute, no ".." component.  Names from the configuration or a
// server pass through this before use.
bool data_name_is_safe(const char* name);

// Creates every directory named by a prefix of path that ends at a "/".
void make_parent_dirs(const char* path);

// The path a data name is written to (home root + name); false when the
// name is unsafe or the result does not fit.
bool home_path(char* out, size_t size, const char* data_name);

// A data name stands for the home root + the rest; renames; false on failure.
bool file_rename(const char* from, const char* to);

// Creates the home root and opens it in the desktop's file browser.
bool home_open_in_browser();

// Logs the working-set range worked out from the physical memory
// ("Setting working set range to %u - %u\n"), then "Working set update
// failed\n": Linux has no working-set control.  Below 64 MiB it logs
// "Working set left alone - less than 64 MB physical memory\n" instead.
void working_set_setup();
// The working-set range for a physical memory size (capped at 2 GiB);
// false when below 64 MiB.
bool working_set_range(unsigned long long physical, unsigned* minimum, unsigned* maximum);

// For tests: forget the roots so the next call reads the environment again.
void data_roots_reset();
