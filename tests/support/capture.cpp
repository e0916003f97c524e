// Console capture, loopback sockets, radio stand-ins and scratch files for unit tests.
#include "support/capture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "config/config.h"
#include "net/udp.h"
#include "radio/serial.h"

namespace {
int saved_stdout = -1;
char capture_path[] = "/tmp/sdsbridge-capture-XXXXXX";
char capture_file[sizeof capture_path];
} // namespace

void capture_stdout_begin()
{
    fflush(stdout);
    memcpy(capture_file, capture_path, sizeof capture_path);
    int fd = mkstemp(capture_file);
    saved_stdout = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string capture_stdout_end()
{
    fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    std::string text = read_file(capture_file);
    unlink(capture_file);
    return text;
}

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

std::string udp_receive(int fd)
{
    char buf[4096];
    ssize_t got = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    return got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
}

int reflector_stub_open()
{
    int port = 0;
    int listener = udp_listener(&port);
    snprintf(REFLECTOR_IP, sizeof REFLECTOR_IP, "127.0.0.1");
    REFLECTOR_PORT = port;
    reflector_listener_controlsock = socket(AF_INET, SOCK_DGRAM, 0);
    return listener;
}

void reflector_stub_close(int listener)
{
    close(reflector_listener_controlsock.exchange(-1));
    close(listener);
}

int radio_line_open()
{
    int ends[2] = {-1, -1};
    EXPECT_EQ(pipe(ends), 0);
    serport = ends[1];
    return ends[0];
}

std::string radio_line_read(int fd)
{
    std::string got;
    char buf[8192];
    struct pollfd pfd = {fd, POLLIN, 0};
    ssize_t n;
    while (poll(&pfd, 1, 0) > 0 && (n = read(fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    return got;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}
