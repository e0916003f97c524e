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

// Every start is reported, also while a transmission is on; only the first end writes "Z".
TEST_F(Voice, StartsWriteOAndReportTheIssiAndTheFirstEndWritesZ)
{
    struct Case {
        const char* line;
        const char* issi;
    } cases[] = {
        {"+CTXG: 1,3,0,0,1,9990011234567\r", "1234567"}, // identity ends the line
        {"+GIU: 0,01234567\r", "1234567"},               // two fields
        {"+GIU: 0,12345678,9\r", "1234567"},             // identity mid-line loses its last digit
        {"+CTXG: 1,3,0,0,1\r", ""},                      // five fields: the second, "3", has nothing before its end
        {"+GIU: 0,1234\r", "1234"},                      // short identity: what it holds
        {"+GIU: 0,\r", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        unlink(ptt_path.c_str());
        snprintf(CALL, sizeof CALL, "%s", "");
        snprintf(CALL_ID, sizeof CALL_ID, "%s", "stale");
        std::string console = handle(c.line, handle_ptt_on);
        EXPECT_EQ(read_file(ptt_path), "O");
        EXPECT_EQ(reflector_next(), voice_report(c.issi));
        EXPECT_NE(console.find("> PTT ON: O\n"), std::string::npos) << console;
        EXPECT_NE(console.find("> LASTHEARD:" + voice_report(c.issi)), std::string::npos) << console;
    }

    EXPECT_NE(handle("+GCE\r", handle_ptt_off).find("> PTT OFF: Z\n"), std::string::npos);
    EXPECT_EQ(read_file(ptt_path), "Z");
    EXPECT_EQ(reflector_next(), "") << "no report at the end of a transmission";
    unlink(ptt_path.c_str());
    EXPECT_EQ(handle("+GCE\r", handle_ptt_off), "");
    EXPECT_FALSE(file_exists(ptt_path)) << "a second end changes nothing";
}
