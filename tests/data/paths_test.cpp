// paths_test.cpp -- data roots, safe data names, renames, the home folder
// opener and the working-set range.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "data/file_index.h"
#include "data/paths.h"
#include "data/stream.h"
#include "test_support.h"

namespace {

// Points the home root and VK_HOME at scratch folders for one test.
class PathsTest : public ::testing::Test {
protected:
    scratch_dir dir;
    std::string home = dir / "home";
    std::string game = dir / "game";

    void SetUp() override
    {
        mkdir(game.c_str(), 0755);
        set_env("XDG_DATA_HOME", home.c_str());
        set_env("VK_HOME", game.c_str());
        data_roots_reset();
        file_index_reset();
    }
    void TearDown() override
    {
        data_roots_reset();
        file_index_reset();
    }
    std::string home_root_path() const { return home + "/Vortrak/"; }
};

std::string exe_dir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    buf[n > 0 ? n : 0] = 0;
    std::string s(buf);
    return s.substr(0, s.rfind('/') + 1);
}

TEST_F(PathsTest, RootsAreHomeThenVkHomeNormalised)
{
    set_env("XDG_DATA_HOME", (dir.path + "//sub\\dir/").c_str());
    set_env("VK_HOME", (game + "//").c_str());
    data_roots_reset();
    ASSERT_EQ(data_root_count(), 2);
    EXPECT_EQ(std::string(data_root(0)), dir.path + "/sub/dir/Vortrak/");
    EXPECT_EQ(std::string(data_root(1)), game + "/");
    EXPECT_EQ(data_root(2), nullptr);
    EXPECT_EQ(data_root(-1), nullptr);
    EXPECT_STREQ(home_root(), data_root(0));
}

TEST_F(PathsTest, RelativeXdgFallsBackToHomeShare)
{
    set_env("XDG_DATA_HOME", "relative/dir");
    set_env("HOME", dir.path.c_str());
    data_roots_reset();
    EXPECT_EQ(std::string(data_root(0)), dir.path + "/.local/share/Vortrak/");
}

// Without VK_HOME the executable's folder is the second root; with it, that
// folder is not searched at all.
TEST_F(PathsTest, ExecutableFolderOnlyWithoutVkHome)
{
    std::string probe_name = "vk_probe_" + std::to_string(getpid()) + ".txt";
    std::string probe = exe_dir() + probe_name;
    write_file(probe, "exe");
    std::string data_name = "@" + probe_name;

    file_stream* s = stream_open(data_name.c_str(), "rb");
    EXPECT_EQ(s, nullptr);
    stream_close(s);

    set_env("VK_HOME", nullptr);
    data_roots_reset();
    file_index_reset();
    ASSERT_EQ(data_root_count(), 2);
    EXPECT_EQ(std::string(data_root(1)), exe_dir());
    s = stream_open(data_name.c_str(), "rb");
    EXPECT_NE(s, nullptr);
    stream_close(s);
    unlink(probe.c_str());
}

TEST(DataNames, UnsafeNamesAreRefused)
{
    const char* bad[] = { "", "/etc/passwd", "\\x", "..", "../x", "a/../../x", "a/..", "..\\x", "a\\..\\b" };
    for (const char* name : bad)
        EXPECT_FALSE(data_name_is_safe(name)) << name;
    const char* good[] = { "config", "tracks/foo/terrain.hf", "a/..b/c", "...", "x..", ".hidden/a" };
    for (const char* name : good)
        EXPECT_TRUE(data_name_is_safe(name)) << name;
}

TEST_F(PathsTest, HomePathRefusesUnsafeAndOverlongNames)
{
    char out[path_max];
    ASSERT_TRUE(home_path(out, sizeof out, "@demos/a.vkdemo"));
    EXPECT_EQ(std::string(out), home_root_path() + "demos/a.vkdemo");
    EXPECT_FALSE(home_path(out, sizeof out, "@../escape"));
    std::string longname(path_max, 'n');
    EXPECT_FALSE(home_path(out, sizeof out, longname.c_str()));
}

TEST_F(PathsTest, RenameUnderDataNamesUsesHomeRoot)
{
    write_file(home_root_path() + "old.txt", "data");
    EXPECT_TRUE(file_rename("@old.txt", "@new.txt"));
    EXPECT_FALSE(file_exists(home_root_path() + "old.txt"));
    EXPECT_EQ(read_file(home_root_path() + "new.txt"), "data");

    write_file(dir / "victim.txt", "keep");
    EXPECT_FALSE(file_rename("@new.txt", "@../../victim.txt"));
    EXPECT_EQ(read_file(dir / "victim.txt"), "keep");
    EXPECT_FALSE(file_rename("@missing.txt", "@other.txt"));
}

TEST_F(PathsTest, MakeParentDirsCreatesEveryPrefix)
{
    std::string path = dir / "a/b/c/file.txt";
    make_parent_dirs(path.c_str());
    struct stat st;
    ASSERT_EQ(stat((dir / "a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_FALSE(file_exists(path));
}

// A fake "xdg-open" on PATH records its argument; the home root is created
// first and passed without its trailing "/".
TEST_F(PathsTest, OpenInBrowserRunsXdgOpenOnHomeRoot)
{
    std::string bin = dir / "bin";
    std::string record = dir / "opened.txt";
    write_file(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + record + ".tmp && mv " + record + ".tmp " + record + "\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    set_env("PATH", (bin + ":/bin:/usr/bin").c_str());
    bool started = home_open_in_browser();
    for (int i = 0; i < 500 && !file_exists(record); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    set_env("PATH", bin.c_str());
    unlink((bin + "/xdg-open").c_str());
    bool started_without_opener = home_open_in_browser();
    set_env("PATH", old_path.c_str());

    EXPECT_TRUE(started);
    EXPECT_EQ(read_file(record), home + "/Vortrak");
    struct stat st;
    EXPECT_EQ(stat(home_root_path().c_str(), &st), 0);
    EXPECT_FALSE(started_without_opener);
}

TEST(WorkingSet, RangeFromPhysicalMemory)
{
    struct row {
        unsigned long long physical;
        bool ok;
        unsigned minimum, maximum;
    };
    const row rows[] = {
        { 512ull << 20, true, 503316480u, 503316480u },
        { 4ull << 30, true, 1073741824u, 2113929216u },
        { 2ull << 30, true, 1073741824u, 2113929216u },
        { 64ull << 20, true, 33554432u, 33554432u },
        { (64ull << 20) - 1, false, 0, 0 },
        { 0, false, 0, 0 },
    };
    for (const row& r : rows) {
        unsigned minimum = 0, maximum = 0;
        EXPECT_EQ(working_set_range(r.physical, &minimum, &maximum), r.ok) << r.physical;
        if (r.ok) {
            EXPECT_EQ(minimum, r.minimum) << r.physical;
            EXPECT_EQ(maximum, r.maximum) << r.physical;
        }
    }
}

}   // namespace
