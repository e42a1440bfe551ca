// stream.cpp -- opening names and reading plain, gzip and enciphered files.
//
// Owns every file_stream from stream_open to stream_close: the FILE, the
// inflater and the descrambler.  Needs the data roots (paths.h), the file
// index for archive members (file_index.h), the ".scram" reader
// (scramble.h) and zlib.  Promises: a name is never cut to fit a buffer
// (it fails instead); writes under a data name go to the home root only;
// a numbered backup either is complete or leaves nothing behind; gzip data
// is checked against its CRC-32 and length, and corrupt or truncated data
// marks the stream failed instead of looking like a clean end.
#include "data/stream.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"
#include "base/xmalloc.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "data/scramble.h"

constexpr int backup_max = 9999;          // highest N of "%s.~N~"
constexpr int backup_block = 65536;       // copy step of a backup
constexpr size_t backup_path_max = 1000;  // longest path that may be backed up
constexpr int gzip_id1 = 31, gzip_id2 = 139, gzip_deflate = 8;
constexpr int gzip_fhcrc = 2, gzip_fextra = 4, gzip_fname = 8, gzip_fcomment = 16;
constexpr int gzip_flags_end = 32;        // flag bits at or above this are reserved
constexpr int gzip_fixed_skip = 6;        // time, extra flags, OS
constexpr int gzip_window_bits = -15;     // raw deflate: the gzip framing is ours

struct name_variant {
    const char* suffix;
    bool gzip;
    bool scrambled;
};
static const name_variant variants[] = {
    { "", false, false },
    { ".gz", true, false },
    { ".scram", false, true },
    { ".gz.scram", true, true },
};
constexpr int variant_count = 4;

static bool is_read_mode(const char* mode) { return strchr(mode, 'r') && !strchr(mode, '+'); }

// ---------------------------------------------------------------- inflater

// Reads the next block of compressed input into packed_buffer.
static int refill_packed(file_stream* s)
{
    int want = s->packed_limit < stream_packed_size ? s->packed_limit : stream_packed_size;
    if (want <= 0)
        return 0;
    int got = s->scrambled ? scramble_read(s->descrambler, s->packed_buffer, want)
                           : static_cast<int>(fread(s->packed_buffer, 1, static_cast<size_t>(want), s->file));
    s->packed_limit -= got;
    s->inflater.next_in = s->packed_buffer;
    s->inflater.avail_in = static_cast<uInt>(got);
    return got;
}

// One byte of compressed input outside the deflate data (header, trailer).
static int packed_byte(file_stream* s)
{
    if (s->inflater.avail_in == 0 && refill_packed(s) == 0)
        return -1;
    s->inflater.avail_in--;
    return *s->inflater.next_in++;
}

static bool skip_packed(file_stream* s, int count)
{
    for (int i = 0; i < count; i++)
        if (packed_byte(s) < 0)
            return false;
    return true;
}

static bool skip_packed_string(file_stream* s)
{
    for (;;) {
        int c = packed_byte(s);
        if (c <= 0)
            return c == 0;
    }
}

// Parses the gzip header by hand and starts a raw inflater behind it.  The
// header may span several input blocks (long names or extra fields).
static bool start_inflater(file_stream* s)
{
    s->packed_limit = s->limit;
    s->limit = stream_no_limit;
    s->at_end = false;
    s->read_cursor = s->unpacked_buffer;
    s->inflater.next_out = s->unpacked_buffer;
    s->inflater.avail_out = stream_unpacked_size;
    s->crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
    s->inflated = 0;
    int id1 = packed_byte(s), id2 = packed_byte(s), method = packed_byte(s), flags = packed_byte(s);
    if (id1 != gzip_id1 || id2 != gzip_id2 || method != gzip_deflate || flags < 0 || flags >= gzip_flags_end)
        return false;
    if (!skip_packed(s, gzip_fixed_skip))
        return false;
    if (flags & gzip_fextra) {
        int lo = packed_byte(s), hi = packed_byte(s);
        if (lo < 0 || hi < 0 || !skip_packed(s, lo | (hi << 8)))
            return false;
    }
    if ((flags & gzip_fname) && !skip_packed_string(s))
        return false;
    if ((flags & gzip_fcomment) && !skip_packed_string(s))
        return false;
    if ((flags & gzip_fhcrc) && !skip_packed(s, 2))
        return false;
    return inflateInit2(&s->inflater, gzip_window_bits) == Z_OK;
}

static uint32_t packed_word(file_stream* s, bool* ok)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) {
        int c = packed_byte(s);
        if (c < 0)
            *ok = false;
        v |= static_cast<uint32_t>(c & 0xff) << (8 * i);
    }
    return v;
}

static bool trailer_matches(file_stream* s)
{
    bool ok = true;
    uint32_t crc = packed_word(s, &ok);
    uint32_t size = packed_word(s, &ok);
    return ok && crc == s->crc && size == s->inflated;
}

// Marks the stream failed: no further byte is delivered.
static void fail_stream(file_stream* s)
{
    s->failed = true;
    s->read_cursor = s->unpacked_buffer;
    s->inflater.next_out = s->unpacked_buffer;
}

// Inflates the next step of up to stream_unpacked_size bytes; false when
// nothing more is ready (end or failure).
static bool inflate_step(file_stream* s)
{
    if (s->failed || s->at_end)
        return false;
    s->read_cursor = s->unpacked_buffer;
    s->inflater.next_out = s->unpacked_buffer;
    s->inflater.avail_out = stream_unpacked_size;
    while (s->inflater.avail_out > 0) {
        if (s->inflater.avail_in == 0 && refill_packed(s) == 0) {
            fail_stream(s);   // the compressed data stops before its end
            return false;
        }
        int r = inflate(&s->inflater, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            s->at_end = true;
            break;
        }
        if (r != Z_OK) {
            fail_stream(s);
            return false;
        }
    }
    uInt produced = static_cast<uInt>(s->inflater.next_out - s->unpacked_buffer);
    s->crc = static_cast<uint32_t>(crc32(s->crc, s->unpacked_buffer, produced));
    s->inflated += produced;
    if (s->at_end && !trailer_matches(s)) {
        fail_stream(s);
        return false;
    }
    return produced > 0;
}

// ---------------------------------------------------------------- sources

// Copies up to count bytes from the stream's source (inflater, descrambler
// or file, bounded by limit); returns the count, 0 at the end.
static int source_read(file_stream* s, uint8_t* out, int count)
{
    int room = s->limit - s->pos;
    if (count > room)
        count = room;
    if (count <= 0)
        return 0;
    int got = 0;
    if (s->gzip) {
        while (got < count) {
            int ready = static_cast<int>(s->inflater.next_out - s->read_cursor);
            if (ready == 0) {
                if (!inflate_step(s))
                    break;
                continue;
            }
            int n = ready < count - got ? ready : count - got;
            memcpy(out + got, s->read_cursor, static_cast<size_t>(n));
            s->read_cursor += n;
            got += n;
        }
    } else if (s->scrambled) {
        while (got < count) {
            int n = scramble_read(s->descrambler, out + got, count - got);
            if (n <= 0)
                break;
            got += n;
        }
    } else if (count == 1) {
        int c = getc(s->file);
        if (c != EOF) {
            out[0] = static_cast<uint8_t>(c);
            got = 1;
        }
    } else {
        got = static_cast<int>(fread(out, 1, static_cast<size_t>(count), s->file));
    }
    s->pos += got;
    return got;
}

// ---------------------------------------------------------------- opening

// Frees a stream whose set-up failed (its inflater was never started).
static void discard_stream(file_stream* s)
{
    if (s->descrambler)
        scramble_free(s->descrambler);
    fclose(s->file);
    free(s);
}

// Wraps an open file: positions it at base and starts the descrambler and
// the inflater as asked.  Closes the file when any of that fails.
static file_stream* stream_start(FILE* file, int32_t base, int32_t limit, bool gzip, bool scrambled)
{
    file_stream* s = static_cast<file_stream*>(xcalloc(1, sizeof(file_stream)));
    s->file = file;
    s->base = base;
    s->limit = limit;
    s->pos = 0;
    s->pushback = -1;
    s->scrambled = scrambled;
    s->read_cursor = s->unpacked_buffer;
    if (base != 0 && fseeko(file, static_cast<off_t>(base), SEEK_SET) != 0) {
        discard_stream(s);
        return nullptr;
    }
    if (scrambled && !(s->descrambler = scramble_open(file, limit))) {
        discard_stream(s);
        return nullptr;
    }
    if (gzip) {
        if (!start_inflater(s)) {
            discard_stream(s);
            return nullptr;
        }
        s->gzip = true;   // set only now: stream_close ends a started inflater
    }
    return s;
}

// fopen that, for reading, accepts regular files only (a directory opens
// on Linux but yields no bytes, and would shadow the real file).
static FILE* open_file(const char* path, const char* mode, bool reading)
{
    FILE* f = fopen(path, mode);
    if (!f || !reading)
        return f;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

static bool copy_fd(int from, int to)
{
    uint8_t* block = static_cast<uint8_t*>(xmalloc(backup_block));
    bool ok = true;
    for (;;) {
        ssize_t got = read(from, block, backup_block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = (got == 0);
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            ssize_t put = write(to, block + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            done += ok ? put : 0;
        }
        if (!ok)
            break;
    }
    free(block);
    return ok;
}

// Copies an existing file to the first free "%s.~N~".  True when there was
// nothing to back up or the copy is complete; a failed copy is removed.
static bool make_backup(const char* path)
{
    if (strlen(path) > backup_path_max)
        return false;
    int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno == ENOENT;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    for (int n = 1; n <= backup_max; n++) {
        char name[path_max];
        int len = snprintf(name, sizeof name, "%s.~%d~", path, n);
        if (len < 0 || static_cast<size_t>(len) >= sizeof name)
            break;
        // O_EXCL takes the first name that does not exist, atomically.
        int out = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
        if (out < 0 && errno == EEXIST)
            continue;
        if (out < 0)
            break;
        bool ok = copy_fd(in, out);
        ok = (close(out) == 0) && ok;
        close(in);
        if (!ok)
            unlink(name);
        return ok;
    }
    close(in);
    return false;
}

// Opens a path, with the backup and the fallbacks to path.gz, path.scram
// and path.gz.scram for reading.
static file_stream* open_path(const char* path, const char* mode)
{
    if (strlen(path) >= path_max)
        return nullptr;
    bool reading = is_read_mode(mode);
    if (!reading)
        make_parent_dirs(path);
    if (mode[0] == '~') {
        mode++;
        if (!make_backup(path))
            return nullptr;
    }
    if (FILE* f = open_file(path, mode, reading))
        return stream_start(f, 0, stream_no_limit, false, false);
    if (!reading)
        return nullptr;
    for (int i = 1; i < variant_count; i++) {
        char name[path_max];
        if (!text_copy(name, sizeof name, path) || !text_append(name, sizeof name, variants[i].suffix))
            continue;
        if (FILE* f = open_file(name, "rb", true))
            return stream_start(f, 0, stream_no_limit, variants[i].gzip, variants[i].scrambled);
    }
    return nullptr;
}

// The archive fallback: the name and its three variants compete by
// priority, the earlier variant winning ties.
static file_stream* open_member(const char* name)
{
    const file_index_entry* best = nullptr;
    int best_variant = 0;
    for (int i = 0; i < variant_count; i++) {
        char candidate[path_max];
        if (!text_copy(candidate, sizeof candidate, name) || !text_append(candidate, sizeof candidate, variants[i].suffix))
            continue;
        const file_index_entry* e = file_index_entry_at(file_index_find(candidate));
        if (e && (!best || e->priority < best->priority)) {
            best = e;
            best_variant = i;
        }
    }
    if (!best || best->offset < 0 || best->size < 0)
        return nullptr;
    FILE* f = open_file(best->path, "rb", true);
    if (!f)
        return nullptr;
    return stream_start(f, best->offset, best->size, variants[best_variant].gzip, variants[best_variant].scrambled);
}

file_stream* stream_open(const char* name, const char* mode)
{
    file_index_build();
    if (name[0] != '@')
        return open_path(name, mode);
    const char* rest = name + 1;
    if (!data_name_is_safe(rest))
        return nullptr;
    char path[path_max];
    if (!is_read_mode(mode))
        return home_path(path, sizeof path, rest) ? open_path(path, mode) : nullptr;
    for (int i = 0; const char* root = data_root(i); i++) {
        // A root the name does not fit in is passed over, never cut.
        if (!text_copy(path, sizeof path, root) || !text_append(path, sizeof path, rest))
            continue;
        if (file_stream* s = open_path(path, mode))
            return s;
    }
    return open_member(rest);
}

void stream_close(file_stream* s)
{
    if (!s)
        return;
    if (s->gzip)
        inflateEnd(&s->inflater);
    if (s->descrambler)
        scramble_free(s->descrambler);
    fclose(s->file);
    free(s);
}

// ---------------------------------------------------------------- reading

int stream_getc(file_stream* s)
{
    if (s->pushback >= 0) {
        int c = s->pushback;
        s->pushback = -1;
        return c;
    }
    uint8_t b;
    return source_read(s, &b, 1) == 1 ? b : -1;
}

int stream_peekc(file_stream* s)
{
    if (s->pushback < 0) {
        uint8_t b;
        s->pushback = source_read(s, &b, 1) == 1 ? b : -1;
    }
    return s->pushback;
}

int stream_read(file_stream* s, void* buffer, int count)
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int done = 0;
    if (count <= 0)
        return 0;
    if (s->pushback >= 0) {
        out[done++] = static_cast<uint8_t>(s->pushback);
        s->pushback = -1;
    }
    while (done < count) {
        int got = source_read(s, out + done, count - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

char* stream_gets(file_stream* s, char* buffer, int size)
{
    if (size <= 0)
        return nullptr;
    if (size == 1) {
        // Room for the terminator only: nothing is consumed.
        if (stream_peekc(s) < 0)
            return nullptr;
        buffer[0] = 0;
        return buffer;
    }
    int n = 0;
    while (n < size - 1) {
        int c = stream_getc(s);
        if (c < 0)
            break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buffer[n] = 0;
    return n > 0 ? buffer : nullptr;
}

bool stream_seek(file_stream* s, int32_t position)
{
    if (s->gzip || s->scrambled || position < 0 || position >= s->limit)
        return false;
    if (fseeko(s->file, static_cast<off_t>(s->base) + position, SEEK_SET) != 0)
        return false;
    s->pushback = -1;
    s->pos = position;
    return true;
}

bool stream_failed(const file_stream* s) { return s->failed; }

// ---------------------------------------------------------------- writing

bool stream_putc(file_stream* s, int c) { return putc(c, s->file) != EOF; }

bool stream_puts(file_stream* s, const char* text) { return fputs(text, s->file) >= 0; }

bool stream_write(file_stream* s, const void* data, int count)
{
    if (count <= 0)
        return count == 0;
    return fwrite(data, 1, static_cast<size_t>(count), s->file) == static_cast<size_t>(count);
}

bool stream_printf(file_stream* s, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vfprintf(s->file, format, args);
    va_end(args);
    return n >= 0;
}

bool stream_flush(file_stream* s) { return fflush(s->file) == 0; }

bool stream_read_line(file_stream* s, char* buffer, int size)
{
    if (!stream_gets(s, buffer, size))
        return false;
    size_t n = strlen(buffer);
    if (n > 0 && buffer[n - 1] != '\n') {
        int c;
        while ((c = stream_getc(s)) >= 0 && c != '\n') {
        }
    }
    return true;
}
