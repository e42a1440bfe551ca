// sound.cpp -- the silent and readback back ends, the choice of back end
// and the dispatching free functions.
//
// The open back end's table is held in one atomic pointer; the game thread
// opens and closes back ends, and voice calls are made on the game thread,
// so no lock is needed here (the mixer locks itself).  The readback back
// end mixes on the game thread, one block per call of audio_mix_block.
#include "platform/sound.h"

#include <atomic>
#include <cstdlib>

#include "platform/log.h"
#include "platform/mixer.h"

constexpr int readback_max_block = 1 << 20;   // samples of one block, at most
constexpr int default_sound_channels = 16;    // voices mixed audibly

// ---------------------------------------------------------------------------
// Silent back end

static bool silent_open(kobu_window*, int, int) { return true; }
static int silent_zero() { return 0; }
static void silent_close() {}
static int silent_update() { return 1; }
static const int16_t* silent_mix_block() { return nullptr; }
static sound_voice* silent_create(int, const uint8_t*, int) { return nullptr; }
static sound_voice* silent_clone(sound_voice*) { return nullptr; }
static void silent_voice(sound_voice*) {}
static void silent_voice_int(sound_voice*, int) {}
static void silent_loop(sound_voice*, bool) {}
static int silent_position(sound_voice*) { return 0; }
static void silent_write(sound_voice*, int, const uint8_t*, int) {}

const sound_ops silent_sound_ops = {
    "silent",       silent_open,      silent_zero,      silent_close,     silent_update,
    silent_mix_block, silent_create,  silent_clone,     silent_voice,     silent_voice,
    silent_voice,   silent_voice_int, silent_voice_int, silent_voice_int, silent_loop,
    silent_position, silent_write,
};

// ---------------------------------------------------------------------------
// Readback back end

static mixer readback_mixer;
static int16_t* readback_samples = nullptr;   // one block
static int readback_block = 0;                // samples per block; 0 = closed

static bool readback_open(kobu_window*, int rate, int block)
{
    log_printf("Opening readback audio...\n");
    if (readback_block > 0) {
        log_printf("Audio already open\n");
        return false;
    }
    if (rate <= 0 || block <= 0 || block > readback_max_block) {
        log_printf("Bad readback rate %d or block length %d\n", rate, block);
        return false;
    }
    int channels = option_int("sound-channels", default_sound_channels);
    readback_samples = static_cast<int16_t*>(calloc(static_cast<size_t>(block), sizeof(int16_t)));
    if (!readback_samples || !mixer_init(&readback_mixer, rate, false, channels, block)) {
        free(readback_samples);
        readback_samples = nullptr;
        log_printf("Malloc failed\n");
        return false;
    }
    readback_block = block;
    log_printf("Audio opened!\n");
    return true;
}

static void readback_close()
{
    if (readback_block <= 0) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    log_printf("Closing audio\n");
    mixer_shutdown(&readback_mixer);
    free(readback_samples);
    readback_samples = nullptr;
    readback_block = 0;
}

static const int16_t* readback_mix_block()
{
    if (readback_block <= 0)
        return nullptr;
    mixer_mix_s16(&readback_mixer, readback_block, readback_samples);
    return readback_samples;
}

static sound_voice* readback_create(int length, const uint8_t* samples, int rate)
{
    return mixer_voice_create(&readback_mixer, length, samples, rate);
}

const sound_ops readback_sound_ops = {
    "readback",
    readback_open,
    silent_zero,
    readback_close,
    silent_update,
    readback_mix_block,
    readback_create,
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

// ---------------------------------------------------------------------------
// Choice and dispatch

static std::atomic<const sound_ops*> current{&silent_sound_ops};
static std::atomic<const sound_ops*> installed_output{nullptr};

void sound_install_output(const sound_ops* waveout) { installed_output.store(waveout); }

const sound_ops* sound_current() { return current.load(); }

static bool open_with(const sound_ops* ops, kobu_window* w, int rate, int block)
{
    if (current.load() != &silent_sound_ops) {
        log_printf("Audio already open\n");
        return false;
    }
    if (!ops->audio_open(w, rate, block))
        return false;
    current.store(ops);
    return true;
}

bool audio_open_output(kobu_window* w)
{
    if (option_flag("dsnd", true))
        log_printf("Hardware sound buffers (dsnd) are not available here; the software mixer serves\n");
    const sound_ops* waveout = installed_output.load();
    bool opened = false;
    if (!option_flag("waveout", true))
        log_printf("Wave output is switched off (waveout)\n");
    else if (!waveout)
        log_printf("No wave output is built into this program\n");
    else
        opened = open_with(waveout, w, 0, 0);
    if (!opened)
        log_printf("No sound: the game goes on without it\n");
    return opened;
}

bool audio_open_readback(int rate, int block)
{
    return open_with(&readback_sound_ops, nullptr, rate, block);
}

void audio_close()
{
    const sound_ops* ops = current.exchange(&silent_sound_ops);
    if (ops != &silent_sound_ops)
        ops->audio_close();
}

int audio_update() { return sound_current()->audio_update(); }
const int16_t* audio_mix_block() { return sound_current()->audio_mix_block(); }

sound_voice* sound_create(int length, const uint8_t* samples, int rate)
{
    return sound_current()->sound_create(length, samples, rate);
}

// Voice operations on a null voice do nothing, whatever the back end.
sound_voice* sound_clone(sound_voice* v) { return v ? sound_current()->sound_clone(v) : nullptr; }
void sound_free(sound_voice* v) { if (v) sound_current()->sound_free(v); }
void sound_play(sound_voice* v) { if (v) sound_current()->sound_play(v); }
void sound_stop(sound_voice* v) { if (v) sound_current()->sound_stop(v); }
void sound_set_rate(sound_voice* v, int rate) { if (v) sound_current()->sound_set_rate(v, rate); }
void sound_set_volume(sound_voice* v, int volume) { if (v) sound_current()->sound_set_volume(v, volume); }
void sound_set_pan(sound_voice* v, int pan) { if (v) sound_current()->sound_set_pan(v, pan); }
void sound_set_loop(sound_voice* v, bool loop) { if (v) sound_current()->sound_set_loop(v, loop); }
int sound_position(sound_voice* v) { return v ? sound_current()->sound_position(v) : 0; }

void sound_write(sound_voice* v, int n, const uint8_t* bytes, int offset)
{
    if (v)
        sound_current()->sound_write(v, n, bytes, offset);
}
