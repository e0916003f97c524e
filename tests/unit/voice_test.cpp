// Voice activity: the PTT file, the caller's ISSI taken from the line, and
// the voice report of the station last heard.
#include <string>

#include "events/handlers.h"
#include "textpos_fixture.h"

namespace {

std::string voice_report(const std::string& issi)
{
    return std::string("TEST-GW,Test,") + START_TIME + ",NO USER,VOICE,#232," + issi + ",,,\n";
}

} // namespace

class Voice : public HandlerTest {};

TEST_F(Voice, PttOnWritesOReportsAndTakesTheIssi)
{
    struct Case {
        const char* line;
        const char* issi;
    } cases[] = {
        {"+CTXG: 1,3,0,0,1,9990011234567\r", "1234567"},    // identity ends the line
        {"+CTXG: 001,3,0,0,1,9990011234567\r", "1234567"},
        {"+GIU: 0,01234567\r", "1234567"},                  // two fields
        {"+GIU: 0,12345678,9\r", "1234567"},                // identity mid-line loses its last digit
        {"+CTXG: 1,3,0,0,1,2620011234567,7\r", "1123456"},  // seven fields: still the sixth
        {"+CTXG: 1,3,0,0,1\r", ""},                         // five fields: the second, "3", has nothing before its end
        {"+GIU: 0,1234\r", "1234"},                         // short identity: what it holds
        {"+GIU: 0,123\r", "123"},
        {"+GIU: 0,\r", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        unlink(ptt_path.c_str());
        snprintf(CALL, sizeof CALL, "%s", "");
        snprintf(CALL_ID, sizeof CALL_ID, "%s", "stale");
        ptt = 0;
        set_line(c.line);
        std::string console = captured([] { handle_ptt_on(); });

        EXPECT_EQ(read_file(ptt_path), "O");
        EXPECT_EQ(ptt, 1);
        EXPECT_STREQ(CALL, "NO USER");
        EXPECT_STREQ(CALL_ID, c.issi);
        EXPECT_EQ(reflector_next(), voice_report(c.issi));
        EXPECT_NE(console.find("> PTT ON: O\n"), std::string::npos) << console;
        EXPECT_NE(console.find("> LASTHEARD:" + voice_report(c.issi)), std::string::npos) << console;
    }
}

TEST_F(Voice, TransmissionStartsAndEnds)
{
    set_line("+GIU: 0,01234567\r");
    captured([] { handle_ptt_on(); });
    set_line("+CTXG: 1,3,0,0,1,9990017654321\r");
    captured([] { handle_ptt_on(); });
    EXPECT_EQ(reflector_next(), voice_report("1234567"));
    EXPECT_EQ(reflector_next(), voice_report("7654321")) << "every start is reported, also while ptt is 1";

    set_line("+GCE\r");
    std::string console = captured([] { handle_ptt_off(); });
    EXPECT_EQ(ptt, 0);
    EXPECT_EQ(read_file(ptt_path), "Z");
    EXPECT_NE(console.find("> PTT OFF: Z\n"), std::string::npos) << console;
    EXPECT_EQ(reflector_next(), "") << "no report at the end of a transmission";
    EXPECT_STREQ(CALL_ID, "7654321");

    unlink(ptt_path.c_str());
    console = captured([] { handle_ptt_off(); });
    EXPECT_FALSE(file_exists(ptt_path)) << "a second end changes nothing";
    EXPECT_EQ(console, "");
}
