// The serial line's turns: a ticket lock served first come, first served, and
// the queue of the serial thread's own sequences with their tickets.
#include "radio/turns.h"

#include <condition_variable>
#include <mutex>

#include "global.h"
#include "radio/init.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "util/issi.h"
#include "util/liveness.h"
#include "util/text.h"

namespace {

// --- the ticket lock -----------------------------------------------------------

std::mutex turn_lock; // guards the two counters
// now_serving moved on. Never destroyed: a thread may still wait for its turn
// when the process exits, and destroying a condition variable with a waiter
// blocks the exit for good.
std::condition_variable& turn_changed = *new std::condition_variable;
unsigned next_ticket = 0; // the ticket the next request takes
unsigned now_serving = 0; // the ticket whose sequence has the line

unsigned take_ticket()
{
    std::lock_guard<std::mutex> lock(turn_lock);
    return next_ticket++;
}

bool turn_is(unsigned ticket)
{
    std::lock_guard<std::mutex> lock(turn_lock);
    return now_serving == ticket;
}

// Waits until ticket or other (when has_other) is served; returns the one that is.
unsigned wait_turn(unsigned ticket, bool has_other, unsigned other)
{
    std::unique_lock<std::mutex> lock(turn_lock);
    turn_changed.wait(lock, [&] { return now_serving == ticket || (has_other && now_serving == other); });
    return now_serving;
}

void end_turn()
{
    std::lock_guard<std::mutex> lock(turn_lock);
    now_serving++;
    turn_changed.notify_all();
}

// A blocking sequence: waiting for the turn is waiting, not a step of this
// thread (the sequence in progress is the holder's step).
template <class Sequence> void in_turn(Sequence sequence)
{
    unsigned ticket = take_ticket();
    liveness_waiting();
    wait_turn(ticket, false, 0);
    liveness_step_begin();
    sequence();
    end_turn();
}

// --- the serial thread's queue ---------------------------------------------------

constexpr long long TURN_POLL_US = TURN_POLL_MS * 1000LL;

enum queued_kind { QUEUED_ACK, QUEUED_PC, QUEUED_INIT };

struct queued_sequence {
    unsigned ticket;
    queued_kind kind;
    char issi[ISSI_FIELD_SIZE];  // destination of a transfer
    char text[SDS_MAX_TEXT + 1]; // the text, or the ack's two reference characters
};

// Written and read by the serial thread only.
queued_sequence queue[SERIAL_QUEUE_MAX];
int queue_first = 0;
int queue_count = 0;
bool init_queued = false;

queued_sequence& front()
{
    return queue[queue_first];
}

// Runs the oldest queued sequence, whose turn has come, and ends the turn;
// with wait_after the thread counts as waiting before the next sequence can
// start, so none of that one's time is taken for this thread's step.
// Once the gateway stops, its turn is passed on unused: nothing would read
// the radio's answers any more.
void run_front(bool wait_after = false)
{
    queued_sequence& q = front();
    queue_first = (queue_first + 1) % SERIAL_QUEUE_MAX;
    queue_count--;
    liveness_step_begin();
    if (keep_running) {
        if (q.kind == QUEUED_ACK)
            sds_ack_sequence(q.issi, q.text);
        else if (q.kind == QUEUED_PC)
            sds_personal_sequence(q.issi, q.text);
        else
            init_sequence();
    }
    if (q.kind == QUEUED_INIT)
        init_queued = false;
    if (wait_after)
        liveness_waiting();
    end_turn();
}

// Waits, without reading the radio, until ticket is served; the queued
// sequences whose turn comes first run meanwhile. Waiting for the other
// threads' transfers is no step of this thread: only its own sequences are.
void serial_wait_turn(unsigned ticket)
{
    liveness_waiting();
    while (wait_turn(ticket, queue_count > 0, queue_count > 0 ? front().ticket : 0) != ticket)
        run_front(true);
    liveness_step_begin();
}

void enqueue(queued_kind kind, const char* issi, const char* text)
{
    if (queue_count == SERIAL_QUEUE_MAX) {
        serial_wait_turn(front().ticket);
        run_front();
    }
    queued_sequence& q = queue[(queue_first + queue_count) % SERIAL_QUEUE_MAX];
    q.ticket = take_ticket();
    q.kind = kind;
    copy_field(q.issi, issi);
    copy_field(q.text, text);
    queue_count++;
    serial_run_due();
}

// The port's own sequences: the line to themselves, in the serial thread's turn.
template <class Sequence> auto serial_exclusive(Sequence sequence)
{
    serial_wait_turn(take_ticket());
    auto result = sequence();
    end_turn();
    return result;
}

} // namespace

void send_sds_pc(const char* sourceid, const char* message)
{
    in_turn([&] { sds_personal_sequence(sourceid, message); });
}

void send_sds_gc(const char* message)
{
    in_turn([&] { sds_group_sequence(message); });
}

void send_sds_ack(const char* issi, const char* lfd)
{
    in_turn([&] { sds_ack_sequence(issi, lfd); });
}

void serial_queue_ack(const char* issi, const char* lfd)
{
    enqueue(QUEUED_ACK, issi, lfd);
}

void serial_queue_pc(const char* issi, const char* text)
{
    enqueue(QUEUED_PC, issi, text);
}

void serial_queue_init()
{
    if (!radio_needs_init() || init_queued)
        return;
    init_queued = true;
    enqueue(QUEUED_INIT, "", "");
}

bool serial_run_due()
{
    while (queue_count > 0 && turn_is(front().ticket))
        run_front();
    return queue_count == 0;
}

int serial_read(char* line, size_t size)
{
    bool ours_wait = !serial_run_due();
    liveness_waiting();
    if (serport.load() < 0)
        return READ_FAILED;
    return read_line(line, size, ours_wait ? TURN_POLL_MS : -1);
}

void serial_pause_s(int seconds)
{
    long long left = seconds > 0 ? static_cast<long long>(seconds) * 1000000 : 0;
    while (left > 0) {
        // Only this thread queues its sequences: with none waiting, none can
        // fall due during the rest of the pause.
        if (serial_run_due()) {
            sleep_us(left);
            return;
        }
        long long slice = left < TURN_POLL_US ? left : TURN_POLL_US;
        sleep_us(slice);
        left -= slice;
    }
}

int serial_setup_port()
{
    return serial_exclusive([] { return port_setup(); });
}

int serial_reopen_port()
{
    return serial_exclusive([] { return port_reopen(); });
}

void serial_close_port()
{
    serial_exclusive([] {
        port_close();
        return 0;
    });
}

int longest_sequence_s()
{
    int transfer = sds_longest_sequence_s();
    int init = init_commands();
    return transfer > init ? transfer : init;
}
