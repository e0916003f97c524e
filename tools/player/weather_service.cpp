// The silent weather service: a private /etc/hosts and a socket that never
// accepts, or a private /etc/resolv.conf and a name server that never answers.
#include "weather_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr int DNS_PORT = 53;

// Puts text over the system file path in this mount namespace.
bool mount_own(session* s, const char* path, const std::string& text, bool* mounted)
{
    std::string own = std::string("/tmp/session-") + (strrchr(path, '/') + 1);
    std::ofstream(own) << text;
    if (mount(own.c_str(), path, nullptr, MS_BIND, nullptr) != 0) {
        printf("%s: cannot give the session its own %s: %s\n", s->script->file.c_str(), path, strerror(errno));
        return false;
    }
    *mounted = true;
    return true;
}

// A socket of type on 127.0.0.1:port that is never read: a stream one listens
// and never accepts.
bool never_answer(session* s, int type, int port)
{
    s->gateway.weather_fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(s->gateway.weather_fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0 ||
        (type == SOCK_STREAM && listen(s->gateway.weather_fd, 8) != 0)) {
        printf("%s: cannot stand in for the weather service on port %d: %s\n", s->script->file.c_str(), port,
               strerror(errno));
        return false;
    }
    return true;
}

} // namespace

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

bool silence_weather_service(session* s)
{
    std::string host;
    int port;
    if (!weather_host(s->opt->weather_url, &host, &port)) {
        printf("%s: cannot read the weather address %s\n", s->script->file.c_str(), s->opt->weather_url.c_str());
        return false;
    }
    // The name is looked up in the name server alone, which takes the query
    // and never answers, as one behind a dead link does.
    if (s->script->weather_service == "silent-dns")
        return mount_own(s, "/etc/hosts", "127.0.0.1 localhost\n", &s->gateway.hosts_mounted) &&
               mount_own(s, "/etc/resolv.conf", "nameserver 127.0.0.1\n", &s->gateway.resolv_mounted) &&
               never_answer(s, SOCK_DGRAM, DNS_PORT);
    return mount_own(s, "/etc/hosts", "127.0.0.1 localhost " + host + "\n", &s->gateway.hosts_mounted) &&
           never_answer(s, SOCK_STREAM, port);
}
