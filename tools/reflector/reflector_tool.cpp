// sdsbridge-reflector: a stand-in for the reflector server. It prints every
// datagram the gateway sends (keepalives, reports, gateway commands) in a
// readable form, and sends reflector text messages and DAPNET pages that a
// person types or a script pipes in on stdin. Standalone: no gateway code.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "escape.h"
#include "words.h"

namespace {

constexpr int DEFAULT_PORT = 5220; // where the gateway sends its reports
constexpr const char* DEFAULT_GATEWAY = "127.0.0.1:5230";
constexpr const char* DEFAULT_NET = "REFLECTOR"; // first field of reflector text messages
constexpr size_t DATAGRAM_MAX = 65536;
constexpr size_t STDIN_LINE_MAX = 4096;

std::atomic<bool> stop_requested{false};

struct options {
    int port = DEFAULT_PORT;
    std::string bind_address = "127.0.0.1";
    std::string gateway = DEFAULT_GATEWAY;
    std::string net = DEFAULT_NET;
    long count = 0;     // exit after this many datagrams (0: never)
    double timeout = 0; // give up after this many seconds (0: never)
    bool show_keepalive = true;
    std::vector<std::string> expect; // texts that must arrive (escapes allowed)
};

struct tool_state {
    int sock = -1;
    struct sockaddr_in gateway = {};
    long received = 0;
    std::vector<bool> seen;  // one per expected text
    double stdin_resume = 0; // "wait": stdin is not read before this time
    bool stdin_open = true;
    std::string stdin_pending;
    bool quit = false;
};

void on_signal(int)
{
    stop_requested = true;
}

double now_s()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void usage(FILE* to)
{
    fprintf(to, "usage: sdsbridge-reflector [--port N] [--bind ADDR] [--gateway HOST:PORT] [--net NAME]\n"
                "                           [--count N] [--expect TEXT]... [--timeout SECONDS] [--no-keepalive]\n"
                "stdin commands:\n"
                "  msg FROM ISSI TEXT     reflector text message  ::NET;FROM;PC:ISSI:TEXT;\n"
                "  page FROM ISSI TEXT    DAPNET page to a radio  ::DAPNET;FROM;PC:ISSI:TEXT;\n"
                "  pagegroup FROM TEXT    DAPNET page to the group ::DAPNET;FROM;GC:TEXT;\n"
                "  raw TEXT               TEXT as is (escapes \\r \\n \\t \\0 \\\\ \\xHH)\n"
                "  wait SECONDS           read no further command for a while (scripts)\n"
                "  help                   this text\n"
                "  quit                   stop\n");
}

// Names the layout of a datagram from the gateway.
const char* datagram_kind(const std::string& d)
{
    if (d.compare(0, 2, ">>") == 0)
        return "keepalive";
    if (d.compare(0, 2, "::") == 0) {
        // "::CALL;ISSI;RO\n": the third field is the roaming mark.
        size_t first = d.find(';');
        size_t second = first == std::string::npos ? first : d.find(';', first + 1);
        if (second != std::string::npos) {
            std::string third = d.substr(second + 1);
            if (third == "RO" || third == "RO\n")
                return "roaming notice";
        }
        return "gateway command";
    }
    // Reports: the first of the kind marks in the datagram decides.
    static const struct {
        const char* mark;
        const char* kind;
    } reports[] = {{",POS,", "position beacon"},
                   {",GPS,", "GPS report"},
                   {",VOICE,", "voice report"},
                   {",GC,", "group text report"}};
    const char* kind = "unknown";
    size_t best = std::string::npos;
    for (const auto& r : reports) {
        size_t at = d.find(r.mark);
        if (at < best) {
            best = at;
            kind = r.kind;
        }
    }
    return kind;
}

bool parse_gateway(const std::string& text, struct sockaddr_in* out)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = text.substr(0, colon);
    int port = atoi(text.c_str() + colon + 1);
    if (port <= 0 || port > 65535)
        return false;
    struct addrinfo hints = {}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    memcpy(out, found->ai_addr, sizeof *out);
    out->sin_port = htons(static_cast<uint16_t>(port));
    freeaddrinfo(found);
    return true;
}

// Reads the command line; returns 0 on success, 2 on a usage error.
int parse_options(int argc, char** argv, struct options* opt)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            usage(stdout);
            exit(0);
        } else if (a == "--no-keepalive")
            opt->show_keepalive = false;
        else if (!has_value) {
            fprintf(stderr, "sdsbridge-reflector: %s needs a value or is unknown\n", a.c_str());
            return 2;
        } else if (a == "--port")
            opt->port = atoi(argv[++i]);
        else if (a == "--bind")
            opt->bind_address = argv[++i];
        else if (a == "--gateway")
            opt->gateway = argv[++i];
        else if (a == "--net")
            opt->net = argv[++i];
        else if (a == "--count")
            opt->count = atol(argv[++i]);
        else if (a == "--timeout")
            opt->timeout = atof(argv[++i]);
        else if (a == "--expect")
            opt->expect.push_back(unescape(argv[++i]));
        else {
            fprintf(stderr, "sdsbridge-reflector: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (opt->port <= 0 || opt->port > 65535) {
        fprintf(stderr, "sdsbridge-reflector: bad port\n");
        return 2;
    }
    return 0;
}

int open_socket(const struct options& opt)
{
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0)
        return -1;
    struct sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(opt.port));
    if (inet_pton(AF_INET, opt.bind_address.c_str(), &local.sin_addr) != 1 ||
        bind(sock, reinterpret_cast<struct sockaddr*>(&local), sizeof local) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

void send_datagram(struct tool_state* st, const char* kind, const std::string& text)
{
    ssize_t put = sendto(st->sock, text.data(), text.size(), 0, reinterpret_cast<struct sockaddr*>(&st->gateway),
                         sizeof st->gateway);
    char to[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &st->gateway.sin_addr, to, sizeof to);
    if (put < 0)
        printf("send %s to %s:%d failed: %s\n", kind, to, ntohs(st->gateway.sin_port), strerror(errno));
    else
        printf("sent %s to %s:%d: %s\n", kind, to, ntohs(st->gateway.sin_port), visible(text).c_str());
}

void run_command(struct tool_state* st, const struct options& opt, std::string line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::string rest = line;
    std::string cmd = next_word(&rest);
    if (cmd.empty() || cmd[0] == '#')
        return;
    if (cmd == "msg" || cmd == "page") {
        std::string from = next_word(&rest), issi = next_word(&rest);
        if (issi.empty()) {
            printf("usage: %s FROM ISSI TEXT\n", cmd.c_str());
            return;
        }
        std::string net = cmd == "msg" ? opt.net : "DAPNET";
        send_datagram(st, cmd == "msg" ? "reflector text" : "page",
                      "::" + net + ";" + from + ";PC:" + issi + ":" + rest + ";");
    } else if (cmd == "pagegroup") {
        std::string from = next_word(&rest);
        if (from.empty()) {
            printf("usage: pagegroup FROM TEXT\n");
            return;
        }
        send_datagram(st, "group page", "::DAPNET;" + from + ";GC:" + rest + ";");
    } else if (cmd == "raw") {
        send_datagram(st, "raw datagram", unescape(rest));
    } else if (cmd == "wait") {
        st->stdin_resume = now_s() + atof(rest.c_str());
    } else if (cmd == "help") {
        usage(stdout);
    } else if (cmd == "quit" || cmd == "exit") {
        st->quit = true;
    } else {
        printf("unknown command \"%s\" (try help)\n", visible(cmd).c_str());
    }
}

// Runs every complete line read so far (until a "wait" or "quit" intervenes).
void run_pending_commands(struct tool_state* st, const struct options& opt)
{
    size_t nl;
    while (!st->quit && now_s() >= st->stdin_resume && (nl = st->stdin_pending.find('\n')) != std::string::npos) {
        std::string line = st->stdin_pending.substr(0, nl);
        st->stdin_pending.erase(0, nl + 1);
        run_command(st, opt, line);
    }
    if (!st->stdin_open && st->stdin_pending.find('\n') == std::string::npos && !st->stdin_pending.empty() &&
        now_s() >= st->stdin_resume) {
        std::string last = st->stdin_pending; // a last line without newline
        st->stdin_pending.clear();
        run_command(st, opt, last);
    }
}

void read_stdin(struct tool_state* st)
{
    char buf[STDIN_LINE_MAX];
    ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
    if (got > 0)
        st->stdin_pending.append(buf, static_cast<size_t>(got));
    else if (got == 0 || errno != EINTR)
        st->stdin_open = false;
}

void receive_datagram(struct tool_state* st, const struct options& opt)
{
    static char buf[DATAGRAM_MAX];
    struct sockaddr_in from = {};
    socklen_t len = sizeof from;
    ssize_t got = recvfrom(st->sock, buf, sizeof buf, 0, reinterpret_cast<struct sockaddr*>(&from), &len);
    if (got < 0)
        return;
    std::string d(buf, static_cast<size_t>(got));
    st->received++;
    const char* kind = datagram_kind(d);
    char addr[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
    if (opt.show_keepalive || strcmp(kind, "keepalive") != 0)
        printf("recv %s from %s:%d: %s\n", kind, addr, ntohs(from.sin_port), visible(d).c_str());
    for (size_t i = 0; i < opt.expect.size(); i++) {
        if (!st->seen[i] && d.find(opt.expect[i]) != std::string::npos) {
            st->seen[i] = true;
            printf("expected datagram arrived: %s\n", visible(opt.expect[i]).c_str());
        }
    }
}

bool all_expected_seen(const struct tool_state& st)
{
    for (bool s : st.seen)
        if (!s)
            return false;
    return true;
}

// Poll timeout in ms: until the next "wait" ends or the overall deadline.
int poll_timeout(const struct tool_state& st, double deadline)
{
    double until = -1;
    if (st.stdin_resume > now_s())
        until = st.stdin_resume;
    if (deadline > 0 && (until < 0 || deadline < until))
        until = deadline;
    if (until < 0)
        return -1;
    double ms = (until - now_s()) * 1000;
    return ms < 0 ? 0 : static_cast<int>(ms) + 1;
}

// The main loop; returns the exit status.
int serve(struct tool_state* st, const struct options& opt)
{
    double deadline = opt.timeout > 0 ? now_s() + opt.timeout : 0;
    bool goal = opt.count > 0 || !opt.expect.empty();
    while (!stop_requested && !st->quit) {
        if (goal && (opt.count <= 0 || st->received >= opt.count) && all_expected_seen(*st))
            return 0;
        if (deadline > 0 && now_s() >= deadline) {
            printf("timeout after %.1f s: %ld datagram(s) received\n", opt.timeout, st->received);
            for (size_t i = 0; i < opt.expect.size(); i++)
                if (!st->seen[i])
                    printf("expected datagram missing: %s\n", visible(opt.expect[i]).c_str());
            return 1;
        }
        bool want_stdin = st->stdin_open && now_s() >= st->stdin_resume;
        struct pollfd fds[2] = {{st->sock, POLLIN, 0}, {STDIN_FILENO, static_cast<short>(want_stdin ? POLLIN : 0), 0}};
        int ready = poll(fds, want_stdin ? 2 : 1, poll_timeout(*st, deadline));
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready > 0 && (fds[0].revents & POLLIN))
            receive_datagram(st, opt);
        if (ready > 0 && want_stdin && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            read_stdin(st);
        run_pending_commands(st, opt);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    struct options opt;
    if (parse_options(argc, argv, &opt) != 0) {
        usage(stderr);
        return 2;
    }
    struct tool_state st;
    st.seen.assign(opt.expect.size(), false);
    if (!parse_gateway(opt.gateway, &st.gateway)) {
        fprintf(stderr, "sdsbridge-reflector: cannot use gateway address %s (HOST:PORT)\n", opt.gateway.c_str());
        return 2;
    }
    st.sock = open_socket(opt);
    if (st.sock < 0) {
        fprintf(stderr, "sdsbridge-reflector: cannot listen on %s:%d: %s\n", opt.bind_address.c_str(), opt.port,
                strerror(errno));
        return 1;
    }
    struct sigaction sa = {};
    sa.sa_handler = on_signal; // no SA_RESTART: poll returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    printf("reflector listening on %s:%d, sending to %s\n", opt.bind_address.c_str(), opt.port, opt.gateway.c_str());
    int status = serve(&st, opt);
    close(st.sock);
    return status;
}
