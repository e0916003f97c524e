// Following the reflector's address: REFLECTOR_DNS looked up again every
// minute on a thread of its own, so a reflector that moves to a new host or
// a new dynamic address is followed without a restart, and a station that
// started before its network finds the reflector once the network is up.
#pragma once
#include "config/reflector_address.h"

// Takes the address as the start-up left it (0: a start without an answer,
// whose line counts as the first of a spell of failures).
void reflector_follow_start();

// Takes the outcome of one lookup. A new address is used at once and said in
// one line: "REFLECTOR_IP:A" as at start when none was known, else "REFLECTOR_DNS
// NAME: address changed from A to B". A failure keeps the address, with one
// line when a spell of failures begins or changes its kind.
void reflector_follow(lookup_outcome outcome, in_addr_t address, const char* reason);

// Thread body: a lookup every REFLECTOR_LOOKUP_PERIOD_S until the gateway
// stops. A lookup may take the resolver's time-outs; nothing waits for it.
void* reflector_lookup_thread(void* dummy);
