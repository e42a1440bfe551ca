// stream_test.cpp -- opening names through the data roots and archives,
// gzip and ".scram" reading, backups, seeking and line reading.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <zlib.h>

#include "data/file_index.h"
#include "data/paths.h"
#include "data/scramble.h"
#include "data/stream.h"
#include "test_support.h"

namespace {

constexpr int fhcrc = 2, fextra = 4, fname = 8, fcomment = 16;

class StreamTest : public ::testing::Test {
protected:
    scratch_dir dir;
    std::string home = dir / "home";
    std::string game = dir / "game";

    void SetUp() override
    {
        mkdir(game.c_str(), 0755);
        set_env("XDG_DATA_HOME", home.c_str());
        set_env("VK_HOME", game.c_str());
        data_roots_reset();
        file_index_reset();
    }
    void TearDown() override
    {
        data_roots_reset();
        file_index_reset();
    }
    std::string home_root() const { return home + "/Vortrak/"; }
};

// Everything left in the stream, read in odd-sized pieces.
std::string read_rest(file_stream* s)
{
    std::string out;
    char buf[777];
    for (int n; (n = stream_read(s, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

std::string read_name(const std::string& name)
{
    file_stream* s = stream_open(name.c_str(), "rb");
    if (!s)
        return "<none>";
    std::string out = read_rest(s);
    stream_close(s);
    return out;
}

void put_le32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

std::string deflate_raw(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A gzip file built by hand, so each header flag can be set on its own.
std::string gzip_bytes(const std::string& data, int flags = 0, const std::string& extra = "xy")
{
    std::string out = { '\x1f', '\x8b', 8, static_cast<char>(flags), 1, 2, 3, 4, 0, 3 };
    if (flags & fextra) {
        out += static_cast<char>(extra.size() & 0xff);
        out += static_cast<char>(extra.size() >> 8);
        out += extra;
    }
    if (flags & fname)
        out += std::string("name.txt") + '\0';
    if (flags & fcomment)
        out += std::string("a comment") + '\0';
    if (flags & fhcrc)
        out += "\x12\x34";
    out += deflate_raw(data);
    put_le32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))));
    put_le32(out, static_cast<uint32_t>(data.size()));
    return out;
}

std::string scrambled(const std::string& data)
{
    std::string out(data.size() + scramble_header_size, '\0');
    int32_t n = scramble_encode(data.data(), static_cast<int32_t>(data.size()), reinterpret_cast<uint8_t*>(out.data()));
    out.resize(static_cast<size_t>(n));
    return out;
}

// Letters from a fixed generator: compresses to several 16 KiB blocks.
std::string sample_text(size_t size)
{
    std::string s(size, ' ');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; i++) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>('a' + (x >> 16) % 26);
        if (i % 61 == 60)
            s[i] = '\n';
    }
    return s;
}

// ---------------------------------------------------------------- roots

TEST_F(StreamTest, HomeRootWinsForReadingAndTakesEveryWrite)
{
    write_file(game + "/config", "shipped");
    EXPECT_EQ(read_name("@config"), "shipped");

    file_stream* s = stream_open("@config", "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(stream_puts(s, "mine"));
    stream_close(s);
    EXPECT_EQ(read_file(home_root() + "config"), "mine");
    EXPECT_EQ(read_file(game + "/config"), "shipped");
    EXPECT_EQ(read_name("@config"), "mine");
}

TEST_F(StreamTest, WriteCreatesDirectoriesBelowHomeRoot)
{
    file_stream* s = stream_open("@demos/sub/run.vkdemo", "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(stream_printf(s, "%d %s", 7, "x"));
    EXPECT_TRUE(stream_putc(s, '!'));
    EXPECT_TRUE(stream_write(s, "ab", 2));
    EXPECT_TRUE(stream_flush(s));
    EXPECT_EQ(read_file(home_root() + "demos/sub/run.vkdemo"), "7 x!ab");
    stream_close(s);

    s = stream_open((dir / "plain/a/b.txt").c_str(), "wb");
    ASSERT_NE(s, nullptr);
    stream_close(s);
    EXPECT_TRUE(file_exists(dir / "plain/a/b.txt"));
}

// When the home root cannot be created the write fails; it never falls
// through to the game data root.
TEST_F(StreamTest, WriteNeverFallsBackToGameRoot)
{
    write_file(dir / "blocker", "a file where the home folder should be");
    set_env("XDG_DATA_HOME", (dir / "blocker").c_str());
    data_roots_reset();
    write_file(game + "/config", "shipped");
    EXPECT_EQ(stream_open("@config", "wb"), nullptr);
    EXPECT_EQ(read_file(game + "/config"), "shipped");
}

TEST_F(StreamTest, UnsafeAndOverlongNamesAreRefused)
{
    write_file(dir / "secret.txt", "secret");
    write_file(home_root() + "ok.txt", "ok");
    const char* names[] = { "@", "@../../secret.txt", "@a/../../../secret.txt", "@..\\..\\secret.txt" };
    for (const char* name : names) {
        EXPECT_EQ(stream_open(name, "rb"), nullptr) << name;
        EXPECT_EQ(stream_open(name, "wb"), nullptr) << name;
    }
    std::string secret = dir / "secret.txt";
    std::string abs = "@" + secret;
    EXPECT_EQ(stream_open(abs.c_str(), "rb"), nullptr);

    // A name that would be cut to fit must not open (or create) the prefix.
    std::string root = home_root();
    std::string name;   // components under the file system's 255-byte limit
    while (name.size() + 100 < path_max - root.size() - 1)
        name += std::string(99, 'd') + "/";
    name += std::string(path_max - root.size() - 1 - name.size(), 'n');
    write_file(root + name, "cut");
    std::string longer = "@" + name + "tail";
    EXPECT_EQ(stream_open(longer.c_str(), "rb"), nullptr);
    EXPECT_EQ(stream_open(longer.c_str(), "wb"), nullptr);
    EXPECT_EQ(read_file(root + name), "cut");
    std::string long_path = root + name + "tail";
    EXPECT_EQ(stream_open(long_path.c_str(), "wb"), nullptr);
    EXPECT_EQ(read_name("@ok.txt"), "ok");
}

TEST_F(StreamTest, MissingNameOpensNothing)
{
    EXPECT_EQ(stream_open("@nothing/here", "rb"), nullptr);
    EXPECT_EQ(stream_open((dir / "nothing").c_str(), "rb"), nullptr);
    // A directory is not a file, even though fopen accepts it for reading.
    mkdir((game + "/tracks").c_str(), 0755);
    EXPECT_EQ(stream_open("@tracks", "rb"), nullptr);
}

// ---------------------------------------------------------------- gzip

TEST_F(StreamTest, GzipHeaderFlagsAreSkipped)
{
    std::string text = "first line\nsecond line\n";
    const int flag_sets[] = { 0, fextra, fname, fcomment, fhcrc, fextra | fname | fcomment | fhcrc };
    for (int flags : flag_sets) {
        write_file(dir / "f.gz", gzip_bytes(text, flags));
        EXPECT_EQ(read_name(dir / "f"), text) << flags;
    }
    // An extra field longer than one input block.
    write_file(dir / "f.gz", gzip_bytes(text, fextra | fname, std::string(20000, 'e')));
    EXPECT_EQ(read_name(dir / "f"), text);
}

TEST_F(StreamTest, GzipHeaderErrorsFailTheOpen)
{
    std::string good = gzip_bytes("data");
    std::string reserved = good, method = good, magic = good;
    reserved[3] = 32;
    method[2] = 7;
    magic[1] = 'x';
    const std::string files[] = { reserved, method, magic, good.substr(0, 7), "plain text, not gzip", "" };
    for (const std::string& bytes : files) {
        write_file(dir / "h.gz", bytes);
        EXPECT_EQ(stream_open((dir / "h").c_str(), "rb"), nullptr) << bytes.size();
    }
}

TEST_F(StreamTest, GzipLargeDataInflatesAcrossBlocks)
{
    std::string text = sample_text(300000);
    std::string packed = gzip_bytes(text);
    ASSERT_GT(packed.size(), 3u * stream_packed_size);
    write_file(home_root() + "big.txt.gz", packed);
    file_stream* s = stream_open("@big.txt", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->gzip);
    EXPECT_EQ(stream_getc(s), text[0]);
    EXPECT_EQ(stream_peekc(s), text[1]);
    EXPECT_EQ(read_rest(s), text.substr(1));
    EXPECT_EQ(stream_getc(s), -1);
    EXPECT_FALSE(stream_failed(s));
    EXPECT_EQ(s->pos, static_cast<int32_t>(text.size()));
    stream_close(s);
}

// Damaged data is an error the caller can see, not a clean end of file.
TEST_F(StreamTest, CorruptOrTruncatedGzipFails)
{
    std::string text = sample_text(50000);
    std::string good = gzip_bytes(text);
    std::string bad_crc = good, bad_size = good, flipped = good;
    bad_crc[good.size() - 8] ^= 1;
    bad_size[good.size() - 1] ^= 1;
    flipped[good.size() / 2] ^= 0x55;
    struct row {
        const char* what;
        std::string bytes;
    };
    const row rows[] = {
        { "bad crc", bad_crc },
        { "bad size", bad_size },
        { "flipped byte", flipped },
        { "no trailer", good.substr(0, good.size() - 8) },
        { "half trailer", good.substr(0, good.size() - 4) },
        { "half data", good.substr(0, good.size() / 2) },
    };
    for (const row& r : rows) {
        write_file(dir / "c.gz", r.bytes);
        file_stream* s = stream_open((dir / "c").c_str(), "rb");
        ASSERT_NE(s, nullptr) << r.what;
        std::string got = read_rest(s);
        EXPECT_TRUE(stream_failed(s)) << r.what;
        EXPECT_LT(got.size(), text.size()) << r.what;
        EXPECT_EQ(stream_getc(s), -1) << r.what;
        stream_close(s);
    }
    write_file(dir / "c.gz", good);
    file_stream* s = stream_open((dir / "c").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(read_rest(s), text);
    EXPECT_FALSE(stream_failed(s));
    stream_close(s);
}

TEST_F(StreamTest, LooseFallbacksFollowRootOrder)
{
    write_file(game + "/a/b.png.gz", gzip_bytes("inflated"));
    EXPECT_EQ(read_name("@a/b.png"), "inflated");
    // The home root's variants are tried before the next root's plain file.
    write_file(game + "/c.txt", "game plain");
    write_file(home_root() + "c.txt.scram", scrambled("home scrambled"));
    EXPECT_EQ(read_name("@c.txt"), "home scrambled");
    // A plain file wins over its variants in the same root.
    write_file(home_root() + "c.txt", "home plain");
    EXPECT_EQ(read_name("@c.txt"), "home plain");
}

// ---------------------------------------------------------------- scramble

TEST_F(StreamTest, ScrambledFilesRoundTrip)
{
    std::string text = sample_text(5000);
    std::string image = scrambled(text);
    EXPECT_EQ(image.substr(0, 8), std::string("VKSCRAM\x01", 8));
    EXPECT_EQ(image.find(text.substr(0, 40)), std::string::npos);
    write_file(dir / "s.txt.scram", image);
    EXPECT_EQ(read_name(dir / "s.txt"), text);

    write_file(dir / "g.txt.gz.scram", scrambled(gzip_bytes(text)));
    file_stream* s = stream_open((dir / "g.txt").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->gzip && s->scrambled);
    EXPECT_EQ(read_rest(s), text);
    EXPECT_FALSE(stream_failed(s));
    stream_close(s);

    std::string bad = image;
    bad[7] = 2;   // unknown version
    write_file(dir / "v.txt.scram", bad);
    EXPECT_EQ(stream_open((dir / "v.txt").c_str(), "rb"), nullptr);
    write_file(dir / "short.scram", "VKSC");
    EXPECT_EQ(stream_open((dir / "short").c_str(), "rb"), nullptr);
}

// ---------------------------------------------------------------- archives

// Builds "<count> <name>\n" lines, the end line and the members' bytes.
std::string archive_bytes(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string header, data;
    for (const auto& m : members) {
        header += std::to_string(m.second.size()) + " " + m.first + "\n";
        data += m.second;
    }
    return header + "-\n" + data;
}

TEST_F(StreamTest, ArchiveMembersStayWithinTheirBytes)
{
    write_file(game + "/pack.saf", archive_bytes({
        { "a.txt", "hello" },
        { "b/c.txt", "xyz" },
        { "g.txt.gz", gzip_bytes("packed member") },
        { "s.txt.scram", scrambled("scrambled member") },
    }));
    file_stream* s = stream_open("@a.txt", "rb");
    ASSERT_NE(s, nullptr);
    char buf[64];
    EXPECT_EQ(stream_read(s, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(stream_getc(s), -1);
    EXPECT_TRUE(stream_seek(s, 1));
    EXPECT_EQ(s->pos, 1);
    EXPECT_EQ(read_rest(s), "ello");
    EXPECT_FALSE(stream_seek(s, 5));
    EXPECT_TRUE(stream_seek(s, 4));
    EXPECT_EQ(read_rest(s), "o");
    stream_close(s);

    EXPECT_EQ(read_name("@B/C.TXT"), "xyz");
    EXPECT_EQ(read_name("@g.txt"), "packed member");
    EXPECT_EQ(read_name("@s.txt"), "scrambled member");

    write_file(home_root() + "a.txt", "loose");
    file_index_reset();
    EXPECT_EQ(read_name("@a.txt"), "loose");
}

// Variants compete by archive priority: an earlier archive's ".gz" beats a
// later archive's plain member; within one archive the plain name wins.
TEST_F(StreamTest, ArchiveVariantsCompeteByPriority)
{
    write_file(game + "/aaa.saf", archive_bytes({ { "t.txt.gz", gzip_bytes("from aaa") }, { "u.txt.gz", gzip_bytes("gz u") }, { "u.txt", "plain u" } }));
    write_file(game + "/zzz.saf", archive_bytes({ { "t.txt", "from zzz" } }));
    EXPECT_EQ(read_name("@t.txt"), "from aaa");
    EXPECT_EQ(read_name("@u.txt"), "plain u");
}

// ---------------------------------------------------------------- backups

TEST_F(StreamTest, BackupTakesFirstFreeNumber)
{
    std::string x = dir / "x";
    write_file(x, "current");
    write_file(x + ".~1~", "one");
    write_file(x + ".~2~", "two");
    file_stream* s = stream_open(x.c_str(), "~wb");
    ASSERT_NE(s, nullptr);
    stream_puts(s, "new");
    stream_close(s);
    EXPECT_EQ(read_file(x + ".~3~"), "current");
    EXPECT_EQ(read_file(x + ".~1~"), "one");
    EXPECT_EQ(read_file(x + ".~2~"), "two");
    EXPECT_EQ(read_file(x), "new");

    // No file yet: nothing to back up.
    std::string y = dir / "y";
    s = stream_open(y.c_str(), "~wb");
    ASSERT_NE(s, nullptr);
    stream_close(s);
    EXPECT_FALSE(file_exists(y + ".~1~"));

    // A backup larger than one copy block arrives whole.
    std::string big = sample_text(200000);
    write_file(home_root() + "demo.vkdemo", big);
    s = stream_open("@demo.vkdemo", "~wb");
    ASSERT_NE(s, nullptr);
    stream_close(s);
    EXPECT_EQ(read_file(home_root() + "demo.vkdemo.~1~"), big);
}

TEST_F(StreamTest, BackupFailsWhenEveryNumberIsTaken)
{
    std::string x = dir / "full/x";
    write_file(x, "keep me");
    for (int n = 1; n <= 9999; n++)
        fclose(fopen((x + ".~" + std::to_string(n) + "~").c_str(), "wb"));
    EXPECT_EQ(stream_open(x.c_str(), "~wb"), nullptr);
    EXPECT_EQ(read_file(x), "keep me");
}

// ---------------------------------------------------------------- reading

TEST_F(StreamTest, SeekPlainFilesOnly)
{
    write_file(dir / "p.txt", "0123456789");
    file_stream* s = stream_open((dir / "p.txt").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_getc(s), '0');
    EXPECT_EQ(stream_peekc(s), '1');
    EXPECT_TRUE(stream_seek(s, 7));
    EXPECT_EQ(s->pos, 7);
    EXPECT_EQ(s->pushback, -1);
    EXPECT_EQ(read_rest(s), "789");
    EXPECT_FALSE(stream_seek(s, -1));
    stream_close(s);

    write_file(dir / "q.txt.gz", gzip_bytes("abcdef"));
    write_file(dir / "r.txt.scram", scrambled("abcdef"));
    for (const char* name : { "q.txt", "r.txt" }) {
        s = stream_open((dir / name).c_str(), "rb");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(stream_getc(s), 'a');
        EXPECT_EQ(stream_peekc(s), 'b');
        int32_t pos = s->pos;
        EXPECT_FALSE(stream_seek(s, 0)) << name;
        EXPECT_EQ(s->pos, pos);
        EXPECT_EQ(read_rest(s), "bcdef") << name;
        stream_close(s);
    }
}

TEST_F(StreamTest, GetsKeepsLineEndsAndHandlesTinyBuffers)
{
    write_file(dir / "l.txt", "ab\ncdefgh\nlast");
    file_stream* s = stream_open((dir / "l.txt").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    char buf[5];
    ASSERT_EQ(stream_gets(s, buf, 1), buf);
    EXPECT_STREQ(buf, "");
    EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "ab\n");
    EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "cdef");
    EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "gh\n");
    EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "last");
    EXPECT_EQ(stream_gets(s, buf, sizeof buf), nullptr);
    EXPECT_EQ(stream_gets(s, buf, 1), nullptr);
    stream_close(s);
}

TEST_F(StreamTest, ReadCountsPushbackOnce)
{
    write_file(dir / "r.txt", "abcdef");
    file_stream* s = stream_open((dir / "r.txt").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_peekc(s), 'a');
    EXPECT_EQ(stream_peekc(s), 'a');
    char buf[4];
    EXPECT_EQ(stream_read(s, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(s->pos, 3);
    stream_close(s);
}

}   // namespace
