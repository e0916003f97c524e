// Serial PEI link: port set-up, handshake flags, write_ser, wait_ok, and the
// line reader built on a byte-fed line assembler.
#include "radio/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/config.h"
#include "global.h"
#include "util/console.h"
#include "util/control_chars.h"
#include "util/text.h"

char piport[51];
int pibaudrate;
std::atomic<int> serport{-1};
std::atomic<bool> got_ser_ok{false};
std::atomic<bool> got_ser_error{false};
std::atomic<int> serial_first_open{0};

namespace {
constexpr int WAIT_POLLS = 20;
constexpr long long WAIT_POLL_US = 50000;

// The line being assembled: a read that returns before its CR leaves it
// here, so its bytes stay in order with those that finish it.
char partial[LINE_MAX_BYTES + 1];
int partial_position = 0;

struct speed_entry {
    int bits_per_second;
    speed_t code;
};

const speed_entry speeds[] = {
    {50, B50},           {75, B75},         {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000},
};

// Opens piport into serport (blocking mode, not as controlling terminal);
// 1 on success, else the open's errno negated, after logging it.
int open_port()
{
    int fd = open(piport, O_RDWR | O_NOCTTY);
    serport = fd;
    if (fd < 0) {
        int err = errno;
        log_failure("Error %i opening %s: %s\n", err, piport, strerror(err));
        return -err;
    }
    return 1;
}

// The gateway's port: its descriptor at its configured speed.
void configure_port()
{
    port_configure(serport.load(), pibaudrate);
}

void drop_partial()
{
    memset(partial, 0, sizeof partial);
    partial_position = 0;
}

void close_locked()
{
    drop_partial(); // a reopened port starts a new line
    int fd = serport.exchange(-1);
    if (fd >= 0)
        close(fd);
}

// Whether a byte (or a failure, which the read then reports) waits on fd
// within wait_ms; false on silence or a signal.
bool input_within(int fd, int wait_ms)
{
    struct pollfd port = {fd, POLLIN, 0};
    int ready = poll(&port, 1, wait_ms);
    return ready > 0 || (ready < 0 && errno != EINTR);
}

// The whole line in partial goes to line, zero-filled behind it.
void deliver(char* line, size_t size)
{
    memset(line, 0, size);
    memcpy(line, partial, size - 1 < sizeof partial ? size - 1 : sizeof partial);
    drop_partial();
}

} // namespace

int write_ser(const char* cmd)
{
    got_ser_ok = false;
    got_ser_error = false;
    int position = 0;
    int fd = serport.load();
    while (cmd[position] != '\0') {
        char byte = cmd[position];
        ssize_t written = write(fd, &byte, 1);
        if (written < 0 && errno == EINTR)
            continue; // a signal, not a failure: a cut command would confuse the radio
        if (written <= 0)
            break;
        position += static_cast<int>(written);
        if (byte == CR || byte == CTRL_Z)
            break;
    }
    return position;
}

void wait_ok()
{
    for (int poll = 0; poll < WAIT_POLLS; poll++) {
        sleep_us(WAIT_POLL_US);
        bool ok = got_ser_ok.exchange(false);
        bool error = got_ser_error.exchange(false);
        if (ok || error)
            return;
    }
}

int baud_to_speed(int bits_per_second, speed_t* speed)
{
    for (const speed_entry& entry : speeds) {
        if (entry.bits_per_second == bits_per_second) {
            *speed = entry.code;
            return 1;
        }
    }
    return 0;
}

int port_configure(int fd, int bits_per_second)
{
    struct termios tty;
    memset(&tty, 0, sizeof tty);
    int ok = 1;
    if (tcgetattr(fd, &tty) != 0) {
        int err = errno;
        log_failure("Error %i from tcgetattr: %s\n", err, strerror(err));
        ok = 0;
    }
    speed_t speed = B9600;
    if (!baud_to_speed(bits_per_second, &speed))
        log_refusal("No speed code for %i bit/s, using 9600\n", bits_per_second);
    cfsetospeed(&tty, speed);
    cfsetispeed(&tty, speed);
    tty.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tty.c_cflag |= CS8 | CREAD | CLOCAL;
    tty.c_cc[VMIN] = 1;
    tty.c_cc[VTIME] = 5;
    cfmakeraw(&tty);
    tcflush(fd, TCIFLUSH);
    if (tcsetattr(fd, TCSANOW, &tty) != 0) {
        log_failure("Error %i from tcsetattr\n", errno);
        ok = 0;
    }
    return ok;
}

int port_setup()
{
    copy_field(piport, SYS_SERPORT);
    pibaudrate = SYS_SERBAUD;
    int opened = open_port();
    // The attribute calls are made even on a failed open: their errors are
    // the record of what went wrong at start-up.
    configure_port();
    serial_first_open = opened;
    return opened == 1 ? 1 : 0;
}

int port_reopen()
{
    close_locked();
    if (open_port() != 1)
        return 0;
    configure_port();
    return 1;
}

void port_close()
{
    close_locked();
}

int assemble_byte(char* line, size_t size, int* position, char byte)
{
    if (byte == LF)
        return 0;
    int last = static_cast<int>(size) - 2; // room for the CR and the NUL
    if (byte != CR && *position >= last)
        return 0; // too long: drop the excess up to the CR
    line[*position] = byte;
    line[*position + 1] = '\0';
    (*position)++;
    return byte == CR;
}

int read_line(char* line, size_t size, int wait_ms)
{
    int fd = serport.load();
    int taken = 0; // bytes this call took, counted only while it is bounded
    for (;;) {
        if (wait_ms >= 0) {
            if (taken > LINE_MAX_BYTES || !input_within(fd, taken == 0 ? wait_ms : 0))
                return READ_NOT_YET;
            taken++;
        }
        char byte;
        ssize_t got = read(fd, &byte, 1);
        // The signal handler is installed without SA_RESTART, so a signal that
        // lands on this thread ends the read early: the port is fine, read on.
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0) {
                int err = errno;
                log_failure("Error reading: %s\n", strerror(err));
            } else {
                log_failure("Read nothing!\n");
            }
            drop_partial();
            return READ_FAILED;
        }
        if (assemble_byte(partial, sizeof partial, &partial_position, byte)) {
            deliver(line, size);
            return READ_LINE;
        }
    }
}
