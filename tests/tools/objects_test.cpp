// objects_test.cpp -- the ".jm" writer and the track-side object assets.
//
// Models are read back the way the format defines them, through the
// game's own stream scanner; textures through the image readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "data/image.h"
#include "data/stream.h"
#include "datagen.h"
#include "jm_writer.h"
#include "paint.h"
#include "test_support.h"

namespace fs = std::filesystem;

// ---- a reader that follows the file format

struct read_mesh {
    float shininess, strength, r, g, b;
    std::vector<jm_vertex> vertices;
    std::vector<float> weights;   // vertices x bones
    std::vector<int> triangles;
};

struct read_model {
    int version = -1;
    int bones = 0;
    std::string skeleton;
    std::vector<read_mesh> meshes;
};

static bool read_vertices(file_stream* s, read_mesh& m, int count, int bones)
{
    for (int i = 0; i < count; i++) {
        jm_vertex v;
        if (stream_scanf(s, "%f %f %f %f %f %f %f %f", &v.pos.x, &v.pos.y, &v.pos.z, &v.normal.x, &v.normal.y,
                         &v.normal.z, &v.s, &v.t) != 8)
            return false;
        m.vertices.push_back(v);
        for (int b = 0; b < bones; b++) {
            float w;
            if (stream_scanf(s, "%f", &w) != 1)
                return false;
            m.weights.push_back(w);
        }
    }
    return true;
}

static bool read_triangles(file_stream* s, read_mesh& m, int count)
{
    for (int i = 0; i < count; i++) {
        int a, b, c;
        if (stream_scanf(s, "%d %d %d", &a, &b, &c) != 3)
            return false;
        m.triangles.insert(m.triangles.end(), {a, b, c});
    }
    return true;
}

// Strict: every byte must belong to the format (a mesh that starts but
// does not finish, or trailing junk, is a failure here).
static bool read_jm(const std::string& path, read_model* out)
{
    file_stream* s = stream_open(path.c_str(), "rb");
    if (!s)
        return false;
    bool ok = false;
    char token[16];
    if (stream_scanf(s, "%15s", token) == 1) {
        if (!strncmp(token, "JM", 2)) {
            out->version = atoi(token + 2);
            ok = out->version == 1 || out->version == 2;
            if (ok && out->version == 2) {
                char name[1024];
                ok = stream_scanf(s, "%d %1023s", &out->bones, name) == 2 && out->bones > 0;
                out->skeleton = name;
            }
            while (ok) {
                read_mesh m;
                int v, t;
                if (stream_scanf(s, "%f %f %f %f %f %d %d", &m.shininess, &m.strength, &m.r, &m.g, &m.b, &v, &t) != 7)
                    break;
                ok = v > 0 && t > 0 && read_vertices(s, m, v, out->bones) && read_triangles(s, m, t);
                out->meshes.push_back(m);
            }
        } else {
            read_mesh m{32.0f, 1.0f, 1.0f, 1.0f, 1.0f, {}, {}, {}};
            int v = atoi(token), t;
            out->version = 0;
            ok = v > 0 && stream_scanf(s, "%d", &t) == 1 && t > 0 && read_vertices(s, m, v, 0) &&
                 read_triangles(s, m, t);
            out->meshes.push_back(m);
        }
    }
    stream_scanf(s, " ");
    ok = ok && stream_getc(s) == -1 && !out->meshes.empty();
    stream_close(s);
    return ok;
}

static float dist(vec3 a, vec3 b) { return vec3_length(vec3_sub(a, b)); }

// Every normal unit length, every index in range, and every triangle wound
// counter-clockwise as seen from the side its vertex normals face.
static void expect_sound_mesh(const std::vector<jm_vertex>& v, const std::vector<int>& tris, const std::string& what)
{
    for (const jm_vertex& x : v)
        ASSERT_NEAR(vec3_length(x.normal), 1.0f, 2e-5f) << what;
    ASSERT_EQ(tris.size() % 3, 0u) << what;
    for (size_t i = 0; i < tris.size(); i += 3) {
        for (int k = 0; k < 3; k++)
            ASSERT_TRUE(tris[i + k] >= 0 && static_cast<size_t>(tris[i + k]) < v.size()) << what;
        const jm_vertex &a = v[tris[i]], &b = v[tris[i + 1]], &c = v[tris[i + 2]];
        vec3 n = vec3_cross(vec3_sub(b.pos, a.pos), vec3_sub(c.pos, a.pos));
        ASSERT_GT(vec3_length(n), 0.0f) << what << ": degenerate triangle " << i / 3;
        vec3 mean = vec3_add(vec3_add(a.normal, b.normal), c.normal);
        ASSERT_GT(vec3_dot(n, mean), 0.0f) << what << ": triangle " << i / 3 << " faces inward";
    }
}

// ---- the writer

static jm_model sample_model(int version)
{
    jm_model m;
    m.version = version;
    jm_mesh a;
    a.shininess = 12.5f, a.r = 0.25f, a.g = 0.5f, a.b = 0.75f;
    const jm_uv_rect faces[6] = {jm_uv_full, jm_uv_full, jm_uv_full, jm_uv_full, jm_uv_full, {0.1f, 0.2f, 0.3f, 0.4f}};
    jm_add_box(a, {-1, 0, -2}, {1, 3, 2}, faces);
    jm_add_sphere(a, {0, 5, 0}, 0.5f, 8, 4, jm_uv_full);
    m.meshes.push_back(a);
    if (version > 0) {
        jm_mesh b;
        b.shininess = jm_self_lit, b.strength = 0.5f;
        const float tri[6] = {0, 0, 1, 0, 0, 1};
        jm_add_extrusion(b, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, tri, 3, 0.1f, jm_uv_full, jm_uv_full);
        m.meshes.push_back(b);
    }
    if (version == 2) {
        m.bone_count = 3;
        m.skeleton_name = "rider";
        for (jm_mesh& mesh : m.meshes)
            for (size_t i = 0; i < mesh.vertices.size(); i++)
                mesh.weights.insert(mesh.weights.end(), {0.5f, 0.25f * (i % 2), 0.125f});
    }
    return m;
}

TEST(jm_writer, every_version_reads_back_as_written)
{
    scratch_dir dir;
    for (int version : {0, 1, 2}) {
        SCOPED_TRACE(version);
        jm_model m = sample_model(version);
        std::string text = jm_serialise(m);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.compare(0, 2, "JM") == 0, version != 0);   // version 0 has no tag
        EXPECT_EQ(text.find("-0 "), std::string::npos);
        std::string path = dir / ("m" + std::to_string(version) + ".jm");
        write_file(path, text);
        read_model r;
        ASSERT_TRUE(read_jm(path, &r));
        EXPECT_EQ(r.version, version);
        EXPECT_EQ(r.bones, m.bone_count);
        EXPECT_EQ(r.skeleton, m.skeleton_name);
        ASSERT_EQ(r.meshes.size(), m.meshes.size());
        for (size_t i = 0; i < m.meshes.size(); i++) {
            const jm_mesh& w = m.meshes[i];
            const read_mesh& g = r.meshes[i];
            if (version > 0) {
                EXPECT_FLOAT_EQ(g.shininess, w.shininess);
                EXPECT_FLOAT_EQ(g.strength, w.strength);
                EXPECT_FLOAT_EQ(g.g, w.g);
            }
            ASSERT_EQ(g.vertices.size(), w.vertices.size());
            EXPECT_EQ(g.triangles, w.triangles);
            for (size_t k = 0; k < w.vertices.size(); k++) {
                EXPECT_LT(dist(g.vertices[k].pos, w.vertices[k].pos), 2e-6f);
                EXPECT_LT(dist(g.vertices[k].normal, w.vertices[k].normal), 2e-6f);
                EXPECT_NEAR(g.vertices[k].t, w.vertices[k].t, 1e-6f);   // stored as given, bottom up
            }
            ASSERT_EQ(g.weights.size(), w.weights.size());
            for (size_t k = 0; k < w.weights.size(); k++)
                EXPECT_FLOAT_EQ(g.weights[k], w.weights[k]);
        }
    }
}

TEST(jm_writer, refuses_what_the_format_cannot_hold)
{
    struct bad_case {
        const char* what;
        void (*spoil)(jm_model&);
    };
    const bad_case cases[] = {
        {"version 0 with two meshes", [](jm_model& m) { m.version = 0; }},
        {"version 3", [](jm_model& m) { m.version = 3; }},
        {"bones in version 1", [](jm_model& m) { m.bone_count = 2; }},
        {"index out of range", [](jm_model& m) { m.meshes[0].triangles[4] = 100000; }},
        {"negative index", [](jm_model& m) { m.meshes[1].triangles[0] = -1; }},
        {"ragged triangle list", [](jm_model& m) { m.meshes[0].triangles.pop_back(); }},
        {"NaN position", [](jm_model& m) { m.meshes[0].vertices[3].pos.y = std::nanf(""); }},
        {"infinite colour", [](jm_model& m) { m.meshes[1].r = INFINITY; }},
        {"empty mesh", [](jm_model& m) { m.meshes[1] = jm_mesh(); }},
        {"version 2 without weights",
         [](jm_model& m) {
             m.version = 2, m.bone_count = 1, m.skeleton_name = "s";
         }},
        {"skeleton name with a space",
         [](jm_model& m) {
             m = sample_model(2);
             m.skeleton_name = "two words";
         }},
    };
    for (const bad_case& c : cases) {
        jm_model m = sample_model(1);
        c.spoil(m);
        std::string why;
        EXPECT_FALSE(jm_validate(m, &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_EQ(jm_serialise(m), "") << c.what;
    }
}

TEST(jm_writer, helpers_make_closed_outward_solids)
{
    // Convex solids around a known centre: normals unit, winding outward,
    // and every face pointing away from the centre.
    struct solid {
        const char* what;
        vec3 centre;
        void (*build)(jm_mesh&);
    };
    const solid solids[] = {
        {"box", {0.5f, 1.0f, 0.0f},
         [](jm_mesh& m) {
             const jm_uv_rect f[6] = {jm_uv_full, jm_uv_full, jm_uv_full, jm_uv_full, jm_uv_full, jm_uv_full};
             jm_add_box(m, {0, 0, -1}, {1, 2, 1}, f);
         }},
        {"capped cylinder along z", {0, 0, 1.5f},
         [](jm_mesh& m) { jm_add_cylinder(m, {0, 0, 0}, {0, 0, 1}, 0.5f, 3.0f, 10, jm_uv_full, true, jm_uv_full); }},
        {"sphere", {1, 2, 3}, [](jm_mesh& m) { jm_add_sphere(m, {1, 2, 3}, 2.0f, 12, 6, jm_uv_full); }},
        {"rounded drum along -x", {-2, 2, 0},
         [](jm_mesh& m) {
             jm_add_rounded_drum(m, {0, 2, 0}, {-1, 0, 0}, 2.0f, 4.0f, 0.4f, 16, 3, jm_uv_full, jm_uv_full);
         }},
        {"extruded hexagon", {0, 0, 0.25f},
         [](jm_mesh& m) {
             float hex[12];
             for (int i = 0; i < 6; i++)
                 hex[2 * i] = std::cos(i * 1.0471976f), hex[2 * i + 1] = std::sin(i * 1.0471976f);
             jm_add_extrusion(m, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, hex, 6, 0.5f, jm_uv_full, jm_uv_full);
         }},
    };
    for (const solid& s : solids) {
        jm_mesh m;
        s.build(m);
        expect_sound_mesh(m.vertices, m.triangles, s.what);
        for (size_t i = 0; i < m.triangles.size(); i += 3) {
            const jm_vertex &a = m.vertices[m.triangles[i]], &b = m.vertices[m.triangles[i + 1]],
                            &c = m.vertices[m.triangles[i + 2]];
            vec3 mid = vec3_scale(vec3_add(vec3_add(a.pos, b.pos), c.pos), 1.0f / 3.0f);
            vec3 n = vec3_cross(vec3_sub(b.pos, a.pos), vec3_sub(c.pos, a.pos));
            ASSERT_GT(vec3_dot(n, vec3_sub(mid, s.centre)), 0.0f) << s.what << " triangle " << i / 3;
        }
    }
}

TEST(jm_writer, concave_outline_caps_cover_its_area)
{
    // An L shape: the ear clipper must neither skip nor overlap area.
    const float l_shape[12] = {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2};
    jm_mesh m;
    jm_add_extrusion(m, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, l_shape, 6, 1.0f, jm_uv_full, jm_uv_full);
    expect_sound_mesh(m.vertices, m.triangles, "L extrusion");
    float front = 0.0f;
    for (size_t i = 0; i < m.triangles.size(); i += 3) {
        const jm_vertex &a = m.vertices[m.triangles[i]], &b = m.vertices[m.triangles[i + 1]],
                        &c = m.vertices[m.triangles[i + 2]];
        vec3 n = vec3_cross(vec3_sub(b.pos, a.pos), vec3_sub(c.pos, a.pos));
        if (a.normal.z > 0.9f)
            front += 0.5f * vec3_length(n);
    }
    EXPECT_NEAR(front, 3.0f, 1e-5f);
}

TEST(paint, coverage_is_exact_at_pixel_fractions)
{
    canvas c = canvas_make(16, 16, {0, 0, 0, 0});
    paint_rect(c, 2.5f, 2.0f, 6.0f, 4.0f, {1, 1, 1, 1});
    EXPECT_NEAR(paint_get(c, 2, 3).a, 0.5f, 1e-6f);
    EXPECT_NEAR(paint_get(c, 3, 3).a, 1.0f, 1e-6f);
    EXPECT_NEAR(paint_get(c, 6, 3).a, 0.0f, 1e-6f);
    // Shapes gathered together count once where they overlap or abut.
    paint_mask_rect(c, 8, 8, 10.3f, 10);
    paint_mask_rect(c, 10.3f, 8, 12, 10);
    paint_mask_rect(c, 9, 8, 11, 10);
    paint_mask_fill(c, {1, 0, 0, 0.5f});
    EXPECT_NEAR(paint_get(c, 10, 9).a, 0.5f, 1e-5f);
    // A disc's total coverage is its area.
    canvas d = canvas_make(64, 64, {0, 0, 0, 0});
    paint_ellipse(d, 32.3f, 31.7f, 20.0f, 20.0f, {1, 1, 1, 1});
    float area = 0.0f;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            area += paint_get(d, x, y).a;
    EXPECT_NEAR(area, 3.14159265f * 400.0f, 4.0f);
}

// ---- the generated assets

static void generate(const std::string& root)
{
    datagen_context ctx{root + "/out", root + "/stage"};
    ASSERT_TRUE(datagen_objects(ctx));
}

static std::map<std::string, std::string> files_below(const std::string& dir)
{
    std::map<std::string, std::string> out;   // relative name -> bytes, sorted
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            out[fs::relative(e.path(), dir).generic_string()] = read_file(e.path().string());
    return out;
}

class objects : public ::testing::Test {
protected:
    static scratch_dir* root;
    static std::string zzzz;   // the staged archive folder
    static void SetUpTestSuite()
    {
        root = new scratch_dir();
        generate(root->path);
        zzzz = root->path + "/stage/zzzz/";
    }
    static void TearDownTestSuite()
    {
        delete root;
        root = nullptr;
    }
};
scratch_dir* objects::root = nullptr;
std::string objects::zzzz;

TEST_F(objects, stages_exactly_its_files)
{
    std::vector<std::string> want = {"startgate.jm", "startgate.ppm"};
    for (const char* base : {"haybale", "banner"})
        for (const char* ext : {".jm", ".png", ".shp"})
            want.push_back(std::string("objects/") + base + ext);
    for (const char* n : {"objects/marker.jm", "objects/marker.png", "objects/tree_pine.png", "objects/tree_oak.png",
                          "objects/bush.png", "objects/crowd.png", "objects/flagger_lap_normal.png",
                          "objects/flagger_lap_half.png", "objects/flagger_lap_last.png", "objects/flagger_lap_done.png",
                          "objects/flagger_caution_idle.png", "objects/flagger_caution_wave.png"})
        want.push_back(n);
    for (int i = 0; i < 5; i++)
        want.push_back("objects/flagger_start" + std::to_string(i) + ".png");
    std::sort(want.begin(), want.end());
    std::vector<std::string> got;
    for (auto& [name, bytes] : files_below(zzzz))
        got.push_back(name);
    EXPECT_EQ(got, want);   // in particular no "startgate.shp": that is the shapes module's
}

TEST_F(objects, models_read_back_sound_and_sized_as_intended)
{
    struct expect_model {
        const char* name;
        vec3 lo, hi;       // intended bounds, ft
        int min_tris, max_tris;
    };
    const expect_model models[] = {
        {"objects/haybale.jm", {-2, 0, -2}, {2, 4, 2}, 200, 2000},
        {"objects/banner.jm", {-5.17f, 0, -0.17f}, {5.17f, 8.27f, 0.17f}, 100, 2000},
        {"objects/marker.jm", {-0.05f, 0, -0.05f}, {0.85f, 4, 0.05f}, 10, 300},
        {"startgate.jm", {-2.5f, -0.1f, -0.1f}, {2.5f, 0.1f, 2.9f + 0.048f}, 20, 1000},
    };
    for (const expect_model& e : models) {
        SCOPED_TRACE(e.name);
        read_model r;
        ASSERT_TRUE(read_jm(zzzz + e.name, &r));
        EXPECT_EQ(r.version, 1);
        vec3 lo = r.meshes[0].vertices[0].pos, hi = lo;
        int tris = 0;
        for (const read_mesh& m : r.meshes) {
            expect_sound_mesh(m.vertices, m.triangles, e.name);
            EXPECT_GE(m.shininess, 0.0f);   // ordinary lit meshes
            tris += static_cast<int>(m.triangles.size() / 3);
            for (const jm_vertex& v : m.vertices) {
                lo = {std::fmin(lo.x, v.pos.x), std::fmin(lo.y, v.pos.y), std::fmin(lo.z, v.pos.z)};
                hi = {std::fmax(hi.x, v.pos.x), std::fmax(hi.y, v.pos.y), std::fmax(hi.z, v.pos.z)};
                EXPECT_TRUE(v.s >= 0 && v.s <= 1 && v.t >= 0 && v.t <= 1);
            }
        }
        EXPECT_GE(tris, e.min_tris);
        EXPECT_LE(tris, e.max_tris);
        EXPECT_LT(dist(lo, e.lo), 0.02f) << lo.x << " " << lo.y << " " << lo.z;
        EXPECT_LT(dist(hi, e.hi), 0.02f) << hi.x << " " << hi.y << " " << hi.z;
    }
}

TEST_F(objects, gate_bar_pivots_on_its_hinge_and_lifts_its_free_edge)
{
    // Turned by the raised drop angle about x (+z rising), the bar behind
    // the hinge stays above the ground and its free edge rises about 1.6 ft,
    // leaning back toward the rider (still on the +z side).
    read_model r;
    ASSERT_TRUE(read_jm(zzzz + "startgate.jm", &r));
    const float p = 3.14159265f * 3.0f / 16.0f;
    float top = -1e9f, lowest_behind = 1e9f, edge_z = 0.0f;
    for (const read_mesh& m : r.meshes)
        for (const jm_vertex& v : m.vertices) {
            float y = v.pos.y * std::cos(p) + v.pos.z * std::sin(p);
            float z = -v.pos.y * std::sin(p) + v.pos.z * std::cos(p);
            if (y > top) {
                top = y;
                edge_z = z;
            }
            if (v.pos.z > 0.2f)   // the plate behind the hinge
                lowest_behind = std::fmin(lowest_behind, y);
        }
    EXPECT_NEAR(top, 1.6f + 0.1f, 0.1f);
    EXPECT_GT(lowest_behind, 0.0f);
    EXPECT_NEAR(edge_z, 2.9f * std::cos(p), 0.1f);   // the free edge on the rider's side
}

struct read_sphere {
    vec3 c;
    float radius, mu, stiffness, damping;
};

static bool read_shp(const std::string& path, std::vector<read_sphere>* out)
{
    file_stream* s = stream_open(path.c_str(), "rb");
    if (!s)
        return false;
    int n = 0;
    bool ok = stream_scanf(s, "%d", &n) == 1 && n >= 0;
    for (int i = 0; ok && i < n; i++) {
        read_sphere q;
        ok = stream_scanf(s, "%f %f %f", &q.c.x, &q.c.y, &q.c.z) == 3 &&
             stream_scanf(s, "%f %f %f %f", &q.radius, &q.mu, &q.stiffness, &q.damping) == 4;
        out->push_back(q);
    }
    stream_scanf(s, " ");
    ok = ok && stream_getc(s) == -1;
    stream_close(s);
    return ok;
}

TEST_F(objects, shapes_fit_their_models)
{
    struct expect_shape {
        const char* shape;
        const char* model;
        size_t spheres;
    };
    const expect_shape shapes[] = {
        {"objects/haybale.shp", "objects/haybale.jm", 27},
        {"objects/banner.shp", "objects/banner.jm", 54},
    };
    for (const expect_shape& e : shapes) {
        SCOPED_TRACE(e.shape);
        std::vector<read_sphere> spheres;
        ASSERT_TRUE(read_shp(zzzz + e.shape, &spheres));
        EXPECT_EQ(spheres.size(), e.spheres);
        read_model r;
        ASSERT_TRUE(read_jm(zzzz + e.model, &r));
        jm_model m;
        for (const read_mesh& rm : r.meshes) {
            jm_mesh mesh;
            mesh.vertices = rm.vertices;
            mesh.triangles = rm.triangles;
            m.meshes.push_back(mesh);
        }
        vec3 lo, hi;
        ASSERT_TRUE(jm_bounds(m, &lo, &hi));
        vec3 slo = {1e9f, 1e9f, 1e9f}, shi = {-1e9f, -1e9f, -1e9f};
        for (const read_sphere& q : spheres) {
            EXPECT_GT(q.radius, 0.0f);
            EXPECT_GT(q.mu, 0.0f);
            EXPECT_GT(q.stiffness, 0.0f);
            EXPECT_GT(q.damping, 0.0f);
            slo = {std::fmin(slo.x, q.c.x - q.radius), std::fmin(slo.y, q.c.y - q.radius), std::fmin(slo.z, q.c.z - q.radius)};
            shi = {std::fmax(shi.x, q.c.x + q.radius), std::fmax(shi.y, q.c.y + q.radius), std::fmax(shi.z, q.c.z + q.radius)};
        }
        // Within the model (poles and cloth may be fattened to a hand's width)
        // and reaching its extent in x and y.
        EXPECT_GE(slo.y, lo.y - 1e-4f);
        EXPECT_LE(shi.y, hi.y + 1e-4f);
        EXPECT_NEAR(slo.x, lo.x, 0.2f);
        EXPECT_NEAR(shi.x, hi.x, 0.2f);
        EXPECT_GE(slo.z, lo.z - 0.6f);
        EXPECT_LE(shi.z, hi.z + 0.6f);
    }
}

TEST_F(objects, textures_decode_at_their_sizes)
{
    struct expect_image {
        const char* name;
        int w, h;
        bool sprite;   // RGBA, transparent top corners, subject on the bottom row's middle
    };
    std::vector<expect_image> images = {
        {"objects/haybale.png", 256, 256, false}, {"objects/banner.png", 512, 256, false},
        {"objects/marker.png", 128, 128, false},  {"objects/tree_pine.png", 256, 512, true},
        {"objects/tree_oak.png", 512, 512, true}, {"objects/bush.png", 256, 128, true},
        {"objects/crowd.png", 512, 128, true},
    };
    std::vector<std::string> flaggers = {"flagger_lap_normal", "flagger_lap_half",     "flagger_lap_last",
                                         "flagger_lap_done",   "flagger_caution_idle", "flagger_caution_wave"};
    for (int i = 0; i < 5; i++)
        flaggers.push_back("flagger_start" + std::to_string(i));
    std::vector<std::string> names;
    for (const std::string& f : flaggers)
        names.push_back("objects/" + f + ".png");
    for (const std::string& n : names)
        images.push_back({n.c_str(), 256, 256, true});
    for (const expect_image& e : images) {
        SCOPED_TRACE(e.name);
        image img{};
        ASSERT_TRUE(png_read((zzzz + e.name).c_str(), &img));
        EXPECT_EQ(img.width, e.w);
        EXPECT_EQ(img.height, e.h);
        ASSERT_EQ(img.format, e.sprite ? image_rgba8 : image_rgb8);
        if (e.sprite) {
            auto alpha = [&](int x, int y) { return img.pixels[(static_cast<size_t>(y) * img.width + x) * 4 + 3]; };
            EXPECT_EQ(alpha(0, 0), 0);
            EXPECT_EQ(alpha(img.width - 1, 0), 0);
            int solid = 0;
            for (int x = img.width * 3 / 8; x < img.width * 5 / 8; x++)
                solid += alpha(x, img.height - 1) > 128 || alpha(x, img.height - 3) > 128;
            EXPECT_GT(solid, 0);
        }
        image_free(&img);
    }
    image gate{};
    ASSERT_TRUE(ppm_read((zzzz + "startgate.ppm").c_str(), &gate));
    EXPECT_EQ(gate.width, 256);
    EXPECT_EQ(gate.height, 256);
    image_free(&gate);
    // Each flagger frame shows something different.
    for (size_t i = 0; i < names.size(); i++)
        for (size_t j = i + 1; j < names.size(); j++)
            EXPECT_NE(read_file(zzzz + names[i]), read_file(zzzz + names[j])) << names[i] << " " << names[j];
}

TEST_F(objects, generating_again_gives_the_same_bytes)
{
    scratch_dir again;
    generate(again.path);
    auto first = files_below(zzzz), second = files_below(again.path + "/stage/zzzz");
    ASSERT_EQ(first.size(), second.size());
    for (auto& [name, bytes] : first) {
        ASSERT_TRUE(second.count(name)) << name;
        EXPECT_TRUE(second[name] == bytes) << name;
    }
}
