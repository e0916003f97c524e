// Worker thread start-up.
#include "process/threads.h"

#include "events/serial_listener.h"
#include "net/reflector_listener.h"
#include "net/sms_sender.h"
#include "util/thread_start.h"

pthread_t tserial_listener, treflector_listener, tsms_sender;

void start_worker_threads()
{
    start_thread(&tserial_listener, serial_listener, "serial_listener");
    start_thread(&treflector_listener, reflector_listener, "treflector_listener");
    start_thread(&tsms_sender, sms_sender, "tsms_sender");
}
