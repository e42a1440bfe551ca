// test_support.cpp -- scratch folders and files for the tests.
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

scratch_dir::scratch_dir()
{
    static int serial = 0;
    fs::path base = fs::temp_directory_path() / "vortrak-tests";
    fs::create_directories(base);
    for (;;) {
        fs::path p = base / ("t" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path = p.string();
            return;
        }
    }
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

void write_file(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool file_exists(const std::string& path) { return fs::exists(path); }

void set_env(const char* name, const char* value)
{
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}
