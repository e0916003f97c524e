// Shared checks and console of the fuzz targets.
#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <cstring>

void fuzz_check(bool ok, const char* what)
{
    if (ok)
        return;
    fprintf(stderr, "fuzz check failed: %s\n", what);
    abort();
}

void fuzz_quiet_console()
{
    if (getenv("SDSBRIDGE_FUZZ_LOG") == nullptr && freopen("/dev/null", "w", stdout) == nullptr)
        perror("/dev/null");
}

std::string fuzz_text(const unsigned char* bytes, size_t size)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}
