// test_support.h -- scratch folders and files for the tests.
#pragma once

#include <string>

// A fresh empty directory under the build's test area, removed by the
// destructor.  Its path ends without "/".
struct scratch_dir {
    std::string path;
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Writes bytes to a file, creating its directories.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);   // "" when missing
bool file_exists(const std::string& path);
// Sets or (value null) clears an environment variable.
void set_env(const char* name, const char* value);
