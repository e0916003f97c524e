// Virtual clock for unit tests.
#include "support/virtual_clock.h"

#include "global.h"

namespace {
constexpr long long START_US = VIRTUAL_START * 1000000LL;
std::atomic<long long> now_us{START_US};
// Set only while no daemon thread sleeps; called from the sleeping threads.
std::function<void(long long)> observer;

void virtual_sleep(long long microseconds)
{
    if (microseconds > 0)
        now_us += microseconds;
    if (observer)
        observer(microseconds);
}

void virtual_now(struct timeval* tv)
{
    long long us = now_us.load();
    tv->tv_sec = static_cast<time_t>(us / 1000000);
    tv->tv_usec = static_cast<suseconds_t>(us % 1000000);
}

// The monotonic clock reads the same as the wall clock: tests may compare
// either with VIRTUAL_START.
long long virtual_monotonic()
{
    return now_us.load();
}

struct tm utc_time(int seconds)
{
    time_t when = VIRTUAL_START + seconds;
    struct tm tm;
    gmtime_r(&when, &tm);
    return tm;
}
} // namespace

void virtual_clock_install()
{
    setenv("TZ", "UTC", 1);
    tzset();
    now_us = START_US;
    clock_sleep_hook = virtual_sleep;
    clock_now_hook = virtual_now;
    clock_monotonic_hook = virtual_monotonic;
}

void virtual_clock_uninstall()
{
    clock_sleep_hook = nullptr;
    clock_now_hook = nullptr;
    clock_monotonic_hook = nullptr;
    observer = nullptr;
}

long long virtual_clock_elapsed_us()
{
    return now_us.load() - START_US;
}

void virtual_clock_advance_us(long long microseconds)
{
    now_us += microseconds;
}

void virtual_clock_on_sleep(std::function<void(long long slept_us)> fn)
{
    observer = std::move(fn);
}

std::string console_prefix(int seconds)
{
    struct tm tm = utc_time(seconds);
    char text[40];
    strftime(text, sizeof text, "<%d.%m.%y %H:%M:%S> ", &tm);
    return text;
}

std::string report_time(int seconds)
{
    struct tm tm = utc_time(seconds);
    char text[40];
    strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &tm);
    return text;
}
