// The silent weather service a session can ask for ("weather-service silent").
#pragma once
#include <string>

#include "session.h"

// The weather service's host and port, from its address ("https://host/..."
// or "http://host:port/..."); false when the address has neither.
bool weather_host(const std::string& url, std::string* host, int* port);

// A weather service that never answers, as a stalled or overloaded one does
// ("silent"): the service's name resolves to 127.0.0.1 in this mount namespace
// (a private /etc/hosts), where the player listens and never accepts. Or one
// whose name server never answers, as behind a dead link ("silent-dns"): a
// private /etc/resolv.conf names 127.0.0.1, where the player takes the queries
// and never answers. The gateway's query then lasts its full time-out. False,
// said on stdout, when it cannot be set up.
bool silence_weather_service(session* s);
