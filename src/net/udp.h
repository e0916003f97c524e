// The two IPv4 socket chores every UDP user of the gateway shares.
#pragma once
#include <netinet/in.h>

// Fills addr afresh: family AF_INET, port in network byte order, address from dotted text.
void ipv4_address(struct sockaddr_in* addr, const char* ip, int port);

// Creates an IPv4 datagram socket and binds it to ip:port. Returns the
// descriptor, or -1 (errno as socket left it) when no socket could be created.
// A failed bind (port in use) is logged with the address and the system's
// reason; the socket is returned all the same, as it still sends.
int udp_socket_bound(const char* ip, int port);
