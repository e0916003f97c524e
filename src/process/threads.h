// Starting the worker threads.
#pragma once
#include <pthread.h>

extern pthread_t tserial_listener, treflector_listener, tsms_sender, treflector_dns;

// What came of the start-up, for the service manager: each UDP port's bind
// (0: bound, else the errno; -1: no socket at all) and the radio port's first
// open (serial_first_open: 1 open, else the errno negated; 0 when the gateway
// stopped before it was tried).
struct startup_outcome {
    int reflector_bind;
    int local_bind;
    int radio_open;
};

// Opens the reflector and local request sockets, so every thread that sends
// on them finds them made; then starts serial_listener, reflector_listener,
// sms_sender, the weather worker and the reflector's lookup thread and names
// them (creation failures are ignored; a weather request tries its worker
// again); then waits until the serial thread has tried to open the radio
// port, or the gateway stops.
struct startup_outcome start_worker_threads();
