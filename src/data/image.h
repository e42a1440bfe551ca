// image.h -- image files: PNG through libpng, binary PPM and PGM.
//
// Decodes into plain pixel arrays owned by the caller (free with
// image_free) and encodes the same arrays, reading and writing through
// file_stream so data names, archives and compressed variants all work.
// Pixel rows run from the top of the image down.  Headless: no GL here; the
// texture manager turns images into textures.
#pragma once

#include <cstdint>
#include <cstdlib>

struct file_stream;

enum image_format {
    image_grey8 = 1,    // 1 byte per pixel
    image_rgb8 = 3,     // 3 bytes per pixel
    image_rgba8 = 4,    // 4 bytes per pixel
    image_grey16 = 2,   // one uint16_t per pixel, host order
};

struct image {
    int width, height;   // pixels
    image_format format;
    uint8_t* pixels;     // width * height * bytes per pixel (uint16_t for grey16)
};

constexpr int image_max_side = 16384;   // larger images are refused as corrupt

int image_pixel_size(image_format f);   // bytes per pixel

// Readers fill *out and return true; on failure they log why and leave
// *out empty.  name is a data name or a path (stream_open).
// png_read expands grey and palette images to RGB, strips 16-bit samples
// to 8 bits and turns a tRNS chunk into alpha: the result is rgb8, or rgba8
// when the image has alpha.  With text non-null, *text receives the texts
// of all text chunks concatenated (xmalloc'd, caller frees; "" when none).
bool png_read(const char* name, image* out, char** text = nullptr);
// Any PNG as one 16-bit grey channel: colour becomes grey with libpng's
// default weights, alpha is dropped, 8-bit samples v widen to v * 257.
bool png_read_grey16(const char* name, image* out);
// Binary "P6" / "P5": '#' comment lines may stand between the header
// fields; one separator byte precedes the data.  A maximum value below 255
// is scaled to 0..255; above 255 (two-byte samples) is refused.
bool ppm_read(const char* name, image* out);               // rgb8
bool pgm_read(const char* name, image* out);               // grey8
// The same from a stream the caller opened (and still owns), so a caller
// can tell a missing optional file from a bad one; name is for messages.
bool ppm_read_stream(file_stream* s, const char* name, image* out);
bool pgm_read_stream(file_stream* s, const char* name, image* out);

// Writers; name as for stream_open in "wb" mode (data names land in the
// home root).  PNG output has no time stamp and a fixed compression
// level, so equal pixels give equal bytes; grey16 samples are stored
// big-endian in the file as PNG requires.  On a libpng or write error the
// partly written file is closed and false returned.
bool png_write(const char* name, const image& img);        // grey8, rgb8, rgba8 or grey16
bool ppm_write(const char* name, const image& img);        // rgb8
bool pgm_write(const char* name, const image& img);        // grey8

// Encodes to memory (for tools that pack files themselves); the caller
// frees *bytes with free().
bool png_encode(const image& img, uint8_t** bytes, int* size);

void image_alloc(image* img, int width, int height, image_format f);   // zeroed pixels
void image_free(image* img);
