// Position reports: decoding, degree-and-minute texts and filters.
#include <cmath>

#include "unit/fixture.h"

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

// The sender the fixture's SDS header named.
constexpr char SENDER[] = "1234567";

void position(const char* line)
{
    handle_position(line, SENDER);
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
        lastgps -= 60; // the rate limit out of the way
        std::string expected = *cases[i].second == '\0' ? ""
                                                        : "TEST-GW,Test," + report_time() +
                                                              ",NO USER,GPS,#232,1234567,," + cases[i].second + ",\n";
        EXPECT_EQ((handle(position_line(cases[i].first), position), reflector_next()), expected) << "case " << i;
    }
}

} // namespace
