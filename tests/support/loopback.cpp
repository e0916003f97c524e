// Loopback listeners and the reflector stand-in.
#include "support/loopback.h"

#include "config/config.h"
#include "config/reflector_address.h"
#include "net/udp.h"

int udp_listener(int* port, int timeout_ms)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<struct sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    struct timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

std::string next_datagram(int fd)
{
    char buf[4096];
    ssize_t got = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    return got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
}

int reflector_stub_open()
{
    int port = 0;
    int listener = udp_listener(&port);
    REFLECTOR_IP = htonl(INADDR_LOOPBACK);
    REFLECTOR_PORT = port;
    reflector_listener_controlsock = socket(AF_INET, SOCK_DGRAM, 0);
    return listener;
}

void reflector_stub_close(int listener)
{
    close(reflector_listener_controlsock.exchange(-1));
    close(listener);
}
