// Text, position and voice traffic through the real daemon: a radio on a
// pseudo-terminal sends SDS headers, payloads and call lines; the reflector
// on loopback and the voice gateway's control files show what came of them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"
#include "util/text.h"

namespace {

constexpr int WAIT_MS = 5000;

// An SDS as the radio hands it over: the "+CTSDSR:" header from ISSI 1234567
// with the PDU length in bits, then the payload line.
std::string sds_from_radio(const std::string& payload_digits)
{
    int bits = static_cast<int>(4 * payload_digits.size());
    return "+CTSDSR: 12,1234567,0,1000001,0," + std::to_string(bits) + "\r\n" + payload_digits + "\r\n";
}

// The next datagram other than the keepalive and the position beacon.
std::string next_report(daemon_run* run, int timeout_ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        std::string got = e2e_reflector_receive(run, 100);
        if (!got.empty() && got.rfind(">>", 0) != 0 && got.find(",POS,") == std::string::npos)
            return got;
    }
    return "";
}

bool wait_file(const std::string& path, const std::string& content, int timeout_ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        if (read_file(path) == content)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// True once the gateway reads the radio (its port set-up flushes earlier
// input, so lines are offered until one is logged) and its reflector socket
// is up (the first keepalive arrives).
// *session_start is set to when the radio session had certainly begun.
bool gateway_ready(daemon_run* run, std::chrono::steady_clock::time_point* session_start)
{
    bool reading = false;
    for (int i = 0; i < 25 && !reading; i++) {
        e2e_radio_send(run, "OK\r\n");
        reading = e2e_wait_stdout(run, "data (03/0): OK\r\n", 200);
    }
    *session_start = std::chrono::steady_clock::now();
    return reading && e2e_reflector_receive(run, 10000).rfind(">>TEST-GW", 0) == 0;
}

class TextPosE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        e2e_start(&run, "DMO_REPEATER=NO\n");
        ASSERT_TRUE(gateway_ready(&run, &session_start)) << e2e_stdout(&run);
    }
    void TearDown() override { e2e_cleanup(&run); }

    daemon_run run;
    std::chrono::steady_clock::time_point session_start;
};

} // namespace

TEST_F(TextPosE2e, PersonalTextIsAcknowledgedAndForwardedOnConfirmation)
{
    e2e_radio_send(&run, sds_from_radio("8204" "10" "01" + hex_of("pc:hello")));
    ASSERT_TRUE(e2e_wait_serial(&run, "AT+CMGS=1234567,32\r8210001" "0\x1a", WAIT_MS)) << run.serial_seen;
    EXPECT_EQ(next_report(&run, 1500), "") << "held until the radio confirms";

    e2e_radio_send(&run, "+CMGS: 0,4,16\r\n");
    EXPECT_EQ(next_report(&run, WAIT_MS), "::TEST-GW;1234567;PC:hello;\n");
    EXPECT_TRUE(e2e_wait_stdout(&run, "PC->::TEST-GW;1234567;PC:hello;", WAIT_MS));
}

TEST_F(TextPosE2e, GroupTextIsReportedAtOnce)
{
    e2e_radio_send(&run, sds_from_radio("8200" "11" "01" + hex_of("GC:hi")));
    std::string report = next_report(&run, WAIT_MS);
    EXPECT_EQ(report.rfind("TEST-GW,", 0), 0u) << report;
    EXPECT_NE(report.find(",NO USER,GC,#0,1234567,,GC:hi,\n"), std::string::npos) << report;
}

TEST_F(TextPosE2e, PositionBecomesGpsReport)
{
    // Reports within 5 s of the radio's initialisation are dropped.
    std::this_thread::sleep_until(session_start + std::chrono::milliseconds(6500));
    e2e_radio_send(&run, sds_from_radio("038013160A2F00000000000066" "3A987654" "109E60F0" "000000" "5620"));
    std::string report = next_report(&run, WAIT_MS);
    EXPECT_NE(report.find(",NO USER,GPS,#232,1234567,,E;02322.20;N;4112.00;045.0;,\n"), std::string::npos)
        << report;
    EXPECT_TRUE(e2e_wait_stdout(&run, "GPS:TEST-GW,", WAIT_MS));
}

TEST_F(TextPosE2e, VoiceStartWritesPttAndReportsTheCaller)
{
    unlink("/tmp/ptt");
    e2e_radio_send(&run, "+CTXG: 1,3,0,0,1,9990011234567\r\n");
    EXPECT_TRUE(wait_file("/tmp/ptt", "O", WAIT_MS));
    std::string report = next_report(&run, WAIT_MS);
    EXPECT_NE(report.find(",NO USER,VOICE,#232,1234567,,,\n"), std::string::npos) << report;
    EXPECT_TRUE(e2e_wait_stdout(&run, "LASTHEARD:TEST-GW,", WAIT_MS));

    e2e_radio_send(&run, "+CDTXC: 1,0\r\n");
    EXPECT_TRUE(wait_file("/tmp/ptt", "Z", WAIT_MS));
}
