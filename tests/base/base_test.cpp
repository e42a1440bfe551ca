// Tests of the shared helpers: heap sort order, the generator, SHA-1,
// interning.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/heap_sort.h"
#include "base/intern.h"
#include "base/rng.h"
#include "base/sha1.h"
#include "base/text.h"

struct record {
    int key;
    char id;
};

static std::string sorted_ids(std::vector<record> v)
{
    heap_sort_array(v.data(), v.size(),
                    [](const record& a, const record& b) { return a.key - b.key; });
    std::string out;
    for (const record& r : v)
        out += r.id;
    return out;
}

TEST(HeapSort, SortsAscendingForManyInputs)
{
    std::mt19937 gen(7);
    for (int n = 0; n < 60; n++) {
        std::vector<int> v(n);
        for (int& x : v)
            x = static_cast<int>(gen() % 10);
        std::vector<int> expect = v;
        std::sort(expect.begin(), expect.end());
        heap_sort_array(v.data(), v.size(), [](int a, int b) { return (a > b) - (a < b); });
        EXPECT_EQ(v, expect) << "n=" << n;
    }
}

// The order in which equal records come out is part of the game's
// behaviour (standings ties, collision order): pin it.
TEST(HeapSort, PinsTheOrderOfEqualRecords)
{
    // Three equal keys: the heap is already valid; the root goes to the end
    // first, then the two left are swapped.
    EXPECT_EQ(sorted_ids({{1, 'a'}, {1, 'b'}, {1, 'c'}}), "bca");
    EXPECT_EQ(sorted_ids({{5, 'a'}, {5, 'b'}}), "ba");
    EXPECT_EQ(sorted_ids({{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}, {1, 'f'}, {3, 'g'}}),
              "fbdaecg");
}

TEST(Rng, IsTheStandardMersenneTwister)
{
    rng_seed(5489);
    uint32_t v = 0;
    for (int i = 0; i < 10000; i++)
        v = rng_next();
    EXPECT_EQ(v, 4123659995u);   // the published check value of MT19937

    rng_seed(1234);
    uint32_t first = rng_next();
    rng_seed(1234);
    double f = rng_fraction();
    EXPECT_DOUBLE_EQ(f, (first & 0x7fffffffu) / 2147483648.0);
    for (int i = 0; i < 1000; i++) {
        double x = rng_fraction();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
    }
}

TEST(Sha1, KnownDigestsAndHex)
{
    struct { const char* text; const char* hex; } cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (auto& c : cases) {
        uint8_t d[sha1_digest_size];
        char hex[sha1_hex_size];
        sha1_of(c.text, strlen(c.text), d);
        sha1_to_hex(d, hex);
        EXPECT_STREQ(hex, c.hex);
        uint8_t back[sha1_digest_size];
        ASSERT_TRUE(sha1_from_hex(c.hex, back));
        EXPECT_EQ(memcmp(back, d, sizeof d), 0);
    }
    uint8_t d[sha1_digest_size];
    EXPECT_FALSE(sha1_from_hex("a9993e36", d));
    EXPECT_FALSE(sha1_from_hex("g9993e364706816aba3e25717850c26c9cd0d89d", d));
}

TEST(Intern, EqualTextsShareOneCopy)
{
    std::string a = "rider_body-alt1";
    const char* p = intern_string(a.c_str());
    EXPECT_EQ(intern_string("rider_body-alt1"), p);
    EXPECT_NE(intern_string("Rider_body-alt1"), p);
    EXPECT_NE(p, a.c_str());
    // Growth keeps earlier strings where they were.
    for (int i = 0; i < 5000; i++)
        intern_string(("name" + std::to_string(i)).c_str());
    EXPECT_EQ(intern_string("rider_body-alt1"), p);
    EXPECT_STREQ(intern_string("name4999"), "name4999");
}

TEST(Text, BoundedCopiesReportTruncation)
{
    char buf[8];
    EXPECT_TRUE(text_copy(buf, sizeof buf, "1234567"));
    EXPECT_FALSE(text_copy(buf, sizeof buf, "12345678"));
    EXPECT_STREQ(buf, "1234567");
    ASSERT_TRUE(text_copy(buf, sizeof buf, "abc"));
    EXPECT_TRUE(text_append(buf, sizeof buf, "defg"));
    EXPECT_FALSE(text_append(buf, sizeof buf, "h"));
    EXPECT_EQ(text_compare_folded("Tracks/A.PNG", "tracks/a.png"), 0);
    EXPECT_LT(text_compare_folded("alpha", "Beta"), 0);
}
