// "038013" position reports: the fields and their markers, the report's own
// length against the bytes sent, the bit bound, and both refusals.
#include <gtest/gtest.h>

#include "formats/fix_report.h"

namespace {

struct fields {
    int glen = 25;
    char value = '/';
    char gps = 'f';
    uint32_t lat = 0x3A987654; // 41.2 N
    uint32_t lon = 0x109E60F0; // 23.37 E
    int height_mark = 0x81;
    int height = 300;
    char course_mark = 'V';
    int course = 32; // 45 degrees
};

// The payload as the radio sends it, 26 bytes in hex digits and the CR.
std::string payload(const fields& f)
{
    char hex[64];
    snprintf(hex, sizeof hex, "038013%02X0A%02X000000000000%02X%08X%08X%02X%04X%02X%02X\r", f.glen, f.value, f.gps,
             f.lat, f.lon, f.height_mark, f.height, f.course_mark, f.course);
    return hex;
}

int all_bits(const std::string& text)
{
    return 4 * static_cast<int>(text.size());
}

} // namespace

TEST(FixReport, FieldsMarkersAndRefusals)
{
    const double lat = 0x3A987654 * (180.0 / 4294967295.0), lon = 0x109E60F0 * (360.0 / 4294967295.0);
    const struct {
        const char* name;
        std::string payload;
        int bits;
        fix_result result;
        double latitude, longitude, bearing, height;
    } cases[] = {
        {"every field", payload({}), all_bits(payload({})), FIX_DECODED, lat, lon, 45.0, 300},
        {"fix marker h", payload({.gps = 'h'}), all_bits(payload({})), FIX_DECODED, lat, lon, 45.0, 300},
        {"south and west", payload({.lat = 0u - 0x3A987654u, .lon = 0u - 0x109E60F0u}), all_bits(payload({})),
         FIX_DECODED, -lat, -lon, 45.0, 300},
        {"course without its marker", payload({.course_mark = 'X'}), all_bits(payload({})), FIX_DECODED, lat, lon, 0.0,
         300},
        {"height without its marker", payload({.height_mark = 0x80}), all_bits(payload({})), FIX_DECODED, lat, lon,
         45.0, 0},
        {"glen short of the course", payload({.glen = 21}), all_bits(payload({})), FIX_DECODED, lat, lon, 0.0, 300},
        {"glen short of the height", payload({.glen = 18}), all_bits(payload({})), FIX_DECODED, lat, lon, 0.0, 0},
        {"bytes not sent read as 0", payload({}).substr(0, 42) + "\r", all_bits(payload({})), FIX_DECODED, lat, lon,
         0.0, 0},
        {"the bit bound stops before the position", payload({}), 4 * 26, FIX_DECODED, 0.0, 0.0, 0.0, 0},
        {"glen too short", payload({.glen = 16}), all_bits(payload({})), FIX_TOO_SHORT, 0, 0, 0, 0},
        {"no bits at all", payload({}), 0, FIX_TOO_SHORT, 0, 0, 0, 0},
        {"value no position", payload({.value = '*'}), all_bits(payload({})), FIX_NO_FIX, 0, 0, 0, 0},
        {"no fix", payload({.gps = 'g'}), all_bits(payload({})), FIX_NO_FIX, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        fix_report r;
        EXPECT_EQ(fix_decode(c.payload.c_str(), c.bits, &r), c.result) << c.name;
        EXPECT_DOUBLE_EQ(r.latitude, c.latitude) << c.name;
        EXPECT_DOUBLE_EQ(r.longitude, c.longitude) << c.name;
        EXPECT_DOUBLE_EQ(r.bearing, c.bearing) << c.name;
        EXPECT_DOUBLE_EQ(r.height, c.height) << c.name;
    }
}

// What SYS_DEBUG shows of a refused report: the fields read up to the refusal.
TEST(FixReport, RefusalKeepsWhatWasRead)
{
    fix_report r;
    fix_decode(payload({.glen = 16}).c_str(), 4 * 52, &r);
    EXPECT_EQ(r.glen, 16);
    EXPECT_EQ(r.gps, 0);
    fix_decode(payload({.gps = 'g'}).c_str(), 4 * 52, &r);
    EXPECT_EQ(r.type, 0x0A);
    EXPECT_EQ(r.value, '/');
    EXPECT_EQ(r.gps, 'g');
}
