// LIP location report decoding: bits are read most significant first from the
// hex digits after the protocol identifier, never past the smaller of the
// header's bit count and the digits the radio actually sent.
#include "formats/lip.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int PI_BITS = 8; // protocol identifier 0x0A, two hex digits
constexpr int NIBBLE_BITS = 4;

// Field widths of the location reports.
constexpr int PDU_TYPE_BITS = 2;
constexpr int EXTENSION_BITS = 4;
constexpr int TIME_TYPE_BITS = 2;
constexpr int TIME_ELAPSED_BITS = 2;
constexpr int DAY_BITS = 5;
constexpr int HOUR_BITS = 5;
constexpr int MINUTE_BITS = 6;
constexpr int SECOND_BITS = 6;
constexpr int SHAPE_BITS = 4;
constexpr int LONGITUDE_BITS = 25;
constexpr int LATITUDE_BITS = 24;
constexpr int POSITION_ERROR_BITS = 3;
constexpr int VELOCITY_BITS = 7;
constexpr int DIRECTION_BITS = 4;
constexpr int ADDITIONAL_TYPE_BITS = 1;
constexpr int ADDITIONAL_BITS = 8;

// The long report's PDU type extension for a location report; others are
// requests and replies of the protocol itself.
constexpr unsigned LONG_REPORT_EXTENSION = 3;
constexpr unsigned TIME_TYPE_RESERVED = 3;
constexpr unsigned SHAPE_NONE = 0;
constexpr unsigned SHAPE_LAST_KNOWN = 10; // every shape 1 to 10 begins with a point
constexpr int SHORT_REPORT_SHAPE = 1;

// Full circle over 2^25 longitude steps, half circle over 2^24 latitude steps.
constexpr double LONGITUDE_DEGREES = 360.0 / (1 << LONGITUDE_BITS);
constexpr double LATITUDE_DEGREES = 180.0 / (1 << LATITUDE_BITS);
constexpr double DIRECTION_STEP_DEG = 22.5;

// Velocity codes up to this value are km/h as they are; above it the scale
// is logarithmic: 16 x 1.038^(code - 13) km/h.
constexpr int VELOCITY_LINEAR_MAX = 28;
constexpr double VELOCITY_BASE_KMH = 16.0;
constexpr double VELOCITY_RATIO = 1.038;
constexpr int VELOCITY_OFFSET = 13;

// Reading position in the payload's bits after the protocol identifier.
struct bit_reader {
    const char* digits; // first hex digit after "0A"
    int available;      // bits that may be read
    int position;       // next bit to read
};

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Takes the next count bits (at most 25) into *value; 0 when they are not all
// there, and then nothing is taken.
int take_bits(bit_reader* reader, int count, unsigned* value)
{
    if (reader->position + count > reader->available)
        return 0;
    unsigned result = 0;
    for (int i = 0; i < count; i++) {
        int bit = reader->position + i;
        int nibble = hex_value(reader->digits[bit / NIBBLE_BITS]);
        int shift = NIBBLE_BITS - 1 - bit % NIBBLE_BITS;
        result = (result << 1) | ((static_cast<unsigned>(nibble) >> shift) & 1u);
    }
    reader->position += count;
    *value = result;
    return 1;
}

// A two's complement field of width bits as a signed value.
int32_t signed_field(unsigned value, int bits)
{
    int32_t raw = static_cast<int32_t>(value);
    return value >= (1u << (bits - 1)) ? raw - (static_cast<int32_t>(1) << bits) : raw;
}

// Longitude then latitude, as every shape and the short report carry them.
int take_point(bit_reader* reader, lip_report* report)
{
    unsigned lon = 0, lat = 0;
    if (!take_bits(reader, LONGITUDE_BITS, &lon) || !take_bits(reader, LATITUDE_BITS, &lat))
        return 0;
    report->longitude = signed_field(lon, LONGITUDE_BITS) * LONGITUDE_DEGREES;
    report->latitude = signed_field(lat, LATITUDE_BITS) * LATITUDE_DEGREES;
    return 1;
}

int as_int(unsigned value)
{
    return static_cast<int>(value);
}

lip_result decode_short(bit_reader* reader, lip_report* report)
{
    unsigned elapsed = 0, error = 0, velocity = 0, direction = 0, additional_type = 0, additional = 0;
    if (!take_bits(reader, TIME_ELAPSED_BITS, &elapsed) || !take_point(reader, report) ||
        !take_bits(reader, POSITION_ERROR_BITS, &error) || !take_bits(reader, VELOCITY_BITS, &velocity) ||
        !take_bits(reader, DIRECTION_BITS, &direction) || !take_bits(reader, ADDITIONAL_TYPE_BITS, &additional_type) ||
        !take_bits(reader, ADDITIONAL_BITS, &additional))
        return LIP_TOO_SHORT;
    report->time_type = LIP_TIME_ELAPSED;
    report->time_elapsed = as_int(elapsed);
    report->shape = SHORT_REPORT_SHAPE;
    report->position_error = as_int(error);
    report->velocity = as_int(velocity);
    report->direction = as_int(direction);
    report->additional_type = as_int(additional_type);
    report->additional = as_int(additional);
    return LIP_DECODED;
}

// Only what every long report shares is read: time, shape and the point. The
// fields after the point differ per shape and velocity type; they stay absent.
lip_result decode_long(bit_reader* reader, lip_report* report)
{
    unsigned extension = 0, time_type = 0, shape = 0;
    if (!take_bits(reader, EXTENSION_BITS, &extension))
        return LIP_TOO_SHORT;
    if (extension != LONG_REPORT_EXTENSION)
        return LIP_NOT_LOCATION;
    if (!take_bits(reader, TIME_TYPE_BITS, &time_type))
        return LIP_TOO_SHORT;
    if (time_type == TIME_TYPE_RESERVED)
        return LIP_RESERVED_TIME;
    report->time_type = as_int(time_type);
    if (time_type == LIP_TIME_ELAPSED) {
        unsigned elapsed = 0;
        if (!take_bits(reader, TIME_ELAPSED_BITS, &elapsed))
            return LIP_TOO_SHORT;
        report->time_elapsed = as_int(elapsed);
    } else if (time_type == LIP_TIME_OF_POSITION) {
        unsigned day = 0, hour = 0, minute = 0, second = 0;
        if (!take_bits(reader, DAY_BITS, &day) || !take_bits(reader, HOUR_BITS, &hour) ||
            !take_bits(reader, MINUTE_BITS, &minute) || !take_bits(reader, SECOND_BITS, &second))
            return LIP_TOO_SHORT;
        report->day = as_int(day);
        report->hour = as_int(hour);
        report->minute = as_int(minute);
        report->second = as_int(second);
    }
    if (!take_bits(reader, SHAPE_BITS, &shape))
        return LIP_TOO_SHORT;
    report->shape = as_int(shape);
    if (shape == SHAPE_NONE)
        return LIP_NO_POSITION;
    if (shape > SHAPE_LAST_KNOWN)
        return LIP_UNKNOWN_SHAPE;
    return take_point(reader, report) ? LIP_DECODED : LIP_TOO_SHORT;
}

} // namespace

lip_result lip_decode(const char* payload, int header_bits, lip_report* report)
{
    *report = {LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT,
               0.0,        0.0,        LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT, LIP_ABSENT};
    if (payload[0] != '0' || payload[1] != 'A')
        return LIP_NOT_LIP;
    // Motorola radios pad to whole bytes and announce the bits without the
    // pad; Sepura radios send an odd number of digits. Both are bounded here.
    int digits = 0;
    while (hex_value(payload[2 + digits]) >= 0)
        digits++;
    int available = digits * NIBBLE_BITS;
    // The header's length is whatever number the radio wrote, the lowest int
    // included, so the identifier's bits are taken off in a wider type; a
    // length short of the identifier leaves no bits at all.
    long long announced = static_cast<long long>(header_bits) - PI_BITS;
    if (announced < available)
        available = announced < 0 ? 0 : static_cast<int>(announced);
    bit_reader reader = {payload + 2, available, 0};

    unsigned type = 0;
    if (!take_bits(&reader, PDU_TYPE_BITS, &type))
        return LIP_TOO_SHORT;
    report->pdu_type = as_int(type);
    lip_result result = LIP_NOT_LOCATION;
    if (type == LIP_SHORT_REPORT)
        result = decode_short(&reader, report);
    else if (type == LIP_LONG_REPORT)
        result = decode_long(&reader, report);
    if (result == LIP_DECODED && report->time_elapsed == LIP_ELAPSED_UNKNOWN && report->latitude == 0.0 &&
        report->longitude == 0.0)
        return LIP_NO_POSITION; // a radio without a fix yet
    return result;
}

const char* lip_result_text(lip_result result)
{
    switch (result) {
    case LIP_DECODED:
        return "decoded";
    case LIP_NOT_LIP:
        return "not a LIP payload";
    case LIP_TOO_SHORT:
        return "too short for its PDU type";
    case LIP_NOT_LOCATION:
        return "not a location report";
    case LIP_RESERVED_TIME:
        return "reserved time type";
    case LIP_UNKNOWN_SHAPE:
        return "unknown location shape";
    case LIP_NO_POSITION:
        return "no position";
    }
    return "unknown";
}

double lip_course_degrees(const lip_report* report)
{
    return report->direction == LIP_ABSENT ? 0.0 : report->direction * DIRECTION_STEP_DEG;
}

double lip_velocity_kmh(int velocity)
{
    if (velocity < 0 || velocity == LIP_VELOCITY_UNKNOWN)
        return -1.0;
    if (velocity <= VELOCITY_LINEAR_MAX)
        return velocity;
    return VELOCITY_BASE_KMH * std::pow(VELOCITY_RATIO, velocity - VELOCITY_OFFSET);
}
