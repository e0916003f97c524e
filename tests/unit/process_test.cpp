// Start-up: the configuration file's lenient line rules, widths and numbers,
// the bounded address list, and the beacon schedule over a virtual hour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "config/places.h"
#include "global.h"
#include "process/beacon.h"
#include "process/host.h"
#include "process/signals.h"
#include "support/capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

// Writes text as the configuration file (one per process: ctest runs the
// tests in parallel), reads it and returns the console.
std::string load(const std::string& text)
{
    std::string path = ::testing::TempDir() + "sdsbridge-config-" + std::to_string(getpid()) + ".conf";
    std::ofstream(path) << text;
    capture_stdout_begin();
    EXPECT_EQ(read_config(path.c_str()), 1) << text;
    std::string out = capture_stdout_end();
    unlink(path.c_str());
    return out;
}

TEST(Config, LineRulesAndWidths)
{
    const struct {
        const char* name;
        std::string text;
        std::string city; // CITY afterwards
    } cases[] = {
        {"blank after = is part of the value", "CITY= Graz\n", " Graz"},
        {"trailing comment drops the whole line", "CITY=Graz\nCITY=Linz # home\n", "Graz"},
        {"bracket anywhere drops the line", "CITY=Graz\nCITY=Linz[1]\n", "Graz"},
        {"CR LF line end cut", "CITY=Graz\r\n", "Graz"},
        {"later value wins", "CITY=Graz\nCITY=Linz\n", "Linz"},
        {"keys are case-sensitive", "city=Graz\n", "city"},
        {"only the first = separates", "CITY=a=b\n", "a=b"},
        {"no = at all", "CITY\n", "city"},
        {"last line without newline", "CITY=Wien", "Wien"},
        {"cut to the width of 50", "CITY=" + std::string(60, 'x') + "\n", std::string(50, 'x')},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(std::string(CITY), c.city) << c.name;
    }
    EXPECT_NE(load("DMO_REPEATER=YESYESYES\n").find("DMO_REPEATER=YESYE\n"), std::string::npos)
        << "the echo shows the value as cut";
    load(""); // the defaults again for the tests that follow
}

TEST(Config, IntegersReadLikeAtoiOfFiveCharacters)
{
    const std::pair<const char*, int> cases[] = {
        {"5220abc", 5220}, {"123456", 12345}, {"yes", 0}, {" 42", 42}, {"-7", -7}, {"", 0}, {"  123456", 123},
    };
    for (const auto& [value, expected] : cases) {
        load(std::string("REFLECTOR_PORT=") + value + "\n");
        EXPECT_EQ(REFLECTOR_PORT, expected) << value;
    }
}

TEST(Config, WeatherKeyReadRefusedAndMasked)
{
    const std::string key = "0123456789abcdef0123456789abcdef";
    const std::string builtin = API_KEY;
    const std::string refused = "WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters\n";
    const struct {
        const char* name;
        std::string value;
        bool taken;
    } cases[] = {
        {"32 lowercase hex", key, true},
        {"uppercase", "0123456789ABCDEF0123456789ABCDEF", false},
        {"31 characters", key.substr(1), false},
        {"33 characters: refused, not cut", key + "0", false},
        {"not hex", "g123456789abcdef0123456789abcdef", false},
        {"trailing blank", key.substr(1) + " ", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        std::string out = load("WEATHER_API_KEY=" + c.value + "\n");
        EXPECT_EQ(std::string(API_KEY), c.taken ? c.value : builtin) << c.name;
        EXPECT_NE(out.find(c.taken ? "WEATHER_API_KEY=0123****************************\n" : refused), std::string::npos)
            << c.name << ": " << out;
        EXPECT_EQ(out.find(key.substr(4)), std::string::npos) << c.name << ": the key shows past its fourth character";
    }
    load("WEATHER_API_KEY=" + key + "\n");
    load("");
    EXPECT_EQ(std::string(API_KEY), builtin) << "a new read starts from the built-in key";
}

// AMPRNet ("44.") addresses go last; one that no longer fits is left out.
TEST(Host, AddressListOrderAndBound)
{
    char list[100] = "";
    for (const char* address : {"10.0.0.2", "44.1.2.3", "192.168.1.5", "44.9.9.9"})
        add_server_address(list, sizeof list, address);
    EXPECT_STREQ(list, "192.168.1.5;10.0.0.2;44.1.2.3;44.9.9.9;");
    list[0] = '\0';
    int added = 0;
    for (int i = 0; i < 20; i++)
        added += add_server_address(list, sizeof list, i % 2 ? "44.100.100.100" : "192.168.100.100");
    EXPECT_EQ(added, 6); // 6 x 16 characters fit in 99
    EXPECT_EQ(list[strlen(list) - 1], ';');
}

// Signals may come faster than the beacon tick reports them: each is reported
// once and in order; those beyond the record are counted, and reporting goes on.
TEST(Signals, EveryOneReportedOnceInOrderAndAnOverflowCounted)
{
    std::string path = ::testing::TempDir() + "sdsbridge-faults-" + std::to_string(getpid());
    saved_global keep_log(FAULT_LOG_FILE);
    FAULT_LOG_FILE = path.c_str();
    // The signal numbers of the reported console lines, in order.
    auto report = [] {
        capture_stdout_begin();
        report_caught_signals();
        std::string out = capture_stdout_end();
        std::vector<int> numbers;
        const std::string mark = "sigCatch errno=";
        for (size_t at = 0; (at = out.find(mark, at)) != std::string::npos; at += mark.size())
            numbers.push_back(atoi(out.c_str() + at + mark.size()));
        return std::make_pair(numbers, out);
    };
    std::vector<int> caught;
    for (int i = 0; i < 300; i++) {
        caught.push_back(i % 3 ? SIGTERM : SIGUSR1);
        sigCatch(caught.back());
    }
    EXPECT_EQ(report().first, caught);

    for (unsigned i = 0; i < SIGNALS_RECORDED + 5; i++)
        sigCatch(SIGTERM);
    auto [numbers, out] = report();
    EXPECT_EQ(numbers, std::vector<int>(SIGNALS_RECORDED, SIGTERM));
    EXPECT_NE(out.find("5 signals not reported"), std::string::npos) << out;
    sigCatch(SIGUSR1);
    EXPECT_EQ(report().first, std::vector<int>{SIGUSR1});

    std::string log = read_file(path);
    size_t entries = 0;
    for (size_t at = 0; (at = log.find("\nsignum=", at)) != std::string::npos; at++)
        entries++;
    EXPECT_EQ(entries, 300 + SIGNALS_RECORDED + 1);
    unlink(path.c_str());
}

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
        for (std::string got; !(got = udp_receive(reflector)).empty();)
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
