// The beacon loop over a virtual hour: keepalives and the position beacon.
#include <gtest/gtest.h>

#include "config/config.h"
#include "global.h"
#include "process/beacon.h"
#include "support/loopback.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

TEST(Beacon, ScheduleOverAVirtualHour)
{
    virtual_clock_scope clock;
    int reflector = reflector_stub_open();
    copy_field(GATEWAY_CALL, "GW");
    copy_field(GATEWAY_COMMENT, "location/frequenz");
    copy_field(GATEWAY_ID, "999999");
    copy_field(GATEWAY_LON, "+99999.99");
    copy_field(GATEWAY_LAT, "+9999.99");
    int ticks = 0;
    std::vector<int> keepalive_ticks, beacon_ticks;
    // Stop after 3601 sleeps: ticks 1 to 3600 run whole.
    virtual_clock_on_sleep([&](long long) {
        ++ticks;
        for (std::string got; !(got = next_datagram(reflector)).empty();)
            (got.rfind(">>", 0) == 0 ? keepalive_ticks : beacon_ticks).push_back(ticks);
        if (ticks == 3601)
            keep_running = false;
    });
    capture_stdout_begin();
    beacon_loop();
    std::string out = capture_stdout_end();
    keep_running = true;
    reflector_stub_close(reflector);

    ASSERT_EQ(keepalive_ticks.size(), 600u);
    EXPECT_EQ(keepalive_ticks[0], 6); // sent after the fifth tick's sleep, seen at the sixth
    EXPECT_EQ(keepalive_ticks[1] - keepalive_ticks[0], 6);
    ASSERT_EQ(beacon_ticks.size(), 1u);
    EXPECT_EQ(beacon_ticks[0], 60); // in the sixtieth tick, before its sleep
    EXPECT_EQ(virtual_clock_elapsed_us(), 3601LL * 1000000);
    // The beacon is logged behind the prefix, with its own newline; nothing else is.
    EXPECT_EQ(out, console_prefix(59) + "GW,location/frequenz," + report_time(59) +
                       ",GW,POS,#232,999999,,E;+99999.99;N;+9999.99;000;,\n");
}

} // namespace
