// Every datagram layout the gateway sends, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "net/datagrams.h"

namespace {
const char* TIME = "05.12.2026 18:40:00";
}

TEST(Datagrams, Layouts)
{
    char buf[MESSAGE_SIZE];
    EXPECT_EQ(format_keepalive(buf, sizeof buf, "ABC"), 5);
    EXPECT_STREQ(buf, ">>ABC");

    format_position_beacon(buf, sizeof buf, "GW", "Test", TIME, "GW", "2320001", "01622.33", "4812.34");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,GW,POS,#232,2320001,,E;01622.33;N;4812.34;000;,\n");

    int len = format_voice_report(buf, sizeof buf, "GW", "Test", TIME, "NO USER", "1234567");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,NO USER,VOICE,#232,1234567,,,\n");
    EXPECT_EQ(len, 58);

    format_group_text_report(buf, sizeof buf, "GW", "Test", TIME, "", "1234567", "GC:hello, all");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,,GC,#0,1234567,,GC:hello, all,\n");

    format_gateway_command(buf, sizeof buf, "GW", "1234567", "DN:x");
    EXPECT_STREQ(buf, "::GW;1234567;DN:x;\n");
    format_gateway_reply(buf, sizeof buf, "GW", "1234567", "ALPHA:yes");
    EXPECT_STREQ(buf, "::GW;1234567;PC:ALPHA:yes;\n");
    format_roaming_notice(buf, sizeof buf, "GW", "1234567");
    EXPECT_STREQ(buf, "::GW;1234567;RO\n");
    format_local_sds_request(buf, sizeof buf, "1234567", "Hello");
    EXPECT_STREQ(buf, "1234567Hello");
}

TEST(Datagrams, GpsReportPadsAndCutsPositionTexts)
{
    char buf[MESSAGE_SIZE];
    format_gps_report(buf, sizeof buf, "GW", "Test", TIME, "NO USER", "1234567", "02322.2000000", "4112.0000000",
                      "045.0");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,NO USER,GPS,#232,1234567,,E;02322.20;N;4112.00;045.0;,\n");
    // A seven-character longitude gets one leading blank; a nine-character latitude is cut to seven.
    format_gps_report(buf, sizeof buf, "GW", "Test", TIME, "", "", "1234567", "123456789", "000.0");
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,,GPS,#232,,,E; 1234567;N;1234567;000.0;,\n");
}

TEST(Datagrams, NeverOverrunTheCallersBuffer)
{
    char small[8];
    int len = format_gateway_command(small, sizeof small, "GW", "1234567", "PC:hello");
    EXPECT_EQ(len, 7);
    EXPECT_STREQ(small, "::GW;12");
}
