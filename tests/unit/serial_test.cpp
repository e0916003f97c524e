// The serial PEI link: answer waits, line assembly and reading, command
// writes, and the terminal set-up as a pseudo-terminal stores it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long POLL_US = 50000;
const std::string TS = "<05.12.25 18:40:00> ";

long long took_us(const std::function<void()>& f)
{
    long long start = virtual_clock_now_us();
    f();
    return virtual_clock_now_us() - start;
}

std::string console(const std::function<void()>& f)
{
    capture_stdout_begin();
    f();
    return capture_stdout_end();
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        got_ser_ok = got_ser_error = false;
        serport = -1;
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        for (int fd : {serport.load(), peer, pty_master, pty_slave})
            if (fd >= 0)
                close(fd);
        serport = -1;
    }
    // serport becomes one end of a socket pair; peer is the radio's end.
    void use_socketpair()
    {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        serport = ends[0];
        peer = ends[1];
    }
    std::string peer_bytes()
    {
        char buf[4096];
        ssize_t n = recv(peer, buf, sizeof buf, MSG_DONTWAIT);
        return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }
    // A pseudo-terminal whose slave path the port set-up can open.
    std::string open_pty()
    {
        pty_master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(pty_master);
        unlockpt(pty_master);
        std::string path = ptsname(pty_master);
        pty_slave = open(path.c_str(), O_RDWR | O_NOCTTY); // keeps the pty up
        return path;
    }
    struct termios stored()
    {
        struct termios tio = {};
        EXPECT_EQ(tcgetattr(serport, &tio), 0);
        return tio;
    }
    int peer = -1, pty_master = -1, pty_slave = -1;
};

TEST_F(SerialTest, WaitOkPollsTwentyTimesAndEndsAtTheFirstPollWithAnAnswer)
{
    std::vector<long long> sleeps;
    virtual_clock_on_sleep([&](long long us) { sleeps.push_back(us); });
    EXPECT_EQ(took_us(wait_ok), 20 * POLL_US);
    EXPECT_EQ(sleeps, std::vector<long long>(20, POLL_US));

    got_ser_ok = got_ser_error = true;
    EXPECT_EQ(took_us(wait_ok), POLL_US);
    EXPECT_FALSE(got_ser_ok || got_ser_error);

    // An ERROR that arrives during the fifth sleep is seen at the fifth poll.
    int polls = 0;
    virtual_clock_on_sleep([&](long long) { got_ser_error = ++polls == 5; });
    EXPECT_EQ(took_us(wait_ok), 5 * POLL_US);
    EXPECT_FALSE(got_ser_error);
}

// Feeds bytes through the assembler; every completed line (raw bytes up to the
// assembler's position, NULs included) is collected.
std::vector<std::string> assemble(const std::string& bytes)
{
    std::vector<std::string> lines;
    char line[1024] = {};
    int position = 0;
    for (char byte : bytes) {
        if (assemble_byte(line, sizeof line, &position, byte)) {
            lines.emplace_back(line, static_cast<size_t>(position));
            EXPECT_EQ(line[position], '\0');
            memset(line, 0, sizeof line);
            position = 0;
        }
    }
    return lines;
}

TEST(LineAssembly, Table)
{
    struct row {
        const char* name;
        std::string in;
        std::vector<std::string> lines;
    };
    const std::string x1022(1022, 'x');
    const row rows[] = {
        {"lf of each line dropped", "OK\r\nERROR\r\n", {"OK\r", "ERROR\r"}},
        {"lone cr", "\r", {"\r"}},
        {"lf inside a line", "AB\nC\r", {"ABC\r"}},
        {"nul is stored", std::string("A\0B\r", 4), {std::string("A\0B\r", 4)}},
        {"no cr yet, no line", "AT+CTOM", {}},
        {"longest line kept whole", x1022 + "\r", {x1022 + "\r"}},
        {"one byte too long", x1022 + "y\r", {x1022 + "\r"}},
        {"far too long, next line intact", std::string(5000, 'z') + "\rOK\r",
         {std::string(1022, 'z') + "\r", "OK\r"}},
    };
    for (const row& r : rows)
        EXPECT_EQ(assemble(r.in), r.lines) << r.name;
}

TEST_F(SerialTest, ReadLineDeliversALineThenReportsEndOfInput)
{
    use_socketpair();
    ASSERT_EQ(write(peer, "\nAB\nC\rpartial", 13), 13);
    char line[1024] = {};
    ASSERT_EQ(read_line(line, sizeof line), 1);
    EXPECT_STREQ(line, "ABC\r");

    close(peer);
    peer = -1;
    memset(line, 0, sizeof line);
    EXPECT_EQ(console([&] { EXPECT_EQ(read_line(line, sizeof line), 0); }), TS + "Read nothing!\n");
    EXPECT_EQ(line[0], '\0') << "the partial line is discarded";
}

TEST_F(SerialTest, WriteSerStopsAtTheFirstCrOrCtrlZ)
{
    EXPECT_EQ(write_ser("ATZ\r"), 0) << "closed port";
    use_socketpair();
    const std::pair<const char*, std::string> rows[] = {
        {"AT+CTSDS=12,0\r\n", "AT+CTSDS=12,0\r"},
        {"8204100141\x1A\r\n", "8204100141\x1A"},
        {"AT+CTOM=1\rAT+CTOM=6\r", "AT+CTOM=1\r"},
        {"ABC", "ABC"}, // no terminator: the NUL ends it
    };
    for (const auto& [cmd, sent] : rows) {
        got_ser_ok = got_ser_error = true;
        EXPECT_EQ(write_ser(cmd), static_cast<int>(sent.size())) << cmd;
        EXPECT_EQ(peer_bytes(), sent);
        EXPECT_FALSE(got_ser_ok || got_ser_error) << cmd;
    }
}

TEST_F(SerialTest, SetUpMakesTheLineRaw8N1AtTheConfiguredSpeedAndFlushesInput)
{
    std::string path = open_pty();
    ASSERT_EQ(write(pty_master, "stale\r\n", 7), 7);
    copy_field(SYS_SERPORT, path.c_str());
    SYS_SERBAUD = 19200;
    EXPECT_EQ(console([] { EXPECT_EQ(serial_setup_port(), 1); }), "");
    EXPECT_STREQ(piport, path.c_str());
    EXPECT_EQ(pibaudrate, 19200);

    struct termios tio = stored();
    EXPECT_EQ(tio.c_cflag & (CSIZE | CREAD | CLOCAL | PARENB | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(CS8 | CREAD | CLOCAL));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0) << "raw mode wins over VTIME 5";
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));

    struct pollfd pfd = {serport, POLLIN, 0};
    EXPECT_EQ(poll(&pfd, 1, 50), 0) << "input queued before the set-up was not flushed";
    EXPECT_EQ(fcntl(serport, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDWR);

    // A speed without a code falls back to 9600 with one line.
    close(serport);
    SYS_SERBAUD = 12345;
    EXPECT_EQ(console([] { EXPECT_EQ(serial_setup_port(), 1); }),
              TS + "No speed code for 12345 bit/s, using 9600\n");
    tio = stored();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(SerialTest, MissingDeviceFailsThenRecoveryPausesAndReopensQuietly)
{
    copy_field(SYS_SERPORT, "/nonexistent/radio");
    SYS_SERBAUD = 9600;
    std::string no_device = "Error 2 opening /nonexistent/radio: No such file or directory\n";
    EXPECT_EQ(console([] { EXPECT_EQ(serial_setup_port(), 0); }),
              TS + no_device + TS + "Error 9 from tcgetattr: Bad file descriptor\n" + TS + "Error 9 from tcsetattr\n");
    EXPECT_LT(serport, 0);

    // Closed port, device still missing: one second, one line, no reopen.
    int failures = 0;
    std::string out;
    EXPECT_EQ(took_us([&] { out = console([&] { EXPECT_EQ(serial_recover(&failures), 0); }); }), 1000000);
    EXPECT_EQ(out, "<05.12.25 18:40:01> " + no_device);

    // The device has appeared: it is opened and set up.
    copy_field(piport, open_pty().c_str());
    pibaudrate = 9600;
    EXPECT_EQ(serial_recover(&failures), 1);
    ASSERT_GE(serport, 0);
    EXPECT_EQ(stored().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    // Reads failing on an open port: a pause each, the reopen at the third.
    int before = serport;
    failures = 0;
    EXPECT_EQ(serial_recover(&failures), 0);
    EXPECT_EQ(serial_recover(&failures), 0);
    EXPECT_EQ(serport, before);
    EXPECT_EQ(serial_recover(&failures), 1);
    EXPECT_EQ(failures, 0);
    EXPECT_GE(serport, 0);
}

} // namespace
