// sound.h -- the sound interface: back ends, voices and the choice between
// them.
//
// The game drives sound through one table of operations, sound_ops, filled
// by the back end that opened; the free functions below dispatch through
// it.  Until one opens (or after it closes, or when every back end failed)
// a silent table serves: voices are never created and every operation
// accepts a null voice, so a game without sound runs unchanged.
//
// Back ends: the wave output (the software mixer feeding the platform's
// audio device from an audio thread), installed by the program with
// sound_install_output because it lives in a platform library; the
// readback back end, which mixes 16-bit mono blocks on demand for
// "--record-audio"; the hardware-buffer back end ("dsnd") does not exist
// on this platform, so the mixer serves in its place.
#pragma once

#include <cstdint>

struct kobu_window;
struct sound_voice;   // a voice of the software mixer (mixer.h)

struct sound_ops {
    const char* name;   // "waveout", "readback", "silent"
    // Opens the back end: the window (wave output), or rate and samples per
    // block (readback).  False when it could not open.
    bool (*audio_open)(kobu_window* w, int rate, int block);
    int (*reserved)();                       // 0 in every back end
    void (*audio_close)();
    int (*audio_update)();                   // once per frame; 1
    const int16_t* (*audio_mix_block)();     // readback: one block mixed; null elsewhere
    sound_voice* (*sound_create)(int length, const uint8_t* samples, int rate);
    sound_voice* (*sound_clone)(sound_voice* v);
    void (*sound_free)(sound_voice* v);
    void (*sound_play)(sound_voice* v);
    void (*sound_stop)(sound_voice* v);
    void (*sound_set_rate)(sound_voice* v, int rate);
    void (*sound_set_volume)(sound_voice* v, int volume);
    void (*sound_set_pan)(sound_voice* v, int pan);
    void (*sound_set_loop)(sound_voice* v, bool loop);
    int (*sound_position)(sound_voice* v);
    void (*sound_write)(sound_voice* v, int n, const uint8_t* bytes, int offset);
};

extern const sound_ops readback_sound_ops;
extern const sound_ops silent_sound_ops;

// The wave-output back end the program carries (null: none).
void sound_install_output(const sound_ops* waveout);

// Opens the normal output: "dsnd" (default on) is logged as unavailable,
// then "waveout" (default on) allows the installed wave output.  False
// leaves the silent table in place; the game goes on without sound.
bool audio_open_output(kobu_window* w);
// Opens the readback back end ("--record-audio"): mono 16-bit blocks of
// block samples at rate Hz.
bool audio_open_readback(int rate, int block);

const sound_ops* sound_current();   // the open back end, or the silent one

// Through the open back end.
void           audio_close();       // back to silent; voices are dead afterwards
int            audio_update();
const int16_t* audio_mix_block();   // null unless readback is open
sound_voice*   sound_create(int length, const uint8_t* samples, int rate);   // rate 0 = 22050
sound_voice*   sound_clone(sound_voice* v);
void           sound_free(sound_voice* v);
void           sound_play(sound_voice* v);
void           sound_stop(sound_voice* v);
void           sound_set_rate(sound_voice* v, int rate);
void           sound_set_volume(sound_voice* v, int volume);   // 0..32767
void           sound_set_pan(sound_voice* v, int pan);         // -32768..32767
void           sound_set_loop(sound_voice* v, bool loop);
int            sound_position(sound_voice* v);
void           sound_write(sound_voice* v, int n, const uint8_t* bytes, int offset);
