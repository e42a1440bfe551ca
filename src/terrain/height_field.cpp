// height_field.cpp -- the ground grid: sampling, loading and saving.
//
// Owns the program-wide `terrain` record and the sampling rules every other
// module relies on (one triangulation for physics, drawing and placement).
// Loading reads "terrain.hf" (header, then ':' and raw 16-bit samples, or
// the samples from "terrain.png"), the shading and shadow layers and the
// tiles, and hands the renderer and decal steps to the ops tables installed
// by their owners.  A failed load releases everything it built.  Needs the
// file streams and image readers of data/ and nothing above terrain/.
#include "terrain/height_field.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"
#include "data/image.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log.h"

constexpr int sample_chunk = 8192;           // raw samples decoded per read
constexpr float sample_scale = 1.0f / 65535.0f;
constexpr int ring_size = 8;                 // neighbours of a vertex in the lighting fan
constexpr float far_coordinate = 1e30f;      // |x|, |z| beyond this are treated as this

height_field terrain;
int terrain_verbosity;

// ---------------------------------------------------------------- ops tables

static bool default_prepare(height_field* hf, int method)
{
    hf->texture_method = method;
    return true;
}
static bool default_shader_path(const height_field*) { return false; }
static bool default_create_caches(height_field*) { return true; }
static void default_release(height_field* hf) { hf->render = nullptr; }

static const terrain_render_ops headless_render = {
    default_prepare, default_shader_path, default_create_caches, default_release,
};
static terrain_render_ops render_ops = headless_render;

void terrain_render_ops_install(const terrain_render_ops* ops)
{
    render_ops = headless_render;
    if (!ops)
        return;
    if (ops->prepare) render_ops.prepare = ops->prepare;
    if (ops->shader_path) render_ops.shader_path = ops->shader_path;
    if (ops->create_caches) render_ops.create_caches = ops->create_caches;
    if (ops->release) render_ops.release = ops->release;
}

static bool no_decals_load(height_field*, const char*) { return true; }
static bool no_decals_save(const height_field*, const char*) { return true; }
static void no_decals_release(height_field* hf) { hf->decals = nullptr; }

static const terrain_decal_ops no_decals = {no_decals_load, no_decals_save, no_decals_release};
static terrain_decal_ops decal_ops = no_decals;

void terrain_decal_ops_install(const terrain_decal_ops* ops)
{
    decal_ops = no_decals;
    if (!ops)
        return;
    if (ops->load) decal_ops.load = ops->load;
    if (ops->save) decal_ops.save = ops->save;
    if (ops->release) decal_ops.release = ops->release;
}

// ---------------------------------------------------------------- sampling

static inline int clamp_index(int v, int size)
{
    return v < 0 ? 0 : (v >= size ? size - 1 : v);
}

static inline float sample_at(const height_field& hf, int col, int row)
{
    return hf.heights[clamp_index(row, hf.size) * hf.size + clamp_index(col, hf.size)];
}

vec3 terrain_vertex(const height_field& hf, int col, int row)
{
    return {float(col) * hf.spacing, sample_at(hf, col, row), float(row) * hf.spacing};
}

// Corner offsets (col, row) of the triangle under a point, indexed
// [odd * 2 + second], in the order P0, P1, P2 of the triangle table.
static const int corner_offset[4][3][2] = {
    {{1, 0}, {0, 0}, {1, 1}},   // even, first
    {{0, 1}, {1, 1}, {0, 0}},   // even, second
    {{0, 0}, {1, 0}, {0, 1}},   // odd, first
    {{1, 1}, {0, 1}, {1, 0}},   // odd, second
};

struct triangle_pick {
    int i, j;        // cell
    int which;       // index into corner_offset
    float fu, fv;    // position inside the cell, 0..1
};

// Grid coordinate of a world coordinate, kept where the cell index stays
// representable: beyond the grid every vertex clamps to the border, so
// the result there does not depend on how far out the point lies.
static inline float grid_coordinate(float w, const height_field& hf)
{
    float g = w * hf.inv_spacing;
    float limit = float(hf.size);
    if (!(g >= -1.0f))   // also catches NaN
        return -1.0f;
    return g > limit ? limit : g;
}

static inline triangle_pick pick_triangle(const height_field& hf, float x, float z)
{
    float u = grid_coordinate(x, hf), v = grid_coordinate(z, hf);
    float fi = std::floor(u), fj = std::floor(v);
    triangle_pick p;
    p.i = int(fi);
    p.j = int(fj);
    p.fu = u - fi;
    p.fv = v - fj;
    int odd = (p.i + p.j) & 1;
    float a = odd ? p.fu : 1.0f - p.fu;
    p.which = odd * 2 + (p.fv + a <= 1.0f ? 0 : 1);
    return p;
}

float terrain_height(const height_field& hf, float x, float z)
{
    triangle_pick p = pick_triangle(hf, x, z);
    const int (*c)[2] = corner_offset[p.which];
    float h0 = sample_at(hf, p.i + c[0][0], p.j + c[0][1]);
    float h1 = sample_at(hf, p.i + c[1][0], p.j + c[1][1]);
    float h2 = sample_at(hf, p.i + c[2][0], p.j + c[2][1]);
    // P1 differs from P0 in col, P2 in row; the weight is the distance
    // from P0 along that axis.
    float wa = c[0][0] ? 1.0f - p.fu : p.fu;
    float wb = c[0][1] ? 1.0f - p.fv : p.fv;
    return h0 + wa * (h1 - h0) + wb * (h2 - h0);
}

vec3 terrain_normal(const height_field& hf, float x, float z)
{
    triangle_pick p = pick_triangle(hf, x, z);
    const int (*c)[2] = corner_offset[p.which];
    vec3 p0 = terrain_vertex(hf, p.i + c[0][0], p.j + c[0][1]);
    vec3 p1 = terrain_vertex(hf, p.i + c[1][0], p.j + c[1][1]);
    vec3 p2 = terrain_vertex(hf, p.i + c[2][0], p.j + c[2][1]);
    vec3 n = vec3_cross(vec3_sub(p1, p0), vec3_sub(p2, p0));
    return n.y < 0 ? vec3_scale(n, -1.0f) : n;
}

bool terrain_cell_triangles(const height_field& hf, int col, int row, terrain_triangle out[2])
{
    int odd = cell_diagonal(col, row) == split_anti;
    for (int t = 0; t < 2; t++) {
        const int (*c)[2] = corner_offset[odd * 2 + t];
        // The odd-cell corners run clockwise seen from above; swap so
        // every triangle faces up.
        int second = odd ? 2 : 1, third = odd ? 1 : 2;
        out[t].p[0] = terrain_vertex(hf, col + c[0][0], row + c[0][1]);
        out[t].p[1] = terrain_vertex(hf, col + c[second][0], row + c[second][1]);
        out[t].p[2] = terrain_vertex(hf, col + c[third][0], row + c[third][1]);
    }
    return col >= 0 && row >= 0 && col < hf.size - 1 && row < hf.size - 1;
}

vec3 terrain_vertex_normal(const height_field& hf, int col, int row)
{
    static const int ring[ring_size][2] = {
        {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0},
    };
    vec3 centre = terrain_vertex(hf, col, row);
    vec3 around[ring_size];
    for (int k = 0; k < ring_size; k++)
        around[k] = vec3_sub(terrain_vertex(hf, col + ring[k][0], row + ring[k][1]), centre);
    vec3 sum = {0, 0, 0};
    for (int k = 0; k < ring_size; k++) {
        vec3 n = vec3_cross(around[(k + 1) % ring_size], around[k]);
        sum = vec3_add(sum, vec3_normalize_or(n, vec3{0, 0, 0}));
    }
    return vec3_normalize_or(sum, vec3{0, 1, 0});
}

float terrain_height_average(const height_field& hf, float x, float z, float r)
{
    // Bound the box so a wild point or radius cannot overflow the indices
    // or run for ever; a radius beyond the field averages it all anyway.
    if (!(r >= 0.0f))
        r = 0.0f;
    if (r > hf.world_size)
        r = hf.world_size;
    if (!(std::fabs(x) < far_coordinate)) x = std::isnan(x) ? 0.0f : std::copysign(far_coordinate, x);
    if (!(std::fabs(z) < far_coordinate)) z = std::isnan(z) ? 0.0f : std::copysign(far_coordinate, z);
    double s = hf.spacing;
    double lo_c = std::floor((x - r) / s), hi_c = std::ceil((x + r) / s);
    double lo_r = std::floor((z - r) / s), hi_r = std::ceil((z + r) / s);
    // Far outside the grid every sample of the box reads the border, so
    // the box is moved in by whole cells without changing the result's
    // weights more than their rounding.
    double shift_c = 0, shift_r = 0, edge = double(hf.size) + 2;
    if (lo_c > edge) shift_c = lo_c - edge;
    if (hi_c < -edge) shift_c = hi_c + edge;
    if (lo_r > edge) shift_r = lo_r - edge;
    if (hi_r < -edge) shift_r = hi_r + edge;
    int c0 = int(lo_c - shift_c), c1 = int(hi_c - shift_c);
    int r0 = int(lo_r - shift_r), r1 = int(hi_r - shift_r);
    double px = x - shift_c * s, pz = z - shift_r * s;

    double rr = double(r) * r, outer = (double(r) + s) * (double(r) + s);
    double total = 0, weights = 0;
    for (int row = r0; row <= r1; row++) {
        for (int col = c0; col <= c1; col++) {
            double dx = col * s - px, dz = row * s - pz;
            double e = dx * dx + dz * dz;
            double w = e < rr ? 1.0 : (e < outer ? (r + s - std::sqrt(e)) / s : 0.0);
            total += w * sample_at(hf, col, row);
            weights += w;
        }
    }
    if (weights <= 0)
        return sample_at(hf, c0, r0);
    return float(total / weights);
}

// ---------------------------------------------------------------- normal map

void refresh_normal_map(height_field* hf, int col0, int row0, int col1, int row1)
{
    if (!hf->heights)
        return;
    size_t count = size_t(hf->size) * size_t(hf->size);
    if (!hf->normal_map)
        hf->normal_map = static_cast<uint8_t*>(xcalloc(count, 3));
    col0 = clamp_index(col0, hf->size);
    row0 = clamp_index(row0, hf->size);
    col1 = clamp_index(col1, hf->size);
    row1 = clamp_index(row1, hf->size);
    for (int row = row0; row <= row1; row++) {
        for (int col = col0; col <= col1; col++) {
            vec3 n = terrain_vertex_normal(*hf, col, row);
            size_t at = size_t(row) * size_t(hf->size) + size_t(col);
            auto pack = [](float v) {
                int q = int(v * 127.0f);   // toward zero
                q = q < -127 ? -127 : (q > 127 ? 127 : q);
                return uint8_t(q + 128);
            };
            uint8_t shadow = hf->shadows ? hf->shadows[at] : 0;
            hf->normal_map[at * 3 + 0] = pack(n.x);
            hf->normal_map[at * 3 + 1] = uint8_t(255 - shadow);
            hf->normal_map[at * 3 + 2] = pack(n.z);
        }
    }
}

// ---------------------------------------------------------------- loading

// track_dir + "/" + name into out; false (after a log line) when too long.
static bool track_file(char* out, size_t size, const char* track_dir, const char* name)
{
    int n = snprintf(out, size, "%s/%s", track_dir, name);
    if (n < 0 || size_t(n) >= size) {
        log_printf("Track path too long: '%.400s/%.100s'\n", track_dir, name);
        return false;
    }
    return true;
}

static bool header_sound(int n, float spacing, float lo, float hi)
{
    if (n < hf_min_levels || n > hf_max_levels) {
        log_printf("terrain.hf: level count %d is outside %d..%d\n", n, hf_min_levels, hf_max_levels);
        return false;
    }
    if (!std::isfinite(spacing) || !(spacing > 0.0f)) {
        log_printf("terrain.hf: spacing %g must be a finite number above 0\n", double(spacing));
        return false;
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        log_printf("terrain.hf: height range %g..%g is not finite\n", double(lo), double(hi));
        return false;
    }
    return true;
}

// Decodes raw little-endian samples following the ':'; bytes past the end
// of the file read as 255 (so missing samples are max_height).
static void read_raw_samples(height_field* hf, file_stream* s, sha1_state* digest)
{
    uint8_t chunk[sample_chunk * 2];
    float range = hf->max_height - hf->min_height;
    size_t count = size_t(hf->size) * size_t(hf->size);
    for (size_t done = 0; done < count;) {
        int want = count - done < size_t(sample_chunk) ? int(count - done) : sample_chunk;
        int got = stream_read(s, chunk, want * 2);
        if (got < 0)
            got = 0;
        memset(chunk + got, 0xff, size_t(want * 2 - got));
        sha1_add(digest, chunk, size_t(want) * 2);
        for (int k = 0; k < want; k++) {
            unsigned u = chunk[2 * k] | (unsigned(chunk[2 * k + 1]) << 8);
            hf->heights[done + size_t(k)] = hf->min_height + range * float(u) * sample_scale;
        }
        done += size_t(want);
    }
}

// Heights from "terrain.png"; a smaller image repeats its last row and
// column, a missing or unreadable one leaves every height at min_height.
static void read_png_samples(height_field* hf, const char* track_dir, sha1_state* digest)
{
    char path[path_max];
    image img{};
    bool have = track_file(path, sizeof path, track_dir, "terrain.png") && png_read_grey16(path, &img);
    const uint16_t* px = have ? reinterpret_cast<const uint16_t*>(img.pixels) : nullptr;
    float range = hf->max_height - hf->min_height;
    auto* bytes = static_cast<uint8_t*>(xmalloc(size_t(hf->size) * 2));
    for (int row = 0; row < hf->size; row++) {
        const uint16_t* line = px ? px + size_t(row < img.height ? row : img.height - 1) * size_t(img.width) : nullptr;
        float* out = hf->heights + size_t(row) * size_t(hf->size);
        for (int col = 0; col < hf->size; col++) {
            unsigned u = line ? line[col < img.width ? col : img.width - 1] : 0;
            bytes[2 * col] = uint8_t(u & 0xff);
            bytes[2 * col + 1] = uint8_t(u >> 8);
            out[col] = hf->min_height + range * float(u) * sample_scale;
        }
        sha1_add(digest, bytes, size_t(hf->size) * 2);
    }
    free(bytes);
    image_free(&img);
}

// Steps 1 to 5: header, heights and their digest.
static bool load_heights(height_field* hf, const char* track_dir)
{
    char path[path_max];
    if (!track_file(path, sizeof path, track_dir, "terrain.hf"))
        return false;
    file_stream* s = stream_open(path, "rb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", path);
        return false;
    }
    int n = 0;
    float spacing = 0, lo = 0, hi = 0;
    if (stream_scanf(s, "%d %f %f %f ", &n, &spacing, &lo, &hi) != 4 || !header_sound(n, spacing, lo, hi)) {
        log_printf("Bad height field parameters\n");
        log_printf("Error reading heights\n");
        stream_close(s);
        return false;
    }
    hf->level_count = n;
    hf->size = (1 << (n + 1)) + 1;
    hf->spacing = spacing;
    hf->inv_spacing = 1.0f / spacing;
    hf->world_size = float(hf->size - 1) * spacing;
    hf->tile_size = 2.0f * spacing;
    hf->min_height = lo;
    hf->max_height = hi;
    hf->heights = static_cast<float*>(xmalloc(size_t(hf->size) * size_t(hf->size) * sizeof(float)));

    sha1_state digest;
    sha1_begin(&digest);
    if (stream_getc(s) == ':')
        read_raw_samples(hf, s, &digest);
    else
        read_png_samples(hf, track_dir, &digest);
    stream_close(s);
    sha1_end(&digest, hf->sample_digest);
    if (terrain_verbosity >= 2) {
        char hex[sha1_hex_size];
        sha1_to_hex(hf->sample_digest, hex);
        log_printf("%s\n", hex);
    }
    return true;
}

// Opens an optional layer file; null when absent (or the path is too long).
static file_stream* open_layer(const char* track_dir, const char* name, char* path, size_t size)
{
    return track_file(path, size, track_dir, name) ? stream_open(path, "rb") : nullptr;
}

static bool load_shading(height_field* hf, const char* track_dir)
{
    char path[path_max];
    bool halve = false;
    file_stream* s = open_layer(track_dir, "shadingx2.ppm", path, sizeof path);
    if (!s) {
        halve = true;
        s = open_layer(track_dir, "shading.ppm", path, sizeof path);
        if (!s) {
            log_printf("Can't open '%.950s'\n", path);
            log_printf("Error reading shading\n");
            return false;
        }
    }
    image img{};
    bool ok = ppm_read_stream(s, path, &img);
    stream_close(s);
    if (!ok) {
        log_printf("Error reading shading\n");
        return false;
    }
    if (img.width != hf->size || img.height != hf->size) {
        log_printf("Bad shading dimensions (%dx%d)\n", img.width, img.height);
        image_free(&img);
        return false;
    }
    if (halve) {
        size_t bytes = size_t(hf->size) * size_t(hf->size) * 3;
        for (size_t i = 0; i < bytes; i++)
            img.pixels[i] >>= 1;
    }
    hf->shading = img.pixels;   // the image's buffer becomes the layer
    return true;
}

static bool load_shadows(height_field* hf, const char* track_dir)
{
    char path[path_max];
    size_t count = size_t(hf->size) * size_t(hf->size);
    file_stream* s = open_layer(track_dir, "shadows.pgm", path, sizeof path);
    if (!s) {
        hf->shadows = static_cast<uint8_t*>(xcalloc(count, 1));
        return true;
    }
    image img{};
    bool ok = pgm_read_stream(s, path, &img);
    stream_close(s);
    if (!ok) {
        log_printf("Error reading shadows\n");
        return false;
    }
    if (img.width != hf->size || img.height != hf->size) {
        log_printf("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
        image_free(&img);
        return false;
    }
    for (size_t i = 0; i < count; i++)
        img.pixels[i] = uint8_t(255 - img.pixels[i]);   // the file stores light
    hf->shadows = img.pixels;
    return true;
}

static bool load_all(height_field* hf, const char* track_dir, int method)
{
    if (!load_heights(hf, track_dir))
        return false;
    if (!render_ops.prepare(hf, method))
        return false;
    if (!load_shading(hf, track_dir) || !load_shadows(hf, track_dir))
        return false;
    if (terrain_verbosity >= 1)
        log_printf("%lu bytes texture memory used before ground tiles loaded\n", terrain_textures().memory_used());
    if (!load_tiles(hf, track_dir, hf->texture_method))
        return false;
    if (render_ops.shader_path(hf))
        refresh_normal_map(hf, 0, 0, hf->size - 1, hf->size - 1);
    if (!render_ops.create_caches(hf))
        return false;
    return decal_ops.load(hf, track_dir);
}

bool load_height_field(height_field* hf, const char* track_dir, int method)
{
    *hf = height_field{};
    if (load_all(hf, track_dir, method))
        return true;
    free_height_field(hf);
    return false;
}

void free_height_field(height_field* hf)
{
    render_ops.release(hf);
    decal_ops.release(hf);
    free_tiles(hf);
    free(hf->heights);
    free(hf->shading);
    free(hf->shadows);
    free(hf->normal_map);
    *hf = height_field{};
}

// ---------------------------------------------------------------- saving

static file_stream* create_track_file(const char* track_dir, const char* name)
{
    char path[path_max];
    file_stream* s = track_file(path, sizeof path, track_dir, name) ? stream_open(path, "wb") : nullptr;
    if (!s)
        log_printf("Can't open '%s'\n", name);
    return s;
}

// Closes a written file; false (after a log line) when a write failed.
static bool finish_file(file_stream* s, bool ok, const char* name)
{
    ok = ok && stream_flush(s);
    stream_close(s);
    if (!ok)
        log_printf("Error writing '%s'\n", name);
    return ok;
}

static bool save_header(const height_field* hf, const char* track_dir)
{
    file_stream* s = create_track_file(track_dir, "terrain.hf");
    if (!s)
        return false;
    bool ok = stream_printf(s, "%d %f %f %f\n", hf->level_count, double(hf->spacing), double(hf->min_height),
                            double(hf->max_height));
    return finish_file(s, ok, "terrain.hf");
}

static bool save_samples(const height_field* hf, const char* track_dir)
{
    char path[path_max];
    if (!track_file(path, sizeof path, track_dir, "terrain.png"))
        return false;
    image img{};
    image_alloc(&img, hf->size, hf->size, image_grey16);
    uint16_t* px = reinterpret_cast<uint16_t*>(img.pixels);
    float range = hf->max_height - hf->min_height;
    size_t count = size_t(hf->size) * size_t(hf->size);
    if (range > 0) {   // a flat field stays all zero
        float inv = 1.0f / range;
        for (size_t i = 0; i < count; i++)
            px[i] = uint16_t(int((hf->heights[i] - hf->min_height) * inv * 65535.0f + 0.5f));
    }
    bool ok = png_write(path, img);
    image_free(&img);
    return ok;
}

static bool save_shading(const height_field* hf, const char* track_dir, const char* name, bool doubled)
{
    file_stream* s = create_track_file(track_dir, name);
    if (!s)
        return false;
    size_t bytes = size_t(hf->size) * size_t(hf->size) * 3;
    bool ok = stream_printf(s, "P6\n%d %d\n255\n", hf->size, hf->size);
    uint8_t line[4096];
    for (size_t done = 0; ok && done < bytes;) {
        size_t n = bytes - done < sizeof line ? bytes - done : sizeof line;
        for (size_t k = 0; k < n; k++) {
            unsigned v = hf->shading[done + k];
            line[k] = uint8_t(doubled ? (v * 2 > 255 ? 255 : v * 2) : v);
        }
        ok = stream_write(s, line, int(n));
        done += n;
    }
    return finish_file(s, ok, name);
}

bool save_height_field(height_field* hf, const char* track_dir)
{
    if (!hf->heights || !hf->shading) {
        log_printf("No height field to save\n");
        return false;
    }
    size_t count = size_t(hf->size) * size_t(hf->size);
    float lo = hf->heights[0], hi = hf->heights[0];
    for (size_t i = 1; i < count; i++) {
        lo = hf->heights[i] < lo ? hf->heights[i] : lo;
        hi = hf->heights[i] > hi ? hf->heights[i] : hi;
    }
    hf->min_height = lo;
    hf->max_height = hi;
    return save_header(hf, track_dir) && save_samples(hf, track_dir) &&
           save_shading(hf, track_dir, "shading.ppm", true) && save_shading(hf, track_dir, "shadingx2.ppm", false) &&
           write_tilemap(*hf, track_dir) && decal_ops.save(hf, track_dir);
}
