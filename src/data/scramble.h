// scramble.h -- the ".scram" cipher of enciphered data files.
//
// A ".scram" file is an 8-byte header, the text "VKSCRAM" followed by the
// version byte 1, and then the data XORed with a keystream: an xorshift32
// generator seeded with a fixed constant is stepped once per 4 bytes and
// each state gives 4 key bytes, lowest byte first.  It hides shipped data
// from casual reading; it is not security.  The reader is created over an
// open file positioned at the header and reads at most `limit` bytes of the
// file, header included (an archive member's size, or "no limit").
#pragma once

#include <cstdint>
#include <cstdio>

struct scramble_reader;

constexpr int scramble_header_size = 8;

scramble_reader* scramble_open(FILE* file, int32_t limit);   // null on a bad or short header
int  scramble_read(scramble_reader* r, void* buffer, int count);   // bytes read, 0 at the end
void scramble_free(scramble_reader* r);

// Enciphers size bytes of data into out, which must hold
// size + scramble_header_size bytes; returns the image size.
int32_t scramble_encode(const void* data, int32_t size, uint8_t* out);
