// sdsbridge-session: plays scripted radio sessions (tests/sessions/*.session)
// against the gateway. It stands in for the radio on a pseudo-terminal, for
// the reflector on loopback and for local programs, answers the gateway's AT
// commands as a radio does, and checks what the gateway does: bytes on the
// radio line, datagrams to the reflector, control files and console lines.
// With --gateway it starts the gateway itself, in a private network and mount
// namespace with its own /tmp; without, it plays against one a user starts.
// --load plays no file: it drives the gateway as a busy station for a while.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "escape.h"

namespace {

constexpr char CR = '\r';
constexpr char CTRL_Z = 26;
constexpr int GATEWAY_PORT = 5230; // the gateway's reflector socket
constexpr int LOCAL_PORT = 54001;  // the gateway's local SDS request port
constexpr int DEFAULT_REFLECTOR_PORT = 5220;
constexpr int SKIPPED = 77; // CTest's "skipped" status
// A marker speed set on the radio's pty before the gateway opens it: when the
// speed has changed, the gateway has flushed and set up the port, and lines
// sent from then on reach it.
constexpr speed_t UNCONFIGURED_SPEED = B134;
// A timed expectation ("after 2s") may come this much early or late.
constexpr double EARLY_S = 0.2;
constexpr double LATE_S = 0.6;
constexpr double STOP_TIMEOUT_S = 5;
const char* WORK_DIR = "/tmp/session"; // inside the private /tmp
const char* CONTROL_FILES[] = {"/tmp/dtmf_ctrl", "/tmp/ptt"};

// One line of a session file.
struct line_spec {
    int number = 0;
    std::string verb;    // see the help text
    std::string text;    // unescaped argument
    std::string path;    // put and file: the file
    double after = -1;   // expected delay after the previous line, -1: untimed
    bool within = false; // after is a limit, not a delay
    bool never = false;  // "never": not met within after
    int repeat = 1;      // a step done this many times, 1 ms apart
};

struct session_spec {
    std::string file;
    std::string title;
    std::vector<std::string> config;
    std::vector<std::string> args;
    bool write_config = true;
    std::vector<int> held_ports;  // bound by the player before the gateway starts
    std::vector<std::string> env; // KEY=VALUE set in the gateway's environment
    bool journal = false;         // stdout is "the journal": JOURNAL_STREAM names it
    bool silent_weather = false;  // the weather service takes connections and never answers
    std::vector<line_spec> lines;
};

// Something the gateway did, with the time the player saw it.
struct event {
    double at;
    std::string text;
    bool used = false;
};

// Options.
std::string gateway_binary; // empty: attach to a gateway the user runs
std::string attach_link = "/tmp/radio";
std::string attach_log;
double timeout_s = 5;
bool verbose = false;
int load_s = 0;        // --load: seconds of load instead of sessions
bool ack_load = false; // --load-acks: the load with SYS_CTOM_WAIT=2, measuring acknowledgements
// The gateway's weather service address (its build option), for "weather-service silent".
std::string weather_url = "https://api.openweathermap.org/data/2.5/weather?";

// The session being played.
const session_spec* current = nullptr;
int failures = 0;
int radio_master = -1, radio_slave = -1;
std::string radio_link;
bool radio_ready = false;
std::string answer = "OK\r\n";
std::string command; // the gateway's command being received
bool in_pdu = false;
bool confirm_acks = false; // the radio reports "+CMGS: 0,4,N" once it has sent an acknowledgement
int acks_confirmed = 0;
std::vector<event> radio_lines; // every line the radio sent, CR LF removed
int reflector_fd = -1;
int notify_fd = -1; // the gateway's NOTIFY_SOCKET
std::vector<int> held_fds;
int console_fd = -1;
std::string console_partial;
bool console_stalled = false; // "stdout stall": the gateway's output is left unread
pid_t gateway = -1;
int exit_status = -1; // -1 while running
int inotify_fd = -1;
int weather_fd = -1;        // the silent weather service's listening socket
bool hosts_mounted = false; // /etc/hosts is the session's own
std::map<int, std::string> watched_dirs;
std::map<std::string, int> own_writes;
std::set<std::string> tracked;
std::string serial;            // every byte the gateway wrote to the radio
std::vector<double> serial_at; // when each byte arrived
size_t serial_used = 0;
std::vector<event> datagrams, console, notices;
std::map<std::string, std::vector<event>> writes;
size_t console_cursor = 0;
size_t notice_cursor = 0;

double now_s()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// line 0: about the session as a whole.
void fail(int line, const std::string& what)
{
    failures++;
    if (line > 0)
        printf("%s:%d: %s\n", current->file.c_str(), line, what.c_str());
    else
        printf("%s: %s\n", current->file.c_str(), what.c_str());
}

void note(const char* dir, const std::string& text)
{
    if (verbose)
        printf("  %s %s\n", dir, visible(text).c_str());
}

// --- what the gateway does: collected with arrival times -------------------

// Masks the two timestamp forms the gateway writes, so expectations can say
// {stamp} ("<07.12.26 14:03:59>") and {time} ("07.12.2026 14:03:59").
bool shape_at(const std::string& s, size_t at, const char* shape)
{
    for (size_t i = 0; shape[i]; i++) {
        if (at + i >= s.size())
            return false;
        char c = s[at + i];
        if (shape[i] == 'd' ? !isdigit(static_cast<unsigned char>(c)) : c != shape[i])
            return false;
    }
    return true;
}

std::string masked(const std::string& s)
{
    static const char* STAMP = "<dd.dd.dd dd:dd:dd>";
    static const char* TIME = "dd.dd.dddd dd:dd:dd";
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (shape_at(s, i, STAMP)) {
            out += "{stamp}";
            i += strlen(STAMP);
        } else if (shape_at(s, i, TIME)) {
            out += "{time}";
            i += strlen(TIME);
        } else {
            out += s[i++];
        }
    }
    return out;
}

// The radio's side of the line. Each whole line is kept with its time, so the
// time the gateway took to read it can be told from its "data" console line.
bool radio_write(const std::string& bytes)
{
    double at = now_s();
    for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        radio_lines.push_back({at, bytes.substr(start, end - start)});
    return write(radio_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void answer_radio()
{
    if (!answer.empty() && radio_master >= 0 && !radio_write(answer))
        perror("radio answer");
}

// The radio's side: every command (CR) and every PDU (Ctrl-Z after
// "AT+CMGS=") gets the session's answer, "OK" unless it says otherwise.
void radio_bytes(const char* bytes, size_t count)
{
    double at = now_s();
    for (size_t i = 0; i < count; i++) {
        char c = bytes[i];
        serial += c;
        serial_at.push_back(at);
        command += c;
        if (c == CTRL_Z || (c == CR && !in_pdu)) {
            note("radio <-", command);
            in_pdu = c == CR && command.rfind("AT+CMGS=", 0) == 0;
            answer_radio();
            // An SDS-TL report with delivery status 00: the acknowledgement of a received text.
            if (confirm_acks && c == CTRL_Z && command.rfind("821000", 0) == 0)
                radio_write("+CMGS: 0,4," + std::to_string(++acks_confirmed) + "\r\n");
            command.clear();
        }
    }
}

void console_bytes(const char* bytes, size_t count)
{
    console_partial.append(bytes, count);
    size_t end;
    while ((end = console_partial.find('\n')) != std::string::npos) {
        std::string line = masked(console_partial.substr(0, end));
        console_partial.erase(0, end + 1);
        // A journal priority prefix ("<3>") stays; the timestamp after it goes.
        size_t stamp =
            line.size() > 3 && line[0] == '<' && isdigit(static_cast<unsigned char>(line[1])) && line[2] == '>' ? 3 : 0;
        if (line.compare(stamp, 8, "{stamp} ") == 0)
            line.erase(stamp, 8);
        note("console", line);
        console.push_back({now_s(), line});
    }
}

// name: the file as sessions name it; path: where it is.
void file_written(const std::string& name, const std::string& path)
{
    if (!tracked.count(name))
        return;
    if (own_writes[name] > 0) {
        own_writes[name]--;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    note(("file " + name).c_str(), text);
    writes[name].push_back({now_s(), text});
}

void inotify_events()
{
    alignas(struct inotify_event) char buf[4096];
    ssize_t got = read(inotify_fd, buf, sizeof buf);
    for (ssize_t at = 0; at < got;) {
        auto* ev = reinterpret_cast<struct inotify_event*>(buf + at);
        // Files in the gateway's working directory are named as it names them.
        const std::string& dir = watched_dirs[ev->wd];
        std::string path = dir + "/" + ev->name;
        if (ev->len > 0)
            file_written(dir == "/tmp" ? path : std::string(ev->name), path);
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
    }
}

void reflector_datagram()
{
    char buf[65536];
    struct sockaddr_in from = {};
    socklen_t len = sizeof from;
    ssize_t got = recvfrom(reflector_fd, buf, sizeof buf, 0, reinterpret_cast<struct sockaddr*>(&from), &len);
    if (got < 0)
        return;
    std::string text(buf, static_cast<size_t>(got));
    note("reflector <-", text);
    bool deaf = std::count(current->held_ports.begin(), current->held_ports.end(), GATEWAY_PORT) > 0;
    if (ntohs(from.sin_port) != GATEWAY_PORT && !deaf)
        fail(0, "datagram from port " + std::to_string(ntohs(from.sin_port)) + ", not 5230: " + visible(text));
    datagrams.push_back({now_s(), text});
}

// One notification may carry several "KEY=value" lines.
void notify_message()
{
    char buf[4096];
    ssize_t got = recv(notify_fd, buf, sizeof buf, 0);
    std::istringstream lines(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0));
    for (std::string line; std::getline(lines, line);) {
        note("notify", line);
        notices.push_back({now_s(), line});
    }
}

// The gateway's pty has been set up once its speed is no longer the marker.
void check_radio_ready()
{
    struct termios tio;
    if (!radio_ready && radio_slave >= 0 && tcgetattr(radio_slave, &tio) == 0)
        radio_ready = cfgetospeed(&tio) != UNCONFIGURED_SPEED;
}

void reap_gateway()
{
    int status;
    if (gateway > 0 && exit_status < 0 && waitpid(gateway, &status, WNOHANG) == gateway)
        exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Collects whatever arrives within wait_ms.
void pump(int wait_ms)
{
    // A log file (attach mode) is always readable, so it is read after the
    // poll instead of in it, or the poll would never wait.
    int console_pipe = gateway_binary.empty() || console_stalled ? -1 : console_fd;
    struct pollfd fds[5] = {{radio_master, POLLIN, 0},
                            {reflector_fd, POLLIN, 0},
                            {console_pipe, POLLIN, 0},
                            {inotify_fd, POLLIN, 0},
                            {notify_fd, POLLIN, 0}};
    if (poll(fds, 5, wait_ms) > 0) {
        char buf[4096];
        if (fds[0].revents & POLLIN) {
            ssize_t got = read(radio_master, buf, sizeof buf);
            if (got > 0)
                radio_bytes(buf, static_cast<size_t>(got));
        }
        if (fds[1].revents & POLLIN)
            reflector_datagram();
        if (fds[2].revents & (POLLIN | POLLHUP)) {
            ssize_t got = read(console_fd, buf, sizeof buf);
            if (got > 0)
                console_bytes(buf, static_cast<size_t>(got));
            else
                close(console_fd), console_fd = -1; // the gateway is gone
        }
        if (fds[3].revents & POLLIN)
            inotify_events();
        if (fds[4].revents & POLLIN)
            notify_message();
    }
    if (gateway_binary.empty() && !console_stalled && console_fd >= 0) { // a log file: read on
        char buf[4096];
        ssize_t got = read(console_fd, buf, sizeof buf);
        if (got > 0)
            console_bytes(buf, static_cast<size_t>(got));
    }
    check_radio_ready();
    reap_gateway();
}

template <typename Done> bool wait_until(Done done, double deadline)
{
    for (;;) {
        if (done())
            return true;
        double left = deadline - now_s();
        if (left <= 0)
            return false;
        pump(left < 0.02 ? static_cast<int>(left * 1000) + 1 : 20);
    }
}

// --- the radio, the reflector and local programs: steps --------------------

bool open_radio()
{
    // Every descriptor of the player is closed on exec: a gateway that held
    // the pty's master open would never see the cable pulled.
    radio_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (radio_master < 0 || grantpt(radio_master) != 0 || unlockpt(radio_master) != 0)
        return false;
    const char* name = ptsname(radio_master);
    // The slave stays open here so the pty outlives the gateway's close.
    radio_slave = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    struct termios tio;
    if (radio_slave < 0 || tcgetattr(radio_slave, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetospeed(&tio, UNCONFIGURED_SPEED);
    cfsetispeed(&tio, UNCONFIGURED_SPEED);
    tcsetattr(radio_slave, TCSANOW, &tio);
    fcntl(radio_master, F_SETFL, fcntl(radio_master, F_GETFL) | O_NONBLOCK);
    radio_ready = false;
    unlink(radio_link.c_str());
    return symlink(name, radio_link.c_str()) == 0;
}

void close_radio()
{
    for (int* fd : {&radio_master, &radio_slave})
        if (*fd >= 0)
            close(*fd), *fd = -1;
    unlink(radio_link.c_str());
    radio_ready = false;
    command.clear();
    in_pdu = false;
}

// True once a UDP socket is bound to port in this network namespace: the
// second column of /proc/net/udp is the local address, "0100007F:146E".
bool udp_port_bound(int port)
{
    std::ifstream table("/proc/net/udp");
    char suffix[8];
    snprintf(suffix, sizeof suffix, ":%04X", port);
    std::string row, slot, local;
    while (std::getline(table, row)) {
        std::istringstream columns(row);
        if (columns >> slot >> local && local.size() > 5 && local.compare(local.size() - 5, 5, suffix) == 0)
            return true;
    }
    return false;
}

void send_udp(int fd, int port, const std::string& text)
{
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    sendto(fd, text.data(), text.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
}

double ready_timeout()
{
    return gateway_binary.empty() ? 600 : timeout_s;
}

// The gateway answers radio lines from its reflector socket and posts to its
// local port, so input waits until both are bound and the radio's port is set up.
bool gateway_ready(const line_spec& l)
{
    // While the radio is unplugged there is no port to wait for.
    if (radio_slave >= 0 && !wait_until([] { return radio_ready; }, now_s() + ready_timeout())) {
        fail(l.number, "the gateway never set up the radio's port");
        return false;
    }
    for (int port : {GATEWAY_PORT, LOCAL_PORT}) {
        if (!wait_until([port] { return udp_port_bound(port); }, now_s() + ready_timeout())) {
            fail(l.number, "the gateway never bound UDP port " + std::to_string(port));
            return false;
        }
    }
    return true;
}

void send_radio(const line_spec& l)
{
    if (radio_master < 0) {
        fail(l.number, "the radio is unplugged");
        return;
    }
    if (!gateway_ready(l))
        return;
    std::string bytes = l.verb == "radio" ? l.text + "\r\n" : l.text;
    note("radio ->", bytes);
    if (!radio_write(bytes))
        fail(l.number, "the radio line did not take the bytes");
}

int reflector_port(const session_spec& s);

void send_datagram(const line_spec& l, int port)
{
    if (!gateway_ready(l))
        return;
    if (!l.path.empty()) { // reflector-from: another host on the reflector's port
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(reflector_port(*current)));
        if (inet_pton(AF_INET, l.path.c_str(), &at.sin_addr) != 1 ||
            bind(fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0)
            fail(l.number, "cannot send from " + l.path + ": " + strerror(errno));
        note(("reflector " + l.path + " ->").c_str(), l.text);
        send_udp(fd, port, l.text);
        close(fd);
        return;
    }
    note(port == LOCAL_PORT ? "local ->" : "reflector ->", l.text);
    if (port == GATEWAY_PORT) {
        send_udp(reflector_fd, port, l.text);
        return;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    send_udp(fd, port, l.text);
    close(fd);
}

// Where a file named in a session is: a relative name is in the gateway's directory.
std::string place(const std::string& path)
{
    bool in_work_dir = path[0] != '/' && !gateway_binary.empty();
    return in_work_dir ? std::string(WORK_DIR) + "/" + path : path;
}

void put_file(const line_spec& l)
{
    if (tracked.count(l.path))
        own_writes[l.path]++;
    std::ofstream(place(l.path), std::ios::binary | std::ios::trunc) << l.text;
}

// A symbolic link planted where the gateway writes, as another local user could.
void plant_link(const line_spec& l)
{
    unlink(place(l.path).c_str());
    if (symlink(place(l.text).c_str(), place(l.path).c_str()) != 0)
        fail(l.number, "cannot link " + l.path + ": " + strerror(errno));
}

int signal_number(const std::string& name)
{
    static const std::map<std::string, int> names = {{"HUP", SIGHUP},   {"INT", SIGINT},   {"QUIT", SIGQUIT},
                                                     {"TERM", SIGTERM}, {"USR1", SIGUSR1}, {"PIPE", SIGPIPE}};
    auto it = names.find(name);
    return it == names.end() ? 0 : it->second;
}

// Performs a step once.
void do_once(const line_spec& l)
{
    if (l.verb == "radio" || l.verb == "radio-bytes")
        send_radio(l);
    else if (l.verb == "reflector" || l.verb == "reflector-from")
        send_datagram(l, GATEWAY_PORT);
    else if (l.verb == "local")
        send_datagram(l, LOCAL_PORT);
    else if (l.verb == "answer")
        answer = l.text.empty() ? "" : l.text + "\r\n";
    else if (l.verb == "wait")
        wait_until([] { return false; }, now_s() + l.after);
    else if (l.verb == "signal" && gateway > 0)
        kill(gateway, signal_number(l.text));
    else if (l.verb == "unplug")
        close_radio();
    else if (l.verb == "plug" && !open_radio())
        fail(l.number, "cannot open a new pty as " + radio_link);
    else if (l.verb == "put")
        put_file(l);
    else if (l.verb == "link")
        plant_link(l);
    else if (l.verb == "stdout")
        console_stalled = l.text == "stall";
    else if (l.verb == "radio-output" && radio_slave >= 0)
        tcflow(radio_slave, l.text == "stop" ? TCOOFF : TCOON);
}

// Performs a step, repeated 1 ms apart (collecting meanwhile) for "repeat N".
void do_step(const line_spec& l)
{
    for (int i = 0; i < l.repeat; i++) {
        if (i > 0)
            wait_until([] { return false; }, now_s() + 0.001);
        do_once(l);
    }
}

// --- expectations ------------------------------------------------------------

// The first unused event at or after from that matches, or -1 when none came
// before the deadline.
long find_event(std::vector<event>& list, const std::string& want, double from, double deadline,
                bool (*kind)(const std::string&) = nullptr)
{
    long found = -1;
    wait_until(
        [&] {
            for (size_t i = 0; i < list.size() && found < 0; i++)
                if (!list[i].used && list[i].at >= from && (!kind || kind(list[i].text)) &&
                    masked(list[i].text) == want)
                    found = static_cast<long>(i);
            return found >= 0;
        },
        deadline);
    return found;
}

// Keepalives and the hourly beacon come on their own schedule; they are
// checked only where a session names them.
bool periodic(const std::string& d)
{
    return d.rfind(">>", 0) == 0 || d.find(",POS,#232,") != std::string::npos;
}

bool not_periodic(const std::string& d)
{
    return !periodic(d);
}

// Unused events before the match were not expected; keepalives may be left.
void unexpected_before(std::vector<event>& list, size_t end, int line, const std::string& what)
{
    for (size_t i = 0; i < end; i++) {
        if (!list[i].used && !(&list == &datagrams && periodic(list[i].text))) {
            fail(line, "unexpected " + what + ": " + visible(masked(list[i].text)));
            list[i].used = true;
        }
    }
}

// Checks one expectation; returns the time of the matching event, or -1.
double expect_sent(const line_spec& l, double since, double deadline)
{
    size_t at = std::string::npos;
    wait_until([&] { return (at = serial.find(l.text, serial_used)) != std::string::npos; }, deadline);
    if (at == std::string::npos) {
        fail(l.number, "the radio never got \"" + visible(l.text) + "\"; after the last match it got \"" +
                           visible(serial.substr(serial_used)) + "\"");
        return -1;
    }
    if (at > serial_used)
        fail(l.number, "before \"" + visible(l.text) + "\" the radio got \"" +
                           visible(serial.substr(serial_used, at - serial_used)) + "\"");
    serial_used = at + l.text.size();
    if (serial_at[at] < since)
        fail(l.number, "\"" + visible(l.text) + "\" was written before the step that should cause it");
    return serial_at[serial_used - 1];
}

// A datagram or a file write. Keepalives are looked for after the step only.
double expect_listed(const line_spec& l, std::vector<event>& list, const std::string& what, double since,
                     double deadline)
{
    bool is_datagram = &list == &datagrams;
    bool keepalive = is_datagram && periodic(l.text);
    long i = find_event(list, l.text, keepalive ? since : 0, deadline,
                        !is_datagram ? nullptr
                        : keepalive  ? periodic
                                     : not_periodic);
    if (i < 0) {
        fail(l.number, "no " + what + " \"" + visible(l.text) + "\"");
        return -1;
    }
    if (!keepalive)
        unexpected_before(list, static_cast<size_t>(i), l.number, what);
    event& found = list[static_cast<size_t>(i)];
    found.used = true;
    if (found.at < since)
        fail(l.number, what + " \"" + visible(l.text) + "\" came before the step that should cause it");
    return found.at;
}

// want with "{n}" standing for one or more digits.
bool matches_digits(const std::string& want, const std::string& got)
{
    size_t w = 0, g = 0;
    while (w < want.size()) {
        if (want.compare(w, 3, "{n}") == 0) {
            size_t start = g;
            while (g < got.size() && isdigit(static_cast<unsigned char>(got[g])))
                g++;
            if (g == start)
                return false;
            w += 3;
        } else if (g < got.size() && want[w] == got[g]) {
            w++, g++;
        } else {
            return false;
        }
    }
    return g == got.size();
}

// Console lines and notifications: the next one at or after the cursor that
// matches, others skipped. Notification texts may hold {n}.
double expect_in_order(const line_spec& l, std::vector<event>& list, size_t* cursor, const char* what, double since,
                       double deadline)
{
    long found = -1;
    wait_until(
        [&] {
            for (size_t i = *cursor; i < list.size() && found < 0; i++)
                if (list[i].at >= since && matches_digits(l.text, list[i].text))
                    found = static_cast<long>(i);
            return found >= 0;
        },
        deadline);
    if (found < 0) {
        fail(l.number, std::string("no ") + what + " \"" + visible(l.text) + "\"");
        return -1;
    }
    *cursor = static_cast<size_t>(found) + 1;
    return list[static_cast<size_t>(found)].at;
}

double expect_exit(const line_spec& l, double deadline)
{
    if (gateway_binary.empty())
        return now_s();
    wait_until([] { return exit_status >= 0; }, deadline);
    if (exit_status < 0)
        fail(l.number, "the gateway is still running");
    else if (std::to_string(exit_status) != l.text)
        fail(l.number, "the gateway ended with status " + std::to_string(exit_status));
    return now_s();
}

// "never": nothing matching l comes within l.after of the line before.
double expect_none(const line_spec& l, double previous)
{
    double until = previous + l.after;
    wait_until([] { return false; }, until);
    const std::vector<event>& list = l.verb == "notify" ? notices : l.verb == "console" ? console : datagrams;
    for (const event& e : list)
        if (e.at >= previous && e.at <= until && matches_digits(l.text, masked(e.text)))
            fail(l.number, "\"" + visible(l.text) + "\" came, and should not have");
    return until;
}

double check(const line_spec& l, double since, double previous)
{
    if (l.never)
        return expect_none(l, previous);
    double deadline = now_s() + timeout_s;
    if (l.after >= 0)
        deadline = std::max(deadline, previous + l.after + LATE_S);
    if (l.verb == "console" && gateway_binary.empty() && attach_log.empty())
        return previous; // no console to look at
    double at = -1;
    if (l.verb == "sent")
        at = expect_sent(l, since, deadline);
    else if (l.verb == "datagram")
        at = expect_listed(l, datagrams, "datagram", since, deadline);
    else if (l.verb == "file")
        at = expect_listed(l, writes[l.path], "write of " + l.path, since, deadline);
    else if (l.verb == "console")
        at = expect_in_order(l, console, &console_cursor, "console line", since, deadline);
    else if (l.verb == "exit")
        at = expect_exit(l, deadline);
    else if (l.verb == "notify")
        at = expect_in_order(l, notices, &notice_cursor, "notification", since, deadline);
    double earliest = previous + (l.within ? 0 : l.after) - EARLY_S;
    if (at >= 0 && l.after >= 0 && (at < earliest || at > previous + l.after + LATE_S)) {
        char took[64];
        snprintf(took, sizeof took, "came after %.2f s, not %s%.2f s", at - previous, l.within ? "within " : "",
                 l.after);
        fail(l.number, std::string(took));
    }
    return at >= 0 ? at : now_s();
}

bool is_step(const std::string& verb)
{
    return verb != "sent" && verb != "datagram" && verb != "file" && verb != "console" && verb != "exit" &&
           verb != "notify";
}

// --- session files -------------------------------------------------------------

// "2s", "1.5s", "500ms": seconds, or -1.
double duration(const std::string& text)
{
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    if (end == text.c_str())
        return -1;
    if (strcmp(end, "s") == 0)
        return value;
    if (strcmp(end, "ms") == 0)
        return value / 1000;
    return -1;
}

// Splits off the first word of text.
std::string first_word(std::string* text)
{
    size_t end = text->find(' ');
    std::string word = text->substr(0, end);
    *text = end == std::string::npos ? "" : text->substr(end + 1);
    return word;
}

const std::set<std::string> VERBS = {"radio",          "radio-bytes", "reflector", "local",   "answer",
                                     "wait",           "signal",      "unplug",    "plug",    "put",
                                     "sent",           "datagram",    "file",      "console", "exit",
                                     "reflector-from", "notify",      "link",      "stdout",  "radio-output"};

bool parse_line(std::string text, int number, session_spec* s, std::string* error)
{
    line_spec l;
    l.number = number;
    l.verb = first_word(&text);
    if (l.verb == "repeat") {
        l.repeat = atoi(first_word(&text).c_str());
        l.verb = first_word(&text);
        if (l.repeat < 1 || !is_step(l.verb)) {
            *error = "\"repeat\" takes a count and a step";
            return false;
        }
    }
    if (l.verb == "after" || l.verb == "within" || l.verb == "never") {
        l.within = l.verb == "within";
        l.never = l.verb == "never";
        l.after = duration(first_word(&text));
        l.verb = first_word(&text);
        if (l.after < 0 || is_step(l.verb)) {
            *error = "\"after\", \"within\" and \"never\" take a time (2s, 500ms) and an expectation";
            return false;
        }
        if (l.never && l.verb != "notify" && l.verb != "console" && l.verb != "datagram") {
            *error = "\"never\" takes a notify, console or datagram line";
            return false;
        }
    }
    if (l.verb == "config") {
        s->config.push_back(text);
        return true;
    }
    if (l.verb == "hold-port") {
        s->held_ports.push_back(atoi(text.c_str()));
        return true;
    }
    if (l.verb == "no-config") {
        s->write_config = false;
        return true;
    }
    if (l.verb == "env") {
        s->env.push_back(text);
        return true;
    }
    if (l.verb == "journal") {
        s->journal = true;
        return true;
    }
    if (l.verb == "weather-service") {
        s->silent_weather = text == "silent";
        if (!s->silent_weather) {
            *error = "\"weather-service\" takes silent";
            return false;
        }
        return true;
    }
    if (l.verb == "args") {
        std::istringstream words(text);
        for (std::string w; words >> w;)
            s->args.push_back(w);
        return true;
    }
    if (!VERBS.count(l.verb)) {
        *error = "unknown word \"" + l.verb + "\"";
        return false;
    }
    if (l.verb == "put" || l.verb == "file" || l.verb == "reflector-from" || l.verb == "link")
        l.path = first_word(&text);
    if (l.verb == "wait" && (l.after = duration(text)) < 0) {
        *error = "\"wait\" takes a time (2s, 500ms)";
        return false;
    }
    if (l.verb == "stdout" && text != "stall" && text != "read") {
        *error = "\"stdout\" takes stall or read";
        return false;
    }
    if (l.verb == "radio-output" && text != "stop" && text != "start") {
        *error = "\"radio-output\" takes stop or start";
        return false;
    }
    if (l.verb == "signal" && !signal_number(text)) {
        *error = "unknown signal \"" + text + "\" (HUP, INT, QUIT, TERM, USR1, PIPE)";
        return false;
    }
    l.text = unescape(text);
    s->lines.push_back(l);
    return true;
}

bool load_session(const std::string& file, session_spec* s)
{
    std::ifstream in(file);
    if (!in) {
        printf("%s: cannot read it\n", file.c_str());
        return false;
    }
    s->file = file;
    std::string text, error;
    for (int number = 1; std::getline(in, text); number++) {
        if (!text.empty() && text.back() == CR)
            text.pop_back();
        size_t start = text.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        if (text[start] == '#') {
            size_t words = text.find_first_not_of("# ", start);
            if (s->title.empty() && words != std::string::npos)
                s->title = text.substr(words);
            continue;
        }
        if (!parse_line(text.substr(start), number, s, &error)) {
            printf("%s:%d: %s\n", file.c_str(), number, error.c_str());
            return false;
        }
    }
    return true;
}

// --- the gateway under test --------------------------------------------------

// A private network namespace (its own ports and loopback) and a private /tmp
// (its own control files), so a session never reaches a station's real voice
// gateway or competes for its ports. 1 on success, else 0 with the reason.
int isolate(std::string* why)
{
    uid_t uid = geteuid();
    gid_t gid = getegid();
    int flags = CLONE_NEWNET | CLONE_NEWNS | (uid == 0 ? 0 : CLONE_NEWUSER);
    if (unshare(flags) != 0) {
        *why = std::string("unshare: ") + strerror(errno);
        return 0;
    }
    if (uid != 0) {
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0) {
        *why = std::string("private /tmp: ") + strerror(errno);
        return 0;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    struct ifreq ifr = {};
    strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    int up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP) &&
             ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    if (fd >= 0)
        close(fd);
    if (!up)
        *why = std::string("loopback: ") + strerror(errno);
    return up;
}

// A UDP socket bound to 127.0.0.1:port, or -1 with the reason printed.
int bind_udp(int port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0) {
        printf("%s: cannot bind UDP port %d: %s\n", current->file.c_str(), port, strerror(errno));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

int reflector_port(const session_spec& s)
{
    int port = DEFAULT_REFLECTOR_PORT;
    for (const std::string& c : s.config)
        if (c.rfind("REFLECTOR_PORT=", 0) == 0)
            port = atoi(c.c_str() + strlen("REFLECTOR_PORT="));
    return port;
}

void watch(const std::string& dir)
{
    int wd = inotify_add_watch(inotify_fd, dir.c_str(), IN_CLOSE_WRITE);
    if (wd >= 0)
        watched_dirs[wd] = dir;
}

// The weather service's host and port, from its address ("https://host/..." or "http://host:port/...").
bool weather_host(std::string* host, int* port)
{
    size_t scheme = weather_url.find("://");
    if (scheme == std::string::npos)
        return false;
    *port = weather_url.compare(0, scheme, "https") == 0 ? 443 : 80;
    size_t start = scheme + 3;
    size_t end = weather_url.find_first_of(":/?", start);
    *host = weather_url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos && weather_url[end] == ':')
        *port = atoi(weather_url.c_str() + end + 1);
    return !host->empty() && *port > 0;
}

// A weather service that takes the connection and never answers, as a stalled
// or overloaded one does: the service's name resolves to 127.0.0.1 in this
// mount namespace (a private /etc/hosts), where the player listens and never
// accepts. The gateway's query then lasts its full time-out.
bool silence_weather_service()
{
    std::string host;
    int port;
    if (!weather_host(&host, &port)) {
        printf("%s: cannot read the weather address %s\n", current->file.c_str(), weather_url.c_str());
        return false;
    }
    std::string hosts = "/tmp/session-hosts";
    std::ofstream(hosts) << "127.0.0.1 localhost " << host << "\n";
    if (mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
        printf("%s: cannot give the session its own /etc/hosts: %s\n", current->file.c_str(), strerror(errno));
        return false;
    }
    hosts_mounted = true;
    weather_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(weather_fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0 || listen(weather_fd, 8) != 0) {
        printf("%s: cannot listen as the weather service on port %d: %s\n", current->file.c_str(), port,
               strerror(errno));
        return false;
    }
    return true;
}

bool start_gateway(const session_spec& s)
{
    std::filesystem::remove_all(WORK_DIR);
    for (const char* f : CONTROL_FILES)
        unlink(f);
    mkdir(WORK_DIR, 0755);
    radio_link = std::string(WORK_DIR) + "/radio";
    if (!open_radio()) {
        printf("%s: cannot open a pty for the radio\n", s.file.c_str());
        return false;
    }
    // A port another program holds would leave the gateway deaf: say so now.
    for (int port : {GATEWAY_PORT, LOCAL_PORT}) {
        int probe = bind_udp(port);
        if (probe < 0)
            return false;
        close(probe);
    }
    for (int port : s.held_ports) { // the gateway must find these taken
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in any = {};
        any.sin_family = AF_INET;
        any.sin_port = htons(static_cast<uint16_t>(port));
        if (bind(fd, reinterpret_cast<struct sockaddr*>(&any), sizeof any) != 0) {
            printf("%s: cannot hold UDP port %d: %s\n", s.file.c_str(), port, strerror(errno));
            close(fd);
            return false;
        }
        held_fds.push_back(fd);
    }
    // The service manager's notification socket, as systemd gives it.
    struct sockaddr_un notify_at = {};
    notify_at.sun_family = AF_UNIX;
    snprintf(notify_at.sun_path, sizeof notify_at.sun_path, "%s/notify", WORK_DIR);
    notify_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (bind(notify_fd, reinterpret_cast<struct sockaddr*>(&notify_at), sizeof notify_at) != 0)
        return false;
    if (s.write_config) {
        std::ofstream conf(std::string(WORK_DIR) + "/sdsbridge.conf");
        conf << "SYS_SERPORT=" << radio_link << "\nREFLECTOR_DNS=127.0.0.1\nREFLECTOR_PORT=" << DEFAULT_REFLECTOR_PORT
             << "\n";
        for (const std::string& c : s.config)
            conf << c << "\n";
    }
    if (s.silent_weather && !silence_weather_service())
        return false;
    watch("/tmp");
    watch(WORK_DIR);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return false;
    gateway = fork();
    if (gateway == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv = {const_cast<char*>(gateway_binary.c_str())};
        for (const std::string& a : s.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        setenv("NOTIFY_SOCKET", notify_at.sun_path, 1);
        for (const std::string& e : s.env)
            putenv(const_cast<char*>(e.c_str()));
        struct stat out_stat;
        if (s.journal && fstat(STDOUT_FILENO, &out_stat) == 0)
            setenv("JOURNAL_STREAM", (std::to_string(out_stat.st_dev) + ":" + std::to_string(out_stat.st_ino)).c_str(),
                   1);
        if (chdir(WORK_DIR) == 0)
            execv(gateway_binary.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    console_fd = out[0];
    return gateway > 0;
}

// Processes still working in the session's directory: a gateway that
// detached itself with --daemon. The directory is compared by device and
// inode, as every player's private /tmp has a directory of the same name.
void stop_detached()
{
    struct stat dir, cwd;
    if (stat(WORK_DIR, &dir) != 0)
        return;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec))
        if (stat((entry.path() / "cwd").c_str(), &cwd) == 0 && cwd.st_dev == dir.st_dev && cwd.st_ino == dir.st_ino)
            kill(atoi(entry.path().filename().c_str()), SIGKILL);
}

void stop_gateway()
{
    console_stalled = false; // a stalled reader would keep it from ending
    if (gateway > 0 && exit_status < 0) {
        kill(gateway, SIGINT);
        if (!wait_until([] { return exit_status >= 0; }, now_s() + STOP_TIMEOUT_S)) {
            fail(0, "the gateway did not stop within 5 s of SIGINT");
            kill(gateway, SIGKILL);
            waitpid(gateway, nullptr, 0);
        }
    }
    stop_detached();
    // Everything it wrote before it ended.
    wait_until([] { return console_fd < 0; }, now_s() + 1);
}

bool attach(const session_spec& s)
{
    radio_link = attach_link;
    if (!open_radio()) {
        printf("cannot open a pty linked as %s\n", radio_link.c_str());
        return false;
    }
    watch("/tmp");
    watch(".");
    if (!attach_log.empty()) {
        console_fd = open(attach_log.c_str(), O_RDONLY);
        if (console_fd >= 0)
            lseek(console_fd, 0, SEEK_END);
    }
    printf("Start the gateway with SYS_SERPORT=%s REFLECTOR_DNS=127.0.0.1 REFLECTOR_PORT=%d%s\n", radio_link.c_str(),
           reflector_port(s), s.config.empty() ? "" : " and the session's config lines");
    return true;
}

// The first line of a sanitizer's report in the gateway's output (its stderr
// shares the console pipe): a sanitizer build of the gateway fails the session
// on any report, also one written while it stops, after the last expectation.
const char* SANITIZER_REPORTS[] = {
    "WARNING: ThreadSanitizer:", "ERROR: AddressSanitizer:", "ERROR: LeakSanitizer:", ": runtime error: "};

bool sanitizer_report(const std::string& line)
{
    for (const char* mark : SANITIZER_REPORTS)
        if (line.find(mark) != std::string::npos)
            return true;
    return false;
}

// Everything unexpected that is left once the session has run.
void leftovers()
{
    for (const event& e : console)
        if (sanitizer_report(e.text))
            fail(0, "the gateway's sanitizer reported: " + visible(e.text));
    if (serial_used < serial.size())
        fail(0, "unexpected bytes to the radio: \"" + visible(serial.substr(serial_used)) + "\"");
    unexpected_before(datagrams, datagrams.size(), 0, "datagram");
    for (auto& [path, list] : writes)
        unexpected_before(list, list.size(), 0, "write of " + path);
}

void reset_state()
{
    failures = 0;
    answer = "OK\r\n";
    serial.clear();
    serial_at.clear();
    serial_used = 0;
    radio_lines.clear();
    datagrams.clear();
    console.clear();
    notices.clear();
    notice_cursor = 0;
    writes.clear();
    own_writes.clear();
    console_cursor = 0;
    console_partial.clear();
    console_stalled = false;
    gateway = -1;
    exit_status = -1;
    inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

void release()
{
    close_radio();
    for (int* fd : {&reflector_fd, &console_fd, &inotify_fd, &notify_fd})
        if (*fd >= 0)
            close(*fd), *fd = -1;
    for (int fd : held_fds)
        close(fd);
    held_fds.clear();
    if (weather_fd >= 0)
        close(weather_fd), weather_fd = -1;
    if (hosts_mounted && umount2("/etc/hosts", MNT_DETACH) == 0)
        hosts_mounted = false;
    watched_dirs.clear();
}

// Plays one session; true when every expectation was met.
bool play(const session_spec& s)
{
    current = &s;
    reset_state();
    // The control files always, and whatever else this session looks at.
    tracked = std::set<std::string>(std::begin(CONTROL_FILES), std::end(CONTROL_FILES));
    for (const line_spec& l : s.lines)
        if (!l.path.empty())
            tracked.insert(l.path);
    printf("%s: %s\n", s.file.c_str(), s.title.c_str());
    reflector_fd = bind_udp(reflector_port(s));
    bool started = reflector_fd >= 0 && (gateway_binary.empty() ? attach(s) : start_gateway(s));
    if (started) {
        double previous = now_s(), since = previous;
        bool in_steps = false;
        for (const line_spec& l : s.lines) {
            if (is_step(l.verb)) {
                if (!in_steps)
                    since = now_s();
                in_steps = true;
                do_step(l);
                previous = now_s();
            } else {
                in_steps = false;
                previous = check(l, since, previous);
            }
        }
        if (!gateway_binary.empty())
            stop_gateway();
        leftovers();
    } else {
        failures++;
    }
    release();
    printf("%s %s\n", failures ? "FAIL" : "PASS", s.file.c_str());
    fflush(stdout);
    return failures == 0;
}

// --- load: a busy station ------------------------------------------------------

// Every second a reflector text and a local request each start a personal SDS
// transfer, while a radio user sends a "PC:" text every 10 s. Without the
// repeater mode switch and with no pause after a PDU the radio can send all
// of them in time, so any delay measured is the gateway's own: the serial
// thread reads every OK those transfers wait for, and acknowledges each radio
// text with a sequence of its own that holds it for its one second.
constexpr int LOAD_TEXT_EVERY_S = 10;
constexpr double LOAD_MAX_BLOCK_S = 1.5; // longest the radio's lines may go unread
constexpr double LOAD_DRAIN_S = 10;      // for the last forwards once the load stops
const char* LOAD_CALL = "LOAD-GW";
const char* LOAD_RADIO_ISSI = "2620001";

// A radio text of the load: when its payload line went out, and the forward
// the reflector must get for it once the radio confirms the acknowledgement.
struct load_text {
    double at;
    std::string forward;
};

// The "+CTSDSR:" header and the payload line of personal text n: SDS-TL
// "8204", the reference, text coding "01", the text.
void send_radio_text(int n, std::vector<load_text>* texts)
{
    std::string text = "PC:radio text " + std::to_string(n);
    std::string payload = "8204" + hex_bytes(std::string(1, static_cast<char>(n % 256))) + "01" + hex_bytes(text);
    radio_write("+CTSDSR: 12," + std::string(LOAD_RADIO_ISSI) + ",0,1000001,0," + std::to_string(4 * payload.size()) +
                "\r\n");
    texts->push_back({now_s(), "::" + std::string(LOAD_CALL) + ";" + LOAD_RADIO_ISSI + ";" + text + ";\n"});
    radio_write(payload + "\r\n");
}

// How many times the reflector got t's forward; first: when it came first.
int forwards_of(const load_text& t, double* first)
{
    int copies = 0;
    for (const event& d : datagrams)
        if (d.text == t.forward && copies++ == 0 && first)
            *first = d.at;
    return copies;
}

// The longest time a radio line waited for its "data (NN/x): line" console
// line; a line never logged counts until end. The serial thread reads the
// lines in order, so each is looked for after the previous one's.
double longest_block(double end, std::string* which)
{
    double longest = 0;
    size_t cursor = 0;
    for (const event& line : radio_lines) {
        double read_at = end;
        for (size_t i = cursor; i < console.size(); i++) {
            const std::string& c = console[i].text;
            size_t text = c.find("): ");
            if (c.rfind("data (", 0) == 0 && text != std::string::npos &&
                c.compare(text + 3, std::string::npos, line.text + "\r") == 0) {
                read_at = console[i].at;
                cursor = i + 1;
                break;
            }
        }
        if (read_at - line.at > longest) {
            longest = read_at - line.at;
            *which = line.text;
        }
    }
    return longest;
}

// When each transfer began on the radio line: its "AT+CTSDS=12,0" (no
// repeater mode switch in the load), with whether it was an acknowledgement
// (its AT+CMGS announces 32 bits to the radio user).
struct transfer_start {
    double at;
    bool ack;
};

std::vector<transfer_start> transfer_starts()
{
    static const std::string START = "AT+CTSDS=12,0\r";
    static const std::string ACK = "AT+CMGS=" + std::string(LOAD_RADIO_ISSI) + ",32\r";
    std::vector<transfer_start> starts;
    for (size_t at = serial.find(START); at != std::string::npos; at = serial.find(START, at + 1))
        starts.push_back({serial_at[at], serial.compare(at + START.size(), ACK.size(), ACK) == 0});
    return starts;
}

// The acknowledgements' lateness: from a radio text's payload line to the
// first byte of its acknowledgement. Each may wait for the transfer in
// progress and for one more that asked before it, plus 1 s; returns the
// count of those that took longer. A transfer lasts until the next begins
// (the load keeps the line busy).
int ack_lateness(const std::vector<load_text>& texts, double end, std::vector<double>* lateness)
{
    std::vector<transfer_start> starts = transfer_starts();
    double longest = 0; // the longest transfer other than an acknowledgement
    for (size_t i = 0; i + 1 < starts.size(); i++)
        if (!starts[i].ack)
            longest = std::max(longest, starts[i + 1].at - starts[i].at);
    int beyond = 0;
    size_t next_ack = 0;
    for (const load_text& t : texts) {
        while (next_ack < starts.size() && (!starts[next_ack].ack || starts[next_ack].at < t.at))
            next_ack++;
        double acked = next_ack < starts.size() ? starts[next_ack++].at : end;
        double in_progress = 0;
        for (size_t i = 0; i + 1 < starts.size() && starts[i].at <= t.at; i++)
            in_progress = starts[i + 1].at - starts[i].at;
        lateness->push_back(acked - t.at);
        beyond += acked - t.at > in_progress + longest + 1.0;
    }
    return beyond;
}

void print_ack_lateness(const std::vector<load_text>& texts, double end)
{
    std::vector<double> lateness;
    int beyond = ack_lateness(texts, end, &lateness);
    std::sort(lateness.begin(), lateness.end());
    double median = lateness.empty() ? 0 : lateness[lateness.size() / 2];
    double worst = lateness.empty() ? 0 : lateness.back();
    printf("load: acknowledgement lateness median %.2f s, worst %.2f s; %d beyond its bound\n", median, worst, beyond);
    if (beyond > 0)
        fail(0, std::to_string(beyond) +
                    " acknowledgements waited longer than the transfer in progress, one more and 1 s");
}

// Runs the load for seconds; true when every radio text was forwarded once
// and no radio line waited longer than LOAD_MAX_BLOCK_S to be read. The ack
// form pauses SYS_CTOM_WAIT=2 s after every personal transfer, so the
// senders always have a transfer waiting, and checks how late the
// acknowledgements of the radio texts go out.
bool run_load(int seconds)
{
    session_spec s;
    s.file = ack_load ? "load-acks" : "load";
    s.config = {std::string("GATEWAY_CALL=") + LOAD_CALL, "DMO_REPEATER=NO",
                ack_load ? "SYS_CTOM_WAIT=2" : "SYS_CTOM_WAIT=0"};
    current = &s;
    reset_state();
    confirm_acks = true;
    acks_confirmed = 0;
    tracked = std::set<std::string>(std::begin(CONTROL_FILES), std::end(CONTROL_FILES));
    reflector_fd = bind_udp(DEFAULT_REFLECTOR_PORT);
    if (reflector_fd < 0 || !start_gateway(s) || !gateway_ready(line_spec{})) {
        failures++;
        release();
        return false;
    }
    int local_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::vector<load_text> texts;
    double start = now_s();
    for (int second = 0; second < seconds; second++) {
        wait_until([] { return false; }, start + second);
        std::string n = std::to_string(second);
        send_udp(reflector_fd, GATEWAY_PORT, "::LOAD;ALPHA;PC:1234567:reflector text " + n + ";");
        send_udp(local_fd, LOCAL_PORT, "7654321local request " + n);
        if (second % LOAD_TEXT_EVERY_S == LOAD_TEXT_EVERY_S / 2)
            send_radio_text(static_cast<int>(texts.size()), &texts);
    }
    close(local_fd);
    auto all_forwarded = [&texts] {
        return std::all_of(texts.begin(), texts.end(), [](const load_text& t) { return forwards_of(t, nullptr) > 0; });
    };
    wait_until(all_forwarded, now_s() + LOAD_DRAIN_S);
    double end = now_s();
    stop_gateway();

    int arrived = 0, twice = 0;
    double worst = 0;
    for (const load_text& t : texts) {
        double first = 0;
        int copies = forwards_of(t, &first);
        arrived += copies > 0;
        twice += copies > 1;
        if (copies > 0)
            worst = std::max(worst, first - t.at);
    }
    std::string which;
    double block = longest_block(end, &which);
    int pdus = static_cast<int>(std::count(serial.begin(), serial.end(), CTRL_Z)) - acks_confirmed;
    printf("load: %d s, each second 1 reflector text and 1 local request; %d of their %d transfers reached the radio\n",
           seconds, pdus, 2 * seconds);
    printf("load: radio texts sent %zu, forwarded %d, forwarded twice %d\n", texts.size(), arrived, twice);
    printf("load: worst lateness of a forward %.2f s\n", worst);
    printf("load: longest block of the radio reader %.2f s (line \"%s\")\n", block, visible(which).c_str());
    if (arrived < static_cast<int>(texts.size()))
        fail(0,
             std::to_string(texts.size() - static_cast<size_t>(arrived)) + " radio texts never reached the reflector");
    if (twice > 0)
        fail(0, std::to_string(twice) + " radio texts reached the reflector more than once");
    if (block > LOAD_MAX_BLOCK_S)
        fail(0, "the radio reader was blocked for more than 1.5 s");
    if (ack_load)
        print_ack_lateness(texts, end);
    release();
    confirm_acks = false;
    printf("%s %s\n", failures ? "FAIL" : "PASS", s.file.c_str());
    return failures == 0;
}

const char* HELP =
    "usage: sdsbridge-session [--gateway PATH] [--link PATH] [--log FILE] [--timeout S] [--verbose] SESSION...\n"
    "       sdsbridge-session --gateway PATH --load SECONDS | --load-acks SECONDS\n"
    "Plays radio sessions against the gateway and reports every unmet expectation.\n"
    "  --gateway PATH  start this gateway for each session, in a private network and\n"
    "                  mount namespace with its own /tmp (status 77 where that is impossible)\n"
    "  --link PATH     without --gateway: the radio's device link (default /tmp/radio)\n"
    "  --log FILE      without --gateway: the gateway's console log, for console lines\n"
    "  --timeout S     seconds an expectation may take (default 5)\n"
    "  --verbose       show every byte, datagram, file write and console line\n"
    "  --load SECONDS  instead of sessions: each second a reflector text and a local request,\n"
    "                  every 10 s a radio text; fails when a radio text is not forwarded\n"
    "                  exactly once or a radio line waits more than 1.5 s to be read\n"
    "  --load-acks SECONDS  the same with SYS_CTOM_WAIT=2; also fails when a radio text's\n"
    "                  acknowledgement waits longer than the transfer in progress, one more and 1 s\n"
    "  --weather-url URL  the gateway's weather service address (its build option), for\n"
    "                  \"weather-service silent\" (default https://api.openweathermap.org/...)\n"
    "Session lines (escapes \\r \\n \\t \\0 \\\\ \\xHH; # starts a comment, the first is the title):\n"
    "  config KEY=value   a configuration line    no-config   start without a file\n"
    "  args ARG...        command line arguments  answer TEXT  the radio's answer (empty: none)\n"
    "  hold-port PORT     the player holds UDP PORT (0.0.0.0) so the gateway cannot bind it\n"
    "  env KEY=VALUE      in the gateway's environment (env WATCHDOG_USEC=4000000)\n"
    "  journal            the gateway's stdout is named by JOURNAL_STREAM, as systemd's journal is\n"
    "  weather-service silent  the weather service takes connections and never answers\n"
    "  radio TEXT         the radio sends TEXT and CR LF   radio-bytes TEXT   exactly TEXT\n"
    "  reflector TEXT     a datagram to port 5230          local TEXT   a datagram to 54001\n"
    "  reflector-from ADDR TEXT  a datagram to port 5230 from ADDR (127.0.0.2), the reflector's port\n"
    "  signal NAME        HUP, INT, QUIT, TERM ...         wait 2s      a pause\n"
    "  unplug / plug      the radio's cable               put PATH TEXT  write a file\n"
    "  link PATH TARGET   make PATH a symbolic link to TARGET\n"
    "  stdout stall|read  stop / resume reading the gateway's output\n"
    "  radio-output stop|start  the radio stops / resumes taking bytes (flow control)\n"
    "  repeat N STEP      do STEP N times, 1 ms apart (repeat 200 signal TERM)\n"
    "  sent TEXT          the gateway writes TEXT to the radio next\n"
    "  datagram TEXT      the next datagram to the reflector ({time} masks a report time)\n"
    "  file PATH TEXT     the next write of PATH leaves TEXT\n"
    "  console TEXT       a console line, its timestamp removed ({stamp} masks others, {n} digits)\n"
    "  exit N             the gateway ends with status N\n"
    "  notify TEXT        a line the gateway sent to NOTIFY_SOCKET ({n} stands for digits)\n"
    "  after 2s LINE      the expectation comes 2 s after the line before it\n"
    "  within 2s LINE     the expectation comes at most 2 s after the line before it\n"
    "  never 3s LINE      no such notify, console or datagram line within 3 s of the line before\n";

} // namespace

int main(int argc, char* argv[])
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGPIPE, SIG_IGN);
    std::vector<session_spec> sessions;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            fputs(HELP, stdout);
            return 0;
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (has_value && (arg == "--gateway" || arg == "--link" || arg == "--log" || arg == "--timeout" ||
                                 arg == "--load" || arg == "--load-acks" || arg == "--weather-url")) {
            std::string value = argv[++i];
            if (arg == "--gateway")
                gateway_binary = std::filesystem::absolute(value);
            else if (arg == "--link")
                attach_link = value;
            else if (arg == "--log")
                attach_log = value;
            else if (arg == "--load" || arg == "--load-acks")
                load_s = atoi(value.c_str()), ack_load = arg == "--load-acks";
            else if (arg == "--weather-url")
                weather_url = value;
            else
                timeout_s = atof(value.c_str());
        } else if (arg[0] == '-') {
            fprintf(stderr, "unknown argument %s (try --help)\n", arg.c_str());
            return 2;
        } else {
            sessions.emplace_back();
            if (!load_session(arg, &sessions.back()))
                return 2;
        }
    }
    if (load_s > 0 && (gateway_binary.empty() || !sessions.empty())) {
        fprintf(stderr, "--load and --load-acks need --gateway and no session files\n");
        return 2;
    }
    std::string why;
    if (!gateway_binary.empty() && !isolate(&why)) {
        printf("skipped: no private network and /tmp for the gateway (%s)\n", why.c_str());
        return SKIPPED;
    }
    if (load_s > 0)
        return run_load(load_s) ? 0 : 1;
    int passed = 0;
    for (const session_spec& s : sessions)
        passed += play(s) ? 1 : 0;
    printf("%d passed, %d failed\n", passed, static_cast<int>(sessions.size()) - passed);
    return passed == static_cast<int>(sessions.size()) ? 0 : 1;
}
