// IPv4 addresses and bound datagram sockets.
#include "net/udp.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "process/console.h"

void ipv4_address(struct sockaddr_in* addr, const char* ip, int port)
{
    memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_port = htons(static_cast<uint16_t>(port));
    addr->sin_addr.s_addr = inet_addr(ip);
}

int udp_socket_bound(const char* ip, int port)
{
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0)
        return -1;
    struct sockaddr_in local;
    ipv4_address(&local, ip, port);
    // A port held by another program (a second gateway, a test left running)
    // leaves the socket deaf but still able to send: say so, and go on.
    if (bind(sock, reinterpret_cast<struct sockaddr*>(&local), sizeof local) != 0)
        log_ts("Cannot bind UDP %s:%d: %s\n", ip, port, strerror(errno));
    return sock;
}
