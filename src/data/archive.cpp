// archive.cpp -- reading ".saf" headers, writing archives, digesting files.
//
// Owns: the header parser shared by the file index and the packer tool, the
// archive writer, and the first-MiB digest of the game data check.  Needs:
// xmalloc, text helpers, SHA-1.  Promises: a header is accepted only when
// every member lies inside the file with 32-bit offsets, so readers never
// seek past what was checked; a written archive appears under its name
// complete or not at all.
#include "data/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "base/sha1.h"
#include "base/text.h"
#include "base/xmalloc.h"

namespace fs = std::filesystem;

constexpr int initial_members = 16;          // first room of a header's member array
constexpr size_t copy_block = 65536;          // bytes per read while packing
constexpr int64_t max_offset = 2147483647;    // every member must end at or before this
static const char temp_suffix[] = ".tmp";     // the writer's file until it is complete

static void say(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
static void say(char* buffer, size_t size, const char* format, ...)
{
    if (!buffer || size == 0)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, size, format, args);
    va_end(args);
}

// ---------------------------------------------------------------- reading

// Reads one line, line feed kept, into line (archive_line_max bytes).
// Returns its length; 0 when the file ends before a line feed or the line
// is too long (a partial line is never a header line).
static int read_header_line(FILE* file, char* line, bool* too_long)
{
    int n = 0;
    *too_long = false;
    for (;;) {
        int c = getc(file);
        if (c == EOF)
            return 0;
        line[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
        if (n == archive_line_max - 1) {   // no room left for the line feed
            *too_long = true;
            return 0;
        }
    }
    line[n] = 0;
    return n;
}

// Collapses every run of "/" into one, in place.
static void collapse_slashes(char* name)
{
    char* out = name;
    for (const char* in = name; *in; in++)
        if (!(*in == '/' && out > name && out[-1] == '/'))
            *out++ = *in;
    *out = 0;
}

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

// Parses "<count><separator><name>\n" (length n, line feed at n-1).
// A minus sign is refused even before zero: a signed count never comes
// from the writer and a negative one would move every later offset back.
static bool parse_member_line(char* line, int n, int32_t* size, char** name,
                              char* why, size_t why_size, int line_number)
{
    char* end = line + n - 1;   // the line feed
    char* p = line;
    while (p < end && is_blank(*p))
        p++;
    if (*p == '-') {
        say(why, why_size, "line %d: negative count", line_number);
        return false;
    }
    if (*p == '+')
        p++;
    int64_t count = 0;
    char* digits = p;
    while (p < end && *p >= '0' && *p <= '9') {
        count = count * 10 + (*p - '0');
        if (count > max_offset) {
            say(why, why_size, "line %d: count does not fit in 32 bits", line_number);
            return false;
        }
        p++;
    }
    if (p == digits) {
        say(why, why_size, "line %d: count has no digits", line_number);
        return false;
    }
    if (p + 1 >= end) {   // the separator and at least one byte of name
        say(why, why_size, "line %d: member has no name", line_number);
        return false;
    }
    *end = 0;
    *size = static_cast<int32_t>(count);
    *name = p + 1;
    collapse_slashes(*name);
    return true;
}

static void add_member(archive_header* h, const char* name, int32_t size)
{
    if (h->count == h->capacity) {
        if (h->capacity > (1 << 29))
            out_of_memory();
        h->capacity = h->capacity ? h->capacity * 2 : initial_members;
        h->members = static_cast<archive_member*>(
            xrealloc(h->members, static_cast<size_t>(h->capacity) * sizeof(archive_member)));
    }
    archive_member* m = &h->members[h->count++];
    m->name = xstrdup(name);
    m->offset = 0;
    m->size = size;
}

// Gives the members their offsets and checks them against the file.
static bool place_members(archive_header* h, int64_t header_length, int64_t file_size,
                          char* why, size_t why_size)
{
    int64_t offset = header_length;
    for (int i = 0; i < h->count; i++) {
        archive_member* m = &h->members[i];
        int64_t end = offset + m->size;
        if (end > max_offset) {
            say(why, why_size, "member \"%s\" lies beyond 2 GiB", m->name);
            return false;
        }
        if (end > file_size) {
            say(why, why_size, "member \"%s\" runs past the end of the file (%lld of %lld bytes)",
                m->name, static_cast<long long>(end), static_cast<long long>(file_size));
            return false;
        }
        m->offset = static_cast<int32_t>(offset);
        offset = end;
    }
    return true;
}

void archive_header_free(archive_header* header)
{
    for (int i = 0; i < header->count; i++)
        free(header->members[i].name);
    free(header->members);
    *header = archive_header{};
}

bool archive_read_header(FILE* file, int64_t file_size, archive_header* out,
                         char* why, size_t why_size)
{
    *out = archive_header{};
    char line[archive_line_max];
    int64_t length = 0;
    for (int line_number = 1;; line_number++) {
        bool too_long = false;
        int n = read_header_line(file, line, &too_long);
        bool ok = n > 0;
        if (too_long)
            say(why, why_size, "line %d: longer than %d bytes", line_number, archive_line_max - 1);
        else if (!ok)
            say(why, why_size, "line %d: the header ends without its end line \"-\"", line_number);
        else if (strlen(line) != static_cast<size_t>(n)) {
            say(why, why_size, "line %d: holds a NUL byte", line_number);
            ok = false;
        }
        if (!ok) {
            archive_header_free(out);
            return false;
        }
        length += n;
        if (n == 2 && line[0] == '-')
            break;
        int32_t size = 0;
        char* name = nullptr;
        if (!parse_member_line(line, n, &size, &name, why, why_size, line_number)) {
            archive_header_free(out);
            return false;
        }
        add_member(out, name, size);
    }
    if (!place_members(out, length, file_size, why, why_size)) {
        archive_header_free(out);
        return false;
    }
    out->length = static_cast<int32_t>(length);   // bounded: members start at or before max_offset
    return true;
}

// ---------------------------------------------------------------- writing

bool archive_name_is_valid(const char* name)
{
    size_t n = strlen(name);
    // "2147483647 " + name + "\n" must stay below archive_line_max.
    if (n == 0 || n > static_cast<size_t>(archive_line_max) - 13 || name[0] == '/')
        return false;
    if (strchr(name, '\n'))
        return false;
    const char* part = name;
    for (;;) {
        const char* slash = strchr(part, '/');
        size_t len = slash ? static_cast<size_t>(slash - part) : strlen(part);
        if (len == 0 || (len == 1 && part[0] == '.') || (len == 2 && part[0] == '.' && part[1] == '.'))
            return false;
        if (!slash)
            return true;
        part = slash + 1;
    }
}

struct pack_item {
    const char* name;   // member name
    const char* path;   // source file
    int64_t size;       // source size when the header was written
};

// Copies exactly size bytes of the file at path to out.
static bool copy_member(FILE* out, const pack_item& item, std::vector<char>& block,
                        char* error, size_t error_size)
{
    FILE* in = fopen(item.path, "rb");
    if (!in) {
        say(error, error_size, "cannot open %s: %s", item.path, strerror(errno));
        return false;
    }
    int64_t left = item.size;
    bool ok = true;
    while (left > 0 && ok) {
        size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(block.size())));
        size_t got = fread(block.data(), 1, want, in);
        if (got != want) {
            say(error, error_size, "%s changed or could not be read while packing", item.path);
            ok = false;
        } else if (fwrite(block.data(), 1, got, out) != got) {
            say(error, error_size, "write failed: %s", strerror(errno));
            ok = false;
        }
        left -= static_cast<int64_t>(got);
    }
    if (ok && getc(in) != EOF) {
        say(error, error_size, "%s grew while packing", item.path);
        ok = false;
    }
    fclose(in);
    return ok;
}

// Names sorted, checked and sized; false with a message on the first problem.
static bool prepare_items(const archive_source* sources, int count, std::vector<pack_item>& items,
                          char* error, size_t error_size)
{
    for (int i = 0; i < count; i++) {
        if (!sources[i].name || !archive_name_is_valid(sources[i].name)) {
            say(error, error_size, "bad member name \"%s\"", sources[i].name ? sources[i].name : "");
            return false;
        }
        struct stat st;
        if (stat(sources[i].path, &st) != 0 || !S_ISREG(st.st_mode)) {
            say(error, error_size, "%s is not a readable file", sources[i].path);
            return false;
        }
        items.push_back({sources[i].name, sources[i].path, static_cast<int64_t>(st.st_size)});
    }
    std::sort(items.begin(), items.end(), [](const pack_item& a, const pack_item& b) {
        int folded = text_compare_folded(a.name, b.name);
        return folded != 0 ? folded < 0 : strcmp(a.name, b.name) < 0;
    });
    for (size_t i = 1; i < items.size(); i++)
        if (text_compare_folded(items[i - 1].name, items[i].name) == 0) {
            say(error, error_size, "member names \"%s\" and \"%s\" differ only in case or are repeated",
                items[i - 1].name, items[i].name);
            return false;
        }
    std::sort(items.begin(), items.end(),
              [](const pack_item& a, const pack_item& b) { return strcmp(a.name, b.name) < 0; });
    return true;
}

static bool write_items(FILE* out, const std::vector<pack_item>& items, char* error, size_t error_size)
{
    int64_t total = 2;   // the end line
    for (const pack_item& item : items)
        total += snprintf(nullptr, 0, "%lld %s\n", static_cast<long long>(item.size), item.name) + item.size;
    if (total > max_offset) {
        say(error, error_size, "the archive would exceed 2 GiB");
        return false;
    }
    for (const pack_item& item : items)
        fprintf(out, "%lld %s\n", static_cast<long long>(item.size), item.name);
    fputs("-\n", out);
    std::vector<char> block(copy_block);
    for (const pack_item& item : items)
        if (!copy_member(out, item, block, error, error_size))
            return false;
    if (ferror(out)) {
        say(error, error_size, "write failed: %s", strerror(errno));
        return false;
    }
    return true;
}

bool archive_write(const char* archive_path, const archive_source* sources, int count,
                   char* error, size_t error_size)
{
    std::vector<pack_item> items;
    if (count < 0 || !prepare_items(sources, count, items, error, error_size))
        return false;
    std::string temp = std::string(archive_path) + temp_suffix;
    FILE* out = fopen(temp.c_str(), "wb");
    if (!out) {
        say(error, error_size, "cannot create %s: %s", temp.c_str(), strerror(errno));
        return false;
    }
    bool ok = write_items(out, items, error, error_size);
    if (fclose(out) != 0 && ok) {
        say(error, error_size, "write failed: %s", strerror(errno));
        ok = false;
    }
    if (ok && rename(temp.c_str(), archive_path) != 0) {
        say(error, error_size, "cannot rename %s to %s: %s", temp.c_str(), archive_path, strerror(errno));
        ok = false;
    }
    if (!ok)
        remove(temp.c_str());
    return ok;
}

struct walk_result {
    std::vector<std::string> names;   // member names found
    std::vector<std::string> paths;   // their files
};

static bool same_file(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// Collects the regular files below dir/rel; symbolic links to directories
// are left alone so a link loop cannot make the walk endless.
static bool walk_pack_dir(const fs::path& dir, const std::string& rel, const fs::path& archive,
                          const fs::path& temp, walk_result& out, char* error, size_t error_size)
{
    std::error_code ec;
    fs::path here = rel.empty() ? dir : dir / rel;
    fs::directory_iterator it(here, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string name = rel.empty() ? it->path().filename().string()
                                       : rel + "/" + it->path().filename().string();
        std::error_code kind_ec;
        bool link = it->is_symlink(kind_ec);
        fs::file_status st = it->status(kind_ec);
        if (st.type() == fs::file_type::not_found)   // a dangling link holds no bytes
            continue;
        if (kind_ec) {
            say(error, error_size, "cannot examine %s: %s", it->path().c_str(), kind_ec.message().c_str());
            return false;
        }
        if (fs::is_directory(st)) {
            if (!link && !walk_pack_dir(dir, name, archive, temp, out, error, error_size))
                return false;
        } else if (fs::is_regular_file(st) && !same_file(it->path(), archive) && !same_file(it->path(), temp)) {
            out.names.push_back(name);
            out.paths.push_back(it->path().string());
        }
    }
    if (ec) {
        say(error, error_size, "cannot read folder %s: %s", here.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

bool archive_pack_dir(const char* archive_path, const char* dir, char* error, size_t error_size)
{
    walk_result found;
    fs::path archive(archive_path);
    fs::path temp(std::string(archive_path) + temp_suffix);
    if (!walk_pack_dir(fs::path(dir), "", archive, temp, found, error, error_size))
        return false;
    std::vector<archive_source> sources;
    for (size_t i = 0; i < found.names.size(); i++)
        sources.push_back({found.names[i].c_str(), found.paths[i].c_str()});
    if (sources.size() > static_cast<size_t>(max_offset)) {
        say(error, error_size, "too many files below %s", dir);
        return false;
    }
    return archive_write(archive_path, sources.data(), static_cast<int>(sources.size()), error, error_size);
}

// ---------------------------------------------------------------- digest

bool archive_digest(const char* path, uint8_t digest[20])
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    sha1_state state;
    sha1_begin(&state);
    uint8_t block[archive_digest_step];
    size_t total = 0;
    while (total < archive_digest_bytes) {
        size_t got = fread(block, 1, sizeof block, file);
        sha1_add(&state, block, got);
        total += got;
        if (got < sizeof block)
            break;
    }
    bool ok = !ferror(file);
    fclose(file);
    if (ok)
        sha1_end(&state, digest);
    return ok;
}
