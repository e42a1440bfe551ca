// archive_test.cpp -- the archive writer and the safpack tool, read back
// through the header reader, the file index and stream_open.
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "base/sha1.h"
#include "data/archive.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "data/stream.h"
#include "test_support.h"

namespace {

const std::string safpack = VK_BUILD_DIR "/tools/safpack";

std::string gzip_bytes(const std::string& plain)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, plain.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Runs a shell command; its exit status and standard output.
int run(const std::string& command, std::string* output = nullptr)
{
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p)
        return -1;
    std::string text;
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
        text.append(buffer, n);
    int status = pclose(p);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> member_names(const std::string& archive)
{
    std::vector<std::string> names;
    FILE* f = fopen(archive.c_str(), "rb");
    if (!f)
        return names;
    archive_header h{};
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (archive_read_header(f, size, &h, nullptr, 0))
        for (int i = 0; i < h.count; i++)
            names.push_back(h.members[i].name);
    archive_header_free(&h);
    fclose(f);
    return names;
}

struct pack_fixture : ::testing::Test {
    scratch_dir scratch;
    std::string game, source;   // the game root ("/"-terminated) and the folder to pack
    std::vector<std::pair<std::string, std::string>> files;   // name below source, plain bytes

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", (scratch / "game").c_str());
        game = scratch / "game/";
        source = scratch / "src";
        write_file(game + ".keep", "");
        data_roots_reset();
        file_index_reset();

        std::string binary;
        for (int i = 0; i < 70000; i++)
            binary += static_cast<char>((i * 31 + i / 256) & 255);
        std::string text;
        for (int i = 0; i < 3000; i++)
            text += "line " + std::to_string(i) + "\n";
        files = {{"tracks/mx/desc", "name Test Track\n"},
                 {"tracks/mx/terrain.hf", binary},
                 {"empty.txt", ""},
                 {"Bikes/Paint.png", "png-ish bytes"},
                 {"a/b/c/d/e.txt", "deep"}};
        for (const auto& [name, bytes] : files)
            write_file(source + "/" + name, bytes);
        write_file(source + "/tracks/mx/lighting.gz", gzip_bytes(text));
        files.push_back({"tracks/mx/lighting", text});
    }
    void TearDown() override
    {
        file_index_reset();
        data_roots_reset();
    }

    // Every packed file reads back through the index and stream_open.
    void expect_readable()
    {
        file_index_reset();
        for (const auto& [name, bytes] : files) {
            SCOPED_TRACE(name);
            std::string data_name = "@" + name;
            file_stream* s = stream_open(data_name.c_str(), "rb");
            ASSERT_TRUE(s);
            std::string got;
            char buffer[4096];
            for (int n; (n = stream_read(s, buffer, sizeof buffer)) > 0;)
                got.append(buffer, static_cast<size_t>(n));
            stream_close(s);
            EXPECT_EQ(got, bytes);
        }
    }
};

TEST_F(pack_fixture, packed_folder_reads_back_byte_for_byte)
{
    char error[512] = "";
    ASSERT_TRUE(archive_pack_dir((game + "pack.saf").c_str(), source.c_str(), error, sizeof error)) << error;
    EXPECT_FALSE(file_exists(game + "pack.saf.tmp"));
    EXPECT_EQ(member_names(game + "pack.saf"),
              (std::vector<std::string>{"Bikes/Paint.png", "a/b/c/d/e.txt", "empty.txt", "tracks/mx/desc",
                                        "tracks/mx/lighting.gz", "tracks/mx/terrain.hf"}));
    // Lookups fold case, so the member is found under any spelling.
    EXPECT_GE(file_index_find("bikes/paint.png"), 0);
    EXPECT_EQ(file_index_entry_at(file_index_find("tracks/mx/desc"))->priority, 2);
    expect_readable();

    // The same folder packs to the same bytes.
    ASSERT_TRUE(archive_pack_dir((scratch / "again.saf").c_str(), source.c_str(), error, sizeof error));
    EXPECT_EQ(read_file(scratch / "again.saf"), read_file(game + "pack.saf"));
}

TEST_F(pack_fixture, writer_refuses_bad_member_lists)
{
    write_file(scratch / "one", "1");
    write_file(scratch / "two", "2");
    std::string one = scratch / "one", two = scratch / "two", missing = scratch / "missing";
    struct bad_case { const char* what; std::vector<archive_source> sources; };
    const bad_case cases[] = {
        {"empty name", {{"", one.c_str()}}},
        {"absolute name", {{"/etc/x", one.c_str()}}},
        {"parent component", {{"a/../b", one.c_str()}}},
        {"empty component", {{"a//b", one.c_str()}}},
        {"trailing slash", {{"a/", one.c_str()}}},
        {"line feed", {{"a\nb", one.c_str()}}},
        {"repeated name", {{"x", one.c_str()}, {"x", two.c_str()}}},
        {"names equal but for case", {{"Tex.png", one.c_str()}, {"b", one.c_str()}, {"tex.PNG", two.c_str()}}},
        {"missing source", {{"x", missing.c_str()}}},
        {"folder as source", {{"x", scratch.path.c_str()}}},
    };
    std::string archive = scratch / "out.saf";
    write_file(archive, "old contents");
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        char error[512] = "";
        EXPECT_FALSE(archive_write(archive.c_str(), c.sources.data(), static_cast<int>(c.sources.size()),
                                   error, sizeof error));
        EXPECT_NE(error[0], 0);
        EXPECT_EQ(read_file(archive), "old contents");
        EXPECT_FALSE(file_exists(archive + ".tmp"));
    }
    char error[512] = "";
    EXPECT_FALSE(archive_pack_dir(archive.c_str(), (scratch / "no-such-folder").c_str(), error, sizeof error));
    EXPECT_EQ(read_file(archive), "old contents");
}

TEST_F(pack_fixture, archive_in_its_own_folder_is_not_packed_into_itself)
{
    std::string archive = source + "/self.saf";
    char error[512] = "";
    ASSERT_TRUE(archive_pack_dir(archive.c_str(), source.c_str(), error, sizeof error)) << error;
    std::string first = read_file(archive);
    ASSERT_TRUE(archive_pack_dir(archive.c_str(), source.c_str(), error, sizeof error)) << error;
    EXPECT_EQ(read_file(archive), first);
    for (const std::string& name : member_names(archive))
        EXPECT_NE(name, "self.saf");
}

TEST_F(pack_fixture, safpack_create_list_extract_digest)
{
    std::string archive = game + "tool.saf";
    ASSERT_EQ(run(safpack + " create '" + archive + "' '" + source + "'"), 0);
    char error[512] = "";
    ASSERT_TRUE(archive_pack_dir((scratch / "writer.saf").c_str(), source.c_str(), error, sizeof error));
    EXPECT_EQ(read_file(archive), read_file(scratch / "writer.saf"));
    expect_readable();

    std::string listing;
    ASSERT_EQ(run(safpack + " list '" + archive + "'", &listing), 0);
    EXPECT_EQ(listing.substr(0, 22), "13 Bikes/Paint.png\n4 a");
    EXPECT_NE(listing.find("\n70000 tracks/mx/terrain.hf\n"), std::string::npos);

    std::string out = scratch / "out";
    ASSERT_EQ(run(safpack + " extract '" + archive + "' '" + out + "'"), 0);
    EXPECT_EQ(read_file(out + "/tracks/mx/terrain.hf"), read_file(source + "/tracks/mx/terrain.hf"));
    EXPECT_EQ(read_file(out + "/tracks/mx/lighting.gz"), read_file(source + "/tracks/mx/lighting.gz"));
    EXPECT_TRUE(file_exists(out + "/empty.txt"));

    std::string digest;
    ASSERT_EQ(run(safpack + " digest '" + archive + "'", &digest), 0);
    std::string bytes = read_file(archive);
    uint8_t d[sha1_digest_size];
    char hex[sha1_hex_size];
    sha1_of(bytes.data(), bytes.size(), d);
    sha1_to_hex(d, hex);
    EXPECT_EQ(digest, std::string(hex) + "\n");
}

TEST_F(pack_fixture, safpack_refuses_bad_input)
{
    std::string out = scratch / "out";
    struct bad_case { const char* what; std::string image; };
    const bad_case cases[] = {
        {"parent component", "2 ok\n3 ../evil\n-\nhiabc"},
        {"absolute name", "3 /tmp/evil\n-\nabc"},
        {"not an archive", "hello world"},
        {"member past the end", "30 big\n-\nabc"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file(scratch / "bad.saf", c.image);
        EXPECT_EQ(run(safpack + " extract '" + (scratch / "bad.saf") + "' '" + out + "'"), 1);
        EXPECT_FALSE(file_exists(out));   // nothing written before the names were checked
        EXPECT_FALSE(file_exists(scratch / "evil"));
    }
    EXPECT_EQ(run(safpack + " list '" + (scratch / "bad.saf") + "'"), 1);
    EXPECT_EQ(run(safpack + " list '" + (scratch / "missing.saf") + "'"), 1);
    EXPECT_EQ(run(safpack + " digest '" + (scratch / "missing") + "'"), 1);
    EXPECT_EQ(run(safpack + " create '" + (scratch / "x.saf") + "' '" + (scratch / "missing") + "'"), 1);
    EXPECT_EQ(run(safpack), 1);
    EXPECT_EQ(run(safpack + " frobnicate x"), 1);
    EXPECT_EQ(run(safpack + " list"), 1);
    std::string usage;
    EXPECT_EQ(run(safpack + " --help", &usage), 0);
    EXPECT_NE(usage.find("usage: safpack create ARCHIVE DIR"), std::string::npos);
}

}  // namespace
