// A small HTTP server on loopback standing in for the current-weather
// service: every request gets the same canned answer.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

struct http_stub {
    int listener = -1;
    int port = 0;                 // ephemeral port on 127.0.0.1
    std::string response;         // status line, headers and body, sent whole
    std::thread server;
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::string last_request;     // request line and headers of the latest request
};

// Starts serving body with the given HTTP status on 127.0.0.1:<stub->port>.
void http_stub_start(http_stub* stub, const std::string& body, int status = 200);
// Stops the server thread and closes the socket.
void http_stub_stop(http_stub* stub);
// The request line and headers of the latest request ("" when none came).
std::string http_stub_last_request(http_stub* stub);

// A socket bound on 127.0.0.1 that never listens, so connections to its port
// are refused while it stays open; returns the fd (close it after the test).
int http_refusing_socket(int* port);
