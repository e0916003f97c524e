// Starting the three worker threads.
#pragma once
#include <pthread.h>

extern pthread_t tserial_listener, treflector_listener, tsms_sender;

// Starts serial_listener, reflector_listener and sms_sender and names them.
// Creation failures are ignored.
void start_worker_threads();
