// wheel_contact.cpp -- tyre against ground: torus-triangle geometry, the
// contact joint and rolling resistance.
//
// Owns: nothing beyond the wheel_contact records it fills.  Needs: the
// height field (triangles, tiles), the shared physics world.  Promises: no
// allocation; every value handed to ODE is finite (degenerate geometry
// falls back to a defined direction instead of dividing by zero).
//
// The torus-triangle test works through five cases in turn: the ring's
// low point above the face, the ring crossing the face's plane (with an
// edge piercing the ring's disc), the ring sunk below the plane inside the
// triangle's footprint, and finally the nearest edge point or vertex.  The
// nearest point of an edge line to the ring is a stationary point of the
// squared distance, a root of a quartic, found by a few Newton steps from
// either side of the edge point nearest the centre.
#include "bike/wheel_contact.h"

#include <cmath>

#include "base/tick.h"
#include "bike/physics_world.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"

static constexpr float pierce_depth_margin = 9.536743e-7f;   // 2^-20: an edge through the disc
static constexpr float edge_on_ring = 9.536743e-7f;          // 2^-20: edge point on the ring itself
static constexpr double newton_flat_slope = 9.313226e-10;    // 2^-30: quartic too flat to step
static constexpr int newton_steps = 4;
static constexpr float short_projection = 1e-6f;             // x ring radius: edge along the axle
static constexpr float short_projection_delta = 0.001f;      // x ring radius: start offset then
static constexpr float fixup_min_horizontal = 1.0f / 1024.0f;   // squared, of a downward normal
static constexpr float slip_direction_min = 1.0f / 1024.0f;     // squared, normal x slip
static constexpr float bound_slack = 1e-5f;   // ft: round-off allowance of the depth bound
static constexpr float friction_direction_min = 1e-12f;     // squared: no usable direction below
static constexpr float parallel_ring = 1e-12f;   // |n x a|^2 below which the ring lies flat on the plane
static constexpr float rolling_fade_speed = 1.0f;   // ft/s: below it resistance fades with speed

static constexpr float pi_f = 3.14159265f;

static const vec3 world_up = {0, 1, 0};

// ------------------------------------------------------------- small helpers

static vec3 neg(vec3 v) { return {-v.x, -v.y, -v.z}; }

// Whether p lies inside the triangle seen along n: on the inner side of
// every edge (edge normals (T[i+1] - T[i]) x n point outward).
static bool inside_triangle(vec3 p, const vec3 v[3], vec3 n)
{
    for (int i = 0; i < 3; i++) {
        vec3 e = vec3_cross(vec3_sub(v[(i + 1) % 3], v[i]), n);
        if (vec3_dot(vec3_sub(p, v[i]), e) > 0)
            return false;
    }
    return true;
}

static float component(vec3 v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// How far p lies outside the triangle's bounding box: along x and z and
// above the top (a wheel far below may still have sunk through), and in
// all (the distance to the box, 0 inside it).
struct box_gap {
    float sideways_or_above;   // largest of the x, z and above-top gaps
    float distance;            // Euclidean distance to the box
};

static box_gap gap_to_box(vec3 p, const vec3 v[3])
{
    box_gap g = {0, 0};
    float d2 = 0;
    for (int axis = 0; axis < 3; axis++) {
        float lo = component(v[0], axis), hi = lo;
        for (int i = 1; i < 3; i++) {
            float c = component(v[i], axis);
            lo = c < lo ? c : lo;
            hi = c > hi ? c : hi;
        }
        float at = component(p, axis);
        float below = at < lo ? lo - at : 0.0f, above = at > hi ? at - hi : 0.0f;
        float counted = axis == 1 ? above : below + above;
        g.sideways_or_above = counted > g.sideways_or_above ? counted : g.sideways_or_above;
        d2 += (below + above) * (below + above);
    }
    g.distance = std::sqrt(d2);
    return g;
}

// A unit vector perpendicular to the unit vector a.
static vec3 any_perpendicular(vec3 a)
{
    vec3 ref = std::fabs(a.x) < 0.9f ? vec3{1, 0, 0} : vec3{0, 0, 1};
    return vec3_normalize_or(vec3_cross(a, ref), vec3{0, 0, 1});
}

// The in-plane direction of the ring most opposed to the face normal.  A
// ring lying flat on the plane has no such direction (every ring point is
// equally low and (n x a) x a vanishes); it then aims at the triangle's
// centroid, so the low point lies over the face where it can.
static vec3 low_direction(const torus_shape& t, vec3 nhat, const vec3 v[3])
{
    vec3 w = vec3_cross(vec3_cross(nhat, t.axle), t.axle);
    if (vec3_dot(w, w) > parallel_ring) {
        vec3 d = vec3_scale(w, 1.0f / vec3_length(w));
        return vec3_dot(d, nhat) > 0 ? neg(d) : d;
    }
    vec3 g = vec3_scale(vec3_add(vec3_add(v[0], v[1]), v[2]), 1.0f / 3.0f);
    g = vec3_sub(g, t.centre);
    g = vec3_sub(g, vec3_scale(t.axle, vec3_dot(g, t.axle)));
    return vec3_normalize_or(g, any_perpendicular(t.axle));
}

struct ring_nearest {
    float distance;   // ft from the point to the ring
    vec3 on_ring;     // nearest ring point
};

// The ring point nearest p: p projected into the ring plane, brought to
// ring radius from the centre.  A point on the axle is equally near every
// ring point; fallback picks one.
static ring_nearest nearest_on_ring(const torus_shape& t, vec3 p, vec3 fallback)
{
    vec3 w = vec3_sub(p, t.centre);
    float h = vec3_dot(w, t.axle);
    vec3 radial = vec3_sub(w, vec3_scale(t.axle, h));
    vec3 dir = vec3_normalize_or(radial, fallback);
    vec3 on = vec3_add(t.centre, vec3_scale(dir, t.ring_radius));
    return {vec3_length(vec3_sub(p, on)), on};
}

// ------------------------------------------------------------ edge search

static double quartic(const double q[5], double x)
{
    return (((q[4] * x + q[3]) * x + q[2]) * x + q[1]) * x + q[0];
}

static double quartic_slope(const double q[5], double x)
{
    return ((4 * q[4] * x + 3 * q[3]) * x + 2 * q[2]) * x + q[1];
}

// At most four Newton steps, stopping early on a flat slope or on a step
// that would not bring the quartic closer to zero.
static double newton_root(const double q[5], double x)
{
    double value = quartic(q, x);
    for (int i = 0; i < newton_steps; i++) {
        double slope = quartic_slope(q, x);
        if (std::fabs(slope) < newton_flat_slope)
            break;
        double next = x - value / slope;
        double next_value = quartic(q, next);
        if (!(std::fabs(next_value) <= std::fabs(value)))
            break;
        x = next;
        value = next_value;
    }
    return x;
}

static double clamp01(double x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

// Parameter (0..1) of the point of edge p0 -> p1 nearest the ring.  Along
// the edge P(s) = p0 + s E, with w = P - c and w_p its part in the ring
// plane, the squared distance to the ring is |w|^2 - 2 R |w_p| + R^2; it is
// stationary where (w.E)^2 |w_p|^2 = R^2 (w_p.E_p)^2, a quartic in s.
static float edge_nearest(const torus_shape& t, vec3 p0, vec3 p1, vec3 fallback)
{
    vec3 e = vec3_sub(p1, p0);
    vec3 w0 = vec3_sub(p0, t.centre);
    vec3 ep = vec3_sub(e, vec3_scale(t.axle, vec3_dot(e, t.axle)));
    vec3 wp0 = vec3_sub(w0, vec3_scale(t.axle, vec3_dot(w0, t.axle)));
    double A = vec3_dot(wp0, wp0), B = vec3_dot(wp0, ep), C = vec3_dot(ep, ep);
    double D = vec3_dot(w0, e), F = vec3_dot(e, e);
    double R2 = double(t.ring_radius) * t.ring_radius;
    // (D + F s)^2 (A + 2 B s + C s^2) - R^2 (B + C s)^2
    double q[5] = {
        D * D * A - R2 * B * B,
        2 * D * D * B + 2 * D * F * A - R2 * 2 * B * C,
        D * D * C + 4 * D * F * B + F * F * A - R2 * C * C,
        2 * D * F * C + 2 * F * F * B,
        F * F * C,
    };
    double s0 = -D / F;
    double ep_len = std::sqrt(C);
    double delta = ep_len < double(t.ring_radius) * short_projection
                       ? double(short_projection_delta) * t.ring_radius
                       : t.ring_radius / ep_len;
    float best_s = 0;
    float best_d = INFINITY;
    for (int side = 0; side < 2; side++) {
        float s = float(clamp01(newton_root(q, side ? s0 + delta : s0 - delta)));
        float d = nearest_on_ring(t, vec3_add(p0, vec3_scale(e, s)), fallback).distance;
        if (d < best_d) {
            best_d = d;
            best_s = s;
        }
    }
    return best_s;
}

// Normal for an edge point lying on the ring itself, where the direction
// to the ring vanishes: across the edge and the ring's tangent there.
static vec3 edge_cross_normal(const torus_shape& t, vec3 edge, vec3 at, vec3 n, vec3 nhat)
{
    vec3 tangent = vec3_cross(vec3_sub(at, t.centre), t.axle);
    if (vec3_dot(tangent, n) < 0)
        tangent = neg(tangent);
    // With the tangent turned along the face normal, this points from the
    // edge towards the wheel's centre for either winding of the edge.
    return vec3_normalize_or(vec3_cross(edge, tangent), nhat);
}

// Case 5: nearest of the three edges (first) and three vertices.
static void edge_vertex_search(const torus_shape& t, const vec3 v[3], vec3 n, vec3 nhat, vec3 d,
                               float* depth, vec3* location, vec3* normal)
{
    float best = INFINITY;
    int best_kind = 0;   // 0..2 edge, 3..5 vertex
    vec3 best_point = v[0], best_ring = v[0];
    for (int i = 0; i < 3; i++) {
        vec3 p0 = v[i], p1 = v[(i + 1) % 3];
        float s = edge_nearest(t, p0, p1, d);
        vec3 p = vec3_add(p0, vec3_scale(vec3_sub(p1, p0), s));
        ring_nearest rn = nearest_on_ring(t, p, d);
        if (rn.distance < best) {
            best = rn.distance;
            best_kind = i;
            best_point = p;
            best_ring = rn.on_ring;
        }
    }
    for (int i = 0; i < 3; i++) {
        ring_nearest rn = nearest_on_ring(t, v[i], d);
        if (rn.distance < best) {
            best = rn.distance;
            best_kind = 3 + i;
            best_point = v[i];
            best_ring = rn.on_ring;
        }
    }
    *depth = t.section_radius - best;
    *location = best_point;
    if (best_kind < 3) {
        vec3 edge = vec3_sub(v[(best_kind + 1) % 3], v[best_kind]);
        if (best > edge_on_ring)
            *normal = vec3_normalize_or(vec3_sub(best_ring, best_point), nhat);
        else
            *normal = edge_cross_normal(t, edge, best_point, n, nhat);
    } else {
        bool positive_side = vec3_dot(vec3_sub(best_point, t.centre), t.axle) > 0;
        *normal = positive_side ? neg(t.axle) : t.axle;
    }
}

// Case 3's edge test: the first edge outside which X lies that crosses the
// ring plane inside the ring's disc.
static bool edge_pierce(const torus_shape& t, const vec3 v[3], vec3 n, vec3 nhat, vec3 x,
                        vec3* location, vec3* normal)
{
    for (int i = 0; i < 3; i++) {
        vec3 p0 = v[i], p1 = v[(i + 1) % 3];
        vec3 edge = vec3_sub(p1, p0);
        if (vec3_dot(vec3_sub(x, p0), vec3_cross(edge, n)) <= 0)
            continue;
        bool below0 = vec3_dot(vec3_sub(p0, t.centre), t.axle) <= 0;
        bool below1 = vec3_dot(vec3_sub(p1, t.centre), t.axle) <= 0;
        if (below0 == below1)
            continue;
        float along = vec3_dot(edge, t.axle);
        if (along == 0)
            continue;
        float s = vec3_dot(vec3_sub(t.centre, p0), t.axle) / along;
        vec3 q = vec3_add(p0, vec3_scale(edge, s));
        if (!(vec3_length(vec3_sub(q, t.centre)) < t.ring_radius))
            continue;
        *location = q;
        *normal = edge_cross_normal(t, edge, q, n, nhat);
        return true;
    }
    return false;
}

// ------------------------------------------------------------- the test

// The test proper.  beat is the depth to beat: the edge and vertex search,
// whose depth cannot exceed reach minus the distance to the triangle's
// box, is skipped when that bound cannot beat it (ties keep the first
// found, so nothing is lost).
static bool torus_triangle_beating(const torus_shape& t, const terrain_triangle& tri, torus_search search,
                                   float beat, torus_hit* out)
{
    const vec3* v = tri.p;
    vec3 n = vec3_cross(vec3_sub(v[1], v[0]), vec3_sub(v[2], v[0]));
    float nn = vec3_dot(n, n);
    if (!(nn > 0) || !std::isfinite(nn))
        return false;   // zero-area (or broken) triangle
    vec3 nhat = vec3_scale(n, 1.0f / std::sqrt(nn));
    float r = t.section_radius, ring = t.ring_radius;
    // Every torus point lies within ring + section of the centre: a
    // triangle whose box or plane is farther away cannot be touched.
    float reach = ring + r;
    box_gap box = gap_to_box(t.centre, v);
    if (box.sideways_or_above > reach || vec3_dot(vec3_sub(t.centre, v[0]), nhat) > reach)
        return false;

    vec3 d = low_direction(t, nhat, v);
    vec3 low = vec3_add(t.centre, vec3_scale(d, ring));
    vec3 high = vec3_sub(t.centre, vec3_scale(d, ring));
    float h_low = vec3_dot(vec3_sub(low, v[0]), nhat);
    float h_high = vec3_dot(vec3_sub(high, v[0]), nhat);

    float depth = 0;
    vec3 location = low, normal = nhat;
    bool found = false;
    if (h_low > 0) {
        // The whole ring is at least h_low above every point of the
        // triangle, edges and vertices included.
        if (h_low >= r)
            return false;
        if (inside_triangle(low, v, n)) {   // face contact
            depth = r - h_low;
            location = vec3_sub(low, vec3_scale(nhat, h_low));
            found = true;
        }
    } else if (h_high > 0) {
        float dn = vec3_dot(d, nhat);
        if (dn < 0) {   // ring crossing the plane
            vec3 x = vec3_add(t.centre, vec3_scale(d, vec3_dot(vec3_sub(v[0], t.centre), nhat) / dn));
            if (inside_triangle(x, v, n)) {
                depth = r - h_low;
                location = x;
                found = true;
            } else if (edge_pierce(t, v, n, nhat, x, &location, &normal)) {
                depth = r - pierce_depth_margin;
                found = true;
            }
        }
    } else if (inside_triangle(t.centre, v, world_up)) {   // sunk through
        depth = 2 * ring;
        location = low;
        normal = world_up;
        found = true;
    }
    if (!found) {
        if (search == search_spray || reach - box.distance + bound_slack <= beat)
            return false;
        edge_vertex_search(t, v, n, nhat, d, &depth, &location, &normal);
    }
    if (!(depth > 0))
        return false;
    vec3 on_ring = nearest_on_ring(t, location, d).on_ring;
    out->depth = depth;
    out->normal = normal;
    out->point = vec3_sub(on_ring, vec3_scale(normal, r));
    return true;
}

bool torus_triangle(const torus_shape& t, const terrain_triangle& tri, torus_search search,
                    torus_hit* out)
{
    return torus_triangle_beating(t, tri, search, 0, out);
}

// A downward normal would pull the wheel into the ground: keep its
// horizontal part, or point straight up when there is too little of it.
vec3 fix_up_normal(vec3 n)
{
    if (n.y < 0) {
        if (n.x * n.x + n.z * n.z >= fixup_min_horizontal)
            n.y = 0;
        else
            n = world_up;
    }
    return vec3_normalize_or(n, world_up);
}

bool torus_terrain(const height_field& hf, const torus_shape& t, torus_search search, torus_hit* out)
{
    if (!hf.heights || hf.size < 2 || !(hf.spacing > 0))
        return false;
    if (!vec3_finite(t.centre) || !vec3_finite(t.axle) || !(t.ring_radius >= 0) || !(t.section_radius > 0))
        return false;
    float reach = t.ring_radius + t.section_radius;
    float last_cell = float(hf.size - 2);
    float c0 = std::floor((t.centre.x - reach) / hf.spacing);
    float c1 = std::ceil((t.centre.x + reach) / hf.spacing) - 1;
    float r0 = std::floor((t.centre.z - reach) / hf.spacing);
    float r1 = std::ceil((t.centre.z + reach) / hf.spacing) - 1;
    // Cells beyond the grid would be built from clamped, repeated vertices.
    if (c1 < 0 || r1 < 0 || c0 > last_cell || r0 > last_cell)
        return false;
    int col0 = int(c0 < 0 ? 0 : c0), col1 = int(c1 > last_cell ? last_cell : c1);
    int row0 = int(r0 < 0 ? 0 : r0), row1 = int(r1 > last_cell ? last_cell : r1);

    torus_hit best = {0, {0, 0, 0}, world_up};
    for (int row = row0; row <= row1; row++) {
        for (int col = col0; col <= col1; col++) {
            terrain_triangle tris[2];
            terrain_cell_triangles(hf, col, row, tris);
            for (const terrain_triangle& tri : tris) {
                torus_hit hit;
                if (torus_triangle_beating(t, tri, search, best.depth, &hit) && hit.depth > best.depth)
                    best = hit;
            }
        }
    }
    if (!(best.depth > 0))
        return false;
    best.normal = fix_up_normal(best.normal);
    *out = best;
    return true;
}

// --------------------------------------------------------- contact joint

void contact_spring(float depth, float section_radius, float* k, float* c)
{
    float f = section_radius > 0 ? depth / section_radius : 1.0f;
    if (!(f < 1))
        f = 1;   // NaN too: the stiffest spring is the safe one
    if (f < 0)
        f = 0;
    float f3 = f * f * f;
    *k = contact_k_rise * f3 + contact_k_base;
    *c = contact_c_rise * f3 + contact_c_base;
}

float arcade_grip_factor(float lean)
{
    if (!std::isfinite(lean))
        return 1.0f;
    float share = 4.0f * std::fabs(lean) / pi_f;
    if (share > 1)
        share = 1;
    return 1.0f - arcade_grip_loss * share;
}

const tile& contact_surface(const height_field& hf, vec3 p)
{
    static const tile fallback = tile_defaults();
    if (!hf.tiles || !hf.tilemap || hf.tile_count <= 0)
        return fallback;
    int index = tile_at(hf, p.x, p.z);
    return index >= 0 && index < hf.tile_count ? hf.tiles[index] : fallback;
}

torus_shape wheel_torus(const wheel_contact& wc)
{
    torus_shape t;
    t.centre = body_position(wc.body);
    t.axle = vec3_normalize_or(body_vector_to_world(wc.body, wc.axle_local), vec3{1, 0, 0});
    t.ring_radius = wc.ring_radius;
    t.section_radius = wc.section_radius;
    return t;
}

void wheel_contact_clear(wheel_contact* wc)
{
    wc->load = 0;
    wc->feedback = dJointFeedback{};
}

void fill_wheel_contact(const height_field& hf, const wheel_contact& wc, vec3 axle, float grip_factor,
                        dContact* out)
{
    float k, c;
    contact_spring(wc.load, wc.section_radius, &k, &c);
    if (!(grip_factor >= 0) || !std::isfinite(grip_factor))
        grip_factor = 0;
    const tile& surface = contact_surface(hf, wc.point);
    float mu = friction_at(surface, vec3_length(wc.slip_velocity)) * grip_factor;
    if (!(mu >= 0) || !std::isfinite(mu))
        mu = 0;

    dContact ct = {};
    ct.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1_1 | dContactApprox1_2;
    // Align the first friction direction with the slip; a wheel that
    // hardly slips takes its rolling direction instead.
    vec3 u = vec3_cross(wc.normal, wc.slip_velocity);
    if (!(vec3_dot(u, u) >= slip_direction_min))
        u = vec3_cross(wc.normal, axle);
    // A wheel lying flat has its axle along the normal: no rolling
    // direction, and round-off must not invent one.  ODE then picks its own.
    if (vec3_dot(u, u) > friction_direction_min) {
        vec3 dir = vec3_scale(u, 1.0f / vec3_length(u));
        ct.surface.mode |= dContactFDir1;
        ct.fdir1[0] = dir.x;
        ct.fdir1[1] = dir.y;
        ct.fdir1[2] = dir.z;
    }
    ct.surface.mu = mu;
    ct.surface.bounce = 0;
    soft_erp_cfm(k, c, tick_period, &ct.surface.soft_erp, &ct.surface.soft_cfm);
    ct.geom.pos[0] = wc.point.x;
    ct.geom.pos[1] = wc.point.y;
    ct.geom.pos[2] = wc.point.z;
    ct.geom.normal[0] = wc.normal.x;
    ct.geom.normal[1] = wc.normal.y;
    ct.geom.normal[2] = wc.normal.z;
    ct.geom.depth = wc.load;
    *out = ct;
}

// Rolling resistance opposes the wheel's motion along the ground, growing
// with depth; below 1 ft/s it fades out with the speed.
static void rolling_resistance(const height_field& hf, wheel_contact* wc)
{
    vec3 v = body_velocity(wc->body);
    vec3 vt = vec3_sub(v, vec3_scale(wc->normal, vec3_dot(v, wc->normal)));
    float g = vec3_length(vt);
    if (!std::isfinite(g))
        return;
    roll_resist rr = roll_resist_at(contact_surface(hf, wc->point), g);
    vec3 dir = g > rolling_fade_speed ? vec3_scale(vt, 1.0f / g) : vt;
    float f = wc->load / wc->section_radius;
    if (f > 1)
        f = 1;
    float size = rr.a + (rr.b - rr.a) * f;
    body_add_force(wc->body, vec3_scale(dir, -size));
}

bool wheel_terrain_contact(const height_field& hf, wheel_contact* wc, float grip_factor)
{
    wheel_contact_clear(wc);
    if (!wc->body)
        return false;
    torus_shape t = wheel_torus(*wc);
    torus_hit hit;
    if (!torus_terrain(hf, t, search_full, &hit))
        return false;
    wc->point = hit.point;
    wc->normal = hit.normal;
    wc->load = hit.depth;
    wc->slip_velocity = body_point_velocity(wc->body, hit.point);
    dContact ct;
    fill_wheel_contact(hf, *wc, t.axle, grip_factor, &ct);
    dJointID j = add_contact_joint(ct, wc->body, nullptr);
    if (j)
        dJointSetFeedback(j, &wc->feedback);
    rolling_resistance(hf, wc);
    return true;
}
