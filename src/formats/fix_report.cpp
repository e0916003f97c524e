// "038013" position report decoding: the hex text becomes bytes, and the
// fields are read from fixed byte positions, a short payload reading as 0.
#include "formats/fix_report.h"

#include "util/text.h"

namespace {

constexpr int NIBBLE_BITS = 4;

// Byte positions in the decoded report.
constexpr int GLEN_BYTE = 3;
constexpr int TYPE_BYTE = 4;
constexpr int VALUE_BYTE = 5;
constexpr int GPS_BYTE = 12;
constexpr int LAT_BYTE = 13; // 4 bytes, two's complement, MSB first
constexpr int LON_BYTE = 17; // 4 bytes, two's complement, MSB first
constexpr int HEIGHT_MARK_BYTE = 21;
constexpr int HEIGHT_BYTE = 22; // 2 bytes, MSB first
constexpr int BEARING_MARK_BYTE = 24;
constexpr int BEARING_BYTE = 25;
// Bytes read at most, and the buffer that holds them with the NUL.
constexpr int REPORT_BYTES = BEARING_BYTE + 1;

// Report lengths (glen) from which the fields are present.
constexpr int POSITION_GLEN = 17;
constexpr int HEIGHT_GLEN = 19;
constexpr int BEARING_GLEN = 22;

constexpr unsigned char VALUE_POSITION = '/';
constexpr unsigned char GPS_FIX_F = 'f';
constexpr unsigned char GPS_FIX_H = 'h';
constexpr unsigned char HEIGHT_MARK = 0x81;
constexpr unsigned char BEARING_MARK = 'V';

// A full circle of latitude/longitude is spread over 2^32 - 1 steps (not 2^32).
constexpr double LAT_SCALE = 180.0 / 4294967295.0;
constexpr double LON_SCALE = 360.0 / 4294967295.0;
constexpr double BEARING_STEP = 360.0 / 256.0; // course byte in 1/256 of a turn

unsigned byte_at(const char* bytes, int index)
{
    return static_cast<unsigned char>(bytes[index]);
}

int32_t signed32_at(const char* bytes, int index)
{
    uint32_t value = (static_cast<uint32_t>(byte_at(bytes, index)) << 24) | (byte_at(bytes, index + 1) << 16) |
                     (byte_at(bytes, index + 2) << 8) | byte_at(bytes, index + 3);
    return static_cast<int32_t>(value);
}

} // namespace

fix_result fix_decode(const char* payload, int bits, fix_report* report)
{
    *report = {};
    // Zero-filled, so that fields a short payload lacks read as 0.
    char bytes[REPORT_BYTES + 1] = {};
    decodehex(payload, bits / NIBBLE_BITS, bytes, sizeof bytes);

    report->glen = static_cast<int>(byte_at(bytes, GLEN_BYTE));
    if (report->glen < POSITION_GLEN)
        return FIX_TOO_SHORT;
    report->type = static_cast<int>(byte_at(bytes, TYPE_BYTE));
    report->value = static_cast<int>(byte_at(bytes, VALUE_BYTE));
    report->gps = static_cast<int>(byte_at(bytes, GPS_BYTE));
    if (report->value != VALUE_POSITION || (report->gps != GPS_FIX_F && report->gps != GPS_FIX_H))
        return FIX_NO_FIX;

    report->lat_raw = signed32_at(bytes, LAT_BYTE);
    report->lon_raw = signed32_at(bytes, LON_BYTE);
    report->latitude = report->lat_raw * LAT_SCALE;
    report->longitude = report->lon_raw * LON_SCALE;
    if (report->glen >= BEARING_GLEN && byte_at(bytes, BEARING_MARK_BYTE) == BEARING_MARK)
        report->bearing = byte_at(bytes, BEARING_BYTE) * BEARING_STEP;
    if (report->glen >= HEIGHT_GLEN && byte_at(bytes, HEIGHT_MARK_BYTE) == HEIGHT_MARK)
        report->height = byte_at(bytes, HEIGHT_BYTE) * 256 + byte_at(bytes, HEIGHT_BYTE + 1);
    return FIX_DECODED;
}
