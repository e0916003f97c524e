// Process-wide state shared by every thread, and the one seam through which
// the daemon reads the clock and sleeps (tests swap in a virtual clock).
#pragma once
#include <sys/time.h>

#include <atomic>
#include <cstdio>
#include <ctime>

// True until a hangup, interrupt or quit signal asks the gateway to stop.
// Every loop of the program tests it once per pass.
extern std::atomic<bool> keep_running;

// What the service status line counts; written by the worker threads.
extern std::atomic<unsigned> sds_sent_count;     // text SDS transfers written to the radio
extern std::atomic<unsigned> sds_received_count; // SDS headers ("+CTSDSR:") read from the radio
// Last datagram from REFLECTOR_IP, in seconds on the monotonic clock; 0: none yet.
extern std::atomic<long long> reflector_heard_at;

// The fault log stream ("error.txt"), open only while one entry is written.
extern FILE* statusfp;

// Sleep the calling thread; all waits of the daemon go through these.
void sleep_us(long long microseconds);
void sleep_s(int seconds);

// Current wall-clock time, to the second and to the microsecond: only for
// times the gateway prints or sends. A board without a real-time clock steps
// it at boot, by hours or decades, so no interval is measured on it.
time_t clock_time();
void clock_now(struct timeval* tv);

// Elapsed time: the monotonic clock (CLOCK_MONOTONIC), in microseconds and in
// whole seconds, for every interval the gateway measures (the position report
// limit, worker liveness, log throttles, "N s ago"). Never stepped; it stands
// still while the board is suspended, as the service manager's watchdog clock
// does, so a suspend never makes a worker look hung. 64 bits on every board.
long long clock_monotonic_us();
long long clock_monotonic_s();

// The seam itself: null means the real clock. Tests point these at a virtual
// clock so that the OK/ERROR waits, the beacon schedule and the timestamps run
// instantly and exactly. Set them only while no daemon thread runs.
extern void (*clock_sleep_hook)(long long microseconds);
extern void (*clock_now_hook)(struct timeval* tv);
extern long long (*clock_monotonic_hook)();
