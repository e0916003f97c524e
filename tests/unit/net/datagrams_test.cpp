// The datagram layouts' edges no session shows: an empty caller, the
// roaming notice, and the widths of a position's coordinates.
#include <gtest/gtest.h>

#include "net/datagrams.h"

namespace {

const char* TIME = "05.12.2026 18:40:00";

TEST(Datagrams, WorkedExamples)
{
    char buf[MESSAGE_SIZE];
    // Before any caller is seen CALL is empty: the time is followed by two commas.
    format_group_text_report(buf, sizeof buf, "GW", "Test", TIME, "", "1234567", "GC:hello, all");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,,GC,#0,1234567,,GC:hello, all,\n");
    format_roaming_notice(buf, sizeof buf, "GW", "1234567");
    EXPECT_STREQ(buf, "::GW;1234567;RO\n");
    // A seven-character longitude gets one leading blank; a nine-character latitude is cut to seven.
    format_gps_report(buf, sizeof buf, "GW", "Test", TIME, "NO USER", "1234567", "1234567", "123456789", "000.0");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,NO USER,GPS,#232,1234567,,E; 1234567;N;1234567;000.0;,\n");
}

} // namespace
