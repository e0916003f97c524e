// The reflector side: receives on the gateway's UDP socket on port 5230 and
// sends the SDS each "::" datagram asks for.
#pragma once

// One pass of the receive loop on sock: receives one datagram (blocking),
// drops it unread when REFLECTOR_ONLY is on and it is not from REFLECTOR_IP
// (every datagram while that is not known),
// else logs a "::" datagram and sends the SDS it asks for (a personal one only
// to an ISSI of digits). Returns 1 when an SDS was sent, 0 when the datagram
// was dropped.
int reflector_listener_step(int sock);

// Creates the reflector socket on 0.0.0.0:5230, before any thread that sends
// on it starts. Returns 0 when bound, the bind's errno when it only sends,
// -1 when there is none.
int reflector_listener_open();

// Thread body; dummy is unused. Receives on the socket opened before.
void* reflector_listener(void* dummy);
