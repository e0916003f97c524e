// The radio's pseudo-terminal: one opener for every tool and test.
#include "pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
int failed(const char* call, std::string* why)
{
    *why = std::string(call) + ": " + strerror(errno);
    return -1;
}
} // namespace

int pty_open(std::string* slave_path, int* slave_fd, std::string* why)
{
    *slave_fd = -1;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        failed("posix_openpt", why);
        if (master >= 0)
            close(master);
        return -1;
    }
    const char* name = ptsname(master);
    if (!name) {
        failed("ptsname", why);
        close(master);
        return -1;
    }
    *slave_path = name;
    *slave_fd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*slave_fd < 0) {
        failed(name, why);
        close(master);
        return -1;
    }
    return master;
}

int pty_make_raw(int fd, speed_t speed)
{
    struct termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return 0;
    cfmakeraw(&tio);
    if (speed != B0) {
        cfsetospeed(&tio, speed);
        cfsetispeed(&tio, speed);
    }
    tcsetattr(fd, TCSANOW, &tio);
    return 1;
}
