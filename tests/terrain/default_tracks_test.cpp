// default_tracks_test.cpp -- the generated default tracks load and ride.
//
// Loads "rabbithill" and "stadium" from the built data root through
// load_track and checks what makes them raceable: the lap length, a full
// start gate on level ground, checkpoints in order around the course and
// on course surfaces, smooth finite ground, a camera for every gate and
// the flaggers; then runs the generator twice and compares every byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"
#include "test_support.h"

namespace {

struct track_case {
    const char* dir;
    int levels;              // the height field's n
    double min_km, max_km;   // lap length measured through the checkpoints
    float max_slope_deg;     // steepest ground anywhere (stadium walls are steep)
};

const track_case track_cases[] = {
    {"rabbithill", 9, 1.3, 1.8, 50},
    {"stadium", 8, 0.35, 0.7, 75},
};

void PrintTo(const track_case& c, std::ostream* os) { *os << c.dir; }

struct default_track : ::testing::TestWithParam<track_case> {
    scratch_dir scratch;

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", VK_GAME_DIR);
        set_env("KOBU_LOGFILE", (scratch / "log.txt").c_str());
        set_env("KOBU_LOGFILE_FLAGS", nullptr);
        log_reset_for_tests();
        headless_configure({});
        platform_install(&headless_window_ops);
        data_roots_reset();
        file_index_reset();
        track_assets_install(nullptr);
        gate_line_store_install(nullptr);
        terrain_texture_ops_install(nullptr);
        terrain_render_ops_install(nullptr);
        terrain_verbosity = 1;
        ASSERT_TRUE(load_track(GetParam().dir, nullptr)) << GetParam().dir;
    }
    void TearDown() override
    {
        release_track();
        terrain_verbosity = 0;
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        set_env("KOBU_LOGFILE", nullptr);
        set_env("VK_HOME", nullptr);
        file_index_reset();
        data_roots_reset();
    }

    // Tile number -> texture short name, from the track's own "tileinfo".
    std::vector<std::string> tile_names()
    {
        std::istringstream in(read_file(std::string(VK_GAME_DIR) + "/" + GetParam().dir + "/tileinfo"));
        std::vector<std::string> names;
        for (std::string key, value; in >> key;) {
            std::getline(in, value);
            if (key == "texture")
                names.push_back(value.substr(value.rfind('/') + 1));
        }
        return names;
    }
};

float dist2d(vec3 a, vec3 b) { return std::hypot(a.x - b.x, a.z - b.z); }

TEST_P(default_track, every_file_parses_cleanly)
{
    log_printf(nullptr);
    std::string log = read_file(scratch / "log.txt");
    for (const char* fault : {"arning", "rror", "Bad ", "Can't", "nknown"})
        EXPECT_EQ(log.find(fault), std::string::npos) << fault << " in:\n" << log;
    EXPECT_NE(log.find("Found "), std::string::npos) << log;   // the timing gates are usable
}

TEST_P(default_track, ground_is_finite_and_smooth)
{
    const track_case& c = GetParam();
    ASSERT_EQ(terrain.level_count, c.levels);
    int n = terrain.size;
    float max_rise = terrain.spacing * std::tan(c.max_slope_deg * 3.14159265f / 180);
    for (int row = 0; row < n; row++) {
        for (int col = 0; col < n; col++) {
            float h = terrain.heights[row * n + col];
            ASSERT_TRUE(std::isfinite(h)) << col << "," << row;
            if (col + 1 < n) {
                ASSERT_LE(std::fabs(terrain.heights[row * n + col + 1] - h), max_rise) << col << "," << row;
            }
            if (row + 1 < n) {
                ASSERT_LE(std::fabs(terrain.heights[(row + 1) * n + col] - h), max_rise) << col << "," << row;
            }
        }
    }
}

TEST_P(default_track, full_start_gate_on_level_ground)
{
    ASSERT_GE(timing_gates.start_count, 40);
    float lo = 1e30f, hi = -1e30f;
    for (int g = 0; g < timing_gates.start_count; g++) {
        const starting_gate& s = timing_gates.starts[g];
        ASSERT_GE(s.statue, 0);
        ASSERT_LT(s.statue, track.statues.count);
        for (int k = 0; k < g; k++)
            EXPECT_GE(dist2d(s.position, timing_gates.starts[k].position), 4.0f) << "gates " << k << ", " << g;
        // From behind the rider to well down the start straight.
        float fx = -std::sin(s.angle), fz = -std::cos(s.angle);
        for (float t = -10; t <= 60; t += 5) {
            float h = terrain_height(terrain, s.position.x + fx * t, s.position.z + fz * t);
            lo = std::min(lo, h);
            hi = std::max(hi, h);
        }
    }
    EXPECT_LE(hi - lo, 1.0f);
}

TEST_P(default_track, checkpoints_run_in_order_round_the_lap)
{
    const track_case& c = GetParam();
    ASSERT_TRUE(timing_gates_usable());
    int n = timing_gates.normal_lap_count;
    ASSERT_GE(n, 4);
    ASSERT_EQ(timing_gates.first_lap_count, n + 1);   // the start chute's checkpoint first
    EXPECT_FALSE(timing_entry_counted(0));
    std::vector<const checkpoint*> lap;
    std::set<int> seen;
    for (int k = 0; k < n; k++) {
        int cp = timing_checkpoint_of(n + 1 + k);
        EXPECT_EQ(cp, timing_checkpoint_of(1 + k)) << "the first lap runs the normal lap after the chute";
        EXPECT_TRUE(seen.insert(cp).second) << "checkpoint " << cp << " twice in the lap";
        lap.push_back(&timing_gates.checkpoints[cp]);
    }
    // In order: the facings turn through one full circle, each stretch
    // leaves a checkpoint forwards-ish and enters the next one likewise
    // (a hairpin turns a stretch sideways, never backwards), and the
    // checkpoints are evenly spread.
    double length = 0, winding = 0, shortest = 1e30, longest = 0;
    for (int k = 0; k < n; k++) {
        const checkpoint& a = *lap[k];
        const checkpoint& b = *lap[(k + 1) % n];
        float dx = b.position.x - a.position.x, dz = b.position.z - a.position.z;
        float chord = std::hypot(dx, dz);
        length += chord;
        shortest = std::min<double>(shortest, chord);
        longest = std::max<double>(longest, chord);
        EXPECT_GT((dx * a.direction.x + dz * a.direction.z) / chord, -0.7f) << "checkpoint " << k;
        EXPECT_GT((dx * b.direction.x + dz * b.direction.z) / chord, -0.7f) << "checkpoint " << k + 1;
        double turn = std::atan2(b.direction.z, b.direction.x) - std::atan2(a.direction.z, a.direction.x);
        winding += std::remainder(turn, 2 * 3.14159265358979);
        vec3 past = {a.position.x + a.direction.x, a.position.y, a.position.z + a.direction.z};
        vec3 before = {a.position.x - a.direction.x, a.position.y, a.position.z - a.direction.z};
        EXPECT_TRUE(at_checkpoint(past, a));
        EXPECT_FALSE(at_checkpoint(before, a));
    }
    EXPECT_NEAR(std::fabs(winding), 2 * 3.14159265358979, 1e-3);
    EXPECT_GT(shortest, 0.4 * length / n);
    EXPECT_LT(longest, 2.0 * length / n);
    EXPECT_GE(length / 3280.84, c.min_km);
    EXPECT_LE(length / 3280.84, c.max_km);
}

TEST_P(default_track, checkpoints_stand_on_course_surfaces)
{
    std::vector<std::string> names = tile_names();
    ASSERT_EQ(static_cast<int>(names.size()), terrain.tile_count);
    const std::set<std::string> course = {"dirt.png", "hardpack.png", "loam.png"};
    for (int k = 0; k < timing_gates.checkpoint_count; k++) {
        const checkpoint& cp = timing_gates.checkpoints[k];
        int t = tile_at(terrain, cp.position.x, cp.position.z);
        EXPECT_TRUE(course.count(names[t])) << "checkpoint " << k << " on " << names[t];
        // Course surfaces grip well: no slick tile under a checkpoint.
        EXPECT_GE(friction_at(terrain.tiles[t], 1), 0.75f);
    }
}

TEST_P(default_track, every_gate_has_a_camera_and_flaggers_watch)
{
    ASSERT_GT(track.cameras.count, 0);
    int entries = timing_gates.first_lap_count + timing_gates.normal_lap_count;
    for (int g = 0; g < entries; g++) {
        int cam = gate_camera(g);
        EXPECT_GE(cam, 0) << "gate " << g;
        EXPECT_LT(cam, track.cameras.count) << "gate " << g;
    }
    for (int k = 0; k < track.cameras.count; k++)
        EXPECT_GT(track.cameras.items[k].position.y,
                  terrain_height(terrain, track.cameras.items[k].position.x, track.cameras.items[k].position.z));
    EXPECT_GE(track.starter.billboard, 0);
    EXPECT_GE(track.lap.billboard, 0);
    ASSERT_GT(track.caution_flaggers.count, 0);
    for (int k = 0; k < track.caution_flaggers.count; k++)
        EXPECT_GE(track.caution_flaggers.items[k].checkpoints[0], 0);
    EXPECT_GT(track.statues.count, timing_gates.start_count);   // bales, banners, markers besides the gates
    EXPECT_GT(track.billboards.count, roost_particle_count);   // trees or spectators besides the roost
}

INSTANTIATE_TEST_SUITE_P(tracks, default_track, ::testing::ValuesIn(track_cases),
                         [](const ::testing::TestParamInfo<track_case>& info) { return info.param.dir; });

// Relative path -> bytes of every file below a folder, in name order.
std::vector<std::pair<std::string, std::string>> tree(const std::string& root)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.emplace_back(std::filesystem::relative(e.path(), root).string(), read_file(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

TEST(default_tracks, generator_is_deterministic)
{
    scratch_dir scratch;
    std::string generator = std::string(VK_BUILD_DIR) + "/tools/datagen";
    for (const char* run : {"a", "b"})
        ASSERT_EQ(std::system((generator + " --out " + (scratch / run) + " > /dev/null").c_str()), 0);
    auto a = tree(scratch / "a"), b = tree(scratch / "b");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](const auto& f) { return f.first == "rabbithill/timing_gates"; }));
    for (size_t i = 0; i < a.size(); i++) {
        EXPECT_EQ(a[i].first, b[i].first);
        EXPECT_TRUE(a[i].second == b[i].second) << a[i].first << " differs between runs";
    }
}

}   // namespace
