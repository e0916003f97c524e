// The session's own name files and its name-server stand-in.
#include "name_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr int DNS_PORT = 53;
constexpr size_t DNS_HEADER_SIZE = 12;
constexpr size_t DNS_QUESTION_TAIL = 4; // QTYPE and QCLASS after the name

// The files behind the bind mounts, in the private /tmp.
constexpr const char* HOSTS_COPY = "/tmp/session-hosts";
constexpr const char* RESOLV_COPY = "/tmp/session-resolv.conf";
constexpr const char* NSSWITCH_COPY = "/tmp/session-nsswitch.conf";

// The reflector's name as the session configures it (its last REFLECTOR_DNS).
std::string reflector_name(const session_spec& script)
{
    std::string name;
    for (const std::string& c : script.config)
        if (c.rfind("REFLECTOR_DNS=", 0) == 0)
            name = c.substr(strlen("REFLECTOR_DNS="));
    return name;
}

// Whether the hosts line names name (after its address).
bool names(const std::string& line, const std::string& name)
{
    std::istringstream words(line);
    std::string word;
    words >> word;
    while (words >> word)
        if (word == name)
            return true;
    return false;
}

} // namespace

// Rewritten in place: the bind mount holds on to the file, not its name.
// Once the reflector moved, the session's lines for its name are left out:
// the resolver would find both addresses, and sort the old one first.
void write_hosts(const session& s)
{
    std::string name = reflector_name(*s.script);
    std::ofstream hosts(HOSTS_COPY, std::ios::trunc);
    hosts << "127.0.0.1 localhost\n";
    if (!s.reflector_at.empty())
        hosts << s.reflector_at << " " << name << "\n";
    hosts << s.extra_hosts;
    for (const std::string& line : s.script->hosts)
        if (s.reflector_at.empty() || !names(line, name))
            hosts << line << "\n";
}

namespace {

bool bind_over(session* s, const char* copy, const char* path)
{
    if (mount(copy, path, nullptr, MS_BIND, nullptr) != 0) {
        printf("%s: cannot give the session its own %s: %s\n", s->script->file.c_str(), path, strerror(errno));
        return false;
    }
    s->gateway.mounted.push_back(path);
    return true;
}

// The session's name_server mode, or "silent" for a weather service whose
// name server never answers.
std::string name_server_mode(const session_spec& script)
{
    return script.weather_service == "silent-dns" ? "silent" : script.name_server;
}

bool start_name_server(session* s)
{
    std::string mode = name_server_mode(*s->script);
    if (mode.empty())
        return true; // queries are refused: the lookup fails at once
    s->gateway.name_server_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(DNS_PORT);
    inet_pton(AF_INET, NAME_SERVER_ADDRESS, &at.sin_addr);
    if (bind(s->gateway.name_server_fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0) {
        printf("%s: cannot listen as the name server: %s\n", s->script->file.c_str(), strerror(errno));
        return false;
    }
    s->gateway.name_server_answers = mode == "nxdomain";
    return true;
}

} // namespace

bool wants_private_names(const session_spec& script)
{
    bool moves = false;
    for (const line_spec& l : script.lines)
        moves = moves || l.verb == verb_id::reflector_at;
    return moves || !script.weather_service.empty() || !script.hosts.empty() || !script.name_server.empty();
}

bool private_names(session* s, const std::string& extra)
{
    s->extra_hosts = extra;
    write_hosts(*s);
    // Short time-outs keep the reflector's lookups quick; a weather query
    // behind a dead link waits out the resolver's own.
    std::ofstream(RESOLV_COPY) << "nameserver " << NAME_SERVER_ADDRESS << "\n"
                               << (s->script->name_server.empty() ? "" : "options timeout:1 attempts:1\n");
    // A module before "files" (systemd-resolved, mDNS) would answer from the
    // host's own files and servers.
    std::ofstream(NSSWITCH_COPY) << "hosts: files dns\n";
    if (!bind_over(s, HOSTS_COPY, "/etc/hosts") || !bind_over(s, RESOLV_COPY, "/etc/resolv.conf"))
        return false;
    if (access("/etc/nsswitch.conf", F_OK) == 0 && !bind_over(s, NSSWITCH_COPY, "/etc/nsswitch.conf"))
        return false;
    return start_name_server(s);
}

void answer_no_such_name(int fd)
{
    unsigned char query[512];
    struct sockaddr_in from = {};
    socklen_t from_len = sizeof from;
    ssize_t got = recvfrom(fd, query, sizeof query, 0, reinterpret_cast<struct sockaddr*>(&from), &from_len);
    if (got < static_cast<ssize_t>(DNS_HEADER_SIZE))
        return;
    // The answer is the header and the question: the name's labels end with
    // a zero length, then its type and class.
    size_t end = DNS_HEADER_SIZE;
    while (end < static_cast<size_t>(got) && query[end] != 0)
        end += query[end] + 1u;
    end += 1 + DNS_QUESTION_TAIL;
    if (end > static_cast<size_t>(got))
        return;
    query[2] = static_cast<unsigned char>(0x80 | (query[2] & 0x79)); // a response; opcode and RD kept
    query[3] = 0x80 | 3;                                             // recursion available, NXDOMAIN
    memset(query + 6, 0, 6);                                         // no answer, authority or additional records
    sendto(fd, query, end, 0, reinterpret_cast<struct sockaddr*>(&from), from_len);
}
