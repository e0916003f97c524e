// Radio events that only a virtual clock or exact decoding pins: text SDS
// decoding windows and their bounds, the six-second hand-over of a group text
// to the voice gateway, the held personal forward, and position reports
// (decoding, degree-and-minute texts, filters and the five-second rate limit).
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "events/handlers.h"
#include "fixture.h"

namespace {

constexpr double LAT_SCALE = 180.0 / 4294967295.0;
constexpr double LON_SCALE = 360.0 / 4294967295.0;

struct Report {
    uint32_t lat = 0x3A987654;
    uint32_t lon = 0x109E60F0;
    int glen = 22;
    char value = '/';
    char gps = 'f';
    bool course = true; // "V" marker before the course byte
    int course_byte = 32;
    size_t bytes = 26; // bytes actually sent (a report may be shorter than glen says)
};

uint32_t from_degrees(double degrees, double scale)
{
    return static_cast<uint32_t>(static_cast<int32_t>(std::lround(degrees / scale)));
}

// The payload line of a position report, as hex text with its CR.
std::string position_line(const Report& r)
{
    char hex[64];
    snprintf(hex, sizeof hex, "038013%02X0A%02X000000000000%02X%08X%08X00000056%02X", r.glen, r.value, r.gps, r.lat,
             r.lon, r.course_byte);
    std::string line = hex;
    if (!r.course)
        line.replace(48, 4, "0000"); // bytes 24-25: course marker and course
    return line.substr(0, 2 * r.bytes) + "\r";
}

// A text payload line: "82", message type, reference, coding, the hex text.
std::string text_line(const std::string& type, const std::string& digits)
{
    return "82" + type + "1A01" + digits + "\r";
}

// The sender the fixture's SDS header named.
constexpr char SENDER[] = "1234567";

// Handlers as the dispatcher calls them after that header.
auto personal_text(int header_bits)
{
    return [header_bits](const char* line) { handle_personal_text(line, header_bits, SENDER); };
}
void group_text(const char* line)
{
    handle_group_text(line, SENDER);
}
void position(const char* line)
{
    handle_position(line, SENDER);
}

} // namespace

using TextSds = RadioTest;

TEST_F(TextSds, PersonalTextWindowComesFromTheAnnouncedLength)
{
    const struct {
        const char* name;
        std::string digits;
        int bytes; // text bytes the header announces
        std::string text;
    } cases[] = {
        {"cut to the announced length", hex_bytes("pc:hello"), 4, "PC:h"},
        {"announced past the line", hex_bytes("pc:hi"), 40, "PC:hi"},
        {"16-bit units", "00500043003A00680069", 10, "PC:hi"},
    };
    for (const auto& c : cases) {
        handle(text_line("04", c.digits), personal_text(8 * (4 + c.bytes))); // 4 header bytes
        release_held_forwards();
        EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;" + c.text + ";\n") << c.name;
    }
    // Longest line the reader delivers, in 16-bit units, with an announced
    // length far beyond it: the window must stop at both buffers' ends.
    std::string line = "8204"
                       "01"
                       "01";
    while (line.size() < DATA_SIZE - 2)
        line += "0041";
    line.resize(DATA_SIZE - 2);
    for (int bits : {INT_MAX, INT_MIN, 1 << 20}) {
        handle(line + "\r", personal_text(bits));
        release_held_forwards(); // a plain text: to the voice gateway
        EXPECT_EQ(read_file(dtmf_path), std::string(bits > 0 ? (DATA_SIZE - 2 - 8) / 4 : 0, 'A')) << bits;
    }
}

// The voice gateway's command file is replaced whole, and only after the wait.
TEST_F(TextSds, PlainGroupTextReachesTheVoiceGatewayAfterSixSeconds)
{
    const struct {
        const char* name;
        std::string digits;
        std::string file;
    } cases[] = {
        {"plain, first three letters upper-cased", hex_bytes("hello"), "HELlo"},
        {"odd digit count ends on the lone digit", "414", "A\x04"},
        {"window stops at the line's end", std::string(DATA_SIZE - 10, '4'), std::string((DATA_SIZE - 10) / 2, 'D')},
    };
    const std::string earlier = "912326#-an-earlier-and-longer-command";
    long long slept = 0;
    virtual_clock_on_sleep([&](long long us) {
        slept += us;
        EXPECT_EQ(read_file(dtmf_path), earlier) << "written before the wait";
    });
    for (const auto& c : cases) {
        std::ofstream(dtmf_path, std::ios::binary | std::ios::trunc) << earlier;
        slept = 0;
        msg = 2; // a held personal text stays held
        handle(text_line("00", c.digits), group_text);
        EXPECT_EQ(msg, 2) << c.name;
        EXPECT_EQ(read_file(dtmf_path), c.file) << c.name;
        EXPECT_EQ(slept, 6000000) << c.name;
        EXPECT_EQ(radio_line_read(radio) + reflector_next(), "") << c.name;
    }
}

// The held forward has storage of its own: reports composed before the
// radio's confirmation must not replace what the confirmation releases.
TEST_F(TextSds, ReportsComposedMeanwhileDoNotReplaceTheHeldForward)
{
    handle(text_line("04", hex_bytes("PC:hello")), personal_text(8 * (4 + 8)));
    handle(text_line("00", hex_bytes("GC:all")), group_text);
    handle("038013160A2F00000000000066"
           "3A987654"
           "109E60F0"
           "000000"
           "5620"
           "\r",
           position);
    EXPECT_NE(reflector_next().find(",GC,"), std::string::npos);
    EXPECT_NE(reflector_next().find(",GPS,"), std::string::npos);

    handle("+CMGS: 0,4,17\r", [](const char*) { handle_confirmation(); });
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:hello;\n");
}

// A full queue of held forwards sends its oldest at once: late, never lost.
TEST_F(TextSds, AFullHeldQueueForwardsItsOldestAtOnce)
{
    for (int i = 0; i <= HELD_FORWARDS_MAX; i++)
        handle(text_line("04", hex_bytes("PC:" + std::to_string(i))), personal_text(8 * (4 + 4)));
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:0;\n");
    EXPECT_EQ(reflector_next(), "");
    release_held_forwards();
    for (int i = 1; i <= HELD_FORWARDS_MAX; i++)
        EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:" + std::to_string(i) + ";\n");
}

using Position = RadioTest;

TEST_F(Position, TextsOfTheWorkedExamplesTheirEdgesAndTheFilters)
{
    const std::vector<std::pair<Report, const char*>> cases = {
        // Field 9 of the report, "" when none is sent.
        {{}, "E;02322.20;N;4112.00;045.0;"}, // 41.2 N, 23.37 E, course byte 32
        {{.lat = 0x3A7104EE}, "E;02322.20;N;4105.50;045.0;"},
        {{.lon = 0x52AAAAAA}, "E;11615.00;N;4112.00;045.0;"},
        {{.lon = 0x06C16C17}, "E;0930.000;N;4112.00;045.0;"}, // 9.5 keeps three decimals
        {{.lat = from_degrees(9.5, LAT_SCALE)}, "E;02322.20;N;930.000;045.0;"},
        {{.course_byte = 4}, "E;02322.20;N;4112.00;005.6;"},
        {{.course_byte = 255}, "E;02322.20;N;4112.00;358.6;"},
        {{.course = false}, "E;02322.20;N;4112.00;000.0;"},
        {{.glen = 20}, "E;02322.20;N;4112.00;000.0;"}, // no course
        {{.glen = 17, .gps = 'h'}, "E;02322.20;N;4112.00;000.0;"},
        {{.bytes = 21}, "E;02322.20;N;4112.00;000.0;"}, // missing bytes read as 0
        {{.lat = static_cast<uint32_t>(-0x3A987654), .lon = static_cast<uint32_t>(-0x52AAAAAA)},
         "W;11615.00;S;4112.00;045.0;"},
        {{.lon = from_degrees(-0.5, LON_SCALE)}, "W;0030.000;N;4112.00;045.0;"},              // just west of Greenwich
        {{.lat = from_degrees(41 + 9.99999 / 60, LAT_SCALE)}, "E;02322.20;N;4110.00;045.0;"}, // rounds to 10'
        {{.lon = from_degrees(116 + 59.99999 / 60, LON_SCALE)}, "E;11700.00;N;4112.00;045.0;"}, // to 60'
        // Without a fix nothing is sent.
        {{.glen = 16}, ""},
        {{.value = '*'}, ""},
        {{.gps = 'g'}, ""},
    };
    for (size_t i = 0; i < cases.size(); i++) {
        lastgps.tv_sec -= 60; // the rate limit out of the way
        std::string expected = *cases[i].second == '\0' ? ""
                                                        : "TEST-GW,Test," + report_time() +
                                                              ",NO USER,GPS,#232,1234567,," + cases[i].second + ",\n";
        EXPECT_EQ((handle(position_line(cases[i].first), position), reflector_next()), expected) << "case " << i;
    }
}

TEST_F(Position, AtMostOneReportInFiveWholeSeconds)
{
    clock_now(&lastgps); // as the radio's initialisation sets it
    // Seconds waited before each report: 3 and 5 after initialisation are too
    // early, 6 is not; then 5.9 after that report is too early, 6 is not.
    const std::pair<double, bool> steps[] = {{3, false}, {2, false}, {1, true}, {5.9, false}, {0.1, true}};
    for (const auto& [seconds, sent] : steps) {
        virtual_clock_advance_us(std::llround(seconds * 1e6));
        handle(position_line({}), position);
        EXPECT_EQ(reflector_next().empty(), !sent) << "after " << seconds << " s more";
    }
}
