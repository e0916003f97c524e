// The reflector side: datagram layouts (the worked examples byte for byte),
// and reading reflector text messages, DAPNET pages and local SDS requests,
// malformed and hostile ones included, within their length bounds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "net/datagrams.h"
#include "net/reflector_listener.h"
#include "net/reflector_messages.h"
#include "net/sms_sender.h"
#include "net/udp.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

namespace {

const char* TIME = "05.12.2026 18:40:00";
const std::string PC = "MERIDIAN-LINK:PC:\r";
constexpr int NONE = REFLECTOR_SDS_NONE, PERS = REFLECTOR_SDS_PERSONAL;

// Parses a copy of exactly the datagram's bytes: a read past them is seen by
// the address sanitizer.
int parse_exact(const std::string& datagram, reflector_request* out)
{
    std::vector<char> bytes(datagram.begin(), datagram.end());
    return reflector_message_parse(bytes.data(), bytes.size(), out);
}

TEST(ReflectorMessage, MalformedDatagrams)
{
    const struct {
        const char* name;
        std::string datagram;
        const char* issi; // "" and no SDS when sbuff is ""
        std::string sbuff;
    } cases[] = {
        {"fewer than three fields", "::DAPNET;ALPHA", "", ""},
        {"longer net name: a text, kind unread", "::DAPNETX;ALPHA;GC:1234567:Hi;", "1234567", PC + "ALPHA:Hi"},
        {"two blanks keep one", "::ANY;ALPHA;PC:1234567:  two", "1234567", PC + "ALPHA: two"},
        {"hundreds of semicolons", "::X;A;PC:1234567:Hi" + std::string(400, ';'), "1234567", PC + "A:Hi"},
        {"third field of colons only", "::X;A;" + std::string(300, ':'), "", PC + "A:"},
        {"single colon", ":X;ALPHA;PC:1234567:Hi", "", ""},
        {"command mark not at the start", " ::X;ALPHA;PC:1234567:Hi", "", ""},
        {"empty datagram", "", "", ""},
        {"NUL before the third field", std::string("::X;ALPHA\0;PC:1234567:Hi", 24), "", ""},
        {"bytes above 0x7F pass through", "::X;\xC4;PC:1234567:\xE4\xFF", "1234567", PC + "\xC4:\xE4\xFF"},
    };
    for (const auto& c : cases) {
        reflector_request out;
        EXPECT_EQ(parse_exact(c.datagram, &out), !c.sbuff.empty()) << c.name;
        EXPECT_EQ(out.kind, c.sbuff.empty() ? NONE : PERS) << c.name;
        EXPECT_STREQ(out.issi, c.issi) << c.name;
        EXPECT_EQ(std::string(out.sbuff), c.sbuff) << c.name;
    }
}

TEST(ReflectorMessage, LengthBounds)
{
    reflector_request out;
    // The composed text is cut at 499 characters, for texts and pages alike.
    std::string from(250, 'F'), text(260, 'T');
    ASSERT_EQ(parse_exact("::X;" + from + ";PC:1:" + text, &out), 1);
    EXPECT_EQ(std::string(out.sbuff), (PC + from + ":" + text).substr(0, 499));
    ASSERT_EQ(parse_exact("::DAPNET;" + from + ";GC:" + text, &out), 1);
    EXPECT_EQ(std::string(out.sbuff), ("DAPNET " + from + ":\r" + text).substr(0, 499));

    // Only the 524 bytes the socket delivers are read; a long ISSI is kept whole.
    std::string head = "::X;A;PC:" + std::string(100, '7') + ":";
    ASSERT_EQ(parse_exact(head + std::string(600, 'x'), &out), 1);
    EXPECT_EQ(std::string(out.sbuff), PC + "A:" + std::string(524 - head.size(), 'x'));
    std::string issi(524, '7');
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi, &out), 0);
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi.substr(0, 400) + ":Hi", &out), 1);
    EXPECT_EQ(std::string(out.issi), issi.substr(0, 400));
}

TEST(LocalRequest, Bounds)
{
    const struct {
        const char* name;
        std::string request;
        const char* call_id_nr;
        std::string call_message;
    } cases[] = {
        {"empty request", "", "       ", ""},
        {"eighth character starts the text", "12345678", "1234567", "8"},
        {"request ends at an embedded NUL", std::string("123\0004567Hello", 13), "123    ", ""},
        {"only 1024 bytes are read", "1234567" + std::string(1500, 'x'), "1234567", std::string(1017, 'x')},
    };
    for (const auto& c : cases) {
        std::vector<char> bytes(c.request.begin(), c.request.end());
        local_request out;
        local_request_parse(bytes.data(), bytes.size(), &out);
        EXPECT_STREQ(out.call_id_nr, c.call_id_nr) << c.name;
        EXPECT_EQ(std::string(out.call_message), c.call_message) << c.name;
    }
}

// An interrupted receive on the local request port is no request: no
// transfer to an ISSI of seven blanks.
TEST(LocalRequest, AFailedReceiveSendsNothing)
{
    virtual_clock_scope clock;
    int port = 0;
    int sock = udp_listener(&port, 10);
    EXPECT_EQ(sms_sender_step(sock), 0);
    EXPECT_EQ(virtual_clock_elapsed_us(), 0) << "a transfer was started";
    close(sock);
}

TEST(Datagrams, WorkedExamples)
{
    char buf[MESSAGE_SIZE];
    EXPECT_EQ(format_keepalive(buf, sizeof buf, "ABC"), 5);
    EXPECT_STREQ(buf, ">>ABC");
    EXPECT_EQ(format_voice_report(buf, sizeof buf, "GW", "Test", TIME, "NO USER", "1234567"), 58);
    EXPECT_STREQ(buf, "GW,Test,05.12.2026 18:40:00,NO USER,VOICE,#232,1234567,,,\n");
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

// Main makes the reflector socket before any thread starts, so a roaming
// notice the serial thread sends at once still reaches the reflector; and the
// start-up learns what came of the bind, a port in use included.
TEST(ReflectorSocket, ExistsBeforeAnyThreadAndReportsItsBind)
{
    int listener = reflector_stub_open();
    close(reflector_listener_controlsock.exchange(-1)); // as at start: no socket yet
    saved_global keep_port(SOCK_UDP_PORT);
    SOCK_UDP_PORT = 0; // any free port: never the station's 5230
    capture_stdout_begin();
    EXPECT_EQ(reflector_listener_open(), 0);
    send_to_reflector("::TEST-GW;2620001;RO\n");
    EXPECT_EQ(udp_receive(listener), "::TEST-GW;2620001;RO\n");
    close(reflector_listener_controlsock.exchange(-1));

    int taken_port = 0;
    int taken = udp_listener(&taken_port);
    SOCK_UDP_PORT = taken_port;
    EXPECT_EQ(reflector_listener_open(), EADDRINUSE);
    send_to_reflector("still sends");
    EXPECT_EQ(udp_receive(listener), "still sends");
    std::string log = capture_stdout_end();
    EXPECT_NE(log.find("Cannot bind UDP 0.0.0.0:" + std::to_string(taken_port) + ": "), std::string::npos) << log;
    close(taken);
    reflector_stub_close(listener);
}
