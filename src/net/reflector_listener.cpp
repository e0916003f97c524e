// Reflector listener thread: owns the UDP socket on port 5230.
#include "net/reflector_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "config/config.h"
#include "global.h"
#include "process/console.h"

std::atomic<int> reflector_listener_controlsock{-1};

namespace {
constexpr int REFLECTOR_BUFFER_SIZE = 524; // longest datagram read from the reflector
}

int reflector_socket_open()
{
    log_ts("reflector_listener Start\n");
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    reflector_listener_controlsock = sock;
    if (sock < 0) {
        log_ts("Failed to create server socket2, errno=%d\n", errno);
        log_ts("reflector_listener() failed\n");
        return 0;
    }
    struct sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(SOCK_UDP_IP);
    local.sin_port = htons(static_cast<uint16_t>(SOCK_UDP_PORT));
    // A bind failure (port in use) leaves the socket usable for sending.
    bind(sock, reinterpret_cast<struct sockaddr*>(&local), sizeof local);
    return 1;
}

void* reflector_listener(void*)
{
    if (!reflector_socket_open())
        return nullptr;
    static char reflector_listener_buffer[REFLECTOR_BUFFER_SIZE + 1];
    while (keep_running) {
        struct sockaddr_in reflector_listener_srv;
        socklen_t srv_len = sizeof reflector_listener_srv;
        ssize_t got = recvfrom(reflector_listener_controlsock, reflector_listener_buffer, REFLECTOR_BUFFER_SIZE, 0,
                               reinterpret_cast<struct sockaddr*>(&reflector_listener_srv), &srv_len);
        reflector_listener_buffer[got > 0 ? got : 0] = '\0';
    }
    return nullptr;
}
