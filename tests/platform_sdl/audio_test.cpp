// audio_test.cpp -- the wave output on SDL's dummy audio driver: the
// options and their log lines, the audio thread mixing a playing voice,
// one output at a time, and a clean close.
#include <string>
#include <vector>

#include "sdl_fixture.h"

using sdl_audio_test = sdl_test;

TEST_F(sdl_audio_test, the_audio_thread_mixes_a_playing_voice)
{
    options("[sound-rate:11025][sound-mixahead:0][sound-channels:4]");
    if (!audio_open_output(nullptr))
        GTEST_SKIP() << "no audio device here: " << log_text();
    EXPECT_STREQ(sound_current()->name, "waveout");
    EXPECT_FALSE(audio_open_output(nullptr));   // already open

    std::vector<uint8_t> square(1000);
    for (size_t i = 0; i < square.size(); i++)
        square[i] = i % 50 < 25 ? 200 : 56;
    sound_voice* v = sound_create(1000, square.data(), 11025);
    ASSERT_NE(v, nullptr);
    sound_set_loop(v, true);
    sound_set_volume(v, 20000);
    sound_set_pan(v, -1000);
    sound_play(v);
    // The thread keeps one fragment (172 samples) queued; the voice moves on.
    std::vector<int> positions;
    for (int i = 0; i < 20; i++) {
        positions.push_back(sound_position(v));
        SDL_Delay(20);
    }
    int moves = 0;
    for (size_t i = 1; i < positions.size(); i++)
        moves += positions[i] != positions[i - 1];
    EXPECT_GE(moves, 5);
    sound_stop(v);
    SDL_Delay(100);
    EXPECT_EQ(sound_position(v), 0);   // stopped after the next fragment

    audio_close();
    EXPECT_STREQ(sound_current()->name, "silent");
    std::string text = log_text();
    for (const char* line : {"Opening waveOut audio...\n", "Found a ", "Waveout rate: 11025\n",
                             "Waveout channels: 4\n", "Waveout mixahead: 15\n", "Audio opened!\n",
                             "Audio thread begin\n", "Audio already open\n", "Closing audio\n",
                             "Audio thread end\n"})
        EXPECT_TRUE(logged(text, line)) << line;
    EXPECT_LT(text.find("Closing audio"), text.find("Audio thread end"));
}

TEST_F(sdl_audio_test, mixahead_is_kept_between_one_and_32_fragments)
{
    struct row {
        const char* options;
        const char* line;
    };
    const row rows[] = {
        {"[sound-mixahead:1000]", "Waveout mixahead: 500\n"},
        {"[sound-mixahead:125]", "Waveout mixahead: 125\n"},
        {"[sound-mixahead:-40][sound-rate:0]", "Waveout mixahead: 15\n"},
    };
    for (const row& r : rows) {
        options(r.options);
        if (!audio_open_output(nullptr))
            GTEST_SKIP() << "no audio device here";
        audio_close();
        std::string text = log_text();
        EXPECT_TRUE(logged(text, r.line)) << r.options;
        EXPECT_TRUE(logged(text, "Audio thread end\n")) << r.options;
    }
    EXPECT_TRUE(logged(read_file(log_path), "sound-rate 0 is out of range; using 22050\n"));
}

TEST_F(sdl_audio_test, switched_off_wave_output_leaves_the_game_silent)
{
    options("[waveout:off][dsnd:off]");
    EXPECT_FALSE(audio_open_output(nullptr));
    EXPECT_EQ(sound_create(10, reinterpret_cast<const uint8_t*>("0123456789"), 0), nullptr);
    std::string text = log_text();
    EXPECT_FALSE(logged(text, "Hardware sound buffers"));
    EXPECT_TRUE(logged(text, "Wave output is switched off (waveout)\n"));
    EXPECT_FALSE(logged(text, "Opening waveOut audio"));
}
