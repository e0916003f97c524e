// The stand-in voice gateway: terminals and FIFOs at the control paths.
#include "voice_gateway.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "escape.h"
#include "pty.h"

namespace {

volatile sig_atomic_t stop_requested = 0;

void on_stop(int)
{
    stop_requested = 1;
}

constexpr long DEVPTS_MAGIC = 0x1cd1;     // statfs f_type of the devpts file system
constexpr unsigned PTY_SLAVE_MAJOR = 136; // 136 to 143: /dev/pts/N

bool failed(const std::string& what, std::string* why)
{
    *why = what + ": " + strerror(errno);
    return false;
}

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Writes filler into in until it takes no more; false on an error other
// than "full". A terminal refuses a block some bytes short of full: single
// bytes then take the last room, so that not even a short message fits.
bool fill_once(int in, size_t* filler)
{
    char block[512];
    memset(block, '.', sizeof block);
    for (size_t size : {sizeof block, size_t{1}}) {
        for (;;) {
            ssize_t wrote = write(in, block, size);
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                break;
            *filler += static_cast<size_t>(wrote);
        }
        if (errno != EAGAIN)
            return false;
    }
    return true;
}

} // namespace

bool serve_terminal(served_path* p, const std::string& place, std::string* why)
{
    std::string name;
    p->fd = pty_open(&name, &p->slave, why);
    if (p->fd < 0)
        return false;
    // Raw: no CR added before a newline of a text, nothing echoed.
    pty_make_raw(p->slave, B0);
    set_nonblocking(p->fd);
    unlink(place.c_str());
    if (symlink(name.c_str(), place.c_str()) != 0)
        return failed("symlink " + place, why);
    return true;
}

bool serve_fifo(served_path* p, const std::string& place, bool reader, std::string* why)
{
    unlink(place.c_str());
    if (mkfifo(place.c_str(), 0644) != 0)
        return failed("mkfifo " + place, why);
    // Held for writing too: the FIFO then never reads as ended between the
    // gateway's writes. Only the gateway's writes and the filler come in.
    if (reader && (p->fd = open(place.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0)
        return failed("open " + place, why);
    return true;
}

bool stall_reader(served_path* p)
{
    int in = p->slave >= 0 ? p->slave : p->fd;
    if (in < 0)
        return false;
    set_nonblocking(in);
    // The kernel moves a terminal's bytes on to its reading side a moment
    // later, on a busy machine much later, and that makes room again: fill
    // until two rounds, 50 ms apart, find none.
    for (int quiet_rounds = 0; quiet_rounds < 2;) {
        size_t before = p->filler;
        if (!fill_once(in, &p->filler))
            return false;
        quiet_rounds = p->filler == before ? quiet_rounds + 1 : 0;
        usleep(50000);
    }
    p->stalled = true;
    return p->filler > 0;
}

std::string read_served(served_path* p)
{
    std::string got;
    char buf[4096];
    ssize_t n;
    while (!p->stalled && p->fd >= 0 && (n = read(p->fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    size_t own = std::min(p->filler, got.size());
    p->filler -= own;
    return got.substr(own);
}

void release_served(served_path* p)
{
    for (int* fd : {&p->fd, &p->slave})
        if (*fd >= 0)
            close(*fd), *fd = -1;
}

bool console_is_plain_terminal(std::string* why)
{
    int fd = open("/dev/console", O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failed("/dev/console", why);
    struct stat st;
    struct statfs fs;
    bool terminal = isatty(fd) && fstat(fd, &st) == 0 && fstatfs(fd, &fs) == 0;
    bool pty = terminal && (fs.f_type == DEVPTS_MAGIC || (major(st.st_rdev) & ~7u) == PTY_SLAVE_MAJOR);
    close(fd);
    if (!terminal)
        *why = "/dev/console is not a terminal";
    else if (pty)
        *why = "/dev/console is a pseudo-terminal here (as in many containers)";
    return terminal && !pty;
}

// Each line of /proc/self/uid_map: first id inside, first id outside, count.
bool can_give_to_other_account(std::string* why)
{
    std::ifstream map("/proc/self/uid_map");
    unsigned long inside, outside, count;
    while (map >> inside >> outside >> count)
        if (OTHER_ACCOUNT >= inside && OTHER_ACCOUNT - inside < count)
            return true;
    *why = "this user namespace maps no account but the player's own";
    return false;
}

int run_voice_gateway(const std::vector<std::string>& paths)
{
    std::vector<served_path> served(paths.size());
    std::vector<struct pollfd> fds;
    for (size_t i = 0; i < paths.size(); i++) {
        std::string why;
        served[i].path = paths[i];
        if (!serve_terminal(&served[i], paths[i], &why)) {
            fprintf(stderr, "voice gateway: %s\n", why.c_str());
            return 1;
        }
        fds.push_back({served[i].fd, POLLIN, 0});
        printf("voice gateway: %s -> %s\n", paths[i].c_str(), ptsname(served[i].fd));
    }
    signal(SIGINT, on_stop);
    signal(SIGTERM, on_stop);
    while (!stop_requested) {
        if (poll(fds.data(), fds.size(), 200) <= 0)
            continue;
        for (size_t i = 0; i < served.size(); i++)
            if (fds[i].revents & POLLIN)
                printf("%s: %s\n", paths[i].c_str(), visible(read_served(&served[i])).c_str());
    }
    for (served_path& p : served) {
        release_served(&p);
        unlink(p.path.c_str());
    }
    return 0;
}
