// The silent weather service: its name in the session's /etc/hosts and a
// socket that never accepts, or a name server that never answers.
#include "weather_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool weather_host(const std::string& url, std::string* host, int* port)
{
    size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return false;
    *port = url.compare(0, scheme, "https") == 0 ? 443 : 80;
    size_t start = scheme + 3;
    size_t end = url.find_first_of(":/?", start);
    *host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos && url[end] == ':')
        *port = atoi(url.c_str() + end + 1);
    return !host->empty() && *port > 0;
}

bool silence_weather_service(session* s, std::string* hosts_line)
{
    std::string host;
    int port;
    if (!weather_host(s->opt->weather_url, &host, &port)) {
        printf("%s: cannot read the weather address %s\n", s->script->file.c_str(), s->opt->weather_url.c_str());
        return false;
    }
    // The name is looked up in the session's name server alone, which takes
    // the query and never answers, as one behind a dead link does.
    if (s->script->weather_service == "silent-dns")
        return true;
    *hosts_line = "127.0.0.1 " + host + "\n";
    s->gateway.weather_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(s->gateway.weather_fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0 ||
        listen(s->gateway.weather_fd, 8) != 0) {
        printf("%s: cannot listen as the weather service on port %d: %s\n", s->script->file.c_str(), port,
               strerror(errno));
        return false;
    }
    return true;
}
