// mixer.cpp -- voices, level lists, level tables and block mixing.
//
// Levels: left = ((32767 - pan) x volume) >> 26, right = (volume x (pan +
// 32768)) >> 26, recomputed whenever volume or pan change; a playing entry
// moves to the list of its new level at once, while the level it was heard
// of the previous block is kept until the first zero crossing of the next
// block, so volume changes do not click.  Finished voices leave the
// lists after the block they finished in.  Samples step by rate / output
// rate as whole samples plus a 31-bit fraction (nearest sample).
#include "platform/mixer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"
#include "platform/log.h"

constexpr int max_volume = 32767;
constexpr int min_pan = -32768;
constexpr int max_pan = 32767;
constexpr int level_shift = 26;
constexpr int fraction_bits = 31;
constexpr uint32_t fraction_mask = (1u << fraction_bits) - 1;

// level_tables[i][k]: the value of sample byte k at level i (row 0 is silence).
static int8_t level_tables[mixer_level_count][256];
static std::once_flag tables_built;

// s = k - 128: 0 stays 0, |s| 1..127 gives sign(s) x floor((|s| - 1) x i / 32),
// -128 gives -floor(127 x i / 32).
static void build_level_tables()
{
    for (int i = 0; i < mixer_level_count; i++) {
        for (int k = 0; k < 256; k++) {
            int s = k - 128;
            int value = 0;
            if (i == 0 || s == 0)
                value = 0;
            else if (s == -128)
                value = -(127 * i / 32);
            else if (s > 0)
                value = (s - 1) * i / 32;
            else
                value = -((-s - 1) * i / 32);
            level_tables[i][k] = static_cast<int8_t>(value);
        }
    }
}

int mixer_level_value(int level, uint8_t sample)
{
    std::call_once(tables_built, build_level_tables);
    if (level < 0 || level >= mixer_level_count)
        return 0;
    return level_tables[level][sample];
}

static int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// ---------------------------------------------------------------------------
// Level lists (the caller holds the lock)

static void unlink_entry(mixer* m, int channel, mixer_entry* e)
{
    if (!e->linked)
        return;
    if (e->prev)
        e->prev->next = e->next;
    else
        m->lists[channel][e->level] = e->next;
    if (e->next)
        e->next->prev = e->prev;
    e->next = e->prev = nullptr;
    e->linked = false;
}

static void link_entry(mixer* m, int channel, mixer_entry* e)
{
    if (e->linked)
        return;
    e->prev = nullptr;
    e->next = m->lists[channel][e->level];
    if (e->next)
        e->next->prev = e;
    m->lists[channel][e->level] = e;
    e->linked = true;
}

static void unlink_voice(sound_voice* v)
{
    unlink_entry(v->owner, 0, &v->left);
    unlink_entry(v->owner, 1, &v->right);
}

static void link_voice(sound_voice* v)
{
    link_entry(v->owner, 0, &v->left);
    if (v->flags & voice_stereo)
        link_entry(v->owner, 1, &v->right);
}

// Recomputes both levels, moving playing entries to their new lists.
static void update_levels(sound_voice* v)
{
    int64_t volume = v->volume;
    int left = static_cast<int>(((max_pan - v->pan) * volume) >> level_shift);
    int right = static_cast<int>((volume * (v->pan + 32768)) >> level_shift);
    bool playing = v->flags & voice_playing;
    if (playing)
        unlink_voice(v);
    v->left.level = clamp_int(left, 0, mixer_level_count - 1);
    v->right.level = clamp_int(right, 0, mixer_level_count - 1);
    if (playing)
        link_voice(v);
}

static void reset_entry(mixer_entry* e)
{
    e->position = 0;
    e->fraction = 0;
    e->previous_level = e->level;   // a fresh start does not fade in
}

// ---------------------------------------------------------------------------
// Set-up

bool mixer_init(mixer* m, int output_rate, bool stereo, int channels, int max_block)
{
    std::call_once(tables_built, build_level_tables);
    std::lock_guard<std::mutex> hold(m->lock);
    memset(m->lists, 0, sizeof m->lists);
    m->voices = nullptr;
    m->output_rate = output_rate > 0 ? output_rate : mixer_default_rate;
    m->stereo = stereo;
    m->channels = channels > 0 ? channels : 0;
    m->max_block = max_block > 0 ? max_block : 1;
    // Failure leaves the game silent, so no xmalloc here.
    m->accumulators[0] = static_cast<int32_t*>(calloc(static_cast<size_t>(m->max_block), sizeof(int32_t)));
    m->accumulators[1] = static_cast<int32_t*>(calloc(static_cast<size_t>(m->max_block), sizeof(int32_t)));
    if (!m->accumulators[0] || !m->accumulators[1]) {
        free(m->accumulators[0]);
        free(m->accumulators[1]);
        m->accumulators[0] = m->accumulators[1] = nullptr;
        m->ready = false;
        return false;
    }
    m->ready = true;
    return true;
}

static void release_samples(mixer_samples* s)
{
    if (s && --s->refs == 0) {
        free(s->bytes);
        free(s);
    }
}

static void forget_voice(mixer* m, sound_voice* v)
{
    unlink_voice(v);
    if (v->all_prev)
        v->all_prev->all_next = v->all_next;
    else
        m->voices = v->all_next;
    if (v->all_next)
        v->all_next->all_prev = v->all_prev;
    release_samples(v->samples);
    free(v);
}

void mixer_shutdown(mixer* m)
{
    std::lock_guard<std::mutex> hold(m->lock);
    while (m->voices)
        forget_voice(m, m->voices);
    free(m->accumulators[0]);
    free(m->accumulators[1]);
    m->accumulators[0] = m->accumulators[1] = nullptr;
    memset(m->lists, 0, sizeof m->lists);
    m->ready = false;
}

// ---------------------------------------------------------------------------
// Voices

static sound_voice* new_voice(mixer* m, mixer_samples* samples)
{
    sound_voice* v = static_cast<sound_voice*>(xcalloc(1, sizeof *v));
    v->owner = m;
    v->left.owner = v->right.owner = v;
    v->output_rate = m->output_rate;
    v->rate = m->output_rate;
    v->volume = max_volume;
    v->pan = m->stereo ? 0 : min_pan;   // mono: hard left, both channels at full
    v->flags = m->stereo ? voice_stereo : 0;
    v->samples = samples;
    samples->refs++;
    update_levels(v);
    v->all_next = m->voices;
    if (m->voices)
        m->voices->all_prev = v;
    m->voices = v;
    return v;
}

sound_voice* mixer_voice_create(mixer* m, int length, const uint8_t* samples, int rate)
{
    if (!m || !samples || length <= 0 || rate < 0)
        return nullptr;
    if (rate == 0)
        rate = mixer_default_rate;
    std::lock_guard<std::mutex> hold(m->lock);
    if (!m->ready)
        return nullptr;
    int64_t stored = static_cast<int64_t>(length) * m->output_rate / rate;
    if (stored < 1)
        stored = 1;
    if (stored > mixer_max_samples) {
        log_printf("Sound of %d samples at %d Hz is too long to play\n", length, rate);
        return nullptr;
    }
    mixer_samples* s = static_cast<mixer_samples*>(xcalloc(1, sizeof *s));
    s->length = static_cast<int32_t>(stored);
    s->bytes = static_cast<uint8_t*>(xmalloc(static_cast<size_t>(stored)));
    // Picks samples: stored sample k is given sample floor(k x length / stored).
    int64_t whole = length / stored, remainder = length % stored, carry = 0, source = 0;
    for (int64_t k = 0; k < stored; k++) {
        s->bytes[k] = samples[source];
        source += whole;
        carry += remainder;
        if (carry >= stored) {
            carry -= stored;
            source++;
        }
    }
    return new_voice(m, s);
}

sound_voice* mixer_voice_clone(sound_voice* v)
{
    if (!v)
        return nullptr;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    return new_voice(v->owner, v->samples);
}

void mixer_voice_free(sound_voice* v)
{
    if (!v)
        return;
    mixer* m = v->owner;
    std::lock_guard<std::mutex> hold(m->lock);
    forget_voice(m, v);
}

void mixer_voice_play(sound_voice* v)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    if (v->flags & voice_playing) {
        v->flags |= voice_restart;
    } else {
        reset_entry(&v->left);
        reset_entry(&v->right);
        v->flags |= voice_playing;
        link_voice(v);
    }
    v->flags &= ~voice_finished;
}

void mixer_voice_stop(sound_voice* v)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    if (v->flags & voice_playing)
        v->flags |= voice_finished;
}

void mixer_voice_set_rate(sound_voice* v, int rate)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    v->rate = rate > 0 ? rate : 0;
}

void mixer_voice_set_volume(sound_voice* v, int volume)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    v->volume = clamp_int(volume, 0, max_volume);
    update_levels(v);
}

void mixer_voice_set_pan(sound_voice* v, int pan)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    if (!(v->flags & voice_stereo))
        return;
    v->pan = clamp_int(pan, min_pan, max_pan);
    update_levels(v);
}

void mixer_voice_set_loop(sound_voice* v, bool loop)
{
    if (!v)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    if (loop)
        v->flags |= voice_looping;
    else
        v->flags &= ~voice_looping;
}

int mixer_voice_position(sound_voice* v)
{
    if (!v)
        return 0;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    return (v->flags & voice_playing) ? v->left.position : 0;
}

void mixer_voice_write(sound_voice* v, int n, const uint8_t* bytes, int p)
{
    if (!v || !bytes || n <= 0)
        return;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    int64_t length = v->samples->length;
    int64_t offset = p;
    if (n > length) {   // the earlier bytes would be overwritten anyway
        bytes += n - length;
        offset += n - length;
        n = static_cast<int>(length);
    }
    offset %= length;
    if (offset < 0)
        offset += length;
    int64_t first = length - offset < n ? length - offset : n;
    memcpy(v->samples->bytes + offset, bytes, static_cast<size_t>(first));
    memcpy(v->samples->bytes, bytes + first, static_cast<size_t>(n - first));
}

int mixer_voice_level(sound_voice* v, int channel)
{
    if (!v)
        return 0;
    std::lock_guard<std::mutex> hold(v->owner->lock);
    return channel == 0 ? v->left.level : v->right.level;
}

// ---------------------------------------------------------------------------
// Mixing (the caller holds the lock)

// Wraps a looping entry or marks the voice finished; false when it ended.
static bool settle_end(sound_voice* v, mixer_entry* e, int32_t length)
{
    if (e->position < length)
        return true;
    if (v->flags & voice_looping) {
        e->position %= length;
        return true;
    }
    v->flags |= voice_finished;
    return false;
}

// Steps an unheard entry through n samples without reading them.
static void advance_entry(sound_voice* v, mixer_entry* e, int n, int64_t step_whole,
                          uint32_t step_fraction)
{
    int32_t length = v->samples->length;
    if (!settle_end(v, e, length))
        return;
    uint64_t fraction = e->fraction + static_cast<uint64_t>(step_fraction) * static_cast<uint64_t>(n);
    int64_t position = e->position + step_whole * n + static_cast<int64_t>(fraction >> fraction_bits);
    e->fraction = static_cast<uint32_t>(fraction & fraction_mask);
    if (position >= length && (v->flags & voice_looping))
        position %= length;
    e->position = static_cast<int32_t>(position < length ? position : length);
    settle_end(v, e, length);
}

static void mix_entry(sound_voice* v, mixer_entry* e, int n, int32_t* acc, int64_t step_whole,
                      uint32_t step_fraction)
{
    int32_t length = v->samples->length;
    const uint8_t* bytes = v->samples->bytes;
    if (!settle_end(v, e, length))
        return;
    const int8_t* table = level_tables[e->previous_level];
    bool declicking = e->previous_level != e->level;
    bool first_high = bytes[e->position] >= 128;
    int64_t position = e->position;
    uint32_t fraction = e->fraction;
    for (int i = 0; i < n; i++) {
        uint8_t b = bytes[position];
        if (declicking && (b >= 128) != first_high) {
            table = level_tables[e->level];
            declicking = false;
        }
        acc[i] += table[b];
        fraction += step_fraction;
        position += step_whole + (fraction >> fraction_bits);
        fraction &= fraction_mask;
        if (position >= length) {
            if (!(v->flags & voice_looping)) {
                position = length;
                break;
            }
            position %= length;
        }
    }
    e->position = static_cast<int32_t>(position);
    e->fraction = fraction;
    settle_end(v, e, length);
}

static void visit_entry(mixer* m, mixer_entry* e, int channel, int n, int* heard)
{
    sound_voice* v = e->owner;
    if (v->flags & voice_restart) {
        e->position = 0;
        e->fraction = 0;
    }
    int64_t step_whole = v->rate / m->output_rate;
    uint32_t step_fraction = static_cast<uint32_t>(
        (static_cast<uint64_t>(v->rate % m->output_rate) << fraction_bits) / m->output_rate);
    if (*heard < m->channels && e->level >= 1) {
        (*heard)++;
        mix_entry(v, e, n, m->accumulators[channel], step_whole, step_fraction);
    } else {
        advance_entry(v, e, n, step_whole, step_fraction);
    }
    e->previous_level = e->level;
}

// Clears the sums and mixes every playing entry, loudest first.
static void mix_block(mixer* m, int n)
{
    int channel_count = m->stereo ? 2 : 1;
    for (int c = 0; c < 2; c++)
        memset(m->accumulators[c], 0, static_cast<size_t>(n) * sizeof(int32_t));
    int heard = 0;
    for (int level = mixer_level_count - 1; level >= 0; level--) {
        mixer_entry* left = m->lists[0][level];
        mixer_entry* right = channel_count > 1 ? m->lists[1][level] : nullptr;
        while (left || right) {
            if (left) {
                visit_entry(m, left, 0, n, &heard);
                left = left->next;
            }
            if (right) {
                visit_entry(m, right, 1, n, &heard);
                right = right->next;
            }
        }
    }
    for (sound_voice* v = m->voices; v; v = v->all_next) {
        if ((v->flags & voice_finished) && (v->flags & voice_playing)) {
            unlink_voice(v);
            v->flags &= ~(voice_playing | voice_finished);
        }
        v->flags &= ~voice_restart;
    }
}

static int clamp_block(const mixer* m, int n) { return n < 0 ? 0 : (n > m->max_block ? m->max_block : n); }

void mixer_mix_u8(mixer* m, int n, uint8_t* out)
{
    std::lock_guard<std::mutex> hold(m->lock);
    if (!m->ready || !out)
        return;
    n = clamp_block(m, n);
    mix_block(m, n);
    int channels = m->stereo ? 2 : 1;
    for (int i = 0; i < n; i++)
        for (int c = 0; c < channels; c++)
            out[i * channels + c] = static_cast<uint8_t>(clamp_int(m->accumulators[c][i], -128, 127) + 128);
}

void mixer_mix_s16(mixer* m, int n, int16_t* out)
{
    std::lock_guard<std::mutex> hold(m->lock);
    if (!m->ready || !out)
        return;
    n = clamp_block(m, n);
    mix_block(m, n);
    for (int i = 0; i < n; i++)
        out[i] = static_cast<int16_t>(clamp_int(m->accumulators[0][i], -127, 126) * 256);
}
