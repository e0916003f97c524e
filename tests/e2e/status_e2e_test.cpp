// Status messages through the running gateway: a radio's status key reaches
// the voice gateway's control file, or a reply goes back to the radio.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"

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
    // A directory stands in place of the weather scratch file, so a weather
    // query sends no request and answers with zeros.
    void start(const std::string& extra = "")
    {
        e2e_prepare(&run);
        mkdir((run.dir + "/query.txt").c_str(), 0700);
        e2e_write_config(&run, e2e_config(&run, "DMO_REPEATER=NO\n" + extra));
        e2e_launch(&run);
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
    while (read_file(DTMF_CTRL) != "910#" && now_ms() - decided < 4000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(read_file(DTMF_CTRL), "910#");
    EXPECT_GE(now_ms() - decided, 1800);
}

TEST_F(StatusE2E, WeatherRequestIsAnsweredThroughThePushSlot)
{
    start("CITY=Sampletown\n");
    e2e_radio_send(&run, HEADER + "EE52\r\n");

    const std::string pdu = "01" + hex_of("city:Sampletown\rtemp:-273.1 C\rpress:0 hPa\rhum:0%") + "\x1a";
    EXPECT_TRUE(e2e_wait_serial(&run, "AT+CMGS=1234567,", 5000)) << run.serial_seen;
    EXPECT_TRUE(e2e_wait_serial(&run, pdu, 5000)) << run.serial_seen;
    EXPECT_NE(e2e_stdout(&run).find("query.txt"), std::string::npos) << e2e_stdout(&run);
    EXPECT_EQ(e2e_stdout(&run).find("got status -> 61010"), std::string::npos);
}

} // namespace
