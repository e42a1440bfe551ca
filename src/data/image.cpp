// image.cpp -- PNG (libpng) and binary PPM / PGM reading and writing.
//
// Every file goes through file_stream, so data names, archive members and
// ".gz" variants read alike and writes under data names land in the home
// root.  libpng reports errors by longjmp: each call keeps its state in a
// heap record whose pointer is fixed before setjmp, so the cleanup after a
// jump sees what was built.  Sizes are checked against image_max_side
// before anything is allocated.  Written PNGs carry no time stamp and use a
// fixed compression level, so equal pixels give equal bytes.
#include "data/image.h"

#include <bit>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "base/xmalloc.h"
#include "data/stream.h"
#include "platform/log.h"

constexpr int png_compression_level = 6;   // zlib level of written PNGs
constexpr int png_signature_size = 8;
constexpr size_t pnm_read_step = size_t(1) << 24;   // bytes per stream_read of PPM / PGM data
constexpr bool host_little_endian = std::endian::native == std::endian::little;

int image_pixel_size(image_format f)
{
    switch (f) {
    case image_grey8: return 1;
    case image_grey16: return 2;
    case image_rgb8: return 3;
    case image_rgba8: return 4;
    }
    return 0;
}

static bool side_ok(long long w, long long h)
{
    return w > 0 && h > 0 && w <= image_max_side && h <= image_max_side;
}

void image_alloc(image* img, int width, int height, image_format f)
{
    img->width = width;
    img->height = height;
    img->format = f;
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(image_pixel_size(f));
    img->pixels = static_cast<uint8_t*>(xcalloc(bytes ? bytes : 1, 1));
}

void image_free(image* img)
{
    free(img->pixels);
    *img = image{};
}

static size_t row_bytes(const image& img)
{
    return static_cast<size_t>(img.width) * static_cast<size_t>(image_pixel_size(img.format));
}

// ---------------------------------------------------------------- PNG reading

struct png_read_job {
    const char* name;       // for messages
    file_stream* stream;    // source, owned
    png_structp png;
    png_infop info;
    image result;           // pixels being filled
    uint8_t** rows;         // row pointers into result.pixels
    char* text;             // text chunks so far, or null
    size_t text_length;
};

static void png_fail(png_structp png, png_const_charp message)
{
    auto* job = static_cast<png_read_job*>(png_get_error_ptr(png));
    log_printf("PNG error in '%.900s': %s\n", job ? job->name : "?", message);
    png_longjmp(png, 1);
}

static void png_warn(png_structp, png_const_charp) {}   // libpng's warnings are noise here

static void png_read_bytes(png_structp png, png_bytep data, size_t length)
{
    auto* job = static_cast<png_read_job*>(png_get_io_ptr(png));
    if (length > INT_MAX || stream_read(job->stream, data, static_cast<int>(length)) != static_cast<int>(length))
        png_error(png, "truncated PNG data");
}

static void collect_text(png_read_job* job, png_infop info)
{
    png_textp texts = nullptr;
    int count = png_get_text(job->png, info, &texts, nullptr);
    for (int i = 0; i < count; i++) {
        const char* t = texts[i].text ? texts[i].text : "";
        size_t n = strlen(t);
        job->text = static_cast<char*>(xrealloc(job->text, job->text_length + n + 1));
        memcpy(job->text + job->text_length, t, n + 1);
        job->text_length += n;
    }
}

static void release_read_job(png_read_job* job, bool keep_result)
{
    if (job->png)
        png_destroy_read_struct(&job->png, &job->info, nullptr);
    stream_close(job->stream);
    free(job->rows);
    free(job->text);
    if (!keep_result)
        image_free(&job->result);
    free(job);
}

// Opens the file and checks the signature; null (after a log line) when
// it is no PNG.
static png_read_job* start_png_read(const char* name)
{
    file_stream* s = stream_open(name, "rb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", name);
        return nullptr;
    }
    uint8_t signature[png_signature_size];
    if (stream_read(s, signature, png_signature_size) != png_signature_size || png_sig_cmp(signature, 0, png_signature_size)) {
        log_printf("'%.950s' is not a PNG file\n", name);
        stream_close(s);
        return nullptr;
    }
    auto* job = static_cast<png_read_job*>(xcalloc(1, sizeof(png_read_job)));
    job->name = name;
    job->stream = s;
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, png_fail, png_warn);
    if (job->png)
        job->info = png_create_info_struct(job->png);
    if (!job->png || !job->info) {
        release_read_job(job, false);
        return nullptr;
    }
    return job;
}

// Reads the header, applies the transforms of the wanted output, reads the
// rows.  Runs under setjmp in the caller; a libpng error jumps out.
static bool decode_png(png_read_job* job, bool grey16, bool want_text)
{
    png_structp png = job->png;
    png_infop info = job->info;
    png_set_read_fn(png, job, png_read_bytes);
    png_set_sig_bytes(png, png_signature_size);
    png_set_user_limits(png, image_max_side, image_max_side);
    png_read_info(png, info);

    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    if (!side_ok(width, height)) {
        log_printf("PNG image '%.900s' has a bad size (%ux%u)\n", job->name, unsigned(width), unsigned(height));
        return false;
    }
    int colour = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if ((colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (grey16) {
        if (depth == 16 && host_little_endian)
            png_set_swap(png);
        if (colour & PNG_COLOR_MASK_ALPHA)
            png_set_strip_alpha(png);
        if (colour & PNG_COLOR_MASK_COLOR)
            png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    } else {
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        if (depth == 16)
            png_set_strip_16(png);
        if (!(colour & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int channels = png_get_channels(png, info);
    int out_depth = png_get_bit_depth(png, info);
    image_format format;
    if (grey16)
        format = image_grey16;
    else if (channels == 3 && out_depth == 8)
        format = image_rgb8;
    else if (channels == 4 && out_depth == 8)
        format = image_rgba8;
    else {
        log_printf("PNG image '%.900s' has an unsupported layout\n", job->name);
        return false;
    }
    if (grey16 && channels != 1) {
        log_printf("PNG image '%.900s' has an unsupported layout\n", job->name);
        return false;
    }
    image_alloc(&job->result, int(width), int(height), format);
    size_t stride = row_bytes(job->result);
    if (png_get_rowbytes(png, info) > stride) {
        log_printf("PNG image '%.900s' has an unsupported layout\n", job->name);
        return false;
    }
    job->rows = static_cast<uint8_t**>(xcalloc(height, sizeof(uint8_t*)));
    for (png_uint_32 y = 0; y < height; y++)
        job->rows[y] = job->result.pixels + y * stride;
    png_read_image(png, job->rows);
    // png_read_end adds the text chunks after the image to the same info,
    // behind those before it.
    png_read_end(png, want_text ? info : nullptr);
    if (want_text)
        collect_text(job, info);

    if (grey16 && out_depth == 8) {
        // Rows were laid out with the 16-bit stride, each holding width
        // bytes at its start; widen in place from the row's end (v becomes
        // v * 257), so no byte is overwritten before it is read.
        for (png_uint_32 y = 0; y < height; y++) {
            uint8_t* row = job->result.pixels + y * stride;
            uint16_t* out = reinterpret_cast<uint16_t*>(row);
            for (png_uint_32 x = width; x-- > 0;)
                out[x] = uint16_t(row[x] * 257u);
        }
    }
    return true;
}

static bool read_png(const char* name, image* out, bool grey16, char** text)
{
    *out = image{};
    if (text)
        *text = nullptr;
    png_read_job* job = start_png_read(name);
    if (!job)
        return false;
    bool ok = false;
    if (setjmp(png_jmpbuf(job->png)) == 0)
        ok = decode_png(job, grey16, text != nullptr);
    if (ok) {
        *out = job->result;
        if (text) {
            *text = job->text ? job->text : xstrdup("");
            job->text = nullptr;
        }
    }
    release_read_job(job, ok);
    return ok;
}

bool png_read(const char* name, image* out, char** text) { return read_png(name, out, false, text); }

bool png_read_grey16(const char* name, image* out) { return read_png(name, out, true, nullptr); }

// ---------------------------------------------------------------- PNG writing

struct png_write_job {
    const char* name;       // for messages
    file_stream* stream;    // destination, or null when writing to memory
    uint8_t* bytes;         // memory destination
    size_t size, capacity;
    bool failed;            // a write did not complete
    png_structp png;
    png_infop info;
};

static void png_write_fail(png_structp png, png_const_charp message)
{
    auto* job = static_cast<png_write_job*>(png_get_error_ptr(png));
    log_printf("PNG error writing '%.900s': %s\n", job ? job->name : "?", message);
    png_longjmp(png, 1);
}

static void png_write_bytes(png_structp png, png_bytep data, size_t length)
{
    auto* job = static_cast<png_write_job*>(png_get_io_ptr(png));
    if (job->stream) {
        if (length > INT_MAX || !stream_write(job->stream, data, static_cast<int>(length)))
            png_error(png, "write failed");
        return;
    }
    if (job->size + length > job->capacity) {
        size_t want = job->capacity ? job->capacity : 4096;
        while (want < job->size + length)
            want *= 2;
        job->bytes = static_cast<uint8_t*>(xrealloc(job->bytes, want));
        job->capacity = want;
    }
    memcpy(job->bytes + job->size, data, length);
    job->size += length;
}

static void png_flush_bytes(png_structp png)
{
    auto* job = static_cast<png_write_job*>(png_get_io_ptr(png));
    if (job->stream && !stream_flush(job->stream))
        png_error(png, "write failed");
}

static bool png_layout(image_format f, int* colour, int* depth)
{
    switch (f) {
    case image_grey8: *colour = PNG_COLOR_TYPE_GRAY; *depth = 8; return true;
    case image_grey16: *colour = PNG_COLOR_TYPE_GRAY; *depth = 16; return true;
    case image_rgb8: *colour = PNG_COLOR_TYPE_RGB; *depth = 8; return true;
    case image_rgba8: *colour = PNG_COLOR_TYPE_RGB_ALPHA; *depth = 8; return true;
    }
    return false;
}

// Runs under setjmp in the caller.
static void encode_png(png_write_job* job, const image& img)
{
    int colour = 0, depth = 0;
    png_layout(img.format, &colour, &depth);
    png_set_write_fn(job->png, job, png_write_bytes, png_flush_bytes);
    png_set_compression_level(job->png, png_compression_level);
    png_set_IHDR(job->png, job->info, png_uint_32(img.width), png_uint_32(img.height), depth, colour,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job->png, job->info);
    if (depth == 16 && host_little_endian)
        png_set_swap(job->png);   // host order in memory, big-endian in the file
    size_t stride = row_bytes(img);
    for (int y = 0; y < img.height; y++)
        png_write_row(job->png, img.pixels + size_t(y) * stride);
    png_write_end(job->png, nullptr);
}

static bool write_png_job(png_write_job* job, const image& img)
{
    int colour, depth;
    if (!img.pixels || !side_ok(img.width, img.height) || !png_layout(img.format, &colour, &depth)) {
        log_printf("Can't write '%.900s': bad image\n", job->name);
        return false;
    }
    job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, png_write_fail, png_warn);
    if (job->png)
        job->info = png_create_info_struct(job->png);
    bool ok = false;
    if (job->png && job->info && setjmp(png_jmpbuf(job->png)) == 0) {
        encode_png(job, img);
        ok = true;
    }
    if (job->png)
        png_destroy_write_struct(&job->png, &job->info);
    return ok;
}

bool png_write(const char* name, const image& img)
{
    file_stream* s = stream_open(name, "wb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", name);
        return false;
    }
    auto* job = static_cast<png_write_job*>(xcalloc(1, sizeof(png_write_job)));
    job->name = name;
    job->stream = s;
    bool ok = write_png_job(job, img) && stream_flush(s);
    stream_close(s);
    free(job);
    return ok;
}

bool png_encode(const image& img, uint8_t** bytes, int* size)
{
    *bytes = nullptr;
    *size = 0;
    auto* job = static_cast<png_write_job*>(xcalloc(1, sizeof(png_write_job)));
    job->name = "(memory)";
    bool ok = write_png_job(job, img) && job->size <= INT_MAX;
    if (ok) {
        *bytes = job->bytes;
        *size = int(job->size);
    } else {
        free(job->bytes);
    }
    free(job);
    return ok;
}

// ---------------------------------------------------------------- PPM / PGM

// Reads "P6"/"P5" (magic_digit '6' or '5') from an open stream.
static bool read_pnm_stream(file_stream* s, const char* name, image* out, char magic_digit, image_format format,
                            const char* kind)
{
    *out = image{};
    int c0 = stream_getc(s), c1 = stream_getc(s);
    if (c0 != 'P' || c1 != magic_digit) {
        log_printf("Can't parse %s header in '%.900s'\n", kind, name);
        return false;
    }
    stream_skip_comments(s);
    int width = stream_read_int(s);
    stream_skip_comments(s);
    int height = stream_read_int(s);
    stream_skip_comments(s);
    int maxval = stream_read_int(s);
    int separator = stream_getc(s);
    bool space = separator == ' ' || (separator >= '\t' && separator <= '\r');
    if (!side_ok(width, height) || maxval < 1 || maxval > 255 || !space) {
        log_printf("Can't get %s dimensions in '%.900s'\n", kind, name);
        return false;
    }
    image_alloc(out, width, height, format);
    size_t bytes = size_t(width) * size_t(height) * size_t(image_pixel_size(format));
    size_t done = 0;
    while (done < bytes) {
        size_t step = bytes - done < pnm_read_step ? bytes - done : pnm_read_step;
        int got = stream_read(s, out->pixels + done, int(step));
        done += size_t(got > 0 ? got : 0);
        if (got != int(step))
            break;
    }
    if (done < bytes) {
        log_printf("Truncated %s data in '%.900s'\n", kind, name);
        image_free(out);
        return false;
    }
    if (maxval != 255) {
        for (size_t i = 0; i < bytes; i++) {
            unsigned v = out->pixels[i] > maxval ? unsigned(maxval) : out->pixels[i];
            out->pixels[i] = uint8_t(v * 255u / unsigned(maxval));
        }
    }
    return true;
}

static bool read_pnm(const char* name, image* out, char magic_digit, image_format format, const char* kind)
{
    *out = image{};
    file_stream* s = stream_open(name, "rb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", name);
        return false;
    }
    bool ok = read_pnm_stream(s, name, out, magic_digit, format, kind);
    stream_close(s);
    return ok;
}

bool ppm_read_stream(file_stream* s, const char* name, image* out)
{
    return read_pnm_stream(s, name, out, '6', image_rgb8, "PPM");
}

bool pgm_read_stream(file_stream* s, const char* name, image* out)
{
    return read_pnm_stream(s, name, out, '5', image_grey8, "PGM");
}

bool ppm_read(const char* name, image* out) { return read_pnm(name, out, '6', image_rgb8, "PPM"); }

bool pgm_read(const char* name, image* out) { return read_pnm(name, out, '5', image_grey8, "PGM"); }

static bool write_pnm(const char* name, const image& img, const char* magic, image_format want)
{
    if (img.format != want || !img.pixels || !side_ok(img.width, img.height)) {
        log_printf("Can't write '%.900s': bad image\n", name);
        return false;
    }
    file_stream* s = stream_open(name, "wb");
    if (!s) {
        log_printf("Can't open '%.950s'\n", name);
        return false;
    }
    bool ok = stream_printf(s, "%s\n%d %d\n255\n", magic, img.width, img.height);
    size_t stride = row_bytes(img);
    for (int y = 0; ok && y < img.height; y++)
        ok = stream_write(s, img.pixels + size_t(y) * stride, int(stride));
    ok = ok && stream_flush(s);
    stream_close(s);
    if (!ok)
        log_printf("Error writing '%.900s'\n", name);
    return ok;
}

bool ppm_write(const char* name, const image& img) { return write_pnm(name, img, "P6", image_rgb8); }

bool pgm_write(const char* name, const image& img) { return write_pnm(name, img, "P5", image_grey8); }
