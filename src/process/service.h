// Readiness, liveness and a status line for the service manager (systemd's
// notification protocol through libsystemd). Outside systemd NOTIFY_SOCKET is
// unset and every call here does nothing.
#pragma once
#include <cstddef>

#include "process/threads.h"

// READY=1 with a status line that says what came of the start-up: both UDP
// ports and the radio port.
void service_ready(const struct startup_outcome& outcome);
// Once per beacon tick: WATCHDOG=1 with the status line at half the interval
// systemd gives (every 6 s when it gives none), and only while every worker
// is alive. The first tick that finds a worker hung logs one line naming it;
// the pings stay away until it is alive again, so systemd restarts the
// gateway. A ping withheld goes out on the first tick that finds all alive.
void service_tick();
// STOPPING=1: the gateway is on its way out.
void service_stopping();

// The start-up status: "reflector port 5230 bound; local port 54001 bound;
// radio port /dev/ttyS0 open", each part saying the error where it failed, and
// "; reflector address not known yet" after it while REFLECTOR_IP is 0.
void format_ready_status(char* buf, size_t size, const struct startup_outcome& outcome);
