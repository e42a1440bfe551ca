// scan.cpp -- the formatted scanner every text format of the game uses.
//
// Owns nothing; reads through stream_getc with one byte of look-ahead that
// is left in the stream's pushback.  Needs only stream.h.  Promises: the
// conversions d i o x X f s c [set] [^set] n %% with width, *, and the
// sizes hh h l ll L q behave as the C library's scanf does on the same
// text; an unknown conversion ends scanning; a string conversion without a
// width stores at most scan_unbounded_max characters (and its NUL) and
// skips the rest of the field, so no input can write past a 1024-byte
// buffer.  Integer conversions saturate at the range of the stored type.
#include "data/stream.h"

#include <climits>
#include <cstdint>

constexpr int scan_unbounded_max = stream_scan_unbounded;   // characters stored by s, [ ] without a width
constexpr int scan_width_cap = 1 << 24;    // larger widths are clamped
constexpr long double scan_digits_cap = 1e30L;   // beyond this, more digits cannot change the value
constexpr long scan_exponent_cap = 100000;       // decimal exponents saturate here

enum scan_size { size_char, size_short, size_int, size_long, size_llong };

enum scan_result { scan_ok, scan_mismatch, scan_eof };

struct scan_input {
    file_stream* s;
    int consumed;   // bytes taken by this call, a pushed-back byte not counted
};

static bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static bool is_digit(int c) { return c >= '0' && c <= '9'; }

static int in_get(scan_input* in)
{
    int c = stream_getc(in->s);
    if (c >= 0)
        in->consumed++;
    return c;
}

// Gives back the look-ahead byte; the stream's pushback is free because
// in_get has just taken from it.
static void in_unget(scan_input* in, int c)
{
    if (c >= 0) {
        in->s->pushback = c;
        in->consumed--;
    }
}

static void skip_space(scan_input* in)
{
    int c;
    do
        c = in_get(in);
    while (is_space(c));
    in_unget(in, c);
}

static int digit_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// ---------------------------------------------------------------- integers

struct scanned_integer {
    bool negative;
    uint64_t magnitude;   // saturated at UINT64_MAX
};

// Reads an optional sign, the base prefix ("0x" for base 16 or 0, "0" for
// base 0 meaning octal) and the digits, counting every byte against width
// (-1: none).  The byte after the number stays pushed back.
static scan_result scan_integer(scan_input* in, int base, int width, scanned_integer* out)
{
    *out = scanned_integer{ false, 0 };
    int c = in_get(in);
    if (c < 0)
        return scan_eof;
    if (c == '-' || c == '+') {
        out->negative = (c == '-');
        if (width > 0)
            width--;
        c = in_get(in);
    }
    bool any = false;
    if (width != 0 && c == '0') {
        if (width > 0)
            width--;
        any = true;
        c = in_get(in);
        if (width != 0 && (c == 'x' || c == 'X')) {
            if (base == 0)
                base = 16;
            if (base == 16) {
                if (width > 0)
                    width--;
                c = in_get(in);
            }
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0)
        base = 10;
    while (c >= 0 && width != 0) {
        int d = digit_value(c);
        if (d >= base)
            break;
        uint64_t m = out->magnitude;
        out->magnitude = (m > (UINT64_MAX - d) / base) ? UINT64_MAX : m * base + d;
        any = true;
        if (width > 0)
            width--;
        c = in_get(in);
    }
    in_unget(in, c);
    return any ? scan_ok : scan_mismatch;
}

static int64_t clamp_signed(const scanned_integer& v, int64_t low, int64_t high)
{
    if (v.negative)
        return v.magnitude > static_cast<uint64_t>(-(low + 1)) ? low : -static_cast<int64_t>(v.magnitude);
    return v.magnitude > static_cast<uint64_t>(high) ? high : static_cast<int64_t>(v.magnitude);
}

static void store_signed(va_list* args, scan_size size, const scanned_integer& v)
{
    switch (size) {
    case size_char:  *va_arg(*args, signed char*) = static_cast<signed char>(clamp_signed(v, SCHAR_MIN, SCHAR_MAX)); break;
    case size_short: *va_arg(*args, short*) = static_cast<short>(clamp_signed(v, SHRT_MIN, SHRT_MAX)); break;
    case size_int:   *va_arg(*args, int*) = static_cast<int>(clamp_signed(v, INT_MIN, INT_MAX)); break;
    case size_long:  *va_arg(*args, long*) = static_cast<long>(clamp_signed(v, LONG_MIN, LONG_MAX)); break;
    case size_llong: *va_arg(*args, long long*) = clamp_signed(v, LLONG_MIN, LLONG_MAX); break;
    }
}

// o and x store unsigned values; a minus sign negates modulo the type.
static void store_unsigned(va_list* args, scan_size size, const scanned_integer& v)
{
    uint64_t bits = v.negative ? 0 - v.magnitude : v.magnitude;
    switch (size) {
    case size_char:  *va_arg(*args, unsigned char*) = static_cast<unsigned char>(bits); break;
    case size_short: *va_arg(*args, unsigned short*) = static_cast<unsigned short>(bits); break;
    case size_int:   *va_arg(*args, unsigned*) = static_cast<unsigned>(bits); break;
    case size_long:  *va_arg(*args, unsigned long*) = static_cast<unsigned long>(bits); break;
    case size_llong: *va_arg(*args, unsigned long long*) = static_cast<unsigned long long>(bits); break;
    }
}

static void store_count(va_list* args, scan_size size, int count)
{
    scanned_integer v{ false, static_cast<uint64_t>(count) };
    store_signed(args, size, v);
}

// ---------------------------------------------------------------- reals

// 10^(2^i) for i = 0..12: the factors a decimal exponent is built from.
static const long double pow10_factors[] = {
    1e1L, 1e2L, 1e4L, 1e8L, 1e16L, 1e32L, 1e64L, 1e128L,
    1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L,
};
constexpr int pow10_factor_count = 13;

// m * 10^exponent, the power built from the binary digits of the exponent.
static long double scale_pow10(long double m, long exponent)
{
    if (m == 0 || exponent == 0)
        return m;
    unsigned long k = exponent < 0 ? static_cast<unsigned long>(-exponent) : static_cast<unsigned long>(exponent);
    long double p = 1;
    for (; k >= (2ul << (pow10_factor_count - 1)); k -= 1ul << (pow10_factor_count - 1))
        p *= pow10_factors[pow10_factor_count - 1];
    for (int i = 0; i < pow10_factor_count; i++)
        if (k & (1ul << i))
            p *= pow10_factors[i];
    return exponent < 0 ? m / p : m * p;
}

struct real_parse {
    long double mantissa;   // digits read so far, as an integer
    long exponent;          // power of ten the mantissa is scaled by
    long written_exponent;  // the explicit exponent's digits, saturated
    bool exponent_negative;
    bool negative;
    bool got_digit, got_dot, got_e;
};

static void add_real_digit(real_parse* r, int d)
{
    if (r->got_e) {
        if (r->written_exponent < scan_exponent_cap)
            r->written_exponent = r->written_exponent * 10 + d;
    } else if (r->mantissa < scan_digits_cap) {
        r->mantissa = r->mantissa * 10 + d;
        if (r->got_dot)
            r->exponent--;
    } else if (!r->got_dot && r->exponent < scan_exponent_cap) {
        r->exponent++;   // an integer digit past the precision still scales
    }
    r->got_digit = true;
}

// Reads [sign] digits [. digits] [e|E [sign] digits].  Every byte counts
// against width; the first byte that does not fit stays pushed back.
static scan_result scan_real(scan_input* in, int width, long double* out)
{
    real_parse r{};
    int c = in_get(in);
    if (width > 0)
        width--;
    if (c < 0)
        return scan_eof;
    if (c == '-' || c == '+') {
        r.negative = (c == '-');
        if (width == 0 || (c = in_get(in)) < 0)
            return scan_mismatch;
        if (width > 0)
            width--;
    }
    bool sign_allowed = false;   // right after the exponent letter
    for (;;) {
        if (is_digit(c)) {
            add_real_digit(&r, c - '0');
            sign_allowed = false;
        } else if (sign_allowed && (c == '-' || c == '+')) {
            r.exponent_negative = (c == '-');
            sign_allowed = false;
        } else if (r.got_digit && !r.got_e && (c == 'e' || c == 'E')) {
            r.got_e = r.got_dot = true;
            sign_allowed = true;
        } else if (!r.got_dot && c == '.') {
            r.got_dot = true;
        } else {
            in_unget(in, c);
            break;
        }
        if (width == 0 || (c = in_get(in)) < 0)
            break;
        if (width > 0)
            width--;
    }
    if (!r.got_digit)
        return scan_mismatch;
    long total = r.exponent + (r.exponent_negative ? -r.written_exponent : r.written_exponent);
    long double v = scale_pow10(r.mantissa, total);
    *out = r.negative ? -v : v;
    return scan_ok;
}

// ---------------------------------------------------------------- text

// Parses "[...]" after the "[" into a byte map; returns the format after
// the closing "]", or null when the set is not closed.
static const char* parse_set(const char* f, bool map[256])
{
    bool negate = false;
    if (*f == '^') {
        negate = true;
        f++;
    }
    for (int i = 0; i < 256; i++)
        map[i] = false;
    const char* start = f;
    for (; *f && (*f != ']' || f == start); f++) {
        unsigned char lo = static_cast<unsigned char>(*f);
        unsigned char hi = static_cast<unsigned char>(f[1]);
        if (f[1] == '-' && f[2] && f[2] != ']' && lo <= static_cast<unsigned char>(f[2])) {
            hi = static_cast<unsigned char>(f[2]);
            for (int c = lo; c <= hi; c++)
                map[c] = true;
            f += 2;
        } else {
            map[lo] = true;
        }
    }
    if (*f != ']')
        return nullptr;
    if (negate)
        for (int i = 0; i < 256; i++)
            map[i] = !map[i];
    return f + 1;
}

// Reads bytes accepted by `accept` (up to width, -1: none) into out (null
// when suppressed).  Without a width at most scan_unbounded_max bytes are
// stored and the rest of the field is consumed.  Returns the field length.
template <typename Accept>
static int scan_field(scan_input* in, int width, char* out, bool terminate, Accept accept)
{
    int stored_max = width > 0 ? width : scan_unbounded_max;
    int length = 0, stored = 0;
    for (;;) {
        int c = in_get(in);
        if (c < 0)
            break;
        if (!accept(c)) {
            in_unget(in, c);
            break;
        }
        if (out && stored < stored_max)
            out[stored++] = static_cast<char>(c);
        length++;
        if (width > 0 && length == width)
            break;
    }
    if (out && terminate && length > 0)
        out[stored] = 0;
    return length;
}

// ---------------------------------------------------------------- driver

struct conversion {
    bool suppress;   // "*": match without storing
    int width;       // -1 when none was given
    scan_size size;  // from h, hh, l, ll, L, q
    char kind;       // the conversion character
};

static const char* parse_conversion(const char* f, conversion* cv)
{
    *cv = conversion{ false, -1, size_int, 0 };
    if (*f == '*') {
        cv->suppress = true;
        f++;
    }
    int width = 0;
    for (; is_digit(*f); f++)
        width = width < scan_width_cap ? width * 10 + (*f - '0') : scan_width_cap;
    if (width > 0)
        cv->width = width;
    for (;; f++) {
        if (*f == 'h')
            cv->size = cv->size == size_short ? size_char : size_short;
        else if (*f == 'l')
            cv->size = cv->size == size_long ? size_llong : size_long;
        else if (*f == 'L' || *f == 'q')
            cv->size = size_llong;
        else
            break;
    }
    cv->kind = *f;
    return *f ? f + 1 : f;
}

static void store_real(va_list* args, scan_size size, long double v)
{
    if (size == size_llong)
        *va_arg(*args, long double*) = v;
    else if (size == size_long)
        *va_arg(*args, double*) = static_cast<double>(v);
    else
        *va_arg(*args, float*) = static_cast<float>(v);
}

// Runs one conversion; *stored is set when a value was assigned.
static scan_result run_conversion(scan_input* in, const conversion& cv, const bool* set, va_list* args, bool* stored)
{
    *stored = false;
    switch (cv.kind) {
    case 'd': case 'i': case 'o': case 'x': case 'X': {
        int base = cv.kind == 'd' ? 10 : cv.kind == 'i' ? 0 : cv.kind == 'o' ? 8 : 16;
        scanned_integer v;
        scan_result r = scan_integer(in, base, cv.width, &v);
        if (r != scan_ok || cv.suppress)
            return r;
        if (cv.kind == 'd' || cv.kind == 'i')
            store_signed(args, cv.size, v);
        else
            store_unsigned(args, cv.size, v);
        *stored = true;
        return scan_ok;
    }
    case 'f': {
        long double v;
        scan_result r = scan_real(in, cv.width, &v);
        if (r != scan_ok || cv.suppress)
            return r;
        store_real(args, cv.size, v);
        *stored = true;
        return scan_ok;
    }
    case 's': case '[': {
        int c = in_get(in);
        if (c < 0)
            return scan_eof;
        in_unget(in, c);
        char* out = cv.suppress ? nullptr : va_arg(*args, char*);
        int n = cv.kind == 's'
            ? scan_field(in, cv.width, out, true, [](int ch) { return !is_space(ch); })
            : scan_field(in, cv.width, out, true, [set](int ch) { return set[ch]; });
        if (n == 0)
            return scan_mismatch;
        *stored = !cv.suppress;
        return scan_ok;
    }
    case 'c': {
        int want = cv.width > 0 ? cv.width : 1;
        char* out = cv.suppress ? nullptr : va_arg(*args, char*);
        int c = in_get(in);
        if (c < 0)
            return scan_eof;
        for (int n = 0;;) {
            if (out)
                out[n] = static_cast<char>(c);
            if (++n == want || (c = in_get(in)) < 0)
                break;
        }
        *stored = !cv.suppress;
        return scan_ok;
    }
    case 'n':
        if (!cv.suppress)
            store_count(args, cv.size, in->consumed);
        return scan_ok;
    case '%': {
        int c = in_get(in);
        if (c < 0)
            return scan_eof;
        if (c != '%') {
            in_unget(in, c);
            return scan_mismatch;
        }
        return scan_ok;
    }
    }
    return scan_mismatch;
}

static bool known_conversion(char kind)
{
    switch (kind) {
    case 'd': case 'i': case 'o': case 'x': case 'X': case 'f':
    case 's': case 'c': case '[': case 'n': case '%':
        return true;
    }
    return false;
}

int stream_vscanf(file_stream* s, const char* format, va_list args_in)
{
    va_list args;
    va_copy(args, args_in);
    scan_input in{ s, 0 };
    int done = 0;
    bool pending_space = false;   // format white space not yet applied
    scan_result result = scan_ok;
    for (const char* f = format; *f && result == scan_ok;) {
        char fc = *f++;
        if (fc != '%') {
            if (is_space(static_cast<unsigned char>(fc))) {
                pending_space = true;
                continue;
            }
            if (pending_space) {
                skip_space(&in);
                pending_space = false;
            }
            int c = in_get(&in);
            if (c < 0)
                result = scan_eof;
            else if (c != static_cast<unsigned char>(fc)) {
                in_unget(&in, c);
                result = scan_mismatch;
            }
            continue;
        }
        conversion cv;
        f = parse_conversion(f, &cv);
        bool set[256];
        if (cv.kind == '[' && !(f = parse_set(f, set)))
            break;
        if (!known_conversion(cv.kind))
            break;
        if (pending_space || (cv.kind != '[' && cv.kind != 'c' && cv.kind != 'n'))
            skip_space(&in);
        pending_space = false;
        bool stored;
        result = run_conversion(&in, cv, set, &args, &stored);
        done += stored;
    }
    if (result == scan_ok && pending_space)
        skip_space(&in);
    va_end(args);
    return (result == scan_eof && done == 0) ? -1 : done;
}

int stream_scanf(file_stream* s, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = stream_vscanf(s, format, args);
    va_end(args);
    return n;
}

int stream_read_int(file_stream* s)
{
    int v;
    return stream_scanf(s, "%d", &v) == 1 ? v : INT32_MIN;
}

// Skips white space and whole "#" comment lines.  Progress is measured on
// the stream itself, so an empty comment line ("#" then the line end) is
// skipped too instead of ending the loop.
void stream_skip_comments(file_stream* s)
{
    for (;;) {
        int32_t before = s->pos - (s->pushback >= 0);
        stream_scanf(s, " #%*[^\n]");
        if (s->pos - (s->pushback >= 0) == before)
            return;
    }
}
