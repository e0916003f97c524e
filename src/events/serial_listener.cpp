// The serial thread: port set-up, then radio sessions (initialisation, then
// line after line through the dispatcher) until the gateway stops.
#include "events/serial_listener.h"

#include <cstring>

#include "events/deferred.h"
#include "events/dispatch.h"
#include "events/handlers.h"
#include "events/session.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "radio/init.h"
#include "radio/serial.h"
#include "util/console.h"
#include "util/control_chars.h"

namespace {

// Passes in a row that got no line from the radio.
int failed_passes = 0;

// How long a pass waits for radio input while a transfer of this thread waits
// for the write lock.
constexpr int LOCK_POLL_MS = 50;

// The push slot: a reply the weather handler left for CALL_ID goes out through
// the local SDS request port, as if another program of the station asked for
// it. Returns 1 when the slot held one.
int push_slot_step()
{
    if (PushMessage[0] == '\0')
        return 0;
    // The request's ISSI field is seven characters wide: an eight-digit caller
    // would lend its last digit to the text and the reply would reach another radio.
    if (strlen(CALL_ID) > static_cast<size_t>(LOCAL_ISSI_WIDTH)) {
        log_ts("Reply to %s not sent: a local request carries at most 7 ISSI digits\n", CALL_ID);
        PushMessage[0] = '\0';
        return 1;
    }
    char PushMessageSend[2024];
    format_local_sds_request(PushMessageSend, sizeof PushMessageSend, CALL_ID, PushMessage);
    PushMessage[0] = '\0';
    send_to_local_port(PushMessageSend);
    return 1;
}

// One pass: the push slot first (a pass that serves it reads nothing), then
// this thread's transfers that wait for the write lock, else one line from the
// radio through the dispatcher.
void serial_pass()
{
    memset(data, 0, sizeof data);
    if (push_slot_step())
        return;
    // While a transfer of ours waits for the lock, read only what the radio has
    // already sent, and come back for the lock soon.
    if (!serial_send_deferred() && !serial_input_ready(LOCK_POLL_MS)) {
        if (!keep_running)
            run = 0;
        return;
    }
    if (serport.load() >= 0 && read_line(data, sizeof data)) {
        failed_passes = 0;
        if (data[0] != CR)
            dispatch_line();
    } else if (keep_running && serial_recover(&failed_passes)) {
        run = 0; // a reopened port may lead to a radio that was switched off
    }
    if (!keep_running)
        run = 0;
}

// What the old session leaves is settled, not dropped: a transmission in
// progress ends as a PTT-off would end it, and held forwards go out, since the
// radio will confirm none of them now.
void settle_session()
{
    if (ptt == 1)
        handle_ptt_off();
    release_held_forwards();
}

// A new radio session: initialise the radio, forget the last caller and any
// pending payload. Another thread's transfer may hold the write lock and wait
// for an OK that only this thread reads: keep reading until the lock is free.
void start_session()
{
    settle_session();
    while (!try_init_radio() && keep_running)
        if (serial_input_ready(LOCK_POLL_MS))
            serial_pass();
    settle_session();
    ptt = 0;
    CALL[0] = '\0';
    CALL_ID[0] = '\0';
    clock_now(&lastgps);
    sds = 0;
    msg = MSG_NONE;
    run = 1;
}

} // namespace

void* serial_listener(void*)
{
    log_raw("\033[0;33mStart serial_listener Modul  V0.01\033[0m\n");
    serial_setup_port();
    run = 0;
    got_ser_ok = false;
    got_ser_error = false;
    PushMessage[0] = '\0';
    failed_passes = 0;
    while (keep_running) {
        if (run == 0)
            start_session();
        while (run == 1)
            serial_pass();
    }
    serial_close_port();
    return nullptr;
}
