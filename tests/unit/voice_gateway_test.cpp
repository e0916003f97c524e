// The voice gateway's control files: exact contents, the wait before a
// command is written, and the console lines of both writers.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "config/places.h"
#include "control/voice_gateway.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

namespace {

const std::string T = "<05.12.25 18:40:00> "; // console prefix at the virtual clock's start

class VoiceGateway : public ::testing::Test {
protected:
    char dir[32] = "/tmp/sdsbridge-vg-XXXXXX";
    std::string dtmf_path, ptt_path;
    const char* saved_dtmf = DTMF_CTRL_FILE;
    const char* saved_ptt = PTT_FILE;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir), nullptr);
        dtmf_path = std::string(dir) + "/dtmf_ctrl";
        ptt_path = std::string(dir) + "/ptt";
        DTMF_CTRL_FILE = dtmf_path.c_str();
        PTT_FILE = ptt_path.c_str();
        virtual_clock_install();
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        DTMF_CTRL_FILE = saved_dtmf;
        PTT_FILE = saved_ptt;
        unlink(dtmf_path.c_str());
        unlink(ptt_path.c_str());
        rmdir(dir);
    }
};

struct CommandCase {
    const char* name;
    const char* before;   // content of the control file before the call
    const char* logtext;
    const char* message;
    int wait_s;
    const char* log;      // after the console prefix
    long long elapsed_s;  // virtual time the call took
};

TEST_F(VoiceGateway, CommandReplacesFileAfterItsWait)
{
    const CommandCase cases[] = {
        {"shorter after longer", "912326#-and-a-long-tail", "SENDSTATUS", "910#", 2, "SENDSTATUS 910# 2\n\n", 2},
        {"seven characters", "91232#91232#", "SENDSTATUS", "9199#1#", 2, "SENDSTATUS 9199#1# 2\n\n", 2},
        {"text with blanks", "", "SENDTEXT 8200 GC:", "hello all", 6, "SENDTEXT 8200 GC: hello all 6\n\n", 6},
        {"no wait", "old", "SENDTEXT 8204/820C PC:", "hi", 0, "SENDTEXT 8204/820C PC: hi 0\n\n", 0},
        {"negative wait", "old", "SENDSTATUS", "#", -3, "SENDSTATUS # -3\n\n", 0},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(dtmf_path, std::ios::binary | std::ios::trunc) << c.before;
        virtual_clock_install();
        std::vector<std::string> seen_while_waiting;
        virtual_clock_on_sleep([&](long long) { seen_while_waiting.push_back(read_file(dtmf_path)); });

        capture_stdout_begin();
        send_svx_command(c.logtext, c.message, c.wait_s);
        std::string log = capture_stdout_end();

        EXPECT_EQ(log, T + c.log); // logged when decided, before the wait
        EXPECT_EQ(read_file(dtmf_path), c.message); // no newline, no remnant of the old text
        EXPECT_EQ(virtual_clock_now_us() - 1764960000LL * 1000000, c.elapsed_s * 1000000);
        for (const std::string& seen : seen_while_waiting)
            EXPECT_EQ(seen, c.before);
    }
}

TEST_F(VoiceGateway, PttHoldsOneLetterAndLogsOneLine)
{
    capture_stdout_begin();
    send_svx_ptt("PTT ON:", "O");
    std::string during = read_file(ptt_path);
    send_svx_ptt("PTT OFF:", "Z");
    std::string log = capture_stdout_end();

    EXPECT_EQ(during, "O");
    EXPECT_EQ(read_file(ptt_path), "Z");
    EXPECT_EQ(log, T + "PTT ON: O\n" + T + "PTT OFF: Z\n");
    EXPECT_EQ(virtual_clock_now_us(), 1764960000LL * 1000000);
}

TEST_F(VoiceGateway, UnopenableFileIsSkippedWithOneLogLine)
{
    DTMF_CTRL_FILE = "/nonexistent-sdsbridge-dir/dtmf_ctrl";
    PTT_FILE = "/nonexistent-sdsbridge-dir/ptt";
    capture_stdout_begin();
    send_svx_command("SENDSTATUS", "910#", 0);
    std::string command_log = capture_stdout_end();
    capture_stdout_begin();
    send_svx_ptt("PTT ON:", "O");
    std::string ptt_log = capture_stdout_end();

    const std::string command_lines = T + "SENDSTATUS 910# 0\n\n";
    ASSERT_EQ(command_log.compare(0, command_lines.size(), command_lines), 0);
    std::string failure = command_log.substr(command_lines.size());
    EXPECT_NE(failure.find(DTMF_CTRL_FILE), std::string::npos);
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1);

    const std::string ptt_line = T + "PTT ON: O\n";
    ASSERT_EQ(ptt_log.compare(0, ptt_line.size(), ptt_line), 0);
    failure = ptt_log.substr(ptt_line.size());
    EXPECT_NE(failure.find(PTT_FILE), std::string::npos);
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1);
}

} // namespace
