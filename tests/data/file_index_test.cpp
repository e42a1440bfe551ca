// file_index_test.cpp -- the index of loose files and archive members, the
// texture variant lists and the game data check.
//
// Every test gets a home root ($XDG_DATA_HOME/Vortrak/) and a game root
// ($VK_HOME) in a scratch folder, so two data roots: loose files have
// priority 0 or 1, the first archive 2.
#include <cctype>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/intern.h"
#include "base/sha1.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "data/stream.h"
#include "test_support.h"

// The digest game_data_check compares with: SHA-1 of "abc".  Defining it
// here keeps the test independent of the generated data pack.
extern const char game_data_digest[] = "a9993e364706816aba3e25717850c26c9cd0d89d";

namespace {

using member_list = std::vector<std::pair<std::string, std::string>>;   // name, bytes

// An archive image: header lines, end line, then the bytes.
std::string make_archive(const member_list& members)
{
    std::string header, data;
    for (const auto& [name, bytes] : members) {
        header += std::to_string(bytes.size()) + " " + name + "\n";
        data += bytes;
    }
    return header + "-\n" + data;
}

struct index_fixture : ::testing::Test {
    scratch_dir scratch;
    std::string home, game;   // the two data roots, ending in "/"

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", (scratch / "game").c_str());
        home = scratch / "xdg/Vortrak/";
        game = scratch / "game/";
        write_file(home + ".keep", "");
        write_file(game + ".keep", "");
        data_roots_reset();
        file_index_reset();
    }
    void TearDown() override
    {
        file_index_reset();
        data_roots_reset();
    }

    const file_index_entry* find(const char* name)
    {
        return file_index_entry_at(file_index_find(name));
    }
    // Everything read through stream_open, or "<none>".
    static std::string read_stream(const char* name)
    {
        file_stream* s = stream_open(name, "rb");
        if (!s)
            return "<none>";
        std::string out;
        char buffer[700];
        for (int n; (n = stream_read(s, buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<size_t>(n));
        stream_close(s);
        return out;
    }
};

TEST_F(index_fixture, header_gives_offsets_sizes_and_archive_priority)
{
    write_file(game + "pack.saf", "5 a.txt\n3 b/c.txt\n-\nhelloxyz");
    const file_index_entry* a = find("a.txt");
    const file_index_entry* c = find("b/c.txt");
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a->offset, 20);
    EXPECT_EQ(a->size, 5);
    EXPECT_EQ(c->offset, 25);
    EXPECT_EQ(c->size, 3);
    EXPECT_EQ(a->priority, 2);
    EXPECT_STREQ(a->path, (game + "pack.saf").c_str());
    const file_index_entry* pack = find("pack.saf");
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->priority, 1);
    EXPECT_EQ(pack->size, 28);
    EXPECT_EQ(file_index_count(), 5);   // two ".keep", the archive, two members
    EXPECT_EQ(read_stream("@b/c.txt"), "xyz");
}

// Each header must drop the whole archive: not one member survives.
TEST_F(index_fixture, malformed_headers_drop_the_archive)
{
    struct bad_case { const char* what; std::string image; };
    const std::string long_name(1021, 'n');   // "0 " + name + "\n" is 1024 bytes
    const bad_case cases[] = {
        {"CRLF lines", "5 m.txt\r\n-\r\nhello"},
        {"count without digits", "x m.txt\n-\n"},
        {"sign without digits", "+ m.txt\n-\n"},
        {"missing end line", "5 m.txt\nhello"},
        {"empty file", ""},
        {"negative count", "1 ok.txt\n-5 m.txt\n-\nabcdef"},
        {"minus zero", "-0 m.txt\n-\n"},
        {"count past 32 bits", "2147483648 m.txt\n-\n"},
        {"far count past 32 bits", "99999999999999999999 m.txt\n-\n"},
        {"offsets past 32 bits", "2147483640 m.txt\n2147483640 n.txt\n-\n"},
        {"more bytes than the file", "5 ok.txt\n6 m.txt\n-\nhelloworld"},
        {"line of 1024 bytes", "0 " + long_name + "\n-\n"},
        {"member without name", "5 ok.txt\n5\n-\nhellohello"},
        {"NUL in a line", std::string("5 m\0x\n-\nhello", 13)},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        file_index_reset();
        write_file(game + "bad.saf", c.image);
        ASSERT_GE(file_index_find("bad.saf"), 0);
        EXPECT_EQ(file_index_count(), 3);   // two ".keep" and the archive itself
    }
}

TEST_F(index_fixture, header_variants_that_are_accepted)
{
    struct good_case { const char* what; std::string image; const char* name; int offset; };
    const std::string name_1020(1020, 'n');   // "0 " + name + "\n" is 1023 bytes: the longest line
    const good_case cases[] = {
        {"leading blanks and plus", "  +5 m.txt\n-\nhello", "m.txt", 13},
        {"tab separator", "5\tm.txt\n-\nhello", "m.txt", 10},
        {"slash runs collapse", "5 a//b///m.txt\n-\nhello", "a/b/m.txt", 17},
        {"longest line", "0 " + name_1020 + "\n-\n", name_1020.c_str(), 1025},
        {"trailing bytes after the members", "5 m.txt\n-\nhello-extra", "m.txt", 10},
    };
    for (const good_case& c : cases) {
        SCOPED_TRACE(c.what);
        file_index_reset();
        write_file(game + "good.saf", c.image);
        const file_index_entry* e = find(c.name);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->offset, c.offset);
        EXPECT_EQ(e->priority, 2);
    }
}

TEST_F(index_fixture, archive_numbers_are_used_up_by_bad_archives)
{
    write_file(game + "aaa.saf", "x broken\n-\n");
    write_file(game + "bbb.saf", make_archive({{"m.txt", "hi"}}));
    const file_index_entry* m = find("m.txt");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->priority, 3);   // aaa.saf took 2
}

TEST_F(index_fixture, smallest_priority_wins)
{
    write_file(game + "zzzz.saf", make_archive({{"bikes/x.png", "from zzzz"}, {"only_z.txt", "z"}}));
    write_file(game + "aaa.saf", make_archive({{"bikes/x.png", "from aaa"}}));
    const file_index_entry* x = find("bikes/x.png");
    ASSERT_TRUE(x);
    EXPECT_STREQ(x->path, (game + "aaa.saf").c_str());
    EXPECT_EQ(read_stream("@bikes/x.png"), "from aaa");

    write_file(game + "bikes/x.png", "loose in game");
    file_index_reset();
    EXPECT_EQ(find("bikes/x.png")->priority, 1);
    EXPECT_EQ(read_stream("@bikes/x.png"), "loose in game");

    write_file(home + "bikes/x.png", "loose at home");
    file_index_reset();
    EXPECT_EQ(find("bikes/x.png")->priority, 0);
    EXPECT_EQ(read_stream("@bikes/x.png"), "loose at home");
    EXPECT_EQ(find("only_z.txt")->priority, 3);
}

TEST_F(index_fixture, lookups_fold_case)
{
    write_file(game + "pack.saf", make_archive({{"Tracks/A.PNG", "png bytes"}}));
    for (const char* name : {"tracks/a.png", "TRACKS/A.PNG", "Tracks/a.Png"})
        EXPECT_GE(file_index_find(name), 0) << name;
    for (const char* name : {"tracks/a.pn", "tracks/a.png2", "", "tracks"})
        EXPECT_EQ(file_index_find(name), -1) << name;
    EXPECT_EQ(file_index_find(nullptr), -1);
    EXPECT_EQ(read_stream("@tracks/a.png"), "png bytes");
}

TEST_F(index_fixture, archive_inside_archive_is_listed_not_opened)
{
    std::string inner = make_archive({{"secret.txt", "hidden"}});
    write_file(game + "outer.saf", make_archive({{"inner.saf", inner}}));
    const file_index_entry* e = find("inner.saf");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->priority, 2);
    EXPECT_EQ(file_index_find("secret.txt"), -1);
}

// Equal names with equal priority (case variants on a case-sensitive file
// system, repeated members) keep one fixed order whatever the walk saw.
TEST_F(index_fixture, ties_sort_deterministically)
{
    write_file(game + "x.txt", "lower");
    write_file(game + "X.txt", "upper");
    write_file(game + "dup.saf", "1 d.txt\n2 d.txt\n3 D.txt\n-\nabbccc");
    int x = file_index_find("x.txt");
    ASSERT_GE(x, 0);
    EXPECT_STREQ(file_index_entry_at(x)->name, "X.txt");
    EXPECT_STREQ(file_index_entry_at(x + 1)->name, "x.txt");
    int d = file_index_find("d.txt");
    ASSERT_GE(d, 0);
    EXPECT_STREQ(file_index_entry_at(d)->name, "D.txt");
    EXPECT_EQ(file_index_entry_at(d + 1)->size, 1);
    EXPECT_EQ(file_index_entry_at(d + 2)->size, 2);
    EXPECT_EQ(file_index_entry_at(d + 1)->offset + 1, file_index_entry_at(d + 2)->offset);
}

TEST_F(index_fixture, name_list_and_describe)
{
    write_file(home + "b.txt", "1");
    write_file(game + "B.TXT", "2");
    write_file(game + "pack.saf", make_archive({{"a.txt", "3"}, {"b.txt", "4"}}));
    std::vector<std::string> names;
    for (const char* const* n = file_name_list(); *n; n++)
        names.push_back(*n);
    EXPECT_EQ(names, (std::vector<std::string>{".keep", "a.txt", "b.txt", "pack.saf"}));

    int a = file_index_find("a.txt");
    char text[256];
    ASSERT_EQ(file_index_describe(a, text, sizeof text), 1);
    EXPECT_EQ(std::string(text), "a.txt -> " + game + "pack.saf");
    char small[7];
    EXPECT_EQ(file_index_describe(a, small, sizeof small), 1);
    EXPECT_STREQ(small, "a.txt ");
    EXPECT_EQ(file_index_describe(file_index_count(), text, sizeof text), 0);
    EXPECT_EQ(file_index_describe(-1, text, sizeof text), 0);
    EXPECT_EQ(file_index_entry_at(file_index_count()), nullptr);
}

TEST_F(index_fixture, walk_skips_what_cannot_be_read)
{
    write_file(game + "sub/deep/f.txt", "f");
    std::string link = game + "loop";
    ASSERT_EQ(symlink(game.c_str(), link.c_str()), 0);   // a directory link is not followed
    std::string file_link = game + "alias.txt";
    ASSERT_EQ(symlink((game + "sub/deep/f.txt").c_str(), file_link.c_str()), 0);
    std::string dangling = game + "gone.txt";
    ASSERT_EQ(symlink((game + "nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_GE(file_index_find("sub/deep/f.txt"), 0);
    EXPECT_GE(file_index_find("alias.txt"), 0);
    EXPECT_EQ(file_index_find("loop"), -1);
    EXPECT_EQ(file_index_find("loop/sub/deep/f.txt"), -1);
    EXPECT_EQ(file_index_find("gone.txt"), -1);
}

TEST_F(index_fixture, texture_variants_pick_paint_textures)
{
    const char* files[] = {
        "bikes/rider_body-red.png",          // kept
        "rider_body-blue.png.scram",         // kept, data name without ".scram"
        "x/rider_body-red_norm.png",         // normal map
        "rider_body-x_spec.png.scram",       // specular map
        "rider_body-up.PNG",                 // suffix tests are case-sensitive
        "Rider_body-cap.png",                // so is the prefix
        "rider_body-dir/plain.png",          // the prefix must start the base name
        "rider_head-a.png",                  // another prefix
        "rider_body-green.png.gz",           // not a png name
    };
    for (const char* f : files)
        write_file(game + f, "x");
    texture_variant_list list{};
    texture_variants("rider_body-", &list);
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.names[0], nullptr);
    EXPECT_EQ(list.labels[0], intern_string("default"));
    EXPECT_EQ(list.names[1], intern_string("@bikes/rider_body-red.png"));
    EXPECT_EQ(list.labels[1], intern_string("red"));
    EXPECT_EQ(list.names[2], intern_string("@rider_body-blue.png"));
    EXPECT_EQ(list.labels[2], intern_string("blue"));

    texture_variants("rider_head-", &list);   // a filled list is emptied first
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.labels[1], intern_string("a"));
    texture_variant_list_free(&list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.names, nullptr);
}

TEST_F(index_fixture, game_data_check_tries_every_root)
{
    EXPECT_FALSE(game_data_check());   // no archive anywhere
    write_file(home + "zzzz.saf", "abd");
    EXPECT_FALSE(game_data_check());   // wrong digest, home only
    write_file(game + "zzzz.saf", "abc");
    EXPECT_TRUE(game_data_check());    // wrong at home, right in the game root
    write_file(home + "zzzz.saf", "abc");
    write_file(game + "zzzz.saf", "abd");
    EXPECT_TRUE(game_data_check());
    EXPECT_FALSE(game_data_check_digest("not hex"));
    EXPECT_FALSE(game_data_check_digest("a9993e364706816aba3e25717850c26c9cd0d89dff"));
    EXPECT_FALSE(game_data_check_digest(nullptr));
}

TEST_F(index_fixture, game_data_digest_covers_the_first_mib_only)
{
    std::string image(1048576, '\0');
    for (size_t i = 0; i < image.size(); i++)
        image[i] = static_cast<char>(i * 7 + (i >> 12));
    uint8_t digest[sha1_digest_size];
    char first_mib[sha1_hex_size], whole[sha1_hex_size];
    sha1_of(image.data(), image.size(), digest);
    sha1_to_hex(digest, first_mib);
    std::string longer = image + "tail bytes";
    sha1_of(longer.data(), longer.size(), digest);
    sha1_to_hex(digest, whole);
    write_file(game + "zzzz.saf", longer);
    EXPECT_TRUE(game_data_check_digest(first_mib));
    EXPECT_FALSE(game_data_check_digest(whole));
    std::string upper = first_mib;
    for (char& ch : upper)
        ch = static_cast<char>(toupper(ch));
    EXPECT_TRUE(game_data_check_digest(upper.c_str()));
}

}  // namespace
