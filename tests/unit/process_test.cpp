// Start-up and process behaviour: timestamps, address list, thread names,
// the beacon schedule over a virtual hour, signals and the fault log.
#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/places.h"
#include "global.h"
#include "process/beacon.h"
#include "process/console.h"
#include "process/host.h"
#include "process/signals.h"
#include "process/threads.h"
#include "util/text.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

namespace {

// 05.12.2026 18:40:00 UTC
constexpr time_t DEC5 = 1796496000;

struct utc_clock {
    utc_clock()
    {
        setenv("TZ", "UTC", 1);
        tzset();
        virtual_clock_install(DEC5);
    }
    ~utc_clock() { virtual_clock_uninstall(); }
};

} // namespace

TEST(Console, TimeFormats)
{
    utc_clock clock;
    char buf[40];
    format_console_time(buf, sizeof buf);
    EXPECT_STREQ(buf, "<05.12.26 18:40:00>");
    format_report_time(buf, sizeof buf);
    EXPECT_STREQ(buf, "05.12.2026 18:40:00");

    struct timeval tv = {DEC5, 999600}; // rounds up to 1000 ms: next second, 000
    format_timestamp_ms(&tv, buf, sizeof buf);
    EXPECT_STREQ(buf, "05.12.26 18:40:01.000 ");
    tv.tv_usec = 123400;
    format_timestamp_ms(&tv, buf, sizeof buf);
    EXPECT_STREQ(buf, "05.12.26 18:40:00.123 ");

    capture_stdout_begin();
    log_ts("line %d\n", 1);
    log_raw("raw\n");
    printf_timestamp();
    fflush(stdout);
    EXPECT_EQ(capture_stdout_end(), "<05.12.26 18:40:00> line 1\nraw\n<05.12.26 18:40:00> ");
}

TEST(Host, AddressListOrder)
{
    char list[100] = "";
    for (const char* address : {"10.0.0.2", "44.1.2.3", "192.168.1.5", "44.9.9.9"})
        add_server_address(list, sizeof list, address);
    EXPECT_STREQ(list, "192.168.1.5;10.0.0.2;44.1.2.3;44.9.9.9;");
}

TEST(Host, AddressesThatDoNotFitAreLeftOut)
{
    char list[100] = "";
    int added = 0;
    for (int i = 0; i < 20; i++)
        added += add_server_address(list, sizeof list, i % 2 ? "44.100.100.100" : "192.168.100.100");
    EXPECT_EQ(added, 6); // 6 x 16 characters fit in 99
    EXPECT_LT(strlen(list), sizeof list);
    EXPECT_EQ(list[strlen(list) - 1], ';');
}

TEST(Threads, LongNamesAreCutTo15Characters)
{
    set_thread_name(pthread_self(), "treflector_listener");
    char name[32];
    pthread_getname_np(pthread_self(), name, sizeof name);
    EXPECT_STREQ(name, "treflector_list");
}

TEST(Beacon, ScheduleOverAVirtualHour)
{
    utc_clock clock;
    int reflector = reflector_stub_open();
    copy_bounded(GATEWAY_CALL, sizeof GATEWAY_CALL, "GW");
    copy_bounded(GATEWAY_COMMENT, sizeof GATEWAY_COMMENT, "location/frequenz");
    copy_bounded(GATEWAY_ID, sizeof GATEWAY_ID, "999999");
    copy_bounded(GATEWAY_LON, sizeof GATEWAY_LON, "+99999.99");
    copy_bounded(GATEWAY_LAT, sizeof GATEWAY_LAT, "+9999.99");
    int ticks = 0;
    std::vector<int> keepalive_ticks;
    std::vector<int> beacon_ticks;
    // Stop after 3601 sleeps: ticks 1 to 3600 run whole.
    virtual_clock_on_sleep([&](long long) {
        ++ticks;
        for (std::string got; !(got = udp_receive_now(reflector)).empty();)
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
    EXPECT_EQ(virtual_clock_now_us() / 1000000 - DEC5, 3601);
    // The beacon is logged behind the prefix, with its own newline; nothing else is.
    EXPECT_EQ(out, "<05.12.26 18:40:59> GW,location/frequenz,05.12.2026 18:40:59,GW,POS,#232,999999,,E;+99999.99;"
                   "N;+9999.99;000;,\n");
}

TEST(Signals, FaultLogEntriesAndStopRequests)
{
    utc_clock clock;
    std::string log_path = ::testing::TempDir() + "sdsbridge-error-" + std::to_string(getpid()) + ".txt";
    unlink(log_path.c_str());
    const char* saved = FAULT_LOG_FILE;
    FAULT_LOG_FILE = log_path.c_str();
    copy_bounded(funktion_print, sizeof funktion_print, "read_config\n");
    ASSERT_EQ(install_signal_handlers(), 1);

    capture_stdout_begin();
    raise(SIGTERM);
    EXPECT_TRUE(keep_running); // termination is only logged
    report_caught_signals();
    raise(SIGINT);
    EXPECT_FALSE(keep_running);
    report_caught_signals();
    report_caught_signals(); // nothing left: no second report
    std::string out = capture_stdout_end();
    keep_running = true;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    FAULT_LOG_FILE = saved;

    EXPECT_EQ(out, "sigCatch errno=15\nERROR:Termination (ANSI)This signal can be blocked, handled, and ignored. "
                   "Generated by kill command.\n\n"
                   "sigCatch errno=2\nERROR:Interrupt (ANSI)Program interrupt. (ctrl-c)\n\n");
    EXPECT_EQ(read_file(log_path),
              "\nERROR DMR MASTER:<05.12.26 18:40:00>\nERROR:Termination (ANSI)This signal can be blocked, handled, "
              "and ignored. Generated by kill command.\nsignum=15\nFUNKTION:read_config\n\n"
              "\nERROR DMR MASTER:<05.12.26 18:40:00>\nERROR:Interrupt (ANSI)Program interrupt. (ctrl-c)\n"
              "signum=2\nFUNKTION:read_config\n\n");
    unlink(log_path.c_str());
}
