// write.cpp -- file output of the data generator.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "datagen.h"

bool datagen_write(const std::string& dir, const std::string& name, const std::string& bytes)
{
    std::filesystem::path path = std::filesystem::path(dir) / name;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    // Unchanged files are left alone so the build does not redo what depends on them.
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == bytes)
                return true;
        }
    }
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            fprintf(stderr, "datagen: can't write %s\n", tmp.string().c_str());
            return false;
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        fprintf(stderr, "datagen: can't rename %s: %s\n", tmp.string().c_str(), ec.message().c_str());
        return false;
    }
    return true;
}
