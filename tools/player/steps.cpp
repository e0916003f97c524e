// The steps of a session.
#include "steps.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "gateway.h"
#include "name_service.h"

namespace {

double ready_timeout(const session& s)
{
    return s.opt->gateway_binary.empty() ? 600 : s.opt->timeout_s;
}

void send_radio(session* s, const line_spec& l)
{
    if (s->radio.master < 0) {
        fail(s, l.number, "the radio is unplugged");
        return;
    }
    if (!gateway_ready(s, l))
        return;
    std::string bytes = l.verb == verb_id::radio ? l.text + "\r\n" : l.text;
    note(s->opt->verbose, "radio ->", bytes);
    if (!radio_write(&s->radio, bytes))
        fail(s, l.number, "the radio line did not take the bytes");
}

// reflector-from: another host on the reflector's port.
void send_from(session* s, const line_spec& l, int port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(reflector_port(*s->script)));
    if (inet_pton(AF_INET, l.path.c_str(), &at.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0)
        fail(s, l.number, "cannot send from " + l.path + ": " + strerror(errno));
    note(s->opt->verbose, ("reflector " + l.path + " ->").c_str(), l.text);
    send_udp(fd, port, l.text);
    close(fd);
}

void send_datagram(session* s, const line_spec& l, int port)
{
    if (!gateway_ready(s, l))
        return;
    if (!l.path.empty()) {
        send_from(s, l, port);
        return;
    }
    note(s->opt->verbose, port == LOCAL_PORT ? "local ->" : "reflector ->", l.text);
    if (port == GATEWAY_PORT) {
        send_udp(s->reflector_fd, port, l.text);
        return;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    send_udp(fd, port, l.text);
    close(fd);
}

// Where a file named in a session is: a relative name is in the gateway's directory.
std::string place(const session& s, const std::string& path)
{
    bool in_work_dir = path[0] != '/' && !s.opt->gateway_binary.empty();
    return in_work_dir ? std::string(WORK_DIR) + "/" + path : path;
}

void put_file(session* s, const line_spec& l)
{
    if (s->tracked.count(l.path))
        s->own_writes[l.path]++;
    std::ofstream(place(*s, l.path), std::ios::binary | std::ios::trunc) << l.text;
}

// A symbolic link planted where the gateway writes, as another local user could.
void plant_link(session* s, const line_spec& l)
{
    std::string path = place(*s, l.path);
    unlink(path.c_str());
    if (symlink(place(*s, l.text).c_str(), path.c_str()) != 0)
        fail(s, l.number, "cannot link " + l.path + ": " + strerror(errno));
}

// "terminal PATH", "fifo PATH [read]": the player as the voice gateway at PATH.
void serve(session* s, const line_spec& l)
{
    served_path p;
    p.path = l.path;
    std::string why;
    bool made = l.verb == verb_id::terminal ? serve_terminal(&p, place(*s, l.path), &why)
                                            : serve_fifo(&p, place(*s, l.path), l.text == "read", &why);
    if (!made)
        fail(s, l.number, why);
    s->served.push_back(p);
}

// "reader PATH stall|read": the voice gateway hangs, or reads again.
void reader(session* s, const line_spec& l)
{
    served_path* p = served_at(s, l.path);
    if (!p)
        fail(s, l.number, "the player serves nothing at " + l.path);
    else if (l.text == "read")
        p->stalled = false;
    else if (!stall_reader(p))
        fail(s, l.number, "cannot fill the buffer of " + l.path + ": " + strerror(errno));
}

// "owner PATH UID": a file another account left, with a mode that lets anyone write.
void give_away(session* s, const line_spec& l)
{
    std::string path = place(*s, l.path);
    uid_t uid = static_cast<uid_t>(atoi(l.text.c_str()));
    if (lchown(path.c_str(), uid, uid) != 0 || chmod(path.c_str(), 0666) != 0)
        fail(s, l.number, "cannot give " + l.path + " to account " + l.text + ": " + strerror(errno));
}

// "reflector-at ADDR": the stand-in listens and sends at ADDR, and the
// reflector's name resolves there (it may already be there, and only the
// name is new).
void move_reflector(session* s, const line_spec& l)
{
    std::string at = s->reflector_at.empty() ? "127.0.0.1" : s->reflector_at;
    if (l.text == at) { // the name appears where the reflector already is
        s->reflector_at = l.text;
        write_hosts(*s);
        return;
    }
    int fd = bind_udp(*s, reflector_port(*s->script), l.text.c_str());
    if (fd < 0) {
        fail(s, l.number, "the reflector cannot move to " + l.text);
        return;
    }
    close(s->reflector_fd);
    s->reflector_fd = fd;
    s->reflector_at = l.text;
    write_hosts(*s);
}

void do_once(session* s, const line_spec& l)
{
    switch (l.verb) {
    case verb_id::radio:
    case verb_id::radio_bytes:
        send_radio(s, l);
        break;
    case verb_id::reflector:
    case verb_id::reflector_from:
        send_datagram(s, l, GATEWAY_PORT);
        break;
    case verb_id::local:
        send_datagram(s, l, LOCAL_PORT);
        break;
    case verb_id::answer:
        s->radio.answer = l.text.empty() ? "" : l.text + "\r\n";
        break;
    case verb_id::wait:
        wait_until(
            s, [] { return false; }, now_s() + l.after);
        break;
    case verb_id::signal:
        if (s->gateway.pid > 0)
            kill(s->gateway.pid, signal_number(l.text));
        break;
    case verb_id::unplug:
        radio_close(&s->radio);
        break;
    case verb_id::plug:
        if (!radio_open(&s->radio))
            fail(s, l.number, "cannot open a new pty as " + s->radio.link);
        break;
    case verb_id::put:
        put_file(s, l);
        break;
    case verb_id::link:
        plant_link(s, l);
        break;
    case verb_id::stdout_flow:
        s->console_stalled = l.text == "stall";
        break;
    case verb_id::terminal:
    case verb_id::fifo:
        serve(s, l);
        break;
    case verb_id::reader:
        reader(s, l);
        break;
    case verb_id::owner:
        give_away(s, l);
        break;
    case verb_id::reflector_at:
        move_reflector(s, l);
        break;
    case verb_id::radio_output:
        if (s->radio.slave >= 0)
            tcflow(s->radio.slave, l.text == "stop" ? TCOOFF : TCOON);
        break;
    case verb_id::clock:
        if (!step_wall_clock(s, l.clock_step_s))
            fail(s, l.number, std::string("cannot step the gateway's wall clock: ") + strerror(errno));
        break;
    default:
        break; // headers, prefixes and expectations are no steps
    }
}

} // namespace

void send_udp(int fd, int port, const std::string& text)
{
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    sendto(fd, text.data(), text.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
}

// The gateway answers radio lines from its reflector socket and posts to its
// local port, so input waits until both are bound and the radio's port is set up.
bool gateway_ready(session* s, const line_spec& l)
{
    // While the radio is unplugged there is no port to wait for.
    if (s->radio.slave >= 0 && !wait_until(
                                   s, [s] { return s->radio.ready; }, now_s() + ready_timeout(*s))) {
        fail(s, l.number, "the gateway never set up the radio's port");
        return false;
    }
    for (int port : {GATEWAY_PORT, LOCAL_PORT}) {
        if (!wait_until(
                s, [port] { return udp_port_bound(port); }, now_s() + ready_timeout(*s))) {
            fail(s, l.number, "the gateway never bound UDP port " + std::to_string(port));
            return false;
        }
    }
    return true;
}

void do_step(session* s, const line_spec& l)
{
    for (int i = 0; i < l.repeat; i++) {
        if (i > 0)
            wait_until(
                s, [] { return false; }, now_s() + 0.001);
        do_once(s, l);
    }
}
