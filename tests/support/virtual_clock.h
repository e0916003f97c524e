// A virtual clock behind the daemon's time seam: sleeps return at once and
// advance the time, so waits and schedules are tested instantly and exactly.
// It drives both the wall clock and the monotonic clock.
#pragma once
#include <ctime>
#include <functional>
#include <string>

// Where the virtual clock starts: 05.12.2025 18:40:00 UTC.
constexpr time_t VIRTUAL_START = 1764960000;

// Installs the clock at VIRTUAL_START and sets TZ=UTC, so the daemon's local
// times read as the texts of console_prefix and report_time.
void virtual_clock_install();
// Restores the real clock and forgets the sleep observer.
void virtual_clock_uninstall();
// The virtual clock for the lifetime of a scope or a fixture.
struct virtual_clock_scope {
    virtual_clock_scope()
    {
        virtual_clock_install();
    }
    ~virtual_clock_scope()
    {
        virtual_clock_uninstall();
    }
};
// Virtual time passed since the clock was installed, in microseconds.
long long virtual_clock_elapsed_us();
// Moves the virtual time forward without a sleep.
void virtual_clock_advance_us(long long microseconds);
// Called after every virtual sleep with its length, from the sleeping thread;
// set it while no other thread sleeps.
void virtual_clock_on_sleep(std::function<void(long long slept_us)> observer);

// The console prefix "<05.12.25 18:40:00> " and the report time
// "05.12.2025 18:40:00" of the instant seconds after VIRTUAL_START, formatted
// here from gmtime, apart from the daemon's own formatting.
std::string console_prefix(int seconds = 0);
std::string report_time(int seconds = 0);
