// The voice gateway's control files: exact contents, the wait before a
// command is written, and an unopenable file.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "config/places.h"
#include "control/voice_gateway.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

namespace {

const std::string T = "<05.12.25 18:40:00> "; // console prefix at the virtual clock's start

TEST(VoiceGateway, CommandReplacesFileAfterItsWait)
{
    char dir[] = "/tmp/sdsbridge-vg-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string dtmf_path = std::string(dir) + "/dtmf_ctrl";
    const char* saved_dtmf = DTMF_CTRL_FILE;
    DTMF_CTRL_FILE = dtmf_path.c_str();
    const struct {
        const char* name;
        const char* before;
        int wait_s;
        long long elapsed_s;
    } cases[] = {
        {"shorter after longer", "912326#-and-a-long-tail", 2, 2},
        {"no wait", "old", 0, 0},
        {"negative wait", "old", -3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(dtmf_path, std::ios::binary | std::ios::trunc) << c.before;
        virtual_clock_install();
        virtual_clock_on_sleep([&](long long) { EXPECT_EQ(read_file(dtmf_path), c.before); });

        capture_stdout_begin();
        send_svx_command("SENDSTATUS", "910#", c.wait_s);
        std::string log = capture_stdout_end();

        EXPECT_EQ(log, T + "SENDSTATUS 910# " + std::to_string(c.wait_s) + "\n\n"); // logged before the wait
        EXPECT_EQ(read_file(dtmf_path), "910#"); // no newline, no remnant of the old text
        EXPECT_EQ(virtual_clock_now_us() - 1764960000LL * 1000000, c.elapsed_s * 1000000);
    }
    virtual_clock_uninstall();
    DTMF_CTRL_FILE = saved_dtmf;
    unlink(dtmf_path.c_str());
    rmdir(dir);
}

// The log starts with the expected lines; one more line names the file.
void expect_one_failure_line(const std::string& log, const std::string& first, const char* path)
{
    ASSERT_EQ(log.compare(0, first.size(), first), 0) << log;
    std::string failure = log.substr(first.size());
    EXPECT_NE(failure.find(path), std::string::npos) << failure;
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1) << failure;
}

TEST(VoiceGateway, UnopenableFileIsSkippedWithOneLogLine)
{
    virtual_clock_install();
    const char* saved_dtmf = DTMF_CTRL_FILE;
    const char* saved_ptt = PTT_FILE;
    DTMF_CTRL_FILE = "/nonexistent-sdsbridge-dir/dtmf_ctrl";
    PTT_FILE = "/nonexistent-sdsbridge-dir/ptt";
    capture_stdout_begin();
    send_svx_command("SENDSTATUS", "910#", 0);
    expect_one_failure_line(capture_stdout_end(), T + "SENDSTATUS 910# 0\n\n", DTMF_CTRL_FILE);
    capture_stdout_begin();
    send_svx_ptt("PTT ON:", "O");
    expect_one_failure_line(capture_stdout_end(), T + "PTT ON: O\n", PTT_FILE);
    virtual_clock_uninstall();
    DTMF_CTRL_FILE = saved_dtmf;
    PTT_FILE = saved_ptt;
}

} // namespace
