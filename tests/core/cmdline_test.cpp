// Tests of the command line and the effective detail settings.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/startup_options.h"
#include "ui/settings.h"

struct parse_result {
    int status;
    std::string err;
    startup_options o;
    game_settings s;
};

static parse_result parse(std::vector<std::string> args)
{
    parse_result r;
    startup_options_defaults(&r.o);
    settings_set_defaults(&r.s);
    std::vector<char*> argv;
    static std::vector<std::vector<std::string>> keep;   // values outlive the call
    keep.push_back(args);
    argv.push_back(const_cast<char*>("vortrak"));
    for (std::string& a : keep.back())
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    r.status = parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), &r.o, &r.s);
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

TEST(CommandLine, FailuresGiveTheirMessageAndStatus1)
{
    struct { std::vector<std::string> args; const char* message; } cases[] = {
        {{"--fugly=1"}, "bad option '--fugly=1'\n"},
        {{"-x"}, "bad option '-x'\n"},
        {{"a.vkdemo", "b.vkdemo"}, "Too many files!\n"},
        {{"--erode", "abc"}, "Bad arg for --erode\n"},
        {{"--erode=nan"}, "Bad arg for --erode\n"},
        {{"--texture-detail", "x"}, "Bad arg for --texture-detail\n"},
        {{"--lock-fps"}, "Bad arg for --lock-fps\n"},          // value missing at the end
        {{"--fake-loss"}, "Bad arg for --fake-loss\n"},
        {{"--chase-center", "1,2"}, "Bad arg for --chase-center\n"},
        {{"--chase-center=1,2,x"}, "Bad arg for --chase-center\n"},
    };
    for (auto& c : cases) {
        parse_result r = parse(c.args);
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.err, c.message) << c.args[0];
    }
}

TEST(CommandLine, ValuesTakeBothFormsAndOptionsEndAtDoubleDash)
{
    parse_result a = parse({"--track", "stadium"});
    parse_result b = parse({"--track=stadium"});
    ASSERT_EQ(a.status, -1);
    ASSERT_EQ(b.status, -1);
    EXPECT_STREQ(a.o.start_track, "stadium");
    EXPECT_STREQ(b.o.start_track, "stadium");

    parse_result c = parse({"--debug", "--", "-weird.vkdemo"});
    EXPECT_EQ(c.status, -1);
    EXPECT_EQ(c.o.debug_level, 1);
    EXPECT_STREQ(c.o.file_argument, "-weird.vkdemo");

    parse_result d = parse({"--warp", "--"});
    EXPECT_EQ(d.status, -1);
    EXPECT_EQ(d.o.warp, 1);
    EXPECT_EQ(d.o.file_argument, nullptr);

    // After "--" even an option's name is a file.
    parse_result e = parse({"--", "--fugly"});
    EXPECT_EQ(e.o.fugly, 0);
    EXPECT_STREQ(e.o.file_argument, "--fugly");

    // A text option at the end is simply not given.
    parse_result f = parse({"--track"});
    EXPECT_EQ(f.status, -1);
    EXPECT_EQ(f.o.start_track, nullptr);
}

TEST(CommandLine, ClampingAndOrder)
{
    struct { std::vector<std::string> args; int texture, ground; } levels[] = {
        {{"--texture-detail", "9"}, 4, 4},
        {{"--texture-detail", "2", "--ground-texture-detail", "0"}, 2, 0},
        {{"--ground-texture-detail", "0", "--texture-detail", "2"}, 2, 2},
        {{"--texture-detail=-3"}, 0, 0},
    };
    for (auto& c : levels) {
        parse_result r = parse(c.args);
        EXPECT_EQ(r.o.texture_level, c.texture) << c.args[0];
        EXPECT_EQ(r.o.ground_texture_level, c.ground) << c.args[0];
    }
    EXPECT_DOUBLE_EQ(parse({"--fake-lag", "2500"}).o.fake_lag, 1.0);
    EXPECT_NEAR(parse({"--fake-lag", "250"}).o.fake_lag, 0.25, 1e-7);
    EXPECT_EQ(parse({"--fake-loss", "-5"}).o.fake_loss, 0);
    EXPECT_FLOAT_EQ(parse({"--lod-scale", "0"}).o.lod_scale, 0.000001f);
    EXPECT_FLOAT_EQ(parse({"--erode", "150"}).o.erode_amount, 100.0f);
    EXPECT_EQ(parse({"--roostfrequency", "5000"}).o.roost_frequency, 1000);
    parse_result m = parse({"--max-detail-distance", "40"});
    EXPECT_FLOAT_EQ(m.o.max_detail_distance[0], 40);
    EXPECT_FLOAT_EQ(m.o.max_detail_distance[1], 45);
    // Later repetitions override earlier ones.
    EXPECT_FLOAT_EQ(parse({"--lock-fps", "30", "--lock-fps=60"}).o.lock_fps, 60);
    EXPECT_EQ(parse({"--learn", "--nolearn"}).o.learn_lines, 0);
}

TEST(CommandLine, UnvalidatedAndAtoiOptions)
{
    parse_result w = parse({"--width", "abc"});
    EXPECT_EQ(w.status, -1);
    EXPECT_EQ(w.s.xres, 640);
    EXPECT_EQ(parse({"--width", "1280"}).s.xres, 1280);
    EXPECT_EQ(parse({"--depth", "abc"}).o.color_bits, 0);
    EXPECT_EQ(parse({"--zdepth", "24bits"}).o.depth_bits, 24);
    EXPECT_EQ(parse({"--rotate-lineup", "x"}).o.rotate_lineup, 0);
    EXPECT_EQ(parse({"--rotate-lineup", "3"}).o.rotate_lineup, 3);
    parse_result b = parse({"--bikes", "9"});
    EXPECT_EQ(b.status, -1);
    EXPECT_EQ(b.err, "--bikes doesn't do anything anymore\n");
}

TEST(CommandLine, ConnectLinksAndChaseCenter)
{
    EXPECT_STREQ(parse({"--connect", "vortrak:race.example:19800"}).o.connect_address,
                 "race.example:19800");
    EXPECT_STREQ(parse({"--connect=10.0.0.1"}).o.connect_address, "10.0.0.1");
    parse_result c = parse({"--chase-center", "1,2.5,-3"});
    EXPECT_EQ(c.status, -1);
    EXPECT_FLOAT_EQ(c.o.chase_center.x, 1);
    EXPECT_FLOAT_EQ(c.o.chase_center.y, 2.5f);
    EXPECT_FLOAT_EQ(c.o.chase_center.z, -3);
}

TEST(DetailSettings, DerivedFromTheGraphicsSettings)
{
    game_settings s;
    settings_set_defaults(&s);
    startup_options o;
    startup_options_defaults(&o);

    s.model_detail = 100;
    derive_detail_settings(s, &o);
    EXPECT_FLOAT_EQ(o.lod_scale, 0);
    EXPECT_FLOAT_EQ(o.lod_bias, 0);
    s.model_detail = 0;
    derive_detail_settings(s, &o);
    EXPECT_FLOAT_EQ(o.lod_scale, 8);
    EXPECT_FLOAT_EQ(o.lod_bias, 50);

    s.ground_detail = 50;
    s.ground_texture_detail = 9;
    s.ground_texture_dim = 3;
    s.model_texture_detail = 12;
    s.roost_density = 250.9f;
    derive_detail_settings(s, &o);
    EXPECT_FLOAT_EQ(o.terrain_detail, 0.0025f);
    EXPECT_EQ(o.ground_texture_level, 1);
    EXPECT_EQ(o.ground_texture_dim, 256);
    EXPECT_EQ(o.texture_level, 0);
    EXPECT_EQ(o.roost_frequency, 250);

    // The menu allows a ground detail of 0: the threshold stays finite.
    s.ground_detail = 0;
    derive_detail_settings(s, &o);
    EXPECT_TRUE(std::isfinite(o.terrain_detail));
    EXPECT_GT(o.terrain_detail, 0);
}
