// Report and console timestamps past the last second a 32-bit time_t holds
// (19.01.2038 03:14:07 UTC): a 32-bit board must show them as a 64-bit one does.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <string>

#include "global.h"
#include "support/virtual_clock.h"
#include "util/console.h"

TEST(Timestamps, RightPastTheYear2038)
{
    struct {
        long long at; // seconds since 1970 UTC
        int usec;
        const char* report;
        const char* console;
        const char* with_ms;
    } cases[] = {
        {2147483647LL, 0, "19.01.2038 03:14:07", "<19.01.38 03:14:07>", "19.01.38 03:14:07.000 "},
        {2147483647LL, 999600, "19.01.2038 03:14:07", "<19.01.38 03:14:07>", "19.01.38 03:14:08.000 "},
        {2147483648LL, 0, "19.01.2038 03:14:08", "<19.01.38 03:14:08>", "19.01.38 03:14:08.000 "},
        {4294967296LL, 250000, "07.02.2106 06:28:16", "<07.02.06 06:28:16>", "07.02.06 06:28:16.250 "},
    };
    virtual_clock_scope clock;
    for (const auto& c : cases) {
        long long at_us = c.at * 1000000 + c.usec;
        virtual_clock_advance_us(at_us - (VIRTUAL_START * 1000000LL + virtual_clock_elapsed_us()));
        char report[REPORT_TIME_SIZE], console[REPORT_TIME_SIZE], with_ms[40];
        format_report_time(report, sizeof report);
        format_console_time(console, sizeof console);
        struct timeval tv;
        clock_now(&tv);
        format_timestamp_ms(&tv, with_ms, sizeof with_ms);
        EXPECT_STREQ(report, c.report) << c.at;
        EXPECT_STREQ(console, c.console) << c.at;
        EXPECT_STREQ(with_ms, c.with_ms) << c.at << "." << c.usec;
    }
}
