// The serial PEI link: the answer wait, line assembly, a read interrupted by
// a signal, and the terminal set-up as a pseudo-terminal stores it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>

#include "config/config.h"
#include "radio/serial.h"
#include "radio/turns.h"
#include "support/files.h"
#include "support/radio_line.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long POLL_US = 50000;

// Feeds bytes through the assembler; every completed line (raw bytes up to the
// assembler's position, NULs included) is collected.
std::vector<std::string> assemble(const std::string& bytes)
{
    std::vector<std::string> lines;
    char line[LINE_MAX_BYTES + 1] = {};
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

TEST(WaitOk, PollsTwentyTimesAndEndsAtTheFirstPollWithAnAnswer)
{
    virtual_clock_scope clock;
    std::vector<long long> sleeps;
    virtual_clock_on_sleep([&](long long us) { sleeps.push_back(us); });
    wait_ok();
    EXPECT_EQ(sleeps, std::vector<long long>(20, POLL_US));

    // An ERROR that arrives during the fifth sleep is seen at the fifth poll.
    int polls = 0;
    virtual_clock_on_sleep([&](long long) { got_ser_error = ++polls == 5; });
    long long start = virtual_clock_elapsed_us();
    wait_ok();
    EXPECT_EQ(virtual_clock_elapsed_us() - start, 5 * POLL_US);
    EXPECT_FALSE(got_ser_error) << "the wait that finds an answer clears it";
}

TEST(LineAssembly, Table)
{
    const std::string x1022(1022, 'x');
    const struct {
        const char* name;
        std::string in;
        std::vector<std::string> lines;
    } rows[] = {
        {"lf of each line dropped", "OK\r\nERROR\r\n", {"OK\r", "ERROR\r"}},
        {"lone cr", "\r", {"\r"}},
        {"nul is stored", std::string("A\0B\r", 4), {std::string("A\0B\r", 4)}},
        {"no cr yet, no line", "AT+CTOM", {}},
        {"longest line kept whole", x1022 + "\r", {x1022 + "\r"}},
        {"one byte too long", x1022 + "y\r", {x1022 + "\r"}},
        {"far too long, next line intact", std::string(5000, 'z') + "\rOK\r", {std::string(1022, 'z') + "\r", "OK\r"}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(assemble(r.in), r.lines) << r.name;
}

// The gateway's signal handler is installed without SA_RESTART, so a signal
// that lands on the serial thread ends its blocking read with EINTR. That is
// no failure of the port: the line goes on.
TEST(ReadLine, SignalDuringTheReadKeepsTheLine)
{
    struct sigaction quiet = {}, before = {};
    quiet.sa_handler = [](int) {};
    sigaction(SIGUSR1, &quiet, &before);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    serport = ends[0];
    std::atomic<long> reader_tid{0};
    int result = -1;
    char line[LINE_MAX_BYTES + 1] = {};
    capture_stdout_begin();
    std::thread reader([&] {
        reader_tid = syscall(SYS_gettid);
        result = read_line(line, sizeof line, -1);
    });
    ASSERT_EQ(write(ends[1], "AB", 2), 2);
    // Signal only once the reader has taken "AB" and sleeps in its next read.
    std::string stat = "/proc/self/task/";
    for (int waited = 0, queued = 1; waited < 5000; waited++) {
        std::string state = read_file(stat + std::to_string(reader_tid.load()) + "/stat");
        ioctl(ends[0], FIONREAD, &queued);
        size_t paren = state.rfind(") ");
        if (reader_tid != 0 && queued == 0 && paren != std::string::npos && state[paren + 2] == 'S')
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pthread_kill(reader.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(write(ends[1], "C\r", 2), 2);
    reader.join();
    std::string out = capture_stdout_end();
    sigaction(SIGUSR1, &before, nullptr);
    close(ends[1]);
    close(serport.exchange(-1));
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(line, "ABC\r");
    EXPECT_EQ(out, "");
}

// A bounded read takes only what the radio has sent and returns: a line
// begun is finished by a later read, unless the port was closed meanwhile.
TEST(ReadLine, BoundedReadKeepsTheLineBegunUntilThePortCloses)
{
    const struct {
        const char* name;
        std::vector<std::string> feeds; // "close": the port is closed and opened anew
        std::string lines;              // every line read, each followed by '|'
    } rows[] = {
        {"silence", {""}, ""},
        {"lf that ends the last line", {"\n"}, ""},
        {"line in two parts", {"+CT", "GS: 1,1\r\n"}, "+CTGS: 1,1\r|"},
        {"two lines at once", {"OK\r\nOK\r\n"}, "OK\r|OK\r|"},
        {"closed port drops the line begun", {"+CT", "close", "OK\r\n"}, "OK\r|"},
    };
    for (const auto& r : rows) {
        int ends[2] = {-1, -1};
        std::string lines;
        for (const std::string& feed : r.feeds) {
            if (feed == "close" || ends[0] < 0) {
                if (ends[0] >= 0) {
                    port_close();
                    close(ends[1]);
                }
                ASSERT_EQ(pipe(ends), 0);
                serport = ends[0];
            }
            if (feed != "close") {
                ASSERT_EQ(write(ends[1], feed.data(), feed.size()), static_cast<ssize_t>(feed.size()));
            }
            char line[LINE_MAX_BYTES + 1];
            while (read_line(line, sizeof line, 0) == READ_LINE)
                lines += std::string(line) + "|";
        }
        EXPECT_EQ(lines, r.lines) << r.name;
        port_close();
        close(ends[1]);
    }
}

// Noise without a CR never holds a bounded read: it returns after a line's
// worth of bytes and leaves the rest for the next.
TEST(ReadLine, BoundedReadReturnsFromAFloodWithoutCr)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    serport = ends[0];
    const std::string flood(3 * LINE_MAX_BYTES, 'x');
    ASSERT_EQ(write(ends[1], flood.data(), flood.size()), static_cast<ssize_t>(flood.size()));
    char line[LINE_MAX_BYTES + 1];
    EXPECT_EQ(read_line(line, sizeof line, 0), READ_NOT_YET);
    int left = 0;
    ioctl(ends[0], FIONREAD, &left);
    EXPECT_GT(left, 0);
    port_close();
    close(ends[1]);
}

TEST(SerialSetUp, RawLine8N1AtTheConfiguredSpeedWithInputFlushed)
{
    saved_global keep_port(SYS_SERPORT);
    saved_global keep_baud(SYS_SERBAUD);
    std::string path;
    std::string why;
    int slave = -1;
    int master = pty_open(&path, &slave, &why);
    ASSERT_GE(master, 0) << why;
    ASSERT_EQ(write(master, "stale\r\n", 7), 7);
    copy_field(SYS_SERPORT, path.c_str());
    SYS_SERBAUD = 19200;
    capture_stdout_begin();
    EXPECT_EQ(serial_setup_port(), 1);
    EXPECT_EQ(capture_stdout_end(), "");

    struct termios tio = {};
    ASSERT_EQ(tcgetattr(serport, &tio), 0);
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

    for (int fd : {serport.exchange(-1), master, slave})
        close(fd);
}

} // namespace
