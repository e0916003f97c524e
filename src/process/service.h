// Readiness, liveness and a status line for the service manager (systemd's
// notification protocol through libsystemd). Outside systemd NOTIFY_SOCKET is
// unset and every call here does nothing.
#pragma once
#include <atomic>
#include <cstddef>
#include <ctime>

// READY=1 with the status line: the worker threads run.
void service_ready();
// WATCHDOG=1 with the status line: the beacon loop still turns.
void service_alive();
// STOPPING=1: the gateway is on its way out.
void service_stopping();
