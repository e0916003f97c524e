// The radio simulator's payloads: position reports in both formats.
#include "radio_sim_payloads.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr size_t ISSI_DIGITS = 7;
// Position reports: fixed start 03 80 13, and the scale of the coordinates.
constexpr double TWO_POW_32_MINUS_1 = 4294967295.0;
constexpr double COURSE_STEP_DEG = 1.40625; // 360/256
constexpr int HEIGHT_MARKER = 0x81;
constexpr int GLEN_WITH_HEIGHT = 19;
constexpr int GLEN_WITH_COURSE = 22;
// LIP short location report, as a GPS fix sends it: time elapsed < 5 s,
// position error < 20 m, standing still, additional data a reason for sending.
constexpr int LIP_LON_BITS = 25; // 2^25 steps per full circle
constexpr int LIP_LAT_BITS = 24; // 2^24 steps per half circle
constexpr double LIP_DIRECTION_STEP_DEG = 22.5;
constexpr int LIP_DIRECTIONS = 16;
constexpr int LIP_POSITION_ERROR_20M = 1;

// Big-endian two's complement of degrees scaled so that full_range maps onto
// 2^32 - 1 (180 for latitude, 360 for longitude).
std::string coordinate_hex(double degrees, double full_range)
{
    double scaled = std::round(degrees * TWO_POW_32_MINUS_1 / full_range);
    if (scaled > INT32_MAX)
        scaled = INT32_MAX;
    if (scaled < INT32_MIN)
        scaled = INT32_MIN;
    uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(scaled));
    char hex[9];
    snprintf(hex, sizeof hex, "%08X", value);
    return hex;
}

} // namespace

// Position report: 03 80 13, glen, type, "/", six unused bytes, "f", latitude,
// longitude, height marker 0x81 and height, then "V" and the course byte.
std::string position_payload(double lat, double lon, bool has_course, double course)
{
    char head[32];
    snprintf(head, sizeof head, "038013%02X%02X%02X", has_course ? GLEN_WITH_COURSE : GLEN_WITH_HEIGHT, 0x30, '/');
    std::string payload = head;
    payload += "000000000000";
    char gps[4];
    snprintf(gps, sizeof gps, "%02X", 'f');
    payload += gps;
    payload += coordinate_hex(lat, 180.0);
    payload += coordinate_hex(lon, 360.0);
    char height[8];
    snprintf(height, sizeof height, "%02X%04X", HEIGHT_MARKER, 0);
    payload += height;
    if (has_course) {
        long step = std::lround(course / COURSE_STEP_DEG);
        char tail[8];
        snprintf(tail, sizeof tail, "%02X%02X", 'V', static_cast<unsigned>(((step % 256) + 256) % 256));
        payload += tail;
    }
    return payload;
}

// value's low width bits, most significant first, as '0'/'1' characters.
static void append_bits(std::string* bits, uint32_t value, int width)
{
    for (int i = width - 1; i >= 0; i--)
        *bits += ((value >> i) & 1u) ? '1' : '0';
}

// Degrees in steps of range / 2^width, two's complement in width bits; the
// top of the range is one step short of it.
static uint32_t lip_coordinate(double degrees, double range, int width)
{
    double steps = std::round(degrees * std::ldexp(1.0, width) / range);
    double top = std::ldexp(1.0, width - 1);
    if (steps > top - 1)
        steps = top - 1;
    if (steps < -top)
        steps = -top;
    return static_cast<uint32_t>(static_cast<int32_t>(steps)) & ((1u << width) - 1);
}

// LIP short location report: "0A", then PDU type 0, time elapsed 0, longitude,
// latitude, position error, velocity 0, direction of travel, reason 0, and
// pad bits up to a whole byte.
std::string lip_payload(double lat, double lon, double course)
{
    std::string bits;
    append_bits(&bits, 0, 2); // short location report
    append_bits(&bits, 0, 2); // time elapsed < 5 s
    append_bits(&bits, lip_coordinate(lon, 360.0, LIP_LON_BITS), LIP_LON_BITS);
    append_bits(&bits, lip_coordinate(lat, 180.0, LIP_LAT_BITS), LIP_LAT_BITS);
    append_bits(&bits, LIP_POSITION_ERROR_20M, 3);
    append_bits(&bits, 0, 7); // velocity 0 km/h
    long direction = std::lround(course / LIP_DIRECTION_STEP_DEG) % LIP_DIRECTIONS;
    append_bits(&bits, static_cast<uint32_t>((direction + LIP_DIRECTIONS) % LIP_DIRECTIONS), 4);
    append_bits(&bits, 0, 1); // additional data: reason for sending
    append_bits(&bits, 0, 8);
    bits.append((8 - bits.size() % 8) % 8, '0'); // whole bytes
    std::string payload = "0A";
    for (size_t i = 0; i < bits.size(); i += 4)
        payload += "0123456789ABCDEF"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    return payload;
}

// The last seven digits of issi, zero-padded on the left.
std::string seven_digits(const std::string& issi)
{
    std::string digits = issi.size() > ISSI_DIGITS ? issi.substr(issi.size() - ISSI_DIGITS) : issi;
    return std::string(ISSI_DIGITS - digits.size(), '0') + digits;
}
