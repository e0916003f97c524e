// The radio line dispatcher: which actions each kind of line calls for, and
// what the dispatcher itself does with flags, the console log and SDS headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "config/config.h"
#include "events/dispatch.h"
#include "events/session.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

TEST(ClassifyLine, Table)
{
    struct row {
        const char* line;
        int sds;
        int ptt;
        unsigned actions;
    };
    const unsigned P = ACT_PAYLOAD;
    const row rows[] = {
        // Handshake answers, prefix and case exact.
        {"OKAY\r", 0, 0, ACT_OK},
        {"ok\r", 0, 0, 0},
        {"ERROR\r", 0, 0, ACT_ERROR},
        {"+CME ERROR: 35\r", 0, 0, ACT_ERROR},
        {"+CME: 1\r", 0, 0, 0},
        // Calls set apart in the log.
        {"+CTICN: 1,0,0,4,1234567,1,1,0\r", 0, 0, ACT_BLANK_BEFORE},
        {"+CTCR: 1,2\r", 0, 1, ACT_BLANK_AFTER},
        {"+CTCR: 1,1\r", 0, 1, ACT_BLANK_AFTER | ACT_PTT_OFF},
        // Payloads, only after a header; five characters make a status only.
        {"80E8\r", 1, 0, P | ACT_STATUS},
        {"80E8\r", 0, 0, 0},
        {"8204\r", 1, 0, P | ACT_STATUS},
        {"80E\r", 1, 0, P},
        {"80E81\r", 1, 0, P},
        {"820410016869\r", 1, 0, P | ACT_PERSONAL_TEXT},
        {"820C10016869\r", 1, 0, P | ACT_PERSONAL_TEXT},
        {"820c10016869\r", 1, 0, P},
        {"820010016869\r", 1, 0, P | ACT_GROUP_TEXT},
        {"03801316302F000000000000663A987654\r", 1, 0, P | ACT_POSITION},
        {"ABCDEF\r", 1, 0, P},
        {"+CTSDSR: 12,1,0,2,0,16\r", 1, 0, P | ACT_SDS_HEADER},
        {"OK\r", 1, 0, P | ACT_OK},
        // Send confirmations.
        {"+CMGS: 0,4,16\r", 0, 0, ACT_CONFIRMATION},
        {"+CMGS: 0,5,1\r", 0, 0, ACT_CONFIRMATION},
        {"+CMGS: 0,3,1\r", 0, 0, 0},
        {"+CTSDSR: 12,1234567,0,1000001,0,112\r", 0, 0, ACT_SDS_HEADER},
        // Session restarts.
        {"+CTGS: 1,1\r", 0, 0, 0},
        {"+CTGS: 2,1\r", 0, 0, ACT_RESTART},
        {"+CTGS: 1,2\r", 0, 0, ACT_RESTART},
        {"+MCCFG: 0\r", 0, 0, ACT_RESTART},
        {"+MCCFG: 1\r", 0, 0, 0},
        // Voice activity: a chain, the exclusion first.
        {"+GIU: 0,00001000\r", 0, 1, 0},
        {"+CTXG: 1,3,0,0,1,9990011234567\r", 0, 0, ACT_PTT_ON},
        {"+CTXG: 001,3,0,0\r", 0, 1, ACT_PTT_ON},
        {"+CTXG: 2,3,0,0\r", 0, 1, 0},
        {"+GIU: 0,01234567\r", 0, 1, ACT_PTT_ON},
        {"+GIU: 0\r", 0, 1, ACT_PTT_OFF},
        {"+GCE\r", 0, 1, ACT_PTT_OFF},
        {"+CDTXC: 1,0\r", 0, 1, ACT_PTT_OFF},
    };
    for (const row& r : rows)
        EXPECT_EQ(classify_line(r.line, r.sds, r.ptt), r.actions) << r.line << " sds " << r.sds << " ptt " << r.ptt;
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        got_ser_ok = got_ser_error = false;
        SYS_DEBUG = sds = ptt = sdslength = 0;
        run = 1;
        copy_field(CALL, "");
        copy_field(CALL_ID, "");
    }
    void TearDown() override { virtual_clock_uninstall(); }
    // Dispatches line as the reader delivers it; returns the console output.
    std::string dispatch(const std::string& line)
    {
        memset(data, 0, sizeof data);
        memcpy(data, line.data(), std::min(line.size(), sizeof data - 1));
        capture_stdout_begin();
        dispatch_line();
        return capture_stdout_end();
    }
};

const std::string TS = "<05.12.25 18:40:00> ";

TEST_F(DispatchTest, AnswersRaiseTheirFlagAndEveryLineIsLogged)
{
    // A NUL from the radio ends the line for every test.
    EXPECT_EQ(dispatch(std::string("OK\0ERROR\r", 9)), TS + "data (02/0): OK\n");
    EXPECT_TRUE(got_ser_ok);
    EXPECT_FALSE(got_ser_error);
    EXPECT_EQ(dispatch("+CME ERROR: 35\r"), TS + "data (15/0): +CME ERROR: 35\r\n");
    EXPECT_TRUE(got_ser_error);
    EXPECT_EQ(dispatch("+CTICN: 1,0\r"), "\n" + TS + "data (12/0): +CTICN: 1,0\r\n");
    EXPECT_EQ(dispatch("+CTCR: 1,2\r"), TS + "data (11/0): +CTCR: 1,2\r\n\n");
    EXPECT_EQ(run, 1);
}

TEST_F(DispatchTest, HeaderRecordsTheSenderAndMarksTheNextLineAsPayload)
{
    dispatch("+CTSDSR: 12,2620011,0,1000001,0,112\r");
    EXPECT_STREQ(CALL, "NO USER");
    EXPECT_STREQ(CALL_ID, "2620011");
    EXPECT_EQ(sdslength, 112);
    EXPECT_EQ(sds, 1);

    // The payload is logged with sds 1 and consumes it, whatever it holds.
    EXPECT_EQ(dispatch("ABCDEF\r"), TS + "data (07/1): ABCDEF\r\n");
    EXPECT_EQ(sds, 0);

    // A short header keeps the last sender; a long identity is bounded.
    dispatch("+CTSDSR: 12,2222222,0,1000001\r");
    EXPECT_STREQ(CALL_ID, "2620011");
    EXPECT_EQ(sdslength, 112);
    EXPECT_EQ(sds, 1);
    sds = 0;
    dispatch("+CTSDSR: 12," + std::string(300, '9') + ",0,1000001,0,16\r");
    EXPECT_EQ(std::string(CALL_ID), std::string(ID_SIZE - 1, '9'));
    EXPECT_EQ(sdslength, 16);
}

} // namespace
