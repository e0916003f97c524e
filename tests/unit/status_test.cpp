// Status SDS payloads: decoding, the command table, the roaming reply on the
// reflector and the radio, and the hand-over to the weather reply.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/pdu.h"
#include "support/http_stub.h"
#include "support/virtual_clock.h"

namespace {

const std::string T = "<05.12.25 18:40:00> "; // console prefix at the virtual clock's start
const long long START_US = 1764960000LL * 1000000;
const char UNTOUCHED[] = "untouched";

class StatusLine : public ::testing::Test {
protected:
    char dir[36] = "/tmp/sdsbridge-status-XXXXXX";
    std::string dtmf_path, query_path;
    const char* saved_dtmf = DTMF_CTRL_FILE;
    const char* saved_query = QUERY_FILE;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir), nullptr);
        dtmf_path = std::string(dir) + "/dtmf_ctrl";
        query_path = std::string(dir) + "/query.txt";
        DTMF_CTRL_FILE = dtmf_path.c_str();
        QUERY_FILE = query_path.c_str();
        std::ofstream(dtmf_path, std::ios::binary) << UNTOUCHED;
        virtual_clock_install();
        snprintf(GATEWAY_CALL, sizeof GATEWAY_CALL, "TEST-GW");
        snprintf(GATEWAY_COMMENT, sizeof GATEWAY_COMMENT, "Test gateway");
        snprintf(DMO_REPEATER, sizeof DMO_REPEATER, "NO");
        snprintf(CALL_ID, sizeof CALL_ID, "1234567");
        PushMessage[0] = '\0';
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        DTMF_CTRL_FILE = saved_dtmf;
        QUERY_FILE = saved_query;
        unlink(dtmf_path.c_str());
        unlink(query_path.c_str());
        rmdir(dir);
    }

    // The payload line as the line reader leaves it: CR-ended, zero-filled.
    static void payload(const char* digits)
    {
        memset(data, 0, sizeof data);
        snprintf(data, sizeof data, "%s\r", digits);
    }
};

struct StatusCase {
    const char* payload;
    std::vector<const char*> lines; // console lines, each behind the prefix
    const char* file;               // /tmp/dtmf_ctrl afterwards
    int elapsed_s;
};

TEST_F(StatusLine, PayloadsTable)
{
    const StatusCase cases[] = {
        {"80E8", {"status 33000\n", "got status -> 33000 910#\n", "SENDSTATUS 910# 2\n\n"}, "910#", 2},
        {"80e8", {"status 33000\n", "got status -> 33000 910#\n", "SENDSTATUS 910# 2\n\n"}, "910#", 2},
        {"8228", {"status 33320\n", "got status -> 33320 91232#\n", "SENDSTATUS 91232# 2\n\n"}, "91232#", 2},
        {"822A", {"status 33322\n", "got status -> 33322 91232#\n", "SENDSTATUS 91232# 2\n\n"}, "91232#", 2},
        {"EE4C", {"status 61004\n", "got status -> 61004 9199#1#\n", "SENDSTATUS 9199#1# 2\n\n"}, "9199#1#", 2},
        {"ee49", {"status 61001\n", "got status -> 61001 #\n", "SENDSTATUS # 2\n\n"}, "#", 2},
        // The 16-bit character form: the second byte lies past the line.
        {"0012", {"status 4608\n", "got status -> 4608 \n"}, UNTOUCHED, 0},
        {"1234", {"status 4660\n", "got status -> 4660 \n"}, UNTOUCHED, 0},
        {"FFFF", {"status 65535\n", "got status -> 65535 \n"}, UNTOUCHED, 0},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.payload);
        std::ofstream(dtmf_path, std::ios::binary | std::ios::trunc) << UNTOUCHED;
        virtual_clock_install();
        payload(c.payload);

        capture_stdout_begin();
        handle_status();
        std::string log = capture_stdout_end();

        std::string expected;
        for (const char* line : c.lines)
            expected += T + line;
        EXPECT_EQ(log, expected);
        EXPECT_EQ(read_file(dtmf_path), c.file);
        EXPECT_EQ(virtual_clock_now_us() - START_US, c.elapsed_s * 1000000LL);
    }
}

TEST_F(StatusLine, RoamingNoticeThenReplyToTheSender)
{
    int reflector = reflector_stub_open();
    int line[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, line), 0);
    serport = line[0];
    sds_lfd = 16;
    int saved_wait = SYS_CTOM_WAIT;
    SYS_CTOM_WAIT = 1;
    // The notice must be on its way before the first command reaches the radio.
    std::string notice_at_first_wait;
    bool first = true;
    virtual_clock_on_sleep([&](long long) {
        if (first)
            notice_at_first_wait = udp_receive(reflector);
        first = false;
    });
    payload("EE4D");

    capture_stdout_begin();
    handle_status();
    std::string log = capture_stdout_end();

    char radio[4096] = {};
    ssize_t got = recv(line[1], radio, sizeof radio - 1, MSG_DONTWAIT);
    serport = -1;
    close(line[0]);
    close(line[1]);
    reflector_stub_close(reflector);
    SYS_CTOM_WAIT = saved_wait;

    EXPECT_EQ(notice_at_first_wait, "::TEST-GW;1234567;RO\n");
    const std::string text = "MERIDIAN-LINK\rTEST-GW\rTest gateway";
    const std::string hex = "8204" "10" "01" + hex_of(text);
    const std::string expected_radio = "AT+CTSDS=12,0\r" "AT+CMGS=1234567," + std::to_string(4 * hex.size()) +
                                       "\r" + hex + "\x1a";
    EXPECT_EQ(std::string(radio, got > 0 ? static_cast<size_t>(got) : 0), expected_radio);
    // Nothing reads the radio during the transfer, so each of its three waits
    // lasts its full second, and the pause after the PDU follows.
    EXPECT_EQ(log, T + "status 61005\n" + "ROAMING->::TEST-GW;1234567;RO\n\n" +
                       "<05.12.25 18:40:04> got status -> 61005 \n");
    EXPECT_EQ(read_file(dtmf_path), UNTOUCHED);
}

TEST_F(StatusLine, WeatherRequestAnswersThroughThePushSlotOnly)
{
    int port = 0;
    int refusing = http_refusing_socket(&port);
    char saved_base[sizeof BASE_URL];
    memcpy(saved_base, BASE_URL, sizeof BASE_URL);
    snprintf(BASE_URL, sizeof BASE_URL, "http://127.0.0.1:%d/data/2.5/weather?", port);
    snprintf(CITY, sizeof CITY, "Sampletown");
    payload("EE52");

    capture_stdout_begin();
    handle_status();
    std::string log = capture_stdout_end();
    memcpy(BASE_URL, saved_base, sizeof BASE_URL);
    close(refusing);

    EXPECT_EQ(log, T + "status 61010\n" + T + "CURL res:7\n");
    EXPECT_STREQ(PushMessage, "city:Sampletown\rtemp:-273.1 C\rpress:0 hPa\rhum:0%");
    EXPECT_EQ(read_file(dtmf_path), UNTOUCHED);
}

} // namespace
