// Tests of start-up end to end on the headless back end, and of track and
// demo discovery.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/discovery.h"
#include "core/game.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "test_support.h"

// A home root in a scratch folder, and a game root holding only the built
// shared archive, so the tests choose which tracks exist.
struct StartupTest : testing::Test {
    scratch_dir dir;
    std::string home() const { return dir.path + "/Vortrak/"; }

    void SetUp() override
    {
        std::string game = dir.path + "/game";
        write_file(game + "/zzzz.saf", read_file(VK_GAME_DIR "/zzzz.saf"));
        set_env("XDG_DATA_HOME", dir.path.c_str());
        set_env("VK_HOME", game.c_str());
        set_env("KOBU_LOGFILE", nullptr);
        set_env("KOBU_OPTIONS", nullptr);
        data_roots_reset();
        file_index_reset();
        log_reset_for_tests();
        headless_settings hs{};
        hs.width = 640;
        hs.height = 480;
        hs.frame_cost = 0.01;
        hs.close_after_frames = 5;
        headless_configure(hs);
    }
    void TearDown() override
    {
        log_reset_for_tests();
        set_env("VK_HOME", nullptr);
        set_env("XDG_DATA_HOME", nullptr);
        data_roots_reset();
        file_index_reset();
    }

    int run(std::vector<std::string> args, std::string* err = nullptr)
    {
        std::vector<char*> argv{const_cast<char*>("vortrak")};
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        log_reset_for_tests();   // each run starts afresh, as a new process would
        data_roots_reset();
        file_index_reset();
        testing::internal::CaptureStderr();
        int status = game_main(static_cast<int>(argv.size()) - 1, argv.data(), &headless_window_ops);
        std::string e = testing::internal::GetCapturedStderr();
        if (err)
            *err = e;
        return status;
    }
};

TEST_F(StartupTest, RunsTheLoopAndShutsDownInOrder)
{
    write_file(home() + "mytrack/terrain.hf", "x");
    write_file(home() + "mytrack/desc", "My Track\nsecond line\n");
    EXPECT_EQ(run({"--debug"}), 0);
    std::string log = read_file(home() + "lastlog.txt");
    EXPECT_NE(log.find("KOBU 0.31"), std::string::npos);
    EXPECT_NE(log.find("mytrack -> My Track"), std::string::npos);
    size_t a = log.find("Deallocating bikes");
    size_t b = log.find("Finished deallocating bikes");
    size_t c = log.find("Window shutdown complete");
    ASSERT_NE(a, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(headless_frames_drawn(), 5);
}

TEST_F(StartupTest, FailuresEndWithStatus1)
{
    std::string err;
    EXPECT_EQ(run({}, &err), 1);   // no track in the data
    EXPECT_EQ(err, "No tracks found\n");

    write_file(home() + "t/terrain.hf.gz", "x");
    EXPECT_EQ(run({"--bogus"}, &err), 1);
    EXPECT_EQ(err, "bad option '--bogus'\n");

    headless_settings hs{};
    hs.fail_open = true;
    headless_configure(hs);
    EXPECT_EQ(run({}, &err), 1);
    EXPECT_NE(read_file(home() + "lastlog.txt").find("Can't create window!"), std::string::npos);
}

TEST_F(StartupTest, MissingGameDataIsAFailure)
{
    scratch_dir empty;
    set_env("VK_HOME", empty.path.c_str());
    data_roots_reset();
    std::string err;
    EXPECT_EQ(run({}, &err), 1);
    EXPECT_NE(err.find("Can't find game data"), std::string::npos);
}

TEST_F(StartupTest, AWindowThatNeverBecomesDrawableShutsDown)
{
    write_file(home() + "t/terrain.hf", "x");
    headless_settings hs{};
    hs.width = 640;
    hs.height = 480;
    hs.undrawable_frames = 1000;
    headless_configure(hs);
    EXPECT_EQ(run({}), 0);
    EXPECT_NEAR(headless_clock(), 162 / 16.0 + 1.0, 1e-3);   // polls, then the closing second
}

TEST(Discovery, TracksSortByDisplayNameAndDemosKeepListOrder)
{
    scratch_dir dir;
    set_env("XDG_DATA_HOME", dir.path.c_str());
    set_env("VK_HOME", dir.path.c_str());
    data_roots_reset();
    file_index_reset();
    std::string root = dir.path + "/Vortrak/";
    write_file(root + "zz/desc", "Alpha\r\n");
    write_file(root + "aa/desc", "beta");
    const char* names[] = {
        "aa/terrain.hf", "aa/terrain.hf.gz", "bb/terrain.hf.scram", "demos/one.vkdemo",
        "demos/sub/Two.Race.vkdemo", "other/x.vkdemo", "zz/terrain.hf.gz.scram", "zz/terrain.hfx",
        nullptr,
    };
    track_list t;
    discover_tracks(names, &t, 0);
    ASSERT_EQ(t.count, 3);
    EXPECT_STREQ(t.names[0], "Alpha");
    EXPECT_STREQ(t.dirs[0], "zz");
    EXPECT_STREQ(t.names[1], "bb");   // no desc: the directory names it
    EXPECT_STREQ(t.names[2], "beta");
    EXPECT_STREQ(t.dirs[2], "aa");
    track_list_free(&t);

    demo_list d;
    discover_demos(names, &d, 0);
    ASSERT_EQ(d.count, 2);
    EXPECT_STREQ(d.paths[0], "demos/one.vkdemo");
    EXPECT_STREQ(d.names[0], "one");
    EXPECT_STREQ(d.names[1], "Two.Race");
    demo_list_free(&d);
    set_env("VK_HOME", nullptr);
    set_env("XDG_DATA_HOME", nullptr);
    data_roots_reset();
}
