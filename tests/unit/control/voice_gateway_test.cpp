// The voice gateway's control paths: what each kind of path gets and what
// the check before a start says of it, that none of them holds up the serial
// thread, and the one line for a reader that has stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "config/config.h"
#include "control/control_path.h"
#include "control/voice_gateway.h"
#include "pty.h"
#include "support/files.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

// A scratch directory, and the PTT control path pointed into it.
struct ControlPaths : ::testing::Test {
    virtual_clock_scope clock;
    saved_global<char[PATH_MAX]> keep_ptt{PTT_CTRL_PATH};
    saved_global<char[sizeof SYS_SERPORT]> keep_serport{SYS_SERPORT};
    std::string dir = ::testing::TempDir() + "sdsbridge-control-" + std::to_string(getpid());
    std::string path = dir + "/ptt", target = dir + "/target";

    void SetUp() override
    {
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        copy_field(PTT_CTRL_PATH, path.c_str());
    }
    void TearDown() override
    {
        for (const std::string& p : {path, target})
            unlink(p.c_str());
        rmdir(path.c_str());
        rmdir(dir.c_str());
    }
    // send_svx_ptt with "O"; returns the console without the PTT line.
    static std::string write_o()
    {
        capture_stdout_begin();
        send_svx_ptt("PTT ON:", "O");
        std::string out = capture_stdout_end();
        return out.substr(out.find('\n') + 1);
    }
};

// What the reader of fd got within wait_ms.
std::string arrived(int fd, int wait_ms = 1000)
{
    struct pollfd p = {fd, POLLIN, 0};
    char buf[64];
    ssize_t n = poll(&p, 1, wait_ms) == 1 ? read(fd, buf, sizeof buf) : 0;
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST_F(ControlPaths, EachKindOfPath)
{
    std::string slave;
    int slave_fd = -1;
    std::string why;
    int master = pty_open(&slave, &slave_fd, &why);
    ASSERT_GE(master, 0) << why;
    enum made {
        missing,
        old_text,
        link_to_file,
        dangling_link,
        fifo_unread,
        fifo_read,
        directory,
        link_to_pty,
        link_to_radio,
        link_to_fifo
    };
    const struct {
        const char* name;
        made setup;
        control_state checked; // what the check before a start says
        std::string line;      // the console after the PTT line
        std::string got;       // what the file holds, or the reader read
    } cases[] = {
        {"missing: created", missing, control_state::missing, "", "O"},
        {"regular file: truncated", old_text, control_state::file, "", "O"},
        {"link to a file", link_to_file, control_state::refused, "it is a link to a regular file;", "keep me"},
        {"dangling link: nothing made", dangling_link, control_state::refused,
         "it is a link to a path that does not exist", ""},
        {"FIFO nobody reads", fifo_unread, control_state::fifo_unread, "it is a FIFO nobody reads", ""},
        {"FIFO with a reader", fifo_read, control_state::fifo_read, "", "O"},
        {"directory", directory, control_state::refused, "it is a directory;", ""},
        {"link to a pseudo-terminal", link_to_pty, control_state::terminal, "", "O"},
        {"link to the radio's pty", link_to_radio, control_state::refused, "it is a link to the radio's serial device;",
         ""},
        {"link to a FIFO", link_to_fifo, control_state::refused, "it is a link to a FIFO;", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        int reader = -1;
        switch (c.setup) {
        case old_text:
            std::ofstream(path) << "keep me";
            break;
        case link_to_file:
            std::ofstream(target) << "keep me";
            break;
        case fifo_read:
        case fifo_unread:
            mkfifo(path.c_str(), 0600);
            break;
        case link_to_fifo:
            mkfifo(target.c_str(), 0600);
            break;
        case directory:
            mkdir(path.c_str(), 0700);
            break;
        default:
            break;
        }
        // A reader for the FIFO, also behind a link: what it gets was written.
        if (c.setup == fifo_read || c.setup == link_to_fifo)
            reader = open(c.setup == fifo_read ? path.c_str() : target.c_str(), O_RDONLY | O_NONBLOCK);
        bool to_pty = c.setup == link_to_pty || c.setup == link_to_radio;
        bool linked = to_pty || c.setup == link_to_file || c.setup == dangling_link || c.setup == link_to_fifo;
        ASSERT_TRUE(!linked || symlink(to_pty ? slave.c_str() : target.c_str(), path.c_str()) == 0);
        copy_field(SYS_SERPORT, c.setup == link_to_radio ? slave.c_str() : "/dev/ttyS0");

        char text[1024];
        EXPECT_EQ(inspect_control(path.c_str(), text, sizeof text), c.checked) << text;
        EXPECT_TRUE(c.setup != missing || access(path.c_str(), F_OK) != 0) << "the check made the path";
        long long before = virtual_clock_elapsed_us();
        std::string out = write_o();
        EXPECT_EQ(virtual_clock_elapsed_us(), before) << "no wait";
        EXPECT_EQ(out.empty(), c.line.empty()) << out;
        EXPECT_TRUE(c.line.empty() || out.find("Cannot write " + path + ": " + c.line) != std::string::npos) << out;
        std::string got;
        int wait_ms = c.got.empty() ? 100 : 1000; // a wrong write would be there at once
        if (to_pty)
            got = arrived(master, wait_ms);
        else if (reader >= 0)
            got = arrived(reader, wait_ms);
        else
            got = read_file(c.setup == missing || c.setup == old_text ? path : target);
        EXPECT_EQ(got, c.got);
        EXPECT_EQ(access(target.c_str(), F_OK) == 0, c.setup == link_to_file || c.setup == link_to_fifo)
            << "the link's target was made or lost";
        if (reader >= 0)
            close(reader);
    }
    close(master);
    close(slave_fd);
}

TEST_F(ControlPaths, CreatedWithMode0644WhateverTheUmask)
{
    mode_t before = umask(077);
    write_o();
    umask(before);
    struct stat st = {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// A reader that stops (its pipe full) costs each message 100 ms and one line
// for all of them; the first message it takes again is told once.
TEST_F(ControlPaths, StoppedReaderDropsAfter100msWithOneLine)
{
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    int filler = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    std::string block(4096, 'x');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    close(filler);
    const std::string stopped = "Cannot write " + path + ": its reader has stopped reading";
    const std::string again = path + " takes messages again";
    const struct {
        bool drain_first;
        long long wait_us;
        std::string line; // within the console after the PTT line, "" for none
    } writes[] = {{false, 100000, stopped}, {false, 100000, ""}, {true, 0, again}, {false, 0, ""}};
    for (const auto& w : writes) {
        char buf[65536];
        while (w.drain_first && read(reader, buf, sizeof buf) > 0) {
        }
        long long before = virtual_clock_elapsed_us();
        std::string out = write_o();
        EXPECT_EQ(virtual_clock_elapsed_us() - before, w.wait_us);
        EXPECT_EQ(out.empty(), w.line.empty()) << out;
        EXPECT_NE(out.find(w.line), std::string::npos) << out;
    }
    EXPECT_EQ(arrived(reader), "OO");
    close(reader);
}

} // namespace
