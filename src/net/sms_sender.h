// The local SDS request port 127.0.0.1:54001.
#pragma once
#include <atomic>

// -1 until the thread has created its socket, and for good if that failed.
extern std::atomic<int> sms_sender_controlsock;

// One pass of the request loop on sock: receives one datagram (blocking) and
// sends its text as a personal SDS to its ISSI field. Returns 1 when a
// transfer was made; 0 for a failed receive or an ISSI field that is no
// identity (digits, blank-padded), which is logged and never reaches the radio.
int sms_sender_step(int sock);

// Thread body; dummy is unused.
void* sms_sender(void* dummy);
