// Position reports: decoding, degree-and-minute texts and filters.
#include <cmath>

#include "support/fix_payload.h"
#include "unit/fixture.h"

namespace {

constexpr double LAT_SCALE = 180.0 / 4294967295.0;

constexpr double LON_SCALE = 360.0 / 4294967295.0;

uint32_t from_degrees(double degrees, double scale)
{
    return static_cast<uint32_t>(static_cast<int32_t>(std::lround(degrees / scale)));
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
    const std::vector<std::pair<fix_fields, const char*>> cases = {
        // Field 9 of the report, "" when none is sent.
        {{}, "E;02322.20;N;4112.00;045.0;"}, // 41.2 N, 23.37 E, course byte 32
        {{.lat = 0x3A7104EE}, "E;02322.20;N;4105.50;045.0;"},
        {{.lon = 0x52AAAAAA}, "E;11615.00;N;4112.00;045.0;"},
        {{.lon = 0x06C16C17}, "E;0930.000;N;4112.00;045.0;"}, // 9.5 keeps three decimals
        {{.lat = from_degrees(9.5, LAT_SCALE)}, "E;02322.20;N;930.000;045.0;"},
        {{.course = 4}, "E;02322.20;N;4112.00;005.6;"},
        {{.course = 255}, "E;02322.20;N;4112.00;358.6;"},
        {{.course_mark = 0}, "E;02322.20;N;4112.00;000.0;"},
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
        EXPECT_EQ((handle(fix_payload(cases[i].first), position), reflector_next()), expected) << "case " << i;
    }
}

} // namespace
