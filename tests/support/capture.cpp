// Console capture and loopback UDP helpers for unit tests.
#include "support/capture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "config/config.h"
#include "net/reflector_listener.h"

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

int loopback_socket(int type, int* port)
{
    int fd = socket(AF_INET, type, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<struct sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

int udp_listener(int* port, int timeout_ms)
{
    int fd = loopback_socket(SOCK_DGRAM, port);
    struct timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

std::string udp_receive(int fd)
{
    char buf[4096];
    ssize_t got = recv(fd, buf, sizeof buf, 0);
    return got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
}

std::string udp_receive_now(int fd)
{
    char buf[4096];
    ssize_t got = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    return got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
}

void udp_send(int port, const std::string& text)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    sendto(fd, text.data(), text.size(), 0, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
    close(fd);
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

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}
