// LIP location reports: real radio traffic, the bit bounds radios differ in,
// negative coordinates, the long report's time and shape, and every refusal.
#include <gtest/gtest.h>

#include <cmath>

#include "formats/lip.h"

namespace {

// A Motorola MTP850 in central Germany, header "+CTSDSR: 12,<ISSI>,0,<ISSI>,0,84":
// 76 report bits and one pad nibble that the header does not count.
const std::string MTP850 = "0A00893E12472C51026810";

// "0A" and the fields (value, width in bits), padded to whole digits.
std::string lip(const std::vector<std::pair<long, int>>& fields)
{
    std::string bits;
    for (const auto& [value, width] : fields)
        for (int i = width - 1; i >= 0; i--)
            bits += static_cast<char>('0' + ((value >> i) & 1));
    bits.append((4 - bits.size() % 4) % 4, '0');
    std::string hex = "0A";
    for (size_t i = 0; i < bits.size(); i += 4)
        hex += "0123456789ABCDEF"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    return hex;
}

// Degrees in the report's two's complement steps (2^25 per circle of
// longitude, 2^24 per half circle of latitude), as raw field bits.
long lon_field(double deg)
{
    return std::lround(deg * (1 << 25) / 360.0) & ((1L << 25) - 1);
}
long lat_field(double deg)
{
    return std::lround(deg * (1 << 24) / 180.0) & ((1L << 24) - 1);
}

// A short report: time elapsed, longitude, latitude, position error 2,
// velocity 40, direction 12, reason 0.
std::string short_report(int elapsed, double lat, double lon)
{
    return lip(
        {{0, 2}, {elapsed, 2}, {lon_field(lon), 25}, {lat_field(lat), 24}, {2, 3}, {40, 7}, {12, 4}, {0, 1}, {0, 8}});
}

// A long report up to its point: extension, time type and time fields, shape.
std::string long_report(int extension, int time_type, int shape, double lat, double lon)
{
    std::vector<std::pair<long, int>> f = {{1, 2}, {extension, 4}, {time_type, 2}};
    if (time_type == 1)
        f.push_back({3, 2});
    if (time_type == 2)
        f.insert(f.end(), {{14, 5}, {8, 5}, {30, 6}, {5, 6}}); // day 14, 08:30:05
    f.push_back({shape, 4});
    f.insert(f.end(), {{lon_field(lon), 25}, {lat_field(lat), 24}, {0, 3}, {0, 1}, {0, 8}});
    return lip(f);
}

int bits_of(const std::string& hex)
{
    return static_cast<int>(4 * hex.size());
}

} // namespace

TEST(Lip, DecodedReports)
{
    const std::string south_west = short_report(1, -33.45, -70.66);
    const std::string long_time = long_report(3, 2, 1, 48.1375, 11.575);
    const lip_report mtp850 = {0, 1, 0, -1, -1, -1, -1, 1, 51.255448, 12.062323, 1, 1, 3, 0, 129};
    const struct {
        const char* name;
        std::string payload;
        int header_bits;
        lip_report expected; // in field order: type, time type, elapsed, day, h, m, s, shape,
                             // lat, lon, error, velocity, direction, data type, data
    } cases[] = {
        {"MTP850", MTP850 + "\r", 84, mtp850},
        {"odd digit count (no pad nibble)", MTP850.substr(0, 21) + "\r", 84, mtp850},
        {"digits beyond the announced bits", MTP850 + "FFFF\r", 84, mtp850},
        {"south and west",
         south_west,
         bits_of(south_west),
         {0, 1, 1, -1, -1, -1, -1, 1, -33.45, -70.66, 2, 40, 12, 0, 0}},
        {"time not known, position known",
         short_report(3, 0.0, 0.01),
         84,
         {0, 1, 3, -1, -1, -1, -1, 1, 0.0, 0.01, 2, 40, 12, 0, 0}},
        {"long, time of position, point",
         long_time,
         bits_of(long_time),
         {1, 2, -1, 14, 8, 30, 5, 1, 48.1375, 11.575, -1, -1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        lip_report r;
        lip_result result = lip_decode(c.payload.c_str(), c.header_bits, &r);
        const lip_report& e = c.expected;
        ASSERT_EQ(result, LIP_DECODED) << c.name;
        EXPECT_EQ(std::vector<int>({r.pdu_type, r.time_type, r.time_elapsed, r.day, r.hour, r.minute, r.second, r.shape,
                                    r.position_error, r.velocity, r.direction, r.additional_type, r.additional}),
                  std::vector<int>({e.pdu_type, e.time_type, e.time_elapsed, e.day, e.hour, e.minute, e.second, e.shape,
                                    e.position_error, e.velocity, e.direction, e.additional_type, e.additional}))
            << c.name;
        // One step of latitude is about 1.1e-5 degrees.
        EXPECT_NEAR(r.latitude, e.latitude, 1e-5) << c.name;
        EXPECT_NEAR(r.longitude, e.longitude, 1e-5) << c.name;
    }
}

TEST(Lip, Refusals)
{
    const struct {
        const char* name;
        std::string payload;
        int header_bits;
        lip_result expected;
    } cases[] = {
        {"header announces fewer bits than a short report", MTP850 + "\r", 80, LIP_TOO_SHORT},
        {"digits end inside the report", MTP850.substr(0, 20) + "\r", 84, LIP_TOO_SHORT},
        {"non-hex digit ends the report", MTP850.substr(0, 12) + "G" + MTP850.substr(13) + "\r", 84, LIP_TOO_SHORT},
        {"no bits after the identifier", "0A\r", 84, LIP_TOO_SHORT},
        {"header shorter than the identifier", MTP850 + "\r", 4, LIP_TOO_SHORT},
        {"header announces the lowest int (found by fuzzing)", MTP850 + "\r", INT_MIN, LIP_TOO_SHORT},
        {"long report cut inside its point", long_report(3, 0, 1, 1, 1).substr(0, 12), 84, LIP_TOO_SHORT},
        {"PDU type 2", "0A800000000000000000000\r", 88, LIP_NOT_LOCATION},
        {"long PDU, extension not a report", long_report(4, 0, 1, 1, 1), 88, LIP_NOT_LOCATION},
        {"reserved time type", long_report(3, 3, 1, 1, 1), 88, LIP_RESERVED_TIME},
        {"shape 11", long_report(3, 1, 11, 1, 1), 88, LIP_UNKNOWN_SHAPE},
        {"shape 0", long_report(3, 1, 0, 1, 1), 88, LIP_NO_POSITION},
        {"short, time not known at 0,0", short_report(3, 0, 0), 84, LIP_NO_POSITION},
        {"long, time not known at 0,0", long_report(3, 1, 1, 0, 0), 88, LIP_NO_POSITION},
        {"other protocol identifier", "0B00893E12472C51026810\r", 84, LIP_NOT_LIP},
    };
    for (const auto& c : cases) {
        lip_report r;
        EXPECT_EQ(lip_decode(c.payload.c_str(), c.header_bits, &r), c.expected) << c.name;
    }
}

TEST(Lip, CourseAndVelocity)
{
    lip_report r;
    ASSERT_EQ(lip_decode(MTP850.c_str(), 84, &r), LIP_DECODED);
    EXPECT_DOUBLE_EQ(lip_course_degrees(&r), 67.5);
    ASSERT_EQ(lip_decode(long_report(3, 0, 1, 1, 1).c_str(), 88, &r), LIP_DECODED);
    EXPECT_DOUBLE_EQ(lip_course_degrees(&r), 0.0) << "a long report's course is not read";

    const std::pair<int, double> kmh[] = {
        {0, 0}, {28, 28}, {29, 16 * std::pow(1.038, 16)}, {126, 16 * std::pow(1.038, 113)}, {127, -1}};
    for (const auto& [code, expected] : kmh)
        EXPECT_DOUBLE_EQ(lip_velocity_kmh(code), expected) << code;
}
