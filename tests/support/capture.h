// Captures what the daemon's functions print on stdout, and a UDP socket on
// loopback that stands in for the reflector in unit tests.
#pragma once
#include <string>

// Starts sending stdout to a scratch file.
void capture_stdout_begin();
// Restores stdout and returns everything printed since capture_stdout_begin.
std::string capture_stdout_end();

// Binds a socket of type (SOCK_DGRAM, SOCK_STREAM) on 127.0.0.1 with an
// ephemeral port; returns the fd and stores the port.
int loopback_socket(int type, int* port);
// Binds a UDP socket on 127.0.0.1 with an ephemeral port; returns the fd and
// stores the port. The socket has a receive timeout of timeout_ms.
int udp_listener(int* port, int timeout_ms = 200);
// One datagram from fd, or "" after the timeout (received bytes exactly).
std::string udp_receive(int fd);
// One datagram from fd if one is waiting, else "" at once.
std::string udp_receive_now(int fd);
// Sends text to 127.0.0.1:port from a fresh socket.
void udp_send(int port, const std::string& text);

// Points the daemon's reflector socket and destination at a fresh listener
// on loopback; returns the listener's fd (close with reflector_stub_close).
int reflector_stub_open();
void reflector_stub_close(int listener);

// Reads a whole file ("" when it does not exist).
std::string read_file(const std::string& path);
