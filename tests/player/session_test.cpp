// The pump that records a session: one round takes everything already
// waiting, so what the gateway did before a step is stamped before it.
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "session.h"

namespace {

TEST(Pump, OneRoundReadsEveryDatagramWaiting)
{
    player_options opt;
    opt.gateway_binary = "gateway"; // not attached: no log file to read on
    session_spec script;
    script.file = "pump";
    script.held_ports = {GATEWAY_PORT}; // datagrams from any port, as a deaf gateway's
    session s;
    session_begin(&s, opt, script);
    s.reflector_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    struct sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    ASSERT_EQ(bind(s.reflector_fd, reinterpret_cast<struct sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(getsockname(s.reflector_fd, reinterpret_cast<struct sockaddr*>(&at), &len), 0);
    int from = socket(AF_INET, SOCK_DGRAM, 0);
    for (const char* text : {"::one", "::two", "::three"})
        ASSERT_GT(sendto(from, text, strlen(text), 0, reinterpret_cast<struct sockaddr*>(&at), sizeof at), 0);
    close(from);

    double before = now_s();
    pump(&s, 0);
    ASSERT_EQ(s.rec.datagrams.size(), 3u) << "a datagram left for a later round would pass for a step's effect";
    EXPECT_EQ(s.rec.datagrams[2].text, "::three");
    EXPECT_GE(s.rec.datagrams[0].at, before);
    EXPECT_EQ(s.failures, 0);
    session_release(&s);
}

} // namespace
