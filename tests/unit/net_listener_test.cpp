// The reflector listener, the local SDS request port and the push slot, on
// loopback sockets with a pipe standing in for the radio's serial line.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "config/config.h"
#include "config/places.h"
#include "events/session.h"
#include "global.h"
#include "net/reflector_listener.h"
#include "net/sms_sender.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/pdu.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

int radio_line[2] = {-1, -1}; // [0]: what the gateway wrote; [1]: serport

void radio_open(const char* repeater)
{
    virtual_clock_install();
    ASSERT_EQ(pipe2(radio_line, O_NONBLOCK), 0);
    serport = radio_line[1];
    copy_field(DMO_REPEATER, repeater);
    SYS_CTOM_WAIT = 1;
    sds_lfd = 16;
}

void radio_close()
{
    serport = -1;
    close(radio_line[0]);
    close(radio_line[1]);
    virtual_clock_uninstall();
}

// Everything written to the radio so far.
std::string radio_read()
{
    std::string seen;
    char buf[4096];
    ssize_t got;
    while ((got = read(radio_line[0], buf, sizeof buf)) > 0)
        seen.append(buf, static_cast<size_t>(got));
    return seen;
}

// Waits (for a thread of the gateway) until the radio has seen a Ctrl-Z.
std::string radio_wait_pdu(int timeout_ms)
{
    std::string seen;
    struct pollfd pfd = {radio_line[0], POLLIN, 0};
    while (seen.find('\x1a') == std::string::npos && poll(&pfd, 1, timeout_ms) > 0)
        seen += radio_read();
    return seen;
}

// Port of a bound socket.
int port_of(int sock)
{
    struct sockaddr_in addr = {};
    socklen_t len = sizeof addr;
    if (sock < 0 || getsockname(sock, reinterpret_cast<struct sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

// A loopback port nobody holds right now.
int free_port()
{
    int port = 0;
    int fd = udp_listener(&port);
    close(fd);
    return port;
}

// Waits until a thread's socket is bound to port.
bool wait_bound(const std::atomic<int>& sock, int port)
{
    for (int i = 0; i < 200000; i++) {
        if (port_of(sock.load()) == port)
            return true;
        std::this_thread::yield();
    }
    return false;
}

struct listener_case {
    const char* name;
    std::string datagram;
    int sent;
    std::string logged; // console line after the timestamp, "" for none
    std::string radio;
};

} // namespace

TEST(ReflectorListener, EachDatagramIsLoggedAndServedAtMostOnce)
{
    const listener_case cases[] = {
        {"keepalive is dropped silently", ">>ABC", 0, "", ""},
        {"page to the group", "::DAPNET;ALPHA;GC:Hello;", 1, "::DAPNET;ALPHA;GC:Hello;\n",
         expected_transfer("", "DAPNET ALPHA:\rHello", 16)},
        {"page to one radio", "::DAPNET;ALPHA;PC:1234567:Hello;", 1, "::DAPNET;ALPHA;PC:1234567:Hello;\n",
         expected_transfer("1234567", "DAPNET ALPHA:\rHello", 17)},
        {"reflector text", "::X;ALPHA;PC:1234567: Meet at 12:30;", 1, "::X;ALPHA;PC:1234567: Meet at 12:30;\n",
         expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Meet at 12", 18)},
        {"page of another kind is logged only", "::DAPNET;ALPHA;XX:1234567:Hello;", 0,
         "::DAPNET;ALPHA;XX:1234567:Hello;\n", ""},
        {"too few fields is logged only", "::DAPNET;ALPHA", 0, "::DAPNET;ALPHA\n", ""},
        {"shorter after longer", "::X;AB;PC:7:Hi", 1, "::X;AB;PC:7:Hi\n", expected_transfer("7", "MERIDIAN-LINK:PC:\rAB:Hi", 19)},
    };
    radio_open("NO");
    int port = 0;
    int sock = udp_listener(&port, 100);
    for (const listener_case& c : cases) {
        SCOPED_TRACE(c.name);
        udp_send(port, c.datagram);
        capture_stdout_begin();
        int sent = reflector_listener_step(sock);
        std::string console = capture_stdout_end();
        EXPECT_EQ(sent, c.sent);
        if (c.logged.empty())
            EXPECT_EQ(console, "");
        else
            EXPECT_EQ(console.substr(console.find("> ") + 2), c.logged);
        EXPECT_EQ(radio_read(), c.radio);
    }
    close(sock);
    radio_close();
}

TEST(ReflectorListener, ThreadServesUntilStopped)
{
    radio_open("NO");
    int saved_port = SOCK_UDP_PORT;
    SOCK_UDP_PORT = free_port();
    capture_stdout_begin();
    std::thread listener(reflector_listener, nullptr);
    bool bound = wait_bound(reflector_listener_controlsock, SOCK_UDP_PORT);
    if (bound)
        udp_send(SOCK_UDP_PORT, "::X;ALPHA;PC:1234567:Hi");
    std::string radio = bound ? radio_wait_pdu(5000) : "";
    keep_running = false;
    udp_send(SOCK_UDP_PORT, "wake up");
    listener.join();
    std::string console = capture_stdout_end();
    keep_running = true;
    close(reflector_listener_controlsock.exchange(-1));
    SOCK_UDP_PORT = saved_port;
    radio_close();

    ASSERT_TRUE(bound);
    EXPECT_EQ(radio, expected_transfer("1234567", "MERIDIAN-LINK:PC:\rALPHA:Hi", 16));
    EXPECT_NE(console.find("> reflector_listener Start\n"), std::string::npos);
    EXPECT_NE(console.find("> ::X;ALPHA;PC:1234567:Hi\n"), std::string::npos);
}

TEST(SmsSender, EveryRequestGivesOnePersonalTransfer)
{
    struct {
        const char* name;
        std::string request;
        std::string radio;
    } cases[] = {
        {"ISSI and text", "1234567Hello", expected_transfer("1234567", "Hello", 16)},
        {"short request", "12345", expected_transfer("12345  ", "", 17)},
        {"empty request", "", expected_transfer("       ", "", 18)},
        {"shorter after longer", "7654321", expected_transfer("7654321", "", 19)},
        {"NUL ends the text", std::string("1234567Hi\0there", 15), expected_transfer("1234567", "Hi", 20)},
    };
    radio_open("NO");
    int port = 0;
    int sock = udp_listener(&port, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        udp_send(port, c.request);
        capture_stdout_begin();
        EXPECT_EQ(sms_sender_step(sock), 1);
        EXPECT_EQ(capture_stdout_end(), ""); // the request loop logs nothing
        EXPECT_EQ(radio_read(), c.radio);
    }
    // Nothing arrives within the socket's timeout: a failed receive, no transfer.
    EXPECT_EQ(sms_sender_step(sock), 0);
    EXPECT_EQ(radio_read(), "");
    close(sock);
    radio_close();
}

TEST(PushSlot, SendsCallIdAndReplyOnceFromTheReflectorSocket)
{
    struct {
        const char* call_id;
        const char* datagram;
    } cases[] = {
        {"1234567", "1234567Weather 3 C"},
        {"12345", "12345Weather 3 C"},     // the reply lends two characters to the ISSI field
        {"123456789", "123456789Weather 3 C"}, // the ISSI's last two become text
    };
    int local_port = 0;
    int local = udp_listener(&local_port, 100);
    int saved_port = SMS_SENDER_PORT;
    SMS_SENDER_PORT = local_port;
    int from = reflector_stub_open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call_id);
        copy_field(CALL_ID, c.call_id);
        copy_field(PushMessage, "Weather 3 C");
        EXPECT_EQ(push_slot_step(), 1);
        EXPECT_STREQ(PushMessage, "");
        struct sockaddr_in sender = {};
        socklen_t len = sizeof sender;
        char buf[2048];
        ssize_t got = recvfrom(local, buf, sizeof buf, 0, reinterpret_cast<struct sockaddr*>(&sender), &len);
        EXPECT_EQ(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0), c.datagram);
        EXPECT_EQ(ntohs(sender.sin_port), port_of(reflector_listener_controlsock));
        EXPECT_EQ(push_slot_step(), 0); // the slot is empty now
        EXPECT_EQ(udp_receive(local), "");
    }
    reflector_stub_close(from);
    close(local);
    SMS_SENDER_PORT = saved_port;
}

TEST(PushSlot, ReplyReachesTheRadioThroughTheRequestThread)
{
    radio_open("NO");
    int saved_port = SMS_SENDER_PORT;
    SMS_SENDER_PORT = free_port();
    int from = reflector_stub_open();
    capture_stdout_begin();
    std::thread sender(sms_sender, nullptr);
    bool bound = wait_bound(sms_sender_controlsock, SMS_SENDER_PORT);
    copy_field(CALL_ID, "1234567");
    copy_field(PushMessage, "Weather 3 C");
    if (bound)
        push_slot_step();
    std::string radio = bound ? radio_wait_pdu(5000) : "";
    keep_running = false;
    udp_send(SMS_SENDER_PORT, "");
    sender.join();
    std::string console = capture_stdout_end();
    keep_running = true;
    close(sms_sender_controlsock.exchange(-1));
    reflector_stub_close(from);
    SMS_SENDER_PORT = saved_port;
    radio_close();

    ASSERT_TRUE(bound);
    EXPECT_EQ(radio, expected_transfer("1234567", "Weather 3 C", 16));
    // Start line shared with the reflector thread.
    EXPECT_NE(console.find("> reflector_listener Start\n"), std::string::npos);
}
