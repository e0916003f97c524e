// The local SDS request port 127.0.0.1:54001.
#pragma once
#include <atomic>

// -1 until main has created the socket, and for good if that failed.
extern std::atomic<int> sms_sender_controlsock;

// One pass of the request loop on sock: receives one datagram (blocking) and
// sends its text as a personal SDS to its ISSI field. Returns 1 when a
// transfer was made; 0 for a failed receive or an ISSI field that is no
// identity (digits, blank-padded), which is logged and never reaches the radio.
int sms_sender_step(int sock);

// Creates the socket on 127.0.0.1:54001 before the thread starts. Returns 0
// when bound, the bind's errno when it cannot receive, -1 when there is none.
int sms_sender_open();

// Thread body; dummy is unused. Receives on the socket opened before.
void* sms_sender(void* dummy);
