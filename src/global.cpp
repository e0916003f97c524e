// Process-wide flags and the real clock behind the time seam.
#include "global.h"

#include <cerrno>

std::atomic<bool> keep_running{true};
FILE* statusfp = nullptr;
std::atomic<unsigned> sds_sent_count{0};
std::atomic<unsigned> sds_received_count{0};
std::atomic<long long> reflector_heard_at{0};

void (*clock_sleep_hook)(long long microseconds) = nullptr;
void (*clock_now_hook)(struct timeval* tv) = nullptr;
long long (*clock_monotonic_hook)() = nullptr;

void sleep_us(long long microseconds)
{
    if (clock_sleep_hook) {
        clock_sleep_hook(microseconds);
        return;
    }
    if (microseconds <= 0)
        return;
    struct timespec rest = {static_cast<time_t>(microseconds / 1000000),
                            static_cast<long>((microseconds % 1000000) * 1000)};
    // A signal interrupts nanosleep; finish the wait so a pause keeps its length.
    while (nanosleep(&rest, &rest) == -1 && errno == EINTR) {
    }
}

void sleep_s(int seconds)
{
    if (seconds > 0)
        sleep_us(static_cast<long long>(seconds) * 1000000);
}

void clock_now(struct timeval* tv)
{
    if (clock_now_hook) {
        clock_now_hook(tv);
        return;
    }
    gettimeofday(tv, nullptr);
}

time_t clock_time()
{
    struct timeval tv;
    clock_now(&tv);
    return tv.tv_sec;
}

long long clock_monotonic_us()
{
    if (clock_monotonic_hook)
        return clock_monotonic_hook();
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

long long clock_monotonic_s()
{
    return clock_monotonic_us() / 1000000;
}
