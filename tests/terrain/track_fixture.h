// track_fixture.h -- a scratch data root holding one tiny track "tt".
//
// The game root ($VK_HOME) gets the terrain files of a 129 x 129 field
// (n = 6, spacing 1, heights 0..10 from a function of x and z), a flat
// shading image, a default tile and an empty tile map; tests add the
// track's other files with put().  The log goes to a scratch file on the
// headless clock; text() closes it and returns it.  Every ops table the
// track code uses is back at its headless default around each test.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

#include "base/sha1.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "terrain/height_field.h"
#include "terrain/timing_gates.h"
#include "terrain/track.h"
#include "test_support.h"

struct track_fixture : ::testing::Test {
    scratch_dir scratch;
    std::string game = scratch / "game/";
    std::string home = scratch / "xdg/Vortrak/";
    std::string log_path = scratch / "log.txt";
    static constexpr int side = 129;   // samples per side for n = 6
    static constexpr float top = 10;   // max_height of the header

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", (scratch / "game").c_str());
        set_env("KOBU_LOGFILE", log_path.c_str());
        set_env("KOBU_LOGFILE_FLAGS", nullptr);
        write_file(home + ".keep", "");
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
        write_terrain([](int, int) { return 0.0f; });
    }
    void TearDown() override
    {
        release_track();
        track_assets_install(nullptr);
        gate_line_store_install(nullptr);
        terrain_texture_ops_install(nullptr);
        terrain_render_ops_install(nullptr);
        terrain_verbosity = 0;
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        set_env("KOBU_LOGFILE", nullptr);
        file_index_reset();
        data_roots_reset();
    }

    void put(const std::string& file, const std::string& text) { write_file(game + "tt/" + file, text); }
    std::string file(const std::string& name) { return read_file(game + "tt/" + name); }

    // Heights in feet from (col, row), quantised as the file stores them.
    void write_terrain(const std::function<float(int, int)>& height)
    {
        std::string hf = "6 1.0 0 10 :";
        for (int row = 0; row < side; row++)
            for (int col = 0; col < side; col++) {
                auto u = static_cast<uint16_t>(std::lround(height(col, row) / top * 65535));
                hf += static_cast<char>(u & 0xff);
                hf += static_cast<char>(u >> 8);
            }
        put("terrain.hf", hf);
        put("shading.ppm", "P6\n129 129\n255\n" + std::string(side * side * 3, '\x80'));
        put("texturelist", "");
        put("tilemap", std::string(64 * 64, '\0'));
    }

    bool load() { return load_track("tt", nullptr); }

    std::string text()
    {
        log_printf(nullptr);
        return read_file(log_path);
    }

    static std::string sha1_hex(const std::string& bytes)
    {
        uint8_t d[sha1_digest_size];
        sha1_of(bytes.data(), bytes.size(), d);
        char hex[sha1_hex_size];
        sha1_to_hex(d, hex);
        return hex;
    }
    static std::string digest_hex()
    {
        char hex[sha1_hex_size];
        sha1_to_hex(track_digest(), hex);
        return hex;
    }
    // What the track digest should be with these extra files present.
    std::string expected_digest(const std::string& timing, const std::string& statues,
                                const std::string& shapes)
    {
        return sha1_hex(file("terrain.hf") + file("texturelist") + file("tilemap") + timing +
                        statues + shapes);
    }
};
