// Shared set-up of the fuzz targets.
#include "fuzz_support.h"

#include <stdlib.h>
#include <sys/time.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/places.h"
#include "global.h"

namespace {

// Where the virtual clock stands: 05.12.2025 18:40:00 UTC, as in the unit tests.
constexpr time_t FUZZ_TIME = 1764960000;

std::string scratch_dir;

void remove_scratch_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(scratch_dir, ignored);
}

void no_sleep(long long)
{
}

void fixed_now(struct timeval* tv)
{
    tv->tv_sec = FUZZ_TIME;
    tv->tv_usec = 0;
}

// An hour after boot: a session reset at 0 is long enough ago for a position.
long long fixed_monotonic()
{
    return 3600LL * 1000000;
}

} // namespace

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

const char* fuzz_private_places()
{
    if (!scratch_dir.empty())
        return scratch_dir.c_str();
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/sdsbridge-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        perror(pattern.c_str());
        abort();
    }
    scratch_dir = pattern;
    atexit(remove_scratch_dir);
    places_in(scratch_dir.c_str());
    return scratch_dir.c_str();
}

void fuzz_virtual_time()
{
    setenv("TZ", "UTC", 1);
    tzset();
    clock_sleep_hook = no_sleep;
    clock_now_hook = fixed_now;
    clock_monotonic_hook = fixed_monotonic;
}

std::string fuzz_text(const unsigned char* bytes, size_t size)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}
