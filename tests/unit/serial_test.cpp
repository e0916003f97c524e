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
#include <string>
#include <vector>

#include "config/config.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long POLL_US = 50000;

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        got_ser_ok = false;
        got_ser_error = false;
        serport = -1;
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        if (serport >= 0)
            close(serport);
        serport = -1;
        for (int fd : {peer, pty_master, pty_slave})
            if (fd >= 0)
                close(fd);
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
        std::string got;
        char buf[4096];
        struct pollfd pfd = {peer, POLLIN, 0};
        while (poll(&pfd, 1, 0) > 0) {
            ssize_t n = read(peer, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
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
    int peer = -1;
    int pty_master = -1;
    int pty_slave = -1;
};

TEST_F(SerialTest, WaitOkWithoutAnswerLastsTwentyPolls)
{
    std::vector<long long> sleeps;
    virtual_clock_on_sleep([&](long long us) { sleeps.push_back(us); });
    long long start = virtual_clock_now_us();
    wait_ok();
    EXPECT_EQ(virtual_clock_now_us() - start, 20 * POLL_US);
    EXPECT_EQ(sleeps, std::vector<long long>(20, POLL_US));
}

TEST_F(SerialTest, WaitOkEndsAtThePollAfterTheAnswerAndClearsBothFlags)
{
    got_ser_ok = true;
    got_ser_error = true;
    long long start = virtual_clock_now_us();
    wait_ok();
    EXPECT_EQ(virtual_clock_now_us() - start, POLL_US);
    EXPECT_FALSE(got_ser_ok);
    EXPECT_FALSE(got_ser_error);

    // An ERROR that arrives during the fifth sleep is seen at the fifth poll.
    int polls = 0;
    virtual_clock_on_sleep([&](long long) {
        if (++polls == 5)
            got_ser_error = true;
    });
    start = virtual_clock_now_us();
    wait_ok();
    EXPECT_EQ(virtual_clock_now_us() - start, 5 * POLL_US);
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
        {"ok with crlf", "OK\r\n", {"OK\r"}},
        {"lf of the previous line dropped", "OK\r\nERROR\r\n", {"OK\r", "ERROR\r"}},
        {"crlf alone is an empty line", "\r\n", {"\r"}},
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
    EXPECT_EQ(static_cast<int>((x1022 + "\r").size()), LINE_MAX_BYTES);
}

TEST_F(SerialTest, ReadLineDeliversALineThenReportsEndOfInputAndErrors)
{
    use_socketpair();
    ASSERT_EQ(write(peer, "\nAB\nC\r", 6), 6);
    char line[1024] = {};
    ASSERT_EQ(read_line(line, sizeof line), 1);
    EXPECT_STREQ(line, "ABC\r");

    ASSERT_EQ(write(peer, "partial", 7), 7);
    close(peer);
    peer = -1;
    capture_stdout_begin();
    memset(line, 0, sizeof line);
    EXPECT_EQ(read_line(line, sizeof line), 0);
    std::string out = capture_stdout_end();
    EXPECT_EQ(out, "<05.12.25 18:40:00> Read nothing!\n");
    EXPECT_EQ(line[0], '\0') << "the partial line is discarded";

    close(serport);
    serport = 987; // no such descriptor
    capture_stdout_begin();
    EXPECT_EQ(read_line(line, sizeof line), 0);
    EXPECT_EQ(capture_stdout_end(), "<05.12.25 18:40:00> Error reading: Bad file descriptor\n");
    serport = -1;
}

TEST_F(SerialTest, WriteSerStopsAtTheFirstCrOrCtrlZ)
{
    use_socketpair();
    struct row {
        const char* cmd;
        std::string sent;
    };
    const row rows[] = {
        {"ATZ\r", "ATZ\r"},
        {"AT+CTSDS=12,0\r\n", "AT+CTSDS=12,0\r"},
        {"8204100141\x1A\r\n", "8204100141\x1A"},
        {"AT+CTOM=1\rAT+CTOM=6\r", "AT+CTOM=1\r"},
        {"ABC", "ABC"}, // no terminator: the NUL ends it
    };
    for (const row& r : rows) {
        got_ser_ok = true;
        got_ser_error = true;
        EXPECT_EQ(write_ser(r.cmd), static_cast<int>(r.sent.size())) << r.cmd;
        EXPECT_EQ(peer_bytes(), r.sent);
        EXPECT_FALSE(got_ser_ok);
        EXPECT_FALSE(got_ser_error);
    }
}

TEST_F(SerialTest, WriteSerOnAClosedPortReturnsAtOnce)
{
    serport = -1;
    EXPECT_EQ(write_ser("ATZ\r"), 0);
}

TEST_F(SerialTest, SetUpMakesTheLineRaw8N1AtTheConfiguredSpeedAndFlushesInput)
{
    std::string path = open_pty();
    ASSERT_EQ(write(pty_master, "stale\r\n", 7), 7);
    copy_field(SYS_SERPORT, path.c_str());
    SYS_SERBAUD = 19200;
    capture_stdout_begin();
    EXPECT_EQ(serial_setup_port(), 1);
    EXPECT_EQ(capture_stdout_end(), "");
    EXPECT_STREQ(piport, path.c_str());
    EXPECT_EQ(pibaudrate, 19200);

    struct termios tio;
    ASSERT_EQ(tcgetattr(serport, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(tio.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0) << "raw mode wins over VTIME 5";
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));

    struct pollfd pfd = {serport, POLLIN, 0};
    EXPECT_EQ(poll(&pfd, 1, 50), 0) << "input queued before the set-up was not flushed";
    int fl = fcntl(serport, F_GETFL);
    EXPECT_EQ(fl & O_ACCMODE, O_RDWR);
    EXPECT_FALSE(fl & O_NONBLOCK);
}

TEST_F(SerialTest, SpeedWithoutACodeFallsBackTo9600WithOneLine)
{
    speed_t code = 0;
    EXPECT_EQ(baud_to_speed(9600, &code), 1);
    EXPECT_EQ(code, static_cast<speed_t>(B9600));
    EXPECT_EQ(baud_to_speed(115200, &code), 1);
    EXPECT_EQ(code, static_cast<speed_t>(B115200));
    EXPECT_EQ(baud_to_speed(12345, &code), 0);

    std::string path = open_pty();
    copy_field(SYS_SERPORT, path.c_str());
    SYS_SERBAUD = 12345;
    capture_stdout_begin();
    serial_setup_port();
    EXPECT_EQ(capture_stdout_end(), "<05.12.25 18:40:00> No speed code for 12345 bit/s, using 9600\n");
    struct termios tio;
    ASSERT_EQ(tcgetattr(serport, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(SerialTest, MissingDeviceGivesTheThreeStartUpErrors)
{
    copy_field(SYS_SERPORT, "/nonexistent/radio");
    SYS_SERBAUD = 9600;
    capture_stdout_begin();
    EXPECT_EQ(serial_setup_port(), 0);
    EXPECT_EQ(capture_stdout_end(),
              "<05.12.25 18:40:00> Error 2 opening /nonexistent/radio: No such file or directory\n"
              "<05.12.25 18:40:00> Error 9 from tcgetattr: Bad file descriptor\n"
              "<05.12.25 18:40:00> Error 9 from tcsetattr\n");
    EXPECT_LT(serport, 0);
}

TEST_F(SerialTest, RecoveryPausesAndReopensQuietly)
{
    // Closed port, device still missing: one second, one line, no reopen.
    copy_field(piport, "/nonexistent/radio");
    int failures = 0;
    long long start = virtual_clock_now_us();
    capture_stdout_begin();
    EXPECT_EQ(serial_recover(&failures), 0);
    EXPECT_EQ(capture_stdout_end(),
              "<05.12.25 18:40:01> Error 2 opening /nonexistent/radio: No such file or directory\n");
    EXPECT_EQ(virtual_clock_now_us() - start, 1000000);

    // The device has appeared: it is opened and set up.
    std::string path = open_pty();
    copy_field(piport, path.c_str());
    pibaudrate = 9600;
    EXPECT_EQ(serial_recover(&failures), 1);
    ASSERT_GE(serport, 0);
    struct termios tio;
    ASSERT_EQ(tcgetattr(serport, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

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
