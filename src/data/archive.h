// archive.h -- the ".saf" archive format: header reader and writer.
//
// An archive is a text header followed by the members' bytes back to back:
// one line per member, "<count> <name>\n" (optional leading white space and
// "+" before the decimal count, exactly one separator byte, the name below
// the data root with "/" separators), then the end line "-\n"; the first
// member starts right after the end line.  Every header line must be
// shorter than archive_line_max bytes, line feed included.
//
// The reader (used by the file index and the packer tool) checks what it
// reads against the file: a count with a minus sign or without digits, a
// line without its line feed or too long, offsets past 32 bits or members
// reaching past the end of the file make the whole header malformed.  The
// writer packs files under member names sorted byte-wise, so the same
// input gives the same archive, writing to "<archive>.tmp" and renaming it
// over the archive only once everything was written.  Both report failure
// with a message in the caller's buffer; nothing here is fatal but memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int archive_line_max = 1024;   // bytes of a header line, line feed included, must stay below
constexpr size_t archive_digest_bytes = 1048576;   // bytes of a file covered by archive_digest
constexpr int archive_digest_step = 256;           // read size while digesting

struct archive_member {
    char* name;       // member name, runs of "/" collapsed (owned, xstrdup)
    int32_t offset;   // first byte within the archive file
    int32_t size;     // byte count
};

struct archive_header {
    archive_member* members;   // in header order (owned)
    int count;                 // members in use
    int capacity;              // room in members
    int32_t length;            // bytes of all header lines, end line included
};

// Reads the header of an archive opened for reading at its start; file_size
// is the archive's size in bytes.  On failure the header is left empty and
// why (if given) holds the reason.  Either way archive_header_free releases
// what was read.
bool archive_read_header(FILE* file, int64_t file_size, archive_header* out,
                         char* why, size_t why_size);
void archive_header_free(archive_header* header);

// A member name the writer accepts and the extractor may create below a
// folder: not empty, not absolute, no empty, "." or ".." component, no
// line feed, and short enough for a header line.
bool archive_name_is_valid(const char* name);

struct archive_source {
    const char* name;   // member name (see archive_name_is_valid)
    const char* path;   // file whose bytes become the member
};

// Packs the given files into the archive at archive_path.  Member names must
// be valid and distinct even with A-Z folded (lookups fold case).
bool archive_write(const char* archive_path, const archive_source* sources, int count,
                   char* error, size_t error_size);

// Packs every regular file below dir, named by its path relative to dir.
// Symbolic links to directories are not followed; the archive itself (and
// its temporary file) is never packed into itself.
bool archive_pack_dir(const char* archive_path, const char* dir,
                      char* error, size_t error_size);

// SHA-1 of the first archive_digest_bytes of a file (all of it when
// shorter), read archive_digest_step bytes at a time.  False when the file
// cannot be opened or read.
bool archive_digest(const char* path, uint8_t digest[20]);
