// Notifications to the service manager.
#include "process/service.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "config/places.h"
#include "config/reflector_address.h"
#include "global.h"
#include "radio/serial.h"
#include "util/console.h"
#include "util/liveness.h"

namespace {

constexpr size_t NOTICE_SIZE = 400;
// Without a watchdog interval from systemd the status line still goes out
// with WATCHDOG=1 every 6 ticks, as it always has, for systemctl status.
constexpr int DEFAULT_PING_TICKS = 6;
constexpr uint64_t US_PER_TICK = 1000000;

int ping_every_ticks = DEFAULT_PING_TICKS;
int ticks_since_ping = 0;   // counts up to ping_every_ticks and stays there until a ping goes out
bool hang_reported = false; // the hung worker has been named once

// A start before the network: no address to send to until a lookup answers.
constexpr char ADDRESS_NOT_KNOWN[] = "reflector address not known yet";

// "radio port open; SDS sent 3, received 5; last datagram from the reflector 4 s ago",
// or "... no datagram from the reflector yet" while heard_at is 0, or "...
// reflector address not known yet" while there is none; heard_at and now in
// seconds on the monotonic clock.
void format_service_status(char* buf, size_t size, bool port_open, unsigned sent, unsigned received, long long heard_at,
                           long long now)
{
    char heard[64];
    if (REFLECTOR_IP.load() == 0)
        snprintf(heard, sizeof heard, "%s", ADDRESS_NOT_KNOWN);
    else if (heard_at == 0)
        snprintf(heard, sizeof heard, "no datagram from the reflector yet");
    else
        snprintf(heard, sizeof heard, "last datagram from the reflector %lld s ago", now - heard_at);
    snprintf(buf, size, "radio port %s; SDS sent %u, received %u; %s", port_open ? "open" : "closed", sent, received,
             heard);
}

// One notification: the given assignment and a status line.
void notify(const char* first, const char* status)
{
    char notice[NOTICE_SIZE];
    snprintf(notice, sizeof notice, "%s\nSTATUS=%s", first, status);
    // 0: not started by systemd, below 0: the manager is gone; neither stops the gateway.
    sd_notify(0, notice);
}

void notify_with_status(const char* first)
{
    char status[NOTICE_SIZE / 2];
    format_service_status(status, sizeof status, serport.load() >= 0, sds_sent_count.load(), sds_received_count.load(),
                          reflector_heard_at.load(), clock_monotonic_s());
    notify(first, status);
}

// "bound", or "not bound (reason)" for a bind outcome.
void describe_bind(char* buf, size_t size, int outcome)
{
    if (outcome == 0)
        snprintf(buf, size, "bound");
    else if (outcome < 0)
        snprintf(buf, size, "not bound (no socket)");
    else
        snprintf(buf, size, "not bound (%s)", strerror(outcome));
}

// Whether every worker is alive; the first tick that finds one hung says so once.
bool workers_alive()
{
    const char* name;
    int inside_s, bound_s;
    if (!liveness_hung(clock_monotonic_s(), &name, &inside_s, &bound_s)) {
        hang_reported = false;
        return true;
    }
    if (!hang_reported)
        log_failure("Watchdog: %s has been inside one step for %d s, longer than the %d s it may take: no more "
                    "WATCHDOG=1\n",
                    name, inside_s, bound_s);
    hang_reported = true;
    return false;
}

} // namespace

void format_ready_status(char* buf, size_t size, const struct startup_outcome& outcome)
{
    char reflector[80], local[80], radio[120];
    describe_bind(reflector, sizeof reflector, outcome.reflector_bind);
    describe_bind(local, sizeof local, outcome.local_bind);
    if (outcome.radio_open == 1)
        snprintf(radio, sizeof radio, "%s open", piport);
    else if (outcome.radio_open < 0)
        snprintf(radio, sizeof radio, "%s not open (%s)", piport, strerror(-outcome.radio_open));
    else
        snprintf(radio, sizeof radio, "%s not tried", piport);
    bool known = REFLECTOR_IP.load() != 0;
    snprintf(buf, size, "reflector port %d %s; local port %d %s; radio port %s%s%s", SOCK_UDP_PORT, reflector,
             SMS_SENDER_PORT, local, radio, known ? "" : "; ", known ? "" : ADDRESS_NOT_KNOWN);
}

void service_ready(const struct startup_outcome& outcome)
{
    // Pings at half the interval systemd watches, so one late tick never
    // counts as a hang; a tick is the beacon loop's second.
    uint64_t watchdog_us = 0;
    if (sd_watchdog_enabled(0, &watchdog_us) > 0) {
        uint64_t ticks = watchdog_us / 2 / US_PER_TICK;
        ping_every_ticks = ticks > 0 ? static_cast<int>(ticks) : 1;
    }
    ticks_since_ping = 0;
    char status[NOTICE_SIZE / 2];
    format_ready_status(status, sizeof status, outcome);
    notify("READY=1", status);
}

void service_tick()
{
    bool alive = workers_alive();
    if (ticks_since_ping < ping_every_ticks)
        ticks_since_ping++;
    // A ping withheld for a busy worker stays due: it goes out on the first
    // tick that finds every worker alive, not a whole period later, which
    // would let systemd kill a gateway that recovered in time.
    if (ticks_since_ping < ping_every_ticks || !alive)
        return;
    ticks_since_ping = 0;
    notify_with_status("WATCHDOG=1");
}

void service_stopping()
{
    sd_notify(0, "STOPPING=1");
}
