// scramble.cpp -- reading and writing the ".scram" cipher.
//
// Owns the scramble_reader record.  Needs only the C file API.  Promises:
// scramble_encode and scramble_read are inverses; the reader never reads
// past its limit and never touches bytes before its start.
#include "data/scramble.h"

#include <cstdlib>
#include <cstring>

#include "base/xmalloc.h"

static const uint8_t scramble_magic[scramble_header_size] = { 'V', 'K', 'S', 'C', 'R', 'A', 'M', 1 };
constexpr uint32_t scramble_seed = 0x9E3779B9u;   // any non-zero state works for xorshift32

struct scramble_reader {
    FILE* file;          // not owned: the stream closes it
    int32_t remaining;   // enciphered bytes the reader may still take
    uint32_t state;      // xorshift32 state of the current key word
    int key_used;        // bytes of the current key word already used, 0..4
};

// The keystream position shared by the reader and the encoder.
struct keystream {
    uint32_t state;
    int used;
};

static uint8_t next_key_byte(keystream* k)
{
    if (k->used == 4) {
        uint32_t x = k->state;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        k->state = x;
        k->used = 0;
    }
    return static_cast<uint8_t>(k->state >> (8 * k->used++));
}

// A fresh keystream: the first byte steps the generator once.
static keystream keystream_start() { return keystream{ scramble_seed, 4 }; }

scramble_reader* scramble_open(FILE* file, int32_t limit)
{
    uint8_t header[scramble_header_size];
    if (limit < scramble_header_size || fread(header, 1, sizeof header, file) != sizeof header)
        return nullptr;
    if (memcmp(header, scramble_magic, sizeof header) != 0)
        return nullptr;
    scramble_reader* r = static_cast<scramble_reader*>(xmalloc(sizeof *r));
    keystream k = keystream_start();
    *r = scramble_reader{ file, limit - scramble_header_size, k.state, k.used };
    return r;
}

int scramble_read(scramble_reader* r, void* buffer, int count)
{
    if (count <= 0 || r->remaining <= 0)
        return 0;
    if (count > r->remaining)
        count = r->remaining;
    int got = static_cast<int>(fread(buffer, 1, static_cast<size_t>(count), r->file));
    keystream k{ r->state, r->key_used };
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    for (int i = 0; i < got; i++)
        bytes[i] ^= next_key_byte(&k);
    r->state = k.state;
    r->key_used = k.used;
    r->remaining -= got;
    return got;
}

void scramble_free(scramble_reader* r) { free(r); }

int32_t scramble_encode(const void* data, int32_t size, uint8_t* out)
{
    memcpy(out, scramble_magic, scramble_header_size);
    const uint8_t* in = static_cast<const uint8_t*>(data);
    keystream k = keystream_start();
    for (int32_t i = 0; i < size; i++)
        out[scramble_header_size + i] = in[i] ^ next_key_byte(&k);
    return size + scramble_header_size;
}
