// The reflector side: the gateway's one UDP socket, bound to 0.0.0.0:5230.
// Every thread sends its datagrams from it; this thread receives on it.
#pragma once
#include <atomic>

// -1 until the reflector thread has created the socket, and for good if that failed.
extern std::atomic<int> reflector_listener_controlsock;

// Creates and binds the socket (start steps), logging as the thread does.
// Returns 1 when a socket exists afterwards, 0 when creation failed.
int reflector_socket_open();

// One pass of the receive loop on sock: receives one datagram (blocking),
// drops it unread when REFLECTOR_ONLY is on and it is not from REFLECTOR_IP,
// else logs a "::" datagram and sends the SDS it asks for (a personal one only
// to an ISSI of digits). Returns 1 when an SDS was sent, 0 when the datagram
// was dropped.
int reflector_listener_step(int sock);

// Thread body; dummy is unused.
void* reflector_listener(void* dummy);
