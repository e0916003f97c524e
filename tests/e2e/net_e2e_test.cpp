// The real gateway between a pty radio and a loopback reflector: reflector
// text messages and pages, local SDS requests and hostile datagrams.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/capture.h"
#include "support/e2e.h"
#include "support/pdu.h"

namespace {

constexpr int LOCAL_REQUEST_PORT = 54001;

// Starts the gateway and waits until both sockets are up. False (test
// skipped) while the serial thread does not open the radio port yet.
bool start_gateway(daemon_run* run, const std::string& extra)
{
    e2e_start(run, "DMO_REPEATER=NO\n" + extra);
    if (!e2e_wait_stdout(run, "Start serial_listener", 5000)) {
        ADD_FAILURE() << e2e_stdout(run);
        e2e_cleanup(run);
        return false;
    }
    // The first keepalive leaves from the reflector socket once it exists.
    EXPECT_EQ(e2e_reflector_receive(run, 10000).rfind(">>TEST-GW", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
}

// Answers every command the gateway writes with OK, as a radio does, until
// the bytes written since mark contain want (or timeout_ms has passed).
// Returns the bytes written since mark.
std::string radio_serve(daemon_run* run, size_t mark, const std::string& want, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t answered = mark;
    while (std::chrono::steady_clock::now() < end) {
        e2e_drain_serial(run, 20);
        for (; answered < run->serial_seen.size(); answered++) {
            char c = run->serial_seen[answered];
            if (c == '\r' || c == '\x1a')
                e2e_radio_send(run, "\r\nOK\r\n");
        }
        if (run->serial_seen.find(want, mark) != std::string::npos)
            break;
    }
    return run->serial_seen.substr(mark);
}

void send_local_request(const std::string& text)
{
    udp_send(LOCAL_REQUEST_PORT, text);
}

} // namespace

// Each reflector datagram gives exactly its transfer, in order, and the
// datagrams that ask for nothing put nothing on the line in between.
TEST(NetE2e, ReflectorMessagesPutTheirTransfersOnTheRadioLine)
{
    for (bool repeater : {false, true}) {
        SCOPED_TRACE(repeater ? "DMO repeater" : "no DMO repeater");
        daemon_run run;
        ASSERT_TRUE(start_gateway(&run, repeater ? "DMO_REPEATER=YES\n" : ""));
        e2e_drain_serial(&run, 300);
        size_t mark = run.serial_seen.size();
        for (const char* d : {">>ABC", "::DAPNET;ALPHA;PC:1234567;", "::DAPNET;ALPHA;XX:1234567:Hello;",
                              "::DAPNET;ALPHA", "::DAPNET;ALPHA;GC:Hello;", "::DAPNET;ALPHA;PC:1234567:Hello;",
                              "::X;ALPHA;PC:1234567: Meet at 12:30;"})
            e2e_reflector_send(&run, d);
        std::string expected = expected_transfer("", "DAPNET ALPHA:\rHello", 16, repeater) +
                               expected_transfer("1234567", "DAPNET ALPHA:\rHello", 17, repeater) +
                               expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Meet at 12", 18, repeater);
        std::string last = expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Meet at 12", 18, repeater);
        radio_serve(&run, mark, last, 30000);
        e2e_drain_serial(&run, 300);
        EXPECT_EQ(run.serial_seen.substr(mark), expected);

        std::string console = e2e_stdout(&run);
        EXPECT_EQ(console.find(">>ABC"), std::string::npos);
        EXPECT_NE(console.find("> ::DAPNET;ALPHA;XX:1234567:Hello;\n"), std::string::npos);
        EXPECT_NE(console.find("> ::X;ALPHA;PC:1234567: Meet at 12:30;\n"), std::string::npos);
        e2e_cleanup(&run);
    }
}

TEST(NetE2e, LocalRequestsBecomePersonalTexts)
{
    daemon_run run;
    ASSERT_TRUE(start_gateway(&run, ""));
    e2e_drain_serial(&run, 300);
    size_t mark = run.serial_seen.size();
    send_local_request("1234567Hello");
    send_local_request("12345");
    std::string expected = expected_transfer("1234567", "Hello", 16, false) + expected_transfer("12345  ", "", 17, false);
    radio_serve(&run, mark, expected_transfer("12345  ", "", 17, false), 20000);
    e2e_drain_serial(&run, 300);
    EXPECT_EQ(run.serial_seen.substr(mark), expected);
    e2e_cleanup(&run);
}

// Ten thousand datagrams, a hundred of them malformed "::" ones: nothing is
// sent to the radio, and the next valid message is still served.
TEST(NetE2e, BurstOfRandomDatagramsLeavesTheListenerServing)
{
    daemon_run run;
    ASSERT_TRUE(start_gateway(&run, ""));
    e2e_drain_serial(&run, 300);
    size_t mark = run.serial_seen.size();
    std::mt19937 rng(5230);
    auto noise = [&](size_t len, const std::string& banned) {
        std::string s;
        while (s.size() < len) {
            char c = static_cast<char>(rng() % 256);
            if (banned.find(c) == std::string::npos)
                s += c;
        }
        return s;
    };
    // "::" datagrams that must yield no SDS: too few fields, no text.
    const std::string malformed_heads[] = {"::", "::DAPNET;A;GC", "::DAPNET;A;PC:1234567", "::X;A;PC:1"};
    for (int i = 0; i < 10000; i++) {
        std::string d;
        if (i % 100 == 50) {
            const std::string& head = malformed_heads[rng() % 4];
            d = head + noise(rng() % 600, head == "::" ? std::string(";", 1) : std::string(";:", 2));
        } else {
            d = noise(rng() % 1500, "");
            if (d.size() >= 2 && d[0] == ':' && d[1] == ':')
                d[1] = '>';
        }
        e2e_reflector_send(&run, d);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    e2e_reflector_send(&run, "::X;ALPHA;PC:1234567:Still here");
    std::string expected = expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Still here", 16, false);
    radio_serve(&run, mark, expected, 20000);
    e2e_drain_serial(&run, 300);
    EXPECT_EQ(run.serial_seen.substr(mark), expected);
    EXPECT_NE(e2e_stdout(&run).find("> ::X;A;PC:1"), std::string::npos); // the burst was read
    EXPECT_EQ(waitpid(run.pid, nullptr, WNOHANG), 0); // still running
    e2e_cleanup(&run);
}
