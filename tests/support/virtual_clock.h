// A virtual clock behind the daemon's time seam: sleeps return at once and
// advance the time, so waits and schedules are tested instantly and exactly.
#pragma once
#include <ctime>
#include <functional>

// Installs the clock at start (seconds since the epoch, UTC in the tests).
void virtual_clock_install(time_t start = 1764960000); // 05.12.2025 18:40:00 UTC
// Restores the real clock and forgets the sleep observer.
void virtual_clock_uninstall();
// Virtual time in microseconds since the epoch.
long long virtual_clock_now_us();
// Moves the virtual time forward without a sleep.
void virtual_clock_advance_us(long long microseconds);
// Called after every virtual sleep with its length (from the sleeping thread).
void virtual_clock_on_sleep(std::function<void(long long slept_us)> observer);
