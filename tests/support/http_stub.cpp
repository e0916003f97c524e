// Loopback HTTP server for the weather tests.
#include "support/http_stub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

int bound_socket(int* port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<struct sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

// Reads up to the blank line that ends the request headers (a GET has no body).
std::string read_request(int fd)
{
    struct timeval tv = {2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string request;
    char buf[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t got = recv(fd, buf, sizeof buf, 0);
        if (got <= 0)
            break;
        request.append(buf, static_cast<size_t>(got));
    }
    return request;
}

void serve(http_stub* stub)
{
    while (!stub->stopping) {
        int client = accept(stub->listener, nullptr, nullptr);
        if (client < 0)
            break;
        std::string request = read_request(client);
        {
            std::lock_guard<std::mutex> guard(stub->lock);
            stub->last_request = request;
        }
        send(client, stub->response.data(), stub->response.size(), MSG_NOSIGNAL);
        close(client);
    }
}

} // namespace

void http_stub_start(http_stub* stub, const std::string& body, int status)
{
    char head[200];
    snprintf(head, sizeof head,
             "HTTP/1.1 %d Canned\r\nContent-Type: application/json; charset=utf-8\r\n"
             "Content-Length: %zu\r\nConnection: close\r\n\r\n",
             status, body.size());
    stub->response = std::string(head) + body;
    stub->listener = bound_socket(&stub->port);
    listen(stub->listener, 4);
    stub->server = std::thread(serve, stub);
}

void http_stub_stop(http_stub* stub)
{
    stub->stopping = true;
    shutdown(stub->listener, SHUT_RDWR); // wakes the blocked accept
    if (stub->server.joinable())
        stub->server.join();
    close(stub->listener);
    stub->listener = -1;
}

std::string http_stub_last_request(http_stub* stub)
{
    std::lock_guard<std::mutex> guard(stub->lock);
    return stub->last_request;
}

int http_refusing_socket(int* port)
{
    return bound_socket(port);
}
