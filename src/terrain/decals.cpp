// decals.cpp -- reading, indexing and writing the track's ground decals.
//
// Owns hf->decals (a decal_list) from read_decals to free_decals.  Needs
// the data streams, the texture manager's side of tiles.h and the field's
// size; decals_install hands the three functions to the height field's
// loader, which reads the decals last.  Promises: a decal without any image
// is dropped; every cell list is ascending without duplicates; a malformed
// line ends the file, keeping the decals before it.
#include "terrain/decals.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/intern.h"
#include "base/text.h"
#include "base/xmalloc.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log.h"
#include "terrain/height_field.h"

constexpr int decal_initial = 16;                  // first capacity of a list
constexpr int decal_name_size = 1024;              // "%1023s"
constexpr int decal_method_software = 1;           // ground method that keeps images

static const terrain_decal_ops decal_hooks = {read_decals, write_decals, free_decals};

void decals_install() { terrain_decal_ops_install(&decal_hooks); }

template <typename T>
static void grow(T** items, int* capacity, int count)
{
    if (count < *capacity)
        return;
    if (*capacity > (1 << 29))
        out_of_memory();
    *capacity = *capacity ? *capacity * 2 : decal_initial;
    *items = static_cast<T*>(xrealloc(*items, sizeof(T) * *capacity));
}

void decal_extents(float sin_a, float cos_a, float width, float aspect, float* ex, float* ez)
{
    float half = width / 2, half_long = aspect * width / 2;
    *ex = std::fabs(sin_a * half) + std::fabs(cos_a * half_long);
    *ez = std::fabs(cos_a * half) + std::fabs(sin_a * half_long);
}

static int grid_cell(float v, float world_size)
{
    float f = std::floor(v / world_size * decal_grid_side);
    if (!(f >= 0))
        return 0;
    return f > decal_grid_side - 1 ? decal_grid_side - 1 : static_cast<int>(f);
}

static void index_decal(decal_list* list, int index, float world_size)
{
    const decal& d = list->items[index];
    float ex, ez;
    decal_extents(d.sin_a, d.cos_a, d.width, d.aspect, &ex, &ez);
    int c0 = grid_cell(d.x - ex, world_size), c1 = grid_cell(d.x + ex, world_size);
    int r0 = grid_cell(d.z - ez, world_size), r1 = grid_cell(d.z + ez, world_size);
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) {
            decal_cell& cell = list->cells[r][c];
            grow(&cell.items, &cell.capacity, cell.count);
            cell.items[cell.count++] = index;
        }
}

// The name with its extension replaced by suffix, when the result fits.
static bool replace_extension(const char* name, const char* suffix, char* out, size_t size)
{
    const char* slash = strrchr(name, '/');
    const char* dot = strrchr(name, '.');
    size_t stem = (dot && (!slash || dot > slash)) ? static_cast<size_t>(dot - name) : strlen(name);
    if (stem >= size)
        return false;
    memcpy(out, name, stem);
    out[stem] = 0;
    return text_append(out, size, suffix);
}

static uint32_t first_texture(const char* name, const char* a, const char* b)
{
    char candidate[path_max];
    for (const char* suffix : {a, b})
        if (replace_extension(name, suffix, candidate, sizeof candidate)) {
            uint32_t id = terrain_textures().texture(candidate);
            if (id)
                return id;
        }
    return 0;
}

bool read_decals(height_field* hf, const char* track_dir)
{
    free_decals(hf);
    char path[path_max];
    if (snprintf(path, sizeof path, "%s/decals", track_dir) >= static_cast<int>(sizeof path))
        return true;
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return true;
    decal_list* list = static_cast<decal_list*>(xcalloc(1, sizeof(decal_list)));
    hf->decals = list;
    float x, z, angle, width, aspect;
    char name[decal_name_size];
    while (stream_scanf(s, " [ %f %f ] %f %f %f %1023s ", &x, &z, &angle, &width, &aspect, name) == 6) {
        if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(angle) ||
            !std::isfinite(width) || !std::isfinite(aspect))
            break;
        decal d{};
        if (hf->texture_method == decal_method_software) {
            if (!terrain_textures().texture_image(name, &d.image))
                d.image = tile_image{};
        } else {
            d.texture = terrain_textures().texture(name);
        }
        if (!d.texture && !d.image.pixels)
            continue;
        if (hf->normal_map) {   // the shader terrain path is active
            d.normal_map = first_texture(name, "_tnorm.png", "_tnorm.ppm");
            d.specular_map = first_texture(name, "_tspec.png", "_tspec.ppm");
        }
        d.x = x;
        d.z = z;
        d.angle = angle;
        d.width = width;
        d.aspect = aspect;
        d.sin_a = std::sin(angle);
        d.cos_a = std::cos(angle);
        d.texture_name = intern_string(name);
        grow(&list->items, &list->capacity, list->count);
        list->items[list->count] = d;
        index_decal(list, list->count++, hf->world_size);
    }
    stream_close(s);
    return true;
}

bool write_decals(const height_field* hf, const char* track_dir)
{
    const decal_list* list = hf->decals;
    if (!list || list->count == 0)
        return true;
    char name[path_max];
    file_stream* s = nullptr;
    if (snprintf(name, sizeof name, "%s/decals", track_dir) < static_cast<int>(sizeof name))
        s = stream_open(name, "wb");
    if (!s) {
        log_printf("Can't open 'decals'\n");
        return false;
    }
    bool ok = true;
    for (int i = 0; i < list->count; i++) {
        const decal& d = list->items[i];
        ok &= stream_printf(s, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.width, d.aspect,
                            d.texture_name);
    }
    ok &= stream_flush(s);
    stream_close(s);
    return ok;
}

void free_decals(height_field* hf)
{
    decal_list* list = hf->decals;
    if (!list)
        return;
    for (auto& row : list->cells)
        for (decal_cell& cell : row)
            free(cell.items);
    free(list->items);
    free(list);
    hf->decals = nullptr;
}
