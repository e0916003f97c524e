// Text, position and voice traffic through the real daemon: a radio on a
// pseudo-terminal, the reflector on loopback and the voice gateway's PTT file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"

namespace {

constexpr int WAIT_MS = 5000;
using Clock = std::chrono::steady_clock;

// The "+CTSDSR:" header from ISSI 1234567 with the PDU length in bits, then the payload line.
std::string sds_from_radio(const std::string& payload_digits)
{
    return "+CTSDSR: 12,1234567,0,1000001,0," + std::to_string(4 * payload_digits.size()) + "\r\n" +
           payload_digits + "\r\n";
}

// The next datagram other than the keepalive and the position beacon.
std::string next_report(daemon_run* run, int timeout_ms)
{
    for (auto until = Clock::now() + std::chrono::milliseconds(timeout_ms); Clock::now() < until;) {
        std::string got = e2e_reflector_receive(run, 100);
        if (!got.empty() && got.rfind(">>", 0) != 0 && got.find(",POS,") == std::string::npos)
            return got;
    }
    return "";
}

class TextPosE2e : public ::testing::Test {
protected:
    // Ready once the gateway reads the radio (its port set-up flushes earlier
    // input, so lines are offered until one is logged) and the first keepalive
    // arrives; session_start is when the radio session had certainly begun.
    void SetUp() override
    {
        e2e_start(&run, "DMO_REPEATER=NO\n");
        bool reading = false;
        for (int i = 0; i < 25 && !reading; i++) {
            e2e_radio_send(&run, "OK\r\n");
            reading = e2e_wait_stdout(&run, "data (03/0): OK\r\n", 200);
        }
        session_start = Clock::now();
        ASSERT_TRUE(reading && e2e_reflector_receive(&run, 10000).rfind(">>TEST-GW", 0) == 0) << e2e_stdout(&run);
    }
    void TearDown() override { e2e_cleanup(&run); }

    daemon_run run;
    Clock::time_point session_start;
};

} // namespace

TEST_F(TextPosE2e, PersonalTextIsAcknowledgedAndForwardedOnConfirmation)
{
    e2e_radio_send(&run, sds_from_radio("8204" "10" "01" + hex_of("pc:hello")));
    ASSERT_TRUE(e2e_wait_serial(&run, "AT+CMGS=1234567,32\r8210001" "0\x1a", WAIT_MS)) << run.serial_seen;
    EXPECT_EQ(next_report(&run, 1500), "") << "held until the radio confirms";

    e2e_radio_send(&run, "+CMGS: 0,4,16\r\n");
    EXPECT_EQ(next_report(&run, WAIT_MS), "::TEST-GW;1234567;PC:hello;\n");
}

// The PTT file is written before the report that follows it is sent, and the
// serial thread handles lines in order: each report shows the file's state.
TEST_F(TextPosE2e, VoiceAndPositionBecomeReports)
{
    unlink("/tmp/ptt");
    e2e_radio_send(&run, "+CTXG: 1,3,0,0,1,9990011234567\r\n");
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, ",NO USER,VOICE,#232,1234567,,,\n", next_report(&run, WAIT_MS));
    EXPECT_EQ(read_file("/tmp/ptt"), "O");
    e2e_radio_send(&run, "+CDTXC: 1,0\r\n");

    // Reports within 5 s of the radio's initialisation are dropped.
    std::this_thread::sleep_until(session_start + std::chrono::milliseconds(6500));
    e2e_radio_send(&run, sds_from_radio("038013160A2F00000000000066" "3A987654" "109E60F0" "000000" "5620"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, ",NO USER,GPS,#232,1234567,,E;02322.20;N;4112.00;045.0;,\n",
                        next_report(&run, WAIT_MS));
    EXPECT_EQ(read_file("/tmp/ptt"), "Z");
}
