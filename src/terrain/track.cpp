// track.cpp -- loading and releasing a track, and its objects.
//
// Owns `track` and the asset operations in force.  Needs the data streams,
// SHA-1, the log, the height field (`terrain`, filled by
// load_height_field), the timing gates and the decals.  Promises: the
// files are read in one fixed order, each optional file ending at its
// first malformed line with what was read kept; only a height field
// failure fails a load, and then nothing of the track is left; every index
// read from a file is checked before use; the digest covers the terrain
// and tile files, "timing_gates", "statues" and each distinct statue shape
// file once, in that order.
#include "terrain/track.h"

#include <cctype>
#include <climits>
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
#include "terrain/decals.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"

constexpr int name_size = 1024;                 // "%1023s" names
constexpr int line_size = 4096;                 // one line of "lighting" or "cameras"
constexpr int digest_chunk = 8192;              // bytes read per digest step
constexpr float near_plane_min = 1.0f / 1024;   // 2^-10
constexpr float near_plane_max = 0.875f;
constexpr float far_plane_max = 1048576.0f;
constexpr float default_camera_fov = 90.0f;
constexpr double two_pi = 6.28318530717958647692;
constexpr int default_ground_method = 1;

track_state track = {};

// ------------------------------------------------------------ asset ops

static uint32_t no_texture(const char*) { return 0; }
static model* no_model(const char*) { return nullptr; }
static collision_shape* no_shape(const char*, float*) { return nullptr; }
static void no_shape_free(collision_shape*) {}
static void no_announce(const char*) {}

static const track_asset_ops headless_assets = {no_texture, no_model, no_shape, no_shape_free,
                                                no_announce};
static track_asset_ops assets = headless_assets;

void track_assets_install(const track_asset_ops* ops)
{
    assets = headless_assets;
    if (!ops)
        return;
    if (ops->texture_load)
        assets.texture_load = ops->texture_load;
    if (ops->model_load)
        assets.model_load = ops->model_load;
    if (ops->shape_load)
        assets.shape_load = ops->shape_load;
    if (ops->shape_free)
        assets.shape_free = ops->shape_free;
    if (ops->announce)
        assets.announce = ops->announce;
}

const track_asset_ops& track_assets() { return assets; }

// ------------------------------------------------------------ arrays

template <typename T>
static void array_init(track_array<T>* a)
{
    a->items = static_cast<T*>(xmalloc(sizeof(T) * track_array_initial));
    a->count = 0;
    a->capacity = track_array_initial;
}

template <typename T>
static int array_push(track_array<T>* a, const T& value)
{
    if (a->count == a->capacity) {
        if (a->capacity > INT_MAX / 2)
            out_of_memory();
        a->capacity = a->capacity ? a->capacity * 2 : track_array_initial;
        a->items = static_cast<T*>(xrealloc(a->items, sizeof(T) * a->capacity));
    }
    a->items[a->count] = value;
    return a->count++;
}

template <typename T>
static void array_free(track_array<T>* a)
{
    free(a->items);
    *a = {};
}

// ------------------------------------------------------------ small helpers

static bool finite3(float a, float b, float c)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

// "@" + track + "/" + file; false when it does not fit.
static bool track_file(char* out, const char* track_name, const char* file)
{
    return snprintf(out, path_max, "@%s/%s", track_name, file) < static_cast<int>(path_max);
}

static bool data_file_exists(const char* name)
{
    file_stream* s = stream_open(name, "rb");
    if (!s)
        return false;
    stream_close(s);
    return true;
}

// Adds the complete contents of a file; a missing file adds nothing.
static void digest_file(sha1_state* sha, const char* name)
{
    file_stream* s = stream_open(name, "rb");
    if (!s)
        return;
    static uint8_t chunk[digest_chunk];
    int n;
    while ((n = stream_read(s, chunk, sizeof chunk)) > 0)
        sha1_add(sha, chunk, static_cast<size_t>(n));
    stream_close(s);
}

static void digest_track_file(sha1_state* sha, const char* track_name, const char* file)
{
    char path[path_max];
    if (track_file(path, track_name, file))
        digest_file(sha, path);
}


static void trim_end(char* text)
{
    size_t n = strlen(text);
    while (n > 0 && isspace(static_cast<unsigned char>(text[n - 1])))
        text[--n] = 0;
}

static char* skip_space_tab(char* p)
{
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

// Ground height under a point; 0 while no field is loaded (an object
// added outside a load).
static float ground_at(float x, float z)
{
    return terrain.heights ? terrain_height(terrain, x, z) : 0.0f;
}

static unsigned long texture_memory() { return terrain_textures().memory_used(); }

// ------------------------------------------------------------ billboards

bool billboard_colour(const char* name, uint8_t rgb[3], const char** rest)
{
    if (strlen(name) < 8 || name[0] != '#' || name[7] != '#')
        return false;
    unsigned value = 0;
    for (int i = 1; i <= 6; i++) {
        if (!isxdigit(static_cast<unsigned char>(name[i])))
            return false;
        int c = tolower(static_cast<unsigned char>(name[i]));
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    rgb[0] = static_cast<uint8_t>(value >> 16);
    rgb[1] = static_cast<uint8_t>(value >> 8);
    rgb[2] = static_cast<uint8_t>(value);
    *rest = name + 8;
    return true;
}

static int push_billboard(vec3 position, float height, float size, float aspect, const char* name)
{
    billboard b{};
    b.position = position;
    b.height = height;
    b.size = size;
    b.aspect = aspect;
    b.r = b.g = b.b = b.a = 255;
    if (name && *name) {
        b.texture_name = intern_string(name);
        b.texture = assets.texture_load(name);
    }
    int index = array_push(&track.billboards, b);
    array_push(&track.billboard_draw_list, index);
    array_push(&track.billboard_draw_list, 0);
    return index;
}

int add_billboard(float x, float y_above_ground, float z, float size, float aspect,
                  const char* texture_name)
{
    vec3 p = {x, ground_at(x, z) + y_above_ground, z};
    return push_billboard(p, y_above_ground, size, aspect, texture_name);
}

static void read_billboards(const char* path)
{
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return;
    float x, y, z, size, aspect;
    char name[name_size];
    while (stream_scanf(s, " [ %f %f %f ] %f %f %1023s ", &x, &y, &z, &size, &aspect, name) == 6) {
        if (!finite3(x, y, z) || !std::isfinite(size) || !std::isfinite(aspect))
            break;
        uint8_t rgb[3];
        const char* texture = name;
        bool tinted = billboard_colour(name, rgb, &texture);
        int index = add_billboard(x, y, z, size, aspect, texture);
        if (tinted) {
            billboard& b = track.billboards.items[index];
            b.r = rgb[0];
            b.g = rgb[1];
            b.b = rgb[2];
        }
    }
    stream_close(s);
}

// ------------------------------------------------------------ statues

mat3 object_orientation(float x, float z, float angle)
{
    if (angle >= statue_facing_angle)
        return mat3_identity();
    float c = std::cos(angle), s = std::sin(angle);
    vec3 up = {0, 1, 0};
    if (angle > -two_pi) {
        float h = ground_at(x, z);
        vec3 slope = {-(ground_at(x + 1, z) - h), 1,
                      -(ground_at(x, z + 1) - h)};
        up = vec3_normalize_or(slope, up);
    }
    // Right axis from the turn, back axis across it, right again square to up.
    vec3 right0 = {c, 0, -s};
    vec3 back = vec3_normalize_or(vec3_cross(right0, up), {s, 0, c});
    vec3 right = vec3_cross(up, back);
    mat3 m;
    for (int r = 0; r < 3; r++) {
        const float* axis_r[3] = {&right.x, &up.x, &back.x};
        for (int col = 0; col < 3; col++)
            m.m[r][col] = axis_r[col][r];
    }
    return m;
}

// Splits name into stem and extension at the last '.' after the last '/'.
static size_t stem_length(const char* name)
{
    const char* slash = strrchr(name, '/');
    const char* dot = strrchr(name, '.');
    return (dot && (!slash || dot > slash)) ? static_cast<size_t>(dot - name) : strlen(name);
}

static uint32_t try_map(const char* stem, size_t stem_len, const char* kind, const char* keep)
{
    static const char* const suffixes[] = {".seq", ".png", ".ppm"};
    char candidate[path_max];
    for (const char* suffix : suffixes) {
        if (snprintf(candidate, sizeof candidate, "%.*s%s%s%s", static_cast<int>(stem_len), stem,
                     kind, keep, suffix) >= static_cast<int>(sizeof candidate))
            continue;
        if (data_file_exists(candidate)) {
            uint32_t id = assets.texture_load(candidate);
            if (id)
                return id;
        }
    }
    return 0;
}

// A normal ("_norm") or specular ("_spec") map for a statue: beside the
// texture (keeping a "-repeat" before the suffix), then beside the model.
static uint32_t find_map(const char* texture_name, const char* model_name, const char* kind)
{
    static const char repeat[] = "-repeat";
    constexpr size_t repeat_len = sizeof repeat - 1;
    if (texture_name) {
        size_t n = stem_length(texture_name);
        const char* keep = "";
        if (n >= repeat_len && memcmp(texture_name + n - repeat_len, repeat, repeat_len) == 0) {
            n -= repeat_len;
            keep = repeat;
        }
        if (uint32_t id = try_map(texture_name, n, kind, keep))
            return id;
    }
    return try_map(model_name, stem_length(model_name), kind, "");
}

static const char* statue_name(const char* name)
{
    return (name && *name && strcmp(name, "null") != 0) ? intern_string(name) : nullptr;
}

int add_statue(float x, float y_above_ground, float z, float angle, const char* model_name,
               const char* texture_name, const char* shape_name)
{
    statue st{};
    st.model_name = statue_name(model_name);
    st.texture_name = statue_name(texture_name);
    st.shape_name = statue_name(shape_name);
    if (st.model_name)
        st.shown = assets.model_load(st.model_name);
    if (st.shown && st.texture_name) {
        st.texture = assets.texture_load(st.texture_name);
        if (track.shader_rendering) {
            st.normal_map = find_map(st.texture_name, st.model_name, "_norm");
            st.specular_map = find_map(st.texture_name, st.model_name, "_spec");
        }
    }
    if (st.shape_name) {
        st.shape = assets.shape_load(st.shape_name, &st.shape_radius);
        // Without a shape loader every shape is "missing": warn only about
        // files that are really absent.
        if (!st.shape && !data_file_exists(st.shape_name))
            log_printf("Warning: missing shape file %.900s\n", st.shape_name);
    }
    st.position = {x, ground_at(x, z) + y_above_ground, z};
    st.height = y_above_ground;
    st.angle = angle;
    st.orientation = object_orientation(x, z, angle);
    st.facing_distance = angle >= statue_facing_angle ? std::pow(2.0f, angle) : 0.0f;
    return array_push(&track.statues, st);
}

static void read_statues(const char* path)
{
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return;
    float x, y, z, angle;
    char names[3][name_size];
    while (stream_scanf(s, " [ %f %f %f ] %f %1023s %1023s %1023s ", &x, &y, &z, &angle, names[0],
                        names[1], names[2]) == 7) {
        if (!finite3(x, y, z) || !std::isfinite(angle))
            break;
        add_statue(x, y, z, angle, names[0], names[1], names[2]);
    }
    stream_close(s);
}

static int bucket_of(float v, float world_size)
{
    float f = std::floor((v / world_size - 0.125f) * (4.0f / 3.0f) * statue_bucket_side);
    if (!(f >= 0))
        return 0;
    return f > statue_bucket_side - 1 ? statue_bucket_side - 1 : static_cast<int>(f);
}

void statue_bucket_range(float x, float z, float radius, float world_size, int* col0, int* col1,
                         int* row0, int* row1)
{
    if (!(world_size > 0)) {
        *col0 = *row0 = 0;
        *col1 = *row1 = statue_bucket_side - 1;
        return;
    }
    *col0 = bucket_of(x - radius, world_size);
    *col1 = bucket_of(x + radius, world_size);
    *row0 = bucket_of(z - radius, world_size);
    *row1 = bucket_of(z + radius, world_size);
}

static void fill_statue_buckets()
{
    for (auto& row : track.statue_buckets)
        for (auto& bucket : row)
            bucket.count = 0;
    for (int i = 0; i < track.statues.count; i++) {
        const statue& st = track.statues.items[i];
        if (!st.shape)
            continue;
        int c0, c1, r0, r1;
        statue_bucket_range(st.position.x, st.position.z, st.shape_radius, terrain.world_size, &c0,
                            &c1, &r0, &r1);
        for (int r = r0; r <= r1; r++)
            for (int c = c0; c <= c1; c++)
                array_push(&track.statue_buckets[r][c], i);
    }
}

// Each distinct shape file once, in statue order.
static void digest_statue_shapes(sha1_state* sha)
{
    track_array<const char*> seen = {};
    for (int i = 0; i < track.statues.count; i++) {
        const char* name = track.statues.items[i].shape_name;
        if (!name)
            continue;
        bool known = false;
        for (int j = 0; j < seen.count && !known; j++)
            known = strcmp(seen.items[j], name) == 0;
        if (known)
            continue;
        array_push(&seen, name);
        digest_file(sha, name);
    }
    array_free(&seen);
}

// ------------------------------------------------------------ flaggers

static bool read_names(file_stream* s, char (*names)[name_size], int count)
{
    for (int i = 0; i < count; i++)
        if (stream_scanf(s, " %1023s ", names[i]) != 1)
            return false;
    return true;
}

static int clamp_checkpoint(int k)
{
    if (k < -1)
        return -1;
    return k > timing_gates.checkpoint_count - 1 ? timing_gates.checkpoint_count - 1 : k;
}

static void read_flaggers(const char* path)
{
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return;
    char names[starter_texture_count][name_size];
    float ax, ay, az, bx, by, bz, size, aspect, duration;
    if (stream_scanf(s, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &ax, &ay, &az, &bx, &by, &bz, &size,
                     &aspect, &duration) != 9 ||
        !finite3(ax, ay, az) || !finite3(bx, by, bz) || !finite3(size, aspect, duration) ||
        !read_names(s, names, starter_texture_count)) {
        stream_close(s);
        return;
    }
    starter_flagger& st = track.starter;
    st.a = {ax, ay, az};
    st.b = {bx, by, bz};
    st.duration = duration;
    st.billboard = add_billboard(ax, ay, az, size, aspect, names[0]);
    st.textures[0] = track.billboards.items[st.billboard].texture;
    for (int i = 1; i < starter_texture_count; i++)
        st.textures[i] = assets.texture_load(names[i]);

    float x, y, z;
    if (stream_scanf(s, " [ %f %f %f ] %f %f ", &x, &y, &z, &size, &aspect) != 5 ||
        !finite3(x, y, z) || !std::isfinite(size) || !std::isfinite(aspect) ||
        !read_names(s, names, lap_texture_count)) {
        stream_close(s);
        return;
    }
    lap_flagger& lap = track.lap;
    lap.billboard = add_billboard(x, y, z, size, aspect, names[0]);
    lap.textures[0] = track.billboards.items[lap.billboard].texture;
    for (int i = 1; i < lap_texture_count; i++)
        lap.textures[i] = assets.texture_load(names[i]);

    int k[caution_checkpoint_count];
    while (stream_scanf(s, " [ %f %f %f ] %f %f %d %d %d %d", &x, &y, &z, &size, &aspect, &k[0],
                        &k[1], &k[2], &k[3]) == 9 &&
           finite3(x, y, z) && std::isfinite(size) && std::isfinite(aspect) &&
           read_names(s, names, 2)) {
        caution_flagger f{};
        f.billboard = add_billboard(x, y, z, size, aspect, names[0]);
        f.idle_texture = track.billboards.items[f.billboard].texture;
        f.waving_texture = assets.texture_load(names[1]);
        for (int i = 0; i < caution_checkpoint_count; i++)
            f.checkpoints[i] = clamp_checkpoint(k[i]);
        array_push(&track.caution_flaggers, f);
    }
    stream_close(s);
}

static void set_billboard_texture(int index, uint32_t texture)
{
    if (index >= 0 && index < track.billboards.count)
        track.billboards.items[index].texture = texture;
}

void starter_flagger_update(float race_time, float start_time)
{
    const starter_flagger& st = track.starter;
    if (st.billboard < 0 || st.billboard >= track.billboards.count)
        return;
    float t = race_time, s = start_time;
    // A walk of no length is over at once.
    float f = st.duration > 0 ? (t - (s + 1)) / st.duration : (t >= s + 1 ? 1.0f : 0.0f);
    f = f < 0 ? 0 : (f > 1 ? 1 : f);
    vec3 p = vec3_add(st.a, vec3_scale(vec3_sub(st.b, st.a), f));
    p.y += ground_at(p.x, p.z);
    billboard& b = track.billboards.items[st.billboard];
    b.position = p;
    int texture = t < s + 0.1f ? 0 : t < s + 0.4f ? 1 : t < s + 1 ? 2 : t < s + 1 + st.duration ? 3 : 4;
    b.texture = st.textures[texture];
}

void lap_flagger_update(int leader_laps, int race_laps, int halfway_lap)
{
    const lap_flagger& lap = track.lap;
    int k = leader_laps;
    int texture = k >= race_laps ? 3 : k + 1 == race_laps ? 2 : k == halfway_lap ? 1 : 0;
    set_billboard_texture(lap.billboard, lap.textures[texture]);
}

void caution_flaggers_update(const int* down_entries, int down_count)
{
    for (int i = 0; i < timing_gates.checkpoint_count; i++)
        timing_gates.checkpoints[i].caution = 0;
    for (int i = 0; i < down_count; i++) {
        int k = timing_checkpoint_of(down_entries[i]);
        if (k >= 0 && k < timing_gates.checkpoint_count)
            timing_gates.checkpoints[k].caution = 1;
    }
    for (int i = 0; i < track.caution_flaggers.count; i++) {
        const caution_flagger& f = track.caution_flaggers.items[i];
        bool waving = false;
        for (int k : f.checkpoints)
            if (k >= 0 && k < timing_gates.checkpoint_count && timing_gates.checkpoints[k].caution)
                waving = true;
        set_billboard_texture(f.billboard, waving ? f.waving_texture : f.idle_texture);
    }
}

void track_objects_reset()
{
    if (track.starter.billboard >= 0)
        set_billboard_texture(track.starter.billboard, track.starter.textures[0]);
    if (track.lap.billboard >= 0)
        set_billboard_texture(track.lap.billboard, track.lap.textures[0]);
    caution_flaggers_update(nullptr, 0);
    for (int i = 0; i < track.statues.count; i++)
        track.statues.items[i].last_touched = 0;
}

// ------------------------------------------------------------ lighting

void track_lighting_defaults(track_lighting* out)
{
    *out = {};
    out->sun_vector = {1, 1, 1};
    out->sun_color = {1, 1, 1};
    out->ambient = {0.5f, 0.5f, 0.5f};
    out->global_ambient = {0.2f, 0.2f, 0.2f};
    out->near_plane = 0.25f;
    out->far_plane = 5000.0f;
    out->fog_color = {1, 1, 1};
}

static bool scan_vec3(const char* arg, vec3* out)
{
    float x, y, z;
    if (sscanf(arg, " [ %f %f %f ] ", &x, &y, &z) != 3 || !finite3(x, y, z))
        return false;
    *out = {x, y, z};
    return true;
}

static bool scan_float(const char* arg, float* out)
{
    float v;
    if (sscanf(arg, "%f", &v) != 1 || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

struct lighting_reader {
    track_lighting* out;
    track_array<lens_flare>* flares;
    lens_flare pending;          // elements gathered for the next flare
};

static bool add_flare_element(lighting_reader* r, const char* arg)
{
    flare_element e{};
    char name[name_size];
    if (sscanf(arg, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.place[0], &e.place[1], &e.r, &e.g,
               &e.b, &e.size, name) != 7 ||
        !finite3(e.place[0], e.place[1], e.size) || !finite3(e.r, e.g, e.b))
        return false;
    if (r->pending.element_count < flare_max_elements) {
        e.texture = assets.texture_load(name);
        r->pending.elements[r->pending.element_count++] = e;
    }
    return true;
}

static bool commit_flare(lighting_reader* r, const char* arg, bool is_direction)
{
    vec3 v;
    if (!scan_vec3(arg, &v))
        return false;
    r->pending.position = v;
    r->pending.is_direction = is_direction;
    if (r->flares)
        array_push(r->flares, r->pending);
    r->pending = lens_flare{};
    return true;
}

// One keyword and its argument; false when the keyword is unknown.
static bool lighting_line(lighting_reader* r, const char* key, const char* arg, bool* bad_value)
{
    static const char* const sky_keys[sky_face_count] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
    track_lighting* L = r->out;
    bool ok = true;
    if (strcmp(key, "sun_vector") == 0)
        ok = scan_vec3(arg, &L->sun_vector);
    else if (strcmp(key, "sun_color") == 0)
        ok = scan_vec3(arg, &L->sun_color);
    else if (strcmp(key, "ambient") == 0)
        ok = scan_vec3(arg, &L->ambient);
    else if (strcmp(key, "global_ambient") == 0)
        ok = scan_vec3(arg, &L->global_ambient);
    else if (strcmp(key, "sky_env") == 0) {
        ok = *arg != 0;
        if (ok)
            L->sky_env = intern_string(arg);
    }
    else if (strcmp(key, "flare_element") == 0)
        ok = add_flare_element(r, arg);
    else if (strcmp(key, "flare_point") == 0)
        ok = commit_flare(r, arg, false);
    else if (strcmp(key, "flare_vector") == 0)
        ok = commit_flare(r, arg, true);
    else if (strcmp(key, "fog") == 0) {
        float cr, cg, cb, density;
        ok = sscanf(arg, " [ %f %f %f ] %f ", &cr, &cg, &cb, &density) == 4 && finite3(cr, cg, cb) &&
             std::isfinite(density);
        if (ok) {
            L->fog_color = {cr, cg, cb};
            L->fog_density = density;
        }
    } else if (strcmp(key, "dynamic_lighting") == 0) {
        char* end;
        long v = strtol(arg, &end, 10);
        ok = end != arg;
        if (ok)
            L->dynamic_lighting = v > 0;
    } else if (strcmp(key, "near_plane") == 0)
        ok = scan_float(arg, &L->near_plane);
    else if (strcmp(key, "far_plane") == 0)
        ok = scan_float(arg, &L->far_plane);
    else {
        int face = 0;
        while (face < sky_face_count && strcmp(key, sky_keys[face]) != 0)
            face++;
        if (face == sky_face_count)
            return false;
        ok = *arg != 0;
        if (ok)
            L->sky[face] = intern_string(arg);
    }
    *bad_value = !ok;
    return true;
}

static void finish_lighting(track_lighting* L)
{
    static const char* const sky_defaults[sky_face_count] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm",
                                                             "@sky-w.ppm", "@sky-u.ppm"};
    const float third = 0.57735026919f;   // 1/sqrt(3): the default light direction
    L->sun_vector = vec3_normalize_or(L->sun_vector, {third, third, third});
    if (L->near_plane < near_plane_min)
        L->near_plane = near_plane_min;
    if (L->near_plane > near_plane_max)
        L->near_plane = near_plane_max;
    if (L->far_plane < L->near_plane)
        L->far_plane = L->near_plane;
    if (L->far_plane > far_plane_max)
        L->far_plane = far_plane_max;
    for (int i = 0; i < sky_face_count; i++)
        if (!L->sky[i])
            L->sky[i] = intern_string(sky_defaults[i]);
    if (!L->sky_env)
        L->sky_env = intern_string("@sky-env.ppm");
}

bool read_track_lighting(const char* path, track_lighting* out, track_array<lens_flare>* flares)
{
    track_lighting_defaults(out);
    file_stream* s = stream_open(path, "rb");
    bool found = s != nullptr;
    if (s) {
        lighting_reader r = {out, flares, {}};
        char line[line_size];
        while (stream_read_line(s, line, sizeof line)) {
            trim_end(line);
            char* key = skip_space_tab(line);
            if (*key == 0)
                continue;   // blank line
            char* arg = key;
            while (*arg && *arg != ' ' && *arg != '\t')
                arg++;
            if (*arg)
                *arg++ = 0;
            arg = skip_space_tab(arg);
            bool bad_value = false;
            if (!lighting_line(&r, key, arg, &bad_value)) {
                log_printf("Error reading lighting: Unknown identifier '%.950s'\n", key);
                break;
            }
            if (bad_value)
                log_printf("Error reading lighting: Bad value for '%.900s' ignored\n", key);
        }
        stream_close(s);
    }
    finish_lighting(out);
    return found;
}

// ------------------------------------------------------------ cameras

// Maps each listed gate 0..255 to the camera the next "addcamera" makes;
// the list ends at the first value that is not such a number.
static void read_gate_list(const char* p)
{
    for (;;) {
        char* end;
        long g = strtol(p, &end, 10);
        if (end == p || g < 0 || g >= track_gate_count)
            return;
        track.gate_cameras[g] = track.cameras.count;
        p = end;
    }
}

static void read_cameras(const char* path)
{
    file_stream* s = stream_open(path, "rb");
    if (!s)
        return;
    float fov = default_camera_fov, autofov = 0;
    char line[line_size];
    while (stream_read_line(s, line, sizeof line)) {
        char* p = skip_space_tab(line);
        float x, y, z, v;
        if (*p == '\n' || *p == '\r' || *p == 0)
            continue;
        if (sscanf(p, "addcamera %f %f %f", &x, &y, &z) == 3 && finite3(x, y, z)) {
            track_camera c{};
            c.position = {x, ground_at(x, z) + y, z};
            c.fov = fov;
            c.autofovsize = autofov;
            array_push(&track.cameras, c);
            fov = default_camera_fov;
            autofov = 0;
        } else if (sscanf(p, "fov %f", &v) == 1 && std::isfinite(v)) {
            fov = std::fabs(v);
        } else if (sscanf(p, "autofovsize %f", &v) == 1 && std::isfinite(v)) {
            autofov = std::fabs(v);
        } else if (strncmp(p, "gate", 4) == 0 && isspace(static_cast<unsigned char>(p[4]))) {
            read_gate_list(p + 4);
        } else {
            trim_end(p);
            log_printf("Error reading cameras: Bad line '%.900s'\n", p);
            break;
        }
    }
    stream_close(s);
    if (terrain_verbosity >= 1)
        log_printf("%d cameras found\n", track.cameras.count);
}

int gate_camera(int gate)
{
    if (!track.name || gate < 0 || gate >= track_gate_count)
        return -1;
    return track.gate_cameras[gate];
}

const uint8_t* track_digest() { return track.digest; }

// ------------------------------------------------------------ load / release

static void create_collections()
{
    array_init(&track.billboards);
    array_init(&track.billboard_draw_list);
    array_init(&track.statues);
    array_init(&track.caution_flaggers);
    for (auto& row : track.statue_buckets)
        for (auto& bucket : row)
            array_init(&bucket);
    array_init(&track.cameras);
    array_init(&track.flares);
    for (int& c : track.gate_cameras)
        c = -1;
    track.starter = {};
    track.starter.billboard = -1;
    track.lap = {};
    track.lap.billboard = -1;
    track.roost_first = -1;
    track.map_texture = 0;
}

// Frees the collections in the unloading order; the log lines are the caller's.
static void free_track_parts()
{
    free_timing_gates();   // with the line store
    for (auto& row : track.statue_buckets)
        for (auto& bucket : row)
            array_free(&bucket);
    for (int i = 0; i < track.statues.count; i++)
        if (track.statues.items[i].shape)
            assets.shape_free(track.statues.items[i].shape);
    array_free(&track.flares);
    array_free(&track.statues);
    array_free(&track.billboards);
    array_free(&track.billboard_draw_list);
    array_free(&track.caution_flaggers);
    array_free(&track.cameras);
    free_height_field(&terrain);
    bool shader = track.shader_rendering;
    track = {};
    track.shader_rendering = shader;
    track.starter.billboard = track.lap.billboard = track.roost_first = -1;
    for (int& c : track.gate_cameras)
        c = -1;
}

static bool track_has_parts()
{
    return track.name || track.billboards.items || track.statues.items || terrain.heights;
}

void release_track()
{
    log_printf("Deallocating track\n");
    free_track_parts();
    log_printf("Finished deallocating track\n");
}

static const char* display_name(const char* name, const track_load_options& o)
{
    for (int i = 0; o.known_names && i < o.known_count; i++)
        if (o.known_names[i] && strcmp(o.known_names[i], name) == 0)
            return o.known_names[i];
    return intern_string(name);
}

static void log_texture_memory(const char* after)
{
    if (terrain_verbosity >= 1)
        log_printf("%lu bytes texture memory used after %s creation\n", texture_memory(), after);
}

bool load_track(const char* name, const track_load_options* options)
{
    track_load_options o = {nullptr, 0, default_ground_method, false};
    if (options)
        o = *options;
    if (track_has_parts())
        release_track();
    char dir[path_max], path[path_max];
    if (!name || !data_name_is_safe(name) || !track_file(path, name, "timing_gates") ||
        snprintf(dir, sizeof dir, "@%s", name) >= static_cast<int>(sizeof dir)) {
        log_printf("Bad track name '%.900s'\n", name ? name : "");
        return false;
    }

    // The fixed order matters: the digest and the log follow it.
    const char* shown = display_name(name, o);
    sha1_state sha;
    sha1_begin(&sha);
    track.shader_rendering = o.shader_rendering;
    create_collections();
    assets.announce("Loading track...");
    // The files that shape the ground go into the digest first.
    for (const char* file : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
        digest_track_file(&sha, name, file);
    if (terrain_verbosity >= 1)
        log_printf("Loading '%s'\n", dir);
    track_file(path, name, "lighting");
    read_track_lighting(path, &track.lighting, &track.flares);
    // The one step that can fail.
    decals_install();
    if (!load_height_field(&terrain, dir, o.ground_method)) {
        free_track_parts();
        return false;
    }
    if (terrain_verbosity >= 1)
        log_printf("%lu bytes texture memory used after hf creation\n", texture_memory());
    track_file(path, name, "timing_gates");
    digest_file(&sha, path);
    read_timing_gates(path);
    // Roost particles: invisible billboards at the origin.
    for (int i = 0; i < roost_particle_count; i++) {
        int b = push_billboard({0, 0, 0}, 0, 1, 1, nullptr);
        if (i == 0)
            track.roost_first = b;
    }
    track_file(path, name, "flaggers");
    read_flaggers(path);
    log_texture_memory("flagger");
    track_file(path, name, "billboards");
    read_billboards(path);
    log_texture_memory("billboard");
    track_file(path, name, "statues");
    digest_file(&sha, path);
    read_statues(path);
    log_texture_memory("statue");
    track_file(path, name, "map.png");
    track.map_texture = assets.texture_load(path);
    fill_statue_buckets();
    // (The editor's extra information would load here: no editor in this build.)
    digest_statue_shapes(&sha);
    uint8_t digest[sha1_digest_size];
    sha1_end(&sha, digest);
    track_file(path, name, "cameras");
    read_cameras(path);
    memcpy(track.digest, digest, sizeof digest);
    track.name = shown;
    return true;
}
