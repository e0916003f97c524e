// The radio line dispatcher: which actions each kind of line calls for, and
// what the dispatcher itself does with flags, the console log, SDS headers
// and the session restart triggers.
#include <gtest/gtest.h>

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
        {"OK\r", 0, 0, ACT_OK},
        {"OKAY\r", 0, 0, ACT_OK},
        {"ok\r", 0, 0, 0},
        {"ERROR\r", 0, 0, ACT_ERROR},
        {"+CME ERROR: 35\r", 0, 0, ACT_ERROR},
        {"+CME: 1\r", 0, 0, 0},
        // Calls set apart in the log.
        {"+CTICN: 1,0,0,4,1234567,1,1,0\r", 0, 0, ACT_BLANK_BEFORE},
        {"+CTCR: 1,2\r", 0, 1, ACT_BLANK_AFTER},
        {"+CTCR: 1,1\r", 0, 0, ACT_BLANK_AFTER},
        {"+CTCR: 1,1\r", 0, 1, ACT_BLANK_AFTER | ACT_PTT_OFF},
        // Payloads, only after a header.
        {"80E8\r", 1, 0, P | ACT_STATUS},
        {"80E8\r", 0, 0, 0},
        {"8204\r", 1, 0, P | ACT_STATUS},
        {"8200\r", 1, 0, P | ACT_STATUS},
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
        {"+CTGS: 1,0\r", 0, 0, 0},
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
        {"+GIU: 0\r", 0, 0, 0},
        {"+GCE\r", 0, 1, ACT_PTT_OFF},
        {"+GCE\r", 0, 0, 0},
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
        got_ser_ok = false;
        got_ser_error = false;
        SYS_DEBUG = 0;
        run = 1;
        sds = 0;
        ptt = 0;
        sdslength = 0;
        copy_field(CALL, "");
        copy_field(CALL_ID, "");
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        SYS_DEBUG = 0;
    }
    // Dispatches line as the reader delivers it and returns the console output.
    std::string dispatch(const char* line)
    {
        memset(data, 0, sizeof data);
        copy_field(data, line);
        capture_stdout_begin();
        dispatch_line();
        return capture_stdout_end();
    }
};

const std::string TS = "<05.12.25 18:40:00> ";

TEST_F(DispatchTest, AnswersRaiseTheirFlagAndEveryLineIsLogged)
{
    EXPECT_EQ(dispatch("OK\r"), TS + "data (03/0): OK\r\n");
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
    SYS_DEBUG = 1;
    EXPECT_EQ(dispatch("+CTSDSR: 12,2620011,0,1000001,0,112\r"),
              TS + "data (36/0): +CTSDSR: 12,2620011,0,1000001,0,112\r\n" + TS + "SDS:+CTSDSR: 12\n");
    EXPECT_STREQ(CALL, "NO USER");
    EXPECT_STREQ(CALL_ID, "2620011");
    EXPECT_EQ(sdslength, 112);
    EXPECT_EQ(sds, 1);

    // The payload is logged with sds 1 and consumes it, whatever it holds.
    EXPECT_EQ(dispatch("ABCDEF\r"), TS + "data (07/1): ABCDEF\r\n" + TS + "SDS LINE 2 LNG:7\n");
    EXPECT_EQ(sds, 0);
}

TEST_F(DispatchTest, ShortHeaderKeepsTheLastSenderAndLongIdentityIsBounded)
{
    copy_field(CALL_ID, "1111111");
    sdslength = 64;
    dispatch("+CTSDSR: 12,2222222,0,1000001\r");
    EXPECT_STREQ(CALL_ID, "1111111");
    EXPECT_EQ(sdslength, 64);
    EXPECT_EQ(sds, 1);

    sds = 0;
    std::string identity(300, '9');
    dispatch(("+CTSDSR: 12," + identity + ",0,1000001,0,16\r").c_str());
    EXPECT_EQ(std::string(CALL_ID), std::string(ID_SIZE - 1, '9'));
    EXPECT_EQ(sdslength, 16);
}

TEST_F(DispatchTest, RestartTriggersEndTheSession)
{
    const char* restarts[] = {"+CTGS: 2,1\r", "+MCCFG: 0\r"};
    for (const char* line : restarts) {
        run = 1;
        dispatch(line);
        EXPECT_EQ(run, 0) << line;
    }
    const char* keeps[] = {"+CTGS: 1,1\r", "+CTGS: 1,0\r", "+MCCFG: 2\r"};
    for (const char* line : keeps) {
        run = 1;
        dispatch(line);
        EXPECT_EQ(run, 1) << line;
    }
}

TEST_F(DispatchTest, NulFromTheRadioEndsTheLineForEveryTest)
{
    memset(data, 0, sizeof data);
    memcpy(data, "OK\0ERROR\r", 9);
    capture_stdout_begin();
    dispatch_line();
    EXPECT_EQ(capture_stdout_end(), TS + "data (02/0): OK\n");
    EXPECT_TRUE(got_ser_ok);
    EXPECT_FALSE(got_ser_error);
}

} // namespace
