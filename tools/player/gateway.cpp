// The gateway under test, in its own namespaces.
#include "gateway.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "name_service.h"
#include "weather_service.h"

namespace {

constexpr double STOP_TIMEOUT_S = 5;
// libfaketime's offset file: one line, a signed number of seconds ("+7200"),
// read again at every clock read, so the time keeps running from the step.
const std::string FAKETIME_FILE = std::string(WORK_DIR) + "/faketime";

// Writes the whole offset under a new name and renames it over the old one:
// the gateway, reading it at every clock read, never sees half a line.
bool write_wall_offset(long long seconds)
{
    std::string next = FAKETIME_FILE + ".next";
    {
        std::ofstream out(next, std::ios::trunc);
        out << (seconds < 0 ? "" : "+") << seconds << "\n";
        if (!out.flush())
            return false;
    }
    return rename(next.c_str(), FAKETIME_FILE.c_str()) == 0;
}

// libfaketime moves the gateway's wall clock by what the offset file says,
// and leaves the monotonic clock alone.
void preload_faketime(const session& s)
{
    const char* preload = getenv("LD_PRELOAD");
    std::string libraries = s.opt->faketime_library;
    if (preload && preload[0])
        libraries += std::string(":") + preload;
    setenv("LD_PRELOAD", libraries.c_str(), 1);
    setenv("FAKETIME_TIMESTAMP_FILE", FAKETIME_FILE.c_str(), 1);
    setenv("FAKETIME_NO_CACHE", "1", 1);
    setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    // No shared memory left behind in /dev/shm by a gateway the player kills.
    setenv("FAKETIME_DISABLE_SHM", "1", 1);
    // AddressSanitizer refuses to start unless its runtime comes first; in
    // front of it libfaketime only changes what the wall clock calls return.
    const char* asan = getenv("ASAN_OPTIONS");
    std::string options = std::string(asan && asan[0] ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

// Binds the ports the session holds (0.0.0.0), so the gateway finds them taken.
bool hold_ports(session* s)
{
    for (int port : s->script->held_ports) {
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in any = {};
        any.sin_family = AF_INET;
        any.sin_port = htons(static_cast<uint16_t>(port));
        if (bind(fd, reinterpret_cast<struct sockaddr*>(&any), sizeof any) != 0) {
            printf("%s: cannot hold UDP port %d: %s\n", s->script->file.c_str(), port, strerror(errno));
            close(fd);
            return false;
        }
        s->gateway.held_fds.push_back(fd);
    }
    return true;
}

// The service manager's notification socket, as systemd gives it.
bool open_notify_socket(session* s, struct sockaddr_un* at)
{
    *at = {};
    at->sun_family = AF_UNIX;
    snprintf(at->sun_path, sizeof at->sun_path, "%s/notify", WORK_DIR);
    s->gateway.notify_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return bind(s->gateway.notify_fd, reinterpret_cast<struct sockaddr*>(at), sizeof *at) == 0;
}

void write_config(const session& s)
{
    std::ofstream conf(std::string(WORK_DIR) + "/sdsbridge.conf");
    conf << "SYS_SERPORT=" << s.radio.link << "\nREFLECTOR_DNS=127.0.0.1\nREFLECTOR_PORT=" << DEFAULT_REFLECTOR_PORT
         << "\n";
    for (const std::string& c : s.script->config)
        conf << c << "\n";
}

// In the child: stdout and stderr to the pipe, the session's environment,
// and the gateway in its working directory.
[[noreturn]] void exec_gateway(const session& s, const int out[2], const char* notify_path)
{
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    const std::string& binary = s.opt->gateway_binary;
    std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
    for (const std::string& a : s.script->args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("NOTIFY_SOCKET", notify_path, 1);
    for (const std::string& e : s.script->env)
        putenv(const_cast<char*>(e.c_str()));
    if (s.script->steps_clock)
        preload_faketime(s);
    struct stat out_stat;
    if (s.script->journal && fstat(STDOUT_FILENO, &out_stat) == 0)
        setenv("JOURNAL_STREAM", (std::to_string(out_stat.st_dev) + ":" + std::to_string(out_stat.st_ino)).c_str(), 1);
    if (chdir(WORK_DIR) == 0)
        execv(binary.c_str(), argv.data());
    _exit(127);
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

// The keys that move the control paths, and where they are by default.
constexpr const char* CONTROL_PATH_KEYS[] = {"DTMF_CTRL_PATH=", "PTT_CTRL_PATH="};

// "voice-gateway terminals": each control path, where the session's
// configuration puts it, is a link to a terminal the player reads.
bool serve_terminals(session* s)
{
    for (size_t i = 0; i < std::size(CONTROL_FILES); i++) {
        served_path p;
        p.path = CONTROL_FILES[i];
        for (const std::string& c : s->script->config)
            if (c.rfind(CONTROL_PATH_KEYS[i], 0) == 0)
                p.path = c.substr(strlen(CONTROL_PATH_KEYS[i]));
        std::string why;
        if (!serve_terminal(&p, p.path, &why)) {
            printf("%s: cannot serve a terminal: %s\n", s->script->file.c_str(), why.c_str());
            return false;
        }
        s->tracked.insert(p.path);
        s->served.push_back(p);
    }
    return true;
}

} // namespace

bool requirements_met(session* s)
{
    std::string why;
    if (s->script->needs_console && !console_is_plain_terminal(&why))
        s->skipped = "needs a console that is not a pseudo-terminal: " + why;
    else if (s->script->needs_other_account && !can_give_to_other_account(&why))
        s->skipped = "needs another account: " + why;
    return s->skipped.empty();
}

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
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", "lo");
    int up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP) &&
             ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    if (fd >= 0)
        close(fd);
    if (!up)
        *why = std::string("loopback: ") + strerror(errno);
    return up;
}

int bind_udp(const session& s, int port, const char* address)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, address, &at.sin_addr);
    at.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at) != 0) {
        printf("%s: cannot bind UDP %s:%d: %s\n", s.script->file.c_str(), address, port, strerror(errno));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

int reflector_port(const session_spec& script)
{
    int port = DEFAULT_REFLECTOR_PORT;
    for (const std::string& c : script.config)
        if (c.rfind("REFLECTOR_PORT=", 0) == 0)
            port = atoi(c.c_str() + strlen("REFLECTOR_PORT="));
    return port;
}

// The second column of /proc/net/udp is the local address, "0100007F:146E".
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

bool start_gateway(session* s)
{
    std::filesystem::remove_all(WORK_DIR);
    for (const char* f : CONTROL_FILES)
        unlink(f);
    mkdir(WORK_DIR, 0755);
    s->radio.link = std::string(WORK_DIR) + "/radio";
    if (!radio_open(&s->radio)) {
        printf("%s: cannot open a pty for the radio\n", s->script->file.c_str());
        return false;
    }
    // A port another program holds would leave the gateway deaf: say so now.
    for (int port : {GATEWAY_PORT, LOCAL_PORT}) {
        int probe = bind_udp(*s, port);
        if (probe < 0)
            return false;
        close(probe);
    }
    struct sockaddr_un notify_at;
    if (!hold_ports(s) || !open_notify_socket(s, &notify_at))
        return false;
    if (s->script->write_config)
        write_config(*s);
    std::string weather_line;
    if (!s->script->weather_service.empty() && !silence_weather_service(s, &weather_line))
        return false;
    if (wants_private_names(*s->script) && !private_names(s, weather_line))
        return false;
    if (s->script->steps_clock && !write_wall_offset(0)) {
        printf("%s: cannot write %s\n", s->script->file.c_str(), FAKETIME_FILE.c_str());
        return false;
    }
    watch(s, "/tmp");
    watch(s, WORK_DIR);
    if (s->script->vg_terminals && !serve_terminals(s))
        return false;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return false;
    s->gateway.pid = fork();
    if (s->gateway.pid == 0)
        exec_gateway(*s, out, notify_at.sun_path);
    close(out[1]);
    s->gateway.console_fd = out[0];
    return s->gateway.pid > 0;
}

bool step_wall_clock(session* s, long long seconds)
{
    s->gateway.wall_offset_s += seconds;
    return write_wall_offset(s->gateway.wall_offset_s);
}

bool attach(session* s)
{
    s->radio.link = s->opt->attach_link;
    if (!radio_open(&s->radio)) {
        printf("cannot open a pty linked as %s\n", s->radio.link.c_str());
        return false;
    }
    watch(s, "/tmp");
    watch(s, ".");
    if (!s->opt->attach_log.empty()) {
        s->gateway.console_fd = open(s->opt->attach_log.c_str(), O_RDONLY);
        if (s->gateway.console_fd >= 0)
            lseek(s->gateway.console_fd, 0, SEEK_END);
    }
    // The real /tmp: the station's own control paths are left alone.
    if (s->script->vg_terminals)
        printf("%s: voice-gateway terminals: only with --gateway; the control paths stay as they are\n",
               s->script->file.c_str());
    printf("Start the gateway with SYS_SERPORT=%s REFLECTOR_DNS=127.0.0.1 REFLECTOR_PORT=%d%s\n", s->radio.link.c_str(),
           reflector_port(*s->script), s->script->config.empty() ? "" : " and the session's config lines");
    return true;
}

void stop_gateway(session* s)
{
    s->console_stalled = false; // a stalled reader would keep it from ending
    pid_t pid = s->gateway.pid;
    if (pid > 0 && s->rec.exit_status < 0) {
        kill(pid, SIGINT);
        if (!wait_until(
                s, [s] { return s->rec.exit_status >= 0; }, now_s() + STOP_TIMEOUT_S)) {
            fail(s, 0, "the gateway did not stop within 5 s of SIGINT");
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    stop_detached();
    // Everything it wrote before it ended.
    wait_until(
        s, [s] { return s->gateway.console_fd < 0; }, now_s() + 1);
}
