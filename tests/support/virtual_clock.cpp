// Virtual clock for unit tests.
#include "support/virtual_clock.h"

#include <atomic>
#include <mutex>

#include "global.h"

namespace {
std::atomic<long long> now_us{0};
std::mutex observer_lock;
std::function<void(long long)> observer;

void virtual_sleep(long long microseconds)
{
    if (microseconds > 0)
        now_us += microseconds;
    std::function<void(long long)> call;
    {
        std::lock_guard<std::mutex> lock(observer_lock);
        call = observer;
    }
    if (call)
        call(microseconds);
}

void virtual_now(struct timeval* tv)
{
    long long us = now_us.load();
    tv->tv_sec = static_cast<time_t>(us / 1000000);
    tv->tv_usec = static_cast<suseconds_t>(us % 1000000);
}
} // namespace

void virtual_clock_install(time_t start)
{
    now_us = static_cast<long long>(start) * 1000000;
    clock_sleep_hook = virtual_sleep;
    clock_now_hook = virtual_now;
}

void virtual_clock_uninstall()
{
    clock_sleep_hook = nullptr;
    clock_now_hook = nullptr;
    std::lock_guard<std::mutex> lock(observer_lock);
    observer = nullptr;
}

long long virtual_clock_now_us()
{
    return now_us.load();
}

void virtual_clock_advance_us(long long microseconds)
{
    now_us += microseconds;
}

void virtual_clock_on_sleep(std::function<void(long long slept_us)> fn)
{
    std::lock_guard<std::mutex> lock(observer_lock);
    observer = std::move(fn);
}
