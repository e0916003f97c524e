// IPv4 addresses, bound datagram sockets and the receive threads' common life.
#include "net/udp.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "global.h"
#include "util/console.h"
#include "util/liveness.h"

std::atomic<int> reflector_listener_controlsock{-1};

void ipv4_address(struct sockaddr_in* addr, in_addr_t address, int port)
{
    memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_port = htons(static_cast<uint16_t>(port));
    addr->sin_addr.s_addr = address;
}

int udp_socket_bound(const char* ip, int port, int* bind_error)
{
    *bind_error = 0;
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0)
        return -1;
    struct sockaddr_in local;
    ipv4_address(&local, inet_addr(ip), port);
    // A port held by another program (a second gateway, a test left running)
    // leaves the socket deaf but still able to send: say so, and go on.
    if (bind(sock, reinterpret_cast<struct sockaddr*>(&local), sizeof local) != 0) {
        *bind_error = errno;
        log_failure("Cannot bind UDP %s:%d: %s\n", ip, port, strerror(*bind_error));
    }
    return sock;
}

long udp_receive(int sock, char* buf, size_t size, struct sockaddr_in* from)
{
    socklen_t from_len = sizeof *from;
    long got = recvfrom(sock, buf, size, 0, reinterpret_cast<struct sockaddr*>(from), &from_len);
    liveness_step_begin(); // one datagram and what it triggers
    return got;
}

int udp_thread_open(const struct udp_thread& thread)
{
    // Both threads log the same start line: log readers count on it.
    log_ts("reflector_listener Start\n");
    int bind_error;
    int sock = udp_socket_bound(thread.ip, thread.port, &bind_error);
    *thread.sock = sock;
    if (sock < 0) {
        int err = errno;
        log_failure("Failed to create server %s, errno=%d\n", thread.socket_name, err);
        log_failure("%s() failed\n", thread.thread_name);
        return -1;
    }
    return bind_error;
}

void udp_thread_run(const struct udp_thread& thread, const char* name, int longest_step_s)
{
    if (*thread.sock < 0)
        return;
    liveness_register(name, longest_step_s);
    while (keep_running) {
        liveness_waiting();
        thread.step(*thread.sock);
    }
}
