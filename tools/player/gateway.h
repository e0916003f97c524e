// The gateway under test: its private network and mount namespace, the
// ports, files and services the player sets up around it, and its process.
#pragma once
#include <string>

#include "session.h"

constexpr int DEFAULT_REFLECTOR_PORT = 5220;

// A private network namespace (its own ports and loopback) and a private /tmp
// (its own control files), so a session never reaches a station's real voice
// gateway or competes for its ports. 1 on success, else 0 with the reason.
int isolate(std::string* why);

// A UDP socket bound to address:port (a loopback address), or -1 with the
// reason printed.
int bind_udp(const session& s, int port, const char* address = "127.0.0.1");

// The reflector's port as the session configures it.
int reflector_port(const session_spec& script);

// True once a UDP socket is bound to port in this network namespace.
bool udp_port_bound(int port);

// Whether the session's "requires" lines hold here; when not, the reason is
// stored in s->skipped.
bool requirements_met(session* s);

// Starts the gateway with the session's configuration, radio, held ports,
// notification socket, weather service and the voice gateway's terminals;
// false when something could not be set up (said on stdout where it is the
// session's own doing).
bool start_gateway(session* s);

// "clock": steps the gateway's wall clock by seconds (negative: back); its
// monotonic clock and its sleeps run on. False when the step cannot be written.
bool step_wall_clock(session* s, long long seconds);

// Without --gateway: opens the radio as the user's link and says how to
// start the gateway.
bool attach(session* s);

// Stops the gateway with SIGINT (a failure when it takes over 5 s), and any
// copy that detached itself, then reads what it wrote until it ended.
void stop_gateway(session* s);
