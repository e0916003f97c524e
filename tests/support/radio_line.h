// The radio's serial line in unit tests: a pipe whose write end is the
// daemon's serport, and the pseudo-terminal the tools open.
#pragma once
#include <string>

#include "escape.h" // hex_bytes: the tools' coding, not the gateway's
#include "pty.h"    // pty_open: the radio's pseudo-terminal, as the tools open it

// Makes serport the write end of a pipe standing in for the radio's serial
// line and returns the read end (the caller closes both). A pipe, not a
// socket: one-byte writes would fill a socket's buffer with per-write
// overhead long before a long PDU is through.
int radio_line_open();
// Everything written to the radio line since the last call.
std::string radio_line_read(int fd);
