// log_capture.h -- a log file in a scratch folder, on the headless clock.
//
// Each test starts with no log, no layer environment and the headless back
// end at clock 0; open() names the log with the start-up's own naming call,
// text() closes the log and returns what it holds.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/log.h"
#include "test_support.h"

struct log_capture : ::testing::Test {
    scratch_dir dir;
    std::string path = dir / "log.txt";

    static void clear_env()
    {
        set_env("KOBU_LOGFILE", nullptr);
        set_env("KOBU_LOGFILE_FLAGS", nullptr);
        set_env("KOBU_OPTIONS", nullptr);
    }
    void SetUp() override
    {
        clear_env();
        log_reset_for_tests();
        headless_configure({});
        platform_install(&headless_window_ops);
    }
    void TearDown() override
    {
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        clear_env();
    }
    void open() { log_printf("KOBU_LOGFILE=%s", path.c_str()); }
    std::string text()
    {
        log_printf(nullptr);
        return read_file(path);
    }
    static std::vector<std::string> lines_of(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};
