// mixer.h -- the software mixer behind the wave-output and readback back
// ends.
//
// Voices hold 8-bit unsigned mono samples (128 = silence), converted once
// to the output rate when created and shared, reference counted, by their
// clones.  Each voice has a left and (on stereo output) a right entry; a
// playing entry sits in one of 32 lists per channel by its quantised level
// (0..31), and a block is mixed from level 31 down so that only the
// loudest "sound-channels" entries are heard while the rest keep time.
// Sample values come from per-level lookup tables, never multiplications.
// Every operation takes the mixer's lock, so the audio thread never mixes
// a half-updated voice.  The voice operations have the signatures of the
// sound_ops slots (sound.h), so the software back ends put them straight
// into their tables.  No platform calls: headless-safe.
#pragma once

#include <cstdint>
#include <mutex>

constexpr int mixer_level_count = 32;          // quantised levels 0..31
constexpr int32_t mixer_max_samples = 1 << 26; // stored samples of one voice, at most
constexpr int mixer_default_rate = 22050;      // a voice created at rate 0 has this rate

// Voice flags.
constexpr unsigned voice_looping = 1;
constexpr unsigned voice_playing = 2;
constexpr unsigned voice_stereo = 4;    // the mixer's output is stereo
constexpr unsigned voice_restart = 8;   // go back to the first sample in the next block
constexpr unsigned voice_finished = 16; // leave the lists after this block

struct mixer;
struct sound_voice;   // the voice of sound.h

// One channel's view of a voice.
struct mixer_entry {
    sound_voice* owner;      // the voice
    mixer_entry* next;       // level list
    mixer_entry* prev;
    int32_t position;        // index of the next stored sample
    uint32_t fraction;       // 31-bit fraction of a sample carried between samples
    int level;               // 0..31: the list it sits in
    int previous_level;      // level of the previous block (declicking)
    bool linked;             // sits in a level list
};

// Samples shared by a voice and its clones.
struct mixer_samples {
    int refs;                // voices using them
    int32_t length;          // stored samples, 1..mixer_max_samples
    uint8_t* bytes;          // length bytes at the output rate
};

struct sound_voice {
    mixer_entry left, right;         // right is used on stereo output only
    mixer* owner;                    // the mixer it plays on
    int output_rate;                 // Hz
    int rate;                        // playback rate, Hz (>= 0)
    int volume;                      // 0..32767
    int pan;                         // -32768 (left) .. 32767 (right)
    unsigned flags;                  // voice_*
    mixer_samples* samples;
    sound_voice* all_next;           // every voice of the mixer
    sound_voice* all_prev;
};

struct mixer {
    std::mutex lock;                                 // around every operation and block
    int output_rate;                                 // Hz
    bool stereo;                                     // two channels, else one
    int channels;                                    // entries mixed audibly per block
    int max_block;                                   // samples per channel of one block, at most
    mixer_entry* lists[2][mixer_level_count];        // heads of the level lists per channel
    int32_t* accumulators[2];                        // max_block sums per channel
    sound_voice* voices;                             // every voice, newest first
    bool ready;                                      // between mixer_init and mixer_shutdown
};

// False when the accumulators cannot be had (the caller logs it).
bool mixer_init(mixer* m, int output_rate, bool stereo, int channels, int max_block);
// Frees every voice still alive; handles to them are dead afterwards.
void mixer_shutdown(mixer* m);

// A stopped voice at full volume, centred, not looping, playing at the
// output rate; null when the samples are missing or the sizes are absurd.
// The caller's samples are copied.
sound_voice* mixer_voice_create(mixer* m, int length, const uint8_t* samples, int rate);
sound_voice* mixer_voice_clone(sound_voice* v);   // shares the samples, stopped
void mixer_voice_free(sound_voice* v);
void mixer_voice_play(sound_voice* v);    // from the first sample, also when playing
void mixer_voice_stop(sound_voice* v);    // at the end of the next block
void mixer_voice_set_rate(sound_voice* v, int rate);
void mixer_voice_set_volume(sound_voice* v, int volume);   // clamped to 0..32767
void mixer_voice_set_pan(sound_voice* v, int pan);         // clamped; ignored on mono
void mixer_voice_set_loop(sound_voice* v, bool loop);
int  mixer_voice_position(sound_voice* v);                 // next sample while playing, else 0
// n bytes at offset p modulo the length, wrapping; only the last length
// bytes when n is longer.
void mixer_voice_write(sound_voice* v, int n, const uint8_t* bytes, int p);

// Mixes n samples per channel (clamped to max_block) and converts them:
// unsigned 8-bit, interleaved left, right on stereo; or signed 16-bit
// (clamped to -127..126, times 256), first channel only.
void mixer_mix_u8(mixer* m, int n, uint8_t* out);
void mixer_mix_s16(mixer* m, int n, int16_t* out);

// The level tables and levels, for tests.
int mixer_level_value(int level, uint8_t sample);
int mixer_voice_level(sound_voice* v, int channel);   // 0 left, 1 right
