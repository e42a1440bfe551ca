// stream.h -- file_stream: one open file, plain, gzip or enciphered.
//
// stream_open takes a data name ("@tracks/x/desc") or a path.  Reading
// falls back from the name to name.gz, name.scram and name.gz.scram, first
// as loose files in the data roots, then as archive members; gzip data is
// inflated in small steps and its CRC and length are checked at the end.
// Modes are fopen modes; a mode containing "r" and no "+" reads, any other
// writes; a leading "~" makes a numbered backup "%s.~%d~" of an existing
// file before it is overwritten.  Writes under a data name go to the home
// root, creating its directories.  The caller owns the stream until
// stream_close.  All text formats of the game are read through
// stream_scanf, the program's own formatted scanner.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include <zlib.h>

struct scramble_reader;

constexpr int stream_packed_size = 16384;    // compressed input block
constexpr int stream_unpacked_size = 1024;   // inflated output step
constexpr int32_t stream_no_limit = 2147483647;

struct file_stream {
    FILE* file;                 // the file, or the archive holding the member
    int32_t base;               // offset of the stream's first byte in file
    int32_t limit;              // bytes readable from the source
    int32_t pos;                // bytes delivered from the source so far
    int32_t pushback;           // one byte pushed back by a peek, or -1
    bool gzip;                  // read through the inflater
    bool scrambled;             // read through the descrambler
    bool failed;                // corrupt or truncated data was met: reads end
    int32_t packed_limit;       // gzip: compressed bytes still available
    bool at_end;                // gzip: the compressed stream has ended
    z_stream inflater;          // raw-deflate state
    uint32_t crc;               // gzip: CRC-32 of the bytes inflated so far
    uint32_t inflated;          // gzip: bytes inflated so far, mod 2^32
    uint8_t packed_buffer[stream_packed_size];
    uint8_t unpacked_buffer[stream_unpacked_size];
    uint8_t* read_cursor;       // next ready byte in unpacked_buffer
    scramble_reader* descrambler;   // or null
};

file_stream* stream_open(const char* name, const char* mode);
void stream_close(file_stream* s);

int  stream_getc(file_stream* s);    // 0..255, or -1 at the end
int  stream_peekc(file_stream* s);   // next byte kept as pushback, or -1
int  stream_read(file_stream* s, void* buffer, int count);   // bytes copied
char* stream_gets(file_stream* s, char* buffer, int size);   // null when nothing was read
// The program's own scanner, reading like the C library's scanf with the
// conversions d i o x X f s c [set] [^set] n %% (width, "*", and the sizes
// hh h l ll L q; f stores a float, lf a double, Lf a long double).  White
// space in the format skips input white space; other format bytes must
// match.  Numbers are read with one byte of look-ahead left pushed back;
// integers saturate at the stored type's range.  An unknown conversion
// ends scanning.  Returns the number of values stored, or -1 when the
// input ended before anything was stored.
//
// The arguments carry no buffer sizes, so: s, [set] and [^set] without a
// width store at most stream_scan_unbounded characters plus the NUL (c
// without a width stores one) and skip the rest of the field.  Callers
// should still give widths ("%63s") that match their buffers.
constexpr int stream_scan_unbounded = 1023;
// Reads one line (its "\n" kept) into buffer; the rest of a line that does
// not fit is skipped.  False at the end of the stream.
bool stream_read_line(file_stream* s, char* buffer, int size);
int  stream_scanf(file_stream* s, const char* format, ...);
int  stream_vscanf(file_stream* s, const char* format, va_list args);
// Skips white space and whole lines that begin with "#", repeatedly,
// leaving the first other byte pushed back.
void stream_skip_comments(file_stream* s);
int  stream_read_int(file_stream* s);   // INT32_MIN when no number could be read
// Plain sources only (not gzip, not enciphered), 0 <= position < limit,
// relative to the stream's first byte (an archive member's first byte);
// drops the pushback.  False leaves the stream unchanged.
bool stream_seek(file_stream* s, int32_t position);

bool stream_putc(file_stream* s, int c);
bool stream_puts(file_stream* s, const char* text);
bool stream_write(file_stream* s, const void* data, int count);
bool stream_printf(file_stream* s, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool stream_flush(file_stream* s);

// True when the stream met corrupt or truncated data (gzip) rather than a
// clean end.
bool stream_failed(const file_stream* s);
