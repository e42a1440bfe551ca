// ride_test.cpp -- measured riding on a flat practice field through the
// riding session of vortrak-sim: standing, accelerating, braking, turning,
// staying upright, placement on the grid, the input script and the
// command's reproducibility and error handling.  Each test prints the
// figures it measured ("[ride] ...").
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/window.h"
#include "sim/flat_track.h"
#include "sim/ride.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "test_support.h"

namespace {

constexpr float mph = 1.4666667f;   // ft/s
constexpr float start_x = 1024, start_z = 1900;   // the field is 2048 ft square; riding toward -z

struct Ride : ::testing::Test {
    scratch_dir scratch;
    std::string home = scratch / "xdg/Vortrak";
    ride_session s{};
    bool open = false;

    void SetUp() override
    {
        set_env("XDG_DATA_HOME", (scratch / "xdg").c_str());
        set_env("VK_HOME", (scratch / "game").c_str());
        set_env("KOBU_LOGFILE", (scratch / "log.txt").c_str());
        write_file(scratch / "game/.keep", "");
        write_file(home + "/.keep", "");
        log_reset_for_tests();
        headless_configure({});
        platform_install(&headless_window_ops);
        data_roots_reset();
        file_index_reset();
        ASSERT_TRUE(write_flat_track(home.c_str(), "flat", 8, 4.0f));
    }
    void TearDown() override
    {
        if (open)
            ride_close(&s);
        log_printf(nullptr);
        log_reset_for_tests();
        platform_install(nullptr);
        set_env("KOBU_LOGFILE", nullptr);
        file_index_reset();
        data_roots_reset();
    }

    ride_options options(const char* model = "crf450(2013)")
    {
        ride_options o;
        ride_options_defaults(&o);
        o.track = "flat";
        o.bike = model;
        o.at_given = true;
        o.at_x = start_x;
        o.at_z = start_z;
        return o;
    }
    void begin(const ride_options& o)
    {
        char err[256];
        ASSERT_TRUE(ride_open(&s, o, err, sizeof err)) << err;
        open = true;
    }
    bike_controls& controls() { return s.options.constant; }
    float speed() { return bike_speed(s.b); }
    vec3 frame() { return body_position(s.b->bodies[body_frame]); }
    float lean() { return frame_lean_angle(s.b); }
    float time() { return float(s.tick * tick_period); }
    // Rides until done() or the time limit; the largest |lean| seen is kept.
    float max_lean = 0;
    bool ride_until(double seconds, const std::function<bool()>& done)
    {
        while (time() < seconds) {
            ride_tick(&s);
            max_lean = std::max(max_lean, std::fabs(lean()));
            if (done())
                return true;
        }
        return false;
    }
    void ride_for(double seconds)
    {
        double until = time() + seconds;
        ride_until(until, [] { return false; });
    }
};

TEST_F(Ride, StandingBikeSettlesOnItsSuspensionWithoutDrifting)
{
    begin(options());
    ride_for(1.0);
    vec3 settled = frame();
    ride_for(4.0);
    vec3 later = frame();
    float drift = std::hypot(later.x - settled.x, later.z - settled.z);
    float fork = -float(dJointGetSliderPosition(s.b->joints[joint_fork])) / s.b->model.fork_travel;
    float arm = -float(dJointGetHingeAngle(s.b->joints[joint_swingarm])) / s.b->model.swingarm_travel;
    std::printf("[ride] standing: fork sag %.0f%%, rear sag %.0f%%, frame %.3f ft lower, drift %.4f ft in 4 s, "
                "speed %.4f ft/s\n", fork * 100, arm * 100, s.b->model.frame_position.y - later.y, drift,
                speed());
    EXPECT_LT(drift, 0.05f);
    EXPECT_LT(speed(), 0.05f);
    EXPECT_LT(std::fabs(later.y - settled.y), 0.02f);
    EXPECT_GT(fork, 0.05f);
    EXPECT_LT(fork, 0.45f);
    EXPECT_GT(arm, 0.05f);
    EXPECT_LT(arm, 0.45f);
    EXPECT_LT(max_lean, 0.01f);
    EXPECT_FALSE(bike_crashed(s.b));
}

TEST_F(Ride, FullThrottleWithAutoShiftReachesSixtyAndTopsOutPlausibly)
{
    ride_options o = options();
    o.auto_shift = true;
    o.constant.throttle = 1;
    begin(o);
    ASSERT_TRUE(ride_until(10, [&] { return speed() >= 60 * mph; })) << "never reached 60 mph";
    float sixty = time();
    float distance = start_z - frame().z;
    ride_until(14, [] { return false; });
    float top = speed();
    std::printf("[ride] crf450(2013) full throttle: 0-60 mph in %.2f s over %.0f ft; %.1f mph at 14 s in gear %d "
                "(%.0f rpm); max lean %.3f rad\n", sixty, distance, top / mph, s.b->gear + 1,
                double(s.b->engine_speed) * 9.549296585513721, max_lean);
    EXPECT_GE(sixty, 3.0f);
    EXPECT_LE(sixty, 6.0f);
    EXPECT_GT(top, 75 * mph);
    EXPECT_LT(top, 105 * mph);
    EXPECT_GE(s.b->gear, 3);   // shifted up through the box
    EXPECT_LT(max_lean, 0.05f);
    EXPECT_FALSE(bike_crashed(s.b));
}

TEST_F(Ride, BrakingFromFortyMilesAnHourStopsInAPlausibleDistance)
{
    ride_options o = options();
    o.auto_shift = true;
    o.constant.throttle = 1;
    begin(o);
    ASSERT_TRUE(ride_until(10, [&] { return speed() >= 40 * mph; }));
    float from = speed();
    vec3 p0 = frame();
    double t0 = time();
    controls().throttle = 0;
    controls().clutch = 0;
    controls().front_brake = 1;
    controls().rear_brake = 1;
    max_lean = 0;
    ASSERT_TRUE(ride_until(t0 + 10, [&] { return speed() < 0.5f; })) << "did not stop";
    vec3 p1 = frame();
    float distance = std::hypot(p1.x - p0.x, p1.z - p0.z);
    float seconds = float(time() - t0);
    std::printf("[ride] braking from %.1f mph: stopped in %.1f ft and %.2f s (mean %.1f ft/s^2), max lean %.3f rad\n",
                from / mph, distance, seconds, from / seconds, max_lean);
    EXPECT_GT(distance, 40.0f);    // no more than about 1.3 g on dirt
    EXPECT_LT(distance, 200.0f);
    EXPECT_LT(max_lean, 0.1f);
    EXPECT_FALSE(bike_crashed(s.b));
}

// Accelerates straight to about 30 ft/s, then holds a small steer input.
struct TurnRun {
    float heading_change, radius, speed, max_lean;
    bool crashed;
};

TEST_F(Ride, ASteadySteerInputTurnsBothControllers)
{
    for (int arcade : {0, 1}) {
        for (float steer : {0.1f, -0.1f}) {
            SCOPED_TRACE(testing::Message() << "arcade " << arcade << " steer " << steer);
            ride_options o = options();
            o.auto_shift = true;
            o.arcade = arcade;
            o.constant.throttle = 0.6f;
            begin(o);
            ASSERT_TRUE(ride_until(8, [&] { return speed() >= 30; }));
            controls().throttle = 0.25f;
            controls().steer = steer;
            float h0 = bike_heading(s.b);
            max_lean = 0;
            vec3 a = frame();
            ride_for(3.0);
            float dh = bike_heading(s.b) - h0;
            vec3 b = frame();
            float chord = std::hypot(b.x - a.x, b.z - a.z);
            std::printf("[ride] %s steer %+.1f: heading %+.2f rad in 3 s at %.1f ft/s (chord %.0f ft), max lean %.2f "
                        "rad\n", arcade ? "arcade" : "normal", steer, dh, speed(), chord, max_lean);
            // A positive steer leans right (negative lean) and turns toward +x,
            // which lowers the heading.
            EXPECT_LT(dh * steer, 0.0f);
            EXPECT_GT(std::fabs(dh), arcade ? 0.1f : 0.3f);
            EXPECT_LT(max_lean, 1.2f);
            EXPECT_GT(speed(), 10.0f);
            EXPECT_FALSE(bike_crashed(s.b));
            ride_close(&s);
            open = false;
        }
    }
}

// Stands the bike at the start leaning by roll (rad about the forward
// axis), dropped from 0.25 ft so both tyres land.
void place_leaning(bike* b, float roll)
{
    reset_bike_pose(b);
    orient_bike(b, 0, 0, 1, roll);
    move_bike(b, start_x, 0.25f, start_z);
}

TEST_F(Ride, StaysUprightWithTheDefaultAssists)
{
    // The default setup (arcade physics on) and the normal controller,
    // each let go leaning a little to either side, then ridden off.
    for (int arcade : {-1, 0}) {
        for (float roll : {0.05f, -0.05f}) {
            SCOPED_TRACE(testing::Message() << "arcade " << arcade << " roll " << roll);
            ride_options o = options();
            o.arcade = arcade;
            begin(o);
            place_leaning(s.b, roll);
            max_lean = 0;
            ride_for(3.0);   // standing
            float standing = max_lean;
            float standing_end = std::fabs(lean());
            controls().throttle = 0.5f;
            ride_for(5.0);   // riding off in first gear
            controls().throttle = 0;
            ride_for(4.0);   // rolling to a stop
            std::printf("[ride] %s, let go at %+.2f rad: max lean standing %.3f rad (%.3f after 3 s), overall %.3f "
                        "rad, heading %+.3f rad\n", arcade < 0 ? "default assists (arcade)" : "normal controller",
                        roll, standing, standing_end, max_lean, bike_heading(s.b));
            EXPECT_LT(standing_end, 0.1f);
            EXPECT_LT(max_lean, 0.5f);
            EXPECT_LT(std::fabs(lean()), 0.1f);
            EXPECT_FALSE(bike_crashed(s.b));
            ride_close(&s);
            open = false;
        }
    }
}

TEST_F(Ride, PlacementRaisesTheBikeUntilItsTyresClear)
{
    begin(options());
    const bike_model& m = s.b->model;
    // Flat ground at 0: the first probe, 0.125 ft up, is clear, and the
    // bike is let down by 0.125 ft to the build height.
    char line[256];
    ride_report(&s, line, sizeof line);
    EXPECT_EQ(std::string(line), "t=0.000 speed=0.000 x=1024.000 y=1.980 z=1903.600 heading=0.0000 lean=0.0000 "
                                 "gear=1 rpm=0 crashed=0");
    // A raised patch around a low sample point: the first probe touches,
    // so the bike goes up in 0.25 ft probes until clear, then 0.125 down.
    int size = terrain.size;
    for (int row = 45; row <= 56; row++)
        for (int col = 45; col <= 56; col++)
            terrain.heights[row * size + col] = (row == 50 && col == 50) ? 0.0f : 1.0f;
    place_bike(s.b, 200, 200, 0);
    float lift = body_position(s.b->bodies[body_frame]).y - m.frame_position.y;
    float probes = lift / 0.25f;
    std::printf("[ride] placement over a 1 ft patch: lifted %.3f ft\n", lift);
    EXPECT_GE(lift, 0.25f);
    EXPECT_NEAR(probes, std::round(probes), 1e-4);
    // The last probe (0.125 ft higher) was clear, the one before touched.
    move_bike(s.b, 0, 0.125f, 0);
    EXPECT_FALSE(bike_wheel_contacts(s.b, terrain));
    move_bike(s.b, 0, -0.25f, 0);
    EXPECT_TRUE(bike_wheel_contacts(s.b, terrain));
    physics_contacts_clear();
}

TEST_F(Ride, ScriptEntriesHoldUntilTheNext)
{
    write_file(scratch / "in.txt",
               "# time steer throttle front rear shift clutch dab back_up lean\n"
               "0 0 1 0 0 0 1 0 0 0\n"
               "1.5 0 0 1 1 0 0 0 0 0\n"
               "\n"
               "2.0 0 0 0 0 1 1 0 0 0\n");
    ride_script_entry* e = nullptr;
    int n = 0;
    char err[256];
    std::string path = scratch / "in.txt";
    ASSERT_TRUE(read_ride_script(path.c_str(), &e, &n, err, sizeof err)) << err;
    ASSERT_EQ(n, 3);
    EXPECT_EQ(e[1].time, 1.5);
    EXPECT_EQ(e[1].controls.front_brake, 1);
    EXPECT_EQ(e[2].controls.shift, 1);
    free(e);
    ride_options o = options();
    o.inputs = path.c_str();
    begin(o);
    ride_until(1.4, [] { return false; });
    EXPECT_EQ(s.b->throttle, 1);
    ride_until(1.6, [] { return false; });
    EXPECT_EQ(s.b->throttle, 0);
    EXPECT_EQ(s.b->front_brake, 1);
    ride_until(2.1, [] { return false; });
    EXPECT_EQ(s.b->gear, 1);   // the shift input went through the gearbox once

    struct { const char* text; const char* error; } bad[] = {
        {"0 0 1 0 0 0 1 0 0\n", "entry 1 needs a time and nine control values"},
        {"1 0 0 0 0 0 1 0 0 0\n0.5 0 0 0 0 0 1 0 0 0\n", "entry 2 has a time before"},
        {"0 0 x 0 0 0 1 0 0 0\n", "entry 1 needs"},
    };
    for (auto c : bad) {
        write_file(path, c.text);
        EXPECT_FALSE(read_ride_script(path.c_str(), &e, &n, err, sizeof err));
        EXPECT_NE(std::string(err).find(c.error), std::string::npos) << err;
        EXPECT_EQ(e, nullptr);
    }
    std::string missing = scratch / "none.txt";
    EXPECT_FALSE(read_ride_script(missing.c_str(), &e, &n, err, sizeof err));
    EXPECT_NE(std::string(err).find("can't open"), std::string::npos);
}

// Runs the sub-command in-process and returns (status, stdout, stderr).
struct command_result {
    int status;
    std::string out, err;
};
command_result run_ride(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int status = sim_ride_main(int(argv.size()), argv.data(), out, err);
    auto slurp = [](FILE* f) {
        std::string text;
        std::rewind(f);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
        return text;
    };
    return {status, slurp(out), slurp(err)};
}

TEST_F(Ride, TheCommandRepeatsByteForByte)
{
    write_file(scratch / "in.txt", "0 0 1 0 0 0 1 0 0 0\n2 0.2 0.4 0 0 0 1 0 0 0.3\n3 -0.3 0 0.5 0.5 0 0 0 0 0\n");
    std::string script = scratch / "in.txt";
    std::vector<std::string> args = {"--track", "flat", "--bike", "kx250f(2013)", "--at", "1024,1900", "--heading",
                                     "0.2", "--seconds", "5", "--inputs", script, "--auto-shift", "--every", "32"};
    command_result a = run_ride(args);
    command_result b = run_ride(args);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 5 * 128 / 32 + 1);
    ASSERT_NE(a.out.rfind("t=5.000 "), std::string::npos);
    std::printf("[ride] kx250f(2013) scripted 5 s, last line: %s", a.out.substr(a.out.rfind("t=5.000")).c_str());
    // The constant-input form as well.
    std::vector<std::string> constant = {"--track", "flat", "--bike", "rm125", "--at", "1024,1900", "--throttle",
                                         "0.7", "--steer", "0.05", "--seconds", "3"};
    command_result c = run_ride(constant);
    command_result d = run_ride(constant);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out, d.out);
    EXPECT_EQ(std::count(c.out.begin(), c.out.end(), '\n'), 4);
}

TEST_F(Ride, TheCommandRefusesBadArgumentsWithAMessage)
{
    struct { std::vector<std::string> args; const char* message; } cases[] = {
        {{"--bike", "rm125"}, "--track is required"},
        {{"--track", "flat"}, "--bike is required"},
        {{"--track", "nowhere", "--bike", "rm125"}, "can't load track 'nowhere'"},
        {{"--track", "flat", "--bike", "xr650"}, "unknown bike 'xr650'"},
        {{"--track", "flat", "--bike", "rm125", "--throttle", "2"}, "--throttle wants a number from 0 to 1"},
        {{"--track", "flat", "--bike", "rm125", "--steer", "abc"}, "--steer wants a number from -1 to 1"},
        {{"--track", "flat", "--bike", "rm125", "--at", "5"}, "--at wants X,Z"},
        {{"--track", "flat", "--bike", "rm125", "--every", "0"}, "--every wants"},
        {{"--track", "flat", "--bike", "rm125", "--seconds", "-1"}, "--seconds wants"},
        {{"--track", "flat", "--bike", "rm125", "--inputs", "/nonexistent/x"}, "can't open the inputs file"},
        {{"--track", "flat", "--bike", "rm125", "--wheelie"}, "unknown option --wheelie"},
        {{"--track", "flat", "--bike", "rm125", "--heading"}, "--heading needs a value"},
    };
    for (auto& c : cases) {
        command_result r = run_ride(c.args);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(physics.world, nullptr);   // nothing left behind
}

}  // namespace
