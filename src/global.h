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
extern std::atomic<time_t> reflector_heard_at;   // last datagram from REFLECTOR_IP, 0: none yet

// The fault log stream ("error.txt"), open only while one entry is written.
extern FILE* statusfp;

// Sleep the calling thread; all waits of the daemon go through these.
void sleep_us(long long microseconds);
void sleep_s(int seconds);

// Current wall-clock time, to the second and to the microsecond.
time_t clock_time();
void clock_now(struct timeval* tv);

// The seam itself: null means the real clock. Tests point these at a virtual
// clock so that the OK/ERROR waits, the beacon schedule and the timestamps run
// instantly and exactly. Set them only while no daemon thread runs.
extern void (*clock_sleep_hook)(long long microseconds);
extern void (*clock_now_hook)(struct timeval* tv);
