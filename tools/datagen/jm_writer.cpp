// jm_writer.cpp -- ".jm" serialisation and mesh-building helpers.
//
// Owns the text layout of model files (see jm_writer.h) and the geometry
// helpers.  Needs only base/vec.h.  Everything here is plain arithmetic in
// a fixed order, so equal inputs give equal bytes.
#include "jm_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

constexpr float pi_f = 3.14159265358979f;
constexpr float ear_epsilon = 1e-9f;   // smallest triangle area (outline units^2) an ear may have

// ---- serialisation

std::string jm_number(float value)
{
    char text[64];
    snprintf(text, sizeof text, "%f", static_cast<double>(value));
    // Trim "1.500000" to "1.5" and "2.000000" to "2".
    char* dot = strchr(text, '.');
    if (dot) {
        char* end = text + strlen(text);
        while (end > dot + 1 && end[-1] == '0')
            *--end = '\0';
        if (end == dot + 1)
            *dot = '\0';
    }
    if (!strcmp(text, "-0"))
        return "0";
    return text;
}

static bool finite3(vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

static bool fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

static bool validate_mesh(const jm_model& model, const jm_mesh& mesh, int index, std::string* why)
{
    std::string where = "mesh " + std::to_string(index) + ": ";
    size_t count = mesh.vertices.size();
    if (count == 0 || mesh.triangles.empty())
        return fail(why, where + "no vertices or no triangles");
    if (mesh.triangles.size() % 3)
        return fail(why, where + "triangle list is not a multiple of 3");
    for (int v : mesh.triangles)
        if (v < 0 || static_cast<size_t>(v) >= count)
            return fail(why, where + "vertex index " + std::to_string(v) + " out of range");
    for (const jm_vertex& v : mesh.vertices)
        if (!finite3(v.pos) || !finite3(v.normal) || !std::isfinite(v.s) || !std::isfinite(v.t))
            return fail(why, where + "non-finite vertex value");
    if (!std::isfinite(mesh.shininess) || !std::isfinite(mesh.strength) || !std::isfinite(mesh.r) ||
        !std::isfinite(mesh.g) || !std::isfinite(mesh.b))
        return fail(why, where + "non-finite material value");
    size_t wanted = model.version == 2 ? count * static_cast<size_t>(model.bone_count) : 0;
    if (mesh.weights.size() != wanted)
        return fail(why, where + "weight table does not match vertices x bones");
    for (float w : mesh.weights)
        if (!std::isfinite(w) || w < 0.0f)
            return fail(why, where + "weights must be finite and not negative");
    return true;
}

bool jm_validate(const jm_model& model, std::string* why)
{
    if (model.version < 0 || model.version > 2)
        return fail(why, "version must be 0, 1 or 2");
    if (model.meshes.empty())
        return fail(why, "no meshes");
    if (model.version == 0 && model.meshes.size() != 1)
        return fail(why, "version 0 holds exactly one mesh");
    if (model.version != 2 && model.bone_count != 0)
        return fail(why, "only version 2 has bones");
    if (model.version == 2) {
        if (model.bone_count < 1)
            return fail(why, "version 2 needs at least one bone");
        const std::string& n = model.skeleton_name;
        if (n.empty() || n.size() > 1023 || n.find_first_of(" \t\r\n\v\f") != std::string::npos)
            return fail(why, "skeleton name must be one token of 1 to 1023 characters");
    }
    for (size_t i = 0; i < model.meshes.size(); i++)
        if (!validate_mesh(model, model.meshes[i], static_cast<int>(i), why))
            return false;
    return true;
}

static void put_vertex(std::string& out, const jm_vertex& v, const float* weights, int bones)
{
    const float values[8] = {v.pos.x, v.pos.y, v.pos.z, v.normal.x, v.normal.y, v.normal.z, v.s, v.t};
    for (int i = 0; i < 8; i++) {
        out += jm_number(values[i]);
        out += (i < 7 || bones > 0) ? ' ' : '\n';
    }
    for (int b = 0; b < bones; b++) {
        out += jm_number(weights[b]);
        out += b + 1 < bones ? ' ' : '\n';
    }
}

static void put_body(std::string& out, const jm_mesh& mesh, int bones)
{
    for (size_t i = 0; i < mesh.vertices.size(); i++)
        put_vertex(out, mesh.vertices[i], bones ? &mesh.weights[i * bones] : nullptr, bones);
    for (size_t i = 0; i < mesh.triangles.size(); i += 3)
        out += std::to_string(mesh.triangles[i]) + " " + std::to_string(mesh.triangles[i + 1]) + " " +
               std::to_string(mesh.triangles[i + 2]) + "\n";
}

std::string jm_serialise(const jm_model& model)
{
    if (!jm_validate(model, nullptr))
        return "";
    std::string out;
    if (model.version == 0) {
        const jm_mesh& m = model.meshes[0];
        out += std::to_string(m.vertices.size()) + " " + std::to_string(m.triangles.size() / 3) + "\n";
        put_body(out, m, 0);
        return out;
    }
    out += "JM" + std::to_string(model.version) + "\n";
    int bones = model.version == 2 ? model.bone_count : 0;
    if (model.version == 2)
        out += std::to_string(bones) + " " + model.skeleton_name + "\n";
    for (const jm_mesh& m : model.meshes) {
        out += jm_number(m.shininess) + " " + jm_number(m.strength) + " " + jm_number(m.r) + " " +
               jm_number(m.g) + " " + jm_number(m.b) + " " + std::to_string(m.vertices.size()) + " " +
               std::to_string(m.triangles.size() / 3) + "\n";
        put_body(out, m, bones);
    }
    return out;
}

// ---- geometry

static vec3 unit(vec3 v) { return vec3_normalize_or(v, {0.0f, 1.0f, 0.0f}); }

static int add_vertex(jm_mesh& mesh, vec3 pos, vec3 normal, float s, float t)
{
    mesh.vertices.push_back({pos, unit(normal), s, t});
    return static_cast<int>(mesh.vertices.size()) - 1;
}

static void add_triangle(jm_mesh& mesh, int a, int b, int c)
{
    mesh.triangles.push_back(a);
    mesh.triangles.push_back(b);
    mesh.triangles.push_back(c);
}

// Two unit vectors completing dir to a right-handed frame (e1, e2, dir),
// chosen the same way for the same dir.
static void perpendiculars(vec3 dir, vec3* e1, vec3* e2)
{
    vec3 helper = std::fabs(dir.y) < 0.9f ? vec3{0.0f, 1.0f, 0.0f} : vec3{1.0f, 0.0f, 0.0f};
    *e1 = unit(vec3_cross(helper, dir));
    *e2 = vec3_cross(dir, *e1);
}

int jm_add_quad(jm_mesh& mesh, vec3 p0, vec3 p1, vec3 p2, vec3 p3, jm_uv_rect uv)
{
    vec3 n = vec3_cross(vec3_sub(p2, p0), vec3_sub(p3, p1));
    int first = add_vertex(mesh, p0, n, uv.s0, uv.t0);
    add_vertex(mesh, p1, n, uv.s1, uv.t0);
    add_vertex(mesh, p2, n, uv.s1, uv.t1);
    add_vertex(mesh, p3, n, uv.s0, uv.t1);
    add_triangle(mesh, first, first + 1, first + 2);
    add_triangle(mesh, first, first + 2, first + 3);
    return first;
}

int jm_add_box(jm_mesh& mesh, vec3 lo, vec3 hi, const jm_uv_rect faces[6])
{
    int first = static_cast<int>(mesh.vertices.size());
    // Corners of each face counter-clockwise from outside, starting bottom left.
    jm_add_quad(mesh, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, hi.y, lo.z}, faces[0]);
    jm_add_quad(mesh, {hi.x, lo.y, hi.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, faces[1]);
    jm_add_quad(mesh, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, faces[2]);
    jm_add_quad(mesh, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, faces[3]);
    jm_add_quad(mesh, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, faces[4]);
    jm_add_quad(mesh, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, faces[5]);
    return first;
}

// Normal (radial, axial) of profile point i: the given one, else the mean
// of the adjacent segments' outward normals; on-axis end points point along
// the axis.
static void profile_normal(const jm_profile_point* p, int count, int i, float* nr, float* nh)
{
    if (p[i].nr != 0.0f || p[i].nh != 0.0f) {
        *nr = p[i].nr;
        *nh = p[i].nh;
        return;
    }
    float sr = 0.0f, sh = 0.0f;
    for (int k = i - 1; k <= i; k++) {
        if (k < 0 || k + 1 >= count)
            continue;
        float dr = p[k + 1].radius - p[k].radius, dh = p[k + 1].height - p[k].height;
        float len = std::sqrt(dr * dr + dh * dh);
        if (len > 0.0f) {
            sr += dh / len;
            sh += -dr / len;
        }
    }
    bool end = i == 0 || i == count - 1;
    if (end && p[i].radius == 0.0f) {
        sr = 0.0f;
        sh = sh < 0.0f ? -1.0f : 1.0f;
    }
    *nr = sr;
    *nh = sh;
}

int jm_add_lathe(jm_mesh& mesh, vec3 base, vec3 dir, const jm_profile_point* profile, int count,
                 int segments, jm_uv_rect uv)
{
    int first = static_cast<int>(mesh.vertices.size());
    if (count < 2 || segments < 3)
        return first;
    dir = unit(dir);
    vec3 e1, e2;
    perpendiculars(dir, &e1, &e2);
    // t follows arc length along the profile.
    std::vector<float> arc(count, 0.0f);
    for (int i = 1; i < count; i++) {
        float dr = profile[i].radius - profile[i - 1].radius, dh = profile[i].height - profile[i - 1].height;
        arc[i] = arc[i - 1] + std::sqrt(dr * dr + dh * dh);
    }
    float total = arc[count - 1] > 0.0f ? arc[count - 1] : 1.0f;
    for (int i = 0; i < count; i++) {
        float nr, nh;
        profile_normal(profile, count, i, &nr, &nh);
        float t = uv.t0 + (uv.t1 - uv.t0) * arc[i] / total;
        vec3 centre = vec3_add(base, vec3_scale(dir, profile[i].height));
        for (int j = 0; j <= segments; j++) {
            float a = 2.0f * pi_f * static_cast<float>(j % segments) / static_cast<float>(segments);
            vec3 radial = vec3_add(vec3_scale(e1, std::cos(a)), vec3_scale(e2, std::sin(a)));
            vec3 pos = vec3_add(centre, vec3_scale(radial, profile[i].radius));
            vec3 n = vec3_add(vec3_scale(radial, nr), vec3_scale(dir, nh));
            float s = uv.s0 + (uv.s1 - uv.s0) * static_cast<float>(j) / static_cast<float>(segments);
            add_vertex(mesh, pos, n, s, t);
        }
    }
    int ring = segments + 1;
    for (int i = 0; i + 1 < count; i++)
        for (int j = 0; j < segments; j++) {
            int a = first + i * ring + j, b = a + 1, c = a + ring + 1, d = a + ring;
            if (profile[i].radius > 0.0f)   // a and b coincide on the axis
                add_triangle(mesh, a, b, c);
            if (profile[i + 1].radius > 0.0f)   // c and d coincide on the axis
                add_triangle(mesh, a, c, d);
        }
    return first;
}

int jm_add_disc(jm_mesh& mesh, vec3 centre, vec3 n, float radius, int segments, jm_uv_rect uv)
{
    n = unit(n);
    vec3 e1, e2;
    perpendiculars(n, &e1, &e2);
    float ms = 0.5f * (uv.s0 + uv.s1), mt = 0.5f * (uv.t0 + uv.t1);
    float hs = 0.5f * (uv.s1 - uv.s0), ht = 0.5f * (uv.t1 - uv.t0);
    int first = add_vertex(mesh, centre, n, ms, mt);
    for (int j = 0; j < segments; j++) {
        float a = 2.0f * pi_f * static_cast<float>(j) / static_cast<float>(segments);
        float c = std::cos(a), s = std::sin(a);
        vec3 pos = vec3_add(centre, vec3_scale(vec3_add(vec3_scale(e1, c), vec3_scale(e2, s)), radius));
        add_vertex(mesh, pos, n, ms + hs * c, mt + ht * s);
    }
    for (int j = 0; j < segments; j++)
        add_triangle(mesh, first, first + 1 + j, first + 1 + (j + 1) % segments);
    return first;
}

int jm_add_cylinder(jm_mesh& mesh, vec3 base, vec3 dir, float radius, float length, int segments,
                    jm_uv_rect side, bool caps, jm_uv_rect cap)
{
    dir = unit(dir);
    jm_profile_point p[2] = {{radius, 0.0f, 1.0f, 0.0f}, {radius, length, 1.0f, 0.0f}};
    int first = jm_add_lathe(mesh, base, dir, p, 2, segments, side);
    if (caps) {
        jm_add_disc(mesh, base, vec3_scale(dir, -1.0f), radius, segments, cap);
        jm_add_disc(mesh, vec3_add(base, vec3_scale(dir, length)), dir, radius, segments, cap);
    }
    return first;
}

int jm_add_sphere(jm_mesh& mesh, vec3 centre, float radius, int segments, int rings, jm_uv_rect uv)
{
    std::vector<jm_profile_point> p;
    for (int i = 0; i <= rings; i++) {
        float a = -0.5f * pi_f + pi_f * static_cast<float>(i) / static_cast<float>(rings);
        float c = i == 0 || i == rings ? 0.0f : std::cos(a);   // exact zero on the poles
        p.push_back({radius * c, radius * std::sin(a), c, std::sin(a)});
    }
    return jm_add_lathe(mesh, centre, {0.0f, 1.0f, 0.0f}, p.data(), static_cast<int>(p.size()), segments, uv);
}

int jm_add_rounded_drum(jm_mesh& mesh, vec3 base, vec3 dir, float r, float l, float e, int segments,
                        int rim_steps, jm_uv_rect side, jm_uv_rect cap)
{
    dir = unit(dir);
    std::vector<jm_profile_point> p;
    for (int i = 0; i <= rim_steps; i++) {   // lower rim: -90 .. 0 degrees about (r - e, e)
        float a = -0.5f * pi_f + 0.5f * pi_f * static_cast<float>(i) / static_cast<float>(rim_steps);
        p.push_back({r - e + e * std::cos(a), e + e * std::sin(a), std::cos(a), std::sin(a)});
    }
    for (int i = 0; i <= rim_steps; i++) {   // upper rim: 0 .. 90 degrees about (r - e, l - e)
        float a = 0.5f * pi_f * static_cast<float>(i) / static_cast<float>(rim_steps);
        p.push_back({r - e + e * std::cos(a), l - e + e * std::sin(a), std::cos(a), std::sin(a)});
    }
    int first = jm_add_lathe(mesh, base, dir, p.data(), static_cast<int>(p.size()), segments, side);
    jm_add_disc(mesh, base, vec3_scale(dir, -1.0f), r - e, segments, cap);
    jm_add_disc(mesh, vec3_add(base, vec3_scale(dir, l)), dir, r - e, segments, cap);
    return first;
}

// Ear clipping of a counter-clockwise simple polygon; appends index
// triples (into the outline) to tris.
static float cross2(const float* o, const float* a, const float* b)
{
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

static bool inside_triangle(const float* p, const float* a, const float* b, const float* c)
{
    return cross2(a, b, p) >= 0.0f && cross2(b, c, p) >= 0.0f && cross2(c, a, p) >= 0.0f;
}

static void triangulate(const float* outline, int points, std::vector<int>& tris)
{
    std::vector<int> left;
    for (int i = 0; i < points; i++)
        left.push_back(i);
    int guard = points * points;   // a bad outline cannot loop for ever
    size_t i = 0;
    while (left.size() > 3 && guard-- > 0) {
        size_t n = left.size();
        int a = left[(i + n - 1) % n], b = left[i % n], c = left[(i + 1) % n];
        const float *pa = outline + 2 * a, *pb = outline + 2 * b, *pc = outline + 2 * c;
        bool ear = cross2(pa, pb, pc) > ear_epsilon;
        for (size_t k = 0; ear && k < n; k++) {
            int q = left[k];
            if (q != a && q != b && q != c && inside_triangle(outline + 2 * q, pa, pb, pc))
                ear = false;
        }
        if (ear) {
            tris.insert(tris.end(), {a, b, c});
            left.erase(left.begin() + static_cast<long>(i % n));
        } else {
            i++;
        }
    }
    if (left.size() == 3)
        tris.insert(tris.end(), {left[0], left[1], left[2]});
}

int jm_add_extrusion(jm_mesh& mesh, vec3 origin, vec3 u, vec3 v, const float* outline, int points,
                     float depth, jm_uv_rect uv, jm_uv_rect wall)
{
    int first = static_cast<int>(mesh.vertices.size());
    if (points < 3)
        return first;
    vec3 w = unit(vec3_cross(u, v));
    vec3 front = vec3_add(origin, vec3_scale(w, depth));
    float lo[2] = {outline[0], outline[1]}, hi[2] = {outline[0], outline[1]};
    for (int i = 1; i < points; i++)
        for (int k = 0; k < 2; k++) {
            lo[k] = std::fmin(lo[k], outline[2 * i + k]);
            hi[k] = std::fmax(hi[k], outline[2 * i + k]);
        }
    float sx = hi[0] > lo[0] ? 1.0f / (hi[0] - lo[0]) : 0.0f, sy = hi[1] > lo[1] ? 1.0f / (hi[1] - lo[1]) : 0.0f;
    auto place = [&](vec3 at, int i) {
        return vec3_add(at, vec3_add(vec3_scale(u, outline[2 * i]), vec3_scale(v, outline[2 * i + 1])));
    };
    std::vector<int> tris;
    triangulate(outline, points, tris);
    // Front cap, then the back cap mirrored in s and wound the other way.
    for (int side = 0; side < 2; side++) {
        int base = static_cast<int>(mesh.vertices.size());
        for (int i = 0; i < points; i++) {
            float fs = (outline[2 * i] - lo[0]) * sx, ft = (outline[2 * i + 1] - lo[1]) * sy;
            float s = side == 0 ? uv.s0 + (uv.s1 - uv.s0) * fs : uv.s1 - (uv.s1 - uv.s0) * fs;
            add_vertex(mesh, place(side == 0 ? front : origin, i), side == 0 ? w : vec3_scale(w, -1.0f), s,
                       uv.t0 + (uv.t1 - uv.t0) * ft);
        }
        for (size_t k = 0; k < tris.size(); k += 3) {
            if (side == 0)
                add_triangle(mesh, base + tris[k], base + tris[k + 1], base + tris[k + 2]);
            else
                add_triangle(mesh, base + tris[k], base + tris[k + 2], base + tris[k + 1]);
        }
    }
    // Walls, one flat quad per edge, s by the outline's length.
    float perimeter = 0.0f;
    for (int i = 0; i < points; i++) {
        int j = (i + 1) % points;
        perimeter += std::hypot(outline[2 * j] - outline[2 * i], outline[2 * j + 1] - outline[2 * i + 1]);
    }
    float run = 0.0f;
    for (int i = 0; i < points; i++) {
        int j = (i + 1) % points;
        float len = std::hypot(outline[2 * j] - outline[2 * i], outline[2 * j + 1] - outline[2 * i + 1]);
        float s0 = wall.s0 + (wall.s1 - wall.s0) * run / perimeter;
        run += len;
        float s1 = wall.s0 + (wall.s1 - wall.s0) * run / perimeter;
        jm_add_quad(mesh, place(origin, i), place(origin, j), place(front, j), place(front, i),
                    {s0, wall.t0, s1, wall.t1});
    }
    return first;
}

bool jm_bounds(const jm_model& model, vec3* lo, vec3* hi)
{
    bool any = false;
    for (const jm_mesh& m : model.meshes)
        for (const jm_vertex& v : m.vertices) {
            if (!any) {
                *lo = *hi = v.pos;
                any = true;
                continue;
            }
            lo->x = std::fmin(lo->x, v.pos.x), lo->y = std::fmin(lo->y, v.pos.y), lo->z = std::fmin(lo->z, v.pos.z);
            hi->x = std::fmax(hi->x, v.pos.x), hi->y = std::fmax(hi->y, v.pos.y), hi->z = std::fmax(hi->z, v.pos.z);
        }
    return any;
}

int jm_triangle_count(const jm_model& model)
{
    int n = 0;
    for (const jm_mesh& m : model.meshes)
        n += static_cast<int>(m.triangles.size() / 3);
    return n;
}
