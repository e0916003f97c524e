// Console logging: the timestamp prefixes and whole-line writes to stdout.
// Several threads log at once, so every line is formatted first and then
// handed on whole. Once main starts the console queue, a line that stdout
// cannot take at once waits in it for one writer thread, and every later line
// behind it: a log reader that stalls (a terminal paused with Ctrl-S, a stuck
// pipe) then blocks only that thread, never the radio path.
#pragma once
#include <sys/time.h>

#include <cstddef>
#include <cstdio>

// Room for any of the time texts below (19 to 23 characters and the NUL).
constexpr int REPORT_TIME_SIZE = 24;

// Console time prefix "<%d.%m.%y %H:%M:%S>" (local time), into buf.
void format_console_time(char* buf, size_t size);
// Report time "%d.%m.%Y %H:%M:%S" (19 characters), used in every report datagram.
void format_report_time(char* buf, size_t size);
// "%d.%m.%y %H:%M:%S.%03d " for the given instant: milliseconds rounded to the
// nearest, a result of 1000 carried into the next second.
void format_timestamp_ms(const struct timeval* tv, char* buf, size_t size);

// The console prefix alone: bracketed time and one blank. The daemon's own
// lines use log_ts, which writes the prefix and the text in one piece.
void printf_timestamp();
// The bracketed time, without the blank, to the stream fr.
void fprintf_timestamp(FILE* fr);
// The millisecond variant of the prefix (no brackets).
void printf_timestamp_ms();

// One console line (or several, written as one piece) behind the prefix.
void log_ts(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same without the prefix.
void log_raw(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// log_ts for a failure of the gateway's own: a bind, open or write error.
void log_failure(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// log_ts for input refused or dropped: from the radio, the network or a file.
void log_refusal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same two without the prefix.
void log_raw_failure(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_raw_refusal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Make stdout line-buffered even when it is a pipe or a file, and find out
// whether it is the journal: when JOURNAL_STREAM names stdout's device and
// inode, every line gets a syslog priority prefix, "<3>" for log_failure,
// "<4>" for log_refusal, "<6>" for the rest, so the journal can tell them
// apart. Elsewhere the bytes are the lines alone.
void console_init();
// Whether lines carry the priority prefix.
bool console_to_journal();

// Starts the writer thread. From then on a line is written by the thread that
// logs it while stdout takes it without waiting (a pipe with room, a socket, a
// file; never a terminal), and otherwise waits, with every later line until
// the queue is empty again, in a queue of about 256 KiB. While it is full, new lines are counted and dropped, and a
// line "N log lines dropped" takes their place once there is room. Until it is started (and in unit tests) every line
// is written at once. Returns 1 when the writer runs, 0 when it could not be started (lines are then written at once).
int console_queue_start();

// Writes everything queued, lines logged meanwhile included, and ends the
// writer; later lines are written at once. Called by main before it exits.
// A stalled reader must not hold the stop up: after CONSOLE_DRAIN_MS it gives
// up, the queued lines are dropped, and the count of lines not written goes
// to stderr when that is another file and takes it at once. The writer ends
// at the end of the lines in hand: when a reader that is only slow takes them
// soon, each later line (the stop's last one) is still tried for a moment;
// else later lines are dropped. Returns the count of lines not written (0
// when everything was).
constexpr int CONSOLE_DRAIN_MS = 500;
unsigned long console_queue_drain();
