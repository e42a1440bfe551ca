// race_fixture.h -- a race on the generated tracks, for the race setup and
// tick tests.
//
// The game root is the build's generated data (with "rabbithill" and its
// 40 starting gates); the home root is a scratch folder that also holds a
// small flat field without starting gates ("flat").  Each test gets a
// fresh physics world, the shape loader, the race state at its start-up
// values, and a services table that records the calls made into it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "core/game.h"
#include "core/race_setup.h"
#include "core/startup_options.h"
#include "core/tick.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/window.h"
#include "race/rules.h"
#include "sim/flat_track.h"
#include "terrain/track.h"
#include "test_support.h"
#include "ui/settings.h"

// What the recording services saw, in order.
inline std::vector<std::string> service_calls;
inline std::vector<demo_bike> demo_bikes_left;   // handed out by playback_next_bike

inline void note(const std::string& s) { service_calls.push_back(s); }

inline race_services recording_services()
{
    race_services s = {};
    s.lines_save = [] { note("lines_save"); };
    s.lines_free = [] { note("lines_free"); };
    s.lines_load = [](const char* t, int set) { note(std::string("lines_load ") + t + " " + std::to_string(set)); };
    s.lines_analyse = [] { note("lines_analyse"); };
    s.lines_stamp = [](int32_t stamp) { note("lines_stamp " + std::to_string(stamp)); };
    s.robots_reset = [] { note("robots_reset"); };
    s.robot_personality = [](bike* b, const char* name) {
        note("personality " + std::to_string(b->slot) + " " + name);
    };
    s.playback_open = [] {
        note("playback_open");
        return true;
    };
    s.playback_track = [] { return "rabbithill"; };
    s.playback_bike_count = [] { return static_cast<int>(demo_bikes_left.size()); };
    s.playback_next_bike = [](demo_bike* out) {
        if (demo_bikes_left.empty())
            return false;
        *out = demo_bikes_left.front();
        demo_bikes_left.erase(demo_bikes_left.begin());
        return true;
    };
    s.playback_close = [] { note("playback_close"); };
    s.recording_start = [] { note("recording_start"); };
    s.recording_stop = [] { note("recording_stop"); };
    s.record_frame = [] { note("record_frame"); };
    s.play_frame = [] { note("play_frame"); };
    s.series_record_event = [] { note("series_record_event"); };
    s.render_counters_advance = [] { note("track_reload"); };
    s.purge_textures = [] { note("purge_textures"); };
    s.purge_models = [] { note("purge_models"); };
    s.console_print = [](const char* text) { note(std::string("message ") + text); };
    return s;
}

struct RaceFixture : ::testing::Test {
    scratch_dir scratch;
    std::string home = scratch / "xdg/Vortrak";

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", VK_GAME_DIR);
        set_env("KOBU_LOGFILE", (scratch / "log.txt").c_str());
        write_file(home + "/.keep", "");
        log_reset_for_tests();
        headless_configure({});
        platform_install(&headless_window_ops);
        data_roots_reset();
        file_index_reset();
        ASSERT_TRUE(write_flat_track(home.c_str(), "flat", 7, 4.0f));
        ASSERT_TRUE(game_data_check());
        startup_options_defaults(&opts);
        settings_set_defaults(&settings);
        derive_detail_settings(settings, &opts);
        discover_tracks(file_name_list(), &tracks, 0);
        choose("rabbithill");
        ASSERT_TRUE(physics_world_create());
        bike_shapes_install_track_assets();
        race_setup_init();
        setup_defaults(&player_setup);
        bike_env.race = &rules_bike_race_ops;
        service_calls.clear();
        demo_bikes_left.clear();
        race_services s = recording_services();
        race_services_install(&s);
    }
    void TearDown() override
    {
        race_free_bikes();
        if (track.name)
            release_track();
        race.current_track = nullptr;
        physics_world_destroy();
        race_services_install(nullptr);
        tick_data.broad_phase = true;
        track_list_free(&tracks);
        selected_track = -1;
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        set_env("KOBU_LOGFILE", nullptr);
        set_env("VK_HOME", nullptr);
        set_env("XDG_DATA_HOME", nullptr);
        file_index_reset();
        data_roots_reset();
    }

    void choose(const char* dir)
    {
        selected_track = -1;
        for (int i = 0; i < tracks.count; i++)
            if (!std::strcmp(tracks.dirs[i], dir))
                selected_track = i;
        ASSERT_GE(selected_track, 0) << dir;
    }

    // A race with the given codes in slots 0, 1, ...; laps-only, 3 laps.
    void setup(std::vector<int> codes, int laps = 3, int duration = 0)
    {
        int lineup[max_slots] = {};
        for (size_t i = 0; i < codes.size() && i < max_slots; i++)
            lineup[i] = codes[i];
        race_setup(lineup, false, false, duration, laps, 0);
    }

    int bike_count() const
    {
        int n = 0;
        for (bike* b : race.bikes)
            n += b != nullptr;
        return n;
    }
};

inline vec3 frame_of(const bike* b) { return body_position(b->bodies[body_frame]); }
