// The reflector socket: made before any thread, and what came of its bind.
#include <gtest/gtest.h>

#include "config/config.h"
#include "net/datagrams.h"
#include "net/reflector_listener.h"
#include "net/udp.h"
#include "support/files.h"
#include "support/loopback.h"
#include "support/stdout_capture.h"

namespace {

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
    EXPECT_EQ(next_datagram(listener), "::TEST-GW;2620001;RO\n");
    close(reflector_listener_controlsock.exchange(-1));

    int taken_port = 0;
    int taken = udp_listener(&taken_port);
    SOCK_UDP_PORT = taken_port;
    EXPECT_EQ(reflector_listener_open(), EADDRINUSE);
    send_to_reflector("still sends");
    EXPECT_EQ(next_datagram(listener), "still sends");
    std::string log = capture_stdout_end();
    EXPECT_NE(log.find("Cannot bind UDP 0.0.0.0:" + std::to_string(taken_port) + ": "), std::string::npos) << log;
    close(taken);
    reflector_stub_close(listener);
}

} // namespace
