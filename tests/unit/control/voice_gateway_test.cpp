// The voice gateway's control paths: what the check before a start says of
// each kind, the mode of a file made, and the 100 ms and one line for a
// reader that has stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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
    std::string path = dir + "/p", target = dir + "/t"; // named so in the shell's set-ups

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

// What the check before a start says of each kind of path; what a write does
// there is played by the sessions (control-path-refused, control-file-link,
// voice-gateway-*).
TEST_F(ControlPaths, TheCheckBeforeAStartTellsEachKind)
{
    std::string slave, why;
    int slave_fd = -1, master = pty_open(&slave, &slave_fd, &why);
    ASSERT_GE(master, 0) << why;
    setenv("PTY", slave.c_str(), 1);
    const struct {
        const char* made; // by the shell in the scratch directory: p the path, t a target
        bool reader;      // a reader holds the FIFO at p or t open
        bool radio;       // the pseudo-terminal is the radio's (SYS_SERPORT)
        control_state checked;
    } cases[] = {
        {"", false, false, control_state::missing},
        {"printf 'keep me' >p", false, false, control_state::file},
        {"printf 'keep me' >t; ln -s t p", false, false, control_state::refused},
        {"ln -s t p", false, false, control_state::refused},
        {"mkfifo p", false, false, control_state::fifo_unread},
        {"mkfifo p", true, false, control_state::fifo_read},
        {"mkfifo t; ln -s t p", true, false, control_state::refused},
        {"mkdir p", false, false, control_state::refused},
        {"ln -s \"$PTY\" p", false, false, control_state::terminal},
        {"ln -s \"$PTY\" p", false, true, control_state::refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.made);
        TearDown();
        SetUp();
        ASSERT_EQ(system(("cd " + dir + "; " + c.made).c_str()), 0);
        int reader =
            c.reader ? open(access(target.c_str(), F_OK) == 0 ? target.c_str() : path.c_str(), O_RDONLY | O_NONBLOCK)
                     : -1;
        copy_field(SYS_SERPORT, c.radio ? slave.c_str() : "/dev/ttyS0");
        char text[1024];
        EXPECT_EQ(inspect_control(path.c_str(), text, sizeof text), c.checked) << text;
        EXPECT_TRUE(c.checked != control_state::missing || access(path.c_str(), F_OK) != 0) << "the check made it";
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
