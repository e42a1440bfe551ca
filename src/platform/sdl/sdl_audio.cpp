// sdl_audio.cpp -- the wave-output back end on SDL audio.
//
// The software mixer (mixer.h) feeds SDL's default output device from an
// audio thread of its own: fragments of rate / 64 samples, 8-bit unsigned,
// stereo unless the device is mono, handed to SDL's queue; the thread keeps
// "sound-mixahead" milliseconds queued (1 to 32 fragments) and sleeps 15 ms
// at a time while the queue is full.  A device that stops taking sound for
// about a second is cleared and the wait goes on.  Opening fails softly:
// every failure is logged, what was opened is closed, and the game stays
// silent.  Voices are the mixer's; its lock guards them against the thread.
#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/log.h"
#include "platform/mixer.h"

constexpr int default_sound_channels = 16;
constexpr int default_sound_rate = 22050;
constexpr int default_mixahead_ms = 125;
constexpr int min_sound_rate = 4000;      // below this "sound-rate" is refused
constexpr int max_sound_rate = 192000;
constexpr int fragments_per_second = 64;
constexpr int fragment_ring = 64;         // fragment buffers, handed out in turn
constexpr int max_fragments_ahead = 32;
constexpr int wait_step_ms = 15;
constexpr int wait_timeout_ms = 1000;

struct waveout_state {
    bool open;                      // between a successful open and close
    SDL_AudioDeviceID device;       // SDL's device
    mixer mix;                      // voices and block mixing
    uint8_t* ring;                  // fragment_ring fragments
    int fragment_samples;           // samples per channel of one fragment
    int fragment_bytes;             // bytes of one fragment
    int ahead;                      // fragments kept queued, 1..32
    std::thread thread;             // the audio thread
    std::atomic<bool> close_request;
};

static waveout_state wave;

// Fragments queued and not yet played.
static int fragments_queued()
{
    Uint32 bytes = SDL_GetQueuedAudioSize(wave.device);
    return static_cast<int>((bytes + static_cast<Uint32>(wave.fragment_bytes) - 1) /
                            static_cast<Uint32>(wave.fragment_bytes));
}

// Waits until fewer than `ahead` fragments are still to be played.
static void wait_for_room(long handed)
{
    int waited = 0;
    while (!wave.close_request.load() && fragments_queued() >= wave.ahead) {
        SDL_Delay(wait_step_ms);
        waited += wait_step_ms;
        if (waited >= wait_timeout_ms) {
            SDL_ClearQueuedAudio(wave.device);
            log_printf("Audio thread: Timeout on fragment %ld\n", handed);
            waited = 0;
        }
    }
}

static void audio_thread()
{
    log_printf("Audio thread begin\n");
    long handed = 0;
    while (!wave.close_request.load()) {
        if (handed >= wave.ahead)
            wait_for_room(handed);
        if (wave.close_request.load())
            break;
        uint8_t* fragment = wave.ring + (handed % fragment_ring) * wave.fragment_bytes;
        mixer_mix_u8(&wave.mix, wave.fragment_samples, fragment);
        if (SDL_QueueAudio(wave.device, fragment, static_cast<Uint32>(wave.fragment_bytes)) != 0)
            log_printf("Audio thread: Write error\n");
        handed++;
    }
    log_printf("Audio thread end\n");
}

// Whether the default device is mono (SDL can say so only on some systems).
static bool device_is_mono()
{
#if SDL_VERSION_ATLEAST(2, 24, 0)
    char* name = nullptr;
    SDL_AudioSpec format;
    if (SDL_GetDefaultAudioInfo(&name, &format, 0) == 0) {
        SDL_free(name);
        return format.channels == 1;
    }
#endif
    return false;
}

static void release_output()
{
    if (wave.device)
        SDL_CloseAudioDevice(wave.device);
    wave.device = 0;
    mixer_shutdown(&wave.mix);
    free(wave.ring);
    wave.ring = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

static bool waveout_open(kobu_window*, int, int)
{
    log_printf("Opening waveOut audio...\n");
    if (wave.open) {
        log_printf("Audio already open\n");
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log_printf("No audio device\n");
        log_printf("SDL: %s\n", SDL_GetError());
        return false;
    }
    int devices = SDL_GetNumAudioDevices(0);   // -1: the system cannot tell
    if (devices == 0) {
        log_printf("No audio device\n");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const char* name = devices > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    log_printf("Found a %s\n", name ? name : "default audio device");

    int channels = option_int("sound-channels", default_sound_channels);
    int rate = option_int("sound-rate", default_sound_rate);
    int mixahead = option_int("sound-mixahead", default_mixahead_ms);
    if (rate < min_sound_rate || rate > max_sound_rate) {
        log_printf("sound-rate %d is out of range; using %d\n", rate, default_sound_rate);
        rate = default_sound_rate;
    }
    long ahead = static_cast<long>(mixahead) * fragments_per_second / 1000;
    wave.ahead = static_cast<int>(ahead < 1 ? 1 : (ahead > max_fragments_ahead ? max_fragments_ahead : ahead));
    wave.fragment_samples = rate / fragments_per_second;
    log_printf("Waveout rate: %d\n", rate);
    log_printf("Waveout channels: %d\n", channels);
    log_printf("Waveout mixahead: %d\n", wave.ahead * 1000 / fragments_per_second);

    bool stereo = !device_is_mono();
    SDL_AudioSpec want{}, got{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = static_cast<Uint8>(stereo ? 2 : 1);
    want.samples = 512;
    while (want.samples < wave.fragment_samples && want.samples < 8192)
        want.samples = static_cast<Uint16>(want.samples * 2);
    wave.device = SDL_OpenAudioDevice(nullptr, 0, &want, &got, 0);   // SDL converts for us
    if (!wave.device) {
        log_printf("Can't open waveOut\n");
        log_printf("SDL: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    wave.fragment_bytes = wave.fragment_samples * (stereo ? 2 : 1);
    // Failure leaves the game silent, so no xmalloc here.
    wave.ring = static_cast<uint8_t*>(malloc(static_cast<size_t>(wave.fragment_bytes) * fragment_ring));
    if (!wave.ring || !mixer_init(&wave.mix, rate, stereo, channels, wave.fragment_samples)) {
        log_printf("malloc() failed\n");
        release_output();
        return false;
    }
    wave.close_request = false;
    try {
        wave.thread = std::thread(audio_thread);
    } catch (...) {   // std::system_error: kept inside this file
        log_printf("Can't create thread\n");
        release_output();
        return false;
    }
    SDL_PauseAudioDevice(wave.device, 0);
    wave.open = true;
    log_printf("Audio opened!\n");
    return true;
}

static void waveout_close()
{
    if (!wave.open) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    log_printf("Closing audio\n");
    wave.close_request = true;
    if (wave.thread.joinable())
        wave.thread.join();
    SDL_ClearQueuedAudio(wave.device);
    SDL_PauseAudioDevice(wave.device, 1);
    release_output();
    wave.open = false;
}

static int waveout_reserved() { return 0; }
static int waveout_update() { return 1; }
static const int16_t* waveout_mix_block() { return nullptr; }

static sound_voice* waveout_create(int length, const uint8_t* samples, int rate)
{
    return mixer_voice_create(&wave.mix, length, samples, rate);
}

const sound_ops sdl_waveout_ops = {
    "waveout",
    waveout_open,
    waveout_reserved,
    waveout_close,
    waveout_update,
    waveout_mix_block,
    waveout_create,
    mixer_voice_clone,
    mixer_voice_free,
    mixer_voice_play,
    mixer_voice_stop,
    mixer_voice_set_rate,
    mixer_voice_set_volume,
    mixer_voice_set_pan,
    mixer_voice_set_loop,
    mixer_voice_position,
    mixer_voice_write,
};
