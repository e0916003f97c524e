// Readiness, liveness and a status line for the service manager (systemd's
// notification protocol through libsystemd). Outside systemd NOTIFY_SOCKET is
// unset and every call here does nothing.
#pragma once
#include <atomic>
#include <cstddef>
#include <ctime>

// What the status line counts; written by the worker threads.
extern std::atomic<unsigned> sds_sent_count;     // text SDS transfers written to the radio
extern std::atomic<unsigned> sds_received_count; // SDS headers ("+CTSDSR:") read from the radio
extern std::atomic<time_t> reflector_heard_at;   // last datagram from REFLECTOR_IP, 0: none yet

// READY=1 with the status line: the worker threads run.
void service_ready();
// WATCHDOG=1 with the status line: the beacon loop still turns.
void service_alive();
// STOPPING=1: the gateway is on its way out.
void service_stopping();
