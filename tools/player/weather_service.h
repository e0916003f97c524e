// The silent weather service a session can ask for ("weather-service silent").
#pragma once
#include <string>

#include "session.h"

// The weather service's host and port, from its address ("https://host/..."
// or "http://host:port/..."); false when the address has neither.
bool weather_host(const std::string& url, std::string* host, int* port);

// A weather service that never answers, as a stalled or overloaded one does
// ("silent"): the service's name is to resolve to 127.0.0.1 (*hosts_line, for
// the session's own /etc/hosts), where the player listens and never accepts.
// Or one whose name server never answers, as behind a dead link
// ("silent-dns"): the name is left out of /etc/hosts, and the session's name
// server (name_service.h) takes the queries and never answers. The gateway's
// query then lasts its full time-out. False, said on stdout, when it cannot
// be set up.
bool silence_weather_service(session* s, std::string* hosts_line);
