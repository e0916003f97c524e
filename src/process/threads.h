// Starting the three worker threads.
#pragma once
#include <pthread.h>

extern pthread_t tserial_listener, treflector_listener, tsms_sender;

// Names a thread; Linux keeps 15 characters, so a longer name is cut to them
// ("treflector_listener" becomes "treflector_list").
void set_thread_name(pthread_t thread, const char* name);

// Starts serial_listener, reflector_listener and sms_sender and names them.
// Creation failures are ignored.
void start_worker_threads();
