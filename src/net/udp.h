// The IPv4 datagram chores every UDP user of the gateway shares: addresses,
// bound sockets, the one reflector socket, and the life of a receive thread.
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>

// The gateway's one reflector socket, bound to 0.0.0.0:5230 by the reflector
// thread; every thread sends its datagrams from it. -1 until the thread has
// created it, and for good if that failed.
extern std::atomic<int> reflector_listener_controlsock;

// Fills addr afresh: family AF_INET, port in network byte order, address from dotted text.
void ipv4_address(struct sockaddr_in* addr, const char* ip, int port);

// Creates an IPv4 datagram socket and binds it to ip:port. Returns the
// descriptor, or -1 (errno as socket left it) when no socket could be created.
// A failed bind (port in use) is logged with the address and the system's
// reason; the socket is returned all the same, as it still sends.
int udp_socket_bound(const char* ip, int port);

// Receives one datagram (blocking) into buf, at most size bytes, and its
// sender into from. Returns the byte count, or -1 when the receive failed.
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

// Creates and binds the thread's socket, logging as the thread does. Returns
// 1 when a socket exists afterwards, 0 when creation failed.
int udp_thread_open(const struct udp_thread& thread);

// Thread body of a receive thread: open, then one step per pass until the
// gateway stops. Returns when creation failed.
void udp_thread_run(const struct udp_thread& thread);
