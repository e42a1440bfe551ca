// log.h -- the program's log file, the layer's options and the fatal box.
//
// One log file for the whole program, written through log_printf from any
// thread; each entry is "[h:mm:ss.hh] " (the layer's clock) followed by the
// caller's text, which carries its own line end.  The first call opens the
// file (see log.cpp for the "KOBU_LOGFILE=" naming call and the environment
// overrides); a null format closes it.  A format starting with the DC3 byte
// (19) is a command: "\x13" "FLUSH" / "\x13" "NOFLUSH" switch flushing after
// every entry.
//
// Options come from the environment variable "KOBU_OPTIONS", written as
// "[name:value]" anywhere in it.
#pragma once

#include <cstdarg>

#define LOG_PRINTF_FORMAT(a, b) __attribute__((format(printf, a, b)))

constexpr char log_command_char = 19;   // DC3: the entry is a log command

void log_printf(const char* format, ...) LOG_PRINTF_FORMAT(1, 2);
void log_vprintf(const char* format, va_list args);
void log_error(const char* message);   // "Error: %s\n"

bool option_flag(const char* name, bool default_value);
int  option_int(const char* name, int default_value);

// Formats the text (at most 1023 characters) and shows it in a modal box
// with an OK button through the installed message-box back end; without a
// display, or when the box cannot be shown, the title and text go to
// standard error.  Never waits on a machine that has no display.
void fatal_box(const char* title, const char* format, ...) LOG_PRINTF_FORMAT(2, 3);

// A message-box back end returns false when it could not show the box.
typedef bool (*message_box_fn)(const char* title, const char* text);
void fatal_box_install(message_box_fn show);

// For tests: forget the log file and re-read "KOBU_OPTIONS" on next use.
void log_reset_for_tests();
