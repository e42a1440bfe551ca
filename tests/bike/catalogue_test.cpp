// catalogue_test.cpp -- the bike catalogue: records, lookup and fallbacks,
// asset names and variants, plate colours, and the generic shape check
// against scratch data and against the generated pack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <zlib.h>

#include "base/sha1.h"
#include "base/text.h"
#include "bike/catalogue.h"
#include "bike/catalogue_assets.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "data/stream.h"
#include "platform/log_capture.h"
#include "test_support.h"

namespace {

// Data roots and the log in scratch folders; the log is captured.
struct CatalogueTest : log_capture {
    std::string home = dir / "home";
    std::string game = dir / "game";

    void SetUp() override
    {
        log_capture::SetUp();
        set_env("XDG_DATA_HOME", home.c_str());
        set_env("VK_HOME", game.c_str());
        write_file(game + "/.keep", "");
        data_roots_reset();
        file_index_reset();
        open();
    }
    void TearDown() override
    {
        bike_asset_ops_install(nullptr);
        data_roots_reset();
        file_index_reset();
        log_capture::TearDown();
    }
};

const bike_model& model_named(const char* name)
{
    const bike_model* m = find_bike_model(name);
    EXPECT_NE(m, nullptr) << name;
    return m ? *m : bike_models[0];
}

// ------------------------------------------------------------ records

TEST(Catalogue, HoldsFortyFiveUniqueModelsAndTheMenuNamesThemAll)
{
    std::set<std::string> names;
    for (const bike_model& m : bike_models)
        names.insert(m.name);
    EXPECT_EQ(names.size(), 45u);

    std::set<std::string> menu;
    for (const bike_menu_entry& e : bike_menu) {
        EXPECT_NE(find_bike_model(e.name), nullptr) << e.name;
        menu.insert(e.name);
        // A paint prefix names the texture stem its variants start with.
        EXPECT_TRUE(text_ends_with(e.paint_prefix, "-")) << e.name;
    }
    EXPECT_EQ(menu, names);
    EXPECT_STREQ(bike_menu[0].name, "450sxf(2013)");
    EXPECT_STREQ(bike_menu[41].paint_prefix, "cr125-");   // rs50cr paints as the 125

    // Catalogue positions the rest of the game relies on.
    EXPECT_STREQ(bike_models[0].name, "crf450(2013)");
    EXPECT_STREQ(bike_models[31].name, "cr125");
    EXPECT_STREQ(bike_models[44].name, "rs50yz");
    EXPECT_EQ(bike_model_index(&bike_models[17]), 17);
    EXPECT_EQ(bike_model_index(nullptr), -1);
    EXPECT_STREQ(model_named("350sxf(2011)").engine_class, "450f");
    EXPECT_STREQ(model_named("350sxf(2013)").engine_class, "250f");
}

struct torque_band {
    float low, high;   // ft lbf of the open-throttle peak
};

// The peak a model's class allows (the 350s have their own).
torque_band peak_band(const bike_model& m)
{
    if (strstr(m.name, "350"))
        return {20, 26};
    static const std::map<std::string, torque_band> bands = {
        {"450f", {29, 34}}, {"250f", {15, 20}}, {"250", {25, 29}}, {"125", {13.5f, 16.5f}}, {"50", {2.8f, 4.5f}},
    };
    return bands.at(m.engine_class);
}

void expect_torque_tables_sound(const bike_model& m)
{
    const float* closed = m.closed_throttle_torque;
    const float* open = m.open_throttle_torque;
    EXPECT_EQ(closed[0], 2.0f);
    EXPECT_EQ(closed[1], 2.0f);
    EXPECT_EQ(closed[2], 1.0f);
    EXPECT_EQ(closed[3], 0.0f);
    for (int i = 1; i < torque_points; i++)
        EXPECT_LE(closed[i], closed[i - 1]) << "closed, entry " << i;
    EXPECT_EQ(closed[torque_points - 1], strcmp(m.engine_class, "50") == 0 ? -11.5f : -23.0f);

    float floor = strcmp(m.engine_class, "50") == 0 ? 1.0f : 5.0f;
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(open[i], floor) << "open, entry " << i;
    int zero = -1, peak = 0;
    for (int i = 0; i < torque_points; i++) {
        if (open[i] == 0.0f) {
            EXPECT_EQ(zero, -1) << "a second zero at entry " << i;
            zero = i;
        }
        if (zero < 0 && open[i] > open[peak])
            peak = i;
    }
    ASSERT_GT(zero, peak);
    EXPECT_LE(std::fabs(zero * torque_rpm_step - m.redline_rpm), 1000.0f) << "zero at entry " << zero;
    for (int i = 5; i < zero; i++)
        EXPECT_GE(open[i], floor) << "open, entry " << i;
    for (int i = peak + 1; i < zero; i++)
        EXPECT_LE(open[i], open[i - 1]) << "falling from the peak, entry " << i;
    for (int i = zero + 1; i < torque_points; i++) {
        EXPECT_LT(open[i], 0.0f) << "past the limit, entry " << i;
        if (i > zero + 1) {
            EXPECT_LE(open[i], open[i - 1]) << "past the limit, entry " << i;
        }
    }
    torque_band band = peak_band(m);
    EXPECT_GE(open[peak], band.low);
    EXPECT_LE(open[peak], band.high);
    EXPECT_GE(peak * torque_rpm_step, m.shift_down_rpm - 1000.0f) << "peak below the shifting band";
}

TEST(Catalogue, EveryRecordIsInternallyConsistent)
{
    for (const bike_model& m : bike_models) {
        SCOPED_TRACE(m.name);
        EXPECT_TRUE(std::set<std::string>({"450f", "250f", "250", "125", "50"}).count(m.engine_class));
        for (float mass : {m.frame_mass, m.fork_mass, m.swingarm_side_mass, m.rider_mass, m.front_wheel.tyre_mass,
                           m.front_wheel.hub_mass, m.rear_wheel.tyre_mass, m.rear_wheel.hub_mass, m.engine_inertia})
            EXPECT_GT(mass, 0.0f);
        EXPECT_GT(m.frame_size.x * m.frame_size.y * m.frame_size.z, 0.0f);
        EXPECT_GT(m.fork_spacing, 0.0f);
        EXPECT_GT(m.fork_length, m.fork_travel);
        EXPECT_EQ(m.front_wheel.axle_position.z, 1.11f);
        EXPECT_EQ(m.rear_wheel.axle_position.z, 6.0f);
        for (const wheel_spec* w : {&m.front_wheel, &m.rear_wheel})
            EXPECT_GT(w->ring_radius, w->section_radius);

        // Suspension ranges: the air column stays open at full travel.
        EXPECT_LT(m.fork_spring_min, m.fork_spring_max);
        EXPECT_LT(m.shock_spring_min, m.shock_spring_max);
        EXPECT_LE(m.fork_preload_min, m.fork_preload_max);
        EXPECT_LE(m.shock_preload_min, m.shock_preload_max);
        EXPECT_GT(m.fork_air_min, m.fork_air_max);
        EXPECT_GT(m.fork_air_max, 0.0f);
        EXPECT_GT(m.fork_travel, 0.0f);
        EXPECT_GT(m.swingarm_travel, 0.0f);
        EXPECT_EQ(m.linkage_ratio_extended, m.linkage_ratio_compressed);
        for (float damping : {m.fork_compression_base, m.fork_rebound_base, m.shock_compression_base,
                              m.shock_rebound_base, m.clutch_stiffness, m.clutch_damping})
            EXPECT_GT(damping, 0.0f);

        // Gearing: five or six gears, each taller than the last.
        EXPECT_GT(m.primary_ratio, 1.0f);
        EXPECT_GT(m.countershaft_teeth, 0.0f);
        EXPECT_GT(m.rear_sprocket_teeth, m.countershaft_teeth);
        for (int g = 0; g < 5; g++)
            EXPECT_GT(m.gear_ratios[g], 0.0f) << "gear " << g + 1;
        for (int g = 1; g < 5; g++)
            EXPECT_LT(m.gear_ratios[g], m.gear_ratios[g - 1]) << "gear " << g + 1;
        if (m.gear_ratios[5] > 0) {
            EXPECT_LT(m.gear_ratios[5], m.gear_ratios[4]);
        } else {
            EXPECT_EQ(m.gear_ratios[5], -1.0f);
        }

        EXPECT_LT(m.shift_down_rpm, m.shift_up_rpm);
        EXPECT_LT(m.shift_up_rpm, m.redline_rpm);
        EXPECT_LT(m.redline_rpm, (torque_points - 1) * torque_rpm_step);
        expect_torque_tables_sound(m);

        EXPECT_LT(m.rider_travel_min, 0.0f);
        EXPECT_GT(m.rider_travel_max, 0.0f);
        for (int i = rider_shoulder_left; i < rider_point_count; i += 2) {
            EXPECT_LT(m.rider_points[i].x, 0.0f) << "point " << i;
            EXPECT_EQ(m.rider_points[i + 1].x, -m.rider_points[i].x) << "point " << i;
            EXPECT_EQ(m.rider_points[i + 1].y, m.rider_points[i].y) << "point " << i;
            EXPECT_EQ(m.rider_points[i + 1].z, m.rider_points[i].z) << "point " << i;
        }
        EXPECT_FLOAT_EQ(m.rider_limb_lengths[2] + m.rider_limb_lengths[3], 3.029f);
        EXPECT_EQ(m.rider_bind_pose, bike_rider_bind_pose);
    }
}

TEST(Catalogue, FamilyValuesAndReferenceTables)
{
    const bike_model& crf450 = model_named("crf450(2013)");
    EXPECT_EQ(crf450.open_throttle_torque[14], 31.0f);    // 7000 rpm
    EXPECT_EQ(crf450.open_throttle_torque[24], 0.0f);     // 12000 rpm
    EXPECT_EQ(crf450.open_throttle_torque[25], -10.0f);
    EXPECT_EQ(crf450.open_throttle_torque[49], -34.0f);
    const bike_model& crf250 = model_named("crf250(2013)");
    EXPECT_EQ(crf250.open_throttle_torque[11], 11.46f);
    EXPECT_EQ(crf250.open_throttle_torque[28], 0.0f);
    EXPECT_EQ(crf250.open_throttle_torque[29], -13.5f);
    EXPECT_EQ(crf250.open_throttle_torque[49], -23.5f);
    EXPECT_EQ(model_named("cr250(2007)").closed_throttle_torque[14], -3.33f);
    EXPECT_EQ(model_named("rs50kx").closed_throttle_torque[14], -1.665f);

    EXPECT_EQ(model_named("350sxf(2011)").engine_inertia, 0.0068359375f);
    EXPECT_EQ(model_named("450sxf(2011)").engine_inertia, 0.008850098f);
    EXPECT_EQ(model_named("rm125").redline_rpm, 13750.0f);
    EXPECT_EQ(model_named("rs50rm").redline_rpm, 13750.0f);
    EXPECT_EQ(model_named("rs50yz").redline_rpm, 12750.0f);
    EXPECT_EQ(model_named("rs50cr").clutch_stiffness, 1200.0f);
    EXPECT_EQ(model_named("rs50cr").clutch_damping, 1.0f);
    EXPECT_EQ(model_named("kx250(2006)").shift_up_rpm, 9000.0f);
    EXPECT_EQ(model_named("yz250f_se(2006)").rider_mass, 4.6875f);

    // Five-speed boxes end in -1; the 2-stroke 125s but one and the 50s have six.
    struct gears {
        const char* name;
        float sixth;
        float rear_teeth;
    } table[] = {
        {"crf450(2013)", -1, 48}, {"cr125", -1, 52},       {"kx125", 1, 51},
        {"rm125", 0.95f, 50},     {"250sxf(2009)", 1.0909091f, 48}, {"rs50yz", 0.95652175f, 55},
    };
    for (const gears& g : table) {
        EXPECT_EQ(model_named(g.name).gear_ratios[5], g.sixth) << g.name;
        EXPECT_EQ(model_named(g.name).rear_sprocket_teeth, g.rear_teeth) << g.name;
    }
}

TEST(Catalogue, AssetNamesFollowTheStem)
{
    struct expected {
        const char* model;
        const char* frame;
        const char* front_plate;
        const char* paint;
    } table[] = {
        {"crf450(2013)", "@crf450v2013_frame.jm", "@crf450v2013_front_plate.jm", "@crf450v2013.png"},
        {"crf250(2013)", "@crf250v2010_frame.jm", "@crf250v2010_front_plate.jm", "@crf250v2010.png"},
        {"kx250f(2007)", "@kx250f_frame.jm", "@kx250f_front_plate.jm", "@kx250f.png"},
        {"yz250f_se(2006)", "@yz250f_frame.jm", "@yz250f_front_plate.jm", "@yz250f_se.png"},
        {"rs50rm", "@rm125_frame.jm", "@rm125_front_plate.jm", "@rm125.png"},
    };
    for (const expected& e : table) {
        const bike_model& m = model_named(e.model);
        EXPECT_STREQ(m.frame_model, e.frame) << e.model;
        EXPECT_STREQ(m.front_plate_model, e.front_plate) << e.model;
        EXPECT_STREQ(m.paint_texture, e.paint) << e.model;
    }
    const bike_model& m = model_named("rmz450(2011)");
    EXPECT_STREQ(m.fork_upper_model, "@rmz450_fork_upper.jm");
    EXPECT_STREQ(m.fork_lower_model, "@rmz450_fork_lower.jm");
    EXPECT_STREQ(m.swingarm_model, "@rmz450_swingarm.jm");
    EXPECT_STREQ(m.side_plates_model, "@rmz450_side_plates.jm");

    // The shared names, identical in every record.
    for (const bike_model& b : bike_models) {
        SCOPED_TRACE(b.name);
        const char* shapes[] = {b.frame_shape,       b.fork_upper_shape, b.fork_lower_shape, b.swingarm_shape,
                                b.front_wheel_shape, b.rear_wheel_shape, b.rider_shape};
        for (int i = 0; i < generic_shape_count; i++)
            EXPECT_STREQ(shapes[i], generic_shape_names[i]);
        EXPECT_STREQ(b.front_wheel_model, "@front_wheel.jm");
        EXPECT_STREQ(b.rear_wheel_model, "@rear_wheel.jm");
        EXPECT_STREQ(b.wheel_texture, "@wheels.png");
        EXPECT_STREQ(b.helmet_model, "@rider_head.jm");
        EXPECT_STREQ(b.helmet_texture, "@rider_head.png");
        EXPECT_STREQ(b.rider_model, "@rider_body.jm");
        EXPECT_STREQ(b.rider_model_first_person, "@rider_body_fp.jm");
        EXPECT_STREQ(b.gear_texture, "@rider_body.png");
        EXPECT_STREQ(b.rider_plate_model, "@rider_plate.jm");
        // Every per-model name shares the frame's stem.
        std::string frame = b.frame_model;
        std::string stem = frame.substr(0, frame.size() - strlen("_frame.jm"));
        EXPECT_EQ(std::string(b.swingarm_model), stem + "_swingarm.jm");
    }
    EXPECT_STREQ(generic_shape_names[0], "@generic_frame.shp");
    EXPECT_STREQ(generic_shape_names[6], "@generic_rider.shp");
}

// ------------------------------------------------------------ selection

TEST_F(CatalogueTest, SelectionFallsBackAndTranslatesLegacyNames)
{
    struct selection {
        const char* requested;
        const char* chosen;
        bool logged;   // a fallback says so in the log
    } table[] = {
        {"crf450(2013)", "crf450(2013)", false},
        {"rs50rm", "rs50rm", false},
        {"crf250", "crf250(2008)", false},
        {"kx250f", "kx250f(2008)", false},
        {"rmz250", "rmz250(2008)", false},
        {"yz250f", "yz250f(2008)", false},
        {"xr125", "cr125", true},            // the first name holding "125"
        {"kx125(1999)", "cr125", true},
        {"ttr230", "kx250f(2013)", true},    // the first name holding "250f"
        {"CRF450(2013)", "kx250f(2013)", true},   // names are case-sensitive
        {"", "kx250f(2013)", true},
    };
    for (const selection& s : table) {
        const bike_model* m = select_bike_model(s.requested);
        ASSERT_NE(m, nullptr) << s.requested;
        EXPECT_STREQ(m->name, s.chosen) << s.requested;
    }
    EXPECT_STREQ(select_bike_model(nullptr)->name, "kx250f(2013)");

    EXPECT_EQ(find_bike_model("crf250"), nullptr);   // lookup itself is exact
    EXPECT_EQ(find_bike_model(nullptr), nullptr);
    EXPECT_STREQ(translate_legacy_bike_name("yz250f"), "yz250f(2008)");
    EXPECT_STREQ(translate_legacy_bike_name("yz250f(2009)"), "yz250f(2009)");

    std::vector<std::string> lines = lines_of(text());
    std::vector<std::string> fallbacks;
    for (const std::string& l : lines)
        if (l.find("bike info for") != std::string::npos)
            fallbacks.push_back(l.substr(l.find("bike info")));
    ASSERT_EQ(fallbacks.size(), 6u);
    EXPECT_EQ(fallbacks[0], "bike info for 'xr125' not found using 'cr125' instead");
    EXPECT_EQ(fallbacks[3], "bike info for 'CRF450(2013)' not found using 'kx250f(2013)' instead");
    EXPECT_EQ(fallbacks[5], "bike info for '' not found using 'kx250f(2013)' instead");
}

TEST_F(CatalogueTest, FallbackLogCutsLongNames)
{
    select_bike_model("a-very-long-bike-name-that-is-not-known");
    std::string log = text();
    EXPECT_NE(log.find("bike info for 'a-very-long-bike-nam' not found using 'kx250f(2013)' instead"),
              std::string::npos)
        << log;
}

// ------------------------------------------------------------ variants and plates

TEST(BikeAssets, TextureVariantNames)
{
    struct variant {
        const char* texture;
        const char* expected;   // null: no variant
    } table[] = {
        {"crf450v2013-blue-a.png", "-blue"},
        {"@crf450v2013-blue-a.png", "-blue"},
        {"@paints/crf450v2013-red-1-x.png", "-red"},
        {"crf450v2013-blue.png", nullptr},   // one hyphen: stock models
        {"@my-paints/crf450v2013.png", nullptr},   // hyphens in the directory don't count
        {"@crf450v2013.png", nullptr},
    };
    for (const variant& v : table) {
        char out[64];
        bool got = texture_variant(v.texture, out, sizeof out);
        EXPECT_EQ(got, v.expected != nullptr) << v.texture;
        if (got && v.expected) {
            EXPECT_STREQ(out, v.expected) << v.texture;
        }
    }
    char tiny[4];
    EXPECT_FALSE(texture_variant("a-long-b.png", tiny, sizeof tiny));   // "-long" doesn't fit

    char name[128];
    ASSERT_TRUE(variant_model_name("@crf450v2013_frame.jm", "-blue", name, sizeof name));
    EXPECT_STREQ(name, "@crf450v2013_frame-blue.jm");
    ASSERT_TRUE(variant_model_name("@noext", "-x", name, sizeof name));
    EXPECT_STREQ(name, "@noext-x.jm");
    char small[12];
    EXPECT_FALSE(variant_model_name("@crf450v2013_frame.jm", "-blue", small, sizeof small));

    ASSERT_TRUE(variant_model_beside_texture("@paints/crf450v2013-blue-a.png", "@crf450v2013_frame-blue.jm", name,
                                             sizeof name));
    EXPECT_STREQ(name, "@paints/crf450v2013_frame-blue.jm");
    EXPECT_FALSE(variant_model_beside_texture("@crf450v2013-blue-a.png", "@crf450v2013_frame-blue.jm", name,
                                              sizeof name));
}

TEST(BikeAssets, PlateColoursFromInfoText)
{
    struct plate {
        const char* info;
        uint8_t background[3];
        uint8_t foreground[3];
    } table[] = {
        {nullptr, {255, 255, 255}, {0, 0, 0}},
        {"[compress]", {255, 255, 255}, {0, 0, 0}},
        {"[numberbackground:2,1,-1]", {255, 255, 0}, {0, 0, 0}},
        {"x [numberforeground:0.5,0.25,1] [numberbackground:0,0,0]", {0, 0, 0}, {127, 63, 255}},
        {"[numberbackground:1,oops,1]", {255, 255, 255}, {0, 0, 0}},   // all three or nothing
        {"[numberbackground:nan,1,0]", {0, 255, 0}, {0, 0, 0}},        // NaN reads as 0
        {"[numberbackground:", {255, 255, 255}, {0, 0, 0}},
    };
    for (const plate& p : table) {
        uint8_t bg[3], fg[3];
        plate_colours_from_info(p.info, bg, fg);
        SCOPED_TRACE(p.info ? p.info : "(none)");
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(bg[i], p.background[i]) << "background " << i;
            EXPECT_EQ(fg[i], p.foreground[i]) << "foreground " << i;
        }
    }
}

// A model loader and texture manager that know a fixed set of names.
struct fake_assets {
    static std::set<std::string> files;
    static std::vector<std::string> loaded;
    static std::map<unsigned, std::string> info;
    static std::string plate_number;

    static const model* load_model(const char* name)
    {
        loaded.push_back(name);
        auto it = files.find(name);
        return it == files.end() ? nullptr : reinterpret_cast<const model*>(&*it);
    }
    static texture_id load_texture(const char* name)
    {
        auto it = files.find(name);
        return it == files.end() ? 0 : static_cast<texture_id>(std::distance(files.begin(), it) + 1);
    }
    static const char* texture_info(texture_id t)
    {
        auto it = info.find(t);
        return it == info.end() ? nullptr : it->second.c_str();
    }
    static texture_id number_plate(const char* number, const uint8_t*, const uint8_t*)
    {
        plate_number = number;
        return 999;
    }
    static const model* handle(const char* name)
    {
        auto it = files.find(name);
        return it == files.end() ? nullptr : reinterpret_cast<const model*>(&*it);
    }
    static const bike_asset_ops ops;
};
std::set<std::string> fake_assets::files;
std::vector<std::string> fake_assets::loaded;
std::map<unsigned, std::string> fake_assets::info;
std::string fake_assets::plate_number;
const bike_asset_ops fake_assets::ops = {load_model, load_texture, texture_info, number_plate};

struct BikeAssetsTest : CatalogueTest {
    const bike_model* m = find_bike_model("crf450(2013)");
    void SetUp() override
    {
        CatalogueTest::SetUp();
        // Every stock model and default texture exists.
        fake_assets::files = {m->frame_model,       m->side_plates_model, m->fork_upper_model,
                              m->front_plate_model, m->fork_lower_model,  m->swingarm_model,
                              m->front_wheel_model, m->rear_wheel_model,  m->rider_plate_model,
                              m->rider_model,       m->rider_model_first_person, m->helmet_model,
                              m->paint_texture,     m->wheel_texture,     m->gear_texture,
                              m->helmet_texture};
        fake_assets::loaded.clear();
        fake_assets::info.clear();
        bike_asset_ops_install(&fake_assets::ops);
    }
};

TEST_F(BikeAssetsTest, VariantModelsLoadWithTheirTexture)
{
    fake_assets::files.insert({"@paints/crf450v2013-blue-a.png", "@paints/crf450v2013_frame-blue.jm",
                               "@crf450v2013_swingarm-blue.jm"});
    bike_assets a;
    load_bike_assets(m, "123456789", {"@paints/crf450v2013-blue-a.png", nullptr, nullptr, nullptr}, &a);
    // The frame was found beside the texture, the swingarm beside the stock
    // models; variants that are missing stay missing (no stock mixed in).
    EXPECT_EQ(a.frame, fake_assets::handle("@paints/crf450v2013_frame-blue.jm"));
    EXPECT_EQ(a.swingarm, fake_assets::handle("@crf450v2013_swingarm-blue.jm"));
    EXPECT_EQ(a.fork_upper, nullptr);
    EXPECT_EQ(a.side_plates, nullptr);
    EXPECT_EQ(a.paint, fake_assets::load_texture("@paints/crf450v2013-blue-a.png"));
    // The groups with nothing chosen use their defaults.
    EXPECT_EQ(a.front_wheel, fake_assets::handle("@front_wheel.jm"));
    EXPECT_EQ(a.wheels, fake_assets::load_texture("@wheels.png"));
    EXPECT_EQ(a.rider_head, fake_assets::handle("@rider_head.jm"));
    EXPECT_STREQ(a.number, "1234567");
    EXPECT_EQ(fake_assets::plate_number, "1234567");
    EXPECT_EQ(a.number_plate, 999u);

    std::string log = text();
    EXPECT_NE(log.find("Warning: Can't load @crf450v2013_fork_upper-blue.jm or "
                       "@paints/crf450v2013_fork_upper-blue.jm\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Warning: Can't load @crf450v2013_frame"), std::string::npos) << log;
}

TEST_F(BikeAssetsTest, GroupFallsBackWholeWhenItsKeyModelIsMissing)
{
    fake_assets::files.insert({"@crf450v2013-red-a.png", "@crf450v2013_swingarm-red.jm", "@rider_body-x.jm",
                               "@gear-x-1.png", "@rider_plate-x.jm"});
    fake_assets::info[fake_assets::load_texture(m->paint_texture)] = "[numberbackground:0,0,1]";
    bike_assets a;
    load_bike_assets(m, "7", {"@crf450v2013-red-a.png", "@missing-wheels-a.png", "@gear-x-1.png", nullptr}, &a);
    // No red frame: the whole paint group is stock, with the default paint.
    EXPECT_EQ(a.frame, fake_assets::handle(m->frame_model));
    EXPECT_EQ(a.swingarm, fake_assets::handle(m->swingarm_model));
    EXPECT_EQ(a.paint, fake_assets::load_texture(m->paint_texture));
    EXPECT_EQ(a.plate_background[2], 255);
    EXPECT_EQ(a.plate_background[0], 0);
    // A wheel texture that doesn't load: stock wheels.
    EXPECT_EQ(a.wheels, fake_assets::load_texture("@wheels.png"));
    EXPECT_EQ(a.rear_wheel, fake_assets::handle("@rear_wheel.jm"));
    // The riding gear had its body model: its variants stay, the missing
    // first-person body with them (and without a warning).
    EXPECT_EQ(a.gear, fake_assets::load_texture("@gear-x-1.png"));
    EXPECT_EQ(a.rider_body, fake_assets::handle("@rider_body-x.jm"));
    EXPECT_EQ(a.rider_plate, fake_assets::handle("@rider_plate-x.jm"));
    EXPECT_EQ(a.rider_body_first_person, nullptr);
    std::string log = text();
    EXPECT_EQ(log.find("rider_body_fp"), std::string::npos) << log;
    EXPECT_NE(log.find("Warning: Can't load @crf450v2013_frame-red.jm\n"), std::string::npos) << log;
}

TEST_F(BikeAssetsTest, HeadlessLoadsNothingAndLogsNothing)
{
    bike_asset_ops_install(nullptr);
    bike_assets a;
    load_bike_assets(m, nullptr, {"@x-y-z.png", nullptr, nullptr, nullptr}, &a);
    EXPECT_EQ(a.frame, nullptr);
    EXPECT_EQ(a.paint, 0u);
    EXPECT_STREQ(a.number, "");
    EXPECT_EQ(a.plate_background[0], 255);
    EXPECT_TRUE(fake_assets::loaded.empty());
    EXPECT_EQ(text().find("Warning"), std::string::npos);
}

// ------------------------------------------------------------ shape check

std::string hex_of(const std::string& bytes)
{
    uint8_t digest[sha1_digest_size];
    sha1_of(bytes.data(), bytes.size(), digest);
    char hex[sha1_hex_size];
    sha1_to_hex(digest, hex);
    return hex;
}

struct ShapeCheckTest : CatalogueTest {
    std::vector<std::string> contents;
    void SetUp() override
    {
        CatalogueTest::SetUp();
        for (int i = 0; i < generic_shape_count; i++) {
            // Bigger than one read piece, so the pieces are joined right.
            contents.push_back(std::to_string(i) + "\n" + std::string(1500 + i, 'a' + i));
            write_file(game + "/" + (generic_shape_names[i] + 1), contents.back());
        }
    }
    std::string all_except(int skipped) const
    {
        std::string all;
        for (int i = 0; i < generic_shape_count; i++)
            if (i != skipped)
                all += contents[i];
        return all;
    }
};

TEST_F(ShapeCheckTest, DigestCoversTheSevenFilesInOrder)
{
    std::string expected = hex_of(all_except(-1));
    char hex[sha1_hex_size];
    ASSERT_TRUE(generic_shapes_hex(hex));
    EXPECT_EQ(std::string(hex), expected);
    EXPECT_TRUE(generic_shape_check_digest(expected.c_str()));
    std::string upper = expected;
    for (char& c : upper)
        c = static_cast<char>(toupper(c));
    EXPECT_TRUE(generic_shape_check_digest(upper.c_str()));

    // Swapping two files changes the digest.
    std::string swapped = contents[1] + contents[0];
    for (int i = 2; i < generic_shape_count; i++)
        swapped += contents[i];
    EXPECT_FALSE(generic_shape_check_digest(hex_of(swapped).c_str()));
    const char* bad[] = {"", "0123", "zz", nullptr};
    for (const char* b : bad)
        EXPECT_FALSE(generic_shape_check_digest(b));
    EXPECT_FALSE(generic_shape_check_digest(std::string(40, 'g').c_str()));
}

TEST_F(ShapeCheckTest, MissingFilesAreSkippedAndEditedOnesFail)
{
    std::remove((game + "/generic_swingarm.shp").c_str());
    file_index_reset();
    EXPECT_TRUE(generic_shape_check_digest(hex_of(all_except(3)).c_str()));
    EXPECT_FALSE(generic_shape_check_digest(hex_of(all_except(-1)).c_str()));

    write_file(game + "/generic_rider.shp", contents[6] + " ");
    file_index_reset();
    EXPECT_FALSE(generic_shape_check_digest(hex_of(all_except(3)).c_str()));
}

TEST_F(ShapeCheckTest, DamagedCompressedShapeFails)
{
    // A gzip copy cut short yields part of the bytes and a failed stream.
    std::string gz_path = game + "/generic_rider.shp.gz";
    gzFile gz = gzopen(gz_path.c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, contents[6].data(), static_cast<unsigned>(contents[6].size()));
    gzclose(gz);
    std::remove((game + "/generic_rider.shp").c_str());
    file_index_reset();
    EXPECT_TRUE(generic_shape_check_digest(hex_of(all_except(-1)).c_str()));

    std::string packed = read_file(gz_path);
    write_file(gz_path, packed.substr(0, packed.size() - 6));
    file_index_reset();
    char hex[sha1_hex_size];
    EXPECT_FALSE(generic_shapes_hex(hex));
    EXPECT_FALSE(generic_shape_check_digest(hex_of(all_except(-1)).c_str()));
}

// ------------------------------------------------------------ the generated pack

struct parsed_sphere {
    vec3 centre;
    float radius, mu, stiffness, damping;
};

// Reads a ".shp" as the game's format: a count, then seven numbers a sphere.
bool read_shape(const char* name, std::vector<parsed_sphere>* out)
{
    file_stream* s = stream_open(name, "rb");
    if (!s)
        return false;
    int count = 0;
    bool ok = stream_scanf(s, "%d", &count) == 1 && count >= 0 && count < 1000;
    for (int i = 0; ok && i < count; i++) {
        parsed_sphere p;
        ok = stream_scanf(s, "%f %f %f %f %f %f %f", &p.centre.x, &p.centre.y, &p.centre.z, &p.radius, &p.mu,
                          &p.stiffness, &p.damping) == 7;
        out->push_back(p);
    }
    stream_close(s);
    return ok;
}

// The digest the generator compiled in, read back from its source.
std::string compiled_shapes_digest()
{
    std::string source = read_file(std::string(VK_BUILD_DIR) + "/generated/game_data_digest.cpp");
    std::string key = "generic_shapes_digest[] = \"";
    size_t at = source.find(key);
    return at == std::string::npos ? "" : source.substr(at + key.size(), 40);
}

TEST_F(CatalogueTest, GeneratedShapesMatchTheCompiledDigestAndFitTheBike)
{
    set_env("VK_HOME", VK_GAME_DIR);
    data_roots_reset();
    file_index_reset();
    std::string digest = compiled_shapes_digest();
    ASSERT_EQ(digest.size(), 40u);
    EXPECT_TRUE(generic_shape_check_digest(digest.c_str()));

    const bike_model& m = bike_models[0];
    // Each body's position in the build pose: shapes are in body axes.
    vec3 origins[generic_shape_count] = {m.frame_position,          m.steering_head_position,
                                         m.fork_lower_position,     m.swingarm_position,
                                         m.front_wheel.axle_position, m.rear_wheel.axle_position,
                                         m.rider_position};
    for (int i = 0; i < generic_shape_count; i++) {
        SCOPED_TRACE(generic_shape_names[i]);
        std::vector<parsed_sphere> spheres;
        ASSERT_TRUE(read_shape(generic_shape_names[i], &spheres));
        ASSERT_FALSE(spheres.empty());
        float bounding = 0;
        for (const parsed_sphere& p : spheres) {
            EXPECT_GT(p.radius, 0.0f);
            EXPECT_GT(p.mu, 0.0f);
            EXPECT_GT(p.stiffness, 0.0f);
            EXPECT_GT(p.damping, 0.0f);
            bounding = std::fmax(bounding, vec3_length(p.centre) + p.radius);
            // Nothing but the tyres reaches the ground when the bike stands.
            if (i != 4 && i != 5) {
                EXPECT_GT(origins[i].y + p.centre.y - p.radius, 0.5f);
            }
        }
        EXPECT_LT(bounding, 4.0f);   // no sphere strays from its body
    }

    // The tyre ring lies on the wheel's torus; the bar reaches both grips.
    std::vector<parsed_sphere> wheel, bar;
    ASSERT_TRUE(read_shape("@front_wheel.shp", &wheel));
    int on_ring = 0;
    for (const parsed_sphere& p : wheel)
        if (std::fabs(vec3_length(p.centre) - m.front_wheel.ring_radius) < 1e-4f &&
            std::fabs(p.radius - m.front_wheel.section_radius) < 1e-4f && p.centre.x == 0)
            on_ring++;
    EXPECT_EQ(on_ring, 16);
    ASSERT_TRUE(read_shape("@generic_fork_upper.shp", &bar));
    for (int g : {rider_grip_left, rider_grip_right}) {
        bool found = false;
        for (const parsed_sphere& p : bar)
            found |= vec3_length(vec3_sub(p.centre, m.rider_points[g])) < 1e-4f;
        EXPECT_TRUE(found) << "grip " << g;
    }

    // The gate shape is the bar's plate, lying flat behind its hinge (+z).
    std::vector<parsed_sphere> gate;
    ASSERT_TRUE(read_shape("@startgate.shp", &gate));
    float low = 1e9f, high = -1e9f, left = 1e9f, right = -1e9f, near = 1e9f, far = -1e9f;
    for (const parsed_sphere& p : gate) {
        low = std::fmin(low, p.centre.y - p.radius);
        high = std::fmax(high, p.centre.y + p.radius);
        left = std::fmin(left, p.centre.x - p.radius);
        right = std::fmax(right, p.centre.x + p.radius);
        near = std::fmin(near, p.centre.z - p.radius);
        far = std::fmax(far, p.centre.z + p.radius);
    }
    EXPECT_NEAR(right - left, 5.0f, 0.5f);
    EXPECT_GE(low, -0.1f);
    EXPECT_LE(high, 0.6f);
    EXPECT_GE(near, 0.0f);
    EXPECT_NEAR(far, 2.9f, 0.1f);
}

}  // namespace
