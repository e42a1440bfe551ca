// sha1.cpp -- SHA-1 through nettle.
#include "base/sha1.h"

#include <cstdio>

void sha1_begin(sha1_state* s) { sha1_init(&s->ctx); }

void sha1_add(sha1_state* s, const void* data, size_t size)
{
    sha1_update(&s->ctx, size, static_cast<const uint8_t*>(data));
}

void sha1_end(sha1_state* s, uint8_t digest[sha1_digest_size])
{
    sha1_digest(&s->ctx, sha1_digest_size, digest);
}

void sha1_of(const void* data, size_t size, uint8_t digest[sha1_digest_size])
{
    sha1_state s;
    sha1_begin(&s);
    sha1_add(&s, data, size);
    sha1_end(&s, digest);
}

void sha1_to_hex(const uint8_t digest[sha1_digest_size], char out[sha1_hex_size])
{
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < sha1_digest_size; i++) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    out[2 * sha1_digest_size] = 0;
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool sha1_from_hex(const char* hex, uint8_t digest[sha1_digest_size])
{
    for (int i = 0; i < sha1_digest_size; i++) {
        int hi = hex_value(hex[2 * i]);
        int lo = hi < 0 ? -1 : hex_value(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        digest[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return hex[2 * sha1_digest_size] == 0;
}
