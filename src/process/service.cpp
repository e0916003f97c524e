// Notifications to the service manager.
#include "process/service.h"

#include <systemd/sd-daemon.h>

#include <cstdio>

#include "global.h"
#include "radio/serial.h"

namespace {

constexpr size_t NOTICE_SIZE = 200;

// "radio port open; SDS sent 3, received 5; last datagram from the reflector 4 s ago",
// or "... no datagram from the reflector yet" while heard_at is 0.
void format_service_status(char* buf, size_t size, bool port_open, unsigned sent, unsigned received, time_t heard_at,
                           time_t now)
{
    char heard[64];
    if (heard_at == 0)
        snprintf(heard, sizeof heard, "no datagram from the reflector yet");
    else
        snprintf(heard, sizeof heard, "last datagram from the reflector %lld s ago",
                 static_cast<long long>(now - heard_at));
    snprintf(buf, size, "radio port %s; SDS sent %u, received %u; %s", port_open ? "open" : "closed", sent, received,
             heard);
}

// One notification: the given assignment and the current status line.
void notify_with_status(const char* first)
{
    char status[NOTICE_SIZE - 32];
    format_service_status(status, sizeof status, serport.load() >= 0, sds_sent_count.load(), sds_received_count.load(),
                          reflector_heard_at.load(), clock_time());
    char notice[NOTICE_SIZE];
    snprintf(notice, sizeof notice, "%s\nSTATUS=%s", first, status);
    // 0: not started by systemd, below 0: the manager is gone; neither stops the gateway.
    sd_notify(0, notice);
}

} // namespace

void service_ready()
{
    notify_with_status("READY=1");
}

void service_alive()
{
    notify_with_status("WATCHDOG=1");
}

void service_stopping()
{
    sd_notify(0, "STOPPING=1");
}
