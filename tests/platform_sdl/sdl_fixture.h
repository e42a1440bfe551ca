// sdl_fixture.h -- the SDL back ends in a scratch home, logging to a file.
//
// Without a display SDL's offscreen video driver is used (ctest sets it
// too), and audio goes to SDL's dummy driver.  A test that cannot get a
// GL window skips instead of failing, so machines without GL pass.
#pragma once

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "data/file_index.h"
#include "data/paths.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/sound.h"
#include "test_support.h"

struct sdl_test : ::testing::Test {
    scratch_dir dir;
    std::string log_path = dir / "log.txt";
    std::string home = dir / "home/Vortrak";
    kobu_window* w = nullptr;

    void SetUp() override
    {
        if (!getenv("SDL_VIDEODRIVER") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            set_env("SDL_VIDEODRIVER", "offscreen");
        if (!getenv("SDL_AUDIODRIVER"))
            set_env("SDL_AUDIODRIVER", "dummy");
        set_env("KOBU_LOGFILE", nullptr);
        set_env("KOBU_LOGFILE_FLAGS", nullptr);
        set_env("XDG_DATA_HOME", (dir / "home").c_str());
        write_file(dir / "data/readme.txt", "scratch data root\n");
        set_env("VK_HOME", (dir / "data").c_str());
        data_roots_reset();
        file_index_reset();
        screenshot_reset();
        options("");
        sdl_platform_install();
    }
    void TearDown() override
    {
        if (w)
            window_close(w);
        w = nullptr;
        audio_close();
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        fatal_box_install(nullptr);
        sound_install_output(nullptr);
        set_env("KOBU_OPTIONS", nullptr);
        set_env("VK_HOME", nullptr);
        data_roots_reset();
        file_index_reset();
    }
    // Starts the log afresh with these layer options.
    void options(const char* text)
    {
        log_printf(nullptr);
        set_env("KOBU_OPTIONS", text);
        log_reset_for_tests();
        log_printf("KOBU_LOGFILE=%s", log_path.c_str());
    }
    bool open_window(int width = 320, int height = 240)
    {
        w = window_open_gl("Vortrak", width, height, 16, 0, 16, 0, 0);
        return w != nullptr;
    }
    std::string log_text()
    {
        log_printf(nullptr);
        return read_file(log_path);
    }
    bool logged(const std::string& text, const std::string& line)
    {
        return text.find("] " + line) != std::string::npos;
    }
    void drain()
    {
        for (input_event e; event_next(w, &e);) {
        }
    }
};

#define OPEN_OR_SKIP(...)                                                               \
    do {                                                                                \
        if (!open_window(__VA_ARGS__))                                                  \
            GTEST_SKIP() << "no GL window on this machine: " << SDL_GetError();         \
    } while (0)
