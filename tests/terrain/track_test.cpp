// track_test.cpp -- loading a track directory and its objects: defaults,
// lighting, billboards, statues and their buckets, flaggers, cameras,
// decals, the digest and the release order.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "terrain/decals.h"
#include "track_fixture.h"

namespace {

// Asset back end that records what was asked of it.
std::vector<std::string> events;
uint32_t record_texture(const char* name)
{
    events.push_back(std::string("texture ") + name);
    return static_cast<uint32_t>(events.size());
}
model* record_model(const char* name)
{
    events.push_back(std::string("model ") + name);
    static int dummy;
    return reinterpret_cast<model*>(&dummy);
}
collision_shape* fake_shape(const char* name, float* radius)
{
    static int dummy;
    if (strstr(name, "none"))
        return nullptr;
    *radius = 100;
    return reinterpret_cast<collision_shape*>(&dummy);
}
void record_shape_free(collision_shape*) { events.push_back("shape freed"); }
void record_announce(const char* text) { events.push_back(std::string("announce ") + text); }
void record_lines_release() { events.push_back("line store freed"); }
void record_hf_release(height_field*) { events.push_back("height field freed"); }

const track_asset_ops recording_assets = {record_texture, record_model, fake_shape,
                                          record_shape_free, record_announce};

struct track_load : track_fixture {
    void SetUp() override
    {
        track_fixture::SetUp();
        events.clear();
    }
};

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(track_load, terrain_files_alone_give_defaults)
{
    const char* known[] = {"aa", "tt"};
    char requested[] = "tt";
    track_load_options options = {known, 2, 1, false};
    track_assets_install(&recording_assets);
    ASSERT_TRUE(load_track(requested, &options));
    EXPECT_EQ(track.name, known[1]);   // the list's own string

    const track_lighting& L = track.lighting;
    float third = 1 / std::sqrt(3.0f);
    EXPECT_NEAR(L.sun_vector.x, third, 1e-6);
    EXPECT_NEAR(L.sun_vector.y, third, 1e-6);
    EXPECT_FLOAT_EQ(L.ambient.x, 0.5f);
    EXPECT_FLOAT_EQ(L.global_ambient.z, 0.2f);
    EXPECT_FLOAT_EQ(L.near_plane, 0.25f);
    EXPECT_FLOAT_EQ(L.far_plane, 5000.0f);
    EXPECT_STREQ(L.sky[sky_north], "@sky-n.ppm");
    EXPECT_STREQ(L.sky[sky_up], "@sky-u.ppm");
    EXPECT_STREQ(L.sky_env, "@sky-env.ppm");
    EXPECT_EQ(L.fog_density, 0.0f);

    EXPECT_EQ(timing_gates.checkpoint_count, 0);
    EXPECT_EQ(timing_gates.start_count, 0);
    EXPECT_EQ(track.statues.count, 0);
    EXPECT_EQ(track.cameras.count, 0);
    EXPECT_EQ(track.caution_flaggers.count, 0);
    EXPECT_EQ(track.starter.billboard, -1);
    EXPECT_EQ(track.lap.billboard, -1);
    EXPECT_EQ(track.flares.count, 0);
    EXPECT_EQ(gate_camera(0), -1);
    EXPECT_EQ(gate_camera(999), -1);
    // Only the roost particles: invisible, at the origin, two draw entries each.
    ASSERT_EQ(track.billboards.count, roost_particle_count);
    EXPECT_EQ(track.billboard_draw_list.count, 2 * roost_particle_count);
    EXPECT_EQ(track.roost_first, 0);
    EXPECT_EQ(track.billboards.items[1999].texture, 0u);
    EXPECT_EQ(track.billboards.items[1999].size, 1.0f);

    EXPECT_EQ(digest_hex(), expected_digest("", "", ""));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front(), "announce Loading track...");
    EXPECT_EQ(events.back(), "texture @tt/map.png");
    std::string log = text();
    EXPECT_TRUE(contains(log, "Loading '@tt'\n"));
    EXPECT_TRUE(contains(log, "0 bytes texture memory used after hf creation\n"));
    EXPECT_TRUE(contains(log, "0 bytes texture memory used after statue creation\n"));
}

TEST_F(track_load, height_field_failure_leaves_no_track)
{
    put("billboards", "[ 1 0 1 ] 1 1 @tree.png\n");
    put("terrain.hf", "6 1.0\n");   // too few header values
    EXPECT_FALSE(load());
    EXPECT_EQ(track.name, nullptr);
    EXPECT_EQ(track.billboards.count, 0);
    EXPECT_EQ(terrain.heights, nullptr);
    EXPECT_FALSE(load_track("../escape", nullptr));
    EXPECT_TRUE(contains(text(), "Bad track name '../escape'"));
}

// ------------------------------------------------------------ lighting

struct lighting_case {
    const char* file;
    float near_plane, far_plane;
    vec3 sun_color;
    vec3 sun_vector;
};

TEST_F(track_load, lighting_cases)
{
    const vec3 white = {1, 1, 1};
    const float t = 1 / std::sqrt(3.0f);
    const vec3 diag = {t, t, t};
    const lighting_case cases[] = {
        // An unknown keyword ends the file: the rest keeps its defaults.
        {"sun_color [0.1 0.2 0.3]\nbogus 1 2\nnear_plane 0.5\n", 0.25f, 5000, {0.1f, 0.2f, 0.3f}, diag},
        {"near_plane 0.5\nfar_plane 0.1\n", 0.5f, 0.5f, white, diag},
        {"near_plane 0.0001\nfar_plane 1e9\n", 1.0f / 1024, 1048576, white, diag},
        {"  \tnear_plane\t\t5  \r\n\nsun_vector [ 0 2 0 ]\n", 0.875f, 5000, white, {0, 1, 0}},
        {"sun_vector [0 0 0]\n", 0.25f, 5000, white, diag},   // no direction: the default one
        {"sun_color [1 2]\nnear_plane 0.3\n", 0.3f, 5000, white, diag},   // bad value skipped
    };
    for (const lighting_case& c : cases) {
        SCOPED_TRACE(c.file);
        put("lighting", c.file);
        track_lighting L;
        ASSERT_TRUE(read_track_lighting("@tt/lighting", &L, nullptr));
        EXPECT_FLOAT_EQ(L.near_plane, c.near_plane);
        EXPECT_FLOAT_EQ(L.far_plane, c.far_plane);
        EXPECT_FLOAT_EQ(L.sun_color.x, c.sun_color.x);
        EXPECT_FLOAT_EQ(L.sun_color.z, c.sun_color.z);
        EXPECT_NEAR(L.sun_vector.x, c.sun_vector.x, 1e-6);
        EXPECT_NEAR(L.sun_vector.y, c.sun_vector.y, 1e-6);
    }
    EXPECT_TRUE(contains(text(), "Error reading lighting: Unknown identifier 'bogus'\n"));
}

TEST_F(track_load, lighting_flares_sky_and_fog)
{
    std::string file = "sky_n   my sky.ppm  \nsky_env @shiny.png\nfog [0.5 0.6 0.7] 0.01\n"
                       "dynamic_lighting 3\nflare_vector [1 2 3]\n";
    for (int i = 0; i < 9; i++)
        file += "flare_element [0.5 1] [1 0.5 0.25] 2 @flare" + std::to_string(i) + ".png\n";
    file += "flare_point [10 20 30]\nflare_element [0 0] [1 1 1] 1 @uncommitted.png\n";
    put("lighting", file);
    track_assets_install(&recording_assets);
    ASSERT_TRUE(load());
    const track_lighting& L = track.lighting;
    EXPECT_STREQ(L.sky[sky_north], "my sky.ppm");
    EXPECT_STREQ(L.sky[sky_east], "@sky-e.ppm");
    EXPECT_STREQ(L.sky_env, "@shiny.png");
    EXPECT_FLOAT_EQ(L.fog_color.y, 0.6f);
    EXPECT_FLOAT_EQ(L.fog_density, 0.01f);
    EXPECT_EQ(L.dynamic_lighting, 1);
    ASSERT_EQ(track.flares.count, 2);
    EXPECT_TRUE(track.flares.items[0].is_direction);
    EXPECT_EQ(track.flares.items[0].element_count, 0);
    const lens_flare& f = track.flares.items[1];
    EXPECT_FALSE(f.is_direction);
    EXPECT_FLOAT_EQ(f.position.z, 30);
    ASSERT_EQ(f.element_count, flare_max_elements);
    EXPECT_FLOAT_EQ(f.elements[7].place[1], 1);
    EXPECT_FLOAT_EQ(f.elements[7].b, 0.25f);
    EXPECT_NE(f.elements[7].texture, 0u);
    for (const std::string& e : events)
        EXPECT_NE(e, "texture @flare8.png");   // the ninth element is ignored
}

// ------------------------------------------------------------ billboards

TEST_F(track_load, billboard_colour_prefix)
{
    struct {
        const char* name;
        bool tinted;
        uint8_t r, g, b;
        const char* rest;
    } cases[] = {
        {"#ff8001#@tree.png", true, 255, 128, 1, "@tree.png"},
        {"#A0b0C0#x", true, 0xa0, 0xb0, 0xc0, "x"},
        {"#ff8001x@tree.png", false, 0, 0, 0, nullptr},
        {"#ff80zz#@tree.png", false, 0, 0, 0, nullptr},
        {"#ff800#", false, 0, 0, 0, nullptr},
        {"@tree.png", false, 0, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t rgb[3] = {};
        const char* rest = nullptr;
        ASSERT_EQ(billboard_colour(c.name, rgb, &rest), c.tinted);
        if (c.tinted) {
            EXPECT_EQ(rgb[0], c.r);
            EXPECT_EQ(rgb[1], c.g);
            EXPECT_EQ(rgb[2], c.b);
            EXPECT_STREQ(rest, c.rest);
        }
    }
}

TEST_F(track_load, billboards_file)
{
    write_terrain([](int col, int) { return col * 0.05f; });
    put("billboards", "[ 10 1.5 20 ] 4 0.5 #ff8000#@tree.png\n"
                      "[20 0 20] 2 1 #ff8000x@bush.png\n"
                      "[ 30 0 20 ] 2 oops @never.png\n[ 40 0 20 ] 2 1 @never.png\n");
    track_assets_install(&recording_assets);
    ASSERT_TRUE(load());
    ASSERT_EQ(track.billboards.count, roost_particle_count + 2);
    const billboard& tinted = track.billboards.items[roost_particle_count];
    EXPECT_NEAR(tinted.position.y, 0.5f + 1.5f, 1e-3);
    EXPECT_FLOAT_EQ(tinted.height, 1.5f);
    EXPECT_FLOAT_EQ(tinted.size, 4);
    EXPECT_FLOAT_EQ(tinted.aspect, 0.5f);
    EXPECT_EQ(tinted.r, 255);
    EXPECT_EQ(tinted.g, 128);
    EXPECT_EQ(tinted.b, 0);
    EXPECT_EQ(tinted.a, 255);
    EXPECT_STREQ(tinted.texture_name, "@tree.png");
    EXPECT_NE(tinted.texture, 0u);
    const billboard& plain = track.billboards.items[roost_particle_count + 1];
    EXPECT_STREQ(plain.texture_name, "#ff8000x@bush.png");
    EXPECT_EQ(plain.r, 255);
    EXPECT_EQ(plain.b, 255);
    EXPECT_EQ(track.billboard_draw_list.count, 2 * track.billboards.count);
}

// ------------------------------------------------------------ statues

TEST_F(track_load, statues_share_a_shape_file_in_the_digest_once)
{
    put("rock.shp", "rock shape bytes");
    put("gate.shp", "gate shape bytes");
    std::string statues = "[ 10 0 10 ] 0 @rock.jm @rock.png @tt/rock.shp\n"
                          "[ 20 1 20 ] 4 @rock.jm null @tt/gate.shp\n"
                          "[ 30 0 30 ] 1 null null @tt/rock.shp\n"
                          "[ 40 0 40 ] 1 @lost.jm null @tt/none.shp\n"
                          "[ 50 0 50 ] 1 null null @tt/gone.shp\n"
                          "[ 60 0 60 ] 1 null\n";
    put("statues", statues);
    ASSERT_TRUE(load());
    ASSERT_EQ(track.statues.count, 5);
    EXPECT_EQ(digest_hex(), expected_digest("", statues,
                                            "rock shape bytes"
                                            "gate shape bytes"));
    const statue& second = track.statues.items[1];
    EXPECT_NEAR(second.position.y, 1, 1e-6);
    EXPECT_FLOAT_EQ(second.facing_distance, 16);
    EXPECT_EQ(second.texture_name, nullptr);
    EXPECT_EQ(track.statues.items[0].facing_distance, 0);
    EXPECT_EQ(track.statues.items[0].last_touched, 0);
    std::string log = text();
    // Headless loads no shapes: only files that really are absent are warned about.
    EXPECT_FALSE(contains(log, "Warning: missing shape file @tt/rock.shp"));
    EXPECT_FALSE(contains(log, "Warning: missing shape file @tt/gate.shp"));
    EXPECT_TRUE(contains(log, "Warning: missing shape file @tt/none.shp\n"));
    EXPECT_TRUE(contains(log, "Warning: missing shape file @tt/gone.shp\n"));
}

TEST_F(track_load, statue_maps_are_looked_up_with_shaders_on)
{
    put("wall-repeat.png", "x");
    put("wall_norm-repeat.png", "x");
    put("wall_norm-repeat.ppm", "x");
    put("box_spec.ppm", "x");
    put("statues", "[ 10 0 10 ] 0 @tt/box.jm @tt/wall-repeat.png null\n");
    track_assets_install(&recording_assets);
    track_load_options options = {nullptr, 0, 1, true};
    ASSERT_TRUE(load_track("tt", &options));
    ASSERT_EQ(track.statues.count, 1);
    const statue& st = track.statues.items[0];
    EXPECT_NE(st.normal_map, 0u);
    EXPECT_NE(st.specular_map, 0u);
    std::vector<std::string> textures;
    for (const std::string& e : events)
        if (e.rfind("texture @tt/", 0) == 0 && e != "texture @tt/map.png")
            textures.push_back(e);
    std::vector<std::string> want = {"texture @tt/wall-repeat.png", "texture @tt/wall_norm-repeat.png",
                                     "texture @tt/box_spec.ppm"};
    EXPECT_EQ(textures, want);
}

TEST_F(track_load, object_orientation_cases)
{
    // A slope rising 0.05 per foot along x.
    write_terrain([](int col, int) { return col * 0.05f; });
    ASSERT_TRUE(load());
    auto expect_matrix = [](const mat3& m, const mat3& want) {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                EXPECT_NEAR(m.m[r][c], want.m[r][c], 1e-4) << r << "," << c;
    };
    auto turn = [](float a) {
        float c = std::cos(a), s = std::sin(a);
        return mat3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
    };
    expect_matrix(object_orientation(50, 50, 3.25f), mat3_identity());
    expect_matrix(object_orientation(50, 50, 10.0f), mat3_identity());
    float upright = -2 * 3.14159265f - 0.3f;
    expect_matrix(object_orientation(50, 50, upright), turn(upright));

    // On the slope: up is the ground normal, the frame stays orthonormal
    // and right-handed, and a zero turn keeps the back axis along +z.
    mat3 m = object_orientation(50, 50, 0.7f);
    vec3 right = mat3_column(m, 0), up = mat3_column(m, 1), back = mat3_column(m, 2);
    vec3 n = vec3_normalize_or({-0.05f, 1, 0}, {0, 1, 0});
    EXPECT_NEAR(vec3_dot(up, n), 1, 1e-4);
    EXPECT_NEAR(vec3_dot(right, up), 0, 1e-5);
    EXPECT_NEAR(vec3_dot(right, back), 0, 1e-5);
    EXPECT_NEAR(vec3_length(right), 1, 1e-5);
    EXPECT_NEAR(vec3_dot(vec3_cross(right, up), back), 1, 1e-4);
    EXPECT_NEAR(mat3_column(object_orientation(50, 50, 0), 2).z, 1, 1e-5);
    EXPECT_NEAR(mat3_column(object_orientation(50, 50, 0), 2).x, 0, 1e-5);
    // The turn about the normal: its right axis leans with the slope.
    EXPECT_GT(right.y, 0);
}

TEST_F(track_load, object_orientation_flat_equals_upright_turn)
{
    ASSERT_TRUE(load());
    for (float a : {0.0f, 0.5f, -1.2f, 3.0f}) {
        mat3 flat = object_orientation(40, 40, a);
        mat3 upright = object_orientation(40, 40, a - 4 * 3.14159265f);
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                EXPECT_NEAR(flat.m[r][c], upright.m[r][c], 1e-4) << a;
    }
}

TEST_F(track_load, statue_bucket_ranges)
{
    struct {
        float x, z, r;
        int c0, c1, r0, r1;
    } cases[] = {
        {500, 500, 10, 3, 4, 3, 4},
        {0, 0, 5, 0, 0, 0, 0},          // outside the central part: clamped
        {1000, 995, 1, 7, 7, 7, 7},
        {500, 200, 1000, 0, 7, 0, 7},   // a huge shape reaches every bucket
        {125, 875, 0, 0, 0, 7, 7},      // exactly on the central edges
    };
    for (const auto& c : cases) {
        int c0, c1, r0, r1;
        statue_bucket_range(c.x, c.z, c.r, 1000, &c0, &c1, &r0, &r1);
        EXPECT_EQ(c0, c.c0) << c.x << "," << c.z;
        EXPECT_EQ(c1, c.c1) << c.x << "," << c.z;
        EXPECT_EQ(r0, c.r0) << c.x << "," << c.z;
        EXPECT_EQ(r1, c.r1) << c.x << "," << c.z;
    }
}

TEST_F(track_load, statues_with_shapes_fill_buckets)
{
    // World size 128; the fake shapes have radius 100 unless named "none".
    put("statues", "[ 64 0 16 ] 0 null null @tt/none.shp\n"
                   "[ 64 0 16 ] 0 null null @tt/a.shp\n");
    track_assets_install(&recording_assets);
    ASSERT_TRUE(load());
    int listed = 0;
    for (auto& row : track.statue_buckets)
        for (auto& bucket : row) {
            listed += bucket.count;
            for (int i = 0; i < bucket.count; i++)
                EXPECT_EQ(bucket.items[i], 1);
        }
    EXPECT_EQ(listed, 64);   // radius 100 on a 128 ft field covers all 8 x 8
}

// ------------------------------------------------------------ flaggers

TEST_F(track_load, flaggers_read_and_animate)
{
    put("timing_gates", "checkpoints:\n10 [10 0 10] [1 0 0]\n10 [20 0 20] [1 0 0]\n"
                        "firstlap:\n0 1\nnormallap:\n0 1\n");
    put("flaggers", " [ 10 1 10 ] [ 20 1 10 ] 3 0.5 2\n s0 s1 s2 s3 s4\n"
                    "[ 30 0 30 ] 3 0.5 l0 l1 l2 l3\n"
                    "[ 40 0 40 ] 3 0.5 1 -1 -7 9 c0 c1\n"
                    "[ 50 0 50 ] 3 0.5 0 0 0 0 d0 d1\n"
                    "[ 60 0 60 ] 3 0.5 0 0\n");
    track_assets_install(&recording_assets);
    ASSERT_TRUE(load());
    ASSERT_GE(track.starter.billboard, 0);
    ASSERT_GE(track.lap.billboard, 0);
    ASSERT_EQ(track.caution_flaggers.count, 2);
    const caution_flagger& c = track.caution_flaggers.items[0];
    EXPECT_EQ(c.checkpoints[0], 1);
    EXPECT_EQ(c.checkpoints[1], -1);
    EXPECT_EQ(c.checkpoints[2], -1);
    EXPECT_EQ(c.checkpoints[3], 1);   // 9 clamped to the last checkpoint

    const starter_flagger& st = track.starter;
    billboard* b = &track.billboards.items[st.billboard];
    EXPECT_EQ(b->texture, st.textures[0]);
    struct {
        float t;
        int texture;
        float x;
    } steps[] = {{99, 0, 10}, {100.05f, 0, 10}, {100.2f, 1, 10}, {100.5f, 2, 10},
                 {102, 3, 15}, {103.5f, 4, 20}, {200, 4, 20}};
    for (const auto& s : steps) {
        starter_flagger_update(s.t, 100);
        b = &track.billboards.items[st.billboard];
        EXPECT_EQ(b->texture, st.textures[s.texture]) << s.t;
        EXPECT_NEAR(b->position.x, s.x, 1e-4) << s.t;
        EXPECT_NEAR(b->position.y, 1, 1e-4) << s.t;
    }

    struct {
        int leader, laps, halfway, texture;
    } laps[] = {{0, 5, 3, 0}, {3, 5, 3, 1}, {4, 5, 3, 2}, {5, 5, 3, 3}, {7, 5, 3, 3}, {0, 1, 1, 2}};
    for (const auto& l : laps) {
        lap_flagger_update(l.leader, l.laps, l.halfway);
        EXPECT_EQ(track.billboards.items[track.lap.billboard].texture, track.lap.textures[l.texture])
            << l.leader << " of " << l.laps;
    }

    const caution_flagger& d = track.caution_flaggers.items[1];
    auto shown = [](const caution_flagger& f) { return track.billboards.items[f.billboard].texture; };
    int down[] = {3};   // progress entry 3 is checkpoint 1
    caution_flaggers_update(down, 1);
    EXPECT_EQ(shown(c), c.waving_texture);
    EXPECT_EQ(shown(d), d.idle_texture);
    int down0[] = {2, -4};
    caution_flaggers_update(down0, 2);
    EXPECT_EQ(shown(c), c.idle_texture);
    EXPECT_EQ(shown(d), d.waving_texture);
    track_objects_reset();
    EXPECT_EQ(shown(d), d.idle_texture);
    EXPECT_EQ(timing_gates.checkpoints[0].caution, 0);
}

TEST_F(track_load, flaggers_stop_at_the_first_part_that_does_not_match)
{
    put("flaggers", "[ 30 0 30 ] 3 0.5 l0 l1 l2 l3\n");   // a lap flagger needs a starter first
    ASSERT_TRUE(load());
    EXPECT_EQ(track.starter.billboard, -1);
    EXPECT_EQ(track.lap.billboard, -1);
    EXPECT_EQ(track.billboards.count, roost_particle_count);
    starter_flagger_update(5, 0);   // no flaggers: nothing to move
    lap_flagger_update(1, 2, 1);
}

// ------------------------------------------------------------ cameras

TEST_F(track_load, cameras_and_gate_lists)
{
    write_terrain([](int col, int) { return col * 0.05f; });
    put("cameras", "fov -60\ngate 3 7\naddcamera 10 5 20\n"
                   "  gate\t300 4\naddcamera 30 1 30\n"
                   "autofovsize -2.5\ngate 9 x 10\naddcamera 40 0 40\n"
                   "\naddcamera 50 0 50\nnonsense here\naddcamera 60 0 60\n");
    ASSERT_TRUE(load());
    ASSERT_EQ(track.cameras.count, 4);
    const track_camera& first = track.cameras.items[0];
    EXPECT_FLOAT_EQ(first.fov, 60);
    EXPECT_FLOAT_EQ(first.autofovsize, 0);
    EXPECT_NEAR(first.position.y, 0.5f + 5, 1e-3);
    EXPECT_EQ(first.run[0], 0u);
    EXPECT_FLOAT_EQ(track.cameras.items[1].fov, 90);
    EXPECT_FLOAT_EQ(track.cameras.items[2].autofovsize, 2.5f);
    EXPECT_FLOAT_EQ(track.cameras.items[3].autofovsize, 0);
    EXPECT_EQ(gate_camera(3), 0);
    EXPECT_EQ(gate_camera(7), 0);
    EXPECT_EQ(gate_camera(4), -1);   // 300 ended its list
    EXPECT_EQ(gate_camera(9), 2);
    EXPECT_EQ(gate_camera(10), -1);
    std::string log = text();
    EXPECT_TRUE(contains(log, "Error reading cameras: Bad line 'nonsense here'\n"));
    EXPECT_TRUE(contains(log, "4 cameras found\n"));
}

// ------------------------------------------------------------ digest

TEST_F(track_load, digest_follows_timing_gates_and_statues_only)
{
    put("timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\nfirstlap: 0\nnormallap: 0\n");
    ASSERT_TRUE(load());
    std::string before = digest_hex();
    EXPECT_EQ(before, expected_digest(file("timing_gates"), "", ""));

    put("billboards", "[ 1 0 1 ] 1 1 @tree.png\n");   // not part of the digest
    put("cameras", "addcamera 1 1 1\n");
    ASSERT_TRUE(load());
    EXPECT_EQ(digest_hex(), before);

    put("timing_gates", "checkpoints:\n6 [1 0 1] [1 0 0]\nfirstlap: 0\nnormallap: 0\n");
    ASSERT_TRUE(load());
    EXPECT_NE(digest_hex(), before);
    EXPECT_EQ(digest_hex(), expected_digest(file("timing_gates"), "", ""));
}

// ------------------------------------------------------------ release

TEST_F(track_load, release_frees_in_order_and_logs)
{
    static const gate_line_store_ops lines = {nullptr, record_lines_release};
    static const terrain_render_ops render = {nullptr, nullptr, nullptr, record_hf_release};
    gate_line_store_install(&lines);
    terrain_render_ops_install(&render);
    track_assets_install(&recording_assets);
    put("timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\nfirstlap: 0\nnormallap: 0\n");
    put("statues", "[ 64 0 16 ] 0 null null @tt/a.shp\n");
    ASSERT_TRUE(load());
    events.clear();
    log_printf("-- release\n");
    release_track();
    std::vector<std::string> want = {"line store freed", "shape freed", "height field freed"};
    EXPECT_EQ(events, want);
    EXPECT_EQ(track.name, nullptr);
    EXPECT_EQ(track.statues.count, 0);
    EXPECT_EQ(timing_gates.checkpoint_count, 0);
    EXPECT_EQ(terrain.heights, nullptr);
    std::string log = text();
    size_t mark = log.find("-- release\n");
    ASSERT_NE(mark, std::string::npos);
    size_t start = log.find("Deallocating track\n", mark);
    size_t end = log.find("Finished deallocating track\n", mark);
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LT(start, end);
}

// ------------------------------------------------------------ decals

uint32_t decal_texture(const char* name) { return strstr(name, "missing") ? 0 : 7; }

TEST_F(track_load, decals_are_kept_indexed_and_written)
{
    static const terrain_texture_ops textures = {decal_texture, nullptr, nullptr};
    terrain_texture_ops_install(&textures);
    put("decals", "[ 64 64 ] 0 10 2 @mud.png\n"
                  "[ 1 1 ] 0 1 1 @missing.png\n"
                  "[ 2 2 ] 1.5707963 4 1 @puddle.png\n"
                  "[ 3 3 ] 0 oops @never.png\n");
    track_load_options textured = {nullptr, 0, 2, false};   // keeps texture ids, not images
    ASSERT_TRUE(load_track("tt", &textured));
    ASSERT_NE(terrain.decals, nullptr);
    const decal_list& list = *terrain.decals;
    ASSERT_EQ(list.count, 2);   // the one without an image is dropped
    EXPECT_EQ(list.items[0].texture, 7u);
    EXPECT_NEAR(list.items[1].sin_a, 1, 1e-6);
    // The first: 20 x 10 (ex 10, ez 5) around (64, 64) -> cells 3..4 both ways.
    for (int r = 0; r < decal_grid_side; r++)
        for (int c = 0; c < decal_grid_side; c++) {
            const decal_cell& cell = list.cells[r][c];
            std::vector<int> got(cell.items, cell.items + cell.count), want;
            if (r >= 3 && r <= 4 && c >= 3 && c <= 4)
                want.push_back(0);
            if (r == 0 && c == 0)
                want.push_back(1);
            EXPECT_EQ(got, want) << r << "," << c;
        }
    float ex, ez;
    decal_extents(1, 0, 4, 3, &ex, &ez);
    EXPECT_FLOAT_EQ(ex, 2);
    EXPECT_FLOAT_EQ(ez, 6);

    ASSERT_TRUE(write_decals(&terrain, "@tt"));
    EXPECT_EQ(read_file(home + "tt/decals"),
              "[64.000000 64.000000] 0.000000 10.000000 2.000000 @mud.png\n"
              "[2.000000 2.000000] 1.570796 4.000000 1.000000 @puddle.png\n");
}

}   // namespace
