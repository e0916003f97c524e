// Loopback sockets in place of the reflector and local programs: ephemeral
// ports on 127.0.0.1, never the station's 5230 and 54001.
#pragma once
#include <string>

// Binds a UDP socket on 127.0.0.1 with an ephemeral port; returns the fd and
// stores the port. A blocking receive on it gives up after timeout_ms.
int udp_listener(int* port, int timeout_ms = 200);
// The next datagram waiting at fd, received bytes exactly; "" at once when
// none is waiting.
std::string next_datagram(int fd);

// Points the daemon's reflector socket and destination at a fresh listener
// on loopback; returns the listener's fd (close with reflector_stub_close).
int reflector_stub_open();
void reflector_stub_close(int listener);
