// The real gateway between a pty radio and a loopback reflector: reflector
// text messages and pages, local SDS requests and hostile datagrams.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"

namespace {

// Starts the gateway and waits until both sockets are up and the radio line
// is quiet.
bool start_gateway(daemon_run* run, bool repeater)
{
    e2e_start(run, repeater ? "DMO_REPEATER=YES\n" : "DMO_REPEATER=NO\n");
    if (!e2e_wait_stdout(run, "Start serial_listener", 5000)) {
        ADD_FAILURE() << e2e_stdout(run);
        e2e_cleanup(run);
        return false;
    }
    // The first keepalive leaves from the reflector socket once it exists.
    EXPECT_EQ(e2e_reflector_receive(run, 10000).rfind(">>TEST-GW", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    e2e_drain_serial(run, 300);
    return true;
}

// Answers every command with OK, as a radio does, until the bytes written
// since mark contain expected (or timeout_ms has passed); then they must be
// exactly expected.
void expect_radio_line(daemon_run* run, size_t mark, const std::string& expected, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t answered = mark;
    while (std::chrono::steady_clock::now() < end && run->serial_seen.find(expected, mark) == std::string::npos) {
        e2e_drain_serial(run, 20);
        for (; answered < run->serial_seen.size(); answered++)
            if (run->serial_seen[answered] == '\r' || run->serial_seen[answered] == '\x1a')
                e2e_radio_send(run, "\r\nOK\r\n");
    }
    e2e_drain_serial(run, 300);
    EXPECT_EQ(run->serial_seen.substr(mark), expected);
}

} // namespace

// Each reflector datagram and local request gives exactly its transfer, in
// order; the datagrams that ask for nothing put nothing on the line between.
TEST(NetE2e, ReflectorMessagesAndLocalRequestsPutTheirTransfersOnTheRadioLine)
{
    for (bool repeater : {false, true}) {
        SCOPED_TRACE(repeater ? "DMO repeater" : "no DMO repeater");
        daemon_run run;
        ASSERT_TRUE(start_gateway(&run, repeater));
        size_t mark = run.serial_seen.size();
        for (const char* d : {">>ABC", "::DAPNET;ALPHA;PC:1234567;", "::DAPNET;ALPHA;XX:1234567:Hello;",
                              "::DAPNET;ALPHA", "::DAPNET;ALPHA;GC:Hello;", "::DAPNET;ALPHA;PC:1234567:Hello;",
                              "::X;ALPHA;PC:1234567: Meet at 12:30;"})
            e2e_reflector_send(&run, d);
        expect_radio_line(&run, mark,
                          expected_transfer("", "DAPNET ALPHA:\rHello", 16, repeater) +
                              expected_transfer("1234567", "DAPNET ALPHA:\rHello", 17, repeater) +
                              expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Meet at 12", 18, repeater),
                          30000);
        mark = run.serial_seen.size();
        udp_send(54001, "1234567Hello");
        udp_send(54001, "12345");
        expect_radio_line(&run, mark,
                          expected_transfer("1234567", "Hello", 19, repeater) +
                              expected_transfer("12345  ", "", 20, repeater),
                          20000);
        e2e_cleanup(&run);
    }
}

// Ten thousand random datagrams, a hundred of them "::" ones that ask for
// nothing: no transfer, and the next valid message is still served.
TEST(NetE2e, BurstOfRandomDatagramsLeavesTheListenerServing)
{
    daemon_run run;
    ASSERT_TRUE(start_gateway(&run, false));
    size_t mark = run.serial_seen.size();
    std::mt19937 rng(5230);
    // Heads with too few fields or no text, given noise without ";" (and ":").
    const std::string heads[] = {"::", "::DAPNET;A;GC", "::DAPNET;A;PC:1234567", "::X;A;PC:1"};
    for (int i = 0; i < 10000; i++) {
        bool malformed = i % 100 == 50;
        std::string d = malformed ? heads[rng() % 4] : "";
        std::string banned = !malformed ? "" : d == "::" ? ";" : ";:";
        for (size_t len = d.size() + rng() % (malformed ? 600 : 1500); d.size() < len;) {
            char c = char(rng() % 256);
            if (banned.find(c) == std::string::npos)
                d += c;
        }
        if (!malformed && d.compare(0, 2, "::") == 0)
            d[1] = '>';
        e2e_reflector_send(&run, d);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    e2e_reflector_send(&run, "::X;ALPHA;PC:1234567:Still here");
    expect_radio_line(&run, mark, expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Still here", 16), 20000);
    EXPECT_NE(e2e_stdout(&run).find("> ::X;A;PC:1"), std::string::npos); // the burst was read
    EXPECT_EQ(waitpid(run.pid, nullptr, WNOHANG), 0); // still running
    e2e_cleanup(&run);
}
