// collision.cpp -- body shapes against the ground, statues and other bikes
// (see collision.h).
//
// Geometry first (sphere against triangle and terrain, sphere against
// sphere, tyre against shape), then the passes that turn touches into
// contact joints or penalty forces: the terrain pass, the statue pass and
// bike against bike with its knock rules.
//
// Divisions are guarded where the data could make them zero: a zero-area
// triangle or zero-length edge is skipped, a sphere centre on a triangle's
// boundary takes the face normal, coincident sphere centres take the
// relative velocity (or straight up) as their normal, a sphere on a tyre's
// axle takes a fixed direction across it, and a field of no size searches
// every statue bucket.
#include "bike/collision.h"

#include <algorithm>
#include <cmath>

#include "base/tick.h"
#include "base/xmalloc.h"
#include "bike/bike.h"
#include "bike/crash.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "bike/wheel_contact.h"
#include "terrain/height_field.h"
#include "terrain/track.h"

static constexpr float min_triangle_area2 = 1e-12f;   // |n|^2 below which a triangle has no face
static constexpr float on_boundary = 1e-6f;           // ft: a centre this near the edge takes the face normal
static constexpr float coincident = 1e-6f;            // ft: sphere centres nearer than this have no direction
static constexpr float axle_fraction = 1e-6f;         // x ring radius: |v|^2 below it means "on the axle"

static const vec3 world_up = {0, 1, 0};
static void (*contact_hook)(bike* b) = nullptr;

// ---------------------------------------------------------- sphere geometry

static float dist2(vec3 a, vec3 b)
{
    vec3 d = vec3_sub(a, b);
    return vec3_dot(d, d);
}

// Whether p lies outside the triangle seen along n (beyond some edge).
static bool outside_prism(vec3 p, const vec3 t[3], vec3 n)
{
    for (int i = 0; i < 3; i++) {
        vec3 e = vec3_cross(vec3_sub(t[(i + 1) % 3], t[i]), n);
        if (vec3_dot(vec3_sub(p, t[i]), e) > 0)
            return true;
    }
    return false;
}

// The point of the triangle's boundary nearest p: the nearest of the edge
// points whose projection falls within their edge and the three corners
// (edges first, the first found on ties).  Taking the first such edge
// instead of the nearest would, over a ridge, measure from an edge far
// away and let a sphere sink into the crest.
static vec3 nearest_on_boundary(vec3 p, const vec3 t[3])
{
    vec3 best = t[0];
    float best_d2 = INFINITY;
    for (int i = 0; i < 3; i++) {
        vec3 edge = vec3_sub(t[(i + 1) % 3], t[i]);
        float len2 = vec3_dot(edge, edge);
        if (!(len2 > 0))
            continue;
        float s = vec3_dot(vec3_sub(p, t[i]), edge) / len2;
        if (s < 0 || s > 1)
            continue;
        vec3 q = vec3_add(t[i], vec3_scale(edge, s));
        float d2 = dist2(p, q);
        if (d2 < best_d2) {
            best_d2 = d2;
            best = q;
        }
    }
    for (int j = 0; j < 3; j++) {
        float d2 = dist2(p, t[j]);
        if (d2 < best_d2) {
            best_d2 = d2;
            best = t[j];
        }
    }
    return best;
}

float sphere_triangle_depth(vec3 c, float r, const terrain_triangle& tri, vec3* point, vec3* normal)
{
    const vec3* t = tri.p;
    vec3 n = vec3_cross(vec3_sub(t[1], t[0]), vec3_sub(t[2], t[0]));
    float n2 = vec3_dot(n, n);
    if (!(n2 > min_triangle_area2))
        return 0;
    vec3 nhat = vec3_scale(n, 1.0f / std::sqrt(n2));
    if (outside_prism(c, t, n)) {
        vec3 q = nearest_on_boundary(c, t);
        float d = std::sqrt(dist2(c, q));
        float depth = r - d;
        if (!(depth > 0))
            return 0;
        vec3 dir = d > on_boundary ? vec3_scale(vec3_sub(c, q), 1.0f / d) : nhat;
        *normal = dir;
        *point = vec3_sub(c, vec3_scale(dir, r));
        return depth;
    }
    float depth = r - vec3_dot(vec3_sub(c, t[0]), nhat);
    if (!(depth > 0))
        return 0;
    // More than a radius below the plane: only a centre right under the
    // face has sunk through it; beside it, the plane runs on past the edge.
    if (depth > 2 * r && outside_prism(c, t, world_up))
        return 0;
    *normal = nhat;
    *point = vec3_sub(c, vec3_scale(nhat, r));
    return depth;
}

bool sphere_terrain_contact(const height_field& hf, vec3 c, float r, sphere_hit* out)
{
    if (!hf.heights || hf.size < 2 || !(hf.spacing > 0) || !vec3_finite(c) || !(r > 0) || !std::isfinite(r))
        return false;
    float last_cell = float(hf.size - 2);
    float c0 = std::floor((c.x - r) / hf.spacing), c1 = std::ceil((c.x + r) / hf.spacing) - 1;
    float r0 = std::floor((c.z - r) / hf.spacing), r1 = std::ceil((c.z + r) / hf.spacing) - 1;
    // Cells beyond the grid would be built from clamped, repeated corners:
    // flat slivers with no face.
    if (c1 < 0 || r1 < 0 || c0 > last_cell || r0 > last_cell)
        return false;
    int col0 = int(std::max(c0, 0.0f)), col1 = int(std::min(c1, last_cell));
    int row0 = int(std::max(r0, 0.0f)), row1 = int(std::min(r1, last_cell));
    // Most body spheres are well above the ground: no triangle reaches up
    // to the sphere's lowest point when no corner does.
    float top = -INFINITY;
    for (int row = row0; row <= row1 + 1; row++)
        for (int col = col0; col <= col1 + 1; col++)
            top = std::max(top, terrain_vertex(hf, col, row).y);
    if (!(top >= c.y - r))
        return false;
    sphere_hit best = {{0, 0, 0}, world_up, 0};
    for (int row = row0; row <= row1; row++) {
        for (int col = col0; col <= col1; col++) {
            terrain_triangle tris[2];
            terrain_cell_triangles(hf, col, row, tris);
            for (const terrain_triangle& tri : tris) {
                vec3 p, n;
                float depth = sphere_triangle_depth(c, r, tri, &p, &n);
                if (depth > best.depth)
                    best = {p, n, depth};
            }
        }
    }
    if (!(best.depth > 0))
        return false;
    best.normal = fix_up_normal(best.normal);
    *out = best;
    return true;
}

static void fill_surface(dContact* ct, float mu, float k, float c)
{
    ct->surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1_1 | dContactApprox1_2;
    ct->surface.mu = mu;
    soft_erp_cfm(k, c, tick_period, &ct->surface.soft_erp, &ct->surface.soft_cfm);
}

static void fill_geom(dContact* ct, vec3 p, vec3 n, float depth)
{
    ct->geom.pos[0] = p.x;
    ct->geom.pos[1] = p.y;
    ct->geom.pos[2] = p.z;
    ct->geom.normal[0] = n.x;
    ct->geom.normal[1] = n.y;
    ct->geom.normal[2] = n.z;
    ct->geom.depth = depth;
}

bool shape_terrain_contacts(const height_field& hf, collision_shape* shape, dBodyID body, vec3 position,
                            const mat3& rotation)
{
    if (!shape)
        return false;
    place_collision_shape(shape, position, rotation);
    bool any = false;
    for (int i = 0; i < shape->sphere_count; i++) {
        const shape_sphere& s = shape->spheres[i];
        sphere_hit hit;
        if (!sphere_terrain_contact(hf, s.centre, s.radius, &hit))
            continue;
        any = true;
        if (!body)
            continue;
        dContact ct = {};
        fill_surface(&ct, s.mu, terrain_shape_k, terrain_shape_c);
        fill_geom(&ct, hit.point, hit.normal, hit.depth);
        add_contact_joint(ct, body, nullptr);
    }
    return any;
}

// -------------------------------------------------------- sphere and sphere

static bool body_enabled(dBodyID b) { return b && dBodyIsEnabled(b); }

bool sphere_pair_contact(const shape_sphere& s1, dBodyID body1, const shape_sphere& s2, dBodyID body2,
                         pair_mode mode, pair_record* record)
{
    vec3 d = vec3_sub(s2.centre, s1.centre);
    float d2 = vec3_dot(d, d);
    float reach = s1.radius + s2.radius;
    if (!(reach * reach > d2))
        return false;
    float dist = std::sqrt(d2);
    float depth = reach - dist;
    vec3 n;
    if (dist > coincident) {
        n = vec3_scale(d, 1.0f / dist);
    } else {
        // One centre on the other: no direction between them.  Push along
        // the way body 1 comes in, or up when neither moves.
        vec3 closing = vec3_sub(body_point_velocity(body1, s1.centre), body_point_velocity(body2, s1.centre));
        n = vec3_normalize_or(closing, world_up);
    }
    vec3 p = vec3_add(s1.centre, vec3_scale(n, s1.radius - depth / 2));
    vec3 w1 = body_point_velocity(body1, p);
    if (record) {
        *record = {};
        record->point = p;
        record->velocity = w1;
        record->normal = n;
        record->depth = depth;
    }
    float k = std::min(s1.stiffness, s2.stiffness), c = std::min(s1.damping, s2.damping);
    if (mode == pair_joint) {
        if (k + c > 0) {
            dContact ct = {};
            fill_surface(&ct, std::min(s1.mu, s2.mu), k, c);
            fill_geom(&ct, p, n, depth);
            add_contact_joint(ct, body2, body1);
        }
    } else if (mode == pair_penalty) {
        vec3 w2 = body_point_velocity(body2, p);
        float f = depth * k + vec3_dot(vec3_sub(w1, w2), n) * c;
        f = std::isfinite(f) ? std::clamp(f, -pair_force_limit, pair_force_limit) : 0.0f;
        if (body_enabled(body2))
            body_add_force_at(body2, vec3_scale(n, f), p);
        if (body_enabled(body1))
            body_add_force_at(body1, vec3_scale(n, -f), p);
    }
    return true;
}

bool shape_pair_contacts(collision_shape* shape1, dBodyID body1, vec3 position1, const mat3& rotation1,
                         collision_shape* shape2, dBodyID body2, vec3 position2, const mat3& rotation2,
                         pair_mode mode)
{
    if (!shape1 || !shape2)
        return false;
    float reach = shape1->bounding_radius + shape2->bounding_radius;
    if (!(dist2(position1, position2) < reach * reach))
        return false;
    place_collision_shape(shape1, position1, rotation1);
    place_collision_shape(shape2, position2, rotation2);
    bool any = false;
    for (int i = 0; i < shape1->sphere_count; i++)
        for (int j = 0; j < shape2->sphere_count; j++)
            if (sphere_pair_contact(shape1->spheres[i], body1, shape2->spheres[j], body2, mode, nullptr))
                any = true;
    return any;
}

// --------------------------------------------------------- tyre and shape

// The part of v across the unit axle a.
static vec3 across(vec3 v, vec3 a) { return vec3_sub(v, vec3_scale(a, vec3_dot(v, a))); }

// Direction from the wheel centre toward a sphere, across the axle; a
// sphere on the axle line takes the first fixed direction that has a
// usable part across it.
static vec3 ring_direction(vec3 offset, vec3 a, float ring)
{
    vec3 v = across(offset, a);
    float least = ring * axle_fraction;
    if (vec3_dot(v, v) >= least)
        return v;
    const vec3 tries[] = {{ring, 0, 0}, {0, ring, 0}, {ring, ring, 0}, {0, 0, ring},
                          {ring, 0, ring}, {0, ring, ring}, {ring, ring, ring}};
    for (vec3 t : tries) {
        vec3 w = across(t, a);
        if (vec3_dot(w, w) >= least)
            return w;
    }
    return v;
}

bool wheel_shape_contacts(collision_shape* shape, dBodyID body, vec3 position, const mat3& rotation,
                          wheel_contact* wc, pair_mode mode)
{
    if (!shape || !wc || !wc->body)
        return false;
    torus_shape t = wheel_torus(*wc);
    float reach = t.ring_radius + t.section_radius + shape->bounding_radius;
    if (!(dist2(t.centre, position) < reach * reach))
        return false;
    place_collision_shape(shape, position, rotation);
    shape_sphere tyre = {t.centre, t.section_radius, tyre_sphere_mu, tyre_sphere_k, tyre_sphere_c};
    pair_record best = {};
    bool any = false;
    for (int i = 0; i < shape->sphere_count; i++) {
        const shape_sphere& s = shape->spheres[i];
        vec3 v = ring_direction(vec3_sub(s.centre, t.centre), t.axle, t.ring_radius);
        float len = vec3_length(v);
        tyre.centre = len > 0 ? vec3_add(t.centre, vec3_scale(v, t.ring_radius / len)) : t.centre;
        pair_record rec;
        if (!sphere_pair_contact(tyre, wc->body, s, body, mode, &rec))
            continue;
        any = true;
        if (rec.depth > best.depth)
            best = rec;
    }
    // A wheel off the ground that rests on the shape counts as on the ground.
    if (best.depth > 0 && wc->load == 0) {
        wc->point = best.point;
        wc->slip_velocity = best.velocity;
        wc->normal = best.normal;
        wc->load = best.depth;
        wc->feedback = dJointFeedback{};
    }
    return any;
}

// -------------------------------------------------------- a shape and a bike

static bool part_pair(bike* b, collision_shape* part, int body, collision_shape* shape, dBodyID other,
                      vec3 position, const mat3& rotation, pair_mode mode)
{
    if (!part)
        return false;
    dBodyID id = b->bodies[body];
    vec3 p = body_position(id);
    float reach = part->bounding_radius + shape->bounding_radius;
    if (!(dist2(p, position) < reach * reach))
        return false;   // before fetching the rotation
    return shape_pair_contacts(part, id, p, body_rotation(id), shape, other, position, rotation, mode);
}

int bike_shape_contacts(bike* b, collision_shape* shape, dBodyID body, vec3 position, const mat3& rotation,
                        pair_mode mode, bool detect_only)
{
    if (!b || !shape)
        return 0;
    pair_mode m = detect_only ? pair_detect : mode;
    int mask = 0;
    if (b->front_wheel_shape && wheel_shape_contacts(shape, body, position, rotation, &b->front_contact, m))
        mask |= part_front_wheel;
    if (b->rear_wheel_shape && wheel_shape_contacts(shape, body, position, rotation, &b->rear_contact, mode))
        mask |= part_rear_wheel;
    if (part_pair(b, b->frame_shape, body_frame, shape, body, position, rotation, mode))
        mask |= part_frame;
    if (part_pair(b, b->fork_upper_shape, body_fork_upper, shape, body, position, rotation, m))
        mask |= part_fork_upper;
    if (part_pair(b, b->fork_lower_shape, body_fork_lower, shape, body, position, rotation, m))
        mask |= part_fork_lower;
    if (part_pair(b, b->swingarm_shape, body_swingarm, shape, body, position, rotation, mode))
        mask |= part_swingarm;
    if (part_pair(b, b->rider_shape, body_rider, shape, body, position, rotation, mode))
        mask |= part_rider;
    return mask;
}

// ------------------------------------------------------------- terrain pass

static bool part_on_ground(bike* b, const height_field& hf, collision_shape* shape, int body)
{
    if (!shape)
        return false;
    dBodyID id = b->bodies[body];
    return shape_terrain_contacts(hf, shape, id, body_position(id), body_rotation(id));
}

bool terrain_pass(bike* b)
{
    const height_field* hf = bike_env.ground;
    if (!b || !hf)
        return false;
    bool touched = bike_wheel_contacts(b, *hf);
    if (part_on_ground(b, *hf, b->frame_shape, body_frame))
        touched = true;
    bool body_part = false;
    if (part_on_ground(b, *hf, b->fork_upper_shape, body_fork_upper))
        body_part = true;
    if (part_on_ground(b, *hf, b->fork_lower_shape, body_fork_lower))
        body_part = true;
    if (part_on_ground(b, *hf, b->swingarm_shape, body_swingarm))
        body_part = true;
    if (part_on_ground(b, *hf, b->rider_shape, body_rider)) {
        body_part = true;
        dBodyID rider = b->bodies[body_rider];
        vec3 v = body_velocity(rider);
        bool upside_down = body_vector_to_world(rider, {0, 1, 0}).y < 0;
        if (upside_down && vec3_dot(v, v) > upside_down_crash_speed2 && !bike_crashed(b))
            start_crash(b);
    }
    if (body_part)
        b->lap_spoiled = true;
    return touched || body_part;
}

// ------------------------------------------------------------------ statues

int statue_contacts(bike* b, collision_shape* shape, vec3 position, const mat3& orientation)
{
    int mask = bike_shape_contacts(b, shape, nullptr, position, orientation, pair_joint, false);
    if ((mask & part_rider) && !bike_crashed(b)) {
        vec3 v = body_velocity(b->bodies[body_rider]);   // statues don't move
        if (vec3_dot(v, v) > statue_crash_speed2)
            start_crash(b);
    }
    return mask;
}

// Merged bucket lists, reused from call to call.
static int* merged = nullptr;
static int merged_capacity = 0;

int statue_candidates(float x, float z, const int** list)
{
    const height_field* hf = bike_env.ground ? bike_env.ground : &terrain;
    int c0, c1, r0, r1;
    statue_bucket_range(x, z, statue_reach, hf->world_size, &c0, &c1, &r0, &r1);
    if (c0 == c1 && r0 == r1) {
        const track_array<int>& only = track.statue_buckets[r0][c0];
        *list = only.items;
        return only.count;
    }
    int total = 0;
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++)
            total += track.statue_buckets[r][c].count;
    if (total > merged_capacity) {
        merged_capacity = std::max(total, 2 * merged_capacity);
        merged = static_cast<int*>(xrealloc(merged, sizeof(int) * size_t(merged_capacity)));
    }
    int n = 0;
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) {
            const track_array<int>& bucket = track.statue_buckets[r][c];
            for (int i = 0; i < bucket.count; i++)
                merged[n++] = bucket.items[i];
        }
    std::sort(merged, merged + n);
    n = int(std::unique(merged, merged + n) - merged);
    *list = merged;
    return n;
}

void collision_pass(bike* b)
{
    if (!b)
        return;
    terrain_pass(b);
    if (track.statues.count == 0)
        return;
    vec3 f = body_position(b->bodies[body_frame]);
    const int* list;
    int n = statue_candidates(f.x, f.z, &list);
    for (int i = 0; i < n; i++) {
        if (list[i] < 0 || list[i] >= track.statues.count)
            continue;
        statue& st = track.statues.items[list[i]];
        if (!st.shape)
            continue;
        mat3 orientation = st.facing_distance != 0 ? mat3_identity() : st.orientation;
        if (statue_contacts(b, st.shape, st.position, orientation))
            st.last_touched = bike_env.tick;
    }
}

// ------------------------------------------------------------ bike and bike

struct bike_part {
    int body;            // bike_body_index
    int bit;             // part_bit
    bool pushes_one_way; // with one_sided, its touches of the other's front end are only detected
};

// A's parts in the order they meet the other bike.
static const bike_part bike_parts[bike_body_count] = {
    {body_front_wheel, part_front_wheel, false}, {body_rear_wheel, part_rear_wheel, true},
    {body_frame, part_frame, true},              {body_fork_upper, part_fork_upper, false},
    {body_fork_lower, part_fork_lower, false},   {body_swingarm, part_swingarm, true},
    {body_rider, part_rider, true},
};

static collision_shape* part_shape(const bike* b, int body)
{
    switch (body) {
    case body_frame: return b->frame_shape;
    case body_front_wheel: return b->front_wheel_shape;
    case body_rear_wheel: return b->rear_wheel_shape;
    case body_fork_upper: return b->fork_upper_shape;
    case body_fork_lower: return b->fork_lower_shape;
    case body_swingarm: return b->swingarm_shape;
    default: return b->rider_shape;
    }
}

// How far from its frame anything of the bike can touch another shape.
static float bike_reach(const bike* b, vec3 frame)
{
    float reach = 0;
    for (const bike_part& part : bike_parts) {
        const collision_shape* s = part_shape(b, part.body);
        if (!s)
            continue;
        float r = s->bounding_radius;
        if (part.body == body_front_wheel || part.body == body_rear_wheel) {
            const wheel_contact& wc = part.body == body_front_wheel ? b->front_contact : b->rear_contact;
            r = std::max(r, wc.ring_radius + wc.section_radius);
        }
        reach = std::max(reach, std::sqrt(dist2(body_position(b->bodies[part.body]), frame)) + r);
    }
    return reach;
}

static float frame_speed(const bike* b) { return vec3_length(body_velocity(b->bodies[body_frame])); }

static void knock(bike* b, float ticks) { b->knock_timer = std::max(b->knock_timer, ticks); }

// The bike that runs its front end into another is thrown off balance;
// when both front ends meet, both are.
static void knock_rules(bike* a, bike* b, int hit_a, int hit_b)
{
    float va = frame_speed(a), vb = frame_speed(b);
    if (hit_a & hit_b & part_front_end) {
        if (va >= knock_min_speed)
            knock(a, knock_head_on_ticks);
        if (vb >= knock_min_speed)
            knock(b, knock_head_on_ticks);
    } else if (hit_a & part_front_end) {
        if (!bike_crashed(b) && vb >= knock_hit_min_speed && va >= knock_min_speed)
            knock(a, knock_rammer_ticks);
    } else if (hit_b & part_front_end) {
        if (!bike_crashed(a) && va >= knock_hit_min_speed && vb >= knock_min_speed)
            knock(b, knock_rammer_ticks);
    }
}

int collide_bikes(bike* a, bike* b, bool one_sided)
{
    if (!a || !b || a == b)
        return 0;
    vec3 fa = body_position(a->bodies[body_frame]), fb = body_position(b->bodies[body_frame]);
    float reach = bike_reach(a, fa) + bike_reach(b, fb);
    if (!(dist2(fa, fb) < reach * reach))
        return 0;
    int32_t tick = bike_env.tick;
    pair_mode q = (a->last_bike_contact_tick == tick || b->last_bike_contact_tick == tick) ? pair_penalty : pair_joint;
    int hit_a = 0, hit_b = 0;
    for (const bike_part& part : bike_parts) {
        collision_shape* s = part_shape(a, part.body);
        if (!s)
            continue;
        dBodyID id = a->bodies[part.body];
        int r = bike_shape_contacts(b, s, id, body_position(id), body_rotation(id), q,
                                    one_sided && part.pushes_one_way);
        hit_b |= r;
        if (r)
            hit_a |= part.bit;
    }
    if (!hit_b)
        return 0;
    knock_rules(a, b, hit_a, hit_b);
    a->last_bike_contact_tick = tick;
    b->last_bike_contact_tick = tick;
    if (contact_hook) {   // the robot driver plugs in here
        contact_hook(a);
        contact_hook(b);
    }
    return hit_b;
}

void collision_set_contact_hook(void (*hook)(bike* b)) { contact_hook = hook; }
