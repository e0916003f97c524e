// The watchdog pings of service_tick, read from a notification socket as
// systemd would read them, while a worker is busy, hung, or the wall clock steps.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "process/service.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/liveness.h"

namespace {

// An abstract socket named by NOTIFY_SOCKET, as systemd hands one to a service.
int notify_socket()
{
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    struct sockaddr_un at = {};
    at.sun_family = AF_UNIX;
    std::string name = "sdsbridge-service-test-" + std::to_string(getpid());
    memcpy(at.sun_path + 1, name.data(), name.size());
    socklen_t len = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + name.size());
    EXPECT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&at), len), 0);
    setenv("NOTIFY_SOCKET", ("@" + name).c_str(), 1);
    return fd;
}

// Whether a WATCHDOG=1 came since the last look.
bool pinged(int fd)
{
    bool ping = false;
    char buf[512];
    for (ssize_t got; (got = recv(fd, buf, sizeof buf - 1, 0)) > 0;) {
        buf[got] = '\0';
        ping = ping || strstr(buf, "WATCHDOG=1") != nullptr;
    }
    return ping;
}

// One character per beacon tick (a second). worker: '.' waits for input,
// 'S' is inside a step (begun at the first 'S' of a run), 'W' likewise, the
// wall clock having stepped 3 h forward just before. pings: 'P' where a
// WATCHDOG=1 goes out. A 4 s watchdog: a ping due every 2 ticks; the worker
// may take 2 s for a step, so it is hung at its fourth tick inside one.
struct watchdog_case {
    const char* name;
    const char* worker;
    const char* pings;
};

const watchdog_case CASES[] = {
    {"always waiting", "..........", ".P.P.P.P.P"},
    {"steps within the bound", ".SSS.SSS..", ".P.P.P.P.P"},
    // Hung on tick 5 only: the withheld ping goes out at once on tick 6,
    // 3 s after the last, within systemd's 4 s.
    {"a short busy spell", "..SSSS....", ".P.P..P.P."},
    {"hung for three ticks, then alive", ".SSSSSS...", ".P.P...P.P"},
    {"a real hang", "..SSSSSSSS", ".P.P......"},
    {"wall clock steps inside steps", "..SW.SW...", ".P.P.P.P.P"},
};

TEST(Service, AWithheldPingGoesOutOnTheFirstTickThatFindsEveryWorkerAlive)
{
    virtual_clock_scope clock;
    int fd = notify_socket();
    setenv("WATCHDOG_USEC", "4000000", 1);
    for (const watchdog_case& c : CASES) {
        liveness_reset();
        liveness_register("tworker", 2);
        capture_stdout_begin(); // the hang's line
        service_ready({0, 0, 1});
        pinged(fd);
        std::string pings;
        for (const char* w = c.worker; *w; w++) {
            virtual_clock_advance_us(1000000);
            if (*w == 'W')
                virtual_clock_step_wall_us(3LL * 3600 * 1000000);
            if (*w == '.')
                liveness_waiting();
            else if (w == c.worker || w[-1] == '.')
                liveness_step_begin();
            service_tick();
            pings += pinged(fd) ? 'P' : '.';
        }
        capture_stdout_end();
        EXPECT_EQ(pings, c.pings) << c.name;
    }
    liveness_reset();
    unsetenv("WATCHDOG_USEC");
    unsetenv("NOTIFY_SOCKET");
    close(fd);
}

} // namespace
