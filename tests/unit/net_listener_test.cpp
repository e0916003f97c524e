// The reflector listener, the local SDS request port and the push slot, on
// loopback sockets with a pipe standing in for the radio's serial line.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

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

void radio_open()
{
    virtual_clock_install();
    ASSERT_EQ(pipe2(radio_line, O_NONBLOCK), 0);
    serport = radio_line[1];
    copy_field(DMO_REPEATER, "NO");
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

// Everything written to the radio so far, waiting up to timeout_ms for a Ctrl-Z.
std::string radio_read(int timeout_ms = 0)
{
    std::string seen;
    char buf[4096];
    struct pollfd pfd = {radio_line[0], POLLIN, 0};
    for (;;) {
        ssize_t got = read(radio_line[0], buf, sizeof buf);
        if (got > 0)
            seen.append(buf, static_cast<size_t>(got));
        else if (seen.find('\x1a') != std::string::npos || poll(&pfd, 1, timeout_ms) <= 0)
            return seen;
    }
}

int port_of(int sock)
{
    struct sockaddr_in addr = {};
    socklen_t len = sizeof addr;
    if (sock < 0 || getsockname(sock, reinterpret_cast<struct sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

} // namespace

TEST(ReflectorListener, EachCommandIsLoggedOnceAndServedAtMostOnce)
{
    const struct {
        const char* name;
        std::string datagram;
        int sent;
        std::string logged; // console line after the timestamp, "" for none
        std::string radio;
    } cases[] = {
        {"keepalive is dropped silently", ">>ABC", 0, "", ""},
        {"page of another kind is logged only", "::DAPNET;ALPHA;XX:1:Hi;", 0, "::DAPNET;ALPHA;XX:1:Hi;\n", ""},
        {"shorter after longer", "::X;AB;PC:7:Hi", 1, "::X;AB;PC:7:Hi\n",
         expected_transfer("7", "MERIDIAN-LINK:PC:\rAB:Hi", 16)},
    };
    radio_open();
    int port = 0;
    int sock = udp_listener(&port, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        udp_send(port, c.datagram);
        capture_stdout_begin();
        EXPECT_EQ(reflector_listener_step(sock), c.sent);
        std::string console = capture_stdout_end();
        EXPECT_EQ(c.logged.empty() ? console : console.substr(console.find("> ") + 2), c.logged);
        EXPECT_EQ(radio_read(), c.radio);
    }
    close(sock);
    radio_close();
}

TEST(SmsSender, EmptyRequestIsSentButAFailedReceiveIsNot)
{
    radio_open();
    int port = 0;
    int sock = udp_listener(&port, 100);
    udp_send(port, "");
    capture_stdout_begin();
    EXPECT_EQ(sms_sender_step(sock), 1);
    EXPECT_EQ(capture_stdout_end(), ""); // the request loop logs nothing
    EXPECT_EQ(radio_read(), expected_transfer("       ", "", 16));
    // Nothing arrives within the socket's timeout: no transfer to seven blanks.
    EXPECT_EQ(sms_sender_step(sock), 0);
    EXPECT_EQ(radio_read(), "");
    close(sock);
    radio_close();
}

TEST(PushSlot, SendsCallIdAndReplyOnceFromTheReflectorSocket)
{
    int local_port = 0;
    int local = udp_listener(&local_port, 100);
    int saved_port = SMS_SENDER_PORT;
    SMS_SENDER_PORT = local_port;
    int from = reflector_stub_open();
    for (const char* call_id : {"1234567", "12345"}) { // a short ISSI is not padded
        SCOPED_TRACE(call_id);
        copy_field(CALL_ID, call_id);
        copy_field(PushMessage, "Weather 3 C");
        EXPECT_EQ(push_slot_step(), 1);
        EXPECT_STREQ(PushMessage, "");
        struct sockaddr_in sender = {};
        socklen_t len = sizeof sender;
        char buf[2048];
        ssize_t got = recvfrom(local, buf, sizeof buf, 0, reinterpret_cast<struct sockaddr*>(&sender), &len);
        EXPECT_EQ(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0), std::string(call_id) + "Weather 3 C");
        EXPECT_EQ(ntohs(sender.sin_port), port_of(reflector_listener_controlsock));
        EXPECT_EQ(push_slot_step(), 0); // the slot is empty now
        EXPECT_EQ(udp_receive(local), "");
    }
    reflector_stub_close(from);
    close(local);
    SMS_SENDER_PORT = saved_port;
}
