// IPv4 addresses, bound datagram sockets and the receive threads' common life.
#include "net/udp.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "global.h"
#include "util/console.h"

std::atomic<int> reflector_listener_controlsock{-1};

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

long udp_receive(int sock, char* buf, size_t size, struct sockaddr_in* from)
{
    socklen_t from_len = sizeof *from;
    return recvfrom(sock, buf, size, 0, reinterpret_cast<struct sockaddr*>(from), &from_len);
}

int udp_thread_open(const struct udp_thread& thread)
{
    // Both threads log the same start line: log readers count on it.
    log_ts("reflector_listener Start\n");
    int sock = udp_socket_bound(thread.ip, thread.port);
    *thread.sock = sock;
    if (sock < 0) {
        log_ts("Failed to create server %s, errno=%d\n", thread.socket_name, errno);
        log_ts("%s() failed\n", thread.thread_name);
        return 0;
    }
    return 1;
}

void udp_thread_run(const struct udp_thread& thread)
{
    if (!udp_thread_open(thread))
        return;
    while (keep_running)
        thread.step(*thread.sock);
}
