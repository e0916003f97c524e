// Whether the worker threads still make progress, for the service manager's
// watchdog. A worker is alive while it waits for input (a radio line, a
// datagram, a weather request, its turn on the serial line), or while it has
// been inside one step for no longer than the longest step its configuration
// allows. A step is one radio line and what it triggers, one datagram and its
// transfer, one transfer of the serial thread's own, or one weather query.
#pragma once
// At most this many workers are watched.
constexpr int LIVENESS_MAX_WORKERS = 8;

// Watches the calling thread under name from now on; longest_step_s bounds
// one of its steps. Returns 1, or 0 when every slot is taken (not watched).
int liveness_register(const char* name, int longest_step_s);

// The calling worker begins a step now (the clock seam's monotonic time).
void liveness_step_begin();
// The calling worker waits for input; a hang cannot be blamed on it meanwhile.
void liveness_waiting();

// The first worker that has been inside one step for longer than its bound
// at now_s (seconds on the monotonic clock, as clock_monotonic_s gives):
// 1 with its name, the seconds inside the step and the bound; 0 when every
// worker is alive.
int liveness_hung(long long now_s, const char** name, int* inside_s, int* bound_s);

// Forgets every worker (tests).
void liveness_reset();
