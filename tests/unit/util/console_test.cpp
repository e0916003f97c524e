// The console: report and console timestamps past the last second a 32-bit
// time_t holds, as a 32-bit board must show them; and the writing side: while
// stdout takes lines at once, logging wakes no other thread; a stop that gives
// up on a slow reader still writes its last line whole.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>
#include <iomanip>

#include "global.h"
#include "pty.h" // the tools' pty opener
#include "support/virtual_clock.h"
#include "util/console.h"

namespace {

// A stdout stand-in: the descriptor given to the gateway as stdout, and the
// one the test reads back from.
struct console_sink {
    int out = -1, in = -1;
};

console_sink pipe_sink()
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    return {ends[1], ends[0]};
}

console_sink socket_sink()
{
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    return {ends[0], ends[1]};
}

console_sink file_sink()
{
    char path[] = "/tmp/sdsbridge-console-XXXXXX";
    int out = mkstemp(path);
    int in = open(path, O_RDONLY);
    unlink(path);
    return {out, in};
}

// A raw terminal, so the bytes come back as written.
console_sink terminal_sink()
{
    std::string path, why;
    int slave = -1;
    int master = pty_open(&path, &slave, &why);
    EXPECT_GE(master, 0) << why;
    pty_make_raw(slave, B0);
    return {slave, master};
}

// Everything readable at fd now.
std::string drain(int fd)
{
    std::string got;
    char buf[65536];
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    return got;
}

// Thread switches of the console writer so far, -1 while it does not run.
long writer_switches()
{
    long total = -1;
    DIR* tasks = opendir("/proc/self/task");
    while (struct dirent* task = readdir(tasks)) {
        std::string dir = std::string("/proc/self/task/") + task->d_name;
        std::string comm;
        std::getline(std::ifstream(dir + "/comm"), comm);
        if (comm != "console_writer")
            continue;
        std::ifstream status(dir + "/status");
        total = 0;
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                total += atol(line.substr(line.find(':') + 1).c_str());
    }
    closedir(tasks);
    return total;
}

// Points stdout at fd until restore_stdout.
int redirect_stdout(int fd)
{
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    return saved;
}

void restore_stdout(int saved)
{
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

// The writer's count once it has stopped moving: the writer has started and
// waits, or has written what it was given.
long settled_writer_switches()
{
    long last = -2, now = writer_switches();
    for (int tries = 0; tries < 50 && now != last; tries++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        last = now;
        now = writer_switches();
    }
    return now;
}

} // namespace

// The terminal row is the probe's control: its lines always go through the
// writer thread, so the count must grow there.
TEST(Console, WhileStdoutTakesLinesLoggingWakesNoOtherThread)
{
    struct {
        const char* name;
        console_sink (*open)();
        bool writer_wakes;
    } rows[] = {
        {"pipe", pipe_sink, false},
        {"socket (the journal)", socket_sink, false},
        {"regular file", file_sink, false},
        {"terminal", terminal_sink, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        console_sink sink = row.open();
        int saved = redirect_stdout(sink.out);
        ASSERT_EQ(console_queue_start(), 1);
        long before = settled_writer_switches();
        ASSERT_GE(before, 0);
        std::string expected;
        for (int i = 0; i < 200; i++) {
            log_raw("line %d of a reflector text\n", i);
            expected += "line " + std::to_string(i) + " of a reflector text\n";
        }
        long after = settled_writer_switches();
        EXPECT_EQ(console_queue_drain(), 0u);
        restore_stdout(saved);
        EXPECT_EQ(after > before, row.writer_wakes) << before << " switches before, " << after << " after";
        EXPECT_EQ(drain(sink.in), expected);
        close(sink.out);
        close(sink.in);
    }
}

// A reader too slow for the stop's drain: the queued lines are given up, but
// the writer ends at a line's end and the last line still comes, whole.
TEST(Console, AfterTheDrainGivesUpOnASlowReaderTheLastLineStillComes)
{
    console_sink sink = pipe_sink();
    int saved = redirect_stdout(sink.out);
    ASSERT_EQ(console_queue_start(), 1);
    for (int i = 0; i < 2400; i++) // 240 KB: the pipe full, the rest queued
        log_raw("%06d %s\n", i, std::string(92, 'x').c_str());
    std::string got;
    std::thread reader([&] { // about 200 KB/s: too slow to take it all in the drain
        char buf[1024];
        ssize_t n;
        while ((n = read(sink.in, buf, sizeof buf)) > 0) {
            got.append(buf, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    unsigned long lost = console_queue_drain();
    log_raw("EXIT sdsbridge\n");
    restore_stdout(saved);
    close(sink.out);
    reader.join();
    close(sink.in);
    EXPECT_GT(lost, 0u);
    ASSERT_GT(got.size(), 15u);
    EXPECT_EQ(got.substr(got.size() - 15), "EXIT sdsbridge\n");
    std::istringstream lines(got.substr(0, got.size() - 15));
    int next = 0;
    for (std::string line; std::getline(lines, line); next++)
        ASSERT_EQ(line, (std::ostringstream() << std::setw(6) << std::setfill('0') << next).str() + " " +
                            std::string(92, 'x'));
    EXPECT_EQ(2400u - static_cast<unsigned>(next), lost);
}

TEST(Timestamps, RightPastTheYear2038)
{
    struct {
        long long at; // seconds since 1970 UTC
        int usec;
        const char* report;
        const char* console;
        const char* with_ms;
    } cases[] = {
        {2147483647LL, 0, "19.01.2038 03:14:07", "<19.01.38 03:14:07>", "19.01.38 03:14:07.000 "},
        {2147483647LL, 999600, "19.01.2038 03:14:07", "<19.01.38 03:14:07>", "19.01.38 03:14:08.000 "},
        {2147483648LL, 0, "19.01.2038 03:14:08", "<19.01.38 03:14:08>", "19.01.38 03:14:08.000 "},
        {4294967296LL, 250000, "07.02.2106 06:28:16", "<07.02.06 06:28:16>", "07.02.06 06:28:16.250 "},
    };
    virtual_clock_scope clock;
    for (const auto& c : cases) {
        long long at_us = c.at * 1000000 + c.usec;
        virtual_clock_advance_us(at_us - (VIRTUAL_START * 1000000LL + virtual_clock_elapsed_us()));
        char report[REPORT_TIME_SIZE], console[REPORT_TIME_SIZE], with_ms[40];
        format_report_time(report, sizeof report);
        format_console_time(console, sizeof console);
        struct timeval tv;
        clock_now(&tv);
        format_timestamp_ms(&tv, with_ms, sizeof with_ms);
        EXPECT_STREQ(report, c.report) << c.at;
        EXPECT_STREQ(console, c.console) << c.at;
        EXPECT_STREQ(with_ms, c.with_ms) << c.at << "." << c.usec;
    }
}
