// The serial thread: port set-up, then radio sessions (initialisation, then
// line after line through the dispatcher) until the gateway stops.
#include "events/serial_listener.h"

#include <cstring>

#include "events/dispatch.h"
#include "events/handlers.h"
#include "events/session.h"
#include "global.h"
#include "radio/serial.h"
#include "radio/turns.h"
#include "util/console.h"
#include "util/control_chars.h"
#include "util/liveness.h"

namespace {

// Passes in a row that got no line from the radio.
int failed_passes = 0;

// How long a pass waits for radio input while a sequence of ours waits for
// its turn on the line: the turn is taken at most this late.
constexpr int TURN_POLL_MS = 20;
// A failed pass pauses this long: a dead port then costs one log line a second.
constexpr int FAILED_PASS_PAUSE_S = 1;
// Failed reads in a row on an open port after which it is closed and reopened.
constexpr int REOPEN_AFTER_FAILURES = 3;

// The longest step: one radio line and what it triggers (a group text's 6 s
// hand-over to the voice gateway is the longest), or one sequence of ours.
int longest_step_s()
{
    int sequence = longest_sequence_s();
    return (sequence > GROUP_TEXT_DELAY_S ? sequence : GROUP_TEXT_DELAY_S) + STEP_SLACK_S;
}

// After a pass that got no line (failed_passes counts them, reset when a line
// arrives): pauses one second so a dead port cannot spin the CPU or flood the
// log, and reopens the port when it is closed or reads keep failing (an
// unplugged USB adapter comes back under its old name). Returns 1 when the
// port was opened anew, so the radio is initialised again.
int serial_recover()
{
    liveness_step_begin();
    sleep_s(FAILED_PASS_PAUSE_S);
    failed_passes++;
    if (serport.load() >= 0 && failed_passes < REOPEN_AFTER_FAILURES)
        return 0;
    failed_passes = 0;
    return serial_reopen_port();
}

// One pass: this thread's sequences whose turn has come, then one line from
// the radio through the dispatcher. While a sequence of ours still waits for
// its turn, only what the radio has already sent is read, and the turn is
// looked at again soon; else read_line blocks until a line comes.
void serial_pass()
{
    memset(data, 0, sizeof data);
    bool ours_wait = !serial_run_due();
    liveness_waiting();
    if (ours_wait && !serial_input_ready(TURN_POLL_MS)) {
        if (!keep_running)
            run = 0;
        return;
    }
    bool got = serport.load() >= 0 && read_line(data, sizeof data);
    liveness_step_begin();
    if (got) {
        failed_passes = 0;
        if (data[0] != CR)
            dispatch_line(data);
    } else if (keep_running && serial_recover()) {
        run = 0; // a reopened port may lead to a radio that was switched off
    }
    if (!keep_running)
        run = 0;
}

// A new radio session: what the old one leaves is settled, not dropped (a
// transmission in progress ends as a PTT-off would end it, and held forwards
// go out, since the radio will confirm none of them now); the state is reset
// at once; then the radio's initialisation takes its turn on the line. Lines
// read while it waits belong to the new session already, so a header and
// its payload are never parted by the reset.
void start_session()
{
    if (ptt == 1)
        handle_ptt_off();
    release_held_forwards();
    ptt = 0;
    CALL[0] = '\0';
    CALL_ID[0] = '\0';
    lastgps = clock_monotonic_s();
    sds = 0;
    msg = MSG_NONE;
    run = 1;
    serial_queue_init();
}

} // namespace

void* serial_listener(void*)
{
    log_raw("\033[0;33mStart serial_listener Modul  V0.01\033[0m\n");
    liveness_register("serial_listener", longest_step_s());
    serial_setup_port();
    run = 0;
    got_ser_ok = false;
    got_ser_error = false;
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
