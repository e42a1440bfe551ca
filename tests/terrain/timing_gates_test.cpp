// timing_gates_test.cpp -- the "timing_gates" file: reading with its
// mended faults, the starting-gate statues, the lap sequences, the
// crossing test and the editor's writer.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "track_fixture.h"

namespace {

std::vector<int> line_store_calls;   // segment counts given to create; -1 for release
void record_create(int segments) { line_store_calls.push_back(segments); }
void record_release() { line_store_calls.push_back(-1); }

struct gates : track_fixture {
    void SetUp() override
    {
        track_fixture::SetUp();
        line_store_calls.clear();
        static const gate_line_store_ops ops = {record_create, record_release};
        gate_line_store_install(&ops);
    }
    std::vector<int> entries() const
    {
        const timing_gate_set& t = timing_gates;
        return std::vector<int>(t.entries, t.entries + t.first_lap_count + t.normal_lap_count);
    }
};

const char full_file[] = "startinggate:\n"
                         "[ 100 0.5 50 ] 0\n"
                         "[110 0 50] 4.0 @gate.jm null @tt/gate.shp\n"
                         "  [ 120 0 50 ] -1.0 @custom.jm\n"
                         "checkpoints:\n"
                         "8 [10 0 10] [0 0 1]\n"
                         "8 [20 0 20] [1 0 0]\n"
                         "8 [30 0 30] [-1 0 0]\n"
                         "firstlap:\n"
                         "100003 7 -5 1\n"
                         "normallap:\n"
                         "0 1 2 100001\n";

TEST_F(gates, full_file_reads_places_statues_and_mends_entries)
{
    put("timing_gates", full_file);
    ASSERT_TRUE(load());
    const timing_gate_set& t = timing_gates;
    ASSERT_EQ(t.start_count, 3);
    ASSERT_EQ(t.checkpoint_count, 3);
    EXPECT_EQ(t.first_lap_count, 4);
    EXPECT_EQ(t.normal_lap_count, 4);
    EXPECT_EQ(t.counted_first, 3);
    EXPECT_EQ(t.counted_normal, 3);
    std::vector<int> want = {100002, 2, 0, 1, 0, 1, 2, 100001};
    EXPECT_EQ(entries(), want);
    EXPECT_EQ(line_store_calls, std::vector<int>{6});

    const float a1 = 4.0f - 2 * 3.14159265f;
    EXPECT_FLOAT_EQ(t.starts[0].angle, 0);
    EXPECT_NEAR(t.starts[1].angle, a1, 1e-5);
    EXPECT_FLOAT_EQ(t.starts[2].angle, -1);
    EXPECT_FLOAT_EQ(t.starts[0].position.y, 0.5f);
    EXPECT_STREQ(t.starts[0].model, default_gate_model);
    EXPECT_STREQ(t.starts[0].texture, default_gate_texture);
    EXPECT_STREQ(t.starts[0].shape, default_gate_shape);
    EXPECT_EQ(t.starts[1].texture, nullptr);
    EXPECT_STREQ(t.starts[2].model, "@custom.jm");
    EXPECT_STREQ(t.starts[2].shape, default_gate_shape);

    // Each gate's statue stands 3 ft behind the gate point, turned by its angle.
    ASSERT_EQ(track.statues.count, 3);
    const statue& s0 = track.statues.items[t.starts[0].statue];
    EXPECT_NEAR(s0.position.x, 100, 1e-4);
    EXPECT_NEAR(s0.position.z, 47, 1e-4);
    EXPECT_NEAR(s0.position.y, 0.5f, 1e-4);
    const statue& s1 = track.statues.items[t.starts[1].statue];
    EXPECT_NEAR(s1.position.x, 110 - 3 * std::sin(a1), 1e-4);
    EXPECT_NEAR(s1.position.z, 50 - 3 * std::cos(a1), 1e-4);
    EXPECT_NEAR(s1.angle, a1, 1e-5);
    EXPECT_STREQ(s1.shape_name, "@tt/gate.shp");
    EXPECT_EQ(s1.texture_name, nullptr);

    std::string log = text();
    EXPECT_NE(log.find("Found 3 timing gates, first lap has 4 gates, normal lap has 4\n"), std::string::npos);
    EXPECT_NE(log.find("timing_gates: 3 lap entries named missing checkpoints; mended\n"), std::string::npos);
}

TEST_F(gates, writer_round_trip)
{
    put("timing_gates", full_file);
    ASSERT_TRUE(load());
    ASSERT_TRUE(write_timing_gates("tt"));
    const std::string written = read_file(home + "tt/timing_gates");
    EXPECT_EQ(written, "startinggate:\n"
                       "[100.000000 0.500000 50.000000] 0.000000\n"
                       "[110.000000 0.000000 50.000000] -2.283185 @gate.jm null @tt/gate.shp\n"
                       "[120.000000 0.000000 50.000000] -1.000000 @custom.jm @startgate.ppm @startgate.shp\n"
                       "checkpoints:\n"
                       "8.000000 [10.000000 0.000000 10.000000] [0.000000 0.000000 1.000000]\n"
                       "8.000000 [20.000000 0.000000 20.000000] [1.000000 0.000000 0.000000]\n"
                       "8.000000 [30.000000 0.000000 30.000000] [-1.000000 0.000000 0.000000]\n"
                       "firstlap:\n100002 2 0 1 \n"
                       "normallap:\n0 1 2 100001 \n");
    // The home copy is found first and reads back the same.
    std::vector<int> before = entries();
    read_timing_gates("@tt/timing_gates");
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(timing_gates.start_count, 3);
    EXPECT_EQ(timing_gates.checkpoint_count, 3);

    // Empty sections are left out.
    free_timing_gates();
    ASSERT_TRUE(write_timing_gates("tt"));
    EXPECT_EQ(read_file(home + "tt/timing_gates"), "");
}

struct gate_file_case {
    const char* name;
    std::string file;
    int starts, checkpoints, first, normal;
    std::vector<int> entries;   // checked when not empty
};

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

TEST_F(gates, file_faults)
{
    const std::string one_checkpoint = "checkpoints:\n5 [1 0 1] [1 0 0]\n";
    const std::string simple_laps = "firstlap: 0\nnormallap: 0\n";
    const gate_file_case cases[] = {
        {"empty", "", 0, 0, 0, 0, {}},
        {"checkpoints first", "checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\nfirstlap:\n0\nnormallap:\n1 0\n",
         0, 2, 1, 2, {0, 1, 0}},
        {"first lap all uncounted", "startinggate:\n[1 0 1] 0\n" + one_checkpoint + "firstlap:\n100000\nnormallap:\n0\n",
         1, 0, 0, 0, {}},
        {"bad line ends the gates", "startinggate:\n[1 0 1] 0\nrubbish\n" + one_checkpoint + simple_laps,
         1, 0, 0, 0, {}},
        {"gate without angle", "startinggate:\n[1 0 1]\n" + one_checkpoint + simple_laps, 0, 0, 0, 0, {}},
        {"blank line between gates", "startinggate:\n[1 0 1] 0\n\n[2 0 2] 0\n" + one_checkpoint + simple_laps,
         2, 1, 1, 1, {0, 0}},
        {"no normal lap", one_checkpoint + "firstlap: 0\n", 0, 0, 0, 0, {}},
        {"no first lap", one_checkpoint + "normallap: 0\n", 0, 0, 0, 0, {}},
        {"missing checkpoints clamped",
         "checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\nfirstlap: 300 100300 2147483647\nnormallap: 0\n",
         0, 2, 3, 1, {1, 100001, 100001, 0}},
        {"long first lap", one_checkpoint + "firstlap:\n" + repeat("0 ", 300) + "\nnormallap: 0\n", 0, 1, 256, 1, {}},
        {"too many gates", "startinggate:\n" + repeat("[5 0 5] 1\n", 170) + one_checkpoint + simple_laps,
         160, 1, 1, 1, {}},
        {"too many checkpoints", "checkpoints:\n" + repeat("5 [1 0 1] [1 0 0]\n", 260) + simple_laps,
         0, 256, 1, 1, {}},
        {"infinite radius ends checkpoints", one_checkpoint + "1e999 [2 0 2] [1 0 0]\n" + simple_laps,
         0, 1, 1, 1, {}},
        {"section header only", "startinggate:\n", 0, 0, 0, 0, {}},
    };
    ASSERT_TRUE(load());
    for (const gate_file_case& c : cases) {
        SCOPED_TRACE(c.name);
        put("timing_gates", c.file);
        read_timing_gates("@tt/timing_gates");
        const timing_gate_set& t = timing_gates;
        EXPECT_EQ(t.start_count, c.starts);
        EXPECT_EQ(t.checkpoint_count, c.checkpoints);
        EXPECT_EQ(t.first_lap_count, c.first);
        EXPECT_EQ(t.normal_lap_count, c.normal);
        EXPECT_EQ(timing_gates_usable(), c.checkpoints > 0);
        if (!c.entries.empty()) {
            EXPECT_EQ(entries(), c.entries);
        }
        for (int i = 0; i < t.first_lap_count + t.normal_lap_count; i++)
            EXPECT_LT(t.entries[i] % timing_entry_uncounted, t.checkpoint_count);
    }
    std::string log = text();
    EXPECT_NE(log.find("timing_gates: 10 starting gates past the first 160 ignored\n"), std::string::npos);
    EXPECT_NE(log.find("timing_gates: firstlap has 44 entries past the first 256; ignored\n"), std::string::npos);
    EXPECT_NE(log.find("timing_gates: checkpoints past the first 256 ignored\n"), std::string::npos);
}

TEST_F(gates, line_store_follows_usable_gates)
{
    put("timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\nfirstlap: 100000\nnormallap: 0\n");
    ASSERT_TRUE(load());
    EXPECT_TRUE(line_store_calls.empty());
    put("timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\nfirstlap: 0 100000 0\nnormallap: 0 0\n");
    ASSERT_TRUE(load());
    EXPECT_EQ(line_store_calls, std::vector<int>{4});
    release_track();
    EXPECT_EQ(line_store_calls, (std::vector<int>{4, -1}));
    release_track();   // nothing left to release
    EXPECT_EQ(line_store_calls.size(), 2u);
}

TEST_F(gates, sequence_positions_repeat_the_normal_lap)
{
    put("timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\n5 [3 0 3] [1 0 0]\n"
                        "firstlap: 2 100000 1\nnormallap: 100002 0\n");
    ASSERT_TRUE(load());
    struct {
        int entry, index, gate;
        bool counted;
    } cases[] = {{-1, -1, -1, false}, {0, 0, 2, true},  {1, 1, 0, false}, {2, 2, 1, true},
                 {3, 3, 2, false},    {4, 4, 0, true},  {5, 3, 2, false}, {6, 4, 0, true},
                 {1001, 3, 2, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(timing_sequence_index(c.entry), c.index) << c.entry;
        EXPECT_EQ(timing_checkpoint_of(c.entry), c.gate) << c.entry;
        EXPECT_EQ(timing_entry_counted(c.entry), c.counted) << c.entry;
    }
}

TEST(at_checkpoint_test, half_disc_facing_its_direction)
{
    checkpoint g{};
    g.position = {10, 5, 10};
    g.direction = {1, 0, 0};
    g.radius = 4;
    struct {
        vec3 p;
        bool at;
    } cases[] = {
        {{10, 5, 10}, true},      // on the position
        {{13, 100, 10}, true},    // height ignored
        {{14, 0, 10}, true},      // on the rim
        {{14.01f, 0, 10}, false}, // just outside
        {{7, 0, 10}, false},      // inside, behind
        {{10, 0, 13}, true},      // inside, level with the gate line
        {{20, 0, 10}, false},     // outside in front
        {{0, 0, 10}, false},      // outside behind
    };
    for (const auto& c : cases)
        EXPECT_EQ(at_checkpoint(c.p, g), c.at) << c.p.x << "," << c.p.y << "," << c.p.z;
}

}   // namespace
