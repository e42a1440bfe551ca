// flat_track.cpp -- writes a flat height field track (see flat_track.h).
#include "sim/flat_track.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

static bool write_bytes(const std::string& path, const std::string& head, const std::vector<unsigned char>& body)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "Can't write '%s'\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    if (!body.empty())
        ok = ok && std::fwrite(body.data(), 1, body.size(), f) == body.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        std::fprintf(stderr, "Can't write '%s'\n", path.c_str());
    return ok;
}

bool write_flat_track(const char* dir, const char* name, int levels, float spacing)
{
    if (!(spacing > 0))
        return false;
    levels = std::clamp(levels, 6, 12);
    int side = (1 << (levels + 1)) + 1;
    int tiles = 1 << levels;
    std::string root = std::string(dir) + "/" + name + "/";
    mkdir(dir, 0777);
    mkdir(root.c_str(), 0777);
    char header[64];
    std::snprintf(header, sizeof header, "%d %f 0 1 :", levels, spacing);
    std::vector<unsigned char> samples(size_t(side) * side * 2, 0);
    std::vector<unsigned char> shading(size_t(side) * side * 3, 0x80);
    std::vector<unsigned char> tilemap(size_t(tiles) * tiles, 0);
    char ppm[64];
    std::snprintf(ppm, sizeof ppm, "P6\n%d %d\n255\n", side, side);
    return write_bytes(root + "terrain.hf", header, samples) && write_bytes(root + "shading.ppm", ppm, shading) &&
           write_bytes(root + "texturelist", "", {}) && write_bytes(root + "tilemap", "", tilemap);
}
