// scan_test.cpp -- the formatted scanner against the C library's sscanf,
// plus the guards and helpers built on it.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "data/file_index.h"
#include "data/paths.h"
#include "data/stream.h"
#include "test_support.h"

namespace {

class ScanTest : public ::testing::Test {
protected:
    scratch_dir dir;

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (dir / "home").c_str());
        set_env("VK_HOME", (dir / "game").c_str());
        mkdir((dir / "game").c_str(), 0755);
        data_roots_reset();
        file_index_reset();
    }
    void TearDown() override
    {
        data_roots_reset();
        file_index_reset();
    }
    file_stream* open_text(const std::string& text)
    {
        write_file(dir / "input.txt", text);
        return stream_open((dir / "input.txt").c_str(), "rb");
    }
};

constexpr int arg_count = 5;
constexpr size_t arg_size = 64;

// One row: the input, the format, and per argument how to compare it:
// 'b' byte for byte, 'f' float, 'd' double, 'L' long double.
struct scan_case {
    const char* input;
    const char* format;
    const char* kinds;
};

const scan_case scan_cases[] = {
    // integers
    { "42", "%d", "b" },
    { "  -17 rest", "%d%n", "bb" },
    { "+8", "%d", "b" },
    { "12345", "%3d%d%n", "bbb" },
    { "0x1F 017 10 0X2a", "%i %i %i %i%n", "bbbbb" },
    { "-0x10", "%i%n", "bb" },
    { "0xg", "%i%n", "bb" },
    { "019", "%i%n", "bb" },
    { "1f ff FF 0x7f", "%x %X %x %x%n", "bbbbb" },
    { "-12", "%x", "b" },
    { "755 8", "%o %o", "bb" },
    { "0x12", "%d%n", "bb" },
    { "0x12", "%2x%n", "bb" },
    { "-5 300 70000", "%hhd %hd %ld%n", "bbbb" },
    { "123456789012 -9", "%lld %qd%n", "bbb" },
    { "7 8", "%*d %d%n", "bb" },
    // failures and the end of input
    { "abc", "%d", "b" },
    { "-", "%d%n", "bb" },
    { "", "%d", "b" },
    { "   ", "%d", "b" },
    { "", "%s", "b" },
    { "x", "x%d", "b" },
    { "5 ", "%d %d", "bb" },
    { "ab", "ac%n", "b" },
    { "5", "%d x", "b" },
    { "12abc", "%d%s%n", "bbb" },
    // reals
    { "3.25", "%f%n", "fb" },
    { "-1.5e3 2E-2 .5 7. +4", "%f %f %f %f %f", "fffff" },
    { "1e5x", "%lf%n", "db" },
    { "1e+", "%f%n", "fb" },
    { "1.5e", "%f%c", "fb" },
    { "-.", "%f%n", "fb" },
    { ".e5", "%f%n", "fb" },
    { "1.2.3", "%f%f%n", "ffb" },
    { "123.456e-2", "%Lf%n", "Lb" },
    { "6.02214076e23 1e-300 1e400", "%lf %lf %lf", "ddd" },
    { "1e4000 1e-4000", "%Lf %Lf", "LL" },
    { "123456789012345678901234567890123456 0.000000000000000000000000012345678901234567890123", "%lf %lf", "dd" },
    { "3.14159", "%4f%f%n", "ffb" },
    { "-0", "%lf", "d" },
    // text
    { "hello world", "%s %s%n", "bbb" },
    { "hello", "%3s%s%n", "bbb" },
    { "abcd", "%c%2c%n", "bbb" },
    { "  x", "%c%n", "bb" },
    { "  x", " %c%n", "bb" },
    { "abc123def", "%[a-z]%[0-9]%n", "bbb" },
    { "key = value here\nnext", "%[^= ] = %[^\n]%n", "bbb" },
    { "]x]y", "%[]x]%n", "bb" },
    { "5abc", "%d%[0-9]%n", "bbb" },
    { "abc", "%*s%n", "b" },
    { "100% 50 %", "%d%% %d %%%n", "bbb" },
    { "a   b", "a b%n", "b" },
    { "\t\n 5", " %d%n", "bb" },
};

bool same_real(long double a, long double b, long double tolerance)
{
    if (std::isinf(a) || std::isinf(b) || a == b)
        return a == b && std::signbit(a) == std::signbit(b);
    return std::fabs(a - b) <= std::fabs(b) * tolerance;
}

// Each row is scanned from a file by stream_scanf and from the same text
// by the C library's sscanf; return values and stored values must agree.
TEST_F(ScanTest, MatchesTheCLibrary)
{
    for (const scan_case& c : scan_cases) {
        SCOPED_TRACE(std::string("input \"") + c.input + "\" format \"" + c.format + "\"");
        alignas(16) unsigned char ours[arg_count][arg_size], theirs[arg_count][arg_size];
        memset(ours, 0xa5, sizeof ours);
        memset(theirs, 0xa5, sizeof theirs);
        file_stream* s = open_text(c.input);
        ASSERT_NE(s, nullptr);
        int got = stream_scanf(s, c.format, ours[0], ours[1], ours[2], ours[3], ours[4]);
        stream_close(s);
        int want = sscanf(c.input, c.format, theirs[0], theirs[1], theirs[2], theirs[3], theirs[4]);
        EXPECT_EQ(got, want);
        for (int i = 0; c.kinds[i]; i++) {
            SCOPED_TRACE("argument " + std::to_string(i));
            switch (c.kinds[i]) {
            case 'f': {
                float a, b;
                memcpy(&a, ours[i], sizeof a);
                memcpy(&b, theirs[i], sizeof b);
                EXPECT_TRUE(same_real(a, b, 2e-7L)) << a << " vs " << b;
                break;
            }
            case 'd': {
                double a, b;
                memcpy(&a, ours[i], sizeof a);
                memcpy(&b, theirs[i], sizeof b);
                EXPECT_TRUE(same_real(a, b, 5e-16L)) << a << " vs " << b;
                break;
            }
            case 'L': {
                long double a, b;
                memcpy(&a, ours[i], sizeof a);
                memcpy(&b, theirs[i], sizeof b);
                EXPECT_TRUE(same_real(a, b, 1e-17L)) << static_cast<double>(a) << " vs " << static_cast<double>(b);
                break;
            }
            default:
                EXPECT_EQ(memcmp(ours[i], theirs[i], arg_size), 0);
            }
        }
    }
}

// Without a width, s and [set] store at most 1023 bytes and the NUL, and
// consume the rest of the field.
TEST_F(ScanTest, UnboundedStringsStopAtTheirCap)
{
    std::string field(3000, 'a');
    file_stream* s = open_text(field + " next " + field + ".");
    ASSERT_NE(s, nullptr);
    static char buf[1024 + 16], set[1024 + 16], tail[16];
    memset(buf, '#', sizeof buf);
    memset(set, '#', sizeof set);
    int n = 0;
    EXPECT_EQ(stream_scanf(s, "%s%n %15s %[a]", buf, &n, tail, set), 3);
    EXPECT_EQ(strlen(buf), 1023u);
    EXPECT_EQ(buf[1024], '#');
    EXPECT_EQ(n, 3000);
    EXPECT_STREQ(tail, "next");
    EXPECT_EQ(strlen(set), 1023u);
    EXPECT_EQ(set[1024], '#');
    EXPECT_EQ(stream_getc(s), '.');
    stream_close(s);
}

TEST_F(ScanTest, UnknownConversionEndsScanning)
{
    file_stream* s = open_text("5 6 7");
    ASSERT_NE(s, nullptr);
    int a = 0, b = 0, c = 0;
    EXPECT_EQ(stream_scanf(s, "%d %u %d", &a, &b, &c), 1);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 0);
    stream_close(s);
}

// The look-ahead byte of a number stays pushed back; %n counts it as not
// consumed.
TEST_F(ScanTest, LookAheadStaysPushedBack)
{
    file_stream* s = open_text("12x 3.5y");
    ASSERT_NE(s, nullptr);
    int v = 0, n = 0;
    float f = 0;
    EXPECT_EQ(stream_scanf(s, "%d%n", &v, &n), 1);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(s->pushback, 'x');
    EXPECT_EQ(stream_getc(s), 'x');
    EXPECT_EQ(stream_scanf(s, "%f", &f), 1);
    EXPECT_FLOAT_EQ(f, 3.5f);
    EXPECT_EQ(stream_peekc(s), 'y');
    stream_close(s);
}

TEST_F(ScanTest, IntegersSaturateAtTheStoredType)
{
    file_stream* s = open_text("99999999999 -99999999999 2147483647 -2147483648 99999");
    ASSERT_NE(s, nullptr);
    int a, b, c, d;
    short h;
    EXPECT_EQ(stream_scanf(s, "%d %d %d %d %hd", &a, &b, &c, &d, &h), 5);
    EXPECT_EQ(a, INT_MAX);
    EXPECT_EQ(b, INT_MIN);
    EXPECT_EQ(c, INT_MAX);
    EXPECT_EQ(d, INT_MIN);
    EXPECT_EQ(h, SHRT_MAX);
    stream_close(s);
}

TEST_F(ScanTest, ReadIntReportsFailureAndKeepsTheByte)
{
    file_stream* s = open_text("  -42x abc");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_read_int(s), -42);
    EXPECT_EQ(stream_getc(s), 'x');
    EXPECT_EQ(stream_read_int(s), INT32_MIN);
    EXPECT_EQ(s->pushback, 'a');
    EXPECT_EQ(stream_getc(s), 'a');
    stream_close(s);

    s = open_text("");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_read_int(s), INT32_MIN);
    stream_close(s);
}

TEST_F(ScanTest, SkipCommentsStopsAtTheFirstValue)
{
    const char* inputs[] = {
        "# one\n# two\n   42 rest",
        "\n\n  #\n#x\n\t42 rest",   // an empty comment line does not stop the skip
        "42 rest",
    };
    for (const char* input : inputs) {
        file_stream* s = open_text(input);
        ASSERT_NE(s, nullptr);
        stream_skip_comments(s);
        EXPECT_EQ(s->pushback, '4') << input;
        EXPECT_EQ(stream_read_int(s), 42) << input;
        stream_close(s);
    }
    file_stream* s = open_text("# only a comment");
    ASSERT_NE(s, nullptr);
    stream_skip_comments(s);
    EXPECT_EQ(stream_getc(s), -1);
    stream_close(s);
}

}   // namespace
