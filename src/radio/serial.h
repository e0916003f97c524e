// The serial PEI link to the radio: port state, the OK/ERROR handshake flags,
// the port set-up, line assembly and reading, and the two primitives of a
// command exchange.
#pragma once
#include <termios.h>

#include <atomic>
#include <cstddef>

extern char piport[51];          // device path, from SYS_SERPORT
extern int pibaudrate;           // line speed, from SYS_SERBAUD
extern std::atomic<int> serport; // descriptor of the open port, negative when closed

// Raised by the serial thread for a line beginning "OK" / "ERROR" or "+CME ERROR";
// cleared by every write_ser and by the wait_ok that finds them.
extern std::atomic<bool> got_ser_ok;
extern std::atomic<bool> got_ser_error;

// What came of the port's first open at start-up: 0 before it was tried, 1
// when the device opened, else the open's errno, negated. The service
// manager is told the gateway is ready only once it was tried.
extern std::atomic<int> serial_first_open;

// Clears both flags, then writes cmd one byte per call up to and including its
// first CR or Ctrl-Z (or up to its NUL, if it has neither). A failed write ends
// the command. Returns the number of bytes written.
int write_ser(const char* cmd);

// Waits for the radio's answer: up to 20 polls of 50 ms, ending at the first
// poll that finds either flag (both are then cleared). Says nothing of the outcome.
void wait_ok();

// Speed code for a line speed in bit/s; 1 and the code in *speed when the
// platform has one, 0 (and *speed untouched) otherwise.
int baud_to_speed(int bits_per_second, speed_t* speed);

// Makes the open port fd 8N1, receiver on, modem lines ignored, no flow
// control, raw, at bits_per_second (9600 when the platform has no code for
// it, said on the console); then discards the input already queued and
// applies the record at once. Each failed call is logged and the set-up goes
// on. Returns 1 when the port took the set-up, 0 when a call failed. The
// gateway's port and the recorder's radio port (tools/player) share it.
int port_configure(int fd, int bits_per_second);

// The port's set-up, reopen and close. Each is a sequence on the serial line
// like a transfer: the caller has the line to itself (radio/turns.h), so no
// sender ever writes to a descriptor number given to something else.

// Start-up of the port: copies SYS_SERPORT/SYS_SERBAUD into piport/pibaudrate,
// opens the device (O_RDWR|O_NOCTTY) into serport and makes the line 8N1 raw at
// pibaudrate. Every failure is logged and the set-up goes on regardless; the
// outcome is kept in serial_first_open. Returns 1 when the device opened, 0
// when serport is negative.
int port_setup();

// Closes the port (if open) and opens and configures it again exactly as at
// start-up; a device that still cannot be opened gives one log line and no
// attribute errors. Returns 1 when open.
int port_reopen();

// Closes the port; serport becomes -1.
void port_close();

// Longest line the reader keeps, its CR included (the line buffer is one more).
constexpr int LINE_MAX_BYTES = 1023;

// Feeds one received byte into the line being assembled in line (size bytes,
// at least 2) at *position. LF is dropped; any other byte, NUL included, is
// stored followed by a NUL. Past size-2 bytes the excess is dropped, so a long
// line is cut but still ends in its CR. Returns 1 when the byte was the CR
// that completes the line, 0 otherwise.
int assemble_byte(char* line, size_t size, int* position, char byte);

// What a read of the radio's line brought.
enum read_result {
    READ_FAILED, // a read error ("Error reading: ...") or end of input ("Read nothing!"),
                 // both logged; the line begun is dropped
    READ_LINE,   // a whole line, ending in CR
    READ_NOT_YET // no whole line yet: the bytes of a line begun are kept for the next read
};

// Reads from serport, one byte per read, into the line being assembled, which
// is kept from one call to the next (and dropped when the port is closed or
// reopened). With wait_ms negative it waits until the line is whole. Else it
// waits up to wait_ms for a first byte and then takes only the bytes already
// there, at most LINE_MAX_BYTES + 1 of them: a line begun without its CR, or
// silence, never holds the caller longer. A whole line goes into line (size
// bytes, at least LINE_MAX_BYTES + 1), zero-filled behind it. A read or wait
// interrupted by a signal is no failure.
int read_line(char* line, size_t size, int wait_ms);
