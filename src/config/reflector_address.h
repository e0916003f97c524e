// The reflector's address: REFLECTOR_DNS looked up at start and again in the
// background while the gateway runs, read by every thread that sends to the
// reflector or hears from it.
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>

// REFLECTOR_DNS's IPv4 address in network byte order; 0 while it is not known
// (the first lookup got no answer). Written by the start-up and the lookup
// thread, read by every sender and by REFLECTOR_ONLY.
extern std::atomic<in_addr_t> REFLECTOR_IP;

// How often the lookup thread looks REFLECTOR_DNS up again: a reflector that
// moves is followed within about a minute, and a name server sees one query a minute.
constexpr int REFLECTOR_LOOKUP_PERIOD_S = 60;

// What one lookup of the reflector's name came to.
enum class lookup_outcome {
    found,        // an IPv4 address
    no_such_name, // the name server says the name has no IPv4 address: a configuration fault
    no_answer     // no lookup could be made (no network, no name server): worth trying again
};

// Looks name up (blocking, up to the resolver's time-outs: never on the radio
// path). found: *address holds its first IPv4 address. Otherwise *reason says
// why, in the resolver's words.
lookup_outcome reflector_lookup(const char* name, in_addr_t* address, const char** reason);

// Dotted text of address (network byte order) into buf; INET_ADDRSTRLEN fits any.
void format_ipv4(char* buf, size_t size, in_addr_t address);
