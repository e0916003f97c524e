// Stand-ins and probes for unit tests: console capture, loopback sockets in
// place of the reflector, a pipe or a pseudo-terminal in place of the radio,
// scratch files, and saving the daemon's globals around a test.
#pragma once
#include <cstring>
#include <string>

#include "escape.h" // hex_bytes: the tools' coding, not the gateway's
#include "pty.h"    // pty_open: the radio's pseudo-terminal, as the tools open it

// Starts sending stdout to a scratch file.
void capture_stdout_begin();
// Restores stdout and returns everything printed since capture_stdout_begin.
std::string capture_stdout_end();

// Binds a UDP socket on 127.0.0.1 with an ephemeral port; returns the fd and
// stores the port. A blocking receive on it gives up after timeout_ms.
int udp_listener(int* port, int timeout_ms = 200);
// The next datagram waiting at fd, received bytes exactly; "" at once when
// none is waiting.
std::string udp_receive(int fd);

// Points the daemon's reflector socket and destination at a fresh listener
// on loopback; returns the listener's fd (close with reflector_stub_close).
int reflector_stub_open();
void reflector_stub_close(int listener);

// Makes serport the write end of a pipe standing in for the radio's serial
// line and returns the read end (the caller closes both). A pipe, not a
// socket: one-byte writes would fill a socket's buffer with per-write
// overhead long before a long PDU is through.
int radio_line_open();
// Everything written to the radio line since the last call.
std::string radio_line_read(int fd);

// Reads a whole file ("" when it does not exist).
std::string read_file(const std::string& path);

// Saves a global of the daemon and puts its value back at the end of the
// scope, so each test leaves the globals as it found them:
//     saved_global keep(DTMF_CTRL_FILE); DTMF_CTRL_FILE = path;
template <typename T> struct saved_global {
    T& global;
    T value;
    explicit saved_global(T& g) : global(g), value(g)
    {
    }
    ~saved_global()
    {
        global = value;
    }
};
template <size_t N> struct saved_global<char[N]> {
    char (&global)[N];
    char value[N];
    explicit saved_global(char (&g)[N]) : global(g)
    {
        memcpy(value, g, N);
    }
    ~saved_global()
    {
        memcpy(global, value, N);
    }
};
