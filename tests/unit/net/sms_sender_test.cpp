// The local SDS request port: a failed receive starts no transfer.
#include <gtest/gtest.h>

#include "net/sms_sender.h"
#include "support/loopback.h"
#include "support/virtual_clock.h"

namespace {

// An interrupted receive on the local request port is no request: no
// transfer to an ISSI of seven blanks.
TEST(LocalRequest, AFailedReceiveSendsNothing)
{
    virtual_clock_scope clock;
    int port = 0;
    int sock = udp_listener(&port, 10);
    EXPECT_EQ(sms_sender_step(sock), 0);
    EXPECT_EQ(virtual_clock_elapsed_us(), 0) << "a transfer was started";
    close(sock);
}

} // namespace
