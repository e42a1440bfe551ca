// image.h -- image files: PNG through libpng, binary PPM and PGM.
//
// Decodes into plain pixel arrays owned by the caller (free with
// image_free) and encodes the same arrays, reading and writing through
// file_stream so data names, archives and compressed variants all work.
// Pixel rows run from the top of the image down.  Headless: no GL here; the
// texture manager turns images into textures.
#pragma once

#include <cstdint>

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
bool png_read(const char* name, image* out);               // grey, RGB or RGBA as stored (8-bit)
bool png_read_grey16(const char* name, image* out);        // any PNG as 16-bit grey
bool ppm_read(const char* name, image* out);               // binary "P6", maxval 255
bool pgm_read(const char* name, image* out);               // binary "P5", maxval 255

// Writers; name as for stream_open in "wb" mode (data names land in the
// home root).  PNG output has no time stamp, so equal pixels give equal
// bytes.
bool png_write(const char* name, const image& img);        // grey8, rgb8, rgba8 or grey16
bool ppm_write(const char* name, const image& img);        // rgb8
bool pgm_write(const char* name, const image& img);        // grey8

// Encodes to memory (for tools that pack files themselves); the caller
// frees *bytes with free().
bool png_encode(const image& img, uint8_t** bytes, int* size);

void image_alloc(image* img, int width, int height, image_format f);   // zeroed pixels
void image_free(image* img);
