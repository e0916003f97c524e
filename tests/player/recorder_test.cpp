// The recorder's pure part: timed radio and gateway bytes as session lines.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "recorder.h"

namespace {

TEST(Recorder, TimedBytesBecomeStepsExpectationsAndPauses)
{
    using feed = std::tuple<double, char, const char*>; // when, 'r'adio, 'g'ateway or 'f'ile /tmp/ptt, what
    const struct {
        std::vector<feed> feeds;
        double end;
        const char* lines;
    } cases[] = {
        {{{0, 'g', "AT\r"}, {1.5, 'r', "+CTSDSR: 13\r"}, {1.6, 'r', "\n80\\E8\r\n"}},
         3.6,
         "sent AT\\r|reply|wait 1.50s|radio +CTSDSR: 13|radio 80\\\\E8|wait 2.00s"},
        // Answers are replies, sent as soon as their command is in: the gateway
        // wrote the PDU without waiting for the OK, and a step could not say so.
        {{{0, 'g', "AT+CMGS=1,32\r82"}, {0.01, 'r', "OK\r\n"}, {0.02, 'g', "10\x1A"}},
         0.1,
         "sent AT+CMGS=1,32\\r|reply OK|sent 8210\\x1A|reply"},
        // A radio answers in order: late answers are still their commands'.
        {{{0, 'g', "AT+CTSDS=12,0\rAT+CMGS=1,32\r"}, {0.01, 'r', "OK\r\nOK\r\n"}, {0.02, 'g', "10\x1A"}},
         0.1,
         "sent AT+CTSDS=12,0\\r|sent AT+CMGS=1,32\\r|reply OK|reply OK|sent 10\\x1A|reply"},
        {{{0, 'g', "ATE1\r"}, {0.05, 'r', "ATE1\r\nOK\r\n"}, {0.1, 'r', "+CTSDSR: 1\r\n"}},
         0.1,
         "sent ATE1\\r|reply ATE1\\r\\nOK|radio +CTSDSR: 1"},
        // A stuck command holds nothing; a write behind a line held for a command stays behind it.
        {{{0, 'g', "AT"}, {0.5, 'r', "A\r\n"}, {2, 'r', "B\r\n"}},
         2.1,
         "wait 0.50s|radio A|wait 1.50s|radio B|sent AT|reply"},
        {{{0, 'g', "AT"}, {0.2, 'r', "OK\r\n"}, {0.3, 'f', "1 07.12.2026 14:03:59 "}, {0.4, 'g', "\r"}},
         0.5,
         "sent AT\\r|radio OK|file /tmp/ptt 1 {time}\\x20|reply"},
        {{{0, 'g', "AT"}, {0.5, 'r', "> "}}, 30, "sent AT|reply|wait 0.50s|radio-bytes >\\x20|wait 10.00s"},
    };
    for (const auto& c : cases) {
        recording r;
        std::vector<std::string> lines;
        recording_begin(&r, 0);
        for (auto [at, from, bytes] : c.feeds)
            if (from == 'f')
                recording_file(&r, at, "/tmp/ptt", bytes, &lines);
            else
                (from == 'r' ? recording_radio : recording_gateway)(&r, at, bytes, &lines);
        recording_end(&r, c.end, &lines);
        std::string joined;
        for (const std::string& l : lines)
            joined += "|" + l;
        EXPECT_EQ(joined, std::string("|") + c.lines);
    }
}

TEST(Recorder, ConfigurationAsTheGatewayReadsItWithoutThePlayersSettingsAndTheSecret)
{
    std::string file = testing::TempDir() + "recorded.conf";
    std::ofstream(file) << "# station\nSYS_SERPORT=/dev/ttyUSB0\nSYS_HARDWARE=MTM800e\r\nREFLECTOR_PORT=5300\n"
                           "WEATHER_API_KEY=0123\nGATEWAY_CALL\n[main]\nDMO_REPEATER=NO # not read\nREFLECTOR_DNS=x\n";
    std::vector<std::string> want = {"config SYS_HARDWARE=MTM800e", "# WEATHER_API_KEY is left out: it is a secret."};
    std::vector<std::string> got;
    EXPECT_TRUE(recorded_config(file, &got));
    EXPECT_EQ(got, want);
    EXPECT_FALSE(recorded_config(file + ".none", &got));
}

} // namespace
