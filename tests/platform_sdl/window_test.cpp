// window_test.cpp -- the SDL window: a compatibility GL context that draws
// with the fixed-function pipeline, frames, screenshots read back from the
// frame, mode switches, the mode list, the declined "threaded" option and
// the error box on a machine without a display.
#include <SDL_opengl.h>

#include <cstdio>
#include <vector>

#include "data/image.h"
#include "sdl_fixture.h"

#ifndef GL_CONTEXT_PROFILE_MASK
#define GL_CONTEXT_PROFILE_MASK 0x9126
#endif
#ifndef GL_CONTEXT_CORE_PROFILE_BIT
#define GL_CONTEXT_CORE_PROFILE_BIT 0x1
#endif

using sdl_window_test = sdl_test;

static std::vector<std::string> messages;
static void record_message(const char* text) { messages.push_back(text); }

// The colour of pixel (x, y), y from the top, of an RGB image.
static std::vector<int> pixel(const image& img, int x, int y)
{
    const uint8_t* p = img.pixels + (static_cast<size_t>(y) * img.width + x) * 3;
    return {p[0], p[1], p[2]};
}

// Clears to blue and fills the top half red with immediate-mode drawing.
static void draw_test_picture(const frame_desc* f)
{
    glViewport(0, 0, f->width, f->height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 0, 0);
    glBegin(GL_QUADS);
    glVertex2f(-1, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
}

TEST_F(sdl_window_test, a_compatibility_context_draws_and_screenshots_read_the_frame_upright)
{
    write_file(home + "/screenshot004.png", "old");
    write_file(home + "/screenshot10.png", "old");
    write_file(home + "/screenshots.txt", "not a number");
    OPEN_OR_SKIP();

    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    int major = 0;
    sscanf(version, "%d", &major);
    EXPECT_GE(major, 2) << version;
    if (major >= 3) {
        GLint mask = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
        EXPECT_FALSE(mask & GL_CONTEXT_CORE_PROFILE_BIT) << version;
    }

    const frame_desc* f = frame_begin(w);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->x, 0);
    EXPECT_EQ(f->width, 320);
    EXPECT_EQ(f->height, 240);
    EXPECT_EQ(frame_begin(w), nullptr);   // one frame at a time
    draw_test_picture(f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));   // fixed function is there
    messages.clear();
    EXPECT_TRUE(screenshot_take(record_message));
    EXPECT_TRUE(frame_end(w));
    EXPECT_FALSE(frame_end(w));   // no frame begun

    // Screenshots 4 and 10 were there: the next one is 11.
    ASSERT_EQ(messages, std::vector<std::string>{"Saved \"screenshot011.png\""});
    image img{};
    ASSERT_TRUE(png_read((home + "/screenshot011.png").c_str(), &img));
    ASSERT_EQ(img.width, 320);
    ASSERT_EQ(img.height, 240);
    EXPECT_EQ(pixel(img, 5, 5), (std::vector<int>{255, 0, 0}));       // top: the red half
    EXPECT_EQ(pixel(img, 300, 100), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(pixel(img, 5, 235), (std::vector<int>{0, 0, 255}));     // bottom: cleared
    EXPECT_EQ(pixel(img, 300, 140), (std::vector<int>{0, 0, 255}));
    image_free(&img);

    // Between frames the request waits for the next frame to end.
    messages.clear();
    EXPECT_TRUE(screenshot_take(record_message));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(file_exists(home + "/screenshot012.png"));
    f = frame_begin(w);
    ASSERT_NE(f, nullptr);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(frame_end(w));
    ASSERT_EQ(messages, std::vector<std::string>{"Saved \"screenshot012.png\""});
    ASSERT_TRUE(png_read((home + "/screenshot012.png").c_str(), &img));
    EXPECT_EQ(pixel(img, 160, 120), (std::vector<int>{0, 255, 0}));
    image_free(&img);

    window_close(w);
    w = nullptr;
    EXPECT_FALSE(screenshot_take(nullptr));   // no window
    std::string text = log_text();
    for (const char* line : {"Options:\n", " threaded: [off]\n", "Creating window\n",
                             "Choosing pixel format\n", "Creating OpenGL context\n",
                             "Foregrounded and locked\n", "Deleting OpenGL context\n",
                             "Closing input devices\n", "Killing cursor\n", "Destroying window\n",
                             "Window shutdown complete\n"})
        EXPECT_TRUE(logged(text, line)) << line;
    EXPECT_LT(text.find("Deleting OpenGL context"), text.find("Closing input devices"));
    EXPECT_LT(text.find("Closing input devices"), text.find("Destroying window"));
}

TEST(screenshot_number_test, the_first_number_follows_the_highest_in_the_file_list)
{
    struct row {
        std::vector<const char*> names;
        int first;
    };
    const std::vector<row> rows = {
        {{}, 1},
        {{"screenshot004.png", "screenshot10.png"}, 11},
        {{"screenshot7", "screenshotX.png", "screenshots12.png", "a/screenshot50.png"}, 8},
        {{"screenshot999.png", "screenshot1000.jpg"}, 1001},
        {{"screenshot99999999999999.png", "screenshot2.png"}, 3},   // too large: ignored
    };
    for (const row& r : rows) {
        std::vector<const char*> names = r.names;
        names.push_back(nullptr);
        EXPECT_EQ(screenshot_first_number(names.data()), r.first);
    }
    EXPECT_EQ(screenshot_first_number(nullptr), 1);
}

TEST_F(sdl_window_test, a_mode_switch_happens_between_frames_and_the_size_follows)
{
    OPEN_OR_SKIP();
    const frame_desc* f = frame_begin(w);
    ASSERT_NE(f, nullptr);
    window_switch_mode(w, 400, 300, false);
    EXPECT_TRUE(frame_end(w));   // the switch waits for the frame to end

    int width = 0, height = 0;
    for (int tries = 0; tries < 50 && width != 400; tries++) {
        f = frame_begin(w);
        if (f) {
            width = f->width;
            height = f->height;
            frame_end(w);
        }
        SDL_Delay(10);
    }
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);

    const video_mode* modes = video_modes();
    ASSERT_NE(modes, nullptr);
    ASSERT_GT(modes[0].width, 0);   // the desktop's mode comes first
    const video_mode_choice* items = nullptr;
    int n = video_mode_choices(&items);
    ASSERT_GE(n, 3);
    char label[32];
    snprintf(label, sizeof label, "%dx%d", modes[0].width, modes[0].height);
    EXPECT_STREQ(items[2].label, label);
}

TEST_F(sdl_window_test, the_threaded_option_is_declined_and_frames_still_come)
{
    options("[threaded:yes]");
    OPEN_OR_SKIP();
    const frame_desc* f = frame_begin(w);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(frame_end(w));
    std::string text = log_text();
    EXPECT_TRUE(logged(text, " threaded: [on]\n"));
    EXPECT_TRUE(logged(text, "No message processing thread on this platform"));
}

TEST_F(sdl_window_test, the_error_box_never_waits_without_a_display)
{
    std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string wayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    set_env("DISPLAY", nullptr);
    set_env("WAYLAND_DISPLAY", nullptr);
    testing::internal::CaptureStderr();
    fatal_box("Error", "Out of virtual memory");   // returns: nobody could press OK
    std::string err = testing::internal::GetCapturedStderr();
    set_env("DISPLAY", display.empty() ? nullptr : display.c_str());
    set_env("WAYLAND_DISPLAY", wayland.empty() ? nullptr : wayland.c_str());
    EXPECT_EQ(err, "Error: Out of virtual memory\n");
    EXPECT_TRUE(logged(log_text(), "Error: Out of virtual memory\n"));
}
