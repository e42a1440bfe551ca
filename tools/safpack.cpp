// safpack.cpp -- pack, list, unpack and digest ".saf" archives.
//
//   safpack create ARCHIVE DIR    pack every file below DIR, named relative to DIR
//   safpack list ARCHIVE          print "size name" for every member
//   safpack extract ARCHIVE DIR   write every member below DIR
//   safpack digest FILE           print the SHA-1 of the first MiB of FILE
//
// Needs: the archive reader and writer (data/archive.h).  Promises: exit
// status 0 on success and 1 with a message on standard error otherwise;
// extraction refuses member names that would land outside DIR before it
// writes anything.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "base/sha1.h"
#include "data/archive.h"

namespace fs = std::filesystem;

constexpr size_t message_size = 1024;    // bytes of an error message
constexpr size_t copy_block = 65536;     // bytes per read while extracting

static const char usage_text[] =
    "usage: safpack create ARCHIVE DIR    pack every file below DIR\n"
    "       safpack list ARCHIVE          list the members as \"size name\"\n"
    "       safpack extract ARCHIVE DIR   write every member below DIR\n"
    "       safpack digest FILE           SHA-1 of the first 1048576 bytes of FILE\n";

static int fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
static int fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("safpack: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return 1;
}

// Opens an archive and reads its header; null (with a message) on failure.
static FILE* open_archive(const char* path, archive_header* header)
{
    FILE* file = fopen(path, "rb");
    if (!file) {
        fail("cannot open %s: %s", path, strerror(errno));
        return nullptr;
    }
    struct stat st;
    char why[message_size] = "cannot read its size";
    if (fstat(fileno(file), &st) != 0 ||
        !archive_read_header(file, static_cast<int64_t>(st.st_size), header, why, sizeof why)) {
        fail("%s is not a valid archive: %s", path, why);
        fclose(file);
        return nullptr;
    }
    return file;
}

static int command_create(const char* archive, const char* dir)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return fail("%s is not a folder", dir);
    char error[message_size] = "";
    if (!archive_pack_dir(archive, dir, error, sizeof error))
        return fail("cannot create %s: %s", archive, error);
    return 0;
}

static int command_list(const char* archive)
{
    archive_header header{};
    FILE* file = open_archive(archive, &header);
    if (!file)
        return 1;
    fclose(file);
    for (int i = 0; i < header.count; i++)
        printf("%d %s\n", static_cast<int>(header.members[i].size), header.members[i].name);
    archive_header_free(&header);
    return fflush(stdout) == 0 ? 0 : 1;
}

// Copies one member to path; false with a message on failure.
static bool extract_member(FILE* file, const archive_member& m, const fs::path& path)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        fail("cannot create folder %s: %s", path.parent_path().c_str(), ec.message().c_str());
        return false;
    }
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) {
        fail("cannot create %s: %s", path.c_str(), strerror(errno));
        return false;
    }
    bool ok = fseek(file, m.offset, SEEK_SET) == 0;
    std::vector<char> block(copy_block);
    for (int32_t left = m.size; ok && left > 0;) {
        size_t want = left < static_cast<int32_t>(copy_block) ? static_cast<size_t>(left) : copy_block;
        size_t got = fread(block.data(), 1, want, file);
        ok = got == want && fwrite(block.data(), 1, got, out) == got;
        left -= static_cast<int32_t>(got);
    }
    if (fclose(out) != 0)
        ok = false;
    if (!ok)
        fail("cannot extract %s: read or write failed", m.name);
    return ok;
}

static int command_extract(const char* archive, const char* dir)
{
    archive_header header{};
    FILE* file = open_archive(archive, &header);
    if (!file)
        return 1;
    int status = 0;
    for (int i = 0; i < header.count && status == 0; i++)
        if (!archive_name_is_valid(header.members[i].name))
            status = fail("%s: refusing member name \"%s\" (not a plain relative name)",
                          archive, header.members[i].name);
    for (int i = 0; i < header.count && status == 0; i++)
        if (!extract_member(file, header.members[i], fs::path(dir) / header.members[i].name))
            status = 1;
    fclose(file);
    archive_header_free(&header);
    return status;
}

static int command_digest(const char* path)
{
    uint8_t digest[sha1_digest_size];
    if (!archive_digest(path, digest))
        return fail("cannot read %s: %s", path, strerror(errno));
    char hex[sha1_hex_size];
    sha1_to_hex(digest, hex);
    printf("%s\n", hex);
    return fflush(stdout) == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        fputs(usage_text, stdout);
        return 0;
    }
    const char* command = argc > 1 ? argv[1] : "";
    if (strcmp(command, "create") == 0 && argc == 4)
        return command_create(argv[2], argv[3]);
    if (strcmp(command, "list") == 0 && argc == 3)
        return command_list(argv[2]);
    if (strcmp(command, "extract") == 0 && argc == 4)
        return command_extract(argv[2], argv[3]);
    if (strcmp(command, "digest") == 0 && argc == 3)
        return command_digest(argv[2]);
    if (argc > 1 && strcmp(command, "create") && strcmp(command, "list") && strcmp(command, "extract") &&
        strcmp(command, "digest"))
        fprintf(stderr, "safpack: unknown command \"%s\"\n", command);
    else if (argc > 1)
        fprintf(stderr, "safpack: wrong number of arguments for \"%s\"\n", command);
    fputs(usage_text, stderr);
    return 1;
}
