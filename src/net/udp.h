// The IPv4 datagram chores every UDP user of the gateway shares: addresses,
// bound sockets, the one reflector socket, and the life of a receive thread.
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>

// The gateway's one reflector socket, bound to 0.0.0.0:5230 by main before
// any thread starts; every thread sends its datagrams from it. -1 before
// that, and for good if its creation failed.
extern std::atomic<int> reflector_listener_controlsock;

// Fills addr afresh: family AF_INET, port and address in network byte order.
void ipv4_address(struct sockaddr_in* addr, in_addr_t address, int port);

// Creates an IPv4 datagram socket and binds it to ip:port. Returns the
// descriptor, or -1 (errno as socket left it) when no socket could be created.
// A failed bind (port in use) is logged with the address and the system's
// reason, and its errno kept in *bind_error (else 0); the socket is returned
// all the same, as it still sends.
int udp_socket_bound(const char* ip, int port, int* bind_error);

// Receives one datagram (blocking) into buf, at most size bytes, and its
// sender into from; the calling worker's step begins when it returns.
// Returns the byte count, or -1 when the receive failed.
long udp_receive(int sock, char* buf, size_t size, struct sockaddr_in* from);

// What tells the two receive threads apart: their address, where their socket
// is kept, the names in their failure lines, and one pass of their loop.
struct udp_thread {
    const char* ip;
    int port;
    std::atomic<int>* sock;  // where the socket is kept for other threads
    const char* socket_name; // "Failed to create server <socket_name>, errno=N"
    const char* thread_name; // "<thread_name>() failed"
    int (*step)(int sock);   // receives and serves one datagram
};

// Creates and binds the thread's socket before the thread starts, logging as
// the thread's start. Returns 0 when it is bound, the bind's errno when it
// exists but cannot receive (it still sends), -1 when none could be created.
int udp_thread_open(const struct udp_thread& thread);

// Thread body of a receive thread: one step per pass on the socket opened
// before, until the gateway stops. Returns at once when there is none. The
// watchdog knows the thread as name; longest_step_s bounds one datagram and
// its transfer.
void udp_thread_run(const struct udp_thread& thread, const char* name, int longest_step_s);
