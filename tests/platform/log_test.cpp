// log_test.cpp -- the log file, its prefix and commands, options, fatal box.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "platform/log.h"

using log_test = log_capture;

TEST_F(log_test, prefix_is_hours_minutes_seconds_hundredths_of_the_clock)
{
    struct row {
        double clock;
        const char* prefix;
    };
    const row rows[] = {
        {3725.5, "[1:02:05.50] "},
        {0.0, "[0:00:00.00] "},
        {59.999999, "[0:00:59.99] "},
        {3599.01, "[0:59:59.01] "},
        {36000.0, "[10:00:00.00] "},
        {360000.123456, "[100:00:00.12] "},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.prefix);
        log_reset_for_tests();
        headless_set_clock(r.clock);
        open();
        log_printf("entry %d\n", 7);
        auto lines = lines_of(text());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], std::string(r.prefix) + "Logfile \"" + path + "\" opened");
        EXPECT_EQ(lines[1], std::string(r.prefix) + "KOBU 0.31");
        EXPECT_EQ(lines[2], std::string(r.prefix) + "entry 7");
    }
}

TEST_F(log_test, naming_call_names_the_file_unless_the_environment_does)
{
    open();
    log_printf("hello\n");
    auto lines = lines_of(text());
    ASSERT_EQ(lines.size(), 3u);   // the naming call itself is not written
    EXPECT_EQ(lines[2], "[0:00:00.00] hello");

    log_reset_for_tests();
    std::string env_path = dir / "env.txt";
    set_env("KOBU_LOGFILE", env_path.c_str());
    std::string ignored = dir / "ignored.txt";
    log_printf("KOBU_LOGFILE=%s", ignored.c_str());
    log_printf("to env\n");
    log_printf(nullptr);
    EXPECT_FALSE(file_exists(ignored));
    std::string logged = read_file(env_path);
    EXPECT_NE(logged.find("Logfile \"" + env_path + "\" opened\n"), std::string::npos);
    EXPECT_NE(logged.find("] to env\n"), std::string::npos);
}

TEST_F(log_test, first_ordinary_call_opens_from_the_environment_and_is_logged)
{
    set_env("KOBU_LOGFILE", path.c_str());
    log_printf("first %s\n", "entry");
    auto lines = lines_of(text());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "[0:00:00.00] first entry");
}

TEST_F(log_test, prefix_and_flags_choose_append_or_rewrite)
{
    struct row {
        const char* prefix;   // before the name in KOBU_LOGFILE
        const char* flags;    // KOBU_LOGFILE_FLAGS, or null
        bool appends;
    };
    const row rows[] = {
        {">>", nullptr, true},
        {">", nullptr, false},
        {"", nullptr, false},
        {"", "a", true},
        {">>", "w", false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.prefix) + " / " + (r.flags ? r.flags : "-"));
        std::string env = r.prefix + path;
        for (const char* run : {"run one\n", "run two\n"}) {
            log_reset_for_tests();
            set_env("KOBU_LOGFILE", env.c_str());
            set_env("KOBU_LOGFILE_FLAGS", r.flags);
            log_printf("KOBU_LOGFILE=%s", "/nonexistent/startup/lastlog.txt");
            log_printf("%s", run);
            log_printf(nullptr);
        }
        std::string logged = read_file(path);
        EXPECT_EQ(logged.find("run one") != std::string::npos, r.appends);
        EXPECT_NE(logged.find("run two"), std::string::npos);
        EXPECT_NE(logged.find("Logfile \"" + path + "\" opened"), std::string::npos);
        write_file(path, "");
    }
}

TEST_F(log_test, commands_switch_flushing_and_are_never_written)
{
    open();
    log_printf("\x13" "FLUSH");
    log_printf("loading\n");
    // Flushed to the file while the log is still open.
    EXPECT_NE(read_file(path).find("] loading\n"), std::string::npos);
    log_printf("\x13" "NOFLUSH");
    log_printf("\x13" "SOMETHING");
    log_printf("done\n");
    std::string logged = text();
    EXPECT_EQ(logged.find("FLUSH"), std::string::npos);
    EXPECT_EQ(logged.find("SOMETHING"), std::string::npos);
    EXPECT_EQ(logged.find('\x13'), std::string::npos);
    EXPECT_NE(logged.find("] done\n"), std::string::npos);
}

TEST_F(log_test, after_the_null_call_nothing_is_written_or_reopened)
{
    open();
    log_printf("before\n");
    log_printf(nullptr);
    log_printf("after\n");
    std::string other = dir / "other.txt";
    set_env("KOBU_LOGFILE", other.c_str());
    log_printf("KOBU_LOGFILE=%s", other.c_str());
    log_printf("later\n");
    std::string logged = read_file(path);
    EXPECT_NE(logged.find("before"), std::string::npos);
    EXPECT_EQ(logged.find("after"), std::string::npos);
    EXPECT_FALSE(file_exists(other));
}

TEST_F(log_test, long_entries_and_errors_are_written_whole)
{
    open();
    std::string big(5000, 'x');
    log_printf("%s|\n", big.c_str());
    log_error("disk on fire");
    auto lines = lines_of(text());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "[0:00:00.00] " + big + "|");
    EXPECT_EQ(lines[3], "[0:00:00.00] Error: disk on fire");
}

TEST_F(log_test, unopenable_file_leaves_the_log_silent)
{
    std::string bad = dir / "missing-dir/log.txt";
    set_env("KOBU_LOGFILE", bad.c_str());
    testing::internal::CaptureStderr();
    log_printf("lost\n");
    log_printf("lost too\n");
    log_printf(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't open logfile \"" + bad + "\" (mode \"w\")\n");   // once, not per entry
    EXPECT_FALSE(file_exists(bad));
}

// Entries from several threads must each land as one whole line: a prefix
// written apart from its text would split lines.
TEST_F(log_test, entries_from_several_threads_stay_whole)
{
    constexpr int threads = 8;
    constexpr int entries = 2000;
    const std::string payload(120, 'p');
    open();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; t++)
        pool.emplace_back([t, &payload] {
            for (int i = 0; i < entries; i++)
                log_printf("thread %d entry %d %s\n", t, i, payload.c_str());
        });
    for (std::thread& th : pool)
        th.join();

    auto lines = lines_of(text());
    ASSERT_EQ(lines.size(), 2u + threads * entries);
    std::vector<int> next(threads, 0);
    for (size_t n = 2; n < lines.size(); n++) {
        const std::string& line = lines[n];
        int h, m, s, c, t, i, used = 0;
        ASSERT_EQ(sscanf(line.c_str(), "[%d:%2d:%2d.%2d] thread %d entry %d %n", &h, &m, &s, &c,
                         &t, &i, &used),
                  6)
            << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        ASSERT_EQ(line.substr(static_cast<size_t>(used)), payload) << line;
        ASSERT_EQ(i, next[t]) << line;   // each thread's entries in its own order
        next[t]++;
    }
}

// ---------------------------------------------------------------------------
// Options

TEST_F(log_test, options_are_parsed_by_kind_with_defaults)
{
    enum kind { flag, number };
    struct row {
        const char* options;
        const char* name;
        kind k;
        int fallback;
        int expected;
        bool complains;   // "unrecognized setting for NAME" logged
    };
    const std::string long_name(70, 'n');
    const std::string long_options = "[" + long_name.substr(0, 60) + ":5]";
    const row rows[] = {
        {"[threaded:yes][sound-rate:44100]", "threaded", flag, 0, 1, false},
        {"[threaded:yes][sound-rate:44100]", "sound-rate", number, 22050, 44100, false},
        {"[threaded:on]", "threaded", flag, 0, 1, false},
        {"[dsnd:no]", "dsnd", flag, 1, 0, false},
        {"[dsnd:off]", "dsnd", flag, 1, 0, false},
        {"[dsnd:maybe]", "dsnd", flag, 1, 1, true},
        {"[dsnd:yes", "dsnd", flag, 0, 0, true},   // a flag needs its "]"
        {"[dsnd:YES]", "dsnd", flag, 0, 0, true},
        {"junk [waveout:no] more", "waveout", flag, 1, 0, false},
        {"", "threaded", flag, 0, 0, false},
        {"[sound-channels:8x]", "sound-channels", number, 16, 8, false},
        {"[sound-mixahead: -12]", "sound-mixahead", number, 125, -12, false},
        {"[sound-mixahead:+7]", "sound-mixahead", number, 125, 7, false},
        {"[sound-rate:]", "sound-rate", number, 22050, 22050, true},
        {"[sound-rate:fast]", "sound-rate", number, 22050, 22050, true},
        {"[sound-rate:- 5]", "sound-rate", number, 22050, 22050, true},
        {"[sound-rate:99999999999]", "sound-rate", number, 22050, 22050, true},
        {"[sound-rate:-2147483648]", "sound-rate", number, 1, -2147483647 - 1, false},
        {"[xsound-rate:1][rate:3]", "sound-rate", number, 22050, 22050, false},
        {"[sound-rate:1][rate:3]", "rate", number, 0, 3, false},
        {long_options.c_str(), long_name.c_str(), number, 0, 5, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.options) + " " + r.name);
        log_reset_for_tests();
        set_env("KOBU_OPTIONS", r.options);
        open();
        int got = r.k == flag ? option_flag(r.name, r.fallback != 0) : option_int(r.name, r.fallback);
        EXPECT_EQ(got, r.expected);
        std::string complaint = std::string("] unrecognized setting for ") + r.name + "\n";
        EXPECT_EQ(text().find(complaint) != std::string::npos, r.complains);
    }
}

TEST_F(log_test, options_are_read_once)
{
    set_env("KOBU_OPTIONS", "[sound-rate:11025]");
    EXPECT_EQ(option_int("sound-rate", 22050), 11025);
    set_env("KOBU_OPTIONS", "[sound-rate:44100]");
    EXPECT_EQ(option_int("sound-rate", 22050), 11025);
}

// ---------------------------------------------------------------------------
// Fatal box

static int box_calls = 0;
static std::string box_text;
static bool box_result = false;

static bool fake_box(const char* title, const char* text)
{
    box_calls++;
    box_text = std::string(title) + "|" + text;
    return box_result;
}

TEST_F(log_test, fatal_box_uses_the_box_only_with_a_display)
{
    struct row {
        const char* display;   // $DISPLAY, or null
        const char* wayland;   // $WAYLAND_DISPLAY, or null
        bool installed;
        bool shows;            // what the box back end returns
        bool box_called;
        bool to_stderr;
    };
    const row rows[] = {
        {nullptr, nullptr, true, true, false, true},
        {"", nullptr, true, true, false, true},
        {":0", nullptr, true, true, true, false},
        {nullptr, "wayland-0", true, true, true, false},
        {":0", nullptr, true, false, true, true},
        {":0", nullptr, false, false, false, true},
    };
    std::string saved_display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string saved_wayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    bool had_display = getenv("DISPLAY") != nullptr, had_wayland = getenv("WAYLAND_DISPLAY") != nullptr;
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.display ? r.display : "-") << " "
                                        << (r.wayland ? r.wayland : "-") << " " << r.installed
                                        << r.shows);
        log_reset_for_tests();
        open();
        set_env("DISPLAY", r.display);
        set_env("WAYLAND_DISPLAY", r.wayland);
        fatal_box_install(r.installed ? fake_box : nullptr);
        box_calls = 0;
        box_result = r.shows;
        testing::internal::CaptureStderr();
        fatal_box("Error", "Out of %s memory", "virtual");
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(box_calls, r.box_called ? 1 : 0);
        if (r.box_called) {
            EXPECT_EQ(box_text, "Error|Out of virtual memory");
        }
        EXPECT_EQ(err, r.to_stderr ? "Error: Out of virtual memory\n" : "");
        EXPECT_NE(text().find("] Error: Out of virtual memory\n"), std::string::npos);
    }
    fatal_box_install(nullptr);
    set_env("DISPLAY", had_display ? saved_display.c_str() : nullptr);
    set_env("WAYLAND_DISPLAY", had_wayland ? saved_wayland.c_str() : nullptr);
}

TEST_F(log_test, fatal_box_text_stops_at_1023_characters)
{
    std::string saved = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    bool had = getenv("DISPLAY") != nullptr;
    set_env("DISPLAY", ":0");
    fatal_box_install(fake_box);
    box_result = true;
    std::string big(3000, 'z');
    fatal_box("T", "%s", big.c_str());
    EXPECT_EQ(box_text, "T|" + big.substr(0, 1023));
    fatal_box_install(nullptr);
    set_env("DISPLAY", had ? saved.c_str() : nullptr);
}
