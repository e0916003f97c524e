// Worker thread start-up.
#include "process/threads.h"

#include "events/serial_listener.h"
#include "events/weather.h"
#include "global.h"
#include "net/reflector_listener.h"
#include "net/sms_sender.h"
#include "process/reflector_follow.h"
#include "radio/serial.h"
#include "util/thread_start.h"

pthread_t tserial_listener, treflector_listener, tsms_sender, treflector_dns;

namespace {
// How often main looks whether the radio port's first open has been tried.
constexpr long long OPEN_POLL_US = 10000;
} // namespace

struct startup_outcome start_worker_threads()
{
    struct startup_outcome outcome;
    outcome.reflector_bind = reflector_listener_open();
    outcome.local_bind = sms_sender_open();
    int serial_started = start_thread(&tserial_listener, serial_listener, "serial_listener");
    start_thread(&treflector_listener, reflector_listener, "treflector_listener");
    start_thread(&tsms_sender, sms_sender, "tsms_sender");
    weather_start();
    start_thread(&treflector_dns, reflector_lookup_thread, "treflector_dns");
    while ((outcome.radio_open = serial_first_open.load()) == 0 && serial_started && keep_running)
        sleep_us(OPEN_POLL_US);
    return outcome;
}
