// sha1.h -- SHA-1 digests (a thin wrapper over nettle).
//
// Used for the fixed collision shapes, track files, the game data archive
// and the password proof of the client protocol.
#pragma once

#include <cstddef>
#include <cstdint>

#include <nettle/sha1.h>

constexpr int sha1_digest_size = 20;   // bytes in a digest
constexpr int sha1_hex_size = 41;      // 40 hex digits and a NUL

struct sha1_state {
    struct sha1_ctx ctx;   // nettle's running state
};

void sha1_begin(sha1_state* s);
void sha1_add(sha1_state* s, const void* data, size_t size);
void sha1_end(sha1_state* s, uint8_t digest[sha1_digest_size]);

// One-shot digest of a buffer.
void sha1_of(const void* data, size_t size, uint8_t digest[sha1_digest_size]);

// Lower-case hexadecimal text of a digest.
void sha1_to_hex(const uint8_t digest[sha1_digest_size], char out[sha1_hex_size]);

// Parses 40 hex digits, two per byte; false when the text is not that.
bool sha1_from_hex(const char* hex, uint8_t digest[sha1_digest_size]);
