// Location Information Protocol (LIP) reports: the position format most
// TETRA radios send, as an SDS whose protocol identifier is 0x0A. A pure
// decoder from the payload's hex text to the report's fields.
#pragma once

// Why a payload is not forwarded; LIP_DECODED when it is a position.
enum lip_result {
    LIP_DECODED = 0,
    LIP_NOT_LIP,       // the payload does not begin with protocol identifier "0A"
    LIP_TOO_SHORT,     // fewer bits than the PDU type needs
    LIP_NOT_LOCATION,  // another LIP PDU (PDU type or extension)
    LIP_RESERVED_TIME, // long report: time type 3, whose length is not known
    LIP_UNKNOWN_SHAPE, // long report: location shape 11 to 15
    LIP_NO_POSITION,   // shape 0, or time not known with latitude and longitude 0
};

constexpr int LIP_SHORT_REPORT = 0; // PDU type of the short location report
constexpr int LIP_LONG_REPORT = 1;  // PDU type of the long one (extension 3)
constexpr int LIP_ABSENT = -1;      // a field this report does not carry

// Time type of a long report (a short one always carries the time elapsed).
constexpr int LIP_TIME_NONE = 0;
constexpr int LIP_TIME_ELAPSED = 1;
constexpr int LIP_TIME_OF_POSITION = 2;

constexpr int LIP_ELAPSED_UNKNOWN = 3;    // time elapsed "not known"
constexpr int LIP_ERROR_UNKNOWN = 7;      // position error "not known"
constexpr int LIP_VELOCITY_UNKNOWN = 127; // horizontal velocity "not known"

// The fields of one location report. Fields a report does not carry, or that
// the decoder cannot read with certainty (a long report's shape-specific and
// velocity fields), are LIP_ABSENT.
struct lip_report {
    int pdu_type;                  // LIP_SHORT_REPORT or LIP_LONG_REPORT
    int time_type;                 // LIP_TIME_ELAPSED for a short report
    int time_elapsed;              // 0: < 5 s, 1: < 5 min, 2: < 30 min, 3: not known
    int day, hour, minute, second; // time of position (time type 2)
    int shape;                     // location shape; 1 (a point) for a short report
    double latitude;               // degrees, negative south of the equator
    double longitude;              // degrees, negative west of Greenwich
    int position_error;            // 0: < 2 m ... 6: > 200 km, 7: not known
    int velocity;                  // coded horizontal velocity, 0 to 127
    int direction;                 // direction of travel in steps of 22.5 degrees, 0 to 15
    int additional_type;           // 0: reason for sending, 1: user-defined data
    int additional;                // the reason for sending, or the user data
};

// Decodes payload (hex text beginning "0A", ended by CR or NUL) into *report.
// header_bits is the SDS length announced by the "+CTSDSR:" header, protocol
// identifier included; bits beyond it, or beyond the hex digits present, are
// never read. Returns LIP_DECODED, or the reason the payload is not a
// position (then *report holds what was read so far).
lip_result lip_decode(const char* payload, int header_bits, lip_report* report);

// A short text naming the result ("too short for its PDU type").
const char* lip_result_text(lip_result result);

// Course in degrees from the direction of travel: 0 when the report has none.
double lip_course_degrees(const lip_report* report);

// Horizontal velocity in km/h from its 7-bit code; negative when unknown.
double lip_velocity_kmh(int velocity);
