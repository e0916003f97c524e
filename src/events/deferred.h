// The serial thread's own transfers: the acknowledgement of a received text
// and the roaming reply. Another thread's transfer may hold the serial write
// lock while it waits for OKs that only the serial thread reads, so the
// serial thread never waits for the lock: a transfer that finds it busy waits
// here, in order, and the thread goes on reading until the lock is free.
#pragma once

// At most this many transfers wait; one more first sends the oldest, waiting
// for the lock as the gateway did before there was a queue.
constexpr int DEFERRED_MAX = 16;

// Sends now when nothing waits and the lock is free, else queues.
void serial_send_ack(const char* issi, const char* lfd);
void serial_send_pc(const char* issi, const char* text);

// Sends what waits, oldest first, while the lock is free at once. Returns
// true when nothing waits any more.
bool serial_send_deferred();
