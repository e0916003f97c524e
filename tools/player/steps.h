// The steps of a session: what the radio, the reflector, local programs and
// the station's user do to the gateway.
#pragma once
#include <string>

#include "session.h"

// Sends text as a datagram from fd to 127.0.0.1:port.
void send_udp(int fd, int port, const std::string& text);

// Waits until the gateway has set up the radio's port (while it is plugged)
// and bound its UDP ports; false, with a failure of l, when it never does.
bool gateway_ready(session* s, const line_spec& l);

// Performs step l, repeated 1 ms apart (collecting meanwhile) for "repeat N".
void do_step(session* s, const line_spec& l);
