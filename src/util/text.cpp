// Field splitting, hex coding and bounded copies.
#include "util/text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct split split(char* in, char delim)
{
    struct split result;
    result.pointers[0] = in;
    result.count = 1;
    if (in[0] == '\0')
        return result;
    for (char* p = in + 1; *p != '\0'; p++) {
        if (*p != delim)
            continue;
        if (result.count == SPLIT_MAX_FIELDS)
            break; // the rest stays in the last field
        *p = '\0';
        result.pointers[result.count++] = p + 1;
    }
    return result;
}

char hexToAscii(char first, char second)
{
    char text[5] = {'0', 'x', first, second, '\0'};
    return static_cast<char>(strtol(text, nullptr, 16) & 0xFF);
}

void decodehex(const char* in, int len, char* out, size_t out_size)
{
    if (out_size == 0)
        return;
    out[0] = '\0';
    size_t in_len = strlen(in);
    auto at = [&](long long i) -> char { return i < static_cast<long long>(in_len) ? in[i] : '\0'; };

    // long long: twice the largest int must fit, and a long has 32 bits on armhf.
    long long start = 0, step = 2, bound = len;
    if (in_len >= 2 && in[0] == '0' && in[1] == '0') {
        start = 2;
        step = 4;
        bound = 2LL * len;
    }
    size_t n = 0;
    for (long long i = start; i < bound && n + 1 < out_size; i += step)
        out[n++] = hexToAscii(at(i), at(i + 1));
    out[n] = '\0';
}

void encodehex(const char* in, int len, char* out, size_t out_size)
{
    if (out_size == 0)
        return;
    size_t n = 0;
    for (int i = 0; i < len && n + 2 < out_size; i++) {
        unsigned char byte = static_cast<unsigned char>(in[i]);
        snprintf(out + n, 2, "%01X", byte >> 4);
        snprintf(out + n + 1, 2, "%01X", byte & 0x0F);
        n += 2;
    }
    out[n] = '\0';
}

bool starts_with(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

int stored(int len, size_t size)
{
    if (len < 0 || size == 0)
        return 0;
    return static_cast<size_t>(len) < size ? len : static_cast<int>(size - 1);
}

void upper(char* temp, int len)
{
    for (int i = 0; i < len; i++)
        temp[i] = static_cast<char>(toupper(static_cast<unsigned char>(temp[i])));
}

size_t copy_bounded(char* dst, size_t dst_size, const char* src)
{
    if (dst_size == 0)
        return 0;
    size_t n = strnlen(src, dst_size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}
