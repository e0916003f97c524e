// Writes to standard output that never wait: each kind of output is asked
// whether it takes a line now, in a way that affects only this process.
#include "util/stdout_now.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

// /dev/null, which daemon() gives the gateway as standard output.
constexpr unsigned DEV_NULL_MAJOR = 1;
constexpr unsigned DEV_NULL_MINOR = 3;

// A failure that says "not now" rather than "never": the line waits for the
// writer thread. EAGAIN also covers another process having set O_NONBLOCK on
// the file description we share with it.
bool not_now(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Whether the pipe takes size bytes at once and whole. poll's POLLOUT says a
// page slot is free, which takes any write of up to PIPE_BUF at once; the
// byte count keeps lines off a pipe more than half full, so a reader that
// falls behind sends them to the writer thread long before the pipe is full,
// and another writer of the same pipe would have to fill half of it between
// the check and the write to make this write wait.
bool pipe_has_room(size_t size)
{
    if (size > PIPE_BUF)
        return false;
    struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&out, 1, 0) != 1 || !(out.revents & POLLOUT))
        return false;
    int queued = 0;
    int capacity = fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    if (capacity <= 0 || ioctl(STDOUT_FILENO, FIONREAD, &queued) != 0 || queued < 0)
        return false;
    return static_cast<size_t>(queued) + size <= static_cast<size_t>(capacity) / 2;
}

size_t pipe_write_now(const char* bytes, size_t size)
{
    if (!pipe_has_room(size))
        return 0;
    ssize_t written = write(STDOUT_FILENO, bytes, size);
    if (written < 0)
        return not_now(errno) ? 0 : size;
    return static_cast<size_t>(written);
}

// MSG_DONTWAIT makes this one call non-blocking, not the socket. A stream
// socket may take part of a line; the rest then waits for the writer thread,
// ahead of every later line, so the line still arrives whole.
size_t socket_send_now(const char* bytes, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t sent = send(STDOUT_FILENO, bytes + done, size - done, MSG_DONTWAIT);
        if (sent < 0 && not_now(errno))
            return done;
        if (sent <= 0)
            return size;
        done += static_cast<size_t>(sent);
    }
    return done;
}

size_t write_whole(const char* bytes, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t written = write(STDOUT_FILENO, bytes + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return size;
        done += static_cast<size_t>(written);
    }
    return done;
}

} // namespace

stdout_kind stdout_kind_now()
{
    struct stat out;
    if (fstat(STDOUT_FILENO, &out) != 0)
        return STDOUT_MAY_WAIT;
    if (S_ISFIFO(out.st_mode))
        return STDOUT_PIPE;
    if (S_ISSOCK(out.st_mode))
        return STDOUT_SOCKET;
    if (S_ISREG(out.st_mode) || (S_ISCHR(out.st_mode) && out.st_rdev == makedev(DEV_NULL_MAJOR, DEV_NULL_MINOR)))
        return STDOUT_NEVER_WAITS;
    return STDOUT_MAY_WAIT;
}

size_t stdout_write_now(stdout_kind kind, const char* bytes, size_t size)
{
    switch (kind) {
    case STDOUT_PIPE:
        return pipe_write_now(bytes, size);
    case STDOUT_SOCKET:
        return socket_send_now(bytes, size);
    case STDOUT_NEVER_WAITS:
        return write_whole(bytes, size);
    case STDOUT_MAY_WAIT:
        break;
    }
    return 0;
}

size_t stdout_write_within(stdout_kind kind, const char* bytes, size_t size, int wait_ms)
{
    if (kind == STDOUT_NEVER_WAITS)
        return write_whole(bytes, size);
    // A pipe with a free page takes up to PIPE_BUF bytes without waiting.
    if (kind == STDOUT_PIPE && size > PIPE_BUF)
        return 0;
    struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&out, 1, wait_ms) != 1 || !(out.revents & POLLOUT))
        return 0;
    if (kind == STDOUT_SOCKET)
        return socket_send_now(bytes, size);
    ssize_t written = write(STDOUT_FILENO, bytes, size);
    return written > 0 ? static_cast<size_t>(written) : 0;
}
