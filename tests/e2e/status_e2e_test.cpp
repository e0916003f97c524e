// Status messages through the running gateway: a radio's status key reaches
// the voice gateway's control file, the reflector and back the radio.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"
#include "support/http_stub.h"

namespace {

const char DTMF_CTRL[] = "/tmp/dtmf_ctrl";
const std::string HEADER = "+CTSDSR: 12,1234567,0,7654321,0,16\r\n";

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class StatusE2E : public ::testing::Test {
protected:
    daemon_run run;

    // Starts the gateway and waits until the radio port is set up (its flush
    // would discard earlier input) and the reflector socket exists.
    void start(const std::string& extra = "")
    {
        e2e_start(&run, "DMO_REPEATER=NO\n" + extra);
        ASSERT_TRUE(e2e_wait_stdout(&run, "Start serial_listener", 5000)) << e2e_stdout(&run);
        ASSERT_EQ(e2e_reflector_receive(&run, 10000).rfind(">>TEST-GW", 0), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    void TearDown() override { e2e_cleanup(&run); }
};

TEST_F(StatusE2E, StatusKeyWritesItsCommandAfterTwoSeconds)
{
    std::ofstream(DTMF_CTRL, std::ios::binary | std::ios::trunc) << "before-a-longer-text";
    start();
    e2e_radio_send(&run, HEADER + "80E8\r\n");

    ASSERT_TRUE(e2e_wait_stdout(&run, "SENDSTATUS 910# 2\n\n", 3000)) << e2e_stdout(&run);
    long long decided = now_ms();
    EXPECT_EQ(read_file(DTMF_CTRL), "before-a-longer-text");
    std::string out = e2e_stdout(&run);
    EXPECT_NE(out.find("> status 33000\n"), std::string::npos);
    EXPECT_NE(out.find("> got status -> 33000 910#\n"), std::string::npos);

    while (read_file(DTMF_CTRL) != "910#" && now_ms() - decided < 4000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    long long written = now_ms();
    EXPECT_EQ(read_file(DTMF_CTRL), "910#");
    EXPECT_GE(written - decided, 1800);
}

TEST_F(StatusE2E, RoamingRequestIsReportedAndAnswered)
{
    start();
    e2e_radio_send(&run, HEADER + "EE4D\r\n");

    std::string datagram;
    long long end = now_ms() + 5000;
    while (datagram.rfind("::", 0) != 0 && now_ms() < end)
        datagram = e2e_reflector_receive(&run, 200); // keepalives come between
    EXPECT_EQ(datagram, "::TEST-GW;1234567;RO\n");

    const std::string pdu = "01" + hex_of("MERIDIAN-LINK\rTEST-GW\rTest gateway") + "\x1a";
    EXPECT_TRUE(e2e_wait_serial(&run, "AT+CMGS=1234567,304\r8204", 5000)) << run.serial_seen;
    EXPECT_TRUE(e2e_wait_serial(&run, pdu, 5000)) << run.serial_seen;
    EXPECT_TRUE(e2e_wait_stdout(&run, "> got status -> 61005 \n", 8000)) << e2e_stdout(&run);
}

TEST_F(StatusE2E, WeatherRequestIsAnsweredThroughTheLocalPort)
{
    // The service is out of reach: libcurl is sent to a proxy that refuses.
    int port = 0;
    int refusing = http_refusing_socket(&port);
    std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    setenv("https_proxy", proxy.c_str(), 1);
    setenv("HTTPS_PROXY", proxy.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    start("CITY=Sampletown\nZIP=41059\nCOUNTRY=IT\n");
    unsetenv("https_proxy");
    unsetenv("HTTPS_PROXY");

    e2e_radio_send(&run, HEADER + "EE52\r\n");
    EXPECT_TRUE(e2e_wait_stdout(&run, "> CURL res:", 15000)) << e2e_stdout(&run);
    const std::string pdu = "01" + hex_of("city:Sampletown\rtemp:-273.1 C\rpress:0 hPa\rhum:0%") + "\x1a";
    EXPECT_TRUE(e2e_wait_serial(&run, "AT+CMGS=1234567,", 5000)) << run.serial_seen;
    EXPECT_TRUE(e2e_wait_serial(&run, pdu, 5000)) << run.serial_seen;
    EXPECT_EQ(e2e_stdout(&run).find("got status -> 61010"), std::string::npos);
    close(refusing);
}

} // namespace
