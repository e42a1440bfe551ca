// log.cpp -- the log file, the layer's options and the fatal box.
//
// Owns the one log file.  The first log_printf opens it: the name comes from
// "KOBU_LOGFILE" or, failing that, from a first call whose text begins
// "KOBU_LOGFILE=" (such a call only names the file); a leading ">>" appends,
// ">" or no prefix rewrites, and "KOBU_LOGFILE_FLAGS" replaces the mode.
// The file is tried once; a file that cannot be opened leaves the log silent.
// Each entry is "[h:mm:ss.hh] " from clock_now (window.h) plus the text,
// written under one lock so entries of different threads never interleave.
// A null format closes the log; later calls write nothing.
//
// Options are read from "KOBU_OPTIONS" once, on first use.
#include "platform/log.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unistd.h>

#include "base/xmalloc.h"
#include "platform/window.h"

constexpr size_t log_inline_text = 1024;     // entries up to this size need no heap
constexpr size_t option_name_max = 60;       // characters of a name searched for
constexpr size_t fatal_text_size = 1024;     // fatal_box text, terminator included
constexpr const char log_name_call[] = "KOBU_LOGFILE=";
constexpr const char log_banner[] = "KOBU 0.31\n";

// Everything below is guarded by log_lock.
static std::mutex log_lock;
static FILE* log_file = nullptr;   // open log, or null (never opened, failed, closed)
static bool log_opened = false;    // the first call has happened
static bool log_flush = false;     // flush and sync after every entry

static std::mutex option_lock;
static char* option_text = nullptr;   // copy of "KOBU_OPTIONS"; null = not read yet

static std::atomic<message_box_fn> fatal_show{nullptr};

// ---------------------------------------------------------------------------
// Log

// Writes one entry's prefix and text; the caller holds log_lock.
static void write_entry(const char* text, size_t length)
{
    if (!log_file)
        return;
    int seconds = 0, microseconds = 0;
    clock_now(&seconds, &microseconds);
    if (seconds < 0)
        seconds = 0;
    if (microseconds < 0 || microseconds > 999999)
        microseconds = 0;
    fprintf(log_file, "[%d:%02d:%02d.%02d] ", seconds / 3600, seconds / 60 % 60, seconds % 60,
            microseconds / 10000);
    fwrite(text, 1, length, log_file);
    if (log_flush) {
        fflush(log_file);
        fsync(fileno(log_file));
    }
}

static void write_text(const char* text) { write_entry(text, strlen(text)); }

// Opens the log on the first call; the caller holds log_lock.  Returns true
// when the call was only the naming call and is finished.
static bool open_log(const char* text)
{
    log_opened = true;
    const char* env_name = getenv("KOBU_LOGFILE");
    const char* env_mode = getenv("KOBU_LOGFILE_FLAGS");
    bool naming = strncmp(text, log_name_call, sizeof log_name_call - 1) == 0;

    const char* name = env_name;
    if (!name && naming)
        name = text + sizeof log_name_call - 1;
    if (!name || !*name)
        return naming;

    const char* mode = "w";
    if (strncmp(name, ">>", 2) == 0) {
        name += 2;
        mode = "a";
    } else if (name[0] == '>') {
        name += 1;
    }
    if (env_mode && *env_mode)
        mode = env_mode;

    log_file = fopen(name, mode);
    if (!log_file) {
        fprintf(stderr, "Can't open logfile \"%s\" (mode \"%s\")\n", name, mode);
        return naming;
    }
    char line[log_inline_text];
    snprintf(line, sizeof line, "Logfile \"%s\" opened\n", name);
    write_text(line);
    write_text(log_banner);
    return naming;
}

static void close_log()
{
    if (log_file)
        fclose(log_file);
    log_file = nullptr;
}

// A DC3 command switches flushing; any other command text is ignored.
static void run_command(const char* command)
{
    if (strcmp(command, "FLUSH") == 0)
        log_flush = true;
    else if (strcmp(command, "NOFLUSH") == 0)
        log_flush = false;
}

void log_vprintf(const char* format, va_list args)
{
    if (!format) {
        std::lock_guard<std::mutex> hold(log_lock);
        log_opened = true;   // a log closed before it was used stays closed
        close_log();
        return;
    }

    // Format outside the lock; long entries go to the heap.
    char inline_text[log_inline_text];
    char* text = inline_text;
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(inline_text, sizeof inline_text, format, copy);
    va_end(copy);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) >= sizeof inline_text) {
        text = static_cast<char*>(xmalloc(static_cast<size_t>(length) + 1));
        vsnprintf(text, static_cast<size_t>(length) + 1, format, args);
    }

    {
        std::lock_guard<std::mutex> hold(log_lock);
        bool done = !log_opened && open_log(text);
        if (!done) {
            if (text[0] == log_command_char)
                run_command(text + 1);
            else
                write_entry(text, static_cast<size_t>(length));
        }
    }
    if (text != inline_text)
        free(text);
}

void log_printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log_vprintf(format, args);
    va_end(args);
}

void log_error(const char* message) { log_printf("Error: %s\n", message ? message : "(null)"); }

// ---------------------------------------------------------------------------
// Options

// The options text, fetched once; never null.
static const char* options()
{
    std::lock_guard<std::mutex> hold(option_lock);
    if (!option_text) {
        const char* env = getenv("KOBU_OPTIONS");
        option_text = xstrdup(env ? env : "");
    }
    return option_text;
}

// The text after "[name:" in the options, or null when the option is absent.
static const char* option_value(const char* name)
{
    char needle[option_name_max + 3];
    size_t n = strnlen(name, option_name_max);
    needle[0] = '[';
    memcpy(needle + 1, name, n);
    needle[n + 1] = ':';
    needle[n + 2] = '\0';
    const char* at = strstr(options(), needle);
    return at ? at + n + 2 : nullptr;
}

bool option_flag(const char* name, bool default_value)
{
    if (!name)
        return default_value;
    const char* value = option_value(name);
    if (!value)
        return default_value;
    if (strncmp(value, "yes]", 4) == 0 || strncmp(value, "on]", 3) == 0)
        return true;
    if (strncmp(value, "no]", 3) == 0 || strncmp(value, "off]", 4) == 0)
        return false;
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
}

// Reads a decimal integer with optional leading blanks and sign; false when
// there is no digit or the number does not fit an int.
static bool parse_int(const char* s, int* out)
{
    while (isspace(static_cast<unsigned char>(*s)))
        s++;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        s++;
    if (!isdigit(static_cast<unsigned char>(*s)))
        return false;
    long long value = 0;
    for (; isdigit(static_cast<unsigned char>(*s)); s++) {
        value = value * 10 + (*s - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return false;
    *out = static_cast<int>(value);
    return true;
}

int option_int(const char* name, int default_value)
{
    if (!name)
        return default_value;
    const char* value = option_value(name);
    if (!value)
        return default_value;
    int result = default_value;
    if (!parse_int(value, &result)) {
        log_printf("unrecognized setting for %s\n", name);
        return default_value;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Fatal box

static bool display_present()
{
    const char* x = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

void fatal_box_install(message_box_fn show) { fatal_show.store(show); }

void fatal_box(const char* title, const char* format, ...)
{
    char text[fatal_text_size];
    text[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    if (!title)
        title = "";
    log_printf("%s: %s\n", title, text);

    message_box_fn show = fatal_show.load();
    if (show && display_present() && show(title, text))
        return;
    fprintf(stderr, "%s: %s\n", title, text);
    fflush(stderr);
}

// ---------------------------------------------------------------------------

void log_reset_for_tests()
{
    {
        std::lock_guard<std::mutex> hold(log_lock);
        close_log();
        log_opened = false;
        log_flush = false;
    }
    std::lock_guard<std::mutex> hold(option_lock);
    free(option_text);
    option_text = nullptr;
}
