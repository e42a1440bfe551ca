// tiles.cpp -- the tile table ("tileinfo" / "texturelist"), the tile map
// ("tilemap") and the surface lookups.
//
// Owns the height field's tiles and tilemap arrays (allocated here, freed by
// free_tiles).  Textures come through terrain_texture_ops; the headless
// default loads nothing.  Malformed "tileinfo" lines only warn; a missing
// "texturelist" (without "tileinfo") or "tilemap" fails the load.  A table
// that ends up empty gets one default tile, so every lookup has a tile.
#include "terrain/tiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log.h"
#include "terrain/height_field.h"

constexpr int tileinfo_line_size = 1025;     // 1024 characters and the NUL
constexpr int texturelist_line_size = 1024;  // 1023 characters and the NUL
constexpr float min_curve_key = 9.536743e-7f;    // 2^-20: keys are clamped to at least this
constexpr float tick_seconds = 1.0f / 128.0f;    // simulation step: fades are given per second
constexpr int software_method = 1;           // ground method that keeps decoded images
constexpr char roost_texture_name[] = "@roost.png";
constexpr uint32_t no_secondary = 0xff;      // tile_class secondary when the partner is unknown

// ---------------------------------------------------------------- textures

static uint32_t no_texture(const char*) { return 0; }
static bool no_image(const char*, tile_image* out)
{
    *out = tile_image{};
    return false;
}
static unsigned long no_memory() { return 0; }

static const terrain_texture_ops headless_textures = {no_texture, no_image, no_memory};
static terrain_texture_ops texture_ops = headless_textures;

void terrain_texture_ops_install(const terrain_texture_ops* ops)
{
    texture_ops = headless_textures;
    if (!ops)
        return;
    if (ops->texture) texture_ops.texture = ops->texture;
    if (ops->texture_image) texture_ops.texture_image = ops->texture_image;
    if (ops->memory_used) texture_ops.memory_used = ops->memory_used;
}

const terrain_texture_ops& terrain_textures() { return texture_ops; }

// ---------------------------------------------------------------- defaults

static roost_type roost_defaults(uint32_t texture)
{
    roost_type r{};
    r.mode = roost_off;
    r.texture = texture;
    r.count = 10.0f;
    r.dig = 1.0f;
    r.slip_threshold = 4.0f;
    r.slow_angle = 1.5707964f;
    r.fast_angle = 0.19634955f;
    r.slow_speed = 0.0f;
    r.fast_speed = 64.0f;
    r.size = 0.25f;
    r.grow = 4.0f;
    r.drag = 0.5f;
    r.vscale = 1.0f;
    r.randomize = 15.0f;
    r.r = r.g = r.b = r.a = 255;
    r.fade_r = r.fade_g = r.fade_b = 0;
    r.fade_a = -2;
    return r;
}

static tile defaults_with_roost_texture(uint32_t roost_texture)
{
    static const float erode[tile_erode_count] = {1.0f, 50.0f, 150.0f, 2.0f, 4.0f, 0.25f, 10.0f, 15.0f};
    tile t{};
    for (int i = 0; i < tile_curve_points; i++) {
        t.friction[i] = {1.0f, i == 0 ? 1.0f : 0.0f};
        t.roll_resist[i] = {5.0f, 15.0f, i == 0 ? 1.0f : 0.0f};
    }
    for (int k = 0; k < tile_roost_kinds; k++)
        t.roost[k] = roost_defaults(roost_texture);
    memcpy(t.erode, erode, sizeof erode);
    return t;
}

tile tile_defaults() { return defaults_with_roost_texture(0); }

// ---------------------------------------------------------------- lookups

int tile_at(const height_field& hf, float x, float z)
{
    float last = float(hf.tiles_per_side - 1);
    float c = x * hf.inv_spacing * 0.5f, r = z * hf.inv_spacing * 0.5f;
    c = c >= 0.0f ? (c > last ? last : c) : 0.0f;   // NaN goes to 0 too
    r = r >= 0.0f ? (r > last ? last : r) : 0.0f;
    return hf.tilemap[int(r) * hf.tiles_per_side + int(c)];
}

// Linear interpolation between two curve points; the search guarantees
// hi > lo, and the check keeps a damaged table from dividing by zero.
static float curve_t(float at, float lo, float hi)
{
    float d = hi - lo;
    if (!(d > 0.0f))
        return 1.0f;
    float t = (at - lo) / d;
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}

float friction_at(const tile& t, float s)
{
    float s2 = s * s;
    int i = 0;
    while (i < tile_curve_points && t.friction[i].key != 0.0f && !(t.friction[i].key * t.friction[i].key > s2))
        i++;
    if (i == 0)
        return t.friction[0].value;
    if (i == tile_curve_points || t.friction[i].key == 0.0f)
        return t.friction[i - 1].value;
    const friction_point& a = t.friction[i - 1];
    const friction_point& b = t.friction[i];
    float f = curve_t(s2, a.key * a.key, b.key * b.key);
    return a.value + f * (b.value - a.value);
}

roll_resist roll_resist_at(const tile& t, float u)
{
    int i = 0;
    while (i < tile_curve_points && t.roll_resist[i].key != 0.0f && !(t.roll_resist[i].key > u))
        i++;
    if (i == 0)
        return {t.roll_resist[0].a, t.roll_resist[0].b};
    if (i == tile_curve_points || t.roll_resist[i].key == 0.0f)
        return {t.roll_resist[i - 1].a, t.roll_resist[i - 1].b};
    const roll_resist_point& a = t.roll_resist[i - 1];
    const roll_resist_point& b = t.roll_resist[i];
    float f = curve_t(u, a.key, b.key);
    return {a.a + f * (b.a - a.a), a.b + f * (b.b - a.b)};
}

// ---------------------------------------------------------------- tile table

struct tile_table_build {
    height_field* hf;
    int method;                        // ground texture method
    uint32_t roost_texture;            // default particle texture
    char* names[tile_max_count];       // short names of committed tiles (owned)
};

// Loads a ground texture into t (decoded image with the software method).
static void load_ground_texture(const tile_table_build& b, tile* t, const char* name)
{
    if (b.method == software_method) {
        t->texture = 0;
        if (!texture_ops.texture_image(name, &t->image))
            t->image = tile_image{};
    } else {
        t->texture = texture_ops.texture(name);
        t->image = tile_image{};
    }
}

// The name without a leading '@' and without directories.
static char* short_name(const char* name)
{
    if (name[0] == '@')
        name++;
    const char* slash = strrchr(name, '/');
    return xstrdup(slash ? slash + 1 : name);
}

// Appends a finished tile; false once the table is full.
static bool commit_tile(tile_table_build* b, const tile& t, const char* texture_name)
{
    height_field* hf = b->hf;
    if (hf->tile_count >= tile_max_count)
        return false;
    b->names[hf->tile_count] = short_name(texture_name);
    hf->tiles[hf->tile_count++] = t;
    return true;
}

// Length of a name up to its first '.'.
static size_t stem_length(const char* name)
{
    const char* dot = strchr(name, '.');
    return dot ? size_t(dot - name) : strlen(name);
}

// First tile whose name up to its '.' equals text[0..length); -1 if none.
static int find_stem(char* const* names, int count, const char* text, size_t length)
{
    for (int k = 0; k < count; k++)
        if (names[k] && stem_length(names[k]) == length && strncmp(names[k], text, length) == 0)
            return k;
    return -1;
}

// (primary << 16) | (secondary << 8) | corner mask from the short names:
// "dirt.png" is its own class, "dirt-alt2.png" is dirt's, and
// "dirt-grass-0011.png" blends dirt into grass over corners 0011.
static uint32_t tile_class_of(char* const* names, int count, int self)
{
    uint32_t own = (uint32_t(self) << 16) | (uint32_t(self) << 8);
    const char* s = names[self];
    const char* dash = s ? strchr(s, '-') : nullptr;
    if (!dash)
        return own;
    int k = find_stem(names, count, s, size_t(dash - s));
    if (k < 0)
        return own;
    const char* rest = dash + 1;
    if (strncmp(rest, "alt", 3) == 0 && rest[3] >= '0' && rest[3] <= '9')
        return (uint32_t(k) << 16) | (uint32_t(k) << 8);
    size_t part = strcspn(rest, "-.");
    int m = find_stem(names, count, rest, part);
    uint32_t mask = 0;
    if (rest[part] == '-') {
        const char* bits = rest + part + 1;
        bool valid = true;
        for (int i = 0; i < 4 && valid; i++)
            valid = bits[i] == '0' || bits[i] == '1';
        for (int i = 0; valid && i < 4; i++)
            mask = (mask << 1) | uint32_t(bits[i] - '0');
    }
    uint32_t secondary = m < 0 ? no_secondary : uint32_t(m);
    return (uint32_t(k) << 16) | (secondary << 8) | mask;
}

static void finish_table(tile_table_build* b)
{
    height_field* hf = b->hf;
    for (int i = 0; i < hf->tile_count; i++)
        hf->tiles[i].tile_class = tile_class_of(b->names, hf->tile_count, i);
    for (int i = 0; i < tile_max_count; i++) {
        free(b->names[i]);
        b->names[i] = nullptr;
    }
}

// Reads up to count finite floats separated by white space; the number
// read.  *rest (when given) is left after the last one read.
static int parse_floats(const char* text, float* out, int count, const char** rest = nullptr)
{
    int n = 0;
    while (n < count) {
        char* end;
        float v = strtof(text, &end);
        if (end == text || !std::isfinite(v))
            break;
        out[n++] = v;
        text = end;
    }
    if (rest)
        *rest = text;
    return n;
}

// ---------------------------------------------------------------- "tileinfo"

struct pending_tile {
    tile t;                                              // values so far
    friction_point friction[tile_curve_points];          // given points
    int friction_count;
    roll_resist_point roll[tile_curve_points];
    int roll_count;
    int roost_count;                                     // roost kinds enabled
    char texture[tileinfo_line_size];                    // texture name, "" for none
};

static void pending_reset(pending_tile* p, uint32_t roost_texture)
{
    p->t = defaults_with_roost_texture(roost_texture);
    p->friction_count = p->roll_count = p->roost_count = 0;
    p->texture[0] = 0;
}

// Stable insertion sort by key: at most 8 points.
template <typename Point>
static void sort_by_key(Point* points, int count)
{
    for (int i = 1; i < count; i++) {
        Point p = points[i];
        int j = i;
        for (; j > 0 && points[j - 1].key > p.key; j--)
            points[j] = points[j - 1];
        points[j] = p;
    }
}

struct roost_param {
    const char* key;      // token prefix
    int field;            // float index into roost_type after mode and texture, or a special below
};
enum { field_texture = -1, field_splash = -2, field_colour = -3, field_fade = -4 };

static const roost_param roost_params[] = {
    {"texture=", field_texture}, {"splash=", field_splash}, {"count=", 0}, {"dig=", 1},
    {"slip_threshold=", 2}, {"slow_angle=", 3}, {"fast_angle=", 4}, {"slow_speed=", 5},
    {"fast_speed=", 6}, {"size=", 7}, {"grow=", 8}, {"drag=", 9}, {"vscale=", 10},
    {"randomize=", 11}, {"r=", field_colour}, {"g=", field_colour}, {"b=", field_colour},
    {"a=", field_colour}, {"fade_r=", field_fade}, {"fade_g=", field_fade}, {"fade_b=", field_fade},
    {"fade_a=", field_fade},
};

static float* roost_float(roost_type* r, int index)
{
    float* fields[] = {&r->count, &r->dig, &r->slip_threshold, &r->slow_angle, &r->fast_angle, &r->slow_speed,
                       &r->fast_speed, &r->size, &r->grow, &r->drag, &r->vscale, &r->randomize};
    return fields[index];
}

static uint8_t to_byte(double v)
{
    return uint8_t(v <= 0 ? 0 : (v >= 255 ? 255 : int(v)));
}

static int8_t to_signed_byte(double v)
{
    return int8_t(v <= -128 ? -128 : (v >= 127 ? 127 : int(v)));
}

static void apply_roost_token(roost_type* r, const char* token)
{
    const roost_param* param = nullptr;
    for (const roost_param& p : roost_params)
        if (strncmp(token, p.key, strlen(p.key)) == 0) {
            param = &p;
            break;
        }
    if (!param) {
        log_printf("tileinfo warning: unknown roost parameter '%.40s'\n", token);
        return;
    }
    const char* text = token + strlen(param->key);
    if (param->field == field_texture) {
        r->texture = texture_ops.texture(text);
        return;
    }
    char* end;
    double v = strtod(text, &end);
    bool read = end != text && std::isfinite(v);
    if (!read)
        v = 0;
    if (param->field == field_splash) {
        if (v != 0)
            r->mode = roost_splash;
        return;
    }
    if (!read) {
        // "bad " + the key without its '='.
        log_printf("tileinfo warning: bad %.*s\n", int(strlen(param->key) - 1), param->key);
    }
    size_t index = size_t(param - roost_params);
    if (param->field == field_colour) {
        uint8_t* colour[] = {&r->r, &r->g, &r->b, &r->a};
        *colour[index - 14] = to_byte(v);
    } else if (param->field == field_fade) {
        int8_t* fade[] = {&r->fade_r, &r->fade_g, &r->fade_b, &r->fade_a};
        *fade[index - 18] = to_signed_byte(v * tick_seconds);
    } else {
        *roost_float(r, param->field) = float(v);
    }
}

// Splits a roost argument into tokens (quotes group separators) and applies them.
static void parse_roost(roost_type* r, const char* arg)
{
    static const char separators[] = " \f\n\r\t\b";
    char token[tileinfo_line_size];
    const char* p = arg;
    for (;;) {
        while (*p && strchr(separators, *p))
            p++;
        if (!*p)
            return;
        size_t n = 0;
        while (*p && !strchr(separators, *p)) {
            if (*p == '"') {
                p++;
                while (*p && *p != '"' && n + 1 < sizeof token)
                    token[n++] = *p++;
                if (*p == '"')
                    p++;
            } else if (n + 1 < sizeof token) {
                token[n++] = *p++;
            } else {
                p++;
            }
        }
        token[n] = 0;
        apply_roost_token(r, token);
    }
}

static const char* const erode_keys[tile_erode_count] = {
    "erode_depth", "erode_lower", "erode_upper", "erode_displacement",
    "erode_radius", "erode_max_slope", "erode_off_speed", "erode_on_speed",
};

static void add_friction(pending_tile* p, const char* arg)
{
    float v[2];
    if (parse_floats(arg, v, 2) != 2) {
        log_printf("tileinfo warning: bad friction parameters\n");
        return;
    }
    if (p->friction_count >= tile_curve_points) {
        log_printf("tileinfo warning: too many friction points\n");
        return;
    }
    p->friction[p->friction_count++] = {v[0] < 0 ? 0 : v[0], v[1] < min_curve_key ? min_curve_key : v[1]};
}

static void add_roll_resist(pending_tile* p, const char* arg)
{
    float v[3];
    if (parse_floats(arg, v, 3) != 3) {
        log_printf("tileinfo warning: bad roll_resist parameters\n");
        return;
    }
    if (p->roll_count >= tile_curve_points) {
        log_printf("tileinfo warning: too many roll_resist points\n");
        return;
    }
    p->roll[p->roll_count++] = {v[0] < 0 ? 0 : v[0], v[1] < 0 ? 0 : v[1], v[2] < min_curve_key ? min_curve_key : v[2]};
}

static void add_tile(tile_table_build* b, pending_tile* p)
{
    sort_by_key(p->friction, p->friction_count);
    sort_by_key(p->roll, p->roll_count);
    for (int i = 0; i < p->friction_count; i++)
        p->t.friction[i] = p->friction[i];
    for (int i = 0; i < p->roll_count; i++)
        p->t.roll_resist[i] = p->roll[i];
    commit_tile(b, p->t, p->texture);
    pending_reset(p, b->roost_texture);
}

// One keyword line; returns false once the table is full.
static bool tileinfo_line(tile_table_build* b, pending_tile* p, char* line)
{
    char* key = line + strspn(line, " \t\r\n");
    if (!*key)
        return true;
    char* key_end = key + strcspn(key, " \t\r\n");
    char* arg = key_end + strspn(key_end, " \t");
    arg[strcspn(arg, "\r\n")] = 0;
    *key_end = 0;   // after the argument is cut: an empty argument may start here

    if (strcmp(key, "texture") == 0) {
        load_ground_texture(*b, &p->t, arg);
        snprintf(p->texture, sizeof p->texture, "%s", arg);
    } else if (strcmp(key, "friction") == 0) {
        add_friction(p, arg);
    } else if (strcmp(key, "roll_resist") == 0) {
        add_roll_resist(p, arg);
    } else if (strcmp(key, "roost") == 0) {
        if (p->roost_count >= tile_roost_kinds) {
            log_printf("tileinfo warning: too many roost types\n");
        } else {
            roost_type* r = &p->t.roost[p->roost_count++];
            r->mode = roost_spray;
            parse_roost(r, arg);
        }
    } else if (strcmp(key, "addtile") == 0) {
        add_tile(b, p);
        return b->hf->tile_count < tile_max_count;
    } else {
        for (int i = 0; i < tile_erode_count; i++) {
            if (strcmp(key, erode_keys[i]) == 0) {
                float v;
                if (parse_floats(arg, &v, 1) == 1)
                    p->t.erode[i] = v;
                else
                    log_printf("tileinfo warning: bad %s\n", erode_keys[i]);
                return true;
            }
        }
        log_printf("tileinfo warning: Unknown identifier '%.950s'\n", key);
    }
    return true;
}

static void parse_tileinfo(tile_table_build* b, file_stream* s)
{
    auto* p = static_cast<pending_tile*>(xmalloc(sizeof(pending_tile)));
    pending_reset(p, b->roost_texture);
    char line[tileinfo_line_size];
    while (stream_gets(s, line, sizeof line))
        if (!tileinfo_line(b, p, line))
            break;
    free(p);
}

// ---------------------------------------------------------------- "texturelist"

static void texturelist_line(tile_table_build* b, const char* line)
{
    const char* start = line + strspn(line, " \t\r\n\f\v");
    if (!*start)
        return;
    float v[3];
    const char* name = start;
    const char* after = start;
    if (parse_floats(start, v, 3, &after) == 3) {
        name = after + strspn(after, " \t");
    } else {
        v[0] = 1.0f;
        v[1] = 5.0f;
        v[2] = 15.0f;
    }
    char texture_name[texturelist_line_size + 1];
    snprintf(texture_name, sizeof texture_name, "@%s", name);
    texture_name[strcspn(texture_name, "\r\n")] = 0;

    tile t = defaults_with_roost_texture(b->roost_texture);
    for (int i = 0; i < tile_curve_points; i++) {
        t.friction[i].value = v[0];
        t.roll_resist[i].a = v[1];
        t.roll_resist[i].b = v[2];
    }
    t.roost[0].mode = roost_spray;
    load_ground_texture(*b, &t, texture_name);
    commit_tile(b, t, texture_name);
}

static void parse_texturelist(tile_table_build* b, file_stream* s)
{
    char line[texturelist_line_size];
    while (b->hf->tile_count < tile_max_count && stream_gets(s, line, sizeof line))
        texturelist_line(b, line);
}

// ---------------------------------------------------------------- "tilemap"

static bool track_file(char* out, size_t size, const char* track_dir, const char* name)
{
    int n = snprintf(out, size, "%s/%s", track_dir, name);
    if (n < 0 || size_t(n) >= size) {
        log_printf("Track path too long: '%.400s/%.100s'\n", track_dir, name);
        return false;
    }
    return true;
}

// Reads the map; a short file leaves the rest of it at tile 0.
static bool read_tilemap(height_field* hf, const char* track_dir)
{
    char path[path_max];
    if (!track_file(path, sizeof path, track_dir, "tilemap"))
        return false;
    file_stream* s = stream_open(path, "rb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", path);
        return false;
    }
    int count = hf->tiles_per_side * hf->tiles_per_side;
    int got = stream_read(s, hf->tilemap, count);
    stream_close(s);
    if (got < count)
        log_printf("tilemap: %d of %d entries read; the rest use tile 0\n", got < 0 ? 0 : got, count);
    uint8_t last = uint8_t(hf->tile_count - 1);
    for (int i = 0; i < count; i++)
        if (hf->tilemap[i] > last)
            hf->tilemap[i] = last;
    return true;
}

bool load_tiles(height_field* hf, const char* track_dir, int method)
{
    hf->tiles_per_side = 1 << hf->level_count;
    size_t map_size = size_t(hf->tiles_per_side) * size_t(hf->tiles_per_side);
    hf->tilemap = static_cast<uint8_t*>(xcalloc(map_size, 1));
    hf->tiles = static_cast<tile*>(xcalloc(tile_max_count, sizeof(tile)));
    hf->tile_count = 0;

    auto* b = static_cast<tile_table_build*>(xcalloc(1, sizeof(tile_table_build)));
    b->hf = hf;
    b->method = method;
    b->roost_texture = texture_ops.texture(roost_texture_name);

    char path[path_max];
    bool ok = track_file(path, sizeof path, track_dir, "tileinfo");
    file_stream* s = ok ? stream_open(path, "rb") : nullptr;
    if (s) {
        parse_tileinfo(b, s);
        stream_close(s);
    } else if (ok) {
        ok = track_file(path, sizeof path, track_dir, "texturelist");
        s = ok ? stream_open(path, "rb") : nullptr;
        if (s) {
            parse_texturelist(b, s);
            stream_close(s);
        } else if (ok) {
            log_printf("Can't open '%.950s'\n", path);
            ok = false;
        }
    }
    if (ok && hf->tile_count == 0) {
        log_printf("Warning: no tiles defined in '%.900s'; using a default tile\n", track_dir);
        commit_tile(b, defaults_with_roost_texture(b->roost_texture), "");
    }
    finish_table(b);
    free(b);
    ok = ok && read_tilemap(hf, track_dir);
    if (ok && terrain_verbosity >= 1)
        log_printf("%lu bytes texture memory used after ground tiles loaded\n", texture_ops.memory_used());
    return ok;
}

bool write_tilemap(const height_field& hf, const char* track_dir)
{
    char path[path_max];
    file_stream* s = track_file(path, sizeof path, track_dir, "tilemap") ? stream_open(path, "wb") : nullptr;
    if (!s) {
        log_printf("Can't open 'tilemap'\n");
        return false;
    }
    bool ok = stream_write(s, hf.tilemap, hf.tiles_per_side * hf.tiles_per_side) && stream_flush(s);
    stream_close(s);
    if (!ok)
        log_printf("Error writing 'tilemap'\n");
    return ok;
}

void free_tiles(height_field* hf)
{
    free(hf->tiles);
    free(hf->tilemap);
    hf->tiles = nullptr;
    hf->tilemap = nullptr;
    hf->tile_count = 0;
    hf->tiles_per_side = 0;
}
