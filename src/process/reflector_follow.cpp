// The lookup thread and what it does with each answer.
#include "process/reflector_follow.h"

#include <cstdio>

#include "config/config.h"
#include "global.h"
#include "util/console.h"
#include "util/liveness.h"

namespace {

// The longest one lookup may take before the watchdog calls the thread hung.
// The resolver gives up on its own: at its limits (30 s time-out, 5 attempts,
// 3 name servers) one name takes 450 s; more means it is stuck.
constexpr int LOOKUP_STEP_BOUND_S = 600;

// The kind of failure said last; found: no spell of failures goes on.
lookup_outcome reported = lookup_outcome::found;

void report_failure(lookup_outcome outcome, const char* reason)
{
    char kept[40]; // "still without the reflector", or "keeping " and an address
    in_addr_t address = REFLECTOR_IP.load();
    if (address == 0) {
        snprintf(kept, sizeof kept, "still without the reflector");
    } else {
        char dotted[INET_ADDRSTRLEN];
        format_ipv4(dotted, sizeof dotted, address);
        snprintf(kept, sizeof kept, "keeping %s", dotted);
    }
    log_refusal("REFLECTOR_DNS %s: %s (%s), %s\n", REFLECTOR_DNS,
                outcome == lookup_outcome::no_such_name ? "no such name" : "no answer", reason, kept);
}

} // namespace

void reflector_follow_start()
{
    reported = REFLECTOR_IP.load() == 0 ? lookup_outcome::no_answer : lookup_outcome::found;
}

void reflector_follow(lookup_outcome outcome, in_addr_t address, const char* reason)
{
    if (outcome != lookup_outcome::found) {
        if (outcome != reported)
            report_failure(outcome, reason);
        reported = outcome;
        return;
    }
    reported = lookup_outcome::found;
    in_addr_t old = REFLECTOR_IP.exchange(address);
    if (old == address)
        return;
    char was[INET_ADDRSTRLEN], now[INET_ADDRSTRLEN];
    format_ipv4(was, sizeof was, old);
    format_ipv4(now, sizeof now, address);
    if (old == 0)
        log_ts("REFLECTOR_IP:%s\n", now);
    else
        log_ts("REFLECTOR_DNS %s: address changed from %s to %s\n", REFLECTOR_DNS, was, now);
}

void* reflector_lookup_thread(void*)
{
    liveness_register("treflector_dns", LOOKUP_STEP_BOUND_S);
    reflector_follow_start();
    for (;;) {
        liveness_waiting();
        sleep_s(REFLECTOR_LOOKUP_PERIOD_S);
        if (!keep_running)
            return nullptr;
        liveness_step_begin();
        in_addr_t address = 0;
        const char* reason = "";
        lookup_outcome outcome = reflector_lookup(REFLECTOR_DNS, &address, &reason);
        reflector_follow(outcome, address, reason);
    }
}
