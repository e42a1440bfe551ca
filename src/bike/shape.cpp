// shape.cpp -- ".shp" files, the shape cache and private copies (see shape.h).
//
// The files come from data packs and track directories, so every number
// is checked before it is trusted: the count against shape_max_spheres
// (the array is sized from it), each value for being finite, the radius
// for being positive, and the spring for having some stiffness (between
// two shapes the contact's CFM is 1 / (h k + c) with the smaller k and c
// of the two, which a zero stiffness could make 1 / 0).
#include "bike/shape.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/intern.h"
#include "base/xmalloc.h"
#include "bike/bike.h"
#include "data/stream.h"
#include "platform/log.h"
#include "terrain/track_assets.h"

// The cache: every shape loaded by name, for the program's run.
static collision_shape** cache = nullptr;   // count used of capacity
static int cache_count = 0;
static int cache_capacity = 0;

static bool finite(float v) { return std::isfinite(v); }

// Why a sphere can't be used, or null when it can.
static const char* sphere_fault(const shape_sphere& s)
{
    const float values[] = {s.centre.x, s.centre.y, s.centre.z, s.radius, s.mu, s.stiffness, s.damping};
    for (float v : values)
        if (!finite(v))
            return "a number out of range";
    if (!(s.radius > 0))
        return "a radius at or below 0";
    if (!(s.mu >= 0))
        return "a negative friction";
    if (!(s.stiffness > 0))
        return "no stiffness";
    if (!(s.damping >= 0))
        return "a negative damping";
    return nullptr;
}

static float bounding_radius_of(const shape_sphere* spheres, int count)
{
    float r = 0;
    for (int i = 0; i < count; i++) {
        float reach = vec3_length(spheres[i].centre) + spheres[i].radius;
        if (reach > r)
            r = reach;
    }
    return r;
}

// Reads the file into a new shape; null after a log line when it is
// malformed or refused, silently when it can't be opened.
static collision_shape* read_shape_file(const char* name)
{
    file_stream* s = stream_open(name, "rb");
    if (!s)
        return nullptr;
    int count = 0;
    if (stream_scanf(s, "%d", &count) != 1) {
        log_printf("Shape file '%.900s' has no sphere count\n", name);
        stream_close(s);
        return nullptr;
    }
    if (count < 0 || count > shape_max_spheres) {
        log_printf("Shape file '%.900s' holds %d spheres; 0 to %d are allowed\n", name, count, shape_max_spheres);
        stream_close(s);
        return nullptr;
    }
    shape_sphere* spheres = count ? static_cast<shape_sphere*>(xcalloc(size_t(count), sizeof(shape_sphere))) : nullptr;
    for (int i = 0; i < count; i++) {
        shape_sphere& sp = spheres[i];
        int got = stream_scanf(s, "%f %f %f %f %f %f %f", &sp.centre.x, &sp.centre.y, &sp.centre.z, &sp.radius,
                               &sp.mu, &sp.stiffness, &sp.damping);
        const char* fault = got == 7 ? sphere_fault(sp) : "missing numbers";
        if (fault) {
            log_printf("Shape file '%.900s' refused: sphere %d has %s\n", name, i + 1, fault);
            free(spheres);
            stream_close(s);
            return nullptr;
        }
    }
    bool failed = stream_failed(s);
    stream_close(s);
    if (failed) {
        log_printf("Shape file '%.900s' is damaged\n", name);
        free(spheres);
        return nullptr;
    }
    collision_shape* shape = static_cast<collision_shape*>(xcalloc(1, sizeof(collision_shape)));
    shape->name = intern_string(name);
    shape->sphere_count = count;
    shape->spheres = spheres;
    shape->template_shape = nullptr;
    shape->bounding_radius = bounding_radius_of(spheres, count);
    return shape;
}

const collision_shape* load_collision_shape(const char* name)
{
    if (!name || !*name)
        return nullptr;
    for (int i = 0; i < cache_count; i++)
        if (strcmp(cache[i]->name, name) == 0)
            return cache[i];
    collision_shape* shape = read_shape_file(name);
    if (!shape)
        return nullptr;
    if (cache_count == cache_capacity) {
        cache_capacity = cache_capacity ? cache_capacity * 2 : shape_cache_initial;
        cache = static_cast<collision_shape**>(xrealloc(cache, sizeof(collision_shape*) * size_t(cache_capacity)));
    }
    cache[cache_count++] = shape;
    return shape;
}

collision_shape* copy_collision_shape(const char* name)
{
    const collision_shape* cached = load_collision_shape(name);
    if (!cached)
        return nullptr;
    collision_shape* copy = static_cast<collision_shape*>(xmalloc(sizeof(collision_shape)));
    *copy = *cached;
    copy->template_shape = cached;
    if (cached->sphere_count) {
        size_t bytes = sizeof(shape_sphere) * size_t(cached->sphere_count);
        copy->spheres = static_cast<shape_sphere*>(xmalloc(bytes));
        memcpy(copy->spheres, cached->spheres, bytes);
    }
    return copy;
}

void free_collision_shape(collision_shape* copy)
{
    if (!copy || !copy->template_shape)
        return;
    free(copy->spheres);
    free(copy);
}

void place_collision_shape(collision_shape* copy, vec3 position, const mat3& rotation)
{
    if (!copy || !copy->template_shape)
        return;   // a cached shape keeps its body-axes centres
    const shape_sphere* body = copy->template_shape->spheres;
    for (int i = 0; i < copy->sphere_count; i++)
        copy->spheres[i].centre = vec3_add(mat3_apply(rotation, body[i].centre), position);
}

int collision_shape_cache_count() { return cache_count; }

void collision_shape_cache_reset()
{
    for (int i = 0; i < cache_count; i++) {
        free(cache[i]->spheres);
        free(cache[i]);
    }
    free(cache);
    cache = nullptr;
    cache_count = cache_capacity = 0;
}

// ---- bikes ------------------------------------------------------------------

void attach_bike_shapes(bike* b)
{
    const bike_model& m = b->model;
    b->frame_shape = copy_collision_shape(m.frame_shape);
    b->fork_upper_shape = copy_collision_shape(m.fork_upper_shape);
    b->fork_lower_shape = copy_collision_shape(m.fork_lower_shape);
    b->swingarm_shape = copy_collision_shape(m.swingarm_shape);
    b->rider_shape = copy_collision_shape(m.rider_shape);
    b->front_wheel_shape = copy_collision_shape(m.front_wheel_shape);
    b->rear_wheel_shape = copy_collision_shape(m.rear_wheel_shape);
}

void release_bike_shapes(bike* b)
{
    for (collision_shape** s : {&b->frame_shape, &b->fork_upper_shape, &b->fork_lower_shape, &b->swingarm_shape,
                                &b->rider_shape, &b->front_wheel_shape, &b->rear_wheel_shape}) {
        free_collision_shape(*s);
        *s = nullptr;
    }
}

// ---- track objects ------------------------------------------------------------

static collision_shape* track_shape_load(const char* name, float* radius)
{
    collision_shape* copy = copy_collision_shape(name);
    if (copy && radius)
        *radius = copy->bounding_radius;
    return copy;
}

void bike_shapes_install_track_assets()
{
    track_asset_ops ops = track_assets();
    ops.shape_load = track_shape_load;
    ops.shape_free = free_collision_shape;
    track_assets_install(&ops);
}
