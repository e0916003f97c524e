// Who writes to the radio, and in what order. The PEI carries one command
// sequence at a time (an SDS transfer, an initialisation, the port's set-up,
// reopen or close), so that two sequences never interleave on the line and
// one sequence's wait is never ended by the answer to another's command.
//
// Sequences get the line in the order in which they asked for it: each asks
// by taking a ticket, and tickets are served first come, first served. The
// reflector and local request threads wait for their turn. The serial thread
// never waits: it alone reads the radio's OKs that the sequence in progress
// waits for, so its own sequences queue here with their tickets and it goes
// on reading the radio until their turn comes. Whatever it does meanwhile
// (half a line read, a pause), it looks at its turn often enough that a due
// sequence starts at most about TURN_POLL_MS late, so it never holds up the
// tickets behind its own.
#pragma once
#include <cstddef>

// --- the reflector and local request threads: blocking sends ---------------

// Personal text SDS to sourceid, written verbatim into AT+CMGS.
void send_sds_pc(const char* sourceid, const char* message);
// Group text SDS, addressed to identity 1.
void send_sds_gc(const char* message);
// SDS-REPORT for reference lfd (two characters as received) to issi.
void send_sds_ack(const char* issi, const char* lfd);

// --- the serial thread: sends that never block the reader -------------------

// Queue the serial thread's own sequences. Each takes its ticket at once and
// runs as soon as its turn comes: right here when the line is free, else
// from serial_run_due. At most SERIAL_QUEUE_MAX wait; one more first runs
// the oldest, waiting for its turn without reading the radio meanwhile.
constexpr int SERIAL_QUEUE_MAX = 16;
void serial_queue_ack(const char* issi, const char* lfd);
void serial_queue_pc(const char* issi, const char* text);
// The configured model's initialisation. Nothing for a model without one,
// and nothing when one already waits.
void serial_queue_init();

// Runs the queued sequences whose turn has come, oldest first. Returns true
// when none waits any more.
bool serial_run_due();

// How late the serial thread may take a due turn: while a sequence of its own
// waits, it never reads or pauses longer than this without looking.
constexpr int TURN_POLL_MS = 20;

// The serial thread's read of the radio (radio/serial.h read_line), between
// its turns: first the sequences whose turn has come run; then, while one
// still waits, only what the radio has already sent is read and the call
// returns within about TURN_POLL_MS, a line begun kept for the next call;
// else it waits for a whole line. Meanwhile the thread counts as waiting.
// READ_LINE with the line in line, READ_NOT_YET, or READ_FAILED (logged by
// the read; without a word when the port is closed, as nothing was read).
int serial_read(char* line, size_t size);

// A pause of the serial thread inside a step (a hand-over to the voice
// gateway, the pause after a failed read): seconds of sleep, none when 0 or
// less, during which its sequences still run as their turn comes. The sleep
// keeps its full length; a sequence run meanwhile adds its own.
void serial_pause_s(int seconds);

// The port's set-up, reopen and close (radio/serial.h) with the line to
// themselves. The serial thread's queued sequences keep their place: those
// whose turn comes first run meanwhile (or, once the gateway stops, are
// dropped), and the radio is not read while these wait.
int serial_setup_port();
int serial_reopen_port();
void serial_close_port();

// Seconds the longest sequence of this configuration can take: a transfer or
// the initialisation, every wait for an answer at its full second.
int longest_sequence_s();

// What a worker's step may take beyond its longest sequence or pause before
// the watchdog calls the worker hung: writing the longest PDU takes about a
// second at 9600 bit/s, and a busy board may be late by a few more.
constexpr int STEP_SLACK_S = 10;
