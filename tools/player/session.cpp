// One session's state, and the pump that records what the gateway does.
#include "session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "escape.h"
#include "name_service.h"

namespace {

// Polls in one pump round that take only what is already waiting: enough to
// empty every source, few enough that a flood cannot hold the player.
constexpr int DRAIN_ROUNDS = 64;

void console_bytes(session* s, const char* bytes, size_t count)
{
    for (size_t done = 0; s->saved_log_fd >= 0 && done < count;) {
        ssize_t wrote = write(s->saved_log_fd, bytes + done, count - done);
        if (wrote <= 0)
            break; // a full disk loses the copy, not the session
        done += static_cast<size_t>(wrote);
    }
    s->console_partial.append(bytes, count);
    size_t end;
    while ((end = s->console_partial.find('\n')) != std::string::npos) {
        std::string line = masked(s->console_partial.substr(0, end));
        s->console_partial.erase(0, end + 1);
        // A journal priority prefix ("<3>") stays; the timestamp after it goes.
        size_t stamp =
            line.size() > 3 && line[0] == '<' && isdigit(static_cast<unsigned char>(line[1])) && line[2] == '>' ? 3 : 0;
        if (line.compare(stamp, 8, "{stamp} ") == 0)
            line.erase(stamp, 8);
        note(s->opt->verbose, "console", line);
        s->rec.console.push_back({now_s(), line});
    }
}

// name: the file as sessions name it; path: where it is.
void file_written(session* s, const std::string& name, const std::string& path)
{
    if (!s->tracked.count(name) || served_at(s, name))
        return;
    if (s->own_writes[name] > 0) {
        s->own_writes[name]--;
        return;
    }
    // A write that cannot be read (a link, a FIFO) still counts, as empty.
    std::string text;
    read_written_file(path, &text);
    note(s->opt->verbose, ("file " + name).c_str(), text);
    s->rec.writes[name].push_back({now_s(), text});
}

void inotify_events(session* s)
{
    for (const written_file& f : written_files(s->inotify_fd)) {
        // Files in the gateway's working directory are named as it names them.
        const std::string& dir = s->watched_dirs[f.wd];
        std::string path = dir + "/" + f.name;
        file_written(s, dir == "/tmp" ? path : f.name, path);
    }
}

void reflector_datagram(session* s)
{
    char buf[65536];
    struct sockaddr_in from = {};
    socklen_t len = sizeof from;
    ssize_t got = recvfrom(s->reflector_fd, buf, sizeof buf, 0, reinterpret_cast<struct sockaddr*>(&from), &len);
    if (got < 0)
        return;
    std::string text(buf, static_cast<size_t>(got));
    note(s->opt->verbose, "reflector <-", text);
    const std::vector<int>& held = s->script->held_ports;
    bool deaf = std::count(held.begin(), held.end(), GATEWAY_PORT) > 0;
    if (ntohs(from.sin_port) != GATEWAY_PORT && !deaf)
        fail(s, 0, "datagram from port " + std::to_string(ntohs(from.sin_port)) + ", not 5230: " + visible(text));
    s->rec.datagrams.push_back({now_s(), text});
}

// One notification may carry several "KEY=value" lines.
void notify_message(session* s)
{
    char buf[4096];
    ssize_t got = recv(s->gateway.notify_fd, buf, sizeof buf, MSG_DONTWAIT);
    std::istringstream lines(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0));
    for (std::string line; std::getline(lines, line);) {
        note(s->opt->verbose, "notify", line);
        s->rec.notices.push_back({now_s(), line});
    }
}

void reap_gateway(session* s)
{
    int status;
    pid_t pid = s->gateway.pid;
    if (pid > 0 && s->rec.exit_status < 0 && waitpid(pid, &status, WNOHANG) == pid)
        s->rec.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What arrived at a control path the player reads: one write of it.
void served_bytes(session* s, served_path* p)
{
    std::string text = read_served(p);
    if (text.empty())
        return;
    note(s->opt->verbose, ("file " + p->path).c_str(), text);
    s->rec.writes[p->path].push_back({now_s(), text});
}

// One poll; false when nothing was readable.
bool pump_round(session* s, int wait_ms)
{
    // A log file (attach mode) is always readable, so it is read after the
    // poll instead of in it, or the poll would never wait.
    bool attached = s->opt->gateway_binary.empty();
    int console_pipe = attached || s->console_stalled ? -1 : s->gateway.console_fd;
    int name_server = s->gateway.name_server_answers ? s->gateway.name_server_fd : -1;
    std::vector<struct pollfd> fds = {{s->radio.master, POLLIN, 0},      {s->reflector_fd, POLLIN, 0},
                                      {console_pipe, POLLIN, 0},         {s->inotify_fd, POLLIN, 0},
                                      {s->gateway.notify_fd, POLLIN, 0}, {name_server, POLLIN, 0}};
    for (const served_path& p : s->served)
        fds.push_back({p.stalled ? -1 : p.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), wait_ms) <= 0)
        return false;
    constexpr size_t FIRST_SERVED = 6; // the voice gateway's paths follow the fixed six
    for (size_t i = 0; i < s->served.size(); i++)
        if (fds[FIRST_SERVED + i].revents & POLLIN)
            served_bytes(s, &s->served[i]);
    char buf[4096];
    if (fds[0].revents & POLLIN) {
        ssize_t got = read(s->radio.master, buf, sizeof buf);
        if (got > 0)
            radio_take(&s->radio, &s->rec, buf, static_cast<size_t>(got), s->opt->verbose);
    }
    if (fds[1].revents & POLLIN)
        reflector_datagram(s);
    if (fds[2].revents & (POLLIN | POLLHUP)) {
        ssize_t got = read(s->gateway.console_fd, buf, sizeof buf);
        if (got > 0)
            console_bytes(s, buf, static_cast<size_t>(got));
        else
            close(s->gateway.console_fd), s->gateway.console_fd = -1; // the gateway is gone
    }
    if (fds[3].revents & POLLIN)
        inotify_events(s);
    if (fds[4].revents & POLLIN)
        notify_message(s);
    if (fds[5].revents & POLLIN)
        answer_no_such_name(name_server);
    return true;
}

} // namespace

bool open_saved_log(player_options* opt)
{
    opt->save_log_fd = open(opt->save_log.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    opt->save_log_dir = opt->save_log_fd >= 0;
    if (!opt->save_log_dir)
        opt->save_log_fd = open(opt->save_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (opt->save_log_fd < 0)
        printf("%s: cannot write it: %s\n", opt->save_log.c_str(), strerror(errno));
    return opt->save_log_fd >= 0;
}

void session_begin(session* s, const player_options& opt, const session_spec& script)
{
    s->opt = &opt;
    s->script = &script;
    s->radio.replies.assign(script.replies.begin(), script.replies.end());
    if (opt.save_log_dir) {
        std::string name = std::filesystem::path(script.file).stem().string() + ".log";
        s->saved_log_fd = openat(opt.save_log_fd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else if (opt.save_log_fd >= 0) {
        s->saved_log_fd = dup(opt.save_log_fd);
    }
    s->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The control files always, and whatever else this session looks at.
    s->tracked = std::set<std::string>(std::begin(CONTROL_FILES), std::end(CONTROL_FILES));
    for (const line_spec& l : script.lines)
        if (!l.path.empty())
            s->tracked.insert(l.path);
}

void session_release(session* s)
{
    radio_close(&s->radio);
    for (int* fd : {&s->reflector_fd, &s->gateway.console_fd, &s->inotify_fd, &s->gateway.notify_fd,
                    &s->gateway.weather_fd, &s->gateway.name_server_fd, &s->saved_log_fd})
        if (*fd >= 0)
            close(*fd), *fd = -1;
    for (served_path& p : s->served)
        release_served(&p);
    for (int fd : s->gateway.held_fds)
        close(fd);
    s->gateway.held_fds.clear();
    for (const std::string& path : s->gateway.mounted)
        umount2(path.c_str(), MNT_DETACH);
    s->gateway.mounted.clear();
}

void fail(session* s, int line, const std::string& what)
{
    s->failures++;
    if (line > 0)
        printf("%s:%d: %s\n", s->script->file.c_str(), line, what.c_str());
    else
        printf("%s: %s\n", s->script->file.c_str(), what.c_str());
}

void fail_all(session* s, const std::vector<finding>& found)
{
    for (const finding& f : found)
        fail(s, f.line, f.what);
}

void pump(session* s, int wait_ms)
{
    for (int round = 0; round < DRAIN_ROUNDS && pump_round(s, round == 0 ? wait_ms : 0); round++) {
    }
    const gateway_process& g = s->gateway;
    if (s->opt->gateway_binary.empty() && !s->console_stalled && g.console_fd >= 0) { // a log file: read on
        char buf[4096];
        ssize_t got = read(g.console_fd, buf, sizeof buf);
        if (got > 0)
            console_bytes(s, buf, static_cast<size_t>(got));
    }
    radio_check_ready(&s->radio);
    reap_gateway(s);
}

served_path* served_at(session* s, const std::string& path)
{
    for (served_path& p : s->served)
        if (p.path == path)
            return &p;
    return nullptr;
}

void watch(session* s, const std::string& dir)
{
    int wd = watch_dir(s->inotify_fd, dir);
    if (wd >= 0)
        s->watched_dirs[wd] = dir;
}
