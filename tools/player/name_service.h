// The names the gateway looks up in a session: its own /etc/hosts,
// /etc/resolv.conf and /etc/nsswitch.conf in the session's mount namespace,
// a name-server stand-in, and the reflector's name that can move.
#pragma once
#include <string>

#include "session.h"

// The name server of the session's resolv.conf; queries reach the stand-in
// there, or nothing. With "name-server", "options timeout:1 attempts:1": one
// lookup takes at most 1 s.
constexpr const char* NAME_SERVER_ADDRESS = "127.0.0.53";

// Whether the session needs its own name files: it has "hosts" or
// "name-server" lines, moves the reflector, or has a "weather-service" line.
bool wants_private_names(const session_spec& script);

// Gives the session its own name files: /etc/hosts ("127.0.0.1 localhost",
// then extra lines and the session's "hosts" lines), "hosts: files dns" for
// nsswitch, and a resolv.conf naming the stand-in, which it starts as the
// session's "name-server" line asks ("weather-service silent-dns": silent). False, said on stdout, when it cannot.
bool private_names(session* s, const std::string& extra);

// Writes the session's /etc/hosts afresh: localhost, the reflector's name
// (REFLECTOR_DNS of the session) at s.reflector_at once the reflector moved
// there, the player's own lines and the session's "hosts" lines.
void write_hosts(const session& s);

// Answers one waiting query on the stand-in's socket with "no such name".
void answer_no_such_name(int fd);
