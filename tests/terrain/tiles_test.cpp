// tiles_test.cpp -- the tile table and map: "tileinfo" and "texturelist"
// parsing with their warnings, roost parameters, the tile classes, the
// tilemap clamp, tile_at at and beyond the border, and the surface curves.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "data/file_index.h"
#include "data/paths.h"
#include "platform/log_capture.h"
#include "terrain/height_field.h"
#include "terrain/tiles.h"
#include "test_support.h"

namespace {

// ---------------------------------------------------------------- curves

tile with_friction(std::vector<friction_point> points)
{
    tile t = tile_defaults();
    for (size_t i = 0; i < points.size(); i++)
        t.friction[i] = points[i];
    return t;
}

TEST(TileCurves, FrictionInterpolatesInTheSquareOfSpeed)
{
    tile t = with_friction({{1.0f, 10}, {0.5f, 20}, {0.8f, 30}});
    struct { float speed, want; } cases[] = {
        {0, 1.0f}, {5, 1.0f}, {10, 1.0f},
        {15, 1.0f + (225 - 100) / 300.0f * -0.5f},
        {-15, 1.0f + (225 - 100) / 300.0f * -0.5f},   // the sign of the speed does not matter
        {20, 0.5f}, {25, 0.5f + (625 - 400) / 500.0f * 0.3f}, {30, 0.8f}, {1000, 0.8f},
    };
    for (auto& c : cases)
        EXPECT_NEAR(friction_at(t, c.speed), c.want, 1e-5f) << c.speed;
    tile full = tile_defaults();
    for (int i = 0; i < tile_curve_points; i++)
        full.friction[i] = {float(i), float(i + 1)};
    EXPECT_FLOAT_EQ(friction_at(full, 100), 7.0f);   // past all eight keys
    EXPECT_FLOAT_EQ(friction_at(tile_defaults(), 50), 1.0f);
}

TEST(TileCurves, RollResistInterpolatesLinearly)
{
    tile t = tile_defaults();
    t.roll_resist[0] = {2, 10, 4};
    t.roll_resist[1] = {4, 30, 8};
    struct { float u, a, b; } cases[] = {
        {0, 2, 10}, {4, 2, 10}, {5, 2.5f, 15}, {7, 3.5f, 25}, {8, 4, 30}, {100, 4, 30},
    };
    for (auto& c : cases) {
        roll_resist r = roll_resist_at(t, c.u);
        EXPECT_FLOAT_EQ(r.a, c.a) << c.u;
        EXPECT_FLOAT_EQ(r.b, c.b) << c.u;
    }
    roll_resist d = roll_resist_at(tile_defaults(), 3);
    EXPECT_FLOAT_EQ(d.a, 5);
    EXPECT_FLOAT_EQ(d.b, 15);
}

TEST(TileCurves, DamagedTablesDoNotDivideByZero)
{
    // Equal or descending keys cannot come out of the loader, but a curve
    // edited in memory must still give a finite value.
    tile t = with_friction({{1.0f, 10}, {0.5f, 10}, {0.2f, 5}});
    for (float s : {0.0f, 9.0f, 10.0f, 12.0f, NAN})
        EXPECT_TRUE(std::isfinite(friction_at(t, s))) << s;
    t.roll_resist[1] = {1, 1, 1.0f};
    EXPECT_TRUE(std::isfinite(roll_resist_at(t, 1.0f).a));
}

// ---------------------------------------------------------------- loading

std::vector<std::string> texture_requests;
std::vector<std::string> image_requests;

struct TileLoad : log_capture {
    std::string home = dir / "home";
    std::string game = dir / "game";
    std::string track = game + "/trk";
    height_field hf{};
    static constexpr int side = 4;   // level_count 2: 4 x 4 tiles

    void SetUp() override
    {
        log_capture::SetUp();
        mkdir(game.c_str(), 0755);
        set_env("XDG_DATA_HOME", home.c_str());
        set_env("VK_HOME", game.c_str());
        data_roots_reset();
        file_index_reset();
        texture_requests.clear();
        image_requests.clear();
        static const terrain_texture_ops ops = {
            [](const char* name) {
                texture_requests.push_back(name);
                return uint32_t(texture_requests.size());
            },
            [](const char* name, tile_image* out) {
                image_requests.push_back(name);
                static const uint8_t pixels[3] = {1, 2, 3};
                *out = {pixels, 1, 1};
                return true;
            },
            nullptr,
        };
        terrain_texture_ops_install(&ops);
        hf.level_count = 2;
        hf.spacing = 2.0f;
        hf.inv_spacing = 0.5f;
        hf.size = 9;
        hf.world_size = 16.0f;
        open();
    }
    void TearDown() override
    {
        free_tiles(&hf);
        terrain_texture_ops_install(nullptr);
        data_roots_reset();
        file_index_reset();
        log_capture::TearDown();
    }
    void put(const std::string& name, const std::string& bytes) { write_file(track + "/" + name, bytes); }
    bool load(const std::string& tileinfo, int method = 2)
    {
        put("tileinfo", tileinfo);
        if (!file_exists(track + "/tilemap"))
            put("tilemap", std::string(side * side, '\0'));
        free_tiles(&hf);
        return load_tiles(&hf, "@trk", method);
    }
};

TEST_F(TileLoad, TileinfoDefaultsSortingAndErosion)
{
    ASSERT_TRUE(load("texture @tiles/dirt.png\n"
                     "  friction 0.5 20\n"
                     "friction 0.9 5\r\n"
                     "friction -1 0\n"
                     "roll_resist 1 2 3\n"
                     "erode_depth 0.5\n"
                     "erode_on_speed 22\n"
                     "addtile\n"
                     "\n"
                     "texture @grass.png\n"
                     "addtile\n"));
    ASSERT_EQ(hf.tile_count, 2);
    const tile& a = hf.tiles[0];
    EXPECT_EQ(a.texture, 2u);   // id 1 is the default roost texture
    EXPECT_EQ(texture_requests[0], "@roost.png");
    EXPECT_EQ(texture_requests[1], "@tiles/dirt.png");
    // Sorted by key; the clamped point (0, 2^-20) comes first.
    EXPECT_FLOAT_EQ(a.friction[0].value, 0);
    EXPECT_FLOAT_EQ(a.friction[0].key, 9.536743e-7f);
    EXPECT_FLOAT_EQ(a.friction[1].key, 5);
    EXPECT_FLOAT_EQ(a.friction[2].key, 20);
    EXPECT_FLOAT_EQ(a.friction[3].key, 0);     // default slots end the curve
    EXPECT_FLOAT_EQ(a.friction[3].value, 1);
    EXPECT_FLOAT_EQ(a.roll_resist[0].a, 1);
    EXPECT_FLOAT_EQ(a.roll_resist[1].b, 15);
    EXPECT_FLOAT_EQ(a.erode[erode_depth], 0.5f);
    EXPECT_FLOAT_EQ(a.erode[erode_on_speed], 22);
    EXPECT_FLOAT_EQ(a.erode[erode_upper], 150);
    EXPECT_EQ(a.roost[0].mode, roost_off);
    // The second tile starts from the defaults again.
    const tile& b = hf.tiles[1];
    EXPECT_FLOAT_EQ(friction_at(b, 30), 1.0f);
    EXPECT_FLOAT_EQ(roll_resist_at(b, 30).a, 5);
    EXPECT_FLOAT_EQ(b.erode[erode_depth], 1.0f);
    EXPECT_EQ(b.roost[0].texture, 1u);
}

TEST_F(TileLoad, RoostLines)
{
    ASSERT_TRUE(load("roost count=5.5 texture=@mud.png r=10.9 g=300 fade_a=-256 fade_r=64 size=\"0.5\" randomize=abc\n"
                     "roost splash=1 \"dig=2\"\n"
                     "roost splash=0 wobble=3\n"
                     "roost\n"
                     "roost count=99\n"
                     "addtile\n"));
    const tile& t = hf.tiles[0];
    EXPECT_EQ(t.roost[0].mode, roost_spray);
    EXPECT_FLOAT_EQ(t.roost[0].count, 5.5f);
    EXPECT_EQ(texture_requests.back(), "@mud.png");
    EXPECT_EQ(t.roost[0].texture, uint32_t(texture_requests.size()));
    EXPECT_EQ(t.roost[0].r, 10);
    EXPECT_EQ(t.roost[0].g, 255);        // clamped to a byte
    EXPECT_EQ(t.roost[0].fade_a, -2);    // per second to per step
    EXPECT_EQ(t.roost[0].fade_r, 0);     // 64 / 128 truncates
    EXPECT_FLOAT_EQ(t.roost[0].size, 0.5f);
    EXPECT_FLOAT_EQ(t.roost[0].randomize, 0);
    EXPECT_FLOAT_EQ(t.roost[0].drag, 0.5f);
    EXPECT_EQ(t.roost[1].mode, roost_splash);
    EXPECT_FLOAT_EQ(t.roost[1].dig, 2);
    EXPECT_EQ(t.roost[2].mode, roost_spray);
    EXPECT_EQ(t.roost[3].mode, roost_spray);
    EXPECT_FLOAT_EQ(t.roost[3].count, 10);   // the fifth line was refused
    std::string log = text();
    EXPECT_NE(log.find("tileinfo warning: bad randomize\n"), std::string::npos);
    EXPECT_NE(log.find("tileinfo warning: unknown roost parameter 'wobble=3'\n"), std::string::npos);
    EXPECT_NE(log.find("tileinfo warning: too many roost types\n"), std::string::npos);
}

TEST_F(TileLoad, MalformedTileinfoLinesWarnAndAreSkipped)
{
    std::string info;
    for (int i = 0; i < 9; i++)
        info += "friction 1 " + std::to_string(i + 1) + "\n";
    for (int i = 0; i < 9; i++)
        info += "roll_resist 1 1 " + std::to_string(i + 1) + "\n";
    info += "friction 1\nroll_resist x y z\nerode_radius wide\nerode_lower\nfrobnicate 3\naddtile\n";
    ASSERT_TRUE(load(info));
    EXPECT_FLOAT_EQ(hf.tiles[0].friction[7].key, 8);
    EXPECT_FLOAT_EQ(hf.tiles[0].erode[erode_radius], 4);
    std::string log = text();
    for (const char* w : {"too many friction points", "too many roll_resist points", "bad friction parameters",
                          "bad roll_resist parameters", "bad erode_radius", "bad erode_lower",
                          "Unknown identifier 'frobnicate'"})
        EXPECT_NE(log.find(std::string("tileinfo warning: ") + w + "\n"), std::string::npos) << w;
}

TEST_F(TileLoad, TableStopsAt256Tiles)
{
    std::string info;
    for (int i = 0; i < 300; i++)
        info += "addtile\n";
    put("tilemap", std::string(side * side, char(255)));
    ASSERT_TRUE(load(info));
    EXPECT_EQ(hf.tile_count, 256);
    EXPECT_EQ(hf.tilemap[0], 255);
}

TEST_F(TileLoad, EmptyTileinfoGetsADefaultTile)
{
    put("tilemap", std::string(side * side, char(7)));
    ASSERT_TRUE(load("# nothing here\n"));
    ASSERT_EQ(hf.tile_count, 1);
    EXPECT_EQ(hf.tilemap[5], 0);
    EXPECT_FLOAT_EQ(friction_at(hf.tiles[tile_at(hf, 3, 3)], 9), 1.0f);
}

TEST_F(TileLoad, TexturelistLines)
{
    put("texturelist", "0.7 4 12 dirt.png\n"
                       "\n"
                       "   3 grass.png\r\n"
                       "sand.png\n");
    put("tilemap", std::string(side * side, '\0'));
    ASSERT_TRUE(load_tiles(&hf, "@trk", 2));
    ASSERT_EQ(hf.tile_count, 3);
    EXPECT_EQ(texture_requests, (std::vector<std::string>{"@roost.png", "@dirt.png", "@3 grass.png", "@sand.png"}));
    const tile& d = hf.tiles[0];
    EXPECT_FLOAT_EQ(friction_at(d, 0), 0.7f);
    EXPECT_FLOAT_EQ(friction_at(d, 50), 0.7f);
    EXPECT_FLOAT_EQ(roll_resist_at(d, 9).a, 4);
    EXPECT_FLOAT_EQ(roll_resist_at(d, 9).b, 12);
    EXPECT_EQ(d.roost[0].mode, roost_spray);
    EXPECT_EQ(d.roost[1].mode, roost_off);
    EXPECT_FLOAT_EQ(friction_at(hf.tiles[1], 3), 1.0f);   // one number: defaults
    EXPECT_FLOAT_EQ(roll_resist_at(hf.tiles[1], 3).b, 15);
}

TEST_F(TileLoad, SoftwareMethodKeepsDecodedImages)
{
    ASSERT_TRUE(load("texture @dirt.png\naddtile\n", 1));
    EXPECT_EQ(image_requests, std::vector<std::string>{"@dirt.png"});
    EXPECT_EQ(hf.tiles[0].texture, 0u);
    ASSERT_NE(hf.tiles[0].image.pixels, nullptr);
    EXPECT_EQ(hf.tiles[0].image.pixels[2], 3);
}

TEST_F(TileLoad, TileClassesFromNames)
{
    ASSERT_TRUE(load("texture @dirt.png\naddtile\n"
                     "texture @set/grass.png\naddtile\n"
                     "texture dirt-alt2.png\naddtile\n"
                     "texture @dirt-grass-0011.png\naddtile\n"
                     "texture @dirt-mud-0101.png\naddtile\n"
                     "texture @dirt-grass-01x1.png\naddtile\n"
                     "texture @rock-dirt.png\naddtile\n"));
    auto cls = [](uint32_t p, uint32_t s, uint32_t m) { return (p << 16) | (s << 8) | m; };
    EXPECT_EQ(hf.tiles[0].tile_class, cls(0, 0, 0));
    EXPECT_EQ(hf.tiles[1].tile_class, cls(1, 1, 0));
    EXPECT_EQ(hf.tiles[2].tile_class, cls(0, 0, 0));
    EXPECT_EQ(hf.tiles[3].tile_class, cls(0, 1, 3));
    EXPECT_EQ(hf.tiles[4].tile_class, cls(0, 0xff, 5));   // no "mud" tile
    EXPECT_EQ(hf.tiles[5].tile_class, cls(0, 1, 0));      // not a mask
    EXPECT_EQ(hf.tiles[6].tile_class, cls(6, 6, 0));      // no "rock" tile
}

TEST_F(TileLoad, TilemapClampAndTileAt)
{
    std::string map(side * side, '\0');
    for (int i = 0; i < side * side; i++)
        map[i] = char(i);
    put("tilemap", map);
    ASSERT_TRUE(load("addtile\naddtile\naddtile\naddtile\naddtile\naddtile\n"));
    EXPECT_EQ(hf.tilemap[3], 3);
    EXPECT_EQ(hf.tilemap[15], 5);   // beyond the table: the last tile
    struct { float x, z; int tile; } cases[] = {
        {0, 0, 0}, {3.99f, 0, 0}, {4, 0, 1}, {12.5f, 0, 3}, {-100, 0, 0}, {16, 0, 3}, {1e9f, 0, 3},
        {0, 4, 4}, {4.1f, 4.1f, 5}, {-1, 1e9f, 5}, {NAN, NAN, 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(tile_at(hf, c.x, c.z), c.tile) << c.x << "," << c.z;
}

TEST_F(TileLoad, ShortTilemapLeavesTileZeroAndWritesBack)
{
    put("tilemap", "\x01\x01\x01");
    ASSERT_TRUE(load("addtile\naddtile\n"));
    EXPECT_EQ(hf.tilemap[2], 1);
    EXPECT_EQ(hf.tilemap[3], 0);
    hf.tilemap[15] = 1;
    ASSERT_TRUE(write_tilemap(hf, "@trk"));
    std::string back = read_file(home + "/Vortrak/trk/tilemap");
    ASSERT_EQ(back.size(), size_t(side * side));
    EXPECT_EQ(back.substr(0, 4), std::string("\x01\x01\x01\x00", 4));
    EXPECT_EQ(back[15], 1);
}

TEST_F(TileLoad, MissingFilesFailTheLoad)
{
    put("tilemap", std::string(side * side, '\0'));
    EXPECT_FALSE(load_tiles(&hf, "@trk", 2));   // neither tileinfo nor texturelist
    free_tiles(&hf);
    unlink((track + "/tilemap").c_str());
    put("tileinfo", "addtile\n");
    EXPECT_FALSE(load_tiles(&hf, "@trk", 2));
    std::string log = text();
    EXPECT_NE(log.find("Can't open '@trk/texturelist'"), std::string::npos);
    EXPECT_NE(log.find("Can't open '@trk/tilemap'"), std::string::npos);
}

}  // namespace
