// text.cpp -- bounded string helpers.
#include "base/text.h"

#include <cstring>

bool text_copy(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return false;
    size_t n = strlen(src);
    if (n >= size) {
        memcpy(dst, src, size - 1);
        dst[size - 1] = 0;
        return false;
    }
    memcpy(dst, src, n + 1);
    return true;
}

bool text_append(char* dst, size_t size, const char* src)
{
    size_t used = strnlen(dst, size);
    if (used >= size)
        return false;
    return text_copy(dst + used, size - used, src);
}

int text_compare_folded(const char* a, const char* b)
{
    for (;; a++, b++) {
        int ca = text_fold(static_cast<unsigned char>(*a));
        int cb = text_fold(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

bool text_ends_with(const char* text, const char* suffix)
{
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && memcmp(text + n - m, suffix, m) == 0;
}

bool text_ends_with_folded(const char* text, const char* suffix)
{
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && text_compare_folded(text + n - m, suffix) == 0;
}

bool text_starts_with(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}
