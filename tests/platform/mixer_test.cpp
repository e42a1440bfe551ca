// mixer_test.cpp -- the software mixer's arithmetic (level tables, levels
// from volume and pan, resampling at creation, stepping, looping, voice
// selection by loudness, the zero-crossing level change) and the sound
// back-end choice with the readback back end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"
#include "platform/mixer.h"
#include "platform/sound.h"

// A mixer that lives for one test.
struct test_mixer {
    mixer m;
    test_mixer(int rate, bool stereo, int channels, int block = 256)
    {
        EXPECT_TRUE(mixer_init(&m, rate, stereo, channels, block));
    }
    ~test_mixer() { mixer_shutdown(&m); }
    sound_voice* voice(const std::vector<uint8_t>& samples, int rate = 0)
    {
        return mixer_voice_create(&m, static_cast<int>(samples.size()), samples.data(),
                                  rate ? rate : m.output_rate);
    }
    std::vector<int> mono_block(int n)   // 16-bit output divided back by 256
    {
        std::vector<int16_t> out(static_cast<size_t>(n));
        mixer_mix_s16(&m, n, out.data());
        return std::vector<int>(out.begin(), out.end());
    }
};

static std::vector<int> scaled(std::vector<int> v, int by)
{
    for (int& x : v)
        x *= by;
    return v;
}

TEST(mixer_test, level_tables_drop_one_step_and_scale_by_level)
{
    struct row {
        int level;
        int sample;
        int value;
    };
    const row rows[] = {
        {31, 128, 0},   {31, 129, 0},    {31, 130, 0},  {31, 131, 1},   {31, 255, 122},
        {31, 1, -122},  {31, 0, -123},   {31, 127, 0},  {31, 126, 0},   {31, 125, -1},
        {16, 255, 63},  {16, 0, -63},    {1, 255, 3},   {1, 0, -3},     {1, 160, 0},
        {15, 200, 33},  {0, 255, 0},     {0, 0, 0},
    };
    for (const row& r : rows)
        EXPECT_EQ(mixer_level_value(r.level, static_cast<uint8_t>(r.sample)), r.value)
            << "level " << r.level << " sample " << r.sample;
}

TEST(mixer_test, levels_follow_volume_and_pan_and_clamp)
{
    test_mixer stereo(22050, true, 16);
    sound_voice* v = stereo.voice({128, 128});
    struct row {
        int volume, pan;
        int left, right;
    };
    const row rows[] = {
        {32767, 0, 15, 15},        {32767, -32768, 31, 0},   {32767, 32767, 0, 31},
        {16384, 0, 7, 8},          {0, 0, 0, 0},             {40000, 0, 15, 15},
        {-5, 0, 0, 0},             {32767, -99999, 31, 0},   {32767, 99999, 0, 31},
    };
    for (const row& r : rows) {
        mixer_voice_set_volume(v, r.volume);
        mixer_voice_set_pan(v, r.pan);
        EXPECT_EQ(mixer_voice_level(v, 0), r.left) << r.volume << " " << r.pan;
        EXPECT_EQ(mixer_voice_level(v, 1), r.right) << r.volume << " " << r.pan;
    }

    test_mixer mono(22050, false, 16);
    sound_voice* m = mono.voice({128, 128});
    EXPECT_EQ(mixer_voice_level(m, 0), 31);   // hard left: the one channel at full
    mixer_voice_set_pan(m, 32767);            // ignored on mono output
    EXPECT_EQ(mixer_voice_level(m, 0), 31);
    mixer_voice_set_volume(m, 16384);
    EXPECT_EQ(mixer_voice_level(m, 0), 15);
}

TEST(mixer_test, voices_are_resampled_to_the_output_rate_once)
{
    test_mixer mix(22050, false, 16);
    std::vector<uint8_t> given(22050);
    for (size_t i = 0; i < given.size(); i++)
        given[i] = static_cast<uint8_t>(i * 7);
    sound_voice* up = mix.voice(given, 11025);
    ASSERT_NE(up, nullptr);
    ASSERT_EQ(up->samples->length, 44100);
    for (int k = 0; k < 44100; k++)
        ASSERT_EQ(up->samples->bytes[k], given[static_cast<size_t>(k / 2)]) << k;
    EXPECT_EQ(up->rate, 22050);   // plays at its recorded pitch

    sound_voice* down = mix.voice({10, 20, 30, 40, 50, 60, 70}, 44100);   // 7 x 1/2 = 3
    ASSERT_NE(down, nullptr);
    ASSERT_EQ(down->samples->length, 3);
    EXPECT_EQ(std::vector<uint8_t>(down->samples->bytes, down->samples->bytes + 3),
              (std::vector<uint8_t>{10, 30, 50}));   // floor(k x 7 / 3) = 0, 2, 4

    uint8_t bytes[4] = {1, 2, 3, 4};
    sound_voice* deflt = mixer_voice_create(&mix.m, 4, bytes, 0);
    ASSERT_NE(deflt, nullptr);
    EXPECT_EQ(deflt->samples->length, 4);
    bytes[0] = 99;   // the voice has its own copy
    EXPECT_EQ(deflt->samples->bytes[0], 1);

    EXPECT_EQ(mixer_voice_create(&mix.m, 0, bytes, 22050), nullptr);
    EXPECT_EQ(mixer_voice_create(&mix.m, 4, nullptr, 22050), nullptr);
    EXPECT_EQ(mixer_voice_create(&mix.m, 4, bytes, -1), nullptr);
    EXPECT_EQ(mixer_voice_create(&mix.m, 0x7fffffff, bytes, 1), nullptr);   // absurdly long
}

TEST(mixer_test, write_wraps_round_the_end_and_keeps_the_last_bytes)
{
    test_mixer mix(22050, false, 16);
    sound_voice* v = mix.voice(std::vector<uint8_t>(100, 0));
    std::vector<uint8_t> ten;
    for (int i = 1; i <= 10; i++)
        ten.push_back(static_cast<uint8_t>(i));
    mixer_voice_write(v, 10, ten.data(), 95);
    const uint8_t* b = v->samples->bytes;
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(b[95 + i], i + 1);
        EXPECT_EQ(b[i], i + 6);
    }
    EXPECT_EQ(b[5], 0);
    EXPECT_EQ(b[94], 0);

    mixer_voice_write(v, 3, ten.data(), -2);   // -2 is offset 98
    EXPECT_EQ(b[98], 1);
    EXPECT_EQ(b[99], 2);
    EXPECT_EQ(b[0], 3);

    std::vector<uint8_t> long_run(250);
    for (size_t i = 0; i < long_run.size(); i++)
        long_run[i] = static_cast<uint8_t>(i);
    mixer_voice_write(v, 250, long_run.data(), 10);   // bytes 150..249 land at 60.., 0..
    for (int i = 150; i < 250; i++)
        ASSERT_EQ(b[(10 + i) % 100], i) << i;
}

TEST(mixer_test, a_voice_mixes_through_the_tables_and_ends_or_loops)
{
    test_mixer mix(1000, false, 16);
    std::vector<uint8_t> ramp;
    for (int k = 0; k < 10; k++)
        ramp.push_back(static_cast<uint8_t>(132 + 4 * k));
    sound_voice* v = mix.voice(ramp);
    std::vector<int> expected;
    for (uint8_t b : ramp)
        expected.push_back(mixer_level_value(31, b));

    EXPECT_EQ(mix.mono_block(4), std::vector<int>(4, 0));   // not playing yet
    mixer_voice_play(v);
    std::vector<int> once = expected;
    once.resize(16, 0);
    EXPECT_EQ(mix.mono_block(16), scaled(once, 256));
    EXPECT_FALSE(v->flags & voice_playing);   // finished: out of the lists
    EXPECT_EQ(mixer_voice_position(v), 0);

    mixer_voice_set_loop(v, true);
    mixer_voice_play(v);
    std::vector<int> looped = expected;
    looped.insert(looped.end(), expected.begin(), expected.begin() + 6);
    EXPECT_EQ(mix.mono_block(16), scaled(looped, 256));
    EXPECT_EQ(mixer_voice_position(v), 6);

    // Playing a playing voice starts it again from the first sample.
    mixer_voice_play(v);
    EXPECT_EQ(mix.mono_block(3), scaled({expected[0], expected[1], expected[2]}, 256));

    // A stop is heard through the next block, then the voice is out.
    mixer_voice_stop(v);
    EXPECT_EQ(mix.mono_block(2), scaled({expected[3], expected[4]}, 256));
    EXPECT_EQ(mix.mono_block(2), std::vector<int>(2, 0));
}

TEST(mixer_test, the_playback_rate_steps_whole_samples_and_a_fraction)
{
    test_mixer mix(1000, false, 16);
    std::vector<uint8_t> ramp;
    for (int k = 0; k < 32; k++)
        ramp.push_back(static_cast<uint8_t>(132 + 3 * k));
    auto value = [&](int k) { return mixer_level_value(31, ramp[static_cast<size_t>(k)]) * 256; };
    sound_voice* v = mix.voice(ramp);
    mixer_voice_set_loop(v, true);

    struct row {
        int rate;
        std::vector<int> positions;
    };
    const row rows[] = {
        {2000, {0, 2, 4, 6, 8}},
        {1500, {0, 1, 3, 4, 6, 7}},
        {500, {0, 0, 1, 1, 2}},
        {0, {0, 0, 0}},
        {11000, {0, 11, 22, 1, 12}},   // wraps modulo the length
    };
    for (const row& r : rows) {
        mixer_voice_set_rate(v, r.rate);
        mixer_voice_play(v);
        mix.mono_block(1);   // settles the restart; mixes position 0
        mixer_voice_play(v);
        std::vector<int> want;
        for (int p : r.positions)
            want.push_back(value(p));
        EXPECT_EQ(mix.mono_block(static_cast<int>(want.size())), want) << "rate " << r.rate;
    }
}

TEST(mixer_test, only_the_loudest_entries_are_heard_and_the_rest_keep_time)
{
    test_mixer mix(1000, false, 1);
    sound_voice* loud = mix.voice(std::vector<uint8_t>(100, 200));
    sound_voice* quiet = mix.voice(std::vector<uint8_t>(100, 60));
    mixer_voice_set_volume(quiet, 16384);   // level 15
    mixer_voice_play(quiet);
    mixer_voice_play(loud);
    int loud_value = mixer_level_value(31, 200) * 256;
    int quiet_value = mixer_level_value(15, 60) * 256;

    EXPECT_EQ(mix.mono_block(8), std::vector<int>(8, loud_value));
    EXPECT_EQ(mixer_voice_position(quiet), 8);   // unheard, still in time

    mixer_voice_set_volume(loud, 0);   // level 0 is never heard
    EXPECT_EQ(mix.mono_block(8), std::vector<int>(8, quiet_value));
    EXPECT_EQ(mixer_voice_position(loud), 16);

    // With room for both, both are heard.
    test_mixer wide(1000, false, 16);
    sound_voice* a = wide.voice(std::vector<uint8_t>(10, 200));
    sound_voice* b = wide.voice(std::vector<uint8_t>(10, 60));
    mixer_voice_play(a);
    mixer_voice_play(b);
    EXPECT_EQ(wide.mono_block(2), std::vector<int>(2, (mixer_level_value(31, 200) +
                                                       mixer_level_value(31, 60)) * 256));
}

TEST(mixer_test, stereo_entries_count_alone_and_pan_splits_the_channels)
{
    test_mixer mix(1000, true, 16);
    sound_voice* v = mix.voice(std::vector<uint8_t>(50, 200));
    mixer_voice_set_pan(v, -32768);   // left 31, right 0
    mixer_voice_play(v);
    std::vector<uint8_t> out(8);
    mixer_mix_u8(&mix.m, 4, out.data());
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(out[static_cast<size_t>(2 * i)], 128 + mixer_level_value(31, 200));
        EXPECT_EQ(out[static_cast<size_t>(2 * i + 1)], 128);
    }

    // Centred at full volume both sides sit at level 15.
    mixer_voice_set_pan(v, 0);
    mixer_mix_u8(&mix.m, 4, out.data());   // the left side fades at its first zero crossing
    mixer_mix_u8(&mix.m, 4, out.data());
    for (uint8_t b : out)
        EXPECT_EQ(b, 128 + mixer_level_value(15, 200));

    // One audible entry: the left side of the loudest voice.
    test_mixer narrow(1000, true, 1);
    sound_voice* w = narrow.voice(std::vector<uint8_t>(50, 200));
    mixer_voice_play(w);
    mixer_mix_u8(&narrow.m, 4, out.data());
    EXPECT_EQ(out[0], 128 + mixer_level_value(15, 200));
    EXPECT_EQ(out[1], 128);
}

TEST(mixer_test, a_level_change_waits_for_the_zero_crossing)
{
    test_mixer mix(1000, false, 16);
    std::vector<uint8_t> wave;
    for (int i = 0; i < 16; i++)
        wave.push_back(i % 8 < 4 ? 200 : 56);   // four above 128, four below
    sound_voice* v = mix.voice(wave);
    mixer_voice_set_loop(v, true);
    mixer_voice_play(v);
    int high31 = mixer_level_value(31, 200) * 256, low31 = mixer_level_value(31, 56) * 256;
    int high15 = mixer_level_value(15, 200) * 256, low15 = mixer_level_value(15, 56) * 256;
    EXPECT_EQ(mix.mono_block(8), (std::vector<int>{high31, high31, high31, high31, low31, low31,
                                                   low31, low31}));
    mixer_voice_set_volume(v, 16384);
    EXPECT_EQ(mix.mono_block(8), (std::vector<int>{high31, high31, high31, high31, low15, low15,
                                                   low15, low15}));
    EXPECT_EQ(mix.mono_block(4), std::vector<int>(4, high15));
}

TEST(mixer_test, clones_share_samples_and_sums_clamp)
{
    test_mixer mix(1000, false, 16);
    sound_voice* v = mix.voice(std::vector<uint8_t>(20, 255));
    sound_voice* c = mixer_voice_clone(v);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->samples, v->samples);
    EXPECT_FALSE(c->flags & voice_playing);
    uint8_t zero = 0;
    mixer_voice_write(c, 1, &zero, 0);
    EXPECT_EQ(v->samples->bytes[0], 0);
    mixer_voice_free(v);   // the clone keeps the samples alive
    EXPECT_EQ(c->samples->refs, 1);
    EXPECT_EQ(c->samples->bytes[1], 255);

    // Two full-scale voices add past the 16-bit clamp (126 x 256) and the
    // 8-bit one (127 + 128).
    sound_voice* d = mixer_voice_clone(c);
    mixer_voice_play(c);
    mixer_voice_play(d);
    std::vector<int> block = mix.mono_block(3);
    EXPECT_EQ(block[1], 126 * 256);
    EXPECT_EQ(block[0], -127 * 256);   // byte 0 twice: -246 clamps to -127

    test_mixer bytes(1000, false, 16);
    sound_voice* e = bytes.voice(std::vector<uint8_t>(4, 255));
    sound_voice* f = mixer_voice_clone(e);
    mixer_voice_play(e);
    mixer_voice_play(f);
    uint8_t out[4];
    mixer_mix_u8(&bytes.m, 4, out);
    EXPECT_EQ(out[0], 255);
}

// ---------------------------------------------------------------------------
// Back ends

using sound_backend_test = log_capture;

TEST_F(sound_backend_test, readback_mixes_blocks_on_demand_and_closes_to_silence)
{
    open();
    sound_install_output(nullptr);
    ASSERT_TRUE(audio_open_readback(88320, 690));
    EXPECT_STREQ(sound_current()->name, "readback");
    EXPECT_FALSE(audio_open_readback(88320, 690));   // one back end at a time
    EXPECT_EQ(sound_current()->reserved(), 0);
    EXPECT_EQ(audio_update(), 1);

    std::vector<uint8_t> samples(1000, 200);
    sound_voice* v = sound_create(1000, samples.data(), 44160);   // doubled at 88320
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->samples->length, 2000);
    sound_set_loop(v, true);
    sound_play(v);
    const int16_t* block = audio_mix_block();
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 690; i++)
        ASSERT_EQ(block[i], mixer_level_value(31, 200) * 256);
    EXPECT_EQ(sound_position(v), 690);

    audio_close();
    EXPECT_STREQ(sound_current()->name, "silent");
    EXPECT_EQ(sound_create(1000, samples.data(), 0), nullptr);
    EXPECT_EQ(audio_mix_block(), nullptr);
    sound_play(nullptr);
    sound_free(nullptr);
    EXPECT_EQ(sound_position(nullptr), 0);
    EXPECT_FALSE(audio_open_readback(88320, 0));

    std::string logged = text();
    EXPECT_NE(logged.find("] Opening readback audio...\n"), std::string::npos);
    EXPECT_NE(logged.find("] Audio opened!\n"), std::string::npos);
    EXPECT_NE(logged.find("] Audio already open\n"), std::string::npos);
    EXPECT_NE(logged.find("] Closing audio\n"), std::string::npos);
}

TEST_F(sound_backend_test, without_a_wave_output_the_game_stays_silent)
{
    set_env("KOBU_OPTIONS", "[dsnd:maybe]");
    log_reset_for_tests();
    open();
    sound_install_output(nullptr);
    EXPECT_FALSE(audio_open_output(nullptr));
    EXPECT_STREQ(sound_current()->name, "silent");
    audio_close();   // closing nothing is harmless

    std::string logged = text();
    EXPECT_NE(logged.find("] unrecognized setting for dsnd\n"), std::string::npos);
    EXPECT_NE(logged.find("(dsnd) are not available"), std::string::npos);   // default on
    EXPECT_NE(logged.find("] No sound: the game goes on without it\n"), std::string::npos);
}
