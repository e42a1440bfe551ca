// image_test.cpp -- PNG and binary PPM / PGM reading and writing: round
// trips, 16-bit grey byte order, deterministic output, text chunks, and
// refusal of corrupt, truncated, oversized and malformed files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include <png.h>
#include <zlib.h>

#include "data/file_index.h"
#include "data/image.h"
#include "data/paths.h"
#include "platform/log_capture.h"
#include "test_support.h"

namespace {

struct ImageTest : log_capture {
    std::string home = dir / "home";
    std::string game = dir / "game";

    void SetUp() override
    {
        log_capture::SetUp();
        mkdir(game.c_str(), 0755);
        set_env("XDG_DATA_HOME", home.c_str());
        set_env("VK_HOME", game.c_str());
        data_roots_reset();
        file_index_reset();
        open();
    }
    void TearDown() override
    {
        data_roots_reset();
        file_index_reset();
        log_capture::TearDown();
    }
};

image pattern(int w, int h, image_format f)
{
    image img{};
    image_alloc(&img, w, h, f);
    size_t bytes = size_t(w) * h * image_pixel_size(f);
    for (size_t i = 0; i < bytes; i++)
        img.pixels[i] = uint8_t(i * 37 + i / 7);
    return img;
}

bool same_pixels(const image& a, const image& b)
{
    return a.width == b.width && a.height == b.height && a.format == b.format &&
           memcmp(a.pixels, b.pixels, size_t(a.width) * a.height * image_pixel_size(a.format)) == 0;
}

TEST_F(ImageTest, PngRoundTripsRgbAndRgba)
{
    for (image_format f : {image_rgb8, image_rgba8}) {
        image src = pattern(13, 7, f);
        std::string path = dir / "a.png";
        ASSERT_TRUE(png_write(path.c_str(), src));
        image back{};
        ASSERT_TRUE(png_read(path.c_str(), &back));
        EXPECT_TRUE(same_pixels(src, back)) << f;
        image_free(&back);
        image_free(&src);
    }
}

TEST_F(ImageTest, GreyPngReadsAsRgbAndAsWidenedGrey16)
{
    image src = pattern(5, 4, image_grey8);
    std::string path = dir / "g.png";
    ASSERT_TRUE(png_write(path.c_str(), src));
    image rgb{}, grey{};
    ASSERT_TRUE(png_read(path.c_str(), &rgb));
    ASSERT_TRUE(png_read_grey16(path.c_str(), &grey));
    ASSERT_EQ(rgb.format, image_rgb8);
    ASSERT_EQ(grey.format, image_grey16);
    const uint16_t* g = reinterpret_cast<const uint16_t*>(grey.pixels);
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(rgb.pixels[3 * i], src.pixels[i]);
        EXPECT_EQ(rgb.pixels[3 * i + 2], src.pixels[i]);
        EXPECT_EQ(g[i], src.pixels[i] * 257) << i;
    }
    image_free(&src);
    image_free(&rgb);
    image_free(&grey);
}

TEST_F(ImageTest, Grey16RoundTripsAndIsStoredBigEndian)
{
    image src{};
    image_alloc(&src, 9, 3, image_grey16);
    uint16_t* s = reinterpret_cast<uint16_t*>(src.pixels);
    for (int i = 0; i < 27; i++)
        s[i] = uint16_t(0x1234 + i * 2311);
    std::string path = dir / "h.png";
    ASSERT_TRUE(png_write(path.c_str(), src));
    image back{};
    ASSERT_TRUE(png_read_grey16(path.c_str(), &back));
    EXPECT_TRUE(same_pixels(src, back));
    // The 8-bit reader keeps each sample's high byte, which is the first
    // in the file only when the file is big-endian.
    image rgb{};
    ASSERT_TRUE(png_read(path.c_str(), &rgb));
    for (int i = 0; i < 27; i++)
        EXPECT_EQ(rgb.pixels[3 * i], s[i] >> 8) << i;
    image_free(&src);
    image_free(&back);
    image_free(&rgb);
}

TEST_F(ImageTest, PngOutputIsDeterministicAndUnstamped)
{
    image src = pattern(32, 32, image_rgb8);
    std::string a = dir / "1.png", b = dir / "2.png";
    ASSERT_TRUE(png_write(a.c_str(), src));
    ASSERT_TRUE(png_write(b.c_str(), src));
    uint8_t* bytes = nullptr;
    int size = 0;
    ASSERT_TRUE(png_encode(src, &bytes, &size));
    std::string file = read_file(a);
    EXPECT_EQ(file, read_file(b));
    EXPECT_EQ(file, std::string(reinterpret_cast<char*>(bytes), size_t(size)));
    EXPECT_EQ(file.find("tIME"), std::string::npos);
    free(bytes);
    image_free(&src);
}

// A 1 x 1 RGB PNG with a text chunk before and one after the image data.
std::string png_with_texts()
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, 1, 1, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_text before{};
    before.compression = PNG_TEXT_COMPRESSION_NONE;
    before.key = const_cast<char*>("Comment");
    before.text = const_cast<char*>("[compress]");
    png_set_text(png, info, &before, 1);
    png_write_info(png, info);
    uint8_t row[3] = {1, 2, 3};
    png_write_row(png, row);
    png_infop end = png_create_info_struct(png);
    png_text after = before;
    after.text = const_cast<char*>("[mip_max_alpha]");
    png_set_text(png, end, &after, 1);
    png_write_end(png, end);
    png_destroy_info_struct(png, &end);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST_F(ImageTest, PngTextChunksBeforeAndAfterTheImageAreJoined)
{
    write_file(dir / "t.png", png_with_texts());
    image img{};
    char* text = nullptr;
    ASSERT_TRUE(png_read((dir / "t.png").c_str(), &img, &text));
    EXPECT_STREQ(text, "[compress][mip_max_alpha]");
    EXPECT_EQ(img.pixels[2], 3);
    free(text);
    image_free(&img);
}

TEST_F(ImageTest, CorruptAndTruncatedPngsFailCleanly)
{
    image src = pattern(40, 30, image_rgb8);
    std::string good_path = dir / "good.png";
    ASSERT_TRUE(png_write(good_path.c_str(), src));
    std::string good = read_file(good_path);
    image_free(&src);

    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x55;          // damages IDAT: CRC or inflate error
    std::string bad_header = good;
    bad_header[16] = 0x7f;                      // width 2^31-ish: refused before allocation
    struct { const char* what; std::string bytes; } cases[] = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"flipped byte", flipped},
        {"huge width", bad_header},
        {"signature only", good.substr(0, 8)},
        {"not a png", "P6\n1 1\n255\nabc"},
        {"empty", ""},
    };
    for (auto& c : cases) {
        write_file(dir / "bad.png", c.bytes);
        image img{};
        EXPECT_FALSE(png_read((dir / "bad.png").c_str(), &img)) << c.what;
        EXPECT_EQ(img.pixels, nullptr) << c.what;
        EXPECT_FALSE(png_read_grey16((dir / "bad.png").c_str(), &img)) << c.what;
    }
    image img{};
    EXPECT_FALSE(png_read((dir / "missing.png").c_str(), &img));
    EXPECT_NE(text().find("Can't open"), std::string::npos);
}

TEST_F(ImageTest, PpmAndPgmRoundTripThroughDataNames)
{
    image rgb = pattern(6, 5, image_rgb8), grey = pattern(7, 3, image_grey8);
    ASSERT_TRUE(ppm_write("@pics/a.ppm", rgb));
    ASSERT_TRUE(pgm_write("@pics/a.pgm", grey));
    EXPECT_EQ(read_file(home + "/Vortrak/pics/a.ppm").substr(0, 11), "P6\n6 5\n255\n");
    image r{}, g{};
    ASSERT_TRUE(ppm_read("@pics/a.ppm", &r));
    ASSERT_TRUE(pgm_read("@pics/a.pgm", &g));
    EXPECT_TRUE(same_pixels(rgb, r));
    EXPECT_TRUE(same_pixels(grey, g));
    EXPECT_FALSE(ppm_write("@pics/b.ppm", grey));   // wrong pixel format
    for (image* i : {&rgb, &grey, &r, &g})
        image_free(i);
}

TEST_F(ImageTest, PpmHeaderCommentsScalingAndGzipVariant)
{
    std::string data = "P6\n# made by hand\n2 # width\n1\n#\n15\n" + std::string("\x0f\x00\x05\x01\x02\x03", 6);
    gzFile gz = gzopen((game + "/s.ppm.gz").c_str(), "wb");
    gzwrite(gz, data.data(), unsigned(data.size()));
    gzclose(gz);
    image img{};
    ASSERT_TRUE(ppm_read("@s.ppm", &img));
    ASSERT_EQ(img.width, 2);
    const uint8_t want[6] = {255, 0, 85, 17, 34, 51};
    EXPECT_EQ(memcmp(img.pixels, want, 6), 0);
    image_free(&img);
}

TEST_F(ImageTest, MalformedAndTruncatedPnmsAreRefused)
{
    struct { const char* what; std::string bytes; bool pgm; const char* message; } cases[] = {
        {"truncated data", "P6\n4 4\n255\n" + std::string(47, 'x'), false, "Truncated PPM data"},
        {"ascii ppm", "P3\n1 1\n255\n1 2 3\n", false, "Can't parse PPM header"},
        {"pgm as ppm", "P5\n1 1\n255\nx", false, "Can't parse PPM header"},
        {"no height", "P6\n4\n", false, "Can't get PPM dimensions"},
        {"words", "P6\nfour four\n255\n", false, "Can't get PPM dimensions"},
        {"zero width", "P6\n0 4\n255\n", false, "Can't get PPM dimensions"},
        {"negative", "P5\n-3 4\n255\n", true, "Can't get PGM dimensions"},
        {"too wide", "P5\n16385 1\n255\n", true, "Can't get PGM dimensions"},
        {"16-bit", "P5\n1 1\n65535\n\x01\x02", true, "Can't get PGM dimensions"},
        {"no separator", "P5\n1 1\n255", true, "Can't get PGM dimensions"},
        {"truncated pgm", "P5\n3 3\n255\nabc", true, "Truncated PGM data"},
    };
    for (auto& c : cases) {
        write_file(dir / "x.pnm", c.bytes);
        image img{};
        bool ok = c.pgm ? pgm_read((dir / "x.pnm").c_str(), &img) : ppm_read((dir / "x.pnm").c_str(), &img);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(img.pixels, nullptr) << c.what;
    }
    std::string log = text();
    for (auto& c : cases)
        EXPECT_NE(log.find(c.message), std::string::npos) << c.what;
}

}  // namespace
