// Starting the gateway's long-running threads.
#pragma once
#include <pthread.h>

// Starts body in a new thread named name (Linux keeps 15 characters, so a
// longer name is cut to them: "treflector_listener" becomes "treflector_list").
// The new thread blocks the stop signals (hangup, interrupt, quit, terminate):
// the kernel then hands them to the main thread, whose beacon loop wakes every
// second, and a worker's blocking read or write is never cut short by one.
// Returns 1 when the thread runs.
int start_thread(pthread_t* thread, void* (*body)(void*), const char* name);
