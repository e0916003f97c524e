// "038013" position reports: the fields and their markers, the report's own
// length against the bytes sent, the bit bound, and both refusals.
#include <gtest/gtest.h>

#include "formats/fix_report.h"
#include "support/fix_payload.h"

TEST(FixReport, FieldsMarkersAndRefusals)
{
    const int ALL = 4 * static_cast<int>(fix_payload({}).size()); // every digit and the CR
    const double lat = 0x3A987654 * (180.0 / 4294967295.0), lon = 0x109E60F0 * (360.0 / 4294967295.0);
    const struct {
        const char* name;
        std::string payload;
        int bits;
        fix_result result;
        double latitude, longitude, bearing, height;
    } cases[] = {
        {"every field", fix_payload({}), ALL, FIX_DECODED, lat, lon, 45.0, 300},
        {"fix marker h", fix_payload({.gps = 'h'}), ALL, FIX_DECODED, lat, lon, 45.0, 300},
        {"south and west", fix_payload({.lat = 0u - 0x3A987654u, .lon = 0u - 0x109E60F0u}), ALL, FIX_DECODED, -lat,
         -lon, 45.0, 300},
        {"course without its marker", fix_payload({.course_mark = 'X'}), ALL, FIX_DECODED, lat, lon, 0.0, 300},
        {"height without its marker", fix_payload({.height_mark = 0x80}), ALL, FIX_DECODED, lat, lon, 45.0, 0},
        {"glen short of the course", fix_payload({.glen = 21}), ALL, FIX_DECODED, lat, lon, 0.0, 300},
        {"glen short of the height", fix_payload({.glen = 18}), ALL, FIX_DECODED, lat, lon, 0.0, 0},
        {"bytes not sent read as 0", fix_payload({.bytes = 21}), ALL, FIX_DECODED, lat, lon, 0.0, 0},
        {"the bit bound stops before the position", fix_payload({}), 4 * 26, FIX_DECODED, 0.0, 0.0, 0.0, 0},
        {"glen too short", fix_payload({.glen = 16}), ALL, FIX_TOO_SHORT, 0, 0, 0, 0},
        {"no bits at all", fix_payload({}), 0, FIX_TOO_SHORT, 0, 0, 0, 0},
        {"value no position", fix_payload({.value = '*'}), ALL, FIX_NO_FIX, 0, 0, 0, 0},
        {"no fix", fix_payload({.gps = 'g'}), ALL, FIX_NO_FIX, 0, 0, 0, 0},
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
    fix_decode(fix_payload({.glen = 16}).c_str(), 4 * 52, &r);
    EXPECT_EQ(r.glen, 16);
    EXPECT_EQ(r.gps, 0);
    fix_decode(fix_payload({.gps = 'g'}).c_str(), 4 * 52, &r);
    EXPECT_EQ(r.type, 0x0A);
    EXPECT_EQ(r.value, '/');
    EXPECT_EQ(r.gps, 'g');
}
