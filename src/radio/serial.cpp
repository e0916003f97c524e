// Serial PEI link: handshake flags, write_ser and wait_ok.
#include "radio/serial.h"

#include <unistd.h>

#include "global.h"

char piport[51];
int pibaudrate;
std::atomic<int> serport{-1};
std::atomic<bool> got_ser_ok{false};
std::atomic<bool> got_ser_error{false};
std::mutex serial_write_lock;

namespace {
constexpr char CR = '\r';
constexpr char CTRL_Z = 26;
constexpr int WAIT_POLLS = 20;
constexpr long long WAIT_POLL_US = 50000;
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
