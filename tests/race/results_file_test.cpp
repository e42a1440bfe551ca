// "results.txt": its bytes, and replacing the old file only when the new
// one was written whole.
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "base/tick.h"
#include "data/paths.h"
#include "race/results_file.h"
#include "race_fixture.h"
#include "test_support.h"

namespace {

struct ResultsFileTest : RaceFixture {
    std::string results_path;
    void SetUp() override
    {
        RaceFixture::SetUp();
        results_path = home.path + "/Vortrak/results.txt";
        set_sequence({0, 1, 2}, {0, 1, 2});   // three passages a lap
        race.race_start_tick = 128;
        race.laps_setting = race.race_laps = 2;
        race.current_track = "tracks/testbowl";
    }
};

TEST_F(ResultsFileTest, SmallRaceByteForByte)
{
    set_history(add_bike(3, "7", "yz250f(2008)"), {384, 640, 1024, 1280, 1536, 1920});
    // Skipped passage 1: reference (640 + 1600) / 2, so 1120 + 128 - 704 = 544 ticks.
    set_history(add_bike(0, "12", "kx125"), {400, -1, 1104, 1300, 1600, 2016});
    // Lapped, takes the flag after the winner with one lap.
    set_history(add_bike(5, "31", "cr125"), {500, 800, 2100});
    // Still out on the course: left out of the file.
    set_history(add_bike(8, "99", "rm125"), {600, 900});
    update_standings();
    ASSERT_FALSE(race.results_final);
    build_final_results();
    ASSERT_TRUE(write_results_as(results_data_name, 1234567890L));

    const std::string expected =
        "Time=0.00|Laps=2|Track=tracks/testbowl|Date=1234567890\r\n"
        " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
        "   7 | yz250f(2008) |    2 |   0:14.000 |    2 |   0:07.000\r\n"
        "  12 |        kx125 |    2 |   0:19.000 |    2 |   0:07.125\r\n"
        "  31 |        cr125 |    1 |   0:15.406 |    0 |   0:00.000\r\n"
        "\r\n"
        "6\r\n"
        "   2.000    4.000    7.000\r\n"
        "   9.000   11.000   14.000\r\n"
        "\r\n"
        "6\r\n"
        "   2.125       -1    7.625\r\n"
        "   9.156   11.500   14.750\r\n"
        "\r\n"
        "3\r\n"
        "   2.906    5.250   15.406\r\n";
    EXPECT_EQ(read_file(results_path), expected);
    EXPECT_FALSE(file_exists(results_path + ".tmp"));
}

TEST_F(ResultsFileTest, LapsTakenForCuttingShowInTheTable)
{
    race.race_duration = int(600 / tick_period);
    // Alone and cut: 7680 + 128 - 200 = 7608 ticks; laps of 3000 take two
    // laps away and leave 1608 in the total time.
    bike* b = add_bike(2, "5", "rm125");
    set_history(b, {100, -1, 300, 1300, 2300, 3300, 4300, 5300, 6300});
    b->finished = true;
    update_standings();
    build_final_results();
    ASSERT_TRUE(write_results_as(results_data_name, 0));
    std::string text = read_file(results_path);
    EXPECT_EQ(text.substr(0, text.find("\r\n\r\n")),
              "Time=600.00|Laps=2|Track=tracks/testbowl|Date=0\r\n"
              " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
              "   5 |        rm125 |    1 |   1:00.781 |    2 |   0:23.437");
    EXPECT_NE(text.find("\r\n9\r\n"), std::string::npos);   // every passage is still listed
}

TEST_F(ResultsFileTest, TheOldFileStaysUnlessTheNewOneIsWhole)
{
    set_history(add_bike(0, "12", "kx125"), {100, 200, 300, 400, 500, 600});
    race.bikes[0]->finished = true;
    update_standings();
    build_final_results();
    write_file(results_path, "old results");

    // The temporary file can't be created.
    mkdir((results_path + ".tmp").c_str(), 0755);
    EXPECT_FALSE(write_results_as(results_data_name, 1));
    EXPECT_EQ(read_file(results_path), "old results");
    rmdir((results_path + ".tmp").c_str());

    // The rename fails: the temporary file goes.
    std::string blocked = home.path + "/Vortrak/blocked";
    mkdir(blocked.c_str(), 0755);
    write_file(blocked + "/inside", "x");
    EXPECT_FALSE(write_results_as("@blocked", 1));
    EXPECT_FALSE(file_exists(blocked + ".tmp"));
    EXPECT_EQ(read_file(blocked + "/inside"), "x");

    // A whole write replaces the old file and leaves nothing else.
    EXPECT_TRUE(write_results_as(results_data_name, 1));
    EXPECT_EQ(read_file(results_path).substr(0, 5), "Time=");
    EXPECT_FALSE(file_exists(results_path + ".tmp"));
}

TEST_F(ResultsFileTest, WrittenOnceWhenTheRaceIsDecided)
{
    race.laps_setting = race.race_laps = 1;
    add_bike(0, "12", "kx125");
    add_bike(1, "7", "cr125");
    int t = ride(0, 3, 200);
    EXPECT_FALSE(file_exists(results_path));
    ride(1, 3, t);
    ASSERT_TRUE(race.results_final);
    std::string text = read_file(results_path);
    EXPECT_EQ(text.substr(0, 40), "Time=0.00|Laps=1|Track=tracks/testbowl|D");
    EXPECT_NE(text.find("  12 |        kx125 |    1 |   0:02.125 |    0 |   0:00.000\r\n"), std::string::npos);
    remove(results_path.c_str());
    update_standings();
    EXPECT_FALSE(file_exists(results_path));
}

}  // namespace
