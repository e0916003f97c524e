// Position reports from radios: decoding, degree-and-minute texts, the
// hemispheres, the filters and the rate limit of the GPS report.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "events/handlers.h"
#include "net/datagrams.h"
#include "textpos_fixture.h"
#include "util/text.h"

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
    int height = -1; // -1: no height marker
    size_t bytes = 26; // bytes actually sent (a report may be shorter than glen says)
};

uint32_t from_degrees(double degrees, double scale)
{
    return static_cast<uint32_t>(static_cast<int32_t>(std::lround(degrees / scale)));
}

void put32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// The payload line of a position report, as hex text with its CR.
std::string position_line(const Report& r)
{
    std::vector<unsigned char> b(26, 0);
    b[0] = 0x03;
    b[1] = 0x80;
    b[2] = 0x13;
    b[3] = static_cast<unsigned char>(r.glen);
    b[4] = 0x0A;
    b[5] = static_cast<unsigned char>(r.value);
    b[12] = static_cast<unsigned char>(r.gps);
    put32(b, 13, r.lat);
    put32(b, 17, r.lon);
    if (r.height >= 0) {
        b[21] = 0x81;
        b[22] = static_cast<unsigned char>(r.height >> 8);
        b[23] = static_cast<unsigned char>(r.height);
    }
    if (r.course) {
        b[24] = 'V';
        b[25] = static_cast<unsigned char>(r.course_byte);
    }
    char out[128];
    encodehex(reinterpret_cast<const char*>(b.data()), static_cast<int>(r.bytes), out, sizeof out);
    return std::string(out) + "\r";
}

std::string gps_report(const std::string& position)
{
    return std::string("TEST-GW,Test,") + START_TIME + ",NO USER,GPS,#232,1234567,," + position + ",\n";
}

} // namespace

class Position : public HandlerTest {
protected:
    // Handles one report with the rate limit out of the way; returns the datagram sent.
    std::string report_for(const Report& r)
    {
        clock_now(&lastgps);
        lastgps.tv_sec -= 60;
        set_line(position_line(r));
        captured([] { handle_position(); });
        return reflector_next();
    }
};

TEST_F(Position, TextsOfTheWorkedExamples)
{
    struct Case {
        const char* name;
        Report report;
        const char* position; // field 9 of the report
    };
    auto with = [](auto change) {
        Report r;
        change(r);
        return r;
    };
    const std::vector<Case> cases = {
        {"41.2 N, 23.37 E, course 45", Report{}, "E;02322.20;N;4112.00;045.0;"},
        {"41 degrees 5.5 minutes", with([](Report& r) { r.lat = 0x3A7104EE; }), "E;02322.20;N;4105.50;045.0;"},
        {"116.25 E", with([](Report& r) { r.lon = 0x52AAAAAA; }), "E;11615.00;N;4112.00;045.0;"},
        {"9.5 E keeps three decimals", with([](Report& r) { r.lon = 0x06C16C17; }), "E;0930.000;N;4112.00;045.0;"},
        {"9.5 N keeps three decimals", with([](Report& r) { r.lat = from_degrees(9.5, LAT_SCALE); }),
         "E;02322.20;N;930.000;045.0;"},
        {"course byte 4", with([](Report& r) { r.course_byte = 4; }), "E;02322.20;N;4112.00;005.6;"},
        {"course byte 255", with([](Report& r) { r.course_byte = 255; }), "E;02322.20;N;4112.00;358.6;"},
        {"no course marker", with([](Report& r) { r.course = false; }), "E;02322.20;N;4112.00;000.0;"},
        {"glen 20 has no course", with([](Report& r) { r.glen = 20; }), "E;02322.20;N;4112.00;000.0;"},
        {"glen 17, gps h", with([](Report& r) { r.glen = 17; r.gps = 'h'; }), "E;02322.20;N;4112.00;000.0;"},
        {"south and west", with([](Report& r) {
             r.lat = static_cast<uint32_t>(-static_cast<int32_t>(0x3A987654));
             r.lon = static_cast<uint32_t>(-static_cast<int32_t>(0x52AAAAAA));
         }),
         "W;11615.00;S;4112.00;045.0;"},
        {"just west of Greenwich", with([](Report& r) { r.lon = from_degrees(-0.5, LON_SCALE); }),
         "W;0030.000;N;4112.00;045.0;"},
        {"minutes rounding up to 10", with([](Report& r) { r.lat = from_degrees(41 + 9.99999 / 60, LAT_SCALE); }),
         "E;02322.20;N;4110.00;045.0;"},
        {"minutes rounding up to 60", with([](Report& r) { r.lon = from_degrees(116 + 59.99999 / 60, LON_SCALE); }),
         "E;11700.00;N;4112.00;045.0;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(report_for(c.report), gps_report(c.position));
    }
}

TEST_F(Position, ReportIsLoggedAndLayoutKeptForNorthEast)
{
    set_line(position_line(Report{}));
    std::string console = captured([] { handle_position(); });
    std::string sent = reflector_next();
    EXPECT_EQ(sent, "TEST-GW,Test,05.12.2025 18:40:00,NO USER,GPS,#232,1234567,,E;02322.20;N;4112.00;045.0;,\n");
    EXPECT_EQ(console.substr(20), "GPS:" + sent + "\n");

    char east[MESSAGE_SIZE], any[MESSAGE_SIZE];
    format_gps_report(east, sizeof east, "A", "B", "T", "C", "1", "0012345678", "123456789", "1.0");
    format_gps_report_hemisphere(any, sizeof any, "A", "B", "T", "C", "1", 'E', "0012345678", 'N', "123456789",
                                 "1.0");
    EXPECT_STREQ(east, "A,B,T,C,GPS,#232,1,,E;00123456;N;1234567;1.0;,\n");
    EXPECT_STREQ(any, east);
}

TEST_F(Position, FiltersAndDebugLines)
{
    SYS_DEBUG = 1;
    struct Case {
        const char* name;
        Report report;
        int console_lines;
        bool sent;
    } cases[] = {
        {"glen 16", [] { Report r; r.glen = 16; return r; }(), 1, false},
        {"value not slash", [] { Report r; r.value = '*'; return r; }(), 2, false},
        {"gps not f or h", [] { Report r; r.gps = 'g'; return r; }(), 2, false},
        {"position with height", [] { Report r; r.height = 0x0102; return r; }(), 3, true}, // 3 debug lines
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set_line(position_line(c.report));
        std::string console = captured([] { handle_position(); });
        EXPECT_EQ(std::count(console.begin(), console.end(), '\n') - (c.sent ? 2 : 0), c.console_lines) << console;
        EXPECT_EQ(reflector_next().empty(), !c.sent);
        if (c.name == std::string("glen 16")) {
            EXPECT_EQ(console.substr(20), "GPS-Parameter: glen:16\n");
        }
        if (c.sent) {
            EXPECT_NE(console.find("GPS-Parameter: type:10 valuie:47 gps:102\n"), std::string::npos);
            EXPECT_NE(console.find("\n22 10 47 102 983070292.000000 278814960.000000 4112.0000 23 22.199999 "
                                   "45.000000 258.000000\n"),
                      std::string::npos)
                << console;
        }
    }
}

TEST_F(Position, ShortReportReadsMissingBytesAsZero)
{
    EXPECT_EQ(report_for(Report{}), gps_report("E;02322.20;N;4112.00;045.0;"));
    Report cut; // announces a course but ends after the longitude
    cut.bytes = 21;
    EXPECT_EQ(report_for(cut), gps_report("E;02322.20;N;4112.00;000.0;"));
}

TEST_F(Position, AtMostOneReportInFiveWholeSeconds)
{
    const long long s = 1000000;
    clock_now(&lastgps); // as the radio's initialisation sets it
    struct Step {
        const char* name;
        long long advance_us;
        bool sent;
    } steps[] = {
        {"3 s after initialisation", 3 * s, false},
        {"5 s after initialisation", 2 * s, false},
        {"6 s after initialisation", 1 * s, true},
        {"5.9 s after that report", 5 * s + 900000, false},
        {"6 s after it", 100000, true},
        {"12 s later", 12 * s, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        virtual_clock_advance_us(step.advance_us);
        set_line(position_line(Report{}));
        captured([] { handle_position(); });
        EXPECT_EQ(!reflector_next().empty(), step.sent);
    }
}
