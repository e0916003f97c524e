// Position reports from radios: decoding, degree-and-minute texts, the
// hemispheres, the filters and the rate limit of the GPS report.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "events/handlers.h"
#include "textpos_fixture.h"

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

std::string gps_report(const std::string& position)
{
    return std::string("TEST-GW,Test,") + START_TIME + ",NO USER,GPS,#232,1234567,," + position + ",\n";
}

} // namespace

class Position : public HandlerTest {
protected:
    // Handles one report and returns the datagram sent ("" for none).
    std::string report_for(const Report& r)
    {
        console = handle(position_line(r), handle_position);
        return reflector_next();
    }
    std::string console; // printed while handling the last report
};

TEST_F(Position, TextsOfTheWorkedExamplesAndTheirEdges)
{
    struct Case {
        const char* name;
        Report report;
        const char* position; // field 9 of the report
    };
    const std::vector<Case> cases = {
        {"41.2 N, 23.37 E, course byte 32", {}, "E;02322.20;N;4112.00;045.0;"},
        {"41 degrees 5.5 minutes", {.lat = 0x3A7104EE}, "E;02322.20;N;4105.50;045.0;"},
        {"116.25 E", {.lon = 0x52AAAAAA}, "E;11615.00;N;4112.00;045.0;"},
        {"9.5 E keeps three decimals", {.lon = 0x06C16C17}, "E;0930.000;N;4112.00;045.0;"},
        {"9.5 N keeps three decimals", {.lat = from_degrees(9.5, LAT_SCALE)}, "E;02322.20;N;930.000;045.0;"},
        {"course byte 4", {.course_byte = 4}, "E;02322.20;N;4112.00;005.6;"},
        {"course byte 255", {.course_byte = 255}, "E;02322.20;N;4112.00;358.6;"},
        {"no course marker", {.course = false}, "E;02322.20;N;4112.00;000.0;"},
        {"glen 20 has no course", {.glen = 20}, "E;02322.20;N;4112.00;000.0;"},
        {"glen 17, gps h", {.glen = 17, .gps = 'h'}, "E;02322.20;N;4112.00;000.0;"},
        {"short report reads missing bytes as 0", {.bytes = 21}, "E;02322.20;N;4112.00;000.0;"},
        {"south and west",
         {.lat = static_cast<uint32_t>(-0x3A987654), .lon = static_cast<uint32_t>(-0x52AAAAAA)},
         "W;11615.00;S;4112.00;045.0;"},
        {"just west of Greenwich", {.lon = from_degrees(-0.5, LON_SCALE)}, "W;0030.000;N;4112.00;045.0;"},
        {"minutes rounding up to 10", {.lat = from_degrees(41 + 9.99999 / 60, LAT_SCALE)},
         "E;02322.20;N;4110.00;045.0;"},
        {"minutes rounding up to 60", {.lon = from_degrees(116 + 59.99999 / 60, LON_SCALE)},
         "E;11700.00;N;4112.00;045.0;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        lastgps.tv_sec -= 60; // the rate limit out of the way
        std::string sent = report_for(c.report);
        EXPECT_EQ(sent, gps_report(c.position));
        EXPECT_EQ(console.substr(20), "GPS:" + sent + "\n");
    }
}

TEST_F(Position, ReportsWithoutAFixAreDropped)
{
    SYS_DEBUG = 1;
    EXPECT_EQ(report_for({.glen = 16}), "");
    EXPECT_EQ(console.substr(20), "GPS-Parameter: glen:16\n") << "only the length is logged";
    EXPECT_EQ(report_for({.value = '*'}), "");
    EXPECT_EQ(report_for({.gps = 'g'}), "");
}

TEST_F(Position, AtMostOneReportInFiveWholeSeconds)
{
    clock_now(&lastgps); // as the radio's initialisation sets it
    // Seconds waited before each report: 3 and 5 after initialisation are too
    // early, 6 is not; then 5.9 after that report is too early, 6 is not.
    const std::pair<double, bool> steps[] = {{3, false}, {2, false}, {1, true}, {5.9, false}, {0.1, true}};
    for (const auto& [seconds, sent] : steps) {
        virtual_clock_advance_us(std::llround(seconds * 1e6));
        EXPECT_EQ(report_for({}).empty(), !sent) << "after " << seconds << " s more";
    }
}
